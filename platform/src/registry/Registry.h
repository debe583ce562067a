// The registry's in-memory state, kept in the device folder's registry.reg.
#pragma once

#include <filesystem>

namespace platform::registry {

// deviceDir/registry.reg
std::filesystem::path filePath();

// Forgets the in-memory registry and every open key, so that the next registry call reads the
// file again, as after a restart.
void reload();

} // namespace platform::registry
