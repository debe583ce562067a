// Winsock's C surface: start-up and clean-up, the socket handles and their calls, with
// Winsock's results and error codes. The host's sockets are reached through HostSockets.
#include "kernel/Wait.h"
#include "net/Confinement.h"
#include "net/HostSockets.h"
#include "platform/Network.h"
#include "winsock2.h"
#include "ws2tcpip.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>

namespace platform::winsock {
namespace {

constexpr WORD highestVersion = MAKEWORD(2, 2);

thread_local int lastError = 0;

// Set by confineToLoopback: nothing leaves the machine and no name is looked up.
std::atomic<bool> loopbackOnly{false};

bool isLoopback(const net::host::Endpoint& endpoint) {
    if (endpoint.family == AF_INET)
        return endpoint.address[0] == 127;
    if (endpoint.family != AF_INET6)
        return false;
    static constexpr std::array<std::uint8_t, 16> ipv6Loopback{0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr std::array<std::uint8_t, 12> mappedPrefix{0, 0, 0, 0, 0,    0,
                                                               0, 0, 0, 0, 0xff, 0xff};
    const bool mappedLoopback =
        std::equal(mappedPrefix.begin(), mappedPrefix.end(), endpoint.address.begin()) &&
        endpoint.address[12] == 127;
    return endpoint.address == ipv6Loopback || mappedLoopback;
}

void setError(int error) {
    lastError = error;
}

int fail(int error) {
    setError(error);
    return SOCKET_ERROR;
}

// Owns a host descriptor; closed when the last user lets go, so that a socket closed on one
// thread never pulls the descriptor from under a call still running on another.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { net::host::closeDescriptor(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

class Winsock {
public:
    static Winsock& instance() {
        static Winsock winsock;
        return winsock;
    }

    int startup(WORD requested, WSADATA* data) {
        std::lock_guard lock(mutex_);
        if (startupError_ != 0)
            return startupError_;
        if (data == nullptr)
            return WSAEFAULT;
        if (LOBYTE(requested) < 1)
            return WSAVERNOTSUPPORTED;
        *data = WSADATA{};
        data->wVersion = reportedVersion_ ? *reportedVersion_ : negotiated(requested);
        data->wHighVersion = highestVersion;
        copyText(data->szDescription, sizeof data->szDescription, "Dawnbell Winsock 2.2");
        copyText(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
        data->iMaxSockets = 0;
        data->iMaxUdpDg = 0;
        ++starts_;
        return 0;
    }

    int cleanup() {
        std::lock_guard lock(mutex_);
        if (starts_ == 0)
            return fail(WSANOTINITIALISED);
        if (--starts_ == 0)
            sockets_.clear();
        return 0;
    }

    bool started() {
        std::lock_guard lock(mutex_);
        return starts_ > 0;
    }

    SOCKET add(int fd) {
        auto descriptor = std::make_shared<Descriptor>(fd);
        std::lock_guard lock(mutex_);
        const SOCKET handle = nextHandle_;
        nextHandle_ += 4;
        sockets_.emplace(handle, std::move(descriptor));
        return handle;
    }

    std::shared_ptr<Descriptor> find(SOCKET handle) {
        std::lock_guard lock(mutex_);
        const auto found = sockets_.find(handle);
        return found == sockets_.end() ? nullptr : found->second;
    }

    bool remove(SOCKET handle) {
        std::shared_ptr<Descriptor> removed;
        std::lock_guard lock(mutex_);
        const auto found = sockets_.find(handle);
        if (found == sockets_.end())
            return false;
        removed = std::move(found->second);
        sockets_.erase(found);
        return true;
    }

    void failStartup(int error) {
        std::lock_guard lock(mutex_);
        startupError_ = error;
    }

    void reportVersion(WORD version) {
        std::lock_guard lock(mutex_);
        reportedVersion_ = version;
    }

    void reset() {
        std::map<SOCKET, std::shared_ptr<Descriptor>> closing;
        std::lock_guard lock(mutex_);
        startupError_ = 0;
        reportedVersion_.reset();
        starts_ = 0;
        closing.swap(sockets_);
    }

private:
    static WORD negotiated(WORD requested) {
        const int asked = LOBYTE(requested) * 256 + HIBYTE(requested);
        const int highest = LOBYTE(highestVersion) * 256 + HIBYTE(highestVersion);
        return asked >= highest ? highestVersion : requested;
    }

    static void copyText(char* target, std::size_t size, const char* text) {
        const std::size_t length = std::min(std::strlen(text), size - 1);
        std::memcpy(target, text, length);
        target[length] = '\0';
    }

    std::mutex mutex_;
    int starts_ = 0;
    int startupError_ = 0;
    std::optional<WORD> reportedVersion_;
    SOCKET nextHandle_ = 0x100;
    std::map<SOCKET, std::shared_ptr<Descriptor>> sockets_;
};

// The open socket behind `s`, or null with the Winsock error set.
std::shared_ptr<Descriptor> openSocket(SOCKET s) {
    auto& winsock = Winsock::instance();
    if (!winsock.started()) {
        setError(WSANOTINITIALISED);
        return nullptr;
    }
    auto descriptor = winsock.find(s);
    if (!descriptor)
        setError(WSAENOTSOCK);
    return descriptor;
}

// Reads a Winsock socket address of `length` bytes; false with the error set if it is unusable.
bool toEndpoint(const sockaddr* address, int length, net::host::Endpoint& endpoint) {
    if (address == nullptr || length < static_cast<int>(sizeof(sockaddr_in))) {
        setError(WSAEFAULT);
        return false;
    }
    endpoint = net::host::Endpoint{};
    endpoint.family = address->sa_family;
    if (address->sa_family == AF_INET) {
        sockaddr_in in;
        std::memcpy(&in, address, sizeof in);
        endpoint.port = in.sin_port;
        std::memcpy(endpoint.address.data(), &in.sin_addr, sizeof in.sin_addr);
        return true;
    }
    if (address->sa_family == AF_INET6) {
        if (length < static_cast<int>(sizeof(sockaddr_in6))) {
            setError(WSAEFAULT);
            return false;
        }
        sockaddr_in6 in6;
        std::memcpy(&in6, address, sizeof in6);
        endpoint.port = in6.sin6_port;
        endpoint.flowInfo = in6.sin6_flowinfo;
        std::memcpy(endpoint.address.data(), &in6.sin6_addr, sizeof in6.sin6_addr);
        endpoint.scopeId = in6.sin6_scope_id;
        return true;
    }
    setError(WSAEAFNOSUPPORT);
    return false;
}

// Writes an endpoint in Winsock's layout; false with WSAEFAULT if the room is too small.
bool fromEndpoint(const net::host::Endpoint& endpoint, sockaddr* address, int* length) {
    if (address == nullptr || length == nullptr) {
        setError(WSAEFAULT);
        return false;
    }
    if (endpoint.family == AF_INET6) {
        if (*length < static_cast<int>(sizeof(sockaddr_in6))) {
            setError(WSAEFAULT);
            return false;
        }
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_port = endpoint.port;
        in6.sin6_flowinfo = endpoint.flowInfo;
        std::memcpy(&in6.sin6_addr, endpoint.address.data(), sizeof in6.sin6_addr);
        in6.sin6_scope_id = endpoint.scopeId;
        std::memcpy(address, &in6, sizeof in6);
        *length = sizeof in6;
        return true;
    }
    if (*length < static_cast<int>(sizeof(sockaddr_in))) {
        setError(WSAEFAULT);
        return false;
    }
    sockaddr_in in{};
    in.sin_family = static_cast<short>(endpoint.family);
    in.sin_port = endpoint.port;
    std::memcpy(&in.sin_addr, endpoint.address.data(), sizeof in.sin_addr);
    std::memcpy(address, &in, sizeof in);
    *length = sizeof in;
    return true;
}

// One part of a dotted address: decimal, octal after a leading 0, hexadecimal after 0x.
bool parseAddressPart(const char*& p, std::uint64_t& value) {
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    int base = 10;
    if (*p == '0') {
        ++p;
        base = 8;
        if (*p == 'x' || *p == 'X') {
            ++p;
            base = 16;
            if (!std::isxdigit(static_cast<unsigned char>(*p)))
                return false;
        }
    }
    value = 0;
    for (;; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        int digit = 0;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            break;
        if (digit >= base)
            return false;
        value = value * base + digit;
        if (value > 0xffffffffu)
            return false;
    }
    return true;
}

// A list node of getaddrinfo's result: the record first, then its address; the canonical name
// is a separate allocation that the node owns.
struct LookupNode {
    addrinfo info{};
    sockaddr_storage address{};
    LookupNode() = default;
    ~LookupNode() { delete[] info.ai_canonname; }
    LookupNode(const LookupNode&) = delete;
    LookupNode& operator=(const LookupNode&) = delete;
};
static_assert(std::is_standard_layout_v<LookupNode>);

LookupNode* makeNode(const net::host::LookupResult& result) {
    auto* node = new (std::nothrow) LookupNode;
    if (node == nullptr)
        return nullptr;
    node->info.ai_flags = result.flags;
    node->info.ai_family = result.family;
    node->info.ai_socktype = result.socketType;
    node->info.ai_protocol = result.protocol;
    int length = sizeof node->address;
    fromEndpoint(result.endpoint, reinterpret_cast<sockaddr*>(&node->address), &length);
    node->info.ai_addrlen = static_cast<std::size_t>(length);
    node->info.ai_addr = reinterpret_cast<sockaddr*>(&node->address);
    if (result.canonicalName) {
        const auto& name = *result.canonicalName;
        node->info.ai_canonname = new (std::nothrow) char[name.size() + 1];
        if (node->info.ai_canonname != nullptr)
            std::memcpy(node->info.ai_canonname, name.c_str(), name.size() + 1);
    }
    return node;
}

} // namespace

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
    return Winsock::instance().startup(wVersionRequested, lpWSAData);
}

int WSACleanup() {
    return Winsock::instance().cleanup();
}

int WSAGetLastError() {
    return lastError;
}

SOCKET socket(int af, int type, int protocol) {
    auto& winsock = Winsock::instance();
    if (!winsock.started()) {
        setError(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    int error = 0;
    const int fd = net::host::openSocket(af, type, protocol, error);
    if (fd < 0) {
        setError(error);
        return INVALID_SOCKET;
    }
    return winsock.add(fd);
}

int closesocket(SOCKET s) {
    auto& winsock = Winsock::instance();
    if (!winsock.started())
        return fail(WSANOTINITIALISED);
    return winsock.remove(s) ? 0 : fail(WSAENOTSOCK);
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
    const auto descriptor = openSocket(s);
    net::host::Endpoint endpoint;
    if (!descriptor || !toEndpoint(name, namelen, endpoint))
        return SOCKET_ERROR;
    int error = 0;
    return net::host::bindTo(descriptor->fd(), endpoint, error) ? 0 : fail(error);
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
    const auto descriptor = openSocket(s);
    if (!descriptor)
        return SOCKET_ERROR;
    net::host::Endpoint endpoint;
    int error = 0;
    if (!net::host::localName(descriptor->fd(), endpoint, error))
        return fail(error);
    return fromEndpoint(endpoint, name, namelen) ? 0 : SOCKET_ERROR;
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    const auto descriptor = openSocket(s);
    if (!descriptor)
        return SOCKET_ERROR;
    int error = 0;
    if (level == IPPROTO_IP) {
        return net::host::setIpOption(descriptor->fd(), optname, optval, optlen, error)
                   ? 0
                   : fail(error);
    }
    return net::host::setOption(descriptor->fd(), level, optname, optval, optlen, error)
               ? 0
               : fail(error);
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    const auto descriptor = openSocket(s);
    if (!descriptor)
        return SOCKET_ERROR;
    if (optlen == nullptr)
        return fail(WSAEFAULT);
    int error = 0;
    return net::host::getOption(descriptor->fd(), level, optname, optval, *optlen, error)
               ? 0
               : fail(error);
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
    const auto descriptor = openSocket(s);
    if (!descriptor)
        return SOCKET_ERROR;
    if (len < 0 || (buf == nullptr && len > 0))
        return fail(WSAEFAULT);
    net::host::Endpoint endpoint;
    if (to != nullptr && !toEndpoint(to, tolen, endpoint))
        return SOCKET_ERROR;
    if (to != nullptr && loopbackOnly && !isLoopback(endpoint))
        return fail(WSAENETUNREACH);
    int error = 0;
    const long sent = net::host::sendDatagram(descriptor->fd(), buf, static_cast<std::size_t>(len),
                                              flags, to != nullptr ? &endpoint : nullptr, error);
    return sent < 0 ? fail(error) : static_cast<int>(sent);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
    const auto descriptor = openSocket(s);
    if (!descriptor)
        return SOCKET_ERROR;
    if (len < 0 || (buf == nullptr && len > 0) || (from != nullptr && fromlen == nullptr))
        return fail(WSAEFAULT);
    net::host::Endpoint endpoint;
    int error = 0;
    const long got = net::host::receiveDatagram(
        descriptor->fd(), buf, static_cast<std::size_t>(len), flags, &endpoint, error);
    if (got < 0)
        return fail(error);
    if (from != nullptr && !fromEndpoint(endpoint, from, fromlen))
        return SOCKET_ERROR;
    return static_cast<int>(got);
}

u_long inet_addr(const char* cp) {
    if (cp == nullptr)
        return INADDR_NONE;
    std::uint64_t parts[4] = {};
    int count = 0;
    const char* p = cp;
    for (;;) {
        if (!parseAddressPart(p, parts[count]))
            return INADDR_NONE;
        ++count;
        if (*p != '.')
            break;
        if (count == 4)
            return INADDR_NONE;
        ++p;
    }
    if (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p)))
        return INADDR_NONE;
    // The last part fills all the bytes that the earlier ones leave.
    const std::uint64_t lastLimit = 0xffffffffu >> (8 * (count - 1));
    if (parts[count - 1] > lastLimit)
        return INADDR_NONE;
    std::uint64_t value = parts[count - 1];
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xff)
            return INADDR_NONE;
        value |= parts[i] << (24 - 8 * i);
    }
    return htonl(static_cast<u_long>(value));
}

