#include "NetworkSearch.h"

#include "CardMakers.h"
#include "LocalSubnet.h"
#include "NameAnswers.h"
#include "WakePacket.h"

#include <iphlpapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

using namespace network_search;

constexpr u_short nudgePort = 9; // discard: nothing listens, a live host answers "unreachable"
constexpr u_short netbiosPort = 137;
constexpr u_short multicastDnsPort = 5353;
constexpr u_long multicastDnsGroup = 0xE00000FB; // 224.0.0.251, host order
constexpr int multicastDnsTtl = 255;             // what multicast DNS messages carry
// A route lookup to a documentation address finds the default route; nothing is sent to it.
constexpr u_long somewhereElse = 0xC6336401; // 198.51.100.1, host order
constexpr std::uint32_t pointToPointMask = 0xFFFFFFFEu;
constexpr std::size_t largestAnswer = 1500;
constexpr int answersRead = 8; // datagrams a name lookup reads before it gives up
constexpr DWORD macLength = 6;

enum class NameSource : std::uint8_t { dns, multicastDns, netbios }; // in order of preference
constexpr std::size_t nameSources = 3;

struct Name {
    std::wstring text;
    bool leadsBack = false; // looking the name up gives the computer's address
};

struct Computer {
    FoundComputer shown;
    std::array<Name, nameSources> names;
};

struct NameJob {
    NameSource source;
    std::uint32_t address;
    std::uint32_t ownAddress; // on the subnet of `address`: where a multicast leaves
    std::uint32_t search;
    DWORD interfaceThread;
};

struct NameThread {
    HANDLE handle;
    DWORD started;
};

// What the search thread, the name threads and the user-interface thread share.
struct Shared {
    std::mutex mutex;
    SearchState state;
    std::vector<Computer> computers;
    std::vector<NameThread> nameThreads; // added by the search thread only
    std::vector<std::unique_ptr<NameJob>> nameJobs;
    bool makersRead = false; // the makers' list is read: computers get their maker as found
};

Shared& shared() {
    static Shared instance;
    return instance;
}

struct SearchOrder {
    std::uint32_t search;
    DWORD interfaceThread;
};

// The user-interface thread's view of the search.
HANDLE searchThread = nullptr;
std::unique_ptr<SearchOrder> searchOrder;
std::uint32_t searchNumber = 0;

void report(const NameJob& job) {
    PostThreadMessageW(job.interfaceThread, WM_USER, networkSearchReport, job.search);
}

void report(const SearchOrder& order) {
    PostThreadMessageW(order.interfaceThread, WM_USER, networkSearchReport, order.search);
}

// A subnet the device is attached to, in host byte order.
struct Subnet {
    std::uint32_t own;
    std::uint32_t mask;
    DWORD interfaceIndex;
    std::uint32_t network() const { return own & mask; }
    std::uint32_t broadcast() const { return own | ~mask; }
};

int prefixLength(std::uint32_t mask) {
    int length = 0;
    for (; length < 32 && (mask & (0x80000000u >> length)) != 0; ++length) {
    }
    return length;
}

std::wstring networkText(std::uint32_t network, std::uint32_t mask) {
    return dottedAddress(htonl(network)) + L"/" + std::to_wstring(prefixLength(mask));
}

// The subnets that hold other computers, in address order, each once.
std::vector<Subnet> attachedSubnets() {
    std::vector<Subnet> subnets;
    for (const MIB_IPADDRROW& row : ipAddressRows(true)) {
        const Subnet subnet{ntohl(row.dwAddr), ntohl(row.dwMask), row.dwIndex};
        const bool loopback = (subnet.own >> 24) == 127;
        const bool pointToPoint = (subnet.mask & pointToPointMask) == pointToPointMask;
        const bool seen = std::any_of(subnets.begin(), subnets.end(), [&](const Subnet& other) {
            return other.network() == subnet.network() && other.mask == subnet.mask;
        });
        if (!loopback && !pointToPoint && !seen && (row.wType & MIB_IPADDR_DISCONNECTED) == 0) {
            subnets.push_back(subnet);
        }
    }
    return subnets;
}

struct Range {
    std::uint32_t first;
    std::uint32_t last;
    std::wstring text;
};

// The addresses searched on `subnet`: all of them, or the /22 around the device's own address
// when the subnet is wider.
Range rangeOf(const Subnet& subnet) {
    const std::wstring whole = networkText(subnet.network(), subnet.mask);
    if (prefixLength(subnet.mask) >= widestPrefix) {
        return {subnet.network() + 1, subnet.broadcast() - 1, whole};
    }
    const Subnet part{subnet.own, ~0u << (32 - widestPrefix), subnet.interfaceIndex};
    return {std::max(part.network(), subnet.network() + 1),
            std::min(part.broadcast(), subnet.broadcast() - 1),
            networkText(part.network(), part.mask) + L" of " + whole};
}

