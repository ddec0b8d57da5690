#pragma once
// The base of every native plugin. A plugin lives as long as its container,
// runs its actions on the main thread, and hears the application's and the
// bridge's life-cycle notifications through the hooks below.
//
// The page can call only the actions a plugin lists in its action table:
//
//     const HYBActionTable& actionTable() const override {
//         static const auto table = HYBActionTable::of<MyPlugin>({{"echo", &MyPlugin::echo}});
//         return table;
//     }

#include <memory>
#include <string>

#include "platform/foundation/ActionTable.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Application.h"
#include "platform/ui/WebView.h"

namespace hybrid {

class HYBCommandDelegate;
class HYBContainer;
class HYBInvokedUrlCommand;
class HYBPlugin;
class HYBPluginResult;

using HYBActionTable = platform::ActionTable<HYBPlugin, const HYBInvokedUrlCommand&>;
// Plugin classes by class name, as config.xml names them.
using HYBPluginRegistry = platform::ClassRegistry<HYBPlugin, std::shared_ptr<platform::WebView>>;
HYBPluginRegistry& pluginRegistry();

class HYBPlugin {
public:
    // Starts observing termination, memory warnings, open-URL relays (from any
    // sender) and resets of this plugin's own web view.
    explicit HYBPlugin(std::shared_ptr<platform::WebView> webView);
    // The settings are not used; kept for plugins written against this form.
    HYBPlugin(std::shared_ptr<platform::WebView> webView, const platform::Dictionary& settings);
    virtual ~HYBPlugin();
    HYBPlugin(const HYBPlugin&) = delete;
    HYBPlugin& operator=(const HYBPlugin&) = delete;

    // Called once by the container right after it registered the instance.
    virtual void pluginInitialize() {}
    virtual void onReset() {}
    virtual void onAppTerminate() {}
    virtual void onMemoryWarning() {}
    // The notification's object is the URL.
    virtual void handleOpenURL(const platform::Notification& notification) {}
    // Forgets the container, the command delegate and the web view.
    virtual void dispose();
    // Asked before the container lets its web view load a page; true blocks
    // the navigation. Plugins that have no say keep this answer.
    virtual bool shouldOverrideLoadWithRequestNavigationType(const platform::URLRequest& request,
                                                             platform::UIWebViewNavigationType navigationType) {
        return false;
    }

    // The plugin's class name, as config.xml names classes.
    virtual std::string className() const;

    // "Responds to selector": `selector` is the action name followed by one ":".
    virtual bool respondsToSelector(const std::string& selector) const;
    // Calls the action named by the selector; false when there is none.
    virtual bool performSelector(const std::string& selector, const HYBInvokedUrlCommand& command);

    // The shared application's delegate.
    std::shared_ptr<platform::UIApplicationDelegate> appDelegate() const;

    // Evaluates the script in the web view at once and answers its text. Main thread only.
    std::string writeJavascript(const std::string& script);
    // Hand the legacy callback texts to the command delegate's evalJs; both answer "".
    std::string success(const HYBPluginResult& result, const std::string& callbackId);
    std::string error(const HYBPluginResult& result, const std::string& callbackId);

    std::shared_ptr<platform::WebView> webView() const { return webView_.lock(); }
    void setWebView(std::weak_ptr<platform::WebView> webView) { webView_ = std::move(webView); }
    std::shared_ptr<HYBContainer> viewController() const { return viewController_.lock(); }
    void setViewController(std::weak_ptr<HYBContainer> container) { viewController_ = std::move(container); }
    std::shared_ptr<HYBCommandDelegate> commandDelegate() const { return commandDelegate_.lock(); }
    void setCommandDelegate(std::weak_ptr<HYBCommandDelegate> delegate) { commandDelegate_ = std::move(delegate); }
    bool hasPendingOperation() const { return hasPendingOperation_; }
    void setHasPendingOperation(bool pending) { hasPendingOperation_ = pending; }

protected:
    virtual const HYBActionTable& actionTable() const;

private:
    bool hasPendingOperation_ = false;
    std::weak_ptr<platform::WebView> webView_;
    std::weak_ptr<HYBContainer> viewController_;
    std::weak_ptr<HYBCommandDelegate> commandDelegate_;
};

}  // namespace hybrid
