// The application side of the toolkit: the object that owns the display frame and answers the
// toolkit's requests (build the screen, a widget was tapped).
#pragma once

#include "Element.h"

#include <windows.h>

class Application : public EventHandler {
public:
    // Loads the toolkit's resources, opens the display frame titled `title` and asks the message
    // loop to build the screen. The screen is built by the loop, never here, so that a derived
    // application is complete before its buildScreen runs.
    Application(HINSTANCE instance, const wchar_t* title);
    // Destroys the display frame and with it every widget of its screens.
    virtual ~Application();
    // The message loop ends: the main window was asked to close (Quit, the window's close button,
    // the end of the session). Runs before the teardown, on the user-interface thread.
    virtual void onClose() {}
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    HINSTANCE hInstance = nullptr;
};

// The process's application; the message loop reaches buildScreen and onEvent through it.
extern Application* theApplication;
