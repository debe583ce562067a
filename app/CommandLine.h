// The command line: `dawnbell wake`, `list` and `launcher`, a second way into the same wake
// code as the screen's Send button, with no window, no display and no question asked.
//
// Exit statuses, as the usual Wake-on-LAN tools give them: 0 every packet left (and, with
// --check, every computer answered); 1 a packet could not be sent; 2 a bad argument, an unknown
// target or an unreadable file (then nothing at all is sent); 3 with --check, a computer did not
// answer in time. Every message goes to the error stream, one line each, naming the target.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace command_line {

inline constexpr int exitSent = 0;
inline constexpr int exitSendFailed = 1;
inline constexpr int exitBadArgument = 2;
inline constexpr int exitNoAnswer = 3;

struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    std::FILE* in = stdin; // `-f -`
    // How a launcher's Exec line starts this program: "dawnbell" when it was found on the PATH,
    // else its absolute path.
    std::string program = "dawnbell";
};

// Runs `dawnbell ARGS...` (args[0] is the program's name; at least one argument follows) and
// returns the exit status. Winsock must have been started.
int run(const std::vector<std::string>& args, const Console& console);

inline constexpr const char* unknownTargetReason =
    "not a MAC address, a recent computer or a name in /etc/ethers";

// "dawnbell: WHAT: REASON" on the error stream, one line whatever `what` holds.
void complain(const Console& console, std::string what, const std::string& reason);

// Command-line texts are UTF-8; the application's texts are wide.
std::wstring fromUtf8(std::string_view text);
std::string toUtf8(std::wstring_view text);

// The command line's own subcommands, each given the arguments after its name.
int wake(const std::vector<std::string>& args, const Console& console);
int launcher(const std::vector<std::string>& args, const Console& console);

// Whether `dawnbell wake TEXT` finds a computer to wake (a MAC address, a recent computer or a
// name in /etc/ethers).
bool isKnownTarget(const std::string& text);

} // namespace command_line
