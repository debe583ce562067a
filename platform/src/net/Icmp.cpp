// ICMP echo over Linux's unprivileged ping sockets (SOCK_DGRAM, IPPROTO_ICMP or IPPROTO_ICMPV6):
// the kernel fills in the identifier, so replies are matched by sequence number. Where the
// system allows no ping socket (net.ipv4.ping_group_range, which governs both families, leaves
// the user out), an echo is answered by a TCP connect to a few ports most computers have: an
// accepted connection, and a refusal too, comes from a host that is up. A refusal that a router
// sends in the host's stead (an ICMP error from another address, read from the socket's error
// queue) is that router's reply with its error status, as the platform reports an ICMP error to
// an echo. Waits run on the device clock and end when the thread is terminated.
#include "icmpapi.h"
#include "iphlpapi.h"

#include "net/Echo.h"

#include "kernel/KernelObject.h"
#include "kernel/Wait.h"
#include "net/Confinement.h"
#include "platform/Clock.h"
#include "winbase.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <optional>
#include <utility>
#include <vector>

namespace {

using platform::net::echo::Destination;

constexpr std::uint8_t echoRequestType = 8;
constexpr std::uint8_t echoReplyType = 0;
constexpr std::uint8_t echo6RequestType = 128;
constexpr std::uint8_t echo6ReplyType = 129;
constexpr std::size_t icmpHeaderBytes = 8;
constexpr std::size_t largestEcho = 65500;
// Ports one of which a computer that is up accepts or refuses (SSH, web, Windows file sharing
// and remote desktop).
constexpr std::array<std::uint16_t, 7> probePorts{22, 80, 135, 139, 443, 445, 3389};

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Waits until one of `fds` is ready or the device clock reaches `deadline`; false at the
// deadline. A clock step or TerminateThread wakes it.
bool waitForAny(std::vector<pollfd>& fds, DWORD deadline) {
    const Descriptor wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    platform::kernel::ScopedWaker waker([fd = wake.fd()] {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(fd, &one, sizeof one);
    });
    fds.push_back({wake.fd(), POLLIN, 0});
    for (;;) {
        platform::kernel::cancellationPoint();
        const auto left = static_cast<std::int32_t>(deadline - platform::clock::now());
        if (left <= 0) {
            fds.pop_back();
            return false;
        }
        const int waitMs = platform::clock::isManual() ? -1 : left;
        for (auto& entry : fds)
            entry.revents = 0;
        const int ready = poll(fds.data(), fds.size(), waitMs);
        if (ready < 0 && errno != EINTR) {
            fds.pop_back();
            return false;
        }
        if ((fds.back().revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto got = read(wake.fd(), &count, sizeof count);
        }
        const bool any = std::any_of(fds.begin(), fds.end() - 1,
                                     [](const pollfd& entry) { return entry.revents != 0; });
        if (any) {
            fds.pop_back();
            return true;
        }
    }
}

// The host's socket address of `destination` and its length.
socklen_t socketAddress(const Destination& destination, std::uint16_t port,
                        sockaddr_storage& storage) {
    storage = sockaddr_storage{};
    if (destination.ipv6) {
        auto& to = reinterpret_cast<sockaddr_in6&>(storage);
        to.sin6_family = AF_INET6;
        to.sin6_port = htons(port);
        std::memcpy(&to.sin6_addr, destination.address.data(), sizeof to.sin6_addr);
        to.sin6_scope_id = destination.scopeId;
        return sizeof to;
    }
    auto& to = reinterpret_cast<sockaddr_in&>(storage);
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    std::memcpy(&to.sin_addr, destination.address.data(), sizeof to.sin_addr);
    return sizeof to;
}

Destination destinationOf(const sockaddr_storage& address) {
    Destination from;
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        from.ipv6 = true;
        std::memcpy(from.address.data(), &in6.sin6_addr, sizeof in6.sin6_addr);
        from.scopeId = in6.sin6_scope_id;
    } else if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(from.address.data(), &in.sin_addr, sizeof in.sin_addr);
    }
    return from;
}

bool sameAddress(const Destination& a, const Destination& b) {
    return a.ipv6 == b.ipv6 && a.address == b.address;
}

IP_STATUS statusOfSendError(int error) {
    switch (error) {
    case ENETUNREACH:
        return IP_DEST_NET_UNREACHABLE;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return IP_DEST_HOST_UNREACHABLE;
    case EACCES: // a broadcast address
        return IP_BAD_DESTINATION;
    case EMSGSIZE:
        return IP_PACKET_TOO_BIG;
    case ENOBUFS:
    case ENOMEM:
        return IP_NO_RESOURCES;
    default:
        return IP_GENERAL_FAILURE;
    }
}

