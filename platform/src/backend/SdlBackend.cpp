// The device in a real window through SDL2. The screen is our own RGB565 buffer; only its
// changed rectangle is uploaded to one streaming texture, and the window is presented only
// when something changed or the window system asks. The window draws at the display's own
// density and shows the screen at a whole scale; mouse and the first finger act as the stylus
// through the same fit. A native device fills the display and turns with it. Everything SDL
// needs happens on the thread that created the backend (the program's UI thread); other threads
// hand their requests over and wake it.
#include "backend/Backends.h"

#include "backend/KmsAccess.h"
#include "backend/ScreenFit.h"

#include "kernel/Paths.h"
#include "kernel/Wait.h"
#include "user/Desktop.h"
#include "winbase.h"
#include "winuser.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace platform::backend {
namespace {

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

constexpr wchar_t pasteCharacter = 0x16; // Ctrl+V as a character

UINT virtualKeyOf(SDL_Keycode key) {
    switch (key) {
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_END:
        return VK_END;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_TAB:
        return VK_TAB;
    default:
        return 0;
    }
}

// The character a key types on a US layout, for when the window system's text input is off
// (the platform's own input panel is up); 0 for keys that type nothing.
wchar_t typedCharacter(SDL_Keycode key, Uint16 modifiers) {
    if (key < 0x20 || key > 0x7E || (modifiers & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) != 0) {
        return 0;
    }
    const bool shift = (modifiers & KMOD_SHIFT) != 0;
    if (key >= 'a' && key <= 'z') {
        const bool upper = shift != ((modifiers & KMOD_CAPS) != 0);
        return static_cast<wchar_t>(upper ? key - 'a' + 'A' : key);
    }
    if (!shift) {
        return static_cast<wchar_t>(key);
    }
    static constexpr std::string_view plain = "1234567890-=[]\\;',./`";
    static constexpr std::string_view shifted = "!@#$%^&*()_+{}|:\"<>?~";
    const size_t at = plain.find(static_cast<char>(key));
    return at == std::string_view::npos ? static_cast<wchar_t>(key)
                                        : static_cast<wchar_t>(shifted[at]);
}

struct BoxRequest {
    std::wstring text;
    std::wstring caption;
    UINT type = 0;
    int answer = IDOK;
    bool done = false;
};

class SdlBackend final : public Backend {
public:
    explicit SdlBackend(DeviceConfig& config);
    ~SdlBackend() override;

    bool ownsThread() const override { return std::this_thread::get_id() == owner_; }
    void waitForEvents(DWORD timeoutMs) override;
    void wake() override;
    int messageBox(const std::wstring& text, const std::wstring& caption, UINT type) override;
    void setCursor(bool wait) override;
    std::wstring clipboardText() override;
    void setClipboardText(const std::wstring& text) override;
    void present() override;
    std::vector<std::uint16_t> picture() override;

private:
    void handle(const SDL_Event& event);
    void handleKey(const SDL_KeyboardEvent& key);
    void pointerAtWindowPoint(PointerAction action, int x, int y);
    void pointerAtFinger(PointerAction action, const SDL_TouchFingerEvent& finger);
    void applyPending();
    void followTextInput();
    void followDisplayShape(bool landscape);
    void refit();
    void fitScreenSize();
    void endIfPictureShown();
    int showBox(const std::wstring& text, const std::wstring& caption, UINT type);

    std::thread::id owner_;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Cursor* arrowCursor_ = nullptr;
    SDL_Cursor* waitCursor_ = nullptr;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    int scale_ = 1;        // the emulated phone's window size in screen sizes
    int displayWidth_ = 0; // a native device's display, in its pixels
    bool native_ = false;
    ScreenFit fit_;
    bool textInput_ = false;
    Uint32 wakeEvent_ = 0;
    std::atomic<bool> wakePending_{false};
    bool mustPresent_ = true;
    std::wstring title_;
    bool fingerDown_ = false;
    SDL_FingerID finger_ = 0;
    std::atomic<int> wantedCursor_{-1}; // -1: unchanged, 0: arrow, 1: wait
    // For the start-up benchmark: the process ends once the program's first picture is shown.
    bool endAfterFirstPicture_ = false;

