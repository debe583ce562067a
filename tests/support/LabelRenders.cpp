#include "support/LabelRenders.h"

#include <cstdint>
#include <cstdlib>

namespace toolkit_test {
namespace {

// No key the toolkit uses, and no colour the text is drawn in.
constexpr std::uint16_t kMark = 0x0842;

// The surface's last pixel, read and, with `write`, set to the mark.
std::uint16_t lastPixel(IDirectDrawSurface* surface, bool write) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (surface == nullptr ||
        FAILED(
            surface->Lock(nullptr, &desc, write ? DDLOCK_WAITNOTBUSY : DDLOCK_READONLY, nullptr))) {
        std::abort(); // a label without a surface cannot be watched
    }
    auto* row = reinterpret_cast<std::uint16_t*>(static_cast<BYTE*>(desc.lpSurface) +
                                                 (desc.dwHeight - 1) * desc.lPitch);
    std::uint16_t& pixel = row[desc.dwWidth - 1];
    if (write) {
        pixel = kMark;
    }
    const std::uint16_t value = pixel;
    surface->Unlock(nullptr);
    return value;
}

} // namespace

void markLabelSurface(const MyLabel& label) {
    lastPixel(label.surface, true);
}

bool labelRenderedSinceMark(const MyLabel& label) {
    return label.surface == nullptr || lastPixel(label.surface, false) != kMark;
}

} // namespace toolkit_test
