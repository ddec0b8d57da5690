#include "cardscanner/context/ZeduVIOrientation.h"

#include <algorithm>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Device.h"

namespace cardscanner {

using namespace platform;

namespace {

constexpr long kPortrait = 1;

}  // namespace

ZeduVIOrientation::~ZeduVIOrientation() {
    if (listeners_.empty()) return;
    NotificationCenter::defaultCenter().removeObserver(this);
    UIDevice::currentDevice().endGeneratingDeviceOrientationNotifications();
}

void ZeduVIOrientation::addListener(const void* owner, std::function<void()> changed) {
    platform::assertMainThread("ZeduVIOrientation::addListener");
    const auto found = std::ranges::find(listeners_, owner, &std::pair<const void*, std::function<void()>>::first);
    if (found != listeners_.end()) {
        found->second = std::move(changed);
        return;
    }
    if (listeners_.empty()) {
        // Any sender: the form posts the change itself when it finds the
        // device and the status bar disagreeing.
        NotificationCenter::defaultCenter().addObserver(this, UIDeviceOrientationDidChangeNotification, nullptr,
                                                        [this](const Notification&) { deviceOrientationDidChange(); });
        UIDevice::currentDevice().beginGeneratingDeviceOrientationNotifications();
    }
    listeners_.emplace_back(owner, std::move(changed));
}

void ZeduVIOrientation::removeListener(const void* owner) {
    const auto found = std::ranges::find(listeners_, owner, &std::pair<const void*, std::function<void()>>::first);
    if (found == listeners_.end()) return;
    listeners_.erase(found);
    if (!listeners_.empty()) return;
    NotificationCenter::defaultCenter().removeObserver(this);
    UIDevice::currentDevice().endGeneratingDeviceOrientationNotifications();
}

bool ZeduVIOrientation::isListening(const void* owner) const {
    return std::ranges::find(listeners_, owner, &std::pair<const void*, std::function<void()>>::first) !=
           listeners_.end();
}

void ZeduVIOrientation::deviceOrientationDidChange() {
    // A listener may stop listening, or another start, from its call.
    const auto listeners = listeners_;
    for (const auto& [owner, changed] : listeners) {
        if (isListening(owner)) changed();
    }
}

long ZeduVIOrientation::resolve(long current, long initial, const Supported& supported, long fallback) {
    const long device = UIDevice::currentDevice().orientation();
    long orientation = kPortrait;
    if (isInterfaceOrientation(device)) {
        orientation = device;
    } else if (current != 0) {
        orientation = current;
    } else if (isInterfaceOrientation(initial)) {
        orientation = initial;
    }
    if (supported(orientation)) return orientation;
    // "None yet" is no orientation to keep, whatever the screen says of it.
    if (isInterfaceOrientation(current) && supported(current)) return current;
    return fallback != 0 ? fallback : orientation;
}

}  // namespace cardscanner
