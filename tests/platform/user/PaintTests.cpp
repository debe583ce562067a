// Update regions, WM_PAINT and the region data the program reads.
#include "UserTestSupport.h"

#include "user/Region.h"

#include <vector>

using namespace usertest;
using platform::user::RectSet;

namespace {

class PaintTest : public UserTest {
protected:
    void SetUp() override {
        UserTest::SetUp();
        window = topWindow();
        platform::pumpMessages();
        Recorder::clear();
    }

    // The rectangles of the window's update region, as GetRegionData gives them.
    std::vector<RECT> updateRects() {
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        GetUpdateRgn(window, region, FALSE);
        const DWORD size = GetRegionData(region, 0, nullptr);
        std::vector<char> buffer(size);
        auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
        EXPECT_EQ(GetRegionData(region, size, data), size);
        EXPECT_EQ(data->rdh.dwSize, 32u);
        EXPECT_EQ(data->rdh.iType, static_cast<DWORD>(RDH_RECTANGLES));
        EXPECT_EQ(data->rdh.nRgnSize, data->rdh.nCount * sizeof(RECT));
        std::vector<RECT> rects(data->rdh.nCount);
        if (!rects.empty()) {
            std::memcpy(rects.data(), buffer.data() + sizeof(RGNDATAHEADER), data->rdh.nRgnSize);
        }
        DeleteObject(region);
        return rects;
    }

    HWND window = nullptr;
};

void expectRects(const std::vector<RECT>& actual, const std::vector<RECT>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_TRUE(sameRect(actual[i], expected[i]))
            << "rectangle " << i << ": " << actual[i].left << "," << actual[i].top << ","
            << actual[i].right << "," << actual[i].bottom;
    }
}

} // namespace

TEST_F(PaintTest, OverlappingInvalidationsGiveBandedRectangles) {
    RECT a{10, 10, 110, 60};
    RECT b{60, 40, 160, 100};
    InvalidateRect(window, &a, FALSE);
    InvalidateRect(window, &b, FALSE);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetUpdateRgn(window, region, FALSE), COMPLEXREGION);
    DeleteObject(region);
    expectRects(updateRects(), {{10, 10, 110, 40}, {10, 40, 160, 60}, {60, 60, 160, 100}});
}

TEST_F(PaintTest, AWholeInvalidationCoversTheClientAreaAndRectanglesAreClippedToIt) {
    InvalidateRect(window, nullptr, FALSE);
    expectRects(updateRects(), {{0, 0, 480, 640 - 52}});
    ValidateRect(window, nullptr);
    RECT outside{400, 500, 900, 900};
    InvalidateRect(window, &outside, FALSE);
    expectRects(updateRects(), {{400, 500, 480, 588}});
}

TEST_F(PaintTest, PaintComesBackUntilTheRegionIsValidated) {
    Recorder::handler = [](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_PAINT) {
            return 0; // neither validates nor calls the default procedure
        }
        return std::nullopt;
    };
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
    EXPECT_TRUE(sameRect(paint.rcPaint, RECT{0, 0, 480, 588}));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(PaintTest, BeginPaintErasesOnlyWhenAskedAndValidates) {
    RECT r{0, 0, 10, 10};
    InvalidateRect(window, &r, FALSE);
    PAINTSTRUCT paint{};
    BeginPaint(window, &paint);
    EXPECT_TRUE(Recorder::only({WM_ERASEBKGND}).empty());
    InvalidateRect(window, &r, TRUE);
    BeginPaint(window, &paint);
    EXPECT_EQ(Recorder::only({WM_ERASEBKGND}).size(), 1u);
    EXPECT_TRUE(paint.fErase) << "the default procedure erased nothing";
    EXPECT_TRUE(updateRects().empty());
}

TEST_F(PaintTest, TheDefaultProcedureValidatesAndAnEmptyRegionIsNullRegion) {
    InvalidateRect(window, nullptr, TRUE);
    EXPECT_EQ(platform::pumpMessages(), 1);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetUpdateRgn(window, region, FALSE), NULLREGION);
    RECT one{5, 5, 6, 6};
    InvalidateRect(window, &one, FALSE);
    EXPECT_EQ(GetUpdateRgn(window, region, FALSE), SIMPLEREGION);
    EXPECT_EQ(GetUpdateRgn(reinterpret_cast<HWND>(0x99), region, FALSE), ERROR);
    DeleteObject(region);
}

