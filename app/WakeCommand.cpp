// `dawnbell wake`: every target is read and checked first, and nothing is sent while any is
// refused; then each packet leaves as the screen's Send sends it, the recent list is updated,
// and with --check every computer is watched at once until it answers or the time is up.
#include "AwakeCheck.h"
#include "CommandLine.h"
#include "Ethers.h"
#include "RecentComputers.h"
#include "WakePacket.h"

#include <iphlpapi.h>
#include <winsock2.h>

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>

namespace command_line {
namespace {

constexpr DWORD longestDelayMs = 3600 * 1000;
constexpr DWORD longestCheckSeconds = 24 * 3600;
constexpr std::uint32_t limitedBroadcast = 0xFFFFFFFFu;
constexpr const wchar_t* limitedBroadcastText = L"255.255.255.255";

struct Options {
    std::optional<std::string> ip;
    std::optional<std::string> port;
    std::vector<std::string> files;
    DWORD delayMs = 0;
    bool dryRun = false;
    std::optional<DWORD> checkSeconds;
    bool quiet = false;
    bool last = false;
    std::vector<std::string> targets;
};

// A target as it was given: how messages name it, and its text.
struct Given {
    std::string label;
    std::string text;
};

// What one target wakes, in the texts the screen's fields would hold.
struct Wake {
    std::string label;
    std::wstring host;             // empty: the limited broadcast on every interface that is up
    bool hostMayBeUnknown = false; // a name from /etc/ethers: without an address, broadcast
    std::wstring mac;
    std::wstring port;
};

// One line each, whatever a target holds.
void complain(const Console& console, std::string what, const std::string& reason) {
    std::replace_if(
        what.begin(), what.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    std::fprintf(console.err, "dawnbell: %s: %s\n", what.c_str(), reason.c_str());
}

// A decimal number from 0 to `largest`, nothing else.
std::optional<DWORD> parseNumber(const std::string& text, DWORD largest) {
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
    return value <= largest ? std::optional<DWORD>(static_cast<DWORD>(value)) : std::nullopt;
}

enum LongOnly : int { delayOption = 1000, checkOption, lastOption };

const option longOptions[] = {
    {"ip", required_argument, nullptr, 'i'},   {"port", required_argument, nullptr, 'p'},
    {"file", required_argument, nullptr, 'f'}, {"delay", required_argument, nullptr, delayOption},
    {"dry-run", no_argument, nullptr, 'n'},    {"check", optional_argument, nullptr, checkOption},
    {"quiet", no_argument, nullptr, 'q'},      {"last", no_argument, nullptr, lastOption},
    {"help", no_argument, nullptr, 'h'},       {nullptr, 0, nullptr, 0}};

// One option's value into `options`; false, told, when it is refused.
bool takeOption(int option, const std::string& value, Options& options, const Console& console) {
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

// The options and targets, in any order; nothing, told, when any is refused. `help` is set
// for --help.
std::optional<Options> parseOptions(const std::vector<std::string>& args, const Console& console,
                                    bool& help) {
    std::vector<std::string> copies{"dawnbell wake"};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& copy : copies) {
        argv.push_back(copy.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(copies.size());
    Options options;
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
    return refused ? std::nullopt : std::optional<Options>(std::move(options));
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    const auto last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The targets of a file, one a line, `#` to the end of a line a comment; false, told, when the
// file can't be read.
bool readTargetFile(const std::string& name, const Console& console, std::vector<Given>& targets) {
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

std::wstring foldedHost(std::wstring host) {
    for (wchar_t& c : host) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return host;
}

std::wstring macText(const MacAddress& mac) {
    std::wstring text;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        wchar_t pair[4];
        std::swprintf(pair, 4, L"%02x", mac[i]);
        text += (i > 0 ? L":" : L"") + std::wstring(pair);
    }
    return text;
}

// The recent list, read only when a target needs it or a packet left.
class Recent {
public:
    RecentComputers& list() {
        if (!loaded_) {
            list_.load();
            loaded_ = true;
        }
        return list_;
    }

private:
    RecentComputers list_;
    bool loaded_ = false;
};

bool hasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A MAC address in any spelling Send accepts, the host of a recent computer, or a name in
// /etc/ethers, in that order.
std::optional<Wake> resolve(const Given& given, const Options& options, Recent& recent) {
    if (hasControlCharacter(given.text)) {
        return std::nullopt;
    }
    const std::wstring text = fromUtf8(given.text);
    Wake wake{given.label, L"", false, L"", L""};
    const auto recentRow = [&]() -> const StoredFields* {
        const auto& rows = recent.list().rows();
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const StoredFields& stored) {
            return foldedHost(stored.host) == foldedHost(text);
        });
        return row != rows.end() ? &*row : nullptr;
    };
    if (parseMacAddress(text)) {
        wake.mac = text;
    } else if (const StoredFields* row = recentRow()) {
        wake.host = row->host;
        wake.mac = row->mac;
        wake.port = row->port;
    } else if (const auto mac = etherAddressOf(given.text)) {
        wake.host = text;
        wake.hostMayBeUnknown = true;
        wake.mac = macText(*mac);
    } else {
        return std::nullopt;
    }
    if (options.ip) {
        wake.host = fromUtf8(*options.ip);
        wake.hostMayBeUnknown = false;
    }
    if (options.port) {
        wake.port = fromUtf8(*options.port);
    }
    return wake;
}

std::string dotted(std::uint32_t address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

std::string socketErrorText(int error) {
    switch (error) {
    case WSAENETUNREACH:
        return "no route to the network";
    case WSAEHOSTUNREACH:
        return "no route to the host";
    case WSAEACCES:
        return "broadcasts are not allowed there";
    case WSAENETDOWN:
        return "the network is down";
    case WSAEADDRNOTAVAIL:
        return "the address is not available";
    case WSAENOBUFS:
        return "no buffer space";
    default:
        return "socket error " + std::to_string(error);
    }
}

// The interfaces that are up and attached to a network, by one IPv4 address of each.
std::vector<std::uint32_t> interfaceAddresses() {
    ULONG size = 0;
    if (GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    size = static_cast<ULONG>(storage.size() * sizeof(DWORD));
    auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(storage.data());
    if (GetIpAddrTable(table, &size, FALSE) != NO_ERROR) {
        return {};
    }
    std::vector<std::uint32_t> addresses;
    std::vector<DWORD> interfaces;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IPADDRROW& row = table->table[i];
        const bool loopback = reinterpret_cast<const std::uint8_t*>(&row.dwAddr)[0] == 127;
        if (loopback || (row.wType & MIB_IPADDR_DISCONNECTED) != 0 ||
            std::find(interfaces.begin(), interfaces.end(), row.dwIndex) != interfaces.end()) {
            continue;
        }
        interfaces.push_back(row.dwIndex);
        addresses.push_back(row.dwAddr);
    }
    return addresses;
}

// A broadcast-capable UDP socket bound to one interface's address: the system sends a limited
// broadcast out of the interface whose address the socket holds.
class InterfaceSocket {
public:
    explicit InterfaceSocket(std::uint32_t address)
        : socket_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
        const BOOL on = TRUE;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = address;
        if (socket_ == INVALID_SOCKET ||
            setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on),
                       sizeof on) != 0 ||
            bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            error_ = WSAGetLastError();
        }
    }
    ~InterfaceSocket() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
    }
    InterfaceSocket(const InterfaceSocket&) = delete;
    InterfaceSocket& operator=(const InterfaceSocket&) = delete;

