#include "MyItem.h"

#include "DisplayFrame.h"
#include "FatalExit.h"
#include "ImageLoader.h"
#include "MyLabel.h"
#include "Rect.h"
#include "ResourceManager.h"
#include "TraceFailure.h"
#include "Tunables.h"

namespace {

struct StyleImages {
    int strip;
    int frames;
    int thirdState; // -1: none
};

constexpr int kThirdStateFrames = 2;

// By style; entry 0 is unused.
constexpr StyleImages kStyleImages[] = {
    {-1, 0, -1},
    {imageCheckbox, 6, imageCheckboxThirdState},
    {imageSwitch, 7, imageSwitchThirdState},
    {imageNormalButton, 4, -1},
    {imageMsgboxLargeButton, 4, -1},
    {imageMsgboxSmallButton, 4, -1},
    {imageListItem, 2, -1},
};

// Push-button frames: 0 normal, 1 pressed, 2 disabled (3, focused, is not used).
constexpr int kButtonNormalFrame = 0;
constexpr int kButtonPressedFrame = 1;
constexpr int kButtonDisabledFrame = 2;
constexpr int kSwitchPressedFrame = 6;

bool validStyle(BYTE style) {
    return style >= itemCheckBox && style <= itemListRow;
}

void loadStrip(ItemStrip& strip, int image, int frames) {
    if (strip.surface != nullptr) {
        return;
    }
    strip.surface = loadImage(imagePaths[static_cast<size_t>(image)]);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    if (strip.surface != nullptr && SUCCEEDED(strip.surface->GetSurfaceDesc(&desc))) {
        strip.frameHeight = static_cast<int>(desc.dwHeight);
        strip.frameWidth = static_cast<int>(desc.dwWidth) / frames;
    }
}

struct FrameChoice {
    const ItemStrip* strip;
    int frame;
};

FrameChoice frameFor(BYTE style, BYTE state) {
    const ItemStyleStrips& strips = itemStrips[style];
    if (style == itemCheckBox || style == itemSwitch) {
        if (state >= itemThirdState) {
            return {&strips.thirdState, state - itemThirdState};
        }
        const bool pressedSwitch =
            style == itemSwitch && (state == itemPressedOff || state == itemPressedOn);
        return {&strips.main, pressedSwitch ? kSwitchPressedFrame : state};
    }
    if (style == itemListRow) { // normal and pressed only
        const bool pressed = state == itemPressedOff || state == itemPressedOn;
        return {&strips.main, pressed ? kButtonPressedFrame : kButtonNormalFrame};
    }
    switch (state) {
    case itemDisabledOff:
    case itemDisabledOn:
    case itemDisabledThirdState:
        return {&strips.main, kButtonDisabledFrame};
    case itemPressedOff:
    case itemPressedOn:
        return {&strips.main, kButtonPressedFrame};
    default:
        return {&strips.main, kButtonNormalFrame};
    }
}

struct CaptionColours {
    COLORREF text;
    WORD key;
};

CaptionColours captionColours(BYTE style, BYTE state) {
    const bool pressed = state == itemPressedOff || state == itemPressedOn;
    if (pressed && style >= itemButton) {
        return {tunables::pressedTextColour, tunables::pressedKeyColour};
    }
    if (state == itemDisabledOff || state == itemDisabledOn || state == itemDisabledThirdState) {
        return {tunables::disabledCaptionColour, tunables::captionKeyColour};
    }
    return {tunables::clickableTextColour, tunables::captionKeyColour};
}

} // namespace

