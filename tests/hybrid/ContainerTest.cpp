// The container: start-up from a bundle, settings, the start and error
// pages, the plugin registry, navigation vetting, orientation, application
// events, the open-URL relay and teardown.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "hybrid/HYBCommandDelegateImpl.h"
#include "hybrid/HYBCommandQueue.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBNotifications.h"
#include "hybrid/HYBPlugin.h"
#include "hybrid/HYBPluginResult.h"
#include "hybrid/HYBURLProtocol.h"
#include "hybrid/HYBUserAgentUtil.h"
#include "hybrid/HYBViewController.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/ScrollView.h"
#include "tests/platform/TemporaryDirectory.h"

using namespace hybrid;
using platform::RunLoop;
using platform::URL;
using platform::Value;

namespace {

constexpr const char* kInfoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>com.example.test</string>
  <key>CFBundleURLTypes</key><array><dict><key>CFBundleURLSchemes</key><array><string>testapp</string></array></dict></array>
  <key>UISupportedInterfaceOrientations</key>
  <array><string>UIInterfaceOrientationPortrait</string><string>UIInterfaceOrientationLandscapeLeft</string>
         <string>UIInterfaceOrientationLandscapeRight</string><string>UIInterfaceOrientationSideways</string></array>
</dict></plist>)";

constexpr const char* kPage = R"(<html><head><script>
  var resumed = 0, events = [];
  document.addEventListener('resign', function () { events.push('resign'); });
  document.addEventListener('resume', function () { events.push('resume'); });
  var hybrid = { fireDocumentEvent: function (name) {
      var e = document.createEvent('Events'); e.initEvent(name, false, false); document.dispatchEvent(e); },
    require: function () { return { nativeEvalAndFetch: function (f) { f(); return ''; },
                                     nativeFetchMessages: function () { return ''; } }; } };
  var opened = [];
  function handleOpenURL(url) { opened.push(url); }
</script></head><body>page</body></html>)";

// A plugin that counts its initialisations and can veto navigations.
class ProbePlugin : public HYBPlugin {
public:
    using HYBPlugin::HYBPlugin;
    static inline int initialisations = 0;
    void pluginInitialize() override { ++initialisations; }
    bool shouldOverrideLoadWithRequestNavigationType(const platform::URLRequest& request,
                                                     platform::UIWebViewNavigationType) override {
        return request.url() && request.url()->host() == "blocked.example.com";
    }
};

class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousBundle_ = platform::Bundle::main().bundlePath();
        platform::FileManager::setHomeDirectory(dir_.file("home"));
        pluginRegistry().registerClass<ProbePlugin>("ProbePlugin");
        ProbePlugin::initialisations = 0;
    }
    void TearDown() override {
        platform::Bundle::setMain(previousBundle_);
    }

    // A bundle with this config.xml body (inside <widget>) and an index page.
    void writeBundle(const std::string& widget, bool withIndex = true) {
        dir_.write("bundle/Info.plist", kInfoPlist);
        dir_.write("bundle/config.xml", "<?xml version='1.0'?><widget>" + widget + "</widget>");
        if (withIndex) dir_.write("bundle/www/index.html", kPage);
        dir_.write("bundle/www/error.html", "<html><body>error page</body></html>");
        platform::Bundle::setMain(dir_.file("bundle"));
    }

    std::shared_ptr<HYBViewController> loadedContainer(const std::string& widget = "") {
        writeBundle(widget);
        auto container = HYBViewController::create();
        container->view();
        waitForPage(*container);
        return container;
    }

    bool waitForPage(HYBViewController& container) {
        return RunLoop::main().runUntil(
            [&] { return container.webView()->stringByEvaluatingJavaScriptFromString("document.readyState") == "complete" &&
                         !container.webView()->isLoading(); },
            10);
    }

    std::string bundleFile(const std::string& relative) { return dir_.file("bundle/" + relative); }

    testing_support::TemporaryDirectory dir_;
    std::string previousBundle_;
};

platform::URLRequest requestFor(const std::string& text) { return platform::URLRequest(URL::create(text)); }

}  // namespace

