// PNG files of the resource set: 8-bit RGBA with a physical resolution (pHYs chunk), written
// through libpng's simplified interface and replaced atomically.
#pragma once

#include "Canvas.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace imagegen {

struct PngPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba; // straight RGBA, 8 bits a channel

    const std::uint8_t* at(int x, int y) const {
        return &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
    }
};

// Pixels per metre as stored in the pHYs chunk (unit 1 = metre).
struct PhysicalResolution {
    std::uint32_t perMetreX = 0;
    std::uint32_t perMetreY = 0;
    std::uint8_t unit = 0;
};

std::uint32_t pixelsPerMetre(int dotsPerInch);

// Writes the canvas; on failure returns false with the reason in `error`.
bool writePng(const std::filesystem::path& file, const Canvas& canvas, int dotsPerInch,
              Rgba transparentFill, std::string& error);
std::optional<PngPixels> readPng(const std::filesystem::path& file, std::string& error);
// The file's pHYs chunk, if it has one.
std::optional<PhysicalResolution> readPhysicalResolution(const std::filesystem::path& file);
// Width and height from the file's header, without decoding it.
std::optional<std::pair<int, int>> readPngSize(const std::filesystem::path& file);
// Whether the file's colour type carries an alpha channel at 8 bits a channel.
bool isRgba8(const std::filesystem::path& file);

} // namespace imagegen
