// Prepares what the toolkit later reads from disk, once, before the display frame exists: the
// resource directory beside the program, the scale factor from the 480-pixel design to the
// actual screen, the fonts installed on the first run, the images shrunk once on small screens,
// the table of image paths, and the event the modal message box waits on.
#pragma once

#include "ToolkitImage.h"
#include "ToolkitState.h"

#include <windows.h>

#include <array>
#include <string>

// File names in the image directory, indexed by ToolkitImage.
extern const std::array<const wchar_t*, toolkitImageCount> imageFileNames;

// What loadResources found, kept in the toolkit's state (ToolkitState.h).
inline std::wstring& resourceDir =
    toolkitState.resourceDir; // the program's directory + "resources\"
// 1.0 on screens at least 480 wide, else min(w, h) / 480.
inline double& scaleFactor = toolkitState.scaleFactor;
inline std::array<std::wstring, toolkitImageCount>& imagePaths = toolkitState.imagePaths;
// Manual-reset, created signalled; the modal message box waits on it, the loop sets it.
inline HANDLE& messageBoxEvent = toolkitState.messageBoxEvent;

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

// The steps of the one-time rescaling of each image. After each one, whatever happens next, the
// next start goes on from there without scaling the image twice.
enum class RescaleStep {
    scaledCopyWritten, // the scaled copy of the image lies beside it
    progressRecorded,  // the progress file lists the image
    imageReplaced,     // the image file holds the scaled copy
    imageFinished,     // the scaled copy is gone; the next image follows
};
// Where each step ends: loadResources goes on while it returns true. The program's own definition
// always does. It is a weak definition, so that a build may link one that stops loadResources
// there, as a power cut would, and look at what the next start makes of it.
bool rescaleStepReached(int image, RescaleStep step);
