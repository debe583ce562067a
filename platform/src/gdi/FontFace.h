// One font file's face as FreeType reads it: its family and style, its line metrics at a size,
// and anti-aliased glyphs (8-bit coverage) cached by (size, style, glyph). A FreeType face serves
// one thread at a time, so every use goes through the face's own lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::gdi {

// How glyphs of a face are drawn: the character height and the styles the face lacks, which
// are synthesized (a bolder outline, a slanted one).
struct GlyphStyle {
    long em = 0; // character height in 26.6 pixels
    bool embolden = false;
    bool oblique = false;
    bool operator==(const GlyphStyle&) const = default;
};

struct GlyphImage {
    int left = 0; // from the pen to the first column
    int top = 0;  // from the baseline up to the first row
    int width = 0;
    int rows = 0;
    std::vector<std::uint8_t> coverage; // width x rows, row after row
    long advance = 0;                   // 26.6 pixels
};

struct LineMetrics {
    int ascent = 0;
    int descent = 0;
    int externalLeading = 0;
    int height() const { return ascent + descent; }
};

// The glyphs of a piece of text and the pen position in front of each character (26.6);
// pen.back() is where the pen ends. Characters that draw nothing have no glyph.
struct ShapedText {
    std::vector<const GlyphImage*> glyphs;
    std::vector<long> pen{0};
    // Width in whole pixels of the characters [begin, end).
    int width(std::size_t begin, std::size_t end) const {
        return static_cast<int>((pen[end] - pen[begin] + 32) >> 6);
    }
};

class FontFace {
public:
    // Face `index` of `file`, loaded once per file content; nullptr if FreeType can't read it.
    static std::shared_ptr<FontFace> load(const std::filesystem::path& file, int index = 0);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    const std::string& family() const { return family_; }
    const std::filesystem::path& file() const { return file_; }
    bool bold() const { return bold_; }
    bool italic() const { return italic_; }
    // The weight class of the face (400 regular, 700 bold), read from its OS/2 table.
    int weight() const { return weight_; }

    // The character height (26.6) whose cell, ascent plus descent, is `pixels` high.
    long emForCellHeight(int pixels) const;
    LineMetrics metrics(const GlyphStyle& style);
    ShapedText shape(std::wstring_view text, const GlyphStyle& style);

    struct Impl;

private:
    explicit FontFace(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    std::filesystem::path file_;
    std::string family_;
    bool bold_ = false;
    bool italic_ = false;
    int weight_ = 400;
};

} // namespace platform::gdi
