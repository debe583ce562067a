#include "RecentPanel.h"

#include "Application.h"
#include "DisplayFrame.h"
#include "MainScreen.h"
#include "MessageBoxSense.h"
#include "MotionTracker.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "MyPanel.h"
#include "NetworkSearch.h"
#include "RecentComputers.h"
#include "Section.h"

#include <aygshell.h>

namespace {

constexpr int rowLeft = 10;      // design px
constexpr int firstRowTop = 10;  // design px below the panel's title
constexpr int rowGap = 4;        // design px between rows
constexpr int emptyLineTop = 15; // design px
constexpr int panelTop = 30;     // design px below the status line
constexpr int noMinimumHeight = -1;
constexpr int append = -1;
constexpr int answerYes = 1;

int panelWidth = 0; // the width of the screen or column the panel is built for

Element* panelFor(const RecentComputers& list) {
    auto* panel =
        new MyPanel(recentPanelId, 0, panelTop, panelWidth, recentPanelTitle, true, false);
    const auto& rows = list.rows();
    if (rows.empty()) {
        auto* line = new MyLabel(recentEmptyLineId, rowLeft, emptyLineTop, recentEmptyText,
                                 labelFontNormal, 0, false);
        fitToColumn(*line, panelWidth);
        panel->add(line, noMinimumHeight, append);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto* row = new MyItem(recentRowFirstId + static_cast<int>(i), rowLeft,
                               i == 0 ? firstRowTop : rowGap, itemListRow, itemOff, rows[i].host);
        row->setDetail(recentDetailText(rows[i]));
        panel->add(row, noMinimumHeight, append);
    }
    return panel;
}

// The section (or column) that holds the panel.
Section* panelSection() {
    return sectionHolding(findElementById(recentPanelId));
}

// The panel again, for the list as it is now.
void showListAgain() {
    Section* section = panelSection();
    Element* panel = findElementById(recentPanelId);
    if (section != nullptr && panel != nullptr) {
        section->replaceChild(panel, panelFor(recentComputers()));
    }
}

// Whether the press that went down on the row is over, although the gesture found the finger
// down: it was lifted and put down again between two looks, or the row was let go meanwhile.
bool pressEnded(const Section& section, const Element* row) {
    MSG button{};
    if (PeekMessageW(&button, nullptr, WM_LBUTTONDOWN, WM_LBUTTONUP, PM_NOREMOVE)) {
        return true;
    }
    MotionLockGuard lock;
    const MotionTracker& tracker = *sharedTracker();
    return !tracker.buttonDown || !tracker.tapCandidate || section.pressedChild != row;
}

// The finger that held the row will lift over the question: that must not answer it, nor tap
// the row.
void cancelTheTap(Section& section) {
    {
        MotionLockGuard lock;
        sharedTracker()->cancelTap();
    }
    section.letGoOfPressedChild();
}

} // namespace

std::wstring forgetQuestion(const std::wstring& host) {
    return L"Forget " + host + L" ?";
}

RecentComputers& recentComputers() {
    static RecentComputers list;
    return list;
}

Element* buildRecentPanel(int width) {
    panelWidth = width;
    recentComputers().load();
    return panelFor(recentComputers());
}

void rememberRecentComputer(const StoredFields& target) {
    recentComputers().remember(target);
    // A search before the first send to a computer saw it answer.
    noteSearchAnswers(networkSearchState(), false);
    showListAgain();
}

void noteRecentAnswer(const std::wstring& host, const MacAddress& mac) {
    if (recentComputers().noteAnswer(host, mac)) {
        showListAgain();
    }
}

void noteSearchAnswers(const SearchState& search, bool overKept) {
    bool written = false;
    for (const FoundComputer& computer : search.computers) {
        for (const std::wstring& host : {dottedAddress(computer.address), computer.wakeHost}) {
            written = recentComputers().noteAnswer(host, computer.mac, overKept) || written;
        }
    }
    if (written) {
        showListAgain();
    }
}

bool isRecentRow(const Element* element, std::size_t& row) {
    if (element == nullptr || element->elementId < recentRowFirstId) {
        return false;
    }
    row = static_cast<std::size_t>(element->elementId - recentRowFirstId);
    return row < recentComputers().rows().size() && dynamic_cast<const MyItem*>(element);
}

void fillFieldsFromRecentRow(std::size_t row) {
    const auto& rows = recentComputers().rows();
    if (row >= rows.size()) {
        return;
    }
    const StoredFields texts = rows[row];
    setFieldText(hostFieldId, texts.host);
    setFieldText(macFieldId, texts.mac);
    setFieldText(portFieldId, texts.port);
    setFieldText(passwordFieldId, texts.password);
    if (Section* section = sectionHolding(findElementById(hostFieldId))) {
        section->showTop();
    }
}

void followPressOnRecentRow(const MSG& press) {
    Section* section = panelSection();
    if (section == nullptr) {
        return;
    }
    Element* pressed = nullptr;
    {
        MotionLockGuard lock;
        pressed = section->pressedChild;
    }
    std::size_t row = 0;
    if (!isRecentRow(pressed, row)) {
        return;
    }
    SHRGINFO gesture{};
    gesture.cbSize = sizeof gesture;
    gesture.hwndClient = mainWindow;
    gesture.ptDown =
        POINT{static_cast<SHORT>(LOWORD(press.lParam)), static_cast<SHORT>(HIWORD(press.lParam))};
    const DWORD gestureFound = SHRecognizeGesture(&gesture);
    // What had to be painted while the finger was followed (a turn of the screen) is painted
    // before the rest of the touch is handled, as the message loop would have done.
    UpdateWindow(mainWindow);
    if (gestureFound != GN_CONTEXTMENU || pressEnded(*section, pressed)) {
        return;
    }
    cancelTheTap(*section);
    const std::wstring question = forgetQuestion(recentComputers().rows()[row].host);
    const int answer = showMessageBoxSense(forgetCaption, question.c_str(), messageBoxYesNo);
    if (!IsWindow(mainWindow)) {
        // The window went while the question was up, and the question's loop took the quit
        // message with it: the program ends now, as from its own loop. (A close is handed back
        // to the program's loop instead.)
        theApplication->onClose();
        PostQuitMessage(0);
        return;
    }
    if (answer == answerYes) {
        recentComputers().forget(row);
        showListAgain();
    }
}
