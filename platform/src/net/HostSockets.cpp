// The host side of Winsock: POSIX sockets and getaddrinfo, with Winsock's values translated at
// each call.
#include "net/HostSockets.h"

#include "kernel/Wait.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform::net::host {
namespace {

// Winsock's values, as winsock2.h gives them (that header is not visible here).
constexpr int wsAfUnspec = 0;
constexpr int wsAfInet = 2;
constexpr int wsAfInet6 = 23;
constexpr int wsSolSocket = 0xffff;
constexpr int wsSoRcvTimeo = 0x1006;
constexpr int wsSoSndTimeo = 0x1005;
constexpr int wsSoError = 0x1007;
constexpr int wsMsgOob = 0x1;
constexpr int wsMsgPeek = 0x2;
constexpr int wsMsgDontRoute = 0x4;

constexpr int wsEINTR = 10004;
constexpr int wsEBADF = 10009;
constexpr int wsEACCES = 10013;
constexpr int wsEFAULT = 10014;
constexpr int wsEINVAL = 10022;
constexpr int wsEMFILE = 10024;
constexpr int wsEWOULDBLOCK = 10035;
constexpr int wsEINPROGRESS = 10036;
constexpr int wsEALREADY = 10037;
constexpr int wsENOTSOCK = 10038;
constexpr int wsEDESTADDRREQ = 10039;
constexpr int wsEMSGSIZE = 10040;
constexpr int wsEPROTOTYPE = 10041;
constexpr int wsENOPROTOOPT = 10042;
constexpr int wsEPROTONOSUPPORT = 10043;
constexpr int wsESOCKTNOSUPPORT = 10044;
constexpr int wsEOPNOTSUPP = 10045;
constexpr int wsEPFNOSUPPORT = 10046;
constexpr int wsEAFNOSUPPORT = 10047;
constexpr int wsEADDRINUSE = 10048;
constexpr int wsEADDRNOTAVAIL = 10049;
constexpr int wsENETDOWN = 10050;
constexpr int wsENETUNREACH = 10051;
constexpr int wsENETRESET = 10052;
constexpr int wsECONNABORTED = 10053;
constexpr int wsECONNRESET = 10054;
constexpr int wsENOBUFS = 10055;
constexpr int wsEISCONN = 10056;
constexpr int wsENOTCONN = 10057;
constexpr int wsESHUTDOWN = 10058;
constexpr int wsETIMEDOUT = 10060;
constexpr int wsECONNREFUSED = 10061;
constexpr int wsEHOSTDOWN = 10064;
constexpr int wsEHOSTUNREACH = 10065;
constexpr int wsTYPE_NOT_FOUND = 10109;
constexpr int wsHOST_NOT_FOUND = 11001;
constexpr int wsTRY_AGAIN = 11002;
constexpr int wsNO_RECOVERY = 11003;
constexpr int wsNOT_ENOUGH_MEMORY = 8;

constexpr int wsAiPassive = 0x01;
constexpr int wsAiCanonName = 0x02;
constexpr int wsAiNumericHost = 0x04;
constexpr int wsAiNumericServ = 0x08;
constexpr int wsAiAll = 0x0100;
constexpr int wsAiAddrConfig = 0x0400;
constexpr int wsAiV4Mapped = 0x0800;

int hostFamily(int winsockFamily) {
    switch (winsockFamily) {
    case wsAfUnspec:
        return AF_UNSPEC;
    case wsAfInet:
        return AF_INET;
    case wsAfInet6:
        return AF_INET6;
    default:
        return -1;
    }
}

int winsockFamily(int family) {
    switch (family) {
    case AF_INET:
        return wsAfInet;
    case AF_INET6:
        return wsAfInet6;
    default:
        return wsAfUnspec;
    }
}

// The host's option for a Winsock SOL_SOCKET option; -1 if there is none.
int hostSocketOption(int name) {
    switch (name) {
    case 0x0001:
        return SO_DEBUG;
    case 0x0004:
        return SO_REUSEADDR;
    case 0x0008:
        return SO_KEEPALIVE;
    case 0x0010:
        return SO_DONTROUTE;
    case 0x0020:
        return SO_BROADCAST;
    case 0x1001:
        return SO_SNDBUF;
    case 0x1002:
        return SO_RCVBUF;
    case wsSoSndTimeo:
        return SO_SNDTIMEO;
    case wsSoRcvTimeo:
        return SO_RCVTIMEO;
    case wsSoError:
        return SO_ERROR;
    case 0x1008:
        return SO_TYPE;
    default:
        return -1;
    }
}

bool isTimeoutOption(int name) {
    return name == wsSoRcvTimeo || name == wsSoSndTimeo;
}

// Host message flags for Winsock ones; false when a flag has no host meaning.
bool hostMessageFlags(int flags, int& hostFlags) {
    hostFlags = MSG_NOSIGNAL;
    if (flags & wsMsgOob)
        hostFlags |= MSG_OOB;
    if (flags & wsMsgPeek)
        hostFlags |= MSG_PEEK;
    if (flags & wsMsgDontRoute)
        hostFlags |= MSG_DONTROUTE;
    return (flags & ~(wsMsgOob | wsMsgPeek | wsMsgDontRoute)) == 0;
}

// The host's form of an endpoint; its length, or 0 for a family the host doesn't take.
socklen_t toHost(const Endpoint& endpoint, sockaddr_storage& storage) {
    std::memset(&storage, 0, sizeof storage);
    if (endpoint.family == wsAfInet) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = endpoint.port;
        std::memcpy(&in->sin_addr, endpoint.address.data(), sizeof in->sin_addr);
        return sizeof(sockaddr_in);
    }
    if (endpoint.family == wsAfInet6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = endpoint.port;
        in6->sin6_flowinfo = endpoint.flowInfo;
        std::memcpy(&in6->sin6_addr, endpoint.address.data(), sizeof in6->sin6_addr);
        in6->sin6_scope_id = endpoint.scopeId;
        return sizeof(sockaddr_in6);
    }
    return 0;
}

