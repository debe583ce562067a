// The registry file is read back at every start, whatever happened to it: any text either
// parses or is refused with a message, and what parses formats to a text that parses to the
// same tree.
#include "registry/RegistryText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto first = platform::registry::parse(text);
    if (!first.error.empty()) {
        return 0;
    }
    const std::string written = platform::registry::format(first.tree);
    const auto second = platform::registry::parse(written);
    if (!second.error.empty() || platform::registry::format(second.tree) != written) {
        std::abort();
    }
    return 0;
}