TEST_F(ContainerTest, AMissingConfigFileIsFatal) {
    dir_.write("bundle/www/index.html", kPage);
    platform::Bundle::setMain(dir_.file("bundle"));
    try {
        HYBViewController::create();
        FAIL() << "no failure";
    } catch (const platform::AssertionFailure& failure) {
        EXPECT_EQ(failure.description(), "ERROR: config.xml does not exist: looked for " + dir_.file("bundle") +
                                             "/config.xml. Add a config.xml at the top of the app bundle (see "
                                             "examples/app/config.xml).");
    }
}

TEST_F(ContainerTest, StartUpReadsTheConfigurationAndLogsItsBanner) {
    platform::UIDevice::currentDevice().setSystemVersion("5.1");
    platform::LogCapture log;
    writeBundle(R"(<feature name="Probe"><param name="ios-package" value="ProbePlugin"/></feature>
                   <preference name="ErrorUrl" value="error.html"/><content src="start.html"/>)");
    auto container = HYBViewController::create();
    EXPECT_TRUE(log.contains("Hybrid native platform version 3.8.0 is starting."));
    EXPECT_TRUE(log.contains("Multi-tasking -> Device: YES, App: YES"));
    EXPECT_TRUE(log.contains("CRITICAL: For Hybrid 3.5.0 and above, you will need to upgrade to at least iOS 6.0 or "
                             "greater. Your current version of iOS is 5.1."));
    EXPECT_EQ(container->pluginsMap().at("probe"), "ProbePlugin");
    EXPECT_EQ(container->startPage(), "start.html");
    EXPECT_EQ(container->wwwFolderName(), "www");
    EXPECT_EQ(container->settingForKey("errorurl"), Value("error.html"));
    EXPECT_EQ(container->settingForKey("ERRORURL"), Value("error.html"));
    // Info.plist's orientations, unknown names dropped.
    EXPECT_EQ(container->supportedOrientations().size(), 3u);
}

TEST_F(ContainerTest, TheStartPageKeepsItsQueryAndFragment) {
    writeBundle(R"(<content src="index.html?x=1#part"/>)");
    auto container = HYBViewController::create();
    auto url = container->appUrl();
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->isFileURL());
    EXPECT_EQ(url->path(), bundleFile("www/index.html"));
    EXPECT_EQ(url->query(), "x=1");
    EXPECT_EQ(url->fragment(), "part");
    EXPECT_FALSE(container->loadFromString());
}

TEST_F(ContainerTest, AMissingStartPageShowsTheMessageInline) {
    writeBundle(R"(<content src="missing.html"/>)");
    platform::LogCapture log;
    auto container = HYBViewController::create();
    container->view();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return log.contains("Finished load of"); }, 10));
    EXPECT_TRUE(log.contains("ERROR: Start Page at 'www/missing.html' was not found."));
    auto request = container->webView()->request();
    ASSERT_TRUE(request && request->url());
    EXPECT_EQ(request->url()->absoluteString(), "about:blank");  // the string load, with no base URL
    EXPECT_FALSE(container->loadFromString());  // let through once, then cleared
}

TEST_F(ContainerTest, AnInvalidAbsoluteStartPageAlsoLetsTheInlinePageThrough) {
    writeBundle(R"(<content src="http://bad host/"/>)");
    auto container = HYBViewController::create();
    EXPECT_FALSE(container->appUrl());
    EXPECT_TRUE(container->loadFromString());
}

TEST_F(ContainerTest, AMissingStartPageGoesToTheErrorPageWithTheMessage) {
    writeBundle(R"(<content src="missing.html"/><preference name="ErrorUrl" value="error.html"/>)");
    platform::LogCapture log;
    auto container = HYBViewController::create();
    container->view();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return log.contains("Finished load of"); }, 10));
    auto request = container->webView()->request();
    ASSERT_TRUE(request && request->url());
    EXPECT_EQ(request->url()->path(), bundleFile("www/error.html"));
    ASSERT_TRUE(request->url()->query());
    EXPECT_EQ(request->url()->query()->rfind("error=ERROR%3A%20Start%20Page", 0), 0u);
}

TEST_F(ContainerTest, BackupTypeDefaultsToCloudAndIsWrittenBack) {
    auto container = loadedContainer();
    EXPECT_EQ(container->settings().at("backupwebstorage"), Value("cloud"));
    EXPECT_FALSE(container->pluginObjects().count("HYBLocalStorage"));  // cloud on 6.0 and later: no plugin
    EXPECT_TRUE(container->pluginObjects().count("HYBHandleOpenURL"));

    auto local = loadedContainer(R"(<preference name="BackupWebStorage" value="local"/>)");
    EXPECT_TRUE(local->pluginObjects().count("HYBLocalStorage"));
}

