#include "device/DeviceServices.h"

#include <mutex>
#include <vector>

namespace platform {
namespace {

struct Resets {
    std::mutex mutex;
    std::vector<void (*)()> functions;
};

Resets& resets() {
    static auto* all = new Resets; // registered from static initialisers, used until exit
    return *all;
}

} // namespace

void registerDeviceReset(void (*reset)()) {
    std::lock_guard lock(resets().mutex);
    resets().functions.push_back(reset);
}

void runDeviceResets() {
    std::vector<void (*)()> functions;
    {
        std::lock_guard lock(resets().mutex);
        functions = resets().functions;
    }
    for (auto* reset : functions) {
        reset();
    }
}

} // namespace platform
