// Whether a label drew its text again, seen from outside: drawing the text starts by filling the
// label's whole surface with its key colour, so a pixel marked beyond the text (the surface's
// last one) survives exactly as long as the label only copies what it drew before.
#pragma once

#include "MyLabel.h"

namespace toolkit_test {

// Marks the label's surface; the label must have one.
void markLabelSurface(const MyLabel& label);
// Whether the label drew its text since the mark: the mark is gone, or the surface is new.
bool labelRenderedSinceMark(const MyLabel& label);

} // namespace toolkit_test
