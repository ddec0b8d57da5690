#pragma once
// The command delegate of a container: where a plugin's result becomes the
// page's callback script, and where it is decided whether that script runs
// now or on a later turn of the main run loop.
//
// A script runs at once only on the main thread, while the command queue is
// executing and outside a fragment poke (whose results must wait until the
// navigation that carried it has been refused). Everything else is posted to
// the main run loop, in order.

#include <memory>
#include <string>

#include "hybrid/HYBCommandDelegate.h"

namespace platform {
class RegularExpression;
}

namespace hybrid {

class HYBCommandQueue;
class HYBContainer;

class HYBCommandDelegateImpl : public HYBCommandDelegate, public std::enable_shared_from_this<HYBCommandDelegateImpl> {
public:
    // The characters a callback id may not contain.
    static constexpr const char* kCallbackIdPattern = "[^A-Za-z0-9._-]";

    // The container's command queue must already exist. `callbackIdPattern`
    // is replaceable only so that a pattern that fails to compile can be tested.
    explicit HYBCommandDelegateImpl(const std::shared_ptr<HYBContainer>& container,
                                    const std::string& callbackIdPattern = kCallbackIdPattern);
    ~HYBCommandDelegateImpl() override;

    std::optional<std::string> pathForResource(const std::string& resourcePath) override;
    std::shared_ptr<HYBPlugin> getCommandInstance(const std::string& pluginName) override;
    void sendPluginResult(const HYBPluginResult& result, const std::optional<std::string>& callbackId) override;
    void evalJs(const std::string& script) override;
    void evalJsScheduledOnRunLoop(const std::string& script, bool scheduledOnRunLoop) override;
    void runInBackground(std::function<void()> block) override;
    std::string userAgent() override;
    bool URLIsWhitelisted(const platform::URL& url) override;
    platform::Dictionary settings() override;

    // Runs the queue with every result deferred to a later turn. Main thread only.
    void flushCommandQueueWithDelayedJs();
    bool isValidCallbackId(const std::optional<std::string>& callbackId) const;

private:
    void evalJsHelper(const std::string& script);
    void evalJsHelper2(const std::string& script);

    std::weak_ptr<HYBContainer> viewController_;
    std::unique_ptr<platform::RegularExpression> callbackIdPattern_;
    // Every answer checks its callback id: the default pattern is one character class, tested without the engine.
    bool defaultCallbackIdPattern_ = false;
    std::weak_ptr<HYBCommandQueue> commandQueue_;
    bool delayResponses_ = false;
};

}  // namespace hybrid
