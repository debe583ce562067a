// The computers the program has sent a packet to, newest first, and their registry form.
//
// They are kept in the subkey SOFTWARE\Dawnbell\RecentComputers, one REG_SZ value per computer,
// named computer1 to computer10 by the slot it occupies. Its text is
//   <order> <MAC> <port> <host>[ <name>=<value>]...
// (the port may be empty; the host holds no blank): the highest order is the newest computer.
// After the host come the facts kept with the computer, each named and each only when it has one:
//   password=<text>  the SecureOn password it was last sent with, as typed
//   answered=<MAC>   the MAC address the host answered with when it was last seen awake
// Rows written before there were any have none; a part of an unknown name (a newer version's)
// or a value that can't be read is passed over, and the row is read without it. A text that ends in
// NULs (as regedit writes one) is read without them; of two copies of one computer the older is
// deleted when the list is read; a list whose orders come near the end of their range is numbered
// again from 1 when it is read. Every change of the list is one registry write of one value, which
// the registry makes atomic, so a program killed while it saves the list finds each computer that
// was there before it, whole, at the next start.
//
// The texts are the ones the user typed, blanks around them taken off. The same host (letter
// case aside), MAC address and port make one computer, however the MAC was written; its
// password is the one it was last sent with.
#pragma once

#include "SettingsStore.h"
#include "WakePacket.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class RecentComputers {
public:
    static constexpr std::size_t maxRows = 10;
    static constexpr const wchar_t* keyPath = L"SOFTWARE\\Dawnbell\\RecentComputers";
    // The longest stored text that is read, in characters: order, MAC, port and host with the
    // three blanks between them, and room for the facts after them.
    static constexpr std::size_t factsCapacity = 256;
    static constexpr std::size_t textCapacity = 20 + 1 + SettingsKey::macCapacity + 1 +
                                                SettingsKey::portCapacity + 1 +
                                                SettingsKey::hostCapacity + factsCapacity;

    // Reads the stored list. An entry that can't be read (not a text, too long, damaged) is left
    // out and its slot taken by the next computer; the entries left out are named once on
    // standard error.
    void load();
    // Newest first, at most maxRows.
    const std::vector<StoredFields>& rows() const { return rows_; }

    // After a packet left for `target`: it becomes the first row, moved there if it was in the
    // list; when the list is full the oldest row goes. The list is read again first: the
    // command line and a second screen change it too. False if the store refused the change
    // or the texts can't be kept (the list on screen changes all the same, unless the texts
    // can't be kept).
    bool remember(const StoredFields& target);
    // Removes the row's computer from the list as stored now; false if there is no such row or
    // the store refused the change.
    bool forget(std::size_t row);

    // The MAC address `host` answered with when it was last seen awake, as kept with its rows
    // (letter case aside); nothing when no row of it has one.
    std::optional<MacAddress> answeredMac(const std::wstring& host) const;
    // After `host` was seen answering with `mac`: kept with every row of that host, in the list
    // as stored now, unless `overKept` is false and the row keeps one already. True when rows
    // were written (the list was read again first); nothing is written where rows hold it.
    bool noteAnswer(const std::wstring& host, const MacAddress& mac, bool overKept = true);

private:
    struct Slot {
        std::uint64_t order = 0;
        std::size_t number = 0; // 0 to maxRows - 1
        std::optional<MacAddress> answered;
    };
    void renumber();
    std::size_t freeSlot() const;
    bool store(const StoredFields& fields, const Slot& slot);

    std::vector<StoredFields> rows_; // newest first
    std::vector<Slot> slots_;        // in step with rows_
    std::uint64_t nextOrder_ = 1;
};

// The text a row shows below the host: the MAC address and the port (the default port when the
// port text is empty).
std::wstring recentDetailText(const StoredFields& row);
