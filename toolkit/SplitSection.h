// A screen of side-by-side columns under one header bar, for a display wider than it is tall:
// each column is a Section of its own (without a header), scrolled, flung and tapped on its own,
// and a touch belongs to the column it went down in. The split is the tracker's scroll target
// and hands each step to that column. The scroll bar at the screen's right edge follows the
// rightmost column, the one beside it.
#pragma once

#include "Section.h"

#include <string>
#include <vector>

class SplitSection : public Section {
public:
    // Spans the view's width from its left edge; `width` in device pixels.
    SplitSection(int id, int width, const std::wstring& title);

    // A new column right of the others, `width` device pixels wide, owned by the split. Its rows
    // are added to it with add. A column has no parent: a swipe in it scrolls, as on a screen of
    // one section.
    Section* addColumn(int width);

    // Each column's rows in its own place, then the header and the scroll bar.
    void paint(IDirectDrawSurface* target, int originX, int originY) override;
    // The answer of the column under the point; nothing under the header.
    Element* hitTest(int x, int y) override;
    // The step of the column the finger went down in.
    int onTimer() override;
    // Every column is put back inside its bounds, as a section is after a turn.
    void unselect() override;
    // The columns grow by themselves; the split has no rows of its own.
    void childResized(Element* child, int width, int height) override;
    void pressAt(int x, int y) override;

    std::vector<Section*> columns; // left to right, owned (they are the split's children)

private:
    Section* columnAt(int x) const;
    Section* activeColumn = nullptr;
};
