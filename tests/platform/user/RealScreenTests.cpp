// The device on a real screen: whole-scale fitting and the exact way back for touches, the
// native device a display becomes, the task bar strip's contents, the KMSDRM access check and
// (through SDL's dummy display) rotation and the one keyboard.
#include "support/User.h"

#include "backend/KmsAccess.h"
#include "backend/ScreenFit.h"
#include "device/TaskBar.h"
#include "kernel/Paths.h"

#include <SDL.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <grp.h>

using namespace usertest;
using namespace platform::backend;
namespace fs = std::filesystem;

namespace {

// The first and last window pixels over the top left and bottom right pixels of a button (the
// VGA phone's Send button, 12..319 x 480..543) map back to them, and those beyond to outside.
TEST(ScreenFitTest, TouchesMapBackExactlyAtScaleTwoAndThreeAndANativeDeviceKeepsFingerSize) {
    for (const int scale : {2, 3}) {
        const ScreenFit fit = fitScreen(480 * scale + 7, 640 * scale + 5, 480, 640);
        ASSERT_EQ(std::pair(fit.scale, fit.left), std::pair(scale, 3));
        for (const auto& [x, y] : {POINT{12, 480}, {11, 479}, {319, 543}, {320, 544}}) {
            for (const int d : {0, scale - 1}) {
                const ScreenPoint in =
                    screenPixelAt(fit, 3 + x * scale + d, fit.top + y * scale + d);
                EXPECT_EQ(std::pair(in.x, in.y), std::pair(x, y)) << "scale " << scale;
            }
        }
    }
    const ScreenFit fit = fitScreen(1000, 1300, 480, 640); // 20 pixels of border each way
    EXPECT_EQ(screenPixelAt(fit, 0, 0).x, 0);              // the border goes to the edge
    EXPECT_EQ(screenPixelAt(fit, 999, 1299).y, 639);
    // A native device keeps the layout width and finger size on phones and panels.
    struct Case {
        int displayWidth, displayHeight, width, height, dpi, scale;
    };
    for (const Case& c : {Case{720, 1440, 360, 720, 144, 2}, Case{1080, 2340, 360, 780, 144, 3},
                          Case{800, 480, 800, 480, 192, 1}, Case{480, 800, 480, 800, 192, 1},
                          Case{1920, 1080, 960, 540, 192, 2}, Case{240, 320, 240, 320, 96, 1}}) {
        const NativeScreen s = nativeScreen(c.displayWidth, c.displayHeight);
        EXPECT_EQ(std::tuple(s.width, s.height, s.dpi, s.scale),
                  std::tuple(c.width, c.height, c.dpi, c.scale))
            << c.displayWidth << "x" << c.displayHeight;
    }
}

// The VGA phone's strip (480 x 52) drawn at a time of day.
std::vector<std::uint16_t> strip(platform::device::TaskBar& bar, int hour, int minute,
                                 bool connected = true) {
    bar.setStatus({hour * 60 + minute, connected});
    std::vector<std::uint16_t> frame(480 * 52);
    bar.paint(frame.data(), 480, RECT{0, 0, 480, 52});
    return frame;
}

// The first and last columns where two strips differ.
std::pair<int, int> differingColumns(const std::vector<std::uint16_t>& a,
                                     const std::vector<std::uint16_t>& b) {
    std::pair columns(480, -1);
    for (int i = 0; i < 480 * 52; ++i) {
        if (a[i] != b[i])
            columns = {std::min(columns.first, i % 480), std::max(columns.second, i % 480)};
    }
    return columns;
}

TEST_F(UserTest, TaskBarStripShowsTheClockAtTheRightAndTheConnectionLeftOfItInLegibleDigits) {
    platform::device::TaskBar bar(device());
    const auto morning = strip(bar, 9, 41); // "9:41", dots of 4 pixels, ends 10 from the edge
    EXPECT_EQ(differingColumns(morning, strip(bar, 9, 47)), std::pair(458, 469));
    EXPECT_EQ(differingColumns(morning, strip(bar, 8, 41)), std::pair(410, 413));
    // Four bars 5 wide, 3 apart, 10 left of the clock, dim without a connection.
    EXPECT_EQ(differingColumns(morning, strip(bar, 9, 41, false)), std::pair(368, 396));
    EXPECT_EQ(differingColumns(morning, strip(bar, 19, 41)), std::pair(352, 405));
    EXPECT_EQ(differingColumns(strip(bar, 10, 41), strip(bar, 19, 41)), std::pair(410, 417));
    std::vector<int> heights; // lit rows of each bar, rising by a quarter of the tallest
    for (int x = 370; x < 400; x += 8)
        heights.push_back(static_cast<int>(
            std::count_if(morning.begin(), morning.end(), [&, i = 0](std::uint16_t p) mutable {
                return i++ % 480 == x && p == 0xF79E;
            })));
    EXPECT_EQ(heights, (std::vector<int>{8, 16, 24, 32}));
    const char* digits[] = {"###/#.#/#.#/#.#/###", ".#./##./.#./.#./###", "###/..#/###/#../###",
                            "###/..#/.##/..#/###", "#.#/#.#/###/..#/..#", "###/#../###/..#/###",
                            "###/#../###/#.#/###", "###/..#/..#/.#./.#.", "###/#.#/###/#.#/###",
                            "###/#.#/###/..#/###"};
    // The centres of a digit's dots from column `left`, white or not, rows joined by '/'.
    const auto digitAt = [](const std::vector<std::uint16_t>& frame, int left) {
        std::string dots;
        for (int i = 0; i < 15; ++i) {
            dots += frame[(18 + i / 3 * 4) * 480 + left + i % 3 * 4] == 0xF79E ? '#' : '.';
            dots += i % 3 == 2 && i < 14 ? "/" : "";
        }
        return dots;
    };
    for (int d = 0; d < 10; ++d)
        EXPECT_EQ(digitAt(strip(bar, 9, 40 + d), 460), digits[d]) << d;
    EXPECT_EQ(digitAt(strip(bar, 12, 0), 412), digits[2]) << "the hour's second digit";
    // A new status asks for a paint when the minute or the connection changed.
    EXPECT_FALSE(bar.setStatus({720, true}));
    EXPECT_TRUE(bar.setStatus({720, false}));
    EXPECT_TRUE(bar.setStatus({721, false}));
    // Hidden, the strip still shows where no window covers its place.
    device().setTaskBarVisible(false);
    device().refreshTaskBar();
    EXPECT_TRUE(device().taskBarDrawn());
    device().presentChanges([](auto&&...) {});
    device().refreshTaskBar(); // a turn of the loop with nothing new repaints nothing
    EXPECT_FALSE(device().presentChanges([](auto&&...) {}));
    HWND covering = CreateWindowExW(0, kClassName, L"", WS_VISIBLE, 0, 0, 480, 640, nullptr,
                                    nullptr, nullptr, nullptr);
    device().refreshTaskBar();
    EXPECT_FALSE(device().taskBarDrawn());
    DestroyWindow(covering);
}

struct KmsFolders {
    fs::path root = fs::temp_directory_path() / ("dawnbell-kms-" + std::to_string(getpid()));
    KmsDevices devices{root / "dri", root / "input"};
    KmsFolders() {
        fs::create_directories(devices.dri);
        fs::create_directories(devices.input);
        std::ofstream(devices.dri / "card0") << "";
        std::ofstream(devices.input / "event0") << "";
    }
    ~KmsFolders() { fs::remove_all(root); }
};

// The real program ends with the reason when it cannot take the display as it should.
TEST(KmsAccessTest, ADisplayIsTakenOnlyWithItsInputAndOtherwiseTheGroupsAreNamed) {
    KmsFolders folders;
    EXPECT_EQ(checkKmsAccess(folders.devices).access, KmsAccess::usable);
    EXPECT_EQ(checkKmsAccess({folders.root / "none", folders.devices.input}).access,
              KmsAccess::noDisplay);
    for (const fs::path& input : {folders.root / "none", folders.devices.dri}) { // no event*
        const KmsCheck check = checkKmsAccess({folders.devices.dri, input});
        EXPECT_EQ(check.access, KmsAccess::refused) << input;
        EXPECT_NE(check.message.find("no input device in " + input.string()), std::string::npos);
    }
    chmod((folders.devices.input / "event0").c_str(), 0);
    // A device of root's group names none: the usual group is named instead.
    const group* own = getgrgid(getegid());
    const std::string group = geteuid() == 0 || own == nullptr ? "input" : own->gr_name;
    platform::DeviceConfig config;
    config.deviceDir = folders.root / "device";
    {
        // As a user who may not read the input folder (root is made one).
        ScopedEnvironment environment{{"SDL_VIDEODRIVER", "KMSDRM"},
                                      {"DAWNBELL_DEV_DRI", folders.devices.dri.c_str()},
                                      {"DAWNBELL_DEV_INPUT", folders.devices.input.c_str()}};
        EXPECT_EXIT(
            {
                if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                    std::exit(3);
                platform::Device::start(config);
            },
            ::testing::ExitedWithCode(1),
            "No input device in .*input opens: join the group " + group + "\\. ");
    }
    ScopedEnvironment environment{{"SDL_VIDEODRIVER", "dummy"}};
    config.width = config.height = 100000; // no window's picture that big
    EXPECT_EXIT(platform::Device::start(config), ::testing::ExitedWithCode(1),
                "cannot open a window");
}

// checkKmsAccess as the user nobody, in a child process: the result and the message.
std::pair<int, std::string> checkedByNobody(const KmsDevices& devices) {
    int ends[2];
    if (pipe(ends) != 0)
        return {-1, "no pipe"};
    const pid_t child = fork();
    if (child == 0) {
        const KmsCheck check =
            setgid(65534) == 0 && setuid(65534) == 0 ? checkKmsAccess(devices) : KmsCheck{};
        const std::string told = std::to_string(static_cast<int>(check.access)) + check.message;
        _exit(write(ends[1], told.data(), told.size()) == std::ssize(told) ? 0 : 1);
    }
    close(ends[1]);
    std::string told;
    char buffer[256];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;)
        told.append(buffer, static_cast<size_t>(n));
    close(ends[0]);
    waitpid(child, nullptr, 0);
    return {told.empty() ? -1 : told[0] - '0', told.empty() ? told : told.substr(1)};
}

