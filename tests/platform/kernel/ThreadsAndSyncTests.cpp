// Threads, TerminateThread, events, critical sections and waits on the manual clock.
#include "support/Kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <tuple>

using namespace kerneltest;
using platformtest::spinUntil;

namespace {

class ThreadsTest : public ::testing::Test {
protected:
    void TearDown() override { platform::clock::useSystem(); }
};

// Records whether its destructor ran: proof that a terminated thread unwound.
struct UnwindWitness {
    std::atomic<bool>& destroyed;
    ~UnwindWitness() { destroyed = true; }
};

} // namespace

TEST_F(ThreadsTest, ThreadRunsWithItsOwnIdAndLastErrorAndEndsWithItsResult) {
    DWORD idInside = 0, lastErrorInside = 1, code = 0;
    SetLastError(5);
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PlatformThread thread([&]() -> DWORD {
        WaitForSingleObject(go, INFINITE);
        idInside = GetCurrentThreadId();
        lastErrorInside = GetLastError();
        SetLastError(77);
        return 42;
    });
    EXPECT_TRUE(GetExitCodeThread(thread.handle(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    SetEvent(go);
    EXPECT_EQ(thread.join(), 42u);
    EXPECT_EQ(std::tuple(idInside, lastErrorInside, GetLastError()),
              std::tuple(thread.id(), 0u, 5u));
    CloseHandle(go);
    int woken = 0; // a waker is called on each wake while it lives, never after
    auto waker = std::make_optional<platform::kernel::ScopedWaker>([&woken] { ++woken; });
    platform::kernel::wakeAllWaiters();
    waker.reset();
    platform::kernel::wakeAllWaiters();
    EXPECT_EQ(woken, 1);
}

TEST_F(ThreadsTest, TerminateThreadWakesEveryKindOfWaitAndUnwindsTheThread) {
    const TemporaryDevice device; // for the registry's calls
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    // Whether each blocks; a thread busy with other calls ends at its next one, whichever.
    const auto busy = [](std::function<void()> call) {
        return std::pair(false, std::function<void()>([call] {
                             for (;;)
                                 call();
                         }));
    };
    const std::pair<bool, std::function<void()>> waits[] = {
        {true, [&] { WaitForSingleObject(event, INFINITE); }},
        {true, [] { Sleep(INFINITE); }},
        {true, [&] { EnterCriticalSection(&section); }},
        busy([event] {
            DWORD code = 0;
            GetExitCodeThread(event, &code);
        }),
        busy([] { GetModuleHandleW(nullptr); }),
        busy([] { GetModuleFileNameW(nullptr, nullptr, 0); }),
        busy([] { CreateFileW(nullptr, 0, 0, nullptr, 0, 0, nullptr); }),
        busy([] { ReadFile(nullptr, nullptr, 0, nullptr, nullptr); }),
        busy([] { WriteFile(nullptr, nullptr, 0, nullptr, nullptr); }),
        busy([] { CopyFileW(nullptr, nullptr, FALSE); }),
        busy([] { DeleteFileW(nullptr); }),
        busy([] { GetFileAttributesW(nullptr); }),
        busy([] { CreateEventW(nullptr, FALSE, FALSE, L"named"); }),
        busy([] { SetEvent(nullptr); }),
        busy([] { ResetEvent(nullptr); }),
        busy([] { CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr); }),
        busy([] { RegOpenKeyExW(nullptr, L"x", 0, 0, nullptr); }),
        busy([] { RegCreateKeyExW(nullptr, L"x", 0, nullptr, 0, 0, nullptr, nullptr, nullptr); }),
        busy([] { RegQueryValueExW(nullptr, L"x", nullptr, nullptr, nullptr, nullptr); }),
        busy([] { RegSetValueExW(nullptr, L"x", 0, REG_BINARY, nullptr, 0); }),
        busy([] { RegDeleteValueW(nullptr, L"x"); }),
    };
    DWORD code = 7;
    for (const auto& [blocks, waitFor] : waits) {
        const auto& wait = waitFor; // clang 14 cannot capture a structured binding
        std::atomic<bool> started{false}, destroyed{false}, passedTheWait{false};
        PlatformThread thread([&] {
            UnwindWitness witness{destroyed};
            started = true;
            wait();
            passedTheWait = true;
        });
        spinUntil([&] { return started.load(); });
        if (blocks)
            thread.settle();
        EXPECT_TRUE(TerminateThread(thread.handle(), ++code));
        EXPECT_TRUE(thread.finished()) << "TerminateThread returns once the thread has stopped";
        EXPECT_TRUE(destroyed && !passedTheWait);
        EXPECT_EQ(thread.join(), code);
    }
    // A thread that terminates itself ends there, with its code.
    std::atomic<HANDLE> self{nullptr};
    std::atomic<bool> destroyed{false}, passed{false};
    PlatformThread ending([&] {
        UnwindWitness witness{destroyed};
        spinUntil([&] { return self.load() != nullptr; });
        TerminateThread(self, 99);
        passed = true;
    });
    self = ending.handle();
    EXPECT_EQ(ending.join(), 99u);
    EXPECT_TRUE(destroyed && !passed);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
    CloseHandle(event);
}

TEST_F(ThreadsTest, EventsStaySetUntilResetOrReleaseOneWaiterPerSetAndBadHandlesFail) {
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    const auto isSet = [&] { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; };
    EXPECT_TRUE(isSet() && isSet()) << "a manual-reset event stays set";
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_FALSE(isSet());
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(isSet());
    EXPECT_TRUE(CloseHandle(event));
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    const std::function<BOOL()> calls[] = {[&] { return TerminateThread(event, 0); },
                                           [&] { return SetEvent(event); },
                                           [&] { return CloseHandle(event); }};
    for (const auto& call : calls) {
        SetLastError(0);
        EXPECT_FALSE(call());
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    }
    const auto startsNothing = [](LPTHREAD_START_ROUTINE routine, DWORD flags) {
        SetLastError(0);
        return !CreateThread(nullptr, 0, routine, nullptr, flags, nullptr) &&
               GetLastError() == ERROR_INVALID_PARAMETER;
    };
    EXPECT_TRUE(startsNothing(nullptr, 0));
    EXPECT_TRUE(startsNothing([](LPVOID) -> DWORD { return 0; }, 0x4)) << "no suspended start";
    SetLastError(0);
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, L"named"), nullptr) << "no named events";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

    event = CreateEventW(nullptr, FALSE, FALSE, nullptr); // auto-reset
    std::atomic<int> released{0};
    const auto waiter = [&] {
        WaitForSingleObject(event, INFINITE);
        ++released;
    };
    PlatformThread first(waiter), second(waiter);
    first.settle();
    second.settle();
    SetEvent(event);
    spinUntil([&] { return released > 0; });
    first.settle();
    second.settle();
    EXPECT_EQ(released, 1);
    EXPECT_FALSE(isSet()) << "the signal was taken";
    SetEvent(event);
    spinUntil([&] { return released == 2; });
    CloseHandle(event);
}

