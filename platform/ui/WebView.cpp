#include "platform/ui/WebView.h"

#include <jsc/jsc.h>

#include <cstdint>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/URLLoading.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WebViewPage.h"

namespace platform {
namespace {

const URL& aboutBlank() {
    static const URL url = *URL::create("about:blank");
    return url;
}

Error loadError(int code, std::string description, const std::optional<URL>& url) {
    Error error{NSURLErrorDomain, code, std::move(description), {}};
    if (url) error.userInfo["NSErrorFailingURLStringKey"] = url->absoluteString();
    return error;
}

Error cancelledError(const std::shared_ptr<const URLRequest>& request) {
    return loadError(NSURLErrorCancelled, "cancelled", request ? request->url() : std::nullopt);
}

std::string registeredUserAgent() {
    const Value userAgent = UserDefaults::standard().objectForKey("UserAgent");
    if (userAgent.isString() && !userAgent.stringValue().empty()) return userAgent.stringValue();
    return WebView::engineUserAgent();
}

// Content without a telling type is sniffed as HTML, as browsers do for
// local files without an extension.
bool isHTML(const std::string& mimeType) {
    const std::string type = toLower(mimeType);
    return type.empty() || type.find("html") != std::string::npos || type == "application/octet-stream";
}

}  // namespace

// The load sequence. Every step after the first runs from the main run loop;
// each step checks, before acting, that the web view still exists (`alive`)
// and that its load is still the current one (`loadId`), because delegate
// callbacks in between may start loads, stop them or destroy the web view.
struct WebView::Engine {
    // What a load shows: a request, and for string loads the text itself.
    struct Source {
        std::shared_ptr<const URLRequest> request;
        std::optional<std::string> html;
    };

    WebView& owner;
    std::shared_ptr<char> alive = std::make_shared<char>();
    std::weak_ptr<UIWebViewDelegate> delegate;
    std::shared_ptr<UIScrollView> scrollView;

    // This top-level browsing context's sessionStorage: it outlives the pages.
    std::shared_ptr<SessionStorage> sessionStorage = std::make_shared<SessionStorage>();
    std::unique_ptr<WebViewPage> page;
    std::uint64_t pageId = 0;
    std::shared_ptr<const URLRequest> pageRequest;
    std::optional<Source> pageSource;
    std::optional<Source> lastSource;  // of the latest load begun, shown or not

    std::uint64_t loadId = 0;  // 0: no load in progress
    std::uint64_t nextLoadId = 1;
    std::shared_ptr<const URLRequest> loadingRequest;
    std::optional<Source> loadingSource;
    std::string loadingUserAgent;
    std::shared_ptr<URLLoading::Handle> fetch;
    // stopLoading() also drops navigations still waiting to be vetted.
    std::uint64_t stops = 0;

    explicit Engine(WebView& view) : owner(view) {
        // No load has started, so no registered user agent applies yet: a
        // fresh web view shows the engine's own, which is how callers measure it.
        makePage(aboutBlank(), engineUserAgent());
    }

    ~Engine() {
        if (fetch) fetch->cancel();
    }

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void makePage(const URL& url, const std::string& userAgent) {
        if (page) page->close();
        const std::uint64_t id = ++pageId;
        page.reset();
        page = std::make_unique<WebViewPage>(
            url, userAgent,
            [this, id](const URL& target, UIWebViewNavigationType type, bool subframe) {
                pageNavigation(id, target, type, subframe);
            },
            sessionStorage);
    }

    void post(std::function<void(Engine&)> step) {
        RunLoop::main().post([token = std::weak_ptr<char>(alive), this, step = std::move(step)] {
            if (!token.expired()) step(*this);
        });
    }

    // Calls the delegate, if any. Returns false when the web view did not
    // survive the call; the caller must then touch nothing.
    template <typename Call>
    bool tell(Call call) {
        std::weak_ptr<char> token = alive;
        {
            std::shared_ptr<UIWebViewDelegate> target = delegate.lock();
            if (target) call(*target);
            // Our reference may be the delegate's last, and the delegate may own the web view.
        }
        return !token.expired();
    }

    // Asks the delegate; nullopt when the web view is gone.
    std::optional<bool> vet(const URLRequest& request, UIWebViewNavigationType type) {
        bool allowed = true;
        if (!tell([&](UIWebViewDelegate& d) { allowed = d.webViewShouldStartLoadWithRequestNavigationType(owner, request, type); }))
            return std::nullopt;
        return allowed;
    }

    void requestLoad(Source source, UIWebViewNavigationType type) {
        const std::uint64_t stopsThen = stops;
        post([source = std::move(source), type, stopsThen](Engine& engine) mutable {
            if (engine.stops != stopsThen) return;
            const std::optional<bool> allowed = engine.vet(*source.request, type);
            if (!allowed || !*allowed || engine.stops != stopsThen) return;
            engine.begin(std::move(source));
        });
    }

