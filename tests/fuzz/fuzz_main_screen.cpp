// Touch fuzzing of the main screen. The input becomes a stream of finger presses, moves and
// releases, clock ticks, typed characters, key presses, keyboard taps, clipboard texts and screen
// turns, given to the real program on the headless VGA phone through its real message loop. After
// each event at most one field is being edited. After each stream the finger is lifted, the
// timers run out and the taps are delivered, an edit still open is ended by a tap on the header
// (as a user would), a forget question still open is answered No, and then:
//   - the scroll offset lies within its bounds;
//   - the frame still paints, and what the screen shows at rest, drawn bit by bit as things
//     moved, is exactly what a full repaint over a fill draws (no stale pixels);
//   - if Quit was tapped, the settings file parses and a fresh read of the store gives back each
//     text as its field held it (empty where it is longer than its reader takes);
//   - every datagram the loopback receiver got is a whole magic packet.
// The sanitizers (address, undefined, leaks) watch throughout; a fatal message box ends the
// process, and a screen that never comes to rest ends the run, which the fuzzer reports too.
//
// One program serves every input, for speed; before each stream it is put back to the state of
// a fresh start: portrait, scrolled to the top, the start texts in the fields, "Ready to send" in
// the status line, a full list of recent computers (ten rows: sends move them, holds may forget
// them), a fresh tracker, an empty clipboard, the clock past any double tap. (The
// on-screen keyboard's shift is the one thing carried over when a stream leaves it on with no
// field open.)
//
// Input: events, each an opcode byte (taken modulo the opcode count) and its operand bytes:
//   0 x y  finger down     1 x y  finger moves    2 x y  finger up
//     (x, y: 0..255 across the screen as it is now)
//   3 t    the clock moves on 2t ms (the loop handles what falls due)
//   4 c    a typed character: printable ASCII as it is, any other byte picks one of
//          `specialCharacters` (control, right-to-left, combining, beyond the BMP ...)
//   5 k    a key of `keys`: pressed and released, or held down when k has its high bit
//   6      the screen turns
//   7 k    a tap on key k of the on-screen keyboard (where it is while shown)
//   8 e    a tap on element e: host, MAC, port, Send, Quit, status line, the first and the
//          last recent computer, header
//   9 c    clipboard text c of `clipboardTexts`
#include "AwakeCheck.h"
#include "HeadlessProgram.h"
#include "LoopbackReceiver.h"
#include "MessageBoxSense.h"
#include "MyItem.h"
#include "RecentComputers.h"
#include "RecentPanel.h"

#include "ToolkitTestSupport.h"
#include "Tunables.h"

#include "registry/RegistryText.h"
#include "shell/Shell.h"

#include <platform/Device.h>

#include <algorithm>
#include <utility>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using platform::PointerAction;
using program_harness::fail;
using program_harness::field;
using program_harness::fieldIds;
using program_harness::headerPoint;
using program_harness::HeadlessProgram;
using program_harness::screenSection;
using toolkit_test::LoopScript;

constexpr std::size_t maxEvents = 300;
constexpr DWORD tickUnitMs = 2;
constexpr DWORD tapHoldMs = 50;
constexpr DWORD settleTickMs = 29; // with the script's own millisecond: the motion timer's period
constexpr int settleTries = 2000;  // a minute of the clock: no fling lasts that long
constexpr DWORD pastDoubleTapMs = 1000;
constexpr DWORD idleCheckMs = 1000;
constexpr std::uint16_t fillColour = 0xF81F; // magenta, under the full repaint

const wchar_t* const startHost = L"127.0.0.1";
const wchar_t* const startMac = L"00:11:22:33:44:55";

const std::vector<wchar_t> specialCharacters{
    0x08,   0x09,   0x0D,   0x16,   0x01,   0x1B,   0x7F,   0x00E9, 0x05D0,  0x0627,  0x202E,
    0x200F, 0x0301, 0x4E2D, 0xFEFF, 0xFFFD, 0xFFFF, 0x00A0, 0x2028, 0x1F600, 0x10348, 0x10FFFD};

