#include "GfxTestSupport.h"

#include "gdi/BufferDC.h"

#include <unistd.h>

namespace gfxtest {

BufferCanvas::BufferCanvas(int w, int h, std::uint16_t background)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, background),
      dc(platform::gdi::createBufferDC(pixels.data(), w, h, w)) {}

BufferCanvas::~BufferCanvas() {
    platform::gdi::deleteBufferDC(dc);
}

RECT BufferCanvas::ink(std::uint16_t background) const {
    RECT r{width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (at(x, y) != background) {
                r.left = std::min<LONG>(r.left, x);
                r.top = std::min<LONG>(r.top, y);
                r.right = std::max<LONG>(r.right, x + 1);
                r.bottom = std::max<LONG>(r.bottom, y + 1);
            }
        }
    }
    return r;
}

std::vector<std::uint8_t> writePng(const std::filesystem::path& file, int width, int height,
                                   const std::vector<std::uint8_t>& pixels, bool alpha) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr));
    std::vector<std::uint8_t> bytes(size);
    EXPECT_TRUE(
        png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr));
    bytes.resize(size);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    return bytes;
}

std::filesystem::path windowsFolder() {
    std::filesystem::path folder = platform::paths::toHost(L"\\windows");
    std::filesystem::create_directories(folder);
    return folder;
}

std::filesystem::path programFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

} // namespace gfxtest