TEST_F(PaintTest, HiddenWindowsAreNotPaintedUntilShown) {
    ShowWindow(window, SW_HIDE);
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(platform::pumpMessages(), 0);
    ShowWindow(window, SW_SHOW);
    platform::pumpMessages();
    EXPECT_EQ(Recorder::only({WM_PAINT}).size(), 1u);
}

TEST_F(PaintTest, UpdateWindowPaintsAtOnceOnlyWhenSomethingIsInvalid) {
    UpdateWindow(window);
    EXPECT_TRUE(Recorder::only({WM_PAINT}).empty());
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    EXPECT_EQ(Recorder::only({WM_PAINT}).size(), 1u);
}

TEST_F(PaintTest, HidingAChildExposesWhatItCoveredInTheParent) {
    HWND child = childWindow(window, RECT{20, 30, 120, 80});
    platform::pumpMessages();
    ShowWindow(child, SW_HIDE);
    expectRects(updateRects(), {{20, 30, 120, 80}});
}

TEST(RegionShape, CombinesIntoTheCanonicalBandedForm) {
    RectSet a(RECT{0, 0, 100, 100});
    RectSet hole(RECT{25, 25, 75, 75});
    RectSet ring = RectSet::combine(a, hole, RectSet::Op::subtract);
    ASSERT_EQ(ring.rects().size(), 4u);
    EXPECT_TRUE(sameRect(ring.rects()[0], RECT{0, 0, 100, 25}));
    EXPECT_TRUE(sameRect(ring.rects()[1], RECT{0, 25, 25, 75}));
    EXPECT_TRUE(sameRect(ring.rects()[2], RECT{75, 25, 100, 75}));
    EXPECT_TRUE(sameRect(ring.rects()[3], RECT{0, 75, 100, 100}));
    EXPECT_TRUE(RectSet::combine(ring, hole, RectSet::Op::unite) == a);
    EXPECT_TRUE(RectSet::combine(ring, hole, RectSet::Op::intersect).empty());
    RectSet side(RECT{100, 0, 150, 100});
    EXPECT_EQ(RectSet::combine(a, side, RectSet::Op::unite).rects().size(), 1u)
        << "touching rectangles of one band join";
    EXPECT_TRUE(RectSet::combine(a, a, RectSet::Op::exclusiveOr).empty());
}

TEST(RegionObjects, DeleteObjectDeletesRegionsOnceAndRefusesForeignHandles) {
    HRGN region = CreateRectRgn(0, 0, 10, 10);
    RECT box{};
    EXPECT_EQ(GetRgnBox(region, &box), SIMPLEREGION);
    EXPECT_TRUE(DeleteObject(region));
    EXPECT_FALSE(DeleteObject(region)) << "a deleted handle is not a GDI object any more";
    int notAnObject = 0;
    EXPECT_FALSE(DeleteObject(&notAnObject));
    EXPECT_EQ(GetRegionData(region, 0, nullptr), 0u);
}

TEST(RegionObjects, StockObjectsSurviveDeleteObject) {
    struct Stock : platform::GdiObject {
        bool isStock() const override { return true; }
    };
    static Stock stock;
    EXPECT_TRUE(DeleteObject(stock.handle()));
    EXPECT_EQ(platform::GdiObject::fromHandle(stock.handle()), &stock);
}

TEST(RegionObjects, CombineRgnFollowsItsMode) {
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 0, 20, 10);
    HRGN out = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(out, a, b, RGN_OR), SIMPLEREGION);
    RECT box{};
    GetRgnBox(out, &box);
    EXPECT_TRUE(sameRect(box, RECT{0, 0, 20, 10}));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_EQ(CombineRgn(out, a, b, RGN_DIFF), SIMPLEREGION);
    EXPECT_EQ(CombineRgn(out, a, a, RGN_DIFF), NULLREGION);
    EXPECT_EQ(CombineRgn(out, a, nullptr, 99), ERROR);
    for (HRGN r : {a, b, out}) {
        DeleteObject(r);
    }
}
