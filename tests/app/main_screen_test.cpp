// The whole application on the headless phone, run by its own message loop: the main screen and
// its stored texts, the data-connection worker with its consent question and the Connection
// Manager's answers, and the two buttons, Send reaching a receiver on loopback and Quit keeping
// the texts for the next start. Steps run inside the loop (LoopScript), as a user's touches would.
#include "support/LoopbackReceiver.h"
#include "MyItem.h"
#include "support/Program.h"
#include "RecentPanel.h"
#include "Section.h"

#include <aygshell.h>

#include <filesystem>
#include <thread>

using namespace program_test;

namespace {

// A receiver on loopback for the sends.
class MainScreenTest : public ProgramTest {
protected:
    LoopbackReceiver receiver;
    const std::wstring port = std::to_wstring(receiver.port());
};

ScriptedConnection work(DWORD status) {
    return ScriptedConnection{platform::net::workDestination, status};
}

// The first run creates the key and asks; No ends the program, stores nothing and leaves the
// question for the next run, where Yes clears it for good. An empty DAWNBELL_TEST_REPORT asks
// for no screen report, any other value for one on stdout.
TEST_F(MainScreenTest, TheQuestionIsAskedUntilYesAndNoEndsTheProgramStoringNothing) {
    setenv("DAWNBELL_TEST_REPORT", "", 1);
    ::testing::internal::CaptureStdout();
    LoopScript no;
    no.waitFor(bounded([] { return boxButton(1).has_value(); }, "the box")).then([] {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsKey::path, 0, 0, &key), ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(fieldText(hostFieldId), L"");
        EXPECT_EQ(statusText(), statusTryingToConnect);
        EXPECT_EQ(sendState(), itemDisabledOff);
    });
    tapBoxButton(no, 1);
    untilTheEnd(no);
    EXPECT_TRUE(runProgram(no));
    EXPECT_EQ(storedValue(L"showInfo"), std::nullopt);
    EXPECT_EQ(storedValue(L"lastFields"), std::nullopt);
    EXPECT_TRUE(platform::net::connectionManagerCalls().queryBufferSizes.empty());

    restart();
    LoopScript yes;
    tapBoxButton(yes, 0);
    yes.waitFor(statusIs(statusReadyToSend)).then([] { EXPECT_EQ(sendState(), itemOff); });
    EXPECT_FALSE(runProgram(yes));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(storedValue(L"showInfo"), std::vector<BYTE>{0});

    restart();
    setenv("DAWNBELL_TEST_REPORT", "1", 1);
    ::testing::internal::CaptureStdout();
    bool asked = false;
    LoopScript again;
    again.waitFor([&] {
        asked = asked || shownBox() != nullptr;
        return statusText() == statusReadyToSend;
    });
    again.then([] { platform::clock::advance(60); }).then([] {}); // the report's period
    EXPECT_FALSE(runProgram(again));
    unsetenv("DAWNBELL_TEST_REPORT");
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("text " + std::to_string(statusLineId) +
                                                            " Ready to send the magic packet !"),
              std::string::npos);
    EXPECT_FALSE(asked);
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
    std::vector<ScriptedConnection> many(6, work(0x10));
    many.push_back(internet(0x10));
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
        {"seven entries", connectionsSeen(many), statusReadyToSend, 0},
    };
    questionAnsweredBefore();
    std::vector<DWORD> sizes;
    for (const Case& c : cases) {
        platform::net::scriptConnectionManager(c.connections);
        LoopScript script;
        script.waitFor(statusIs(c.status)).then([&] {
            EXPECT_EQ(sendState(), c.status == statusReadyToSend ? itemOff : itemDisabledOff)
                << c.what;
        });
        EXPECT_FALSE(runProgram(script)) << c.what;
        const auto calls = platform::net::connectionManagerCalls();
        EXPECT_EQ(calls.establishTimeouts, std::vector<DWORD>(c.establishCalls, 30000u)) << c.what;
        sizes = calls.queryBufferSizes;
    }
    // The last list outgrows the first buffer, which grows to exactly the size the query reports.
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], 192u);
    DWORD needed = 0;
    EXPECT_EQ(ConnMgrQueryDetailedStatus(nullptr, &needed),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(sizes[1], needed);
}