    // 0, or the Winsock error that kept the packet back.
    int send(const MagicPacket& packet, std::uint16_t port) {
        if (error_ != 0) {
            return error_;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = limitedBroadcast;
        const int sent = sendto(socket_, reinterpret_cast<const char*>(packet.data()),
                                static_cast<int>(packet.size()), 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to);
        return sent == static_cast<int>(packet.size()) ? 0 : WSAGetLastError();
    }

private:
    SOCKET socket_;
    int error_ = 0;
};

class WakeRun {
public:
    WakeRun(const Options& options, const Console& console)
        : options_(options), console_(console) {}

    // Sends, or shows what would be sent; the status so far.
    int send(const Wake& wake, Recent& recent) {
        const MagicPacket packet = buildMagicPacket(*parseMacAddress(wake.mac));
        const std::uint16_t port = parsePort(wake.port).value_or(defaultWakePort);
        if (wake.host.empty()) {
            return broadcastEverywhere(wake, packet, port, recent);
        }
        const std::string host = toUtf8(wake.host);
        const std::string what = " for " + toUtf8(macText(*parseMacAddress(wake.mac))) + " to ";
        const std::string portText = ":" + std::to_string(port);
        if (options_.dryRun) {
            const auto lookup = hostForLookup(wake.host);
            const auto destinations = lookup ? wakeDestinationsFor(*lookup) : std::nullopt;
            if (!destinations) {
                return wake.hostMayBeUnknown ? broadcastEverywhere(wake, packet, port, recent)
                                             : hostNotFound(wake, host);
            }
            say(wake.label + ": would send 102 bytes" + what + dotted(destinations->host) +
                portText +
                (destinations->subnetBroadcast
                     ? " and " + dotted(*destinations->subnetBroadcast) + portText
                     : ""));
            return exitSent;
        }
        WakeDelivery delivery;
        const SendOutcome outcome = sendMagicPacket(wake.host, wake.mac, wake.port, &delivery);
        if (outcome == SendOutcome::hostNotFound) {
            return wake.hostMayBeUnknown ? broadcastEverywhere(wake, packet, port, recent)
                                         : hostNotFound(wake, host);
        }
        if (outcome != SendOutcome::sent) {
            complain(console_, wake.label,
                     "can't send the magic packet to " + host + ": " +
                         socketErrorText(WSAGetLastError()));
            return exitSendFailed;
        }
        say(wake.label + ": magic packet sent" + what + dotted(delivery.host) + portText +
            (delivery.subnetBroadcast ? " (also to " + dotted(*delivery.subnetBroadcast) + ")"
                                      : ""));
        remember(recent, {wake.host, wake.mac, wake.port});
        checked_.push_back({wake.label, delivery.host});
        return exitSent;
    }

