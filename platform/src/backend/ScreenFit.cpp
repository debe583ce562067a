#include "backend/ScreenFit.h"

#include <algorithm>

namespace platform::backend {

namespace {

constexpr int kDesignWidth = 480;
constexpr int kDesignDpi = 192;
constexpr int kNarrowestPortrait = 360;

} // namespace

ScreenFit fitScreen(int outputWidth, int outputHeight, int width, int height) {
    ScreenFit fit;
    fit.width = std::max(1, width);
    fit.height = std::max(1, height);
    fit.scale = std::max(1, std::min(outputWidth / fit.width, outputHeight / fit.height));
    fit.left = std::max(0, (outputWidth - fit.width * fit.scale) / 2);
    fit.top = std::max(0, (outputHeight - fit.height * fit.scale) / 2);
    return fit;
}

ScreenPoint screenPixelAt(const ScreenFit& fit, int x, int y) {
    // Floor division: a pixel left of the screen stays left of it before the clamp.
    auto toScreen = [&](int value, int origin, int size) {
        const int offset = value - origin;
        const int pixel = offset >= 0 ? offset / fit.scale : -1;
        return std::clamp(pixel, 0, size - 1);
    };
    return ScreenPoint{toScreen(x, fit.left, fit.width), toScreen(y, fit.top, fit.height)};
}

NativeScreen nativeScreen(int displayWidth, int displayHeight) {
    NativeScreen screen;
    const bool portrait = displayWidth < displayHeight;
    screen.scale = portrait ? std::max(1, displayWidth / kNarrowestPortrait)
                            : std::max(1, displayHeight / kDesignWidth);
    screen.width = displayWidth / screen.scale;
    screen.height = displayHeight / screen.scale;
    const int narrow = std::min(screen.width, screen.height);
    screen.dpi = screen.width < kDesignWidth ? kDesignDpi * narrow / kDesignWidth : kDesignDpi;
    return screen;
}

} // namespace platform::backend