// A user the devices are closed to is told to join their groups (root's group names none: the
// usual group is named instead), or the group of a folder closed to them.
TEST(KmsAccessTest, AUserRefusedTheDevicesIsToldEachGroupToJoin) {
    const auto gidOf = [](const char* name) { // getgrnam's entry is overwritten by the next
        const group* entry = getgrnam(name);
        return entry ? entry->gr_gid : gid_t{0};
    };
    const gid_t tty = gidOf("tty"), video = gidOf("video");
    if (geteuid() != 0 || tty == 0 || video == 0)
        GTEST_SKIP() << "needs root, to check as nobody, and the groups tty and video";
    KmsFolders folders;
    const fs::path &dri = folders.devices.dri, &input = folders.devices.input;
    std::ofstream(dri / "card1") << "";
    std::ofstream(input / "event1") << "";
    std::ofstream(input / "event2") << "";
    std::ofstream(input / "mouse0") << ""; // not an event device: never tried
    const std::pair<fs::path, gid_t> devices[] = {{dri / "card0", video},
                                                  {dri / "card1", 0},
                                                  {input / "event0", tty},
                                                  {input / "event1", video},
                                                  {input / "event2", 0}};
    for (const auto& [device, gid] : devices) {
        chown(device.c_str(), 0, gid);
        chmod(device.c_str(), 0660);
    }
    const std::string told =
                          "Dawnbell: the screen and touch devices may not be used by this user. ",
                      then = "Then log in again and start Dawnbell once more.";
    const int refused = static_cast<int>(KmsAccess::refused);
    const auto card = [&](const char* groups) {
        return "No display card in " + dri.string() + " opens: join the group " + groups + ". ";
    };
    const auto event = [&](const char* groups) {
        return "No input device in " + input.string() + " opens: join the group " + groups + ". ";
    };
    EXPECT_EQ(checkedByNobody(folders.devices),
              std::pair(refused, told + card("video") + event("tty, video") + then));
    for (const char* name : {"card0", "event0", "event1"}) // root's group: the usual ones
        chown((folders.root / (name[0] == 'c' ? "dri" : "input") / name).c_str(), 0, 0);
    EXPECT_EQ(checkedByNobody(folders.devices),
              std::pair(refused, told + card("video") + event("input") + then));
    chmod((dri / "card1").c_str(), 0666); // opens; the input folder is closed
    chown(input.c_str(), 0, tty);
    chmod(input.c_str(), 0750);
    EXPECT_EQ(checkedByNobody(folders.devices), std::pair(refused, told + event("tty") + then));
}