namespace {

// Runs a host resolver call on a helper thread and waits for it as a platform wait: a caller
// terminated meanwhile leaves at once, and the helper drops the result when it is done.
template <typename Result>
Result awaitResolver(std::function<Result()> call) {
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
    };
    auto outcome = std::make_shared<Outcome>();
    std::thread([outcome, call = std::move(call)] {
        Result result = call();
        const std::lock_guard lock(outcome->mutex);
        outcome->result = std::move(result);
        outcome->done.notify_all();
    }).detach();
    std::unique_lock lock(outcome->mutex);
    kernel::waitUntil(lock, outcome->done, std::nullopt,
                      [&] { return outcome->result.has_value(); });
    return std::move(*outcome->result);
}

struct FoundName {
    int code = 0;
    std::string host;
    std::string service;
};

} // namespace

int getaddrinfo(const char* nodename, const char* servname, const ADDRINFOA* hints,
                PADDRINFOA* res) {
    if (!Winsock::instance().started()) {
        setError(WSANOTINITIALISED);
        return WSANOTINITIALISED;
    }
    if (res == nullptr) {
        setError(WSAEFAULT);
        return WSAEFAULT;
    }
    *res = nullptr;
    net::host::LookupHints hostHints;
    if (hints != nullptr)
        hostHints = {hints->ai_flags, hints->ai_family, hints->ai_socktype, hints->ai_protocol};
    if (loopbackOnly)
        hostHints.flags |= AI_NUMERICHOST;
    struct Found {
        int code = 0;
        std::vector<net::host::LookupResult> results;
    };
    const bool useHints = hints != nullptr || loopbackOnly;
    std::optional<std::string> nodeText;
    std::optional<std::string> serviceText;
    if (nodename != nullptr)
        nodeText = nodename;
    if (servname != nullptr)
        serviceText = servname;
    Found found = awaitResolver<Found>([nodeText, serviceText, hostHints, useHints] {
        Found lookup;
        lookup.code = net::host::lookUp(nodeText ? nodeText->c_str() : nullptr,
                                        serviceText ? serviceText->c_str() : nullptr,
                                        useHints ? &hostHints : nullptr, lookup.results);
        return lookup;
    });
    const int code = found.code;
    const auto& results = found.results;
    if (code != 0) {
        setError(code);
        return code;
    }
    addrinfo** link = res;
    for (const auto& result : results) {
        LookupNode* node = makeNode(result);
        if (node == nullptr) {
            freeaddrinfo(*res);
            *res = nullptr;
            setError(WSA_NOT_ENOUGH_MEMORY);
            return WSA_NOT_ENOUGH_MEMORY;
        }
        *link = &node->info;
        link = &node->info.ai_next;
    }
    setError(0);
    return 0;
}