TEST_F(ContainerTest, WebViewPreferencesFollowTheSystemVersion) {
    const std::string preferences = R"(
        <preference name="EnableViewportScale" value="true"/>
        <preference name="AllowInlineMediaPlayback" value="YES"/>
        <preference name="MediaPlaybackRequiresUserAction" value="false"/>
        <preference name="KeyboardDisplayRequiresUserAction" value="false"/>
        <preference name="SuppressesIncrementalRendering" value="true"/>
        <preference name="GapBetweenPages" value="12.5"/>
        <preference name="PageLength" value="500"/>
        <preference name="PaginationBreakingMode" value="Column"/>
        <preference name="PaginationMode" value="TopToBottom"/>)";
    for (const char* version : {"5.1", "6.0", "7.0"}) {
        SCOPED_TRACE(version);
        platform::UIDevice::currentDevice().setSystemVersion(version);
        auto container = loadedContainer(preferences);
        auto& web = *container->webView();
        EXPECT_TRUE(web.scalesPageToFit());
        EXPECT_TRUE(web.allowsInlineMediaPlayback());
        EXPECT_FALSE(web.mediaPlaybackRequiresUserAction());
        const bool six = std::string(version) != "5.1";
        const bool seven = std::string(version) == "7.0";
        EXPECT_EQ(web.valueForKey("keyboardDisplayRequiresUserAction"), six ? Value(false) : Value());
        EXPECT_EQ(web.valueForKey("suppressesIncrementalRendering"), six ? Value(true) : Value());
        EXPECT_EQ(web.valueForKey("gapBetweenPages"), seven ? Value(12.5) : Value());
        EXPECT_EQ(web.valueForKey("pageLength"), seven ? Value(500) : Value());
        EXPECT_EQ(web.valueForKey("paginationBreakingMode"), seven ? Value(1) : Value());
        EXPECT_EQ(web.valueForKey("paginationMode"), seven ? Value(2) : Value());
    }
}

TEST_F(ContainerTest, PaginationDefaultsAndUnknownWords) {
    auto container = loadedContainer(R"(<preference name="PaginationMode" value="sideways"/>)");
    EXPECT_EQ(container->webView()->valueForKey("paginationMode"), Value(0));
    EXPECT_EQ(container->webView()->valueForKey("paginationBreakingMode"), Value(0));
    EXPECT_EQ(container->webView()->valueForKey("pageLength"), Value(0));
    EXPECT_EQ(container->webView()->valueForKey("keyboardDisplayRequiresUserAction"), Value(true));
}

TEST_F(ContainerTest, OptionalFeaturesTheWebViewLacksAreSkipped) {
    class PlainContainer : public HYBViewController {
    public:
        std::shared_ptr<platform::WebView> newHybridViewWithFrame(platform::CGRect frame) override {
            auto web = HYBViewController::newHybridViewWithFrame(frame);
            web->setAbsentSelectors({"allowsInlineMediaPlayback", "setPageLength:", "setKeyboardDisplayRequiresUserAction:",
                                     "scrollView"});
            return web;
        }
    };
    writeBundle(R"(<preference name="AllowInlineMediaPlayback" value="true"/><preference name="PageLength" value="9"/>
                   <preference name="DisallowOverscroll" value="true"/>)");
    auto container = HYBViewController::createController<PlainContainer>();
    container->view();
    auto& web = *container->webView();
    EXPECT_TRUE(web.valueForKey("allowsInlineMediaPlayback").isNil());
    EXPECT_TRUE(web.valueForKey("pageLength").isNil());
    EXPECT_TRUE(web.valueForKey("keyboardDisplayRequiresUserAction").isNil());
    EXPECT_EQ(web.valueForKey("gapBetweenPages"), Value(0));
    // Without a scrollView property, every scroll view among the subviews stops bouncing.
    for (const auto& subview : web.subviews()) {
        if (subview->isKindOfClass("UIScrollView")) {
            EXPECT_FALSE(std::static_pointer_cast<platform::UIScrollView>(subview)->bounces());
        }
    }
}

