// Every test program runs with its standard input closed, as a program started by some launchers
// does: the first descriptor opened is then 0, so a check that takes 0 for a failure shows.
#include <unistd.h>

namespace {

const int closedAtStart = ::close(STDIN_FILENO);

} // namespace
