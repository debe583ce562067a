#include "SetCheck.h"

#include "Design.h"
#include "PngFile.h"
#include "ResourceSet.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

namespace imagegen {

namespace {

using Pixel = std::array<int, 4>;
using Images = std::map<std::string, PngPixels, std::less<>>;

Pixel pixelAt(const PngPixels& image, int x, int y) {
    const std::uint8_t* p = image.at(x, y);
    return {p[0], p[1], p[2], p[3]};
}

Pixel opaque(Rgba colour) {
    return {static_cast<int>(std::lround(colour.r * 255)),
            static_cast<int>(std::lround(colour.g * 255)),
            static_cast<int>(std::lround(colour.b * 255)), 255};
}

int distance(const Pixel& a, const Pixel& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        worst = std::max(worst, std::abs(a[i] - b[i]));
    }
    return worst;
}

bool sameColumn(const PngPixels& image, int x1, int x2) {
    for (int y = 0; y < image.height; ++y) {
        if (pixelAt(image, x1, y) != pixelAt(image, x2, y)) {
            return false;
        }
    }
    return true;
}

bool sameRow(const PngPixels& image, int y1, int y2, int fromX, int toX) {
    for (int x = fromX; x < toX; ++x) {
        if (pixelAt(image, x, y1) != pixelAt(image, x, y2)) {
            return false;
        }
    }
    return true;
}

class Checker {
public:
    explicit Checker(std::filesystem::path folder) : folder_(std::move(folder)) {}

    std::vector<std::string> run() {
        bool allUsable = true;
        for (const ImageSpec& wanted : resourceImages()) {
            allUsable = checkFile(wanted) && allUsable;
        }
        // The pictures themselves are judged once every file could be decoded at its size.
        if (allUsable) {
            checkButtonFaces();
            checkInputTiles();
            checkMessageBox();
            checkBars();
            checkBackdrop();
        }
        return problems_;
    }

private:
    void fail(std::string_view file, const std::string& what) {
        problems_.push_back(std::string(file) + ": " + what);
    }

    // Checks one file's format; returns whether its pixels can be judged.
    bool checkFile(const ImageSpec& wanted) {
        const std::filesystem::path file = folder_ / wanted.file;
        std::string error;
        std::optional<PngPixels> image = readPng(file, error);
        if (!image) {
            fail(wanted.file, "cannot be read (" + error + ")");
            return false;
        }
        if (!isRgba8(file)) {
            fail(wanted.file, "is not stored as 8-bit RGBA");
        }
        const auto resolution = readPhysicalResolution(file);
        const std::uint32_t expected = pixelsPerMetre(design::dotsPerInch);
        if (!resolution || resolution->unit != 1 || resolution->perMetreX != expected ||
            resolution->perMetreY != expected) {
            fail(wanted.file,
                 "lacks a pHYs chunk of " + std::to_string(expected) + " pixels a metre");
        }
        const bool rightSize =
            image->width == wanted.size.width && image->height == wanted.size.height;
        if (!rightSize) {
            fail(wanted.file, "is " + std::to_string(image->width) + " x " +
                                  std::to_string(image->height) + ", not " +
                                  std::to_string(wanted.size.width) + " x " +
                                  std::to_string(wanted.size.height));
        }
        if (image->width % wanted.frames != 0) {
            fail(wanted.file, "does not split into " + std::to_string(wanted.frames) + " frames");
        }
        images_.emplace(std::string(wanted.file), std::move(*image));
        return rightSize;
    }

    const PngPixels& image(std::string_view file) const { return images_.find(file)->second; }

    // The band where a centred caption lies must match the colour it is anti-aliased onto.
    void checkFaceAroundCaption(std::string_view file, int frame, Rgba key, const char* look) {
        const PngPixels& strip = image(file);
        const int frameWidth = strip.width / design::pushButtonFrames;
        const int centreY = strip.height / 2;
        const int halfText = design::textLineHeight / 2 - 2;
        int worst = 0;
        for (int y = centreY - halfText; y < centreY + halfText; ++y) {
            for (int x = frameWidth / 4; x < frameWidth * 3 / 4; ++x) {
                worst = std::max(worst,
                                 distance(pixelAt(strip, frame * frameWidth + x, y), opaque(key)));
            }
        }
        constexpr int tolerance = 16;
        if (worst > tolerance) {
            fail(file, std::string("the ") + look + " face strays " + std::to_string(worst) +
                           " levels from its caption's key colour");
        }
    }

