// The soak run of the main screen: the whole program on the headless VGA phone, run by its real
// message loop, taps "Send magic packet !" 10,000 times (each packet received on loopback and
// checked) and then drags and flings its screen 1,000 times, up and down in turn. After every
// tenth of each part it records the open file descriptors, the live elements (allElements) and
// the resident memory, prints them, and fails (exit status 1) unless the last tenth shows what
// the first did: the same descriptors and elements, and resident memory within a small margin.
// Not a timed test: `make soak` runs it.
#include "support/HeadlessProgram.h"
#include "support/LoopbackReceiver.h"

#include <platform/Clock.h>
#include <platform/Device.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::PointerAction;
using program_harness::fail;
using program_harness::HeadlessProgram;
using program_harness::screenSection;
using toolkit_test::LoopScript;

constexpr int sends = 10000;
constexpr int dragCycles = 1000;
constexpr int samplesPerPart = 10;
// Resident memory may move by a few pages as the allocator keeps or returns them; a leak of a
// hundred bytes per send would grow it by almost a megabyte over the last nine tenths.
constexpr long residentMarginKb = 256;
constexpr DWORD tapHoldMs = 50;
constexpr DWORD pastDoubleTapMs = 400;
constexpr DWORD moveIntervalMs = 10;
constexpr DWORD timerTickMs = 29; // with the script's own millisecond: the motion timer's period
constexpr int dragMoves = 6;
constexpr int dragStepPx = 40;
constexpr int flingTicksAtMost = 2000; // a minute of the clock

struct Sample {
    int done = 0; // sends or cycles so far
    long descriptors = 0;
    std::size_t elements = 0;
    long residentKb = 0;
};

long openDescriptors() {
    long count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count - 1; // the iterator's own
}

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

Sample sampleAfter(int done) {
    return Sample{done, openDescriptors(), allElements.size(), residentKb()};
}