TEST_F(ContainerTest, OverscrollFollowsDisallowOverscrollThenUIWebViewBounce) {
    auto bounceOff = loadedContainer(R"(<preference name="UIWebViewBounce" value="false"/>)");
    EXPECT_FALSE(bounceOff->webView()->scrollView()->bounces());
    auto stillOn = loadedContainer(R"(<preference name="UIWebViewBounce" value="false"/>
                                      <preference name="DisallowOverscroll" value="false"/>)");
    EXPECT_TRUE(stillOn->webView()->scrollView()->bounces());
    auto fast = loadedContainer(R"(<preference name="UIWebViewDecelerationSpeed" value="fast"/>)");
    fast->webView()->scrollView()->setDecelerationRate(0.5);
    EXPECT_EQ(fast->webView()->scrollView()->decelerationRate(), 0.5);
}

TEST_F(ContainerTest, PluginsAreMadeOnceAndFoundInAnyCase) {
    writeBundle(R"(<feature name="Probe"><param name="ios-package" value="ProbePlugin"/></feature>
                   <feature name="Ghost"><param name="ios-package" value="NoSuchClass"/></feature>)");
    auto container = HYBViewController::create();
    container->view();
    auto lower = container->getCommandInstance("probe");
    ASSERT_TRUE(lower);
    EXPECT_EQ(container->getCommandInstance("Probe"), lower);
    EXPECT_EQ(container->getCommandInstance("PROBE"), lower);
    EXPECT_EQ(ProbePlugin::initialisations, 1);
    EXPECT_EQ(lower->viewController().get(), static_cast<HYBContainer*>(container.get()));
    EXPECT_TRUE(lower->commandDelegate());

    platform::LogCapture log;
    EXPECT_FALSE(container->getCommandInstance("Ghost"));
    EXPECT_FALSE(container->getCommandInstance("ghost"));
    EXPECT_EQ(log.count("HYBPlugin class NoSuchClass (pluginName: Ghost) does not exist."), 1u);
    EXPECT_TRUE(log.contains("registered by hybrid_plugin() in their folder's CMakeLists.txt"));
    EXPECT_TRUE(log.contains("ProbePlugin"));  // among the registered names
    EXPECT_EQ(log.count("HYBPlugin class NoSuchClass (pluginName: ghost) does not exist."), 1u);
    EXPECT_FALSE(container->getCommandInstance("unmapped"));
}

// A plugin whose actions throw, on the main thread or in the background.
class ThrowingPlugin : public HYBPlugin {
public:
    using HYBPlugin::HYBPlugin;
    void boom(const HYBInvokedUrlCommand&) { throw std::runtime_error("out of order"); }
    void later(const HYBInvokedUrlCommand&) {
        commandDelegate()->runInBackground([] { throw std::runtime_error("worker fell over"); });
    }
    void fine(const HYBInvokedUrlCommand& command) {
        commandDelegate()->sendPluginResult(*HYBPluginResult::resultWithStatus(HYBResultStatusOK), command.callbackId());
    }

protected:
    const HYBActionTable& actionTable() const override {
        static const auto table =
            HYBActionTable::of<ThrowingPlugin>({{"boom", &ThrowingPlugin::boom}, {"later", &ThrowingPlugin::later},
                                                {"fine", &ThrowingPlugin::fine}});
        return table;
    }
};