// Presses a key of the real keyboard; gives the last character or key the focus window got.
UINT typed(SDL_Keycode key, Uint16 modifiers = KMOD_NONE) {
    SDL_Event press{.key{.type = SDL_KEYDOWN, .keysym{.sym = key, .mod = modifiers}}};
    SDL_PushEvent(&press);
    platform::Device::instance().backend().waitForEvents(0);
    UINT last = 0;
    for (MSG msg{}; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); DispatchMessageW(&msg)) {
        if (msg.message == WM_CHAR || msg.message == WM_KEYDOWN)
            last = static_cast<UINT>(msg.wParam);
    }
    return last;
}

// SDL's dummy display (1024 x 768) as the real screen of a native device.
TEST_F(UserTest, NativeDeviceTurnsWithTheDisplayAndItsPanelKeepsTheSystemKeyboardAway) {
    ScopedEnvironment environment{{"SDL_VIDEODRIVER", "dummy"}};
    restart({.native = true});
    platform::Device& native = platform::Device::instance();
    EXPECT_EQ(std::tuple(native.width(), native.height(), native.taskBarHeight()),
              std::tuple(1024, 768, 0));
    const WNDCLASSW field{.lpfnWndProc = DefWindowProcW, .lpszClassName = L"Field"};
    RegisterClassW(&field);
    HWND window = CreateWindowExW(0, L"Field", L"", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    SDL_Event turn{.display{.type = SDL_DISPLAYEVENT,
                            .event = SDL_DISPLAYEVENT_ORIENTATION,
                            .data1 = SDL_ORIENTATION_PORTRAIT}};
    SDL_PushEvent(&turn);
    native.backend().waitForEvents(0);
    EXPECT_EQ(std::pair(native.width(), native.height()), std::pair(768, 1024));
    // The turned screen stands in the middle of the display: 128 pixels left of it are border.
    SDL_Event press{.button{.type = SDL_MOUSEBUTTONDOWN, .button = SDL_BUTTON_LEFT, .x = 178}};
    SDL_PushEvent(&press);
    press.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&press);
    native.backend().waitForEvents(0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, window, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE));
    EXPECT_EQ(msg.lParam, MAKELPARAM(50, 0));
    typed(SDLK_F5); // the emulated phone's key to turn: the display did not turn
    EXPECT_EQ(std::pair(native.width(), native.height()), std::pair(768, 1024));
    SDL_Event resized{.window{.type = SDL_WINDOWEVENT, .event = SDL_WINDOWEVENT_SIZE_CHANGED}};
    SDL_PushEvent(&resized); // the window still as wide as the display: it turned back
    native.backend().waitForEvents(0);
    EXPECT_EQ(std::pair(native.width(), native.height()), std::pair(1024, 768));

    SetFocus(window);
    native.setInputPanelShown(true);
    EXPECT_EQ(typed(SDLK_a, KMOD_LSHIFT), UINT{'A'}); // a physical key still types
    EXPECT_FALSE(SDL_IsTextInputActive());
    EXPECT_EQ(typed(SDLK_SEMICOLON, KMOD_RSHIFT), UINT{':'});
    EXPECT_EQ(typed(SDLK_BACKSPACE), UINT{VK_BACK}); // a key with a virtual key code
    native.setInputPanelShown(false);
    EXPECT_EQ(typed(SDLK_b), 0u); // the window system's text input types it now
    EXPECT_TRUE(SDL_IsTextInputActive());
}

