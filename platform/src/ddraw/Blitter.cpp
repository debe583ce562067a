#include "ddraw/Blitter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

namespace platform::gfx {
namespace {

int widthOf(const RECT& r) {
    return r.right - r.left;
}
int heightOf(const RECT& r) {
    return r.bottom - r.top;
}

bool sharesMemory(const PixelView& a, const PixelView& b) {
    return a.pixels == b.pixels;
}

bool overlaps(const RECT& a, const RECT& b) {
    return !isEmpty(intersect(a, b));
}

// Fills `count` pixels two at a time through the C library's wide-character fill, which is
// tuned for the processor at hand (a plain loop over 16-bit pixels runs at about half the speed
// of memset). A pixel before a 4-byte boundary and an odd last pixel are written on their own.
void fillRun(std::uint16_t* pixels, std::size_t count, std::uint16_t colour) {
    static_assert(sizeof(wchar_t) == 2 * sizeof(std::uint16_t));
    if (count > 0 && reinterpret_cast<std::uintptr_t>(pixels) % alignof(wchar_t) != 0) {
        *pixels++ = colour;
        --count;
    }
    const auto pair = static_cast<wchar_t>((static_cast<std::uint32_t>(colour) << 16) | colour);
    std::wmemset(reinterpret_cast<wchar_t*>(pixels), pair, count / 2);
    if (count % 2 != 0) {
        pixels[count - 1] = colour;
    }
}

// Built twice, and the wider vectors chosen at load time when the processor has them. Not under
// the thread sanitizer: the choice runs before its runtime is ready and crashes the program.
#if defined(__SANITIZE_THREAD__)
#define WITH_WIDER_VECTORS_IF_PRESENT
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WITH_WIDER_VECTORS_IF_PRESENT
#endif
#endif
#ifndef WITH_WIDER_VECTORS_IF_PRESENT
#define WITH_WIDER_VECTORS_IF_PRESENT __attribute__((target_clones("avx2", "default")))
#endif

// Without overlap: a branch-free loop the compiler can vectorize. A pixel p lies in
// [low, high] exactly when (p - low) modulo 2^16 is at most high - low. Labels are copied this
// way on every paint.
WITH_WIDER_VECTORS_IF_PRESENT void copyRowKeyedApart(std::uint16_t* __restrict dst,
                                                     const std::uint16_t* __restrict src, int count,
                                                     std::uint16_t low, std::uint16_t span) {
    for (int x = 0; x < count; ++x) {
        const std::uint16_t p = src[x];
        const bool keyed = static_cast<std::uint16_t>(p - low) <= span;
        dst[x] = keyed ? dst[x] : p;
    }
}

// Right to left when the destination lies to the right of its source in the same row.
void copyRowKeyed(std::uint16_t* dst, const std::uint16_t* src, int count, const ColourKey& key) {
    if (key.low > 0xFFFF || key.low > key.high) {
        std::memmove(dst, src, static_cast<std::size_t>(count) * sizeof(std::uint16_t));
        return;
    }
    if (dst > src && dst < src + count) {
        for (int x = count - 1; x >= 0; --x) {
            if (!key.excludes(src[x])) {
                dst[x] = src[x];
            }
        }
        return;
    }
    if (src > dst && src < dst + count) {
        for (int x = 0; x < count; ++x) {
            if (!key.excludes(src[x])) {
                dst[x] = src[x];
            }
        }
        return;
    }
    const auto low = static_cast<std::uint16_t>(key.low);
    const auto high = static_cast<std::uint16_t>(key.high > 0xFFFF ? 0xFFFF : key.high);
    copyRowKeyedApart(dst, src, count, low, static_cast<std::uint16_t>(high - low));
}

// Same size: row by row, walking rows against the direction of the move so that an
// overlapping source is read before it is overwritten; memmove within shared rows.
void copySameSize(const PixelView& dest, const RECT& dstRect, const PixelView& source,
                  const RECT& srcRect, const std::optional<ColourKey>& key) {
    const int w = widthOf(dstRect);
    const int h = heightOf(dstRect);
    if (!key && w == dest.pitch && w == source.pitch) {
        // Whole rows back to back on both sides (a scroll of the full width): one move, which
        // the C library orders safely and runs at twice the speed of a move per row.
        std::memmove(dest.row(dstRect.top), source.row(srcRect.top),
                     static_cast<std::size_t>(w) * static_cast<std::size_t>(h) *
                         sizeof(std::uint16_t));
        return;
    }
    const bool bottomUp = sharesMemory(dest, source) && dstRect.top > srcRect.top;
    for (int i = 0; i < h; ++i) {
        const int row = bottomUp ? h - 1 - i : i;
        std::uint16_t* dst = dest.row(dstRect.top + row) + dstRect.left;
        const std::uint16_t* src = source.row(srcRect.top + row) + srcRect.left;
        if (key) {
            copyRowKeyed(dst, src, w, *key);
        } else {
            std::memmove(dst, src, static_cast<std::size_t>(w) * sizeof(std::uint16_t));
        }
    }
}

void copyStretched(const PixelView& dest, const RECT& dstRect, const PixelView& source,
                   const RECT& srcRect, const std::optional<ColourKey>& key) {
    const int dw = widthOf(dstRect);
    const int dh = heightOf(dstRect);
    const std::int64_t stepX = (static_cast<std::int64_t>(widthOf(srcRect)) << 16) / dw;
    const std::int64_t stepY = (static_cast<std::int64_t>(heightOf(srcRect)) << 16) / dh;
    if (widthOf(srcRect) == 1) {
        // One source column (a text field's plain middle stretched across it): every row of the
        // destination is one colour.
        for (int y = 0; y < dh; ++y) {
            const std::uint16_t p =
                source.row(srcRect.top + static_cast<int>((y * stepY) >> 16))[srcRect.left];
            if (!key || !key->excludes(p)) {
                fillRun(dest.row(dstRect.top + y) + dstRect.left, static_cast<std::size_t>(dw), p);
            }
        }
        return;
    }
    std::vector<int> columns(static_cast<std::size_t>(dw));
    for (int x = 0; x < dw; ++x) {
        columns[static_cast<std::size_t>(x)] = srcRect.left + static_cast<int>((x * stepX) >> 16);
    }
    for (int y = 0; y < dh; ++y) {
        const std::uint16_t* src = source.row(srcRect.top + static_cast<int>((y * stepY) >> 16));
        std::uint16_t* dst = dest.row(dstRect.top + y) + dstRect.left;
        for (int x = 0; x < dw; ++x) {
            const std::uint16_t p = src[columns[static_cast<std::size_t>(x)]];
            if (!key || !key->excludes(p)) {
                dst[x] = p;
            }
        }
    }
}

} // namespace

void fillRect(const PixelView& dest, const RECT& rect, std::uint16_t colour) {
    const int w = widthOf(rect);
    if (w == dest.pitch) {
        // Whole rows lie back to back: one run over all of them.
        fillRun(dest.row(rect.top), static_cast<std::size_t>(w) * heightOf(rect), colour);
        return;
    }
    for (int y = rect.top; y < rect.bottom; ++y) {
        fillRun(dest.row(y) + rect.left, static_cast<std::size_t>(w), colour);
    }
}

void copyRect(const PixelView& dest, const RECT& dstRect, const PixelView& source,
              const RECT& srcRect, std::optional<ColourKey> key) {
    const bool sameSize =
        widthOf(dstRect) == widthOf(srcRect) && heightOf(dstRect) == heightOf(srcRect);
    if (sameSize) {
        copySameSize(dest, dstRect, source, srcRect, key);
        return;
    }
    if (sharesMemory(dest, source) && overlaps(dstRect, srcRect)) {
        // A stretch cannot be ordered safely in place: read the source out first.
        std::vector<std::uint16_t> copy(static_cast<std::size_t>(widthOf(srcRect)) *
                                        static_cast<std::size_t>(heightOf(srcRect)));
        PixelView staged{copy.data(), widthOf(srcRect), heightOf(srcRect), widthOf(srcRect)};
        copySameSize(staged, staged.bounds(), source, srcRect, std::nullopt);
        copyStretched(dest, dstRect, staged, staged.bounds(), key);
        return;
    }
    copyStretched(dest, dstRect, source, srcRect, key);
}

} // namespace platform::gfx
