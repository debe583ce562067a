#include "imaging/PngCodec.h"

#include "imaging.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

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

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
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
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string name = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp makes the file private; the replacement keeps the old file's permissions.
    struct stat old {};
    ::fchmod(fd, ::stat(file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(name.c_str(), file.c_str()) != 0) {
        ::unlink(name.c_str());
        return false;
    }
    syncFolder(folder);
    return true;
}

} // namespace platform::imaging
