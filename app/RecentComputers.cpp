#include "RecentComputers.h"

#include "WakePacket.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <string_view>

namespace {

constexpr std::size_t orderDigitsMax = 20; // the largest 64-bit number
// Orders grow by one per send. A list whose newest order is above this (written by hand, or by
// a broken tool) is numbered again from 1: near the end of the range no newer order would fit.
constexpr std::uint64_t highestOrderKept = std::uint64_t{1} << 62;

std::wstring valueName(std::size_t slot) {
    return L"computer" + std::to_wstring(slot + 1);
}

std::wstring trimmed(const std::wstring& text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    auto first = std::find_if_not(text.begin(), text.end(), blank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::wstring(first, last) : std::wstring();
}

bool hasBlank(const std::wstring& text) {
    return text.find_first_of(L" \t") != std::wstring::npos;
}

// Texts that could have been sent and can go back into the fields.
bool keepable(const StoredFields& fields) {
    return !fields.host.empty() && fields.host.size() <= SettingsKey::hostCapacity &&
           fields.mac.size() <= SettingsKey::macCapacity &&
           fields.port.size() <= SettingsKey::portCapacity && !hasBlank(fields.mac) &&
           !hasBlank(fields.port) && fields.password.size() <= SettingsKey::passwordCapacity &&
           !hasBlank(fields.password) && parseMacAddress(fields.mac).has_value() &&
           parsePort(fields.port).has_value() && parseSecureOnPassword(fields.password) &&
           hostForLookup(fields.host).has_value();
}

std::wstring foldedHost(const std::wstring& host) {
    std::wstring folded = host;
    for (wchar_t& c : folded) {
        if (c < 0x80) {
            c = static_cast<wchar_t>(std::towlower(c));
        }
    }
    return folded;
}

bool sameComputer(const StoredFields& a, const StoredFields& b) {
    return foldedHost(a.host) == foldedHost(b.host) &&
           parseMacAddress(a.mac) == parseMacAddress(b.mac) &&
           parsePort(a.port) == parsePort(b.port);
}

struct StoredRow {
    std::uint64_t order = 0;
    StoredFields fields;
    std::optional<MacAddress> answered;
};

constexpr std::wstring_view answeredPart = L"answered=";
constexpr std::wstring_view passwordPart = L"password=";

// The facts after the host: " <name>=<value>" each.
void readFacts(std::wstring_view facts, StoredRow& row) {
    while (!facts.empty()) {
        facts.remove_prefix(1); // the blank before each
        const std::wstring_view part = facts.substr(0, facts.find(L' '));
        facts.remove_prefix(part.size());
        if (part.starts_with(answeredPart)) {
            row.answered = parseMacAddress(part.substr(answeredPart.size()));
        } else if (part.starts_with(passwordPart)) {
            StoredFields withPassword = row.fields;
            withPassword.password = part.substr(passwordPart.size());
            if (keepable(withPassword)) {
                row.fields = withPassword;
            }
        }
    }
}

// "<order> <MAC> <port> <host>" and the facts; nothing if the text is not one that remember
// writes.
std::optional<StoredRow> parseRow(std::wstring_view text) {
    StoredRow row;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9') {
        ++digits;
    }
    if (digits == 0 || digits > orderDigitsMax || digits == text.size() || text[digits] != L' ') {
        return std::nullopt;
    }
    std::uint64_t order = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - L'0');
        if (order > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        order = order * 10 + digit;
    }
    text.remove_prefix(digits + 1);
    const std::size_t macEnd = text.find(L' ');
    if (macEnd == std::wstring_view::npos) {
        return std::nullopt;
    }
    const std::size_t portEnd = text.find(L' ', macEnd + 1);
    if (portEnd == std::wstring_view::npos) {
        return std::nullopt;
    }
    row.order = order;
    row.fields.mac = text.substr(0, macEnd);
    row.fields.port = text.substr(macEnd + 1, portEnd - macEnd - 1);
    const std::wstring_view rest = text.substr(portEnd + 1);
    const std::size_t hostEnd = std::min(rest.find(L' '), rest.size());
    row.fields.host = rest.substr(0, hostEnd);
    if (!keepable(row.fields) || trimmed(row.fields.host) != row.fields.host) {
        return std::nullopt;
    }
    readFacts(rest.substr(hostEnd), row);
    return row;
}

