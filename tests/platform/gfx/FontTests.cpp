// Fonts: the GDI object calls around them, their sizes, and the lookup of a face name in the
// device's \windows folder, then the host's fonts, then DejaVu Sans.
#include "support/Gfx.h"

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
    // Copies a DejaVu font into the device's \windows folder under `name`.
    void install(const char* font, const char* name) {
        std::filesystem::copy_file(dejavu / font, platform::paths::toHost(L"\\windows") / name);
    }
};

TEST_F(FontTest, FontObjectsKeepTheirDescriptionAndSelectReturnsThePrevious) {
    HFONT font = makeFont(-26, L"HelveticaNeueOTS.ttf", FW_LIGHT, 1);
    LOGFONTW read{};
    EXPECT_EQ(GetObjectW(font, 0, nullptr), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(GetObjectW(font, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(
        std::tuple(read.lfHeight, read.lfWeight, read.lfItalic, std::wstring(read.lfFaceName)),
        std::tuple(-26, FW_LIGHT, 1, L"HelveticaNeueOTS.ttf"));

    // A context starts with the system font, which is sized for the device's resolution and
    // never deleted.
    BufferCanvas canvas(4, 4, 0);
    EXPECT_EQ(std::tuple(GetDeviceCaps(canvas.dc, LOGPIXELSX), GetDeviceCaps(canvas.dc, LOGPIXELSY),
                         GetDeviceCaps(nullptr, LOGPIXELSY)),
              std::tuple(192, 192, 0));
    HGDIOBJ system = GetStockObject(SYSTEM_FONT);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), system);
    EXPECT_EQ(SelectObject(canvas.dc, font), system);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), font);
    EXPECT_EQ(SelectObject(canvas.dc, system), font);
    EXPECT_EQ(SelectObject(nullptr, font), nullptr);
    HGDIOBJ black = GetStockObject(BLACK_BRUSH);
    EXPECT_EQ(SelectObject(canvas.dc, black), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_BRUSH), black);
    EXPECT_EQ(DeleteObject(font), TRUE);
    EXPECT_EQ(SelectObject(canvas.dc, font), nullptr) << "a deleted font is no longer an object";

    ASSERT_EQ(GetObjectW(system, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
    EXPECT_EQ(std::tuple(read.lfHeight, read.lfWeight), std::tuple(-(9 * 192) / 72, FW_NORMAL));
    EXPECT_EQ(DeleteObject(system), TRUE);
    EXPECT_EQ(GetObjectW(system, sizeof(read), &read), static_cast<int>(sizeof(LOGFONTW)));
}

TEST_F(FontTest, NegativeHeightIsTheCharacterHeightAndPositiveTheCellHeight) {
    HFONT byCell = makeFont(30), byCharacter = makeFont(-30);
    EXPECT_NEAR(measured(byCell, L"x").bottom, 30, 1);
    // DejaVu's ascent (1901 of 2048 units) and descent (483), each rounded up: 28 + 8.
    EXPECT_EQ(measured(byCharacter, L"x").bottom, 36);
    EXPECT_GT(measured(byCharacter, L"Dawnbell").right, measured(byCell, L"Dawnbell").right);
    DeleteObject(byCell);
    DeleteObject(byCharacter);
}

TEST_F(FontTest, FacesAreFoundInTheWindowsFolderThenByExactHostFamilyThenDefault) {
    install("DejaVuSerif.ttf", "Dawn Face.TTF");
    install("DejaVuSerif.ttf", "Serif.woff");
    // A font file in the \windows folder answers to its file name, its stem and its family, in
    // any case; a host font only to its exact family; anything else is DejaVu Sans.
    const std::tuple<const wchar_t*, const char*, bool> cases[] = {
        {L"Dawn Face.TTF", "DejaVu Serif", true},
        {L"dawn face.ttf", "DejaVu Serif", true},
        {L"Dawn Face", "DejaVu Serif", true},
        {L"DEJAVU SERIF", "DejaVu Serif", true},
        {L"DejaVu Sans Mono", "DejaVu Sans Mono", false},
        {L"No Such Face 42", "DejaVu Sans", false},
        {L"HelveticaNeueOTS.ttf", "DejaVu Sans", false},
        {L"Serif.woff", "DejaVu Sans", false}, // not a font file by its name
    };
    for (const auto& [name, family, fromWindowsFolder] : cases) {
        const auto choice = chooseFont(name, false, false);
        ASSERT_TRUE(choice.face) << name;
        EXPECT_EQ(choice.face->family(), family) << name;
        EXPECT_EQ(choice.face->file().parent_path().filename() == "windows", fromWindowsFolder)
            << name;
    }
}

TEST_F(FontTest, AFamilyGivesItsRegularFaceToARegularRequestAndStylesAreMadeWhenMissing) {
    // The thin face comes first by file name, as the toolkit's two fonts do.
    install("DejaVuSans-ExtraLight.ttf", "A.ttf");
    install("DejaVuSans.ttf", "B.ttf");
    const auto choice = chooseFont(L"DejaVu Sans", false, false);
    ASSERT_TRUE(choice.face);
    EXPECT_EQ(std::tuple(choice.face->file().filename(), choice.face->weight()),
              std::tuple("B.ttf", 400));
    EXPECT_EQ(chooseFont(L"A.ttf", false, false).face->weight(), 200) << "a file asked by name";

    // Missing styles are synthesized and present ones used.
    const auto realBold = chooseFont(L"DejaVu Serif", true, false);
    EXPECT_TRUE(realBold.face && realBold.face->bold() && !realBold.embolden);
    install("DejaVuSans.ttf", "Plain.ttf");
    const auto fakeBold = chooseFont(L"Plain.ttf", true, true);
    EXPECT_TRUE(fakeBold.face && fakeBold.embolden && fakeBold.oblique);
    HFONT regular = makeFont(-24, L"Plain.ttf"), bold = makeFont(-24, L"Plain.ttf", FW_BOLD);
    EXPECT_GT(measured(bold, L"Send magic packet !").right,
              measured(regular, L"Send magic packet !").right);
    // Slanted, an upright stroke leans: its ink is wider though its advance is the same.
    HFONT italic = makeFont(-24, L"Plain.ttf", FW_NORMAL, TRUE);
    BufferCanvas upright(40, 40, 0xFFFF, regular), slanted(40, 40, 0xFFFF, italic);
    RECT box{0, 0, 40, 40};
    DrawTextW(upright.dc, L"l", -1, &box, 0);
    DrawTextW(slanted.dc, L"l", -1, &box, 0);
    const RECT straight = upright.ink(0xFFFF), leaning = slanted.ink(0xFFFF);
    EXPECT_GT(leaning.right - leaning.left, straight.right - straight.left + 2);
    // Upright, the stroke is the same in every row between its ends.
    ASSERT_GT(straight.bottom - straight.top, 12);
    for (LONG y = straight.top + 2; y < straight.bottom - 2; ++y)
        for (LONG x = straight.left; x < straight.right; ++x)
            ASSERT_EQ(upright.at(x, y), upright.at(x, straight.top + 2)) << x << "," << y;
    EXPECT_EQ(measured(italic, L"l").right, measured(regular, L"l").right);
    for (HFONT font : {regular, bold, italic})
        DeleteObject(font);
}

} // namespace
