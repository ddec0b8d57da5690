#pragma once
// The machine's own network as a reachability source: the kernel's links,
// addresses and routes, read over rtnetlink (libnl-route) on every question,
// and watched for changes while anyone watches the source.
//
// The rules, from what the kernel says:
// - The internet is reachable when the main routing table has a unicast
//   default route (IPv4 0.0.0.0/0 or IPv6 ::/0) out of a link that is up and
//   running. Of several, the one with the lowest metric counts (IPv4 first
//   on a tie).
// - That route makes the answer cellular (IsWWAN) when its link is a modem's:
//   named wwan* or rmnet*, or of ARP type RAWIP, or of ARP type NONE with no
//   link kind. Tunnels (tun, wireguard) are of type NONE too but name their
//   kind, so a VPN's default route does not read as cellular.
// - Local Wi-Fi is there (reachable, direct) when an IPv4 link-local address
//   (169.254/16) sits on a wireless link that is up and running: one with
//   /sys/class/net/<name>/wireless, or named wl*.
// ConnectionRequired and the on-demand flags never come from the kernel.
//
// The watch runs on a thread of its own that waits on an rtnetlink socket
// subscribed to link, IPv4 address and IPv4/IPv6 route changes and passes
// each burst of them to the watchers on the main thread. It runs from the
// first watcher to the last, and the destructor stops it.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/network/ReachabilitySource.h"

struct nl_sock;

namespace platform {

// The kernel's state, as far as the rules need it.
struct NetworkLinkState {
    int index = 0;
    std::string name;
    unsigned arpType = 0;  // ARPHRD_*
    std::string kind;      // "tun", "wireguard", ...; empty when the link names none
    bool running = false;  // up and running
    bool wireless = false;
};

struct NetworkRouteState {
    int family = 0;  // AF_INET, AF_INET6
    unsigned destinationPrefixLength = 0;
    bool mainTable = true;
    bool unicast = true;
    std::uint32_t metric = 0;
    std::vector<int> outputLinks;  // the next hops' link indexes
};

struct NetworkAddressState {
    int linkIndex = 0;
    int family = 0;
    std::vector<std::uint8_t> address;  // network byte order
};

struct NetworkState {
    std::vector<NetworkLinkState> links;
    std::vector<NetworkRouteState> routes;
    std::vector<NetworkAddressState> addresses;
};

bool isWWANLink(const NetworkLinkState& link);
ReachabilityFlags reachabilityFlagsForNetworkState(const NetworkState& state, ReachabilityTarget target);

class NetlinkReachabilitySource final : public ReachabilitySource {
public:
    NetlinkReachabilitySource() = default;
    ~NetlinkReachabilitySource() override;

    // Nothing when the kernel cannot be asked.
    std::optional<ReachabilityFlags> flagsFor(ReachabilityTarget target) override;
    // The kernel's state now; nothing (and `error` set) when it cannot be read.
    static std::optional<NetworkState> readNetworkState(std::string& error);

    // Whether the kernel is being watched (a thread waits on the socket).
    bool isWatchingKernel() const;

protected:
    void firstWatcherAdded() override;
    void lastWatcherRemoved() override;

private:
    void startWatching();
    void stopWatching();
    void watchKernel(nl_sock* socket, int stopFd);

    mutable std::mutex watchMutex_;
    std::thread watcher_;
    int stopFd_ = -1;  // an eventfd that wakes the thread to stop
    std::atomic<bool> reportedReadFailure_{false};
};

}  // namespace platform
