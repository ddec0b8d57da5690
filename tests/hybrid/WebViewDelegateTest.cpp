// The page-load tracker: one forwarded start and one forwarded finish or
// failure per top-level navigation, whatever the web view reports in between,
// and the token polls that find script-made page changes on old systems.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hybrid/HYBWebViewDelegate.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Device.h"
#include "platform/ui/WebView.h"

using hybrid::HYBLoadState;
using hybrid::HYBWebViewDelegate;
using platform::Error;
using platform::LogCapture;
using platform::RunLoop;
using platform::URL;
using platform::URLRequest;
using platform::UIWebViewNavigationType;
using platform::WebView;

namespace {

// The container's side: what the tracker forwards, in order.
class RecordingDelegate : public platform::UIWebViewDelegate {
public:
    bool webViewShouldStartLoadWithRequestNavigationType(WebView&, const URLRequest&,
                                                         UIWebViewNavigationType) override {
        return allowNavigation;
    }
    void webViewDidStartLoad(WebView&) override { calls.push_back("start"); }
    void webViewDidFinishLoad(WebView&) override { calls.push_back("finish"); }
    void webViewDidFailLoadWithError(WebView&, const Error& error) override {
        calls.push_back(platform::format("fail %d", error.code));
        errors.push_back(error);
    }

    bool allowNavigation = true;
    std::vector<std::string> calls;
    std::vector<Error> errors;
};

URLRequest topLevel(const std::string& text) {
    URLRequest request(URL::create(text));
    request.setMainDocumentURL(URL::create(text));
    return request;
}

URLRequest subFrame(const std::string& text, const std::string& page = "file:///www/index.html") {
    URLRequest request(URL::create(text));
    request.setMainDocumentURL(URL::create(page));
    return request;
}

Error errorWithCode(int code) {
    Error error;
    error.domain = platform::NSURLErrorDomain;
    error.code = code;
    error.localizedDescription = "load failed";
    return error;
}

using Strings = std::vector<std::string>;

class WebViewDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        webView = std::make_shared<WebView>();
        recorder = std::make_shared<RecordingDelegate>();
        tracker = std::make_shared<HYBWebViewDelegate>(recorder);
        // The token lives on `window`; a bare context may not name its global so.
        webView->stringByEvaluatingJavaScriptFromString("if (typeof window === 'undefined') this.window = this;");
    }

    bool navigate(const URLRequest& request) {
        return tracker->webViewShouldStartLoadWithRequestNavigationType(*webView, request,
                                                                        UIWebViewNavigationType::LinkClicked);
    }
    void didStart() { tracker->webViewDidStartLoad(*webView); }
    void didFinish() { tracker->webViewDidFinishLoad(*webView); }
    void didFail(int code) { tracker->webViewDidFailLoadWithError(*webView, errorWithCode(code)); }

    // What the page says about itself; stands in for the engine's document.
    void setReadyState(const std::string& readyState) {
        webView->stringByEvaluatingJavaScriptFromString(
            "Object.defineProperty(this, 'document', {value: {readyState: '" + readyState +
            "'}, writable: true, configurable: true});");
    }
    // A fresh page does not carry the previous page's token.
    void replacePageByScript() { webView->stringByEvaluatingJavaScriptFromString("delete window.__hybridLoadToken;"); }

    std::shared_ptr<WebView> webView;
    std::shared_ptr<RecordingDelegate> recorder;
    std::shared_ptr<HYBWebViewDelegate> tracker;
};

// ---- one top-level navigation ----------------------------------------------------------

TEST_F(WebViewDelegateTest, APlainLoadForwardsOneStartAndOneFinishAcrossItsSubResources) {
    EXPECT_EQ(tracker->state(), HYBLoadState::Idle);
    EXPECT_EQ(tracker->loadCount(), -1);

    EXPECT_TRUE(navigate(topLevel("file:///www/index.html")));
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadStart);
    EXPECT_EQ(tracker->loadCount(), 0);

    didStart();
    didStart();
    didStart();
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadFinish);
    EXPECT_EQ(tracker->loadCount(), 3);
    didFinish();
    didFinish();
    EXPECT_EQ(recorder->calls, (Strings{"start"}));
    didFinish();

    EXPECT_EQ(recorder->calls, (Strings{"start", "finish"}));
    EXPECT_EQ(tracker->state(), HYBLoadState::Idle);
    EXPECT_EQ(tracker->loadCount(), 0);
    // Stray reports after the end are absorbed.
    didFinish();
    didFail(-1100);
    EXPECT_EQ(recorder->calls, (Strings{"start", "finish"}));
}

