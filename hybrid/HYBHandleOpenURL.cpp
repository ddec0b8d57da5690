#include "hybrid/HYBHandleOpenURL.h"

#include <string>

#include "hybrid/HYBNotifications.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"

namespace hybrid {
namespace {

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
    platform::assertMainThread("HYBHandleOpenURL::pluginInitialize");
    auto& center = platform::NotificationCenter::defaultCenter();
    const void* observer = static_cast<HYBPlugin*>(this);
    center.addObserver(observer, HYBPluginHandleOpenURLNotification, nullptr,
                       [this](const platform::Notification& notification) { applicationLaunchedWithUrl(notification); });
    center.addObserver(observer, HYBPageDidLoadNotification, nullptr,
                       [this](const platform::Notification& notification) { applicationPageDidLoad(notification); });
}

void HYBHandleOpenURL::applicationLaunchedWithUrl(const platform::Notification& notification) {
    platform::assertMainThread("HYBHandleOpenURL::applicationLaunchedWithUrl");
    _url = urlOfNotification(notification);
    if (!_url || !_pageLoaded) return;
    const platform::URL url = *_url;
    _url.reset();
    processOpenUrl(url, true);
}

void HYBHandleOpenURL::applicationPageDidLoad(const platform::Notification&) {
    platform::assertMainThread("HYBHandleOpenURL::applicationPageDidLoad");
    _pageLoaded = true;
    if (!_url) return;
    const platform::URL url = *_url;
    _url.reset();
    processOpenUrl(url, true);
}

void HYBHandleOpenURL::processOpenUrl(const platform::URL& url, bool pageLoaded) {
    platform::assertMainThread("HYBHandleOpenURL::processOpenUrl");
    if (!pageLoaded && !_pageLoaded) {
        _url = url;
        return;
    }
    writeJavascript(
        "document.addEventListener('deviceready',function(){if (typeof handleOpenURL === 'function') { handleOpenURL(" +
        platform::javaScriptStringLiteral(url.absoluteString()) + ");}});");
}

}  // namespace hybrid
