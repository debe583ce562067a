// The wake tool: its main screen, its two button actions and the data-connection worker.
#pragma once

#include "Application.h"

class MagicPacketApp : public Application {
public:
    explicit MagicPacketApp(HINSTANCE instance);
    // Ends the data-connection worker if it still runs; then the base tears the frame down.
    ~MagicPacketApp() override;

    void onEvent(Element* element, int code) override;
    void buildScreen() override;
    // However the program is asked to close, the typed texts are kept as Quit keeps them.
    void onClose() override;

    HANDLE workerThread = nullptr; // the data-connection worker, once started
    BYTE workerAskConsent = 0;     // its parameter: ask the consent question
    BYTE saveOnQuit = 0;           // Quit saves the fields only while set

private:
    void startConnectionWorker(bool askConsent);
    // "Send magic packet !": the typed texts to the wake (AwakeCheck.h), which tells its
    // outcome in the status line.
    void sendPacket();
    // "Quit": the program ends, keeping the typed texts (onClose).
    void quitAndSave();
};
