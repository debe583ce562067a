// Timers on the manual clock: never early, one message per due timer, missed ticks collapse.
#include "UserTestSupport.h"

#include <atomic>

using namespace usertest;

namespace {

class TimerTest : public UserTest {
protected:
    void SetUp() override {
        UserTest::SetUp();
        window = topWindow(0);
    }
    size_t ticks() { return Recorder::only({WM_TIMER}).size(); }
    HWND window = nullptr;
};

std::atomic<int> procCalls{0};
void CALLBACK countingTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    ++procCalls;
}

} // namespace

TEST_F(TimerTest, ATimerIsNeverDeliveredBeforeItIsDue) {
    SetTimer(window, 1, 30, nullptr);
    platform::clock::advance(29);
    platform::pumpMessages();
    EXPECT_EQ(ticks(), 0u);
    platform::clock::advance(1);
    platform::pumpMessages();
    auto seen = Recorder::only({WM_TIMER});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].window, window);
    EXPECT_EQ(seen[0].wParam, 1u);
}

TEST_F(TimerTest, MissedTicksCollapseIntoOneMessage) {
    SetTimer(window, 1, 30, nullptr);
    platform::clock::advance(300);
    platform::pumpMessages();
    EXPECT_EQ(ticks(), 1u);
    platform::clock::advance(29);
    platform::pumpMessages();
    EXPECT_EQ(ticks(), 1u) << "the next period starts when the tick was taken";
    platform::clock::advance(1);
    platform::pumpMessages();
    EXPECT_EQ(ticks(), 2u);
}

TEST_F(TimerTest, SettingAgainRestartsAndKillingStops) {
    SetTimer(window, 1, 30, nullptr);
    platform::clock::advance(20);
    SetTimer(window, 1, 30, nullptr);
    platform::clock::advance(20);
    platform::pumpMessages();
    EXPECT_EQ(ticks(), 0u);
    EXPECT_TRUE(KillTimer(window, 1));
    platform::clock::advance(100);
    platform::pumpMessages();
    EXPECT_EQ(ticks(), 0u);
    EXPECT_FALSE(KillTimer(window, 1));
}

TEST_F(TimerTest, TimersOfOneWindowAreKeptApartByTheirIds) {
    SetTimer(window, 1, 30, nullptr);
    SetTimer(window, 2, 50, nullptr);
    platform::clock::advance(30);
    platform::pumpMessages();
    platform::clock::advance(20);
    platform::pumpMessages();
    auto seen = Recorder::only({WM_TIMER});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].wParam, 1u);
    EXPECT_EQ(seen[1].wParam, 2u);
}

TEST_F(TimerTest, ATimerProcedureIsCalledInsteadOfTheWindow) {
    procCalls = 0;
    SetTimer(window, 3, 10, countingTimerProc);
    platform::clock::advance(10);
    platform::pumpMessages();
    EXPECT_EQ(procCalls.load(), 1);
    EXPECT_EQ(ticks(), 0u);
}

TEST_F(TimerTest, DestroyingTheWindowEndsItsTimers) {
    SetTimer(window, 1, 10, nullptr);
    DestroyWindow(window);
    platform::clock::advance(10);
    EXPECT_EQ(platform::pumpMessages(), 0);
}

TEST_F(TimerTest, AWaitingThreadWakesWhenTheClockReachesItsTimer) {
    std::atomic<UINT_PTR> tick{0};
    Worker worker([&] {
        HWND own = topWindow(0);
        SetTimer(own, 5, 40, nullptr);
        MSG msg{};
        if (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message == WM_TIMER) {
            tick = msg.wParam;
        }
        DestroyWindow(own);
    });
    waitUntilBlocked(worker.id());
    platform::clock::advance(39);
    waitUntilBlocked(worker.id());
    EXPECT_EQ(tick.load(), 0u);
    platform::clock::advance(1);
    worker.join();
    EXPECT_EQ(tick.load(), 5u);
}
