#pragma once
// A command delegate with no container behind it, for driving one plugin
// alone: background work runs at once, scripts go nowhere, and each user
// records the plugin's answers its own way in sendPluginResult.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "hybrid/HYBCommandDelegate.h"
#include "platform/foundation/URL.h"

namespace testsupport {

class StubCommandDelegate : public hybrid::HYBCommandDelegate {
public:
    std::optional<std::string> pathForResource(const std::string&) override { return std::nullopt; }
    std::shared_ptr<hybrid::HYBPlugin> getCommandInstance(const std::string&) override { return nullptr; }
    void evalJs(const std::string&) override {}
    void evalJsScheduledOnRunLoop(const std::string&, bool) override {}
    void runInBackground(std::function<void()> block) override { block(); }
    std::string userAgent() override { return ""; }
    bool URLIsWhitelisted(const platform::URL&) override { return true; }
    platform::Dictionary settings() override { return {}; }
};

}  // namespace testsupport
