// The toolkit's one-line text field. On the toolkit's screen it is a picture: a frame drawn from
// a three-tile image, with the field's text in an embedded label. A tap slides the screen until
// the field sits above the input panel and clear of the top, then lays the one native EDIT
// window of the process over it and shows the on-screen keyboard; the display frame stops
// painting meanwhile. The next touch on the frame's window ends the edit: the text goes back
// into the label and the touch goes on to the screen's section as an ordinary tap. The message
// loop watches the native editor for tap-and-hold.
#pragma once

#include "Element.h"
#include "SharedResources.h"

#include <ddraw.h>
#include <windows.h>

#include <string>

class MyLabel;
class Section;

// The native editor shared by every field; null until the first field needs it.
inline HWND& editWindow = toolkitState.editWindow;

class MyEditControl : public Element {
public:
    // x and y in the design space; the width in device pixels. The height is the frame image's.
    // A field that follows turns keeps its margins as the screen turns (it spans the screen); one
    // laid out in a column keeps its width.
    MyEditControl(int elementId, int x, int y, int width, bool followsTurns = true);
    // Destroys the label. A field destroyed while it owns the input hands the touch input back.
    ~MyEditControl() override;

    // Creates the native editor and loads the frame image when missing, then places the field
    // for the screen's shape: as wide as the screen leaves it between the same margins.
    void loadSurf() override;
    // Draws the visible part of the frame (at most three copies from the image) and the label.
    void paint(IDirectDrawSurface* target, int originX, int originY) override;
    // A touch inside the field's frame presses it.
    Element* hitTest(int x, int y) override;
    // Notifies the application, takes the touch input over and starts the slide; returns 1.
    int onClick() override;
    // While sliding: the scroll step that brings the field into place, then the editor opens.
    // While editing: ends the edit on the next touch and hands the touch on.
    int onTimer() override;
    // Ends the edit (or the slide): the edited text goes back into the label, the editor and
    // the input panel are hidden, the touch input goes back to the previous target.
    void unselect() override;
    // Keeps the label inside the field.
    void childResized(Element* child, int width, int height) override;

    void setText(const std::wstring& text);
    std::wstring getText() const;

    // Lays the native editor over the field with the input panel; the frame stops painting.
    void openEditor();

    MyLabel* label = nullptr; // owned
    BYTE slidingIn = 0;       // from the tap until the field is in place or the edit ended
    DWORD slideStartTime = 0;
    int visualState = 0; // the image tile: 0 normal, 1 pressed or edited, 2 left alone by taps
    RECT clipRect{};     // visible part of the field in its own coordinates, from the last paint
    Element* previousTarget = nullptr; // the tracker's scroll target before the tap, not owned
    // The native editor holds this field's text: only then is its text taken back.
    bool editorOpen = false;

    // Shared by every field, loaded once (SharedResources.h).
    static inline IDirectDrawSurface*& inputImage = sharedResources.inputImage; // three tiles
    static inline int& inputImageHeight = sharedResources.inputImageHeight; // every field's height
    static inline WORD& inputTileWidth = sharedResources.inputTileWidth;
    // viewRect when the editor opened.
    static inline RECT& savedViewRect = toolkitState.editorViewRect;

private:
    static void createEditWindow();
    static void loadInputImage();
    void followScreenShape();
    void blitPiece(IDirectDrawSurface* target, LONG fromX, LONG toX, LONG sourceOffset,
                   bool stretched, const wchar_t* failure);
    void paintLabel(IDirectDrawSurface* target, LONG x, LONG y);
    int slideStep();
    static void slideSection(Section& section, int step);
    bool touchEndsEdit();
    void takeInputOver();
    void endEdit(bool touchGoesOn);
    void handInputBack(bool touchGoesOn);
    void hideInputPanel();

    bool followsTurns_ = true;
};
