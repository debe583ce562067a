// The recent computers: the list as the registry keeps it across starts (order, one row per
// computer, the oldest dropped, damaged entries left out and the rest kept, what regedit writes
// read), and the panel on the main screen: a send adds a row, a tap fills the fields without
// sending, a tap-and-hold forgets on Yes only, a long host stays inside its row.
#include "support/LoopbackReceiver.h"
#include "MyItem.h"
#include "support/Program.h"
#include "RecentComputers.h"
#include "RecentPanel.h"
#include "Section.h"

#include <algorithm>
#include <filesystem>

using namespace program_test;

namespace {

// Computer n; n + 100 is the same computer written otherwise (letter case, MAC separators).
StoredFields computer(int n) {
    const std::wstring number = std::to_wstring(n % 100);
    const std::wstring byte = (n % 100 < 10 ? L"0" : L"") + number;
    return n < 100 ? StoredFields{L"host" + number + L".lan", L"0a:11:22:33:44:" + byte, L"9"}
                   : StoredFields{L"HOST" + number + L".lan", L"0A-11-22-33-44-" + byte, L"9"};
}

std::vector<std::wstring> hostsOf(const RecentComputers& list) {
    std::vector<std::wstring> hosts(list.rows().size());
    std::ranges::transform(list.rows(), hosts.begin(), &StoredFields::host);
    return hosts;
}

std::vector<std::wstring> hostsAfterRestart() {
    platform::registry::reload();
    RecentComputers list;
    list.load();
    return hostsOf(list);
}

// Writes the texts as values computer1, computer2... (from computer`first`) of the list's key, as
// regedit would.
void writeRows(const std::vector<std::pair<DWORD, std::wstring>>& rows, std::size_t first = 1) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, RecentComputers::keyPath, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [type, text] = rows[i];
        RegSetValueExW(key, (L"computer" + std::to_wstring(first + i)).c_str(), 0, type,
                       reinterpret_cast<const BYTE*>(text.data()),
                       static_cast<DWORD>(text.size() * sizeof(WCHAR)));
    }
    RegCloseKey(key);
}

class RecentComputersTest : public ProgramTest {};

// Steps: n > 0 sends to computer n, n <= 0 forgets row -n. Rows: the computers, newest first,
// as the next start reads them from the registry file.
TEST_F(RecentComputersTest, TheStoredListKeepsOneRowPerComputerNewestFirstAndAtMostTen) {
    struct Case {
        const char* what;
        std::vector<int> steps;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {"one", {1}, {1}},
        {"again moves to the top", {1, 2, 3, 2}, {2, 3, 1}},
        {"the same computer written otherwise", {1, 2, 101}, {101, 2}},
        {"the eleventh drops the oldest",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         {11, 10, 9, 8, 7, 6, 5, 4, 3, 2}},
        {"the oldest again before the eleventh",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 11},
         {11, 1, 10, 9, 8, 7, 6, 5, 4, 3}},
        {"forgetting the middle row", {1, 2, 3, -1}, {3, 1}},
        {"a forgotten place is taken again",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -9, -3, 11, 12, 13},
         {13, 12, 11, 10, 9, 8, 6, 5, 4, 3}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(platform::registry::filePath());
        platform::registry::reload();
        RecentComputers list;
        list.load();
        for (int step : c.steps) {
            if (step > 0) {
                EXPECT_TRUE(list.remember(computer(step))) << c.what;
            } else {
                EXPECT_TRUE(list.forget(static_cast<size_t>(-step))) << c.what;
            }
        }
        std::vector<std::wstring> expected(c.rows.size());
        std::ranges::transform(c.rows, expected.begin(), [](int n) { return computer(n).host; });
        EXPECT_EQ(hostsOf(list), expected) << c.what << ", as the list shows it";
        EXPECT_EQ(hostsAfterRestart(), expected) << c.what;
    }
}