    void checkButtonFaces() {
        using namespace design::palette;
        for (std::string_view file : {"btn_common_normal.png", "btn_common_msgbox_small.png",
                                      "btn_common_msgbox_large.png"}) {
            checkFaceAroundCaption(file, 0, captionKey, "normal");
            checkFaceAroundCaption(file, 1, pressedCaptionKey, "pressed");
            checkFaceAroundCaption(file, 2, captionKey, "disabled");
        }
    }

    void checkInputTiles() {
        constexpr std::string_view file = "btn_common_input.png";
        const PngPixels& tiles = image(file);
        const int tileWidth = tiles.width / design::inputTiles;
        const int column = design::inputStretchColumn;
        for (int tile = 0; tile < design::inputTiles; ++tile) {
            const int left = tile * tileWidth;
            for (int x = design::inputCapWidth; x < tileWidth - design::inputCapWidth; ++x) {
                if (!sameColumn(tiles, left + x, left + column)) {
                    fail(file, "tile " + std::to_string(tile) + " column " + std::to_string(x) +
                                   " differs from the stretched column");
                    break;
                }
            }
        }
        // The normal and the edited field show their text anti-aliased onto white.
        for (int tile = 0; tile < 2; ++tile) {
            for (int y = design::inputTextTop; y < design::inputTextTop + design::textLineHeight;
                 ++y) {
                if (pixelAt(tiles, tile * tileWidth + column, y) !=
                    opaque(design::palette::white)) {
                    fail(file, "tile " + std::to_string(tile) + " is not white behind its text");
                    break;
                }
            }
        }
    }

    void checkMessageBox() {
        constexpr std::string_view file = "bg_common_msgbox.png";
        const PngPixels& box = image(file);
        const int w = box.width, h = box.height;
        // Drawn in three bands: the top half, rows h/2 and h/2 + 1 stretched, the last quarter.
        if (!sameRow(box, h / 2, h / 2 + 1, 0, w) || !sameRow(box, h / 2, 3 * h / 4, 0, w)) {
            fail(file, "is not uniform down its middle, so its bands would show seams");
        }
        for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) {
            if (pixelAt(box, x, y)[3] != 0) {
                fail(file, "has an opaque corner");
                break;
            }
        }
        // Buttons stand on the body (across its middle and into its bottom band) with their corners
        // blended onto the toolkit's background.
        const Pixel background = opaque(design::palette::toolkitBackground);
        const int buttonMargin = 10;
        std::vector<int> rows{h / 2};
        for (int y = 3 * h / 4; y < h - h / 6; ++y) {
            rows.push_back(y);
        }
        for (int y : rows) {
            for (int x = buttonMargin; x < w - buttonMargin; ++x) {
                if (pixelAt(box, x, y) != background) {
                    fail(file,
                         "body at row " + std::to_string(y) + " is not the toolkit's background");
                    return;
                }
            }
        }
    }

    // Bars are stretched or extended sideways, so each row must keep one colour.
    void checkBars() {
        for (std::string_view file : {"bg_common_titlebar.png", "bg_common_divider_section.png"}) {
            const PngPixels& bar = image(file);
            for (int x = bar.width / 2; x < bar.width; ++x) {
                if (!sameColumn(bar, x, bar.width - 1)) {
                    fail(file, "changes along its right half");
                    break;
                }
            }
        }
        const PngPixels& header = image("bg_common_titlebar.png");
        for (int y = 0; y < header.height; ++y) {
            if (pixelAt(header, 0, y)[3] != 255) {
                fail("bg_common_titlebar.png", "is not opaque");
                break;
            }
        }
    }

    void checkBackdrop() {
        const PngPixels& backdrop = image("background.png");
        for (int y = 0; y < backdrop.height; ++y) {
            for (int x = 0; x < backdrop.width; ++x) {
                const int alpha = pixelAt(backdrop, x, y)[3];
                if (alpha < 100 || alpha > 180) {
                    fail("background.png", "is not a translucent dimming layer");
                    return;
                }
            }
        }
    }

    std::filesystem::path folder_;
    Images images_;
    std::vector<std::string> problems_;
};

} // namespace

std::vector<std::string> checkResourceSet(const std::filesystem::path& folder) {
    return Checker(folder).run();
}

} // namespace imagegen
