#include "gdi/FontFace.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <fstream>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

namespace platform::gdi {
namespace {

struct Library {
    std::mutex lock; // FreeType creates and ends faces one at a time
    FT_Library library = nullptr;
    // Faces by file, size, modification time and index; kept for the whole process.
    std::map<std::tuple<std::string, std::uintmax_t, long long, int>, std::shared_ptr<FontFace>>
        faces;
};

Library& library() {
    static auto* lib = [] {
        auto* created = new Library; // lives for the whole process, like the faces it holds
        if (FT_Init_FreeType(&created->library) != 0) {
            created->library = nullptr;
        }
        return created;
    }();
    return *lib;
}

struct GlyphKey {
    GlyphStyle style;
    unsigned index;
    bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
    std::size_t operator()(const GlyphKey& k) const {
        std::size_t h = std::hash<long>()(k.style.em);
        h = h * 31 + k.index;
        return h * 4 + (k.style.embolden ? 2 : 0) + (k.style.oblique ? 1 : 0);
    }
};

std::vector<unsigned char> readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void copyCoverage(const FT_Bitmap& bitmap, GlyphImage& glyph) {
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    glyph.coverage.assign(static_cast<std::size_t>(glyph.width) * glyph.rows, 0);
    for (int y = 0; y < glyph.rows; ++y) {
        const unsigned char* src = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        std::uint8_t* dst = glyph.coverage.data() + static_cast<std::size_t>(y) * glyph.width;
        for (int x = 0; x < glyph.width; ++x) {
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            } else {
                dst[x] = src[x];
            }
        }
    }
}

} // namespace

struct FontFace::Impl {
    std::vector<unsigned char> data; // FreeType reads the face from here
    FT_Face face = nullptr;
    std::mutex lock;
    std::unordered_map<GlyphKey, GlyphImage, GlyphKeyHash> glyphs;

    bool setSize(const GlyphStyle& style) {
        return FT_Set_Char_Size(face, 0, style.em, 72, 72) == 0;
    }

    GlyphImage render(unsigned index, const GlyphStyle& style) {
        GlyphImage glyph;
        const bool synthesize = style.embolden || style.oblique;
        FT_Int32 flags = FT_LOAD_TARGET_LIGHT | (synthesize ? FT_LOAD_NO_BITMAP : FT_LOAD_RENDER);
        if (FT_Load_Glyph(face, index, flags) != 0) {
            return glyph;
        }
        FT_GlyphSlot slot = face->glyph;
        if (synthesize) {
            if (style.oblique) {
                FT_GlyphSlot_Oblique(slot);
            }
            if (style.embolden) {
                FT_GlyphSlot_Embolden(slot);
            }
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) != 0) {
                return glyph;
            }
        }
        glyph.advance = slot->advance.x;
        if (slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY ||
            slot->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            glyph.left = slot->bitmap_left;
            glyph.top = slot->bitmap_top;
            copyCoverage(slot->bitmap, glyph);
        }
        return glyph;
    }

    const GlyphImage& glyph(unsigned index, const GlyphStyle& style) {
        GlyphKey key{style, index};
        auto found = glyphs.find(key);
        if (found == glyphs.end()) {
            // Entries are never removed, so references handed out stay valid.
            found = glyphs.emplace(key, render(index, style)).first;
        }
        return found->second;
    }
};

std::shared_ptr<FontFace> FontFace::load(const std::filesystem::path& file, int index) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error) {
        return nullptr;
    }
    const auto time = std::filesystem::last_write_time(file, error);
    if (error) {
        return nullptr;
    }
    auto key = std::make_tuple(std::filesystem::absolute(file).string(), size,
                               static_cast<long long>(time.time_since_epoch().count()), index);
    Library& lib = library();
    std::lock_guard guard(lib.lock);
    if (auto found = lib.faces.find(key); found != lib.faces.end()) {
        return found->second;
    }
    if (lib.library == nullptr) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->data = readFile(file);
    if (impl->data.empty() ||
        FT_New_Memory_Face(lib.library, impl->data.data(), static_cast<FT_Long>(impl->data.size()),
                           index, &impl->face) != 0) {
        return nullptr;
    }
    if (!FT_IS_SCALABLE(impl->face)) {
        FT_Done_Face(impl->face);
        return nullptr;
    }
    std::shared_ptr<FontFace> face(new FontFace(std::move(impl)));
    face->file_ = file;
    FT_Face ft = face->impl_->face;
    face->family_ = ft->family_name != nullptr ? ft->family_name : "";
    face->bold_ = (ft->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    face->italic_ = (ft->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    if (os2 != nullptr && os2->usWeightClass != 0) {
        face->weight_ = os2->usWeightClass;
    } else {
        face->weight_ = face->bold_ ? 700 : 400;
    }
    lib.faces.emplace(key, face);
    return face;
}

FontFace::FontFace(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

FontFace::~FontFace() {
    Library& lib = library();
    std::lock_guard guard(lib.lock);
    FT_Done_Face(impl_->face);
}

long FontFace::emForCellHeight(int pixels) const {
    FT_Face face = impl_->face;
    long ascent = face->ascender;
    long descent = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    }
    const long cell = ascent + descent > 0 ? ascent + descent : face->units_per_EM;
    return static_cast<long>(pixels) * 64 * face->units_per_EM / cell;
}

LineMetrics FontFace::metrics(const GlyphStyle& style) {
    std::lock_guard guard(impl_->lock);
    LineMetrics m;
    if (!impl_->setSize(style)) {
        return m;
    }
    const FT_Size_Metrics& size = impl_->face->size->metrics;
    m.ascent = static_cast<int>((size.ascender + 63) >> 6);
    m.descent = static_cast<int>((-size.descender + 63) >> 6);
    const int height = static_cast<int>((size.height + 63) >> 6);
    m.externalLeading = height > m.height() ? height - m.height() : 0;
    return m;
}

ShapedText FontFace::shape(std::wstring_view text, const GlyphStyle& style) {
    ShapedText shaped;
    shaped.glyphs.reserve(text.size());
    shaped.pen.reserve(text.size() + 1);
    std::lock_guard guard(impl_->lock);
    const bool sized = impl_->setSize(style);
    FT_Face face = impl_->face;
    const bool kerning = FT_HAS_KERNING(face);
    long pen = 0;
    unsigned previous = 0;
    for (wchar_t c : text) {
        if (!sized || static_cast<std::uint32_t>(c) < 0x20) {
            shaped.glyphs.push_back(nullptr);
            shaped.pen.push_back(pen);
            previous = 0;
            continue;
        }
        const unsigned index = FT_Get_Char_Index(face, static_cast<FT_ULong>(c));
        if (kerning && previous != 0 && index != 0) {
            FT_Vector delta{};
            if (FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &delta) == 0) {
                pen += delta.x;
                shaped.pen.back() = pen;
            }
        }
        const GlyphImage& glyph = impl_->glyph(index, style);
        shaped.glyphs.push_back(&glyph);
        pen += glyph.advance;
        shaped.pen.push_back(pen);
        previous = index;
    }
    return shaped;
}

} // namespace platform::gdi
