// The emulated phone: rotation, metrics, the task bar, the screen and its layers, screenshots and
// the configuration from the environment.
#include "support/User.h"

#include "aygshell.h"

#include "kernel/Paths.h"
#include "registry/Registry.h"
#include "support/Files.h"
#include "support/SecondUser.h"

#include <png.h>
#include <sys/stat.h>

#include <set>

using namespace usertest;

namespace {

class DeviceTest : public UserTest {
protected:
    void fillScreen(std::uint16_t colour) {
        std::lock_guard guard(device().screenLock());
        std::fill_n(device().pixels(), device().pitch() * device().height(), colour);
    }
};

bool overlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

struct Square : platform::Layer {
    Square(RECT r, int z, std::uint16_t c) : area(r), order(z), colour(c) {}
    int zOrder() const override { return order; }
    bool visible() const override { return true; }
    RECT bounds() const override { return area; }
    bool opaque() const override { return true; }
    void paint(std::uint16_t* frame, int pitch, const RECT& clip) override {
        lastClip = clip;
        for (int y = clip.top; y < clip.bottom; ++y) {
            std::fill_n(frame + y * pitch + clip.left, clip.right - clip.left, colour);
        }
    }
    RECT area, lastClip{};
    int order;
    std::uint16_t colour;
};

} // namespace

TEST_F(DeviceTest, RotationSwapsTheScreenAndTellsListenersThenWindowsOtherThreadsLater) {
    HWND window = topWindow();
    HWND full = childWindow(nullptr, RECT{0, 0, 480, 640}, 0);
    HWND small = childWindow(nullptr, RECT{10, 10, 480, 640}, 0);
    platform::pumpMessages();
    std::vector<std::string> order;
    device().onRotate(
        [&] { order.push_back("listener " + std::to_string(GetSystemMetrics(SM_CXSCREEN))); });
    onMessage(WM_WINDOWPOSCHANGED, [&](HWND changed, WPARAM) {
        if (changed != full && changed != small)
            order.push_back(changed == window ? "window" : "other thread's");
        return std::nullopt;
    });
    std::atomic<bool> created{false}, rotated{false};
    Worker worker([&] {
        topWindow(0);
        created = true;
        spinUntil([&] { return rotated.load(); });
        platform::pumpMessages();
    });
    spinUntil([&] { return created.load(); });
    device().rotate(); // does not wait for the worker
    EXPECT_EQ(
        std::tuple(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), device().pitch()),
        std::tuple(640, 480, 640));
    EXPECT_EQ(order, (std::vector<std::string>{"listener 640", "window"}));
    EXPECT_EQ(windowBox(window), Box(0, 52, 640, 480)) << "the work area turned with the screen";
    EXPECT_EQ(std::pair(windowBox(full), windowBox(small)),
              std::pair(Box(0, 0, 640, 480), Box(10, 10, 480, 640)))
        << "so did the screen";
    rotated = true;
    worker.join();
    EXPECT_EQ(order, (std::vector<std::string>{"listener 640", "window", "other thread's"}));
    device().rotate();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 480);
}

