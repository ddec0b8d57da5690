#pragma once
// The push client's public facade, called by the app shell on the main
// thread (any thread works). Every call returns at once: it copies its
// arguments and hands the work to the client thread of the shared service.

#include <string_view>

#include "platform/foundation/Value.h"
#include "push/ZODService.h"

namespace push {

inline constexpr std::string_view kZODVersionBanner = "RUzer push client 1.0.0";

class RODevezir {
public:
    // Starts the logger at INFO, logs the version banner, creates the shared
    // service on first use and hands the push that launched the app (if any,
    // under UIApplicationLaunchOptionsRemoteNotificationKey) to it as a
    // launch report (2003). `launchOptions` may be nil.
    static void setupWithOption(const platform::Value& launchOptions);
    static void registerDeviceToken(const platform::Data& token);
    // Ignores an empty payload; otherwise reports it with the type of the
    // application state at the time of the call.
    static void handleRemoteNotification(const platform::Dictionary& payload);
    // Made once, thread-safely, on first use; lives until the process exits,
    // when it stops and joins its thread.
    static ZODService& sharedService();
};

}  // namespace push
