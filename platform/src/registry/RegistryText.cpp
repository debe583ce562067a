#include "registry/RegistryText.h"

#include "kernel/Paths.h"

#include <array>
#include <cstring>
#include <optional>

namespace platform::registry {
namespace {

constexpr std::array<std::string_view, 4> rootNames = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                       "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

// Regedit breaks long hex lines near 80 columns with a trailing backslash.
constexpr size_t lineWidth = 78;

// ---- Text values <-> UTF-16LE ----------------------------------------------------------------

std::vector<wchar_t> toWchars(const std::vector<BYTE>& data) {
    std::vector<wchar_t> chars(data.size() / sizeof(WCHAR));
    if (!chars.empty()) {
        std::memcpy(chars.data(), data.data(), chars.size() * sizeof(WCHAR));
    }
    return chars;
}

std::vector<BYTE> fromWchars(const std::vector<wchar_t>& chars) {
    std::vector<BYTE> data(chars.size() * sizeof(WCHAR));
    if (!data.empty()) {
        std::memcpy(data.data(), chars.data(), data.size());
    }
    return data;
}

void appendUnit(std::vector<BYTE>& out, unsigned unit) {
    out.push_back(static_cast<BYTE>(unit & 0xFF));
    out.push_back(static_cast<BYTE>(unit >> 8));
}

// Characters beyond the BMP become surrogate pairs; surrogates on their own are kept as they
// are; values no UTF-16 can hold become U+FFFD.
std::vector<BYTE> toUtf16le(const std::vector<BYTE>& apiData) {
    std::vector<BYTE> out;
    for (wchar_t c : toWchars(apiData)) {
        auto code = static_cast<std::uint32_t>(c);
        if (code <= 0xFFFF) {
            appendUnit(out, code);
        } else if (code <= 0x10FFFF) {
            code -= 0x10000;
            appendUnit(out, 0xD800 | (code >> 10));
            appendUnit(out, 0xDC00 | (code & 0x3FF));
        } else {
            appendUnit(out, 0xFFFD);
        }
    }
    return out;
}

// The characters of UTF-16LE bytes: pairs joined, unpaired surrogates kept as they are.
std::vector<std::uint32_t> codePoints(const std::vector<BYTE>& utf16le) {
    std::vector<std::uint32_t> codes;
    const size_t count = utf16le.size() / 2;
    auto unit = [&](size_t i) {
        return static_cast<std::uint32_t>(utf16le[2 * i] | utf16le[2 * i + 1] << 8);
    };
    for (size_t i = 0; i < count; ++i) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            codes.push_back(0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else {
            codes.push_back(u);
        }
    }
    return codes;
}

std::vector<BYTE> fromUtf16le(const std::vector<BYTE>& bytes) {
    const std::vector<std::uint32_t> codes = codePoints(bytes);
    return fromWchars(std::vector<wchar_t>(codes.begin(), codes.end()));
}

// ---- Formatting ------------------------------------------------------------------------------

std::string quotedName(std::wstring_view name) {
    std::string out = "\"";
    for (char c : paths::narrow(name)) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string hexByte(BYTE b) {
    static constexpr char digits[] = "0123456789abcdef";
    return {digits[b >> 4], digits[b & 0xF]};
}

void appendHexList(std::string& out, std::string line, const std::vector<BYTE>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string token = hexByte(bytes[i]) + (i + 1 < bytes.size() ? "," : "");
        if (line.size() + token.size() > lineWidth) {
            out += line + "\\\n";
            line = "  ";
        }
        line += token;
    }
    out += line + "\n";
}

std::string typeTag(DWORD type) {
    if (type == REG_BINARY) {
        return "hex:";
    }
    char tag[24];
    std::snprintf(tag, sizeof tag, "hex(%x):", static_cast<unsigned>(type));
    return tag;
}

// ---- Comments for a person reading the file ----------------------------------------------------
// The hex of a text says nothing to a person, so a comment line above it shows the text. The
// comment is made from the bytes written below it and is always one line that ends in a quote:
// line breaks, quotes, backslashes, control characters, unpaired surrogates and the characters
// that are invisible or turn the direction of a line are written as escapes. The reader skips
// comments; the hex stays the only truth.

struct CodeRange {
    std::uint32_t first;
    std::uint32_t last;
};

// Controls, invisible marks, direction overrides, line and paragraph separators, surrogates,
// non-characters and tags.
constexpr CodeRange escapedRanges[] = {
    {0x00, 0x1F},     {0x7F, 0x9F},     {0xAD, 0xAD},       {0x061C, 0x061C}, {0x180E, 0x180E},
    {0x200B, 0x200F}, {0x2028, 0x202E}, {0x2060, 0x206F},   {0xD800, 0xDFFF}, {0xFEFF, 0xFEFF},
    {0xFFF9, 0xFFFB}, {0xFFFE, 0xFFFF}, {0xE0000, 0xE007F},
};

bool needsEscape(std::uint32_t code) {
    for (auto [first, last] : escapedRanges) {
        if (code >= first && code <= last) {
            return true;
        }
    }
    return false;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    const int continuations = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    static constexpr unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(lead[continuations] | (code >> (6 * continuations)));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6) {
        out += static_cast<char>(0x80 | ((code >> shift) & 0x3F));
    }
}

void appendEscaped(std::string& out, std::uint32_t code) {
    switch (code) {
    case '\\':
        out += "\\\\";
        return;
    case '"':
        out += "\\\"";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (!needsEscape(code)) {
        appendUtf8(out, code);
        return;
    }
    char text[16];
    if (code <= 0xFF) {
        std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(code));
    } else if (code <= 0xFFFF) {
        std::snprintf(text, sizeof text, "\\u%04X", static_cast<unsigned>(code));
    } else {
        std::snprintf(text, sizeof text, "\\U%08X", static_cast<unsigned>(code));
    }
    out += text;
}

void appendEscaped(std::string& out, const std::vector<std::uint32_t>& codes) {
    for (std::uint32_t code : codes) {
        appendEscaped(out, code);
    }
}

void appendComment(std::string& out, const Value& value, const std::vector<BYTE>& utf16le) {
    out += "; ";
    if (value.name.empty()) {
        out += "@";
    }
    appendEscaped(out, std::vector<std::uint32_t>(value.name.begin(), value.name.end()));
    out += " = \"";
    appendEscaped(out, codePoints(utf16le));
    out += "\"\n";
}

void appendValue(std::string& out, const Value& value) {
    std::string prefix = (value.name.empty() ? std::string("@") : quotedName(value.name)) + "=";
    if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
        DWORD number;
        std::memcpy(&number, value.data.data(), sizeof number);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x\n", static_cast<unsigned>(number));
        out += prefix + text;
        return;
    }
    if (!isTextType(value.type)) {
        appendHexList(out, prefix + typeTag(value.type), value.data);
        return;
    }
    auto bytes = toUtf16le(value.data);
    appendComment(out, value, bytes);
    appendHexList(out, prefix + typeTag(value.type), bytes);
}