    std::mutex boxMutex_;
    std::condition_variable boxDone_;
    std::deque<std::shared_ptr<BoxRequest>> boxRequests_;
};

// Where the display card and the input devices live; a test gives other folders.
KmsDevices kmsDevices() {
    KmsDevices devices;
    if (isSet("DAWNBELL_DEV_DRI")) {
        devices.dri = std::getenv("DAWNBELL_DEV_DRI");
    }
    if (isSet("DAWNBELL_DEV_INPUT")) {
        devices.input = std::getenv("DAWNBELL_DEV_INPUT");
    }
    return devices;
}

[[noreturn]] void noDisplay() {
    std::fprintf(stderr, "Dawnbell: no display available (set DISPLAY, or "
                         "DAWNBELL_BACKEND=headless)\n");
    std::exit(1);
}

// SDL would fall back to its invisible drivers when no window system is there; the device then
// says plainly that there is no display. An explicit SDL_VIDEODRIVER is taken as asked.
// Returns true when the display is taken without a window system.
bool chooseVideoDriver() {
    if (const char* driver = std::getenv("SDL_VIDEODRIVER"); driver != nullptr && *driver) {
        return std::string_view(driver) == "KMSDRM";
    }
    if (isSet("DISPLAY")) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    } else if (isSet("WAYLAND_DISPLAY")) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
    } else {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "KMSDRM"); // a touch device without a desktop
        return true;
    }
    return false;
}

// A display without a window system is only taken when the user may also give input.
void requireKmsAccess() {
    const KmsCheck check = checkKmsAccess(kmsDevices());
    if (check.access == KmsAccess::noDisplay) {
        noDisplay();
    }
    if (check.access == KmsAccess::refused) {
        std::fprintf(stderr, "%s\n", check.message.c_str());
        std::exit(1);
    }
}

SdlBackend::SdlBackend(DeviceConfig& config)
    : owner_(std::this_thread::get_id()), native_(config.native) {
    if (chooseVideoDriver()) {
        requireKmsAccess();
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        noDisplay();
    }
    wakeEvent_ = SDL_RegisterEvents(1);
    // Hidden until the renderer is made: SDL makes a new window for an OpenGL renderer, and the
    // first one would flash up and vanish under the window system's feet.
    Uint32 flags = SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
    int windowWidth = config.width;
    int windowHeight = config.height;
    int windowX = SDL_WINDOWPOS_CENTERED;
    int windowY = SDL_WINDOWPOS_CENTERED;
    if (native_) {
        // Full screen, and the display's size from the start for a window system that leaves
        // full screen to a window manager that is not there.
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
        SDL_Rect display{0, 0, windowWidth, windowHeight};
        if (SDL_GetDisplayBounds(0, &display) == 0) {
            windowX = display.x;
            windowY = display.y;
            windowWidth = display.w;
            windowHeight = display.h;
        }
    } else {
        flags |= SDL_WINDOW_RESIZABLE;
        SDL_Rect usable{0, 0, config.width, config.height};
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0) {
            scale_ = std::max(1, std::min(usable.w / config.width, usable.h / config.height));
        }
        windowWidth *= scale_;
        windowHeight *= scale_;
    }
    window_ = SDL_CreateWindow("Dawnbell", windowX, windowY, windowWidth, windowHeight, flags);
    if (window_ != nullptr) {
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        SDL_ShowWindow(window_);
    }
    int outputWidth = 0;
    int outputHeight = 0;
    if (renderer_ != nullptr &&
        SDL_GetRendererOutputSize(renderer_, &outputWidth, &outputHeight) == 0 && native_ &&
        outputWidth > 0 && outputHeight > 0) {
        // The device follows the display's own pixels. SDL 2.26 on a Wayland output scaled by
        // the compositor draws full screen into a buffer of twice those pixels each way, which
        // the compositor halves exactly: the fit's whole scale stays sharp there too.
        displayWidth_ = windowWidth;
        const NativeScreen screen = nativeScreen(windowWidth, windowHeight);
        config.width = screen.width;
        config.height = screen.height;
        config.dpi = screen.dpi;
    }
    screenWidth_ = config.width;
    screenHeight_ = config.height;
    if (renderer_ != nullptr) {
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                     screenWidth_, screenHeight_);
    }
    if (texture_ == nullptr) {
        std::fprintf(stderr, "Dawnbell: cannot open a window: %s\n", SDL_GetError());
        std::exit(1);
    }
    refit();
    arrowCursor_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    waitCursor_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAIT);
    // The window system's text input (and with it a system keyboard) is asked for only while
    // the platform's own input panel is down (followTextInput).
    textInput_ = true;
    SDL_StartTextInput();
    endAfterFirstPicture_ = isSet("DAWNBELL_END_AFTER_FIRST_PICTURE");
}

