#include "ScreenReport.h"

#include "DisplayFrame.h"
#include "MainScreen.h"
#include "MessageBoxSense.h"
#include "MotionTracker.h"
#include "MyEditControl.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "RecentComputers.h"
#include "RecentPanel.h"
#include "SearchPanel.h"

#include <aygshell.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr const char* reportVariable = "DAWNBELL_TEST_REPORT";
constexpr UINT_PTR reportTimerId = 0x5C2E; // beside the toolkit's motion timer 1
constexpr UINT reportPeriodMs = 50;
constexpr int editorTextChars = 512;
constexpr MainScreenId reportedWidgets[] = {hostFieldId,    macFieldId,   portFieldId,
                                            sendButtonId,   quitButtonId, statusLineId,
                                            passwordFieldId};
constexpr MainScreenId reportedTexts[] = {hostFieldId, macFieldId, portFieldId, statusLineId,
                                          passwordFieldId};

std::string plain(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) {
        if (c == L'\n') {
            result += '|';
        } else if (c == L'\u00a0') {
            result += ' '; // a no-break space reads as a space
        } else {
            result += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
    }
    return result;
}

std::string rectangle(const RECT& r) {
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
           " " + std::to_string(r.bottom);
}

// Key of a line: its words before the values ("element 4", "text 6", "box").
using Facts = std::map<std::string, std::string>;

// Where the widget was last painted, at its whole size: paint keeps the unclipped top left corner
// in screenRect, hit tests measure from there too.
RECT wholePlace(const Element& element) {
    const RECT& at = element.screenRect;
    return RECT{at.left, at.top, at.left + (element.right - element.left),
                at.top + (element.bottom - element.top)};
}

std::wstring widgetText(const Element* element) {
    if (const auto* field = dynamic_cast<const MyEditControl*>(element)) {
        return field->getText();
    }
    if (const auto* label = dynamic_cast<const MyLabel*>(element)) {
        return label->text;
    }
    return {};
}

// Each place of the recent computers' panel: its row's place and texts (host, then the second
// line), or none.
void addRecentRowFacts(Facts& facts) {
    for (std::size_t i = 0; i < RecentComputers::maxRows; ++i) {
        const std::string id = std::to_string(recentRowFirstId + static_cast<int>(i));
        const auto* row =
            dynamic_cast<const MyItem*>(findElementById(recentRowFirstId + static_cast<int>(i)));
        if (row == nullptr) {
            facts["element " + id] = "none";
            facts["text " + id] = "none";
            continue;
        }
        facts["element " + id] = rectangle(wholePlace(*row));
        const std::wstring host = row->captionLabel != nullptr ? row->captionLabel->text : L"";
        const std::wstring detail = row->detailLabel != nullptr ? row->detailLabel->text : L"";
        facts["text " + id] = plain(host + L"\n" + detail);
    }
}

// The search panel's button, its line and its rows as the recent rows are told; a row that went
// is told as none.
void addSearchFacts(Facts& facts, const Facts& told) {
    if (const Element* button = findElementById(searchButtonId)) {
        facts["element " + std::to_string(searchButtonId)] = rectangle(wholePlace(*button));
    }
    facts["text " + std::to_string(searchLineId)] =
        plain(widgetText(findElementById(searchLineId)));
    for (int id = searchRowFirstId;; ++id) {
        const std::string key = std::to_string(id);
        const auto* row = dynamic_cast<const MyItem*>(findElementById(id));
        if (row == nullptr) {
            if (told.count("element " + key) == 0 || told.at("element " + key) == "none") {
                break;
            }
            facts["element " + key] = "none";
            facts["text " + key] = "none";
            continue;
        }
        facts["element " + key] = rectangle(wholePlace(*row));
        const std::wstring name = row->captionLabel != nullptr ? row->captionLabel->text : L"";
        const std::wstring detail = row->detailLabel != nullptr ? row->detailLabel->text : L"";
        facts["text " + key] = plain(name + L"\n" + detail);
    }
}

void addScreenFacts(Facts& facts) {
    for (MainScreenId id : reportedWidgets) {
        if (const Element* element = findElementById(id)) {
            facts["element " + std::to_string(id)] = rectangle(wholePlace(*element));
        }
    }
    for (MainScreenId id : reportedTexts) {
        facts["text " + std::to_string(id)] = plain(widgetText(findElementById(id)));
    }
    addRecentRowFacts(facts);
    if (const auto* send = dynamic_cast<const MyItem*>(findElementById(sendButtonId))) {
        facts["send"] = send->state == itemDisabledOff ? "disabled" : "enabled";
    }
    facts["view"] = rectangle(viewRect);
}

// The box may be asked on the data-connection worker: it is read under motionLock, as the frame
// reads it.
void addBoxFacts(Facts& facts) {
    MotionLockGuard lock;
    const MessageBoxSense* box = theFrame != nullptr ? theFrame->modalBox : nullptr;
    if (box == nullptr || box->active == 0) {
        facts["box"] = "none";
        return;
    }
    facts["box"] = plain(box->caption);
    for (size_t i = 0; i < box->buttonItems.size(); ++i) {
        const MyLabel* caption = box->buttonItems[i]->captionLabel;
        facts["box-button " + std::to_string(i + 1)] =
            rectangle(box->buttonPlace(i)) + " " + plain(caption != nullptr ? caption->text : L"");
    }
}

void addInputFacts(Facts& facts) {
    SIPINFO panel{};
    panel.cbSize = sizeof panel;
    const bool panelShown = SipGetInfo(&panel) != FALSE && (panel.fdwFlags & SIPF_ON) != 0;
    facts["keyboard"] = panelShown ? rectangle(panel.rcSipRect) : "none";

    const bool editing = frameHasFocus == 0 && editWindow != nullptr && IsWindowVisible(editWindow);
    if (!editing) {
        facts["editor"] = "none";
        return;
    }
    const Element* field = nullptr;
    {
        MotionLockGuard lock;
        field = sharedTracker()->scrollTarget; // the edited field takes the touches over
    }
    facts["editor"] = field != nullptr ? std::to_string(field->elementId) : "?";
    std::vector<wchar_t> buffer(editorTextChars, L'\0');
    GetWindowTextW(editWindow, buffer.data(), editorTextChars);
    facts["editor-text"] = plain(buffer.data());
}

Facts reported; // what the driving script has been told

void CALLBACK reportChanges(HWND, UINT, UINT_PTR, DWORD) {
    Facts now;
    addBoxFacts(now);
    addScreenFacts(now);
    addSearchFacts(now, reported);
    addInputFacts(now);
    bool wrote = false;
    for (const auto& [key, value] : now) {
        auto known = reported.find(key);
        if (known == reported.end() || known->second != value) {
            std::printf("%s %s\n", key.c_str(), value.c_str());
            reported[key] = value;
            wrote = true;
        }
    }
    if (wrote) {
        std::fflush(stdout);
    }
}

} // namespace

void startScreenReportIfAsked() {
    const char* asked = std::getenv(reportVariable);
    if (asked == nullptr || *asked == '\0') {
        return;
    }
    SetTimer(mainWindow, reportTimerId, reportPeriodMs, reportChanges);
}