std::string keyLine(const Key& key) {
    std::string line = "[";
    for (size_t i = 0; i < key.path.size(); ++i) {
        line += (i ? "\\" : "") + paths::narrow(key.path[i]);
    }
    return line + "]\n";
}

// ---- Parsing ---------------------------------------------------------------------------------

struct ParseError {
    std::string message;
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// The text's logical lines (continuations joined), each with the number of its first line.
std::vector<std::pair<size_t, std::string>> logicalLines(std::string_view text) {
    std::vector<std::pair<size_t, std::string>> lines;
    bool continuing = false;
    size_t number = 0;
    while (!text.empty() || continuing) {
        size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        std::string_view line = trim(raw);
        if (continuing) {
            lines.back().second += line;
        } else {
            lines.emplace_back(number, std::string(line));
        }
        // Key lines and comments never continue: a comment ending in a backslash must not
        // swallow the value below it.
        continuing = !lines.back().second.empty() && lines.back().second.back() == '\\' &&
                     lines.back().second.front() != '[' && lines.back().second.front() != ';';
        if (continuing) {
            lines.back().second.pop_back();
            if (text.empty()) {
                throw ParseError{"the last line continues past the end"};
            }
        }
    }
    return lines;
}

std::wstring decodeName(std::string_view utf8) {
    std::wstring name = paths::widen(utf8);
    if (paths::narrow(name) != utf8 || !isValidName(name)) {
        throw ParseError{"a name is not valid UTF-8 text"};
    }
    return name;
}

std::vector<std::wstring> parseKeyLine(std::string_view line) {
    if (line.size() < 2 || line.back() != ']') {
        throw ParseError{"a key line does not end with ']'"};
    }
    std::string_view inside = line.substr(1, line.size() - 2);
    if (!inside.empty() && inside.front() == '-') {
        throw ParseError{"key deletions are not supported"};
    }
    std::vector<std::wstring> path;
    for (size_t start = 0;;) {
        size_t end = inside.find('\\', start);
        auto part = inside.substr(start, end == std::string_view::npos ? end : end - start);
        if (part.empty()) {
            throw ParseError{"a key path has an empty part"};
        }
        path.push_back(decodeName(part));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    auto root = paths::narrow(path.front());
    for (auto name : rootNames) {
        if (fold(paths::widen(name)) == fold(path.front())) {
            path.front() = paths::widen(name);
            return path;
        }
    }
    throw ParseError{"unknown root key '" + root + "'"};
}

// Reads a quoted string at the start of `text` and moves past it.
std::string readQuoted(std::string_view& text) {
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (++i == text.size() || (text[i] != '\\' && text[i] != '"')) {
                throw ParseError{"unknown escape in a quoted string"};
            }
            c = text[i];
        }
        out += c;
    }
    throw ParseError{"a quoted string is not closed"};
}

