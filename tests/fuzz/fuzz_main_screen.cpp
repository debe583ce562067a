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
#include "support/HeadlessProgram.h"
#include "support/LoopbackReceiver.h"
#include "RecentComputers.h"
#include "RecentPanel.h"

#include "registry/RegistryText.h"
#include "shell/Shell.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using namespace program_harness;
using platform::PointerAction;
using toolkit_test::centreOf;

constexpr DWORD settleTickMs = 29; // with the script's own millisecond: the motion timer's period
constexpr DWORD pastDoubleTapMs = 1000;

const wchar_t specialCharacters[] = {
    0x08,   0x09,   0x0D,   0x16,   0x01,   0x1B,   0x7F,   0x00E9, 0x05D0,  0x0627,  0x202E,
    0x200F, 0x0301, 0x4E2D, 0xFEFF, 0xFFFD, 0xFFFF, 0x00A0, 0x2028, 0x1F600, 0x10348, 0x10FFFD};
const UINT keys[] = {VK_LEFT, VK_RIGHT, VK_UP,     VK_DOWN,   VK_BACK, VK_DELETE,
                     VK_HOME, VK_END,   VK_RETURN, VK_ESCAPE, VK_TAB,  VK_CONTROL,
                     'V',     VK_SHIFT, 'A',       VK_CONTROL};
const std::wstring clipboardTexts[] = {L"",
                                       std::wstring(10000, L'7'),
                                       L"00-11-22-33-44-55",
                                       L"\x05E9\x05DC\x05D5\x05DD 192.168.0.1",
                                       L"\U0001F600\U0001F4A1\U00010348",
                                       L"a\tb\r\nsecond line",
                                       L"\x01\x02\x1B[31m\x7F"};

// Opcodes: down, move, up, tick, character, key, rotate, keyboard tap, element tap, clipboard.
constexpr int operandCounts[] = {2, 2, 2, 1, 1, 1, 0, 1, 1, 1};
namespace op {
enum : std::uint8_t { down, move, up, tick, character, key, rotate, keyboardTap, elementTap };
} // namespace op

struct Event {
    std::uint8_t op, a, b;
};

std::vector<Event> decode(const std::uint8_t* data, std::size_t size) {
    std::vector<Event> events;
    for (std::size_t i = 0; i < size && events.size() < 300;) {
        const std::uint8_t op = data[i++] % std::size(operandCounts);
        const auto operands = static_cast<std::size_t>(operandCounts[op]);
        if (i + operands > size) {
            break;
        }
        events.push_back({op, operands > 0 ? data[i] : std::uint8_t{0},
                          operands > 1 ? data[i + 1] : std::uint8_t{0}});
        i += operands;
    }
    return events;
}

int width() {
    return GetSystemMetrics(SM_CXSCREEN);
}
int height() {
    return GetSystemMetrics(SM_CYSCREEN);
}

// The client area of the screen buffer, row by row.
std::vector<std::uint16_t> clientAreaPixels() {
    return toolkit_test::screenPixels(RECT{0, std::max<LONG>(clientRect.top, 0), width(), height()})
        .data;
}

int fieldsBeingEdited() {
    return static_cast<int>(std::count_if(fieldIds.begin(), fieldIds.end(), [](MainScreenId id) {
        return field(id)->editorOpen || field(id)->slidingIn != 0; // never gone: ASan would tell
    }));
}

// Everything one input does to the program, step by step inside its message loop.
class Stream {
public:
    explicit Stream(LoopbackReceiver& receiver) : receiver_(receiver) {}

