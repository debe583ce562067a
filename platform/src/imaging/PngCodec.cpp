#include "imaging/PngCodec.h"

#include "imaging.h"
#include "kernel/AtomicFile.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace platform::imaging {
namespace {

constexpr std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uintmax_t largestFile = 64u << 20;

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// The resolution of the pHYs chunk (pixels per metre) as dots per inch, when the file has one.
void readResolution(const std::vector<std::uint8_t>& bytes, RgbaImage& image) {
    std::size_t at = sizeof signature;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t length = bigEndian32(&bytes[at]);
        const char* type = reinterpret_cast<const char*>(&bytes[at + 4]);
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0 ||
            length > bytes.size() - at - 8) {
            return;
        }
        if (std::memcmp(type, "pHYs", 4) == 0 && length == 9) {
            const std::uint32_t x = bigEndian32(&bytes[at + 8]);
            const std::uint32_t y = bigEndian32(&bytes[at + 12]);
            if (bytes[at + 16] == 1 && x > 0 && y > 0) {
                image.xdpi = x * 0.0254;
                image.ydpi = y * 0.0254;
                image.realDpi = true;
            }
            return;
        }
        at += std::size_t{length} + 12;
    }
}

HRESULT errnoResult(int error) {
    switch (error) {
    case ENOENT:
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
        return E_ACCESSDENIED;
    default:
        return E_FAIL;
    }
}

} // namespace

HRESULT decodePng(const std::vector<std::uint8_t>& bytes, DecodedPng& out) {
    if (bytes.size() < sizeof signature || std::memcmp(bytes.data(), signature, sizeof signature)) {
        return IMGERR_CODECNOTFOUND;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        png_image_free(&png);
        return E_FAIL;
    }
    if (png.width == 0 || png.height == 0 ||
        std::size_t{png.width} * png.height > largestImagePixels) {
        png_image_free(&png);
        return E_OUTOFMEMORY;
    }
    out.hasAlpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    png.format = PNG_FORMAT_RGBA;
    out.image = RgbaImage(static_cast<int>(png.width), static_cast<int>(png.height));
    if (!png_image_finish_read(&png, nullptr, out.image.rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        out = DecodedPng{};
        return E_FAIL;
    }
    readResolution(bytes, out.image);
    return S_OK;
}

HRESULT decodePngFile(const std::filesystem::path& file, DecodedPng& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return errnoResult(errno);
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > largestFile) {
        return error ? E_FAIL : E_OUTOFMEMORY;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        return E_FAIL;
    }
    return decodePng(bytes, out);
}

bool encodePng(const RgbaImage& image, bool withAlpha, std::vector<std::uint8_t>& out) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> pixels = image.rgba;
    if (!withAlpha) {
        // Drop the alpha bytes: the file is plain RGB.
        png.format = PNG_FORMAT_RGB;
        std::size_t o = 0;
        for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
            pixels[o++] = image.rgba[i];
            pixels[o++] = image.rgba[i + 1];
            pixels[o++] = image.rgba[i + 2];
        }
        pixels.resize(o);
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    out.resize(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    out.resize(size);
    return true;
}

bool replaceFileAtomically(const std::filesystem::path& file,
                           const std::vector<std::uint8_t>& bytes) {
    // The replacement keeps the old file's permissions.
    return kernel::replaceFileAtomically(
        file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace platform::imaging