// Fingers on the display: the first is the stylus, pressing, moving and lifting; a second
// finger meanwhile does nothing.
TEST_F(UserTest, TheFirstFingerOnTheDisplayOrTheMousesLeftButtonIsTheStylus) {
    ScopedEnvironment environment{{"SDL_VIDEODRIVER", "dummy"}};
    restart({.native = true});
    const WNDCLASSW surface{.lpfnWndProc = DefWindowProcW, .lpszClassName = L"Surface"};
    RegisterClassW(&surface);
    CreateWindowExW(0, L"Surface", L"", WS_VISIBLE, 0, 0, 1024, 768, nullptr, nullptr, nullptr,
                    nullptr);
    const auto finger = [](Uint32 type, SDL_FingerID id, float x, float y) {
        SDL_Event event{.tfinger{.type = type, .touchId = 1, .fingerId = id, .x = x, .y = y}};
        SDL_PushEvent(&event);
    };
    finger(SDL_FINGERDOWN, 7, 0.25f, 0.25f);
    finger(SDL_FINGERDOWN, 8, 0.75f, 0.75f);
    finger(SDL_FINGERMOTION, 8, 0.75f, 0.5f);
    finger(SDL_FINGERMOTION, 7, 0.5f, 0.5f);
    finger(SDL_FINGERUP, 8, 0.75f, 0.5f);
    finger(SDL_FINGERUP, 7, 0.5f, 0.5f);
    platform::Device::instance().backend().waitForEvents(0);
    std::vector<std::tuple<UINT, int, int>> seen;
    for (MSG msg{}; PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE);)
        seen.emplace_back(msg.message, LOWORD(msg.lParam), HIWORD(msg.lParam));
    EXPECT_EQ(seen,
              (std::vector<std::tuple<UINT, int, int>>{
                  {WM_LBUTTONDOWN, 256, 192}, {WM_MOUSEMOVE, 512, 384}, {WM_LBUTTONUP, 512, 384}}));

    // The mouse's left button is the stylus too; its other buttons, moves with no button held
    // and the mouse events SDL makes up from touches (the fingers already tell those) are not.
    const auto mouse = [](Uint32 type, Uint32 which, Uint8 button, int x, int y) {
        SDL_Event event{};
        if (type == SDL_MOUSEMOTION) {
            event.motion = {.type = type, .which = which, .state = button, .x = x, .y = y};
        } else {
            event.button = {.type = type, .which = which, .button = button, .x = x, .y = y};
        }
        SDL_PushEvent(&event);
    };
    mouse(SDL_MOUSEBUTTONDOWN, 0, SDL_BUTTON_RIGHT, 10, 10);
    mouse(SDL_MOUSEBUTTONDOWN, SDL_TOUCH_MOUSEID, SDL_BUTTON_LEFT, 20, 20);
    mouse(SDL_MOUSEMOTION, SDL_TOUCH_MOUSEID, SDL_BUTTON_LMASK, 25, 25);
    mouse(SDL_MOUSEBUTTONUP, SDL_TOUCH_MOUSEID, SDL_BUTTON_LEFT, 25, 25);
    mouse(SDL_MOUSEMOTION, 0, 0, 30, 30);
    mouse(SDL_MOUSEBUTTONDOWN, 0, SDL_BUTTON_LEFT, 40, 50);
    mouse(SDL_MOUSEMOTION, 0, SDL_BUTTON_LMASK, 60, 70);
    mouse(SDL_MOUSEBUTTONUP, 0, SDL_BUTTON_LEFT, 60, 70);
    mouse(SDL_MOUSEBUTTONUP, 0, SDL_BUTTON_RIGHT, 10, 10);
    platform::Device::instance().backend().waitForEvents(0);
    seen.clear();
    for (MSG msg{}; PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE);)
        seen.emplace_back(msg.message, LOWORD(msg.lParam), HIWORD(msg.lParam));
    EXPECT_EQ(seen, (std::vector<std::tuple<UINT, int, int>>{
                        {WM_LBUTTONDOWN, 40, 50}, {WM_MOUSEMOVE, 60, 70}, {WM_LBUTTONUP, 60, 70}}));
}

