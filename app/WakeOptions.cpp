#include "WakeOptions.h"

#include "AwakeCheck.h"
#include "WakePacket.h"

#include <getopt.h>

#include <cerrno>
#include <cstring>

namespace command_line {
namespace {

constexpr std::uint32_t longestDelayMs = 3600 * 1000;
constexpr std::uint32_t longestCheckSeconds = 24 * 3600;

// A decimal number from 0 to `largest`, nothing else.
std::optional<std::uint32_t> parseNumber(const std::string& text, std::uint32_t largest) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value <= largest ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(value))
                            : std::nullopt;
}

enum LongOnly : int { delayOption = 1000, checkOption, lastOption, passwordOption, repeatOption };

const option longOptions[] = {{"ip", required_argument, nullptr, 'i'},
                              {"port", required_argument, nullptr, 'p'},
                              {"file", required_argument, nullptr, 'f'},
                              {"delay", required_argument, nullptr, delayOption},
                              {"dry-run", no_argument, nullptr, 'n'},
                              {"check", optional_argument, nullptr, checkOption},
                              {"quiet", no_argument, nullptr, 'q'},
                              {"last", no_argument, nullptr, lastOption},
                              {"password", required_argument, nullptr, passwordOption},
                              {"repeat", required_argument, nullptr, repeatOption},
                              {"help", no_argument, nullptr, 'h'},
                              {nullptr, 0, nullptr, 0}};

// One option's value into `options`; false, told, when it is refused.
bool takeOption(int option, const std::string& value, WakeOptions& options,
                const Console& console) {
    switch (option) {
    case 'i':
        if (!hostForLookup(fromUtf8(value))) {
            complain(console, "--ip " + value, "not a host or an address");
            return false;
        }
        options.ip = value;
        return true;
    case 'p':
        if (value.empty() || !parsePort(fromUtf8(value))) {
            complain(console, "--port " + value, "not a port from 1 to 65535");
            return false;
        }
        options.port = value;
        return true;
    case 'f':
        options.files.push_back(value);
        return true;
    case passwordOption:
        if (!parseSecureOnPassword(fromUtf8(value))) {
            complain(console, "--password " + value,
                     "not a SecureOn password: 6 bytes as a MAC address is written, or 4 as an "
                     "IPv4 address (192.168.1.1)");
            return false;
        }
        options.password = value;
        return true;
    case repeatOption:
        if (const auto count = parseNumber(value, mostRepeats); count && *count > 0) {
            options.repeat = *count;
            return true;
        }
        complain(console, "--repeat " + value, "not a number of packets from 1 to 10");
        return false;
    case delayOption:
        if (const auto delay = parseNumber(value, longestDelayMs)) {
            options.delayMs = *delay;
            return true;
        }
        complain(console, "--delay " + value, "not a number of milliseconds up to 3600000");
        return false;
    case checkOption:
        if (value.empty()) {
            options.checkSeconds = awake_check::checkDurationMs / 1000;
            return true;
        }
        if (const auto seconds = parseNumber(value, longestCheckSeconds); seconds && *seconds > 0) {
            options.checkSeconds = *seconds;
            return true;
        }
        complain(console, "--check=" + value, "not a number of seconds from 1 to 86400");
        return false;
    case 'n':
        options.dryRun = true;
        return true;
    case 'q':
        options.quiet = true;
        return true;
    case lastOption:
        options.last = true;
        return true;
    default:
        return false;
    }
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    const auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

// The options and targets, in any order; nothing, told, when any is refused. `help` is set
// for --help.
std::optional<WakeOptions> parseWakeOptions(const std::vector<std::string>& args,
                                            const Console& console, bool& help) {
    std::vector<std::string> copies{"dawnbell wake"};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& copy : copies) {
        argv.push_back(copy.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(copies.size());
    WakeOptions options;
    bool refused = false;
    optind = 0; // getopt starts afresh
    opterr = 0;
    for (;;) {
        int index = -1;
        const int option = getopt_long(argc, argv.data(), ":i:p:f:nqh", longOptions, &index);
        if (option == -1) {
            break;
        }
        const std::string name = index >= 0 ? std::string("--") + longOptions[index].name
                                 : option == '?' || option == ':'
                                     ? (optopt != 0 ? std::string("-") + static_cast<char>(optopt)
                                                    : std::string(argv[optind - 1]))
                                     : std::string("-") + static_cast<char>(option);
        if (option == 'h') {
            help = true;
        } else if (option == '?') {
            complain(console, name, "unknown option");
            refused = true;
        } else if (option == ':') {
            complain(console, name, "needs a value");
            refused = true;
        } else if (!takeOption(option, optarg != nullptr ? optarg : "", options, console)) {
            refused = true;
        }
    }
    for (int i = optind; i < argc; ++i) {
        options.targets.emplace_back(argv[i]);
    }
    return refused ? std::nullopt : std::optional<WakeOptions>(std::move(options));
}

// The targets of a file, one a line, `#` to the end of a line a comment; false, told, when the
// file can't be read.
bool readTargetFile(const std::string& name, const Console& console,
                    std::vector<GivenTarget>& targets) {
    const bool standardInput = name == "-";
    std::FILE* file = standardInput ? console.in : std::fopen(name.c_str(), "r");
    if (file == nullptr) {
        complain(console, name, std::string("can't be read: ") + std::strerror(errno));
        return false;
    }
    const std::string shownName = standardInput ? "standard input" : name;
    char* line = nullptr;
    std::size_t capacity = 0;
    std::size_t number = 0;
    ssize_t length = 0;
    while ((length = getline(&line, &capacity, file)) >= 0) {
        ++number;
        std::string text(line, static_cast<std::size_t>(length));
        text = trimmed(text.substr(0, text.find_first_of("#\n")));
        if (!text.empty()) {
            targets.push_back({shownName + ":" + std::to_string(number) + ": " + text, text});
        }
    }
    std::free(line);
    const int error = std::ferror(file) ? errno : 0;
    if (!standardInput) {
        std::fclose(file);
    }
    if (error != 0) {
        complain(console, name, std::string("can't be read: ") + std::strerror(error));
        return false;
    }
    return true;
}

} // namespace command_line
