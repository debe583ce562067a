// Fonts: the GDI object calls around them, their sizes, and the lookup of a face name in the
// device's \windows folder, then the host's fonts, then DejaVu Sans.
#include "GfxTestSupport.h"

#include "gdi/FontLookup.h"

using namespace gfxtest;
using platform::gdi::chooseFont;

namespace {

const std::filesystem::path dejavu = "/usr/share/fonts/truetype/dejavu";

LOGFONTW describe(LONG height, const wchar_t* face, LONG weight = FW_NORMAL) {
    LOGFONTW description{};
    description.lfHeight = height;
    description.lfWeight = weight;
    std::wcsncpy(description.lfFaceName, face, LF_FACESIZE - 1);
    return description;
}

int textWidth(HFONT font, const wchar_t* text) {
    BufferCanvas canvas(4, 4, 0);
    SelectObject(canvas.dc, font);
    RECT r{0, 0, 1000, 1};
    DrawTextW(canvas.dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE);
    return r.right;
}

int lineHeight(HFONT font) {
    BufferCanvas canvas(4, 4, 0);
    SelectObject(canvas.dc, font);
    RECT r{0, 0, 1000, 1};
    return DrawTextW(canvas.dc, L"x", -1, &r, DT_CALCRECT | DT_SINGLELINE);
}

// The sum of the darkness of the text drawn black on white.
long inkOf(HFONT font, const wchar_t* text) {
    BufferCanvas canvas(400, 60, 0xFFFF);
    SelectObject(canvas.dc, font);
    SetBkMode(canvas.dc, TRANSPARENT);
    RECT r{0, 0, 400, 60};
    DrawTextW(canvas.dc, text, -1, &r, DT_SINGLELINE);
    long ink = 0;
    for (std::uint16_t p : canvas.pixels) {
        ink += 63 - ((p >> 5) & 0x3F);
    }
    return ink;
}

bool inside(const std::filesystem::path& file, const std::filesystem::path& folder) {
    return std::filesystem::equivalent(file.parent_path(), folder);
}

class FontTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
};

TEST_F(FontTest, AFreshContextHoldsTheSystemFontAndSelectObjectReturnsThePrevious) {
    BufferCanvas canvas(4, 4, 0);
    HGDIOBJ system = GetStockObject(SYSTEM_FONT);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), system);
    LOGFONTW description = describe(-20, L"DejaVu Sans");
    HFONT font = CreateFontIndirectW(&description);
    EXPECT_EQ(SelectObject(canvas.dc, font), system);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), font);
    EXPECT_EQ(SelectObject(canvas.dc, system), font);
    EXPECT_EQ(DeleteObject(font), TRUE);
    EXPECT_EQ(SelectObject(canvas.dc, font), nullptr) << "a deleted font is no longer an object";
}

