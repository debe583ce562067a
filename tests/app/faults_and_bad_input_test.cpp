// The whole program under bad input and faults of its surroundings: strange texts in the fields
// (empty, 10,000 characters pasted, right-to-left, beyond the BMP, control characters), a damaged,
// unreadable or unwritable settings file, and a machine without a network. Each must end in a
// clear message or a sound default, never in a crash, a hang or lost settings. docs/robustness.md
// lists every fault tried and the test that shows it.
#include "MyEditControl.h"
#include "support/Program.h"

#include "registry/RegistryText.h"

#include <sys/fsuid.h>
#include <unistd.h>

#include <filesystem>

using namespace program_test;
namespace fs = std::filesystem;

namespace {

constexpr int pastedCharacters = 10000;
constexpr uid_t nobody = 65534;

// A text pasted into an empty field through the native editor, as a user does: a tap on the
// field, Ctrl+V once the editor is open, then a tap on the header, which ends the edit.
void pasteInto(LoopScript& script, MainScreenId id, const std::wstring& text) {
    script.then([id] { setFieldText(id, L""); }); // as if the user had cleared it
    tap(script, [id] { return centreOfElement(id); });
    script.waitFor(bounded([id] { return field(id)->editorOpen; }, "the editor")).then([text] {
        platform::Device::instance().setClipboardText(text);
        platform::Device::instance().character(0x16);
    });
    tap(script, headerPoint);
    script.waitFor(bounded([id] { return !field(id)->editorOpen; }, "the end of the edit"));
}

std::vector<fs::path> setAsideFiles() {
    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(platform::registry::filePath().parent_path())) {
        if (entry.path().filename().string().starts_with("registry.reg.damaged-")) {
            aside.push_back(entry.path());
        }
    }
    return aside;
}

class FaultsTest : public ProgramTest {
protected:
    // Settings saved by an earlier run: the question answered, three texts.
    static void savedBefore(const StoredFields& fields) {
        questionAnsweredBefore();
        ASSERT_TRUE(SettingsKey::open()->writeFields(fields));
        restart();
    }

    // A run after the settings file was harmed: the question of a first run answered Yes where
    // `firstRun`, the texts shown checked, a new host typed, Quit. What standard error said.
    static std::string runAfterHarm(bool firstRun, const StoredFields& shown) {
        ::testing::internal::CaptureStderr();
        restart();
        LoopScript script;
        if (firstRun) {
            tapBoxButton(script, 0);
        }
        script.waitFor(statusIs(statusReadyToSend)).then([shown] {
            EXPECT_EQ(shownFields(), shown);
            setFieldText(hostFieldId, L"new.example");
        });
        quitNow(script);
        EXPECT_TRUE(runProgram(script));
        return ::testing::internal::GetCapturedStderr();
    }

    // The one file set aside holds `kept` (it is removed), and a new file the typed host.
    static void expectSetAsideAndANewFile(const std::string& kept) {
        const auto aside = setAsideFiles();
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(fileBytes(aside[0]), kept) << "kept as it was";
        fs::remove(aside[0]);
        restart();
        EXPECT_EQ(SettingsKey::open()->readFields().host, L"new.example");
    }

    const StoredFields oldFields{L"old.example", L"00:00:00:00:00:01", L"7"};
};

