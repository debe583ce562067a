// The GDI functions of the program's API: a thin layer over device contexts and fonts.
#include "gdi/BufferDC.h"
#include "gdi/DeviceContext.h"
#include "gdi/DrawText.h"
#include "gdi/Font.h"
#include "gdi/StockObjects.h"
#include "platform/Device.h"
#include "wingdi.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

using platform::GdiObject;
using platform::gdi::Brush;
using platform::gdi::DeviceContext;
using platform::gdi::Font;

namespace platform::gdi {
namespace {

class BufferTarget : public DrawTarget {
public:
    explicit BufferTarget(gfx::PixelView view) : view_(view) {}
    bool withPixels(const std::function<void(const gfx::PixelView&)>& draw) override {
        draw(view_);
        return true;
    }

private:
    gfx::PixelView view_;
};

} // namespace

HDC createBufferDC(std::uint16_t* pixels, int width, int height, int pitch) {
    auto* dc = new DeviceContext(
        std::make_unique<BufferTarget>(gfx::PixelView{pixels, width, height, pitch}));
    return dc->handle();
}

void deleteBufferDC(HDC dc) {
    delete DeviceContext::fromHandle(dc);
}

} // namespace platform::gdi

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    DeviceContext* context = DeviceContext::fromHandle(dc);
    GdiObject* selected = GdiObject::fromHandle(object);
    if (context == nullptr || selected == nullptr) {
        return nullptr;
    }
    if (dynamic_cast<Font*>(selected) != nullptr) {
        return context->selectFont(object);
    }
    if (dynamic_cast<Brush*>(selected) != nullptr) {
        return context->selectBrush(object);
    }
    return nullptr;
}

HGDIOBJ WINAPI GetCurrentObject(HDC dc, UINT type) {
    DeviceContext* context = DeviceContext::fromHandle(dc);
    if (context == nullptr) {
        return nullptr;
    }
    switch (type) {
    case OBJ_FONT:
        return context->font();
    case OBJ_BRUSH:
        return context->brush();
    default:
        return nullptr;
    }
}

int WINAPI GetObjectW(HGDIOBJ object, int bufferSize, LPVOID buffer) {
    Font* font = GdiObject::fromHandleAs<Font>(object);
    if (font == nullptr) {
        return 0;
    }
    if (buffer == nullptr) {
        return static_cast<int>(sizeof(LOGFONTW));
    }
    if (bufferSize <= 0) {
        return 0;
    }
    const LOGFONTW description = font->description();
    const auto copied = std::min(static_cast<std::size_t>(bufferSize), sizeof(LOGFONTW));
    std::memcpy(buffer, &description, copied);
    return static_cast<int>(copied);
}

HGDIOBJ WINAPI GetStockObject(int which) {
    return platform::gdi::stockObject(which);
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
    if (DeviceContext::fromHandle(dc) == nullptr) {
        return 0;
    }
    if (index == LOGPIXELSX || index == LOGPIXELSY) {
        return platform::Device::running() ? platform::Device::instance().dpi() : 96;
    }
    return 0;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour) {
    DeviceContext* context = DeviceContext::fromHandle(dc);
    if (context == nullptr) {
        return CLR_INVALID;
    }
    return std::exchange(context->textColour, colour & 0x00FFFFFF);
}

int WINAPI SetBkMode(HDC dc, int mode) {
    DeviceContext* context = DeviceContext::fromHandle(dc);
    if (context == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) {
        return 0;
    }
    return std::exchange(context->backgroundMode, mode);
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* logFont) {
    if (logFont == nullptr) {
        return nullptr;
    }
    auto* font = new (std::nothrow) Font(*logFont);
    return font != nullptr ? font->handleAs<HFONT>() : nullptr;
}

int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    DeviceContext* context = DeviceContext::fromHandle(dc);
    if (context == nullptr || rect == nullptr || count < -1 || (text == nullptr && count != 0)) {
        return 0;
    }
    const std::size_t length = count == -1 ? std::wcslen(text) : static_cast<std::size_t>(count);
    return platform::gdi::drawText(
        *context, std::wstring_view(text != nullptr ? text : L"", length), *rect, format);
}
