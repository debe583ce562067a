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

// The device folder when none is named: $XDG_STATE_HOME/dawnbell, else
// $HOME/.local/state/dawnbell. Without either, a folder of this user's alone:
// $XDG_RUNTIME_DIR/dawnbell, else dawnbell-<uid> in the temporary folder ($TMPDIR or /tmp), made
// 0700 and refused when it is a link, not a folder or another user's. Empty, with `problem`
// saying why, when there is no such folder.
std::filesystem::path defaultDeviceFolder(std::string& problem);

// Creates `folder` and the missing folders above it, each one new readable by its owner only
// (0700); folders that exist are left as they are. False with errno set on failure.
bool createPrivateFolders(const std::filesystem::path& folder);

std::filesystem::path toHost(std::wstring_view devicePath);
// The running program's device path: programFolder + programFile.
std::wstring moduleFileName();

std::string narrow(std::wstring_view text); // UTF-8
std::wstring widen(std::string_view utf8);

} // namespace platform::paths
