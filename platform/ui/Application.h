#pragma once
// The application stand-in: its state, its delegate, what it was asked to
// open, and the posting of its life-cycle notifications (from
// ApplicationNotifications.h) on the default notification centre.
// Main thread only, except where a method says otherwise.

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/ui/ApplicationNotifications.h"

namespace platform {

enum class UIApplicationState { Active, Inactive, Background };

using UIBackgroundTaskIdentifier = unsigned long;
inline constexpr UIBackgroundTaskIdentifier UIBackgroundTaskInvalid = 0;

class UIApplicationDelegate;

class UIApplication {
public:
    static UIApplication& sharedApplication();

    UIApplicationState applicationState() const;
    // Moves to the state and posts the notifications a phone posts on the way:
    // Active -> Background: will-resign-active, did-enter-background;
    // Background -> Active: will-enter-foreground, did-become-active;
    // Inactive -> Active: did-become-active; Active -> Inactive: will-resign-active.
    void setApplicationState(UIApplicationState state);
    // Posts will-terminate.
    void terminate();

    std::shared_ptr<UIApplicationDelegate> delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<UIApplicationDelegate> delegate) { delegate_ = std::move(delegate); }

    // URLs of these schemes "can be opened" (by another app); none by default.
    void setOpenableSchemes(std::set<std::string> schemes);
    bool canOpenURL(const URL& url) const;
    // Records the URL; answers canOpenURL.
    bool openURL(const URL& url);
    std::vector<URL> openedURLs() const;

    bool isNetworkActivityIndicatorVisible() const { return networkActivityIndicatorVisible_; }
    void setNetworkActivityIndicatorVisible(bool visible) { networkActivityIndicatorVisible_ = visible; }

    // Background tasks: recorded; the expiry handler runs only when a test
    // or the simulator calls expireBackgroundTasks(). Thread-safe.
    UIBackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
    void endBackgroundTask(UIBackgroundTaskIdentifier identifier);
    std::size_t runningBackgroundTasks() const;
    void expireBackgroundTasks();

    // Back to launch state (tests).
    void reset();

private:
    UIApplication() = default;
    mutable std::mutex mutex_;
    UIApplicationState state_ = UIApplicationState::Active;
    std::shared_ptr<UIApplicationDelegate> delegate_;
    std::set<std::string> openableSchemes_;
    std::vector<URL> openedURLs_;
    bool networkActivityIndicatorVisible_ = false;
    UIBackgroundTaskIdentifier nextTask_ = 1;
    std::vector<std::pair<UIBackgroundTaskIdentifier, std::function<void()>>> backgroundTasks_;
};

// What the application delegate hears; the app shell implements it.
class UIApplicationDelegate {
public:
    virtual ~UIApplicationDelegate() = default;
};

}  // namespace platform
