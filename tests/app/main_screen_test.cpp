// The whole application on the headless phone, run by its own message loop: the main screen and
// its stored texts, the data-connection worker with its consent question and the Connection
// Manager's answers, and the two buttons, Send reaching a receiver on loopback and Quit keeping
// the texts for the next start. Steps run inside the loop (LoopScript), as a user's touches would.
#include "LoopbackReceiver.h"
#include "ProgramTestSupport.h"

#include <sched.h>
#include <unistd.h>

using namespace program_test;

namespace {

class MainScreenTest : public ProgramTest {};

TEST_F(MainScreenTest, FirstRunCreatesTheKeyAsksOnceAndYesClearsTheQuestionForTheNextRun) {
    LoopScript first;
    first.waitFor(bounded([] { return boxButton(0).has_value(); }, "the box")).then([] {
        EXPECT_TRUE(keyExists());
        EXPECT_EQ(fieldText(hostFieldId), L"");
        EXPECT_EQ(statusText(), statusTryingToConnect);
        EXPECT_EQ(sendState(), itemDisabledOff);
    });
    tapBoxButton(first, 0);
    first.waitFor(statusIs(statusReadyToSend)).then([] { EXPECT_EQ(sendState(), itemOff); });
    EXPECT_FALSE(runProgram(first));
    EXPECT_EQ(storedValue(L"showInfo"), std::vector<BYTE>{0});

    restart();
    bool asked = false;
    LoopScript second;
    second.waitFor([&] {
        asked = asked || shownBox() != nullptr;
        return statusText() == statusReadyToSend;
    });
    EXPECT_FALSE(runProgram(second));
    EXPECT_FALSE(asked);
}

TEST_F(MainScreenTest, NoEndsTheProgramAndLeavesTheQuestionForTheNextRun) {
    LoopScript script;
    tapBoxButton(script, 1);
    script.waitFor(bounded([] { return false; }, "the program to end by itself"));
    EXPECT_TRUE(runProgram(script));
    EXPECT_EQ(storedValue(L"showInfo"), std::nullopt);
    EXPECT_EQ(storedValue(L"lastIP"), std::nullopt);
    EXPECT_TRUE(platform::net::connectionManagerCalls().queryBufferSizes.empty());
}

TEST_F(MainScreenTest, TheLastInternetEntryDecidesAndOnlyADisconnectedOneIsBroughtUp) {
    struct Case {
        const char* what;
        ConnectionScript connections;
        const wchar_t* status;
        size_t establishCalls;
    };
    ConnectionScript failing = connectionsSeen({internet(0x20)});
    failing.establish = EstablishOutcome::fail;
    ConnectionScript queryFails;
    queryFails.queryResult = E_FAIL;
    const Case cases[] = {
        {"connected", connectionsSeen({internet(0x10)}), statusReadyToSend, 0},
        {"suspended", connectionsSeen({internet(0x11)}), statusReadyToSend, 0},
        {"the later entry is connected",
         connectionsSeen({internet(0x20), work(0x10), internet(0x10)}), statusReadyToSend, 0},
        {"the later entry is disconnected", connectionsSeen({internet(0x10), internet(0x20)}),
         statusReadyToSend, 1},
        {"only another destination", connectionsSeen({work(0x10)}), statusCantFindWebConnections,
         0},
        {"no connection at all", connectionsSeen({}), statusCantFindWebConnections, 0},
        {"the query fails", queryFails, statusCantRetrieveConnections, 0},
        {"connecting fails", failing, statusCantEstablishConnection, 1},
    };
    questionAnsweredBefore();
    for (const Case& c : cases) {
        platform::net::scriptConnectionManager(c.connections);
        LoopScript script;
        script.waitFor(statusIs(c.status)).then([&] {
            EXPECT_EQ(sendState(), c.status == statusReadyToSend ? itemOff : itemDisabledOff)
                << c.what;
        });
        EXPECT_FALSE(runProgram(script)) << c.what;
        const auto calls = platform::net::connectionManagerCalls();
        EXPECT_EQ(calls.establishTimeouts.size(), c.establishCalls) << c.what;
        for (DWORD timeout : calls.establishTimeouts) {
            EXPECT_EQ(timeout, 30000u) << c.what;
        }
    }
}

TEST_F(MainScreenTest, AConnectionThatNeverComesUpGivesUpAfterThirtySeconds) {
    questionAnsweredBefore();
    ConnectionScript never = connectionsSeen({internet(0x20)});
    never.establish = EstablishOutcome::never;
    platform::net::scriptConnectionManager(never);
    LoopScript script;
    script
        .waitFor(bounded(
            [] { return !platform::net::connectionManagerCalls().establishTimeouts.empty(); },
            "the connection attempt"))
        .then([] { platform::clock::advance(29900); })
        .then([] { EXPECT_EQ(statusText(), statusTryingToConnect) << "gave up too early"; })
        .then([] { platform::clock::advance(200); })
        .waitFor(statusIs(statusCantEstablishConnection));
    EXPECT_FALSE(runProgram(script));
}

TEST_F(MainScreenTest, TheStatusBufferGrowsToExactlyTheSizesTheQueriesReport) {
    questionAnsweredBefore();
    std::vector<ScriptedConnection> many(6, work(0x10));
    many.push_back(internet(0x10));
    platform::net::scriptConnectionManager(connectionsSeen(many));
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend));
    EXPECT_FALSE(runProgram(script));
    const std::vector<DWORD> sizes = platform::net::connectionManagerCalls().queryBufferSizes;
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], 192u);
    DWORD needed = 0;
    EXPECT_EQ(ConnMgrQueryDetailedStatus(nullptr, &needed),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(sizes[1], needed);
}

