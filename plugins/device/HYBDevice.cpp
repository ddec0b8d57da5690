#include "plugins/device/HYBDevice.h"

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBDeviceExtension.h"
#include "hybrid/HYBPluginResult.h"
#include "hybrid/HYBViewController.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"
#include "plugins/device/UIDeviceModelVersion.h"

namespace plugins {

const hybrid::HYBActionTable& HYBDevice::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<HYBDevice>({{"getDeviceInfo", &HYBDevice::getDeviceInfo}});
    return table;
}

std::string HYBDevice::hybridVersion() { return platform::format("%d.%d.%d", 3, 8, 0); }

float HYBDevice::getTotalDiskSpace() const {
    auto& files = platform::FileManager::defaultManager();
    platform::Error error;
    const auto attributes = files.attributesOfFileSystemForPath(platform::FileManager::homeDirectory(), &error);
    if (!attributes) {
        platform::logf("Error Obtaining System Memory Info: Domain = %s, Code = %ld", error.domain.c_str(),
                       static_cast<long>(error.code));
        return 0;
    }
    const auto size = attributes->find("NSFileSystemSize");
    const float bytes = size == attributes->end() ? 0.0f : static_cast<float>(size->second.doubleValue());
    return bytes * (1.0f / 1024) * (1.0f / 1024);
}

platform::Dictionary HYBDevice::deviceProperties() const {
    const auto& device = platform::UIDevice::currentDevice();
    const auto& screen = platform::UIScreen::mainScreen();
    const double scale = screen.scale();
    const platform::CGRect bounds = screen.bounds();
    platform::Dictionary properties;
    properties["model"] = modelVersion(device);
    properties["platform"] = "iOS";
    properties["version"] = device.systemVersion();
    properties["uuid"] = hybrid::uniqueAppInstanceIdentifier();
    properties["hybrid"] = hybridVersion();
    properties["deviceName"] = device.name();
    // The key's spelling is what pages read.
    properties["memery"] = platform::format("%f", static_cast<double>(getTotalDiskSpace()));
    properties["deviceWidth"] = platform::format("%f", scale * bounds.size.width);
    properties["deviceHeight"] = platform::format("%f", scale * bounds.size.height);
    return properties;
}

void HYBDevice::getDeviceInfo(const hybrid::HYBInvokedUrlCommand& command) {
    const auto result =
        hybrid::HYBPluginResult::resultWithStatusMessageAsDictionary(hybrid::HYBResultStatusOK, deviceProperties());
    const auto delegate = commandDelegate();
    if (!delegate) return;
    const auto settings = hybrid::HYBViewController::getBundlePlist("Settings");
    if (settings && settings->isDictionary()) {
        platform::log("HYBDevice: window.Settings is deprecated and will be removed; pages should not rely on it");
        const auto json = platform::writeJson(*settings, platform::JsonWriting::Compact);
        // Dates and data have no JSON form: better no window.Settings than a partial or null one.
        if (json.text)
            delegate->evalJs("window.Settings = " + *json.text + ";");
        else
            platform::log("HYBDevice: the Settings property list has no JSON form (" + json.error +
                          "); window.Settings is not set");
    }
    // Queued after the script above, so the page sees window.Settings before the callback runs.
    delegate->sendPluginResult(*result, command.callbackId());
}

}  // namespace plugins
