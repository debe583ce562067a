// Connection Manager: the detailed status list in the caller's buffer, and bringing the Internet
// destination up, scripted on the manual clock.
#include "connmgr.h"
#include "kernel/Wait.h"
#include "net/RouteMonitor.h"
#include "platform/Clock.h"
#include "platform/Network.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <thread>
#include <vector>

namespace {

using platform::net::ConnectionScript;
using platform::net::EstablishOutcome;
using platform::net::ScriptedConnection;

constexpr HRESULT insufficientBuffer = static_cast<HRESULT>(0x8007007A);
constexpr HRESULT timedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

ScriptedConnection connection(const GUID& destination, DWORD status, std::wstring description,
                              std::wstring adapter) {
    return {destination, status, CM_CONNTYPE_NIC, std::move(description), std::move(adapter)};
}

DWORD entryBytes(const std::wstring& description, const std::wstring& adapter) {
    auto text = [](const std::wstring& s) {
        return s.empty() ? 0 : (s.size() + 1) * sizeof(WCHAR);
    };
    return static_cast<DWORD>(sizeof(CONNMGR_CONNECTION_DETAILED_STATUS) + text(description) +
                              text(adapter));
}

CONNMGR_CONNECTIONINFO internetRequest() {
    CONNMGR_CONNECTIONINFO info{};
    info.cbSize = sizeof info;
    info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    info.guidDestNet = IID_DestNetInternet;
    return info;
}

// ConnMgrEstablishConnectionSync on a platform thread, so that the test can move the clock
// while it waits, or terminate it.
class BackgroundEstablish {
public:
    explicit BackgroundEstablish(DWORD timeout) : timeout_(timeout) {
        thread_ = CreateThread(nullptr, 0, &BackgroundEstablish::run, this, 0, &threadId_);
    }
    ~BackgroundEstablish() {
        if (thread_ != nullptr) {
            TerminateThread(thread_, 0);
            CloseHandle(thread_);
        }
    }
    BackgroundEstablish(const BackgroundEstablish&) = delete;
    BackgroundEstablish& operator=(const BackgroundEstablish&) = delete;

    bool finished() const { return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }
    // Returns once the call waits, having seen every clock step so far (or has returned).
    void settle() const {
        while (!platform::kernel::isBlocked(threadId_) && !finished())
            std::this_thread::yield();
    }
    void join() const { WaitForSingleObject(thread_, INFINITE); }
    HANDLE thread() const { return thread_; }

    HRESULT result = E_PENDING;
    HANDLE connection = INVALID_HANDLE_VALUE;
    DWORD status = 0xdead;

private:
    static DWORD WINAPI run(LPVOID self) {
        auto* call = static_cast<BackgroundEstablish*>(self);
        CONNMGR_CONNECTIONINFO info = internetRequest();
        call->result =
            ConnMgrEstablishConnectionSync(&info, &call->connection, call->timeout_, &call->status);
        return 0;
    }

    DWORD timeout_;
    DWORD threadId_ = 0;
    HANDLE thread_ = nullptr;
};

class ConnectionManagerTest : public ::testing::Test {
protected:
    void SetUp() override { platform::clock::useManual(1000); }
    void TearDown() override {
        platform::net::useRealConnectionManager();
        platform::clock::useSystem();
    }

    // The query loop a program runs: start with 192 bytes, grow to the size asked for.
    static std::vector<std::byte> queryGrowing(HRESULT& result) {
        DWORD size = 192;
        std::vector<std::byte> buffer(size);
        for (;;) {
            result = ConnMgrQueryDetailedStatus(
                reinterpret_cast<CONNMGR_CONNECTION_DETAILED_STATUS*>(buffer.data()), &size);
            if (result != insufficientBuffer)
                return buffer;
            buffer.assign(size, std::byte{0});
        }
    }
};

TEST_F(ConnectionManagerTest, RecordsHaveThePlatformMembersAndInternetDestination) {
    EXPECT_EQ(offsetof(CONNMGR_CONNECTIONINFO, guidDestNet), 24u);
    EXPECT_EQ(offsetof(CONNMGR_CONNECTIONINFO, ulMaxConnLatency),
              offsetof(CONNMGR_CONNECTIONINFO, ulMinRcvBw) + 4);
    if constexpr (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof(CONNMGR_CONNECTIONINFO), 64u);
    }
    EXPECT_EQ(offsetof(CONNMGR_CONNECTION_DETAILED_STATUS, pNext), 0u);
    EXPECT_LT(offsetof(CONNMGR_CONNECTION_DETAILED_STATUS, guidDestNet),
              offsetof(CONNMGR_CONNECTION_DETAILED_STATUS, dwConnectionStatus));
    const GUID expected = {
        0x436EF144, 0xB4FB, 0x4863, {0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72}};
    EXPECT_EQ(std::memcmp(&IID_DestNetInternet, &expected, sizeof expected), 0);
}