TEST_F(FontTest, GetObjectReadsTheDescriptionBack) {
    LOGFONTW description = describe(-26, L"HelveticaNeueOTS.ttf", FW_LIGHT);
    description.lfQuality = CLEARTYPE_QUALITY;
    description.lfItalic = 1;
    HFONT font = CreateFontIndirectW(&description);
    LOGFONTW read{};
    EXPECT_EQ(GetObjectW(font, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(read.lfHeight, -26);
    EXPECT_EQ(read.lfWeight, FW_LIGHT);
    EXPECT_EQ(read.lfItalic, 1);
    EXPECT_EQ(read.lfQuality, CLEARTYPE_QUALITY);
    EXPECT_STREQ(read.lfFaceName, L"HelveticaNeueOTS.ttf");
    EXPECT_EQ(GetObjectW(font, 0, nullptr), static_cast<int>(sizeof(LOGFONTW)));
    DeleteObject(font);
}

TEST_F(FontTest, TheSystemFontDescriptionHasASizeForTheDeviceAndIsNeverDeleted) {
    HGDIOBJ system = GetStockObject(SYSTEM_FONT);
    LOGFONTW read{};
    ASSERT_EQ(GetObjectW(system, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(read.lfHeight, -(9 * 192) / 72);
    EXPECT_EQ(read.lfWeight, FW_NORMAL);
    EXPECT_EQ(DeleteObject(system), TRUE);
    EXPECT_EQ(GetObjectW(system, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
}

TEST_F(FontTest, DeviceCapsReportTheDeviceResolution) {
    BufferCanvas canvas(4, 4, 0);
    EXPECT_EQ(GetDeviceCaps(canvas.dc, LOGPIXELSY), 192);
    EXPECT_EQ(GetDeviceCaps(canvas.dc, LOGPIXELSX), 192);
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSY), 0);
}

TEST_F(FontTest, NegativeHeightIsTheCharacterHeightAndPositiveTheCellHeight) {
    LOGFONTW cell = describe(30, L"DejaVu Sans");
    HFONT byCell = CreateFontIndirectW(&cell);
    EXPECT_NEAR(lineHeight(byCell), 30, 1);
    LOGFONTW character = describe(-30, L"DejaVu Sans");
    HFONT byCharacter = CreateFontIndirectW(&character);
    EXPECT_GE(lineHeight(byCharacter), 34); // DejaVu's cell is 1.16 of its character height
    EXPECT_GT(textWidth(byCharacter, L"Dawnbell"), textWidth(byCell, L"Dawnbell"));
    DeleteObject(byCell);
    DeleteObject(byCharacter);
}

TEST_F(FontTest, AFileInTheWindowsFolderIsFoundByFileNameStemAndFamily) {
    const auto windows = windowsFolder();
    std::filesystem::copy_file(dejavu / "DejaVuSerif.ttf", windows / "Dawn Face.TTF");
    for (const wchar_t* name :
         {L"Dawn Face.TTF", L"dawn face.ttf", L"Dawn Face", L"DEJAVU SERIF"}) {
        const auto choice = chooseFont(name, false, false);
        ASSERT_TRUE(choice.face) << name;
        EXPECT_TRUE(inside(choice.face->file(), windows)) << name;
        EXPECT_EQ(choice.face->family(), "DejaVu Serif");
    }
}

TEST_F(FontTest, HostFontsAreFoundByExactFamilyOnly) {
    const auto serif = chooseFont(L"DejaVu Serif", false, false);
    ASSERT_TRUE(serif.face);
    EXPECT_EQ(serif.face->family(), "DejaVu Serif");
    const auto unknown = chooseFont(L"No Such Face 42", false, false);
    ASSERT_TRUE(unknown.face);
    EXPECT_EQ(unknown.face->family(), "DejaVu Sans");
    const auto fileName = chooseFont(L"HelveticaNeueOTS.ttf", false, false);
    ASSERT_TRUE(fileName.face);
    EXPECT_EQ(fileName.face->family(), "DejaVu Sans") << "not installed yet: the default face";
}

TEST_F(FontTest, MissingStylesAreSynthesizedAndPresentOnesAreUsed) {
    const auto realBold = chooseFont(L"DejaVu Serif", true, false);
    ASSERT_TRUE(realBold.face);
    EXPECT_TRUE(realBold.face->bold());
    EXPECT_FALSE(realBold.embolden);

    const auto windows = windowsFolder();
    std::filesystem::copy_file(dejavu / "DejaVuSans.ttf", windows / "Plain.ttf");
    const auto fakeBold = chooseFont(L"Plain.ttf", true, true);
    ASSERT_TRUE(fakeBold.face);
    EXPECT_TRUE(fakeBold.embolden);
    EXPECT_TRUE(fakeBold.oblique);

    LOGFONTW regular = describe(-24, L"Plain.ttf");
    LOGFONTW bold = describe(-24, L"Plain.ttf", FW_BOLD);
    HFONT regularFont = CreateFontIndirectW(&regular);
    HFONT boldFont = CreateFontIndirectW(&bold);
    EXPECT_GT(textWidth(boldFont, L"Send magic packet !"),
              textWidth(regularFont, L"Send magic packet !"));
    DeleteObject(regularFont);
    DeleteObject(boldFont);
}

TEST_F(FontTest, TheToolkitsTwoFontsAreReadFromTheirInstalledCopies) {
    const auto windows = windowsFolder();
    std::filesystem::copy_file(dejavu / "DejaVuSans.ttf", windows / "HelveticaNeueOTS.TTF");
    std::filesystem::copy_file(dejavu / "DejaVuSans-ExtraLight.ttf",
                               windows / "HelveticaNeue LT 35 Thin.ttf");
    LOGFONTW normal = describe(-24, L"HelveticaNeueOTS.ttf");
    LOGFONTW thin = describe(-24, L"HelveticaNeue LT 35 Thin.ttf", FW_LIGHT);
    HFONT normalFont = CreateFontIndirectW(&normal);
    HFONT thinFont = CreateFontIndirectW(&thin);
    const auto thinChoice = chooseFont(L"HelveticaNeue LT 35 Thin.ttf", false, false);
    ASSERT_TRUE(thinChoice.face);
    EXPECT_EQ(thinChoice.face->file().filename(), "HelveticaNeue LT 35 Thin.ttf");
    EXPECT_LT(inkOf(thinFont, L"Host information :") * 3 / 2,
              inkOf(normalFont, L"Host information :"));
    DeleteObject(normalFont);
    DeleteObject(thinFont);
}

} // namespace
