// The toolkit's process-wide state in one object: what the display frame sets up and every
// widget reads, the native editor, the modal box's answer and event, the scroll bar, the registry
// of live elements, and what the resource manager found at start. Code reaches each piece by its
// documented name, a reference to its member declared in the header that tells what it means
// (DisplayFrame.h, Element.h, MessageBoxSense.h, MyEditControl.h, ResourceManager.h). The shared
// images and fonts are the other object (SharedResources.h); motionLock (MotionTracker.h) guards
// what the threads share.
#pragma once

#include "ScrollBar.h"
#include "ToolkitImage.h"

#include <ddraw.h>
#include <windows.h>

#include <array>
#include <string>
#include <vector>

class DisplayFrame;
class Element;

struct ToolkitState {
    // The display, set up by the frame.
    DisplayFrame* theFrame = nullptr;
    HWND mainWindow = nullptr;
    HINSTANCE appInstance = nullptr;
    IDirectDrawSurface* primarySurface = nullptr;
    IDirectDrawSurface* backBuffer = nullptr; // owned
    RECT viewRect{};
    RECT clientRect{};
    RECT dirtyRect{};
    RECT scrolledArea{};
    BYTE drawingReady = 0;
    BYTE portrait = 0;
    BYTE frameHasFocus = 1;
    BYTE fullRedraw = 1;
    ScrollBar scrollBar;

    std::vector<Element*> allElements;

    // The native editor of the text fields, and the view as it was when it opened.
    HWND editWindow = nullptr;
    RECT editorViewRect{};

    // The modal message box.
    int boxResult = 0;
    HANDLE messageBoxEvent = nullptr;

    // What loadResources found.
    std::wstring resourceDir;
    double scaleFactor = 1.0;
    std::array<std::wstring, toolkitImageCount> imagePaths;
};

extern ToolkitState toolkitState;

// Puts the toolkit back as a starting program finds it: the back buffer, the scroll bar's overlay,
// the shared images and fonts released, the native editor destroyed, the state and the tracker
// new. For a process that starts one device after another (tests, benchmarks): everything here
// belongs to the display of the device it was made on. Called with no widget and no frame left.
void resetToolkitState();