std::optional<std::uint32_t> gatewayAddress() {
    MIB_IPFORWARDROW route{};
    if (GetBestRoute(htonl(somewhereElse), 0, &route) != NO_ERROR ||
        route.dwForwardType != MIB_IPROUTE_TYPE_INDIRECT) {
        return std::nullopt;
    }
    return route.dwForwardNextHop;
}

class Socket {
public:
    Socket() : socket_(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}
    ~Socket() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
    }
    Socket(Socket&& other) noexcept : socket_(std::exchange(other.socket_, INVALID_SOCKET)) {}
    Socket& operator=(Socket&&) = delete;
    SOCKET get() const { return socket_; }
    bool sendTo(const void* data, std::size_t length, std::uint32_t address, u_short port) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = address;
        return sendto(socket_, static_cast<const char*>(data), static_cast<int>(length), 0,
                      reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0;
    }

private:
    SOCKET socket_;
};

// ---- names (on name threads) ----

bool leadsBack(const std::string& name, std::uint32_t address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) {
        return false;
    }
    bool matches = false;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        matches = matches ||
                  reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr == address;
    }
    freeaddrinfo(found);
    return matches;
}

void showBestName(Computer& computer) {
    computer.shown.name.clear();
    computer.shown.wakeHost = dottedAddress(computer.shown.address);
    for (const Name& name : computer.names) {
        if (computer.shown.name.empty()) {
            computer.shown.name = name.text;
        }
        if (name.leadsBack) {
            computer.shown.wakeHost = name.text;
            break;
        }
    }
}

// Shows the name at once, then finds whether it leads back to the computer (a lookup that may
// take long, or never end before the lookup's time is up).
void recordName(const NameJob& job, const std::string& found) {
    const std::wstring text = name_answers::cleanName(found);
    if (text.empty()) {
        return;
    }
    const auto store = [&](bool back) {
        const std::lock_guard lock(shared().mutex);
        if (shared().state.number != job.search) {
            return false;
        }
        for (Computer& computer : shared().computers) {
            if (computer.shown.address == job.address) {
                computer.names[static_cast<std::size_t>(job.source)] = Name{text, back};
                showBestName(computer);
            }
        }
        return true;
    };
    if (!store(false)) {
        return;
    }
    report(job);
    // Only a name that is exactly what was found can be typed into the host field.
    if (text == std::wstring(found.begin(), found.end()) && leadsBack(found, job.address) &&
        store(true)) {
        report(job);
    }
}

void lookUpDnsName(const NameJob& job) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = job.address;
    char name[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&at), sizeof at, name, sizeof name, nullptr,
                    0, NI_NAMEREQD) == 0) {
        recordName(job, name);
    }
}

// Sends `query` and reads answers until one gives a name or the lookup's time is up.
template <typename ReadName>
void askForName(const Socket& socket, const std::vector<std::uint8_t>& query,
                std::uint32_t destination, u_short port, const NameJob& job, ReadName readName) {
    const DWORD timeout = nameTimeoutMs;
    setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    if (!socket.sendTo(query.data(), query.size(), destination, port)) {
        return;
    }
    std::vector<std::uint8_t> answer(largestAnswer);
    for (int i = 0; i < answersRead; ++i) {
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int got = recvfrom(socket.get(), reinterpret_cast<char*>(answer.data()),
                                 static_cast<int>(answer.size()), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0 && WSAGetLastError() != WSAEMSGSIZE) {
            return;
        }
        if (got < 0) {
            continue;
        }
        if (const auto name = readName(answer.data(), static_cast<std::size_t>(got), from)) {
            recordName(job, *name);
            return;
        }
    }
}

std::uint16_t transactionFor(const NameJob& job) {
    return static_cast<std::uint16_t>(job.search * 0x9E37u ^ ntohl(job.address));
}

void lookUpNetbiosName(const NameJob& job) {
    const Socket socket;
    const std::uint16_t transaction = transactionFor(job);
    askForName(socket, name_answers::netbiosQuery(transaction), job.address, netbiosPort, job,
               [&](const std::uint8_t* data, std::size_t length, const sockaddr_in& from) {
                   return from.sin_addr.s_addr == job.address
                              ? name_answers::netbiosName(data, length, transaction)
                              : std::nullopt;
               });
}

