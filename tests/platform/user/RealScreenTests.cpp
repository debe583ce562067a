// The device on a real screen: whole-scale fitting and the exact way back for touches, the
// native device a display becomes, the task bar strip's contents, the KMSDRM access check, the
// device's own image set, and (through SDL's dummy display) rotation and the one keyboard.
#include "UserTestSupport.h"

#include "backend/KmsAccess.h"
#include "backend/ScreenFit.h"
#include "device/ImageSet.h"
#include "device/TaskBar.h"
#include "kernel/Paths.h"

#include <SDL.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

using namespace usertest;
using namespace platform::backend;
namespace fs = std::filesystem;

namespace {

// The first and last window pixels over the top left and bottom right pixels of a button (the
// VGA phone's Send button, 12..319 x 480..543) map back to them, and those beyond to outside.
TEST(ScreenFitTest, TouchesOnTheCornerPixelsOfTheSendButtonMapBackExactlyAtScaleTwoAndThree) {
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
}

TEST(ScreenFitTest, NativeDeviceKeepsTheLayoutWidthAndFingerSizeOnPhonesAndPanels) {
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

// The strip drawn with a status, as RGB565 pixels of a 480 x 52 frame.
std::vector<std::uint16_t> strip(platform::device::TaskBar& bar,
                                 platform::device::TaskBarStatus s) {
    bar.setStatus(s);
    std::vector<std::uint16_t> frame(480 * 52);
    bar.paint(frame.data(), 480, RECT{0, 0, 480, 52});
    return frame;
}

// The columns where two strips differ.
std::pair<int, int> differingColumns(const std::vector<std::uint16_t>& a,
                                     const std::vector<std::uint16_t>& b) {
    int first = 480, last = -1;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            first = std::min(first, static_cast<int>(i % 480));
            last = std::max(last, static_cast<int>(i % 480));
        }
    }
    return {first, last};
}

// The clock's last digit read back from the strip: the rightmost of its white (brightest) dots,
// five rows high, one '#' per lit dot, rows joined by '/'.
std::string lastDigit(const std::vector<std::uint16_t>& frame) {
    std::uint16_t white = 0;
    RECT lit{480, 52, 0, 0};
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 480 * 52; ++i) {
            const int x = i % 480, y = i / 480;
            if (x > 440 && pass == 0) {
                white = std::max(white, frame[i]);
            } else if (x > 440 && frame[i] == white) {
                lit = {std::min(lit.left, x), std::min(lit.top, y), std::max(lit.right, x + 1),
                       std::max(lit.bottom, y + 1)};
            }
        }
    }
    const int dot = (lit.bottom - lit.top) / 5, left = lit.right - 3 * dot;
    std::string picture;
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < 3; ++column) {
            const int x = left + column * dot + dot / 2, y = lit.top + row * dot + dot / 2;
            picture += frame[y * 480 + x] == white ? '#' : '.';
        }
        picture += row < 4 ? "/" : "";
    }
    return picture;
}

TEST_F(UserTest, TaskBarStripShowsTheClockAtTheRightAndTheConnectionLeftOfItInLegibleDigits) {
    platform::device::TaskBar bar(device());
    using Status = platform::device::TaskBarStatus;
    const auto morning = strip(bar, Status{9 * 60 + 41, true});
    const auto [minuteFrom, minuteTo] =
        differingColumns(morning, strip(bar, Status{9 * 60 + 47, true}));
    const auto [hourFrom, hourTo] =
        differingColumns(morning, strip(bar, Status{8 * 60 + 41, true}));
    const auto [barsFrom, barsTo] =
        differingColumns(morning, strip(bar, Status{9 * 60 + 41, false}));
    const auto [tenFrom, tenTo] = differingColumns(morning, strip(bar, Status{19 * 60 + 41, true}));
    EXPECT_GT(minuteFrom, 440);    // the last digit, at the right edge
    EXPECT_LT(hourTo, minuteFrom); // the hour left of the minutes
    EXPECT_GT(hourFrom, barsTo);   // the bars left of the clock
    EXPECT_GT(barsFrom, 360);
    EXPECT_LT(tenFrom, hourFrom); // a two-digit hour is wider
    EXPECT_LT(tenTo, minuteFrom);
    const char* digits[] = {"###/#.#/#.#/#.#/###", ".#./##./.#./.#./###", "###/..#/###/#../###",
                            "###/..#/.##/..#/###", "#.#/#.#/###/..#/..#", "###/#../###/..#/###",
                            "###/#../###/#.#/###", "###/..#/..#/.#./.#.", "###/#.#/###/#.#/###",
                            "###/#.#/###/..#/###"};
    for (int d = 0; d < 10; ++d)
        EXPECT_EQ(lastDigit(strip(bar, Status{9 * 60 + 40 + d, true})), digits[d]) << d;
}

TEST_F(UserTest, HiddenTaskBarStillShowsWhereNoWindowCoversItsPlace) {
    device().setTaskBarVisible(false);
    device().refreshTaskBar();
    EXPECT_TRUE(device().taskBarDrawn());
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
    ~KmsFolders() {
        chmod(devices.input.c_str(), 0755);
        fs::remove_all(root);
    }
};