// Entries a person or a broken tool left in the registry: each is left out and named once, and
// the rows around them stay.
TEST_F(RecentComputersTest, DamagedEntriesAreLeftOutAndTheOthersStay) {
    // computer1 to computer9, as the registry holds them.
    const std::pair<DWORD, std::wstring> entries[] = {
        {REG_SZ, L"18446744073709551600 00:11:22:33:44:01 9 kept-newer.lan"},
        {REG_BINARY, L"6 00:11:22:33:44:02 9 binary.lan"},
        {REG_SZ, L"no order 00:11:22:33:44:03 9 x.lan"},
        {REG_SZ, L"5 00:11:22:33:44 9 short-mac.lan"},
        {REG_SZ, L"4 00:11:22:33:44:05 99999 bad-port.lan"},
        {REG_SZ, L"3 00:11:22:33:44:06 9 " + std::wstring(400, L'h')},
        {REG_SZ, L"3 00:11:22:33:44:07 9"},
        {REG_SZ, L"99999999999999999999999 00:11:22:33:44:08 9 big.lan"},
        {REG_SZ, L"1 00:11:22:33:44:09 9 kept-older.lan"},
    };
    writeRows({std::begin(entries), std::end(entries)});
    platform::registry::reload();

    testing::internal::CaptureStderr();
    RecentComputers list;
    list.load();
    const std::string told = testing::internal::GetCapturedStderr();
    ASSERT_EQ(list.rows().size(), 2u);
    EXPECT_EQ(list.rows()[0].host, L"kept-newer.lan");
    EXPECT_EQ(list.rows()[1].host, L"kept-older.lan");
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
    for (int n = 2; n <= 8; ++n) {
        EXPECT_NE(told.find("computer" + std::to_string(n)), std::string::npos) << n;
    }
    // New rows take the places of the damaged entries, never those of the rows that stay.
    for (int n = 1; n <= 7; ++n) {
        list.remember(computer(n));
    }
    testing::internal::CaptureStderr();
    const std::vector<std::wstring> hosts = hostsAfterRestart();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(hosts.size(), 9u);
    EXPECT_EQ(hosts[7], L"kept-newer.lan");
    EXPECT_EQ(hosts[8], L"kept-older.lan");
}

// What a person or regedit writes is read: a text with its terminating NUL is a row; of two
// copies of one computer the older is deleted (a forgotten computer never comes back); an order
// at the end of its range does not keep a row on top of the newer ones.
TEST_F(RecentComputersTest, RegeditTextsCopiesAndOrdersAtTheEndOfTheirRangeAreReadSoundly) {
    writeRows({{REG_SZ, std::wstring(L"3 00:11:22:33:44:01 9 nul.lan\0", 30)},
               {REG_SZ, L"18446744073709551615 00:11:22:33:44:02 9 pinned.lan"},
               {REG_SZ, L"2 00-11-22-33-44-01 9 NUL.LAN"}});
    EXPECT_EQ(hostsAfterRestart(), (std::vector<std::wstring>{L"pinned.lan", L"nul.lan"}));
    RecentComputers list;
    list.load();
    EXPECT_TRUE(list.remember(computer(5)));
    EXPECT_EQ(hostsAfterRestart(),
              (std::vector<std::wstring>{computer(5).host, L"pinned.lan", L"nul.lan"}));
    list.load();
    EXPECT_TRUE(list.forget(2));
    EXPECT_EQ(hostsAfterRestart(), (std::vector<std::wstring>{computer(5).host, L"pinned.lan"}));
    // Renumbered by the very read a change makes first, the change still goes on top.
    writeRows({{REG_SZ, L"18446744073709551615 00:11:22:33:44:07 9 high.lan"}}, 9);
    EXPECT_TRUE(list.remember(computer(6)));
    EXPECT_EQ(hostsAfterRestart(), (std::vector<std::wstring>{computer(6).host, L"high.lan",
                                                              computer(5).host, L"pinned.lan"}));
}

