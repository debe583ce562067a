// DrawTextW's work on a device context: measure with the selected font, break into lines, then
// either report the extent (DT_CALCRECT) or draw the lines anti-aliased in the text colour.
#pragma once

#include "gdi/DeviceContext.h"

#include <string_view>

namespace platform::gdi {

// Returns the height of the text (at least 1).
int drawText(DeviceContext& dc, std::wstring_view text, RECT& rect, UINT format);

} // namespace platform::gdi