// The emulated phone in a real window: the window's close button asks the program's main window
// to close, keys arrive as the phone's keys and characters, the clipboard holds what was copied,
// and a box asked for on any thread is answered (SDL has no box to show on its dummy display:
// the first choice is taken).
TEST_F(UserTest, APhoneWindowClosesTypesCopiesAndAnswersBoxesFromAnyThread) {
    ScopedEnvironment environment{
        {"SDL_VIDEODRIVER", "dummy"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    restart({.backend = "sdl"});
    platform::Device& phone = platform::Device::instance();
    EXPECT_FALSE(phone.waitCursorShown());
    SDL_Event quit{.quit{.type = SDL_QUIT}};
    SDL_PushEvent(&quit);
    phone.backend().waitForEvents(0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT{WM_QUIT}) << "no window to close: the program is asked to end";
    const WNDCLASSW main{.lpfnWndProc = DefWindowProcW, .lpszClassName = L"Main"};
    RegisterClassW(&main);
    HWND window = CreateWindowExW(0, L"Main", L"Dawnbell", WS_VISIBLE, 0, 0, 480, 640, nullptr,
                                  nullptr, nullptr, nullptr);
    SetFocus(window);
    SDL_PushEvent(&quit);
    phone.backend().waitForEvents(0);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, window);

    // The window system's text input types while the platform's panel is down.
    SDL_Event text{.text{.type = SDL_TEXTINPUT, .text = "é1"}};
    SDL_PushEvent(&text);
    phone.backend().waitForEvents(0);
    std::wstring typedText;
    for (; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); DispatchMessageW(&msg))
        if (msg.message == WM_CHAR)
            typedText += static_cast<wchar_t>(msg.wParam);
    EXPECT_EQ(typedText, L"é1");
    for (const auto& [key, virtualKey] :
         std::vector<std::pair<SDL_Keycode, UINT>>{{SDLK_LEFT, VK_LEFT},
                                                   {SDLK_RIGHT, VK_RIGHT},
                                                   {SDLK_UP, VK_UP},
                                                   {SDLK_DOWN, VK_DOWN},
                                                   {SDLK_DELETE, VK_DELETE},
                                                   {SDLK_HOME, VK_HOME},
                                                   {SDLK_END, VK_END},
                                                   {SDLK_RETURN, VK_RETURN},
                                                   {SDLK_KP_ENTER, VK_RETURN},
                                                   {SDLK_ESCAPE, VK_ESCAPE},
                                                   {SDLK_TAB, VK_TAB}})
        EXPECT_EQ(typed(key), virtualKey) << SDL_GetKeyName(key);
    EXPECT_EQ(typed(SDLK_v, KMOD_LCTRL), UINT{0x16}); // a paste, as a desktop keyboard's Ctrl+V
    phone.setInputPanelShown(true);                   // now only keys type
    for (const auto& [key, modifiers, character] :
         std::vector<std::tuple<SDL_Keycode, Uint16, UINT>>{{SDLK_z, KMOD_CAPS, 'Z'},
                                                            {SDLK_z, KMOD_CAPS | KMOD_LSHIFT, 'z'},
                                                            {SDLK_SLASH, KMOD_NONE, '/'},
                                                            {SDLK_SLASH, KMOD_RSHIFT, '?'},
                                                            {SDLK_BACKQUOTE, KMOD_LSHIFT, '~'},
                                                            {SDLK_SPACE, KMOD_LSHIFT, ' '},
                                                            {SDLK_a, KMOD_LALT, 0}})
        EXPECT_EQ(typed(key, modifiers), character) << SDL_GetKeyName(key) << modifiers;
    EXPECT_EQ(std::pair(phone.width(), phone.height()), std::pair(480, 640));
    typed(SDLK_F5); // a phone in a window turns on its key
    EXPECT_EQ(std::pair(phone.width(), phone.height()), std::pair(640, 480));
    typed(SDLK_r, KMOD_LCTRL);
    EXPECT_EQ(std::pair(phone.width(), phone.height()), std::pair(480, 640));

    phone.backend().setClipboardText(L"00:11:22:aa:bb:cc é");
    EXPECT_EQ(phone.backend().clipboardText(), L"00:11:22:aa:bb:cc é");
    EXPECT_EQ(MessageBoxW(window, L"Sure?", L"Question", MB_YESNO | MB_ICONHAND), IDYES);
    Worker worker([&] {
        EXPECT_EQ(phone.backend().clipboardText(), L""); // the window's thread alone reads it
        return static_cast<DWORD>(MessageBoxW(window, L"Again?", L"Question", MB_RETRYCANCEL));
    });
    spinUntil([&] {
        phone.backend().waitForEvents(0);
        return worker.finished();
    });
    EXPECT_EQ(worker.join(), DWORD{IDRETRY});
}

