// The registry's contents and their text form: the format of Windows registry exports
// (REGEDIT5), in UTF-8. Every value is written so that its type and bytes come back exactly:
// texts as hex(1): of their UTF-16LE bytes, binaries as hex:, 4-byte DWORDs as dword:.
#pragma once

#include "winreg.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

// Data as the API sees it; for the text types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) that is
// whole WCHARs, which the file holds as UTF-16LE.
struct Value {
    std::wstring name; // empty: the key's default value ("@")
    DWORD type = 0;
    std::vector<BYTE> data;
};

// A key's path starts with its root's name ("HKEY_LOCAL_MACHINE"), in the case it was created.
struct Key {
    std::vector<std::wstring> path;
    std::map<std::wstring, Value> values; // by folded name
};

// Keys by folded path, so a key's subkeys follow it directly.
using FoldedPath = std::vector<std::wstring>;
using Tree = std::map<FoldedPath, Key>;

inline constexpr std::string_view fileHeader = "Windows Registry Editor Version 5.00";

// Lower case for ASCII and Latin-1: the case the registry ignores.
std::wstring fold(std::wstring_view name);
FoldedPath fold(const std::vector<std::wstring>& path);

bool isTextType(DWORD type);
// A key or value name the file can hold: no control characters, only Unicode scalar values.
bool isValidName(std::wstring_view name);

// Adds the key and every missing key above it (below its root).
Key& addKey(Tree& tree, const std::vector<std::wstring>& path);

std::string format(const Tree& tree);

struct ParseResult {
    Tree tree;
    std::string error; // empty when the whole text was understood
};
ParseResult parse(std::string_view text);

} // namespace platform::registry