namespace {

bool copyName(const std::string& text, char* buffer, DWORD size) {
    if (buffer == nullptr || size == 0)
        return true;
    if (text.size() >= size)
        return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

} // namespace

int getnameinfo(const sockaddr* pSockaddr, int SockaddrLength, char* pNodeBuffer,
                DWORD NodeBufferSize, char* pServiceBuffer, DWORD ServiceBufferSize, int Flags) {
    kernel::cancellationPoint();
    if (!Winsock::instance().started()) {
        setError(WSANOTINITIALISED);
        return WSANOTINITIALISED;
    }
    net::host::Endpoint endpoint;
    if (pSockaddr == nullptr || !toEndpoint(pSockaddr, SockaddrLength, endpoint)) {
        setError(WSAEFAULT);
        return WSAEFAULT;
    }
    if ((pNodeBuffer == nullptr || NodeBufferSize == 0) &&
        (pServiceBuffer == nullptr || ServiceBufferSize == 0)) {
        setError(EAI_NONAME);
        return EAI_NONAME;
    }
    // Confined, no name is asked of anyone: a name that must be found is not.
    if (loopbackOnly && (Flags & NI_NAMEREQD) != 0 && !isLoopback(endpoint)) {
        setError(EAI_NONAME);
        return EAI_NONAME;
    }
    if (loopbackOnly)
        Flags |= NI_NUMERICHOST;
    const FoundName found = awaitResolver<FoundName>([endpoint, Flags] {
        FoundName name;
        name.code = net::host::nameOf(endpoint, Flags, name.host, name.service);
        return name;
    });
    if (found.code != 0) {
        setError(found.code);
        return found.code;
    }
    if (!copyName(found.host, pNodeBuffer, NodeBufferSize) ||
        !copyName(found.service, pServiceBuffer, ServiceBufferSize)) {
        setError(WSAEFAULT);
        return WSAEFAULT;
    }
    setError(0);
    return 0;
}

void freeaddrinfo(PADDRINFOA ai) {
    while (ai != nullptr) {
        addrinfo* next = ai->ai_next;
        delete reinterpret_cast<LookupNode*>(ai);
        ai = next;
    }
}

} // namespace platform::winsock

namespace platform::net {

void failWinsockStartup(int error) {
    winsock::Winsock::instance().failStartup(error);
}

void reportWinsockVersion(WORD version) {
    winsock::Winsock::instance().reportVersion(version);
}

void resetWinsock() {
    winsock::Winsock::instance().reset();
    winsock::loopbackOnly = false;
}

void confineToLoopback() {
    winsock::loopbackOnly = true;
}

bool confinedToLoopback() {
    return winsock::loopbackOnly;
}

int hostDescriptor(UINT_PTR socket) {
    const auto descriptor = winsock::Winsock::instance().find(socket);
    return descriptor ? descriptor->fd() : -1;
}

} // namespace platform::net
