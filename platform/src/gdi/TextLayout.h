// DrawTextW's line breaking, apart from fonts and pixels: which characters go on which line.
//  - DT_SINGLELINE: one line, no breaking.
//  - Otherwise CR or LF ends a line; a pair of different ones ("\r\n", "\n\r") is one break,
//    "\n\n" two. A break at the very end adds no line.
//  - DT_WORDBREAK acts only where a line does not fit: from the first character that does not
//    fit it walks back to the last space; the spaces that fit stay on the line and the space at
//    the split is consumed. A space that does not fit ends the line and is swallowed. A word
//    wider than the rectangle is not split: it overflows.
#pragma once

#include "wintypes.h"

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace platform::gdi {

struct LineSpan {
    std::size_t begin; // first character of the line
    std::size_t end;   // one past its last drawn character
    bool operator==(const LineSpan&) const = default;
};

// Width in pixels of the characters [begin, end) of the text.
using MeasureFn = std::function<int(std::size_t begin, std::size_t end)>;

std::vector<LineSpan> breakLines(std::wstring_view text, UINT format, int maxWidth,
                                 const MeasureFn& width);

// Without DT_NOPREFIX "&x" shows as "x" and "&&" as "&".
std::wstring removePrefixes(std::wstring_view text, UINT format);

} // namespace platform::gdi
