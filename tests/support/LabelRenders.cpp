#include "support/LabelRenders.h"

#include "support/Gfx.h"

#include <cstdint>

namespace toolkit_test {

namespace {
// No key the toolkit uses, and no colour the text is drawn in.
constexpr std::uint16_t kMark = 0x0842;
} // namespace

// The mark goes on the surface's last pixel, beyond any text.
void markLabelSurface(const MyLabel& label) {
    gfxtest::Pixels pixels = gfxtest::pixelsOf(*label.surface);
    pixels.back() = kMark;
    gfxtest::pixelsOf(*label.surface, &pixels);
}

bool labelRenderedSinceMark(const MyLabel& label) {
    return label.surface == nullptr || gfxtest::pixelsOf(*label.surface).back() != kMark;
}

} // namespace toolkit_test
