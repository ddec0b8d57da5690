// The connection plugin as the page sees it, over a scripted network: the
// type of each kind of flags, one report per change to a kept callback, the
// background, and reachability objects that go away while watched.
#include <gtest/gtest.h>

#include "tools/harness/BridgeHarness.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ApplicationNotifications.h"
#include "plugins/network-information/HYBConnection.h"

using namespace platform;
using plugins::HYBConnection;
using plugins::HYBReachability;

namespace {

constexpr ReachabilityFlags kReachable = kReachabilityFlagsReachable;
constexpr ReachabilityFlags kRequired = kReachabilityFlagsConnectionRequired;
constexpr ReachabilityFlags kWWAN = kReachabilityFlagsIsWWAN;

class NetworkInformation : public ::testing::Test {
protected:
    void SetUp() override {
        previous = ReachabilitySource::setShared(network);
        container = testsupport::TestContainer::create();
        plugin = std::make_shared<HYBConnection>(container->webView());
        container->addPlugin("NetworkStatus", plugin);
        container->eval(R"(
            var reports = [];
            (function () {
                var exec = hybrid.require('hybrid/exec');
                var original = exec.nativeCallback;
                exec.nativeCallback = function (id, status, message, keep) {
                    reports.push(message + (keep ? '' : ' (not kept)'));
                    return original(id, status, message, keep);
                };
            })();)");
    }
    void TearDown() override {
        plugin.reset();
        container.reset();
        ReachabilitySource::setShared(previous);
    }

    void ask() {
        container->eval("hybrid.exec(function () {}, null, 'NetworkStatus', 'getConnectionInfo', []);");
        container->queue().fetchCommandsFromJs();
        container->queue().executePending();
        RunLoop::main().drain();
    }
    void become(ReachabilityFlags flags) {
        network->setFlags(flags);
        RunLoop::main().drain();
    }
    void post(const char* name) {
        NotificationCenter::defaultCenter().post(name);
        RunLoop::main().drain();
    }
    std::string reports() { return container->eval("reports.join(',')"); }

    std::shared_ptr<ScriptedReachabilitySource> network = std::make_shared<ScriptedReachabilitySource>(kReachable);
    std::shared_ptr<ReachabilitySource> previous;
    std::shared_ptr<testsupport::TestContainer> container;
    std::shared_ptr<HYBConnection> plugin;
};

}  // namespace

TEST_F(NetworkInformation, EachKindOfFlagsHasItsStatusAndType) {
    auto reach = HYBReachability::reachabilityForInternetConnection();
    ASSERT_TRUE(reach);
    const struct {
        ReachabilityFlags flags;
        plugins::NetworkStatus status;
        const char* type;
    } rows[] = {
        {0, plugins::NotReachable, "none"},
        {kWWAN | kReachabilityFlagsIsDirect, plugins::NotReachable, "none"},
        {kReachable, plugins::ReachableViaWiFi, "wifi"},
        {kReachable | kRequired, plugins::NotReachable, "none"},
        {kReachable | kRequired | kReachabilityFlagsConnectionOnDemand, plugins::ReachableViaWiFi, "wifi"},
        {kReachable | kRequired | kReachabilityFlagsConnectionOnTraffic, plugins::ReachableViaWiFi, "wifi"},
        {kReachable | kRequired | kReachabilityFlagsConnectionOnTraffic | kReachabilityFlagsInterventionRequired,
         plugins::NotReachable, "none"},
        {kReachable | kWWAN, plugins::ReachableViaWWAN, "cellular"},
        {kReachable | kWWAN | kRequired, plugins::ReachableViaWWAN, "none"},
    };
    for (const auto& row : rows) {
        network->setFlags(row.flags);
        EXPECT_EQ(reach->networkStatusForFlags(row.flags), row.status) << row.flags;
        EXPECT_EQ(reach->currentReachabilityStatus(), row.status) << row.flags;
        EXPECT_EQ(reach->connectionRequired(), (row.flags & kRequired) != 0) << row.flags;
        EXPECT_EQ(plugin->w3cConnectionTypeFor(reach), row.type) << row.flags;
    }
    EXPECT_EQ(plugin->w3cConnectionTypeFor(nullptr), "none");

    auto localWiFi = HYBReachability::reachabilityForLocalWiFi();
    ASSERT_TRUE(localWiFi && localWiFi->localWiFiRef());
    EXPECT_EQ(localWiFi->localWiFiStatusForFlags(kReachable | kReachabilityFlagsIsDirect), plugins::ReachableViaWiFi);
    EXPECT_EQ(localWiFi->localWiFiStatusForFlags(kReachable), plugins::NotReachable);
    EXPECT_EQ(localWiFi->localWiFiStatusForFlags(kReachabilityFlagsIsDirect), plugins::NotReachable);
    network->setFlags(kReachable);
    EXPECT_EQ(localWiFi->currentReachabilityStatus(), plugins::ReachableViaWiFi);
    network->setFlags(kReachable | kWWAN);
    EXPECT_EQ(localWiFi->currentReachabilityStatus(), plugins::NotReachable);
}