Endpoint fromHost(const sockaddr* address) {
    Endpoint endpoint;
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        endpoint.family = wsAfInet;
        endpoint.port = in->sin_port;
        std::memcpy(endpoint.address.data(), &in->sin_addr, sizeof in->sin_addr);
    } else if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        endpoint.family = wsAfInet6;
        endpoint.port = in6->sin6_port;
        endpoint.flowInfo = in6->sin6_flowinfo;
        std::memcpy(endpoint.address.data(), &in6->sin6_addr, sizeof in6->sin6_addr);
        endpoint.scopeId = in6->sin6_scope_id;
    }
    return endpoint;
}

// An eventfd that a TerminateThread (or a moving clock) writes to, to end a poll.
class WakeDescriptor {
public:
    WakeDescriptor() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~WakeDescriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    WakeDescriptor(const WakeDescriptor&) = delete;
    WakeDescriptor& operator=(const WakeDescriptor&) = delete;
    int fd() const { return fd_; }
    void signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(fd_, &one, sizeof one);
    }
    void drain() const {
        std::uint64_t count = 0;
        [[maybe_unused]] auto got = read(fd_, &count, sizeof count);
    }

private:
    int fd_;
};

std::optional<std::chrono::milliseconds> receiveTimeout(int fd) {
    timeval value{};
    socklen_t length = sizeof value;
    if (getsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &value, &length) != 0)
        return std::nullopt;
    const auto ms = std::chrono::milliseconds(value.tv_sec * 1000 + value.tv_usec / 1000);
    if (ms.count() == 0)
        return std::nullopt;
    return ms;
}

// Waits until `fd` can be read. False with `error` set on a timeout or a failed poll.
bool waitReadable(int fd, int& error) {
    WakeDescriptor wake;
    kernel::ScopedWaker waker([&wake] { wake.signal(); });
    const auto timeout = receiveTimeout(fd);
    const auto deadline =
        std::chrono::steady_clock::now() + timeout.value_or(std::chrono::hours(0));
    for (;;) {
        kernel::cancellationPoint();
        int waitMs = -1;
        if (timeout) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                error = wsETIMEDOUT;
                return false;
            }
            waitMs = static_cast<int>(std::min<long long>(left.count(), INT_MAX));
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake.fd(), POLLIN, 0}};
        const int ready = poll(fds, wake.fd() >= 0 ? 2 : 1, waitMs);
        if (ready < 0 && errno != EINTR) {
            error = winsockError(errno);
            return false;
        }
        if (ready > 0 && (fds[1].revents & POLLIN))
            wake.drain();
        if (ready > 0 && fds[0].revents != 0)
            return true;
    }
}

