// The message queue calls: sending, posting, taking and dispatching messages, and timers.
#include "user/WindowManager.h"

#include "kernel/Wait.h"
#include "platform/Clock.h"
#include "platform/Device.h"
#include "platform/Messages.h"
#include "winbase.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

using namespace platform::user;

namespace {

std::atomic<bool> failNext{false};

bool isDue(DWORD now, DWORD due) {
    return static_cast<std::int32_t>(now - due) >= 0;
}

struct Filter {
    HWND window = nullptr;
    UINT first = 0;
    UINT last = 0;

    bool matches(const MSG& msg) const {
        if (window != nullptr && msg.hwnd != window) {
            return false;
        }
        return matchesMessage(msg.message);
    }
    bool matchesMessage(UINT message) const {
        return (first == 0 && last == 0) || (message >= first && message <= last);
    }
};

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{
        window, message, wParam, lParam, platform::clock::now(), WindowManager::get().lastPointer};
}

// Blocks the queue's thread until `ready` or the deadline. The backend's own thread waits
// through the backend so that its window keeps working; every other thread waits on the
// queue's condition variable.
void waitOnQueue(std::unique_lock<std::mutex>& lock, MessageQueue& queue,
                 std::optional<DWORD> deadline, const std::function<bool()>& ready) {
    if (!queue.backendThread || !platform::Device::running()) {
        platform::kernel::waitUntil(lock, queue.cv, deadline, ready);
        return;
    }
    platform::Backend& backend = platform::Device::instance().backend();
    lock.unlock();
    platform::kernel::ScopedWaker waker([&backend] { backend.wake(); });
    lock.lock();
    while (!ready()) {
        const DWORD now = platform::clock::now();
        if (deadline && isDue(now, *deadline)) {
            return;
        }
        DWORD timeout = INFINITE;
        if (deadline && !platform::clock::isManual()) {
            timeout = *deadline - now;
        }
        lock.unlock();
        platform::kernel::cancellationPoint();
        backend.waitForEvents(timeout);
        lock.lock();
    }
}

// Runs one sent message of the queue on this thread and hands the result to its sender.
void dispatchSent(std::unique_lock<std::mutex>& lock, MessageQueue& queue) {
    auto& manager = WindowManager::get();
    auto sent = queue.sent.front();
    queue.sent.pop_front();
    lock.unlock();
    LRESULT result = 0;
    try {
        result = callWindow(sent->msg.hwnd, sent->msg.message, sent->msg.wParam, sent->msg.lParam);
    } catch (...) {
        lock.lock();
        sent->done = true;
        if (sent->sender) {
            manager.notify(*sent->sender);
        }
        throw;
    }
    lock.lock();
    sent->result = result;
    sent->done = true;
    if (sent->sender) {
        manager.notify(*sent->sender);
    }
}

std::optional<DWORD> nextTimerDue(const MessageQueue& queue, const Filter& filter) {
    std::optional<DWORD> next;
    const DWORD now = platform::clock::now();
    for (const auto& [key, timer] : queue.timers) {
        if (filter.window != nullptr && key.first != filter.window) {
            continue;
        }
        if (!next || static_cast<std::int32_t>((timer.due - now) - (*next - now)) < 0) {
            next = timer.due;
        }
    }
    return next;
}

bool takeFromList(std::deque<MSG>& list, const Filter& filter, bool remove, MSG& out) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (filter.matches(*it)) {
            out = *it;
            if (remove) {
                list.erase(it);
            }
            return true;
        }
    }
    return false;
}

bool takeTimer(MessageQueue& queue, const Filter& filter, bool remove, MSG& out) {
    if (!filter.matchesMessage(WM_TIMER)) {
        return false;
    }
    const DWORD now = platform::clock::now();
    auto due = nextTimerDue(queue, filter);
    if (!due || !isDue(now, *due)) {
        return false;
    }
    for (auto& [key, timer] : queue.timers) {
        if (timer.due == *due && (filter.window == nullptr || key.first == filter.window)) {
            out =
                makeMessage(key.first, WM_TIMER, key.second, reinterpret_cast<LPARAM>(timer.proc));
            if (remove) {
                timer.due = now + timer.period; // missed ticks collapse into this one
            }
            return true;
        }
    }
    return false;
}