    // Watches every computer a packet left for at once; the status.
    int check() {
        struct Watch {
            std::uint32_t host;
            DWORD durationMs;
            AwakeEnding ending{AwakeState::cantCheck, 0};
        };
        std::vector<std::unique_ptr<Watch>> watches;
        std::vector<HANDLE> threads;
        const DWORD durationMs = *options_.checkSeconds * 1000;
        for (const Checked& computer : checked_) {
            watches.push_back(std::make_unique<Watch>(Watch{computer.host, durationMs}));
            if (computer.host == limitedBroadcast) {
                threads.push_back(nullptr);
                continue;
            }
            threads.push_back(CreateThread(
                nullptr, 0,
                [](LPVOID parameter) -> DWORD {
                    auto* watch = static_cast<Watch*>(parameter);
                    watch->ending =
                        watchForWake(watch->host, watch->durationMs, [](AwakeState, DWORD) {});
                    return 0;
                },
                watches.back().get(), 0, nullptr));
        }
        int status = exitSent;
        for (std::size_t i = 0; i < checked_.size(); ++i) {
            if (threads[i] != nullptr) {
                WaitForSingleObject(threads[i], INFINITE);
                CloseHandle(threads[i]);
            }
            const AwakeEnding& ending = watches[i]->ending;
            const std::string& label = checked_[i].label;
            if (ending.state == AwakeState::awake) {
                say(label + ": awake after " + std::to_string(ending.elapsedMs / 1000) + " s");
                continue;
            }
            status = exitNoAnswer;
            complain(console_, label,
                     ending.state == AwakeState::noAnswer
                         ? "no answer after " + std::to_string(*options_.checkSeconds) +
                               " s: is Wake-on-LAN on in the computer's settings?"
                         : "can't check whether the computer woke");
        }
        return status;
    }

private:
    struct Checked {
        std::string label;
        std::uint32_t host;
    };

