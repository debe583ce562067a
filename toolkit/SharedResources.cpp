#include "SharedResources.h"

#include "DisplayFrame.h"
#include "MessageBoxSense.h"
#include "MyEditControl.h"
#include "MyItem.h"
#include "MyLabel.h"
#include "MyPanel.h"
#include "Section.h"

#include <utility>

namespace {

void release(IDirectDrawSurface*& surface) {
    if (surface != nullptr) {
        std::exchange(surface, nullptr)->Release();
    }
}

void release(IImage*& image) {
    if (image != nullptr) {
        std::exchange(image, nullptr)->Release();
    }
}

void release(HFONT& font) {
    if (font != nullptr) {
        DeleteObject(std::exchange(font, nullptr));
    }
}

} // namespace

void releaseSharedWidgetResources() {
    release(backBuffer);
    release(scrollBarSurface);
    for (HFONT* font : {&fontLarge, &fontNormal, &fontItalic, &fontSmall, &MyPanel::captionFont,
                        &Section::titleFont}) {
        release(*font);
    }
    for (ItemStyleStrips& strips : itemStrips) {
        release(strips.main.surface);
        release(strips.thirdState.surface);
        strips = ItemStyleStrips{};
    }
    release(MyPanel::titleImage);
    release(MyPanel::separatorImage);
    release(MyPanel::separatorLine);
    MyPanel::titleImageWidth = MyPanel::titleImageHeight = 0;
    MyPanel::separatorImageWidth = MyPanel::separatorLineWidth = 0;
    release(Section::headerImage);
    Section::headerImageWidth = Section::headerImageHeight = 0;
    Section::scrollBarShown = 0;
    Section::windowInactive = false;
    release(MyEditControl::inputImage);
    MyEditControl::inputImageHeight = 0;
    MyEditControl::inputTileWidth = 0;
    MyEditControl::savedViewRect = RECT{};
    // The native editor is a window of the old display; the next field makes a new one.
    if (editWindow != nullptr && IsWindow(editWindow)) {
        DestroyWindow(editWindow);
    }
    editWindow = nullptr;
    release(boxImage);
    release(backdropImage);
    boxImageWidth = boxImageHeight = 0;
    boxUnitsPerPixelX = boxUnitsPerPixelY = 0.0;
}
