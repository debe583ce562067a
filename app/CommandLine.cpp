#include "CommandLine.h"

#include "RecentComputers.h"
#include "WakePacket.h"

#include <algorithm>

namespace command_line {
namespace {

constexpr const char* usage =
    "Usage: dawnbell                      start the screen\n"
    "       dawnbell wake [OPTION]... TARGET...\n"
    "       dawnbell list\n"
    "       dawnbell launcher add|remove HOST\n"
    "       dawnbell --help | --version\n"
    "\n"
    "Wakes each TARGET with a Wake-on-LAN magic packet, as the screen's Send button does.\n"
    "A TARGET is a MAC address (00:1a:2b:3c:4d:5e, 00-1a-2b-3c-4d-5e or 001a2b3c4d5e), the host\n"
    "of a recent computer (its MAC address and port come from the list), or a name in\n"
    "/etc/ethers. Without a host the packet goes to 255.255.255.255 on every interface that is\n"
    "up; with one, to the host and to the broadcast address of its subnet (on IPv6, to ff02::1\n"
    "on its link).\n"
    "\n"
    "  -i, --ip ADDRESS     send to this host or broadcast address\n"
    "  -p, --port PORT      UDP port (default 9; a recent computer's own port otherwise)\n"
    "      --password P     SecureOn password: 6 bytes written as a MAC address, or 4 as an\n"
    "                       IPv4 address (192.168.1.1); a recent computer's own otherwise\n"
    "  -f, --file FILE      read targets from FILE, one a line, # starts a comment; - reads\n"
    "                       standard input\n"
    "      --last           wake the most recent computer\n"
    "      --delay MS       wait MS milliseconds between two targets\n"
    "      --repeat N       send each packet N times, 100 ms apart (1 to 10; default 1)\n"
    "  -n, --dry-run        print what would be sent, send nothing\n"
    "      --check[=SECONDS]  wait until each computer answers (default 60 seconds)\n"
    "  -q, --quiet          print nothing but errors\n"
    "\n"
    "list prints the recent computers, newest first: host, MAC address, port.\n"
    "launcher add HOST writes a desktop entry \"Wake HOST\" that runs dawnbell wake HOST;\n"
    "launcher remove HOST removes it.\n"
    "\n"
    "Exit status: 0 every packet left (and, with --check, every computer answered);\n"
    "1 a packet could not be sent; 2 a bad argument, an unknown target or an unreadable file\n"
    "(nothing is sent then); 3 with --check, a computer did not answer in time.\n";

int list(const Console& console) {
    RecentComputers recent;
    recent.load();
    for (const StoredFields& row : recent.rows()) {
        const std::wstring port = row.port.empty() ? std::to_wstring(defaultWakePort) : row.port;
        std::fprintf(console.out, "%s\t%s\t%s\n", toUtf8(row.host).c_str(), toUtf8(row.mac).c_str(),
                     toUtf8(port).c_str());
    }
    return exitSent;
}

} // namespace

int run(const std::vector<std::string>& args, const Console& console) {
    const std::string command = args.size() > 1 ? args[1] : "";
    const std::vector<std::string> rest(args.begin() + std::min<std::size_t>(args.size(), 2),
                                        args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage, console.out);
        return exitSent;
    }
    if (command == "--version") {
        std::fprintf(console.out, "dawnbell %s\n", DAWNBELL_VERSION);
        return exitSent;
    }
    if (command == "wake") {
        return wake(rest, console);
    }
    if (command == "list" && rest.empty()) {
        return list(console);
    }
    if (command == "launcher") {
        return launcher(rest, console);
    }
    std::fprintf(console.err, "dawnbell: %s: unknown command (dawnbell --help lists them)\n",
                 command.c_str());
    return exitBadArgument;
}

void complain(const Console& console, std::string what, const std::string& reason) {
    std::replace_if(
        what.begin(), what.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    std::fprintf(console.err, "dawnbell: %s: %s\n", what.c_str(), reason.c_str());
}

std::wstring fromUtf8(std::string_view text) {
    std::wstring out;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const int length = lead < 0x80           ? 1
                           : (lead >> 5) == 0x6  ? 2
                           : (lead >> 4) == 0xE  ? 3
                           : (lead >> 3) == 0x1E ? 4
                                                 : 0;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        bool whole = length > 0 && at + static_cast<std::size_t>(length) <= text.size();
        for (int i = 1; whole && i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
            whole = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // A byte that starts no character stands for itself as U+FFFD: no name has it.
        out += whole ? static_cast<wchar_t>(c) : L'\uFFFD';
        at += whole ? static_cast<std::size_t>(length) : 1;
    }
    return out;
}

std::string toUtf8(std::wstring_view text) {
    std::string out;
    for (const wchar_t wide : text) {
        appendUtf8(out, static_cast<char32_t>(wide));
    }
    return out;
}

} // namespace command_line
