// The program's only screen: a section "Dawnbell" holding the "Host information :" panel with
// the host, MAC, port and SecureOn password fields, the Send button, the status line, the "Recent
// computers :" panel (RecentPanel.h), the "On this network :" panel (SearchPanel.h) and Quit.
// Everything here runs on the user-interface thread.
#pragma once

#include <windows.h>

#include <string>

class MyLabel;

// Element ids of the main screen; findElementById finds the widgets by them.
enum MainScreenId : int {
    hostFieldId = 1,
    macFieldId = 2,
    portFieldId = 3,
    sendButtonId = 4,
    quitButtonId = 5,
    statusLineId = 6,
    passwordFieldId = 9,
    screenSectionId = 100,
    unnamedId = -1, // widgets nobody looks up
};

// Creates the widgets and hands the section to the display frame as its screen. On a display of
// the program's own that is wider than tall (a wall panel), the host information fills a left
// column and Send, the status line, the recent computers, the search and Quit a right one, each
// column scrolling on its own; elsewhere one section holds them all, one below the other.
void buildMainScreen();
// After a turn: a screen that now takes two columns, or no longer does, is built again in the
// layout of its new shape, keeping the fields' texts, the status line and Send's state (an open
// edit ends first).
void layOutMainScreenForItsShape();
// A label in a column `columnWidth` pixels wide (narrower than the view) wraps within it.
void fitToColumn(MyLabel& label, int columnWidth);

// The text of a field of the main screen; empty if there is no such field.
std::wstring fieldText(MainScreenId field);
void setFieldText(MainScreenId field, const std::wstring& text);
// Ends the edit of a field whose native editor is open: the editor's text becomes the field's.
void endEditing();
// Return, Enter and Tab in a field's editor end the edit as a tap outside the field does; the
// host, MAC and port fields then open the next field's editor, the password field brings Send
// (and the status line, where the screen has room) into sight. False for other keys or with no
// editor open.
bool endEditWithKey(WPARAM key);
// Scrolls the status line, then Send, into sight: Send wins where both do not fit.
void bringSendIntoSight();
// Replaces the status line's text and repaints it.
void showStatus(const wchar_t* text);
// Turns the Send button from its disabled state to enabled (once, when the connection is up).
void enableSendButton();
