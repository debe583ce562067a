// Checks a resource set on disk against what the toolkit relies on: names, format, resolution,
// frame layout, and the colours that captions and text are anti-aliased onto.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace imagegen {

// Every problem found, one sentence each; empty when the set is sound.
std::vector<std::string> checkResourceSet(const std::filesystem::path& folder);

} // namespace imagegen