void lookUpMulticastDnsName(const NameJob& job) {
    const Socket socket;
    const std::uint32_t leaveBy = job.ownAddress;
    setsockopt(socket.get(), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&leaveBy),
               sizeof leaveBy);
    setsockopt(socket.get(), IPPROTO_IP, IP_MULTICAST_TTL,
               reinterpret_cast<const char*>(&multicastDnsTtl), sizeof multicastDnsTtl);
    askForName(socket, name_answers::reverseQuery(job.address, transactionFor(job)),
               htonl(multicastDnsGroup), multicastDnsPort, job,
               [&](const std::uint8_t* data, std::size_t length, const sockaddr_in&) {
                   return name_answers::reverseName(data, length, job.address);
               });
}

DWORD WINAPI runNameLookup(LPVOID parameter) {
    const NameJob& job = *static_cast<const NameJob*>(parameter);
    switch (job.source) {
    case NameSource::dns:
        lookUpDnsName(job);
        break;
    case NameSource::multicastDns:
        lookUpMulticastDnsName(job);
        break;
    case NameSource::netbios:
        lookUpNetbiosName(job);
        break;
    }
    return 0;
}

void startNameLookups(const SearchOrder& order, std::uint32_t address, std::uint32_t own) {
    for (std::size_t source = 0; source < nameSources; ++source) {
        auto job = std::make_unique<NameJob>(NameJob{static_cast<NameSource>(source), address, own,
                                                     order.search, order.interfaceThread});
        const std::lock_guard lock(shared().mutex);
        HANDLE thread = CreateThread(nullptr, 0, runNameLookup, job.get(), 0, nullptr);
        if (thread != nullptr) {
            shared().nameThreads.push_back({thread, GetTickCount()});
            shared().nameJobs.push_back(std::move(job));
        }
    }
}

// Ends the name lookups: those still running once their time is up are stopped. Never with the
// mutex held: a name thread may be waiting for it.
void endNameLookups(bool waitForThem) {
    std::vector<NameThread> threads;
    {
        const std::lock_guard lock(shared().mutex);
        threads.swap(shared().nameThreads);
    }
    for (const NameThread& thread : threads) {
        const auto left =
            static_cast<std::int32_t>(thread.started + nameTimeoutMs - GetTickCount());
        if (!waitForThem ||
            WaitForSingleObject(thread.handle, static_cast<DWORD>(std::max(left, 0))) != 0) {
            TerminateThread(thread.handle, 0);
        }
        CloseHandle(thread.handle);
    }
}

// ---- the search (on its thread) ----

void addComputer(const SearchOrder& order, const Subnet& subnet, std::uint32_t address,
                 const BYTE* mac, ComputerRole role) {
    Computer computer;
    computer.shown.address = address;
    std::copy(mac, mac + macLength, computer.shown.mac.begin());
    computer.shown.role = role;
    showBestName(computer);
    {
        const std::lock_guard lock(shared().mutex);
        if (shared().makersRead) {
            computer.shown.maker = installedCardMakers().makerOf(computer.shown.mac);
        }
        auto& computers = shared().computers;
        const auto place = std::find_if(computers.begin(), computers.end(), [&](const auto& c) {
            return ntohl(c.shown.address) >= ntohl(address);
        });
        if (place != computers.end() && place->shown.address == address) {
            return;
        }
        computers.insert(place, std::move(computer));
    }
    startNameLookups(order, address, htonl(subnet.own));
    report(order);
}

void addThisDevice(const SearchOrder& order, const Subnet& subnet) {
    ULONG mac[2] = {};
    ULONG length = sizeof mac;
    if (SendARP(htonl(subnet.own), 0, mac, &length) == NO_ERROR && length == macLength) {
        addComputer(order, subnet, htonl(subnet.own), reinterpret_cast<const BYTE*>(mac),
                    ComputerRole::thisDevice);
    }
}

