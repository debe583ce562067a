#include "user/WindowManager.h"

#include "platform/Device.h"
#include "winbase.h"

#include <algorithm>
#include <cwctype>

namespace platform::user {
namespace {

bool contains(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Removes the calling thread's windows and queue when the thread ends, as the platform does.
struct ThreadExitCleanup {
    DWORD threadId = 0;
    ~ThreadExitCleanup() {
        if (threadId != 0) {
            WindowManager::get().threadEnded(threadId);
        }
    }
};

} // namespace

DWORD currentThreadId() {
    return ::GetCurrentThreadId();
}

std::wstring foldCase(const std::wstring& name) {
    std::wstring folded = name;
    for (wchar_t& c : folded) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return folded;
}

WindowManager& WindowManager::get() {
    static auto* manager = new WindowManager; // outlives threads ending at process exit
    return *manager;
}

Window* WindowManager::find(HWND handle) {
    auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : it->second.get();
}

Window* WindowManager::topLevelOf(Window* window) {
    while (window != nullptr && window->parent != nullptr) {
        window = window->parent;
    }
    return window;
}

bool WindowManager::isVisible(const Window* window) const {
    for (; window != nullptr; window = window->parent) {
        if (!window->visibleFlag() || window->destroying) {
            return false;
        }
    }
    return true;
}

bool WindowManager::isAncestorOrSelf(const Window* ancestor, const Window* window) const {
    for (; window != nullptr; window = window->parent) {
        if (window == ancestor) {
            return true;
        }
    }
    return false;
}

POINT WindowManager::screenOrigin(const Window* window) const {
    POINT origin{0, 0};
    for (; window != nullptr; window = window->parent) {
        origin.x += window->rect.left;
        origin.y += window->rect.top;
    }
    return origin;
}

namespace {

Window* deepestAt(Window* window, int x, int y) {
    for (auto it = window->children.rbegin(); it != window->children.rend(); ++it) {
        Window* child = *it;
        if (child->visibleFlag() && !child->destroying && contains(child->rect, x, y)) {
            return deepestAt(child, x - child->rect.left, y - child->rect.top);
        }
    }
    return window;
}

} // namespace

Window* WindowManager::windowAt(int x, int y) {
    for (auto it = topLevels_.rbegin(); it != topLevels_.rend(); ++it) {
        Window* window = *it;
        if (window->visibleFlag() && !window->destroying && contains(window->rect, x, y)) {
            return deepestAt(window, x - window->rect.left, y - window->rect.top);
        }
    }
    return nullptr;
}

std::shared_ptr<MessageQueue> WindowManager::queueOf(DWORD threadId) {
    auto it = queues_.find(threadId);
    return it == queues_.end() ? nullptr : it->second;
}

std::shared_ptr<MessageQueue> WindowManager::currentQueue() {
    const DWORD threadId = currentThreadId();
    if (auto queue = queueOf(threadId)) {
        return queue;
    }
    auto queue = std::make_shared<MessageQueue>(threadId);
    queue->backendThread = Device::running() && Device::instance().backend().ownsThread();
    queues_[threadId] = queue;
    thread_local ThreadExitCleanup cleanup;
    cleanup.threadId = threadId;
    return queue;
}

void WindowManager::notify(MessageQueue& queue) {
    ++queue.changes;
    queue.cv.notify_all();
    if (queue.backendThread && Device::running()) {
        Device::instance().backend().wake();
    }
}

std::shared_ptr<const WindowClass> WindowManager::findClass(const std::wstring& name) {
    const std::wstring key = foldCase(name);
    if (auto it = classes_.find(key); it != classes_.end()) {
        return it->second;
    }
    if (auto it = systemClasses_.find(key); it != systemClasses_.end()) {
        return it->second;
    }
    return nullptr;
}

ATOM WindowManager::addClass(const WNDCLASSW& info, bool system) {
    const std::wstring name = info.lpszClassName;
    auto& table = system ? systemClasses_ : classes_;
    const std::wstring key = foldCase(name);
    if (table.contains(key)) {
        return 0;
    }
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->name = name;
    windowClass->info = info;
    windowClass->info.lpszClassName = nullptr; // the caller's strings are not kept
    windowClass->info.lpszMenuName = nullptr;
    windowClass->atom = nextAtom_++;
    table[key] = windowClass;
    return windowClass->atom;
}

Window* WindowManager::addWindow(std::unique_ptr<Window> window) {
    window->handle = reinterpret_cast<HWND>(nextHandle_);
    nextHandle_ += 4; // the low bit stays free for SetForegroundWindow's flag
    Window* added = window.get();
    windows_[added->handle] = std::move(window);
    creationOrder_.push_back(added);
    if (added->parent != nullptr) {
        added->parent->children.push_back(added);
    } else {
        topLevels_.push_back(added);
    }
    return added;
}

void WindowManager::removeWindow(Window* window) {
    for (Window* child : std::vector<Window*>(window->children)) {
        removeWindow(child);
    }
    if (window->parent != nullptr) {
        std::erase(window->parent->children, window);
    } else {
        std::erase(topLevels_, window);
    }
    std::erase(creationOrder_, window);
    if (auto queue = queueOf(window->threadId)) {
        std::erase_if(queue->timers,
                      [&](const auto& entry) { return entry.first.first == window->handle; });
    }
    for (HWND* handle : {&focus, &foreground, &capture}) {
        if (*handle == window->handle) {
            *handle = nullptr;
        }
    }
    windows_.erase(window->handle);
}

Window* WindowManager::windowToPaint(DWORD threadId, HWND filter) {
    for (Window* window : creationOrder_) {
        if (window->threadId == threadId && !window->updateRegion.empty() &&
            (filter == nullptr || filter == window->handle) && isVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

void WindowManager::invalidate(Window* window, const RECT* rect, bool erase) {
    const RECT client{0, 0, window->width(), window->height()};
    RectSet area(client);
    if (rect != nullptr) {
        area.intersect(*rect);
    }
    if (area.empty()) {
        return;
    }
    window->updateRegion = RectSet::combine(window->updateRegion, area, RectSet::Op::unite);
    window->erasePending = window->erasePending || erase;
    if (auto queue = queueOf(window->threadId)) {
        notify(*queue);
    }
}

void WindowManager::exposeParent(Window* window) {
    if (window->parent != nullptr && !window->parent->destroying) {
        invalidate(window->parent, &window->rect, true);
    }
}

Window* WindowManager::nextForeground(const Window* leaving) {
    for (auto it = topLevels_.rbegin(); it != topLevels_.rend(); ++it) {
        if (*it != leaving && (*it)->visibleFlag() && !(*it)->destroying) {
            return *it;
        }
    }
    return nullptr;
}

void WindowManager::postLocked(MessageQueue& queue, const MSG& msg) {
    queue.posted.push_back(msg);
    notify(queue);
}

void WindowManager::postInputLocked(MessageQueue& queue, const MSG& msg) {
    if (msg.message == WM_MOUSEMOVE && !queue.input.empty() &&
        queue.input.back().message == WM_MOUSEMOVE && queue.input.back().hwnd == msg.hwnd) {
        queue.input.back() = msg; // consecutive moves of one window merge into the latest
    } else {
        queue.input.push_back(msg);
    }
    notify(queue);
}

namespace {

void closeQueue(WindowManager& manager, MessageQueue& queue) {
    queue.closed = true;
    for (auto& sent : queue.sent) {
        sent->done = true;
        if (sent->sender) {
            manager.notify(*sent->sender);
        }
    }
    queue.sent.clear();
    manager.notify(queue);
}

} // namespace

void WindowManager::reset() {
    for (auto& [id, queue] : queues_) {
        closeQueue(*this, *queue);
    }
    queues_.clear();
    while (!topLevels_.empty()) {
        removeWindow(topLevels_.back());
    }
    classes_.clear();
    focus = foreground = capture = nullptr;
    implicitCapture = false;
    touchOnNothing = false;
    lastPointer = POINT{0, 0};
}

void WindowManager::threadEnded(DWORD threadId) {
    std::lock_guard guard(mutex);
    for (;;) {
        auto it = std::find_if(creationOrder_.begin(), creationOrder_.end(),
                               [&](const Window* w) { return w->threadId == threadId; });
        if (it == creationOrder_.end()) {
            break;
        }
        removeWindow(*it);
    }
    if (auto queue = queueOf(threadId)) {
        closeQueue(*this, *queue);
        queues_.erase(threadId);
    }
}

LRESULT callWindow(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        auto& manager = WindowManager::get();
        std::lock_guard guard(manager.mutex);
        Window* window = manager.find(handle);
        if (window == nullptr) {
            return 0;
        }
        proc = window->proc;
    }
    return proc != nullptr ? proc(handle, message, wParam, lParam)
                           : DefWindowProcW(handle, message, wParam, lParam);
}

namespace {

void sendOrNotifyMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam,
                         const WINDOWPOS* windowPos) {
    auto& manager = WindowManager::get();
    std::unique_lock lock(manager.mutex);
    Window* window = manager.find(handle);
    if (window == nullptr) {
        return;
    }
    if (window->threadId == currentThreadId()) {
        lock.unlock();
        callWindow(handle, message, wParam, lParam);
        return;
    }
    auto queue = manager.queueOf(window->threadId);
    if (!queue) {
        return;
    }
    auto sent = std::make_shared<SentMessage>();
    sent->msg = MSG{handle, message, wParam, lParam, 0, manager.lastPointer};
    if (windowPos != nullptr) {
        sent->windowPos = *windowPos;
        sent->msg.lParam = reinterpret_cast<LPARAM>(&sent->windowPos);
    }
    queue->sent.push_back(std::move(sent));
    manager.notify(*queue);
}

} // namespace

void sendOrNotify(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    sendOrNotifyMessage(handle, message, wParam, lParam, nullptr);
}

void notifyWindowPosChanged(const WINDOWPOS& position) {
    sendOrNotifyMessage(position.hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position),
                        &position);
}

HWND changeFocus(HWND handle) {
    HWND previous = nullptr;
    {
        auto& manager = WindowManager::get();
        std::lock_guard guard(manager.mutex);
        previous = manager.focus;
        if (previous == handle) {
            return previous;
        }
        manager.focus = handle;
    }
    if (previous != nullptr) {
        sendOrNotify(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(handle), 0);
    }
    if (handle != nullptr) {
        sendOrNotify(handle, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

void changeForeground(HWND handle) {
    HWND previous = nullptr;
    {
        auto& manager = WindowManager::get();
        std::lock_guard guard(manager.mutex);
        previous = manager.foreground;
        if (previous == handle) {
            return;
        }
        manager.foreground = handle;
    }
    if (previous != nullptr) {
        sendOrNotify(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(handle));
    }
    if (handle != nullptr) {
        sendOrNotify(handle, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
    }
}

} // namespace platform::user
