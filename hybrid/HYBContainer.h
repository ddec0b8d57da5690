#pragma once
// What the command queue, the command delegate and the plugins see of the
// container that owns them. The container view controller implements it; tests
// implement it with a small container of their own. Main thread only.

#include <memory>
#include <string>

#include "platform/foundation/Value.h"

namespace platform {
class URL;
class WebView;
}  // namespace platform

namespace hybrid {

class HYBCommandDelegate;
class HYBCommandQueue;
class HYBPlugin;

class HYBContainer {
public:
    virtual ~HYBContainer() = default;

    virtual std::shared_ptr<platform::WebView> webView() const = 0;
    virtual std::shared_ptr<HYBCommandQueue> commandQueue() const = 0;
    virtual std::shared_ptr<HYBCommandDelegate> commandDelegate() const = 0;
    // The plugin for a service name, created on first use; nullptr when the
    // name is not mapped or its class cannot be made.
    virtual std::shared_ptr<HYBPlugin> getCommandInstance(const std::string& pluginName) = 0;
    // Preferences keyed by lower-cased name.
    virtual platform::Dictionary settings() const = 0;
    virtual std::string userAgent() const = 0;
    // The folder of the app bundle that holds the web resources ("www").
    virtual std::string wwwFolderName() const = 0;
    // The container's whitelist: whether it governs a scheme at all, and
    // whether it lets a URL through.
    virtual bool whitelistSchemeIsAllowed(const std::string& scheme) const = 0;
    virtual bool whitelistURLIsAllowed(const platform::URL& url, bool logFailure) const = 0;
};

}  // namespace hybrid
