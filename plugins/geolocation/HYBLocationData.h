#pragma once
// The geolocation plugin's book of requests: one-shot callbacks waiting for
// the next position, the page's watches, and the latest position. Owned by
// one HYBLocation; main thread only.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/location/LocationManager.h"

namespace plugins {

struct HYBLocationData {
    // Declared for callers written against it; never set or read.
    unsigned long locationStatus = 0;
    // Pending one-shot callback ids in arrival order; nothing until first used.
    std::optional<std::vector<std::string>> locationCallbacks;
    // Watch id (the page's own value) -> callback id, in registration order;
    // nothing until first used.
    std::optional<std::vector<std::pair<platform::Value, std::string>>> watchCallbacks;
    std::optional<platform::CLLocation> locationInfo;
};

}  // namespace plugins
