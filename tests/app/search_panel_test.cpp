// The "On this network :" panel of the whole program on the headless phone, in a LAN the test
// builds: the button starts the search, its line tells how it goes and how it ended, the rows come
// with ids from 300, and a tap on a row fills the fields without sending.
#include "CardMakers.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "NetworkSearch.h"
#include "RecentComputers.h"
#include "RecentPanel.h"
#include "SearchPanel.h"

#include <iphlpapi.h>
#include "support/Program.h"

#include <filesystem>

using namespace program_test;

namespace {

class SearchPanelTest : public ProgramTest {};

std::wstring lineText() {
    const auto* line = dynamic_cast<const MyLabel*>(findElementById(searchLineId));
    return line != nullptr ? line->text : L"";
}

std::wstring rowText(int id) {
    const auto* row = dynamic_cast<const MyItem*>(findElementById(id));
    if (row == nullptr || row->captionLabel == nullptr || row->detailLabel == nullptr) {
        return L"none";
    }
    return row->captionLabel->text + L"|" + row->detailLabel->text;
}

void tapElement(int id) {
    theApplication->onEvent(findElementById(id), widgetTapped);
}

TEST_F(SearchPanelTest, TheButtonSearchesAndATappedRowFillsTheFieldsWithoutSending) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addBridge("lan0", "10.85.0.1/24") ||
            !network.run("ip link set lan0 address 02:00:00:00:00:01") ||
            !network.set("ipv4/neigh/lan0/retrans_time_ms", "10") ||
            !network.set("ipv4/neigh/lan0/mcast_solicit", "1") ||
            !network.addBridgedPeer("pc", "lan0", "10.85.0.10/24", "00:d0:ef:00:00:10") ||
            !network.useHostsFile("10.85.0.10 pc.lan\n")) {
            return false;
        }
        const std::wstring maker = std::filesystem::exists(installedMakerList) ? L"   IGT" : L"";
        questionAnsweredBefore();
        // Sent to before, by its address and by its name, with another MAC address.
        RecentComputers().remember({L"10.85.0.10", L"00:11:22:33:44:55", L"9"});
        RecentComputers().remember({L"PC.lan", L"00:11:22:33:44:55", L"9"});
        LoopScript script;
        script.waitFor(statusIs(statusReadyToSend))
            .then([] {
                EXPECT_EQ(lineText(), searchHintText);
                setFieldText(portFieldId, L"");
                tapElement(searchButtonId);
                tapElement(searchButtonId); // while it runs: nothing more
            })
            .waitFor(bounded([] { return lineText() == L"1 computer found on 10.85.0.0/24"; },
                             "the end of the search"))
            .waitFor(bounded([] { return rowText(searchRowFirstId + 1).starts_with(L"pc.lan|"); },
                             "the name"))
            .then([&] {
                EXPECT_EQ(rowText(searchRowFirstId),
                          L"10.85.0.1 (this device)|10.85.0.1   02:00:00:00:00:01");
                EXPECT_EQ(rowText(searchRowFirstId + 1),
                          L"pc.lan|10.85.0.10   00:d0:ef:00:00:10" + maker);
                EXPECT_EQ(rowText(searchRowFirstId + 2), L"none");
                tapElement(searchRowFirstId + 1);
                EXPECT_EQ(shownFields(), (StoredFields{L"pc.lan", L"00:d0:ef:00:00:10", L"9"}));
                EXPECT_EQ(statusText(), statusReadyToSend) << "nothing was sent";
                platform::registry::reload();
                RecentComputers kept;
                kept.load();
                for (const wchar_t* host : {L"10.85.0.10", L"pc.lan"}) {
                    EXPECT_EQ(kept.answeredMac(host), (MacAddress{0x00, 0xd0, 0xef, 0, 0, 0x10}))
                        << "the answer the search saw";
                }
                tapElement(searchButtonId);
            })
            .waitFor(bounded([] { return networkSearchRunning(); }, "a second search"));
        quitNow(script); // ends the search at once
        const bool closed = runProgram(script);
        EXPECT_FALSE(networkSearchRunning());
        return closed;
    });
}

// A host typed into an empty field, as a user does: a tap on the field, the text pasted, a tap on
// the header, which ends the edit.
void typeHost(LoopScript& script, const std::wstring& text) {
    tap(script, [] { return centreOfElement(hostFieldId); });
    script.waitFor(bounded([] { return field(hostFieldId)->editorOpen; }, "the editor"))
        .then([text] {
            platform::Device::instance().setClipboardText(text);
            platform::Device::instance().character(0x16);
        });
    tap(script, headerPoint);
    script.waitFor(bounded([] { return !field(hostFieldId)->editorOpen; }, "the end of the edit"));
}

// The end of the host's editing asks for its MAC address when the MAC field is empty: an
// answering computer fills it; a MAC already typed is left as it is.
TEST_F(SearchPanelTest, AnAttachedHostTypedWithoutItsMacGetsItFilledIn) {
    inANetworkOfItsOwn([](TestNetwork& network) {
        if (!network.addBridge("lan0", "10.86.0.1/24") ||
            !network.set("ipv4/neigh/lan0/retrans_time_ms", "10") ||
            !network.set("ipv4/neigh/lan0/mcast_solicit", "1") ||
            !network.addBridgedPeer("pc", "lan0", "10.86.0.10/24", "02:00:00:00:00:10")) {
            return false;
        }
        // Known to the neighbour table already: the answer comes at once, well inside the second
        // the screen waits on its fast-running test clock.
        ULONG mac[2] = {};
        ULONG length = sizeof mac;
        if (SendARP(inet_addr("10.86.0.10"), 0, mac, &length) != NO_ERROR) {
            return false;
        }
        questionAnsweredBefore();
        RecentComputers().remember({L"10.86.0.10", L"00:11:22:33:44:55", L"9"});
        LoopScript script;
        script.waitFor(statusIs(statusReadyToSend)).then([] {
            setFieldText(hostFieldId, L"");
            setFieldText(macFieldId, L"");
        });
        typeHost(script, L"10.86.0.10");
        script.waitFor(statusIs(macFilledText)).then([] {
            EXPECT_EQ(fieldText(macFieldId), L"02:00:00:00:00:10");
            EXPECT_EQ(recentComputers().answeredMac(L"10.86.0.10"),
                      (MacAddress{0x02, 0, 0, 0, 0, 0x10}))
                << "the answer is kept with the computer sent to before";
            setFieldText(hostFieldId, L"");
            setFieldText(macFieldId, L"00:11:22:33:44:55");
            showStatus(L"");
        });
        typeHost(script, L"10.86.0.10");
        // Long enough for the computer's answer (it took a few steps above).
        script.waitFor([steps = 0]() mutable { return ++steps > 300; }).then([] {
            EXPECT_EQ(fieldText(macFieldId), L"00:11:22:33:44:55");
            EXPECT_EQ(statusText(), L"");
        });
        quitNow(script);
        return runProgram(script);
    });
}

} // namespace