TEST_F(ContainerTest, EveryCallThatCannotRunIsAnsweredWithAnErrorAndThePageGoesOn) {
    pluginRegistry().registerClass<ThrowingPlugin>("ThrowingPlugin");
    std::ifstream bridge(HYBRID_SOURCE_DIR "/examples/app/www/hybrid.js");
    dir_.write("bundle/www/hybrid.js", std::string(std::istreambuf_iterator<char>(bridge), {}));
    dir_.write("bundle/www/calls.html", R"(<html><head><script src="hybrid.js"></script><script>
      var answers = [], late = '';
      function note(tag) { return function (message, status) { answers.push(tag + ':' + status); }; }
      document.addEventListener('deviceready', function () {
          hybrid.exec(null, function (m, status) { late = status + ' ' + m; }, 'Thrower', 'later', []);
          hybrid.exec(null, function (m, status) { answers.push('throws:' + status); throw new Error('page slip'); },
                      'Thrower', 'boom', []);
          hybrid.exec(null, note('unknown service'), 'Nowhere', 'x', []);
          hybrid.exec(null, note('unregistered class'), 'Ghost', 'x', []);
          hybrid.exec(null, note('unknown action'), 'Thrower', 'nope', []);
          hybrid.exec(note('then'), null, 'Thrower', 'fine', []);
      });
    </script></head><body></body></html>)");
    platform::LogCapture log;
    auto container = loadedContainer(R"(<content src="calls.html"/>
        <feature name="Thrower"><param name="ios-package" value="ThrowingPlugin"/></feature>
        <feature name="Ghost"><param name="ios-package" value="NoSuchClass"/></feature>)");
    auto answers = [&] { return container->webView()->stringByEvaluatingJavaScriptFromString("answers.join()"); };
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return answers().find("then") != std::string::npos; }, 10)) << answers();
    EXPECT_EQ(answers(), "throws:9,unknown service:2,unregistered class:2,unknown action:7,then:1");
    EXPECT_TRUE(log.contains("ERROR: Plugin 'Thrower' action 'boom:' threw: out of order"));
    EXPECT_TRUE(log.contains("Error in callback Thrower"));
    EXPECT_TRUE(log.contains("page slip"));

    const auto late = [&] { return container->webView()->stringByEvaluatingJavaScriptFromString("late"); };
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !late().empty(); }, 10));
    EXPECT_EQ(late(), "9 Plugin 'Thrower' action 'later:' failed: worker fell over");
    EXPECT_TRUE(log.contains("ERROR: Plugin 'Thrower' action 'later:' threw: worker fell over"));
}

TEST_F(ContainerTest, StartupPluginsAreMadeAndTimed) {
    writeBundle(R"(<feature name="Probe"><param name="ios-package" value="ProbePlugin"/><param name="onload" value="true"/></feature>)");
    platform::LogCapture log;
    auto container = HYBViewController::create();
    container->view();
    EXPECT_EQ(ProbePlugin::initialisations, 1);
    EXPECT_TRUE(log.contains("[HYBTimer][TotalPluginStartup] "));
    EXPECT_TRUE(log.contains("[HYBTimer][probe] "));
}

TEST_F(ContainerTest, NavigationVettingRuleByRule) {
    auto container = loadedContainer(R"(<feature name="Probe"><param name="ios-package" value="ProbePlugin"/></feature>
                                        <access origin="allowed.example.com"/>)");
    container->getCommandInstance("Probe");
    auto& web = *container->webView();
    auto vet = [&](const std::string& text) {
        return container->webViewShouldStartLoadWithRequestNavigationType(web, requestFor(text),
                                                                          platform::UIWebViewNavigationType::Other);
    };
    platform::LogCapture log;
    EXPECT_FALSE(vet("hybrid://ready"));
    EXPECT_TRUE(log.contains("scheme----------->>hybrid"));
    EXPECT_FALSE(vet("file:///www/index.html#%01"));
    EXPECT_FALSE(vet("http://blocked.example.com/"));  // a plugin's veto comes before every other rule
    EXPECT_TRUE(vet("file:///anything/at/all.html"));
    EXPECT_TRUE(vet("tel:12345"));
    EXPECT_FALSE(vet("about:blank"));
    EXPECT_TRUE(vet("data:text/html,hi"));
    EXPECT_TRUE(vet("http://allowed.example.com/page"));
    EXPECT_FALSE(vet("http://elsewhere.example.org/"));
    EXPECT_TRUE(log.contains("ERROR whitelist rejection: url='http://elsewhere.example.org/'"));

    // Schemes outside the whitelist go to another app, or to the plugins.
    auto& application = platform::UIApplication::sharedApplication();
    application.setOpenableSchemes({"maps"});
    EXPECT_FALSE(vet("maps://somewhere"));
    ASSERT_EQ(application.openedURLs().size(), 1u);
    int relayed = 0;
    platform::NotificationCenter::defaultCenter().addObserver(this, HYBPluginHandleOpenURLNotification, nullptr,
                                                              [&](const platform::Notification&) { ++relayed; });
    EXPECT_FALSE(vet("unknownscheme://x"));
    EXPECT_EQ(relayed, 1);
    platform::NotificationCenter::defaultCenter().removeObserver(this);
}