    void reload(const std::optional<Source>& source) {
        if (!source) return;
        Source again{std::make_shared<const URLRequest>(*source->request), source->html};
        requestLoad(std::move(again), UIWebViewNavigationType::Reload);
    }

    void pageNavigation(std::uint64_t fromPage, const URL& url, UIWebViewNavigationType type, bool subframe) {
        const std::uint64_t stopsThen = stops;
        post([fromPage, url, type, subframe, stopsThen](Engine& engine) {
            auto current = [&] { return engine.pageId == fromPage && engine.stops == stopsThen; };
            if (!current()) return;
            if (subframe) {
                engine.frameNavigation(url);
                return;
            }
            if (type == UIWebViewNavigationType::Reload) {
                engine.reload(engine.pageSource ? engine.pageSource
                                                : std::optional<Source>(Source{std::make_shared<const URLRequest>(url), {}}));
                return;
            }
            auto request = std::make_shared<URLRequest>(url);
            request->setMainDocumentURL(url);
            const URL& shown = engine.page->url();
            const bool sameDocument =
                url.fragment() && url.absoluteStringWithoutFragment() == shown.absoluteStringWithoutFragment();
            const std::optional<bool> allowed = engine.vet(*request, type);
            if (!allowed || !*allowed || !current()) return;
            if (sameDocument) {
                engine.page->setURL(url);
                return;
            }
            engine.begin(Source{std::move(request), std::nullopt});
        });
    }

    // A sub-frame's load is only reported: the page stays as it is.
    void frameNavigation(const URL& url) {
        URLRequest request(url);
        request.setMainDocumentURL(page->url());
        const std::uint64_t fromPage = pageId;
        const std::optional<bool> allowed = vet(request, UIWebViewNavigationType::Other);
        if (!allowed || !*allowed || pageId != fromPage) return;
        if (!tell([&](UIWebViewDelegate& d) { d.webViewDidStartLoad(owner); })) return;
        post([fromPage](Engine& engine) {
            if (engine.pageId == fromPage) engine.tell([&](UIWebViewDelegate& d) { d.webViewDidFinishLoad(engine.owner); });
        });
    }

    // Forgets the load in progress without reporting it.
    void abandonLoad() {
        loadId = 0;
        if (fetch) fetch->cancel();
        fetch.reset();
        loadingRequest.reset();
        loadingSource.reset();
    }

    void begin(Source source) {
        const std::uint64_t stopsThen = stops;
        if (loadId != 0) {
            const std::shared_ptr<const URLRequest> superseded = loadingRequest;
            abandonLoad();
            if (!tell([&](UIWebViewDelegate& d) { d.webViewDidFailLoadWithError(owner, cancelledError(superseded)); }))
                return;
            if (stops != stopsThen || loadId != 0) return;
        }
        const std::uint64_t id = loadId = nextLoadId++;
        loadingRequest = source.request;
        loadingSource = source;
        lastSource = source;
        loadingUserAgent = registeredUserAgent();
        if (!tell([&](UIWebViewDelegate& d) { d.webViewDidStartLoad(owner); }) || loadId != id) return;
        post([id, source = std::move(source)](Engine& engine) { engine.fetchContent(id, source); });
    }

    void fetchContent(std::uint64_t id, const Source& source) {
        if (loadId != id) return;
        const std::optional<URL>& url = source.request->url();
        if (source.html) {
            commit(id, *source.html, url ? *url : aboutBlank(), "text/html");
            return;
        }
        if (!url || !url->isAbsolute()) {
            fail(id, loadError(NSURLErrorBadURL, "bad URL", url));
            return;
        }
        if (url->scheme() == "about") {
            commit(id, "", *url, "text/html");
            return;
        }
        if (url->scheme() == "file" || url->scheme() == "data") {
            arrived(id, *url, URLLoading::loadFileOrDataURL(*url));
            return;
        }
        URLRequest outgoing = *source.request;
        outgoing.setValueForHTTPHeaderField(loadingUserAgent, "User-Agent");
        if (!outgoing.mainDocumentURL()) outgoing.setMainDocumentURL(url);
        std::weak_ptr<char> token = alive;
        fetch = URLLoading::load(outgoing, [token, this, id, requested = *url](URLLoadResult result) {
            if (!token.expired()) arrived(id, requested, result);
        });
    }

    void arrived(std::uint64_t id, const URL& requested, const URLLoadResult& result) {
        if (loadId != id) return;
        fetch.reset();
        if (result.error || !result.response) {
            fail(id, result.error ? *result.error
                                  : loadError(NSURLErrorResourceUnavailable, "no response", requested));
            return;
        }
        const std::optional<URL>& answered = result.response->url;
        commit(id, std::string(result.data.begin(), result.data.end()),
               answered && answered->isAbsolute() ? *answered : requested, result.response->MIMEType);
    }

