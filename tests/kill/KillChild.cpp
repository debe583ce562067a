// The process that the kill tests start, kill and start again. Each mode is one start of the
// program's own code on the device that the environment describes (DAWNBELL_DEVICE_DIR,
// DAWNBELL_SCREEN, DAWNBELL_DPI; always headless):
//
//   kill_child save-settings START ROUND   saves the settings of ROUND, ROUND+1, ... until
//                                          killed; after each save, its round number (8 bytes)
//                                          on standard output
//   kill_child save-settings ...           also changes the recent computers each round
//   kill_child read-settings               prints each of the four values as the store reads
//                                          them, then the recent computers' hosts, newest first
//   kill_child first-start PROGRAM_DIR     prepares the resources of the program in PROGRAM_DIR
//                                          (on a small screen: the one-time rescaling); writes
//                                          'S' before and 'D' after
#include "ResourceManager.h"
#include "support/SettingsRounds.h"
#include "kernel/AtomicFile.h"
#include "kernel/Paths.h"
#include "platform/Device.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

using namespace killtest;

constexpr int noKeyStatus = 3;

void say(std::string_view text) {
    platform::kernel::writeAll(STDOUT_FILENO, text.data(), text.size());
}

bool save(SettingsKey& key, const SavedSettings& settings) {
    // The question flag on goes through the registry: the store itself only ever clears it.
    const BYTE one = 1;
    HKEY raw = nullptr;
    const bool flag = settings.showInfo
                          ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, SettingsKey::path, 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &raw, nullptr) == 0 &&
                                RegSetValueExW(raw, L"showInfo", 0, REG_BINARY, &one, 1) == 0
                          : key.clearShowInfo();
    RegCloseKey(raw);
    return key.writeFields(settings.fields) && flag;
}

[[noreturn]] void saveUntilKilled(SettingsKey& key, std::uint64_t startValue, std::uint64_t round) {
    RecentComputers list;
    list.load();
    for (;; ++round) {
        save(key, settingsOfRound(startValue, round));
        const ListStep step = listStepOfRound(startValue, round);
        step.forget ? list.forget(step.row) : list.remember(poolComputer(step.computer));
        platform::kernel::writeAll(STDOUT_FILENO, &round, sizeof round);
    }
}

// What a fresh start reads, one line each: "<name> <character codes>" for the three texts,
// "showInfo 0|1", then "recent <hosts of the recent computers, newest first>".
void readSettings(SettingsKey& key) {
    const StoredFields fields = key.readFields();
    RecentComputers list;
    list.load();
    std::string hosts;
    for (const StoredFields& row : list.rows())
        hosts += (hosts.empty() ? "" : ",") + platform::paths::narrow(row.host);
    say("lastIP " + codes(fields.host) + "\nlastMAC " + codes(fields.mac) + "\nlastPort " +
        codes(fields.port) + "\nshowInfo " + (key.showInfo() ? "1" : "0") + "\nrecent " +
        (hosts.empty() ? "-" : hosts) + "\n");
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    const auto number = [&](int i) { return std::strtoull(argv[i], nullptr, 10); };
    platform::DeviceConfig config = platform::DeviceConfig::fromEnvironment();
    config.backend = "headless";
    if (mode == "first-start" && argc == 3) {
        config.programDir = argv[2];
        platform::Device::start(config);
        say("S");
        loadResources();
        say("D");
        platform::Device::stop();
        return 0;
    }
    platform::Device::start(config);
    auto key = SettingsKey::open();
    if (!key)
        return noKeyStatus;
    if (mode == "save-settings" && argc == 4)
        saveUntilKilled(*key, number(2), number(3));
    if (mode == "read-settings" && argc == 2) {
        readSettings(*key);
        return 0;
    }
    std::fprintf(stderr, "kill_child: unknown mode or arguments\n");
    return 2;
}
