#include "shell/OnScreenKeyboard.h"

#include "gdi/BufferDC.h"
#include "shell/Canvas.h"
#include "windows.h"

#include <algorithm>
#include <optional>

namespace platform::shell {
namespace {

constexpr Colour panelColour{206, 210, 217};
constexpr Colour panelEdgeColour{160, 166, 175};
constexpr Colour keyColour{255, 255, 255};
constexpr Colour functionKeyColour{172, 179, 189};
constexpr Colour shadowColour{137, 141, 148};
constexpr Colour pressedColour{59, 130, 246};
constexpr COLORREF labelColour = RGB(20, 22, 26);
constexpr COLORREF pressedLabelColour = RGB(255, 255, 255);
constexpr COLORREF shiftOnLabelColour = RGB(59, 130, 246);

// Lengths in pixels at 96 dpi, scaled to the device.
int scaled(int pixelsAt96, int dpi) {
    return std::max(1, (pixelsAt96 * dpi + 48) / 96);
}

RECT offset(const RECT& r, int dx, int dy) {
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

HFONT labelFont(int pixelHeight) {
    LOGFONTW font{};
    font.lfHeight = -pixelHeight;
    font.lfWeight = FW_NORMAL;
    font.lfQuality = ANTIALIASED_QUALITY;
    const wchar_t face[] = L"DejaVu Sans";
    std::copy(std::begin(face), std::end(face), font.lfFaceName);
    return CreateFontIndirectW(&font);
}

} // namespace

int panelHeight(int dpi) {
    return (80 * dpi + 48) / 96;
}

RECT panelRect(int screenWidth, int screenHeight, int dpi) {
    return {0, screenHeight - panelHeight(dpi), screenWidth, screenHeight};
}

void OnScreenKeyboard::setShown(bool shown) {
    std::lock_guard lock(mutex_);
    shown_ = shown;
    tracking_ = false;
    pressed_ = -1;
    imageValid_ = false;
}

bool OnScreenKeyboard::visible() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

RECT OnScreenKeyboard::bounds() const {
    if (!Device::running())
        return RECT{};
    const Device& device = Device::instance();
    return panelRect(device.width(), device.height(), device.dpi());
}

std::vector<Key> OnScreenKeyboard::keys() const {
    std::lock_guard lock(mutex_);
    const_cast<OnScreenKeyboard*>(this)->followScreen();
    return keys_;
}

bool OnScreenKeyboard::shifted() const {
    std::lock_guard lock(mutex_);
    return shift_;
}

void OnScreenKeyboard::followScreen() {
    if (!Device::running())
        return;
    const Device& device = Device::instance();
    const RECT panel = panelRect(device.width(), device.height(), device.dpi());
    if (keys_.empty() || std::memcmp(&panel, &panel_, sizeof panel) != 0 || device.dpi() != dpi_) {
        panel_ = panel;
        dpi_ = device.dpi();
        keys_ = layoutKeys(panel_, scaled(3, dpi_));
        imageValid_ = false;
    }
}

bool OnScreenKeyboard::onPointer(PointerAction action, int x, int y) {
    std::optional<Key> typed;
    wchar_t character = 0;
    RECT changed{};
    {
        std::lock_guard lock(mutex_);
        if (!shown_)
            return false;
        followScreen();
        const bool inside =
            x >= panel_.left && x < panel_.right && y >= panel_.top && y < panel_.bottom;
        if (action == PointerAction::down) {
            if (!inside)
                return false;
            tracking_ = true;
        } else if (!tracking_) {
            return false;
        }
        const int under = inside ? keyAt(keys_, x, y) : -1;
        if (action == PointerAction::up) {
            tracking_ = false;
            if (under >= 0 && under == pressed_) {
                typed = keys_[under];
                character = shift_ ? typed->upper : typed->lower;
                if (typed->kind == KeyKind::shift)
                    shift_ = !shift_;
                else if (typed->lower != typed->upper)
                    shift_ = false; // shift holds for one letter
            }
            pressed_ = -1;
        } else {
            pressed_ = under;
        }
        imageValid_ = false;
        changed = panel_;
    }
    Device::instance().invalidate(changed);
    if (typed)
        type(*typed, character);
    return true;
}

void OnScreenKeyboard::type(const Key& key, wchar_t character) {
    Device& device = Device::instance();
    switch (key.kind) {
    case KeyKind::backspace:
        device.key(VK_BACK, true);
        device.key(VK_BACK, false);
        return;
    case KeyKind::enter:
        device.key(VK_RETURN, true);
        device.key(VK_RETURN, false);
        return;
    case KeyKind::character:
        device.character(character);
        return;
    case KeyKind::shift:
        return;
    }
}

void OnScreenKeyboard::paint(std::uint16_t* frame, int pitch, const RECT& clip) {
    std::lock_guard lock(mutex_);
    followScreen();
    if (!imageValid_)
        render();
    const int width = panel_.right - panel_.left;
    const int left = std::max(clip.left, panel_.left);
    const int right = std::min(clip.right, panel_.right);
    for (int y = std::max(clip.top, panel_.top); y < std::min(clip.bottom, panel_.bottom); ++y) {
        const std::uint16_t* source =
            image_.data() + static_cast<std::size_t>(y - panel_.top) * width + (left - panel_.left);
        std::copy(source, source + (right - left),
                  frame + static_cast<std::size_t>(y) * pitch + left);
    }
}

void OnScreenKeyboard::render() {
    const int width = panel_.right - panel_.left;
    const int height = panel_.bottom - panel_.top;
    image_.assign(static_cast<std::size_t>(width) * height, 0);
    imageValid_ = true;
    if (width <= 0 || height <= 0)
        return;
    Canvas canvas(image_.data(), width, height, width);
    canvas.fill({0, 0, width, height}, panelColour);
    canvas.fill({0, 0, width, scaled(1, dpi_)}, panelEdgeColour);

    HDC dc = gdi::createBufferDC(image_.data(), width, height, width);
    SetBkMode(dc, TRANSPARENT);
    const int keyHeight = keys_.empty() ? 0 : keys_.front().face.bottom - keys_.front().face.top;
    HFONT letters = labelFont(keyHeight * 13 / 20);
    HFONT symbols = labelFont(keyHeight * 2 / 3);
    HFONT words = labelFont(keyHeight * 9 / 20);
    const int radius = scaled(4, dpi_);
    const int shadow = scaled(1, dpi_);
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        const Key& key = keys_[i];
        const bool pressed = static_cast<int>(i) == pressed_;
        const bool function = key.kind != KeyKind::character;
        RECT face = offset(key.face, -panel_.left, -panel_.top);
        canvas.fillRoundRect(offset(face, 0, shadow), radius, shadowColour);
        canvas.fillRoundRect(face, radius,
                             pressed    ? pressedColour
                             : function ? functionKeyColour
                                        : keyColour);
        const bool shiftOn = key.kind == KeyKind::shift && shift_;
        SetTextColor(dc, pressed ? pressedLabelColour : shiftOn ? shiftOnLabelColour : labelColour);
        SelectObject(dc, key.lower == L' ' ? words : function ? symbols : letters);
        const std::wstring label = keyLabel(key, shift_);
        DrawTextW(dc, label.c_str(), -1, &face,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    gdi::deleteBufferDC(dc);
    DeleteObject(letters);
    DeleteObject(symbols);
    DeleteObject(words);
}

} // namespace platform::shell
