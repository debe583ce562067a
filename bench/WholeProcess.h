// A program run as a whole process, from its start to its end, the way a user or a script
// starts it.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

struct Run {
    double seconds = 0;
    long peakKilobytes = 0;
    bool ended = false; // exit status 0
};

// Starts `program` with `arguments` and the extra environment, waits for its end.
inline Run runProcess(const std::string& program, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        for (const std::string& setting : environment) {
            putenv(const_cast<char*>(setting.c_str()));
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    Run run;
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.peakKilobytes = usage.ru_maxrss;
        run.ended = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return run;
}

} // namespace bench
