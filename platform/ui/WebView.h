#pragma once
// The web view stand-in: a page's JavaScript running in a JavaScriptCore
// context (GLib API).
//
// Main thread only (asserted). Evaluation is synchronous and answers a text:
// a string result as itself, a number or boolean as its JavaScript text, and
// anything else (undefined, null, objects) or a thrown exception as "".
// `console.log` writes to the process log.

#include <memory>
#include <string>

#include "platform/foundation/Value.h"

namespace platform {

class WebView {
public:
    WebView();
    ~WebView();
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);

    // Starts the page over with a fresh JavaScript context.
    void resetJavaScriptContext();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

}  // namespace platform
