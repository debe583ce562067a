// What the kill tests share: the child process they start and kill (kill_child, see
// KillChild.cpp), the random start value that makes a run repeatable, and the counts.
#pragma once

#include "support/Files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace killtest {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The environment's value of `variable`, else `fallback`.
inline const char* setting(const char* variable, const char* fallback) {
    const char* given = std::getenv(variable);
    return given != nullptr && *given ? given : fallback;
}

// The random start value of a run: DAWNBELL_KILL_START replays an earlier run (the same values
// and the same kill delays), otherwise a fresh one. Printed so that any run can be replayed.
inline std::uint64_t randomStartValue() {
    std::random_device device;
    const auto fresh = std::to_string((static_cast<std::uint64_t>(device()) << 32) | device());
    const unsigned long long value = std::stoull(setting("DAWNBELL_KILL_START", fresh.c_str()));
    std::printf("Random start value %llu (replay with DAWNBELL_KILL_START=%llu)\n", value, value);
    return value;
}

using testsupport::fileBytes, testsupport::TemporaryFolder;

// The temporaries that replacements in `folder` (and below) have left: ".<name>.writing-...".
inline int temporariesIn(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        count += name.starts_with(".") && name.find(".writing-") != std::string::npos;
    }
    return count;
}

// kill_child in a process of its own, its standard output read here. The environment is the
// test's, with DAWNBELL_* settings added. The shell says the process id, then becomes the child.
class Child {
public:
    Child(const std::vector<std::string>& arguments, const std::vector<std::string>& settings) {
        std::string command = "echo $$; exec env";
        for (const std::string& word : settings)
            command += " '" + word + "'";
        command +=
            std::string(" '") + setting("DAWNBELL_KILL_CHILD", DAWNBELL_KILL_CHILD_PATH) + "'";
        for (const std::string& word : arguments)
            command += " '" + word + "'";
        out_ = ::popen(command.c_str(), "r");
        EXPECT_TRUE(out_ != nullptr && std::fscanf(out_, "%d", &pid_) == 1 &&
                    std::fgetc(out_) == '\n');
    }
    ~Child() {
        kill();
        wait();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads the output until `done` holds for all that has come (true) or the output ends.
    bool readUntil(const std::function<bool(const std::string&)>& done) {
        for (int c = 0; !done(output_); output_ += static_cast<char>(c)) {
            if (ended_ || (c = std::fgetc(out_)) == EOF)
                return false;
        }
        return true;
    }
    bool waitFor(char mark) {
        return readUntil([mark](const std::string& out) { return out.find(mark) != out.npos; });
    }
    // Everything the child wrote, once it has ended.
    const std::string& output() {
        readUntil([](const std::string&) { return false; });
        return output_;
    }
    void kill() const {
        if (pid_ > 0 && !ended_)
            ::kill(pid_, SIGKILL);
    }
    // Whether the child exited with status 0, once it has ended (or was killed: false).
    bool wait() {
        if (!ended_ && out_ != nullptr) {
            output(); // all of it, before the stream goes
            status_ = ::pclose(out_);
        }
        ended_ = true;
        return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
    }

private:
    std::FILE* out_ = nullptr;
    pid_t pid_ = -1;
    int status_ = -1;
    bool ended_ = false;
    std::string output_;
};

// Waits a random time up to `longest`, as the kills come at random moments.
template <typename Random>
void waitRandomly(Random& random, Clock::duration longest) {
    std::this_thread::sleep_for(
        std::uniform_int_distribution<Clock::rep>(0, longest.count())(random) * Clock::duration(1));
}

} // namespace killtest
