#pragma once
// Relays a URL with which the app was opened to the page's script function
// `handleOpenURL`, by way of the page's "deviceready" event, once a page has
// loaded. One per container, created at its start-up. Main thread only.
//
// The URL arrives as a platform::URL carried as the object of
// "HYBPluginHandleOpenURLNotification".

#include <memory>
#include <optional>

#include "hybrid/HYBPlugin.h"
#include "platform/foundation/URL.h"

namespace hybrid {

class HYBHandleOpenURL : public HYBPlugin {
public:
    using HYBPlugin::HYBPlugin;
    ~HYBHandleOpenURL() override;

    // Starts observing opened URLs and page loads.
    void pluginInitialize() override;

    void applicationLaunchedWithUrl(const platform::Notification& notification);
    void applicationPageDidLoad(const platform::Notification& notification);
    // Hands the URL to the page. With `pageLoaded` false and no page loaded
    // yet, the URL waits for the first page load instead.
    void processOpenUrl(const platform::URL& url, bool pageLoaded);

    // Set by the first page load, never cleared.
    bool pageLoaded() const { return _pageLoaded; }
    void setPageLoaded(bool loaded) { _pageLoaded = loaded; }
    // The URL waiting for the page, if any.
    const std::optional<platform::URL>& url() const { return _url; }
    void setUrl(std::optional<platform::URL> url) { _url = std::move(url); }

private:
    bool _pageLoaded = false;
    std::optional<platform::URL> _url;
};

}  // namespace hybrid
