// `dawnbell launcher add|remove HOST`: one desktop entry per computer in the user's
// applications folder, so that a launcher or a phone's app grid wakes it with one tap.
#include "CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace command_line {
namespace {

namespace fs = std::filesystem;

// $XDG_DATA_HOME/applications, or ~/.local/share/applications; empty without either.
fs::path applicationsFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && fs::path(data).is_absolute()) {
        return fs::path(data) / "applications";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return fs::path(home) / ".local" / "share" / "applications";
    }
    return {};
}

// One file per computer, whatever the host holds: letters (lower case, as hosts compare),
// digits, '.' and '-' as they are, every other byte as _XX.
std::string fileNameFor(const std::string& host) {
    std::string name = "dawnbell-wake-";
    for (const char c : host) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-') {
            name += c;
        } else if (c >= 'A' && c <= 'Z') {
            name += static_cast<char>(c - 'A' + 'a');
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "_%02X", byte);
            name += escaped;
        }
    }
    return name + ".desktop";
}

// An Exec argument as the Desktop Entry rules read it: in double quotes (with the quote, the
// backquote, the dollar and the backslash escaped) when it holds a reserved character, '%' doubled
// as field codes ask.
std::string execArgument(const std::string& text) {
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quoted = text.empty() || text.find_first_of(reserved) != std::string::npos;
    std::string argument = quoted ? "\"" : "";
    for (const char c : text) {
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            argument += '\\';
        }
        argument += c == '%' ? "%%" : std::string(1, c);
    }
    return quoted ? argument + "\"" : argument;
}

// A value of the string type: backslashes escaped.
std::string escapedValue(const std::string& text) {
    std::string value;
    for (const char c : text) {
        value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return value;
}

std::string desktopEntry(const std::string& host, const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           escapedValue("Wake " + host) +
           "\n"
           "Comment=" +
           escapedValue("Wake " + host + " with a Wake-on-LAN magic packet") +
           "\n"
           "Exec=" +
           escapedValue(execArgument(program) + " wake " + execArgument(host)) +
           "\n"
           "Icon=dawnbell\n"
           "Terminal=false\n"
           "Categories=Network;RemoteAccess;\n"
           "X-Purism-FormFactor=Workstation;Mobile;\n";
}

// Written whole or not at all: a launcher never finds half an entry.
bool writeWhole(const fs::path& file, const std::string& text) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    const fs::path temporary = file.string() + ".tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (out) {
        fs::rename(temporary, file, error);
        if (!error) {
            return true;
        }
    }
    fs::remove(temporary, error);
    return false;
}

int add(const std::string& host, const fs::path& file, const Console& console) {
    if (!isKnownTarget(host)) {
        complain(console, host, unknownTargetReason);
        return exitBadArgument;
    }
    if (!writeWhole(file, desktopEntry(host, console.program))) {
        complain(console, file.string(), "can't be written");
        return exitSendFailed;
    }
    std::fprintf(console.out, "%s\n", file.c_str());
    return exitSent;
}

int remove(const std::string& host, const fs::path& file, const Console& console) {
    std::error_code error;
    if (fs::remove(file, error)) {
        return exitSent;
    }
    if (!error) {
        complain(console, host, "there is no launcher for it");
        return exitBadArgument;
    }
    complain(console, file.string(), "can't be removed: " + error.message());
    return exitSendFailed;
}

} // namespace

int launcher(const std::vector<std::string>& args, const Console& console) {
    if (args.size() != 2 || (args[0] != "add" && args[0] != "remove") || args[1].empty()) {
        complain(console, "launcher", "use dawnbell launcher add|remove HOST");
        return exitBadArgument;
    }
    const fs::path folder = applicationsFolder();
    if (folder.empty()) {
        complain(console, "launcher", "no applications folder (HOME and XDG_DATA_HOME unset)");
        return exitSendFailed;
    }
    const fs::path file = folder / fileNameFor(args[1]);
    return args[0] == "add" ? add(args[1], file, console) : remove(args[1], file, console);
}

} // namespace command_line