TEST(KmsAccessTest, ADisplayIsTakenOnlyWithItsInputAndOtherwiseTheGroupsAreNamed) {
    KmsFolders folders;
    EXPECT_EQ(checkKmsAccess(folders.devices).access, KmsAccess::usable);
    EXPECT_EQ(checkKmsAccess({folders.root / "none", folders.devices.input}).access,
              KmsAccess::noDisplay);
    chmod(folders.devices.input.c_str(), 0);
    // The real program, as a user who may not read the input folder (root is made one).
    ScopedEnvironment environment{{"SDL_VIDEODRIVER", "KMSDRM"},
                                  {"DAWNBELL_DEV_DRI", folders.devices.dri.c_str()},
                                  {"DAWNBELL_DEV_INPUT", folders.devices.input.c_str()}};
    platform::DeviceConfig config;
    config.deviceDir = folders.root / "device";
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                std::exit(3);
            platform::Device::start(config);
        },
        ::testing::ExitedWithCode(1), "No input device in .*input opens: join the group");
}

TEST(ImageSetTest, EachScreenGetsItsOwnCopyFromTheUntouchedOriginal) {
    KmsFolders folders; // a scratch folder
    const fs::path original = folders.root / "VGA", device = folders.root / "device";
    fs::create_directories(original);
    for (const char* name : {"a.png", "AlreadyScalled.txt", "a.png.part", ".a.png.writing-1"})
        std::ofstream(original / name) << "drawn";
    fs::create_directories(device / "resources" / ".240x320-96dpi.partial-7" / "VGA");
    const fs::path copy = platform::device::ownImageSet(device, original, "240x320-96dpi");
    EXPECT_EQ(copy, device / "resources" / "240x320-96dpi" / "VGA");
    EXPECT_EQ(std::distance(fs::directory_iterator(copy), {}), 1); // no work file of a rescaling
    EXPECT_EQ(std::distance(fs::directory_iterator(device / "resources"), {}), 1);
    std::ofstream(copy / "a.png") << "scaled";
    EXPECT_EQ(platform::device::ownImageSet(device, original, "240x320-96dpi"), copy);
    std::ifstream kept(copy / "a.png");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "scaled");

    const fs::path other = platform::device::ownImageSet(device, original, "360x720-144dpi");
    std::ifstream fresh(other / "a.png");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(fresh), {}), "drawn");
    EXPECT_FALSE(fs::exists(copy));

    platform::paths::configure(device, folders.root / "program");
    platform::paths::useImageFolder(other);
    EXPECT_EQ(platform::paths::toHost(L"\\Program Files\\Dawnbell\\Resources\\vga\\a.png"),
              other / "a.png");
    EXPECT_EQ(platform::paths::toHost(L"\\Program Files\\Dawnbell\\resources\\x.txt"),
              folders.root / "program" / "resources" / "x.txt");
}

} // namespace

namespace {

// The last character or key the focus window got.
UINT typedCharacter() {
    MSG msg{};
    UINT typed = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        typed = msg.message == WM_CHAR || msg.message == WM_KEYDOWN ? static_cast<UINT>(msg.wParam)
                                                                    : typed;
        DispatchMessageW(&msg);
    }
    return typed;
}

void press(SDL_Keycode key, Uint16 modifiers) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    event.key.keysym.mod = modifiers;
    SDL_PushEvent(&event);
    platform::Device::instance().backend().waitForEvents(0);
}

// SDL's dummy display (1024 x 768) as the real screen of a native device.
TEST_F(UserTest, NativeDeviceTurnsWithTheDisplayAndItsPanelKeepsTheSystemKeyboardAway) {
    ScopedEnvironment environment{{"SDL_VIDEODRIVER", "dummy"}};
    platform::DeviceConfig config;
    config.native = true;
    config.deviceDir = platform::paths::deviceDir();
    config.programDir = platform::paths::programDir();
    platform::Device::start(config);
    platform::Device& native = platform::Device::instance();
    EXPECT_EQ(std::tuple(native.width(), native.height(), native.taskBarHeight()),
              std::tuple(1024, 768, 0));

    SDL_Event turn{};
    turn.type = SDL_DISPLAYEVENT;
    turn.display.event = SDL_DISPLAYEVENT_ORIENTATION;
    turn.display.data1 = SDL_ORIENTATION_PORTRAIT;
    SDL_PushEvent(&turn);
    native.backend().waitForEvents(0);
    EXPECT_EQ(std::pair(native.width(), native.height()), std::pair(768, 1024));

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"Field";
    RegisterClassW(&wc);
    SetFocus(CreateWindowExW(0, L"Field", L"", WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                             nullptr, nullptr));
    native.setInputPanelShown(true);
    press(SDLK_a, KMOD_LSHIFT);
    EXPECT_FALSE(SDL_IsTextInputActive());
    EXPECT_EQ(typedCharacter(), static_cast<UINT>('A')); // a physical key still types
    press(SDLK_SEMICOLON, KMOD_RSHIFT);
    EXPECT_EQ(typedCharacter(), static_cast<UINT>(':'));
    press(SDLK_BACKSPACE, KMOD_NONE);
    EXPECT_EQ(typedCharacter(), UINT{VK_BACK}); // a key with a virtual key code
    native.setInputPanelShown(false);
    press(SDLK_b, KMOD_NONE);
    EXPECT_TRUE(SDL_IsTextInputActive());
    EXPECT_EQ(typedCharacter(), 0u); // the window system's text input types it now
}

} // namespace