const std::vector<UINT> keys{VK_LEFT, VK_RIGHT, VK_UP,     VK_DOWN,   VK_BACK, VK_DELETE,
                             VK_HOME, VK_END,   VK_RETURN, VK_ESCAPE, VK_TAB,  VK_CONTROL,
                             'V',     VK_SHIFT, 'A',       VK_CONTROL};

const std::vector<std::wstring>& clipboardTexts() {
    static const std::vector<std::wstring> texts{L"",
                                                 std::wstring(10000, L'7'),
                                                 L"00-11-22-33-44-55",
                                                 L"\x05E9\x05DC\x05D5\x05DD 192.168.0.1",
                                                 L"\U0001F600\U0001F4A1\U00010348",
                                                 L"a\tb\r\nsecond line",
                                                 L"\x01\x02\x1B[31m\x7F"};
    return texts;
}

enum class Op : std::uint8_t {
    down,
    move,
    up,
    tick,
    character,
    key,
    rotate,
    keyboardTap,
    elementTap,
    clipboard,
    count
};

struct Event {
    Op op;
    std::uint8_t a = 0;
    std::uint8_t b = 0;
};

constexpr int operandCounts[] = {2, 2, 2, 1, 1, 1, 0, 1, 1, 1};
static_assert(std::size(operandCounts) == static_cast<std::size_t>(Op::count));

std::vector<Event> decode(const std::uint8_t* data, std::size_t size) {
    std::vector<Event> events;
    std::size_t i = 0;
    while (i < size && events.size() < maxEvents) {
        Event event{static_cast<Op>(data[i++] % static_cast<std::uint8_t>(Op::count))};
        const int operands = operandCounts[static_cast<int>(event.op)];
        if (i + static_cast<std::size_t>(operands) > size) {
            break;
        }
        if (operands > 0) {
            event.a = data[i++];
        }
        if (operands > 1) {
            event.b = data[i++];
        }
        events.push_back(event);
    }
    return events;
}

int screenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int screenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

// Anywhere on the screen, as the backends deliver it (they keep the pointer on the screen).
POINT pointOf(std::uint8_t x, std::uint8_t y) {
    return POINT{x * screenWidth() / 256, y * screenHeight() / 256};
}

using toolkit_test::centreOf;
using toolkit_test::shownBox;

// The client area of the screen buffer, row by row.
std::vector<std::uint16_t> clientAreaPixels() {
    const int top = std::max<int>(clientRect.top, 0);
    return toolkit_test::screenPixels(RECT{0, top, screenWidth(), screenHeight()}).data;
}

int fieldsBeingEdited() {
    int editing = 0;
    for (MainScreenId id : fieldIds) {
        const MyEditControl* edit = field(id); // never gone: the sanitizers would tell
        editing += edit->editorOpen || edit->slidingIn != 0 ? 1 : 0;
    }
    return editing;
}

std::wstring fitting(const std::wstring& text, std::size_t capacity) {
    return text.size() <= capacity ? text : std::wstring();
}

// Everything one input does to the program, step by step inside its message loop.
class Stream {
public:
    Stream(HeadlessProgram& program, LoopbackReceiver& receiver)
        : program_(program), receiver_(receiver) {}