bool isAllDigits(const char* text) {
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

// Above 65535, glibc wraps a numeric service; Winsock's callers expect a refusal.
bool isNumericServiceOutOfRange(const char* service) {
    if (service == nullptr || !isAllDigits(service))
        return false;
    const std::size_t length = std::strlen(service);
    return length > 5 || std::strtoul(service, nullptr, 10) > 65535;
}

bool hostLookupFlags(int flags, int& hostFlags) {
    constexpr int known = wsAiPassive | wsAiCanonName | wsAiNumericHost | wsAiNumericServ |
                          wsAiAll | wsAiAddrConfig | wsAiV4Mapped;
    hostFlags = flags & (wsAiPassive | wsAiCanonName | wsAiNumericHost);
    if (flags & wsAiNumericServ)
        hostFlags |= AI_NUMERICSERV;
    if (flags & wsAiAll)
        hostFlags |= AI_ALL;
    if (flags & wsAiAddrConfig)
        hostFlags |= AI_ADDRCONFIG;
    if (flags & wsAiV4Mapped)
        hostFlags |= AI_V4MAPPED;
    return (flags & ~known) == 0;
}

int winsockLookupError(int code) {
    switch (code) {
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return wsHOST_NOT_FOUND;
    case EAI_AGAIN:
        return wsTRY_AGAIN;
    case EAI_FAIL:
        return wsNO_RECOVERY;
    case EAI_FAMILY:
        return wsEAFNOSUPPORT;
    case EAI_MEMORY:
        return wsNOT_ENOUGH_MEMORY;
    case EAI_SERVICE:
        return wsTYPE_NOT_FOUND;
    case EAI_SOCKTYPE:
        return wsESOCKTNOSUPPORT;
    case EAI_BADFLAGS:
        return wsEINVAL;
    case EAI_SYSTEM:
        return winsockError(errno);
    default:
        return wsNO_RECOVERY;
    }
}

constexpr int wsNiNoFqdn = 0x01;
constexpr int wsNiNumericHost = 0x02;
constexpr int wsNiNameReqd = 0x04;
constexpr int wsNiNumericServ = 0x08;
constexpr int wsNiDgram = 0x10;

constexpr int wsIpMulticastIf = 9;
constexpr int wsIpMulticastTtl = 10;

} // namespace

int nameOf(const Endpoint& endpoint, int flags, std::string& host, std::string& service) {
    constexpr int known = wsNiNoFqdn | wsNiNumericHost | wsNiNameReqd | wsNiNumericServ | wsNiDgram;
    if ((flags & ~known) != 0) {
        return wsEINVAL;
    }
    int hostFlags = 0;
    hostFlags |= (flags & wsNiNoFqdn) ? NI_NOFQDN : 0;
    hostFlags |= (flags & wsNiNumericHost) ? NI_NUMERICHOST : 0;
    hostFlags |= (flags & wsNiNameReqd) ? NI_NAMEREQD : 0;
    hostFlags |= (flags & wsNiNumericServ) ? NI_NUMERICSERV : 0;
    hostFlags |= (flags & wsNiDgram) ? NI_DGRAM : 0;
    sockaddr_storage storage;
    const socklen_t length = toHost(endpoint, storage);
    if (length == 0) {
        return wsEAFNOSUPPORT;
    }
    char hostBuffer[NI_MAXHOST] = {};
    char serviceBuffer[NI_MAXSERV] = {};
    const int code =
        ::getnameinfo(reinterpret_cast<sockaddr*>(&storage), length, hostBuffer, sizeof hostBuffer,
                      serviceBuffer, sizeof serviceBuffer, hostFlags);
    if (code != 0) {
        return winsockLookupError(code);
    }
    host = hostBuffer;
    service = serviceBuffer;
    return 0;
}

bool setIpOption(int fd, int name, const void* value, int length, int& error) {
    if (value == nullptr || length < static_cast<int>(sizeof(int))) {
        error = wsEFAULT;
        return false;
    }
    int result = -1;
    if (name == wsIpMulticastIf) {
        in_addr address{};
        std::memcpy(&address, value, sizeof address);
        result = ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &address, sizeof address);
    } else if (name == wsIpMulticastTtl) {
        int ttl = 0;
        std::memcpy(&ttl, value, sizeof ttl);
        result = ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    } else {
        error = wsENOPROTOOPT;
        return false;
    }
    if (result != 0) {
        error = winsockError(errno);
        return false;
    }
    return true;
}

