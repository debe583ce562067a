// Replacing a file in one step, shared by every part of the device that rewrites a file (the
// registry, images rescaled in place, copies): readers see the old file or the new one, never a
// part, whenever the process stops.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform::kernel {

// Writes every byte, retrying short writes and EINTR; false with errno set when a write fails.
// `written`, when given, receives how many bytes reached the file either way.
bool writeAll(int fd, const void* data, std::size_t size, std::size_t* written = nullptr);

// Replaces `target` with `bytes` in one step: a temporary file beside it is written, flushed to
// disk and renamed over it, and the folder is flushed; on any failure the target is untouched,
// the temporary is removed and errno tells why. `mode` is the new file's permission bits
// (std::nullopt: keep the old file's, or 0644 for a new file).
bool replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           std::optional<mode_t> mode = std::nullopt);

// Flushes a folder's entries (a rename or a new name) to disk; failures are ignored.
void syncFolder(const std::filesystem::path& folder);

// Creates a new, empty temporary file beside `target` for writing, named after the target and
// the writing process (".<name>.writing-<pid>-<six characters>"), with `mode` as open(2) takes
// it; -1 with errno set on failure. `name` receives its path.
int createTemporaryFor(const std::filesystem::path& target, mode_t mode, std::string& name);

// Removes, in `folder` and the folders below it, the temporaries of createTemporaryFor that a
// process which no longer runs left behind (a run killed while it replaced or copied a file).
// Temporaries of running processes stay. Returns how many were removed.
int removeAbandonedTemporaries(const std::filesystem::path& folder);

} // namespace platform::kernel
