// The one-time rescaling cut off where a test says, as a power cut would. Linking this library
// replaces the program's rescaleStepReached (ResourceManager.h), which always goes on, by one
// that asks the function given here while a RescaleStops lives.
#pragma once

#include "ResourceManager.h"

namespace toolkit_test {

class RescaleStops {
public:
    using GoOn = bool (*)(int image, RescaleStep step); // false: loadResources stops there
    explicit RescaleStops(GoOn goOn);
    ~RescaleStops();
    RescaleStops(const RescaleStops&) = delete;
    RescaleStops& operator=(const RescaleStops&) = delete;
};

} // namespace toolkit_test