// The MAC address a host answered with is kept after its row's texts: rows of older versions
// read without one, a part of an unknown name or an unreadable value is passed over; a new
// answer goes to every row of the host, a new row of the host starts with it, and the texts of
// the rows stay as they were.
TEST_F(RecentComputersTest, TheAnsweredMacIsKeptWithEveryRowOfItsHostAndOlderRowsStillRead) {
    writeRows({{REG_SZ, L"1 00:11:22:33:44:01 9 old.lan"},
               {REG_SZ, L"2 00:11:22:33:44:02 9 kept.lan colour=blue answered=02-00-00-00-00-02"},
               {REG_SZ, L"3 00:11:22:33:44:03 9 bad.lan answered=02:00"}});
    const MacAddress kept{0x02, 0, 0, 0, 0, 0x02};
    const MacAddress seen{0x02, 0, 0, 0, 0, 0x0A};
    const auto answered = [](const wchar_t* host) {
        platform::registry::reload();
        RecentComputers list;
        list.load();
        return list.answeredMac(host);
    };
    EXPECT_EQ(hostsAfterRestart(),
              (std::vector<std::wstring>{L"bad.lan", L"kept.lan", L"old.lan"}));
    EXPECT_EQ(answered(L"old.lan"), std::nullopt);
    EXPECT_EQ(answered(L"KEPT.lan"), kept);
    EXPECT_EQ(answered(L"bad.lan"), std::nullopt);

    RecentComputers list;
    list.load();
    EXPECT_TRUE(list.remember({L"old.lan", L"00:11:22:33:44:0a", L"7"})); // another card
    EXPECT_TRUE(list.noteAnswer(L" OLD.LAN", seen));
    EXPECT_FALSE(list.noteAnswer(L"old.lan", seen)) << "written again";
    EXPECT_FALSE(list.noteAnswer(L"kept.lan", seen, false)) << "the kept answer was replaced";
    platform::registry::reload();
    list.load();
    EXPECT_EQ(list.rows().front(), (StoredFields{L"old.lan", L"00:11:22:33:44:0a", L"7"}));
    list.forget(3); // old.lan's older row
    EXPECT_EQ(answered(L"old.lan"), seen);
    EXPECT_TRUE(list.remember({L"old.lan", L"00:11:22:33:44:0b", L""}));
    list.forget(1); // the row that was told the answer
    EXPECT_EQ(answered(L"old.lan"), seen) << "the host's new row started without it";
    EXPECT_EQ(answered(L"kept.lan"), kept);
}

// A computer keeps the password it was last sent with among the facts after its host, beside the
// MAC address it answered with; a row without one is written as versions before the password
// read it. A password that could not have been sent is passed over, as an unreadable fact is.
TEST_F(RecentComputersTest, APasswordIsKeptWithItsComputerAndRowsOfOtherVersionsRead) {
    const auto stored = [](const wchar_t* name) {
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, RecentComputers::keyPath, 0, KEY_READ, &key);
        std::wstring value(200, L'\0');
        DWORD size = static_cast<DWORD>(value.size() * sizeof(WCHAR));
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
        RegCloseKey(key);
        return value.substr(0, size / sizeof(WCHAR));
    };
    RecentComputers list;
    list.load();
    StoredFields secured = computer(1);
    secured.password = L" aa:bb:cc:dd:ee:ff ";
    ASSERT_TRUE(list.remember(secured));
    EXPECT_EQ(stored(L"computer1"), L"1 0a:11:22:33:44:01 9 host1.lan password=aa:bb:cc:dd:ee:ff");
    EXPECT_TRUE(list.noteAnswer(L"host1.lan", {0x02, 0, 0, 0, 0, 0x01}));
    EXPECT_EQ(stored(L"computer1"), L"1 0a:11:22:33:44:01 9 host1.lan password=aa:bb:cc:dd:ee:ff "
                                    L"answered=02:00:00:00:00:01");
    secured.password.clear();
    ASSERT_TRUE(list.remember(secured)) << "the same computer, now without its password";
    EXPECT_EQ(stored(L"computer1"), L"2 0a:11:22:33:44:01 9 host1.lan answered=02:00:00:00:00:01");
    writeRows({{REG_SZ, L"7 00:11:22:33:44:02 9 later.lan seen=1 password=10.0.0.1"},
               {REG_SZ, L"6 00:11:22:33:44:03 9 refused.lan password=10.0.0"}},
              2);
    platform::registry::reload();
    list.load();
    ASSERT_EQ(list.rows().size(), 3u);
    EXPECT_EQ(list.rows()[0],
              (StoredFields{L"later.lan", L"00:11:22:33:44:02", L"9", L"10.0.0.1"}));
    EXPECT_EQ(list.rows()[1], (StoredFields{L"refused.lan", L"00:11:22:33:44:03", L"9"}));
    EXPECT_EQ(list.rows()[2], computer(1));
}

