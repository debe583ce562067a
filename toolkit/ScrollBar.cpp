#include "ScrollBar.h"

#include "DisplayFrame.h"
#include "Rect.h"
#include "TraceFailure.h"
#include "Tunables.h"

#include <algorithm>
#include <cmath>

void ScrollBar::create() {
    if (surface != nullptr ||
        FAILED(createDisplaySurface(tunables::scrollBarWidthPx,
                                    static_cast<DWORD>(GetSystemMetrics(SM_CYSCREEN)),
                                    DDSCAPS_OVERLAY, &surface))) {
        return;
    }
    const HRESULT hr = colourFill(surface, nullptr, tunables::scrollBarColour);
    if (FAILED(hr)) {
        traceFailure(hr, L"Fill scrollBar");
    }
}

void ScrollBar::release() {
    if (surface != nullptr) {
        surface->Release();
        surface = nullptr;
    }
}

void ScrollBar::update(int scrollOffset, int contentHeight) {
    if (surface == nullptr) {
        return;
    }
    const int viewHeight = viewRect.bottom - viewRect.top;
    const double ratio = contentHeight > 0 ? static_cast<double>(viewHeight) / contentHeight : 1.0;
    if (ratio >= 1.0) {
        hide();
        place = RECT{};
        return;
    }
    const int barLength = static_cast<int>(std::trunc(viewHeight * ratio));
    const double permille = -(scrollOffset * 1000.0) / (contentHeight - viewHeight);
    const int barTop =
        viewRect.top - static_cast<int>(std::trunc((viewHeight - barLength) * permille * -0.001));
    const LONG barBottom =
        barTop + barLength > viewRect.bottom ? viewRect.bottom - 1 : barTop + barLength;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    RECT wanted{screenWidth - tunables::scrollBarWidthPx, std::max<LONG>(barTop, viewRect.top),
                screenWidth - 1, barBottom};
    const bool boxShown = theFrame != nullptr && theFrame->modalBox != nullptr;
    if (isEmpty(wanted) || windowInactive || boxShown || (shown == 1 && sameRect(wanted, place))) {
        return;
    }
    RECT source{0, 0, tunables::scrollBarVisibleWidthPx, barLength};
    const HRESULT hr =
        surface->UpdateOverlay(&source, primarySurface, &wanted, DDOVER_SHOW, nullptr);
    if (FAILED(hr)) {
        traceFailure(hr, L"show scrollBar");
        return;
    }
    shown = 1;
    place = wanted;
}

void ScrollBar::hide() {
    if (shown == 1 && surface != nullptr) {
        surface->UpdateOverlay(nullptr, primarySurface, nullptr, DDOVER_HIDE, nullptr);
    }
    shown = 0;
}
