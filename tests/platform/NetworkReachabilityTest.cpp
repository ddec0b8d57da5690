// Reachability from the kernel's state (the rules), from this machine's
// kernel (whatever it has), and the watchers' delivery on the main thread.
#include <gtest/gtest.h>

#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/foundation/RunLoop.h"
#include "platform/network/NetlinkReachabilitySource.h"
#include "platform/network/NetworkReachability.h"

using namespace platform;

namespace {

constexpr ReachabilityFlags kReachable = kReachabilityFlagsReachable;
constexpr ReachabilityFlags kCellular = kReachabilityFlagsReachable | kReachabilityFlagsIsWWAN;
constexpr ReachabilityFlags kDirect = kReachabilityFlagsReachable | kReachabilityFlagsIsDirect;

NetworkLinkState link(int index, std::string name, unsigned arpType = ARPHRD_ETHER, std::string kind = "") {
    return {index, std::move(name), arpType, std::move(kind), true, false};
}

NetworkRouteState defaultRoute(int linkIndex, std::uint32_t metric = 0, int family = AF_INET) {
    NetworkRouteState route;
    route.family = family;
    route.metric = metric;
    route.outputLinks = {linkIndex};
    return route;
}

ReachabilityFlags internet(const NetworkState& state) {
    return reachabilityFlagsForNetworkState(state, ReachabilityTarget::Internet);
}

// In a network namespace of its own (so the machine's network is left
// alone), brings the loopback link up while watching; exits 0 when the
// watcher heard of it.
void watchLoopbackComingUp() {
    if (unshare(CLONE_NEWNET) != 0) std::_Exit(2);
    RunLoop::main().bindToCurrentThread();
    auto source = std::make_shared<NetlinkReachabilitySource>();
    int changes = 0;
    auto token = source->watch([&] { ++changes; });
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    if (ioctl(fd, SIOCGIFFLAGS, &request) != 0) std::_Exit(3);
    request.ifr_flags |= IFF_UP;
    if (ioctl(fd, SIOCSIFFLAGS, &request) != 0) std::_Exit(4);
    RunLoop::main().runUntil([&] { return changes > 0; }, 30);
    token.reset();
    std::_Exit(changes > 0 && !source->isWatchingKernel() ? 0 : 1);
}

}  // namespace

TEST(NetworkRules, TheDefaultRouteDecidesTheInternetAndItsLinkDecidesCellular) {
    NetworkState state;
    state.links = {link(1, "lo", ARPHRD_LOOPBACK), link(2, "eth0"), link(3, "wwan0", ARPHRD_ETHER),
                   link(4, "tun0", ARPHRD_NONE, "tun"), link(5, "mbim0", ARPHRD_NONE), link(6, "qmi0", ARPHRD_RAWIP)};
    EXPECT_EQ(internet(state), 0u) << "no route at all";

    NetworkRouteState subnet = defaultRoute(2);
    subnet.destinationPrefixLength = 24;
    state.routes = {subnet};
    EXPECT_EQ(internet(state), 0u) << "only a subnet";

    const std::pair<int, ReachabilityFlags> overLink[] = {{2, kReachable}, {3, kCellular}, {4, kReachable},
                                                          {5, kCellular},  {6, kCellular}};
    for (const auto& [index, flags] : overLink) {
        state.routes = {defaultRoute(index)};
        EXPECT_EQ(internet(state), flags) << "default route over link " << index;
    }

    // Of several, the lowest metric counts; IPv4 wins a tie.
    state.routes = {defaultRoute(3, 100), defaultRoute(2, 50, AF_INET6)};
    EXPECT_EQ(internet(state), kReachable);
    state.routes = {defaultRoute(3, 50, AF_INET6), defaultRoute(2, 50)};
    EXPECT_EQ(internet(state), kReachable);

    // Routes that carry nothing out: another table, unreachable, a link that is down.
    NetworkRouteState policy = defaultRoute(2), blackhole = defaultRoute(2);
    policy.mainTable = false;
    blackhole.unicast = false;
    state.routes = {policy, blackhole};
    EXPECT_EQ(internet(state), 0u);
    state.routes = {defaultRoute(3), defaultRoute(2, 10)};
    state.links[2].running = false;
    EXPECT_EQ(internet(state), kReachable) << "the down modem's route is passed over";
}

