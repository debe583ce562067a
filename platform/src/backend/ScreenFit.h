// Where the device's screen sits on the window system's pixels: scaled by a whole multiple only
// (a scaled pixel is a square of identical pixels, never blurred), centred, and which screen
// pixel a window pixel shows. The picture and the pointer use the same numbers, so a touch maps
// back to exactly the pixel it lands on.
#pragma once

namespace platform::backend {

struct ScreenFit {
    int scale = 1; // window pixels per screen pixel, each way
    int left = 0;  // the screen's top left corner in window pixels
    int top = 0;
    int width = 0; // the screen in its pixels
    int height = 0;
};

// The largest whole scale at which a screen of `width` x `height` fits `outputWidth` x
// `outputHeight` window pixels (at least 1), centred.
ScreenFit fitScreen(int outputWidth, int outputHeight, int width, int height);

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// The screen pixel shown at window pixel (x, y); points off the screen go to its nearest edge.
ScreenPoint screenPixelAt(const ScreenFit& fit, int x, int y);

// A native device on a display of `width` x `height` pixels: the program's layout is designed
// for a screen 480 pixels wide with fingers about 60 of its pixels wide. A portrait display
// wider than 720 pixels (a phone at 720 x 1440) becomes a device of whole fractions of its
// pixels at least 360 wide, shown at that whole scale; a landscape display (a 800 x 480 panel)
// keeps at least 480 rows. The density follows the width the layout gets.
struct NativeScreen {
    int width = 0;
    int height = 0;
    int dpi = 192;
    int scale = 1;
};
NativeScreen nativeScreen(int displayWidth, int displayHeight);

} // namespace platform::backend
