// The toolkit's images, in the order of imagePaths (and of the one-time rescaling).
#pragma once

enum ToolkitImage : int {
    imageTitleBar = 0,          // Section header
    imageDividerSection = 1,    // MyPanel title
    imageMsgboxLargeButton = 2, // MyItem
    imageMsgboxSmallButton = 3, // MyItem
    imageNormalButton = 4,      // MyItem
    imageSwitch = 5,            // MyItem
    imageCheckbox = 6,          // MyItem
    imageInput = 7,             // MyEditControl
    imageListItem = 8,
    imagePivotLeftArrow = 9,
    imagePivotRightArrow = 10,
    imageComboDown = 11,
    imageListItemBottom = 12,
    imageListItemMiddle = 13,
    imageDotLine = 14,            // MyPanel separator
    imageMsgbox = 15,             // MessageBoxSense
    imageBackground = 16,         // MessageBoxSense backdrop
    imageSwitchThirdState = 17,   // MyItem
    imageCheckboxThirdState = 18, // MyItem
    imageSlider = 19,
    imageSliderButton = 20,
    toolkitImageCount = 21,
};
