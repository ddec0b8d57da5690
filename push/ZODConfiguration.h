#pragma once
// The push client's configuration: the app's key with the push service, its
// distribution channel and whether pushes go through the production
// environment. Read from the main bundle's "PushConfig.plist".
//
// A missing or broken file is logged and leaves the client unconfigured; it
// never stops the app.

#include <string>

#include "platform/foundation/Bundle.h"

namespace push {

inline constexpr const char* kZODConfigurationResource = "PushConfig";
inline constexpr const char* kZODConfigurationType = "plist";
inline constexpr const char* kZODAppKeyKey = "APP_KEY";
inline constexpr const char* kZODChannelKey = "CHANNEL";
inline constexpr const char* kZODApsForProductionKey = "APS_FOR_PRODUCTION";

struct ZODConfiguration {
    std::string appKey;
    std::string channel;
    bool apsForProduction = false;
    // Whether a readable file with an app key was found.
    bool configured = false;

    // Reads the configuration of `bundle`, logging whatever is missing or malformed.
    static ZODConfiguration readFromBundle(const platform::Bundle& bundle);
};

}  // namespace push
