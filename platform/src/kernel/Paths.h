// Windows CE paths on the host. The program's own directory, as the device sees it, is
// "\Program Files\Dawnbell\"; it maps to the host folder that holds the program. Every other
// absolute device path ("\windows\...", "\My Documents\...") maps into the device folder.
// Backslashes become slashes; the mapping ignores the case of the "\windows" and program
// folder prefixes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform::paths {

inline constexpr std::wstring_view programFolder = L"\\Program Files\\Dawnbell\\";
inline constexpr std::wstring_view programFile = L"dawnbell.exe";

// Set by the device at start (and by tests).
void configure(const std::filesystem::path& deviceDir, const std::filesystem::path& programDir);
const std::filesystem::path& deviceDir();
const std::filesystem::path& programDir();
// The program's image folder ("resources\VGA\" in the program folder) maps to `folder`
// instead: the device's own copy of the set. configure() forgets it.
void useImageFolder(const std::filesystem::path& folder);

std::filesystem::path toHost(std::wstring_view devicePath);
// The running program's device path: programFolder + programFile.
std::wstring moduleFileName();

std::string narrow(std::wstring_view text); // UTF-8
std::wstring widen(std::string_view utf8);

} // namespace platform::paths