    void commit(std::uint64_t id, const std::string& content, const URL& url, const std::string& mimeType) {
        makePage(url, loadingUserAgent);
        pageRequest = loadingRequest;
        pageSource = loadingSource;
        const std::uint64_t shown = pageId;
        std::weak_ptr<char> token = alive;
        if (isHTML(mimeType)) page->runDocument(content);
        // Scripts cannot reach the load, but a URL protocol serving them may run the loop.
        if (token.expired() || loadId != id || pageId != shown) return;
        page->completeDocument();
        if (token.expired() || loadId != id || pageId != shown) return;
        loadId = 0;
        loadingRequest.reset();
        loadingSource.reset();
        tell([&](UIWebViewDelegate& d) { d.webViewDidFinishLoad(owner); });
    }

    void fail(std::uint64_t id, const Error& error) {
        if (loadId != id) return;
        abandonLoad();
        tell([&](UIWebViewDelegate& d) { d.webViewDidFailLoadWithError(owner, error); });
    }
};

WebView::WebView(CGRect frame) : UIView(frame), engine_(std::make_unique<Engine>(*this)) {
    engine_->scrollView = std::make_shared<UIScrollView>(bounds());
    engine_->scrollView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    addSubview(engine_->scrollView);
}

WebView::~WebView() = default;

void WebView::setDelegate(std::weak_ptr<UIWebViewDelegate> delegate) { engine_->delegate = std::move(delegate); }
std::shared_ptr<UIWebViewDelegate> WebView::delegate() const { return engine_->delegate.lock(); }

void WebView::loadRequest(const URLRequest& request) {
    assertMainThread("WebView");
    auto shared = std::make_shared<URLRequest>(request);
    if (!shared->mainDocumentURL()) shared->setMainDocumentURL(shared->url());
    engine_->requestLoad(Engine::Source{std::move(shared), std::nullopt}, UIWebViewNavigationType::Other);
}

void WebView::loadHTMLStringBaseURL(const std::string& html, const std::optional<URL>& baseURL) {
    assertMainThread("WebView");
    const URL url = baseURL && baseURL->isAbsolute() ? *baseURL : aboutBlank();
    auto request = std::make_shared<URLRequest>(url);
    request->setMainDocumentURL(url);
    engine_->requestLoad(Engine::Source{std::move(request), html}, UIWebViewNavigationType::Other);
}

void WebView::stopLoading() {
    assertMainThread("WebView");
    ++engine_->stops;
    if (engine_->loadId == 0) return;
    const std::shared_ptr<const URLRequest> stopped = engine_->loadingRequest;
    engine_->abandonLoad();
    // Reported on the next turn, like every other load callback, so that a
    // caller inside a delegate callback is not re-entered.
    engine_->post([stopped](Engine& engine) {
        engine.tell([&](UIWebViewDelegate& d) { d.webViewDidFailLoadWithError(engine.owner, cancelledError(stopped)); });
    });
}

void WebView::reload() {
    assertMainThread("WebView");
    engine_->reload(engine_->lastSource);
}

bool WebView::isLoading() const { return engine_->loadId != 0; }

std::shared_ptr<const URLRequest> WebView::request() const {
    return engine_->loadId != 0 ? engine_->loadingRequest : engine_->pageRequest;
}

std::string WebView::engineUserAgent() {
    return format("Mozilla/5.0 (Linux) AppleWebKit/605.1.15 (KHTML, like Gecko) JavaScriptCore/%u.%u Mobile",
                  jsc_get_major_version(), jsc_get_minor_version());
}

bool WebView::respondsToSelector(const std::string& selector) const { return absentSelectors_.count(selector) == 0; }
void WebView::setValueForKey(const Value& value, const std::string& key) { properties_[key] = value; }
Value WebView::valueForKey(const std::string& key) const {
    auto it = properties_.find(key);
    return it == properties_.end() ? Value() : it->second;
}

std::shared_ptr<UIScrollView> WebView::scrollView() const {
    return respondsToSelector("scrollView") ? engine_->scrollView : nullptr;
}

std::string WebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    assertMainThread("WebView");
    JSCContext* js = engine_->page->context();
    JSCValue* result = jsc_context_evaluate(js, script.data(), static_cast<gssize>(script.size()));

    std::string answer;
    // A page's script error must not leak into the next evaluation, but it
    // should not vanish silently either.
    const bool threw = reportJavaScriptException(js);
    if (!threw && result &&
        (jsc_value_is_string(result) || jsc_value_is_number(result) || jsc_value_is_boolean(result))) {
        GBytes* bytes = jsc_value_to_string_as_bytes(result);
        if (bytes) {
            gsize size = 0;
            const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
            answer.assign(data, size);
            g_bytes_unref(bytes);
        }
    }
    if (result) g_object_unref(result);
    return answer;
}

}  // namespace platform
