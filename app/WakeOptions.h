// What `dawnbell wake` is asked: its options and targets, in any order, as getopt_long reads
// them, and the targets of the files -f names.
#pragma once

#include "CommandLine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace command_line {

inline constexpr std::uint32_t mostRepeats = 10;
inline constexpr unsigned repeatGapMs = 100;

struct WakeOptions {
    std::optional<std::string> ip;
    std::optional<std::string> port;
    std::optional<std::string> password; // SecureOn; empty: none, over a recent computer's own
    std::uint32_t repeat = 1;            // packets per target, repeatGapMs apart
    std::vector<std::string> files;
    std::uint32_t delayMs = 0;
    bool dryRun = false;
    std::optional<std::uint32_t> checkSeconds;
    bool quiet = false;
    bool last = false;
    std::vector<std::string> targets;
};

// A target as it was given: how messages name it, and its text.
struct GivenTarget {
    std::string label;
    std::string text;
};

// The options and targets; nothing, told, when any option is refused. `help` is set for --help.
std::optional<WakeOptions> parseWakeOptions(const std::vector<std::string>& args,
                                            const Console& console, bool& help);

// Adds the targets of a file, one a line, `#` to the end of a line a comment, `-` standard
// input; false, told, when the file can't be read.
bool readTargetFile(const std::string& name, const Console& console,
                    std::vector<GivenTarget>& targets);

} // namespace command_line
