#include "gdi/StockObjects.h"

#include "gdi/Font.h"
#include "wingdi.h"

#include <array>
#include <mutex>

namespace platform::gdi {
namespace {

LOGFONTW systemFontDescription() {
    LOGFONTW description{};
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = DEFAULT_CHARSET;
    description.lfQuality = DEFAULT_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    std::wcsncpy(description.lfFaceName, L"DejaVu Sans", LF_FACESIZE - 1);
    return description;
}

struct StockObjects {
    std::array<Brush*, 6> brushes{};
    Font* systemFont = nullptr;
};

// Made once and never deleted: handles to them stay valid for the whole process.
StockObjects& stock() {
    static StockObjects* objects = [] {
        auto* made = new StockObjects;
        const std::array<COLORREF, 5> greys{0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
        for (std::size_t i = 0; i < greys.size(); ++i) {
            made->brushes[i] = new Brush(greys[i], false, true);
        }
        made->brushes[NULL_BRUSH] = new Brush(0, true, true);
        return made;
    }();
    return *objects;
}

} // namespace

HGDIOBJ stockObject(int which) {
    StockObjects& objects = stock();
    if (which >= WHITE_BRUSH && which <= NULL_BRUSH) {
        return objects.brushes[static_cast<std::size_t>(which)]->handle();
    }
    if (which == SYSTEM_FONT) {
        static std::once_flag made;
        std::call_once(made, [&] { objects.systemFont = new Font(systemFontDescription(), true); });
        return objects.systemFont->handle();
    }
    return nullptr;
}

} // namespace platform::gdi
