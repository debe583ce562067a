// Connection Manager: the Internet destination as the machine's routes show it, or as a script
// plays it; the detailed status list written into the caller's buffer. As on a phone, whose
// Wi-Fi counts as connected whatever lies beyond it, a local network is a connection: a default
// route, or an interface that is up with an address on a subnet of its own.
#include "connmgr.h"
#include "kernel/Wait.h"
#include "net/RouteMonitor.h"
#include "platform/Clock.h"
#include "platform/Network.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>

namespace platform::net {
namespace {

constexpr DWORD infiniteTimeout = 0xffffffffu;
constexpr HRESULT insufficientBuffer = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
constexpr HRESULT timedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

using Entry = CONNMGR_CONNECTION_DETAILED_STATUS;

bool isConnected(DWORD status) {
    return (status & CONNMGR_STATUS_CONNECTED) != 0;
}

std::size_t textBytes(const std::wstring& text) {
    return text.empty() ? 0 : (text.size() + 1) * sizeof(WCHAR);
}

DWORD bytesNeeded(const std::vector<ScriptedConnection>& list) {
    std::size_t bytes = list.size() * sizeof(Entry);
    for (const auto& connection : list)
        bytes += textBytes(connection.description) + textBytes(connection.adapterName);
    return static_cast<DWORD>(bytes);
}

// Copies `text` to `cursor` (if not empty) and returns where it went; moves the cursor on.
WCHAR* placeText(const std::wstring& text, char*& cursor) {
    if (text.empty())
        return nullptr;
    auto* placed = reinterpret_cast<WCHAR*>(cursor);
    std::memcpy(placed, text.c_str(), textBytes(text));
    cursor += textBytes(text);
    return placed;
}

Entry describe(const ScriptedConnection& connection, char*& strings) {
    Entry entry{};
    entry.dwVer = CONNMGRDETAILEDSTATUS_VERSION;
    entry.dwParams = CONNMGRDETAILEDSTATUS_PARAM_TYPE | CONNMGRDETAILEDSTATUS_PARAM_SUBTYPE |
                     CONNMGRDETAILEDSTATUS_PARAM_DESTNET | CONNMGRDETAILEDSTATUS_PARAM_CONNSTATUS;
    entry.dwType = connection.type;
    entry.guidDestNet = connection.destination;
    entry.dwConnectionStatus = connection.status;
    entry.szDescription = placeText(connection.description, strings);
    if (entry.szDescription != nullptr)
        entry.dwParams |= CONNMGRDETAILEDSTATUS_PARAM_DESCRIPTION;
    entry.szAdapterName = placeText(connection.adapterName, strings);
    if (entry.szAdapterName != nullptr)
        entry.dwParams |= CONNMGRDETAILEDSTATUS_PARAM_ADAPTERNAME;
    return entry;
}

// The list in the caller's buffer: entries first, linked in order, then their strings.
HRESULT writeList(const std::vector<ScriptedConnection>& list, Entry* buffer, DWORD* size) {
    const DWORD needed = bytesNeeded(list);
    if (list.empty()) {
        // Nothing to list. A caller that walks the buffer anyway finds one blank entry that
        // names no destination, rather than whatever the buffer held.
        if (buffer != nullptr && *size >= sizeof(Entry))
            *buffer = Entry{};
        *size = 0;
        return S_OK;
    }
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        return insufficientBuffer;
    }
    char* strings = reinterpret_cast<char*>(buffer) + list.size() * sizeof(Entry);
    for (std::size_t i = 0; i < list.size(); ++i) {
        Entry entry = describe(list[i], strings);
        entry.pNext = i + 1 < list.size() ? &buffer[i + 1] : nullptr;
        std::memcpy(&buffer[i], &entry, sizeof entry);
    }
    *size = needed;
    return S_OK;
}

routes::DefaultRoute findConnection() {
    const auto route = routes::findDefaultRoute();
    return route.present ? route : routes::findLocalNetwork();
}

std::vector<ScriptedConnection> machineConnections() {
    const auto route = findConnection();
    ScriptedConnection internet;
    internet.status = route.present ? CONNMGR_STATUS_CONNECTED : CONNMGR_STATUS_DISCONNECTED;
    internet.adapterName = std::wstring(route.interfaceName.begin(), route.interfaceName.end());
    return {internet};
}

HANDLE newConnectionHandle() {
    static std::atomic<std::uintptr_t> next{0x10000};
    return reinterpret_cast<HANDLE>(next.fetch_add(4));
}

std::optional<DWORD> deadlineAfter(DWORD start, DWORD timeout) {
    if (timeout == infiniteTimeout)
        return std::nullopt;
    return start + timeout;
}

// Waits on the device clock until `deadline` passes (or forever without one); ends the thread
// if it is terminated meanwhile.
void waitOnClock(std::optional<DWORD> deadline) {
    std::mutex mutex;
    std::condition_variable never;
    std::unique_lock lock(mutex);
    kernel::waitUntil(lock, never, deadline, [] { return false; });
}

// Waits until the machine has a connection, or the deadline passes.
bool waitForConnection(std::optional<DWORD> deadline) {
    std::mutex mutex;
    std::condition_variable changedCondition;
    unsigned changes = 0;
    routes::RouteWatcher watcher([&] {
        {
            std::lock_guard guard(mutex);
            ++changes;
        }
        changedCondition.notify_all();
    });
    std::unique_lock lock(mutex);
    unsigned seen = changes;
    bool connected = findConnection().present;
    return kernel::waitUntil(lock, changedCondition, deadline, [&] {
        if (changes != seen) {
            seen = changes;
            connected = findConnection().present;
        }
        return connected;
    });
}

struct Outcome {
    HRESULT result;
    DWORD status;
};

class ConnectionManager {
public:
    static ConnectionManager& instance() {
        static ConnectionManager manager;
        return manager;
    }

