// Connection Manager: the detailed status list in the caller's buffer, and bringing the Internet
// destination up, scripted on the manual clock.
#include "support/NetworkOfItsOwn.h"
#include "support/Shell.h"
#include "connmgr.h"
#include "net/RouteMonitor.h"
#include "platform/Clock.h"
#include "platform/Network.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <future>
#include <thread>
#include <vector>

namespace {

using platform::net::ConnectionScript;

constexpr HRESULT insufficientBuffer = static_cast<HRESULT>(0x8007007A);
constexpr HRESULT timedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

ConnectionScript script(const char* text) {
    ConnectionScript result;
    std::string error;
    EXPECT_TRUE(platform::net::parseConnectionScript(text, result, error)) << error;
    return result;
}

// The bytes of one entry: the record, then its description and adapter name, each ended.
DWORD entryBytes(const std::wstring& adapter) {
    const auto text = [](const std::wstring& s) {
        return s.empty() ? 0 : (s.size() + 1) * sizeof(WCHAR);
    };
    return static_cast<DWORD>(sizeof(CONNMGR_CONNECTION_DETAILED_STATUS) + text(L"Internet") +
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

struct Establish {
    HRESULT result = E_PENDING;
    HANDLE connection = INVALID_HANDLE_VALUE;
    DWORD status = 0xdead;
};

Establish establish(DWORD timeout, CONNMGR_CONNECTIONINFO info = internetRequest()) {
    Establish out;
    out.result = ConnMgrEstablishConnectionSync(&info, &out.connection, timeout, &out.status);
    return out;
}

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

TEST_F(ConnectionManagerTest, BufferGrowsAsOftenAsAskedWithExactSizes) {
    platform::net::scriptConnectionManager(
        script("list=work:connected,internet:disconnected; "
               "list=work:connected,internet:disconnected,internet:0x11"));
    HRESULT result = E_FAIL;
    const auto buffer = queryGrowing(result);
    ASSERT_EQ(result, S_OK);

    const DWORD firstList = entryBytes(L"eth0") + entryBytes(L"");
    const DWORD secondList = firstList + entryBytes(L"eth0");
    ASSERT_GT(firstList, 192u) << "the first call must be too small for this test";
    EXPECT_EQ(platform::net::connectionManagerCalls().queryBufferSizes,
              (std::vector<DWORD>{192, firstList, secondList}));

    std::vector<DWORD> statuses;
    for (auto* entry = reinterpret_cast<const CONNMGR_CONNECTION_DETAILED_STATUS*>(buffer.data());
         entry != nullptr; entry = entry->pNext) {
        const auto* text = reinterpret_cast<const std::byte*>(entry->szDescription);
        EXPECT_TRUE(text >= buffer.data() && text < buffer.data() + buffer.size())
            << "strings live in the caller's buffer";
        EXPECT_EQ(entry->dwVer, 1u);
        statuses.push_back(entry->dwConnectionStatus);
    }
    EXPECT_EQ(statuses, (std::vector<DWORD>{CONNMGR_STATUS_CONNECTED, CONNMGR_STATUS_DISCONNECTED,
                                            CONNMGR_STATUS_SUSPENDED}));
}

TEST_F(ConnectionManagerTest, ExactSizeFitsAndOneByteLessDoesNotAndAnEmptyListHasABlankEntry) {
    platform::net::scriptConnectionManager(ConnectionScript{});
    const DWORD needed = entryBytes(L"eth0");
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

    platform::net::scriptConnectionManager(script("query=0x80004005"));
    size = needed;
    EXPECT_EQ(ConnMgrQueryDetailedStatus(list, &size), E_FAIL);

    platform::net::scriptConnectionManager(script("list="));
    std::fill(buffer.begin(), buffer.end(), std::byte{0x5a});
    size = sizeof *list; // just room for the blank entry
    ASSERT_EQ(ConnMgrQueryDetailedStatus(list, &size), S_OK);
    EXPECT_EQ(size, 0u) << "an empty list leaves one blank entry to walk";
    EXPECT_EQ(list->pNext, nullptr);
    EXPECT_NE(list->guidDestNet, IID_DestNetInternet);
}

// Without a script the machine answers: establishing waits, however long it is given, until the
// network comes up, and the route watcher wakes it then.
TEST_F(ConnectionManagerTest, WithoutAScriptEstablishingWaitsForTheNetworkToComeUp) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addPeer("lan", "lan0", "fe80::1/64 nodad", ""))
            return false;
        const std::size_t before = platform::net::connectionManagerCalls().establishTimeouts.size();
        auto waiting = std::async(std::launch::async, [] { return establish(0xffffffffu); });
        while (platform::net::connectionManagerCalls().establishTimeouts.size() == before)
            std::this_thread::yield();
        EXPECT_TRUE(network.run("ip addr add 10.9.0.1/24 dev lan0"));
        const Establish up = waiting.get();
        EXPECT_EQ(std::pair(up.result, up.status),
                  std::pair(S_OK, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED)));
        return true;
    });
}