TEST_F(MainScreenTest, SendTakesTheFieldsToTheReceiverAndEachOutcomeToTheStatusLine) {
    questionAnsweredBefore();
    struct Send {
        StoredFields fields;
        std::wstring status;
    };
    const Send sends[] = {
        {{L"127.0.0.1", L"00:11:22:33:44:55", L"9x"}, statusInvalidPort},
        {{L"127.0.0.1", L"00:11:22:33:44", port}, statusInvalidMac},
        {{L"127.0.0.1", L"00:11:22:33:44:55", port, L"aa:bb:cc:dd:ee"}, statusInvalidPassword},
        {{L"no-such-host.invalid", L"00:11:22:33:44:55", port}, statusHostNotFound},
        // This machine answers before the packet leaves: that is no computer that woke.
        {{L" 127.0.0.1", L"0A-1b-2C-3d-4E-5f", port},
         underSentLine(statusPacketSent,
                       L"127.0.0.1 already answers: it was awake, or it is your router")},
    };
    platform::net::confineToLoopback(); // the unknown name is never looked up beyond the machine
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend));
    for (const Send& send : sends) {
        script.then([&] { setFields(send.fields); });
        tapSend(script);
        script.waitFor(statusIs(send.status)).then([] {
            EXPECT_FALSE(platform::Device::instance().waitCursorShown());
            EXPECT_LE(findElementById(statusLineId)->screenRect.bottom,
                      GetSystemMetrics(SM_CYSCREEN))
                << "what the send says lies below the screen's edge";
        });
    }
    EXPECT_FALSE(runProgram(script));

    std::vector<std::uint8_t> expected(6, 0xFF);
    for (int i = 0; i < 16; ++i) {
        expected.insert(expected.end(), {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F});
    }
    EXPECT_EQ(receiver.takeQueued(), expected);
    EXPECT_FALSE(receiver.takeQueued().has_value()) << "only the good input sends";
}

// Quit and the window manager's close button (or the session's end: SIGTERM, which the device
// turns into the same WM_CLOSE) keep the typed texts, even empty ones (stored with length 0),
// and the recent computers; notifications of other codes or widgets do nothing.
TEST_F(MainScreenTest, QuitAndCloseKeepTheTypedTextsAndTheRecentComputersForTheNextRun) {
    for (const bool quit : {true, false}) {
        std::filesystem::remove(platform::registry::filePath());
        restart();
        questionAnsweredBefore();
        ASSERT_TRUE(SettingsKey::open()->writeFields({L"old.host", L"00:00:00:00:00:01", L"7"}));
        restart();
        LoopScript script;
        script.waitFor(statusIs(statusReadyToSend)).then([&] {
            EXPECT_EQ(shownFields(), (StoredFields{L"old.host", L"00:00:00:00:00:01", L"7"}));
        });
        for (const wchar_t* host : {L"127.0.0.1", L"localhost"}) {
            script.then([&, host] {
                setFields({host, L"00:11:22:33:44:55", port});
                theApplication->onEvent(findElementById(sendButtonId), widgetTapped);
            });
            script.waitFor(bounded([] { return statusText().starts_with(statusPacketSent); },
                                   "the packet to leave"));
        }
        script.then([&] {
            theApplication->onEvent(findElementById(quitButtonId), widgetNotification);
            theApplication->onEvent(findElementById(hostFieldId), widgetTapped);
            theApplication->onEvent(nullptr, widgetTapped);
            EXPECT_NE(statusText(), statusGoodbye) << "Quit ran on another notification";
            setFields({L"wol.example.net", L"", L"", L"1.2.3.4"});
            if (quit) {
                theApplication->onEvent(findElementById(quitButtonId), widgetTapped);
                EXPECT_EQ(statusText(), statusGoodbye);
            } else {
                PostMessageW(mainWindow, WM_CLOSE, 0, 0);
            }
        });
        untilTheEnd(script);
        EXPECT_TRUE(runProgram(script)) << quit;
        const std::wstring stored = L"15 0 0 7 wol.example.net1.2.3.4";
        const auto* bytes = reinterpret_cast<const BYTE*>(stored.data());
        EXPECT_EQ(storedValue(L"lastFields"),
                  std::vector<BYTE>(bytes, bytes + stored.size() * sizeof(WCHAR)))
            << quit;

        restart();
        LoopScript next;
        next.waitFor(statusIs(statusReadyToSend)).then([quit] {
            EXPECT_EQ(shownFields(), (StoredFields{L"wol.example.net", L"", L"", L"1.2.3.4"}))
                << quit;
            const auto* newest = dynamic_cast<MyItem*>(findElementById(recentRowFirstId));
            ASSERT_NE(newest, nullptr) << quit;
            EXPECT_EQ(newest->captionLabel->text, L"localhost") << quit;
            EXPECT_NE(findElementById(recentRowFirstId + 1), nullptr) << quit;
        });
        EXPECT_FALSE(runProgram(next)) << quit;
    }
}