    void run(const std::vector<Event>& events) {
        LoopScript script;
        script.then([this] { putBackToStart(); });
        for (const Event& event : events) {
            addEvent(script, event);
        }
        script.waitFor([this] { return settle(); });
        // The awake check of a send runs on its own thread and on the clock these steps advance:
        // a report of it could change the status line between the picture at rest and the full
        // repaint. What it shows is checked by its own tests.
        script.then([] { stopAwakeCheck(); });
        script.then([] { checkSettled(); });
        script.then([&script] { checkIdle(script.window()); });
        script.then([this] {
            atRest_ = clientAreaPixels();
            repaintOver(fillColour);
        });
        script.then([this] {
            if (clientAreaPixels() != atRest_) {
                fail("the screen at rest differs from a full repaint");
            }
        });
        program_.run(script, [this] { onQuit(); });
        drainReceiver();
    }

private:
    void addEvent(LoopScript& script, const Event& event) {
        if (event.op == Op::keyboardTap || event.op == Op::elementTap) {
            // A tap is two steps: the press, then the release after the loop took the press.
            script.then([this, event] { whenRunning([&] { pressForTap(event); }); });
            script.then([this] {
                whenRunning([&] {
                    platform::clock::advance(tapHoldMs);
                    pointer(PointerAction::up, tapPoint_);
                });
            });
            return;
        }
        script.then([this, event] { whenRunning([&] { perform(event); }); });
    }

    // After Quit the program has ended: the rest of the stream is not given to it.
    template <typename Action>
    void whenRunning(Action action) {
        if (!quit_) {
            action();
            if (fieldsBeingEdited() > 1) {
                fail("two fields are being edited at once");
            }
        }
    }

    void perform(const Event& event) {
        platform::Device& device = platform::Device::instance();
        if (event.op <= Op::up) {
            const PointerAction actions[] = {PointerAction::down, PointerAction::move,
                                             PointerAction::up};
            pointer(actions[static_cast<int>(event.op)], pointOf(event.a, event.b));
        } else if (event.op == Op::tick) {
            platform::clock::advance(event.a * tickUnitMs);
        } else if (event.op == Op::character) {
            device.character(event.a >= 0x20 && event.a < 0x7F
                                 ? static_cast<wchar_t>(event.a)
                                 : specialCharacters[event.a % specialCharacters.size()]);
        } else if (event.op == Op::key) {
            const UINT key = keys[(event.a & 0x7F) % keys.size()];
            device.key(key, true);
            if ((event.a & 0x80) == 0) {
                device.key(key, false);
            }
        } else if (event.op == Op::rotate) {
            device.rotate();
        } else if (event.op == Op::clipboard) {
            device.setClipboardText(clipboardTexts()[event.a % clipboardTexts().size()]);
        }
    }

    void pressForTap(const Event& event) {
        if (event.op == Op::keyboardTap) {
            const auto keyboard = platform::shell::keyboard().keys();
            tapPoint_ = centreOf(keyboard[event.a % keyboard.size()].cell);
        } else {
            const int lastRow =
                recentRowFirstId +
                std::max<int>(static_cast<int>(recentComputers().rows().size()) - 1, 0);
            const int targets[] = {hostFieldId,  macFieldId,   portFieldId,      sendButtonId,
                                   quitButtonId, statusLineId, recentRowFirstId, lastRow};
            const std::size_t index = event.a % (std::size(targets) + 1);
            const Element* target =
                index < std::size(targets) ? findElementById(targets[index]) : nullptr;
            tapPoint_ = target != nullptr ? centreOf(target->screenRect) : headerPoint();
        }
        pointer(PointerAction::down, tapPoint_);
    }

    // One finger, as the backends give it: a press while it is down lifts it first.
    void pointer(PointerAction action, POINT at) {
        if (action == PointerAction::down && fingerDown_) {
            platform::Device::instance().pointer(PointerAction::up, lastPoint_.x, lastPoint_.y);
        }
        platform::Device::instance().pointer(action, at.x, at.y);
        fingerDown_ = action != PointerAction::up;
        lastPoint_ = at;
    }