std::wstring rowText(const StoredRow& row) {
    std::wstring text = std::to_wstring(row.order) + L" " + row.fields.mac + L" " +
                        row.fields.port + L" " + row.fields.host;
    if (!row.fields.password.empty()) {
        text += L" " + std::wstring(passwordPart) + row.fields.password;
    }
    if (row.answered) {
        text += L" " + std::wstring(answeredPart) + macText(*row.answered);
    }
    return text;
}

class RecentKey {
public:
    RecentKey() {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, RecentComputers::keyPath, 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~RecentKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    RecentKey(const RecentKey&) = delete;
    RecentKey& operator=(const RecentKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

enum class Entry { missing, damaged, read };

Entry readEntry(HKEY key, std::size_t slot, StoredRow& row) {
    std::wstring buffer(RecentComputers::textCapacity + 1, L'\0'); // and a terminator
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(WCHAR));
    const LONG result = RegQueryValueExW(key, valueName(slot).c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        return Entry::missing;
    }
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return Entry::damaged;
    }
    buffer.resize(size / sizeof(WCHAR));
    // A text written by regedit or another tool carries its terminating NUL.
    while (!buffer.empty() && buffer.back() == L'\0') {
        buffer.pop_back();
    }
    std::optional<StoredRow> parsed = parseRow(buffer);
    if (!parsed) {
        return Entry::damaged;
    }
    row = *parsed;
    return Entry::read;
}

} // namespace

void RecentComputers::load() {
    rows_.clear();
    slots_.clear();
    nextOrder_ = 1;
    RecentKey key;
    if (key.get() == nullptr) {
        return;
    }
    struct Found {
        StoredRow row;
        std::size_t slot;
    };
    std::vector<Found> found;
    std::wstring leftOut;
    for (std::size_t slot = 0; slot < maxRows; ++slot) {
        StoredRow row;
        switch (readEntry(key.get(), slot, row)) {
        case Entry::read:
            found.push_back({row, slot});
            nextOrder_ = std::max(nextOrder_, row.order + 1);
            break;
        case Entry::damaged:
            leftOut += (leftOut.empty() ? L"" : L", ") + valueName(slot);
            break;
        case Entry::missing:
            break;
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.row.order > b.row.order; });
    for (const Found& entry : found) {
        const bool known = std::any_of(rows_.begin(), rows_.end(), [&](const StoredFields& row) {
            return sameComputer(row, entry.row.fields);
        });
        if (!known) {
            rows_.push_back(entry.row.fields);
            slots_.push_back({entry.row.order, entry.slot, entry.row.answered});
        } else {
            // An older copy of a computer goes: forgetting the computer must not bring it back.
            RegDeleteValueW(key.get(), valueName(entry.slot).c_str());
        }
    }
    if (!slots_.empty() && slots_.front().order > highestOrderKept) {
        renumber();
    }
    if (!leftOut.empty()) {
        std::fprintf(stderr,
                     "Dawnbell: recent computers that could not be read are left out: %ls\n",
                     leftOut.c_str());
    }
}

// Oldest first, one value at a time: a program killed meanwhile finds the rows renumbered so far
// at 1 to k, below the newer ones, which still hold their orders.
void RecentComputers::renumber() {
    for (std::size_t row = rows_.size(); row-- > 0;) {
        slots_[row].order = rows_.size() - row;
        store(rows_[row], slots_[row]);
    }
    nextOrder_ = rows_.size() + 1;
}