TEST_F(WebViewDelegateTest, TheContainerCanRefuseANavigationWithoutAnyStateChange) {
    recorder->allowNavigation = false;
    EXPECT_FALSE(navigate(topLevel("file:///www/index.html")));
    EXPECT_EQ(tracker->state(), HYBLoadState::Idle);
    EXPECT_EQ(recorder->calls, Strings{});
}

TEST_F(WebViewDelegateTest, ARedirectForwardsNothingAndIsLoggedUnlessOneLoadIsInFlight) {
    LogCapture capture;
    navigate(topLevel("file:///www/index.html"));
    didStart();
    EXPECT_TRUE(navigate(topLevel("file:///www/moved.html")));
    EXPECT_FALSE(capture.contains("Detected redirect"));

    didStart();
    EXPECT_TRUE(navigate(topLevel("file:///www/moved-again.html")));
    EXPECT_TRUE(capture.contains("HYBWebViewDelegate: Detected redirect when loadCount=2"));
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadFinish);
    EXPECT_EQ(tracker->loadCount(), 2);

    didFinish();
    didFinish();
    EXPECT_EQ(recorder->calls, (Strings{"start", "finish"}));
}

TEST_F(WebViewDelegateTest, SubFrameRequestsAreVettedByTheirSchemeAndChangeNothing) {
    navigate(topLevel("file:///www/index.html"));
    didStart();
    recorder->calls.clear();

    EXPECT_TRUE(navigate(subFrame("mailto:someone@example.com")));
    EXPECT_TRUE(navigate(subFrame("tel:+15555550100")));
    EXPECT_TRUE(navigate(subFrame("data:text/html,frame")));
    // There is no network: nothing in the URL loading layer serves https.
    EXPECT_FALSE(navigate(subFrame("https://example.com/frame.html")));
    // A request without any URL is no top-level navigation either.
    EXPECT_FALSE(navigate(URLRequest()));

    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadFinish);
    EXPECT_EQ(tracker->loadCount(), 1);
    EXPECT_EQ(recorder->calls, Strings{});
}

TEST_F(WebViewDelegateTest, RequestsCompareByTheirURLsCutAtTheFirstHash) {
    LogCapture capture;
    const auto page = topLevel("file:///www/index.html#top");
    EXPECT_TRUE(HYBWebViewDelegate::request(topLevel("file:///www/index.html#bottom"), &page));
    EXPECT_TRUE(capture.contains("url ----> file:///www/index.html#top"));
    EXPECT_FALSE(HYBWebViewDelegate::request(topLevel("file:///www/other.html#top"), &page));
    EXPECT_FALSE(HYBWebViewDelegate::request(URLRequest(), &page));
    EXPECT_FALSE(HYBWebViewDelegate::request(page, nullptr));
    EXPECT_TRUE(capture.contains("url ----> (null)"));
}

// ---- abandoned, cancelled and failed loads ----------------------------------------------

TEST_F(WebViewDelegateTest, ANavigationBeforeThePreviousStartedForwardsAnErrorNamingState1) {
    LogCapture capture;
    navigate(topLevel("file:///www/first.html"));
    EXPECT_TRUE(navigate(topLevel("file:///www/second.html")));

    ASSERT_EQ(recorder->errors.size(), 1u);
    const Error& error = recorder->errors[0];
    EXPECT_EQ(error.domain, "HYBWebViewDelegate");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.localizedDescription, "HYBWebViewDelegate: Navigation started when state=1");
    EXPECT_TRUE(capture.contains("HYBWebViewDelegate: Navigation started when state=1"));
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadStart);
    EXPECT_EQ(tracker->loadCount(), 0);

    // The second navigation then runs its normal course.
    didStart();
    didFinish();
    EXPECT_EQ(recorder->calls, (Strings{"fail 1", "start", "finish"}));
}

TEST_F(WebViewDelegateTest, ACancelledLoadIsFollowedByAForwardedStartOfTheNextOne) {
    LogCapture capture;
    navigate(topLevel("file:///www/index.html"));
    didStart();
    didFail(platform::NSURLErrorCancelled);
    EXPECT_EQ(tracker->state(), HYBLoadState::Cancelled);
    EXPECT_EQ(tracker->loadCount(), 0);
    // Finishes and failures of the cancelled load are absorbed.
    didFinish();
    didFail(platform::NSURLErrorCancelled);

    didStart();
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadFinish);
    EXPECT_EQ(tracker->loadCount(), 1);
    didFinish();
    EXPECT_EQ(recorder->calls, (Strings{"start", "fail -999", "start", "finish"}));
    EXPECT_EQ(tracker->state(), HYBLoadState::Idle);
}

