// Device and network steps: the application's life-cycle events, what the
// system hands the app's delegate (opened URLs, notifications, device
// tokens), the scripted network and the device's orientation.
#include "app/AppDelegate.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/network/ReachabilitySource.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "sim/ScenarioPlayer.h"
#include "sim/Steps.h"

namespace sim {

using platform::Value;

namespace {

// The reachability flags each scripted network reports for the internet.
constexpr std::pair<const char*, platform::ReachabilityFlags> kNetworks[] = {
    {"wifi", platform::kReachabilityFlagsReachable},
    {"cellular", platform::kReachabilityFlagsReachable | platform::kReachabilityFlagsIsWWAN},
    {"cellular-connection-required", platform::kReachabilityFlagsReachable | platform::kReachabilityFlagsIsWWAN |
                                         platform::kReachabilityFlagsConnectionRequired},
    {"none", platform::ReachabilityFlags{0}},
};

constexpr const char* kNoDelegate = "no application delegate to hand it to";

}  // namespace

std::shared_ptr<platform::ScriptedReachabilitySource> installScriptedNetwork() {
    // The first network, Wi-Fi.
    auto source = std::make_shared<platform::ScriptedReachabilitySource>(kNetworks[0].second);
    platform::ReachabilitySource::setShared(source);
    return source;
}

namespace {

using platform::UIApplication;
using platform::UIApplicationState;

// The life-cycle events a scenario can send the application.
constexpr std::pair<const char*, void (*)(UIApplication&)> kEvents[] = {
    {"resignActive", [](UIApplication& app) { app.setApplicationState(UIApplicationState::Inactive); }},
    {"enterBackground", [](UIApplication& app) { app.setApplicationState(UIApplicationState::Background); }},
    {"enterForeground",
     [](UIApplication& app) {
         app.setApplicationState(UIApplicationState::Background);
         app.setApplicationState(UIApplicationState::Inactive);
     }},
    {"becomeActive", [](UIApplication& app) { app.setApplicationState(UIApplicationState::Active); }},
    {"terminate", [](UIApplication& app) { app.terminate(); }},
};

}  // namespace

const std::vector<std::string>& eventNames() {
    static const std::vector<std::string> names = namesOf(kEvents);
    return names;
}

StepOutcome playEvent(const StepRun& run) {
    const std::string& name = run.step["event"].stringValue();
    const auto* event = named(kEvents, name);
    if (!event) return StepOutcome::failed("unknown event '" + name + "'");
    event->second(UIApplication::sharedApplication());
    return StepOutcome::next();
}

StepOutcome playOpenURL(const StepRun& run) {
    auto delegate = appDelegate();
    if (!delegate) return StepOutcome::failed(kNoDelegate);
    const std::string& text = *run.step["openURL"].string();
    auto url = platform::URL::create(text);
    if (!url) return StepOutcome::failed("not a URL: " + text);
    if (!delegate->applicationHandleOpenURL(platform::UIApplication::sharedApplication(), url))
        return StepOutcome::failed("the app did not open " + text);
    return StepOutcome::next();
}

StepOutcome playRemoteNotification(const StepRun& run) {
    auto delegate = appDelegate();
    if (!delegate) return StepOutcome::failed(kNoDelegate);
    delegate->applicationDidReceiveRemoteNotification(platform::UIApplication::sharedApplication(),
                                                      *run.step["remoteNotification"].dictionary());
    return StepOutcome::next();
}

StepOutcome playLocalNotification(const StepRun& run) {
    auto delegate = appDelegate();
    if (!delegate) return StepOutcome::failed(kNoDelegate);
    delegate->applicationDidReceiveLocalNotification(platform::UIApplication::sharedApplication(),
                                                     run.step["localNotification"]);
    return StepOutcome::next();
}

std::optional<platform::Data> deviceTokenBytes(const std::string& hex) {
    // An empty token is none: the app would take it for a registration and fail on it.
    if (hex.empty() || hex.size() % 2) return std::nullopt;
    platform::Data bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        auto nibble = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        const int high = nibble(hex[i]), low = nibble(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

StepOutcome playDeviceToken(const StepRun& run) {
    auto delegate = appDelegate();
    if (!delegate) return StepOutcome::failed(kNoDelegate);
    const std::string& hex = run.step["deviceToken"].stringValue();
    auto bytes = deviceTokenBytes(hex);
    if (!bytes) return StepOutcome::failed("the device token '" + hex + "' is not hexadecimal text");
    delegate->applicationDidRegisterForRemoteNotificationsWithDeviceToken(platform::UIApplication::sharedApplication(),
                                                                         *bytes);
    return StepOutcome::next();
}

const std::vector<std::string>& networkNames() {
    static const std::vector<std::string> names = namesOf(kNetworks);
    return names;
}

StepOutcome playNetwork(const StepRun& run) {
    const std::string& name = run.step["network"].stringValue();
    const auto* network = named(kNetworks, name);
    if (!network) return StepOutcome::failed("unknown network '" + name + "'");
    auto scripted =
        std::dynamic_pointer_cast<platform::ScriptedReachabilitySource>(platform::ReachabilitySource::shared());
    if (!scripted)
        return StepOutcome::failed("the network is the machine's own (--live-network) and cannot be scripted");
    playerLog(platform::format("network %s", name.c_str()));
    scripted->setFlags(network->second);
    return StepOutcome::next();
}

StepOutcome playDeviceOrientation(const StepRun& run) {
    const long orientation = run.step["deviceOrientation"].integerValue();
    playerLog(platform::format("device orientation %ld", orientation));
    platform::UIDevice::currentDevice().setOrientation(static_cast<platform::UIDeviceOrientation>(orientation));
    return StepOutcome::next();
}

}  // namespace sim
