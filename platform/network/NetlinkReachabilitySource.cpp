#include "platform/network/NetlinkReachabilitySource.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <tuple>

#include <linux/if.h>
#include <linux/if_arp.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"

namespace platform {

namespace {

struct SocketFree {
    void operator()(nl_sock* socket) const { nl_socket_free(socket); }
};
struct CacheFree {
    void operator()(nl_cache* cache) const { nl_cache_free(cache); }
};
using SocketPtr = std::unique_ptr<nl_sock, SocketFree>;
using CachePtr = std::unique_ptr<nl_cache, CacheFree>;

template <class Object, class Visit>
void forEachObject(nl_cache* cache, Visit visit) {
    for (nl_object* object = nl_cache_get_first(cache); object; object = nl_cache_get_next(object))
        visit(reinterpret_cast<Object*>(object));
}

bool isWirelessLink(const std::string& name) {
    std::error_code ec;
    return startsWith(name, "wl") || std::filesystem::exists("/sys/class/net/" + name + "/wireless", ec);
}

std::vector<std::uint8_t> bytesOf(nl_addr* address) {
    if (!address) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(nl_addr_get_binary_addr(address));
    return bytes ? std::vector<std::uint8_t>(bytes, bytes + nl_addr_get_len(address)) : std::vector<std::uint8_t>{};
}

}  // namespace

bool isWWANLink(const NetworkLinkState& link) {
    if (startsWith(link.name, "wwan") || startsWith(link.name, "rmnet")) return true;
    if (link.arpType == ARPHRD_RAWIP) return true;
    return link.arpType == ARPHRD_NONE && link.kind.empty();
}

ReachabilityFlags reachabilityFlagsForNetworkState(const NetworkState& state, ReachabilityTarget target) {
    auto runningLink = [&](int index) -> const NetworkLinkState* {
        for (const auto& link : state.links)
            if (link.index == index) return link.running ? &link : nullptr;
        return nullptr;
    };

    if (target == ReachabilityTarget::LocalWiFi) {
        for (const auto& address : state.addresses) {
            if (address.family != AF_INET || address.address.size() != 4) continue;
            if (address.address[0] != 169 || address.address[1] != 254) continue;
            const NetworkLinkState* link = runningLink(address.linkIndex);
            if (link && link->wireless) return kReachabilityFlagsReachable | kReachabilityFlagsIsDirect;
        }
        return 0;
    }

    const NetworkLinkState* chosen = nullptr;
    std::tuple<std::uint32_t, bool> chosenRank{};
    for (const auto& route : state.routes) {
        if (!route.mainTable || !route.unicast || route.destinationPrefixLength != 0) continue;
        if (route.family != AF_INET && route.family != AF_INET6) continue;
        const NetworkLinkState* link = nullptr;
        for (int index : route.outputLinks)
            if ((link = runningLink(index))) break;
        if (!link) continue;
        const auto rank = std::make_tuple(route.metric, route.family == AF_INET6);
        if (!chosen || rank < chosenRank) {
            chosen = link;
            chosenRank = rank;
        }
    }
    if (!chosen) return 0;
    return kReachabilityFlagsReachable | (isWWANLink(*chosen) ? kReachabilityFlagsIsWWAN : 0);
}

std::optional<NetworkState> NetlinkReachabilitySource::readNetworkState(std::string& error) {
    SocketPtr socket(nl_socket_alloc());
    if (!socket) {
        error = "no netlink socket";
        return std::nullopt;
    }
    int rc = nl_connect(socket.get(), NETLINK_ROUTE);
    nl_cache* rawLinks = nullptr;
    nl_cache* rawRoutes = nullptr;
    nl_cache* rawAddresses = nullptr;
    if (rc >= 0) rc = rtnl_link_alloc_cache(socket.get(), AF_UNSPEC, &rawLinks);
    CachePtr links(rawLinks);
    if (rc >= 0) rc = rtnl_route_alloc_cache(socket.get(), AF_UNSPEC, 0, &rawRoutes);
    CachePtr routes(rawRoutes);
    if (rc >= 0) rc = rtnl_addr_alloc_cache(socket.get(), &rawAddresses);
    CachePtr addresses(rawAddresses);
    if (rc < 0) {
        error = nl_geterror(rc);
        return std::nullopt;
    }

    NetworkState state;
    forEachObject<rtnl_link>(links.get(), [&](rtnl_link* link) {
        NetworkLinkState entry;
        entry.index = rtnl_link_get_ifindex(link);
        const char* name = rtnl_link_get_name(link);
        entry.name = name ? name : "";
        entry.arpType = rtnl_link_get_arptype(link);
        const char* kind = rtnl_link_get_type(link);
        entry.kind = kind ? kind : "";
        const unsigned flags = rtnl_link_get_flags(link);
        entry.running = (flags & IFF_UP) && (flags & IFF_RUNNING);
        entry.wireless = !entry.name.empty() && isWirelessLink(entry.name);
        state.links.push_back(std::move(entry));
    });
    forEachObject<rtnl_route>(routes.get(), [&](rtnl_route* route) {
        NetworkRouteState entry;
        entry.family = rtnl_route_get_family(route);
        nl_addr* destination = rtnl_route_get_dst(route);
        entry.destinationPrefixLength = destination ? nl_addr_get_prefixlen(destination) : 0;
        entry.mainTable = rtnl_route_get_table(route) == RT_TABLE_MAIN;
        entry.unicast = rtnl_route_get_type(route) == RTN_UNICAST;
        entry.metric = rtnl_route_get_priority(route);
        for (int i = 0; i < rtnl_route_get_nnexthops(route); ++i)
            if (rtnl_nexthop* hop = rtnl_route_nexthop_n(route, i)) entry.outputLinks.push_back(rtnl_route_nh_get_ifindex(hop));
        state.routes.push_back(std::move(entry));
    });
    forEachObject<rtnl_addr>(addresses.get(), [&](rtnl_addr* address) {
        state.addresses.push_back(
            {rtnl_addr_get_ifindex(address), rtnl_addr_get_family(address), bytesOf(rtnl_addr_get_local(address))});
    });
    return state;
}

NetlinkReachabilitySource::~NetlinkReachabilitySource() { stopWatching(); }

std::optional<ReachabilityFlags> NetlinkReachabilitySource::flagsFor(ReachabilityTarget target) {
    std::string error;
    const auto state = readNetworkState(error);
    if (!state) {
        // Once: a machine that cannot be asked would otherwise say so at every change.
        if (!reportedReadFailure_.exchange(true)) logf("reachability: cannot read the network: %s", error.c_str());
        return std::nullopt;
    }
    return reachabilityFlagsForNetworkState(*state, target);
}

bool NetlinkReachabilitySource::isWatchingKernel() const {
    std::lock_guard lock(watchMutex_);
    return watcher_.joinable();
}

void NetlinkReachabilitySource::firstWatcherAdded() { startWatching(); }

void NetlinkReachabilitySource::lastWatcherRemoved() { stopWatching(); }

void NetlinkReachabilitySource::startWatching() {
    std::lock_guard lock(watchMutex_);
    if (watcher_.joinable()) return;
    SocketPtr socket(nl_socket_alloc());
    int rc = socket ? nl_connect(socket.get(), NETLINK_ROUTE) : -NLE_NOMEM;
    if (rc >= 0)
        rc = nl_socket_add_memberships(socket.get(), RTNLGRP_LINK, RTNLGRP_IPV4_IFADDR, RTNLGRP_IPV4_ROUTE,
                                       RTNLGRP_IPV6_ROUTE, 0);
    if (rc >= 0) rc = nl_socket_set_nonblocking(socket.get());
    if (rc < 0) {
        logf("reachability: cannot watch the network: %s", nl_geterror(rc));
        return;
    }
    const int stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd < 0) {
        logf("reachability: cannot watch the network: %s", std::strerror(errno));
        return;
    }
    stopFd_ = stopFd;
    watcher_ = std::thread([this, socket = socket.release(), stopFd] {
        watchKernel(socket, stopFd);
        nl_socket_free(socket);
    });
}

void NetlinkReachabilitySource::stopWatching() {
    std::lock_guard lock(watchMutex_);
    if (!watcher_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
    watcher_.join();
    ::close(stopFd_);
    stopFd_ = -1;
}

void NetlinkReachabilitySource::watchKernel(nl_sock* socket, int stopFd) {
    const int socketFd = nl_socket_get_fd(socket);
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {socketFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            logf("reachability: stopped watching the network: %s", std::strerror(errno));
            return;
        }
        if (fds[0].revents) return;
        if (!fds[1].revents) continue;
        // The messages themselves are not needed: each question reads the
        // kernel afresh, so a burst of them is one change.
        char buffer[8192];
        for (;;) {
            const ssize_t got = ::recv(socketFd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0 || (got < 0 && (errno == EINTR || errno == ENOBUFS))) continue;  // ENOBUFS: some were lost
            if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                logf("reachability: stopped watching the network: %s", std::strerror(errno));
                return;
            }
            break;
        }
        changed();
    }
}

}  // namespace platform