TEST_F(WebViewDelegateTest, AFailureIsForwardedOnlyWhenItEndsTheLastLoadInFlight) {
    navigate(topLevel("file:///www/index.html"));
    didStart();
    didStart();
    didFail(platform::NSURLErrorTimedOut);
    EXPECT_EQ(tracker->loadCount(), -1);
    didFinish();
    didFinish();
    EXPECT_EQ(recorder->calls, (Strings{"start"}));

    // The next top-level navigation starts afresh instead of passing for a redirect.
    navigate(topLevel("file:///www/next.html"));
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadStart);
    didStart();
    didFinish();
    EXPECT_EQ(recorder->calls, (Strings{"start", "start", "finish"}));
    recorder->calls = {"start"};

    tracker = std::make_shared<HYBWebViewDelegate>(recorder);
    navigate(topLevel("file:///www/index.html"));
    didStart();
    didFail(platform::NSURLErrorTimedOut);
    EXPECT_EQ(tracker->state(), HYBLoadState::Idle);
    EXPECT_EQ(recorder->calls, (Strings{"start", "start", "fail -1001"}));
}

// ---- systems from 6.0 and before it -------------------------------------------------------

TEST_F(WebViewDelegateTest, FromSystem6AStartWithoutNavigationIsIgnored) {
    platform::UIDevice::currentDevice().setSystemVersion("10.0");
    didStart();
    EXPECT_EQ(tracker->state(), HYBLoadState::Idle);
    EXPECT_EQ(webView->stringByEvaluatingJavaScriptFromString("typeof window.__hybridLoadToken"), "undefined");
    EXPECT_EQ(RunLoop::main().pendingTimers(), 0u);
    EXPECT_EQ(recorder->calls, Strings{});
}

class PreSystem6Test : public WebViewDelegateTest {
protected:
    void SetUp() override {
        WebViewDelegateTest::SetUp();
        platform::UIDevice::currentDevice().setSystemVersion("5.1");
        setReadyState("loading");
    }
    bool runUntil(const std::function<bool()>& done) { return RunLoop::main().runUntil(done, 10.0); }

    platform::ScopedManualClock clock;
};

TEST_F(PreSystem6Test, APageChangedByScriptIsFoundByTheTokenPollAndForwardedOnce) {
    didStart();
    EXPECT_EQ(tracker->state(), HYBLoadState::PollingForLoadStart);
    EXPECT_EQ(webView->stringByEvaluatingJavaScriptFromString("window.__hybridLoadToken"), "1");
    EXPECT_EQ(tracker->loadStartPollCount(), 1);

    // Sub-resource reports of the old page poll too, but find nothing new.
    didFinish();
    EXPECT_EQ(tracker->state(), HYBLoadState::PollingForLoadStart);

    replacePageByScript();
    ASSERT_TRUE(runUntil([&] { return tracker->state() == HYBLoadState::PollingForLoadFinish; }));
    EXPECT_EQ(recorder->calls, (Strings{"start"}));
    // The new page carries the next token, so a later change is seen again.
    EXPECT_EQ(webView->stringByEvaluatingJavaScriptFromString("window.__hybridLoadToken"), "2");

    // A second of polls on the manual clock; real time only bounds the wait.
    const double before = clock->now();
    ASSERT_TRUE(runUntil([&] { return clock->now() - before >= 1.0; }));
    EXPECT_EQ(tracker->state(), HYBLoadState::PollingForLoadFinish);

    setReadyState("complete");
    ASSERT_TRUE(runUntil([&] { return tracker->state() == HYBLoadState::Idle; }));
    EXPECT_EQ(recorder->calls, (Strings{"start", "finish"}));
}

TEST_F(PreSystem6Test, TheStartPollGivesUpAfter50RoundsAndKeepsItsState) {
    // Counts the page's token reads, one per poll.
    webView->stringByEvaluatingJavaScriptFromString(R"(
        var tokenReads = 0, token;
        Object.defineProperty(window, '__hybridLoadToken', {
            get: function () { tokenReads++; return token; },
            set: function (value) { token = value; },
            configurable: true });)");
    const double start = clock->now();
    didStart();
    ASSERT_TRUE(runUntil([] { return RunLoop::main().pendingTimers() == 0; }));

    EXPECT_EQ(tracker->loadStartPollCount(), 50);
    EXPECT_EQ(webView->stringByEvaluatingJavaScriptFromString("tokenReads"), "50");
    EXPECT_NEAR(clock->now() - start, 49 * HYBWebViewDelegate::kPollInterval, 1e-4);
    EXPECT_EQ(tracker->state(), HYBLoadState::PollingForLoadStart);
    EXPECT_EQ(recorder->calls, Strings{});

    // A real navigation still gets through.
    EXPECT_TRUE(navigate(topLevel("file:///www/index.html")));
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadStart);
    EXPECT_EQ(recorder->calls, Strings{});
}