SdlBackend::~SdlBackend() {
    SDL_StopTextInput();
    if (arrowCursor_ != nullptr) {
        SDL_FreeCursor(arrowCursor_);
    }
    if (waitCursor_ != nullptr) {
        SDL_FreeCursor(waitCursor_);
    }
    SDL_DestroyTexture(texture_);
    SDL_DestroyRenderer(renderer_);
    SDL_DestroyWindow(window_);
    SDL_Quit();
}

void SdlBackend::waitForEvents(DWORD timeoutMs) {
    applyPending();
    present();
    // The task bar's clock turns over on the minute even when nothing else happens.
    timeoutMs = std::min(timeoutMs, Device::instance().taskBarRefreshDelayMs());
    SDL_Event event;
    const int got =
        timeoutMs == INFINITE
            ? SDL_WaitEvent(&event)
            : SDL_WaitEventTimeout(&event, static_cast<int>(std::min<DWORD>(timeoutMs, INT_MAX)));
    if (got != 0) {
        handle(event);
        while (SDL_PollEvent(&event) != 0) {
            handle(event);
        }
    }
    applyPending();
    present();
}

void SdlBackend::wake() {
    if (!wakePending_.exchange(true)) {
        SDL_Event event{};
        event.type = wakeEvent_;
        SDL_PushEvent(&event);
    }
}

void SdlBackend::handle(const SDL_Event& event) {
    if (event.type == wakeEvent_) {
        wakePending_ = false;
        return;
    }
    switch (event.type) {
    case SDL_QUIT:
        if (HWND main = user::mainWindow()) {
            PostMessageW(main, WM_CLOSE, 0, 0); // the program's loop takes it
        } else {
            PostQuitMessage(0);
        }
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            int width = 0;
            int height = 0;
            SDL_GetRendererOutputSize(renderer_, &width, &height);
            if (native_ && width != height) {
                followDisplayShape(width > height);
            }
            refit();
        }
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
            event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            mustPresent_ = true;
        }
        break;
    case SDL_DISPLAYEVENT:
        if (native_ && event.display.event == SDL_DISPLAYEVENT_ORIENTATION) {
            const auto orientation = static_cast<SDL_DisplayOrientation>(event.display.data1);
            if (orientation != SDL_ORIENTATION_UNKNOWN) {
                followDisplayShape(orientation == SDL_ORIENTATION_LANDSCAPE ||
                                   orientation == SDL_ORIENTATION_LANDSCAPE_FLIPPED);
            }
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (event.button.which != SDL_TOUCH_MOUSEID && event.button.button == SDL_BUTTON_LEFT) {
            pointerAtWindowPoint(event.type == SDL_MOUSEBUTTONDOWN ? PointerAction::down
                                                                   : PointerAction::up,
                                 event.button.x, event.button.y);
        }
        break;
    case SDL_MOUSEMOTION:
        if (event.motion.which != SDL_TOUCH_MOUSEID && (event.motion.state & SDL_BUTTON_LMASK)) {
            pointerAtWindowPoint(PointerAction::move, event.motion.x, event.motion.y);
        }
        break;
    case SDL_FINGERDOWN:
    case SDL_FINGERMOTION:
    case SDL_FINGERUP: {
        const bool first = event.type == SDL_FINGERDOWN && !fingerDown_;
        if (!first && (!fingerDown_ || event.tfinger.fingerId != finger_)) {
            break; // only the first finger is the stylus
        }
        if (first) {
            fingerDown_ = true;
            finger_ = event.tfinger.fingerId;
            pointerAtFinger(PointerAction::down, event.tfinger);
        } else if (event.type == SDL_FINGERMOTION) {
            pointerAtFinger(PointerAction::move, event.tfinger);
        } else if (event.type == SDL_FINGERUP) {
            fingerDown_ = false;
            pointerAtFinger(PointerAction::up, event.tfinger);
        }
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        handleKey(event.key);
        break;
    case SDL_TEXTINPUT:
        if (textInput_) {
            for (wchar_t c : paths::widen(event.text.text)) {
                Device::instance().character(c);
            }
        }
        break;
    default:
        break;
    }
}

