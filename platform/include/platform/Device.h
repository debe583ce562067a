// The emulated phone: its screen, its input and the backend that shows it. This is the host
// side of the platform, used by the program's start (platform main), by the other services of
// the platform and by tests; the program itself never includes it.
#pragma once

#include "wintypes.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

struct DeviceConfig {
    int width = 480;  // portrait width of the screen, pixels
    int height = 640; // portrait height
    int dpi = 192;
    // The device is the real display: the backend sets width, height and dpi from it when it
    // starts, the screen fills the display, and there is no emulated task bar.
    bool native = false;
    // A screen narrower than 480 pixels gets its own copy of the program's images in the
    // device folder (the program rescales that copy, never its own set). The program's start
    // asks for it; test devices see the program folder as it is.
    bool ownImageSet = false;
    std::string backend = "sdl";      // "sdl" or "headless"
    std::filesystem::path deviceDir;  // holds \windows and the registry file
    std::filesystem::path programDir; // the program's own folder

    // DAWNBELL_SCREEN ("480x640", or "native": the default without a window system),
    // DAWNBELL_DPI, DAWNBELL_BACKEND, DAWNBELL_DEVICE_DIR
    // (default: $XDG_STATE_HOME/dawnbell, else ~/.local/state/dawnbell, else a folder of the
    // user's alone: paths::defaultDeviceFolder) and the folder of the
    // running executable as the program folder. Bad values are reported on standard error and
    // replaced by the defaults.
    static DeviceConfig fromEnvironment();
};

// Something drawn above the primary surface when the screen is presented: DirectDraw overlays,
// the task bar (z 100), the input panel's keyboard, the native edit control. Higher z is drawn
// later. paint runs with the device's layer list locked: it must not add or remove layers, and
// nobody may add or remove a layer while holding a lock that its paint takes.
class Layer {
public:
    virtual ~Layer() = default;
    virtual int zOrder() const = 0;
    virtual bool visible() const = 0;
    virtual RECT bounds() const = 0; // screen rectangle covered while visible
    // Draws into `frame` (the whole screen, RGB565, `pitch` pixels per row), only inside `clip`.
    virtual void paint(std::uint16_t* frame, int pitch, const RECT& clip) = 0;
    // True when paint sets every pixel of its bounds: what lies beneath need not be fetched.
    virtual bool opaque() const { return false; }
};

enum class PointerAction { down, move, up };

// What a backend does for the device. The SDL backend shows a real window; the headless one
// keeps everything in memory for tests.
class Backend {
public:
    virtual ~Backend() = default;
    // True on the thread that must wait through waitForEvents (SDL's video thread).
    virtual bool ownsThread() const = 0;
    // On that thread: take pending window-system events (they become device input), present
    // what changed, then block until an event arrives, wake() is called or `timeoutMs` passes
    // (INFINITE: no timeout).
    virtual void waitForEvents(DWORD timeoutMs) = 0;
    // Any thread: make waitForEvents return soon; also asks for a present of changed pixels.
    virtual void wake() = 0;
    // Shows what changed since the last present (SDL: on its own thread only).
    virtual void present() = 0;
    // The picture the user sees now, RGB565, the screen's size row by row (SDL: read back from
    // the window, on its own thread only).
    virtual std::vector<std::uint16_t> picture() = 0;
    // A native message box. Blocks until the user answers; returns the button id (IDOK ...).
    virtual int messageBox(const std::wstring& text, const std::wstring& caption, UINT type) = 0;
    virtual void setCursor(bool wait) = 0;
    virtual std::wstring clipboardText() = 0;
    virtual void setClipboardText(const std::wstring& text) { (void)text; }
};

class Device {
public:
    // The running device; exists between start() and stop().
    static Device& instance();
    static bool running();
    // Creates the device (screen, backend, path mapping) from the configuration. Tests start a
    // headless device per test and stop it afterwards, which destroys every window and queue.
    static void start(const DeviceConfig& config);
    static void stop();

