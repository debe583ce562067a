// The phone's task bar: a dark strip across the top of the screen with the start flag at the
// left and the signal strength at the right, drawn above the program's screen while shown.
#pragma once

#include "platform/Device.h"

namespace platform::device {

class TaskBar final : public Layer {
public:
    explicit TaskBar(Device& device) : device_(device) {}

    static constexpr int kZOrder = 100;

    int zOrder() const override { return kZOrder; }
    bool visible() const override { return device_.taskBarVisible(); }
    RECT bounds() const override { return RECT{0, 0, device_.width(), device_.taskBarHeight()}; }
    void paint(std::uint16_t* frame, int pitch, const RECT& clip) override;

private:
    Device& device_;
};

} // namespace platform::device
