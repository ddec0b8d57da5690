#include "tools/harness/BridgeHarness.h"

#include <fstream>
#include <sstream>

#include "platform/foundation/Strings.h"
#include "platform/foundation/URL.h"

#ifndef HYBRID_SOURCE_DIR
#error "HYBRID_SOURCE_DIR names the source folder"
#endif

namespace testsupport {

std::string bridgeScript() {
    static const std::string script = [] {
        std::ifstream in(std::string(HYBRID_SOURCE_DIR) + "/examples/app/www/hybrid.js");
        std::stringstream text;
        text << in.rdbuf();
        // The tests hand batches to the queue themselves: the page never pokes.
        return text.str() + "\nhybrid.exec.pokeNative = function () {};\n";
    }();
    return script;
}

const hybrid::HYBActionTable& EchoPlugin::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<EchoPlugin>({
        {"echo", &EchoPlugin::echo},
        {"call", &EchoPlugin::call},
    });
    return table;
}

void EchoPlugin::echo(const hybrid::HYBInvokedUrlCommand& command) {
    calls.push_back("echo");
    auto result = hybrid::HYBPluginResult::resultWithStatusMessageAsArray(hybrid::HYBResultStatusOK, command.arguments());
    if (auto delegate = commandDelegate()) delegate->sendPluginResult(*result, command.callbackId());
}

void EchoPlugin::call(const hybrid::HYBInvokedUrlCommand& command) {
    calls.push_back("call");
    if (onCall) onCall(command);
}

std::shared_ptr<TestContainer> TestContainer::create() {
    std::shared_ptr<TestContainer> container(new TestContainer);
    container->webView_ = std::make_shared<platform::WebView>();
    container->webView_->stringByEvaluatingJavaScriptFromString(bridgeScript());
    container->commandQueue_ = std::make_shared<hybrid::HYBCommandQueue>(container);
    container->commandDelegate_ = std::make_shared<hybrid::HYBCommandDelegateImpl>(container);
    return container;
}

void TestContainer::addPlugin(const std::string& serviceName, std::shared_ptr<hybrid::HYBPlugin> plugin) {
    plugin->setViewController(weak_from_this());
    plugin->setCommandDelegate(commandDelegate_);
    plugins_[platform::toLower(serviceName)] = plugin;
    plugin->pluginInitialize();
}

std::shared_ptr<EchoPlugin> TestContainer::addEchoPlugin(const std::string& serviceName) {
    auto plugin = std::make_shared<EchoPlugin>(webView_);
    addPlugin(serviceName, plugin);
    return plugin;
}

std::shared_ptr<hybrid::HYBPlugin> TestContainer::getCommandInstance(const std::string& pluginName) {
    if (onGetCommandInstance) onGetCommandInstance();
    auto it = plugins_.find(platform::toLower(pluginName));
    return it == plugins_.end() ? nullptr : it->second;
}

bool TestContainer::whitelistURLIsAllowed(const platform::URL& url, bool logFailure) const {
    ++whitelistURLQueries;
    lastLogFailure = logFailure;
    return allowedURLs.count(url.absoluteString()) != 0;
}

}  // namespace testsupport
