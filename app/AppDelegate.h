#pragma once
// The application delegate: sets the app-wide web cache and cookie policy,
// makes the one window with the main container as its root, hands launch
// options, the push token and pushes to the push client, relays URLs that
// open the app to the page, and puts the gesture lock in front of the page
// at launch and on every return to the foreground. Main thread only.

#include <memory>

#include "app/MainViewController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace plugins {
class LockPattern;
}

namespace app {

inline constexpr const char* RUzerPluginReceiveNofication = "RUzerPluginReceiveNofication";

class AppDelegate : public platform::UIApplicationDelegate {
public:
    AppDelegate();

    bool applicationDidFinishLaunchingWithOptions(platform::UIApplication& application,
                                                  const platform::Value& launchOptions) override;
    bool applicationHandleOpenURL(platform::UIApplication& application, const std::optional<platform::URL>& url) override;
    void applicationDidRegisterForRemoteNotificationsWithDeviceToken(platform::UIApplication& application,
                                                                    const platform::Data& deviceToken) override;
    void applicationDidReceiveRemoteNotification(platform::UIApplication& application,
                                                 const platform::Dictionary& userInfo) override;
    void applicationDidReceiveRemoteNotificationFetchCompletionHandler(
        platform::UIApplication& application, const platform::Dictionary& userInfo,
        std::function<void(platform::UIBackgroundFetchResult)> completion) override;
    void applicationWillEnterForeground(platform::UIApplication& application) override;
    void applicationDidReceiveLocalNotification(platform::UIApplication& application,
                                                const platform::Value& notification) override;
    unsigned long applicationSupportedInterfaceOrientationsForWindow(platform::UIApplication& application,
                                                                     platform::UIView* window) override;
    void applicationDidReceiveMemoryWarning(platform::UIApplication& application) override;

    // The lock gate.
    void showSecurityGrid();

    std::shared_ptr<platform::UIWindow> window() const { return window_; }
    std::shared_ptr<hybrid::HYBViewController> viewController() const { return viewController_; }
    std::shared_ptr<plugins::LockPattern> lockPattern() const { return jsonIOSPlugIn_; }

    // The pause at launch, 1.0 s as on the phone; the simulator and tests shorten it.
    static void setLaunchPause(double seconds);

private:
    std::shared_ptr<plugins::LockPattern> jsonIOSPlugIn_;
    std::shared_ptr<platform::UIWindow> window_;
    std::shared_ptr<hybrid::HYBViewController> viewController_;
};

// Registers the app's classes (its application delegate and its plugins) by
// name: the one place where the app says what it is made of.
void registerAppClasses();

}  // namespace app
