#pragma once
// Whether the internet (or a host, or the local Wi-Fi network) can be
// reached, as a status, and a "kNetworkReachabilityChangedNotification" on
// the default centre, with this object as sender and object, whenever the
// network may have changed while the notifier runs.
//
// Made, started, stopped and dropped on the main thread; the notification
// comes there too. Always held by a shared_ptr (the factories make it so):
// the system callback holds it weakly, and the destructor stops the
// notifier, so a change that comes after the object is gone reaches nothing.

#include <any>
#include <memory>
#include <string>

#include <sys/socket.h>

#include "platform/network/NetworkReachability.h"

namespace plugins {

enum NetworkStatus : int {
    NotReachable = 0,
    ReachableViaWWAN = 1,
    ReachableViaWiFi = 2,
};

inline constexpr const char* kNetworkReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

class HYBReachability : public std::enable_shared_from_this<HYBReachability> {
public:
    // Each answers nothing when the system cannot make the handle.
    static std::shared_ptr<HYBReachability> reachabilityWithHostName(const std::string& hostName);
    static std::shared_ptr<HYBReachability> reachabilityWithAddress(const sockaddr* hostAddress);
    // 0.0.0.0: the internet.
    static std::shared_ptr<HYBReachability> reachabilityForInternetConnection();
    // 169.254.0.0: the link-local Wi-Fi network.
    static std::shared_ptr<HYBReachability> reachabilityForLocalWiFi();

    ~HYBReachability();
    HYBReachability(const HYBReachability&) = delete;
    HYBReachability& operator=(const HYBReachability&) = delete;

    bool startNotifier();
    void stopNotifier();

    NetworkStatus currentReachabilityStatus() const;
    bool connectionRequired() const;
    NetworkStatus networkStatusForFlags(platform::ReachabilityFlags flags) const;
    NetworkStatus localWiFiStatusForFlags(platform::ReachabilityFlags flags) const;

    bool localWiFiRef() const { return localWiFiRef_; }
    const std::shared_ptr<platform::NetworkReachability>& reachabilityRef() const { return reachabilityRef_; }

private:
    explicit HYBReachability(std::shared_ptr<platform::NetworkReachability> reachability);

    bool localWiFiRef_ = false;
    std::shared_ptr<platform::NetworkReachability> reachabilityRef_;
};

// The system callback: `info` is the weak reference startNotifier() registers.
void ReachabilityCallback(platform::NetworkReachability& target, platform::ReachabilityFlags flags,
                          const std::any& info);

}  // namespace plugins
