#include "NameAnswers.h"

#include <algorithm>
#include <array>

namespace name_answers {
namespace {

constexpr std::uint16_t typePtr = 12;
constexpr std::uint16_t typeNodeStatus = 0x21;
constexpr std::uint16_t classInternet = 1;
constexpr std::uint16_t unicastAnswerBit = 0x8000; // in a multicast question's class
constexpr std::uint16_t cacheFlushBit = 0x8000;    // in a multicast answer's class
constexpr std::uint16_t responseBit = 0x8000;
constexpr std::size_t netbiosNameBytes = 15;
constexpr std::size_t nodeNameEntryBytes = 18; // name, suffix, flags
constexpr std::uint8_t workstationSuffix = 0x00;
constexpr std::uint16_t groupNameBit = 0x8000;
constexpr std::size_t longestDnsName = 255;
constexpr char32_t replacement = U'\uFFFD';

// Reads the message front to back; every read is checked against its end.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t length) : data_(data), length_(length) {}
    bool u8(std::uint8_t& value) {
        if (at_ >= length_) {
            return false;
        }
        value = data_[at_++];
        return true;
    }
    bool u16(std::uint16_t& value) {
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        if (!u8(high) || !u8(low)) {
            return false;
        }
        value = static_cast<std::uint16_t>(high << 8 | low);
        return true;
    }
    bool skip(std::size_t bytes) {
        if (length_ - at_ < bytes) {
            return false;
        }
        at_ += bytes;
        return true;
    }
    std::size_t at() const { return at_; }
    void moveTo(std::size_t at) { at_ = at; }
    const std::uint8_t* data() const { return data_; }
    std::size_t length() const { return length_; }

private:
    const std::uint8_t* data_;
    std::size_t length_;
    std::size_t at_ = 0;
};

// Reads a (possibly compressed) domain name at the reader's place, leaving the reader after it;
// dotted, without the final dot. A pointer may only lead backwards, so a name ends.
bool readName(Reader& reader, std::string& name) {
    name.clear();
    std::size_t at = reader.at();
    std::size_t resumeAt = 0;
    bool jumped = false;
    for (;;) {
        if (at >= reader.length()) {
            return false;
        }
        const std::uint8_t length = reader.data()[at];
        if (length == 0) {
            reader.moveTo(jumped ? resumeAt : at + 1);
            return true;
        }
        if ((length & 0xC0) == 0xC0) {
            if (at + 1 >= reader.length()) {
                return false;
            }
            const std::size_t target = (std::size_t{length & 0x3Fu} << 8) | reader.data()[at + 1];
            if (target >= at) {
                return false;
            }
            if (!jumped) {
                resumeAt = at + 2;
                jumped = true;
            }
            at = target;
            continue;
        }
        if ((length & 0xC0) != 0 || reader.length() - at - 1 < length) {
            return false;
        }
        if (!name.empty()) {
            name += '.';
        }
        name.append(reinterpret_cast<const char*>(reader.data() + at + 1), length);
        if (name.size() > longestDnsName) {
            return false;
        }
        at += 1 + length;
    }
}

void put16(std::vector<std::uint8_t>& message, std::uint16_t value) {
    message.push_back(static_cast<std::uint8_t>(value >> 8));
    message.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::vector<std::uint8_t> header(std::uint16_t transaction) {
    std::vector<std::uint8_t> message;
    put16(message, transaction);
    put16(message, 0); // a standard query
    put16(message, 1); // one question
    put16(message, 0);
    put16(message, 0);
    put16(message, 0);
    return message;
}

std::string reverseNameOf(std::uint32_t address) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    std::string name;
    for (int i = 3; i >= 0; --i) {
        name += std::to_string(bytes[i]) + '.';
    }
    return name + "in-addr.arpa";
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

struct Record {
    std::string name;
    std::uint16_t type = 0;
    std::uint16_t klass = 0;
    std::size_t dataAt = 0;
    std::uint16_t dataLength = 0;
};

bool readRecord(Reader& reader, Record& record) {
    std::uint16_t timeHigh = 0;
    std::uint16_t timeLow = 0;
    if (!readName(reader, record.name) || !reader.u16(record.type) || !reader.u16(record.klass) ||
        !reader.u16(timeHigh) || !reader.u16(timeLow) || !reader.u16(record.dataLength)) {
        return false;
    }
    record.dataAt = reader.at();
    return reader.skip(record.dataLength);
}

struct Counts {
    std::uint16_t questions = 0;
    std::uint16_t records = 0; // answers, authority and additional records together
};

// The header of an answer; false if it is not one, or not to `transaction` when one is given.
bool readAnswerHeader(Reader& reader, Counts& counts, std::optional<std::uint16_t> transaction) {
    std::uint16_t id = 0;
    std::uint16_t flags = 0;
    std::uint16_t answers = 0;
    std::uint16_t authority = 0;
    std::uint16_t additional = 0;
    if (!reader.u16(id) || !reader.u16(flags) || !reader.u16(counts.questions) ||
        !reader.u16(answers) || !reader.u16(authority) || !reader.u16(additional)) {
        return false;
    }
    counts.records = static_cast<std::uint16_t>(
        std::min<unsigned>(0xFFFF, unsigned{answers} + authority + additional));
    return (flags & responseBit) != 0 && (!transaction || id == *transaction);
}

bool skipQuestions(Reader& reader, std::uint16_t count) {
    std::string name;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (!readName(reader, name) || !reader.skip(4)) {
            return false;
        }
    }
    return true;
}

// The NetBIOS form of "*" and fifteen zero bytes: each half byte as a letter from 'A'.
void putWildcardName(std::vector<std::uint8_t>& message) {
    std::array<std::uint8_t, netbiosNameBytes + 1> plain{};
    plain[0] = '*';
    message.push_back(static_cast<std::uint8_t>(plain.size() * 2));
    for (std::uint8_t byte : plain) {
        message.push_back(static_cast<std::uint8_t>('A' + (byte >> 4)));
        message.push_back(static_cast<std::uint8_t>('A' + (byte & 0x0F)));
    }
    message.push_back(0);
}

std::optional<std::string> nodeNameFrom(Reader reader, std::uint16_t dataLength) {
    std::uint8_t count = 0;
    if (dataLength < 1 || !reader.u8(count) ||
        std::size_t{count} * nodeNameEntryBytes > dataLength - 1u) {
        return std::nullopt;
    }
    for (std::uint8_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = reader.data() + reader.at() + i * nodeNameEntryBytes;
        const std::uint8_t suffix = entry[netbiosNameBytes];
        const auto flags = static_cast<std::uint16_t>(entry[netbiosNameBytes + 1] << 8 |
                                                      entry[netbiosNameBytes + 2]);
        if (suffix != workstationSuffix || (flags & groupNameBit) != 0) {
            continue;
        }
        std::string name(reinterpret_cast<const char*>(entry), netbiosNameBytes);
        name.erase(name.find_last_not_of(std::string_view(" \0", 2)) + 1);
        if (!name.empty()) {
            return name;
        }
    }
    return std::nullopt;
}

void append(std::wstring& text, char32_t c) {
    const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
    const bool lineBreak = c == 0x2028 || c == 0x2029;
    const bool bidi = c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
                      (c >= 0x2066 && c <= 0x2069);
    text += static_cast<wchar_t>(control || lineBreak || bidi ? replacement : c);
}

} // namespace

