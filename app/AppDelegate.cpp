#include "app/AppDelegate.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "app/AppPlugins.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBNotifications.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URLCache.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "plugins/lockpattern/LockPattern.h"
#include "push/RODevezir.h"

namespace app {

namespace {

constexpr std::uint64_t kCacheMemoryCapacity = 8 * 1024 * 1024;
constexpr std::uint64_t kCacheDiskCapacity = 32 * 1024 * 1024;
constexpr unsigned long kAllOrientations = 30;  // portrait, upside down, both landscapes

constexpr double kDefaultLaunchPause = 1.0;

std::atomic<double>& launchPauseSeconds() {
    static platform::NeverDestroyed<std::atomic<double>> seconds{
        platform::ResetStage::Application, [](std::atomic<double>& s) { s = kDefaultLaunchPause; }, kDefaultLaunchPause};
    return *seconds;
}

}  // namespace

void AppDelegate::setLaunchPause(double seconds) { launchPauseSeconds() = seconds; }

AppDelegate::AppDelegate() {
    platform::NSHTTPCookieStorage::sharedHTTPCookieStorage().setCookieAcceptPolicy(platform::NSHTTPCookieAcceptPolicy::Always);
    platform::NSURLCache::setSharedURLCache(
        std::make_shared<platform::NSURLCache>(kCacheMemoryCapacity, kCacheDiskCapacity, "nsurlcache"));
}

bool AppDelegate::applicationDidFinishLaunchingWithOptions(platform::UIApplication&, const platform::Value& launchOptions) {
    if (const double pause = launchPauseSeconds(); pause > 0) std::this_thread::sleep_for(std::chrono::duration<double>(pause));

    window_ = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
    window_->setAutoresizesSubviews(true);
    viewController_ = MainViewController::create();
    window_->setRootViewController(viewController_);
    window_->makeKeyAndVisible();

    push::RODevezir::setupWithOption(launchOptions);
    showSecurityGrid();
    return true;
}

void AppDelegate::showSecurityGrid() {
    platform::UIApplication::sharedApplication().setApplicationIconBadgeNumber(0);
    auto root = window_ ? std::dynamic_pointer_cast<hybrid::HYBViewController>(window_->rootViewController()) : nullptr;
    // Without a web view there is no page to ask, and no lock to show.
    if (!root || !root->webView()) return;
    if (!jsonIOSPlugIn_) {
        jsonIOSPlugIn_ = std::make_shared<plugins::LockPattern>(root->webView());
        jsonIOSPlugIn_->setViewController(std::static_pointer_cast<hybrid::HYBContainer>(viewController_));
    }
    const std::string nickname = jsonIOSPlugIn_->writeJavascript("nickname()");
    const std::string passcode = jsonIOSPlugIn_->writeJavascript("passcode()");
    const hybrid::HYBInvokedUrlCommand command(platform::Array{nickname, passcode, "1"}, std::nullopt, std::nullopt,
                                               std::nullopt);
    if (nickname.empty() || passcode.empty()) return;
    if (jsonIOSPlugIn_->isvisable()) return;
    jsonIOSPlugIn_->showSecurityGrid(command);
}

bool AppDelegate::applicationHandleOpenURL(platform::UIApplication&, const std::optional<platform::URL>& url) {
    if (!url) return false;
    if (viewController_ && viewController_->webView()) {
        viewController_->webView()->stringByEvaluatingJavaScriptFromString(
            "handleOpenURL(" + platform::javaScriptStringLiteral(url->absoluteString()) + ");");
    }
    platform::NotificationCenter::defaultCenter().post(hybrid::HYBPluginHandleOpenURLNotification, nullptr, *url);
    return true;
}

void AppDelegate::applicationDidRegisterForRemoteNotificationsWithDeviceToken(platform::UIApplication&,
                                                                             const platform::Data& deviceToken) {
    push::RODevezir::registerDeviceToken(deviceToken);
}

void AppDelegate::applicationDidReceiveRemoteNotification(platform::UIApplication&, const platform::Dictionary& userInfo) {
    push::RODevezir::handleRemoteNotification(userInfo);
    platform::NotificationCenter::defaultCenter().post(RUzerPluginReceiveNofication, nullptr, platform::Value(userInfo));
}

void AppDelegate::applicationDidReceiveRemoteNotificationFetchCompletionHandler(
    platform::UIApplication& application, const platform::Dictionary& userInfo,
    std::function<void(platform::UIBackgroundFetchResult)> completion) {
    applicationDidReceiveRemoteNotification(application, userInfo);
    if (completion) completion(platform::UIBackgroundFetchResult::NewData);
}

void AppDelegate::applicationWillEnterForeground(platform::UIApplication&) { showSecurityGrid(); }

void AppDelegate::applicationDidReceiveLocalNotification(platform::UIApplication& application,
                                                         const platform::Value& notification) {
    application.setApplicationIconBadgeNumber(application.applicationIconBadgeNumber() + 1);
    platform::NotificationCenter::defaultCenter().post(hybrid::HYBLocalNotification, nullptr, notification);
}

unsigned long AppDelegate::applicationSupportedInterfaceOrientationsForWindow(platform::UIApplication&, platform::UIView*) {
    return kAllOrientations;
}

void AppDelegate::applicationDidReceiveMemoryWarning(platform::UIApplication&) {
    platform::NSURLCache::sharedURLCache()->removeAllCachedResponses();
}

void registerAppClasses() {
    platform::applicationDelegateRegistry().registerClass<AppDelegate>("AppDelegate");
    registerAppPlugins();
}

}  // namespace app
