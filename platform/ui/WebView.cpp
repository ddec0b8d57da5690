#include "platform/ui/WebView.h"

#include <jsc/jsc.h>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

namespace platform {
namespace {

// Appends the JavaScript text of `value` (what String(value) gives).
void appendText(std::string& line, JSCValue* value) {
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    if (!bytes) return;  // toString() threw; the argument shows as nothing
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    line.append(data, size);
    g_bytes_unref(bytes);
}

void consoleLog(GPtrArray* arguments, gpointer) {
    std::string line;
    for (guint i = 0; i < arguments->len; ++i) {
        if (i > 0) line.push_back(' ');
        appendText(line, static_cast<JSCValue*>(g_ptr_array_index(arguments, i)));
    }
    log(line);
}

JSCContext* newPageContext() {
    JSCContext* context = jsc_context_new();
    JSCValue* console = jsc_value_new_object(context, nullptr, nullptr);
    JSCValue* logFunction = jsc_value_new_function_variadic(context, "log", G_CALLBACK(consoleLog), nullptr,
                                                            nullptr, G_TYPE_NONE);
    jsc_value_object_set_property(console, "log", logFunction);
    jsc_context_set_value(context, "console", console);
    g_object_unref(logFunction);
    g_object_unref(console);
    return context;
}

}  // namespace

struct WebView::Engine {
    JSCContext* js = nullptr;
    std::weak_ptr<UIWebViewDelegate> delegate;
    std::shared_ptr<const URLRequest> request;

    Engine() : js(newPageContext()) {}
    ~Engine() { g_object_unref(js); }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
};

WebView::WebView(CGRect frame) : UIView(frame), engine_(std::make_unique<Engine>()) {}

WebView::~WebView() = default;

// Page loading is not written yet: these keep the interface whole meanwhile.
void WebView::setDelegate(std::weak_ptr<UIWebViewDelegate> delegate) { engine_->delegate = std::move(delegate); }
std::shared_ptr<UIWebViewDelegate> WebView::delegate() const { return engine_->delegate.lock(); }
void WebView::loadRequest(const URLRequest&) {}
void WebView::loadHTMLStringBaseURL(const std::string&, const std::optional<URL>&) {}
void WebView::stopLoading() {}
void WebView::reload() {}
bool WebView::isLoading() const { return false; }
std::shared_ptr<const URLRequest> WebView::request() const { return engine_->request; }
std::string WebView::engineUserAgent() { return "Mozilla/5.0"; }
bool WebView::respondsToSelector(const std::string& selector) const { return absentSelectors_.count(selector) == 0; }
void WebView::setValueForKey(const Value& value, const std::string& key) { properties_[key] = value; }
Value WebView::valueForKey(const std::string& key) const {
    auto it = properties_.find(key);
    return it == properties_.end() ? Value() : it->second;
}
std::shared_ptr<UIScrollView> WebView::scrollView() const { return nullptr; }

std::string WebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    assertMainThread("WebView");
    JSCContext* js = engine_->js;
    JSCValue* result = jsc_context_evaluate(js, script.data(), static_cast<gssize>(script.size()));

    std::string answer;
    if (JSCException* exception = jsc_context_get_exception(js)) {
        // A page's script error must not leak into the next evaluation, but it
        // should not vanish silently either.
        const char* message = jsc_exception_get_message(exception);
        log(std::string("WebView: JavaScript exception: ") + (message ? message : "(no message)"));
        jsc_context_clear_exception(js);
    } else if (result && (jsc_value_is_string(result) || jsc_value_is_number(result) ||
                          jsc_value_is_boolean(result))) {
        appendText(answer, result);
    }
    if (result) g_object_unref(result);
    return answer;
}



}  // namespace platform
