#include "hybrid/HYBPlugin.h"

#include <cstdlib>
#include <cxxabi.h>
#include <optional>
#include <typeinfo>
#include <string_view>

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBNotifications.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ApplicationNotifications.h"
#include "platform/ui/WebView.h"

namespace hybrid {

HYBPluginRegistry& pluginRegistry() {
    // No reset: the program registers its classes once, and tests register
    // theirs before they use them.
    static platform::NeverDestroyed<HYBPluginRegistry> registry;
    return *registry;
}

HYBPlugin::HYBPlugin(std::shared_ptr<platform::WebView> webView) {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, platform::UIApplicationWillTerminateNotification, nullptr,
                       [this](const platform::Notification&) { onAppTerminate(); });
    center.addObserver(this, platform::UIApplicationDidReceiveMemoryWarningNotification, nullptr,
                       [this](const platform::Notification&) { onMemoryWarning(); });
    center.addObserver(this, HYBPluginHandleOpenURLNotification, nullptr,
                       [this](const platform::Notification& notification) { handleOpenURL(notification); });
    center.addObserver(this, HYBPluginResetNotification, webView.get(),
                       [this](const platform::Notification&) { onReset(); });
    webView_ = webView;
}

HYBPlugin::HYBPlugin(std::shared_ptr<platform::WebView> webView, const platform::Dictionary&)
    : HYBPlugin(std::move(webView)) {}

HYBPlugin::~HYBPlugin() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

void HYBPlugin::dispose() {
    viewController_.reset();
    commandDelegate_.reset();
    webView_.reset();
}

std::string HYBPlugin::className() const {
    // The dynamic type's name without its namespace: "hybrid::HYBLocalStorage" is "HYBLocalStorage".
    int status = 0;
    char* demangled = abi::__cxa_demangle(typeid(*this).name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : typeid(*this).name();
    std::free(demangled);
    const std::size_t colons = name.rfind("::");
    return colons == std::string::npos ? name : name.substr(colons + 2);
}

const HYBActionTable& HYBPlugin::actionTable() const {
    static const HYBActionTable none;
    return none;
}

namespace {
// The action a one-argument selector names, or nothing.
std::optional<std::string_view> actionOfSelector(std::string_view selector) {
    if (selector.empty() || selector.back() != ':') return std::nullopt;
    return selector.substr(0, selector.size() - 1);
}
}  // namespace

bool HYBPlugin::respondsToSelector(const std::string& selector) const {
    const auto action = actionOfSelector(selector);
    return action && actionTable().contains(*action);
}

bool HYBPlugin::performSelector(const std::string& selector, const HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBPlugin::performSelector");
    const auto action = actionOfSelector(selector);
    return action && actionTable().invoke(*this, *action, command);
}

std::shared_ptr<platform::UIApplicationDelegate> HYBPlugin::appDelegate() const {
    return platform::UIApplication::sharedApplication().delegate();
}

std::string HYBPlugin::writeJavascript(const std::string& script) {
    platform::assertMainThread("HYBPlugin::writeJavascript");
    auto view = webView();
    return view ? view->stringByEvaluatingJavaScriptFromString(script) : std::string();
}

std::string HYBPlugin::success(const HYBPluginResult& result, const std::string& callbackId) {
    if (auto delegate = commandDelegate()) delegate->evalJs(result.toSuccessCallbackString(callbackId));
    return {};
}

std::string HYBPlugin::error(const HYBPluginResult& result, const std::string& callbackId) {
    if (auto delegate = commandDelegate()) delegate->evalJs(result.toErrorCallbackString(callbackId));
    return {};
}

}  // namespace hybrid
