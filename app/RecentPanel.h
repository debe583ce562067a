// The main screen's "Recent computers :" panel, below the status line: one list row per computer
// the program has sent a packet to, newest first. A tap on a row puts its texts into the three
// fields (and scrolls up to them) without sending; a tap-and-hold asks whether to forget it.
// Everything here runs on the user-interface thread.
#pragma once

#include "SettingsStore.h"
#include "WakePacket.h"

#include <windows.h>

#include <cstddef>
#include <string>

class Element;
class RecentComputers;
struct SearchState;

// Element ids of the panel: the panel itself, the line shown while the list is empty, and the
// rows (the first row, the newest, has recentRowFirstId).
enum RecentPanelId : int {
    recentPanelId = 12,
    recentEmptyLineId = 13,
    recentRowFirstId = 200,
};

inline constexpr wchar_t recentPanelTitle[] = L"Recent computers :";
inline constexpr wchar_t recentEmptyText[] =
    L"No computer woken yet: search this network below, or type the computer's MAC address above.";
// The question a tap-and-hold on a row asks: it names the computer.
std::wstring forgetQuestion(const std::wstring& host);
inline constexpr wchar_t forgetCaption[] = L"Recent computers";

// Reads the stored list and builds the panel for it, `width` pixels wide (not yet added to any
// container); the panel is built again at that width whenever the list changes.
Element* buildRecentPanel(int width);
// The list the panel shows.
RecentComputers& recentComputers();

// After a packet left for `target`: the list and the panel take it as their first row.
void rememberRecentComputer(const StoredFields& target);
// After `host` was seen answering with `mac` (a check, an address lookup): kept with its rows.
void noteRecentAnswer(const std::wstring& host, const MacAddress& mac);
// The computers `search` found: each one's answer kept with the rows of its address and of its
// name, over an older one's unless `overKept` is false.
void noteSearchAnswers(const SearchState& search, bool overKept);
// The row's index if `element` is a row of the panel.
bool isRecentRow(const Element* element, std::size_t& row);
// A tap on row `row`: its texts into the fields, the fields into view.
void fillFieldsFromRecentRow(std::size_t row);
// After the message loop handed a press on the main window to the frame: if the finger rests
// on a row, follows it, and on a tap-and-hold asks whether to forget the row.
void followPressOnRecentRow(const MSG& press);
