#include "support/RescaleStops.h"

namespace {

toolkit_test::RescaleStops::GoOn asked = nullptr;

} // namespace

bool rescaleStepReached(int image, RescaleStep step) {
    return asked == nullptr || asked(image, step);
}

namespace toolkit_test {

RescaleStops::RescaleStops(GoOn goOn) {
    asked = goOn;
}

RescaleStops::~RescaleStops() {
    asked = nullptr;
}

} // namespace toolkit_test
