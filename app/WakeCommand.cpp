// `dawnbell wake`: every target is read and checked first, and nothing is sent while any is
// refused; then each packet leaves as the screen's Send sends it, the recent list is updated,
// and with --check every computer is watched at once until it answers or the time is up.
#include "AwakeCheck.h"
#include "CommandLine.h"
#include "Ethers.h"
#include "LimitedBroadcast.h"
#include "NoWakeReason.h"
#include "RecentComputers.h"
#include "StatusTexts.h"
#include "WakeOptions.h"
#include "WakePacket.h"

#include <winsock2.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace command_line {
namespace {

constexpr const wchar_t* limitedBroadcastText = L"255.255.255.255";

// What one target wakes, in the texts the screen's fields would hold.
struct Wake {
    std::string label;
    std::wstring host;             // empty: the limited broadcast on every interface that is up
    bool hostMayBeUnknown = false; // a name from /etc/ethers: without an address, broadcast
    std::wstring mac;
    std::wstring port;
    std::wstring password;
};

std::wstring foldedHost(std::wstring host) {
    for (wchar_t& c : host) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return host;
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
std::optional<Wake> resolve(const GivenTarget& given, const WakeOptions& options, Recent& recent) {
    if (hasControlCharacter(given.text)) {
        return std::nullopt;
    }
    const std::wstring text = fromUtf8(given.text);
    Wake wake{given.label, L"", false, L"", L"", L""};
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
        wake.password = row->password;
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
    if (options.password) {
        wake.password = fromUtf8(*options.password);
    }
    return wake;
}

std::string dotted(const HostAddress& address) {
    return toUtf8(addressText(address));
}

// An address with its port: an IPv6 one in brackets, so that the port stands apart.
std::string withPort(const HostAddress& address, std::uint16_t port) {
    const std::string text = dotted(address);
    const bool ipv6 = std::holds_alternative<Ipv6Address>(address);
    return (ipv6 ? "[" + text + "]" : text) + ":" + std::to_string(port);
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

class WakeRun {
public:
    WakeRun(const WakeOptions& options, const Console& console)
        : options_(options), console_(console) {}

    // Sends, or shows what would be sent; the status so far.
    int send(const Wake& wake, Recent& recent) {
        const MagicPacket packet =
            buildMagicPacket(*parseMacAddress(wake.mac), *parseSecureOnPassword(wake.password));
        const std::uint16_t port = parsePort(wake.port).value_or(defaultWakePort);
        if (wake.host.empty()) {
            return broadcastEverywhere(wake, packet, port, recent);
        }
        const std::string host = toUtf8(wake.host);
        const std::string what = " for " + toUtf8(macText(*parseMacAddress(wake.mac))) + " to ";
        if (options_.dryRun) {
            const auto lookup = hostForLookup(wake.host);
            const auto destinations = lookup ? wakeDestinationsFor(*lookup) : std::nullopt;
            if (!destinations) {
                return wake.hostMayBeUnknown ? broadcastEverywhere(wake, packet, port, recent)
                                             : hostNotFound(wake, host);
            }
            const auto also = destinations->alsoTo();
            say(wake.label + ": would send " + std::to_string(packet.size()) + " bytes" + what +
                withPort(destinations->host, port) + (also ? " and " + withPort(*also, port) : "") +
                times());
            return exitSent;
        }
        WakeDelivery delivery;
        bool answeredBefore = false;
        const SendOutcome outcome = sendFramed(wake, delivery, answeredBefore);
        const NoWakeFacts seen = answeredBefore ? factsNow(delivery.host) : NoWakeFacts{};
        if (outcome == SendOutcome::hostNotFound) {
            return wake.hostMayBeUnknown ? broadcastEverywhere(wake, packet, port, recent)
                                         : hostNotFound(wake, host);
        }
        if (outcome != SendOutcome::sent || !sendRepeats(wake, delivery.host)) {
            complain(console_, wake.label,
                     "can't send the magic packet to " + host + ": " +
                         socketErrorText(WSAGetLastError()));
            return exitSendFailed;
        }
        const auto also = delivery.alsoTo();
        say(wake.label + ": magic packet sent" + what + withPort(delivery.host, port) +
            (also ? " (also to " + dotted(*also) + ")" : "") + times());
        remember(recent, {wake.host, wake.mac, wake.port, wake.password});
        checked_.push_back({wake.label, delivery.host, answeredBefore ? host : "", wake.host,
                            *parseMacAddress(wake.mac), seen});
        return exitSent;
    }

    // Watches every computer a packet left for at once; the status.
    int check(Recent& recent) {
        struct Watch {
            HostAddress host;
            DWORD durationMs;
            AwakeEnding ending{AwakeState::cantCheck, 0};
            NoWakeFacts seen;
        };
        std::vector<std::unique_ptr<Watch>> watches;
        std::vector<HANDLE> threads;
        const DWORD durationMs = *options_.checkSeconds * 1000;
        for (const Checked& computer : checked_) {
            watches.push_back(std::make_unique<Watch>(Watch{computer.host, durationMs}));
            if (computer.host == HostAddress{limitedBroadcast} ||
                !computer.answeredBefore.empty()) {
                threads.push_back(nullptr);
                continue;
            }
            threads.push_back(CreateThread(
                nullptr, 0,
                [](LPVOID parameter) -> DWORD {
                    auto* watch = static_cast<Watch*>(parameter);
                    watch->ending =
                        watchForWake(watch->host, watch->durationMs, [](AwakeState, DWORD) {});
                    if (watch->ending.state != AwakeState::cantCheck) {
                        watch->seen = factsNow(watch->host);
                    }
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
            if (threads[i] != nullptr) {
                checked_[i].seen = watches[i]->seen;
            }
            const NoWakeFacts facts = keepWhatWasSeen(recent, checked_[i]);
            if (!checked_[i].answeredBefore.empty()) {
                say(label + ": " +
                    toUtf8(alreadyAnswersText(fromUtf8(checked_[i].answeredBefore))));
                continue;
            }
            if (ending.state == AwakeState::awake) {
                say(label + ": awake after " + std::to_string(ending.elapsedMs / 1000) + " s");
                continue;
            }
            status = exitNoAnswer;
            complain(console_, label,
                     ending.state == AwakeState::noAnswer
                         ? noAnswerReason(checked_[i], facts)
                         : "can't check whether the computer woke");
        }
        return status;
    }

private:
    struct Checked {
        std::string label;
        HostAddress host;
        std::string answeredBefore; // the host, when it answered before the packet left
        std::wstring hostText;
        MacAddress mac{};
        NoWakeFacts seen; // of the host, once it answered or the check ended
    };

    std::string noAnswerReason(const Checked& computer, const NoWakeFacts& facts) const {
        if (const auto why = noWakeText(computer.hostText, computer.mac, facts)) {
            return toUtf8(*why);
        }
        return "no answer after " + std::to_string(*options_.checkSeconds) +
               " s: is Wake-on-LAN on in the computer's settings?";
    }

    // What the host answered with now is kept with the recent computer; without an answer now,
    // the one kept from before tells.
    static NoWakeFacts keepWhatWasSeen(Recent& recent, const Checked& computer) {
        NoWakeFacts facts = computer.seen;
        if (computer.hostText.empty()) {
            return facts;
        }
        if (facts.answeredAs) {
            recent.list().noteAnswer(computer.hostText, *facts.answeredAs);
        } else {
            facts.answeredAs = recent.list().answeredMac(computer.hostText);
        }
        return facts;
    }

    // ", 3 times" after what a line tells, when each packet goes more than once.
    std::string times() const {
        return options_.repeat > 1 ? ", " + std::to_string(options_.repeat) + " times" : "";
    }

    // As Send does: with --check the address is probed once before the packet leaves, so that
    // one that answers already (a computer that was up, a router) is not taken for one that woke.
    SendOutcome sendFramed(const Wake& wake, WakeDelivery& delivery, bool& answeredBefore) const {
        if (!options_.checkSeconds) {
            return sendMagicPacket(wake.host, wake.mac, wake.port, wake.password, &delivery);
        }
        const WakeInput input = parseWakeInput(wake.host, wake.mac, wake.port, wake.password);
        const auto* request = std::get_if<WakeRequest>(&input);
        const auto address = request != nullptr ? resolveHost(request->host) : std::nullopt;
        if (!address) {
            return SendOutcome::hostNotFound;
        }
        const CheckedSend sent = sendAfterProbe(*request, *address);
        delivery = sent.delivery;
        answeredBefore = sent.answeredBefore;
        return sent.outcome;
    }

    // The packets after the first, each repeatGapMs after the one before, to the address the
    // first went to (a name is not looked up again) and its subnet's broadcast; false when one
    // could not leave.
    bool sendRepeats(const Wake& wake, const HostAddress& address) const {
        const WakeInput input = parseWakeInput(wake.host, wake.mac, wake.port, wake.password);
        const auto* request = std::get_if<WakeRequest>(&input);
        for (std::uint32_t sent = 1; request != nullptr && sent < options_.repeat; ++sent) {
            Sleep(repeatGapMs);
            if (sendMagicPacketTo(*request, address) != SendOutcome::sent) {
                return false;
            }
        }
        return request != nullptr;
    }

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
        const std::vector<std::uint32_t> addresses = upInterfaceAddresses();
        const std::string to = " for " + toUtf8(macText(*parseMacAddress(wake.mac))) + " to " +
                               toUtf8(limitedBroadcastText) + ":" + std::to_string(port);
        if (addresses.empty()) {
            complain(console_, wake.label, "no network interface is up to broadcast on");
            return exitSendFailed;
        }
        std::string from;
        for (const std::uint32_t address : addresses) {
            from += (from.empty() ? "" : ", ") + dotted(address);
        }
        if (options_.dryRun) {
            say(wake.label + ": would send " + std::to_string(packet.size()) + " bytes" + to +
                " from " + from + times());
            return exitSent;
        }
        int status = exitSent;
        for (std::uint32_t round = 0; round < options_.repeat && status == exitSent; ++round) {
            if (round > 0) {
                Sleep(repeatGapMs);
            }
            for (const std::uint32_t address : addresses) {
                if (const int error = sendLimitedBroadcast(packet, port, address); error != 0) {
                    complain(console_, wake.label,
                             "can't send the magic packet from " + dotted(address) + ": " +
                                 socketErrorText(error));
                    status = exitSendFailed;
                }
            }
        }
        if (status == exitSent) {
            say(wake.label + ": magic packet sent" + to + " from " + from + times());
            remember(recent, {limitedBroadcastText, wake.mac, wake.port, wake.password});
            checked_.push_back({wake.label, limitedBroadcast, "", L"", {}, {}});
        }
        return status;
    }

    const WakeOptions& options_;
    const Console& console_;
    std::vector<Checked> checked_;
};

} // namespace

int wake(const std::vector<std::string>& args, const Console& console) {
    bool help = false;
    const auto options = parseWakeOptions(args, console, help);
    if (help) {
        return run({"dawnbell", "--help"}, console);
    }
    if (!options) {
        return exitBadArgument;
    }
    std::vector<GivenTarget> given;
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
    for (const GivenTarget& target : given) {
        if (auto resolved = resolve(target, *options, recent)) {
            wakes.push_back(std::move(*resolved));
        } else {
            complain(console, target.label, unknownTargetReason);
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
        const int checked = run.check(recent);
        status = status == exitSent ? checked : status;
    }
    return status;
}

bool isKnownTarget(const std::string& text) {
    Recent recent;
    return resolve({text, text}, WakeOptions{}, recent).has_value();
}

} // namespace command_line