TEST_F(FaultsTest, BadTextsInTheFieldsGetTheirStatusAndComeBackAsFarAsTheStoreReadsThem) {
    // Pasted through the native editor, which keeps 254 characters; read back as typed when
    // no texts are given.
    struct Case {
        const char* what;
        StoredFields typed;
        bool pasted;
        const wchar_t* status;
        std::optional<StoredFields> readBack;
    };
    const std::wstring many(pastedCharacters, L'1');
    const std::wstring mac = L"00:11:22:33:44:55";
    const StoredFields rtl{L"\x05E9\x05DC\x05D5\x05DD.example", mac, L"9"};
    const StoredFields control{L"a\x01z\tb", mac + L"\a", L"9\x1b"};
    const StoredFields smiley{L"\U0001F600.x", L"00-11-22-33-44-55", L"7"};
    // Longer than the MAC's and the port's readers take: empty.
    const StoredFields manyBack{many.substr(0, 254), L"", L""};
    const Case cases[] = {
        {"empty", {L"", L"", L""}, false, statusInvalidMac, {}},
        {"10,000 pasted", {many, many, many}, true, statusInvalidMac, manyBack},
        {"right-to-left", rtl, true, statusHostNotFound, {}},
        {"beyond the BMP", smiley, true, statusHostNotFound, {}},
        {"control characters pasted (dropped)", control, true, statusHostNotFound,
         StoredFields{L"azb", mac, L"9"}},
        {"control characters from a stored setting", control, false, statusInvalidMac, {}},
    };
    questionAnsweredBefore();
    platform::net::confineToLoopback(); // a name is never looked up beyond the machine
    for (const Case& c : cases) {
        LoopScript script;
        script.waitFor(statusIs(statusReadyToSend));
        script.then([&c] { setFields(c.typed); });
        if (c.pasted) {
            pasteInto(script, hostFieldId, c.typed.host);
            pasteInto(script, macFieldId, c.typed.mac);
            pasteInto(script, portFieldId, c.typed.port);
        }
        tapSend(script);
        script.waitFor(statusIs(c.status));
        quitNow(script);
        EXPECT_TRUE(runProgram(script)) << c.what;
        EXPECT_TRUE(
            platform::registry::parse(fileBytes(platform::registry::filePath())).error.empty())
            << c.what;

        restart();
        LoopScript next;
        next.waitFor(statusIs(statusReadyToSend)).then([&] {
            EXPECT_EQ(shownFields(), c.readBack.value_or(c.typed)) << c.what;
        });
        EXPECT_FALSE(runProgram(next)) << c.what;
        restart();
    }
    EXPECT_TRUE(shownBoxes().empty());
}

// A settings file cut short (as by a full disk under another writer) or not a registry at all:
// set aside with a message, kept as it was, and the program starts as on its first run.
TEST_F(FaultsTest, ADamagedSettingsFileIsSetAsideAndTheProgramStartsAsOnItsFirstRun) {
    savedBefore(oldFields);
    const std::string whole = fileBytes(platform::registry::filePath());
    for (const std::string& damaged : {whole.substr(0, whole.size() / 2), std::string("\x89PNG")}) {
        std::ofstream(platform::registry::filePath(), std::ios::binary) << damaged;
        const std::string message = runAfterHarm(true, {});
        EXPECT_NE(message.find("is damaged"), std::string::npos) << message;
        expectSetAsideAndANewFile(damaged);
    }
}

// An unreadable settings file is set aside untouched, the program starts as on its first run
// and a new file keeps the next texts; a read-only device folder keeps the saved settings, and
// the program says the new ones were not written. Root's file system identity becomes nobody's
// meanwhile, which takes away its power to read and write anything.
TEST_F(FaultsTest, AnUnreadableFileIsSetAsideAndAReadOnlyFolderKeepsTheSavedSettings) {
    const fs::path file = platform::registry::filePath();
    const fs::path testFolder = device.programDir().parent_path();
    for (const bool readOnly : {true, false}) {
        savedBefore(oldFields);
        const std::string before = fileBytes(file);
        fs::permissions(testFolder, fs::perms(0755)); // made for its owner alone
        for (const auto& entry : fs::recursive_directory_iterator(testFolder)) {
            fs::permissions(entry.path(), fs::perms(entry.is_directory() ? 0755 : 0644));
        }
        fs::permissions(file.parent_path(), readOnly ? fs::perms(0555) : fs::perms::all);
        fs::permissions(file, readOnly ? fs::perms(0444) : fs::perms::none);
        setfsuid(nobody);
        ASSERT_TRUE(geteuid() != 0 || static_cast<uid_t>(setfsuid(nobody)) == nobody);
        const std::string message = runAfterHarm(!readOnly, readOnly ? oldFields : StoredFields{});
        setfsuid(geteuid());
        EXPECT_NE(message.find(readOnly ? "could not be written" : "cannot be read"),
                  std::string::npos)
            << message;
        fs::permissions(file.parent_path(), fs::perms::owner_all);
        if (readOnly) {
            EXPECT_EQ(fileBytes(file), before);
            EXPECT_TRUE(setAsideFiles().empty());
            restart();
            EXPECT_EQ(SettingsKey::open()->readFields(), oldFields);
        } else {
            expectSetAsideAndANewFile(before);
        }
    }
}