    const DeviceConfig& config() const;
    int width() const;  // current orientation
    int height() const; // current orientation
    int dpi() const;
    int taskBarHeight() const; // scales with dpi: 26 px at 96 dpi, 52 at 192; 0 when native
    bool taskBarVisible() const;
    void setTaskBarVisible(bool visible);
    // The strip shows the time and whether the Internet connection is up, while the task bar
    // is shown and also where a program hid it without covering its place. The backend calls
    // this before presenting; it repaints the strip when anything of it changed.
    void refreshTaskBar();
    bool taskBarDrawn() const;
    // How long until the strip's clock must change, for a backend that waits for events.
    DWORD taskBarRefreshDelayMs() const;

    // While the platform's own input panel is up the backend asks the window system for no
    // text input (no second on-screen keyboard) and types physical keys itself.
    void setInputPanelShown(bool shown);
    bool inputPanelShown() const;
    // Whether the Internet connection is up, for the task bar (the network service sets it).
    void setConnectionProbe(std::function<bool()> probe);

    // Swaps width and height, updates the system metrics and sends WM_WINDOWPOSCHANGED to every
    // top-level window. Listeners (surfaces, input panel) are told first.
    void rotate();
    void onRotate(std::function<void()> listener);

    // The screen buffer: RGB565, width() x height(), pitch() pixels per row. Hold the lock while
    // reading or writing pixels; call invalidate() for what changed.
    std::mutex& screenLock();
    std::uint16_t* pixels();
    int pitch() const;
    void invalidate(const RECT& changed);
    // Every layer above the screen, drawn on presenting; the caller owns the layer.
    void addLayer(Layer* layer);
    void removeLayer(Layer* layer);
    // The screen as presented (buffer + visible layers) for `area`, row by row.
    std::vector<std::uint16_t> compose(const RECT& area);
    // What a present hands to the backend: one changed area of the screen as presented, `pixels`
    // pointing at its top-left pixel with rows `pitch` pixels apart, valid during the call.
    // Areas no layer covers come straight from the screen buffer, with its lock held. Areas come
    // in order, and a later one may lie over part of an earlier one (a layer's narrow column over
    // the whole rows beside it): applied in order, they give the picture.
    using Upload = std::function<void(const RECT& area, const std::uint16_t* pixels, int pitch)>;
    // Hands every area changed since the last call to `upload` and forgets them; false when
    // nothing changed. Only the changed areas travel, never the whole screen for a few rows.
    bool presentChanges(const Upload& upload);
    // The same for a backend whose picture is memory of its own, the whole screen row by row:
    // the changed areas are copied, and layers drawn, straight into `picture`, which is resized
    // (and cleared) when the screen's size changes.
    bool presentChangesInto(std::vector<std::uint16_t>& picture);

    // Input in screen coordinates (from the backend or from tests). The pointer goes to the
    // input filter first (the input panel's keyboard), then to the window under it, with
    // capture from press to release.
    void pointer(PointerAction action, int x, int y);
    void setPointerFilter(std::function<bool(PointerAction, int x, int y)> filter);
    // Keys go to the focus window: WM_KEYDOWN / WM_KEYUP with the virtual key; characters as
    // WM_CHAR.
    void key(UINT virtualKey, bool down);
    void character(wchar_t c);

    Backend& backend();

    // Headless backend only: the native message boxes shown so far (text, caption, style), and
    // the answer the next boxes give.
    struct MessageBoxRecord {
        std::wstring text;
        std::wstring caption;
        UINT type;
    };
    std::vector<MessageBoxRecord> messageBoxes() const;
    void recordMessageBox(MessageBoxRecord record);
    int messageBoxAnswer() const;

    // The cursor shape (SetCursor): the wait cursor or the arrow.
    void setCursor(bool wait);
    bool waitCursorShown() const;
    // The clipboard (the native edit control pastes from it); tests put text there.
    std::wstring clipboardText();
    void setClipboardText(const std::wstring& text);

    // The screen as presented, saved as a PNG file.
    bool saveScreenshot(const std::filesystem::path& file);

private:
    Device() = default;
    struct State;
    std::unique_ptr<State> state_;
    friend struct DeviceAccess;
};

} // namespace platform
