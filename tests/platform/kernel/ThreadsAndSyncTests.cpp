// Threads, TerminateThread, events, critical sections and waits on the manual clock.
#include "KernelTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace kerneltest;

namespace {

class ThreadsTest : public ::testing::Test {
protected:
    void TearDown() override { platform::clock::useSystem(); }
};

HANDLE startThread(LPTHREAD_START_ROUTINE routine, void* parameter, DWORD* id = nullptr) {
    DWORD ignored = 0;
    HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, id ? id : &ignored);
    EXPECT_NE(thread, nullptr);
    return thread;
}

DWORD exitCodeOf(HANDLE thread) {
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    return code;
}

// Records whether its destructor ran: proof that a terminated thread unwound.
struct UnwindWitness {
    std::atomic<bool>* destroyed;
    ~UnwindWitness() { destroyed->store(true); }
};

struct BlockedThread {
    HANDLE event = nullptr;
    std::atomic<bool> destroyed{false};
    std::atomic<bool> passedTheWait{false};
};

} // namespace

TEST_F(ThreadsTest, ThreadRunsWithItsParameterAndEndsWithTheRoutinesResult) {
    struct Run {
        int input = 41;
        DWORD idSeenInside = 0;
    } run;
    DWORD id = 0;
    HANDLE thread = startThread(
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<Run*>(p);
            r->idSeenInside = GetCurrentThreadId();
            return static_cast<DWORD>(r->input + 1);
        },
        &run, &id);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(exitCodeOf(thread), 42u);
    EXPECT_EQ(run.idSeenInside, id);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_TRUE(CloseHandle(thread));
}

TEST_F(ThreadsTest, RunningThreadReportsStillActiveAndClosingItsHandleDoesNotStopIt) {
    struct Run {
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    } run;
    HANDLE thread = startThread(
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<Run*>(p);
            WaitForSingleObject(r->go, INFINITE);
            SetEvent(r->done);
            return 0;
        },
        &run);
    EXPECT_EQ(exitCodeOf(thread), STILL_ACTIVE);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(run.go);
    EXPECT_EQ(WaitForSingleObject(run.done, INFINITE), WAIT_OBJECT_0);
    CloseHandle(run.go);
    CloseHandle(run.done);
}

TEST_F(ThreadsTest, TerminateThreadWakesAnInfiniteWaitAndUnwindsTheThread) {
    BlockedThread run;
    run.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = startThread(
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<BlockedThread*>(p);
            UnwindWitness witness{&r->destroyed};
            WaitForSingleObject(r->event, INFINITE);
            r->passedTheWait = true;
            return 1;
        },
        &run, &id);
    waitUntilBlocked(id);
    EXPECT_TRUE(TerminateThread(thread, 7));
    // TerminateThread returns once the thread has stopped.
    EXPECT_TRUE(hasEnded(thread));
    EXPECT_TRUE(run.destroyed);
    EXPECT_FALSE(run.passedTheWait);
    EXPECT_EQ(exitCodeOf(thread), 7u);
    CloseHandle(thread);
    CloseHandle(run.event);
}

TEST_F(ThreadsTest, TerminateThreadWakesASleepingThread) {
    BlockedThread run;
    DWORD id = 0;
    HANDLE thread = startThread(
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<BlockedThread*>(p);
            UnwindWitness witness{&r->destroyed};
            Sleep(INFINITE);
            r->passedTheWait = true;
            return 1;
        },
        &run, &id);
    waitUntilBlocked(id);
    EXPECT_TRUE(TerminateThread(thread, 0));
    EXPECT_TRUE(run.destroyed);
    EXPECT_FALSE(run.passedTheWait);
    EXPECT_EQ(exitCodeOf(thread), 0u);
    CloseHandle(thread);
}

TEST_F(ThreadsTest, TerminateThreadStopsAThreadWaitingForACriticalSection) {
    static CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    BlockedThread run;
    DWORD id = 0;
    HANDLE thread = startThread(
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<BlockedThread*>(p);
            UnwindWitness witness{&r->destroyed};
            EnterCriticalSection(&section);
            r->passedTheWait = true;
            return 1;
        },
        &run, &id);
    waitUntilBlocked(id);
    EXPECT_TRUE(TerminateThread(thread, 3));
    EXPECT_TRUE(run.destroyed);
    EXPECT_FALSE(run.passedTheWait);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
    CloseHandle(thread);
}

TEST_F(ThreadsTest, ThreadThatTerminatesItselfStopsAtOnce) {
    struct Run {
        HANDLE self = nullptr;
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> continued{false};
    } run;
    run.self = startThread(
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<Run*>(p);
            WaitForSingleObject(r->go, INFINITE);
            TerminateThread(r->self, 9);
            r->continued = true;
            return 1;
        },
        &run);
    SetEvent(run.go);
    ASSERT_EQ(WaitForSingleObject(run.self, INFINITE), WAIT_OBJECT_0);
    EXPECT_FALSE(run.continued);
    EXPECT_EQ(exitCodeOf(run.self), 9u);
    CloseHandle(run.self);
    CloseHandle(run.go);
}

