// A piece of text, wrapped at word boundaries, in one of the three shared label fonts. The text
// is drawn once into the label's own surface, over a key colour, and copied onto the display
// with that key as the source colour key, so only the glyphs cover what lies beneath. It is drawn
// again only when the text, its colour or its key changes.
#pragma once

#include "Element.h"
#include "SharedResources.h"

#include <ddraw.h>
#include <windows.h>

#include <string>

// The shared label fonts: created by the first label that finds the display, never deleted. The
// message box draws with fontLarge and fontNormal too. Null while no label could create them.
// Font kind 1: 10 points; kind 0 (and any but 1 to 3): 9 points; kind 2: 9 points, italic;
// kind 3: 7 points, for second lines.
inline HFONT& fontLarge = sharedResources.fontLarge;
inline HFONT& fontNormal = sharedResources.fontNormal;
inline HFONT& fontItalic = sharedResources.fontItalic;
inline HFONT& fontSmall = sharedResources.fontSmall;

enum LabelFontKind : int {
    labelFontNormal = 0,
    labelFontLarge = 1,
    labelFontItalic = 2,
    labelFontSmall = 3,
};

class MyLabel : public Element {
public:
    // Tap states of a label that its owner made clickable. A new label is in none of them, so it
    // keeps its normal colours until its owner puts it into labelNormal.
    enum State : int {
        labelUntouched = -1,
        labelNormal = 0,
        labelPressed = 1,
        labelTapped = 3,
    };

    // x and y in the design space unless alreadyScaled. The label is exactly as large as its
    // text, which wraps within the view's width.
    MyLabel(int elementId, int x, int y, const std::wstring& initialText, int fontKind,
            COLORREF colour, bool alreadyScaled);
    ~MyLabel() override;

    void loadSurf() override;
    void paint(IDirectDrawSurface* target, int originX, int originY) override;
    Element* hitTest(int x, int y) override;
    int onClick() override;
    void unselect() override;
    // Draws with the given text colour; the text is drawn over `key`, which the copy leaves out.
    virtual void paint(IDirectDrawSurface* target, int originX, int originY, COLORREF colour,
                       WORD key);

    // Replaces the text and measures it again; the label grows to fit but never shrinks. With
    // `redraw`, its place on the screen is erased and repainted, or its container's when it grew
    // taller.
    void setText(const std::wstring& newText, bool redraw);
    // The text wraps so that the label ends at most `width` pixels right of its own left edge,
    // as in a column narrower than the view, instead of at the view's right edge; measured again.
    void wrapWithin(LONG width);
    // Sets a text that must stay on one line no wider than `width` pixels: a longer one loses its
    // end to "...".
    void setTextOnOneLine(const std::wstring& newText, LONG width);

    HFONT font = nullptr;                  // one of the shared fonts, not owned
    IDirectDrawSurface* surface = nullptr; // the rendered text, owned; at least 16 x 16
    std::wstring text;
    RECT srcRect{};          // the part of `surface` the last paint copied
    RECT textRect{};         // (0, 0, text width + 5, text height)
    COLORREF lastColour = 0; // colour `surface` holds the text in; the complement forces a render
    COLORREF textColour = 0; // colour of a label that is not clickable
    DDCOLORKEY keyColour{};  // the RGB565 pixel `surface` was filled with before drawing
    int offsetY = 0;         // added when painting; owners centre the label with them
    int offsetX = 0;
    BYTE clickable = 0;
    int state = labelUntouched;

    int fontKind = labelFontNormal;
    LONG wrapWidth = 0; // 0: the text wraps at the view's right edge

private:
    // Measures the text into textRect; false when nothing could be measured on.
    bool measure();
    bool needsMeasuring() const;
    void render(COLORREF colour, WORD key);
    void releaseSurface();

    // Whether textRect came from backBuffer; a label measured before backBuffer existed is
    // measured again once it does.
    bool measuredOnBackBuffer = false;
};
