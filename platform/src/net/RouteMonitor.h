// The machine's routes as the kernel reports them: is there a default route through an
// interface that is up, or a local network, and a watcher told of every link, address or route
// change.
#pragma once

#include <functional>
#include <istream>
#include <memory>
#include <string>

namespace platform::net::routes {

struct DefaultRoute {
    bool present = false;
    std::string interfaceName;
};

// From the text of /proc/net/route and /proc/net/ipv6_route: the first default route that is up,
// not a reject route, not through the loopback interface, and whose interface `isUp` accepts.
DefaultRoute findDefaultRoute(std::istream& ipv4Routes, std::istream& ipv6Routes,
                              const std::function<bool(const std::string&)>& isUp);
// The same, read from the kernel now.
DefaultRoute findDefaultRoute();

// A local network the machine is on: the first interface, not loopback, that is up and running
// with an IPv4 address on a subnet (a prefix shorter than 32) or an IPv6 address beyond its
// link (not link-local, a prefix shorter than 128), read from the kernel now. Whatever lies
// beyond it, the computers on it can be reached.
DefaultRoute findLocalNetwork();

// Calls `changed` on a thread of its own after each link or route change the kernel announces
// (a netlink route socket; without one, once a second). Stops when destroyed.
class RouteWatcher {
public:
    explicit RouteWatcher(std::function<void()> changed);
    ~RouteWatcher();
    RouteWatcher(const RouteWatcher&) = delete;
    RouteWatcher& operator=(const RouteWatcher&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform::net::routes
