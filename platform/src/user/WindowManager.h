// The window manager's state: classes, windows, one message queue per thread, focus, capture and
// the foreground window. One lock guards all of it; window procedures are always called with
// the lock released, and nothing keeps a Window pointer across such a call (a procedure may
// destroy windows): handles are looked up again afterwards.
#pragma once

#include "user/Region.h"
#include "winuser.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::user {

struct WindowClass {
    std::wstring name;
    WNDCLASSW info{};
    ATOM atom = 0;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<const WindowClass> windowClass;
    WNDPROC proc = nullptr;
    std::wstring text;
    DWORD style = 0;
    DWORD exStyle = 0;
    Window* parent = nullptr;      // child windows only
    HWND owner = nullptr;          // a top-level window created with a parent
    std::vector<Window*> children; // bottom to top
    RECT rect{};                   // in the parent's client coordinates; screen for top level
    LONG_PTR userData = 0;
    LONG_PTR id = 0;
    HINSTANCE instance = nullptr;
    DWORD threadId = 0;
    RectSet updateRegion; // client coordinates
    bool erasePending = false;
    bool destroying = false;

    bool visibleFlag() const { return (style & WS_VISIBLE) != 0; }
    int width() const { return rect.right - rect.left; }
    int height() const { return rect.bottom - rect.top; }
};

struct MessageQueue;

// A message sent to another thread's window: dispatched inside that thread's GetMessageW (or
// while it waits in its own SendMessageW); the sender waits for `done` unless it only notified.
struct SentMessage {
    MSG msg{};
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<MessageQueue> sender; // none for a notification nobody waits for
    WINDOWPOS windowPos{};                // lParam of a notified WM_WINDOWPOSCHANGED points here
};

struct Timer {
    UINT period = 0;
    DWORD due = 0;
    TIMERPROC proc = nullptr;
};

struct MessageQueue {
    explicit MessageQueue(DWORD thread) : threadId(thread) {}
    DWORD threadId;
    std::condition_variable cv;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::deque<MSG> posted;
    std::deque<MSG> input;
    bool quit = false;
    int quitCode = 0;
    std::map<std::pair<HWND, UINT_PTR>, Timer> timers;
    unsigned changes = 0;       // bumped by anything a waiting GetMessageW must look at again
    bool backendThread = false; // waits through the backend (SDL's video thread)
    bool closed = false;        // the device stopped
};

class WindowManager {
public:
    static WindowManager& get();

    std::mutex mutex;

    // ---- with the lock held ----
    Window* find(HWND handle);
    Window* topLevelOf(Window* window);
    bool isVisible(const Window* window) const; // itself and every ancestor shown
    bool isAncestorOrSelf(const Window* ancestor, const Window* window) const;
    POINT screenOrigin(const Window* window) const; // of the client area
    Window* windowAt(int x, int y);                 // topmost visible window under a screen point

    std::shared_ptr<MessageQueue> queueOf(DWORD threadId);
    std::shared_ptr<MessageQueue> currentQueue(); // creates the calling thread's queue
    void notify(MessageQueue& queue);

    std::shared_ptr<const WindowClass> findClass(const std::wstring& name);
    ATOM addClass(const WNDCLASSW& info, bool system);

    Window* addWindow(std::unique_ptr<Window> window);
    // Takes a window and its descendants out of every structure without any message.
    void removeWindow(Window* window);
    // A window with a non-empty update region that the thread should paint, or none.
    Window* windowToPaint(DWORD threadId, HWND filter);
    void invalidate(Window* window, const RECT* rect, bool erase);
    // Invalidates what `window` covers (screen rectangle) in its parent, after it went away.
    void exposeParent(Window* window);
    Window* nextForeground(const Window* leaving);
    const std::vector<Window*>& topLevelWindows() const { return topLevels_; } // bottom to top

    void postLocked(MessageQueue& queue, const MSG& msg);
    void postInputLocked(MessageQueue& queue, const MSG& msg);

    // Every window, queue and class of the program; system classes stay.
    void reset();
    void threadEnded(DWORD threadId);

    HWND focus = nullptr;
    HWND foreground = nullptr;
    HWND capture = nullptr;
    bool implicitCapture = false;
    bool touchOnNothing = false; // the stylus went down where no window is, and is still down
    POINT lastPointer{0, 0};

private:
    WindowManager() = default;
    std::unordered_map<std::wstring, std::shared_ptr<WindowClass>> classes_; // by folded name
    std::unordered_map<std::wstring, std::shared_ptr<WindowClass>> systemClasses_;
    std::unordered_map<HWND, std::unique_ptr<Window>> windows_;
    std::vector<Window*> creationOrder_;
    std::vector<Window*> topLevels_; // bottom to top
    std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues_;
    UINT_PTR nextHandle_ = 0x10000;
    ATOM nextAtom_ = 0xC000;
};

DWORD currentThreadId();
std::wstring foldCase(const std::wstring& name);

// Calls the window procedure of `window` (looked up under the lock, called without it); 0 for a
// window that no longer exists.
LRESULT callWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Sends at once on the owner's thread; from another thread, queues it as a sent message without
// waiting for the answer (focus and activation changes, rotation), so threads never wait on
// each other for them.
void sendOrNotify(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The same for WM_WINDOWPOSCHANGED, whose WINDOWPOS travels with a queued notification.
void notifyWindowPosChanged(const WINDOWPOS& position);

// Focus and activation steps shared by several calls (lock not held).
HWND changeFocus(HWND window);
void changeForeground(HWND window);

} // namespace platform::user
