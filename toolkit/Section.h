// The toolkit's screen-level container: a header bar with a centred caption at the top of the
// client area and, below it, a vertical list of children that the user scrolls by dragging and
// flinging. The first section built becomes the scroll target of the shared MotionTracker: its
// onTimer turns the tracker's state into scroll steps, taps and swipes. After each paint it puts
// the display's scroll bar (ScrollBar.h) where the view lies in the content.
#pragma once

#include "Element.h"
#include "SharedResources.h"

#include <optional>
#include <string>
#include <vector>

class Section : public Element {
public:
    // x and y are in the design space (scaled); the width is not.
    Section(int id, int x, int y, int width, const std::wstring& title);
    ~Section() override;

    // Creates what is missing of the shared surfaces (back buffer, scroll bar) and the header
    // image, follows a rotation of a full-width section and puts the top of the view below the
    // header.
    void loadSurf() override;
    // The children stacked from viewRect.top + scrollOffset, each clipping itself to dirtyRect;
    // then the scroll bar; then the header over whatever scrolled beneath it.
    void paint(IDirectDrawSurface* target, int originX, int originY) override;
    // The first child's answer; nothing is hit under the header.
    Element* hitTest(int x, int y) override;
    // Takes ownership of the child: appended (index < 0 or past the end) or inserted at index.
    // minHeight is not used.
    void add(Element* child, int minHeight, int index) override;
    // One step of scrolling and touch handling: the pixels the content moves now (positive
    // downwards), with the rows that move uncovers left in dirtyRect.
    int onTimer() override;
    // Grows the content when the child grew; nothing ever shrinks.
    void childResized(Element* child, int width, int height) override;
    // Called when the screen turned: content that now lies beyond an end of the new view is put
    // back at that end, since nothing else would move it until the next touch.
    void unselect() override;

    // The children alone, stacked in the section's own column from viewRect.top + scrollOffset.
    void paintRows(IDirectDrawSurface* target, int originX);
    // Where the touch that went down at (x, y), client coordinates, starts a press: the child
    // under it becomes the pressed child, which gets the tap when the finger lifts.
    virtual void pressAt(int x, int y);
    // The part of the screen the content shows in: the view, or the section's column of it.
    RECT view() const;

    // Puts `replacement` where `child` was and destroys `child` with everything in it; the
    // content grows or shrinks by the difference. Nothing happens if `child` is not a child.
    void replaceChild(Element* child, Element* replacement);
    // Scrolls back to the top of the content and repaints the view.
    void showTop();
    // Scrolls as little as it takes for the child's row to lie inside the view (its top, if the
    // row is taller than the view) and repaints the view; nothing for a child of another.
    void bringIntoSight(const Element* child);
    // The child under the resting finger goes back to its normal look and gets no tap: the
    // touch went to something else (a tap-and-hold).
    void letGoOfPressedChild();

    std::wstring title;
    RECT headerRect{};               // in the parent's coordinates
    RECT headerSrcRect{};            // part of the header image the last paint copied
    int scrollOffset = 0;            // 0 at the top, negative when scrolled down
    std::vector<Element*> children;  // owned, top to bottom
    Element* pressedChild = nullptr; // the child under a resting finger, not owned
    // A column of a SplitSection: it shows its rows between its own left and right, and the
    // header, the scroll bar and the whole view's repaint are its screen's.
    bool isColumn = false;

    // Shared by every section, created once (SharedResources.h).
    static inline IDirectDrawSurface*& headerImage = sharedResources.sectionHeaderImage;
    static inline int& headerImageWidth = sharedResources.headerImageWidth;
    static inline int& headerImageHeight = sharedResources.headerImageHeight;
    static inline HFONT& titleFont = sharedResources.sectionTitleFont;

protected:
    // After the rows: the scroll bar for `shown` (this section or a column), then the header
    // over whatever scrolled beneath it.
    void paintFrameParts(IDirectDrawSurface* target, const Section& shown);

private:
    void loadHeaderImage();
    void paintHeader(IDirectDrawSurface* target);
    bool headerPictureShows(const RECT& whole) const;
    void composeHeaderPicture(const RECT& whole);
    void composeHeader(IDirectDrawSurface* canvas, const RECT& place);
    void drawCaption(IDirectDrawSurface* canvas, const RECT& place);

    // The header as last composed, and what it was composed from.
    struct HeaderPictureSource {
        RECT area{};
        IDirectDrawSurface* image = nullptr;
        HFONT font = nullptr;
        std::wstring title;
    };
    IDirectDrawSurface* headerPicture = nullptr; // owned
    HeaderPictureSource headerPictureShown;
    void forgetPressedChild(bool unselectIt);
    bool deliverTap();
    std::optional<int> springBack(int step);
    int lowestOffset() const; // the offset that shows the end of the content
    void markUncoveredRows(int step);
};

// The section whose rows hold `element`, at any depth; null for an element in none.
Section* sectionHolding(const Element* element);