    HRESULT query(Entry* buffer, DWORD* size) {
        if (size == nullptr)
            return E_INVALIDARG;
        std::optional<ConnectionScript> script;
        std::vector<ScriptedConnection> list;
        {
            std::lock_guard lock(mutex_);
            configure();
            calls_.queryBufferSizes.push_back(*size);
            if (script_) {
                if (script_->queryResult != S_OK)
                    return script_->queryResult;
                list = scriptedList(queries_++);
            }
            script = script_;
        }
        if (!script)
            list = machineConnections();
        return writeList(list, buffer, size);
    }

    HRESULT establish(CONNMGR_CONNECTIONINFO* info, HANDLE* connection, DWORD timeout,
                      DWORD* status) {
        if (info == nullptr || connection == nullptr || info->cbSize != sizeof *info ||
            (info->dwParams & CONNMGR_PARAM_GUIDDESTNET) == 0)
            return E_INVALIDARG;
        *connection = nullptr;
        Outcome outcome = establishOutcome(info->guidDestNet, timeout);
        if (outcome.result == S_OK)
            *connection = newConnectionHandle();
        if (status != nullptr)
            *status = outcome.status;
        return outcome.result;
    }

    void script(ConnectionScript script) {
        std::lock_guard lock(mutex_);
        configured_ = true;
        script_ = std::move(script);
        resetRun();
    }

    void useMachine() {
        std::lock_guard lock(mutex_);
        configured_ = true;
        script_.reset();
        resetRun();
    }

    ConnectionManagerCalls calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    // The environment's script applies unless a test has chosen already.
    void configure() {
        if (configured_)
            return;
        configured_ = true;
        const char* text = std::getenv("DAWNBELL_CONNMGR");
        if (text == nullptr || *text == '\0')
            return;
        ConnectionScript parsed;
        std::string error;
        if (parseConnectionScript(text, parsed, error))
            script_ = std::move(parsed);
        else
            std::cerr << "DAWNBELL_CONNMGR: " << error << "; using the machine's own routes\n";
    }

    void resetRun() {
        queries_ = 0;
        established_ = false;
        calls_ = {};
    }

    // The list the n-th query sees; once established, the Internet shows as connected.
    std::vector<ScriptedConnection> scriptedList(std::size_t n) const {
        if (script_->lists.empty())
            return {};
        auto list = script_->lists[std::min(n, script_->lists.size() - 1)];
        if (established_) {
            for (auto& connection : list) {
                if (connection.destination == IID_DestNetInternet)
                    connection.status = CONNMGR_STATUS_CONNECTED;
            }
        }
        return list;
    }

    bool scriptedInternetConnected() const {
        if (established_)
            return true;
        const auto list = scriptedList(queries_ == 0 ? 0 : queries_ - 1);
        bool connected = false;
        for (const auto& connection : list) {
            if (connection.destination == IID_DestNetInternet)
                connected = isConnected(connection.status);
        }
        return connected;
    }

    Outcome establishOutcome(const GUID& destination, DWORD timeout) {
        const DWORD start = clock::now();
        std::optional<ConnectionScript> script;
        bool alreadyConnected = false;
        {
            std::lock_guard lock(mutex_);
            configure();
            calls_.establishTimeouts.push_back(timeout);
            script = script_;
            alreadyConnected = script_ && scriptedInternetConnected();
        }
        if (destination != IID_DestNetInternet)
            return {E_FAIL, CONNMGR_STATUS_NOPATHTODESTINATION};
        if (!script) {
            if (waitForConnection(deadlineAfter(start, timeout)))
                return {S_OK, CONNMGR_STATUS_CONNECTED};
            return {timedOut, CONNMGR_STATUS_WAITINGFORPATH};
        }
        if (alreadyConnected)
            return {S_OK, CONNMGR_STATUS_CONNECTED};
        return playEstablish(*script, start, timeout);
    }

    Outcome playEstablish(const ConnectionScript& script, DWORD start, DWORD timeout) {
        const bool inTime = timeout == infiniteTimeout || script.establishDelayMs <= timeout;
        if (script.establish == EstablishOutcome::never || !inTime) {
            waitOnClock(deadlineAfter(start, timeout));
            return {timedOut, CONNMGR_STATUS_WAITINGCONNECTION};
        }
        if (script.establishDelayMs > 0)
            waitOnClock(start + script.establishDelayMs);
        if (script.establish == EstablishOutcome::fail)
            return {E_FAIL, script.failureStatus};
        std::lock_guard lock(mutex_);
        established_ = true;
        return {S_OK, CONNMGR_STATUS_CONNECTED};
    }

    std::mutex mutex_;
    bool configured_ = false;
    std::optional<ConnectionScript> script_;
    std::size_t queries_ = 0;
    bool established_ = false;
    ConnectionManagerCalls calls_;
};

} // namespace

void scriptConnectionManager(ConnectionScript script) {
    ConnectionManager::instance().script(std::move(script));
}

void useRealConnectionManager() {
    ConnectionManager::instance().useMachine();
}

ConnectionManagerCalls connectionManagerCalls() {
    return ConnectionManager::instance().calls();
}

} // namespace platform::net

HRESULT ConnMgrQueryDetailedStatus(CONNMGR_CONNECTION_DETAILED_STATUS* pStatusBuffer,
                                   DWORD* pcbBufferSize) {
    return platform::net::ConnectionManager::instance().query(pStatusBuffer, pcbBufferSize);
}

HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection,
                                       DWORD dwTimeout, DWORD* pdwStatus) {
    return platform::net::ConnectionManager::instance().establish(pConnInfo, phConnection,
                                                                  dwTimeout, pdwStatus);
}
