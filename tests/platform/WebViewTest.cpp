#include "platform/ui/WebView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <thread>

#include "TemporaryDirectory.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URLLoading.h"
#include "platform/foundation/UserDefaults.h"

using platform::LogCapture;
using platform::WebView;

TEST(WebViewEvaluation, ScalarsAnswerTheirJavaScriptText) {
    WebView view;
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'hello'"), "hello");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("''"), "");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'\\u00e9\\u20ac'"), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'a\\u0000b'"), std::string("a\0b", 3));
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("1"), "1");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("1.5"), "1.5");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("-0.25 * 4"), "-1");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("1e21"), "1e+21");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("0/0"), "NaN");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("true"), "true");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("1 > 2"), "false");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("JSON.stringify({a: [1, 'x']})"), "{\"a\":[1,\"x\"]}");
}

TEST(WebViewEvaluation, EverythingElseAnswersEmpty) {
    WebView view;
    for (const char* script : {"undefined", "null", "({a: 1})", "[1, 2]", "(function () {})", "var x = 5;",
                               "new String('boxed')", ""}) {
        EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString(script), "") << script;
    }
}

TEST(WebViewEvaluation, ExceptionsAnswerEmptyAndDoNotStick) {
    WebView view;
    LogCapture capture;
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("throw new Error('boom')"), "");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("noSuchFunction()"), "");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("this is not javascript"), "");
    EXPECT_TRUE(capture.contains("boom"));
    // The next evaluation starts clean.
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'fine'"), "fine");
}

TEST(WebViewContext, StatePersistsUntilReset) {
    WebView view;
    view.stringByEvaluatingJavaScriptFromString("var counter = 0;");
    view.stringByEvaluatingJavaScriptFromString("counter += 2");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("counter"), "2");
}

TEST(WebViewConsole, LogJoinsArgumentsWithSpaces) {
    WebView view;
    LogCapture capture;
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("console.log('ready', 1, 2.5, true, null, undefined, {})"),
              "");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "ready 1 2.5 true null undefined [object Object]");

    capture.clear();
    view.stringByEvaluatingJavaScriptFromString("console.log()");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "");
}

TEST(WebViewConsole, ThrowingToStringDoesNotBreakLogging) {
    WebView view;
    LogCapture capture;
    view.stringByEvaluatingJavaScriptFromString(
        "console.log('before', {toString: function () { throw new Error('nope'); }}, 'after')");
    EXPECT_TRUE(capture.contains("before"));
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'still working'"), "still working");
}

TEST(WebViewThreads, EvaluationOffTheMainThreadIsAnAssertion) {
    WebView view;
    bool threw = false;
    std::thread([&] {
        try {
            view.stringByEvaluatingJavaScriptFromString("1");
        } catch (const platform::AssertionFailure&) {
            threw = true;
        }
    }).join();
    EXPECT_TRUE(threw);
}

// ---- page loading -----------------------------------------------------------

using platform::Data;
using platform::Error;
using platform::RunLoop;
using platform::UIWebViewDelegate;
using platform::UIWebViewNavigationType;
using platform::URL;
using platform::URLLoading;
using platform::URLRequest;

namespace {

// Writes down every callback as a line ("ask <url> <type>", "start",
// "finish", "fail <code>") and lets a test steer or interfere.
class RecordingDelegate : public UIWebViewDelegate {
public:
    std::vector<std::string> events;
    std::vector<URLRequest> asked;
    std::vector<std::shared_ptr<const URLRequest>> requestsAtStart;
    std::vector<bool> loadingAtStart;
    std::function<bool(const URLRequest&)> decide;
    std::function<void()> onStart, onFinish;