TEST_F(ThreadsTest, CriticalSectionIsReentrantAndExcludesOtherThreadsUntilFullyLeftByItsOwner) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section); // still held once
    std::atomic<bool> entered{false};
    PlatformThread other([&] {
        LeaveCriticalSection(&section); // not its own: changes nothing
        EnterCriticalSection(&section);
        entered = true;
        LeaveCriticalSection(&section);
    });
    other.settle();
    EXPECT_FALSE(entered);
    LeaveCriticalSection(&section);
    other.join();
    EXPECT_TRUE(entered);
    DeleteCriticalSection(&section);
}

TEST_F(ThreadsTest, SleepAndWaitTimeoutsEndOnlyWhenTheManualClockReachesThem) {
    platform::clock::useManual(1000);
    platform::clock::advance(25);
    EXPECT_EQ(GetTickCount(), 1025u);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const std::pair<DWORD, std::function<DWORD()>> timeouts[] = {
        {100, [] { return (Sleep(100), DWORD{1}); }},
        {50, [&] { return WaitForSingleObject(event, 50); }},
    };
    for (const auto& [timeout, wait] : timeouts) {
        platform::clock::useManual(0xFFFFFFF0u); // the wait crosses the tick count's wrap
        PlatformThread thread(wait);
        thread.settle();
        platform::clock::advance(timeout - 1);
        thread.settle();
        EXPECT_FALSE(thread.finished());
        platform::clock::advance(1);
        EXPECT_EQ(thread.join(), timeout == 100 ? 1u : WAIT_TIMEOUT);
    }
    CloseHandle(event);
}
