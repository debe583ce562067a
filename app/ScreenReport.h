// What the screen shows, told on standard output for the end-to-end tests, which drive the real
// program in a real X server with nothing but mouse clicks and key presses and must know where to
// click and when the program has reacted. Only when DAWNBELL_TEST_REPORT is set in the
// environment; otherwise nothing of it runs, and the idle program stays idle.
//
// Every 50 ms the user-interface thread compares what it would report with what it reported last
// and writes the lines that changed, one fact per line, coordinates in screen pixels:
//   box <caption> | box none                   the toolkit's message box
//   box-button <n> <left> <top> <right> <bottom> <text>   its buttons, while it is up (n from 1)
//   element <id> <left> <top> <right> <bottom> where a widget of the main screen lies, unclipped
//   text <id> <text>                           the text of a field (1 to 3, 9) or of the status (6)
//   element <row id> ... | element <row id> none   a row of the recent computers (ids 200 to 209,
//   text <row id> <host>|<MAC and port> | none      newest first), its place and its two lines
//   send enabled | send disabled               the Send button
//   view <left> <top> <right> <bottom>         where the scrolled content is shown
//   keyboard <left> <top> <right> <bottom> | keyboard none   the input panel
//   editor <id> | editor none                  the field being edited in the native editor
//   editor-text <text>                         the text in the native editor while it is open
// Characters outside ASCII are written as '?', line breaks as '|'.
#pragma once

// Starts the report if the environment asks for it. On the user-interface thread, once the main
// screen exists.
void startScreenReportIfAsked();