    bool webViewShouldStartLoadWithRequestNavigationType(WebView& view, const URLRequest& request,
                                                         UIWebViewNavigationType type) override {
        events.push_back("ask " + (request.url() ? request.url()->absoluteString() : std::string("-")) + " " +
                         std::to_string(static_cast<int>(type)));
        asked.push_back(request);
        return decide ? decide(request) : true;
    }
    void webViewDidStartLoad(WebView& view) override {
        events.push_back("start");
        requestsAtStart.push_back(view.request());
        loadingAtStart.push_back(view.isLoading());
        if (onStart) onStart();
    }
    void webViewDidFinishLoad(WebView& view) override {
        events.push_back("finish");
        if (onFinish) onFinish();
    }
    void webViewDidFailLoadWithError(WebView& view, const Error& error) override {
        events.push_back("fail " + std::to_string(error.code));
    }

    std::size_t count(const std::string& prefix) const {
        return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const std::string& e) {
            return e.rfind(prefix, 0) == 0;
        }));
    }
    std::size_t ends() const { return count("finish") + count("fail"); }
};

std::string ask(const std::string& url, UIWebViewNavigationType type) {
    return "ask " + url + " " + std::to_string(static_cast<int>(type));
}
const auto kOther = UIWebViewNavigationType::Other;

class WebViewLoading : public ::testing::Test {
protected:
    void SetUp() override { view->setDelegate(delegate); }

    bool runUntil(const std::function<bool()>& done, double timeout = 10) {
        return RunLoop::main().runUntil(done, timeout);
    }
    // Runs until `n` loads have ended (finished or failed).
    bool settle(std::size_t n = 1) { return runUntil([&] { return delegate->ends() >= n; }); }
    // A few turns with nothing expected to happen.
    void idle() {
        for (int i = 0; i < 5; ++i) RunLoop::main().runOnce();
    }
    std::string eval(const std::string& script) { return view->stringByEvaluatingJavaScriptFromString(script); }
    URL page(const std::string& name, const std::string& html) { return URL::fileURLWithPath(folder.write(name, html)); }
    void load(const URL& url) { view->loadRequest(URLRequest(url)); }

    testing_support::TemporaryDirectory folder;
    std::shared_ptr<WebView> view = std::make_shared<WebView>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

}  // namespace

TEST_F(WebViewLoading, AFileLoadIsAskedStartedAndFinishedOnLaterTurns) {
    const URL url = page("index.html", "<html><body><script>var shown = 'yes';</script></body></html>");
    load(url);
    EXPECT_TRUE(delegate->events.empty());
    EXPECT_FALSE(view->isLoading());

    ASSERT_TRUE(settle());
    EXPECT_EQ(delegate->events, (std::vector<std::string>{ask(url.absoluteString(), kOther), "start", "finish"}));
    EXPECT_EQ(delegate->loadingAtStart, std::vector<bool>{true});
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(eval("shown"), "yes");
    EXPECT_EQ(eval("location.href"), url.absoluteString());
    ASSERT_TRUE(view->request());
    EXPECT_EQ(view->request(), delegate->requestsAtStart[0]);
    EXPECT_EQ(view->request()->mainDocumentURL(), url);
}

TEST_F(WebViewLoading, StringLoadsUseTheBaseURLOrAboutBlank) {
    view->loadHTMLStringBaseURL("<script>var n = 1;</script>", std::nullopt);
    ASSERT_TRUE(settle());
    EXPECT_EQ(delegate->events.front(), ask("about:blank", kOther));
    EXPECT_EQ(eval("location.href + ' ' + n"), "about:blank 1");

    folder.write("lib/helper.js", "var helped = 'from ' + location.pathname;");
    const URL base = URL::fileURLWithPath(folder.file("lib/page.html"));
    view->loadHTMLStringBaseURL("<script src='helper.js'></script>", base);
    ASSERT_TRUE(settle(2));
    EXPECT_EQ(eval("typeof n"), "undefined") << "each page gets a fresh context";
    EXPECT_EQ(eval("helped"), "from " + base.percentEncodedPath());
}

TEST_F(WebViewLoading, DataURLsLoadAsPages) {
    load(*URL::create("data:text/html,%3Cscript%3Evar%20fromData%20%3D%2042%3B%3C%2Fscript%3E"));
    ASSERT_TRUE(settle());
    EXPECT_EQ(delegate->events.back(), "finish");
    EXPECT_EQ(eval("fromData"), "42");
}