MyItem::MyItem(int id, int x, int y, BYTE itemStyle, BYTE initialState, const std::wstring& caption)
    : Element(id, x, y, kindItem, false), state(initialState), style(itemStyle) {
    loadSurf();
    if (!validStyle(style)) {
        MessageBoxW(mainWindow, L"Can't create this Item.", L"Wrong parameter",
                    MB_OK | MB_ICONEXCLAMATION);
        exitAfterFatalMessage();
    }
    const ItemStrip& strip = itemStrips[style].main;
    surface = strip.surface;
    itemHeight = strip.frameHeight;
    frameWidth = strip.frameWidth;
    bottom = top + itemHeight;
    right = left + frameWidth;
    if (!caption.empty()) {
        setCaption(caption);
    }
    screenRect = RECT{left, top, right, bottom};
}

MyItem::~MyItem() {
    delete captionLabel;
    delete detailLabel;
}

bool MyItem::isPushButton() const {
    return style >= itemButton;
}

bool MyItem::isDisabled() const {
    return state == itemDisabledOff || state == itemDisabledOn || state == itemDisabledThirdState;
}

void MyItem::setState(BYTE newState) {
    state = newState;
    setMustRedraw();
}

void loadItemStrips(BYTE style) {
    if (!validStyle(style)) {
        return;
    }
    const StyleImages& images = kStyleImages[style];
    loadStrip(itemStrips[style].main, images.strip, images.frames);
    if (images.thirdState >= 0) {
        loadStrip(itemStrips[style].thirdState, images.thirdState, kThirdStateFrames);
    }
}

void MyItem::loadSurf() {
    loadItemStrips(style);
}

void MyItem::setCaption(const std::wstring& caption) {
    if (captionLabel != nullptr) {
        captionLabel->setText(caption, true);
    } else {
        const int x = isPushButton()
                          ? 0
                          : static_cast<int>(tunables::captionGapPx * scaleFactor + frameWidth);
        captionLabel = new MyLabel(-1, x, 0, caption, labelFontNormal, 0, true);
    }
    captionLabel->clickable = 1;
    captionLabel->parent = this;
    if (style == itemListRow) {
        captionLabel->setTextOnOneLine(caption, rowTextWidth());
        placeRowText();
    } else {
        centreCaption();
    }
    setMustRedraw();
}

void MyItem::setDetail(const std::wstring& detail) {
    if (style != itemListRow) {
        return;
    }
    if (detailLabel == nullptr) {
        detailLabel = new MyLabel(-1, 0, 0, L"", labelFontSmall, 0, true);
        detailLabel->parent = this;
    }
    detailLabel->setTextOnOneLine(detail, rowTextWidth());
    placeRowText();
    setMustRedraw();
}

LONG MyItem::rowTextWidth() const {
    return (right - left) -
           static_cast<LONG>((tunables::listRowTextInsetPx + tunables::listRowEndRoomPx) *
                             scaleFactor);
}

// The caption and the second line as one block, centred from top to bottom, on the left.
void MyItem::placeRowText() {
    const int inset = static_cast<int>(tunables::listRowTextInsetPx * scaleFactor);
    const LONG captionHeight = captionLabel != nullptr ? captionLabel->textRect.bottom : 0;
    const LONG detailHeight = detailLabel != nullptr ? detailLabel->textRect.bottom : 0;
    const int blockTop = (itemHeight - static_cast<int>(captionHeight + detailHeight)) / 2;
    if (captionLabel != nullptr) {
        captionLabel->offsetX = inset;
        captionLabel->offsetY = blockTop;
    }
    if (detailLabel != nullptr) {
        detailLabel->offsetX = inset;
        detailLabel->offsetY = blockTop + static_cast<int>(captionHeight);
    }
}

// A push button centres the caption's measured rectangle, the padding on its right included.
void MyItem::centreCaption() {
    if (isPushButton()) {
        captionLabel->offsetX = ((right - left) - captionLabel->textRect.right) / 2;
    }
    captionLabel->offsetY = (itemHeight - captionLabel->textRect.bottom) / 2;
}

