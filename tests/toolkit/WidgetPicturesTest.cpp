// The widget sheet: labels in the three fonts, a wrapped status text and every item style in
// every state with a caption, drawn by the toolkit on the headless phone, one screen per page.
// Every caption must lie whole on the screen, and a push button's inside its face. With
// DAWNBELL_PICTURES set to a folder, the pages are written there side by side: widgets.png on
// the VGA phone, widgets-small.png on the small phone after the first-start rescale.
#include "ToolkitTestSupport.h"

namespace {

using namespace toolkit_test;

constexpr int kPageGapPx = 8;
constexpr std::uint8_t kGapGrey = 0x60;

const wchar_t* const kStateNames[] = {L"Off",     L"On",         L"Disabled", L"Dis. on",
                                      L"Pressed", L"Pressed on", L"Third",    L"Dis. third"};

// A screen that paints the widgets of its current page where they lie.
class SheetScreen : public Element {
public:
    SheetScreen() : Element(100, 0, 0, kindSection, true) {}
    void loadSurf() override {}
    Element* hitTest(int, int) override { return nullptr; }
    void paint(IDirectDrawSurface* target, int originX, int originY) override {
        if (current >= pages.size()) {
            return; // still being built
        }
        for (const auto& widget : pages[current]) {
            widget->paint(target, originX + left, originY + top);
        }
        fullRedraw = 0;
    }
    std::vector<std::vector<std::unique_ptr<Element>>> pages;
    size_t current = 0;
};

struct Design {
    int x, y; // in the 480-pixel design space
};

void addItem(std::vector<std::unique_ptr<Element>>& page, int style, int state, Design at) {
    page.push_back(std::make_unique<MyItem>(-1, at.x, at.y, static_cast<BYTE>(style),
                                            static_cast<BYTE>(state), kStateNames[state]));
}

std::vector<std::vector<std::unique_ptr<Element>>> buildPages() {
    std::vector<std::vector<std::unique_ptr<Element>>> pages(4);
    auto& labels = pages[0];
    labels.push_back(std::make_unique<MyLabel>(-1, 10, 10, L"Large label, 10 points",
                                               labelFontLarge, RGB(0x20, 0x20, 0x20), false));
    labels.push_back(std::make_unique<MyLabel>(-1, 10, 50, L"Normal label, 9 points",
                                               labelFontNormal, RGB(0x20, 0x20, 0x20), false));
    labels.push_back(std::make_unique<MyLabel>(-1, 10, 85, L"Italic label, 9 points",
                                               labelFontItalic, RGB(0x20, 0x20, 0x20), false));
    labels.push_back(std::make_unique<MyLabel>(
        -1, 10, 130,
        L"Can't establish connection to web... Check that the data connection of the phone "
        L"is on, then try again.",
        labelFontNormal, 0, false));
    for (int state = 0; state < 8; ++state) {
        addItem(labels, itemCheckBox, state, {10 + 240 * (state / 4), 260 + 80 * (state % 4)});
    }
    for (int state = 0; state < 8; ++state) {
        addItem(pages[1], itemSwitch, state, {10, 10 + 70 * state});
        addItem(pages[1], itemSmallBoxButton, state, {310, 10 + 70 * state});
        addItem(pages[2], itemButton, state, {84, 6 + 72 * state});
        addItem(pages[3], itemLargeBoxButton, state, {40, 10 + 70 * state});
    }
    return pages;
}

// Every caption and label lies whole on the screen; a push button's caption inside its face.
void expectCaptionsFit(const std::vector<std::unique_ptr<Element>>& page) {
    const RECT screen{0, viewRect.top, GetSystemMetrics(SM_CXSCREEN),
                      GetSystemMetrics(SM_CYSCREEN)};
    for (const auto& widget : page) {
        const auto* item = dynamic_cast<const MyItem*>(widget.get());
        const auto* label =
            item != nullptr ? item->captionLabel : dynamic_cast<const MyLabel*>(widget.get());
        ASSERT_NE(label, nullptr);
        RECT bounds = screen;
        if (item != nullptr && item->style >= itemButton) {
            bounds = RECT{viewRect.left + item->left, viewRect.top + item->top,
                          viewRect.left + item->right, viewRect.top + item->bottom};
        }
        // The painted place, with the owner's offsets; only the text counts, not the padding
        // that its measured rectangle carries on the right.
        const RECT& place = label->screenRect;
        const LONG textRight = place.left + label->textRect.right - tunables::labelTextPaddingPx;
        EXPECT_GE(place.right, textRight) << narrow(label->text) << " is cut";
        EXPECT_EQ(place.bottom - place.top, label->textRect.bottom)
            << narrow(label->text) << " is cut";
        EXPECT_TRUE(place.left >= bounds.left && place.top >= bounds.top &&
                    textRight <= bounds.right && place.bottom <= bounds.bottom)
            << narrow(label->text) << " leaves its place";
    }
}

// The pages drawn on a fresh phone, side by side.
platform::imaging::RgbaImage drawSheet(int width, int height, int dpi) {
    ToolkitDevice device(width, height, dpi);
    installResourceSet(device);
    OpenFrame frame;
    createBackBuffer();
    auto* sheet = new SheetScreen();
    frame->addScreen(sheet);
    sheet->pages = buildPages();
    const int pageCount = static_cast<int>(sheet->pages.size());
    platform::imaging::RgbaImage image(pageCount * width + (pageCount - 1) * kPageGapPx, height);
    std::fill(image.rgba.begin(), image.rgba.end(), kGapGrey);
    for (int page = 0; page < pageCount; ++page) {
        sheet->current = static_cast<size_t>(page);
        fillScreen(static_cast<std::uint16_t>(tunables::backgroundColour));
        dirtyRect = viewRect;
        fullRedraw = 1;
        frame->redraw(false);
        expectCaptionsFit(sheet->pages[static_cast<size_t>(page)]);
        const Pixels shown = screenPixels(RECT{0, 0, width, height});
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::uint16_t p = shown.at(x, y);
                std::uint8_t* out = image.pixel(page * (width + kPageGapPx) + x, y);
                out[0] = static_cast<std::uint8_t>((p >> 11) * 255 / 31);
                out[1] = static_cast<std::uint8_t>(((p >> 5) & 0x3F) * 255 / 63);
                out[2] = static_cast<std::uint8_t>((p & 0x1F) * 255 / 31);
            }
        }
    }
    return image;
}

void writeIfAsked(const platform::imaging::RgbaImage& image, const char* name) {
    const char* folder = std::getenv("DAWNBELL_PICTURES");
    if (folder == nullptr || *folder == '\0') {
        return;
    }
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(platform::imaging::encodePng(image, false, bytes));
    std::ofstream(std::filesystem::path(folder) / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TEST(WidgetPictures, EveryCaptionFitsOnTheVgaPhone) {
    writeIfAsked(drawSheet(480, 640, 192), "widgets.png");
}

TEST(WidgetPictures, EveryCaptionFitsOnTheSmallPhoneAfterTheRescale) {
    writeIfAsked(drawSheet(240, 320, 96), "widgets-small.png");
}

} // namespace