TEST_F(WebViewLoading, FailuresReportTheErrorAndKeepThePageShown) {
    platform::LogCapture capture;
    view->loadHTMLStringBaseURL("<script>var kept = 'old page';</script>", std::nullopt);
    ASSERT_TRUE(settle());
    const auto shownRequest = view->request();

    load(URL::fileURLWithPath(folder.file("missing.html")));
    ASSERT_TRUE(settle(2));
    view->loadRequest(URLRequest(std::nullopt));
    ASSERT_TRUE(settle(3));
    load(*URL::create("nosuchscheme://host/page"));
    ASSERT_TRUE(settle(4));

    EXPECT_EQ(delegate->events[5], "fail " + std::to_string(platform::NSURLErrorFileDoesNotExist));
    EXPECT_EQ(delegate->events[8], "fail " + std::to_string(platform::NSURLErrorBadURL));
    EXPECT_EQ(delegate->count("fail"), 3u);
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(eval("kept"), "old page");
    EXPECT_EQ(view->request(), shownRequest);
}

TEST_F(WebViewLoading, ARefusedLoadChangesNothing) {
    view->loadHTMLStringBaseURL("<script>var kept = 1;</script>", std::nullopt);
    ASSERT_TRUE(settle());
    const auto shownRequest = view->request();
    delegate->decide = [](const URLRequest&) { return false; };
    load(page("other.html", "<script>var kept = 2;</script>"));
    idle();
    EXPECT_EQ(delegate->events.size(), 4u);
    EXPECT_EQ(delegate->events.back().substr(0, 4), "ask ");
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->request(), shownRequest);
    EXPECT_EQ(eval("kept"), "1");
}

TEST_F(WebViewLoading, ASecondLoadCancelsTheFirst) {
    const URL first = page("first.html", "<script>var which = 'first';</script>");
    const URL second = page("second.html", "<script>var which = 'second';</script>");
    load(first);
    load(second);
    ASSERT_TRUE(runUntil([&] { return delegate->count("finish") == 1; }));
    idle();
    EXPECT_EQ(delegate->events,
              (std::vector<std::string>{ask(first.absoluteString(), kOther), "start", ask(second.absoluteString(), kOther),
                                        "fail -999", "start", "finish"}));
    EXPECT_EQ(eval("which"), "second");
    EXPECT_EQ(view->request()->url(), second);
}

TEST_F(WebViewLoading, StopLoadingCancelsTheLoadInProgress) {
    delegate->onStart = [&] { view->stopLoading(); };
    load(page("index.html", "<script>var loaded = true;</script>"));
    ASSERT_TRUE(settle());
    idle();
    EXPECT_EQ(delegate->events.back(), "fail -999");
    EXPECT_EQ(delegate->count("finish"), 0u);
    EXPECT_EQ(eval("typeof loaded"), "undefined");
    EXPECT_FALSE(view->isLoading());
}

TEST_F(WebViewLoading, ReloadAsksAgainAsAReload) {
    view->loadHTMLStringBaseURL("<script>var runs = (window.runs || 0) + 1;</script>", std::nullopt);
    ASSERT_TRUE(settle());
    view->reload();
    ASSERT_TRUE(settle(2));
    EXPECT_EQ(delegate->events[3], ask("about:blank", UIWebViewNavigationType::Reload));
    EXPECT_EQ(eval("runs"), "1");
}

TEST_F(WebViewLoading, ScriptsRunInDocumentOrderAndFailuresAreSkipped) {
    platform::LogCapture capture;
    folder.write("js/second.js", "order.push('second');");
    folder.write("js/fourth.js", "order.push('fourth');");
    const URL url = page("index.html", R"(<!DOCTYPE html>
<html><head><script>var order = ['first'];</script>
<script src="js/second.js"></script>
<script type="text/template">order.push('template');</script>
<script>order.push('third'); throw new Error('third failed');</script>
<script src="js/missing.js"></script>
</head><body><div><p>unclosed <b>markup
<script src="js/fourth.js"></script>
<script>order.push('fifth: ' + document.readyState + ' \u00e9');</script>
</body></html>)");
    load(url);
    ASSERT_TRUE(settle());
    EXPECT_EQ(delegate->events.back(), "finish");
    EXPECT_EQ(eval("order.join()"), "first,second,third,fourth,fifth: loading \xC3\xA9");
    EXPECT_TRUE(capture.contains("JavaScript exception: third failed"));
    EXPECT_TRUE(capture.contains("missing.js"));
}