int winsockError(int hostErrno) {
    switch (hostErrno) {
    case EINTR:
        return wsEINTR;
    case EBADF:
        return wsEBADF;
    case EACCES:
    case EPERM:
        return wsEACCES;
    case EFAULT:
        return wsEFAULT;
    case EINVAL:
        return wsEINVAL;
    case EMFILE:
    case ENFILE:
        return wsEMFILE;
    case EAGAIN:
        return wsEWOULDBLOCK;
    case EINPROGRESS:
        return wsEINPROGRESS;
    case EALREADY:
        return wsEALREADY;
    case ENOTSOCK:
        return wsENOTSOCK;
    case EDESTADDRREQ:
        return wsEDESTADDRREQ;
    case EMSGSIZE:
        return wsEMSGSIZE;
    case EPROTOTYPE:
        return wsEPROTOTYPE;
    case ENOPROTOOPT:
        return wsENOPROTOOPT;
    case EPROTONOSUPPORT:
        return wsEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return wsESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return wsEOPNOTSUPP;
    case EPFNOSUPPORT:
        return wsEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return wsEAFNOSUPPORT;
    case EADDRINUSE:
        return wsEADDRINUSE;
    case EADDRNOTAVAIL:
        return wsEADDRNOTAVAIL;
    case ENETDOWN:
        return wsENETDOWN;
    case ENETUNREACH:
        return wsENETUNREACH;
    case ENETRESET:
        return wsENETRESET;
    case ECONNABORTED:
        return wsECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return wsECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return wsENOBUFS;
    case EISCONN:
        return wsEISCONN;
    case ENOTCONN:
        return wsENOTCONN;
    case ESHUTDOWN:
        return wsESHUTDOWN;
    case ETIMEDOUT:
        return wsETIMEDOUT;
    case ECONNREFUSED:
        return wsECONNREFUSED;
    case EHOSTDOWN:
        return wsEHOSTDOWN;
    case EHOSTUNREACH:
        return wsEHOSTUNREACH;
    default:
        return wsEINVAL;
    }
}

int openSocket(int family, int type, int protocol, int& error) {
    const int hostFamilyValue = hostFamily(family);
    if (hostFamilyValue <= 0) {
        error = wsEAFNOSUPPORT;
        return -1;
    }
    const int fd = ::socket(hostFamilyValue, type | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        error = winsockError(errno);
    return fd;
}

void closeDescriptor(int fd) {
    close(fd);
}

bool bindTo(int fd, const Endpoint& endpoint, int& error) {
    sockaddr_storage storage;
    const socklen_t length = toHost(endpoint, storage);
    if (length == 0) {
        error = wsEAFNOSUPPORT;
        return false;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        error = winsockError(errno);
        return false;
    }
    return true;
}

bool localName(int fd, Endpoint& endpoint, int& error) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        error = winsockError(errno);
        return false;
    }
    endpoint = fromHost(reinterpret_cast<sockaddr*>(&storage));
    return true;
}

bool setOption(int fd, int level, int name, const void* value, int length, int& error) {
    const int hostName = level == wsSolSocket ? hostSocketOption(name) : -1;
    if (hostName < 0 || name == wsSoError || name == 0x1008) {
        error = wsENOPROTOOPT;
        return false;
    }
    if (value == nullptr || length < static_cast<int>(sizeof(int))) {
        error = wsEFAULT;
        return false;
    }
    int result = 0;
    if (isTimeoutOption(name)) {
        std::uint32_t ms = 0;
        std::memcpy(&ms, value, sizeof ms);
        const timeval time{static_cast<time_t>(ms / 1000),
                           static_cast<suseconds_t>(ms % 1000) * 1000};
        result = ::setsockopt(fd, SOL_SOCKET, hostName, &time, sizeof time);
    } else {
        int number = 0;
        std::memcpy(&number, value, sizeof number);
        result = ::setsockopt(fd, SOL_SOCKET, hostName, &number, sizeof number);
    }
    if (result != 0) {
        error = winsockError(errno);
        return false;
    }
    return true;
}

