#include "hybrid/HYBWebViewDelegate.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/URLLoading.h"
#include "platform/ui/Device.h"

namespace hybrid {
namespace {

constexpr long kCancelledErrorCode = platform::NSURLErrorCancelled;

// Systems from 6.0 on report every top-level load start after an allowed
// navigation; older ones may start a page made by script without asking.
bool systemReportsEveryNavigation() {
    return platform::compareVersions(platform::UIDevice::currentDevice().systemVersion(), "6.0") >= 0;
}

long stateNumber(HYBLoadState state) { return static_cast<long>(state); }

}  // namespace

HYBWebViewDelegate::HYBWebViewDelegate(std::weak_ptr<platform::UIWebViewDelegate> delegate)
    : _delegate(std::move(delegate)) {}

bool HYBWebViewDelegate::request(const platform::URLRequest& newRequest, const platform::URLRequest* originalRequest) {
    const bool originalHasURL = originalRequest && originalRequest->url();
    platform::logf("url ----> %s", originalHasURL ? originalRequest->url()->absoluteString().c_str() : "(null)");
    if (!originalHasURL || !newRequest.url()) return false;
    return newRequest.url()->absoluteStringWithoutFragment() == originalRequest->url()->absoluteStringWithoutFragment();
}

bool HYBWebViewDelegate::isPageLoaded(platform::WebView& webView) {
    const std::string readyState = webView.stringByEvaluatingJavaScriptFromString("document.readyState");
    return readyState == "loaded" || readyState == "complete";
}

std::string HYBWebViewDelegate::evalForCurrentURL(platform::WebView& webView) {
    return webView.stringByEvaluatingJavaScriptFromString("location.href");
}

bool HYBWebViewDelegate::shouldLoadRequest(const platform::URLRequest& request) {
    const std::string scheme = request.url() ? request.url()->scheme() : std::string();
    if (scheme == "mailto" || scheme == "tel") return true;
    return platform::URLLoading::canHandleRequest(request);
}

bool HYBWebViewDelegate::isJsLoadTokenSet(platform::WebView& webView) const {
    platform::assertMainThread("HYBWebViewDelegate::isJsLoadTokenSet");
    const std::string token = webView.stringByEvaluatingJavaScriptFromString("window.__hybridLoadToken");
    return token == platform::format("%ld", _curLoadToken);
}

void HYBWebViewDelegate::setLoadToken(platform::WebView& webView) {
    platform::assertMainThread("HYBWebViewDelegate::setLoadToken");
    _curLoadToken += 1;
    webView.stringByEvaluatingJavaScriptFromString(platform::format("window.__hybridLoadToken=%ld", _curLoadToken));
}

bool HYBWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType(
    platform::WebView& webView, const platform::URLRequest& request, platform::UIWebViewNavigationType navigationType) {
    platform::assertMainThread("HYBWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType");
    if (auto delegate = _delegate.lock()) {
        if (!delegate->webViewShouldStartLoadWithRequestNavigationType(webView, request, navigationType)) return false;
    }

    const auto currentRequest = webView.request();
    const bool isTopLevelNavigation =
        &request == currentRequest.get() ||
        (request.url() && request.mainDocumentURL() && *request.url() == *request.mainDocumentURL());
    if (!isTopLevelNavigation) return shouldLoadRequest(request);

    if (this->request(request, currentRequest.get())) {
        // Asking again for the very URL the page shows is a reload, a real
        // navigation; any other URL of the same document is a jump within it.
        if (evalForCurrentURL(webView) != request.url()->absoluteString()) return true;
    }

    switch (_state) {
        case HYBLoadState::Idle:
        case HYBLoadState::PollingForLoadStart:
        case HYBLoadState::Cancelled:
            _loadCount = 0;
            _state = HYBLoadState::WaitingForLoadStart;
            return true;

        case HYBLoadState::WaitingForLoadFinish:
            // A negative count means this navigation already failed and only
            // its stragglers are finishing: what comes now is a new page, not
            // a redirect, or no page load would ever be reported again.
            if (_loadCount < 0) {
                _loadCount = 0;
                _state = HYBLoadState::WaitingForLoadStart;
                return true;
            }
            if (_loadCount != 1) {
                platform::logf("HYBWebViewDelegate: Detected redirect when loadCount=%ld", _loadCount);
            }
            return true;

        case HYBLoadState::WaitingForLoadStart:
        case HYBLoadState::PollingForLoadFinish: {
            const long abandonedState = stateNumber(_state);
            _loadCount = 0;
            _state = HYBLoadState::WaitingForLoadStart;
            platform::Error error;
            error.domain = kErrorDomain;
            error.code = kAbandonedNavigationErrorCode;
            error.localizedDescription =
                platform::format("HYBWebViewDelegate: Navigation started when state=%ld", abandonedState);
            platform::log(error.localizedDescription);
            if (auto delegate = _delegate.lock()) delegate->webViewDidFailLoadWithError(webView, error);
            return true;
        }
    }
    return true;
}

void HYBWebViewDelegate::webViewDidStartLoad(platform::WebView& webView) {
    platform::assertMainThread("HYBWebViewDelegate::webViewDidStartLoad");
    if (pollIfPolling(webView)) return;
    bool forward = false;
    switch (_state) {
        case HYBLoadState::Idle:
            if (!systemReportsEveryNavigation()) {
                _state = HYBLoadState::PollingForLoadStart;
                _loadStartPollCount = 0;
                setLoadToken(webView);
                pollForPageLoadStart(webView);
            }
            break;
        case HYBLoadState::WaitingForLoadStart:
            if (_loadCount != 0) {
                platform::logf("HYBWebViewDelegate: Unexpected loadCount in didStart. count=%ld", _loadCount);
            }
            _state = HYBLoadState::WaitingForLoadFinish;
            _loadCount = 1;
            forward = true;
            break;
        case HYBLoadState::WaitingForLoadFinish:
            _loadCount += 1;
            break;
        case HYBLoadState::PollingForLoadStart:
        case HYBLoadState::PollingForLoadFinish:
            break;
        case HYBLoadState::Cancelled:
            _state = HYBLoadState::WaitingForLoadFinish;
            _loadCount += 1;
            forward = true;
            break;
    }
    if (!forward) return;
    if (auto delegate = _delegate.lock()) delegate->webViewDidStartLoad(webView);
}

void HYBWebViewDelegate::webViewDidFinishLoad(platform::WebView& webView) {
    platform::assertMainThread("HYBWebViewDelegate::webViewDidFinishLoad");
    if (pollIfPolling(webView)) return;
    bool forward = false;
    switch (_state) {
        case HYBLoadState::WaitingForLoadStart:
            platform::log("HYBWebViewDelegate: Unexpected didFinish while waiting for load start.");
            break;
        case HYBLoadState::WaitingForLoadFinish:
            if (_loadCount == 1) {
                _state = HYBLoadState::Idle;
                _loadCount = 0;
                forward = true;
            } else {
                _loadCount -= 1;
            }
            break;
        case HYBLoadState::PollingForLoadStart:
        case HYBLoadState::PollingForLoadFinish:
            break;
        case HYBLoadState::Idle:
        case HYBLoadState::Cancelled:
            break;
    }
    if (!forward) return;
    if (auto delegate = _delegate.lock()) delegate->webViewDidFinishLoad(webView);
}

void HYBWebViewDelegate::webViewDidFailLoadWithError(platform::WebView& webView, const platform::Error& error) {
    platform::assertMainThread("HYBWebViewDelegate::webViewDidFailLoadWithError");
    if (pollIfPolling(webView)) return;
    const bool cancelled = error.code == kCancelledErrorCode;
    bool forward = false;
    switch (_state) {
        case HYBLoadState::WaitingForLoadStart:
            _state = cancelled ? HYBLoadState::Cancelled : HYBLoadState::Idle;
            forward = true;
            break;
        case HYBLoadState::WaitingForLoadFinish:
            if (cancelled) {
                _state = HYBLoadState::Cancelled;
                _loadCount -= 1;
                forward = true;
            } else {
                if (_loadCount == 1) {
                    _state = HYBLoadState::Idle;
                    forward = true;
                }
                // The loads still in flight belong to a failed navigation:
                // counting down from -1 keeps their finishes from being
                // forwarded as its end.
                _loadCount = -1;
            }
            break;
        case HYBLoadState::PollingForLoadStart:
        case HYBLoadState::PollingForLoadFinish:
            break;
        case HYBLoadState::Idle:
        case HYBLoadState::Cancelled:
            break;
    }
    if (!forward) return;
    if (auto delegate = _delegate.lock()) delegate->webViewDidFailLoadWithError(webView, error);
}

bool HYBWebViewDelegate::pollIfPolling(platform::WebView& webView) {
    // While polling, every load call only moves the poll on.
    if (_state == HYBLoadState::PollingForLoadStart) {
        pollForPageLoadStart(webView);
        return true;
    }
    if (_state == HYBLoadState::PollingForLoadFinish) {
        pollForPageLoadFinish(webView);
        return true;
    }
    return false;
}

void HYBWebViewDelegate::pollForPageLoadStart(platform::WebView& webView) {
    if (_state != HYBLoadState::PollingForLoadStart) return;
    if (isJsLoadTokenSet(webView)) {
        // The old page is still there.
        _loadStartPollCount += 1;
        if (_loadStartPollCount < kMaxLoadStartPolls) schedulePoll(webView, &HYBWebViewDelegate::pollForPageLoadStart);
        return;
    }
    _state = HYBLoadState::PollingForLoadFinish;
    setLoadToken(webView);
    if (auto delegate = _delegate.lock()) delegate->webViewDidStartLoad(webView);
    pollForPageLoadFinish(webView);
}

void HYBWebViewDelegate::pollForPageLoadFinish(platform::WebView& webView) {
    if (_state != HYBLoadState::PollingForLoadFinish) return;
    if (!isPageLoaded(webView)) {
        schedulePoll(webView, &HYBWebViewDelegate::pollForPageLoadFinish);
        return;
    }
    _state = HYBLoadState::Idle;
    if (auto delegate = _delegate.lock()) delegate->webViewDidFinishLoad(webView);
}

void HYBWebViewDelegate::schedulePoll(platform::WebView& webView,
                                      void (HYBWebViewDelegate::*poll)(platform::WebView&)) {
    std::weak_ptr<HYBWebViewDelegate> weakSelf = weak_from_this();
    std::weak_ptr<platform::UIView> weakWebView = webView.weak_from_this();
    platform::RunLoop::main().after(kPollInterval, [weakSelf, weakWebView, poll] {
        auto self = weakSelf.lock();
        auto view = std::static_pointer_cast<platform::WebView>(weakWebView.lock());
        if (!self || !view) return;
        (self.get()->*poll)(*view);
    });
}

}  // namespace hybrid
