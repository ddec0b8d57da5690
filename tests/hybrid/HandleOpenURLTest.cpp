// The open-URL relay: a URL the app was opened with reaches the page's
// handleOpenURL once, at "deviceready" of a loaded page, whenever it arrives.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tools/harness/BridgeHarness.h"
#include "hybrid/HYBHandleOpenURL.h"
#include "hybrid/HYBNotifications.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"

using hybrid::HYBHandleOpenURL;
using platform::NotificationCenter;
using platform::URL;
using testsupport::TestContainer;

namespace {

class HandleOpenURLTest : public ::testing::Test {
protected:
    void SetUp() override {
        container = TestContainer::create();
        relay = std::make_shared<HYBHandleOpenURL>(container->webView());
        container->addPlugin("HandleOpenURL", relay);
        // The page's side: handleOpenURL records what it gets; "deviceready"
        // listeners are kept so the test decides when the event fires.
        container->eval(R"(
            var openedURLs = [], readyListeners = [];
            function handleOpenURL(url) { openedURLs.push(url); }
            (function (global) {
                var doc = (typeof document === 'undefined') ? (global.document = {}) : document;
                doc.addEventListener = function (name, listener) {
                    if (name === 'deviceready') readyListeners.push(listener);
                };
            })(this);
            function fireDeviceReady() {
                readyListeners.splice(0).forEach(function (listener) { listener(); });
            })");
    }

    void openWith(const std::string& text) {
        NotificationCenter::defaultCenter().post(hybrid::HYBPluginHandleOpenURLNotification, nullptr, *URL::create(text));
    }
    void pageDidLoad() {
        NotificationCenter::defaultCenter().post(hybrid::HYBPageDidLoadNotification, container->webView().get());
    }
    std::string listenersWaiting() { return container->eval("readyListeners.length"); }
    std::string openedAfterDeviceReady() {
        container->eval("fireDeviceReady()");
        return container->eval("JSON.stringify(openedURLs)");
    }

    std::shared_ptr<TestContainer> container;
    std::shared_ptr<HYBHandleOpenURL> relay;
};

TEST_F(HandleOpenURLTest, AURLBeforeTheFirstPageLoadWaitsAndIsDeliveredOnceAfterIt) {
    openWith("myapp://open?item=1");
    EXPECT_EQ(listenersWaiting(), "0");
    ASSERT_TRUE(relay->url().has_value());
    EXPECT_EQ(relay->url()->absoluteString(), "myapp://open?item=1");

    pageDidLoad();
    EXPECT_TRUE(relay->pageLoaded());
    EXPECT_FALSE(relay->url().has_value());
    EXPECT_EQ(openedAfterDeviceReady(), R"(["myapp://open?item=1"])");

    pageDidLoad();
    EXPECT_EQ(listenersWaiting(), "0");
    EXPECT_EQ(openedAfterDeviceReady(), R"(["myapp://open?item=1"])");
}

TEST_F(HandleOpenURLTest, OnlyTheLastURLWaitingForThePageIsDelivered) {
    openWith("myapp://first");
    openWith("myapp://second");
    pageDidLoad();
    EXPECT_EQ(openedAfterDeviceReady(), R"(["myapp://second"])");
}

TEST_F(HandleOpenURLTest, AfterAPageHasLoadedURLsAreHandedOverAtOnce) {
    pageDidLoad();
    EXPECT_EQ(listenersWaiting(), "0");
    openWith("myapp://later");
    EXPECT_FALSE(relay->url().has_value());
    EXPECT_EQ(openedAfterDeviceReady(), R"(["myapp://later"])");
    openWith("myapp://even-later");
    EXPECT_EQ(openedAfterDeviceReady(), R"(["myapp://later","myapp://even-later"])");
}

TEST_F(HandleOpenURLTest, TheURLGoesIntoTheScriptAsAStringLiteral) {
    pageDidLoad();
    openWith("myapp://open?x=1");
    EXPECT_EQ(container->eval("String(readyListeners[0])"),
              R"(function(){if (typeof handleOpenURL === 'function') { handleOpenURL("myapp://open?x=1");}})");

    openWith("myapp://open?title=it's&raw=%22q%22&path=a%5Cb");
    EXPECT_EQ(container->eval("fireDeviceReady(); openedURLs[1]"), "myapp://open?title=it's&raw=%22q%22&path=a%5Cb");
}

TEST_F(HandleOpenURLTest, APageWithoutHandleOpenURLIsLeftAlone) {
    platform::LogCapture capture;
    container->eval("delete handleOpenURL; this.handleOpenURL = undefined;");
    pageDidLoad();
    openWith("myapp://nobody-listens");
    EXPECT_EQ(openedAfterDeviceReady(), "[]");
    EXPECT_FALSE(capture.contains("exception"));
}

TEST_F(HandleOpenURLTest, ProcessingWithoutALoadedPageKeepsTheURLForTheFirstLoad) {
    relay->processOpenUrl(*URL::create("myapp://direct"), false);
    EXPECT_EQ(listenersWaiting(), "0");
    pageDidLoad();
    EXPECT_EQ(openedAfterDeviceReady(), R"(["myapp://direct"])");

    relay->processOpenUrl(*URL::create("myapp://direct-again"), false);
    EXPECT_EQ(openedAfterDeviceReady(), R"(["myapp://direct","myapp://direct-again"])");
}

TEST_F(HandleOpenURLTest, AReleasedRelayHearsNothing) {
    std::weak_ptr<HYBHandleOpenURL> released = relay;
    relay.reset();
    container.reset();
    ASSERT_TRUE(released.expired());
    // Under the address sanitizer a relay still registered would be a use after free here.
    NotificationCenter::defaultCenter().post(hybrid::HYBPluginHandleOpenURLNotification, nullptr,
                                             *URL::create("myapp://after"));
    NotificationCenter::defaultCenter().post(hybrid::HYBPageDidLoadNotification);
}

}  // namespace
