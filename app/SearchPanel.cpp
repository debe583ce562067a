#include "SearchPanel.h"

#include "DisplayFrame.h"
#include "MainScreen.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "MyPanel.h"
#include "NetworkSearch.h"
#include "RecentPanel.h"
#include "Section.h"
#include "WakePacket.h"

#include <optional>

namespace {

constexpr int buttonLeft = 10;  // design px
constexpr int buttonTop = 10;   // design px below the panel's title
constexpr int lineTop = 10;     // design px below the button
constexpr int rowLeft = 10;     // design px
constexpr int firstRowTop = 10; // design px below the line
constexpr int rowGap = 4;       // design px between rows
constexpr int panelTop = 30;    // design px below the recent computers
constexpr int noMinimumHeight = -1;
constexpr int append = -1;
constexpr wchar_t defaultPort[] = L"9";

// What the panel shows: kept to fill the fields from a tapped row.
SearchState shown;

struct MacAsked {
    std::wstring host;
    DWORD at = 0;
};
std::optional<MacAsked> macAsked;

// The address of a host typed as four decimal numbers (network byte order).
std::optional<std::uint32_t> dottedHost(const std::wstring& text) {
    std::uint32_t address = 0;
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        std::size_t end = at;
        unsigned value = 0;
        while (end < text.size() && end - at < 3 && text[end] >= L'0' && text[end] <= L'9') {
            value = value * 10 + static_cast<unsigned>(text[end++] - L'0');
        }
        if (end == at || value > 255 || (part < 3 && (end >= text.size() || text[end] != L'.'))) {
            return std::nullopt;
        }
        reinterpret_cast<std::uint8_t*>(&address)[part] = static_cast<std::uint8_t>(value);
        at = end + 1;
        if (part == 3 && end != text.size()) {
            return std::nullopt;
        }
    }
    return address;
}

std::wstring lineText(const SearchState& state) {
    return state.phase == SearchPhase::idle ? searchHintText : searchStatusText(state);
}

int panelWidth = 0; // the width of the screen or column the panel is built for

Element* panelFor(const SearchState& state) {
    auto* panel =
        new MyPanel(searchPanelId, 0, panelTop, panelWidth, searchPanelTitle, true, false);
    panel->add(
        new MyItem(searchButtonId, buttonLeft, buttonTop, itemButton, itemOff, searchButtonText),
        noMinimumHeight, append);
    auto* line =
        new MyLabel(searchLineId, rowLeft, lineTop, lineText(state), labelFontNormal, 0, false);
    fitToColumn(*line, panelWidth);
    panel->add(line, noMinimumHeight, append);
    for (std::size_t i = 0; i < state.computers.size(); ++i) {
        const FoundComputer& computer = state.computers[i];
        auto* row = new MyItem(searchRowFirstId + static_cast<int>(i), rowLeft,
                               i == 0 ? firstRowTop : rowGap, itemListRow, itemOff,
                               computerFirstLine(computer));
        row->setDetail(computerSecondLine(computer));
        panel->add(row, noMinimumHeight, append);
    }
    return panel;
}

// The rows' texts change in place while their number stays; a new row builds the panel again.
void showState(const SearchState& state) {
    const bool sameRows = state.computers.size() == shown.computers.size();
    shown = state;
    if (sameRows) {
        if (auto* line = dynamic_cast<MyLabel*>(findElementById(searchLineId))) {
            line->setText(lineText(state), true);
        }
        for (std::size_t i = 0; i < state.computers.size(); ++i) {
            auto* row =
                dynamic_cast<MyItem*>(findElementById(searchRowFirstId + static_cast<int>(i)));
            if (row != nullptr) {
                row->setCaption(computerFirstLine(state.computers[i]));
                row->setDetail(computerSecondLine(state.computers[i]));
            }
        }
        return;
    }
    Element* panel = findElementById(searchPanelId);
    Section* section = sectionHolding(panel);
    if (section != nullptr && panel != nullptr) {
        section->replaceChild(panel, panelFor(state));
    }
}

} // namespace

Element* buildSearchPanel(int width) {
    panelWidth = width;
    shown = networkSearchState();
    return panelFor(shown);
}

void startSearchFromPanel() {
    if (startNetworkSearch()) {
        showState(networkSearchState());
    }
}

void applySearchReport(LPARAM report) {
    const SearchState state = networkSearchState();
    if (state.number == static_cast<std::uint32_t>(report)) {
        showState(state);
        noteSearchAnswers(state, true);
    }
}

bool isSearchRow(const Element* element, std::size_t& row) {
    if (element == nullptr || element->elementId < searchRowFirstId) {
        return false;
    }
    row = static_cast<std::size_t>(element->elementId - searchRowFirstId);
    return row < shown.computers.size() && dynamic_cast<const MyItem*>(element) != nullptr;
}

void fillFieldsFromSearchRow(std::size_t row) {
    if (row >= shown.computers.size()) {
        return;
    }
    const FoundComputer& computer = shown.computers[row];
    setFieldText(hostFieldId, computer.wakeHost);
    setFieldText(macFieldId, macText(computer.mac));
    if (fieldText(portFieldId).empty()) {
        setFieldText(portFieldId, defaultPort);
    }
    if (Section* section = sectionHolding(findElementById(hostFieldId))) {
        section->showTop();
    }
}

void askForMacOfTypedHost() {
    macAsked.reset();
    const std::wstring host = fieldText(hostFieldId);
    const auto address = dottedHost(host);
    if (!fieldText(macFieldId).empty() || !address || !startMacLookup(*address)) {
        return;
    }
    macAsked = MacAsked{host, GetTickCount()};
}

void applyMacLookupReport(LPARAM report) {
    const auto answer = macLookupAnswer(report);
    if (!answer || !macAsked) {
        return;
    }
    const bool inTime = GetTickCount() - macAsked->at <= macLookupWaitMs;
    const bool unchanged =
        fieldText(hostFieldId) == macAsked->host && fieldText(macFieldId).empty();
    noteRecentAnswer(macAsked->host, *answer);
    macAsked.reset();
    if (inTime && unchanged) {
        setFieldText(macFieldId, macText(*answer));
        showStatus(macFilledText);
    }
}
