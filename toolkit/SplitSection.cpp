#include "SplitSection.h"

#include "DisplayFrame.h"
#include "MotionTracker.h"

SplitSection::SplitSection(int id, int width, const std::wstring& sectionTitle)
    : Section(id, 0, 0, width, sectionTitle) {}

Section* SplitSection::addColumn(int width) {
    const int columnLeft = columns.empty() ? left : columns.back()->right;
    auto* column = new Section(-1, 0, 0, width, L"");
    column->left = columnLeft;
    column->right = columnLeft + width;
    column->headerRect = column->screenRect =
        RECT{column->left, column->top, column->right, column->top + headerImageHeight};
    column->isColumn = true;
    columns.push_back(column);
    children.push_back(column);
    return column;
}

void SplitSection::paint(IDirectDrawSurface* target, int originX, int /*originY*/) {
    for (Section* column : columns) {
        column->paintRows(target, originX);
    }
    paintFrameParts(target, columns.empty() ? *this : *columns.back());
}

Section* SplitSection::columnAt(int x) const {
    for (Section* column : columns) {
        if (x < viewRect.left + column->right) {
            return column;
        }
    }
    return columns.empty() ? nullptr : columns.back();
}

Element* SplitSection::hitTest(int x, int y) {
    if (y + clientRect.top < viewRect.top) {
        return nullptr;
    }
    Section* column = columnAt(x);
    return column != nullptr ? column->hitTest(x, y) : nullptr;
}

void SplitSection::pressAt(int x, int y) {
    if (Section* column = columnAt(x)) {
        column->pressAt(x, y);
    }
}

int SplitSection::onTimer() {
    MotionLockGuard lock;
    Section* column = columnAt(tracker->downPoint.x);
    if (column == nullptr) {
        return 0;
    }
    // A press in another column: what the finger rested on in the last one is let go.
    if (activeColumn != nullptr && activeColumn != column) {
        activeColumn->letGoOfPressedChild();
    }
    activeColumn = column;
    return column->onTimer();
}

void SplitSection::unselect() {
    Section::unselect();
    for (Section* column : columns) {
        column->unselect();
    }
}

void SplitSection::childResized(Element* /*child*/, int /*width*/, int /*height*/) {}
