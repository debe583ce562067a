#include "support/TestNetwork.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

bool shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs `work` on a thread that joins a peer's network namespace first (a thread's namespace is its
// own); what it opens there stays in that namespace after the thread ends.
void inNamespace(const std::string& namespaceName, const std::function<void()>& work) {
    std::thread([&] {
        const int peer = open(("/run/netns/" + namespaceName).c_str(), O_RDONLY | O_CLOEXEC);
        if (peer >= 0 && setns(peer, CLONE_NEWNET) == 0) {
            work();
        }
        close(peer);
    }).join();
}

} // namespace

bool TestNetwork::enterOwnNamespace() {
    return unshare(CLONE_NEWNET) == 0 && shell("ip link set lo up");
}

TestNetwork::~TestNetwork() {
    for (const auto& peer : peers_) {
        shell("ip netns del " + nameOf(peer));
    }
    if (!hostsFolder_.empty()) {
        shell("rm -rf " + hostsFolder_);
    }
}

bool TestNetwork::addBridge(const std::string& bridge, const std::string& cidr) {
    return shell("ip link add " + bridge + " type bridge") &&
           shell("ip addr add " + cidr + " dev " + bridge) &&
           shell("ip link set " + bridge + " up");
}

bool TestNetwork::addBridgedPeer(const std::string& peer, const std::string& bridge,
                                 const std::string& peerCidr, const std::string& mac) {
    const std::string local = "v" + peer;
    peers_.push_back(peer);
    return shell("ip netns add " + nameOf(peer)) && run("ip link set lo up", peer) &&
           shell("ip link add " + local + " type veth peer name eth0 netns " + nameOf(peer)) &&
           shell("ip link set " + local + " master " + bridge) &&
           shell("ip link set " + local + " up") &&
           (mac.empty() || run("ip link set eth0 address " + mac, peer)) &&
           run("ip link set eth0 up", peer) &&
           (peerCidr.empty() || run("ip addr add " + peerCidr + " dev eth0", peer));
}

int TestNetwork::udpSocketIn(const std::string& peer, int port) {
    int fd = -1;
    inNamespace(nameOf(peer), [&] {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            fd = -1;
        }
    });
    return fd;
}

bool TestNetwork::useHostsFile(const std::string& hosts) {
    hostsFolder_ = "/etc/netns/" + nameOf("names");
    const std::string file = hostsFolder_ + "/hosts";
    if (!shell("mkdir -p " + hostsFolder_)) {
        return false;
    }
    FILE* out = std::fopen(file.c_str(), "w");
    if (out == nullptr) {
        return false;
    }
    std::fputs(hosts.c_str(), out);
    std::fclose(out);
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(file.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
}

std::string TestNetwork::nameOf(const std::string& peer) const {
    return "dawnbell" + std::to_string(getpid()) + "-" + peer;
}

bool TestNetwork::run(const std::string& command, const std::string& peer) {
    return shell(peer.empty() ? command : "ip netns exec " + nameOf(peer) + " " + command);
}

bool TestNetwork::set(const std::string& setting, const std::string& value,
                      const std::string& peer) {
    return run("sh -c 'echo " + value + " > /proc/sys/net/" + setting + "'", peer);
}

bool TestNetwork::addPeer(const std::string& peer, const std::string& local,
                          const std::string& localCidr, const std::string& peerCidr) {
    peers_.push_back(peer); // deleting one that was never made does no harm
    return shell("ip netns add " + nameOf(peer)) && run("ip link set lo up", peer) &&
           shell("ip link add " + local + " type veth peer name eth0 netns " + nameOf(peer)) &&
           shell("ip addr add " + localCidr + " dev " + local) &&
           shell("ip link set " + local + " up") && run("ip link set eth0 up", peer) &&
           (peerCidr.empty() || run("ip addr add " + peerCidr + " dev eth0", peer));
}

Wire::Wire(const std::string& namespaceName, const std::string& interface) {
    inNamespace(namespaceName, [&] {
        fd_ = socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL));
        sockaddr_ll address{};
        address.sll_family = AF_PACKET;
        address.sll_protocol = htons(ETH_P_ALL);
        address.sll_ifindex = static_cast<int>(if_nametoindex(interface.c_str()));
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    });
}