// The window's thread waits in the window system's event wait, which a reply, a post or the
// clock reaching a timer ends.
TEST_F(UserTest, ThePhonesThreadWaitsForRepliesAndTimersInTheWindowSystemsWait) {
    ScopedEnvironment environment{{"SDL_VIDEODRIVER", "dummy"}};
    restart({.backend = "sdl"});
    const WNDCLASSW plain{.lpfnWndProc = DefWindowProcW, .lpszClassName = L"Plain"};
    RegisterClassW(&plain);
    const auto window = [](const wchar_t* title) {
        return CreateWindowExW(0, L"Plain", title, 0, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                               nullptr);
    };
    std::atomic<HWND> theirs{nullptr};
    Worker replier([&] {
        theirs = window(L"four");
        for (MSG msg{}; GetMessageW(&msg, nullptr, 0, 0) > 0;)
            DispatchMessageW(&msg);
    });
    spinUntil([&] { return theirs != nullptr; });
    EXPECT_EQ(SendMessageW(theirs, WM_GETTEXTLENGTH, 0, 0), 4);
    PostThreadMessageW(replier.id(), WM_QUIT, 0, 0);
    replier.join();

    HWND mine = window(L"");
    SetTimer(mine, 5, 1000, nullptr);
    std::atomic<bool> ticked{false};
    Worker clock([&] {
        while (!ticked)
            platform::clock::advance(1);
    });
    MSG msg{};
    EXPECT_EQ(GetMessageW(&msg, mine, 0, 0), TRUE);
    ticked = true;
    clock.join();
    EXPECT_EQ(std::pair(msg.message, msg.wParam), std::pair(UINT{WM_TIMER}, WPARAM{5}));
}

// The start-up benchmark's run ends once the middle of the screen is drawn, saying how the
// screen is shown.
TEST_F(UserTest, AskedToEndAfterTheFirstPictureThePhoneEndsOnceTheMiddleOfItsScreenIsDrawn) {
    ScopedEnvironment environment{{"SDL_VIDEODRIVER", "dummy"},
                                  {"DAWNBELL_END_AFTER_FIRST_PICTURE", "1"}};
    const auto drawTheMiddle = [] {
        dup2(2, 1);
        restart({.backend = "sdl"});
        platform::Device& phone = platform::Device::instance();
        phone.backend().waitForEvents(0);
        std::fputs("black, going on\n", stderr);
        phone.pixels()[320 * phone.pitch() + 240] = 0xFFFF;
        phone.invalidate(RECT{240, 320, 241, 321});
        phone.backend().waitForEvents(0);
        std::exit(2);
    };
    EXPECT_EXIT(drawTheMiddle(), ::testing::ExitedWithCode(0),
                "going on\n.*first picture, a 480x640 screen at scale 1 on the display");
}

} // namespace
