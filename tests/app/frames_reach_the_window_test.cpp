// What the window shows is what the screen holds: the program runs on the SDL backend (SDL's
// dummy video driver, a real renderer and texture without a display), and after every kind of
// frame the picture read back from the window equals the composed screen, pixel for pixel, as
// only the changed areas travelled to the texture.
#include "MyEditControl.h"
#include "Section.h"
#include "support/Program.h"

#include <cstdlib>

using namespace program_test;

namespace {

class FramesReachTheWindowTest : public ProgramTest {
protected:
    FramesReachTheWindowTest() {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        platform::DeviceConfig config = platform::Device::instance().config();
        config.backend = "sdl";
        platform::Device::start(config);
        platform::clock::useManual(1000);
    }
    ~FramesReachTheWindowTest() override { unsetenv("SDL_VIDEODRIVER"); }
};

// Presents what changed and compares the window with the screen.
std::function<void()> windowShowsTheScreen(const char* after) {
    return [after] {
        platform::Device& device = platform::Device::instance();
        device.backend().present();
        const auto screen = device.compose(RECT{0, 0, device.width(), device.height()});
        const auto shown = device.backend().picture();
        ASSERT_EQ(shown.size(), screen.size()) << after;
        size_t differing = 0;
        for (size_t i = 0; i < screen.size(); ++i) {
            differing += shown[i] != screen[i] ? 1 : 0;
        }
        EXPECT_EQ(differing, 0u) << "pixels the window shows wrong after " << after;
    };
}

TEST_F(FramesReachTheWindowTest, EveryKindOfFrameShowsInTheWindowAsTheScreenHoldsIt) {
    LoopScript script;
    script.waitFor(bounded([] { return boxButton(0).has_value(); }, "the question"))
        .then(windowShowsTheScreen("the message box"));
    tapBoxButton(script, 0);
    script.waitFor(statusIs(statusReadyToSend)).then(windowShowsTheScreen("the box went"));
    // A drag: every move scrolls the view and repaints the band it uncovered.
    script.then([] { touch(PointerAction::down, {240, 500}); });
    for (int y = 480; y >= 380; y -= 20) {
        script.then([y] {
            platform::clock::advance(10);
            touch(PointerAction::move, {240, y});
        });
        script.then(windowShowsTheScreen("a scroll step"));
    }
    script.then([] { touch(PointerAction::up, {240, 380}); });
    script.waitFor([] {
        platform::clock::advance(30);
        return !sharedTracker()->flinging;
    });
    script.then(windowShowsTheScreen("the fling"));
    // The fling may carry the fields out of view on a long screen: back to them, as a user would.
    script.then([] { dynamic_cast<Section*>(findElementById(screenSectionId))->showTop(); });
    tap(script, [] { return centreOfElement(portFieldId); });
    script.waitFor(bounded([] { return field(portFieldId)->editorOpen; }, "the port's editor"))
        .then(windowShowsTheScreen("the field's slide and the input panel"));
    script.then([] { platform::Device::instance().rotate(); });
    script.waitFor([] { return true; }).then(windowShowsTheScreen("a turn to landscape"));
    EXPECT_FALSE(runProgram(script));
}

} // namespace