// The platform's order: sent messages (run here), posted, input, quit, paint, timers.
bool takeMessage(std::unique_lock<std::mutex>& lock, MessageQueue& queue, const Filter& filter,
                 bool remove, bool takeQuit, MSG& out) {
    auto& manager = WindowManager::get();
    while (!queue.sent.empty()) {
        dispatchSent(lock, queue);
    }
    if (takeFromList(queue.posted, filter, remove, out) ||
        takeFromList(queue.input, filter, remove, out)) {
        return true;
    }
    if (queue.quit && takeQuit) {
        out = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
        if (remove) {
            queue.quit = false;
        }
        return true;
    }
    if (filter.matchesMessage(WM_PAINT)) {
        if (Window* window = manager.windowToPaint(queue.threadId, filter.window)) {
            out = makeMessage(window->handle, WM_PAINT, 0, 0);
            return true;
        }
    }
    return takeTimer(queue, filter, remove, out);
}

// On the backend's thread a busy program (a timer always due, a paint always pending) would
// otherwise never let the window system in: now and then the backend takes its events and
// presents without blocking.
void letTheBackendIn(std::unique_lock<std::mutex>& lock, const MessageQueue& queue) {
    if (!queue.backendThread || !platform::Device::running()) {
        return;
    }
    using Steady = std::chrono::steady_clock;
    thread_local Steady::time_point lastTurn{};
    const auto now = Steady::now();
    if (now - lastTurn < std::chrono::milliseconds(10)) {
        return;
    }
    lastTurn = now;
    lock.unlock();
    platform::Device::instance().backend().waitForEvents(0);
    lock.lock();
}

enum class Mode { wait, peek, pump };