// The close button or the session's end while a field's editor is open keeps what the editor
// holds, as Quit (whose tap ends the edit first) does.
TEST_F(MainScreenTest, CloseWhileAFieldIsEditedKeepsTheTextInItsEditor) {
    questionAnsweredBefore();
    ASSERT_TRUE(SettingsKey::open()->writeFields({L"old.host", L"00:00:00:00:00:01", L""}));
    restart();
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend));
    tap(script, [] { return centreOfElement(portFieldId); });
    script.waitFor(bounded([] { return field(portFieldId)->editorOpen; }, "the editor"))
        .then([] {
            for (const wchar_t c : std::wstring(L"4242")) {
                platform::Device::instance().character(c);
            }
        })
        .waitFor(bounded([] { return GetWindowTextLengthW(editWindow) == 4; }, "the typed port"))
        .then([] { PostMessageW(mainWindow, WM_CLOSE, 0, 0); });
    untilTheEnd(script);
    EXPECT_TRUE(runProgram(script));
    restart();
    EXPECT_EQ(SettingsKey::open()->readFields(),
              (StoredFields{L"old.host", L"00:00:00:00:00:01", L"4242"}));
}

// A person who types goes from field to field with the keys every keyboard has: Return (the
// input panel's key, which the platform sends as VK_RETURN, or a hardware one) and Tab end the
// edit and open the next field's editor; Return in the password field ends the edit and brings
// Send into sight on a landscape screen where it lay below the fold; then Send wakes the
// receiver with the password after the MAC copies.
TEST_F(MainScreenTest, ReturnAndTabTypeEveryFieldInOneGoAndReturnInThePasswordShowsSend) {
    questionAnsweredBefore();
    platform::Device::instance().rotate();
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend));
    tap(script, [] { return centreOfElement(hostFieldId); });
    const auto typeInto = [&](MainScreenId id, std::wstring text, UINT key) {
        script.waitFor(bounded([id] { return field(id)->editorOpen; }, "the editor"))
            .then([text, key] {
                for (const wchar_t c : text) {
                    platform::Device::instance().character(c);
                }
                platform::Device::instance().key(key, true);
                platform::Device::instance().key(key, false);
            });
    };
    typeInto(hostFieldId, L"127.0.0.1", VK_RETURN);
    typeInto(macFieldId, L"00:11:22:33:44:55", VK_TAB);
    typeInto(portFieldId, port, VK_RETURN);
    typeInto(passwordFieldId, L"192.168.1.1", VK_RETURN);
    script.waitFor(bounded([] { return !IsWindowVisible(editWindow); }, "the edit's end"))
        .then([&] {
            EXPECT_EQ(shownFields(),
                      (StoredFields{L"127.0.0.1", L"00:11:22:33:44:55", port, L"192.168.1.1"}));
            const RECT send = findElementById(sendButtonId)->screenRect;
            EXPECT_GE(send.top, viewRect.top);
            EXPECT_LE(send.bottom, GetSystemMetrics(SM_CYSCREEN));
            SIPINFO panel{};
            panel.cbSize = sizeof panel;
            ASSERT_TRUE(SipGetInfo(&panel));
            EXPECT_EQ(panel.fdwFlags & SIPF_ON, 0u) << "the keyboard still covers Send";
            // No key moves on from a field whose editor is not open.
            EXPECT_FALSE(endEditWithKey(VK_RETURN));
        });
    tapSend(script);
    std::optional<std::vector<std::uint8_t>> packet;
    script.waitFor(
        bounded([&] { return (packet = packet ? packet : receiver.takeQueued()) ? true : false; },
                "the packet"));
    EXPECT_FALSE(runProgram(script));
    ASSERT_TRUE(packet.has_value());
    EXPECT_EQ(packet->size(), 106u);
    EXPECT_EQ(std::vector<std::uint8_t>(packet->end() - 4, packet->end()),
              (std::vector<std::uint8_t>{192, 168, 1, 1}));
}

class WideNativeScreenTest : public ProgramTest {
protected:
    WideNativeScreenTest() : ProgramTest(800, 480, true) {}
};

// Where an element's place on the screen ends on the right, as wide as it is (not cut).
LONG rightEnd(int id) {
    const Element* element = findElementById(id);
    return element->screenRect.left + (element->right - element->left);
}

