#include "Application.h"

#include "DisplayFrame.h"
#include "MessageLoop.h"
#include "ResourceManager.h"

Application* theApplication = nullptr;

Application::Application(HINSTANCE instance, const wchar_t* title) {
    loadResources();
    theFrame = new DisplayFrame(instance, title);
    theApplication = this;
    hInstance = instance;
    PostMessageW(nullptr, WM_USER, buildScreenRequest, 0);
}

Application::~Application() {
    if (theFrame != nullptr) {
        delete theFrame;
        theFrame = nullptr;
    }
    if (theApplication == this) {
        theApplication = nullptr;
    }
}