// ---- The panel on the main screen ------------------------------------------------------------

MyItem* row(size_t index) {
    return dynamic_cast<MyItem*>(findElementById(recentRowFirstId + static_cast<int>(index)));
}

size_t rowsShown() {
    size_t count = 0;
    while (row(count) != nullptr) {
        ++count;
    }
    return count;
}

// Sends what the fields hold, as the Send button does, and waits for the packet to leave.
void send(LoopScript& script, const StoredFields& fields) {
    script.then([fields] {
        showStatus(L"");
        setFields(fields);
        theApplication->onEvent(findElementById(sendButtonId), widgetTapped);
    });
    script.waitFor(
        bounded([] { return statusText().starts_with(statusPacketSent); }, "the packet to leave"));
}

POINT centreOfRow(size_t index) {
    return centreOf(row(index)->screenRect);
}

class RecentPanelTest : public ProgramTest {
protected:
    RecentPanelTest() { questionAnsweredBefore(); }

    LoopbackReceiver receiver;
    const std::wstring port = std::to_wstring(receiver.port());
    const StoredFields older{L"127.0.0.1", L"00:11:22:33:44:55", port, L"10.0.0.7"};
    const StoredFields newer{L"localhost", L"66:77:88:99:aa:bb", port};
};

// A send adds a row, a tap on a row fills the fields (the password too) without sending; a
// tap-and-hold asks, and only a tap of its own answers (the finger that held the row lifts over the
// box): No keeps the row, Yes forgets it. A report that came while the question was up is shown
// once it is answered.
TEST_F(RecentPanelTest, ASendAddsARowATapFillsTheFieldsAndHoldAndYesForgetsIt) {
    LoopScript script;
    script.waitFor(statusIs(statusReadyToSend)).then([] {
        EXPECT_EQ(rowsShown(), 0u);
        const Element* empty = findElementById(recentEmptyLineId);
        ASSERT_NE(empty, nullptr);
        EXPECT_LE(empty->screenRect.right, GetSystemMetrics(SM_CXSCREEN)) << "the hint is cut";
    });
    send(script, older);
    tapSend(script); // the button itself, once
    send(script, newer);
    script.then([this] {
        ASSERT_EQ(rowsShown(), 2u);
        EXPECT_EQ(row(0)->captionLabel->text, newer.host);
        EXPECT_EQ(row(1)->captionLabel->text, older.host);
        EXPECT_EQ(findElementById(recentEmptyLineId), nullptr);
        while (receiver.takeQueued()) {
        }
    });
    scrollToTheEnd(script);
    script.then([] {
        const RECT r = row(1)->screenRect;
        EXPECT_EQ(r.top - row(0)->screenRect.bottom, 4);
        // A plain row end: no arrow promises a page behind the row.
        const LONG y = (r.top + r.bottom) / 2;
        EXPECT_EQ(pixelAt(r.right - 28, y), pixelAt(r.right - 60, y));
    });
    // A finger that slides on a row beyond the shell's hold slop, still within a tap's, and
    // stays there as long as a hold asks nothing; lifted, it taps the row: the fields are
    // filled, nothing is sent.
    auto slid = std::make_shared<POINT>();
    script.then([slid] { touch(PointerAction::down, *slid = centreOfRow(1)); })
        .then([slid] {
            touch(PointerAction::move, {slid->x, slid->y -= 20});
        })
        .then([] { platform::clock::advance(600); })
        .then([] { platform::clock::advance(600); })
        .then([] { EXPECT_EQ(shownBox(), nullptr) << "a slide on a row asked"; })
        .then([slid] { touch(PointerAction::up, *slid); })
        .then([] { platform::clock::advance(400); });
    script.then([this] {
        EXPECT_EQ(shownFields(), older);
        EXPECT_EQ(screenSection()->scrollOffset, 0) << "the fields are shown";
        EXPECT_FALSE(receiver.takeQueued().has_value()) << "a tap on a row sent a packet";
        setFieldText(hostFieldId, L"typed");
    });
    for (const auto& [button, rowsLeft] : {std::pair{1u, 2u}, std::pair{0u, 1u}}) { // No, Yes
        scrollToTheEnd(script);
        auto held = std::make_shared<POINT>();
        script.then([held] { touch(PointerAction::down, *held = centreOfRow(1)); })
            .then([] { platform::clock::advance(600); })
            .waitFor(bounded([] { return boxButton(0).has_value(); }, "the question"))
            .then([held] {
                EXPECT_EQ(shownBox()->text, L"Forget 127.0.0.1 ?"); // the held row's computer
                EXPECT_EQ(shownBox()->caption, L"Recent computers");
                EXPECT_FALSE(sharedTracker()->tapCandidate) << "the hold can still tap the box";
                touch(PointerAction::up, *held);
                // A report of the connection worker comes while the question is up.
                PostThreadMessageW(GetCurrentThreadId(), WM_USER, workerStatusReport,
                                   reinterpret_cast<LPARAM>(statusCantEstablishConnection));
            })
            .then([] { platform::clock::advance(400); })
            .then([] { EXPECT_NE(shownBox(), nullptr) << "lifting the finger answered"; });
        tapBoxButton(script, button);
        script.waitFor(bounded([] { return shownBox() == nullptr; }, "the answer"))
            .then([this, rowsLeft = rowsLeft] {
                EXPECT_EQ(rowsShown(), rowsLeft);
                EXPECT_EQ(row(0)->captionLabel->text, newer.host);
                EXPECT_EQ(fieldText(hostFieldId), L"typed") << "the held row was tapped";
                EXPECT_EQ(hostsAfterRestart().size(), rowsLeft);
                EXPECT_EQ(statusText(), statusCantEstablishConnection) << "the report was lost";
            });
    }
    EXPECT_FALSE(runProgram(script));
}

