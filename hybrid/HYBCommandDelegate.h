#pragma once
// How plugins reach their container: find another plugin, answer the page,
// run script, run work in the background, read settings, the user agent and
// the whitelist, find a web resource of the app bundle.
//
// sendPluginResult, evalJs and runInBackground may be called from any thread;
// off the main thread they never evaluate but post the evaluation to it.
// Everything else is for the main thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace platform {
class URL;
}

namespace hybrid {

class HYBPlugin;
class HYBPluginResult;

class HYBCommandDelegate {
public:
    virtual ~HYBCommandDelegate() = default;

    virtual std::optional<std::string> pathForResource(const std::string& resourcePath) = 0;
    virtual std::shared_ptr<HYBPlugin> getCommandInstance(const std::string& pluginName) = 0;
    virtual void sendPluginResult(const HYBPluginResult& result, const std::optional<std::string>& callbackId) = 0;
    virtual void evalJs(const std::string& script) = 0;
    virtual void evalJsScheduledOnRunLoop(const std::string& script, bool scheduledOnRunLoop) = 0;
    virtual void runInBackground(std::function<void()> block) = 0;
    virtual std::string userAgent() = 0;
    virtual bool URLIsWhitelisted(const platform::URL& url) = 0;
    virtual platform::Dictionary settings() = 0;
};

}  // namespace hybrid
