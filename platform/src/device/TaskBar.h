// The phone's task bar: a dark strip across the top of the screen with the start flag at the
// left and, at the right, the data connection's signal bars (white while the Internet
// connection is up, dim while it is not) and the clock, drawn above the program's screen while
// shown.
#pragma once

#include "platform/Device.h"

#include <atomic>

namespace platform::device {

// What the strip shows besides its fixed parts.
struct TaskBarStatus {
    int minuteOfDay = 0; // local time, 0 to 1439
    bool connected = false;
    bool operator==(const TaskBarStatus&) const = default;
};

class TaskBar final : public Layer {
public:
    explicit TaskBar(Device& device) : device_(device) {}

    static constexpr int kZOrder = 100;

    int zOrder() const override { return kZOrder; }
    bool visible() const override { return device_.taskBarDrawn(); }
    RECT bounds() const override { return RECT{0, 0, device_.width(), device_.taskBarHeight()}; }
    void paint(std::uint16_t* frame, int pitch, const RECT& clip) override;

    // True when the status differs from what the strip showed so far.
    bool setStatus(TaskBarStatus status);
    TaskBarStatus status() const;

private:
    Device& device_;
    std::atomic<int> minuteOfDay_{-1};
    std::atomic<bool> connected_{false};
};

} // namespace platform::device
