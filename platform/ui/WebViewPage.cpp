#include "platform/ui/WebViewPage.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <climits>
#include <exception>
#include <mutex>

#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"

namespace platform {
namespace {

const char kPrelude[] =
#include "platform/ui/WebViewPrelude.js.inc"
    ;

// URLs in attributes and in page calls may carry surrounding blanks, which
// browsers strip before parsing.
std::string trim(std::string_view text) {
    const char* blanks = " \t\n\r\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

// Appends the JavaScript text of `value` (what String(value) gives).
void appendText(std::string& line, JSCValue* value) {
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    if (!bytes) return;  // toString() threw; the argument shows as nothing
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    line.append(data, size);
    g_bytes_unref(bytes);
}

JSCValue* argument(GPtrArray* arguments, guint index) {
    return index < arguments->len ? static_cast<JSCValue*>(g_ptr_array_index(arguments, index)) : nullptr;
}

std::string textOf(JSCValue* value) {
    std::string text;
    if (value && !jsc_value_is_undefined(value) && !jsc_value_is_null(value)) appendText(text, value);
    return text;
}

double numberOf(JSCValue* value) { return value ? jsc_value_to_double(value) : 0.0; }

// Property reads hand back a new reference; these take it and let it go.
std::string stringProperty(JSCValue* object, const char* name, bool* present = nullptr) {
    JSCValue* value = jsc_value_object_get_property(object, name);
    if (present) *present = value && !jsc_value_is_undefined(value) && !jsc_value_is_null(value);
    std::string text = textOf(value);
    if (value) g_object_unref(value);
    return text;
}

double numberProperty(JSCValue* object, const char* name) {
    JSCValue* value = jsc_value_object_get_property(object, name);
    double number = numberOf(value);
    if (value) g_object_unref(value);
    return number;
}

void setProperty(JSCValue* object, const char* name, JSCValue* value) {
    jsc_value_object_set_property(object, name, value);
    g_object_unref(value);
}

void setPropertyAtIndex(JSCValue* object, guint index, JSCValue* value) {
    jsc_value_object_set_property_at_index(object, index, value);
    g_object_unref(value);
}

// Response bodies are bytes; JavaScript wants UTF-8, so broken sequences
// become U+FFFD instead of making the string constructor choke.
JSCValue* newStringFromBytes(JSCContext* context, const Data& data) {
    const auto* text = reinterpret_cast<const char*>(data.data());
    const auto size = static_cast<gssize>(data.size());
    if (g_utf8_validate_len(text, static_cast<gsize>(size), nullptr)) {
        GBytes* bytes = g_bytes_new(text, data.size());
        JSCValue* value = jsc_value_new_string_from_bytes(context, bytes);
        g_bytes_unref(bytes);
        return value;
    }
    gchar* valid = g_utf8_make_valid(text, size);
    JSCValue* value = jsc_value_new_string(context, valid);
    g_free(valid);
    return value;
}

// For text known to be UTF-8, NULs and all (what a page stored).
JSCValue* newString(JSCContext* context, const std::string& text) {
    GBytes* bytes = g_bytes_new(text.data(), text.size());
    JSCValue* value = jsc_value_new_string_from_bytes(context, bytes);
    g_bytes_unref(bytes);
    return value;
}

std::string errorText(const Error& error) {
    return error.localizedDescription.empty() ? error.domain + " " + std::to_string(error.code)
                                              : error.localizedDescription;
}

const char* statusText(int status) {
    switch (status) {
        case 200: return "OK";
        case 201: return "Created";
        case 202: return "Accepted";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 409: return "Conflict";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 503: return "Service Unavailable";
        default: return "";
    }
}

void fillResult(JSCContext* context, JSCValue* target, const URLLoadResult& result) {
    if (result.error || !result.response) {
        const Error error = result.error.value_or(Error{NSURLErrorDomain, NSURLErrorResourceUnavailable, "no response", {}});
        setProperty(target, "error", jsc_value_new_string(context, errorText(error).c_str()));
        setProperty(target, "errorCode", jsc_value_new_number(context, error.code));
        return;
    }
    const URLResponse& response = *result.response;
    setProperty(target, "status", jsc_value_new_number(context, response.statusCode));
    setProperty(target, "statusText", jsc_value_new_string(context, statusText(response.statusCode)));
    setProperty(target, "url",
                jsc_value_new_string(context, response.url ? response.url->absoluteString().c_str() : ""));
    JSCValue* headers = jsc_value_new_array(context, G_TYPE_NONE);
    guint index = 0;
    for (const auto& [name, value] : response.headers) {
        JSCValue* pair = jsc_value_new_array(context, G_TYPE_STRING, name.c_str(), G_TYPE_STRING, value.c_str(),
                                             G_TYPE_NONE);
        jsc_value_object_set_property_at_index(headers, index++, pair);
        g_object_unref(pair);
    }
    setProperty(target, "headers", headers);
    setProperty(target, "text", newStringFromBytes(context, result.data));
}

bool isJavaScriptType(std::string type) {
    type = toLower(trim(type));
    return type.empty() || type == "text/javascript" || type == "application/javascript" ||
           type == "application/x-javascript" || type == "text/ecmascript" || type == "application/ecmascript";
}

std::string attribute(xmlNode* node, const char* name, bool* present = nullptr) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (present) *present = value != nullptr;
    if (!value) return {};
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

// Host functions: JavaScriptCore calls these with the page as user data.
// Nothing may unwind through JavaScriptCore's frames, so each stops here.
template <typename Body>
void guarded(const char* what, Body body) {
    try {
        body();
    } catch (const std::exception& error) {
        log(std::string("WebView: ") + what + " failed: " + error.what());
    } catch (...) {
        log(std::string("WebView: ") + what + " failed");
    }
}

void hostLog(GPtrArray* arguments, gpointer) {
    guarded("console.log", [&] {
        std::string line;
        for (guint i = 0; i < arguments->len; ++i) {
            if (i > 0) line.push_back(' ');
            appendText(line, argument(arguments, i));
        }
        log(line);
    });
}

void hostNavigate(GPtrArray* arguments, gpointer page) {
    guarded("navigation", [&] {
        JSCValue* subframe = argument(arguments, 2);
        static_cast<WebViewPage*>(page)->navigate(textOf(argument(arguments, 0)),
                                                  static_cast<int>(numberOf(argument(arguments, 1))),
                                                  subframe && jsc_value_to_boolean(subframe));
    });
}

void hostSchedule(GPtrArray* arguments, gpointer page) {
    guarded("setTimeout", [&] {
        static_cast<WebViewPage*>(page)->schedule(static_cast<std::int64_t>(numberOf(argument(arguments, 0))),
                                                  numberOf(argument(arguments, 1)));
    });
}

void hostUnschedule(GPtrArray* arguments, gpointer page) {
    guarded("clearTimeout", [&] {
        static_cast<WebViewPage*>(page)->unschedule(static_cast<std::int64_t>(numberOf(argument(arguments, 0))));
    });
}

void hostSendSynchronously(GPtrArray* arguments, gpointer page) {
    guarded("XMLHttpRequest", [&] {
        JSCValue* description = argument(arguments, 0);
        JSCValue* sink = argument(arguments, 1);
        if (description && sink && jsc_value_is_object(description) && jsc_value_is_object(sink))
            static_cast<WebViewPage*>(page)->sendSynchronously(description, sink);
    });
}

void hostStartRequest(GPtrArray* arguments, gpointer page) {
    guarded("XMLHttpRequest", [&] {
        JSCValue* description = argument(arguments, 1);
        if (description && jsc_value_is_object(description))
            static_cast<WebViewPage*>(page)->startRequest(static_cast<std::int64_t>(numberOf(argument(arguments, 0))),
                                                          description);
    });
}

JSCValue* hostStorage(GPtrArray* arguments, gpointer page) {
    auto* self = static_cast<WebViewPage*>(page);
    JSCValue* result = nullptr;
    guarded("web storage", [&] {
        result = self->storage(textOf(argument(arguments, 0)), textOf(argument(arguments, 1)), argument(arguments, 2),
                               argument(arguments, 3));
    });
    return result ? result : jsc_value_new_undefined(self->context());
}

void hostAbortRequest(GPtrArray* arguments, gpointer page) {
    guarded("XMLHttpRequest.abort", [&] {
        static_cast<WebViewPage*>(page)->abortRequest(static_cast<std::int64_t>(numberOf(argument(arguments, 0))));
    });
}

}  // namespace

bool reportJavaScriptException(JSCContext* context) {
    JSCException* exception = jsc_context_get_exception(context);
    if (!exception) return false;
    const char* message = jsc_exception_get_message(exception);
    std::string line = std::string("WebView: JavaScript exception: ") + (message ? message : "(no message)");
    if (const char* source = jsc_exception_get_source_uri(exception); source && *source)
        line += format(" (%s:%u)", source, jsc_exception_get_line_number(exception));
    log(line);
    jsc_context_clear_exception(context);
    return true;
}

std::vector<PageItem> findPageItems(const std::string& html) {
    static std::once_flag initialized;
    std::call_once(initialized, [] { xmlInitParser(); });

    std::vector<PageItem> items;
    if (html.empty() || html.size() > static_cast<std::size_t>(INT_MAX)) return items;
    htmlDocPtr document =
        htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
                       HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_RECOVER);
    if (!document) return items;

