#include "support/LabelRenders.h"

#include "support/Gfx.h"

#include <cstdint>
#include <cstdlib>

namespace toolkit_test {

namespace {
// No key the toolkit uses, and no colour the text is drawn in.
constexpr std::uint16_t kMark = 0x0842;
} // namespace

// The mark goes on the surface's last pixel, beyond any text.
void markLabelSurface(const MyLabel& label) {
    if (label.surface == nullptr)
        std::abort(); // a label without a surface cannot be watched
    gfxtest::Pixels pixels = gfxtest::pixelsOf(*label.surface);
    if (pixels.empty())
        std::abort(); // nor one whose surface cannot be locked
    pixels.back() = kMark;
    gfxtest::pixelsOf(*label.surface, &pixels);
}

bool labelRenderedSinceMark(const MyLabel& label) {
    const auto pixels = label.surface ? gfxtest::pixelsOf(*label.surface) : gfxtest::Pixels{};
    return pixels.empty() || pixels.back() != kMark; // no surface: a new one comes
}

} // namespace toolkit_test
