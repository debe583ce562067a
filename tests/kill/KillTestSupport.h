// What the kill tests share: the child process they start and kill (kill_child, see
// KillChild.cpp), the random start value that makes a run repeatable, and the counts.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace killtest {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The random start value of a run: DAWNBELL_KILL_START replays an earlier run (the same values
// and the same kill delays), otherwise a fresh one. Printed so that any run can be replayed.
inline std::uint64_t randomStartValue() {
    std::uint64_t value = 0;
    if (const char* given = std::getenv("DAWNBELL_KILL_START"); given != nullptr && *given) {
        value = std::strtoull(given, nullptr, 10);
    } else {
        std::random_device device;
        value = (static_cast<std::uint64_t>(device()) << 32) | device();
    }
    std::printf("Random start value %llu (replay with DAWNBELL_KILL_START=%llu)\n",
                static_cast<unsigned long long>(value), static_cast<unsigned long long>(value));
    return value;
}

// The environment's value of `variable`, else `fallback`.
inline const char* setting(const char* variable, const char* fallback) {
    const char* given = std::getenv(variable);
    return given != nullptr && *given ? given : fallback;
}

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "dawnbell-kill-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    fs::path path;
};

inline std::string fileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The temporaries that replacements in `folder` (and below) have left: ".<name>.writing-...".
inline int temporariesIn(const fs::path& folder) {
    int count = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        count += name.starts_with(".") && name.find(".writing-") != std::string::npos ? 1 : 0;
    }
    return count;
}

// kill_child in a process of its own, its standard output in a pipe. The environment is the
// test's, with DAWNBELL_* settings added.
class Child {
public:
    Child(const std::vector<std::string>& arguments, const std::vector<std::string>& settings) {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipe: " << std::strerror(errno);
            return;
        }
        std::vector<std::string> environment(settings);
        for (char** variable = environ; *variable != nullptr; ++variable) {
            environment.emplace_back(*variable);
        }
        std::vector<std::string> argv{setting("DAWNBELL_KILL_CHILD", DAWNBELL_KILL_CHILD_PATH)};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        if (const int failed = posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr,
                                           pointers(argv).data(), pointers(environment).data())) {
            pid_ = -1;
            ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(failed);
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        out_ = ends[0];
    }
    ~Child() {
        kill();
        wait();
        ::close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads the output until `done` holds for all that has come (true) or the output ends.
    bool readUntil(const std::function<bool(const std::string&)>& done) {
        char c = 0;
        while (!done(output_)) {
            if (::read(out_, &c, 1) != 1) {
                return false;
            }
            output_ += c;
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
    void kill() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
        }
    }
    // Whether the child exited with status 0, once it has ended (or was killed: false).
    bool wait() {
        if (pid_ > 0 && !ended_) {
            while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
            }
            ended_ = true;
        }
        return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
    }

private:
    static std::vector<char*> pointers(std::vector<std::string>& texts) {
        std::vector<char*> result;
        for (std::string& text : texts) {
            result.push_back(text.data());
        }
        result.push_back(nullptr);
        return result;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    bool ended_ = false;
    std::string output_;
};

// Waits a random time up to `longest`, as the kills come at random moments.
template <typename Random>
void waitRandomly(Random& random, Clock::duration longest) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(longest).count();
    std::uniform_int_distribution<long long> delay(0, micros);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
}

} // namespace killtest