TEST(NetworkRules, LocalWiFiIsALinkLocalAddressOnAWirelessLink) {
    NetworkState state;
    state.links = {link(2, "eth0"), link(3, "wlp2s0")};
    state.links[1].wireless = true;
    auto localWiFi = [&] { return reachabilityFlagsForNetworkState(state, ReachabilityTarget::LocalWiFi); };

    state.addresses = {{2, AF_INET, {169, 254, 3, 4}}, {3, AF_INET, {192, 168, 1, 2}}};
    EXPECT_EQ(localWiFi(), 0u) << "link-local on a wired link, a private address on the wireless one";
    state.addresses.push_back({3, AF_INET, {169, 254, 9, 9}});
    EXPECT_EQ(localWiFi(), kDirect);
    state.links[1].running = false;
    EXPECT_EQ(localWiFi(), 0u);
}

TEST(NetlinkReachability, ThisMachineAnswersAValidState) {
    std::string error;
    const auto state = NetlinkReachabilitySource::readNetworkState(error);
    ASSERT_TRUE(state) << error;
    EXPECT_FALSE(state->links.empty());

    auto source = std::make_shared<NetlinkReachabilitySource>();
    const auto flags = source->flagsFor(ReachabilityTarget::Internet);
    ASSERT_TRUE(flags);
    EXPECT_TRUE(*flags == 0 || *flags == kReachable || *flags == kCellular) << *flags;
    bool anyDefaultRoute = false;
    for (const auto& route : state->routes) anyDefaultRoute |= route.destinationPrefixLength == 0;
    if (!anyDefaultRoute) {
        EXPECT_EQ(*flags, 0u);
    }
    const auto wifi = source->flagsFor(ReachabilityTarget::LocalWiFi);
    ASSERT_TRUE(wifi);
    EXPECT_TRUE(*wifi == 0 || *wifi == kDirect) << *wifi;
}

TEST(NetlinkReachability, AKernelChangeReachesTheWatchersOnTheMainThread) {
    // Root in a container may still be refused a namespace: ask a child first.
    const pid_t probe = fork();
    if (probe == 0) std::_Exit(unshare(CLONE_NEWNET) == 0 ? 0 : 2);
    int status = 0;
    if (probe < 0 || waitpid(probe, &status, 0) != probe || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        GTEST_SKIP() << "needs a network namespace of its own";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(watchLoopbackComingUp(), ::testing::ExitedWithCode(0), "");
}

TEST(ScriptedReachability, WatchersHearOnALaterTurnOnceForABurst) {
    auto source = std::make_shared<ScriptedReachabilitySource>();
    int calls = 0;
    auto token = source->watch([&] { ++calls; });
    source->setFlags(kCellular);
    source->setFlags(0);
    EXPECT_EQ(calls, 0);
    RunLoop::main().drain();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(source->flagsFor(ReachabilityTarget::Internet), 0u);

    // A watcher dropped by another's callback, or before the turn, hears nothing.
    int dropped = 0;
    ReachabilitySource::WatchToken victim;
    auto dropper = source->watch([&] { victim.reset(); });
    victim = source->watch([&] { ++dropped; });
    source->setFlags(kReachable);
    token.reset();
    RunLoop::main().drain();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(source->watcherCount(), 1u);
}

TEST(NetworkReachabilityHandle, AddressesAndNamesAskTheirQuestionAndScheduledHandlesCallBack) {
    auto source = std::make_shared<ScriptedReachabilitySource>(kReachable);
    const auto previous = ReachabilitySource::setShared(source);

    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_addr.s_addr = htonl(0xA9FE0102u);  // 169.254.1.2
    EXPECT_EQ(NetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&ipv4))->target(),
              ReachabilityTarget::LocalWiFi);
    ipv4.sin_addr.s_addr = htonl(0x0A000001u);
    EXPECT_EQ(NetworkReachability::createWithAddress(reinterpret_cast<sockaddr*>(&ipv4))->target(),
              ReachabilityTarget::Internet);
    sockaddr local{};
    local.sa_family = AF_UNIX;
    EXPECT_FALSE(NetworkReachability::createWithAddress(&local));
    EXPECT_FALSE(NetworkReachability::createWithAddress(nullptr));
    EXPECT_FALSE(NetworkReachability::createWithName(""));

    auto handle = NetworkReachability::createWithName("example.com");
    EXPECT_FALSE(handle->scheduleWithMainRunLoop()) << "no callout yet";
    static std::vector<ReachabilityFlags> heard;
    heard.clear();
    handle->setCallback([](NetworkReachability&, ReachabilityFlags flags, const std::any&) { heard.push_back(flags); },
                        {});
    EXPECT_TRUE(handle->scheduleWithMainRunLoop());
    source->setFlags(kCellular);
    RunLoop::main().drain();
    handle->unscheduleFromMainRunLoop();
    source->setFlags(0);
    RunLoop::main().drain();
    EXPECT_EQ(heard, std::vector<ReachabilityFlags>{kCellular});

    ReachabilitySource::setShared(previous);
}
