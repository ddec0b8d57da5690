#pragma once
// The web view stand-in: pages whose JavaScript runs in JavaScriptCore
// (GLib API), loaded the way the phone's web view loads them. Main thread
// only (asserted).
//
// A load runs on the main run loop, never inline in the call that starts it:
//   1. the delegate is asked (webViewShouldStartLoadWithRequestNavigationType);
//      a refusal ends the load silently;
//   2. webViewDidStartLoad;
//   3. the content is fetched: a file or data URL through URLLoading's built-in
//      loaders, any other URL through URLLoading (so registered protocols see
//      it); a string load has its text already ("about:blank" without a base URL);
//      a failure ends in webViewDidFailLoadWithError;
//   4. a fresh JavaScript context is made for the page: `window` (the global),
//      `document` with readyState "loading", `location`, `navigator.userAgent`;
//      the page's scripts (inline and `src`, found with libxml2's HTML
//      parser) run in document order; readyState becomes "complete" and
//      "DOMContentLoaded" and "load" are dispatched;
//   5. webViewDidFinishLoad.
// A new load before step 5 fails the old one with NSURLErrorCancelled (-999).
//
// Page-made navigations (setting `location.href` or `location.hash`, an
// iframe's `src`, `location.reload()`) are posted to the run loop and vetted
// by the delegate: a top-level one with the main-document URL equal to its own
// URL, an iframe's with the page's URL as main-document URL (and on approval
// only its start and finish are reported, the page stays). A hash change to
// the same document only updates `location` after approval.
//
// The page's user agent is the registered user default "UserAgent" at the
// moment a load starts, else the engine's own text (engineUserAgent()).
// XMLHttpRequest goes through URLLoading with the page's user agent in the
// "User-Agent" header; synchronous ones block, asynchronous ones complete on
// the run loop. setTimeout/clearTimeout run on the run loop; console.log
// writes to the process log.
//
// `localStorage` persists per origin in SQLite files under the app's Library
// (see WebStorage.h); `sessionStorage` is per web view and origin, kept in
// memory across the web view's navigations and never written anywhere.
//
// Features some systems lack (allowsInlineMediaPlayback,
// keyboardDisplayRequiresUserAction, the pagination keys, scrollView, ...)
// are recorded properties behind a per-instance "responds to" set, so that
// callers' feature tests can be exercised.

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URLRequest.h"
#include "platform/foundation/Value.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace platform {

class WebView;

enum class UIWebViewNavigationType {
    LinkClicked = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = 5,
};

class UIWebViewDelegate {
public:
    virtual ~UIWebViewDelegate() = default;
    virtual bool webViewShouldStartLoadWithRequestNavigationType(WebView& webView, const URLRequest& request,
                                                                 UIWebViewNavigationType navigationType) {
        return true;
    }
    virtual void webViewDidStartLoad(WebView& webView) {}
    virtual void webViewDidFinishLoad(WebView& webView) {}
    virtual void webViewDidFailLoadWithError(WebView& webView, const Error& error) {}
};

class WebView : public UIView {
public:
    explicit WebView(CGRect frame = CGRectZero);
    ~WebView() override;

    // Held weakly.
    void setDelegate(std::weak_ptr<UIWebViewDelegate> delegate);
    std::shared_ptr<UIWebViewDelegate> delegate() const;

    void loadRequest(const URLRequest& request);
    void loadHTMLStringBaseURL(const std::string& html, const std::optional<URL>& baseURL);
    void stopLoading();
    void reload();
    bool isLoading() const;
    // The request of the page shown (or being loaded), as one shared object:
    // callers compare it by identity.
    std::shared_ptr<const URLRequest> request() const;

    // Evaluates synchronously in the current page: a string result as itself,
    // a number or boolean as its JavaScript text, anything else (or a thrown
    // exception, which is logged) as "".
    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);

    // The engine's own user agent text.
    static std::string engineUserAgent();

    // Optional features: which selectors this instance "responds to". By
    // default every feature is present; tests remove some.
    bool respondsToSelector(const std::string& selector) const;
    void setAbsentSelectors(std::set<std::string> selectors) { absentSelectors_ = std::move(selectors); }
    // Key-value access to the optional features ("keyboardDisplayRequiresUserAction",
    // "suppressesIncrementalRendering", "gapBetweenPages", "pageLength",
    // "paginationBreakingMode", "paginationMode", ...).
    void setValueForKey(const Value& value, const std::string& key);
    Value valueForKey(const std::string& key) const;

    bool scalesPageToFit() const { return scalesPageToFit_; }
    void setScalesPageToFit(bool scales) { scalesPageToFit_ = scales; }
    bool allowsInlineMediaPlayback() const { return valueForKey("allowsInlineMediaPlayback").boolValue(); }
    void setAllowsInlineMediaPlayback(bool allows) { setValueForKey(allows, "allowsInlineMediaPlayback"); }
    bool mediaPlaybackRequiresUserAction() const { return valueForKey("mediaPlaybackRequiresUserAction").boolValue(); }
    void setMediaPlaybackRequiresUserAction(bool required) { setValueForKey(required, "mediaPlaybackRequiresUserAction"); }
    // Nothing when the instance does not respond to "scrollView" (its
    // scroll view is then only found among its subviews).
    std::shared_ptr<UIScrollView> scrollView() const;

    bool isKindOfClass(const std::string& className) const override {
        return className == "UIWebView" || UIView::isKindOfClass(className);
    }

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
    std::set<std::string> absentSelectors_;
    Dictionary properties_;
    bool scalesPageToFit_ = false;
};

}  // namespace platform