TEST_F(ContainerTest, FragmentPokesCarryOrFetchTheBatch) {
    auto container = loadedContainer(R"(<feature name="Probe"><param name="ios-package" value="ProbePlugin"/></feature>)");
    platform::LogCapture log;
    const std::string batch = R"([[null,"Probe","missing",[]]])";
    EXPECT_FALSE(container->webViewShouldStartLoadWithRequestNavigationType(
        *container->webView(), requestFor("file:///x#%02" + platform::percentEscape(batch)),
        platform::UIWebViewNavigationType::Other));
    EXPECT_TRUE(log.contains("ERROR: Method 'missing:' not defined in Plugin 'Probe'"));
    // A payload whose escapes are not UTF-8 is dropped with a line, never half-read.
    EXPECT_FALSE(container->webViewShouldStartLoadWithRequestNavigationType(
        *container->webView(), requestFor("file:///x#%02%FF"), platform::UIWebViewNavigationType::Other));
    EXPECT_TRUE(log.contains("not valid UTF-8"));
}

TEST_F(ContainerTest, OrientationAsksThePageFirst) {
    auto container = loadedContainer();
    EXPECT_EQ(container->supportedInterfaceOrientations(), 26u);  // portrait and both landscapes
    container->webView()->stringByEvaluatingJavaScriptFromString(
        "window.shouldRotateToOrientation = function (angle) { return angle !== 90; };");
    EXPECT_FALSE(container->shouldAutorotateToInterfaceOrientation(platform::UIInterfaceOrientationLandscapeRight));
    EXPECT_TRUE(container->shouldAutorotateToInterfaceOrientation(platform::UIInterfaceOrientationPortraitUpsideDown));
    EXPECT_EQ(HYBViewController::mapIosOrientationToJsOrientation(platform::UIInterfaceOrientationLandscapeLeft), -90);
    EXPECT_EQ(HYBViewController::parseInterfaceOrientations(Value()),
              (std::vector<platform::UIInterfaceOrientation>{platform::UIInterfaceOrientationPortrait}));
}

TEST_F(ContainerTest, ApplicationEventsBecomeDocumentEvents) {
    auto container = loadedContainer();
    auto& web = *container->webView();
    auto& application = platform::UIApplication::sharedApplication();
    application.setApplicationState(platform::UIApplicationState::Inactive);  // will resign active
    EXPECT_EQ(web.stringByEvaluatingJavaScriptFromString("events.join()"), "resign");
    application.setApplicationState(platform::UIApplicationState::Background);
    application.setApplicationState(platform::UIApplicationState::Active);  // will enter foreground, did become active
    EXPECT_EQ(web.stringByEvaluatingJavaScriptFromString("events.join()"), "resign");  // resume waits for a later turn
    RunLoop::main().drain();
    EXPECT_EQ(web.stringByEvaluatingJavaScriptFromString("events.join()"), "resign,resume");
}

TEST_F(ContainerTest, OpenedURLsReachThePageOnceItHasLoaded) {
    writeBundle("");
    auto container = HYBViewController::create();
    container->view();
    const URL url = *URL::create("testapp://open?item=7");
    container->processOpenUrl(url);  // the page is still loading
    EXPECT_TRUE(container->openURL());
    ASSERT_TRUE(waitForPage(*container));
    RunLoop::main().drain();
    EXPECT_EQ(container->webView()->stringByEvaluatingJavaScriptFromString("opened.join('|')"), "testapp://open?item=7");
    EXPECT_FALSE(container->openURL());
    container->processOpenUrl(url);  // loaded: at once
    EXPECT_EQ(container->webView()->stringByEvaluatingJavaScriptFromString("opened.length"), "2");
    EXPECT_EQ(container->appURLScheme(), "testapp");
}