void SdlBackend::handleKey(const SDL_KeyboardEvent& key) {
    const bool down = key.type == SDL_KEYDOWN;
    const bool rotation = key.keysym.sym == SDLK_F5 ||
                          (key.keysym.sym == SDLK_r && (key.keysym.mod & KMOD_CTRL) != 0);
    if (rotation) {
        // A native device is the display: only the display's own rotation turns it. (Turned by
        // the key, the picture turned on a display that did not.)
        if (down && key.repeat == 0 && !native_) {
            Device::instance().rotate();
        }
        return;
    }
    if (key.keysym.sym == SDLK_v && (key.keysym.mod & KMOD_CTRL) != 0) {
        // Ctrl+V pastes: the focus window gets the control character, as from a desktop keyboard.
        if (down) {
            Device::instance().character(pasteCharacter);
        }
        return;
    }
    if (const UINT virtualKey = virtualKeyOf(key.keysym.sym)) {
        Device::instance().key(virtualKey, down);
    } else if (down && !textInput_) {
        if (const wchar_t c = typedCharacter(key.keysym.sym, key.keysym.mod)) {
            Device::instance().character(c);
        }
    }
}

// Mouse positions come in window points; the window may have more pixels than points (a
// high-density display).
void SdlBackend::pointerAtWindowPoint(PointerAction action, int x, int y) {
    int points = 0;
    int unused = 0;
    int pixels = 0;
    SDL_GetWindowSize(window_, &points, &unused);
    SDL_GetRendererOutputSize(renderer_, &pixels, &unused);
    if (points > 0 && pixels != points) {
        x = x * pixels / points;
        y = y * pixels / points;
    }
    const ScreenPoint at = screenPixelAt(fit_, x, y);
    Device::instance().pointer(action, at.x, at.y);
}

// Fingers come normalised to the window (on KMSDRM, without a window, to the display, which
// the native window fills).
void SdlBackend::pointerAtFinger(PointerAction action, const SDL_TouchFingerEvent& finger) {
    int width = 0;
    int height = 0;
    SDL_GetRendererOutputSize(renderer_, &width, &height);
    const ScreenPoint at =
        screenPixelAt(fit_, static_cast<int>(finger.x * static_cast<float>(width)),
                      static_cast<int>(finger.y * static_cast<float>(height)));
    Device::instance().pointer(action, at.x, at.y);
}

void SdlBackend::applyPending() {
    std::wstring title = user::mainWindowTitle();
    if (title.empty()) {
        title = L"Dawnbell";
    }
    if (title != title_) {
        title_ = title;
        SDL_SetWindowTitle(window_, paths::narrow(title_).c_str());
    }
    followTextInput();
    Device::instance().refreshTaskBar();
    const int cursor = wantedCursor_.exchange(-1);
    if (cursor >= 0) {
        SDL_SetCursor(cursor == 1 ? waitCursor_ : arrowCursor_);
    }
    for (;;) {
        std::shared_ptr<BoxRequest> request;
        {
            std::lock_guard guard(boxMutex_);
            if (boxRequests_.empty()) {
                break;
            }
            request = boxRequests_.front();
            boxRequests_.pop_front();
        }
        const int answer = showBox(request->text, request->caption, request->type);
        std::lock_guard guard(boxMutex_);
        request->answer = answer;
        request->done = true;
        boxDone_.notify_all();
    }
}