struct EstablishCase {
    const char* script;
    DWORD decidedAfterMs; // device clock time the call keeps waiting
    HRESULT result;
    DWORD status;
};

TEST_F(ConnectionManagerTest, EstablishingDecidesAtTheRightMomentOnTheDeviceClock) {
    const EstablishCase cases[] = {
        {"connected", 0, S_OK, CONNMGR_STATUS_CONNECTED},
        {"list=internet:disconnected; delay=1500", 1500, S_OK, CONNMGR_STATUS_CONNECTED},
        {"disconnected", 30000, timedOut, CONNMGR_STATUS_WAITINGCONNECTION},
        {"list=internet:disconnected; delay=45000", 30000, timedOut,
         CONNMGR_STATUS_WAITINGCONNECTION},
        {"list=internet:disconnected; establish=fail; failure=authenticationfailed; delay=10", 10,
         E_FAIL, CONNMGR_STATUS_AUTHENTICATIONFAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        platform::net::scriptConnectionManager(script(c.script));
        Establish out;
        platformtest::PlatformThread call([&] { out = establish(30000); });
        if (c.decidedAfterMs > 0) {
            call.settle();
            platform::clock::advance(c.decidedAfterMs - 1);
            call.settle();
            EXPECT_FALSE(call.finished());
            platform::clock::advance(1);
        }
        call.join();
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.status, c.status);
        EXPECT_EQ(out.connection != nullptr, c.result == S_OK);
        EXPECT_EQ(platform::net::connectionManagerCalls().establishTimeouts,
                  (std::vector<DWORD>{30000}));
        if (c.result == S_OK) {
            CONNMGR_CONNECTION_DETAILED_STATUS entry[4];
            DWORD size = sizeof entry;
            ASSERT_EQ(ConnMgrQueryDetailedStatus(entry, &size), S_OK);
            EXPECT_EQ(entry[0].dwConnectionStatus, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED))
                << "once established, the Internet shows as connected";
        }
    }
}

TEST_F(ConnectionManagerTest, RequestsThatNameNoUsableDestinationAreRefused) {
    platform::net::scriptConnectionManager(ConnectionScript{});
    CONNMGR_CONNECTIONINFO wrongSize = internetRequest(), none = internetRequest(),
                           work = internetRequest();
    wrongSize.cbSize += 4;
    none.dwParams = 0;
    work.guidDestNet = platform::net::workDestination;
    EXPECT_EQ(std::pair(establish(0, wrongSize).result, establish(0, none).result),
              std::pair(E_INVALIDARG, E_INVALIDARG));
    const Establish elsewhere = establish(0, work);
    EXPECT_EQ(std::pair(elsewhere.result, elsewhere.status),
              std::pair(E_FAIL, static_cast<DWORD>(CONNMGR_STATUS_NOPATHTODESTINATION)));
}

TEST(ConnectionScriptText, RefusesMalformedTexts) {
    EXPECT_EQ(script("delay=4294967295").establishDelayMs, 4294967295u) << "the longest is taken";
    ConnectionScript parsed;
    for (const char* text :
         {"connectd", "list=moon:connected", "list=internet:sleepy", "establish=maybe", "delay=-5",
          "delay=ten", "delay=5s", "delay=4294967296", "delay=99999999999999999999", "query",
          "list=internet"}) {
        std::string error;
        EXPECT_FALSE(platform::net::parseConnectionScript(text, parsed, error)) << text;
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
