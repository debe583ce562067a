// The input panel's keyboard: drawn as a layer above the screen in the panel's rectangle while
// the panel is on; its taps type into the focus window as the physical keyboard does.
#pragma once

#include "platform/Device.h"
#include "shell/KeyboardLayout.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace platform::shell {

// The panel's height at a resolution: 80 pixels at 96 dpi, growing with the dpi.
int panelHeight(int dpi);
// The panel's rectangle on a screen: full width, at the bottom.
RECT panelRect(int screenWidth, int screenHeight, int dpi);

class OnScreenKeyboard final : public Layer {
public:
    static constexpr int kZOrder = 200;

    void setShown(bool shown);
    // Takes a stylus event while shown: a press inside the panel and the rest of that touch.
    bool onPointer(PointerAction action, int x, int y);

    int zOrder() const override { return kZOrder; }
    bool visible() const override;
    RECT bounds() const override;
    void paint(std::uint16_t* frame, int pitch, const RECT& clip) override;

    // For tests: the keys as laid out on the current screen, and the shift state.
    std::vector<Key> keys() const;
    bool shifted() const;

private:
    // Lays the keys out again when the screen turned (with the lock held).
    void followScreen();
    void render();
    void type(const Key& key, wchar_t character);

    mutable std::mutex mutex_;
    bool shown_ = false;
    RECT panel_{};
    int dpi_ = 96;
    std::vector<Key> keys_;
    bool shift_ = false;
    bool tracking_ = false;
    int pressed_ = -1;
    std::vector<std::uint16_t> image_; // the panel as drawn, panel-sized
    bool imageValid_ = false;
};

} // namespace platform::shell