// What a present hands the backend: the changed areas only, straight from the screen buffer
// where no layer covers them, and, applied in order, each pixel as the composed screen shows it.
TEST_F(DeviceTest, APresentUploadsTheChangedAreasOnlyAsTheScreenShowsThem) {
    struct Case {
        const char* what;
        std::vector<RECT> changes;
        std::multiset<Box> uploaded;
    };
    const Case cases[] = {
        {"nothing", {}, {}},
        {"a caret and a far area stay apart",
         {RECT{100, 300, 102, 320}, RECT{10, 600, 40, 610}},
         {Box{100, 300, 102, 320}, Box{10, 600, 40, 610}}},
        {"overlapping and touching areas merge, the screen's edge clips",
         {RECT{10, 100, 20, 110}, RECT{15, 105, 30, 120}, RECT{30, 100, 40, 101},
          RECT{470, 630, 900, 900}},
         {Box{10, 100, 40, 120}, Box{470, 630, 480, 640}}},
        {"an area that joins two merges all three",
         {RECT{0, 300, 10, 310}, RECT{20, 300, 30, 310}, RECT{5, 300, 25, 310}},
         {Box{0, 300, 30, 310}}},
        {"past four areas, the cheapest merge",
         {RECT{0, 100, 1, 101}, RECT{0, 200, 1, 201}, RECT{0, 300, 1, 301}, RECT{0, 400, 1, 401},
          RECT{0, 402, 1, 403}},
         {Box{0, 100, 1, 101}, Box{0, 200, 1, 201}, Box{0, 300, 1, 301}, Box{0, 400, 1, 403}}},
        {"beside a narrow layer, whole rows with the composed layer on top",
         {RECT{0, 140, 480, 150}, RECT{0, 171, 480, 220}},
         {Box{0, 140, 480, 150}, Box{0, 171, 480, 200}, Box{150, 171, 250, 200},
          Box{0, 200, 480, 220}}},
        {"beside two layers wide together, the pieces beside and between them from the screen",
         {RECT{0, 160, 480, 170}},
         {Box{0, 160, 150, 170}, Box{150, 160, 300, 170}, Box{300, 160, 480, 170}}},
    };
    fillScreen(0x1234);
    Square layer(RECT{150, 150, 250, 200}, 1, 0x2222);
    Square lid(RECT{260, 160, 300, 170}, 2, 0x3333);
    device().addLayer(&layer);
    device().addLayer(&lid);
    // Each pixel as the screen shows it, known apart from the device's own composing.
    auto in = [](const RECT& r, LONG x, LONG y) {
        return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
    };
    auto shown = [&](LONG x, LONG y) -> std::uint16_t {
        return in(lid.area, x, y) ? lid.colour : in(layer.area, x, y) ? layer.colour : 0x1234;
    };
    device().presentChanges([](const RECT&, const std::uint16_t*, int) {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const RECT& change : c.changes) {
            device().invalidate(change);
        }
        constexpr std::uint16_t untouched = 0xDEAD;
        std::vector<std::uint16_t> picture(480 * 640, untouched);
        std::multiset<Box> uploaded;
        const bool any =
            device().presentChanges([&](const RECT& area, const std::uint16_t* pixels, int pitch) {
                uploaded.insert(box(area));
                const bool fromScreen =
                    pixels >= device().pixels() && pixels < device().pixels() + 480 * 640;
                EXPECT_TRUE(fromScreen || overlap(area, layer.area) || overlap(area, lid.area));
                for (int y = area.top; y < area.bottom; ++y) {
                    std::copy_n(pixels + (y - area.top) * pitch, area.right - area.left,
                                picture.begin() + y * 480 + area.left);
                }
            });
        EXPECT_EQ(any, !c.changes.empty());
        EXPECT_EQ(uploaded, c.uploaded);
        std::vector<std::uint16_t> expected(picture.size(), untouched);
        for (const auto& [left, top, right, bottom] : c.uploaded) {
            for (LONG y = top; y < bottom; ++y) {
                for (LONG x = left; x < right; ++x) {
                    expected[y * 480 + x] = shown(x, y);
                }
            }
        }
        EXPECT_TRUE(picture == expected);
        // A backend with a picture of its own gets the same areas composed straight into it.
        for (const RECT& change : c.changes) {
            device().invalidate(change);
        }
        std::vector<std::uint16_t> own(picture.size(), untouched);
        EXPECT_EQ(device().presentChangesInto(own), !c.changes.empty());
        EXPECT_TRUE(own == expected);
    }
    std::vector<std::uint16_t> none;
    device().invalidate(RECT{0, 0, 1, 1});
    device().presentChangesInto(none);
    EXPECT_EQ(none.size(), 480u * 640u) << "a picture takes the screen's size";
    device().removeLayer(&lid);
    device().removeLayer(&layer);
}

