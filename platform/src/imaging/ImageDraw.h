// Drawing an image onto a device context's RGB565 pixels: the source area (in pixels, possibly
// fractional) is stretched over the destination rectangle with bilinear sampling weighted by
// alpha, and blended over what is there. At one-to-one scale every pixel is blended exactly.
#pragma once

#include "gdi/DeviceContext.h"
#include "imaging/RgbaImage.h"

namespace platform::imaging {

struct SourceArea {
    double left, top, right, bottom;
};

void drawImage(gdi::DeviceContext& dc, const RgbaImage& image, const RECT& dest,
               const SourceArea& source);

} // namespace platform::imaging