TEST_F(MainScreenTest, SendTakesTheFieldsToTheReceiverAndEachOutcomeToTheStatusLine) {
    LoopbackReceiver receiver;
    ASSERT_TRUE(receiver.isOpen());
    questionAnsweredBefore();
    struct Send {
        std::wstring host, mac, port;
        const wchar_t* status;
    };
    const std::wstring port = std::to_wstring(receiver.port());
    const Send sends[] = {
        {L"127.0.0.1", L"00:11:22:33:44:55", L"9x", statusInvalidPort},
        {L"127.0.0.1", L"00:11:22:33:44", port, statusInvalidMac},
        {L"no-such-host.invalid", L"00:11:22:33:44:55", port, statusHostNotFound},
        // This machine is up: the check after the send says so.
        {L"127.0.0.1", L"0A-1b-2C-3d-4E-5f", port, statusComputerAwake},
    };
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend));
    for (const Send& send : sends) {
        script.then([&] {
            setFieldText(hostFieldId, send.host);
            setFieldText(macFieldId, send.mac);
            setFieldText(portFieldId, send.port);
        });
        tap(script, [] { return centreOfElement(sendButtonId); });
        script.waitFor(statusIs(send.status)).then([] {
            EXPECT_FALSE(platform::Device::instance().waitCursorShown());
        });
    }
    EXPECT_FALSE(runProgram(script));

    const auto packet = receiver.takeQueued();
    ASSERT_TRUE(packet.has_value());
    std::vector<std::uint8_t> expected(6, 0xFF);
    for (int i = 0; i < 16; ++i) {
        expected.insert(expected.end(), {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F});
    }
    EXPECT_EQ(*packet, expected);
    EXPECT_FALSE(receiver.takeQueued().has_value()) << "only the good input sends";
}

TEST_F(MainScreenTest, ATapOnTheDisabledSendDoesNothing) {
    LoopbackReceiver receiver;
    questionAnsweredBefore();
    ConnectionScript never = connectionsSeen({internet(0x20)});
    never.establish = EstablishOutcome::never;
    platform::net::scriptConnectionManager(never);
    LoopScript script;
    script.then([&] {
        setFieldText(hostFieldId, L"127.0.0.1");
        setFieldText(macFieldId, L"00:11:22:33:44:55");
        setFieldText(portFieldId, std::to_wstring(receiver.port()));
    });
    tap(script, [] { return centreOfElement(sendButtonId); });
    script.then([] {
        EXPECT_EQ(statusText(), statusTryingToConnect);
        EXPECT_EQ(sendState(), itemDisabledOff);
    });
    EXPECT_FALSE(runProgram(script));
    EXPECT_FALSE(receiver.takeQueued().has_value());
}

