#include "MainScreen.h"

#include "DisplayFrame.h"
#include "MotionTracker.h"
#include "MyEditControl.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "MyPanel.h"
#include "RecentPanel.h"
#include "ResourceManager.h"
#include "SearchPanel.h"
#include "Section.h"
#include "SplitSection.h"
#include "StatusTexts.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace {

// Item styles and states used here.
constexpr int normalButton = 3;
constexpr int smallButton = 5;
constexpr int enabledState = 0;
constexpr int disabledState = 2;

constexpr int normalFont = 0;
constexpr COLORREF black = 0x000000;
constexpr int append = -1;
constexpr int noMinimumHeight = -1;

MyLabel* caption(int x, int y, const wchar_t* text, int id = unnamedId) {
    return new MyLabel(id, x, y, text, normalFont, black, false);
}

void addTo(Element* container, Element* child) {
    container->add(child, noMinimumHeight, append);
}

template <typename Widget>
Widget* widgetWithId(MainScreenId id) {
    return dynamic_cast<Widget*>(findElementById(id));
}

// The fields' margin on each side, design pixels.
constexpr int fieldMargin = 30;

// Widget constructors scale x but take widths as they are: the field's width must lose both
// margins as the screen shows them, or a small screen shows the field off centre (15 pixels on
// the left, 45 on the right at 240 pixels).
int fieldWidth(int screenWidth) {
    return screenWidth - 2 * static_cast<int>(fieldMargin * scaleFactor);
}

// The host information panel, `width` pixels wide, with its captions and fields.
MyPanel* hostInformation(int width, bool fieldsFollowTurns) {
    auto* panel = new MyPanel(unnamedId, 0, 0, width, L"Host information :", true, false);
    addTo(panel, caption(10, 15, L"Host IP or name :"));
    addTo(panel,
          new MyEditControl(hostFieldId, fieldMargin, 0, fieldWidth(width), fieldsFollowTurns));
    addTo(panel, caption(10, 10, L"Mac address :"));
    addTo(panel,
          new MyEditControl(macFieldId, fieldMargin, 0, fieldWidth(width), fieldsFollowTurns));
    addTo(panel, caption(10, 5, L"Port :"));
    addTo(panel,
          new MyEditControl(portFieldId, fieldMargin, 0, fieldWidth(width), fieldsFollowTurns));
    // The longest caption: in the narrow left column of a wide screen it takes two lines.
    MyLabel* passwordCaption = caption(10, 5, L"SecureOn password (optional) :");
    fitToColumn(*passwordCaption, width);
    addTo(panel, passwordCaption);
    addTo(panel,
          new MyEditControl(passwordFieldId, fieldMargin, 0, fieldWidth(width), fieldsFollowTurns));
    return panel;
}

// Send, the status line, the recent computers, the network search and Quit, `width` wide.
void addSendAndWhatFollows(Element* section, int width) {
    addTo(section,
          new MyItem(sendButtonId, 10, 30, normalButton, disabledState, L"Send magic packet !"));
    MyLabel* status = caption(10, 30, statusTryingToConnect, statusLineId);
    fitToColumn(*status, width);
    addTo(section, status);
    addTo(section, buildRecentPanel(width));
    addTo(section, buildSearchPanel(width));
    addTo(section, new MyItem(quitButtonId, 150, 150, smallButton, enabledState, L"Quit"));
}

// A wall panel or a monitor: the program has the whole display (no phone's task bar above it),
// and the display is wide enough for the host information beside the rest.
constexpr int rightColumnMinWidth = 480; // the list rows and their margin
constexpr int leftColumnMinWidth = 320;  // the captions and fields

bool screenTakesTwoColumns() {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    const bool wholeDisplay = GetSystemMetrics(SM_CYFULLSCREEN) == height;
    return wholeDisplay && width > height && width >= leftColumnMinWidth + rightColumnMinWidth;
}

} // namespace

void fitToColumn(MyLabel& label, int columnWidth) {
    if (columnWidth < viewRect.right) {
        label.wrapWithin(columnWidth - label.left);
    }
}

