#include "push/ZODConfiguration.h"

#include <optional>
#include <string>

#include "platform/foundation/PropertyList.h"
#include "push/ZODLogger.h"

namespace push {

ZODConfiguration ZODConfiguration::readFromBundle(const platform::Bundle& bundle) {
    ZODConfiguration configuration;
    const std::string file = std::string(kZODConfigurationResource) + "." + kZODConfigurationType;

    std::optional<std::string> path = bundle.pathForResource(kZODConfigurationResource, kZODConfigurationType);
    if (!path) {
        ZODLogger::error(file + " is missing from the app bundle; the push client stays unconfigured");
        return configuration;
    }
    platform::PropertyListReadResult read = platform::readPropertyListFile(*path);
    if (!read.value) {
        ZODLogger::error(file + " cannot be read (" + read.error + "); the push client stays unconfigured");
        return configuration;
    }
    const platform::Value& root = *read.value;
    if (!root.isDictionary()) {
        ZODLogger::error(file + " holds no dictionary; the push client stays unconfigured");
        return configuration;
    }

    const platform::Value& appKey = root[kZODAppKeyKey];
    if (!appKey.isString() || appKey.string()->empty()) {
        ZODLogger::error(file + " has no " + kZODAppKeyKey + "; the push client stays unconfigured");
    } else {
        configuration.appKey = *appKey.string();
        configuration.configured = true;
    }

    const platform::Value& channel = root[kZODChannelKey];
    if (channel.isString()) {
        configuration.channel = *channel.string();
    } else if (!channel.isNil()) {
        ZODLogger::error(file + ": " + kZODChannelKey + " is not a string; no channel is used");
    }

    // Booleans and the platform's readings of numbers and strings ("YES", 1) all count.
    configuration.apsForProduction = root[kZODApsForProductionKey].boolValue();

    if (configuration.configured) {
        ZODLogger::info("app key " + configuration.appKey + ", channel \"" + configuration.channel + "\", " +
                        (configuration.apsForProduction ? "production" : "development") + " environment");
    }
    return configuration;
}

}  // namespace push