// A machine of its own network, in which no interface is up and no route leads anywhere: the
// connection gives up after its timeout with Send off. A local network that comes up later, with
// no gateway to anywhere else, is a connection: the worker tries again and Send comes on, and
// a start on it is ready at once. Then, with a connection reported up, a name that can't be
// looked up is told as not found, and a datagram that sendto refuses is told in the toolkit's
// box; the program goes on with nothing lost, and a close while the box is up ends it keeping
// the texts.
TEST_F(FaultsTest, WithoutANetworkTheConnectionGivesUpAndLookupsAndSendsAreToldAsFailures) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        platform::net::useRealConnectionManager();
        questionAnsweredBefore();
        LoopScript first;
        first.waitFor(statusIs(statusCantEstablishConnection))
            .then([&] {
                EXPECT_EQ(sendState(), itemDisabledOff);
                EXPECT_TRUE(network.addPeer("lan", "lan0", "10.86.0.1/24", "10.86.0.2/24"));
            })
            .waitFor(statusIs(statusReadyToSend))
            .then([] { EXPECT_EQ(sendState(), itemOff); });
        EXPECT_FALSE(runProgram(first));
        platform::net::useRealConnectionManager(); // and its calls counted afresh
        LoopScript onTheLan;
        onTheLan.waitFor(statusIs(statusReadyToSend)).then([] {
            EXPECT_EQ(platform::net::connectionManagerCalls().establishTimeouts.size(), 0u);
        });
        EXPECT_FALSE(runProgram(onTheLan));
        platform::net::scriptConnectionManager(connectionsSeen({internet(0x10)}));
        LoopScript script;
        script.waitFor(statusIs(statusReadyToSend))
            .then([] {
                setFields({L"wol.example.net", L"00:11:22:33:44:55", L"9"});
                theApplication->onEvent(findElementById(sendButtonId), widgetTapped);
            })
            .waitFor(statusIs(statusHostNotFound))
            .then([] {
                EXPECT_EQ(shownBox(), nullptr);
                setFieldText(hostFieldId, L"10.1.2.3");
            });
        tapSend(script);
        script.waitFor(bounded([] { return boxButton(0).has_value(); }, "the box")).then([] {
            EXPECT_EQ(shownBox()->caption, sendFailedCaption);
            EXPECT_EQ(shownBox()->text, sendFailedMessage);
        });
        tapBoxButton(script, 0);
        script.waitFor(statusIs(sendFailedMessage)).then([] {
            EXPECT_EQ(fieldText(hostFieldId), L"10.1.2.3");
            setFieldText(portFieldId, L"7");
        });
        // Again, and the window is closed while the box is up: the program ends as from its
        // own loop, keeping the texts.
        tapSend(script);
        script.waitFor(bounded([] { return boxButton(0).has_value(); }, "the second box")).then([] {
            PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        });
        untilTheEnd(script);
        EXPECT_TRUE(runProgram(script));
        EXPECT_TRUE(shownBoxes().empty()) << "a native box, whose loop takes no close";
        restart();
        return SettingsKey::open()->readFields() ==
               StoredFields{L"10.1.2.3", L"00:11:22:33:44:55", L"7"};
    });
}

} // namespace
