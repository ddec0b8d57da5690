#include "hybrid/HYBHandleOpenURL.h"

#include <string>
#include <string_view>

#include "hybrid/HYBNotifications.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/NotificationCenter.h"

namespace hybrid {
namespace {

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// The text as a JavaScript string literal, quotes included. JSON escapes
// quotes, backslashes and control characters; "</" and the two Unicode line
// separators are escaped on top so the literal also survives inside an HTML
// script element and in engines that end lines at U+2028/U+2029.
std::string javaScriptStringLiteral(const std::string& text) {
    std::string literal = platform::writeJson(platform::Value(text)).text.value_or("\"\"");
    replaceAll(literal, "</", "<\\/");
    replaceAll(literal, "\xE2\x80\xA8", "\\u2028");
    replaceAll(literal, "\xE2\x80\xA9", "\\u2029");
    return literal;
}

std::optional<platform::URL> urlOfNotification(const platform::Notification& notification) {
    const std::any& object = notification.object;
    if (const auto* url = std::any_cast<platform::URL>(&object)) return *url;
    if (const auto* url = std::any_cast<std::optional<platform::URL>>(&object)) return *url;
    if (const auto* url = std::any_cast<std::shared_ptr<const platform::URL>>(&object); url && *url) return **url;
    if (const auto* url = std::any_cast<std::shared_ptr<platform::URL>>(&object); url && *url) return **url;
    return std::nullopt;
}

}  // namespace

HYBHandleOpenURL::~HYBHandleOpenURL() {
    // Before the members go, not only in the base's destructor: a post from
    // another thread must not reach a half-destroyed relay.
    platform::NotificationCenter::defaultCenter().removeObserver(static_cast<HYBPlugin*>(this));
}

void HYBHandleOpenURL::pluginInitialize() {
    auto& center = platform::NotificationCenter::defaultCenter();
    const void* observer = static_cast<HYBPlugin*>(this);
    center.addObserver(observer, HYBPluginHandleOpenURLNotification, nullptr,
                       [this](const platform::Notification& notification) { applicationLaunchedWithUrl(notification); });
    center.addObserver(observer, HYBPageDidLoadNotification, nullptr,
                       [this](const platform::Notification& notification) { applicationPageDidLoad(notification); });
}

void HYBHandleOpenURL::applicationLaunchedWithUrl(const platform::Notification& notification) {
    _url = urlOfNotification(notification);
    if (!_url || !_pageLoaded) return;
    const platform::URL url = *_url;
    _url.reset();
    processOpenUrl(url, true);
}

void HYBHandleOpenURL::applicationPageDidLoad(const platform::Notification&) {
    _pageLoaded = true;
    if (!_url) return;
    const platform::URL url = *_url;
    _url.reset();
    processOpenUrl(url, true);
}

void HYBHandleOpenURL::processOpenUrl(const platform::URL& url, bool pageLoaded) {
    if (!pageLoaded && !_pageLoaded) {
        _url = url;
        return;
    }
    writeJavascript(
        "document.addEventListener('deviceready',function(){if (typeof handleOpenURL === 'function') { handleOpenURL(" +
        javaScriptStringLiteral(url.absoluteString()) + ");}});");
}

}  // namespace hybrid