    // The state of a fresh start, as far as the user can see and the next stream can reach.
    // Only what differs is changed, and then the screen is drawn whole, as after the screen was
    // built: most streams leave most of it as it was.
    void putBackToStart() {
        drainReceiver();
        if (screenWidth() > screenHeight()) {
            platform::Device::instance().rotate();
        }
        Section* section = screenSection();
        bool changed = std::exchange(section->scrollOffset, 0) != 0;
        changed = setIfDifferent(hostFieldId, startHost) || changed;
        changed = setIfDifferent(macFieldId, startMac) || changed;
        changed = setIfDifferent(portFieldId, std::to_wstring(receiver_.port())) || changed;
        if (program_harness::statusText() != statusReadyToSend) {
            showStatus(statusReadyToSend);
            changed = true;
        }
        for (int n = 0; recentComputers().rows().size() < RecentComputers::maxRows; ++n) {
            rememberRecentComputer({L"pc" + std::to_wstring(n) + L".example.net",
                                    L"02:00:00:00:00:" + std::to_wstring(10 + n % 90),
                                    std::to_wstring(receiver_.port())});
            changed = true;
        }
        {
            MotionLockGuard lock;
            MotionTracker fresh;
            fresh.scrollTarget = section;
            *sharedTracker() = fresh;
        }
        KillTimer(mainWindow, tunables::motionTimerId);
        platform::Device::instance().setClipboardText(L"");
        platform::clock::advance(pastDoubleTapMs);
        if (changed) {
            InvalidateRect(mainWindow, nullptr, TRUE);
        }
    }

    static bool setIfDifferent(MainScreenId id, const std::wstring& text) {
        if (fieldText(id) == text) {
            return false;
        }
        setFieldText(id, text);
        return true;
    }

    // One try of the settling: true once the finger is up, nothing moves, no field is being
    // edited, no tap waits to be delivered and the motion timer has stopped.
    // An edit still open is ended as a user would: shift off, then a tap on the header.
    bool settle() {
        if (++settleTries_ > settleTries) {
            fail("the screen never comes to rest");
        }
        if (fingerDown_) {
            pointer(PointerAction::up, lastPoint_);
            return false;
        }
        if (const MessageBoxSense* box = shownBox()) {
            if (box->painted != 0 && box->buttonItems.size() == 2) {
                platform::clock::advance(pastDoubleTapMs);
                tapPoint_ = centreOf(box->buttonPlace(1)); // No: the list stays full
                pointer(PointerAction::down, tapPoint_);
            } else {
                platform::clock::advance(settleTickMs);
            }
            return false;
        }
        if (animating()) {
            platform::clock::advance(settleTickMs);
            return false;
        }
        if (fieldsBeingEdited() > 0) {
            endEdit();
            return false;
        }
        if (tapWaiting()) {
            platform::clock::advance(settleTickMs);
            return false;
        }
        // The motion timer has run out once a whole period passes without it falling due; while
        // it runs, the loop takes its tick (a fling's step, or one the finger left behind) first.
        platform::clock::advance(tunables::motionTimerPeriodMs);
        MSG tick{};
        return PeekMessageW(&tick, mainWindow, WM_TIMER, WM_TIMER, PM_NOREMOVE) == FALSE;
    }

    void endEdit() {
        if (++editEndings_ > 3) {
            fail("a tap on the header does not end the edit");
        }
        tapPoint_ = platform::shell::keyboard().shifted() ? shiftKeyPoint() : headerPoint();
        pointer(PointerAction::down, tapPoint_);
    }

    static POINT shiftKeyPoint() {
        for (const auto& key : platform::shell::keyboard().keys()) {
            if (key.kind == platform::shell::KeyKind::shift) {
                return centreOf(key.cell);
            }
        }
        fail("the keyboard has no shift key");
    }

    // What the next ticks of the motion timer carry on by themselves: a fling of the screen, a
    // slide. (A fling flagged while a field holds the input never runs: the next touch, which
    // ends the edit, stops it.)
    static bool animating() {
        MotionLockGuard lock;
        const MotionTracker& tracker = *sharedTracker();
        if (tracker.flinging && tracker.scrollTarget == screenSection()) {
            return true;
        }
        return std::any_of(fieldIds.begin(), fieldIds.end(),
                           [](MainScreenId id) { return field(id)->slidingIn != 0; });
    }

