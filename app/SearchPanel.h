// The main screen's "On this network :" panel, below "Recent computers :": a button that starts
// the network search (NetworkSearch.h), a line that tells how it goes, and one list row per
// computer found, as they are found. A tap on a row puts the computer into the three fields (and
// scrolls up to them) without sending, as a recent row does. Everything here runs on the
// user-interface thread.
#pragma once

#include <windows.h>

#include <cstddef>

class Element;

// Element ids of the panel: the button, the line, the panel itself and the rows (the first row,
// the lowest address, has searchRowFirstId).
enum SearchPanelId : int {
    searchButtonId = 7,
    searchLineId = 8,
    searchPanelId = 11,
    searchRowFirstId = 300,
};

inline constexpr wchar_t searchPanelTitle[] = L"On this network :";
inline constexpr wchar_t searchButtonText[] = L"Search this network";
inline constexpr wchar_t searchHintText[] = L"Finds each computer here and its MAC address.";

// Builds the panel for the search as it is now, `width` pixels wide (not yet added to any
// container); the panel is built again at that width whenever a row comes.
Element* buildSearchPanel(int width);
// A tap on the button: a search starts, unless one runs.
void startSearchFromPanel();
// On a report of the search: the line and the rows as the search is now.
void applySearchReport(LPARAM report);
// The row's index if `element` is a row of the panel.
bool isSearchRow(const Element* element, std::size_t& row);
// A tap on row `row`: the computer into the fields, the fields into view.
void fillFieldsFromSearchRow(std::size_t row);

// Once the host field's editing ended: with the MAC field empty and the host an address on an
// attached subnet, its MAC address is asked; an answer within macLookupWaitMs fills the field.
inline constexpr DWORD macLookupWaitMs = 1000;
void askForMacOfTypedHost();
void applyMacLookupReport(LPARAM report);

inline constexpr wchar_t macFilledText[] = L"MAC address filled in: the computer answered";