TEST_F(ContainerTest, AFailedLoadGoesToTheErrorPageButNeverLoops) {
    auto container = loadedContainer(R"(<preference name="ErrorUrl" value="error.html"/>)");
    auto& web = *container->webView();
    platform::LogCapture log;
    container->webViewDidFailLoadWithError(web, {platform::NSURLErrorDomain, platform::NSURLErrorCancelled, "cancelled", {}});
    container->webViewDidFailLoadWithError(web, {"HYBWebViewDelegate", 1, "abandoned", {}});
    EXPECT_FALSE(log.contains("error.html?error="));
    container->webViewDidFailLoadWithError(web, {platform::NSURLErrorDomain, platform::NSURLErrorTimedOut, "timed out", {}});
    EXPECT_TRUE(log.contains("Failed to load webpage with error: timed out"));
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return web.request() && web.request()->url()->path() == bundleFile("www/error.html"); }, 10));
    ASSERT_TRUE(waitForPage(*container));
    log.clear();
    container->webViewDidFailLoadWithError(web, {platform::NSURLErrorDomain, platform::NSURLErrorTimedOut, "again", {}});
    EXPECT_FALSE(log.contains("error.html?error="));  // the error page itself failing goes nowhere
}

TEST_F(ContainerTest, MemoryWarningsWaitForPendingOperations) {
    writeBundle(R"(<feature name="Probe"><param name="ios-package" value="ProbePlugin"/></feature>)");
    auto container = HYBViewController::create();
    container->view();
    auto probe = container->getCommandInstance("Probe");
    probe->setHasPendingOperation(true);
    platform::LogCapture log;
    container->didReceiveMemoryWarning();
    EXPECT_TRUE(log.contains("Plugin 'ProbePlugin' has a pending operation, memory purge is delayed for "
                             "didReceiveMemoryWarning."));
    EXPECT_EQ(container->memoryPurges(), 0);
    probe->setHasPendingOperation(false);
    container->didReceiveMemoryWarning();
    EXPECT_EQ(container->memoryPurges(), 1);
}

TEST_F(ContainerTest, TwoContainersTakeTurnsOnTheUserAgentLock) {
    writeBundle("");
    auto first = HYBViewController::create();
    auto second = HYBViewController::create();
    first->view();
    second->view();
    EXPECT_NE(first->userAgentLockToken(), 0);
    EXPECT_EQ(second->userAgentLockToken(), 0);  // waits for the first load to end
    ASSERT_TRUE(waitForPage(*first));
    ASSERT_TRUE(waitForPage(*second));
    EXPECT_EQ(first->userAgentLockToken(), 0);
    EXPECT_EQ(second->webView()->stringByEvaluatingJavaScriptFromString("navigator.userAgent"), second->userAgent());
    EXPECT_EQ(first->webView()->stringByEvaluatingJavaScriptFromString("navigator.userAgent"), first->userAgent());
    EXPECT_NE(first->userAgent(), second->userAgent());
    const std::string agent = first->userAgent();
    EXPECT_EQ(agent.substr(agent.rfind(' ')), " (" + std::to_string(first->identityNumber()) + ")");
    first->setBaseUserAgent("Other");
    EXPECT_EQ(first->userAgent(), agent);  // worked out once
}

TEST_F(ContainerTest, AContainerGoneWhileWaitingHandsTheLockOn) {
    writeBundle("");
    auto first = HYBViewController::create();
    first->view();
    {
        auto waiting = HYBViewController::create();
        waiting->view();
    }
    auto third = HYBViewController::create();
    third->view();
    ASSERT_TRUE(waitForPage(*first));
    EXPECT_TRUE(waitForPage(*third));
}

TEST_F(ContainerTest, TerminationEmptiesOnlyTheAppsTemporaryFolder) {
    auto container = loadedContainer();
    auto& files = platform::FileManager::defaultManager();
    const std::string tmp = files.temporaryDirectory();
    dir_.write("home/tmp/a.txt", "a");
    dir_.write("home/tmp/folder/b.txt", "b");
    dir_.write("home/Documents/keep.txt", "keep");
    platform::UIApplication::sharedApplication().terminate();
    EXPECT_TRUE(files.contentsOfDirectoryAtPath(tmp).empty());
    EXPECT_TRUE(files.fileExistsAtPath(dir_.file("home/Documents/keep.txt")));
}

TEST_F(ContainerTest, ResultsReachThePageThroughTheContainer) {
    auto container = loadedContainer();
    container->javascriptAlert("it's \"quoted\"");  // must not break the script
    container->webView()->stringByEvaluatingJavaScriptFromString("var alerts = []; window.alert = function (t) { alerts.push(t); };");
    RunLoop::main().drain();
    EXPECT_EQ(container->webView()->stringByEvaluatingJavaScriptFromString("alerts[0]"), "it's \"quoted\"");
}

