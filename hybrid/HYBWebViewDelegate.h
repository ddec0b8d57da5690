#pragma once
// The page-load tracker: the web view's delegate, standing between the web
// view and the container. The web view reports every load it performs
// (sub-frames, redirects, cancelled loads, fragment jumps, and on systems
// before 6.0 some of them late or not at all); the tracker turns that stream
// into one started and one finished-or-failed call per top-level navigation
// and forwards those to its own delegate, the container.
//
// Ownership: one tracker per container, held by the container through a
// std::shared_ptr and set as the web view's (weak) delegate. Its own delegate
// is held weakly. Polls scheduled on the run loop hold the tracker and the web
// view weakly, so a poll that outlives either does nothing.
//
// Main thread only: the web view calls it there and its polls are timers of
// the main run loop.

#include <memory>
#include <string>

#include "platform/ui/WebView.h"

namespace hybrid {

enum class HYBLoadState : long {
    Idle = 0,
    WaitingForLoadStart = 1,
    WaitingForLoadFinish = 2,
    // Systems before 6.0 only: a start was seen without a preceding allowed
    // navigation; the page's load token is polled for the new page.
    PollingForLoadStart = 3,
    // Systems before 6.0 only: the new page exists; its ready state is polled.
    PollingForLoadFinish = 4,
    Cancelled = 5,
};

class HYBWebViewDelegate : public platform::UIWebViewDelegate,
                           public std::enable_shared_from_this<HYBWebViewDelegate> {
public:
    // Domain and code of the error forwarded when a navigation is abandoned
    // before its start was seen.
    static constexpr const char* kErrorDomain = "HYBWebViewDelegate";
    static constexpr int kAbandonedNavigationErrorCode = 1;
    // Polls while waiting for a load start give up after this many rounds.
    static constexpr long kMaxLoadStartPolls = 50;
    static constexpr double kPollInterval = 0.05;

    // Own it through std::shared_ptr (std::make_shared): polls reach the
    // tracker only through its weak self-reference.
    explicit HYBWebViewDelegate(std::weak_ptr<platform::UIWebViewDelegate> delegate);

    bool webViewShouldStartLoadWithRequestNavigationType(platform::WebView& webView,
                                                         const platform::URLRequest& request,
                                                         platform::UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(platform::WebView& webView) override;
    void webViewDidFinishLoad(platform::WebView& webView) override;
    void webViewDidFailLoadWithError(platform::WebView& webView, const platform::Error& error) override;

    // Whether the two requests' URLs are equal once cut at the first "#";
    // unequal when either has no URL. Logs "url ----> %@" with the
    // original's URL.
    static bool request(const platform::URLRequest& newRequest, const platform::URLRequest* originalRequest);
    // Whether "document.readyState" is "loaded" or "complete".
    static bool isPageLoaded(platform::WebView& webView);
    // The page's "location.href".
    static std::string evalForCurrentURL(platform::WebView& webView);
    // Sub-frame requests: "mailto" and "tel" always, anything else when the
    // URL loading layer can serve it.
    static bool shouldLoadRequest(const platform::URLRequest& request);

    // Whether the page still holds the last token written into it.
    bool isJsLoadTokenSet(platform::WebView& webView) const;
    void setLoadToken(platform::WebView& webView);

    HYBLoadState state() const { return _state; }
    long loadCount() const { return _loadCount; }
    long loadStartPollCount() const { return _loadStartPollCount; }

private:
    bool pollIfPolling(platform::WebView& webView);
    void pollForPageLoadStart(platform::WebView& webView);
    void pollForPageLoadFinish(platform::WebView& webView);
    // Runs `poll` on the web view after kPollInterval, if both still exist then.
    void schedulePoll(platform::WebView& webView, void (HYBWebViewDelegate::*poll)(platform::WebView&));

    std::weak_ptr<platform::UIWebViewDelegate> _delegate;
    long _loadCount = -1;
    HYBLoadState _state = HYBLoadState::Idle;
    long _curLoadToken = 0;
    long _loadStartPollCount = 0;
};

}  // namespace hybrid
