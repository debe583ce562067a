// Rescaling of RGBA images with the platform's interpolation hints: nearest neighbour, bilinear,
// averaging (box) and bicubic (Catmull-Rom, the default). The filters widen when shrinking, so
// every source pixel contributes, and work on premultiplied alpha so that transparent pixels
// lend no colour.
#pragma once

#include "imaging.h"
#include "imaging/RgbaImage.h"

namespace platform::imaging {

RgbaImage resample(const RgbaImage& source, int width, int height, InterpolationHint hint);

} // namespace platform::imaging
