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

struct WebView::Context {
    JSCContext* js = nullptr;

    Context() : js(newPageContext()) {}
    ~Context() { g_object_unref(js); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

WebView::WebView() : context_(std::make_unique<Context>()) {}

WebView::~WebView() = default;

std::string WebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    assertMainThread("WebView");
    JSCContext* js = context_->js;
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

void WebView::resetJavaScriptContext() {
    assertMainThread("WebView");
    context_ = std::make_unique<Context>();
}

}  // namespace platform
