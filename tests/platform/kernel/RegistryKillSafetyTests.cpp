// Killing the process at any moment while it rewrites the registry leaves a file that loads
// with either the old or the new contents.
#include "KernelTestSupport.h"

#include "registry/RegistryText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace kerneltest;

namespace {

HKEY openSettings() {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Dawnbell", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key, nullptr);
    return key;
}

// Each round writes a text of `round % 300` characters, then the round number: a file that
// loads must hold a text whose length fits a round at or after the stored number.
void writeRound(HKEY key, DWORD round) {
    std::wstring text(round % 300, static_cast<wchar_t>(L'a' + round % 26));
    RegSetValueExW(key, L"lastIP", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                   static_cast<DWORD>(text.size() * sizeof(WCHAR)));
    RegSetValueExW(key, L"round", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&round),
                   sizeof round);
}

[[noreturn]] void rewriteForever() {
    HKEY key = openSettings();
    for (DWORD round = 1;; ++round) {
        writeRound(key, round);
    }
}

} // namespace

TEST(RegistryKillSafetyTest, FileLoadsAfterTheWriterIsKilledAtAnyMoment) {
    TemporaryDevice device;
    fs::path file = device.device / "registry.reg";
    HKEY key = openSettings();
    writeRound(key, 0);
    RegCloseKey(key);

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayMicroseconds(0, 60'000);
    for (int round = 0; round < 30; ++round) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            rewriteForever();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        auto parsed = platform::registry::parse(readText(file));
        ASSERT_TRUE(parsed.error.empty()) << "round " << round << ": " << parsed.error;
        platform::registry::reload();
        key = openSettings();
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExW(key, L"lastIP", nullptr, nullptr, nullptr, &size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    for (const auto& entry : fs::directory_iterator(device.device)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("registry.reg.damaged"));
    }
}
