// The process that the kill tests start, kill and start again. Each mode is one start of the
// program's own code on the device that the environment describes (DAWNBELL_DEVICE_DIR,
// DAWNBELL_SCREEN, DAWNBELL_DPI; always headless):
//
//   kill_child save-settings START ROUND   saves the settings of ROUND, ROUND+1, ... until
//                                          killed; after each save, its round number (8 bytes)
//                                          on standard output
//   kill_child save-settings-limited START ROUND BYTES
//                                          saves the settings of ROUND once with files limited
//                                          to BYTES; prints "saved" or "refused"
//   kill_child save-settings ...           also changes the recent computers each round
//   kill_child read-settings               prints each of the four values as the store reads
//                                          them, then the recent computers' hosts, newest first
//   kill_child first-start PROGRAM_DIR     prepares the resources of the program in PROGRAM_DIR
//                                          (on a small screen: the one-time rescaling); writes
//                                          'S' before and 'D' after
#include "ResourceManager.h"
#include "SettingsRounds.h"
#include "kernel/AtomicFile.h"
#include "kernel/Paths.h"
#include "platform/Device.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace killtest;

constexpr int usageStatus = 2;
constexpr int noKeyStatus = 3;

void startDevice(const char* programDir = nullptr) {
    platform::DeviceConfig config = platform::DeviceConfig::fromEnvironment();
    config.backend = "headless";
    if (programDir != nullptr) {
        config.programDir = programDir;
    }
    platform::Device::start(config);
}

void say(std::string_view text) {
    platform::kernel::writeAll(STDOUT_FILENO, text.data(), text.size());
}

// The question flag on: the store itself only ever clears it.
bool setShowInfo() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SettingsKey::path, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const BYTE one = 1;
    const bool set =
        RegSetValueExW(key, L"showInfo", 0, REG_BINARY, &one, sizeof one) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

bool save(SettingsKey& key, const SavedSettings& settings) {
    const bool fields = key.writeFields(settings.fields);
    const bool flag = settings.showInfo ? setShowInfo() : key.clearShowInfo();
    return fields && flag;
}

[[noreturn]] void saveUntilKilled(std::uint64_t startValue, std::uint64_t round) {
    auto key = SettingsKey::open();
    if (!key) {
        std::exit(noKeyStatus);
    }
    RecentComputers list;
    list.load();
    for (;; ++round) {
        save(*key, settingsOfRound(startValue, round));
        const ListStep step = listStepOfRound(startValue, round);
        step.forget ? list.forget(step.row) : list.remember(poolComputer(step.computer));
        platform::kernel::writeAll(STDOUT_FILENO, &round, sizeof round);
    }
}

int saveWithFilesLimited(std::uint64_t startValue, std::uint64_t round, rlim_t bytes) {
    auto key = SettingsKey::open();
    if (!key) {
        return noKeyStatus;
    }
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead
    const rlimit limit{bytes, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    say(save(*key, settingsOfRound(startValue, round)) ? "saved\n" : "refused\n");
    return 0;
}

std::string textBytes(const std::wstring& text) {
    return hex(text.data(), text.size() * sizeof(WCHAR));
}

// What a fresh start reads, one line each: "<name> <UTF-16 bytes in hex>" for the three texts,
// "showInfo 0|1", then "recent <hosts of the recent computers, newest first>".
int readSettings() {
    auto store = SettingsKey::open();
    if (!store) {
        return noKeyStatus;
    }
    const StoredFields fields = store->readFields();
    RecentComputers list;
    list.load();
    std::string hosts;
    for (const StoredFields& row : list.rows()) {
        hosts += (hosts.empty() ? "" : ",") + platform::paths::narrow(row.host);
    }
    say("lastIP " + textBytes(fields.host) + "\nlastMAC " + textBytes(fields.mac) + "\nlastPort " +
        textBytes(fields.port) + "\nshowInfo " + (store->showInfo() ? "1" : "0") + "\nrecent " +
        (hosts.empty() ? "-" : hosts) + "\n");
    return 0;
}

int firstStart(const char* programDir) {
    startDevice(programDir);
    say("S");
    loadResources();
    say("D");
    platform::Device::stop();
    return 0;
}

std::uint64_t number(const char* text) {
    return std::strtoull(text, nullptr, 10);
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "first-start" && argc == 3) {
        return firstStart(argv[2]);
    }
    startDevice();
    if (mode == "save-settings" && argc == 4) {
        saveUntilKilled(number(argv[2]), number(argv[3]));
    }
    if (mode == "save-settings-limited" && argc == 5) {
        return saveWithFilesLimited(number(argv[2]), number(argv[3]), number(argv[4]));
    }
    if (mode == "read-settings" && argc == 2) {
        return readSettings();
    }
    std::fprintf(stderr, "kill_child: unknown mode or arguments\n");
    return usageStatus;
}
