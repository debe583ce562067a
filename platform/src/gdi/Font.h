// A logical font (CreateFontIndirectW): the description it was made from and the face chosen
// for it. The pixel size follows the description: a negative height is the character height, a
// positive one the cell height, zero the default size at the device's resolution.
#pragma once

#include "gdi/FontLookup.h"
#include "user/GdiObject.h"
#include "wingdi.h"

namespace platform::gdi {

class Font : public GdiObject {
public:
    explicit Font(const LOGFONTW& description, bool stock = false);

    bool isStock() const override { return stock_; }
    // The description, with a default height resolved to the device's resolution.
    LOGFONTW description() const;
    FontFace* face() const { return choice_.face.get(); }
    GlyphStyle glyphStyle() const;

private:
    LOGFONTW description_;
    FontChoice choice_;
    bool stock_;
};

// Points of the default size (a zero height).
inline constexpr int defaultFontPoints = 9;

} // namespace platform::gdi
