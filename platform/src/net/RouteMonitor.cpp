// Default routes from /proc, interface flags by ioctl, changes from a netlink route socket.
#include "net/RouteMonitor.h"

#include <atomic>
#include <cstdint>
#include <arpa/inet.h>
#include <fstream>
#include <ifaddrs.h>
#include <net/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace platform::net::routes {
namespace {

constexpr unsigned routeUp = 0x0001;     // RTF_UP
constexpr unsigned routeReject = 0x0200; // RTF_REJECT
constexpr int fallbackPeriodMs = 1000;
// Without a wake-up descriptor the thread looks for the request to stop this often.
constexpr int unwakeablePeriodMs = 100;

bool parseHex(const std::string& text, unsigned long& value) {
    if (text.empty())
        return false;
    std::size_t used = 0;
    try {
        value = std::stoul(text, &used, 16);
    } catch (...) {
        return false;
    }
    return used == text.size();
}

bool usable(const std::string& interfaceName, unsigned long flags,
            const std::function<bool(const std::string&)>& isUp) {
    return (flags & routeUp) != 0 && (flags & routeReject) == 0 && interfaceName != "lo" &&
           isUp(interfaceName);
}

// "Iface Destination Gateway Flags RefCnt Use Metric Mask ..." after a header line.
DefaultRoute findIpv4(std::istream& routes, const std::function<bool(const std::string&)>& isUp) {
    std::string line;
    std::getline(routes, line);
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flagsText, refCount, use, metric, mask;
        if (!(fields >> name >> destination >> gateway >> flagsText >> refCount >> use >> metric >>
              mask))
            continue;
        unsigned long flags = 0;
        if (destination == "00000000" && mask == "00000000" && parseHex(flagsText, flags) &&
            usable(name, flags, isUp))
            return {true, name};
    }
    return {};
}

// "destination prefix source prefix next-hop metric refcount use flags interface", no header.
DefaultRoute findIpv6(std::istream& routes, const std::function<bool(const std::string&)>& isUp) {
    std::string line;
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string destination, prefix, source, sourcePrefix, nextHop, metric, refCount, use,
            flagsText, name;
        if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >>
              refCount >> use >> flagsText >> name))
            continue;
        unsigned long flags = 0;
        if (destination == std::string(32, '0') && prefix == "00" && parseHex(flagsText, flags) &&
            usable(name, flags, isUp))
            return {true, name};
    }
    return {};
}

bool interfaceIsUp(const std::string& name) {
    if (name.size() >= IFNAMSIZ)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    name.copy(request.ifr_name, name.size());
    const bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_UP) != 0;
    close(fd);
    return up;
}

int openRouteSocket() {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR |
                        RTMGRP_IPV6_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void drain(int fd) {
    char buffer[8192];
    while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

} // namespace

DefaultRoute findDefaultRoute(std::istream& ipv4Routes, std::istream& ipv6Routes,
                              const std::function<bool(const std::string&)>& isUp) {
    DefaultRoute route = findIpv4(ipv4Routes, isUp);
    return route.present ? route : findIpv6(ipv6Routes, isUp);
}

DefaultRoute findDefaultRoute() {
    std::ifstream ipv4("/proc/net/route");
    std::ifstream ipv6("/proc/net/ipv6_route");
    return findDefaultRoute(ipv4, ipv6, interfaceIsUp);
}

namespace {

// An address on a subnet of its interface's link: IPv4 with a prefix shorter than 32, or IPv6
// with one shorter than 128 that is not link-local (every interface that is up has one of those).
bool isOnASubnet(const sockaddr* address, const sockaddr* netmask) {
    if (address->sa_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in*>(netmask)->sin_addr.s_addr != htonl(0xFFFFFFFFu);
    }
    if (address->sa_family != AF_INET6)
        return false;
    const auto& mask = reinterpret_cast<const sockaddr_in6*>(netmask)->sin6_addr;
    return !IN6_IS_ADDR_LINKLOCAL(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr) &&
           mask.s6_addr[15] != 0xFF;
}

} // namespace

DefaultRoute findLocalNetwork() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    DefaultRoute network;
    for (const ifaddrs* entry = list; entry != nullptr && !network.present;
         entry = entry->ifa_next) {
        constexpr unsigned usable = IFF_UP | IFF_RUNNING;
        if (entry->ifa_addr == nullptr || entry->ifa_netmask == nullptr ||
            (entry->ifa_flags & usable) != usable || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        if (isOnASubnet(entry->ifa_addr, entry->ifa_netmask))
            network = {true, entry->ifa_name};
    }
    freeifaddrs(list);
    return network;
}

struct RouteWatcher::Impl {
    std::function<void()> changed;
    int routeSocket = openRouteSocket();
    int stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::atomic<bool> stopping{false};
    std::thread thread;

    int period() const {
        if (stop < 0)
            return unwakeablePeriodMs;
        return routeSocket >= 0 ? -1 : fallbackPeriodMs;
    }

    void run() {
        for (;;) {
            pollfd fds[2] = {{stop, POLLIN, 0}, {routeSocket, POLLIN, 0}};
            const int count = routeSocket >= 0 ? 2 : 1;
            const int ready = poll(fds, count, period());
            if (stopping || fds[0].revents != 0)
                return;
            // A time-out tells of a change only where there is no route socket to tell of one.
            if (ready < 0 || (ready == 0 && routeSocket >= 0))
                continue;
            if (ready > 0 && fds[1].revents != 0)
                drain(routeSocket);
            changed();
        }
    }
};

RouteWatcher::RouteWatcher(std::function<void()> changed) : impl_(std::make_unique<Impl>()) {
    impl_->changed = std::move(changed);
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

RouteWatcher::~RouteWatcher() {
    impl_->stopping = true;
    if (impl_->stop >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(impl_->stop, &one, sizeof one);
    }
    impl_->thread.join();
    if (impl_->stop >= 0)
        close(impl_->stop);
    if (impl_->routeSocket >= 0)
        close(impl_->routeSocket);
}

} // namespace platform::net::routes