Wire::~Wire() {
    close(fd_);
}

void Wire::read() {
    std::uint8_t frame[2048];
    for (ssize_t got = 0; (got = recv(fd_, frame, sizeof frame, MSG_DONTWAIT)) > 0;) {
        frames_.emplace_back(frame, frame + got);
    }
}

std::size_t Wire::ipv4FramesSeen() {
    read();
    return static_cast<std::size_t>(std::count_if(frames_.begin(), frames_.end(), [](auto& f) {
        return f.size() > 14 && f[12] == 0x08 && (f[13] == 0x00 || f[13] == 0x06);
    }));
}

std::vector<std::string> Wire::magicPacketsFor(const std::vector<std::uint8_t>& mac) {
    constexpr ssize_t ip = 14; // after the Ethernet header
    std::vector<std::uint8_t> pattern(6, 0xFF);
    for (int i = 0; i < 16; ++i) {
        pattern.insert(pattern.end(), mac.begin(), mac.end());
    }
    const std::size_t known = frames_.size();
    read();
    for (std::size_t i = known; i < frames_.size(); ++i) {
        const std::uint8_t* frame = frames_[i].data();
        const auto got = static_cast<ssize_t>(frames_[i].size());
        const bool carried =
            std::search(frame + ip, frame + got, pattern.begin(), pattern.end()) != frame + got;
        // IPv4 or IPv6 carrying UDP: not the copy an ICMP error carries back.
        if (carried && got > ip + 20 && frame[12] == 0x08 && frame[13] == 0x00 &&
            frame[ip + 9] == 17) {
            char dotted[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, frame + ip + 16, dotted, sizeof dotted);
            seen_.push_back(dotted);
        } else if (carried && got > ip + 40 && frame[12] == 0x86 && frame[13] == 0xDD &&
                   frame[ip + 6] == 17) {
            char text[INET6_ADDRSTRLEN] = {};
            inet_ntop(AF_INET6, frame + ip + 24, text, sizeof text);
            char ethernet[18] = {};
            std::snprintf(ethernet, sizeof ethernet, "%02x:%02x:%02x:%02x:%02x:%02x", frame[0],
                          frame[1], frame[2], frame[3], frame[4], frame[5]);
            seen_.push_back(std::string(text) + " " + ethernet);
        }
    }
    return seen_;
}

namespace {

// Each value as two bytes, in network order.
void put16(std::vector<std::uint8_t>& out, std::initializer_list<unsigned> values) {
    for (const unsigned value : values) {
        out.push_back(static_cast<std::uint8_t>(value >> 8));
        out.push_back(static_cast<std::uint8_t>(value));
    }
}

void putLabels(std::vector<std::uint8_t>& out, const std::string& name) {
    std::size_t start = 0;
    while (start < name.size()) {
        const std::size_t end = std::min(name.find('.', start), name.size());
        out.push_back(static_cast<std::uint8_t>(end - start));
        out.insert(out.end(), name.begin() + static_cast<long>(start),
                   name.begin() + static_cast<long>(end));
        start = end + 1;
    }
    out.push_back(0);
}

constexpr std::size_t headerBytes = 12;

} // namespace