// GetMessageW (wait), PeekMessageW (peek) and pumpMessages (pump: no quit).
int fetchMessage(MSG* out, HWND window, UINT first, UINT last, bool remove, Mode mode) {
    auto& manager = WindowManager::get();
    std::unique_lock lock(manager.mutex);
    auto queue = manager.currentQueue();
    if (window != nullptr) {
        Window* target = manager.find(window);
        if (target == nullptr || target->threadId != queue->threadId) {
            ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        }
    }
    const Filter filter{window, first, last};
    if (mode == Mode::wait) {
        letTheBackendIn(lock, *queue);
    }
    for (;;) {
        if (takeMessage(lock, *queue, filter, remove, mode != Mode::pump, *out)) {
            return out->message == WM_QUIT && mode == Mode::wait ? 0 : 1;
        }
        if (mode != Mode::wait) {
            return 0;
        }
        if (queue->closed) {
            *out = makeMessage(nullptr, WM_QUIT, 0, 0);
            return 0;
        }
        const unsigned seen = queue->changes;
        waitOnQueue(lock, *queue, nextTimerDue(*queue, filter),
                    [&] { return queue->changes != seen || queue->closed; });
    }
}

} // namespace

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    platform::kernel::cancellationPoint();
    if (msg == nullptr) {
        return -1;
    }
    if (failNext.exchange(false)) {
        return -1;
    }
    return fetchMessage(msg, window, filterMin, filterMax, true, Mode::wait);
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (msg == nullptr) {
        return FALSE;
    }
    const int result =
        fetchMessage(msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, Mode::peek);
    return result > 0 ? TRUE : FALSE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& manager = WindowManager::get();
    std::unique_lock lock(manager.mutex);
    Window* target = manager.find(window);
    if (target == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (target->threadId == currentThreadId()) {
        lock.unlock();
        return callWindow(window, message, wParam, lParam);
    }
    auto targetQueue = manager.queueOf(target->threadId);
    if (!targetQueue || targetQueue->closed) {
        return 0;
    }
    auto ownQueue = manager.currentQueue();
    auto sent = std::make_shared<SentMessage>();
    sent->msg = makeMessage(window, message, wParam, lParam);
    sent->sender = ownQueue;
    targetQueue->sent.push_back(sent);
    manager.notify(*targetQueue);
    // While waiting, run what other threads send to this one: two threads sending to each
    // other never deadlock.
    while (!sent->done && !ownQueue->closed) {
        if (!ownQueue->sent.empty()) {
            dispatchSent(lock, *ownQueue);
            continue;
        }
        const unsigned seen = ownQueue->changes;
        waitOnQueue(lock, *ownQueue, std::nullopt,
                    [&] { return sent->done || ownQueue->changes != seen || ownQueue->closed; });
    }
    return sent->result;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& manager = WindowManager::get();
    std::lock_guard guard(manager.mutex);
    if (window == nullptr) {
        manager.postLocked(*manager.currentQueue(), makeMessage(nullptr, message, wParam, lParam));
        return TRUE;
    }
    Window* target = manager.find(window);
    if (target == nullptr) {
        ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto queue = manager.queueOf(target->threadId);
    if (!queue) {
        return FALSE;
    }
    manager.postLocked(*queue, makeMessage(window, message, wParam, lParam));
    return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& manager = WindowManager::get();
    std::lock_guard guard(manager.mutex);
    auto queue = threadId == currentThreadId() ? manager.currentQueue() : manager.queueOf(threadId);
    if (!queue) {
        ::SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    manager.postLocked(*queue, makeMessage(nullptr, message, wParam, lParam));
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    auto& manager = WindowManager::get();
    std::lock_guard guard(manager.mutex);
    auto queue = manager.currentQueue();
    queue->quit = true;
    queue->quitCode = exitCode;
    manager.notify(*queue);
}

// Keys that the platform turns into characters; printable characters arrive as WM_CHAR from
// the keyboard itself.
BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || msg->message != WM_KEYDOWN) {
        return FALSE;
    }
    switch (msg->wParam) {
    case VK_BACK:
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE:
        break;
    default:
        return FALSE;
    }
    auto& manager = WindowManager::get();
    std::lock_guard guard(manager.mutex);
    auto queue = manager.currentQueue();
    queue->posted.push_front(makeMessage(msg->hwnd, WM_CHAR, msg->wParam, 1));
    manager.notify(*queue);
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) {
        return 0;
    }
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, platform::clock::now());
        return 0;
    }
    return callWindow(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC timerProc) {
    auto& manager = WindowManager::get();
    std::lock_guard guard(manager.mutex);
    std::shared_ptr<MessageQueue> queue;
    if (window == nullptr) {
        queue = manager.currentQueue();
        if (id == 0 || !queue->timers.contains({nullptr, id})) {
            id = 1;
            while (queue->timers.contains({nullptr, id})) {
                ++id;
            }
        }
    } else {
        Window* target = manager.find(window);
        if (target == nullptr) {
            ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        queue = manager.queueOf(target->threadId);
        if (!queue) {
            return 0;
        }
    }
    const UINT period = elapseMs == 0 ? 1 : elapseMs;
    queue->timers[{window, id}] = Timer{period, platform::clock::now() + period, timerProc};
    manager.notify(*queue);
    return id == 0 ? 1 : id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    auto& manager = WindowManager::get();
    std::lock_guard guard(manager.mutex);
    std::shared_ptr<MessageQueue> queue;
    if (window == nullptr) {
        queue = manager.currentQueue();
    } else if (Window* target = manager.find(window)) {
        queue = manager.queueOf(target->threadId);
    }
    return queue && queue->timers.erase({window, id}) > 0 ? TRUE : FALSE;
}

namespace platform {

int pumpMessages() {
    constexpr int limit = 100000; // a window that never validates its paint would loop forever
    int count = 0;
    MSG msg{};
    while (count < limit && fetchMessage(&msg, nullptr, 0, 0, true, Mode::pump) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        ++count;
    }
    return count;
}

void failNextGetMessage() {
    failNext = true;
}

} // namespace platform