// --- The bridge's URL protocol ---

namespace {

platform::URLRequest pokeRequest(const std::string& url, std::optional<std::int64_t> vc, std::optional<std::string> rc,
                                 std::optional<std::string> cmds = std::nullopt) {
    platform::URLRequest request(URL::create(url));
    if (vc) request.setValueForHTTPHeaderField(std::to_string(*vc), "vc");
    if (rc) request.setValueForHTTPHeaderField(*rc, "rc");
    if (cmds) request.setValueForHTTPHeaderField(*cmds, "cmds");
    return request;
}

}  // namespace

TEST_F(ContainerTest, RequestPokesReachTheirContainerOnly) {
    auto container = loadedContainer(R"(<feature name="Probe"><param name="ios-package" value="ProbePlugin"/></feature>)");
    const auto id = container->identityNumber();
    platform::LogCapture log;

    // A batch in the header is delivered, and the request goes on to the other handlers.
    EXPECT_FALSE(HYBURLProtocol::canInitWithRequest(
        pokeRequest("file:///!hybrid_exec", id, "1", R"([[null,"Probe","viaHeader",[]]])")));
    RunLoop::main().drain();
    EXPECT_TRUE(log.contains("ERROR: Method 'viaHeader:' not defined in Plugin 'Probe'"));

    // Without one the request is taken and answered 200 with no body.
    auto answer = platform::URLLoading::sendSynchronousRequest(pokeRequest("file:///!hybrid_exec", id, "1"));
    ASSERT_TRUE(answer.response);
    EXPECT_EQ(answer.response->statusCode, 200);
    EXPECT_EQ(answer.response->MIMEType, "text/plain");
    EXPECT_TRUE(answer.data.empty());

    EXPECT_FALSE(HYBURLProtocol::canInitWithRequest(pokeRequest("file:///!hybrid_exec", id + 1000, "1")));
    EXPECT_FALSE(HYBURLProtocol::canInitWithRequest(pokeRequest("file:///!hybrid_exec", id, std::nullopt)));
    EXPECT_TRUE(log.contains("!hybrid request missing rc header"));

    // Without "vc", the number at the end of the user agent names the container.
    platform::URLRequest byAgent = pokeRequest("file:///!hybrid_exec", std::nullopt, "2");
    byAgent.setValueForHTTPHeaderField("Mozilla/5.0 (X11) Hybrid (" + std::to_string(id) + ")", "User-Agent");
    EXPECT_TRUE(HYBURLProtocol::canInitWithRequest(byAgent));
    byAgent.setValueForHTTPHeaderField("Mozilla/5.0 no number", "User-Agent");
    EXPECT_FALSE(HYBURLProtocol::canInitWithRequest(byAgent));
}

TEST_F(ContainerTest, RequestsTheWhitelistRejectsAreAnswered401) {
    auto container = loadedContainer(R"(<access origin="allowed.example.com"/>)");
    const auto id = container->identityNumber();
    auto rejected = platform::URLLoading::sendSynchronousRequest(pokeRequest("http://evil.example.org/x", id, std::nullopt));
    ASSERT_TRUE(rejected.response);
    EXPECT_EQ(rejected.response->statusCode, 401);
    EXPECT_EQ(std::string(rejected.data.begin(), rejected.data.end()),
              "ERROR whitelist rejection: url='http://evil.example.org/x'");
    EXPECT_FALSE(HYBURLProtocol::canInitWithRequest(pokeRequest("http://allowed.example.com/", id, std::nullopt)));
    EXPECT_FALSE(HYBURLProtocol::canInitWithRequest(pokeRequest("gopher://allowed.example.com/", id, std::nullopt)));
    // Photo-library URLs are taken from anyone; with no library here the lookup fails.
    auto asset = platform::URLLoading::sendSynchronousRequest(platform::URLRequest(URL::create("assets-library://asset/a.JPG?id=1")));
    ASSERT_TRUE(asset.response);
    EXPECT_EQ(asset.response->statusCode, 401);

    // A second container joins the registry but the first whitelist stays.
    writeBundle(R"(<access origin="*"/>)");
    auto second = HYBViewController::create();
    second->view();
    EXPECT_TRUE(HYBURLProtocol::canInitWithRequest(pokeRequest("http://evil.example.org/x", second->identityNumber(), std::nullopt)));
}