TEST_F(ConnectionManagerTest, BufferGrowsAsOftenAsAskedWithExactSizes) {
    ConnectionScript script;
    script.lists = {
        {connection(platform::net::workDestination, CONNMGR_STATUS_CONNECTED, L"Work", L"usb0"),
         connection(IID_DestNetInternet, CONNMGR_STATUS_DISCONNECTED, L"Internet", L"")},
        {connection(platform::net::workDestination, CONNMGR_STATUS_CONNECTED, L"Work", L"usb0"),
         connection(IID_DestNetInternet, CONNMGR_STATUS_DISCONNECTED, L"Internet", L""),
         connection(IID_DestNetInternet, CONNMGR_STATUS_SUSPENDED, L"Cellular line", L"ppp0")}};
    platform::net::scriptConnectionManager(script);

    HRESULT result = E_FAIL;
    const auto buffer = queryGrowing(result);
    ASSERT_EQ(result, S_OK);

    const DWORD firstList = entryBytes(L"Work", L"usb0") + entryBytes(L"Internet", L"");
    const DWORD secondList = firstList + entryBytes(L"Cellular line", L"ppp0");
    ASSERT_GT(firstList, 192u) << "the first call must be too small for this test";
    EXPECT_EQ(platform::net::connectionManagerCalls().queryBufferSizes,
              (std::vector<DWORD>{192, firstList, secondList}));

    const auto* entry = reinterpret_cast<const CONNMGR_CONNECTION_DETAILED_STATUS*>(buffer.data());
    std::vector<std::wstring> descriptions;
    std::vector<DWORD> statuses;
    for (; entry != nullptr; entry = entry->pNext) {
        const auto* begin = reinterpret_cast<const std::byte*>(entry->szDescription);
        EXPECT_GE(begin, buffer.data());
        EXPECT_LT(begin, buffer.data() + buffer.size()) << "strings live in the caller's buffer";
        descriptions.emplace_back(entry->szDescription);
        statuses.push_back(entry->dwConnectionStatus);
        EXPECT_EQ(entry->dwVer, 1u);
    }
    EXPECT_EQ(descriptions, (std::vector<std::wstring>{L"Work", L"Internet", L"Cellular line"}));
    EXPECT_EQ(statuses, (std::vector<DWORD>{CONNMGR_STATUS_CONNECTED, CONNMGR_STATUS_DISCONNECTED,
                                            CONNMGR_STATUS_SUSPENDED}));
}

TEST_F(ConnectionManagerTest, ExactSizeFitsAndOneByteLessDoesNot) {
    ConnectionScript script;
    script.lists = {
        {connection(IID_DestNetInternet, CONNMGR_STATUS_CONNECTED, L"Internet", L"eth0")}};
    platform::net::scriptConnectionManager(script);
    const DWORD needed = entryBytes(L"Internet", L"eth0");

    DWORD size = 0;
    EXPECT_EQ(ConnMgrQueryDetailedStatus(nullptr, &size), insufficientBuffer);
    EXPECT_EQ(size, needed);

    std::vector<std::byte> buffer(needed + 16, std::byte{0x5a});
    auto* list = reinterpret_cast<CONNMGR_CONNECTION_DETAILED_STATUS*>(buffer.data());
    size = needed - 1;
    EXPECT_EQ(ConnMgrQueryDetailedStatus(list, &size), insufficientBuffer);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer[0], std::byte{0x5a}) << "a refused call writes nothing into the buffer";

    size = needed;
    ASSERT_EQ(ConnMgrQueryDetailedStatus(list, &size), S_OK);
    EXPECT_EQ(list->pNext, nullptr);
    EXPECT_EQ(list->guidDestNet, IID_DestNetInternet);
    EXPECT_STREQ(list->szAdapterName, L"eth0");
    EXPECT_EQ(buffer[needed], std::byte{0x5a}) << "nothing is written past the size needed";
    EXPECT_EQ(ConnMgrQueryDetailedStatus(list, nullptr), E_INVALIDARG);
}