struct Echo {
    Destination destination;
    const std::uint8_t* data;
    WORD size;
    DWORD deadline;
};

struct Answer {
    Destination from;
    IP_STATUS status = IP_SUCCESS; // or the error a router replied with
    std::vector<std::uint8_t> data;
};

// The status an ICMP error of `type` and `code` tells.
IP_STATUS statusOfIcmpError(std::uint8_t type, std::uint8_t code) {
    constexpr std::uint8_t destinationUnreachable = 3;
    constexpr std::uint8_t timeExceeded = 11;
    if (type == timeExceeded)
        return IP_TTL_EXPIRED_TRANSIT;
    if (type != destinationUnreachable)
        return IP_GENERAL_FAILURE;
    switch (code) {
    case 0:
        return IP_DEST_NET_UNREACHABLE;
    case 2:
        return IP_DEST_PROT_UNREACHABLE;
    case 3:
        return IP_DEST_PORT_UNREACHABLE;
    default:
        return IP_DEST_HOST_UNREACHABLE;
    }
}

// The status an ICMPv6 error of `type` and `code` tells.
IP_STATUS statusOfIcmp6Error(std::uint8_t type, std::uint8_t code) {
    constexpr std::uint8_t destinationUnreachable = 1;
    constexpr std::uint8_t timeExceeded = 3;
    if (type == timeExceeded)
        return IP_TTL_EXPIRED_TRANSIT;
    if (type != destinationUnreachable)
        return IP_GENERAL_FAILURE;
    switch (code) {
    case 0: // no route
        return IP_DEST_NET_UNREACHABLE;
    case 1: // administratively prohibited
        return IP_DEST_PROT_UNREACHABLE;
    case 4:
        return IP_DEST_PORT_UNREACHABLE;
    default:
        return IP_DEST_HOST_UNREACHABLE;
    }
}

// The ICMP error queued on a socket with IP_RECVERR or IPV6_RECVERR: who sent it and what it
// said; nothing when none is queued (a refusal then came as the host's own reset).
std::optional<Answer> queuedIcmpError(int fd) {
    char control[512];
    char data[64];
    sockaddr_storage offender{};
    iovec part{data, sizeof data};
    msghdr message{};
    message.msg_name = &offender;
    message.msg_namelen = sizeof offender;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
        return std::nullopt;
    for (cmsghdr* entry = CMSG_FIRSTHDR(&message); entry != nullptr;
         entry = CMSG_NXTHDR(&message, entry)) {
        const bool ipv4 = entry->cmsg_level == SOL_IP && entry->cmsg_type == IP_RECVERR;
        const bool ipv6 = entry->cmsg_level == SOL_IPV6 && entry->cmsg_type == IPV6_RECVERR;
        if (!ipv4 && !ipv6)
            continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(entry), sizeof error);
        if (error.ee_origin != (ipv4 ? SO_EE_ORIGIN_ICMP : SO_EE_ORIGIN_ICMP6))
            continue;
        sockaddr_storage from{};
        const std::size_t fromLength = ipv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        std::memcpy(&from, CMSG_DATA(entry) + sizeof error, fromLength);
        Answer answer;
        answer.from = destinationOf(from);
        answer.status = ipv4 ? statusOfIcmpError(error.ee_type, error.ee_code)
                             : statusOfIcmp6Error(error.ee_type, error.ee_code);
        return answer;
    }
    return std::nullopt;
}

// The handle's object: echoes of one family, one at a time.
class EchoPort : public platform::kernel::KernelObject {
public:
    explicit EchoPort(bool ipv6)
        : ipv6_(ipv6),
          ping_(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK,
                         ipv6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP})) {}

    bool ipv6() const { return ipv6_; }

    // IP_SUCCESS with the answer (an echo, or a router's error for it), or why there is none.
    IP_STATUS echo(const Echo& request, Answer& answer) {
        std::lock_guard guard(mutex_);
        return ping_.fd() >= 0 ? ping(request, answer) : connectProbe(request, answer);
    }