// On both phones a long host ends in dots inside its row, and the fields keep the same margin on
// both sides (the small phone shows the VGA layout at half its size).
TEST_F(RecentPanelTest, ALongHostEndsInDotsInsideItsRowAndTheFieldsStayCentredOnBothPhones) {
    struct Phone {
        int width, height, dpi, fieldMargin, quitLeft, captionLeft;
    };
    for (const Phone& p : {Phone{480, 640, 192, 30, 150, 10}, Phone{240, 320, 96, 15, 75, 5}}) {
        const int width = p.width;
        ToolkitDevice phone(width, p.height, p.dpi);
        installResourceSet(phone);
        questionAnsweredBefore();
        RecentComputers().remember({std::wstring(200, L'w') + L".lan", L"00:11:22:33:44:55", L"9"});
        platform::registry::reload();
        LoopScript script;
        script.waitFor(statusIs(statusReadyToSend)).then([p] {
            EXPECT_EQ(findElementById(quitButtonId)->left, p.quitLeft) << p.width;
            EXPECT_EQ(findElementById(statusLineId)->left, p.captionLeft) << p.width;
            for (int id : {hostFieldId, macFieldId, portFieldId}) {
                EXPECT_EQ(findElementById(id)->left, p.fieldMargin) << p.width;
                EXPECT_EQ(p.width - findElementById(id)->right, p.fieldMargin) << p.width;
            }
        });
        scrollToTheEnd(script);
        script.then([width] {
            const MyItem* item = row(0);
            ASSERT_NE(item, nullptr);
            const MyLabel* host = item->captionLabel;
            EXPECT_TRUE(host->text.ends_with(L"...")) << width;
            EXPECT_LE(host->screenRect.right, item->screenRect.left + item->frameWidth) << width;
            EXPECT_LE(item->detailLabel->screenRect.right,
                      item->screenRect.left + item->frameWidth);
            EXPECT_LE(item->screenRect.left + item->frameWidth, width);
            EXPECT_LE(host->screenRect.bottom, item->detailLabel->screenRect.top) << "one line";
        });
        EXPECT_FALSE(runProgram(script));
    }
}

} // namespace
