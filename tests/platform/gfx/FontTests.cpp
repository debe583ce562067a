// Fonts: the GDI object calls around them, their sizes, and the lookup of a face name in the
// device's \windows folder, then the host's fonts, then DejaVu Sans.
#include "GfxTestSupport.h"

#include "gdi/FontLookup.h"

#include <tuple>

using namespace gfxtest;
using platform::gdi::chooseFont;

namespace {

const std::filesystem::path dejavu = "/usr/share/fonts/truetype/dejavu";

RECT measured(HFONT font, const wchar_t* text) {
    BufferCanvas canvas(4, 4, 0, font);
    return measure(canvas.dc, text, DT_SINGLELINE);
}

class FontTest : public ::testing::Test {
protected:
    platform::ScopedTestDevice device{480, 640, 192};
};

TEST_F(FontTest, FontObjectsKeepTheirDescriptionAndSelectReturnsThePrevious) {
    LOGFONTW description = describeFont(-26, L"HelveticaNeueOTS.ttf", FW_LIGHT, 1);
    description.lfQuality = CLEARTYPE_QUALITY;
    HFONT font = CreateFontIndirectW(&description);
    LOGFONTW read{};
    EXPECT_EQ(GetObjectW(font, 0, nullptr), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(GetObjectW(font, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(std::tuple(read.lfHeight, read.lfWeight, read.lfItalic, read.lfQuality),
              std::tuple(-26, FW_LIGHT, 1, CLEARTYPE_QUALITY));
    EXPECT_STREQ(read.lfFaceName, L"HelveticaNeueOTS.ttf");

    // A context starts with the system font, which is sized for the device's resolution and
    // never deleted.
    BufferCanvas canvas(4, 4, 0);
    EXPECT_EQ(GetDeviceCaps(canvas.dc, LOGPIXELSY), 192);
    EXPECT_EQ(GetDeviceCaps(canvas.dc, LOGPIXELSX), 192);
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSY), 0);
    HGDIOBJ system = GetStockObject(SYSTEM_FONT);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), system);
    EXPECT_EQ(SelectObject(canvas.dc, font), system);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), font);
    EXPECT_EQ(SelectObject(canvas.dc, system), font);
    EXPECT_EQ(SelectObject(nullptr, font), nullptr) << "no device context";
    EXPECT_EQ(DeleteObject(font), TRUE);
    EXPECT_EQ(SelectObject(canvas.dc, font), nullptr) << "a deleted font is no longer an object";

    ASSERT_EQ(GetObjectW(system, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(std::tuple(read.lfHeight, read.lfWeight), std::tuple(-(9 * 192) / 72, FW_NORMAL));
    EXPECT_EQ(DeleteObject(system), TRUE);
    EXPECT_EQ(GetObjectW(system, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
}

TEST_F(FontTest, NegativeHeightIsTheCharacterHeightAndPositiveTheCellHeight) {
    HFONT byCell = makeFont(30);
    HFONT byCharacter = makeFont(-30);
    EXPECT_NEAR(measured(byCell, L"x").bottom, 30, 1);
    // DejaVu's ascent (1901 of 2048 units) and descent (483), each rounded up: 28 + 8.
    EXPECT_EQ(measured(byCharacter, L"x").bottom, 36);
    EXPECT_GT(measured(byCharacter, L"Dawnbell").right, measured(byCell, L"Dawnbell").right);
    DeleteObject(byCell);
    DeleteObject(byCharacter);
}

TEST_F(FontTest, FacesAreFoundInTheWindowsFolderThenByExactHostFamilyThenDefault) {
    const auto windows = windowsFolder();
    std::filesystem::copy_file(dejavu / "DejaVuSerif.ttf", windows / "Dawn Face.TTF");
    struct Case {
        const wchar_t* name;
        const char* family;
        bool fromWindowsFolder;
    };
    // A file in the \windows folder answers to its file name, its stem and its family, in
    // any case; a host font only to its exact family; anything else is DejaVu Sans.
    const Case cases[] = {{L"Dawn Face.TTF", "DejaVu Serif", true},
                          {L"dawn face.ttf", "DejaVu Serif", true},
                          {L"Dawn Face", "DejaVu Serif", true},
                          {L"DEJAVU SERIF", "DejaVu Serif", true},
                          {L"DejaVu Sans Mono", "DejaVu Sans Mono", false},
                          {L"No Such Face 42", "DejaVu Sans", false},
                          {L"HelveticaNeueOTS.ttf", "DejaVu Sans", false}};
    for (const Case& c : cases) {
        const auto choice = chooseFont(c.name, false, false);
        ASSERT_TRUE(choice.face) << c.name;
        EXPECT_EQ(choice.face->family(), c.family) << c.name;
        EXPECT_EQ(std::filesystem::equivalent(choice.face->file().parent_path(), windows),
                  c.fromWindowsFolder)
            << c.name;
    }
}

TEST_F(FontTest, AFamilyGivesItsRegularFaceToARegularRequestAndStylesAreMadeWhenMissing) {
    // The thin face comes first by file name, as the toolkit's two fonts do.
    std::filesystem::copy_file(dejavu / "DejaVuSans-ExtraLight.ttf", windowsFolder() / "A.ttf");
    std::filesystem::copy_file(dejavu / "DejaVuSans.ttf", windowsFolder() / "B.ttf");
    const auto choice = chooseFont(L"DejaVu Sans", false, false);
    ASSERT_TRUE(choice.face);
    EXPECT_EQ(choice.face->file().filename(), "B.ttf");
    EXPECT_EQ(choice.face->weight(), 400);
    EXPECT_EQ(chooseFont(L"A.ttf", false, false).face->weight(), 200) << "a file asked by name";

    // Missing styles are synthesized and present ones used.
    const auto realBold = chooseFont(L"DejaVu Serif", true, false);
    ASSERT_TRUE(realBold.face);
    EXPECT_TRUE(realBold.face->bold() && !realBold.embolden);

    std::filesystem::copy_file(dejavu / "DejaVuSans.ttf", windowsFolder() / "Plain.ttf");
    const auto fakeBold = chooseFont(L"Plain.ttf", true, true);
    EXPECT_TRUE(fakeBold.face && fakeBold.embolden && fakeBold.oblique);

    HFONT regular = makeFont(-24, L"Plain.ttf");
    HFONT bold = makeFont(-24, L"Plain.ttf", FW_BOLD);
    EXPECT_GT(measured(bold, L"Send magic packet !").right,
              measured(regular, L"Send magic packet !").right);
    DeleteObject(regular);
    DeleteObject(bold);
}

} // namespace
