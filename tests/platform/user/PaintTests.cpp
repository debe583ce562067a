// Update regions, WM_PAINT and the region data the program reads.
#include "support/User.h"

#include <cstring>

using namespace usertest;

using Boxes = std::vector<Box>;

// The region's rectangles, as GetRegionData gives them.
static Boxes regionRects(HRGN region) {
    std::vector<char> buffer(GetRegionData(region, 0, nullptr));
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    EXPECT_EQ(GetRegionData(region, buffer.size(), data), buffer.size());
    EXPECT_EQ(std::tuple(data->rdh.dwSize, data->rdh.iType, data->rdh.nRgnSize),
              std::tuple(32u, DWORD{RDH_RECTANGLES}, data->rdh.nCount * sizeof(RECT)));
    Boxes boxes;
    for (DWORD i = 0; i < data->rdh.nCount; ++i) {
        RECT r;
        std::memcpy(&r, buffer.data() + sizeof(RGNDATAHEADER) + i * sizeof(RECT), sizeof(r));
        boxes.push_back(box(r));
    }
    return boxes;
}

class PaintTest : public UserTest {
protected:
    void SetUp() override {
        UserTest::SetUp();
        window = topWindow();
        platform::pumpMessages();
        Recorder::clear();
    }
    // The kind of the window's update region and its rectangles.
    std::pair<int, Boxes> update(HWND target = nullptr) {
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        const int kind = GetUpdateRgn(target ? target : window, region, FALSE);
        std::pair result(kind, regionRects(region));
        EXPECT_TRUE(DeleteObject(region));
        EXPECT_FALSE(DeleteObject(region)) << "deleted once";
        return result;
    }
    HWND window = nullptr;
};

TEST_F(PaintTest, UpdateRegionsAreBandedClippedToTheClientAreaAndSayTheirKind) {
    struct Case {
        std::vector<RECT> invalid; // none: the whole window
        int kind;
        Boxes rects;
    };
    const Case cases[] = {
        {{{5, 5, 6, 6}}, SIMPLEREGION, {{5, 5, 6, 6}}},
        {{{10, 10, 110, 60}, {60, 40, 160, 100}},
         COMPLEXREGION,
         {{10, 10, 110, 40}, {10, 40, 160, 60}, {60, 60, 160, 100}}},
        {{{400, 500, 900, 900}}, SIMPLEREGION, {{400, 500, 480, 588}}},
        {{}, SIMPLEREGION, {{0, 0, 480, 588}}},
    };
    EXPECT_EQ(update().first, NULLREGION);
    for (const Case& c : cases) {
        ValidateRect(window, nullptr);
        for (const RECT& r : c.invalid)
            InvalidateRect(window, &r, FALSE);
        if (c.invalid.empty())
            InvalidateRect(window, nullptr, FALSE);
        EXPECT_EQ(update(), std::pair(c.kind, c.rects));
    }
    EXPECT_EQ(update(reinterpret_cast<HWND>(0x99)).first, ERROR);
    HRGN line = CreateRectRgn(5, 5, 5, 9);
    EXPECT_TRUE(regionRects(line).empty()) << "no width, no area";
    DeleteObject(line);
}

TEST_F(PaintTest, PaintComesBackUntilBeginPaintValidatesAndErasesOnlyWhenAsked) {
    onMessage(WM_PAINT, [](HWND, WPARAM) { return 0; }); // neither validates nor defaults
    InvalidateRect(window, nullptr, FALSE);
    MSG msg{};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
        DispatchMessageW(&msg);
    }
    PAINTSTRUCT paint{};
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    EXPECT_EQ(box(paint.rcPaint), Box(0, 0, 480, 588));
    EXPECT_TRUE(Recorder::only({WM_ERASEBKGND}).empty());
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    RECT r{0, 0, 10, 10};
    InvalidateRect(window, &r, TRUE);
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    EXPECT_EQ(Recorder::only({WM_ERASEBKGND}).size(), 1u);
    EXPECT_TRUE(paint.fErase) << "the default procedure erased nothing";
    EXPECT_TRUE(update().second.empty());

    // Validating a part leaves the rest; validating the rest drops the pending erase too.
    InvalidateRect(window, &r, TRUE);
    const RECT upper{0, 0, 10, 4};
    ValidateRect(window, &upper);
    RECT bounds{};
    EXPECT_TRUE(GetUpdateRect(window, &bounds, FALSE));
    EXPECT_EQ(box(bounds), Box(0, 4, 10, 10));
    ValidateRect(window, &r);
    EXPECT_FALSE(GetUpdateRect(window, nullptr, TRUE));
    EXPECT_EQ(Recorder::only({WM_ERASEBKGND}).size(), 1u) << "nothing left to erase";
    InvalidateRect(window, &r, TRUE);
    EXPECT_TRUE(GetUpdateRect(window, nullptr, TRUE));
    EXPECT_EQ(Recorder::only({WM_ERASEBKGND}).size(), 2u) << "erased when asked";
    InvalidateRect(window, &r, TRUE);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetUpdateRgn(window, region, TRUE), SIMPLEREGION);
    EXPECT_EQ(Recorder::only({WM_ERASEBKGND}).size(), 3u);
    DeleteObject(region);
}

TEST_F(PaintTest, HiddenWindowsWaitToBeShownAndHidingAChildExposesWhatItCovered) {
    UpdateWindow(window);
    EXPECT_TRUE(Recorder::only({WM_PAINT}).empty()) << "nothing invalid, nothing painted";
    ShowWindow(window, SW_HIDE);
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(platform::pumpMessages(), 0);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    EXPECT_EQ(Recorder::only({WM_PAINT}).size(), 1u);
    EXPECT_EQ(pick(Recorder::only({WM_SHOWWINDOW}), &Seen::wParam), (std::vector<WPARAM>{0, 1}));
    HWND child = childWindow(window, RECT{20, 30, 120, 80});
    platform::pumpMessages();
    ShowWindow(child, SW_HIDE);
    EXPECT_EQ(update().second, (Boxes{{20, 30, 120, 80}}));
    // Shown again, a window is painted whole with its shown children, the hidden ones left out.
    ShowWindow(window, SW_HIDE);
    ShowWindow(child, SW_SHOW);
    HWND hidden = childWindow(window, RECT{0, 0, 5, 5}, WS_CHILD);
    ShowWindow(window, SW_SHOW);
    EXPECT_EQ(update(child), std::pair(int{SIMPLEREGION}, Boxes{{0, 0, 100, 50}}));
    EXPECT_EQ(update(hidden).first, NULLREGION);
}
