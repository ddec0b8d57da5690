#include "platform/network/NetworkReachability.h"

#include <netinet/in.h>

#include "platform/foundation/RunLoop.h"

namespace platform {

NetworkReachability::NetworkReachability(ReachabilityTarget target, std::shared_ptr<ReachabilitySource> source)
    : target_(target), source_(std::move(source)) {}

NetworkReachability::~NetworkReachability() { unscheduleFromMainRunLoop(); }

std::shared_ptr<NetworkReachability> NetworkReachability::createWithAddress(const sockaddr* address) {
    if (!address) return nullptr;
    ReachabilityTarget target = ReachabilityTarget::Internet;
    if (address->sa_family == AF_INET) {
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
        if ((ntohl(ipv4->sin_addr.s_addr) & 0xFFFF0000u) == 0xA9FE0000u) target = ReachabilityTarget::LocalWiFi;
    } else if (address->sa_family != AF_INET6) {
        return nullptr;
    }
    return std::shared_ptr<NetworkReachability>(new NetworkReachability(target, ReachabilitySource::shared()));
}

std::shared_ptr<NetworkReachability> NetworkReachability::createWithName(const std::string& name) {
    if (name.empty()) return nullptr;
    return std::shared_ptr<NetworkReachability>(
        new NetworkReachability(ReachabilityTarget::Internet, ReachabilitySource::shared()));
}

bool NetworkReachability::getFlags(ReachabilityFlags& flags) const {
    const auto answer = source_->flagsFor(target_);
    if (!answer) return false;
    flags = *answer;
    return true;
}

bool NetworkReachability::setCallback(Callout callout, std::any info) {
    assertMainThread("NetworkReachability::setCallback");
    callout_ = callout;
    info_ = callout ? std::move(info) : std::any();
    return true;
}

bool NetworkReachability::scheduleWithMainRunLoop() {
    assertMainThread("NetworkReachability::scheduleWithMainRunLoop");
    if (!callout_) return false;
    if (watch_) return true;
    std::weak_ptr<NetworkReachability> weakSelf = weak_from_this();
    watch_ = source_->watch([weakSelf] {
        if (auto self = weakSelf.lock()) self->sourceChanged();
    });
    return true;
}

// No thread check: destructors call this, and dropping the watch is safe anywhere.
bool NetworkReachability::unscheduleFromMainRunLoop() {
    watch_.reset();
    return true;
}

void NetworkReachability::sourceChanged() {
    if (!callout_) return;
    ReachabilityFlags flags = 0;
    if (!getFlags(flags)) flags = 0;
    // A copy: the callout may replace the callback while it runs.
    const std::any info = info_;
    callout_(*this, flags, info);
}

}  // namespace platform
