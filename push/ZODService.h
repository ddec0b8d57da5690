#pragma once
// The push client service: owns the client thread and everything that runs on
// it. Its public calls may come from any thread; each copies its arguments,
// hands the work to the client thread and returns at once. On the thread the
// service reads its configuration (first thing after it starts), keeps the
// device token, and talks to the push service through a ZODTransport.
//
// The client thread's run loop is kept alive by a repeating 1000 s timer, so
// that it stays a live loop between pushes as on the phone.
//
// One shared instance (RODevezir::sharedService()) lives for the life of the
// process; tests may make their own.

#include <memory>
#include <mutex>

#include "platform/foundation/Thread.h"
#include "platform/foundation/Value.h"
#include "push/ZODConfiguration.h"
#include "push/ZODReportType.h"
#include "push/ZODTransport.h"

namespace push {

class ZODService {
public:
    static constexpr double kKeepAliveInterval = 1000.0;
    static constexpr const char* kThreadName = "push client";

    // Starts the client thread and its set-up. Without a transport it logs what it would send.
    explicit ZODService(std::shared_ptr<ZODTransport> transport = nullptr);
    // Finishes the work already handed over, then stops the thread.
    ~ZODService();
    ZODService(const ZODService&) = delete;
    ZODService& operator=(const ZODService&) = delete;

    // Registers the device token with the push service. An empty token is logged and dropped.
    void registerDeviceToken(platform::Data token);
    // Reports a remote notification's receipt. An empty payload is logged and dropped.
    void handleRemoteNotification(ZODReportType type, platform::Dictionary payload);

    // What the set-up read, and the token last registered (both as of the
    // last work the thread finished). Safe from any thread.
    ZODConfiguration configuration() const;
    platform::Data deviceToken() const;

    platform::Thread& thread() { return thread_; }

    // Work handed over after this call uses `transport` (nullptr: the logging one).
    void setTransportForTesting(std::shared_ptr<ZODTransport> transport);
    // Waits until the client thread has done everything handed to it before the call.
    void flushForTesting() { thread_.sync(); }

private:
    void setUp();

    // Touched on the client thread only.
    std::shared_ptr<ZODTransport> transport_;

    // Written on the client thread, read from any thread.
    mutable std::mutex mutex_;
    ZODConfiguration configuration_;
    platform::Data deviceToken_;

    // Last, so that it is stopped and joined before the members its work uses go away.
    platform::Thread thread_;
};

}  // namespace push
