// Conversion between the kept RGBA pixels and the pixel formats callers lock, push or ask for:
// 16 bpp RGB565 and RGB555, 24 bpp RGB, 32 bpp RGB, ARGB and premultiplied ARGB.
#pragma once

#include "imaging.h"
#include "imaging/RgbaImage.h"

namespace platform::imaging {

bool isSupportedFormat(PixelFormatID format);
bool hasAlpha(PixelFormatID format);
int bytesPerPixel(PixelFormatID format);
// Bytes per row, rounded up to whole 32-bit words as the platform's bitmaps are.
int strideFor(PixelFormatID format, int width);

// Writes `count` pixels starting at (x, y) of `image` into `out` in `format`.
void exportRow(const RgbaImage& image, int x, int y, int count, PixelFormatID format, void* out);
// Reads `count` pixels in `format` from `in` into `image` starting at (x, y).
void importRow(RgbaImage& image, int x, int y, int count, PixelFormatID format, const void* in);

} // namespace platform::imaging