void MyItem::paint(IDirectDrawSurface* target, int originX, int originY) {
    const FrameChoice choice = frameFor(style, state);
    surface = choice.strip->surface;
    itemHeight = choice.strip->frameHeight;
    frameWidth = choice.strip->frameWidth;
    const RECT place{originX + left, originY + top, originX + left + frameWidth,
                     originY + top + itemHeight};
    screenRect = place;
    if (!overlaps(place, dirtyRect)) {
        return;
    }
    const LONG frameLeft = choice.frame * frameWidth;
    const auto [clipped, source] = clipPlaceAndSource(
        place, RECT{frameLeft, 0, frameLeft + frameWidth, itemHeight}, dirtyRect);
    srcRect = source;
    screenRect = clipped;
    if (!isEmpty(clipped) && surface != nullptr) {
        const HRESULT hr = target->Blt(&screenRect, surface, &srcRect, DDBLT_WAITNOTBUSY, nullptr);
        if (FAILED(hr)) {
            traceFailure(hr, L"MyItem Blt(mySurface);");
        }
    }
    screenRect.left = place.left;
    screenRect.top = place.top;
    if (captionLabel != nullptr) {
        const CaptionColours colours = captionColours(style, state);
        captionLabel->paint(target, originX + left, originY + top, colours.text, colours.key);
    }
    if (detailLabel != nullptr) {
        const CaptionColours colours = captionColours(style, state);
        detailLabel->paint(target, originX + left, originY + top, colours.text, colours.key);
    }
}

Element* MyItem::hitTest(int x, int y) {
    int width = right - left;
    if (captionLabel != nullptr && captionLabel->right > width) {
        width = captionLabel->right; // the caption of a box or switch is part of the target
    }
    screenRect.right = screenRect.left + width;
    if (!touchLandsOn(x, y, width)) {
        return nullptr;
    }
    selected = 1;
    if (state == itemOff) {
        setState(itemPressedOff);
    } else if (state == itemOn) {
        setState(itemPressedOn);
    }
    return this;
}

int MyItem::onClick() {
    if (!isDisabled()) {
        Element::onClick();
    }
    switch (state) {
    case itemOff:
    case itemPressedOff:
    case itemThirdState:
        setState(itemOn);
        break;
    case itemOn:
    case itemPressedOn:
        setState(itemOff);
        break;
    default:
        break;
    }
    return 0;
}

void MyItem::unselect() {
    if (state == itemPressedOff) {
        setState(itemOff);
    } else if (state == itemPressedOn) {
        setState(itemOn);
    }
}

void MyItem::toggleEnabled() {
    switch (state) {
    case itemOff:
        state = itemDisabledOff;
        break;
    case itemDisabledOff:
        state = itemOff;
        break;
    case itemOn:
        state = itemDisabledOn;
        break;
    case itemDisabledOn:
        state = itemOn;
        break;
    case itemThirdState:
        state = itemDisabledThirdState;
        break;
    case itemDisabledThirdState:
        state = itemThirdState;
        break;
    default:
        state = static_cast<BYTE>(state - 2); // pressed: the disabled look of where it came from
        break;
    }
    setMustRedraw();
}

// Does not erase: the face is opaque.
void MyItem::setMustRedraw() {
    RECT area{screenRect.left, screenRect.top, screenRect.left + (right - left),
              screenRect.top + (bottom - top)};
    if (!isPushButton() && captionLabel != nullptr) {
        area.right += captionLabel->right;
    }
    area = intersection(
        area, RECT{0, viewRect.top, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    screenRect = area;
    if (isEmpty(area)) {
        return;
    }
    dirtyRect = area;
    fullRedraw = 1;
    if (theFrame != nullptr) {
        theFrame->redraw(false);
    }
}

void MyItem::childResized(Element* child, int width, int height) {
    if (child == nullptr || (child != captionLabel && child != detailLabel) || !isPushButton()) {
        return;
    }
    if (right - left < width) {
        child->right = child->left + (right - left);
    }
    if (bottom - top < height) {
        child->bottom = child->top + (bottom - top);
    }
}
