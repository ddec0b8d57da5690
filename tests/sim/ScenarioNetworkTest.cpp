// The simulator's scripted network: "network" steps set what the app's
// reachability sees, and fail on a network they cannot script.
#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/RunLoop.h"
#include "platform/network/NetlinkReachabilitySource.h"
#include "sim/ScenarioPlayer.h"

using namespace platform;

namespace {

std::optional<bool> play(const std::string& steps, LogCapture& log) {
    ScopedManualClock clock;
    auto scenario = readJson("{\"steps\": " + steps + "}");
    if (!scenario.value) return std::nullopt;
    auto player = std::make_shared<sim::ScenarioPlayer>(*scenario.value, log, "");
    std::optional<bool> outcome;
    player->start([&](bool ok) { outcome = ok; });
    RunLoop::main().runUntil([&] { return outcome.has_value(); }, 60);
    return outcome;
}

}  // namespace

TEST(ScenarioNetwork, StepsScriptTheNetworkThatWatchersSee) {
    const auto previous = ReachabilitySource::setShared(nullptr);
    auto network = sim::installScriptedNetwork();
    EXPECT_EQ(network->flagsFor(ReachabilityTarget::Internet), kReachabilityFlagsReachable);
    std::vector<ReachabilityFlags> seen;
    auto watch = network->watch([&] { seen.push_back(network->flags()); });

    LogCapture log;
    EXPECT_EQ(play(R"([{"network": "cellular"}, {"network": "cellular-connection-required"}, {"network": "none"},
                       {"network": "wifi"}])",
                   log),
              true);
    EXPECT_TRUE(log.contains("scenario: network cellular-connection-required"));
    const ReachabilityFlags cellular = kReachabilityFlagsReachable | kReachabilityFlagsIsWWAN;
    EXPECT_EQ(seen, (std::vector<ReachabilityFlags>{cellular, cellular | kReachabilityFlagsConnectionRequired, 0,
                                                    kReachabilityFlagsReachable}));

    EXPECT_EQ(play(R"([{"network": "5g"}])", log), false);
    EXPECT_TRUE(log.contains("scenario: failed: step 1: unknown network '5g'"));
    ReachabilitySource::setShared(std::make_shared<NetlinkReachabilitySource>());
    EXPECT_EQ(play(R"([{"network": "none"}])", log), false);
    EXPECT_TRUE(log.contains("scenario: failed: step 1: the network is the machine's own (--live-network)"));
    ReachabilitySource::setShared(previous);
}