TEST_F(WebViewLoading, ReadyStateCompletesAndLoadEventsFollowTheScripts) {
    load(page("index.html", R"html(<script>
var seen = [document.readyState];
document.addEventListener('DOMContentLoaded', function (e) { seen.push('document ' + e.type + ' ' + document.readyState); });
window.addEventListener('DOMContentLoaded', function () { seen.push('window DOMContentLoaded'); });
window.addEventListener('load', function () { throw new Error('listener failed'); });
window.addEventListener('load', function () { seen.push('load'); });
</script><body onload="seen.push('body onload')"></body>)html"));
    ASSERT_TRUE(settle());
    EXPECT_EQ(eval("seen.join('|')"),
              "loading|document DOMContentLoaded complete|window DOMContentLoaded|body onload|load");
    EXPECT_EQ(eval("document.readyState"), "complete");
}

TEST(WebViewEvents, DocumentEventsCanBeMadeDispatchedAndRemoved) {
    WebView view;
    view.stringByEvaluatingJavaScriptFromString(R"(
        var got = [];
        function listener(e) { got.push(e.type + ':' + e.bubbles + ':' + e.cancelable + ':' + (e.target === document)); }
        document.addEventListener('deviceready', listener);
        document.addEventListener('deviceready', listener);  // the same listener once only
        var e = document.createEvent('Events');
        e.initEvent('deviceready', false, true);
        var notPrevented = document.dispatchEvent(e);
        document.removeEventListener('deviceready', listener);
        document.dispatchEvent(new Event('deviceready'));
        window.addEventListener('resume', function (e) { e.preventDefault(); got.push('window ' + (this === window)); });
        var cancelled = !window.dispatchEvent(new Event('resume', {cancelable: true}));)");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("got.join()"), "deviceready:false:true:true,window true");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("notPrevented && cancelled"), "true");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("window === this && self === window"), "true");
}

TEST_F(WebViewLoading, LocationDescribesThePageURL) {
    view->loadHTMLStringBaseURL("", URL::create("https://example.com:8443/app/index.html?x=1#top"));
    ASSERT_TRUE(settle());
    EXPECT_EQ(eval("[location.protocol, location.host, location.hostname, location.port, location.pathname, "
                   "location.search, location.hash, location.origin, String(location), document.URL].join(' ')"),
              "https: example.com:8443 example.com 8443 /app/index.html ?x=1 #top https://example.com:8443 "
              "https://example.com:8443/app/index.html?x=1#top https://example.com:8443/app/index.html?x=1#top");
}

TEST_F(WebViewLoading, LocationAssignmentsAreNavigationsVettedLater) {
    const URL first = page("app/index.html", "<script>var page = 'first';</script>");
    const URL second = page("app/next.html", "<script>var page = 'second';</script>");
    load(first);
    ASSERT_TRUE(settle());

    eval("location.href = 'next.html?from=first'");
    EXPECT_EQ(delegate->events.size(), 3u) << "nothing inline";
    delegate->decide = [](const URLRequest&) { return false; };
    idle();
    const std::string target = second.absoluteString() + "?from=first";
    EXPECT_EQ(delegate->events.back(), ask(target, UIWebViewNavigationType::LinkClicked));
    EXPECT_EQ(delegate->asked.back().mainDocumentURL(), URL::create(target));
    EXPECT_EQ(eval("page"), "first");

    delegate->decide = nullptr;
    eval("location.reload()");
    idle();
    EXPECT_EQ(delegate->events[4], ask(first.absoluteString(), UIWebViewNavigationType::Reload));

    eval("window.location = 'next.html'");
    ASSERT_TRUE(runUntil([&] { return eval("typeof page !== 'undefined' && page") == "second"; }));
    EXPECT_EQ(delegate->events[7], ask(second.absoluteString(), UIWebViewNavigationType::LinkClicked));
}

TEST_F(WebViewLoading, HashChangesOnlyMoveLocationOnceApproved) {
    const URL url = page("index.html", "<script>var state = 'kept';</script>");
    load(url);
    ASSERT_TRUE(settle());

    delegate->decide = [](const URLRequest&) { return false; };
    eval("location.hash = 'refused'");
    idle();
    EXPECT_EQ(delegate->events.back(), ask(url.absoluteString() + "#refused", kOther));
    EXPECT_EQ(eval("location.hash"), "");

    delegate->decide = nullptr;
    eval("location.hash = '#section'");
    idle();
    EXPECT_EQ(delegate->events.back(), ask(url.absoluteString() + "#section", kOther));
    EXPECT_EQ(eval("location.hash + ' ' + state"), "#section kept");
    EXPECT_EQ(eval("location.href"), url.absoluteString() + "#section");
    EXPECT_EQ(delegate->count("start"), 1u);
}

TEST_F(WebViewLoading, FramesAreSubframeNavigationsThatLeaveThePage) {
    const URL url = page("index.html", R"(<body><iframe src="frame.html"></iframe><script>
var state = 'kept';
var loose = document.createElement('iframe');
loose.src = 'gap://detached';
var bridge = document.createElement('iframe');
bridge.style.display = 'none';
document.body.appendChild(bridge);
bridge.src = 'gap://ready';
</script></body>)");
    delegate->decide = [](const URLRequest& request) { return request.url()->absoluteString() != "gap://refused"; };
    load(url);
    ASSERT_TRUE(runUntil([&] { return delegate->count("finish") == 3; }));
    eval("bridge.src = 'gap://refused'");
    idle();
    const std::string frame = URL::fileURLWithPath(folder.file("frame.html")).absoluteString();
    EXPECT_EQ(delegate->events,
              (std::vector<std::string>{ask(url.absoluteString(), kOther), "start", "finish", ask(frame, kOther),
                                        "start", ask("gap://ready", kOther), "start", "finish", "finish",
                                        ask("gap://refused", kOther)}));
    EXPECT_EQ(delegate->asked[1].mainDocumentURL(), url);
    EXPECT_EQ(delegate->asked[2].mainDocumentURL(), url);
    EXPECT_EQ(eval("state + ' ' + location.href"), "kept " + url.absoluteString());
}

TEST_F(WebViewLoading, HostileInputIsLoggedNotFatal) {
    platform::LogCapture capture;
    std::string deep;
    for (int i = 0; i < 20000; ++i) deep += "<div><span>";
    // The parser gives up past its depth limit; what came before still runs.
    load(page("index.html", "<script>var survived = true; location.href = 'http://bad host/';</script>" + deep));
    ASSERT_TRUE(settle());
    idle();
    EXPECT_EQ(eval("survived"), "true");
    EXPECT_TRUE(capture.contains("ignored navigation to http://bad host/"));
    EXPECT_EQ(delegate->count("ask"), 1u);
    EXPECT_EQ(eval("document.createEvent('NoSuchKind')"), "");
    EXPECT_TRUE(capture.contains("NoSuchKind"));
}

// ---- timers -----------------------------------------------------------------

TEST_F(WebViewLoading, TimersRunOnTheRunLoopAndCanBeCleared) {
    platform::ScopedManualClock clock;
    eval(R"js(
        var fired = [];
        setTimeout(function (a, b) { fired.push('late ' + a + b); }, 200, 'x', 'y');
        setTimeout(function () { fired.push('early'); }, 10);
        var doomed = setTimeout(function () { fired.push('cleared'); }, 50);
        clearTimeout(doomed);
        var ticks = 0;
        var interval = setInterval(function () { if (++ticks === 3) clearInterval(interval); }, 20);
        setTimeout("fired.push('string')", 30);
        setTimeout(function () { throw new Error('timer failed'); }, 5);)js");
    EXPECT_EQ(eval("fired.length"), "0");
    ASSERT_TRUE(runUntil([&] { return eval("fired.length") == "3"; }));
    idle();
    EXPECT_EQ(eval("fired.join() + ' ' + ticks"), "early,string,late xy 3");
    EXPECT_EQ(RunLoop::main().pendingTimers(), 0u);
}

TEST_F(WebViewLoading, AnOldPagesTimersNeverFireAfterItIsLeft) {
    platform::ScopedManualClock clock;
    platform::LogCapture capture;
    view->loadHTMLStringBaseURL("<script>setTimeout(function () { console.log('old page timer'); }, 100);"
                                "setInterval(function () {}, 10);</script>",
                                std::nullopt);
    ASSERT_TRUE(settle());
    view->loadHTMLStringBaseURL("<script>var fresh = true;</script>", std::nullopt);
    ASSERT_TRUE(settle(2));
    EXPECT_EQ(RunLoop::main().pendingTimers(), 0u);
    clock->advance(1);
    idle();
    EXPECT_FALSE(capture.contains("old page timer"));
}

// ---- user agent -------------------------------------------------------------

namespace {
// Registers a "UserAgent" default for one test and takes it back after.
class RegisteredUserAgent {
public:
    explicit RegisteredUserAgent(const std::string& agent) {
        const auto registered = platform::UserDefaults::standard().registeredDefaults();
        auto it = registered.find("UserAgent");
        previous_ = it == registered.end() ? platform::Value(std::string()) : it->second;
        platform::UserDefaults::standard().registerDefaults({{"UserAgent", agent}});
    }
    ~RegisteredUserAgent() { platform::UserDefaults::standard().registerDefaults({{"UserAgent", previous_}}); }

private:
    platform::Value previous_;
};
}  // namespace

TEST_F(WebViewLoading, TheUserAgentIsTheRegisteredDefaultWhenTheLoadStarts) {
    EXPECT_EQ(eval("navigator.userAgent"), WebView::engineUserAgent());
    {
        RegisteredUserAgent agent("TestAgent/1.0 (hybrid)");
        view->loadHTMLStringBaseURL("<script>var agent = navigator.userAgent;</script>", std::nullopt);
        ASSERT_TRUE(settle());
    }
    EXPECT_EQ(eval("agent"), "TestAgent/1.0 (hybrid)");
}

// ---- XMLHttpRequest ---------------------------------------------------------

namespace {

// Serves "xhrtest:" URLs: /hello answers text with a header, /teapot a 418,
// /broken fails. Every request it sees is kept (the loads may run on workers).
class TestProtocol : public platform::URLProtocol {
public:
    using URLProtocol::URLProtocol;

    static std::mutex mutex;
    static std::vector<URLRequest> seen;

    void startLoading() override {
        {
            std::lock_guard lock(mutex);
            seen.push_back(request());
        }
        const std::string path = request().url()->percentEncodedPath();
        if (path == "/broken") {
            client().didFailWithError(Error{platform::NSURLErrorDomain, platform::NSURLErrorTimedOut, "timed out", {}});
            return;
        }
        platform::URLResponse response;
        response.url = request().url();
        response.statusCode = path == "/teapot" ? 418 : 200;
        response.headers["X-Answer"] = "42";
        response.headers["Content-Type"] = "text/plain";
        std::string body = path == "/echo" ? std::string(request().HTTPBody().begin(), request().HTTPBody().end())
                                           : "hello \xC3\xA9";
        client().didReceiveResponse(response, platform::URLCacheStoragePolicy::NotAllowed);
        client().didLoadData(Data(body.begin(), body.end()));
        client().didFinishLoading();
    }
};
std::mutex TestProtocol::mutex;
std::vector<URLRequest> TestProtocol::seen;

class WebViewRequests : public WebViewLoading {
protected:
    void SetUp() override {
        WebViewLoading::SetUp();
        TestProtocol::seen.clear();
        URLLoading::registerClass(platform::URLProtocolClass{
            "WebViewTestProtocol",
            [](const URLRequest& request) { return request.url() && request.url()->scheme() == "xhrtest"; },
            [](const URLRequest& request, std::shared_ptr<platform::URLProtocolClient> client) {
                return std::make_shared<TestProtocol>(request, std::move(client));
            }});
        view->loadHTMLStringBaseURL("", URL::create("xhrtest://server/app/index.html"));
        settle();
    }
    void TearDown() override { URLLoading::unregisterClass("WebViewTestProtocol"); }

    URLRequest lastSeen() {
        std::lock_guard lock(TestProtocol::mutex);
        return TestProtocol::seen.empty() ? URLRequest() : TestProtocol::seen.back();
    }
};

}  // namespace

TEST_F(WebViewRequests, SynchronousRequestsAnswerBeforeSendReturns) {
    RegisteredUserAgent agent("RequestAgent/2");
    view->loadHTMLStringBaseURL("", URL::create("xhrtest://server/app/index.html"));
    ASSERT_TRUE(settle(2));
    eval(R"(
        var xhr = new XMLHttpRequest();
        var states = [];
        xhr.onreadystatechange = function () { states.push(xhr.readyState); };
        xhr.open('post', '../echo', false);
        xhr.setRequestHeader('X-Token', 'abc');
        xhr.setRequestHeader('User-Agent', 'forged');
        xhr.send('payload');)");
    EXPECT_EQ(eval("[xhr.readyState, xhr.status, xhr.statusText, xhr.responseText, states.join('')].join('|')"),
              "4|200|OK|payload|14");
    EXPECT_EQ(eval("xhr.getResponseHeader('x-answer') + ' ' + xhr.getResponseHeader('nothing')"), "42 null");
    const URLRequest seen = lastSeen();
    EXPECT_EQ(seen.url()->absoluteString(), "xhrtest://server/echo");
    EXPECT_EQ(seen.HTTPMethod(), "POST");
    EXPECT_EQ(seen.valueForHTTPHeaderField("x-token"), "abc");
    EXPECT_EQ(seen.valueForHTTPHeaderField("User-Agent"), "RequestAgent/2");
    EXPECT_EQ(seen.mainDocumentURL(), URL::create("xhrtest://server/app/index.html"));

    eval("var failed = new XMLHttpRequest(); failed.open('GET', '/broken', false);"
         "try { failed.send(); } catch (e) { var thrown = e.name; }");
    EXPECT_EQ(eval("thrown + ' ' + failed.status + ' ' + failed.readyState"), "NetworkError 0 4");
}

TEST_F(WebViewRequests, AsynchronousRequestsCompleteOnTheRunLoop) {
    eval(R"(
        var log = [];
        var xhr = new XMLHttpRequest();
        xhr.onreadystatechange = function () { log.push('state ' + xhr.readyState); };
        xhr.addEventListener('load', function () { log.push('load ' + xhr.status + ' ' + xhr.responseText); });
        xhr.open('GET', 'hello');
        xhr.send();
        log.push('sent');
        var teapot = new XMLHttpRequest();
        teapot.onload = function () { log.push('teapot ' + teapot.status); };
        teapot.open('GET', '/teapot');
        teapot.send();
        var broken = new XMLHttpRequest();
        broken.onerror = function () { log.push('error ' + broken.status); };
        broken.open('GET', '/broken');
        broken.send();
        var bad = new XMLHttpRequest();
        bad.onerror = function () { log.push('bad url'); };
        bad.open('GET', 'http://bad host/');
        bad.send();)");
    EXPECT_EQ(eval("log.join()"), "state 1,sent");
    ASSERT_TRUE(runUntil([&] { return eval("log.length") == "9"; }));
    const std::string log = eval("log.join()");
    EXPECT_NE(log.find("state 1,sent,"), std::string::npos) << log;
    EXPECT_NE(log.find("state 2,state 3,state 4,load 200 hello \xC3\xA9"), std::string::npos) << log;
    EXPECT_NE(log.find("teapot 418"), std::string::npos) << log;
    EXPECT_NE(log.find("error 0"), std::string::npos) << log;
    EXPECT_NE(log.find("bad url"), std::string::npos) << log;
    EXPECT_EQ(lastSeen().valueForHTTPHeaderField("User-Agent"), WebView::engineUserAgent());
}

TEST_F(WebViewRequests, AnAbortedRequestNeverCompletes) {
    eval(R"(
        var loaded = false;
        var xhr = new XMLHttpRequest();
        xhr.onload = function () { loaded = true; };
        xhr.open('GET', 'hello');
        xhr.send();
        xhr.abort();
        var other = new XMLHttpRequest();
        other.open('GET', 'hello');
        other.onload = function () { window.otherDone = true; };
        other.send();)");
    ASSERT_TRUE(runUntil([&] { return eval("window.otherDone === true") == "true"; }));
    EXPECT_EQ(eval("loaded + ' ' + xhr.readyState"), "false 0");
}

TEST_F(WebViewLoading, RequestsForFilesAreServedFromDisk) {
    folder.write("data/answer.json", "{\"answer\": 42}");
    load(page("index.html", ""));
    ASSERT_TRUE(settle());
    eval(R"(
        var xhr = new XMLHttpRequest();
        xhr.open('GET', 'data/answer.json', false);
        xhr.responseType = 'json';
        xhr.send();
        var missing = new XMLHttpRequest();
        missing.open('GET', 'data/none.json', false);
        try { missing.send(); } catch (e) { var thrown = e.name; })");
    EXPECT_EQ(eval("xhr.status + ' ' + xhr.response.answer + ' ' + xhr.getResponseHeader('Content-Type')"),
              "200 42 application/json");
    EXPECT_EQ(eval("thrown + ' ' + missing.status"), "NetworkError 0");
}

// ---- life cycle -------------------------------------------------------------

TEST_F(WebViewLoading, TheWebViewMayGoAwayAtAnyStep) {
    const URL url = page("index.html", "<script>setTimeout(function () {}, 10); var x = new XMLHttpRequest();"
                                       "x.open('GET', 'index.html'); x.send();</script>");
    // Gone before its load is even asked about.
    load(url);
    view.reset();
    idle();
    EXPECT_TRUE(delegate->events.empty());

    // Gone while starting.
    view = std::make_shared<WebView>();
    view->setDelegate(delegate);
    delegate->onStart = [&] { view.reset(); };
    load(url);
    idle();
    EXPECT_EQ(delegate->events.back(), "start");

    // Gone with a finished page whose timers and requests are still pending.
    delegate->events.clear();
    delegate->onStart = nullptr;
    view = std::make_shared<WebView>();
    view->setDelegate(delegate);
    delegate->onFinish = [&] { view.reset(); };
    load(url);
    ASSERT_TRUE(settle());
    RunLoop::main().runUntil([] { return false; }, 0.1);
    EXPECT_EQ(RunLoop::main().pendingTimers(), 0u);
}

TEST_F(WebViewLoading, TheDelegateMayGoAwayWhileBeingCalled) {
    delegate->onStart = [&] { delegate.reset(); };
    load(page("index.html", "<script>var loaded = 1;</script>"));
    ASSERT_TRUE(runUntil([&] { return !view->isLoading() && eval("typeof loaded") == "number"; }));
    EXPECT_FALSE(view->delegate());
}

TEST(WebViewFeatures, TheScrollViewIsASubviewUnlessAbsent) {
    auto view = std::make_shared<WebView>(platform::CGRect{{0, 0}, {320, 480}});
    ASSERT_TRUE(view->scrollView());
    EXPECT_EQ(view->subviews().size(), 1u);
    EXPECT_EQ(view->subviews()[0], view->scrollView());
    EXPECT_EQ(view->scrollView()->frame().size.width, 320);
    view->setAbsentSelectors({"scrollView"});
    EXPECT_FALSE(view->respondsToSelector("scrollView"));
    EXPECT_EQ(view->scrollView(), nullptr);
}
