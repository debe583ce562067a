// ICMP echo over Linux's unprivileged ping sockets (SOCK_DGRAM, IPPROTO_ICMP): the kernel fills
// in the identifier, so replies are matched by sequence number. Where the system allows no ping
// socket (net.ipv4.ping_group_range leaves the user out), an echo is answered by a TCP connect
// to a few ports most computers have: an accepted connection, and a refusal too, comes from a
// host that is up. A refusal that a router sends in the host's stead (an ICMP error from another
// address, read from the socket's error queue) is that router's reply with its error status, as
// the platform reports an ICMP error to an echo. Waits run on the device clock and end when the
// thread is terminated.
#include "icmpapi.h"

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

constexpr std::uint8_t echoRequestType = 8;
constexpr std::uint8_t echoReplyType = 0;
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

sockaddr_in socketAddress(IPAddr address, std::uint16_t port = 0) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    return to;
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
    IPAddr destination;
    const std::uint8_t* data;
    WORD size;
    DWORD deadline;
};

struct Answer {
    IPAddr from = 0;
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

// The ICMP error queued on a socket with IP_RECVERR: who sent it and what it said; nothing when
// none is queued (a refusal then came as the host's own reset).
std::optional<Answer> queuedIcmpError(int fd) {
    char control[512];
    char data[64];
    sockaddr_in offender{};
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
        if (entry->cmsg_level != SOL_IP || entry->cmsg_type != IP_RECVERR)
            continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(entry), sizeof error);
        if (error.ee_origin != SO_EE_ORIGIN_ICMP)
            continue;
        sockaddr_in from{};
        std::memcpy(&from, CMSG_DATA(entry) + sizeof error, sizeof from);
        Answer answer;
        answer.from = from.sin_addr.s_addr;
        answer.status = statusOfIcmpError(error.ee_type, error.ee_code);
        return answer;
    }
    return std::nullopt;
}

// The handle's object: one echo at a time.
class EchoPort : public platform::kernel::KernelObject {
public:
    EchoPort()
        : ping_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP)) {}

    // IP_SUCCESS with the answer (an echo, or a router's error for it), or why there is none.
    IP_STATUS echo(const Echo& request, Answer& answer) {
        std::lock_guard guard(mutex_);
        return ping_.fd() >= 0 ? ping(request, answer) : connectProbe(request, answer);
    }

private:
    IP_STATUS ping(const Echo& request, Answer& answer) {
        const std::uint16_t sequence = ++sequence_;
        std::vector<std::uint8_t> packet(icmpHeaderBytes + request.size);
        packet[0] = echoRequestType;
        packet[6] = static_cast<std::uint8_t>(sequence >> 8);
        packet[7] = static_cast<std::uint8_t>(sequence);
        std::copy_n(request.data, request.size, packet.begin() + icmpHeaderBytes);
        const sockaddr_in to = socketAddress(request.destination);
        if (::sendto(ping_.fd(), packet.data(), packet.size(), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
            return statusOfSendError(errno);
        std::vector<pollfd> fds{{ping_.fd(), POLLIN, 0}};
        std::vector<std::uint8_t> reply(icmpHeaderBytes + largestEcho);
        while (waitForAny(fds, request.deadline)) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = ::recvfrom(ping_.fd(), reply.data(), reply.size(), MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
            // Replies to earlier echoes that came too late are passed over.
            if (got < static_cast<ssize_t>(icmpHeaderBytes) || reply[0] != echoReplyType ||
                ((reply[6] << 8) | reply[7]) != sequence)
                continue;
            answer.from = from.sin_addr.s_addr;
            answer.data.assign(reply.begin() + icmpHeaderBytes, reply.begin() + got);
            return IP_SUCCESS;
        }
        return IP_REQ_TIMED_OUT;
    }

    static IP_STATUS connectProbe(const Echo& request, Answer& answer) {
        std::vector<Descriptor> pending;
        std::vector<pollfd> fds;
        IP_STATUS failure = IP_REQ_TIMED_OUT;
        std::optional<Answer> routerReply;
        // A refusal counts when the host itself refused, not a router in its stead.
        const auto refusedByHost = [&](int fd) {
            auto error = queuedIcmpError(fd);
            if (!error || error->from == request.destination)
                return true;
            routerReply = std::move(error);
            return false;
        };
        for (const std::uint16_t port : probePorts) {
            Descriptor tcp(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            if (tcp.fd() < 0)
                return IP_NO_RESOURCES;
            const int on = 1;
            ::setsockopt(tcp.fd(), SOL_IP, IP_RECVERR, &on, sizeof on);
            const sockaddr_in to = socketAddress(request.destination, port);
            const int result =
                ::connect(tcp.fd(), reinterpret_cast<const sockaddr*>(&to), sizeof to);
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

    std::mutex mutex_;
    Descriptor ping_;
    std::uint16_t sequence_ = 0;
};

void writeReply(const Answer& answer, DWORD roundTrip, LPVOID buffer, DWORD bufferSize) {
    auto* reply = static_cast<ICMP_ECHO_REPLY*>(buffer);
    auto* data = reinterpret_cast<std::uint8_t*>(reply + 1);
    const std::size_t room = bufferSize - sizeof(ICMP_ECHO_REPLY);
    const std::size_t kept = std::min(answer.data.size(), room);
    std::copy_n(answer.data.begin(), kept, data);
    *reply = ICMP_ECHO_REPLY{};
    reply->Address = answer.from;
    reply->Status = answer.status;
    reply->RoundTripTime = roundTrip;
    reply->DataSize = static_cast<USHORT>(kept);
    reply->Reserved = 1;
    reply->Data = data;
}

} // namespace

HANDLE WINAPI IcmpCreateFile() {
    platform::kernel::cancellationPoint();
    return platform::kernel::handles::insert(std::make_shared<EchoPort>());
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
    platform::kernel::cancellationPoint();
    const auto port = platform::kernel::handles::findAs<EchoPort>(IcmpHandle);
    if (!port) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (ReplyBuffer == nullptr || (RequestData == nullptr && RequestSize > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (ReplySize < sizeof(ICMP_ECHO_REPLY) + RequestSize + icmpHeaderBytes) {
        SetLastError(IP_BUF_TOO_SMALL);
        return 0;
    }
    if (platform::net::confinedToLoopback() && !platform::net::isLoopbackIPv4(DestinationAddress)) {
        SetLastError(IP_DEST_NET_UNREACHABLE);
        return 0;
    }
    const DWORD start = platform::clock::now();
    const Echo request{DestinationAddress, static_cast<const std::uint8_t*>(RequestData),
                       RequestSize, start + Timeout};
    Answer answer;
    const IP_STATUS status = port->echo(request, answer);
    if (status != IP_SUCCESS) {
        SetLastError(status);
        return 0;
    }
    writeReply(answer, platform::clock::now() - start, ReplyBuffer, ReplySize);
    return 1;
}