bool getOption(int fd, int level, int name, void* value, int& length, int& error) {
    const int hostName = level == wsSolSocket ? hostSocketOption(name) : -1;
    if (hostName < 0) {
        error = wsENOPROTOOPT;
        return false;
    }
    if (value == nullptr || length < static_cast<int>(sizeof(int))) {
        error = wsEFAULT;
        return false;
    }
    int number = 0;
    if (isTimeoutOption(name)) {
        timeval time{};
        socklen_t size = sizeof time;
        if (::getsockopt(fd, SOL_SOCKET, hostName, &time, &size) != 0) {
            error = winsockError(errno);
            return false;
        }
        number = static_cast<int>(time.tv_sec * 1000 + time.tv_usec / 1000);
    } else {
        socklen_t size = sizeof number;
        if (::getsockopt(fd, SOL_SOCKET, hostName, &number, &size) != 0) {
            error = winsockError(errno);
            return false;
        }
        if (name == wsSoError && number != 0)
            number = winsockError(number);
    }
    std::memcpy(value, &number, sizeof number);
    length = sizeof number;
    return true;
}

long sendDatagram(int fd, const void* data, std::size_t length, int flags, const Endpoint* to,
                  int& error) {
    int hostFlags = 0;
    if (!hostMessageFlags(flags, hostFlags)) {
        error = wsEOPNOTSUPP;
        return -1;
    }
    sockaddr_storage storage;
    socklen_t addressLength = 0;
    if (to != nullptr) {
        addressLength = toHost(*to, storage);
        if (addressLength == 0) {
            error = wsEAFNOSUPPORT;
            return -1;
        }
    }
    const ssize_t sent =
        ::sendto(fd, data, length, hostFlags,
                 to != nullptr ? reinterpret_cast<sockaddr*>(&storage) : nullptr, addressLength);
    if (sent < 0)
        error = winsockError(errno);
    return sent;
}

long receiveDatagram(int fd, void* data, std::size_t length, int flags, Endpoint* from,
                     int& error) {
    int hostFlags = 0;
    if (!hostMessageFlags(flags, hostFlags)) {
        error = wsEOPNOTSUPP;
        return -1;
    }
    for (;;) {
        if (!waitReadable(fd, error))
            return -1;
        sockaddr_storage storage{};
        iovec part{data, length};
        msghdr message{};
        message.msg_name = &storage;
        message.msg_namelen = sizeof storage;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t got = ::recvmsg(fd, &message, hostFlags | MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (got < 0) {
            error = winsockError(errno);
            return -1;
        }
        if (from != nullptr)
            *from = fromHost(reinterpret_cast<sockaddr*>(&storage));
        if (message.msg_flags & MSG_TRUNC) {
            // Winsock reports a datagram cut short by the buffer as an error.
            error = wsEMSGSIZE;
            return -1;
        }
        return got;
    }
}

int lookUp(const char* node, const char* service, const LookupHints* hints,
           std::vector<LookupResult>& results) {
    if (node == nullptr && service == nullptr)
        return wsHOST_NOT_FOUND;
    if (isNumericServiceOutOfRange(service))
        return wsTYPE_NOT_FOUND;
    addrinfo hostHints{};
    if (hints != nullptr) {
        if (!hostLookupFlags(hints->flags, hostHints.ai_flags))
            return wsEINVAL;
        hostHints.ai_family = hostFamily(hints->family);
        if (hostHints.ai_family < 0)
            return wsEAFNOSUPPORT;
        hostHints.ai_socktype = hints->socketType;
        hostHints.ai_protocol = hints->protocol;
    }
    addrinfo* list = nullptr;
    const int code = ::getaddrinfo(node, service, hints != nullptr ? &hostHints : nullptr, &list);
    if (code != 0)
        return winsockLookupError(code);
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)
            continue;
        LookupResult result;
        result.flags = hints != nullptr ? hints->flags : 0;
        result.family = winsockFamily(entry->ai_family);
        result.socketType = entry->ai_socktype;
        result.protocol = entry->ai_protocol;
        result.endpoint = fromHost(entry->ai_addr);
        if (entry->ai_canonname != nullptr)
            result.canonicalName = entry->ai_canonname;
        results.push_back(std::move(result));
    }
    ::freeaddrinfo(list);
    return results.empty() ? wsHOST_NOT_FOUND : 0;
}

} // namespace platform::net::host
