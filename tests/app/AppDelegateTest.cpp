// The app shell: launch order, the lock gate, open URLs, notifications and
// what the delegate answers for the window.
#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "hybrid/HYBNotifications.h"
#include "hybrid/HYBURLProtocol.h"
#include "hybrid/HYBUserAgentUtil.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URLCache.h"
#include "plugins/lockpattern/LockPattern.h"
#include "push/RODevezir.h"
#include "tests/platform/TemporaryDirectory.h"

using platform::RunLoop;

namespace {

constexpr const char* kPage = R"(<html><head><script>
  var account = { name: 'demo', passcode: '0,1,2,5' };
  function nickname() { return account.name; }
  function passcode() { return account.passcode; }
  var opened = [];
  function handleOpenURL(url) { opened.push(url); }
</script></head><body></body></html>)";

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousBundle_ = platform::Bundle::main().bundlePath();
        dir_.write("bundle/config.xml", "<?xml version='1.0'?><widget><content src='index.html'/></widget>");
        dir_.write("bundle/Info.plist",
                   "<?xml version='1.0'?><plist version='1.0'><dict><key>CFBundleIdentifier</key>"
                   "<string>com.example.app-test</string></dict></plist>");
        dir_.write("bundle/www/index.html", kPage);
        platform::Bundle::setMain(dir_.file("bundle"));
        platform::FileManager::setHomeDirectory(dir_.file("home"));
        app::AppDelegate::setLaunchPause(0);
        delegate_ = std::make_shared<app::AppDelegate>();
        platform::UIApplication::sharedApplication().setDelegate(delegate_);
    }
    void TearDown() override {
        // The push client's set-up reads the main bundle on its own thread: it
        // must be done before the bundle is swapped back under it.
        push::RODevezir::sharedService().flushForTesting();
        delegate_.reset();  // the container gives its lock back before the lock is reset
        platform::Bundle::setMain(previousBundle_);
    }

    void launch() {
        ASSERT_TRUE(delegate_->applicationDidFinishLaunchingWithOptions(application(), platform::Value()));
    }
    bool waitForPage() {
        auto web = delegate_->viewController()->webView();
        return RunLoop::main().runUntil(
            [&] { return !web->isLoading() && web->stringByEvaluatingJavaScriptFromString("document.readyState") == "complete"; },
            10);
    }
    void returnToForeground() {
        application().setApplicationState(platform::UIApplicationState::Background);
        application().setApplicationState(platform::UIApplicationState::Active);
    }
    std::string page(const std::string& script) {
        return delegate_->viewController()->webView()->stringByEvaluatingJavaScriptFromString(script);
    }
    static platform::UIApplication& application() { return platform::UIApplication::sharedApplication(); }

    testing_support::TemporaryDirectory dir_;
    std::string previousBundle_;
    std::shared_ptr<app::AppDelegate> delegate_;
};

}  // namespace

TEST_F(AppDelegateTest, CreationSetsTheWebCacheAndCookiePolicy) {
    auto cache = platform::NSURLCache::sharedURLCache();
    EXPECT_EQ(cache->memoryCapacity(), 8u * 1024 * 1024);
    EXPECT_EQ(cache->diskCapacity(), 32u * 1024 * 1024);
    EXPECT_EQ(cache->diskPath(), "nsurlcache");
    EXPECT_EQ(platform::NSHTTPCookieStorage::sharedHTTPCookieStorage().cookieAcceptPolicy(),
              platform::NSHTTPCookieAcceptPolicy::Always);
    delegate_->applicationDidReceiveMemoryWarning(application());
    EXPECT_EQ(cache->purges(), 1);
}

TEST_F(AppDelegateTest, LaunchShowsTheContainerStartsThePushClientAndShowsNoLock) {
    platform::LogCapture log;
    launch();
    auto window = delegate_->window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_EQ(window->rootViewController(), delegate_->viewController());
    EXPECT_TRUE(std::dynamic_pointer_cast<app::MainViewController>(delegate_->viewController()));
    EXPECT_TRUE(delegate_->viewController()->webView());  // the view was loaded by showing the window
    push::RODevezir::sharedService().flushForTesting();
    EXPECT_TRUE(log.contains("RUzer push client"));
    // The page has not loaded yet: the gate asked and got nothing.
    ASSERT_TRUE(delegate_->lockPattern());
    EXPECT_FALSE(delegate_->lockPattern()->isvisable());
    EXPECT_EQ(application().applicationIconBadgeNumber(), 0);
}

