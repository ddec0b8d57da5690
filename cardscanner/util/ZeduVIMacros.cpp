#include "cardscanner/util/ZeduVIMacros.h"

#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Device.h"

namespace cardscanner {

namespace {

struct Cache {
    std::mutex mutex;
    std::optional<long> majorVersion;
    std::optional<bool> viewControllerBasedStatusBar;
};

Cache& cache() {
    // Reset: both answers asked again, of the device and bundle then current.
    static platform::NeverDestroyed<Cache> instance{platform::ResetStage::Application, [](Cache& c) {
        std::lock_guard lock(c.mutex);
        c.majorVersion.reset();
        c.viewControllerBasedStatusBar.reset();
    }};
    return *instance;
}

long computeMajorVersion() {
    const std::string version = platform::UIDevice::currentDevice().systemVersion();
    return static_cast<long>(platform::integerValueOfString(version.substr(0, version.find('.'))));
}

}  // namespace

long ZeduVIMacros::deviceSystemMajorVersion() {
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    if (!c.majorVersion) c.majorVersion = computeMajorVersion();
    return *c.majorVersion;
}

bool ZeduVIMacros::appHasViewControllerBasedStatusBar() {
    const long major = deviceSystemMajorVersion();
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    if (!c.viewControllerBasedStatusBar) {
        c.viewControllerBasedStatusBar =
            major < 7 ||
            platform::Bundle::main().objectForInfoDictionaryKey("UIViewControllerBasedStatusBarAppearance").boolValue();
    }
    return *c.viewControllerBasedStatusBar;
}

void ZeduVIMacros::reset() {
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    c.majorVersion.reset();
    c.viewControllerBasedStatusBar.reset();
}

}  // namespace cardscanner
