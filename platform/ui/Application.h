#pragma once
// The application stand-in: its state, its delegate, what it was asked to
// open, the status bar (which the key window draws), and the posting of its
// life-cycle notifications (from ApplicationNotifications.h) on the default
// notification centre. Main thread only, except where a method says otherwise.

#include <functional>
#include <optional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/KeyPathObservers.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/ApplicationNotifications.h"
#include "platform/ui/ViewController.h"

namespace platform {

enum class UIApplicationState { Active, Inactive, Background };

enum class UIBackgroundFetchResult { NewData = 0, NoData = 1, Failed = 2 };

// The launch-options key under which a push that launched the app arrives.
inline constexpr const char* UIApplicationLaunchOptionsRemoteNotificationKey =
    "UIApplicationLaunchOptionsRemoteNotificationKey";

class UIView;

// The status bar's thickness in points.
inline constexpr double UIStatusBarThickness = 20;

// Key-value observing: the key path that changed and its change, whose
// NSKeyValueChangeNewKey entry holds the new value.
inline constexpr const char* NSKeyValueChangeNewKey = "new";
using KeyValueObserver = std::function<void(const std::string& keyPath, const Dictionary& change)>;
using KeyValueObserverToken = KeyPathObservers<KeyValueObserver>::Token;

using UIBackgroundTaskIdentifier = unsigned long;
inline constexpr UIBackgroundTaskIdentifier UIBackgroundTaskInvalid = 0;

class UIApplicationDelegate;

class UIApplication {
public:
    static UIApplication& sharedApplication();

    UIApplicationState applicationState() const;
    // Moves to the state, telling the delegate and posting the notifications a
    // phone posts on the way (the delegate hears each step first):
    // Active -> Background: will-resign-active, did-enter-background;
    // Background -> Active: will-enter-foreground, did-become-active;
    // Inactive -> Active: did-become-active; Active -> Inactive: will-resign-active.
    void setApplicationState(UIApplicationState state);
    // Tells the delegate and posts will-terminate.
    void terminate();

    long applicationIconBadgeNumber() const;
    void setApplicationIconBadgeNumber(long number);

    // Ends the main loop of UIApplicationMain with this status.
    void requestExit(int status);
    bool exitRequested() const;
    int exitStatus() const;

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

    // The status bar: hidden or shown, its style and its orientation (the
    // interface's). Setting a different "statusBarHidden" value tells its
    // observers, whoever set it.
    bool isStatusBarHidden() const;
    void setStatusBarHidden(bool hidden);
    long statusBarStyle() const;
    void setStatusBarStyle(long style);
    UIInterfaceOrientation statusBarOrientation() const;
    void setStatusBarOrientation(UIInterfaceOrientation orientation);
    // In screen coordinates from the screen's top-left corner: the screen's
    // width by the thickness in portrait, the thickness by the screen's
    // height in landscape; zero while hidden.
    CGRect statusBarFrame() const;
    // Whether view controllers decide the status bar (their preferences, see
    // UIViewController): from system 7.0 on, unless Info.plist's
    // "UIViewControllerBasedStatusBarAppearance" says no.
    bool viewControllerBasedStatusBarAppearance() const;
    // Observers of a key path ("statusBarHidden"), called on the main thread
    // after the change. An observer stays until removed, across reset().
    KeyValueObserverToken addObserverForKeyPath(const std::string& keyPath, KeyValueObserver observer);
    void removeObserver(KeyValueObserverToken token);

    // Background tasks: recorded; the expiry handler runs only when a test
    // or the simulator calls expireBackgroundTasks(). Thread-safe.
    UIBackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
    void endBackgroundTask(UIBackgroundTaskIdentifier identifier);
    std::size_t runningBackgroundTasks() const;
    void expireBackgroundTasks();

    // Back to launch state (tests).
    void reset();

private:
    UIApplication();
    friend class NeverDestroyed<UIApplication>;
    ~UIApplication();
    mutable std::mutex mutex_;
    UIApplicationState state_ = UIApplicationState::Active;
    std::shared_ptr<UIApplicationDelegate> delegate_;
    std::set<std::string> openableSchemes_;
    std::vector<URL> openedURLs_;
    bool networkActivityIndicatorVisible_ = false;
    long badgeNumber_ = 0;
    bool exitRequested_ = false;
    int exitStatus_ = 0;
    UIBackgroundTaskIdentifier nextTask_ = 1;
    std::vector<std::pair<UIBackgroundTaskIdentifier, std::function<void()>>> backgroundTasks_;
    bool statusBarHidden_ = false;
    long statusBarStyle_ = UIStatusBarStyleDefault;
    UIInterfaceOrientation statusBarOrientation_ = UIInterfaceOrientationPortrait;
    KeyPathObservers<KeyValueObserver> keyValueObservers_;
};

// What the application delegate hears; the app shell implements it. Every
// method has a default that does nothing (or answers as a phone does when the
// delegate has no such method).
class UIApplicationDelegate {
public:
    virtual ~UIApplicationDelegate() = default;
    virtual bool applicationDidFinishLaunchingWithOptions(UIApplication& application, const Value& launchOptions) {
        return true;
    }
    virtual bool applicationHandleOpenURL(UIApplication& application, const std::optional<URL>& url) { return false; }
    virtual void applicationDidRegisterForRemoteNotificationsWithDeviceToken(UIApplication& application,
                                                                            const Data& deviceToken) {}
    virtual void applicationDidReceiveRemoteNotification(UIApplication& application, const Dictionary& userInfo) {}
    virtual void applicationDidReceiveRemoteNotificationFetchCompletionHandler(
        UIApplication& application, const Dictionary& userInfo, std::function<void(UIBackgroundFetchResult)> completion) {
        applicationDidReceiveRemoteNotification(application, userInfo);
        if (completion) completion(UIBackgroundFetchResult::NoData);
    }
    virtual void applicationDidReceiveLocalNotification(UIApplication& application, const Value& notification) {}
    // Mask of 1 << orientation; by default whatever the window's controller allows.
    virtual unsigned long applicationSupportedInterfaceOrientationsForWindow(UIApplication& application, UIView* window) {
        return 0;
    }
    virtual void applicationWillResignActive(UIApplication& application) {}
    virtual void applicationDidEnterBackground(UIApplication& application) {}
    virtual void applicationWillEnterForeground(UIApplication& application) {}
    virtual void applicationDidBecomeActive(UIApplication& application) {}
    virtual void applicationWillTerminate(UIApplication& application) {}
    virtual void applicationDidReceiveMemoryWarning(UIApplication& application) {}
};

// Application delegate classes by name, filled by the app in one place.
using UIApplicationDelegateRegistry = ClassRegistry<UIApplicationDelegate>;
UIApplicationDelegateRegistry& applicationDelegateRegistry();

// The application's main: makes the delegate of the class named, launches it
// with `launchOptions`, then runs the main run loop until requestExit.
// Returns the exit status; 1 when no delegate class of that name exists.
int UIApplicationMain(int argc, char** argv, const std::string& delegateClassName, const Value& launchOptions = {});

}  // namespace platform