POINT centreOfElement(int id) {
    const RECT r = findElementById(id)->screenRect;
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void touch(PointerAction action, POINT at) {
    platform::Device::instance().pointer(action, at.x, at.y);
}

// Runs the steps in turn inside the program's loop, `times` over, each once the loop has nothing
// else to do; a step returns false while it waits. The same steps serve every round, so that the
// run itself takes no more memory as it goes on.
void repeat(const std::vector<std::function<bool()>>& steps, int times, const char* what) {
    LoopScript script;
    std::size_t next = 0;
    int rounds = 0;
    script.waitFor([&] {
        if (steps[next]() && ++next == steps.size()) {
            next = 0;
            ++rounds;
        }
        return rounds == times;
    });
    if (HeadlessProgram::run(script)) {
        fail(std::string("the program ended while ") + what);
    }
}

std::function<bool()> step(std::function<void()> action) {
    return [action = std::move(action)] { return action(), true; };
}

// The Send button tapped as a finger does it (press, release after a while, then a pause that
// keeps the next tap from being taken for the second half of a double tap); each tap must bring
// exactly one whole packet.
const std::wstring& sentToThisMachine() {
    static const std::wstring text =
        underSentLine(statusPacketSent, alreadyAnswersText(L"127.0.0.1"));
    return text;
}

void sendMany(LoopbackReceiver& receiver, int count) {
    bool dashes = false;
    POINT at{};
    const std::vector<std::function<bool()>> steps{
        // Two spellings of one MAC in turn: the field's label is drawn again every time.
        step([&] {
            showStatus(L"");
            setFieldText(macFieldId,
                         (dashes = !dashes) ? L"0a-1b-2c-3d-4e-5f" : L"0A:1B:2C:3D:4E:5F");
        }),
        step([&] { touch(PointerAction::down, at = centreOfElement(sendButtonId)); }),
        step([&] {
            platform::clock::advance(tapHoldMs);
            touch(PointerAction::up, at);
        }),
        step([] { platform::clock::advance(pastDoubleTapMs); }),
        // The packet has left once the status line says so. This machine answers the probe
        // before it leaves, so no check follows: the probe's thread has ended and let go of what
        // it held.
        [] { return program_harness::statusText() == sentToThisMachine(); },
        step([&] {
            const auto packet = receiver.takeQueued();
            if (!packet || packet->size() != magicPacketSize || (*packet)[6] != 0x0A ||
                (*packet)[101] != 0x5F) {
                fail("a tap on Send brought no whole magic packet");
            }
            if (receiver.takeQueued()) {
                fail("a tap on Send brought two packets");
            }
        }),
    };
    repeat(steps, count, "sending");
}

// A drag of the screen by `dy` per move, released at once so that it flings, then left alone
// until the fling ends, which must leave the screen within its bounds.
void addDragAndFling(std::vector<std::function<bool()>>& steps, int dy) {
    const POINT start{GetSystemMetrics(SM_CXSCREEN) / 2, dy < 0 ? 600 : 150};
    steps.push_back(step([start] { touch(PointerAction::down, start); }));
    for (int move = 1; move <= dragMoves; ++move) {
        steps.push_back(step([start, dy, move] {
            platform::clock::advance(moveIntervalMs);
            touch(PointerAction::move, POINT{start.x, start.y + move * dy});
        }));
    }
    steps.push_back(step([start, dy] {
        touch(PointerAction::up, POINT{start.x, start.y + dragMoves * dy});
    }));
    steps.push_back([tries = 0]() mutable {
        platform::clock::advance(timerTickMs);
        MotionLockGuard lock;
        if (!sharedTracker()->flinging) {
            tries = 0;
            return true;
        }
        if (++tries == flingTicksAtMost) {
            fail("a fling that never ends");
        }
        return false;
    });
    steps.push_back(step([] {
        const Section* section = screenSection();
        const int content = section->bottom - section->top;
        const int lowest =
            std::min(content, static_cast<int>(viewRect.bottom - clientRect.top)) - content;
        if (section->scrollOffset > 0 || section->scrollOffset < lowest) {
            fail("a fling left the screen beyond an end");
        }
        platform::clock::advance(pastDoubleTapMs);
    }));
}

void dragMany(int cycles) {
    std::vector<std::function<bool()>> steps;
    addDragAndFling(steps, -dragStepPx);
    addDragAndFling(steps, dragStepPx);
    repeat(steps, cycles, "dragging");
}

void print(const char* part, const std::vector<Sample>& samples) {
    std::printf("%-18s %10s %12s %10s %14s\n", part, "done", "descriptors", "elements",
                "resident kB");
    for (const Sample& s : samples) {
        std::printf("%-18s %10d %12ld %10zu %14ld\n", "", s.done, s.descriptors, s.elements,
                    s.residentKb);
    }
}

// The last tenth against the first: whatever the first thousand set up (caches, fonts, glyphs)
// is in place by then; after it nothing may grow.
bool flat(const char* part, const std::vector<Sample>& samples) {
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    const long grown = last.residentKb - first.residentKb;
    const bool isFlat = last.descriptors == first.descriptors && last.elements == first.elements &&
                        grown <= residentMarginKb;
    std::printf("%s: first tenth %ld descriptors, %zu elements, %ld kB; last tenth %ld, %zu, "
                "%ld kB (%+ld kB): %s\n",
                part, first.descriptors, first.elements, first.residentKb, last.descriptors,
                last.elements, last.residentKb, grown, isFlat ? "flat" : "NOT FLAT");
    return isFlat;
}

} // namespace

int main() {
    LoopbackReceiver receiver;
    if (!receiver.isOpen()) {
        fail("no loopback receiver");
    }
    HeadlessProgram program(program_harness::resourceSet(DAWNBELL_BIN_DIR));
    setFieldText(hostFieldId, L"127.0.0.1");
    setFieldText(portFieldId, std::to_wstring(receiver.port()));

    std::vector<Sample> sendSamples;
    for (int tenth = 1; tenth <= samplesPerPart; ++tenth) {
        sendMany(receiver, sends / samplesPerPart);
        sendSamples.push_back(sampleAfter(tenth * sends / samplesPerPart));
    }
    std::vector<Sample> dragSamples;
    for (int tenth = 1; tenth <= samplesPerPart; ++tenth) {
        dragMany(dragCycles / samplesPerPart);
        dragSamples.push_back(sampleAfter(tenth * dragCycles / samplesPerPart));
    }
    print("sends", sendSamples);
    print("drag-and-fling", dragSamples);
    const bool sendsFlat = flat("sends", sendSamples);
    const bool dragsFlat = flat("drag-and-fling", dragSamples);
    return sendsFlat && dragsFlat ? 0 : 1;
}