TEST_F(DeviceTest, AScreenshotIsAPngOfTheScreenBelowTheTaskBarStrip) {
    fillScreen(0xFFE0); // yellow
    const auto file = platform::paths::deviceDir() / "shot.png";
    ASSERT_TRUE(device().saveScreenshot(file));
    png_image image{.version = PNG_IMAGE_VERSION};
    ASSERT_TRUE(png_image_begin_read_from_file(&image, file.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(std::pair(image.width, image.height), std::pair(480u, 640u));
    const std::uint8_t* below = &rgb[(52 * 480 + 240) * 3]; // the screen starts below the strip
    EXPECT_EQ(std::tuple(below[0], below[1], below[2]), std::tuple(255, 255, 0));
    EXPECT_LT(rgb[(51 * 480 + 240) * 3], 128) << "a dark task bar strip";
    EXPECT_FALSE(device().saveScreenshot(file / "shot.png")) << "a file is no folder";
    // The program hides and shows the task bar through the shell.
    HWND window = topWindow(0);
    const std::vector<std::uint16_t> yellow{0xFFE0};
    EXPECT_FALSE(SHFullScreen(reinterpret_cast<HWND>(0x99), SHFS_HIDETASKBAR));
    EXPECT_TRUE(SHFullScreen(window, SHFS_HIDETASKBAR));
    EXPECT_EQ(device().compose(RECT{240, 26, 241, 27}), yellow);
    EXPECT_TRUE(SHFullScreen(window, SHFS_SHOWTASKBAR));
    EXPECT_NE(device().compose(RECT{240, 26, 241, 27}), yellow);
}

TEST_F(DeviceTest, MetricsScaleWithTheDpiAndTheWaitCursorIsShownByTheDevice) {
    const std::pair<int, int> metrics[] = {
        {SM_CXFULLSCREEN, 480}, {SM_CYFULLSCREEN, 588}, {SM_CYCAPTION, 52}, {SM_CXVSCROLL, 26},
        {SM_CYHSCROLL, 26},     {SM_CXBORDER, 1},       {SM_CYDLGFRAME, 6}, {SM_CXICON, 64},
        {SM_CYCURSOR, 64},      {SM_CXSMICON, 32},      {1000, 0}};
    for (const auto& [index, value] : metrics)
        EXPECT_EQ(GetSystemMetrics(index), value) << index;
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW), wait = LoadCursorW(nullptr, IDC_WAIT),
            beam = LoadCursorW(nullptr, IDC_IBEAM);
    EXPECT_EQ(std::set({arrow, wait, beam, HCURSOR{}}).size(), 4u) << "three cursors of their own";
    SetLastError(0);
    EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    SetCursor(wait);
    EXPECT_TRUE(device().waitCursorShown());
    EXPECT_EQ(SetCursor(beam), wait);
    EXPECT_FALSE(device().waitCursorShown());
    MessageBoxW(nullptr, nullptr, nullptr, MB_OK);
    EXPECT_EQ(
        std::pair(device().messageBoxes().back().text, device().messageBoxes().back().caption),
        std::pair(std::wstring(), std::wstring(L"Error")));
    SetLastError(0);
    SIPINFO info{.cbSize = sizeof(SIPINFO) + 1};
    EXPECT_FALSE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(DeviceConfiguration, NativeScreenIsAskedForOrTheDefaultOnlyWithoutADesktopOrOnAPhoneShell) {
    struct Case {
        const char *screen, *display, *driver, *desktop;
        bool native;
        int width = 480, height = 640; // a size out of range or malformed leaves the default
    };
    for (const Case& c :
         {Case{"native", ":0", "", "GNOME", true}, Case{"", "", "", "", true},
          Case{"", ":0", "", "GNOME", false}, Case{"", "", "KMSDRM", "", true},
          Case{"", "", "x11", "", false}, Case{"", ":0", "", "Phosh:GNOME", true},
          Case{"240X320", "", "", "", false, 240, 320},
          Case{"4096x64", ":0", "", "", false, 4096, 64},
          Case{"64x4096", ":0", "", "", false, 64, 4096}, Case{"320x4097", ":0", "", "", false},
          Case{"63x320", ":0", "", "", false}, Case{"320x", ":0", "", "", false},
          Case{"320", ":0", "", "", false}, Case{"3a0x320", ":0", "", "", false},
          Case{"4294967936x640", ":0", "", "", false}}) { // 640 once it wrapped round
        ScopedEnvironment environment{{"DAWNBELL_SCREEN", c.screen},
                                      {"DISPLAY", c.display},
                                      {"WAYLAND_DISPLAY", ""},
                                      {"SDL_VIDEODRIVER", c.driver},
                                      {"XDG_CURRENT_DESKTOP", c.desktop},
                                      {"DAWNBELL_BACKEND", "sdl"}};
        const platform::DeviceConfig config = platform::DeviceConfig::fromEnvironment();
        EXPECT_EQ(std::tuple(config.native, config.width, config.height),
                  std::tuple(c.native, c.width, c.height))
            << c.screen << "|" << c.display << "|" << c.driver << "|" << c.desktop;
    }
}

// A resolution or a backend the device can't have is refused aloud and the default kept.
TEST(DeviceConfiguration, AResolutionOrBackendBeyondWhatTheDeviceTakesKeepsTheDefault) {
    const std::tuple<const char*, const char*, int, const char*> cases[] = {
        {"48", "headless", 48, "headless"},
        {"960", "sdl", 960, "sdl"},
        {"47", "x11", 192, "sdl"},
        {"961", "", 192, "sdl"},
        {"9x", "Headless", 192, "sdl"}};
    for (const auto& [dpi, backend, wantedDpi, wantedBackend] : cases) {
        ScopedEnvironment environment{
            {"DAWNBELL_SCREEN", "480x640"}, {"DAWNBELL_DPI", dpi}, {"DAWNBELL_BACKEND", backend}};
        ::testing::internal::CaptureStderr();
        const platform::DeviceConfig config = platform::DeviceConfig::fromEnvironment();
        const std::string told = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::tuple(config.dpi, config.backend), std::tuple(wantedDpi, wantedBackend))
            << dpi << " " << backend;
        EXPECT_EQ(told.find("DAWNBELL_DPI") != std::string::npos, wantedDpi == 192) << told;
        EXPECT_EQ(told.find("DAWNBELL_BACKEND") != std::string::npos,
                  *backend != '\0' && wantedBackend != std::string(backend))
            << told;
    }
}

// Without HOME and XDG_STATE_HOME the settings go to a folder of the user's alone in the shared
// temporary folder (once a fixed one that every user could read, or make first). A link or
// another user's folder in its place is refused with the reason, and nothing goes through it.
TEST(DeviceConfiguration, WithoutAHomeTheSettingsGoToAFolderOfTheUsersOwnThatNoOtherCanTake) {
    const testsupport::SecondUser user;
    if (!user.made())
        GTEST_SKIP() << user.why;
    const testsupport::TemporaryFolder shared;
    namespace fs = std::filesystem;
    fs::permissions(shared.path, fs::perms::all | fs::perms::sticky_bit); // as /tmp is
    const fs::path own = shared.path / ("dawnbell-" + std::to_string(user.uid));
    ScopedEnvironment environment{{"HOME", ""},
                                  {"XDG_STATE_HOME", ""},
                                  {"XDG_RUNTIME_DIR", ""},
                                  {"DAWNBELL_DEVICE_DIR", ""},
                                  {"TMPDIR", shared.path.c_str()}};
    const auto saveAsTheUser = [&] {
        if (!user.become())
            std::exit(3);
        const platform::DeviceConfig config = platform::DeviceConfig::fromEnvironment();
        platform::paths::configure(config.deviceDir, shared.path);
        platform::registry::reload();
        HKEY key = nullptr;
        const DWORD one = 1;
        const bool saved = RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr) == 0 &&
                           RegSetValueExW(key, L"v", 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&one), sizeof one) == 0;
        std::exit(config.deviceDir == own && saved ? 0 : 2);
    };
    EXPECT_EXIT(saveAsTheUser(), ::testing::ExitedWithCode(0), "");
    struct stat folder {
    }, file{};
    ASSERT_EQ(lstat(own.c_str(), &folder), 0);
    ASSERT_EQ(stat((own / "registry.reg").c_str(), &file), 0);
    EXPECT_EQ(std::tuple(folder.st_uid, folder.st_mode & 07777, file.st_uid, file.st_mode & 07777),
              std::tuple(user.uid, 0700u, user.uid, 0600u));

    fs::remove_all(own);
    const fs::path elsewhere = shared.path / "elsewhere";
    fs::create_directory(elsewhere);
    fs::permissions(elsewhere, fs::perms::all);
    fs::create_directory_symlink(elsewhere, own);
    EXPECT_EXIT(saveAsTheUser(), ::testing::ExitedWithCode(1),
                "dawnbell-[0-9]+ is a link or a file, not a folder. Set HOME");
    fs::remove(own);
    fs::create_directory(own);
    fs::permissions(own, fs::perms::all);
    EXPECT_EXIT(saveAsTheUser(), ::testing::ExitedWithCode(1),
                "dawnbell-[0-9]+ belongs to another user");
    EXPECT_TRUE(fs::is_empty(elsewhere) && fs::is_empty(own));
}
