#include "PngFile.h"

#include <png.h>

#include <array>
#include <cmath>
#include <fstream>
#include <iterator>

namespace imagegen {

namespace {

constexpr std::size_t signatureSize = 8;
constexpr std::size_t chunkOverhead = 12; // length, type, CRC
constexpr std::uint8_t colourTypeRgba = 6;

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::uint32_t bigEndianAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return (std::uint32_t{bytes[offset]} << 24) | (std::uint32_t{bytes[offset + 1]} << 16) |
           (std::uint32_t{bytes[offset + 2]} << 8) | std::uint32_t{bytes[offset + 3]};
}

std::vector<std::uint8_t> physicalChunk(std::uint32_t perMetre) {
    std::vector<std::uint8_t> chunk;
    appendBigEndian(chunk, 9);
    for (char c : {'p', 'H', 'Y', 's'}) {
        chunk.push_back(static_cast<std::uint8_t>(c));
    }
    appendBigEndian(chunk, perMetre);
    appendBigEndian(chunk, perMetre);
    chunk.push_back(1); // the unit is the metre
    appendBigEndian(chunk, crc32(chunk.data() + 4, chunk.size() - 4));
    return chunk;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Chunk {
    std::string type;
    std::size_t dataOffset = 0;
    std::uint32_t length = 0;
};

// The chunks of a PNG byte stream, stopping at the first malformed one.
std::vector<Chunk> chunksOf(const std::vector<std::uint8_t>& bytes) {
    std::vector<Chunk> chunks;
    std::size_t offset = signatureSize;
    while (offset + chunkOverhead <= bytes.size()) {
        const std::uint32_t length = bigEndianAt(bytes, offset);
        if (length > bytes.size() - offset - chunkOverhead) {
            break;
        }
        chunks.push_back({std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(offset + 8)),
                          offset + 8, length});
        offset += chunkOverhead + length;
    }
    return chunks;
}

} // namespace

std::uint32_t pixelsPerMetre(int dotsPerInch) {
    return static_cast<std::uint32_t>(std::lround(dotsPerInch / 0.0254));
}

bool writePng(const std::filesystem::path& file, const Canvas& canvas, int dotsPerInch,
              Rgba transparentFill, std::string& error) {
    const std::vector<std::uint8_t> pixels = canvas.toRgba8(transparentFill);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(canvas.width());
    image.height = static_cast<png_uint_32>(canvas.height());
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr)) {
        error = image.message;
        return false;
    }
    std::vector<std::uint8_t> encoded(size);
    if (!png_image_write_to_memory(&image, encoded.data(), &size, 0, pixels.data(), 0, nullptr)) {
        error = image.message;
        return false;
    }
    encoded.resize(size);

    // The resolution goes right after the header chunk, before any image data.
    const std::vector<Chunk> chunks = chunksOf(encoded);
    if (chunks.empty() || chunks.front().type != "IHDR") {
        error = "encoder produced no header chunk";
        return false;
    }
    const std::size_t afterHeader = chunks.front().dataOffset + chunks.front().length + 4;
    const std::vector<std::uint8_t> resolution = physicalChunk(pixelsPerMetre(dotsPerInch));
    encoded.insert(encoded.begin() + static_cast<std::ptrdiff_t>(afterHeader), resolution.begin(),
                   resolution.end());

    std::filesystem::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(encoded.data()),
                  static_cast<std::streamsize>(encoded.size()));
        if (!out.flush()) {
            error = "cannot write " + temporary.string();
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        error = "cannot replace " + file.string() + ": " + ec.message();
        return false;
    }
    return true;
}

std::optional<PngPixels> readPng(const std::filesystem::path& file, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const std::string name = file.string();
    if (!png_image_begin_read_from_file(&image, name.c_str())) {
        error = image.message;
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    PngPixels pixels;
    pixels.width = static_cast<int>(image.width);
    pixels.height = static_cast<int>(image.height);
    pixels.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.rgba.data(), 0, nullptr)) {
        error = image.message;
        png_image_free(&image);
        return std::nullopt;
    }
    return pixels;
}

std::optional<PhysicalResolution> readPhysicalResolution(const std::filesystem::path& file) {
    const auto bytes = readFile(file);
    if (!bytes) {
        return std::nullopt;
    }
    for (const Chunk& chunk : chunksOf(*bytes)) {
        if (chunk.type == "pHYs" && chunk.length == 9) {
            return PhysicalResolution{bigEndianAt(*bytes, chunk.dataOffset),
                                      bigEndianAt(*bytes, chunk.dataOffset + 4),
                                      (*bytes)[chunk.dataOffset + 8]};
        }
    }
    return std::nullopt;
}

std::optional<std::pair<int, int>> readPngSize(const std::filesystem::path& file) {
    const auto bytes = readFile(file);
    if (!bytes) {
        return std::nullopt;
    }
    const std::vector<Chunk> chunks = chunksOf(*bytes);
    if (chunks.empty() || chunks.front().type != "IHDR" || chunks.front().length != 13) {
        return std::nullopt;
    }
    const std::size_t header = chunks.front().dataOffset;
    return std::pair{static_cast<int>(bigEndianAt(*bytes, header)),
                     static_cast<int>(bigEndianAt(*bytes, header + 4))};
}

bool isRgba8(const std::filesystem::path& file) {
    const auto bytes = readFile(file);
    if (!bytes) {
        return false;
    }
    const std::vector<Chunk> chunks = chunksOf(*bytes);
    if (chunks.empty() || chunks.front().type != "IHDR" || chunks.front().length != 13) {
        return false;
    }
    const std::size_t header = chunks.front().dataOffset;
    return (*bytes)[header + 8] == 8 && (*bytes)[header + 9] == colourTypeRgba;
}

} // namespace imagegen