// On a wall panel, Send and the status line sit in sight beside the fields from the start; a
// long status, and the recent list built again after a send, keep to their column; scrolled out
// of sight, Send comes back with the Return after the port and the password.
TEST_F(WideNativeScreenTest, SendAndTheStatusLineStayInSightInTheirColumnBesideTheFields) {
    LoopbackReceiver receiver;
    ASSERT_TRUE(receiver.isOpen());
    questionAnsweredBefore();
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    const auto inSight = [height](int id) {
        const RECT place = findElementById(id)->screenRect;
        return place.top >= viewRect.top && place.bottom <= height;
    };
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend)).then([&] {
        EXPECT_TRUE(inSight(sendButtonId));
        EXPECT_TRUE(inSight(statusLineId));
        EXPECT_LT(rightEnd(hostFieldId), findElementById(sendButtonId)->screenRect.left);
        EXPECT_LT(rightEnd(hostFieldId), findElementById(statusLineId)->screenRect.left);
        for (const Element* element : allElements) {
            const auto* label = dynamic_cast<const MyLabel*>(element);
            if (label != nullptr && label->text.starts_with(L"SecureOn")) {
                EXPECT_LT(label->screenRect.left + (label->right - label->left),
                          findElementById(sendButtonId)->screenRect.left)
                    << "the password's caption reaches into the right column";
            }
        }
        setFields({L"127.0.0.1", L"00:11:22:33:44:55", std::to_wstring(receiver.port())});
    });
    tapSend(script);
    // The packet may arrive before the program has heard that it went and listed the computer.
    script.waitFor(bounded([&] { return receiver.takeQueued().has_value(); }, "the packet"))
        .waitFor(bounded([] { return findElementById(recentRowFirstId) != nullptr; }, "the row"))
        .then([&] {
            EXPECT_LE(rightEnd(recentPanelId), width);
            EXPECT_LE(rightEnd(recentRowFirstId), width);
            showStatus(L"No answer after 60 s: is Wake-on-LAN on in the computer's settings? "
                       L"Check its firmware and its network card.");
            paintWhole();
            EXPECT_LE(rightEnd(statusLineId), width);
            Section* column = sectionHolding(findElementById(sendButtonId));
            column->scrollOffset = -height;
            column->unselect(); // at the end of its content
            paintWhole();
            EXPECT_FALSE(inSight(sendButtonId));
        });
    tap(script, [] { return centreOfElement(portFieldId); });
    for (const MainScreenId id : {portFieldId, passwordFieldId}) {
        script.waitFor(bounded([id] { return field(id)->editorOpen; }, "the editor")).then([] {
            platform::Device::instance().key(VK_RETURN, true);
            platform::Device::instance().key(VK_RETURN, false);
        });
    }
    script.waitFor(bounded([] { return !IsWindowVisible(editWindow); }, "the edit's end"))
        .then([&] { EXPECT_TRUE(inSight(sendButtonId)); });
    EXPECT_FALSE(runProgram(script));
}

// Turned to portrait, the panel's screen becomes one column, and two again when turned back;
// the texts typed, the status line and Send's state stay as they were.
TEST_F(WideNativeScreenTest, ATurnLaysTheScreenOutForItsShapeAndKeepsWhatItShows) {
    questionAnsweredBefore();
    const StoredFields typed{L"nas.home", L"00:11:22:33:44:55", L"7"};
    const auto oneColumn = [] {
        return sectionHolding(findElementById(sendButtonId)) ==
               sectionHolding(findElementById(hostFieldId));
    };
    const auto keptWhatItShowed = [&] {
        EXPECT_EQ(shownFields(), typed);
        EXPECT_EQ(statusText(), L"Kept across the turn");
        EXPECT_NE(sendState(), itemDisabledOff);
    };
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend)).then([&] {
        setFields(typed);
        showStatus(L"Kept across the turn");
        platform::Device::instance().rotate();
    });
    script.waitFor(bounded(oneColumn, "one column")).then([&] {
        keptWhatItShowed();
        paintWhole();
        EXPECT_LE(rightEnd(sendButtonId), GetSystemMetrics(SM_CXSCREEN));
        platform::Device::instance().rotate();
    });
    script.waitFor(bounded([&] { return !oneColumn(); }, "two columns")).then(keptWhatItShowed);
    EXPECT_FALSE(runProgram(script));
}

// A box asked on the worker's thread adds and removes its buttons and paints the screen beneath
// it, status line included, while the user-interface thread takes notifications and changes the
// status line: both sides must take the lock the box holds. The thread sanitizer build tells.
TEST_F(MainScreenTest, NotificationsAndStatusTextsTakeTheLockOfABoxOnAnotherThread) {
    questionAnsweredBefore();
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend)).then([] {
        auto* status = dynamic_cast<MyLabel*>(findElementById(statusLineId));
        std::thread buttons([] {
            for (int i = 0; i < 50; ++i) {
                delete new TestBlock(-1); // as the box adds and removes its buttons
            }
        });
        for (int i = 0; i < 50; ++i) {
            theApplication->onEvent(status, widgetTapped);
        }
        buttons.join();
        std::thread painter([status] {
            for (int i = 0; i < 50; ++i) {
                MotionLockGuard lock;
                status->paint(primarySurface, 0, 0);
            }
        });
        for (int i = 0; i < 50; ++i) {
            status->setText(i % 2 == 0 ? L"Ready" : L"Set", true);
        }
        painter.join();
    });
    EXPECT_FALSE(runProgram(script));
}

} // namespace