std::size_t RecentComputers::freeSlot() const {
    for (std::size_t number = 0; number < maxRows; ++number) {
        const bool taken = std::any_of(slots_.begin(), slots_.end(),
                                       [&](const Slot& slot) { return slot.number == number; });
        if (!taken) {
            return number;
        }
    }
    return slots_.back().number; // full: the oldest row's
}

bool RecentComputers::store(const StoredFields& fields, const Slot& slot) {
    RecentKey key;
    const std::wstring text = rowText({slot.order, fields, slot.answered});
    return key.get() != nullptr &&
           RegSetValueExW(key.get(), valueName(slot.number).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size() * sizeof(WCHAR))) == ERROR_SUCCESS;
}

bool RecentComputers::remember(const StoredFields& target) {
    const StoredFields fields{trimmed(target.host), trimmed(target.mac), trimmed(target.port),
                              trimmed(target.password)};
    if (!keepable(fields)) {
        return false;
    }
    load(); // the command line or another screen may have changed the list since
    if (!rows_.empty() && rows_.front() == fields) {
        return true; // already the newest, as typed: nothing to write
    }
    // A new row of a known host starts with what the host answered with.
    Slot slot{nextOrder_++, 0, answeredMac(fields.host)};
    const auto same = std::find_if(rows_.begin(), rows_.end(), [&](const StoredFields& row) {
        return sameComputer(row, fields);
    });
    if (same != rows_.end()) {
        const auto index = same - rows_.begin();
        slot.number = slots_[static_cast<std::size_t>(index)].number;
        slot.answered = slots_[static_cast<std::size_t>(index)].answered;
        rows_.erase(same);
        slots_.erase(slots_.begin() + index);
    } else {
        slot.number = freeSlot();
        if (rows_.size() == maxRows) {
            rows_.pop_back();
            slots_.pop_back();
        }
    }
    rows_.insert(rows_.begin(), fields);
    slots_.insert(slots_.begin(), slot);
    return store(fields, slot);
}

bool RecentComputers::forget(std::size_t row) {
    if (row >= rows_.size()) {
        return false;
    }
    // The computer, wherever the list as stored now keeps it.
    const StoredFields gone = rows_[row];
    load();
    const auto stored = std::find_if(rows_.begin(), rows_.end(), [&](const StoredFields& kept) {
        return sameComputer(kept, gone);
    });
    if (stored == rows_.end()) {
        return true;
    }
    const auto index = stored - rows_.begin();
    const std::size_t number = slots_[static_cast<std::size_t>(index)].number;
    rows_.erase(stored);
    slots_.erase(slots_.begin() + index);
    RecentKey key;
    return key.get() != nullptr &&
           RegDeleteValueW(key.get(), valueName(number).c_str()) == ERROR_SUCCESS;
}

std::optional<MacAddress> RecentComputers::answeredMac(const std::wstring& host) const {
    const std::wstring folded = foldedHost(trimmed(host));
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (slots_[i].answered && foldedHost(rows_[i].host) == folded) {
            return slots_[i].answered;
        }
    }
    return std::nullopt;
}

bool RecentComputers::noteAnswer(const std::wstring& host, const MacAddress& mac, bool overKept) {
    const std::wstring folded = foldedHost(trimmed(host));
    const auto stale = [&](std::size_t i) {
        return foldedHost(rows_[i].host) == folded && slots_[i].answered != mac &&
               (overKept || !slots_[i].answered);
    };
    // Looked at as loaded first: a search notes every computer it finds, again and again.
    bool anyStale = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        anyStale = anyStale || stale(i);
    }
    if (!anyStale) {
        return false;
    }
    load();
    bool written = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (stale(i)) {
            slots_[i].answered = mac;
            written = store(rows_[i], slots_[i]) || written;
        }
    }
    return written;
}

std::wstring recentDetailText(const StoredFields& row) {
    const std::wstring port = row.port.empty() ? std::to_wstring(defaultWakePort) : row.port;
    return row.mac + L"   port " + port;
}
