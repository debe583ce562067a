#include "net/Neighbours.h"

#include "kernel/Wait.h"
#include "platform/Clock.h"

#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::net::neighbours {
namespace {

constexpr std::size_t receiveBytes = 32768;
constexpr std::uint16_t discardPort = 9;

template <typename Record>
bool readAt(const std::uint8_t* data, std::size_t length, std::size_t offset, Record& record) {
    if (offset > length || length - offset < sizeof(Record)) {
        return false;
    }
    std::memcpy(&record, data + offset, sizeof(Record));
    return true;
}

State stateOf(std::uint16_t kernelState) {
    if ((kernelState & (NUD_PERMANENT | NUD_NOARP)) != 0) {
        return State::permanent;
    }
    if ((kernelState & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) != 0) {
        return State::answered;
    }
    if ((kernelState & NUD_FAILED) != 0) {
        return State::failed;
    }
    return State::asking;
}

// One neighbour message's body (after its netlink header): the entry, if it is an IPv4 one with
// an address.
std::optional<Entry> entryOf(const std::uint8_t* body, std::size_t length, bool removed) {
    ndmsg header{};
    if (!readAt(body, length, 0, header) || header.ndm_family != AF_INET) {
        return std::nullopt;
    }
    Entry entry;
    entry.interfaceIndex = static_cast<std::uint32_t>(header.ndm_ifindex);
    entry.state = stateOf(header.ndm_state);
    entry.removed = removed;
    bool hasAddress = false;
    for (std::size_t at = NLMSG_ALIGN(sizeof(ndmsg)); at < length;) {
        rtattr attribute{};
        if (!readAt(body, length, at, attribute) || attribute.rta_len < sizeof(rtattr) ||
            attribute.rta_len > length - at) {
            break;
        }
        const std::size_t payload = attribute.rta_len - RTA_LENGTH(0);
        const std::uint8_t* value = body + at + RTA_LENGTH(0);
        if (attribute.rta_type == NDA_DST && payload == sizeof entry.address) {
            std::memcpy(&entry.address, value, sizeof entry.address);
            hasAddress = true;
        } else if (attribute.rta_type == NDA_LLADDR && payload <= entry.hardware.size()) {
            std::memcpy(entry.hardware.data(), value, payload);
            entry.hardwareLength = static_cast<std::uint8_t>(payload);
        }
        at += RTA_ALIGN(attribute.rta_len);
    }
    if (!hasAddress) {
        return std::nullopt;
    }
    if (entry.state == State::answered && entry.hardwareLength == 0) {
        entry.state = State::asking; // nothing to tell of: as if still asked
    }
    return entry;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

int netlinkSocket(std::uint32_t groups) {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        return -1;
    }
    sockaddr_nl self{};
    self.nl_family = AF_NETLINK;
    self.nl_groups = groups;
    const int bufferBytes = 1 << 20; // a burst of notices for a whole batch of addresses
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Waits until `fd` can be read or the device clock reaches `deadline`; false at the deadline.
bool waitReadable(int fd, DWORD deadline) {
    const Descriptor wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    kernel::ScopedWaker waker([fd = wake.fd()] {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(fd, &one, sizeof one);
    });
    for (;;) {
        kernel::cancellationPoint();
        const auto left = static_cast<std::int32_t>(deadline - clock::now());
        if (left <= 0) {
            return false;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake.fd(), POLLIN, 0}};
        const int ready = poll(fds, 2, clock::isManual() ? -1 : left);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto got = read(wake.fd(), &count, sizeof count);
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return true;
        }
    }
}

} // namespace

bool parseMessages(const std::uint8_t* data, std::size_t length, std::vector<Entry>& entries) {
    for (std::size_t at = 0; at < length;) {
        nlmsghdr header{};
        if (!readAt(data, length, at, header) || header.nlmsg_len < sizeof(nlmsghdr) ||
            header.nlmsg_len > length - at) {
            return false;
        }
        if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) {
            return true;
        }
        if (header.nlmsg_type == RTM_NEWNEIGH || header.nlmsg_type == RTM_DELNEIGH) {
            const std::size_t bodyAt = at + NLMSG_HDRLEN;
            if (bodyAt <= at + header.nlmsg_len) {
                if (auto entry = entryOf(data + bodyAt, at + header.nlmsg_len - bodyAt,
                                         header.nlmsg_type == RTM_DELNEIGH)) {
                    entries.push_back(*entry);
                }
            }
        }
        at += NLMSG_ALIGN(header.nlmsg_len);
    }
    return false;
}

std::optional<std::vector<Entry>> dumpTable() {
    const Descriptor netlink(netlinkSocket(0));
    if (netlink.fd() < 0) {
        return std::nullopt;
    }
    struct {
        nlmsghdr header;
        ndmsg neighbour;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.neighbour.ndm_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink.fd(), &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        return std::nullopt;
    }
    std::vector<Entry> entries;
    std::vector<std::uint8_t> buffer(receiveBytes);
    for (;;) {
        pollfd ready{netlink.fd(), POLLIN, 0};
        if (poll(&ready, 1, -1) < 0 && errno != EINTR) {
            return std::nullopt;
        }
        const ssize_t got = ::recv(netlink.fd(), buffer.data(), buffer.size(), 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            return std::nullopt;
        }
        if (parseMessages(buffer.data(), static_cast<std::size_t>(got), entries)) {
            return entries;
        }
    }
}

ChangeWatch::ChangeWatch() : fd_(netlinkSocket(RTMGRP_NEIGH)) {}

ChangeWatch::~ChangeWatch() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::vector<Entry> ChangeWatch::next(DWORD deadline) {
    std::vector<Entry> entries;
    std::vector<std::uint8_t> buffer(receiveBytes);
    while (entries.empty() && waitReadable(fd_, deadline)) {
        for (;;) {
            const ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), 0);
            if (got <= 0) {
                break; // drained, or notices were lost (ENOBUFS): the caller looks again
            }
            parseMessages(buffer.data(), static_cast<std::size_t>(got), entries);
        }
        if (entries.empty()) {
            // Lost notices leave the caller to read the table itself: an empty entry says so.
            entries.push_back(Entry{});
        }
    }
    return entries;
}

bool nudge(std::uint32_t address) {
    const Descriptor udp(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(discardPort);
    to.sin_addr.s_addr = address;
    return udp.fd() >= 0 && ::sendto(udp.fd(), "", 0, MSG_NOSIGNAL,
                                     reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
}

std::optional<Entry> ownInterfaceEntry(std::uint32_t address) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return std::nullopt;
    }
    std::string name;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == address) {
            name = entry->ifa_name;
            name = name.substr(0, name.find(':'));
        }
    }
    std::optional<Entry> own;
    for (const ifaddrs* entry = list; entry != nullptr && !name.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET ||
            name != entry->ifa_name) {
            continue;
        }
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        Entry found;
        found.interfaceIndex = static_cast<std::uint32_t>(link->sll_ifindex);
        found.address = address;
        found.hardwareLength = std::min<std::uint8_t>(link->sll_halen, 8);
        std::memcpy(found.hardware.data(), link->sll_addr, found.hardwareLength);
        found.state = State::permanent;
        own = found;
        break;
    }
    freeifaddrs(list);
    return own;
}

} // namespace platform::net::neighbours