TEST_F(ConnectionManagerTest, EmptyListLeavesOneBlankEntryToWalk) {
    ConnectionScript script;
    script.lists = {{}};
    platform::net::scriptConnectionManager(script);
    std::vector<std::byte> buffer(192, std::byte{0x5a});
    auto* list = reinterpret_cast<CONNMGR_CONNECTION_DETAILED_STATUS*>(buffer.data());
    DWORD size = 192;
    ASSERT_EQ(ConnMgrQueryDetailedStatus(list, &size), S_OK);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(list->pNext, nullptr);
    EXPECT_NE(list->guidDestNet, IID_DestNetInternet);
}

TEST_F(ConnectionManagerTest, ScriptedQueryFailureIsReturned) {
    ConnectionScript script;
    script.queryResult = E_FAIL;
    platform::net::scriptConnectionManager(script);
    DWORD size = 192;
    std::vector<std::byte> buffer(size);
    EXPECT_EQ(ConnMgrQueryDetailedStatus(
                  reinterpret_cast<CONNMGR_CONNECTION_DETAILED_STATUS*>(buffer.data()), &size),
              E_FAIL);
}

TEST_F(ConnectionManagerTest, AlreadyConnectedReturnsAtOnceWithAHandle) {
    platform::net::scriptConnectionManager(ConnectionScript{});
    CONNMGR_CONNECTIONINFO info = internetRequest();
    HANDLE connection = nullptr;
    DWORD status = 0;
    EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 30000, &status), S_OK);
    EXPECT_NE(connection, nullptr);
    EXPECT_EQ(status, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
    EXPECT_EQ(platform::net::connectionManagerCalls().establishTimeouts,
              (std::vector<DWORD>{30000}));
}

TEST_F(ConnectionManagerTest, ConnectionComesUpAfterItsDelayOnTheDeviceClock) {
    ConnectionScript script;
    script.lists = {
        {connection(IID_DestNetInternet, CONNMGR_STATUS_DISCONNECTED, L"Internet", L"")}};
    script.establishDelayMs = 1500;
    platform::net::scriptConnectionManager(script);

    BackgroundEstablish call(30000);
    call.settle();
    platform::clock::advance(1499);
    call.settle();
    EXPECT_FALSE(call.finished());
    platform::clock::advance(1);
    call.join();
    EXPECT_EQ(call.result, S_OK);
    EXPECT_EQ(call.status, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
    EXPECT_NE(call.connection, nullptr);

    CONNMGR_CONNECTION_DETAILED_STATUS entry[4];
    DWORD size = sizeof entry;
    ASSERT_EQ(ConnMgrQueryDetailedStatus(entry, &size), S_OK);
    EXPECT_EQ(entry[0].dwConnectionStatus, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED))
        << "once established, the Internet shows as connected";
}

TEST_F(ConnectionManagerTest, NoConnectionTimesOutAtTheTimeout) {
    platform::net::ConnectionScript script;
    std::string error;
    ASSERT_TRUE(platform::net::parseConnectionScript("disconnected", script, error));
    platform::net::scriptConnectionManager(script);

    BackgroundEstablish call(30000);
    call.settle();
    platform::clock::advance(29999);
    call.settle();
    EXPECT_FALSE(call.finished());
    platform::clock::advance(1);
    call.join();
    EXPECT_EQ(call.result, timedOut);
    EXPECT_EQ(call.connection, nullptr);
    EXPECT_EQ(call.status, static_cast<DWORD>(CONNMGR_STATUS_WAITINGCONNECTION));
}

TEST_F(ConnectionManagerTest, ConnectionSlowerThanTheTimeoutTimesOut) {
    ConnectionScript script;
    script.lists = {
        {connection(IID_DestNetInternet, CONNMGR_STATUS_DISCONNECTED, L"Internet", L"")}};
    script.establishDelayMs = 45000;
    platform::net::scriptConnectionManager(script);
    BackgroundEstablish call(30000);
    call.settle();
    platform::clock::advance(30000);
    call.join();
    EXPECT_EQ(call.result, timedOut);
}

TEST_F(ConnectionManagerTest, FailedAttemptReportsItsStatus) {
    ConnectionScript script;
    script.lists = {
        {connection(IID_DestNetInternet, CONNMGR_STATUS_DISCONNECTED, L"Internet", L"")}};
    script.establish = EstablishOutcome::fail;
    script.failureStatus = CONNMGR_STATUS_AUTHENTICATIONFAILED;
    platform::net::scriptConnectionManager(script);
    CONNMGR_CONNECTIONINFO info = internetRequest();
    HANDLE connection = INVALID_HANDLE_VALUE;
    DWORD status = 0;
    EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 30000, &status), E_FAIL);
    EXPECT_EQ(connection, nullptr);
    EXPECT_EQ(status, static_cast<DWORD>(CONNMGR_STATUS_AUTHENTICATIONFAILED));
}