    void run(const std::vector<Event>& events) {
        toolkit_test::LoopScript script;
        script.then([this] { putBackToStart(); });
        for (const Event& event : events) {
            // A tap is two steps: the press, then the release after the loop took the press.
            script.then([this, event] { whenRunning([&] { perform(event); }); });
            if (event.op == op::keyboardTap || event.op == op::elementTap) {
                script.then([this] {
                    whenRunning([&] {
                        platform::clock::advance(50);
                        pointer(op::up, tapPoint_);
                    });
                });
            }
        }
        script.waitFor([this] { return settle(); });
        // The awake check of a send runs on its own thread and on the clock these steps advance:
        // a report of it could change the status line between the picture at rest and the full
        // repaint. What it shows is checked by its own tests.
        script.then([] { stopAwakeCheck(); }).then([] { checkSettled(); }).then([this] {
            atRest_ = clientAreaPixels(); // painted bit by bit as things moved
            RECT client{0, clientRect.top, width(), height()};
            colourFill(primarySurface, &client, 0xF81F); // magenta, under the full repaint
            InvalidateRect(mainWindow, nullptr, TRUE);
        });
        script.then([this] {
            if (clientAreaPixels() != atRest_) {
                fail("the screen at rest differs from a full repaint");
            }
        });
        HeadlessProgram::run(script, [this] { onQuit(); });
        drainReceiver();
    }

private:
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
        switch (event.op) {
        case op::down:
        case op::move:
        case op::up:
            pointer(event.op, POINT{event.a * width() / 256, event.b * height() / 256});
            break;
        case op::tick:
            platform::clock::advance(event.a * 2);
            break;
        case op::character:
            device.character(event.a >= 0x20 && event.a < 0x7F
                                 ? static_cast<wchar_t>(event.a)
                                 : specialCharacters[event.a % std::size(specialCharacters)]);
            break;
        case op::key: // held down when the high bit is set
            device.key(keys[(event.a & 0x7F) % std::size(keys)], true);
            if ((event.a & 0x80) == 0) {
                device.key(keys[event.a % std::size(keys)], false);
            }
            break;
        case op::rotate:
            device.rotate();
            break;
        case op::keyboardTap: {
            const auto keyboard = platform::shell::keyboard().keys();
            pointer(op::down, tapPoint_ = centreOf(keyboard[event.a % keyboard.size()].cell));
            break;
        }
        case op::elementTap: {
            const int rows = static_cast<int>(recentComputers().rows().size());
            const int targets[] = {
                hostFieldId,     macFieldId,       portFieldId,
                passwordFieldId, sendButtonId,     quitButtonId,
                statusLineId,    recentRowFirstId, recentRowFirstId + std::max(rows - 1, 0)};
            const std::size_t index = event.a % (std::size(targets) + 1);
            const Element* target =
                index < std::size(targets) ? findElementById(targets[index]) : nullptr;
            pointer(op::down,
                    tapPoint_ = target != nullptr ? centreOf(target->screenRect) : headerPoint());
            break;
        }
        default:
            device.setClipboardText(clipboardTexts[event.a % std::size(clipboardTexts)]);
        }
    }

    // One finger, as the backends give it (on the screen): a press while it is down lifts it.
    void pointer(std::uint8_t op, POINT at) {
        const auto action = static_cast<PointerAction>(op);
        static_assert(static_cast<int>(PointerAction::up) == op::up);
        if (action == PointerAction::down && fingerDown_) {
            platform::Device::instance().pointer(PointerAction::up, lastPoint_.x, lastPoint_.y);
        }
        platform::Device::instance().pointer(action, at.x, at.y);
        fingerDown_ = action != PointerAction::up;
        lastPoint_ = at;
    }

    // The state of a fresh start, as far as the user can see and the next stream can reach, and
    // the screen drawn whole, as after the screen was built.
    void putBackToStart() {
        drainReceiver();
        if (width() > height()) {
            platform::Device::instance().rotate();
        }
        Section* section = screenSection();
        section->scrollOffset = 0;
        const std::wstring port = std::to_wstring(receiver_.port());
        setFieldText(hostFieldId, L"127.0.0.1");
        setFieldText(macFieldId, L"00:11:22:33:44:55");
        setFieldText(portFieldId, port);
        setFieldText(passwordFieldId, L"");
        showStatus(statusReadyToSend);
        for (int n = 0; recentComputers().rows().size() < RecentComputers::maxRows; ++n) {
            rememberRecentComputer({L"pc" + std::to_wstring(n) + L".example.net",
                                    L"02:00:00:00:00:" + std::to_wstring(10 + n % 90), port});
        }
        {
            MotionLockGuard lock;
            *sharedTracker() = MotionTracker{};
            sharedTracker()->scrollTarget = section;
        }
        KillTimer(mainWindow, tunables::motionTimerId);
        platform::Device::instance().setClipboardText(L"");
        platform::clock::advance(pastDoubleTapMs);
        InvalidateRect(mainWindow, nullptr, TRUE);
    }

    // One try of the settling: true once the finger is up, nothing moves, no field is being
    // edited, no tap waits to be delivered and the motion timer has stopped. A box is answered
    // with its last button (a forget question No: the list stays full; a failed send OK); an
    // edit still open is ended as a user would: shift off, then a tap on the header.
    bool settle() {
        if (++settleTries_ > 2000) { // a minute of the clock: no fling lasts that long
            fail("the screen never comes to rest");
        }
        const MessageBoxSense* box = toolkit_test::shownBox();
        bool animating = false, tapWaiting = false;
        {
            MotionLockGuard lock;
            const MotionTracker& tracker = *sharedTracker();
            // What the next ticks of the motion timer carry on by themselves: a fling of the
            // screen, a slide. (A fling flagged while a field holds the input never runs: the
            // next touch, which ends the edit, stops it.)
            animating = (tracker.flinging && tracker.scrollTarget == screenSection()) ||
                        std::any_of(fieldIds.begin(), fieldIds.end(),
                                    [](MainScreenId id) { return field(id)->slidingIn != 0; });
            // A touch the section has not finished with: a completed tap not delivered yet, or
            // the widget it pressed.
            tapWaiting = (tracker.tapPending && !tracker.tapConsumed) ||
                         screenSection()->pressedChild != nullptr;
        }
        if (fingerDown_) {
            pointer(op::up, lastPoint_);
        } else if (box != nullptr && box->painted != 0 && !box->buttonItems.empty()) {
            platform::clock::advance(pastDoubleTapMs);
            const size_t last = box->buttonItems.size() - 1;
            pointer(op::down, tapPoint_ = centreOf(box->buttonPlace(last)));
        } else if (box != nullptr || animating) {
            platform::clock::advance(settleTickMs);
        } else if (fieldsBeingEdited() > 0) {
            if (++editEndings_ > 3) {
                fail("a tap on the header does not end the edit");
            }
            const auto onScreen = platform::shell::keyboard().keys();
            const auto shift = std::find_if(onScreen.begin(), onScreen.end(), [](const auto& key) {
                return key.kind == platform::shell::KeyKind::shift;
            });
            const bool shifted = platform::shell::keyboard().shifted() && shift != onScreen.end();
            pointer(op::down, tapPoint_ = shifted ? centreOf(shift->cell) : headerPoint());
        } else if (tapWaiting) {
            platform::clock::advance(settleTickMs);
        } else {
            // The motion timer has run out once a whole period passes without it falling due;
            // while it runs, the loop takes its tick (a fling's step, or one the finger left
            // behind) first.
            platform::clock::advance(tunables::motionTimerPeriodMs);
            MSG timer{};
            return PeekMessageW(&timer, mainWindow, WM_TIMER, WM_TIMER, PM_NOREMOVE) == FALSE;
        }
        return false;
    }

    static void checkSettled() {
        const Section* section = screenSection();
        const int contentHeight = section->bottom - section->top;
        const int lowest =
            std::min<int>(contentHeight, viewRect.bottom - clientRect.top) - contentHeight;
        if (section->scrollOffset > 0 || section->scrollOffset < lowest) {
            fail("the scroll offset " + std::to_string(section->scrollOffset) +
                 " lies outside 0 .. " + std::to_string(lowest) + " at rest");
        }
        if (frameHasFocus != 1 || drawingReady != 1) {
            fail("the frame does not paint with no field open");
        }
    }

    // The program wrote the settings and ended: what it wrote must be whole, and read back as
    // the next start reads it (empty where longer than its reader takes).
    void onQuit() {
        quit_ = true;
        const auto fitting = [](MainScreenId id, std::size_t capacity) {
            const std::wstring text = fieldText(id);
            return text.size() <= capacity ? text : std::wstring();
        };
        const StoredFields typed{fitting(hostFieldId, SettingsKey::hostCapacity),
                                 fitting(macFieldId, SettingsKey::macCapacity),
                                 fitting(portFieldId, SettingsKey::portCapacity),
                                 fitting(passwordFieldId, SettingsKey::passwordCapacity)};
        const std::string file = toolkit_test::fileBytes(platform::registry::filePath());
        if (!platform::registry::parse(file).error.empty()) {
            fail("the settings file does not parse after Quit");
        }
        platform::registry::reload();
        const auto settings = SettingsKey::open();
        if (!settings || !(settings->readFields() == typed)) {
            fail("the texts read back after Quit are not the texts the fields held");
        }
    }

    // Every datagram a whole magic packet: six 0xFF bytes, then one MAC sixteen times, then
    // nothing or a password of 4 or 6 bytes.
    void drainReceiver() {
        while (auto packet = receiver_.takeQueued()) {
            const std::size_t passwordSize = packet->size() - magicPacketSize;
            if (packet->size() < magicPacketSize ||
                (passwordSize != 0 && passwordSize != 4 && passwordSize != 6) ||
                (*packet)[0] != 0xFF ||
                !std::equal(packet->begin() + 12, packet->begin() + magicPacketSize,
                            packet->begin() + 6) ||
                !std::equal(packet->begin() + 1, packet->begin() + 6, packet->begin())) {
                fail("a datagram that is not a whole magic packet");
            }
        }
    }

    LoopbackReceiver& receiver_;
    bool quit_ = false;
    bool fingerDown_ = false;
    POINT lastPoint_{};
    POINT tapPoint_{};
    int settleTries_ = 0;
    int editEndings_ = 0;
    std::vector<std::uint16_t> atRest_;
};

LoopbackReceiver* receiver = nullptr;
HeadlessProgram* program = nullptr; // one for every input

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    receiver = new LoopbackReceiver();
    if (!receiver->isOpen()) {
        fail("no loopback receiver");
    }
    program = new HeadlessProgram(resourceSet(DAWNBELL_BIN_DIR));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Stream(*receiver).run(decode(data, size));
    return 0;
}
