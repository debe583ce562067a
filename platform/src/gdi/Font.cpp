#include "gdi/Font.h"

#include "platform/Device.h"

#include <cwchar>

namespace platform::gdi {
namespace {

int deviceDpi() {
    return Device::running() ? Device::instance().dpi() : 96;
}

std::wstring_view faceNameOf(const LOGFONTW& description) {
    const WCHAR* name = description.lfFaceName;
    std::size_t length = 0;
    while (length < LF_FACESIZE && name[length] != L'\0') {
        ++length;
    }
    return {name, length};
}

} // namespace

Font::Font(const LOGFONTW& description, bool stock)
    : description_(description),
      choice_(chooseFont(faceNameOf(description), description.lfWeight >= FW_SEMIBOLD,
                         description.lfItalic != 0)),
      stock_(stock) {}

LOGFONTW Font::description() const {
    LOGFONTW resolved = description_;
    if (resolved.lfHeight == 0) {
        resolved.lfHeight = -(defaultFontPoints * deviceDpi()) / 72;
    }
    return resolved;
}

GlyphStyle Font::glyphStyle() const {
    GlyphStyle style;
    style.embolden = choice_.embolden;
    style.oblique = choice_.oblique;
    const LONG height = description().lfHeight;
    if (height < 0) {
        style.em = static_cast<long>(-height) * 64;
    } else if (choice_.face) {
        style.em = choice_.face->emForCellHeight(height);
    }
    return style;
}

} // namespace platform::gdi
