#include "SharedResources.h"

#include <utility>

SharedResources sharedResources;

namespace {

template <typename Interface>
void release(Interface*& object) {
    if (object != nullptr) {
        std::exchange(object, nullptr)->Release();
    }
}

void release(HFONT& font) {
    if (font != nullptr) {
        DeleteObject(std::exchange(font, nullptr));
    }
}

} // namespace

void releaseSharedResources() {
    SharedResources& shared = sharedResources;
    for (HFONT* font : {&shared.fontLarge, &shared.fontNormal, &shared.fontItalic,
                        &shared.fontSmall, &shared.panelCaptionFont, &shared.sectionTitleFont}) {
        release(*font);
    }
    for (ItemStyleStrips& strips : shared.itemStrips) {
        release(strips.main.surface);
        release(strips.thirdState.surface);
    }
    for (IDirectDrawSurface** surface :
         {&shared.panelTitleImage, &shared.separatorImage, &shared.separatorLine,
          &shared.sectionHeaderImage, &shared.inputImage}) {
        release(*surface);
    }
    release(shared.boxImage);
    release(shared.backdropImage);
    release(shared.imagingFactory);
    shared = SharedResources{};
}
