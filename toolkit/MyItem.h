// The toolkit's tappable item: a check box, a switch or a push button, drawn from a horizontal
// strip of equally wide frames in one image, with an optional caption. A tap flips it between
// off and on and notifies the application, unless the item is disabled.
#pragma once

#include "Element.h"
#include "SharedResources.h"

#include <ddraw.h>
#include <windows.h>

#include <array>
#include <string>

class MyLabel;

enum ItemStyle : BYTE {
    itemCheckBox = 1,
    itemSwitch = 2,
    itemButton = 3,         // push button
    itemLargeBoxButton = 4, // push button of the message box
    itemSmallBoxButton = 5, // push button of the message box
    itemListRow = 6, // push button as a row of a list: caption on the left, a second line below
};

enum ItemState : BYTE {
    itemOff = 0, // the normal look of a push button
    itemOn = 1,
    itemDisabledOff = 2,
    itemDisabledOn = 3,
    itemPressedOff = 4,
    itemPressedOn = 5,
    itemThirdState = 6, // check boxes and switches; push buttons show their normal face
    itemDisabledThirdState = 7,
};

// The strips of frames, shared by every item of a style: loaded once, never released. Indexed by
// style (1 to 6); entry 0 is unused.
inline std::array<ItemStyleStrips, 7>& itemStrips = sharedResources.itemStrips;

// Loads the strips of a style that are not loaded yet (a missing image shows its box). Lets a
// widget that builds items while it holds motionLock load their images before taking it.
void loadItemStrips(BYTE style);

class MyItem : public Element {
public:
    // x and y in the design space. A style outside 1 to 6 ends the program after a message box.
    MyItem(int elementId, int x, int y, BYTE itemStyle, BYTE initialState,
           const std::wstring& caption);
    // The caption goes with the item.
    ~MyItem() override;

    void loadSurf() override;
    void setMustRedraw() override;
    void paint(IDirectDrawSurface* target, int originX, int originY) override;
    Element* hitTest(int x, int y) override;
    int onClick() override;
    void unselect() override;
    void childResized(Element* child, int width, int height) override;

    // Creates the caption or changes its text; push buttons centre it in their face, check boxes
    // and switches put it to their right.
    void setCaption(const std::wstring& caption);
    // A list row's second line, in the small font below the caption. Both lines of a list row
    // stay on one line within the face, ending in "..." where they would not fit.
    void setDetail(const std::wstring& detail);
    // Swaps the enabled and the disabled look of the current state.
    void toggleEnabled();

    IDirectDrawSurface* surface = nullptr; // the strip of the last layout or paint, shared
    RECT srcRect{};                        // the part of the strip the last paint copied
    int itemHeight = 0;                    // of one frame
    int frameWidth = 0;
    BYTE state = itemOff;
    BYTE style = itemButton;
    MyLabel* captionLabel = nullptr; // owned
    MyLabel* detailLabel = nullptr;  // owned; list rows only

private:
    bool isPushButton() const;
    bool isDisabled() const;
    void setState(BYTE newState);
    void centreCaption();
    void placeRowText();
    LONG rowTextWidth() const;
};
