// The toolkit's grouping container: children in rows, one below the other, optionally under a
// captioned title bar and with a dotted one-pixel separator between rows. A panel does not
// scroll; it places its children, paints them in order and passes touches on to them.
#pragma once

#include "Element.h"
#include "SharedResources.h"

#include <string>
#include <vector>

class MyPanel : public Element {
public:
    // x and y are in the design space (scaled); the width is not. A width below 1 spans the
    // view's width.
    MyPanel(int id, int x, int y, int width, const std::wstring& title, BYTE hasTitle,
            BYTE showSeparators);
    ~MyPanel() override;

    // Loads the shared images once, follows a rotation of a full-width panel and builds the
    // title background when it is missing.
    void loadSurf() override;
    void paint(IDirectDrawSurface* target, int originX, int originY) override;
    // The first child's answer; the title bar and the separators are never hit.
    Element* hitTest(int x, int y) override;
    // Takes ownership of the child. minHeight (design pixels, -1: none) is the least height the
    // child claims; index -1 (or past the end) starts a new row, otherwise the child joins the
    // row of the child at index, right after it.
    void add(Element* child, int minHeight, int index) override;
    // Grows the child's row when the child grew; nothing ever shrinks.
    void childResized(Element* child, int width, int height) override;

    // Rebuilds bkgSurface: the title image with the caption drawn on it.
    void computeSurface();

    std::wstring title;
    IDirectDrawSurface* bkgSurface = nullptr; // owned
    RECT titleRect{};                         // the title bar, in the parent's coordinates
    RECT titleSrcRect{};                      // part of bkgSurface the last paint copied
    BYTE hasTitle = 0;
    BYTE showSeparators = 0;
    std::vector<Element*> children; // owned, in paint and hit-test order
    std::vector<int> rowHeights;    // height each child claims in its row
    std::vector<bool> newRow;       // the child starts a row (child 0's value is not used)

    // Shared by every panel, loaded once (SharedResources.h).
    static inline IDirectDrawSurface*& titleImage = sharedResources.panelTitleImage;
    static inline int& titleImageWidth = sharedResources.panelTitleImageWidth;
    static inline int& titleImageHeight = sharedResources.panelTitleImageHeight;
    static inline IDirectDrawSurface*& separatorImage = sharedResources.separatorImage;
    static inline int& separatorImageWidth = sharedResources.separatorImageWidth;
    // The dotted image repeated across the longer side of the screen, so that a separator is
    // one copy rather than one per dot pattern.
    static inline IDirectDrawSurface*& separatorLine = sharedResources.separatorLine;
    static inline int& separatorLineWidth = sharedResources.separatorLineWidth;
    // The title caption's font.
    static inline HFONT& captionFont = sharedResources.panelCaptionFont;

private:
    int claimedHeight(const Element* child, int minHeight) const;
    void appendChild(Element* child, int claimed);
    int insertChild(Element* child, int claimed, size_t index);
    void growBy(int pixels);
    bool paintTitle(IDirectDrawSurface* target, const RECT& bar);
    void paintSeparator(IDirectDrawSurface* target, int row);
    void drawCaption(HDC dc);
    static void buildSeparatorLine();
};