    // A touch the section has not finished with: a completed tap not delivered yet, or the
    // widget it pressed.
    static bool tapWaiting() {
        MotionLockGuard lock;
        const MotionTracker& tracker = *sharedTracker();
        return (tracker.tapPending && !tracker.tapConsumed) ||
               screenSection()->pressedChild != nullptr;
    }

    static void checkSettled() {
        const Section* section = screenSection();
        const int contentHeight = section->bottom - section->top;
        const int viewHeight = std::min<int>(contentHeight, viewRect.bottom - clientRect.top);
        const int lowest = viewHeight - contentHeight;
        if (section->scrollOffset > 0 || section->scrollOffset < lowest) {
            fail("the scroll offset " + std::to_string(section->scrollOffset) +
                 " lies outside 0 .. " + std::to_string(lowest) + " at rest");
        }
        if (frameHasFocus != 1 || drawingReady != 1) {
            fail("the frame does not paint with no field open");
        }
    }

    // At rest the program wants no time: a second passes with no timer of its own falling due
    // (only the script's, which runs these steps).
    static void checkIdle(HWND scriptWindow) {
        platform::clock::advance(idleCheckMs);
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
            if (msg.hwnd != scriptWindow) {
                fail("a timer runs while the program is at rest (timer " +
                     std::to_string(msg.wParam) + (msg.hwnd == nullptr ? " of the thread)" : ")"));
            }
        }
    }

    static void repaintOver(std::uint16_t fill) {
        RECT client{0, clientRect.top, screenWidth(), screenHeight()};
        colourFill(primarySurface, &client, fill);
        InvalidateRect(mainWindow, nullptr, TRUE);
    }

    // The program wrote the settings and ended: what it wrote must be whole, and read back as
    // the next start reads it.
    void onQuit() {
        quit_ = true;
        const StoredFields typed{fieldText(hostFieldId), fieldText(macFieldId),
                                 fieldText(portFieldId)};
        std::ifstream file(platform::registry::filePath(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file), {}};
        if (!platform::registry::parse(text).error.empty()) {
            fail("the settings file does not parse after Quit");
        }
        platform::registry::reload();
        auto settings = SettingsKey::open();
        if (!settings) {
            fail("the settings key is gone after Quit");
        }
        const StoredFields expected{fitting(typed.host, SettingsKey::hostCapacity),
                                    fitting(typed.mac, SettingsKey::macCapacity),
                                    fitting(typed.port, SettingsKey::portCapacity)};
        if (!(settings->readFields() == expected)) {
            fail("the texts read back after Quit are not the texts the fields held");
        }
    }

    // Every datagram a whole magic packet: six 0xFF bytes, then one MAC sixteen times.
    void drainReceiver() {
        while (auto packet = receiver_.takeQueued()) {
            if (packet->size() != magicPacketSize || (*packet)[0] != 0xFF ||
                !std::equal(packet->begin() + 12, packet->end(), packet->begin() + 6) ||
                !std::equal(packet->begin() + 1, packet->begin() + 6, packet->begin())) {
                fail("a datagram that is not a whole magic packet");
            }
        }
    }

    HeadlessProgram& program_;
    LoopbackReceiver& receiver_;
    bool quit_ = false;
    bool fingerDown_ = false;
    POINT lastPoint_{};
    POINT tapPoint_{};
    int settleTries_ = 0;
    int editEndings_ = 0;
    std::vector<std::uint16_t> atRest_; // painted bit by bit as things moved
};

HeadlessProgram* program = nullptr;
LoopbackReceiver* receiver = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    receiver = new LoopbackReceiver();
    if (!receiver->isOpen()) {
        fail("no loopback receiver");
    }
    program = new HeadlessProgram(program_harness::resourceSet(DAWNBELL_BIN_DIR));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Stream(*program, *receiver).run(decode(data, size));
    return 0;
}
