#pragma once
// The device's hardware model string ("hw.machine"), as the device plugin
// reports it.

#include <string>

#include "platform/ui/Device.h"

namespace plugins {

inline std::string modelVersion(const platform::UIDevice& device = platform::UIDevice::currentDevice()) {
    return device.machine();
}

}  // namespace plugins
