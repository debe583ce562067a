// Networks a test makes for itself: the test process moves into a network namespace of its own,
// and peer namespaces are joined to it by veth pairs, so that whatever is sent never leaves the
// machine. Needs root. The peers go when the object goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TestNetwork {
public:
    // Moves the calling process into a new network namespace with loopback up; false where that
    // isn't allowed.
    static bool enterOwnNamespace();

    TestNetwork() = default;
    ~TestNetwork();
    TestNetwork(const TestNetwork&) = delete;
    TestNetwork& operator=(const TestNetwork&) = delete;

    // Runs a command line (ip) here, or inside peer `peer`; false if it fails.
    bool run(const std::string& command, const std::string& peer = "");
    // Sets a kernel setting of the namespace, given by its path under /proc/sys/net.
    bool set(const std::string& setting, const std::string& value, const std::string& peer = "");
    // A peer namespace joined to this one by a veth pair: `local` here with `localCidr`, "eth0"
    // there with `peerCidr`, or up with no address at all when `peerCidr` is empty (a card
    // whose computer sleeps).
    bool addPeer(const std::string& peer, const std::string& local, const std::string& localCidr,
                 const std::string& peerCidr);
    std::string nameOf(const std::string& peer) const;

    // A bridge here with `cidr`, for a LAN of several peers.
    bool addBridge(const std::string& bridge, const std::string& cidr);
    // A peer on `bridge`: "eth0" there with `peerCidr` (no address when empty) and hardware
    // address `mac` when one is given.
    bool addBridgedPeer(const std::string& peer, const std::string& bridge,
                        const std::string& peerCidr, const std::string& mac = "");
    // A UDP socket inside peer `peer`'s network, bound to `port` on any address; -1 on failure.
    int udpSocketIn(const std::string& peer, int port);
    // Gives the calling thread, and the threads it starts, `hosts` as its /etc/hosts, as
    // `ip netns exec` does for a namespace with an /etc/netns/<name>/hosts file.
    bool useHostsFile(const std::string& hosts);

private:
    std::vector<std::string> peers_;
    std::string hostsFolder_;
};

// Every frame on an interface of a peer, read as a sleeping card's wake logic reads them.
class Wire {
public:
    Wire(const std::string& namespaceName, const std::string& interface);
    ~Wire();
    Wire(const Wire&) = delete;
    Wire& operator=(const Wire&) = delete;

    // The destinations of the UDP frames read so far that carry a magic packet for `mac` (six
    // 0xFF bytes, then the MAC sixteen times): the IPv4 address, dotted, or the IPv6 address and
    // the frame's Ethernet destination ("ff02::1 33:33:00:00:00:01").
    std::vector<std::string> magicPacketsFor(const std::vector<std::uint8_t>& mac);
    // How many IPv4 and ARP frames have crossed the wire so far.
    std::size_t ipv4FramesSeen();

private:
    void read();
    int fd_ = -1;
    std::vector<std::vector<std::uint8_t>> frames_;
    std::vector<std::string> seen_;
};

// A computer's own name service inside a peer: answers NetBIOS node status questions (UDP 137)
// with `name`, or multicast DNS reverse questions about the peer's `address` (224.0.0.251, port
// 5353, answered to the asker) with `name`. Any bytes may be given as the name.
class NameAnswerer {
public:
    enum class Kind { netbios, multicastDns };
    NameAnswerer(TestNetwork& network, const std::string& peer, Kind kind,
                 const std::string& address, const std::string& name);
    ~NameAnswerer();
    NameAnswerer(const NameAnswerer&) = delete;
    NameAnswerer& operator=(const NameAnswerer&) = delete;
    bool listening() const { return fd_ >= 0; }

private:
    void answer(const std::uint8_t* question, std::size_t length, const void* asker,
                unsigned askerLength);
    Kind kind_;
    std::uint32_t address_ = 0;
    std::string name_;
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// A router, in peer namespace `namespaceName`, that answers for the computers behind it
// (`behind`, dotted, a /24) while they sleep, as a router that rejects does: a connection
// attempt gets its ICMP port unreachable, an echo request its own echo reply; both come from the
// router's address, not the computer's. Read and sent raw on its interface `interface`.
class AnsweringRouter {
public:
    AnsweringRouter(const std::string& namespaceName, const std::string& interface,
                    const std::string& behind);
    ~AnsweringRouter();
    AnsweringRouter(const AnsweringRouter&) = delete;
    AnsweringRouter& operator=(const AnsweringRouter&) = delete;

    int refusals() const { return refusals_; }
    int echoReplies() const { return echoReplies_; }

private:
    void serve();

    int frames_ = -1; // AF_PACKET on the interface
    int icmp_ = -1;   // raw ICMP, to send from the router's address
    int stop_ = -1;   // eventfd
    std::uint32_t behind_ = 0;
    std::atomic<int> refusals_{0};
    std::atomic<int> echoReplies_{0};
    std::thread thread_;
};

// The name server of the test's own namespace: the process's resolver is pointed at 127.0.0.1
// (its own mount namespace, /etc/resolv.conf replaced there), where this server holds each
// query until the test answers it.
class HeldNameServer {
public:
    // False where the resolver can't be pointed here.
    bool start();
    ~HeldNameServer();

    // Whether a query for an IPv4 address is held now (reads what has come in).
    bool queryHeld();
    // Answers the held query with `address` (dotted); other queries get empty answers.
    void answer(const std::string& address);

private:
    int fd_ = -1;
    std::vector<std::uint8_t> held_;
    std::vector<std::uint8_t> heldFrom_; // the asker's sockaddr_in
};