    int hostNotFound(const Wake& wake, const std::string& host) const {
        complain(console_, wake.label, "host not found: " + host);
        return exitSendFailed;
    }

    void say(const std::string& line) const {
        if (!options_.quiet) {
            std::fprintf(console_.out, "%s\n", line.c_str());
        }
    }

    void remember(Recent& recent, const StoredFields& fields) {
        if (!recent.list().remember(fields)) {
            complain(console_, toUtf8(fields.host), "could not be kept in the recent list");
        }
    }

    // Without a host: the limited broadcast out of every interface that is up.
    int broadcastEverywhere(const Wake& wake, const MagicPacket& packet, std::uint16_t port,
                            Recent& recent) {
        const std::vector<std::uint32_t> addresses = interfaceAddresses();
        const std::string to = " for " + toUtf8(macText(*parseMacAddress(wake.mac))) + " to " +
                               toUtf8(limitedBroadcastText) + ":" + std::to_string(port);
        if (addresses.empty()) {
            complain(console_, wake.label, "no network interface is up to broadcast on");
            return exitSendFailed;
        }
        std::string from;
        int status = exitSent;
        for (const std::uint32_t address : addresses) {
            from += (from.empty() ? "" : ", ") + dotted(address);
            if (options_.dryRun) {
                continue;
            }
            InterfaceSocket socket(address);
            if (const int error = socket.send(packet, port); error != 0) {
                complain(console_, wake.label,
                         "can't send the magic packet from " + dotted(address) + ": " +
                             socketErrorText(error));
                status = exitSendFailed;
            }
        }
        if (options_.dryRun) {
            say(wake.label + ": would send 102 bytes" + to + " from " + from);
            return exitSent;
        }
        if (status == exitSent) {
            say(wake.label + ": magic packet sent" + to + " from " + from);
            remember(recent, {limitedBroadcastText, wake.mac, wake.port});
            checked_.push_back({wake.label, limitedBroadcast});
        }
        return status;
    }

    const Options& options_;
    const Console& console_;
    std::vector<Checked> checked_;
};

} // namespace

int wake(const std::vector<std::string>& args, const Console& console) {
    bool help = false;
    const auto options = parseOptions(args, console, help);
    if (help) {
        return run({"dawnbell", "--help"}, console);
    }
    if (!options) {
        return exitBadArgument;
    }
    std::vector<Given> given;
    for (const std::string& target : options->targets) {
        given.push_back({target, target});
    }
    bool refused = false;
    for (const std::string& file : options->files) {
        refused = !readTargetFile(file, console, given) || refused;
    }
    Recent recent;
    std::vector<Wake> wakes;
    if (options->last) {
        const auto& rows = recent.list().rows();
        if (rows.empty()) {
            complain(console, "--last", "no recent computer yet");
            refused = true;
        } else {
            given.push_back(
                {"--last (" + toUtf8(rows.front().host) + ")", toUtf8(rows.front().host)});
        }
    }
    for (const Given& target : given) {
        if (auto resolved = resolve(target, *options, recent)) {
            wakes.push_back(std::move(*resolved));
        } else {
            complain(console, target.label,
                     "not a MAC address, a recent computer or a name in /etc/ethers");
            refused = true;
        }
    }
    if (refused) {
        return exitBadArgument;
    }
    if (wakes.empty()) {
        complain(console, "wake",
                 "no target: name a MAC address, a recent computer or a name "
                 "in /etc/ethers (dawnbell --help)");
        return exitBadArgument;
    }
    WakeRun run(*options, console);
    int status = exitSent;
    for (std::size_t i = 0; i < wakes.size(); ++i) {
        if (i > 0 && options->delayMs > 0) {
            Sleep(options->delayMs);
        }
        status = std::max(status, run.send(wakes[i], recent));
    }
    if (options->checkSeconds && !options->dryRun) {
        const int checked = run.check();
        status = status == exitSent ? checked : status;
    }
    return status;
}

bool isKnownTarget(const std::string& text) {
    Recent recent;
    return resolve({text, text}, Options{}, recent).has_value();
}

} // namespace command_line