    // Iterative walk: deeply nested markup must not exhaust the stack.
    auto* root = reinterpret_cast<xmlNode*>(document);
    xmlNode* node = document->children;
    while (node) {
        bool descend = node->type == XML_ELEMENT_NODE;
        if (descend) {
            const std::string name = toLower(reinterpret_cast<const char*>(node->name));
            if (name == "script") {
                descend = false;
                bool hasSource = false;
                std::string source = trim(attribute(node, "src", &hasSource));
                if (isJavaScriptType(attribute(node, "type"))) {
                    if (hasSource) {
                        if (!source.empty()) items.push_back({PageItem::Kind::ScriptSource, source});
                    } else if (xmlChar* content = xmlNodeGetContent(node)) {
                        items.push_back({PageItem::Kind::InlineScript, reinterpret_cast<const char*>(content),
                                         static_cast<int>(xmlGetLineNo(node))});
                        xmlFree(content);
                    }
                }
            } else if (name == "iframe") {
                std::string source = trim(attribute(node, "src"));
                if (!source.empty()) items.push_back({PageItem::Kind::Frame, source});
            } else if (name == "base") {
                std::string href = trim(attribute(node, "href"));
                if (!href.empty()) items.push_back({PageItem::Kind::Base, href});
            } else if (name == "body") {
                bool hasHandler = false;
                std::string handler = attribute(node, "onload", &hasHandler);
                if (hasHandler) items.push_back({PageItem::Kind::BodyOnload, handler, static_cast<int>(xmlGetLineNo(node))});
            }
        }
        if (descend && node->children) {
            node = node->children;
            continue;
        }
        while (node && !node->next) {
            node = node->parent;
            if (node == root) node = nullptr;
        }
        if (node) node = node->next;
    }
    xmlFreeDoc(document);
    return items;
}

namespace {

// Every answer the bridge gives a page is a script of its own, run once. The
// engine frees such code only in a full collection, and left to itself it
// runs few (young ones keep up with the allocation): the process grew by some
// 80 MB per 100,000 answers. Our pages' live heaps are small, so every
// collection is made a full one. The engine reads its options once, before
// the first context.
JSCContext* newContext() {
    static const bool configured = [] {
        const bool set = jsc_options_set_boolean("useGenerationalGC", FALSE);
        if (!set) log("WebView: could not make every JavaScript collection a full one; memory may grow under load");
        return set;
    }();
    static_cast<void>(configured);
    return jsc_context_new();
}

}  // namespace

WebViewPage::WebViewPage(URL url, std::string userAgent, NavigationRequest onNavigation,
                         std::shared_ptr<SessionStorage> sessionStorage)
    : context_(newContext()),
      url_(std::move(url)),
      userAgent_(std::move(userAgent)),
      onNavigation_(std::move(onNavigation)),
      storageOrigin_(webStorageOriginIdentifier(url_)),
      sessionStorage_(std::move(sessionStorage)) {
    installHost();
    publishLocation();
}

WebViewPage::~WebViewPage() {
    close();
    if (host_) g_object_unref(host_);
    g_object_unref(context_);
}

void WebViewPage::close() {
    closed_ = true;
    alive_.reset();
    for (const auto& [id, timer] : timers_) RunLoop::main().cancel(timer);
    timers_.clear();
    for (const auto& [id, request] : requests_)
        if (request) request->cancel();
    requests_.clear();
}

void WebViewPage::installHost() {
    host_ = jsc_value_new_object(context_, nullptr, nullptr);
    auto add = [&](const char* name, GCallback callback) {
        setProperty(host_, name,
                    jsc_value_new_function_variadic(context_, name, callback, this, nullptr, G_TYPE_NONE));
    };
    add("log", G_CALLBACK(hostLog));
    add("navigate", G_CALLBACK(hostNavigate));
    add("schedule", G_CALLBACK(hostSchedule));
    add("unschedule", G_CALLBACK(hostUnschedule));
    add("sendSynchronously", G_CALLBACK(hostSendSynchronously));
    add("startRequest", G_CALLBACK(hostStartRequest));
    add("abortRequest", G_CALLBACK(hostAbortRequest));
    setProperty(host_, "userAgent", jsc_value_new_string(context_, userAgent_.c_str()));
    setProperty(host_, "storage",
                jsc_value_new_function_variadic(context_, "storage", G_CALLBACK(hostStorage), this, nullptr, JSC_TYPE_VALUE));
    setProperty(host_, "storageAllowed", jsc_value_new_boolean(context_, storageOrigin_.has_value()));

    JSCValue* prelude = jsc_context_evaluate_with_source_uri(context_, kPrelude, -1, "webview-prelude.js", 1);
    if (reportJavaScriptException(context_) || !prelude) {
        if (prelude) g_object_unref(prelude);
        return;
    }
    JSCValue* arguments[] = {jsc_context_get_global_object(context_), host_};
    JSCValue* result = jsc_value_function_callv(prelude, 2, arguments);
    reportJavaScriptException(context_);
    if (result) g_object_unref(result);
    g_object_unref(arguments[0]);
    g_object_unref(prelude);
}

void WebViewPage::callHost(const char* method, std::vector<JSCValue*> arguments) {
    JSCValue* result = jsc_value_object_invoke_methodv(host_, method, static_cast<guint>(arguments.size()),
                                                       arguments.data());
    reportJavaScriptException(context_);
    if (result) g_object_unref(result);
    for (JSCValue* value : arguments) g_object_unref(value);
}

void WebViewPage::publishLocation() {
    const std::string protocol = url_.scheme() + ":";
    std::string hostname = url_.host();
    if (hostname.find(':') != std::string::npos) hostname = "[" + hostname + "]";
    const std::string port = url_.port() ? std::to_string(*url_.port()) : "";
    const std::string host = port.empty() ? hostname : hostname + ":" + port;
    std::string pathname = url_.percentEncodedPath();
    if (pathname.empty() && url_.hasAuthority()) pathname = "/";
    const std::string search = url_.query() && !url_.query()->empty() ? "?" + *url_.query() : "";
    const std::string hash = url_.fragment() && !url_.fragment()->empty() ? "#" + *url_.fragment() : "";
    const std::string origin =
        url_.hasAuthority() && !url_.isFileURL() ? protocol + "//" + host : std::string("null");

    JSCValue* state = jsc_value_new_object(context_, nullptr, nullptr);
    const std::pair<const char*, const std::string*> fields[] = {
        {"href", &url_.absoluteString()}, {"protocol", &protocol}, {"host", &host},     {"hostname", &hostname},
        {"port", &port},                  {"pathname", &pathname}, {"search", &search}, {"hash", &hash},
        {"origin", &origin}};
    for (const auto& [name, value] : fields) setProperty(state, name, jsc_value_new_string(context_, value->c_str()));
    callHost("setLocation", {state});
}

void WebViewPage::setURL(const URL& url) {
    url_ = url;
    publishLocation();
}

void WebViewPage::evaluate(const std::string& code, const std::string& sourceURI, int line) {
    JSCValue* result = jsc_context_evaluate_with_source_uri(context_, code.data(), static_cast<gssize>(code.size()),
                                                            sourceURI.c_str(), static_cast<guint>(line > 0 ? line : 1));
    reportJavaScriptException(context_);
    if (result) g_object_unref(result);
}

std::optional<URL> WebViewPage::resolve(const std::string& text, const URL& base) const {
    std::optional<URL> url = base.isAbsolute() ? URL::create(trim(text), base) : URL::create(trim(text));
    if (!url || !url->isAbsolute()) return std::nullopt;
    return url;
}

std::string WebViewPage::fetchScript(const URL& url, bool& ok) const {
    URLLoadResult result;
    if (url.scheme() == "file" || url.scheme() == "data") {
        result = URLLoading::loadFileOrDataURL(url);
    } else {
        URLRequest request(url);
        request.setMainDocumentURL(url_);
        request.setValueForHTTPHeaderField(userAgent_, "User-Agent");
        result = URLLoading::sendSynchronousRequest(request);
    }
    ok = !result.error && result.response && result.response->statusCode < 400;
    if (!ok) {
        log("WebView: could not load script " + url.absoluteString() + ": " +
            (result.error ? errorText(*result.error)
                          : "status " + std::to_string(result.response ? result.response->statusCode : 0)));
        return {};
    }
    return std::string(result.data.begin(), result.data.end());
}

void WebViewPage::runDocument(const std::string& html) {
    URL base = url_;
    for (const PageItem& item : findPageItems(html)) {
        switch (item.kind) {
            case PageItem::Kind::InlineScript:
                evaluate(item.text, url_.absoluteString(), item.line);
                break;
            case PageItem::Kind::ScriptSource: {
                std::optional<URL> source = resolve(item.text, base);
                if (!source) {
                    log("WebView: could not load script " + item.text + ": not a valid URL");
                    break;
                }
                bool ok = false;
                std::string code = fetchScript(*source, ok);
                if (ok) evaluate(code, source->absoluteString(), 1);
                break;
            }
            case PageItem::Kind::Frame:
                if (std::optional<URL> frame = resolve(item.text, base))
                    onNavigation_(*frame, UIWebViewNavigationType::Other, true);
                else
                    log("WebView: ignored a frame of " + item.text + ": not a valid URL");
                break;
            case PageItem::Kind::Base:
                if (std::optional<URL> newBase = resolve(item.text, url_)) base = *newBase;
                break;
            case PageItem::Kind::BodyOnload:
                // The attribute is the body of a handler, installed where the
                // body starts so a later script may still replace it.
                evaluate("window.onload = function (event) {\n" + item.text + "\n};", url_.absoluteString(),
                         item.line - 1);
                break;
        }
    }
}

void WebViewPage::completeDocument() { callHost("completeDocument", {}); }

void WebViewPage::navigate(const std::string& target, int type, bool subframe) {
    if (closed_) return;
    std::optional<URL> url = resolve(target, url_);
    if (!url) {
        log("WebView: ignored navigation to " + target + ": not a valid URL");
        return;
    }
    UIWebViewNavigationType navigationType = UIWebViewNavigationType::Other;
    if (type >= static_cast<int>(UIWebViewNavigationType::LinkClicked) &&
        type <= static_cast<int>(UIWebViewNavigationType::Other))
        navigationType = static_cast<UIWebViewNavigationType>(type);
    if (onNavigation_) onNavigation_(*url, navigationType, subframe);
}

void WebViewPage::schedule(std::int64_t id, double milliseconds) {
    if (closed_) return;
    unschedule(id);
    if (!(milliseconds > 0)) milliseconds = 0;
    std::weak_ptr<char> alive = alive_;
    timers_[id] = RunLoop::main().after(milliseconds / 1000.0, [alive, this, id] {
        if (alive.expired()) return;
        timers_.erase(id);
        callHost("fireTimer", {jsc_value_new_number(context_, static_cast<double>(id))});
    });
}

void WebViewPage::unschedule(std::int64_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    RunLoop::main().cancel(it->second);
    timers_.erase(it);
}

std::optional<URLRequest> WebViewPage::requestFrom(JSCValue* description, std::string& problem) const {
    const std::string target = stringProperty(description, "url");
    std::optional<URL> url = resolve(target, url_);
    if (!url) {
        problem = "not a valid URL: " + target;
        return std::nullopt;
    }
    URLRequest request(url);
    request.setMainDocumentURL(url_);
    std::string method = stringProperty(description, "method");
    request.setHTTPMethod(method.empty() ? "GET" : method);
    const double timeout = numberProperty(description, "timeout");
    if (timeout > 0) request.setTimeoutInterval(timeout / 1000.0);

    if (JSCValue* headers = jsc_value_object_get_property(description, "headers")) {
        if (jsc_value_is_array(headers)) {
            const auto count = static_cast<guint>(numberProperty(headers, "length"));
            for (guint i = 0; i < count; ++i) {
                JSCValue* pair = jsc_value_object_get_property_at_index(headers, i);
                if (!pair) continue;
                JSCValue* name = jsc_value_object_get_property_at_index(pair, 0);
                JSCValue* value = jsc_value_object_get_property_at_index(pair, 1);
                if (std::string field = textOf(name); !field.empty()) request.setValueForHTTPHeaderField(textOf(value), field);
                if (name) g_object_unref(name);
                if (value) g_object_unref(value);
                g_object_unref(pair);
            }
        }
        g_object_unref(headers);
    }
    // The page's agent, whatever the script tried to put there.
    request.setValueForHTTPHeaderField(userAgent_, "User-Agent");

    bool hasBody = false;
    std::string body = stringProperty(description, "body", &hasBody);
    if (hasBody) request.setHTTPBody(Data(body.begin(), body.end()));
    return request;
}

void WebViewPage::sendSynchronously(JSCValue* description, JSCValue* sink) {
    std::string problem;
    std::optional<URLRequest> request = requestFrom(description, problem);
    URLLoadResult result;
    if (request) {
        result = URLLoading::sendSynchronousRequest(*request);
    } else {
        result.error = Error{NSURLErrorDomain, NSURLErrorBadURL, problem, {}};
    }
    fillResult(context_, sink, result);
}

void WebViewPage::startRequest(std::int64_t id, JSCValue* description) {
    if (closed_) return;
    std::weak_ptr<char> alive = alive_;
    auto finish = [alive, this, id](const URLLoadResult& result) {
        if (alive.expired()) return;
        requests_.erase(id);
        JSCValue* outcome = jsc_value_new_object(context_, nullptr, nullptr);
        fillResult(context_, outcome, result);
        callHost("requestDone", {jsc_value_new_number(context_, static_cast<double>(id)), outcome});
    };

    std::string problem;
    std::optional<URLRequest> request = requestFrom(description, problem);
    if (!request) {
        // Asynchronous even in failure: the page's handlers expect to run after send() returns.
        URLLoadResult failure;
        failure.error = Error{NSURLErrorDomain, NSURLErrorBadURL, problem, {}};
        // Kept among the timers under the negated id, so leaving the page cancels it too.
        timers_[-id] = RunLoop::main().after(0, [alive, this, id, finish, failure] {
            if (alive.expired()) return;
            timers_.erase(-id);
            finish(failure);
        });
        return;
    }
    requests_[id] = URLLoading::load(*request, [finish](URLLoadResult result) { finish(result); });
}

StorageArea* WebViewPage::storageArea(bool local) {
    if (!storageOrigin_ || closed_) return nullptr;
    if (local) {
        if (!localArea_) localArea_ = StorageArea::local(localStorageDirectory(), *storageOrigin_);
        return localArea_.get();
    }
    if (!sessionArea_ && sessionStorage_) {
        std::shared_ptr<StorageArea>& area = (*sessionStorage_)[*storageOrigin_];
        if (!area) area = std::make_shared<StorageArea>();
        sessionArea_ = area;
    }
    return sessionArea_.get();
}

JSCValue* WebViewPage::storage(const std::string& kind, const std::string& operation, JSCValue* first,
                               JSCValue* second) {
    auto stringOrNull = [&](const std::optional<std::string>& text) {
        if (!text) return jsc_value_new_null(context_);
        return newString(context_, *text);
    };
    // A change answers null once made, or the name of what stopped it, which the prelude throws.
    auto changed = [&](StorageWriteResult result) {
        switch (result) {
        case StorageWriteResult::Saved: break;
        case StorageWriteResult::QuotaExceeded: return newString(context_, "quota");
        case StorageWriteResult::DiskFull: return newString(context_, "full");
        case StorageWriteResult::Failed: return newString(context_, "failed");
        }
        return jsc_value_new_null(context_);
    };
    StorageArea* area = storageArea(kind == "local");
    // Only a page already left gets here without an area: its writes go nowhere, quietly.
    if (!area) return jsc_value_new_undefined(context_);
    if (operation == "length") return jsc_value_new_number(context_, static_cast<double>(area->length()));
    if (operation == "key") return stringOrNull(area->key(static_cast<std::size_t>(numberOf(first))));
    if (operation == "get") return stringOrNull(area->getItem(textOf(first)));
    if (operation == "set") return changed(area->setItem(textOf(first), textOf(second)));
    if (operation == "remove") return changed(area->removeItem(textOf(first)));
    if (operation == "clear") return changed(area->clear());
    if (operation == "keys") {
        JSCValue* keys = jsc_value_new_array(context_, G_TYPE_NONE);
        for (std::size_t i = 0; i < area->length(); ++i)
            setPropertyAtIndex(keys, static_cast<guint>(i), stringOrNull(area->key(i)));
        return keys;
    }
    return jsc_value_new_undefined(context_);
}

void WebViewPage::abortRequest(std::int64_t id) {
    unschedule(-id);
    auto it = requests_.find(id);
    if (it == requests_.end()) return;
    std::shared_ptr<URLLoading::Handle> request = std::move(it->second);
    requests_.erase(it);
    if (request) request->cancel();
}

}  // namespace platform