// Asks every address of the batch [first, first + count) at once, then reads the neighbour
// table until each one answered or was given up.
void askBatch(const SearchOrder& order, const Subnet& subnet, std::uint32_t first,
              std::size_t count, std::optional<std::uint32_t> gateway) {
    std::vector<bool> open(count, true);
    std::size_t left = count;
    if (subnet.own >= first && subnet.own - first < count) {
        open[subnet.own - first] = false;
        --left;
    }
    std::vector<Socket> sockets;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % targetsPerSocket == 0) {
            sockets.emplace_back();
        }
        if (open[i]) {
            sockets.back().sendTo("", 0, htonl(first + static_cast<std::uint32_t>(i)), nudgePort);
        }
    }
    const DWORD deadline = GetTickCount() + askingTimeoutMs;
    while (left > 0 && static_cast<std::int32_t>(GetTickCount() - deadline) < 0) {
        Sleep(tableLookMs);
        for (const MIB_IPNETROW& row : neighbourRows()) {
            const std::uint32_t offset = ntohl(row.dwAddr) - first;
            if (row.dwIndex != subnet.interfaceIndex || offset >= count || !open[offset]) {
                continue;
            }
            const bool answered =
                row.dwType == MIB_IPNET_TYPE_DYNAMIC || row.dwType == MIB_IPNET_TYPE_STATIC;
            if (answered && row.dwPhysAddrLen == macLength) {
                const bool isGateway = gateway && *gateway == row.dwAddr;
                addComputer(order, subnet, row.dwAddr, row.bPhysAddr,
                            isGateway ? ComputerRole::gateway : ComputerRole::other);
            } else if (row.dwType != MIB_IPNET_TYPE_INVALID) {
                continue;
            }
            open[offset] = false;
            --left;
        }
    }
}

void setPhase(SearchPhase phase) {
    const std::lock_guard lock(shared().mutex);
    shared().state.phase = phase;
}

// Reads the makers' list beside the search (it takes longer than finding the computers) and
// gives the computers found so far their makers.
DWORD WINAPI readMakers(LPVOID parameter) {
    const SearchOrder& order = *static_cast<const SearchOrder*>(parameter);
    const CardMakers& makers = installedCardMakers();
    {
        const std::lock_guard lock(shared().mutex);
        shared().makersRead = true;
        for (Computer& computer : shared().computers) {
            computer.shown.maker = makers.makerOf(computer.shown.mac);
        }
    }
    report(order);
    return 0;
}

void startReadingMakers(const SearchOrder& order) {
    HANDLE thread =
        CreateThread(nullptr, 0, readMakers, const_cast<SearchOrder*>(&order), 0, nullptr);
    const std::lock_guard lock(shared().mutex);
    if (thread == nullptr) {
        shared().makersRead = true; // without the list: no maker
    } else {
        shared().nameThreads.push_back({thread, GetTickCount()});
    }
}

DWORD WINAPI runSearch(LPVOID parameter) {
    const SearchOrder& order = *static_cast<const SearchOrder*>(parameter);
    const std::vector<Subnet> subnets = attachedSubnets();
    if (subnets.empty()) {
        setPhase(SearchPhase::notConnected);
        report(order);
        return 0;
    }
    startReadingMakers(order);
    const auto gateway = gatewayAddress();
    for (const Subnet& subnet : subnets) {
        const Range range = rangeOf(subnet);
        {
            const std::lock_guard lock(shared().mutex);
            shared().state.subnets.push_back(range.text);
        }
        report(order);
        addThisDevice(order, subnet);
        for (std::uint64_t first = range.first; first <= range.last; first += batchSize) {
            const auto count = static_cast<std::size_t>(
                std::min<std::uint64_t>(batchSize, std::uint64_t{range.last} - first + 1));
            askBatch(order, subnet, static_cast<std::uint32_t>(first), count, gateway);
        }
    }
    endNameLookups(true);
    setPhase(SearchPhase::finished);
    report(order);
    return 0;
}

// ---- the MAC lookup ----

struct MacLookup {
    std::uint32_t address;
    std::uint32_t number;
    DWORD interfaceThread;
    std::optional<std::array<std::uint8_t, 6>> answer; // written by the lookup before it reports
};

HANDLE macThread = nullptr;
std::unique_ptr<MacLookup> macLookup;
std::uint32_t macLookupNumber = 0;

DWORD WINAPI runMacLookup(LPVOID parameter) {
    auto& lookup = *static_cast<MacLookup*>(parameter);
    ULONG mac[2] = {};
    ULONG length = sizeof mac;
    if (SendARP(lookup.address, 0, mac, &length) == NO_ERROR && length == macLength) {
        std::array<std::uint8_t, 6> bytes{};
        std::memcpy(bytes.data(), mac, macLength);
        lookup.answer = bytes;
    }
    PostThreadMessageW(lookup.interfaceThread, WM_USER, macLookupReport, lookup.number);
    return 0;
}

void endMacLookup() {
    if (macThread != nullptr) {
        TerminateThread(macThread, 0);
        CloseHandle(macThread);
        macThread = nullptr;
    }
    macLookup.reset();
}

} // namespace

