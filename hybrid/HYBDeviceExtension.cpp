#include "hybrid/HYBDeviceExtension.h"

#include <mutex>

#include "platform/foundation/UserDefaults.h"
#include "platform/foundation/Uuid.h"

namespace hybrid {

namespace {
constexpr const char* kUuidKey = "HYBUUID";
}

std::string uniqueAppInstanceIdentifier(platform::UserDefaults& defaults) {
    // Two first requests racing must not make two identifiers.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::string identifier = defaults.stringForKey(kUuidKey);
    if (identifier.empty()) {
        identifier = platform::newUuidString();
        defaults.setObject(kUuidKey, identifier);
        defaults.synchronize();
    }
    return identifier;
}

std::string uniqueAppInstanceIdentifier() { return uniqueAppInstanceIdentifier(platform::UserDefaults::standard()); }

}  // namespace hybrid
