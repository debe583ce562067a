// The region calls of the API, and DeleteObject for every GDI object.
#include "user/Region.h"

#include "winuser.h"

#include <cstring>

using platform::user::RectSet;
using platform::user::Region;

namespace {

Region* regionOf(HRGN handle) {
    return platform::GdiObject::fromHandleAs<Region>(handle);
}

} // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    auto* region = new Region;
    region->shape = RectSet(RECT{left, top, right, bottom});
    return region->handleAs<HRGN>();
}

DWORD GetRegionData(HRGN handle, DWORD count, LPRGNDATA data) {
    Region* region = regionOf(handle);
    if (region == nullptr) {
        return 0;
    }
    const auto& rects = region->shape.rects();
    const DWORD rectBytes = static_cast<DWORD>(rects.size() * sizeof(RECT));
    const DWORD needed = static_cast<DWORD>(sizeof(RGNDATAHEADER)) + rectBytes;
    if (data == nullptr) {
        return needed;
    }
    if (count < needed) {
        return 0;
    }
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(rects.size());
    data->rdh.nRgnSize = rectBytes;
    data->rdh.rcBound = region->shape.bounds();
    if (!rects.empty()) {
        std::memcpy(data->Buffer, rects.data(), rectBytes);
    }
    return count;
}

BOOL DeleteObject(HGDIOBJ object) {
    return platform::deleteGdiObject(object) ? TRUE : FALSE;
}