std::optional<std::uint32_t> parseHexNumber(std::string_view digits, size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (char c : digits) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        number = number << 4 | static_cast<std::uint32_t>(digit);
    }
    return number;
}

// A byte of a hex list always has two digits, so a list cut short is noticed.
std::vector<BYTE> parseHexList(std::string_view list) {
    std::vector<BYTE> bytes;
    if (trim(list).empty()) {
        return bytes;
    }
    for (size_t start = 0;;) {
        size_t end = list.find(',', start);
        auto token = trim(list.substr(start, end == std::string_view::npos ? end : end - start));
        auto byte = token.size() == 2 ? parseHexNumber(token, 2) : std::nullopt;
        if (!byte) {
            throw ParseError{"'" + std::string(token) + "' is not a hex byte"};
        }
        bytes.push_back(static_cast<BYTE>(*byte));
        if (end == std::string_view::npos) {
            return bytes;
        }
        start = end + 1;
    }
}

Value parseData(std::string_view data) {
    Value value;
    if (!data.empty() && data.front() == '"') {
        // Regedit's plain string form: a REG_SZ stored with its terminator.
        std::wstring text = paths::widen(readQuoted(data));
        if (!trim(data).empty()) {
            throw ParseError{"text after a quoted value"};
        }
        std::vector<wchar_t> chars(text.begin(), text.end());
        chars.push_back(L'\0');
        return {L"", REG_SZ, fromWchars(chars)};
    }
    if (data.starts_with("dword:")) {
        auto number = parseHexNumber(data.substr(6), 8);
        if (!number) {
            throw ParseError{"a dword value is not 1 to 8 hex digits"};
        }
        value.type = REG_DWORD;
        value.data.resize(sizeof(DWORD));
        std::memcpy(value.data.data(), &*number, sizeof(DWORD));
        return value;
    }
    size_t colon = data.find(':');
    if (data.starts_with("hex:")) {
        value.type = REG_BINARY;
    } else if (data.starts_with("hex(") && colon != std::string_view::npos && colon > 5 &&
               data[colon - 1] == ')') {
        auto type = parseHexNumber(data.substr(4, colon - 5), 8);
        if (!type) {
            throw ParseError{"a hex(type) is not a hex number"};
        }
        value.type = *type;
    } else {
        throw ParseError{"unknown value data"};
    }
    value.data = parseHexList(data.substr(colon + 1));
    if (isTextType(value.type)) {
        if (value.data.size() % 2 != 0) {
            throw ParseError{"a text value has an odd number of bytes"};
        }
        value.data = fromUtf16le(value.data);
    }
    return value;
}

