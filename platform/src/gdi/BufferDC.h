// Device contexts over pixel buffers that the platform itself owns (the input panel's keyboard,
// the native edit control, window painting). Usable with SelectObject, SetTextColor, SetBkMode
// and DrawTextW like the device context of a surface.
#pragma once

#include "wintypes.h"

#include <cstdint>

namespace platform::gdi {

// A device context drawing into `pixels` (RGB565, `width` x `height`, `pitch` pixels per row).
// The caller keeps the buffer alive and guards it against other threads while drawing.
HDC createBufferDC(std::uint16_t* pixels, int width, int height, int pitch);
// Ends a context made by createBufferDC.
void deleteBufferDC(HDC dc);

} // namespace platform::gdi
