// The network search: every IPv4 subnet the device is directly attached to is searched for the
// computers on it, with their MAC addresses, their names and the makers of their cards, so that
// nobody has to type a MAC address. Each address is asked once (an empty UDP datagram makes the
// kernel ask for its hardware address) and the neighbour table (GetIpNetTable) tells who
// answered; names are looked up as each computer answers. It runs on a thread of its own and
// reports to the user-interface thread as thread messages; whoever shows it reads its state
// then. Start, stop and the state are called on the user-interface thread. Only a user's tap
// starts a search; under loopback confinement it finds nothing and sends nothing.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Tunables of the search.
namespace network_search {
// Addresses asked at once: the kernel's neighbour table holds 1,024 entries and silently drops
// the rest, so a batch is answered (or given up) before the next is asked.
inline constexpr std::size_t batchSize = 256;
// Addresses per socket: a socket holds about 260 datagrams waiting for their neighbour.
inline constexpr std::size_t targetsPerSocket = 200;
// A subnet wider than this prefix is searched only in the /22 around the device's own address.
inline constexpr int widestPrefix = 22;
inline constexpr DWORD tableLookMs = 5; // the neighbour table is read this often
// The kernel gives up on a silent address after three requests a second apart.
inline constexpr DWORD askingTimeoutMs = 3500;
inline constexpr DWORD nameTimeoutMs = 1000; // each name lookup
} // namespace network_search

// Thread messages (WM_USER, no window) from the search to the user-interface thread.
inline constexpr WPARAM networkSearchReport = 1290; // lParam: the search's number
inline constexpr WPARAM macLookupReport = 1291;     // lParam: the lookup's number

enum class ComputerRole : std::uint8_t { other, thisDevice, gateway };

struct FoundComputer {
    std::uint32_t address = 0; // network byte order
    std::array<std::uint8_t, 6> mac{};
    ComputerRole role = ComputerRole::other;
    std::wstring name; // the best name found so far, cleaned; empty while there is none
    std::wstring maker;
    // What a tap puts in the host field: the name when it leads back to this address, else the
    // address.
    std::wstring wakeHost;
};

enum class SearchPhase : std::uint8_t { idle, searching, finished, notConnected };

struct SearchState {
    SearchPhase phase = SearchPhase::idle;
    std::uint32_t number = 0;             // of the search it tells about
    std::vector<std::wstring> subnets;    // searched so far, the last one being searched
    std::vector<FoundComputer> computers; // in address order
    std::size_t found() const;            // the computers other than this device
};

// Starts a search; false (and nothing happens) while one runs.
bool startNetworkSearch();
// Ends the running search, if any, at once; what it found stays.
void stopNetworkSearch();
bool networkSearchRunning();
// The search as it is now.
SearchState networkSearchState();

// Texts of the search.
std::wstring searchStatusText(const SearchState& state);
std::wstring computerFirstLine(const FoundComputer& computer);
std::wstring computerSecondLine(const FoundComputer& computer);
std::wstring dottedAddress(std::uint32_t address);

// Asks for the MAC address of `address` (network byte order) when it lies on a directly
// attached subnet; false when it does not (nothing is asked). A lookup still running is ended.
bool startMacLookup(std::uint32_t address);
// The answer of the lookup a macLookupReport tells of; nothing when it is not the latest
// lookup's, or nothing answered.
std::optional<std::array<std::uint8_t, 6>> macLookupAnswer(LPARAM report);