std::vector<std::uint8_t> netbiosQuery(std::uint16_t transaction) {
    std::vector<std::uint8_t> message = header(transaction);
    putWildcardName(message);
    put16(message, typeNodeStatus);
    put16(message, classInternet);
    return message;
}

std::optional<std::string> netbiosName(const std::uint8_t* data, std::size_t length,
                                       std::uint16_t transaction) {
    Reader reader(data, length);
    Counts counts;
    if (!readAnswerHeader(reader, counts, transaction) ||
        !skipQuestions(reader, counts.questions)) {
        return std::nullopt;
    }
    for (std::uint16_t i = 0; i < counts.records; ++i) {
        Record record;
        if (!readRecord(reader, record)) {
            return std::nullopt;
        }
        if (record.type == typeNodeStatus) {
            Reader body(data, record.dataAt + record.dataLength);
            body.moveTo(record.dataAt);
            return nodeNameFrom(body, record.dataLength);
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> reverseQuery(std::uint32_t address, std::uint16_t transaction) {
    std::vector<std::uint8_t> message = header(transaction);
    const std::string name = reverseNameOf(address);
    std::size_t start = 0;
    while (start < name.size()) {
        const std::size_t end = std::min(name.find('.', start), name.size());
        message.push_back(static_cast<std::uint8_t>(end - start));
        message.insert(message.end(), name.begin() + static_cast<std::ptrdiff_t>(start),
                       name.begin() + static_cast<std::ptrdiff_t>(end));
        start = end + 1;
    }
    message.push_back(0);
    put16(message, typePtr);
    put16(message, classInternet | unicastAnswerBit);
    return message;
}

std::optional<std::string> reverseName(const std::uint8_t* data, std::size_t length,
                                       std::uint32_t address) {
    Reader reader(data, length);
    Counts counts;
    if (!readAnswerHeader(reader, counts, std::nullopt) ||
        !skipQuestions(reader, counts.questions)) {
        return std::nullopt;
    }
    const std::string asked = reverseNameOf(address);
    for (std::uint16_t i = 0; i < counts.records; ++i) {
        Record record;
        if (!readRecord(reader, record)) {
            return std::nullopt;
        }
        if (record.type != typePtr || (record.klass & ~cacheFlushBit) != classInternet ||
            !sameName(record.name, asked)) {
            continue;
        }
        Reader target(data, record.dataAt + record.dataLength);
        target.moveTo(record.dataAt);
        std::string name;
        if (readName(target, name) && !name.empty()) {
            return name;
        }
    }
    return std::nullopt;
}

std::wstring cleanName(std::string_view bytes) {
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size() && text.size() < longestName;) {
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        const std::size_t length = lead < 0x80                    ? 1
                                   : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1Fu
                     : length == 3 ? lead & 0x0Fu
                                   : lead & 0x07u;
        bool valid = length != 0 && bytes.size() - i >= length;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond Unicode are broken too.
        valid = valid && !(length == 3 && c < 0x800) && !(length == 4 && c < 0x10000) &&
                !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
        if (!valid) {
            text += static_cast<wchar_t>(replacement);
            ++i;
            continue;
        }
        append(text, c);
        i += length;
    }
    return text;
}

} // namespace name_answers
