// Finds the font file for a face name: the font files in the device's \windows folder (by file
// name, with or without extension, or by family name, ignoring case), then the host's fonts
// through fontconfig (the exact family only), then DejaVu Sans. Styles the chosen face lacks are
// synthesized.
#pragma once

#include "gdi/FontFace.h"

#include <memory>
#include <string_view>

namespace platform::gdi {

struct FontChoice {
    std::shared_ptr<FontFace> face; // nullptr only when no font at all can be read
    bool embolden = false;
    bool oblique = false;
};

FontChoice chooseFont(std::wstring_view faceName, bool bold, bool italic);

// The default user-interface face (DejaVu Sans), also the font of a fresh device context.
FontChoice defaultFont(bool bold, bool italic);

} // namespace platform::gdi