void buildMainScreen() {
    const int width = viewRect.right;
    if (screenTakesTwoColumns()) {
        // Send and the status line in sight at the top of the right column, whatever the host
        // information holds.
        const int rightWidth = std::max(rightColumnMinWidth, width / 2);
        const int leftWidth = width - rightWidth;
        auto* screen = new SplitSection(screenSectionId, width, L"Dawnbell");
        addTo(screen->addColumn(leftWidth), hostInformation(leftWidth, false));
        addSendAndWhatFollows(screen->addColumn(rightWidth), rightWidth);
        theFrame->addScreen(screen);
        return;
    }
    auto* section = new Section(screenSectionId, 0, 0, width, L"Dawnbell");
    addTo(section, hostInformation(width, true));
    addSendAndWhatFollows(section, width);
    theFrame->addScreen(section);
}

void layOutMainScreenForItsShape() {
    Element* screen = findElementById(screenSectionId);
    if (screen == nullptr || theFrame == nullptr || theFrame->screens.size() != 1 ||
        (dynamic_cast<SplitSection*>(screen) != nullptr) == screenTakesTwoColumns()) {
        return;
    }
    endEditing();
    // A box asked on the worker paints the screen beneath it: it must not meet it half built.
    MotionLockGuard lock;
    std::vector<std::pair<int, std::wstring>> texts;
    for (const Element* element : allElements) {
        if (const auto* field = dynamic_cast<const MyEditControl*>(element)) {
            texts.emplace_back(field->elementId, field->getText());
        }
    }
    const auto* status = widgetWithId<MyLabel>(statusLineId);
    const std::wstring statusText = status != nullptr ? status->text : statusTryingToConnect;
    const auto* send = widgetWithId<MyItem>(sendButtonId);
    const bool sendEnabled = send != nullptr && send->state != disabledState;

    // The old widgets go first: their ids must find the new ones.
    drawingReady = 0;
    theFrame->screens.clear();
    theFrame->currentScreen = -1;
    sharedTracker()->forgetTouch();
    delete screen;
    buildMainScreen();
    for (const auto& [id, text] : texts) {
        setFieldText(static_cast<MainScreenId>(id), text);
    }
    showStatus(statusText.c_str());
    if (sendEnabled) {
        enableSendButton();
    }
    dirtyRect = {viewRect.left, clientRect.top, viewRect.right, GetSystemMetrics(SM_CYSCREEN)};
    drawingReady = 1;
    fullRedraw = 1;
    theFrame->redraw(true);
}

std::wstring fieldText(MainScreenId field) {
    const auto* edit = widgetWithId<MyEditControl>(field);
    return edit != nullptr ? edit->getText() : std::wstring();
}

void setFieldText(MainScreenId field, const std::wstring& text) {
    if (auto* edit = widgetWithId<MyEditControl>(field)) {
        edit->setText(text);
    }
}

void endEditing() {
    for (MainScreenId id : {hostFieldId, macFieldId, portFieldId, passwordFieldId}) {
        if (auto* edit = widgetWithId<MyEditControl>(id); edit != nullptr && edit->editorOpen) {
            edit->unselect();
        }
    }
}

bool endEditWithKey(WPARAM key) {
    if (key != VK_RETURN && key != VK_TAB) {
        return false;
    }
    constexpr std::array order{hostFieldId, macFieldId, portFieldId, passwordFieldId};
    for (std::size_t i = 0; i < order.size(); ++i) {
        auto* edit = widgetWithId<MyEditControl>(order[i]);
        if (edit == nullptr || !edit->editorOpen) {
            continue;
        }
        edit->unselect();
        if (i + 1 < order.size()) {
            if (auto* next = widgetWithId<MyEditControl>(order[i + 1])) {
                next->onClick();
            }
        } else {
            bringSendIntoSight();
        }
        return true;
    }
    return false;
}

void bringSendIntoSight() {
    if (Section* section = sectionHolding(findElementById(sendButtonId))) {
        section->bringIntoSight(findElementById(statusLineId));
        section->bringIntoSight(findElementById(sendButtonId));
    }
}

void showStatus(const wchar_t* text) {
    if (auto* status = widgetWithId<MyLabel>(statusLineId)) {
        status->setText(text, true);
    }
}

void enableSendButton() {
    auto* send = widgetWithId<MyItem>(sendButtonId);
    // Only ever from disabled to enabled: a second report must not disable it again.
    if (send != nullptr && send->state == disabledState) {
        send->toggleEnabled();
    }
}
