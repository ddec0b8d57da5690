#pragma once
// A network-reachability handle: asks the current reachability source
// (ReachabilitySource.h, taken when the handle is made) whether an address
// or a host can be reached, and calls a callout when that may have changed.
//
// What a target is asked as: the any-address (0.0.0.0, ::), any other
// address and any host name ask whether the internet can be reached; an
// IPv4 link-local address (169.254/16) asks for the local Wi-Fi network.
//
// getFlags() may be called from any thread. The callout is set, scheduled
// and unscheduled on the main thread and runs there, on the main run loop;
// it runs only while the handle is scheduled and alive: the destructor
// unschedules it.

#include <any>
#include <memory>
#include <string>

#include <sys/socket.h>

#include "platform/network/ReachabilitySource.h"

namespace platform {

class NetworkReachability : public std::enable_shared_from_this<NetworkReachability> {
public:
    using Callout = void (*)(NetworkReachability& target, ReachabilityFlags flags, const std::any& info);

    // Nothing for a missing address or one of another family than IPv4 or IPv6.
    static std::shared_ptr<NetworkReachability> createWithAddress(const sockaddr* address);
    // Nothing for an empty name.
    static std::shared_ptr<NetworkReachability> createWithName(const std::string& name);

    ~NetworkReachability();
    NetworkReachability(const NetworkReachability&) = delete;
    NetworkReachability& operator=(const NetworkReachability&) = delete;

    ReachabilityTarget target() const { return target_; }
    // False when the source cannot tell.
    bool getFlags(ReachabilityFlags& flags) const;

    // A null callout removes it; `info` is handed to every call.
    bool setCallback(Callout callout, std::any info);
    // Starts watching the source; false without a callout. Main thread.
    bool scheduleWithMainRunLoop();
    bool unscheduleFromMainRunLoop();

private:
    NetworkReachability(ReachabilityTarget target, std::shared_ptr<ReachabilitySource> source);
    void sourceChanged();

    ReachabilityTarget target_;
    std::shared_ptr<ReachabilitySource> source_;
    Callout callout_ = nullptr;
    std::any info_;
    ReachabilitySource::WatchToken watch_;
};

}  // namespace platform