void SdlBackend::followTextInput() {
    const bool wanted = !Device::instance().inputPanelShown();
    if (wanted == textInput_) {
        return;
    }
    textInput_ = wanted;
    if (wanted) {
        SDL_StartTextInput();
    } else {
        SDL_StopTextInput();
    }
}

// A native device turns when the display does, as a press of F5 turns it.
void SdlBackend::followDisplayShape(bool landscape) {
    Device& device = Device::instance();
    if (landscape != (device.width() > device.height())) {
        device.rotate();
    }
}

void SdlBackend::refit() {
    int width = 0;
    int height = 0;
    SDL_GetRendererOutputSize(renderer_, &width, &height);
    fit_ = fitScreen(width, height, screenWidth_, screenHeight_);
    mustPresent_ = true;
}

// After a rotation the screen has swapped its sides: the texture and the window follow.
void SdlBackend::fitScreenSize() {
    Device& device = Device::instance();
    const int width = device.width();
    const int height = device.height();
    if (width == screenWidth_ && height == screenHeight_) {
        return;
    }
    screenWidth_ = width;
    screenHeight_ = height;
    SDL_DestroyTexture(texture_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                 width, height);
    if (!native_) {
        SDL_SetWindowSize(window_, width * scale_, height * scale_);
    }
    refit();
    device.invalidate(RECT{0, 0, width, height});
}

void SdlBackend::present() {
    fitScreenSize();
    if (texture_ != nullptr) {
        // Each changed area goes from the screen buffer (or the composed copy where a layer
        // covers it) straight to the texture: no copy of the screen in between.
        mustPresent_ |= Device::instance().presentChanges(
            [this](const RECT& area, const std::uint16_t* pixels, int pitch) {
                const SDL_Rect rect{area.left, area.top, area.right - area.left,
                                    area.bottom - area.top};
                SDL_UpdateTexture(texture_, &rect, pixels,
                                  pitch * static_cast<int>(sizeof(std::uint16_t)));
            });
    }
    if (!mustPresent_) {
        return;
    }
    mustPresent_ = false;
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    const SDL_Rect placed{fit_.left, fit_.top, fit_.width * fit_.scale, fit_.height * fit_.scale};
    SDL_RenderCopy(renderer_, texture_, nullptr, &placed);
    SDL_RenderPresent(renderer_);
    if (endAfterFirstPicture_) {
        endIfPictureShown();
    }
}

// What the window shows, read back at the renderer's output size, then one sample per screen
// pixel of the picture as the fit places it.
std::vector<std::uint16_t> SdlBackend::picture() {
    int outputWidth = 0;
    int outputHeight = 0;
    SDL_GetRendererOutputSize(renderer_, &outputWidth, &outputHeight);
    std::vector<std::uint16_t> output(static_cast<size_t>(outputWidth) * outputHeight);
    const bool read =
        SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB565, output.data(),
                             outputWidth * static_cast<int>(sizeof(std::uint16_t))) == 0;
    const bool inside = fit_.left >= 0 && fit_.top >= 0 &&
                        fit_.left + fit_.width * fit_.scale <= outputWidth &&
                        fit_.top + fit_.height * fit_.scale <= outputHeight;
    std::vector<std::uint16_t> shown;
    if (!read || !inside) {
        return shown;
    }
    shown.reserve(static_cast<size_t>(fit_.width) * fit_.height);
    for (int y = 0; y < fit_.height; ++y) {
        for (int x = 0; x < fit_.width; ++x) {
            shown.push_back(output[static_cast<size_t>(fit_.top + y * fit_.scale) * outputWidth +
                                   fit_.left + x * fit_.scale]);
        }
    }
    return shown;
}