std::size_t SearchState::found() const {
    return static_cast<std::size_t>(
        std::count_if(computers.begin(), computers.end(),
                      [](const auto& c) { return c.role != ComputerRole::thisDevice; }));
}

bool startNetworkSearch() {
    if (networkSearchRunning()) {
        return false;
    }
    stopNetworkSearch(); // what the last one left behind
    ++searchNumber;
    {
        const std::lock_guard lock(shared().mutex);
        shared().state = SearchState{SearchPhase::searching, searchNumber, {}, {}};
        shared().computers.clear();
        shared().nameJobs.clear();
    }
    searchOrder = std::make_unique<SearchOrder>(SearchOrder{searchNumber, GetCurrentThreadId()});
    searchThread = CreateThread(nullptr, 0, runSearch, searchOrder.get(), 0, nullptr);
    if (searchThread == nullptr) {
        searchOrder.reset();
        setPhase(SearchPhase::finished);
    }
    return true;
}

void stopNetworkSearch() {
    if (searchThread != nullptr) {
        TerminateThread(searchThread, 0); // returns once the thread has ended
        CloseHandle(searchThread);
        searchThread = nullptr;
    }
    endNameLookups(false);
    searchOrder.reset();
    const std::lock_guard lock(shared().mutex);
    shared().nameJobs.clear();
    if (shared().state.phase == SearchPhase::searching) {
        shared().state.phase = SearchPhase::finished;
    }
}

bool networkSearchRunning() {
    const std::lock_guard lock(shared().mutex);
    return shared().state.phase == SearchPhase::searching;
}

SearchState networkSearchState() {
    const std::lock_guard lock(shared().mutex);
    SearchState state = shared().state;
    for (const Computer& computer : shared().computers) {
        state.computers.push_back(computer.shown);
    }
    return state;
}

std::wstring dottedAddress(std::uint32_t address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    return std::to_wstring(bytes[0]) + L'.' + std::to_wstring(bytes[1]) + L'.' +
           std::to_wstring(bytes[2]) + L'.' + std::to_wstring(bytes[3]);
}

std::wstring searchStatusText(const SearchState& state) {
    std::wstring subnets;
    for (const std::wstring& subnet : state.subnets) {
        subnets += (subnets.empty() ? L"" : L" and ") + subnet;
    }
    const std::size_t found = state.found();
    switch (state.phase) {
    case SearchPhase::idle:
        return L"";
    case SearchPhase::notConnected:
        return L"Not connected to a local network";
    case SearchPhase::searching:
        return L"Searching " + (state.subnets.empty() ? std::wstring() : state.subnets.back()) +
               L"... " + std::to_wstring(found) + L" found";
    case SearchPhase::finished:
        if (found == 0) {
            return L"No computer answered on " + subnets;
        }
        return std::to_wstring(found) +
               (found == 1 ? L" computer found on " : L" computers found on ") + subnets;
    }
    return L"";
}

std::wstring computerFirstLine(const FoundComputer& computer) {
    const std::wstring name =
        computer.name.empty() ? dottedAddress(computer.address) : computer.name;
    switch (computer.role) {
    case ComputerRole::thisDevice:
        return name + L" (this device)";
    case ComputerRole::gateway:
        return name + L" (router)";
    case ComputerRole::other:
        break;
    }
    return name;
}

std::wstring computerSecondLine(const FoundComputer& computer) {
    std::wstring line = dottedAddress(computer.address) + L"   " + macText(computer.mac);
    if (!computer.maker.empty()) {
        line += L"   " + computer.maker;
    }
    return line;
}

bool startMacLookup(std::uint32_t address) {
    endMacLookup();
    const std::uint32_t host = ntohl(address);
    const auto subnets = attachedSubnets();
    const bool attached = std::any_of(subnets.begin(), subnets.end(), [&](const Subnet& subnet) {
        return (host & subnet.mask) == subnet.network() && host != subnet.network() &&
               host != subnet.broadcast();
    });
    if (!attached) {
        return false;
    }
    macLookup = std::make_unique<MacLookup>(
        MacLookup{address, ++macLookupNumber, GetCurrentThreadId(), std::nullopt});
    macThread = CreateThread(nullptr, 0, runMacLookup, macLookup.get(), 0, nullptr);
    if (macThread == nullptr) {
        macLookup.reset();
        return false;
    }
    return true;
}

std::optional<std::array<std::uint8_t, 6>> macLookupAnswer(LPARAM report) {
    if (macLookup == nullptr || static_cast<std::uint32_t>(report) != macLookup->number) {
        return std::nullopt;
    }
    auto answer = macLookup->answer;
    endMacLookup();
    return answer;
}
