// Every size and colour of the resource set in one place. Sizes are pixels of the 480-pixel-wide
// VGA design (192 dots per inch); the program shrinks the set itself on smaller screens.
#pragma once

#include "Colour.h"

namespace imagegen::design {

inline constexpr int dotsPerInch = 192;
inline constexpr int screenWidth = 480;

struct Size {
    int width = 0;
    int height = 0;
};

// Header bar of a scrolling section; its caption is centred on it.
inline constexpr int titleBarHeight = 64;
// Title bar of a panel: the dark bar, then a soft shadow below it.
inline constexpr int dividerBarHeight = 44;
inline constexpr int dividerHeight = 48;
// One frame of each button strip. The caption (9 points, about 28 pixels a line) is centred.
inline constexpr Size normalButton{312, 68};
inline constexpr Size smallBoxButton{160, 60};
inline constexpr Size largeBoxButton{400, 64};
inline constexpr Size checkBoxFrame{60, 60};
inline constexpr Size switchFrame{112, 60};
// One tile of the text field image: 10-pixel caps around a middle whose column 15 is
// stretched over the field's width. The toolkit keeps those column numbers when the image is
// halved for a small screen, so the tile is wide enough for column 15 of the halved tile to
// stay clear of the rounded right corner.
inline constexpr Size inputTile{48, 56};
inline constexpr int inputCapWidth = 10;
inline constexpr int inputStretchColumn = 15;
// Where a field's text label sits, and how tall one line of it is.
inline constexpr int inputTextTop = 10;
inline constexpr int textLineHeight = 28;
inline constexpr Size messageBox{440, 232};
inline constexpr int messageBoxCaptionBand = 58;
inline constexpr Size backdrop{48, 48};
inline constexpr Size dotLine{8, 1};
inline constexpr Size listItem{460, 76};
inline constexpr Size pivotArrow{48, 48};
inline constexpr Size comboButton{64, 64};
inline constexpr Size sliderTrack{400, 24};
inline constexpr Size sliderKnob{48, 48};
inline constexpr int appIconSizes[] = {48, 256};

// Frames in each strip, left to right.
inline constexpr int pushButtonFrames = 4; // normal, pressed, disabled, focused
inline constexpr int checkBoxFrames = 6;   // off, on, disabled off, disabled on, pressed off, on
inline constexpr int switchFrames = 7;     // the same six, then the look while pressed
inline constexpr int thirdStateFrames = 2; // third state, disabled third state
inline constexpr int inputTiles = 3;       // normal, being edited, disabled
inline constexpr int listItemFrames = 2;   // normal, pressed
inline constexpr int comboFrames = 2;      // normal, pressed

namespace palette {

// The toolkit's background (RGB565 0xEF5D): transparent parts end up on it.
inline constexpr Rgba toolkitBackground = fromRgb565(0xEF5D);
// Captions of push buttons are anti-aliased onto these keys, so the faces must match them.
inline constexpr Rgba captionKey = fromRgb565(0xE71C);
inline constexpr Rgba pressedCaptionKey = fromRgb565(0x3186);
// Text fields show their text anti-aliased onto white.
inline constexpr Rgba fieldKey = hex(0xFFFFFF);

inline constexpr Rgba white = hex(0xFFFFFF);
inline constexpr Rgba black = hex(0x000000);
inline constexpr Rgba accentLight = hex(0xFFC65E);
inline constexpr Rgba accent = hex(0xF39A1E);
inline constexpr Rgba accentDark = hex(0xC46A00);
inline constexpr Rgba border = hex(0x8E8C92);
inline constexpr Rgba borderDark = hex(0x6F6D73);
inline constexpr Rgba borderPale = hex(0xC3C1C5);
inline constexpr Rgba slateLight = hex(0x8A95A3);
inline constexpr Rgba slate = hex(0x5D6877);
inline constexpr Rgba slateDark = hex(0x343B46);
inline constexpr Rgba slateEdge = hex(0x20252C);
inline constexpr Rgba dot = hex(0xA29FA6);
inline constexpr Rgba backdrop = hex(0x0A0E14, 0.55f);

} // namespace palette

} // namespace imagegen::design
