#pragma once
// A small container for driving the bridge without the container view
// controller: a web view with the page-side bridge script loaded, a command
// queue, a command delegate, and plugins registered by hand.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "hybrid/HYBCommandDelegateImpl.h"
#include "hybrid/HYBCommandQueue.h"
#include "hybrid/HYBContainer.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/ui/WebView.h"

namespace testsupport {

// The sample app's page-side bridge script, with its pokes switched off.
std::string bridgeScript();

// Answers "echo" with its arguments as an OK result; other actions run hooks.
class EchoPlugin : public hybrid::HYBPlugin {
public:
    using HYBPlugin::HYBPlugin;

    void echo(const hybrid::HYBInvokedUrlCommand& command);
    // Runs `onCall` (if any) and answers nothing.
    void call(const hybrid::HYBInvokedUrlCommand& command);

    std::function<void(const hybrid::HYBInvokedUrlCommand&)> onCall;
    std::vector<std::string> calls;  // "action" of every command received, in order
    int resets = 0;
    void onReset() override { ++resets; }

protected:
    const hybrid::HYBActionTable& actionTable() const override;
};

class TestContainer : public hybrid::HYBContainer, public std::enable_shared_from_this<TestContainer> {
public:
    static std::shared_ptr<TestContainer> create();

    // Registers a plugin under a service name (looked up case-insensitively).
    void addPlugin(const std::string& serviceName, std::shared_ptr<hybrid::HYBPlugin> plugin);
    std::shared_ptr<EchoPlugin> addEchoPlugin(const std::string& serviceName = "Echo");

    std::string eval(const std::string& script) { return webView_->stringByEvaluatingJavaScriptFromString(script); }
    hybrid::HYBCommandDelegateImpl& delegate() { return *commandDelegate_; }
    hybrid::HYBCommandQueue& queue() { return *commandQueue_; }

    std::shared_ptr<platform::WebView> webView() const override { return webView_; }
    std::shared_ptr<hybrid::HYBCommandQueue> commandQueue() const override { return commandQueue_; }
    std::shared_ptr<hybrid::HYBCommandDelegate> commandDelegate() const override { return commandDelegate_; }
    std::shared_ptr<hybrid::HYBPlugin> getCommandInstance(const std::string& pluginName) override;
    platform::Dictionary settings() const override { return settings_; }
    std::string userAgent() const override { return userAgent_; }
    std::string wwwFolderName() const override { return "www"; }
    bool whitelistSchemeIsAllowed(const std::string& scheme) const override { return whitelistSchemes.count(scheme) != 0; }
    bool whitelistURLIsAllowed(const platform::URL& url, bool logFailure) const override;

    platform::Dictionary settings_;
    std::string userAgent_ = "TestAgent/1.0";
    std::set<std::string> whitelistSchemes = {"http", "https"};
    std::set<std::string> allowedURLs;
    mutable int whitelistURLQueries = 0;
    std::function<void()> onGetCommandInstance;
    mutable bool lastLogFailure = true;

private:
    TestContainer() = default;
    std::shared_ptr<platform::WebView> webView_;
    std::shared_ptr<hybrid::HYBCommandQueue> commandQueue_;
    std::shared_ptr<hybrid::HYBCommandDelegateImpl> commandDelegate_;
    std::map<std::string, std::shared_ptr<hybrid::HYBPlugin>> plugins_;
};

}  // namespace testsupport