private:
    IP_STATUS ping(const Echo& request, Answer& answer) {
        const std::uint16_t sequence = ++sequence_;
        std::vector<std::uint8_t> packet(icmpHeaderBytes + request.size);
        packet[0] = ipv6_ ? echo6RequestType : echoRequestType;
        packet[6] = static_cast<std::uint8_t>(sequence >> 8);
        packet[7] = static_cast<std::uint8_t>(sequence);
        std::copy_n(request.data, request.size, packet.begin() + icmpHeaderBytes);
        sockaddr_storage to{};
        const socklen_t toLength = socketAddress(request.destination, 0, to);
        if (::sendto(ping_.fd(), packet.data(), packet.size(), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&to), toLength) < 0)
            return statusOfSendError(errno);
        std::vector<pollfd> fds{{ping_.fd(), POLLIN, 0}};
        std::vector<std::uint8_t> reply(icmpHeaderBytes + largestEcho);
        while (waitForAny(fds, request.deadline)) {
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = ::recvfrom(ping_.fd(), reply.data(), reply.size(), MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
            // Replies to earlier echoes that came too late are passed over.
            if (got < static_cast<ssize_t>(icmpHeaderBytes) ||
                reply[0] != (ipv6_ ? echo6ReplyType : echoReplyType) ||
                ((reply[6] << 8) | reply[7]) != sequence)
                continue;
            answer.from = destinationOf(from);
            answer.data.assign(reply.begin() + icmpHeaderBytes, reply.begin() + got);
            return IP_SUCCESS;
        }
        return IP_REQ_TIMED_OUT;
    }

    IP_STATUS connectProbe(const Echo& request, Answer& answer) const {
        std::vector<Descriptor> pending;
        std::vector<pollfd> fds;
        IP_STATUS failure = IP_REQ_TIMED_OUT;
        std::optional<Answer> routerReply;
        // A refusal counts when the host itself refused, not a router in its stead.
        const auto refusedByHost = [&](int fd) {
            auto error = queuedIcmpError(fd);
            if (!error || sameAddress(error->from, request.destination))
                return true;
            routerReply = std::move(error);
            return false;
        };
        for (const std::uint16_t port : probePorts) {
            Descriptor tcp(::socket(ipv6_ ? AF_INET6 : AF_INET,
                                    SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            if (tcp.fd() < 0)
                return IP_NO_RESOURCES;
            const int on = 1;
            if (ipv6_)
                ::setsockopt(tcp.fd(), SOL_IPV6, IPV6_RECVERR, &on, sizeof on);
            else
                ::setsockopt(tcp.fd(), SOL_IP, IP_RECVERR, &on, sizeof on);
            sockaddr_storage to{};
            const socklen_t toLength = socketAddress(request.destination, port, to);
            const int result =
                ::connect(tcp.fd(), reinterpret_cast<const sockaddr*>(&to), toLength);
            const int error = result == 0 ? 0 : errno;
            if (error == 0 || (error == ECONNREFUSED && refusedByHost(tcp.fd())))
                return answered(request, answer);
            if (error == ECONNREFUSED)
                continue;
            if (error != EINPROGRESS)
                return statusOfSendError(error);
            fds.push_back({tcp.fd(), POLLOUT, 0});
            pending.push_back(std::move(tcp));
        }
        while (!fds.empty() && waitForAny(fds, request.deadline)) {
            for (std::size_t i = fds.size(); i-- > 0;) {
                if (fds[i].revents == 0)
                    continue;
                int error = 0;
                socklen_t length = sizeof error;
                getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, &error, &length);
                if (error == 0 || (error == ECONNREFUSED && refusedByHost(fds[i].fd)))
                    return answered(request, answer);
                if (error != ECONNREFUSED)
                    failure = statusOfSendError(error);
                fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if (routerReply) {
            answer = std::move(*routerReply);
            return IP_SUCCESS;
        }
        return fds.empty() ? failure : IP_REQ_TIMED_OUT;
    }

    // A host that answers a connection echoes in the ICMP sense: its reply carries the data.
    static IP_STATUS answered(const Echo& request, Answer& answer) {
        answer.from = request.destination;
        answer.data.assign(request.data, request.data + request.size);
        return IP_SUCCESS;
    }

    const bool ipv6_;
    std::mutex mutex_;
    Descriptor ping_;
    std::uint16_t sequence_ = 0;
};

// An ICMP_ECHO_REPLY or an ICMPV6_ECHO_REPLY, as `Reply` is, then the echoed data.
template <typename Reply>
Reply* startReply(const Answer& answer, LPVOID buffer, DWORD bufferSize, std::size_t& kept) {
    auto* reply = static_cast<Reply*>(buffer);
    auto* data = reinterpret_cast<std::uint8_t*>(reply + 1);
    kept = std::min(answer.data.size(), bufferSize - sizeof(Reply));
    std::copy_n(answer.data.begin(), kept, data);
    *reply = Reply{};
    reply->Status = answer.status;
    return reply;
}

void writeReply(const Answer& answer, DWORD roundTrip, LPVOID buffer, DWORD bufferSize) {
    std::size_t kept = 0;
    if (answer.from.ipv6) {
        auto* reply = startReply<ICMPV6_ECHO_REPLY>(answer, buffer, bufferSize, kept);
        std::memcpy(reply->Address.sin6_addr, answer.from.address.data(),
                    sizeof reply->Address.sin6_addr);
        reply->Address.sin6_scope_id = answer.from.scopeId;
        reply->RoundTripTime = roundTrip;
        return;
    }
    auto* reply = startReply<ICMP_ECHO_REPLY>(answer, buffer, bufferSize, kept);
    std::memcpy(&reply->Address, answer.from.address.data(), sizeof reply->Address);
    reply->RoundTripTime = roundTrip;
    reply->DataSize = static_cast<USHORT>(kept);
    reply->Reserved = 1;
    reply->Data = reinterpret_cast<std::uint8_t*>(reply + 1);
}

bool isConfinedAway(const Destination& destination) {
    if (!platform::net::confinedToLoopback())
        return false;
    if (destination.ipv6)
        return !platform::net::isLoopbackIPv6(destination.address);
    IPAddr address = 0;
    std::memcpy(&address, destination.address.data(), sizeof address);
    return !platform::net::isLoopbackIPv4(address);
}

} // namespace

HANDLE WINAPI IcmpCreateFile() {
    platform::kernel::cancellationPoint();
    return platform::kernel::handles::insert(std::make_shared<EchoPort>(false));
}

HANDLE WINAPI Icmp6CreateFile() {
    platform::kernel::cancellationPoint();
    return platform::kernel::handles::insert(std::make_shared<EchoPort>(true));
}

BOOL WINAPI IcmpCloseHandle(HANDLE IcmpHandle) {
    if (!platform::kernel::handles::findAs<EchoPort>(IcmpHandle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return platform::kernel::handles::remove(IcmpHandle) ? TRUE : FALSE;
}

DWORD WINAPI IcmpSendEcho(HANDLE IcmpHandle, IPAddr DestinationAddress, LPVOID RequestData,
                          WORD RequestSize, PIP_OPTION_INFORMATION, LPVOID ReplyBuffer,
                          DWORD ReplySize, DWORD Timeout) {
    Destination destination;
    std::memcpy(destination.address.data(), &DestinationAddress, sizeof DestinationAddress);
    return platform::net::echo::send(IcmpHandle, destination, RequestData, RequestSize, ReplyBuffer,
                                     ReplySize, Timeout);
}

DWORD WINAPI Icmp6ParseReplies(LPVOID ReplyBuffer, DWORD ReplySize) {
    if (ReplyBuffer == nullptr || ReplySize == 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
    return 1;
}

namespace platform::net::echo {

DWORD send(HANDLE handle, const Destination& destination, LPVOID data, WORD size, LPVOID reply,
           DWORD replySize, DWORD timeoutMs) {
    platform::kernel::cancellationPoint();
    const auto port = platform::kernel::handles::findAs<EchoPort>(handle);
    if (!port) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (reply == nullptr || (data == nullptr && size > 0) || port->ipv6() != destination.ipv6) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t replyRecord =
        destination.ipv6 ? sizeof(ICMPV6_ECHO_REPLY) : sizeof(ICMP_ECHO_REPLY);
    if (replySize < replyRecord + size + icmpHeaderBytes) {
        SetLastError(IP_BUF_TOO_SMALL);
        return 0;
    }
    if (isConfinedAway(destination)) {
        SetLastError(IP_DEST_NET_UNREACHABLE);
        return 0;
    }
    const DWORD start = platform::clock::now();
    const Echo request{destination, static_cast<const std::uint8_t*>(data), size,
                       start + timeoutMs};
    Answer answer;
    const IP_STATUS status = port->echo(request, answer);
    if (status != IP_SUCCESS) {
        SetLastError(status);
        return 0;
    }
    writeReply(answer, platform::clock::now() - start, reply, replySize);
    return 1;
}

} // namespace platform::net::echo
