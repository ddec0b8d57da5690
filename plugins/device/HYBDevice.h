#pragma once
// Facts about the device for the page: getDeviceInfo answers a dictionary of
// strings (model, platform, system version, install identifier, bridge
// version, device name, disk size, screen size in pixels). When the app
// bundle carries a "Settings" property list, the page gets it as
// window.Settings just before that answer.

#include <string>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "platform/foundation/Value.h"

namespace plugins {

class HYBDevice : public hybrid::HYBPlugin {
public:
    using HYBPlugin::HYBPlugin;

    // No arguments; answers OK with deviceProperties().
    void getDeviceInfo(const hybrid::HYBInvokedUrlCommand& command);

    platform::Dictionary deviceProperties() const;
    // The size of the file system holding the app's home, in mebibytes; 0 (logged) when it cannot be read.
    float getTotalDiskSpace() const;
    // "3.8.0".
    static std::string hybridVersion();

protected:
    const hybrid::HYBActionTable& actionTable() const override;
};

}  // namespace plugins
