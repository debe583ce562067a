// The `dawnbell` command: plain, it becomes the screen (the program beside it, which alone
// links the display and the fonts); with a subcommand it does the work itself, with nothing of
// the screen loaded.
#include "CommandLine.h"

#include <winsock2.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr WORD winsockVersion = 0x0202;
constexpr const char* screenProgram = "dawnbell-screen";

int startScreen(char** argv) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string screen = (self.parent_path() / screenProgram).string();
    execv(screen.c_str(), argv);
    std::fprintf(stderr, "dawnbell: %s: can't be started: %s\n", screen.c_str(),
                 std::strerror(errno));
    return command_line::exitSendFailed;
}

// What a desktop entry's Exec line runs to start this program again.
std::string programForLaunchers(const char* argv0) {
    if (std::strchr(argv0, '/') == nullptr) {
        return argv0;
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(argv0, error);
    return error ? std::string(argv0) : absolute.lexically_normal().string();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return startScreen(argv);
    }
    WSADATA winsock{};
    if (WSAStartup(winsockVersion, &winsock) != 0) {
        std::fputs("dawnbell: the network can't be used (WSAStartup failed)\n", stderr);
        return command_line::exitSendFailed;
    }
    command_line::Console console;
    console.program = programForLaunchers(argv[0]);
    const int status = command_line::run(std::vector<std::string>(argv, argv + argc), console);
    WSACleanup();
    return status;
}