TEST_F(NetworkInformation, TheFirstAskAnswersAtOnceAndEachChangeIsSentOnceToTheKeptCallback) {
    LogCapture log;
    become(kReachable | kWWAN);  // before the page asks: nobody to tell, and no complaint
    EXPECT_FALSE(log.contains("Invalid callback id"));
    ask();
    EXPECT_EQ(reports(), "cellular");

    become(kReachable | kWWAN);
    become(kReachable);
    become(kReachable);
    become(0);
    become(kReachable | kWWAN | kRequired);  // still "none"
    become(kReachable | kWWAN);
    EXPECT_EQ(reports(), "cellular,wifi,none,cellular");
}

TEST_F(NetworkInformation, OnlyThePluginsOwnReachabilityIsHeard) {
    ask();
    plugin->internetReach()->stopNotifier();
    become(kReachable | kWWAN);
    auto& center = NotificationCenter::defaultCenter();
    center.post(plugins::kNetworkReachabilityChangedNotification, nullptr, std::any(std::string("other")));
    center.post(plugins::kNetworkReachabilityChangedNotification);
    auto other = HYBReachability::reachabilityForLocalWiFi();
    center.post(plugins::kNetworkReachabilityChangedNotification, other.get(), std::any(other));
    RunLoop::main().drain();
    EXPECT_EQ(reports(), "wifi");
    center.post(plugins::kNetworkReachabilityChangedNotification, plugin->internetReach().get(),
                std::any(plugin->internetReach()));
    RunLoop::main().drain();
    EXPECT_EQ(reports(), "wifi,cellular");
}

TEST_F(NetworkInformation, TheBackgroundStopsWatchingAndTheReturnSendsOnlyAChange) {
    ask();
    post(UIApplicationDidEnterBackgroundNotification);
    EXPECT_EQ(network->watcherCount(), 0u);
    become(0);
    become(kReachable | kWWAN);
    EXPECT_EQ(reports(), "wifi");
    post(UIApplicationWillEnterForegroundNotification);
    EXPECT_EQ(reports(), "wifi,cellular");
    EXPECT_EQ(network->watcherCount(), 1u);

    post(UIApplicationDidEnterBackgroundNotification);
    become(kReachable);
    become(kReachable | kWWAN);
    post(UIApplicationWillEnterForegroundNotification);
    EXPECT_EQ(reports(), "wifi,cellular");
    become(kReachable);
    EXPECT_EQ(reports(), "wifi,cellular,wifi");
}

TEST_F(NetworkInformation, AReachabilityThatGoesAwayIsNeverReached) {
    int heard = 0;
    const int observer = 0;
    NotificationCenter::defaultCenter().addObserver(&observer, plugins::kNetworkReachabilityChangedNotification, nullptr,
                                                    [&](const Notification&) { ++heard; });
    auto reach = HYBReachability::reachabilityForInternetConnection();
    ASSERT_TRUE(reach->startNotifier());
    network->setFlags(0);
    plugin->onPause();
    reach.reset();  // with the change on its way
    RunLoop::main().drain();
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(network->watcherCount(), 0u);

    // Misused callbacks say so and do nothing else.
    LogCapture log;
    auto handle = NetworkReachability::createWithName("example.com");
    plugins::ReachabilityCallback(*handle, 0, {});
    plugins::ReachabilityCallback(*handle, 0, std::any(7));
    EXPECT_TRUE(log.contains("info was NULL in ReachabilityCallback"));
    EXPECT_TRUE(log.contains("info was wrong class in ReachabilityCallback"));
    EXPECT_EQ(heard, 0);
    NotificationCenter::defaultCenter().removeObserver(&observer);
}

TEST_F(NetworkInformation, TheMachinesOwnNetworkGivesAValidType) {
    ReachabilitySource::setShared(nullptr);
    auto live = std::make_shared<HYBConnection>(container->webView());
    const std::string type = live->connectionType();
    EXPECT_TRUE(type == "none" || type == "wifi" || type == "cellular") << type;
}