TEST_F(PreSystem6Test, ANavigationWhilePollingForTheFinishForwardsAnErrorNamingState4) {
    didStart();
    replacePageByScript();
    ASSERT_TRUE(runUntil([&] { return tracker->state() == HYBLoadState::PollingForLoadFinish; }));

    EXPECT_TRUE(navigate(topLevel("file:///www/next.html")));
    ASSERT_EQ(recorder->errors.size(), 1u);
    EXPECT_EQ(recorder->errors[0].localizedDescription, "HYBWebViewDelegate: Navigation started when state=4");
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadStart);

    // The finish poll still scheduled finds the state changed and does nothing.
    setReadyState("complete");
    RunLoop::main().runUntil([] { return RunLoop::main().pendingTimers() == 0; }, 1.0);
    EXPECT_EQ(recorder->calls, (Strings{"start", "fail 1"}));
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadStart);
}

TEST_F(PreSystem6Test, APollDueAfterTheTrackerOrTheWebViewIsGoneDoesNothing) {
    didStart();
    ASSERT_EQ(RunLoop::main().pendingTimers(), 1u);
    replacePageByScript();
    tracker.reset();
    RunLoop::main().runUntil([] { return RunLoop::main().pendingTimers() == 0; }, 1.0);
    EXPECT_EQ(recorder->calls, Strings{});
    EXPECT_EQ(webView->stringByEvaluatingJavaScriptFromString("typeof window.__hybridLoadToken"), "undefined");

    tracker = std::make_shared<HYBWebViewDelegate>(recorder);
    didStart();
    ASSERT_EQ(RunLoop::main().pendingTimers(), 1u);
    webView.reset();
    RunLoop::main().runUntil([] { return RunLoop::main().pendingTimers() == 0; }, 1.0);
    EXPECT_EQ(recorder->calls, Strings{});
    EXPECT_EQ(tracker->state(), HYBLoadState::PollingForLoadStart);
}

// ---- through the web view's own loads -------------------------------------------------------

class WebViewDelegateLoadTest : public WebViewDelegateTest {
protected:
    void SetUp() override {
        WebViewDelegateTest::SetUp();
        folder = std::filesystem::temp_directory_path() /
                 ("hyb-webview-delegate-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "index.html")
            << "<html><body><p id='top'>page</p><iframe src='frame.html'></iframe></body></html>";
        std::ofstream(folder / "frame.html") << "<p>frame</p>";
        pageURL = URL::fileURLWithPath((folder / "index.html").string()).absoluteString();
        webView->setDelegate(tracker);
    }
    void TearDown() override {
        std::filesystem::remove_all(folder);
        WebViewDelegateTest::TearDown();
    }
    bool load(const std::string& url) {
        webView->loadRequest(URLRequest(URL::create(url)));
        return RunLoop::main().runUntil([&] { return recorder->calls.size() >= 2; }, 5.0);
    }

    std::filesystem::path folder;
    std::string pageURL;
};

TEST_F(WebViewDelegateLoadTest, APageWithAFrameLoadsOnceAndAFragmentJumpChangesNothing) {
    ASSERT_TRUE(load(pageURL));
    // The frame's own load is reported after the page's.
    RunLoop::main().runUntil([] { return RunLoop::main().pendingTasks() + RunLoop::main().pendingTimers() == 0; }, 2.0);
    ASSERT_EQ(recorder->calls, (Strings{"start", "finish"}));
    EXPECT_EQ(tracker->state(), HYBLoadState::Idle);
    ASSERT_NE(webView->request(), nullptr);

    recorder->calls.clear();
    EXPECT_TRUE(navigate(topLevel(pageURL + "#top")));
    EXPECT_EQ(tracker->state(), HYBLoadState::Idle);
    EXPECT_EQ(recorder->calls, Strings{});

    // Asking for the very URL the page shows is a reload: a navigation.
    EXPECT_TRUE(navigate(topLevel(pageURL)));
    EXPECT_EQ(tracker->state(), HYBLoadState::WaitingForLoadStart);
}

}  // namespace
