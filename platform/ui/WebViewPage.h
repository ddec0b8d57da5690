#pragma once
// One page of a WebView: its JavaScript context and the host objects the
// page's scripts see. WebView.cpp owns the load sequence and decides when a
// page is made and dropped; this file owns what happens inside one page.
//
// The host objects are mostly JavaScript (a prelude evaluated into each fresh
// context); the prelude reaches the native side through a private `host`
// object that only it holds: navigation requests, timers on the main run
// loop, XMLHttpRequest through URLLoading, web storage, and the process log.
//
// Web storage: `localStorage` is the origin's local StorageArea, taken at the
// page's first use of it; `sessionStorage` the web view's session area of the
// origin. A page of an opaque origin (data:, about:) has neither: touching
// either throws a SecurityError, as browsers do.
//
// Page-made navigations carry the type a user's action would have had:
// assigning `location` or `location.href` and `location.assign()` count as a
// link clicked, `location.reload()` as a reload, and everything else (a hash
// assignment, `location.replace()`, a frame's `src`) as other.
//
// Main thread only. Dropping a page cancels its timers and its outstanding
// requests, so nothing of an old page ever runs once the page is gone.

#include <jsc/jsc.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/URLLoading.h"
#include "platform/ui/WebStorage.h"
#include "platform/ui/WebView.h"

namespace platform {

// Logs the context's pending exception (if any) as "WebView: JavaScript
// exception: ..." and clears it. Returns whether there was one.
bool reportJavaScriptException(JSCContext* context);

// What the HTML parser found that a page acts on, in document order.
struct PageItem {
    enum class Kind {
        InlineScript,  // `text` is the script, `line` where it starts
        ScriptSource,  // `text` is the src attribute as written
        Frame,         // `text` is an iframe's src attribute as written
        Base,          // `text` is a <base href>, which later relative URLs resolve against
        BodyOnload,    // `text` is the body's onload attribute
    };
    Kind kind;
    std::string text;
    int line = 1;
};

// Parses `html` leniently (broken markup still yields what can be found).
std::vector<PageItem> findPageItems(const std::string& html);

class WebViewPage {
public:
    // A navigation the page asks for: the URL resolved against the page,
    // how it was made, and whether it is a sub-frame's.
    using NavigationRequest = std::function<void(const URL& url, UIWebViewNavigationType type, bool subframe)>;

    WebViewPage(URL url, std::string userAgent, NavigationRequest onNavigation,
                std::shared_ptr<SessionStorage> sessionStorage);
    ~WebViewPage();
    WebViewPage(const WebViewPage&) = delete;
    WebViewPage& operator=(const WebViewPage&) = delete;

    JSCContext* context() const { return context_; }
    const URL& url() const { return url_; }
    const std::string& userAgent() const { return userAgent_; }

    // A same-document navigation: only `location` changes.
    void setURL(const URL& url);

    // Runs the page's scripts in document order (src scripts fetched on the
    // spot, failures logged and skipped) and asks for its iframes' loads.
    void runDocument(const std::string& html);
    // readyState becomes "complete"; "readystatechange" and
    // "DOMContentLoaded" go to the document, "load" to the window.
    void completeDocument();

    // Leaves the page for good: its timers and requests are cancelled and
    // whatever its scripts still ask for is ignored.
    void close();

    // Evaluates page code given a name for the exception log.
    void evaluate(const std::string& code, const std::string& sourceURI, int line);

    // Host callbacks (called by JavaScriptCore through C trampolines).
    void navigate(const std::string& target, int type, bool subframe);
    void schedule(std::int64_t id, double milliseconds);
    void unschedule(std::int64_t id);
    void sendSynchronously(JSCValue* description, JSCValue* sink);
    void startRequest(std::int64_t id, JSCValue* description);
    void abortRequest(std::int64_t id);
    // One Storage call: `kind` "local" or "session", `operation` one of
    // length, key, get, set, remove, clear, keys. Answers a new value.
    JSCValue* storage(const std::string& kind, const std::string& operation, JSCValue* first, JSCValue* second);

private:
    void installHost();
    void publishLocation();
    // Calls host[method](args...) and logs what it throws.
    void callHost(const char* method, std::vector<JSCValue*> arguments);
    std::optional<URLRequest> requestFrom(JSCValue* description, std::string& problem) const;
    std::optional<URL> resolve(const std::string& text, const URL& base) const;
    std::string fetchScript(const URL& url, bool& ok) const;
    StorageArea* storageArea(bool local);

    JSCContext* context_ = nullptr;
    JSCValue* host_ = nullptr;  // the prelude's private channel, held so native code can call into it
    URL url_;
    std::string userAgent_;
    NavigationRequest onNavigation_;
    std::map<std::int64_t, RunLoop::TimerId> timers_;
    std::map<std::int64_t, std::shared_ptr<URLLoading::Handle>> requests_;
    std::optional<std::string> storageOrigin_;
    std::shared_ptr<SessionStorage> sessionStorage_;
    std::shared_ptr<StorageArea> localArea_;
    std::shared_ptr<StorageArea> sessionArea_;
    // Posted work and completions hold this weakly: once the page is gone
    // they find it expired and do nothing.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    bool closed_ = false;
};

}  // namespace platform
