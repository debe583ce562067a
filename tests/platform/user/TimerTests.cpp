// Timers on the manual clock: never early, one message per due timer, missed ticks collapse.
#include "support/User.h"

using namespace usertest;

using Ids = std::vector<WPARAM>;

class TimerTest : public UserTest {
protected:
    void SetUp() override {
        UserTest::SetUp();
        window = topWindow(0);
    }
    // Moves the clock, dispatches what is due and gives the ids of the ticks that arrived.
    Ids ticksAfter(DWORD ms) {
        platform::clock::advance(ms);
        platform::pumpMessages();
        const auto seen = Recorder::only({WM_TIMER});
        Recorder::clear();
        EXPECT_EQ(pick(seen, &Seen::window), std::vector<HWND>(seen.size(), window));
        return pick(seen, &Seen::wParam);
    }
    HWND window = nullptr;
};

static int procCalls = 0;

TEST_F(TimerTest, ATimerIsNeverEarlyMissedTicksCollapseAndIdsKeepTimersApart) {
    SetTimer(window, 1, 30, nullptr);
    for (auto [ms, ticks] :
         {std::pair<DWORD, Ids>{29, {}}, {1, {1}}, {300, {1}}, {29, {}}, {1, {1}}})
        EXPECT_EQ(ticksAfter(ms), ticks) << "the next period starts when the tick was taken";
    procCalls = 0;
    EXPECT_EQ(SetTimer(window, 2, 50, nullptr), 2u);
    SetTimer(window, 3, 10, [](HWND, UINT, UINT_PTR, DWORD) { ++procCalls; });
    EXPECT_EQ(ticksAfter(10), Ids{});
    EXPECT_EQ(procCalls, 1) << "a timer procedure takes the window's place";
    EXPECT_EQ(ticksAfter(20), Ids{1});
    EXPECT_EQ(ticksAfter(20), Ids{2});
}

TEST_F(TimerTest, SettingAgainRestartsAndKillingOrDestroyingStops) {
    SetTimer(window, 1, 30, nullptr);
    platform::clock::advance(20);
    SetTimer(window, 1, 30, nullptr);
    EXPECT_EQ(ticksAfter(20), Ids{});
    EXPECT_TRUE(KillTimer(window, 1));
    EXPECT_EQ(ticksAfter(100), Ids{});
    EXPECT_FALSE(KillTimer(window, 1));
    // A thread's timer set again under its id is that timer, restarted; a new one has its own id.
    const UINT_PTR own = SetTimer(nullptr, 0, 10, nullptr);
    EXPECT_EQ(SetTimer(nullptr, own, 20, nullptr), own);
    const UINT_PTR other = SetTimer(nullptr, 0, 10, nullptr);
    EXPECT_TRUE(other != own && KillTimer(nullptr, own) && KillTimer(nullptr, other));
    EXPECT_EQ(SetTimer(nullptr, 77, 10, nullptr), own) << "an id it never gave is not taken";
    KillTimer(nullptr, own);
    SetTimer(window, 2, 10, nullptr);
    DestroyWindow(window);
    platform::clock::advance(10);
    EXPECT_EQ(platform::pumpMessages(), 0);
}
