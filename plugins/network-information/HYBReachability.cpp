#include "plugins/network-information/HYBReachability.h"

#include <netinet/in.h>

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"

namespace plugins {

using namespace platform;

void ReachabilityCallback(NetworkReachability&, ReachabilityFlags, const std::any& info) {
    if (!info.has_value()) {
        log("info was NULL in ReachabilityCallback");
        return;
    }
    const auto* weakReachability = std::any_cast<std::weak_ptr<HYBReachability>>(&info);
    if (!weakReachability) {
        log("info was wrong class in ReachabilityCallback");
        return;
    }
    auto reachability = weakReachability->lock();
    if (!reachability) return;
    NotificationCenter::defaultCenter().post(kNetworkReachabilityChangedNotification, reachability.get(),
                                             std::any(reachability));
}

HYBReachability::HYBReachability(std::shared_ptr<NetworkReachability> reachability)
    : reachabilityRef_(std::move(reachability)) {}

HYBReachability::~HYBReachability() { stopNotifier(); }

std::shared_ptr<HYBReachability> HYBReachability::reachabilityWithHostName(const std::string& hostName) {
    auto reachability = NetworkReachability::createWithName(hostName);
    if (!reachability) return nullptr;
    return std::shared_ptr<HYBReachability>(new HYBReachability(std::move(reachability)));
}

std::shared_ptr<HYBReachability> HYBReachability::reachabilityWithAddress(const sockaddr* hostAddress) {
    auto reachability = NetworkReachability::createWithAddress(hostAddress);
    if (!reachability) return nullptr;
    return std::shared_ptr<HYBReachability>(new HYBReachability(std::move(reachability)));
}

std::shared_ptr<HYBReachability> HYBReachability::reachabilityForInternetConnection() {
    sockaddr_in zeroAddress{};
    zeroAddress.sin_family = AF_INET;
    return reachabilityWithAddress(reinterpret_cast<const sockaddr*>(&zeroAddress));
}

std::shared_ptr<HYBReachability> HYBReachability::reachabilityForLocalWiFi() {
    sockaddr_in localWifiAddress{};
    localWifiAddress.sin_family = AF_INET;
    localWifiAddress.sin_addr.s_addr = htonl(0xA9FE0000u);  // 169.254.0.0
    auto reachability = reachabilityWithAddress(reinterpret_cast<const sockaddr*>(&localWifiAddress));
    if (reachability) reachability->localWiFiRef_ = true;
    return reachability;
}

bool HYBReachability::startNotifier() {
    if (!reachabilityRef_) return false;
    // Weak, where the system took the object unretained: a change that comes
    // after the object is gone then finds nothing instead of freed memory.
    std::weak_ptr<HYBReachability> weakSelf = weak_from_this();
    return reachabilityRef_->setCallback(ReachabilityCallback, std::any(weakSelf)) &&
           reachabilityRef_->scheduleWithMainRunLoop();
}

void HYBReachability::stopNotifier() {
    if (reachabilityRef_) reachabilityRef_->unscheduleFromMainRunLoop();
}

NetworkStatus HYBReachability::localWiFiStatusForFlags(ReachabilityFlags flags) const {
    const bool direct = (flags & kReachabilityFlagsReachable) && (flags & kReachabilityFlagsIsDirect);
    return direct ? ReachableViaWiFi : NotReachable;
}

NetworkStatus HYBReachability::networkStatusForFlags(ReachabilityFlags flags) const {
    if (!(flags & kReachabilityFlagsReachable)) return NotReachable;
    NetworkStatus status = NotReachable;
    if (!(flags & kReachabilityFlagsConnectionRequired)) status = ReachableViaWiFi;
    if ((flags & (kReachabilityFlagsConnectionOnDemand | kReachabilityFlagsConnectionOnTraffic)) &&
        !(flags & kReachabilityFlagsInterventionRequired))
        status = ReachableViaWiFi;
    if (flags & kReachabilityFlagsIsWWAN) status = ReachableViaWWAN;
    return status;
}

NetworkStatus HYBReachability::currentReachabilityStatus() const {
    if (!reachabilityRef_) throw AssertionFailure("currentNetworkStatus called with NULL reachabilityRef");
    ReachabilityFlags flags = 0;
    if (!reachabilityRef_->getFlags(flags)) return NotReachable;
    return localWiFiRef_ ? localWiFiStatusForFlags(flags) : networkStatusForFlags(flags);
}

bool HYBReachability::connectionRequired() const {
    if (!reachabilityRef_) throw AssertionFailure("connectionRequired called with NULL reachabilityRef");
    ReachabilityFlags flags = 0;
    return reachabilityRef_->getFlags(flags) && (flags & kReachabilityFlagsConnectionRequired);
}

}  // namespace plugins