TEST_F(MainScreenTest, QuitKeepsTheTypedTextsEvenEmptyOnesAndTheNextRunShowsThem) {
    questionAnsweredBefore();
    ASSERT_TRUE(SettingsKey::open()->writeFields({L"old.host", L"00:00:00:00:00:01", L"7"}));
    restart();
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend))
        .then([] {
            EXPECT_EQ(fieldText(hostFieldId), L"old.host");
            EXPECT_EQ(fieldText(portFieldId), L"7");
            setFieldText(hostFieldId, L"wol.example.net");
            setFieldText(macFieldId, L"");
            setFieldText(portFieldId, L"");
            theApplication->onEvent(findElementById(quitButtonId), widgetTapped);
            EXPECT_EQ(statusText(), statusGoodbye);
        })
        .waitFor(bounded([] { return false; }, "Quit to end the program"));
    EXPECT_TRUE(runProgram(script));
    EXPECT_EQ(storedValue(L"lastMAC"), std::vector<BYTE>{}) << "stored with byte count 0";
    EXPECT_EQ(storedValue(L"lastPort"), std::vector<BYTE>{});

    restart();
    LoopScript next;
    next.waitFor(statusIs(statusReadyToSend)).then([] {
        EXPECT_EQ(fieldText(hostFieldId), L"wol.example.net");
        EXPECT_EQ(fieldText(macFieldId), L"");
        EXPECT_EQ(fieldText(portFieldId), L"");
    });
    EXPECT_FALSE(runProgram(next));
}

TEST_F(MainScreenTest, NotificationsOfOtherCodesOrWidgetsDoNothing) {
    questionAnsweredBefore();
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend)).then([] {
        theApplication->onEvent(findElementById(quitButtonId), widgetNotification);
        theApplication->onEvent(findElementById(hostFieldId), widgetTapped);
        theApplication->onEvent(nullptr, widgetTapped);
        EXPECT_EQ(statusText(), statusReadyToSend);
    });
    EXPECT_FALSE(runProgram(script)) << "Quit ran on a notification that was not a tap";
}

// Without a route anywhere (a network namespace of its own, holding only a loopback that is
// down), sendto refuses the datagram. The user is told and the program goes on.
TEST_F(MainScreenTest, AFailedSendIsToldAndTheProgramGoesOnWithNothingLost) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "a network namespace of its own needs root";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (unshare(CLONE_NEWNET) != 0) {
                std::exit(6);
            }
            questionAnsweredBefore();
            LoopScript script;
            script.waitFor(statusIs(statusReadyToSend))
                .then([] {
                    setFieldText(hostFieldId, L"10.1.2.3");
                    setFieldText(macFieldId, L"00:11:22:33:44:55");
                    setFieldText(portFieldId, L"9");
                    theApplication->onEvent(findElementById(sendButtonId), widgetTapped);
                })
                .waitFor(statusIs(sendFailedMessage))
                .then([] { EXPECT_EQ(fieldText(hostFieldId), L"10.1.2.3"); });
            const bool endedEarly = runProgram(script);
            const auto boxes = shownBoxes();
            const bool told = boxes.size() == 1 && boxes[0].text == sendFailedMessage &&
                              boxes[0].caption == sendFailedCaption;
            std::exit(!endedEarly && told && !HasFailure() ? 7 : 8);
        },
        ::testing::ExitedWithCode(7), "");
}

struct Phone {
    const char* name;
    int width;
    int height;
    int dpi;
    int fieldMargin; // screen pixels on each side of a field
};

void PrintTo(const Phone& phone, std::ostream* out) {
    *out << phone.width << "x" << phone.height;
}

class MainScreenLayoutTest : public ::testing::TestWithParam<Phone> {};

// The small phone shows the VGA layout at half its size: the fields stay in the middle.
TEST_P(MainScreenLayoutTest, TheFieldsKeepTheSameMarginOnBothSides) {
    const Phone phone = GetParam();
    ToolkitDevice device(phone.width, phone.height, phone.dpi);
    installResourceSet(device);
    auto* app = new MagicPacketApp(GetModuleHandleW(nullptr));
    buildMainScreen();
    for (int id : {hostFieldId, macFieldId, portFieldId}) {
        const Element* field = findElementById(id);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->left, phone.fieldMargin) << "field " << id;
        EXPECT_EQ(phone.width - field->right, phone.fieldMargin) << "field " << id;
    }
    delete app;
}

INSTANTIATE_TEST_SUITE_P(VgaAndSmallPhone, MainScreenLayoutTest,
                         ::testing::Values(Phone{"Vga", 480, 640, 192, 30},
                                           Phone{"Small", 240, 320, 96, 15}),
                         [](const auto& phone) { return std::string(phone.param.name); });

} // namespace
