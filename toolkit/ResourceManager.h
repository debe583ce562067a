// Prepares what the toolkit later reads from disk, once, before the display frame exists: the
// resource directory beside the program, the scale factor from the 480-pixel design to the
// actual screen, the fonts installed on the first run, the images shrunk once on small screens,
// the table of image paths, and the event the modal message box waits on.
#pragma once

#include <windows.h>

#include <array>
#include <string>

// The toolkit's images, in the order of imagePaths (and of the one-time rescaling).
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

// File names in the image directory, indexed by ToolkitImage.
extern const std::array<const wchar_t*, toolkitImageCount> imageFileNames;

extern std::wstring resourceDir; // the program's directory + "resources\"
extern double scaleFactor;       // 1.0 on screens at least 480 wide, else min(w, h) / 480
extern std::array<std::wstring, toolkitImageCount> imagePaths;
// Manual-reset, created signalled; the modal message box waits on it, the loop sets it.
extern HANDLE messageBoxEvent;

inline constexpr const wchar_t* thinFontFile = L"HelveticaNeue LT 35 Thin.ttf";
inline constexpr const wchar_t* labelFontFile = L"HelveticaNeueOTS.TTF";
inline constexpr const wchar_t* scaledMarkerFile = L"AlreadyScalled.txt";
inline constexpr const wchar_t* scaledMarkerText = L"Your resources are already scalled!";
// Lists, one per line, the images whose scaled copy is complete while a rescale is under way.
inline constexpr const wchar_t* rescaleProgressFile = L"RescaleProgress.txt";
inline constexpr const wchar_t* scaledCopySuffix = L".part";
inline constexpr const wchar_t* installKey = L"SOFTWARE\\SDK_TORVANE";
inline constexpr const wchar_t* installValue = L"torvaneVersion";

// Runs once, on the user-interface thread, before any widget exists. A missing image directory
// on an installation run shows the missing-resources box and ends the process.
void loadResources();

// The image directory: resourceDir + "VGA\".
std::wstring imageDirectory();

// Test hook: called at each step of the one-time rescaling; returning false stops loadResources
// there, as a power cut would. Null in the program.
enum class RescaleStep {
    scaledCopyWritten, // the scaled copy of the image lies beside it
    progressRecorded,  // the progress file lists the image
    imageReplaced,     // the image file holds the scaled copy
    imageFinished,     // the scaled copy is gone; the next image follows
};
extern bool (*rescaleStepHook)(int image, RescaleStep step);