NameAnswerer::NameAnswerer(TestNetwork& network, const std::string& peer, Kind kind,
                           const std::string& address, const std::string& name)
    : kind_(kind), name_(name) {
    inet_pton(AF_INET, address.c_str(), &address_);
    fd_ = network.udpSocketIn(peer, kind == Kind::netbios ? 137 : 5353);
    if (fd_ >= 0 && kind == Kind::multicastDns) {
        ip_mreq group{};
        inet_pton(AF_INET, "224.0.0.251", &group.imr_multiaddr);
        group.imr_interface.s_addr = address_;
        if (setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ < 0 || pipe(stop_) != 0) {
        return;
    }
    thread_ = std::thread([this] {
        std::uint8_t question[1500];
        for (;;) {
            pollfd ready[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (poll(ready, 2, -1) < 0 || ready[1].revents != 0) {
                return;
            }
            sockaddr_in asker{};
            socklen_t askerLength = sizeof asker;
            const ssize_t got = recvfrom(fd_, question, sizeof question, 0,
                                         reinterpret_cast<sockaddr*>(&asker), &askerLength);
            if (got > 0) {
                answer(question, static_cast<std::size_t>(got), &asker, askerLength);
            }
        }
    });
}

NameAnswerer::~NameAnswerer() {
    if (thread_.joinable()) {
        [[maybe_unused]] auto written = write(stop_[1], "x", 1);
        thread_.join();
    }
    for (int fd : {fd_, stop_[0], stop_[1]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void NameAnswerer::answer(const std::uint8_t* question, std::size_t length, const void* asker,
                          unsigned askerLength) {
    if (length < headerBytes + 6) {
        return;
    }
    // The question's name and type, as it was asked.
    const std::vector<std::uint8_t> asked(question + headerBytes, question + length - 4);
    const unsigned type = question[length - 4] << 8 | question[length - 3];
    std::vector<std::uint8_t> reply(question, question + 2); // the transaction
    put16(reply, {0x8400});                                  // an authoritative answer
    if (kind_ == Kind::netbios) {
        if (type != 0x21) {
            return;
        }
        put16(reply, {0, 1, 0, 0}); // no question, one answer
        reply.insert(reply.end(), asked.begin(), asked.end());
        put16(reply, {0x21, 1, 0, 0, 0}); // NBSTAT, IN, no time to live, the length set below
        std::vector<std::uint8_t> names{2};
        for (const auto& [text, flags] :
             {std::pair{std::string("WORKGROUP"), 0x8400}, std::pair{name_, 0x0400}}) {
            std::string padded = text.substr(0, 15);
            padded.resize(15, ' ');
            names.insert(names.end(), padded.begin(), padded.end());
            names.push_back(0x00);
            put16(names, {static_cast<unsigned>(flags)});
        }
        names.resize(names.size() + 46); // the statistics
        const std::size_t lengthAt = reply.size() - 2;
        reply[lengthAt] = static_cast<std::uint8_t>(names.size() >> 8);
        reply[lengthAt + 1] = static_cast<std::uint8_t>(names.size());
        reply.insert(reply.end(), names.begin(), names.end());
    } else {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address_);
        std::vector<std::uint8_t> mine;
        putLabels(mine, std::to_string(bytes[3]) + "." + std::to_string(bytes[2]) + "." +
                            std::to_string(bytes[1]) + "." + std::to_string(bytes[0]) +
                            ".in-addr.arpa");
        if (type != 12 || asked != mine) {
            return; // a question about someone else
        }
        put16(reply, {1, 1, 0, 0}); // the question and one answer
        reply.insert(reply.end(), asked.begin(), asked.end());
        // The question's type and class, then the answer: the question's name, PTR, IN with the
        // cache flush bit, for two minutes.
        put16(reply, {12, 1, 0xC00C, 12, 0x8001, 0, 120});
        std::vector<std::uint8_t> target;
        putLabels(target, name_);
        put16(reply, {static_cast<unsigned>(target.size())});
        reply.insert(reply.end(), target.begin(), target.end());
    }
    sendto(fd_, reply.data(), reply.size(), 0, static_cast<const sockaddr*>(asker), askerLength);
}

namespace {

std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    }
    if (size % 2 != 0) {
        sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    }
    while (sum >> 16 != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

} // namespace

AnsweringRouter::AnsweringRouter(const std::string& namespaceName, const std::string& interface,
                                 const std::string& behind) {
    inet_pton(AF_INET, behind.c_str(), &behind_);
    inNamespace(namespaceName, [&] {
        frames_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_IP));
        sockaddr_ll address{};
        address.sll_family = AF_PACKET;
        address.sll_protocol = htons(ETH_P_IP);
        address.sll_ifindex = static_cast<int>(if_nametoindex(interface.c_str()));
        bind(frames_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        icmp_ = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    });
    stop_ = eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { serve(); });
}

AnsweringRouter::~AnsweringRouter() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(stop_, &one, sizeof one);
    thread_.join();
    close(stop_);
    close(frames_);
    close(icmp_);
}

void AnsweringRouter::serve() {
    constexpr std::size_t ip = 14; // after the Ethernet header
    std::uint8_t frame[2048];
    for (;;) {
        pollfd fds[2] = {{stop_, POLLIN, 0}, {frames_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[0].revents != 0) {
            return;
        }
        const ssize_t got = recv(frames_, frame, sizeof frame, MSG_DONTWAIT);
        const std::size_t ipHeaderBytes = got > 34 ? (frame[ip] & 0x0F) * 4u : 0;
        std::uint32_t destination = 0;
        std::memcpy(&destination, frame + ip + 16, sizeof destination);
        if (ipHeaderBytes < 20 || static_cast<std::size_t>(got) < ip + ipHeaderBytes + 8 ||
            (destination & htonl(0xFFFFFF00)) != (behind_ & htonl(0xFFFFFF00))) {
            continue;
        }
        const std::uint8_t protocol = frame[ip + 9];
        const std::uint8_t* payload = frame + ip + ipHeaderBytes;
        std::vector<std::uint8_t> message;
        if (protocol == IPPROTO_TCP && (payload[13] & 0x02) != 0) { // a SYN: refused
            message = {3, 3, 0, 0, 0, 0, 0, 0};
            message.insert(message.end(), frame + ip, frame + ip + ipHeaderBytes + 8);
            ++refusals_;
        } else if (protocol == IPPROTO_ICMP && payload[0] == 8) { // an echo request: answered
            message.assign(payload, payload + (got - static_cast<ssize_t>(ip + ipHeaderBytes)));
            message[0] = 0;
            message[2] = message[3] = 0;
            ++echoReplies_;
        } else {
            continue;
        }
        const std::uint16_t checksum = internetChecksum(message.data(), message.size());
        message[2] = static_cast<std::uint8_t>(checksum >> 8);
        message[3] = static_cast<std::uint8_t>(checksum);
        sockaddr_in asker{};
        asker.sin_family = AF_INET;
        std::memcpy(&asker.sin_addr, frame + ip + 12, 4);
        sendto(icmp_, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&asker),
               sizeof asker);
    }
}

bool HeldNameServer::start() {
    char folder[] = "/tmp/dawnbell-resolver-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return false;
    }
    const std::string conf = std::string(folder) + "/resolv.conf";
    if (!shell("printf 'nameserver 127.0.0.1\\noptions timeout:10 attempts:1\\n' > " + conf) ||
        unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(conf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0) {
        return false;
    }
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

HeldNameServer::~HeldNameServer() {
    close(fd_);
}

bool HeldNameServer::queryHeld() {
    std::uint8_t query[512];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    for (ssize_t got = 0; (got = recvfrom(fd_, query, sizeof query, 0,
                                          reinterpret_cast<sockaddr*>(&from), &fromLength)) > 16;
         fromLength = sizeof from) {
        const auto* asker = reinterpret_cast<const std::uint8_t*>(&from);
        const bool forIPv4 = query[got - 4] == 0 && query[got - 3] == 1; // QTYPE A
        std::vector<std::uint8_t> reply(query, query + got);
        reply[2] = 0x81; // a response, recursion desired and available, no error
        reply[3] = 0x80;
        if (forIPv4) {
            held_ = reply;
            heldFrom_.assign(asker, asker + sizeof from);
        } else {
            sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                   sizeof from);
        }
    }
    return !held_.empty();
}

void HeldNameServer::answer(const std::string& address) {
    if (!queryHeld()) {
        return;
    }
    held_[7] = 1; // one answer: the name (a pointer to the question's), A, IN, a minute, 4 bytes
    held_.insert(held_.end(), {0xC0, 0x0C, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4});
    in_addr value{};
    inet_pton(AF_INET, address.c_str(), &value);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    held_.insert(held_.end(), bytes, bytes + 4);
    sendto(fd_, held_.data(), held_.size(), 0, reinterpret_cast<const sockaddr*>(heldFrom_.data()),
           static_cast<socklen_t>(heldFrom_.size()));
    held_.clear();
}