Value parseValueLine(std::string_view line) {
    std::wstring name;
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else {
        name = decodeName(readQuoted(line));
        if (name.empty()) {
            throw ParseError{"an empty value name (the default value is written @)"};
        }
    }
    if (line.empty() || line.front() != '=') {
        throw ParseError{"a value name is not followed by '='"};
    }
    line.remove_prefix(1);
    if (line == "-") {
        throw ParseError{"value deletions are not supported"};
    }
    Value value = parseData(line);
    value.name = std::move(name);
    return value;
}

std::string_view withoutByteOrderMark(std::string_view text) {
    return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

Tree parseOrThrow(std::string_view text) {
    Tree tree;
    bool headerSeen = false;
    Key* current = nullptr;
    for (auto& [number, line] : logicalLines(withoutByteOrderMark(text))) {
        try {
            if (line.empty() || line.front() == ';') {
                continue;
            }
            if (!headerSeen) {
                if (line != fileHeader) {
                    throw ParseError{"not a registry file (the first line is not the header)"};
                }
                headerSeen = true;
            } else if (line.front() == '[') {
                current = &addKey(tree, parseKeyLine(line));
            } else if (line.front() == '"' || line.front() == '@') {
                if (!current) {
                    throw ParseError{"a value before the first key"};
                }
                Value value = parseValueLine(line);
                current->values[fold(value.name)] = std::move(value);
            } else {
                throw ParseError{"a line that is neither a key nor a value"};
            }
        } catch (const ParseError& error) {
            throw ParseError{"line " + std::to_string(number) + ": " + error.message};
        }
    }
    if (!headerSeen) {
        throw ParseError{"the file is empty"};
    }
    return tree;
}

} // namespace

std::wstring fold(std::wstring_view name) {
    std::wstring out(name);
    for (auto& c : out) {
        bool upperAscii = c >= L'A' && c <= L'Z';
        bool upperLatin1 = c >= 0xC0 && c <= 0xDE && c != 0xD7;
        if (upperAscii || upperLatin1) {
            c += 0x20;
        }
    }
    return out;
}

FoldedPath fold(const std::vector<std::wstring>& path) {
    FoldedPath out;
    out.reserve(path.size());
    for (const auto& part : path) {
        out.push_back(fold(part));
    }
    return out;
}

bool isTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool isValidName(std::wstring_view name) {
    for (wchar_t c : name) {
        auto code = static_cast<std::uint32_t>(c);
        if (code < 0x20 || code == 0x7F || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
    }
    return true;
}

// A new key takes the spelling of the keys above it that already exist.
Key& addKey(Tree& tree, const std::vector<std::wstring>& path) {
    std::vector<std::wstring> spelled{path.front()};
    auto add = [&]() -> Key& {
        auto [it, added] = tree.try_emplace(fold(spelled));
        if (added) {
            it->second.path = spelled;
        } else {
            spelled = it->second.path;
        }
        return it->second;
    };
    if (path.size() == 1) {
        return add(); // the root itself holds values
    }
    Key* key = nullptr;
    for (size_t i = 1; i < path.size(); ++i) {
        spelled.push_back(path[i]);
        key = &add();
    }
    return *key;
}

std::string format(const Tree& tree) {
    std::string out = std::string(fileHeader) + "\n\n";
    for (const auto& [folded, key] : tree) {
        out += keyLine(key);
        for (const auto& [name, value] : key.values) {
            appendValue(out, value);
        }
        out += "\n";
    }
    return out;
}

ParseResult parse(std::string_view text) {
    try {
        return {parseOrThrow(text), {}};
    } catch (const ParseError& error) {
        return {{}, error.message};
    }
}

} // namespace platform::registry
