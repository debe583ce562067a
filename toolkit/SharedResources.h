// The images and fonts the widgets share, in one object: each is made by the first widget that
// needs it and kept for the whole process. Code reaches them by their documented names, references
// to the members declared in the widgets' headers (MyLabel.h, MyItem.h, MyPanel.h, Section.h,
// MyEditControl.h, MessageBoxSense.h, ImageLoader.h).
#pragma once

#include <ddraw.h>
#include <imaging.h>
#include <windows.h>

#include <array>

// One strip of an item style's frames.
struct ItemStrip {
    IDirectDrawSurface* surface = nullptr;
    int frameHeight = 0;
    int frameWidth = 0;
};

struct ItemStyleStrips {
    ItemStrip main;
    ItemStrip thirdState; // check boxes and switches only
};

struct SharedResources {
    IImagingFactory* imagingFactory = nullptr;

    // The label fonts, the panel's caption font and the section's title font.
    HFONT fontLarge = nullptr;
    HFONT fontNormal = nullptr;
    HFONT fontItalic = nullptr;
    HFONT fontSmall = nullptr;
    HFONT panelCaptionFont = nullptr;
    HFONT sectionTitleFont = nullptr;

    std::array<ItemStyleStrips, 7> itemStrips{}; // by item style; entry 0 is unused

    IDirectDrawSurface* panelTitleImage = nullptr;
    int panelTitleImageWidth = 0;
    int panelTitleImageHeight = 0;
    IDirectDrawSurface* separatorImage = nullptr;
    int separatorImageWidth = 0;
    IDirectDrawSurface* separatorLine = nullptr;
    int separatorLineWidth = 0;

    IDirectDrawSurface* sectionHeaderImage = nullptr;
    int headerImageWidth = 0;
    int headerImageHeight = 0;

    IDirectDrawSurface* inputImage = nullptr;
    int inputImageHeight = 0;
    WORD inputTileWidth = 0;

    IImage* boxImage = nullptr;
    IImage* backdropImage = nullptr;
    int boxImageWidth = 0;
    int boxImageHeight = 0;
    double boxUnitsPerPixelX = 0.0;
    double boxUnitsPerPixelY = 0.0;
};

extern SharedResources sharedResources;

// Releases every image, surface and font of sharedResources and forgets them all, so that the
// next widget makes them again (part of resetToolkitState, ToolkitState.h).
void releaseSharedResources();
