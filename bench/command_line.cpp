// `dawnbell wake` as a script starts it, a whole process from its start to its end, against
// the least a program does to send one datagram (bench/reference/udp_send.c, goal: ratio <= 2)
// and against Perl's wakeonlan for the same target (goal: ratio <= 0.5), in the same run,
// interleaved. Every packet goes to a socket of the bench's own on 127.0.0.1; the real wake
// also updates the recent list in a device folder of the bench's own.
#include "SameRunRatio.h"
#include "WholeProcess.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const char* mac = "00:11:22:33:44:55";

// Takes the packets in, so that each send finds a listener, as a card would.
class Sink {
public:
    Sink() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = std::to_string(ntohs(address.sin_port));
        }
    }
    ~Sink() { close(fd_); }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    const std::string& port() const { return port_; }
    void drain() {
        char packet[128];
        while (recv(fd_, packet, sizeof packet, 0) > 0) {
        }
    }

private:
    int fd_;
    std::string port_;
};

struct Command {
    std::string program;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
};

void compare(benchmark::State& state, const Command& ours, const Command& theirs, Sink& sink) {
    if (access(theirs.program.c_str(), X_OK) != 0) {
        state.SkipWithError((theirs.program + " is missing").c_str());
        return;
    }
    bool ended = true;
    const auto run = [&ended](const Command& command) {
        ended = bench::runProcess(command.program, command.arguments, command.environment).ended &&
                ended;
    };
    run(ours); // the first start makes the device folder
    bench::compareInOneRun(
        state, [&] { sink.drain(); }, [&] { run(ours); }, [&] { run(theirs); });
    if (!ended) {
        state.SkipWithError("a process did not end with status 0");
    }
}

std::filesystem::path deviceFolder() {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("dawnbell-bench-command-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

Command dawnbell(const Sink& sink, bool dryRun) {
    std::vector<std::string> arguments{"wake", "-q", "-i", "127.0.0.1", "-p", sink.port(), mac};
    if (dryRun) {
        arguments.push_back("--dry-run");
    }
    return {std::string(DAWNBELL_BIN_DIR) + "/dawnbell",
            arguments,
            {"DAWNBELL_DEVICE_DIR=" + deviceFolder().string()}};
}

Command oneDatagramInC(const Sink& sink) {
    return {DAWNBELL_REFERENCE_SENDER, {sink.port()}, {}};
}

Command perlWakeonlan(const Sink& sink) {
    return {"/usr/bin/wakeonlan", {"-i", "127.0.0.1", "-p", sink.port(), mac}, {}};
}

void BM_DryRunAgainstOneDatagramInC(benchmark::State& state) {
    Sink sink;
    compare(state, dawnbell(sink, true), oneDatagramInC(sink), sink);
}

void BM_WakeToLoopbackAgainstOneDatagramInC(benchmark::State& state) {
    Sink sink;
    compare(state, dawnbell(sink, false), oneDatagramInC(sink), sink);
}

void BM_DryRunAgainstPerlWakeonlan(benchmark::State& state) {
    Sink sink;
    compare(state, dawnbell(sink, true), perlWakeonlan(sink), sink);
}

void BM_WakeToLoopbackAgainstPerlWakeonlan(benchmark::State& state) {
    Sink sink;
    compare(state, dawnbell(sink, false), perlWakeonlan(sink), sink);
    std::filesystem::remove_all(deviceFolder());
}

BENCHMARK(BM_DryRunAgainstOneDatagramInC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WakeToLoopbackAgainstOneDatagramInC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DryRunAgainstPerlWakeonlan)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WakeToLoopbackAgainstPerlWakeonlan)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
