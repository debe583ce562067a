#include "imaging/PixelFormats.h"

#include "ddraw/PixelView.h"

#include <cstring>

namespace platform::imaging {

bool isSupportedFormat(PixelFormatID format) {
    switch (format) {
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
    case PixelFormat24bppRGB:
    case PixelFormat32bppRGB:
    case PixelFormat32bppARGB:
    case PixelFormat32bppPARGB:
        return true;
    default:
        return false;
    }
}

bool hasAlpha(PixelFormatID format) {
    return format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB;
}

int bytesPerPixel(PixelFormatID format) {
    switch (format) {
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
        return 2;
    case PixelFormat24bppRGB:
        return 3;
    default:
        return 4;
    }
}

int strideFor(PixelFormatID format, int width) {
    return (width * bytesPerPixel(format) + 3) & ~3;
}

void exportRow(const RgbaImage& image, int x, int y, int count, PixelFormatID format, void* out) {
    auto* bytes = static_cast<std::uint8_t*>(out);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* p = image.pixel(x + i, y);
        const int r = p[0], g = p[1], b = p[2], a = p[3];
        switch (format) {
        case PixelFormat16bppRGB565: {
            const std::uint16_t v = gfx::pack565(r, g, b);
            std::memcpy(bytes + i * 2, &v, sizeof v);
            break;
        }
        case PixelFormat16bppRGB555: {
            const auto v =
                static_cast<std::uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
            std::memcpy(bytes + i * 2, &v, sizeof v);
            break;
        }
        case PixelFormat24bppRGB:
            bytes[i * 3] = static_cast<std::uint8_t>(b);
            bytes[i * 3 + 1] = static_cast<std::uint8_t>(g);
            bytes[i * 3 + 2] = static_cast<std::uint8_t>(r);
            break;
        case PixelFormat32bppPARGB:
            bytes[i * 4] = static_cast<std::uint8_t>((b * a + 127) / 255);
            bytes[i * 4 + 1] = static_cast<std::uint8_t>((g * a + 127) / 255);
            bytes[i * 4 + 2] = static_cast<std::uint8_t>((r * a + 127) / 255);
            bytes[i * 4 + 3] = static_cast<std::uint8_t>(a);
            break;
        default: // 32 bpp RGB and ARGB: B, G, R, then alpha (opaque for RGB)
            bytes[i * 4] = static_cast<std::uint8_t>(b);
            bytes[i * 4 + 1] = static_cast<std::uint8_t>(g);
            bytes[i * 4 + 2] = static_cast<std::uint8_t>(r);
            bytes[i * 4 + 3] = format == PixelFormat32bppARGB ? static_cast<std::uint8_t>(a) : 0xFF;
            break;
        }
    }
}

void importRow(RgbaImage& image, int x, int y, int count, PixelFormatID format, const void* in) {
    const auto* bytes = static_cast<const std::uint8_t*>(in);
    for (int i = 0; i < count; ++i) {
        std::uint8_t* p = image.pixel(x + i, y);
        int r = 0, g = 0, b = 0, a = 255;
        switch (format) {
        case PixelFormat16bppRGB565: {
            std::uint16_t v;
            std::memcpy(&v, bytes + i * 2, sizeof v);
            const gfx::Rgb8 c = gfx::unpack565(v);
            r = c.r, g = c.g, b = c.b;
            break;
        }
        case PixelFormat16bppRGB555: {
            std::uint16_t v;
            std::memcpy(&v, bytes + i * 2, sizeof v);
            const int r5 = (v >> 10) & 0x1F, g5 = (v >> 5) & 0x1F, b5 = v & 0x1F;
            r = (r5 << 3) | (r5 >> 2), g = (g5 << 3) | (g5 >> 2), b = (b5 << 3) | (b5 >> 2);
            break;
        }
        case PixelFormat24bppRGB:
            b = bytes[i * 3], g = bytes[i * 3 + 1], r = bytes[i * 3 + 2];
            break;
        case PixelFormat32bppPARGB:
            a = bytes[i * 4 + 3];
            if (a != 0) {
                b = (bytes[i * 4] * 255 + a / 2) / a;
                g = (bytes[i * 4 + 1] * 255 + a / 2) / a;
                r = (bytes[i * 4 + 2] * 255 + a / 2) / a;
            }
            break;
        default:
            b = bytes[i * 4], g = bytes[i * 4 + 1], r = bytes[i * 4 + 2];
            a = format == PixelFormat32bppARGB ? bytes[i * 4 + 3] : 255;
            break;
        }
        p[0] = static_cast<std::uint8_t>(r > 255 ? 255 : r);
        p[1] = static_cast<std::uint8_t>(g > 255 ? 255 : g);
        p[2] = static_cast<std::uint8_t>(b > 255 ? 255 : b);
        p[3] = static_cast<std::uint8_t>(a);
    }
}

} // namespace platform::imaging