TEST_F(ConnectionManagerTest, TerminatingTheWaitingThreadEndsIt) {
    platform::net::ConnectionScript script;
    std::string error;
    ASSERT_TRUE(platform::net::parseConnectionScript("disconnected", script, error));
    platform::net::scriptConnectionManager(script);
    BackgroundEstablish call(INFINITE);
    call.settle();
    ASSERT_FALSE(call.finished());
    EXPECT_TRUE(TerminateThread(call.thread(), 7));
    call.join();
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeThread(call.thread(), &exitCode));
    EXPECT_EQ(exitCode, 7u);
    EXPECT_EQ(call.result, E_PENDING) << "the call never returned";
}

TEST_F(ConnectionManagerTest, RequestsThatNameNoUsableDestinationAreRefused) {
    platform::net::scriptConnectionManager(ConnectionScript{});
    HANDLE connection = nullptr;
    DWORD status = 0;
    CONNMGR_CONNECTIONINFO info = internetRequest();
    info.cbSize = 64 + 4;
    EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 0, &status), E_INVALIDARG);
    info = internetRequest();
    info.dwParams = 0;
    EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 0, &status), E_INVALIDARG);
    info = internetRequest();
    EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, nullptr, 0, &status), E_INVALIDARG);
    info.guidDestNet = platform::net::workDestination;
    EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 0, &status), E_FAIL);
    EXPECT_EQ(status, static_cast<DWORD>(CONNMGR_STATUS_NOPATHTODESTINATION));
}

TEST_F(ConnectionManagerTest, MachineStateShowsTheInternetAsTheRoutesDo) {
    platform::net::useRealConnectionManager();
    const bool routed = platform::net::routes::findDefaultRoute().present;
    HRESULT result = E_FAIL;
    const auto buffer = queryGrowing(result);
    ASSERT_EQ(result, S_OK);
    const auto* entry = reinterpret_cast<const CONNMGR_CONNECTION_DETAILED_STATUS*>(buffer.data());
    EXPECT_EQ(entry->pNext, nullptr);
    EXPECT_EQ(entry->guidDestNet, IID_DestNetInternet);
    EXPECT_EQ(entry->dwConnectionStatus,
              static_cast<DWORD>(routed ? CONNMGR_STATUS_CONNECTED : CONNMGR_STATUS_DISCONNECTED));

    CONNMGR_CONNECTIONINFO info = internetRequest();
    HANDLE connection = nullptr;
    DWORD status = 0;
    EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 0, &status),
              routed ? S_OK : timedOut);
}

TEST(ConnectionScriptText, ReadsListsOutcomesAndNumbers) {
    ConnectionScript script;
    std::string error;
    ASSERT_TRUE(platform::net::parseConnectionScript(
        "list=work:connected; list=work:connected,internet:0x11; establish=fail; delay=1500; "
        "failure=connectionlinkfailed; query=0x80004005",
        script, error))
        << error;
    ASSERT_EQ(script.lists.size(), 2u);
    ASSERT_EQ(script.lists[1].size(), 2u);
    EXPECT_EQ(script.lists[0][0].destination, platform::net::workDestination);
    EXPECT_EQ(script.lists[1][1].destination, IID_DestNetInternet);
    EXPECT_EQ(script.lists[1][1].status, static_cast<DWORD>(CONNMGR_STATUS_SUSPENDED));
    EXPECT_EQ(script.establish, EstablishOutcome::fail);
    EXPECT_EQ(script.establishDelayMs, 1500u);
    EXPECT_EQ(script.failureStatus, static_cast<DWORD>(CONNMGR_STATUS_CONNECTIONLINKFAILED));
    EXPECT_EQ(script.queryResult, E_FAIL);

    ASSERT_TRUE(platform::net::parseConnectionScript("connected", script, error));
    ASSERT_EQ(script.lists.size(), 1u);
    EXPECT_EQ(script.lists[0][0].status, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
    ASSERT_TRUE(platform::net::parseConnectionScript("list=", script, error));
    EXPECT_TRUE(script.lists.at(0).empty());
}

TEST(ConnectionScriptText, RefusesMalformedTexts) {
    ConnectionScript script;
    std::string error;
    for (const char* text :
         {"connectd", "list=moon:connected", "list=internet:sleepy", "establish=maybe", "delay=-5",
          "delay=ten", "query", "list=internet"}) {
        EXPECT_FALSE(platform::net::parseConnectionScript(text, script, error)) << text;
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
