// What the kill tests share: the child process they start and kill (kill_child, see
// KillChild.cpp), the random start value that makes a run repeatable, and the counts.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// The program folder of the build, with the resource set beside the program.
inline fs::path programFolder() {
    const char* given = std::getenv("DAWNBELL_TEST_BIN");
    return given != nullptr && *given ? given : DAWNBELL_PROGRAM_DIR;
}

// How many times to kill: the variable's value, else `fallback`.
inline int killCount(const char* variable, int fallback) {
    const char* given = std::getenv(variable);
    return given != nullptr && *given ? std::atoi(given) : fallback;
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
        int pipeEnds[2] = {-1, -1};
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipe: " << std::strerror(errno);
            return;
        }
        std::vector<std::string> environment(settings);
        for (char** variable = environ; *variable != nullptr; ++variable) {
            environment.emplace_back(*variable);
        }
        const char* program = std::getenv("DAWNBELL_KILL_CHILD");
        std::vector<std::string> argv{program != nullptr ? program : DAWNBELL_KILL_CHILD_PATH};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        const int failed = posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr,
                                       pointers(argv).data(), pointers(environment).data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);
        out_ = pipeEnds[0];
        if (failed != 0) {
            pid_ = -1;
            ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(failed);
        }
    }
    ~Child() {
        kill();
        wait();
        if (out_ >= 0) {
            ::close(out_);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads the output until `mark` has come (true) or the output ends (false).
    bool waitFor(char mark) {
        char c = 0;
        while (read(&c, 1)) {
            output_ += c;
            if (c == mark) {
                return true;
            }
        }
        return false;
    }
    // Reads until `count` more bytes have come or the output ends; returns what has come.
    std::string readBytes(size_t count) {
        std::string bytes(count, '\0');
        size_t got = 0;
        for (ssize_t n; got < count && (n = read(bytes.data() + got, count - got)) > 0;) {
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
        output_ += bytes;
        return bytes;
    }
    // Everything the child wrote, once it has ended.
    const std::string& output() {
        char buffer[4096];
        for (ssize_t n; (n = read(buffer, sizeof buffer)) > 0;) {
            output_.append(buffer, static_cast<size_t>(n));
        }
        return output_;
    }
    void kill() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
        }
    }
    // The wait status (see waitpid).
    int wait() {
        if (pid_ > 0 && !ended_) {
            while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
            }
            ended_ = true;
        }
        return status_;
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
    ssize_t read(char* buffer, size_t size) {
        ssize_t n;
        while ((n = ::read(out_, buffer, size)) < 0 && errno == EINTR) {
        }
        return n;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    bool ended_ = false;
    std::string output_;
};

inline bool exitedWell(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Waits a random time up to `longest`, as the kills come at random moments.
template <typename Random>
void waitRandomly(Random& random, Clock::duration longest) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(longest).count();
    std::uniform_int_distribution<long long> delay(0, micros);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
}

} // namespace killtest