TEST_F(AppDelegateTest, TheLockComesUpOnReturnWhenThePageHasAnAccountAndAPattern) {
    launch();
    ASSERT_TRUE(waitForPage());
    application().setApplicationIconBadgeNumber(3);
    page("account.name = 'null'");  // a name like any other
    returnToForeground();
    ASSERT_TRUE(delegate_->lockPattern()->isvisable());
    EXPECT_EQ(application().applicationIconBadgeNumber(), 0);
    auto lockView = delegate_->lockPattern()->lockView();
    ASSERT_TRUE(lockView);
    // A second return while the lock is up builds nothing new.
    returnToForeground();
    EXPECT_EQ(delegate_->lockPattern()->lockView(), lockView);
}

TEST_F(AppDelegateTest, NoLockWithoutAPattern) {
    launch();
    ASSERT_TRUE(waitForPage());
    page("account.passcode = ''");
    returnToForeground();
    EXPECT_FALSE(delegate_->lockPattern()->isvisable());
    page("account.passcode = '0,1,2,5'; account.name = null");
    returnToForeground();
    EXPECT_FALSE(delegate_->lockPattern()->isvisable());
}

TEST_F(AppDelegateTest, OpenedURLsReachThePageNowAndAgainAfterItLoads) {
    launch();
    int relayed = 0;
    platform::NotificationCenter::defaultCenter().addObserver(
        this, hybrid::HYBPluginHandleOpenURLNotification, nullptr, [&](const platform::Notification&) { ++relayed; });
    // Before the page has loaded: evaluated into nothing, relayed, and answered YES.
    EXPECT_TRUE(delegate_->applicationHandleOpenURL(application(), platform::URL::create("sample://early")));
    EXPECT_EQ(relayed, 1);
    ASSERT_TRUE(waitForPage());
    RunLoop::main().drain();
    EXPECT_TRUE(delegate_->applicationHandleOpenURL(application(), platform::URL::create("sample://late")));
    EXPECT_NE(page("opened.join('|')").find("sample://late"), std::string::npos);
    EXPECT_FALSE(delegate_->applicationHandleOpenURL(application(), std::nullopt));
    platform::NotificationCenter::defaultCenter().removeObserver(this);
}

TEST_F(AppDelegateTest, NotificationsAndOrientations) {
    launch();
    int pushes = 0;
    platform::NotificationCenter::defaultCenter().addObserver(this, app::RUzerPluginReceiveNofication, nullptr,
                                                              [&](const platform::Notification&) { ++pushes; });
    std::optional<platform::UIBackgroundFetchResult> fetched;
    delegate_->applicationDidReceiveRemoteNotificationFetchCompletionHandler(
        application(), platform::Dictionary{{"msgid", "1"}}, [&](platform::UIBackgroundFetchResult r) { fetched = r; });
    EXPECT_EQ(pushes, 1);
    EXPECT_EQ(fetched, platform::UIBackgroundFetchResult::NewData);
    platform::NotificationCenter::defaultCenter().removeObserver(this);

    delegate_->applicationDidReceiveLocalNotification(application(), platform::Value("hello"));
    delegate_->applicationDidReceiveLocalNotification(application(), platform::Value("again"));
    EXPECT_EQ(application().applicationIconBadgeNumber(), 2);
    returnToForeground();
    EXPECT_EQ(application().applicationIconBadgeNumber(), 0);
    EXPECT_EQ(delegate_->applicationSupportedInterfaceOrientationsForWindow(application(), delegate_->window().get()), 30u);
}

TEST_F(AppDelegateTest, TheMainContainerLogsNavigationsAndTurnsBlackWhenLoaded) {
    platform::LogCapture log;
    launch();
    ASSERT_TRUE(waitForPage());
    EXPECT_TRUE(log.contains("URL -------> file://"));
    auto color = delegate_->viewController()->webView()->backgroundColor();
    ASSERT_TRUE(color);
    EXPECT_EQ(*color, platform::UIColor::blackColor());
}

TEST(AppMain, RunsTheDelegateNamedAppDelegate) {
    EXPECT_EQ(platform::UIApplicationMain(0, nullptr, "NoSuchDelegate"), 1);
}