TEST_F(ThreadsTest, ManualResetEventStaysSignalledUntilReset) {
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(ThreadsTest, AutoResetEventReleasesExactlyOneWaiterPerSet) {
    struct Run {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        std::atomic<int> released{0};
    } run;
    auto waiter = [](LPVOID p) -> DWORD {
        auto* r = static_cast<Run*>(p);
        WaitForSingleObject(r->event, INFINITE);
        ++r->released;
        return 0;
    };
    DWORD firstId = 0;
    DWORD secondId = 0;
    HANDLE first = startThread(waiter, &run, &firstId);
    HANDLE second = startThread(waiter, &run, &secondId);
    waitUntilBlocked(firstId);
    waitUntilBlocked(secondId);

    SetEvent(run.event);
    while (run.released == 0) {
        std::this_thread::yield();
    }
    waitUntilBlockedOrEnded(firstId, first);
    waitUntilBlockedOrEnded(secondId, second);
    EXPECT_EQ(run.released, 1);
    EXPECT_EQ(WaitForSingleObject(run.event, 0), WAIT_TIMEOUT) << "the signal was taken";

    SetEvent(run.event);
    WaitForSingleObject(first, INFINITE);
    WaitForSingleObject(second, INFINITE);
    EXPECT_EQ(run.released, 2);
    for (HANDLE h : {first, second, run.event}) {
        CloseHandle(h);
    }
}

TEST_F(ThreadsTest, BadHandlesFailWithInvalidHandle) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(TerminateThread(nullptr, 0));
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, L"named"), nullptr);
}

TEST_F(ThreadsTest, CriticalSectionIsReentrantAndExcludesOtherThreadsUntilFullyLeft) {
    struct Run {
        CRITICAL_SECTION section{};
        std::atomic<bool> entered{false};
    } run;
    InitializeCriticalSection(&run.section);
    EnterCriticalSection(&run.section);
    EnterCriticalSection(&run.section);
    DWORD id = 0;
    HANDLE thread = startThread(
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<Run*>(p);
            EnterCriticalSection(&r->section);
            r->entered = true;
            LeaveCriticalSection(&r->section);
            return 0;
        },
        &run, &id);
    waitUntilBlocked(id);
    LeaveCriticalSection(&run.section);
    EXPECT_FALSE(run.entered) << "still held once";
    LeaveCriticalSection(&run.section);
    WaitForSingleObject(thread, INFINITE);
    EXPECT_TRUE(run.entered);
    CloseHandle(thread);
    DeleteCriticalSection(&run.section);
}

TEST_F(ThreadsTest, CriticalSectionKeepsNestedUpdatesFromTwoThreadsWhole) {
    struct Run {
        CRITICAL_SECTION section{};
        long counter = 0;
    } run;
    InitializeCriticalSection(&run.section);
    auto work = [](LPVOID p) -> DWORD {
        auto* r = static_cast<Run*>(p);
        for (int i = 0; i < 2000; ++i) {
            EnterCriticalSection(&r->section);
            EnterCriticalSection(&r->section);
            long seen = r->counter;
            r->counter = seen + 1;
            LeaveCriticalSection(&r->section);
            LeaveCriticalSection(&r->section);
        }
        return 0;
    };
    HANDLE a = startThread(work, &run);
    HANDLE b = startThread(work, &run);
    WaitForSingleObject(a, INFINITE);
    WaitForSingleObject(b, INFINITE);
    EXPECT_EQ(run.counter, 4000);
    CloseHandle(a);
    CloseHandle(b);
    DeleteCriticalSection(&run.section);
}

TEST_F(ThreadsTest, TickCountFollowsTheManualClock) {
    platform::clock::useManual(1000);
    EXPECT_EQ(GetTickCount(), 1000u);
    platform::clock::advance(25);
    EXPECT_EQ(GetTickCount(), 1025u);
}

TEST_F(ThreadsTest, SleepOnTheManualClockEndsOnlyWhenTheClockReachesItsEnd) {
    platform::clock::useManual(0xFFFFFFF0u); // the sleep crosses the tick count's wrap
    DWORD id = 0;
    HANDLE thread = startThread(
        [](LPVOID) -> DWORD {
            Sleep(100);
            return 0;
        },
        nullptr, &id);
    waitUntilBlocked(id);
    platform::clock::advance(99);
    waitUntilBlockedOrEnded(id, thread);
    EXPECT_FALSE(hasEnded(thread));
    platform::clock::advance(1);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
}

TEST_F(ThreadsTest, WaitTimeoutOnTheManualClockEndsOnlyWhenTheClockReachesIt) {
    platform::clock::useManual(500);
    struct Run {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        std::atomic<DWORD> result{0xDEAD};
    } run;
    DWORD id = 0;
    HANDLE thread = startThread(
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<Run*>(p);
            r->result = WaitForSingleObject(r->event, 50);
            return 0;
        },
        &run, &id);
    waitUntilBlocked(id);
    platform::clock::advance(49);
    waitUntilBlockedOrEnded(id, thread);
    EXPECT_EQ(run.result, 0xDEADu);
    platform::clock::advance(1);
    WaitForSingleObject(thread, INFINITE);
    EXPECT_EQ(run.result, WAIT_TIMEOUT);
    CloseHandle(thread);
    CloseHandle(run.event);
}

TEST_F(ThreadsTest, LastErrorBelongsToEachThread) {
    SetLastError(5);
    HANDLE thread = startThread(
        [](LPVOID) -> DWORD {
            SetLastError(77);
            return GetLastError();
        },
        nullptr);
    WaitForSingleObject(thread, INFINITE);
    EXPECT_EQ(exitCodeOf(thread), 77u);
    EXPECT_EQ(GetLastError(), 5u);
    CloseHandle(thread);
}

TEST(ProcessTest, ExitProcessEndsTheProcessWithItsCode) {
    // A fresh process: threads of earlier tests may still be ending in this one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ExitProcess(0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(ExitProcess(3), ::testing::ExitedWithCode(3), "");
}
