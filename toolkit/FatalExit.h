// How the program ends after a message box has told the user of a failure it can't go past.
// The process ends at once through the runtime's normal exit (atexit handlers run, nothing of
// the program is torn down), with a status that tells whoever started it that it failed.
#pragma once

#include <cstdlib>

inline constexpr int fatalExitStatus = 1;

[[noreturn]] inline void exitAfterFatalMessage() {
    std::exit(fatalExitStatus);
}