// The program has drawn its screen once the middle of the screen is no longer black; it says
// how the screen was shown.
void SdlBackend::endIfPictureShown() {
    const int x = screenWidth_ / 2;
    const int y = screenHeight_ / 2;
    const std::vector<std::uint16_t> middle = Device::instance().compose(RECT{x, y, x + 1, y + 1});
    if (!middle.empty() && middle[0] != 0) {
        int outputWidth = 0;
        int outputHeight = 0;
        SDL_GetRendererOutputSize(renderer_, &outputWidth, &outputHeight);
        const int onDisplay = displayWidth_ > 0 && outputWidth > 0
                                  ? fit_.scale * displayWidth_ / outputWidth
                                  : fit_.scale;
        std::printf("Dawnbell: first picture, a %dx%d screen at scale %d on the display\n",
                    screenWidth_, screenHeight_, onDisplay);
        std::fflush(nullptr);
        std::_Exit(0);
    }
}

int SdlBackend::messageBox(const std::wstring& text, const std::wstring& caption, UINT type) {
    if (ownsThread()) {
        return showBox(text, caption, type);
    }
    auto request = std::make_shared<BoxRequest>();
    request->text = text;
    request->caption = caption;
    request->type = type;
    {
        std::lock_guard guard(boxMutex_);
        boxRequests_.push_back(request);
    }
    wake();
    std::unique_lock lock(boxMutex_);
    kernel::waitUntil(lock, boxDone_, std::nullopt, [&] { return request->done; });
    return request->answer;
}

int SdlBackend::showBox(const std::wstring& text, const std::wstring& caption, UINT type) {
    struct Choice {
        int id;
        const char* label;
    };
    std::vector<Choice> choices;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        choices = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
        break;
    case MB_ABORTRETRYIGNORE:
        choices = {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
        break;
    case MB_YESNOCANCEL:
        choices = {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
        break;
    case MB_YESNO:
        choices = {{IDYES, "Yes"}, {IDNO, "No"}};
        break;
    case MB_RETRYCANCEL:
        choices = {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
        break;
    default:
        choices = {{IDOK, "OK"}};
        break;
    }
    std::vector<SDL_MessageBoxButtonData> buttons;
    for (size_t i = 0; i < choices.size(); ++i) {
        Uint32 flags = 0;
        if (i == 0) {
            flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        }
        if (i + 1 == choices.size()) {
            flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        }
        buttons.push_back(SDL_MessageBoxButtonData{flags, choices[i].id, choices[i].label});
    }
    Uint32 icon = SDL_MESSAGEBOX_INFORMATION;
    if ((type & MB_ICONMASK) == MB_ICONHAND) {
        icon = SDL_MESSAGEBOX_ERROR;
    } else if ((type & MB_ICONMASK) == MB_ICONEXCLAMATION) {
        icon = SDL_MESSAGEBOX_WARNING;
    }
    const std::string title = paths::narrow(caption);
    const std::string message = paths::narrow(text);
    const SDL_MessageBoxData data{
        icon,           window_, title.c_str(), message.c_str(), static_cast<int>(buttons.size()),
        buttons.data(), nullptr};
    int answer = choices.front().id;
    if (SDL_ShowMessageBox(&data, &answer) != 0 || answer < 0) {
        answer = choices.front().id;
    }
    mustPresent_ = true;
    return answer;
}

void SdlBackend::setCursor(bool wait) {
    wantedCursor_ = wait ? 1 : 0;
    if (ownsThread()) {
        applyPending();
    } else {
        wake();
    }
}

std::wstring SdlBackend::clipboardText() {
    if (!ownsThread()) {
        return std::wstring();
    }
    char* text = SDL_GetClipboardText();
    std::wstring result = text != nullptr ? paths::widen(text) : std::wstring();
    SDL_free(text);
    return result;
}

void SdlBackend::setClipboardText(const std::wstring& text) {
    if (ownsThread()) {
        SDL_SetClipboardText(paths::narrow(text).c_str());
    }
}

} // namespace

std::unique_ptr<Backend> createSdl(DeviceConfig& config) {
    return std::make_unique<SdlBackend>(config);
}

} // namespace platform::backend
