#pragma once
// The container: a view controller that owns one web view showing the app's
// pages, the bridge through which those pages call native plugins, the
// plugins themselves, and the configuration read from the bundle's
// config.xml.
//
// Main thread only. Made with create() (or createController<T>() for a
// subclass), which runs the one-time set-up; the web view is made when the
// view is first asked for (viewDidLoad), and the start page is loaded once
// the process-wide user-agent lock is granted to this container.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hybrid/HYBContainer.h"
#include "hybrid/HYBScreenOrientationDelegate.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/foundation/XMLParser.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WebView.h"

namespace hybrid {

class HYBCommandDelegateImpl;
class HYBWebViewDelegate;
class HYBWhitelist;

class HYBViewController : public platform::UIViewController,
                          public HYBContainer,
                          public platform::UIWebViewDelegate,
                          public HYBScreenOrientationDelegate {
public:
    // A container with its one-time set-up done.
    static std::shared_ptr<HYBViewController> create() { return createController<HYBViewController>(); }
    template <class Controller, class... Args>
    static std::shared_ptr<Controller> createController(Args&&... args) {
        auto controller = std::shared_ptr<Controller>(new Controller(std::forward<Args>(args)...));
        controller->initOnce();
        return controller;
    }
    ~HYBViewController() override;

    // The one-time set-up; does nothing once done.
    void initOnce();
    // Reads config.xml from the main bundle.
    void loadSettings();

    // View life.
    void viewDidLoad() override;
    void viewDidUnload() override;
    void didReceiveMemoryWarning() override;
    virtual std::shared_ptr<platform::WebView> newHybridViewWithFrame(platform::CGRect frame);
    void createHybridView();

    // Settings, keyed by lower-cased name.
    platform::Value settingForKey(const std::string& key) const;
    void setSettingForKey(platform::Value value, const std::string& key);

    // The start page, or nothing (and loadFromString set) when it cannot be found.
    std::optional<platform::URL> appUrl();
    std::optional<platform::URL> errorUrl();
    bool URLisAllowed(const platform::URL& url) const;

    // Plugin registry.
    void registerPluginWithClassName(const std::shared_ptr<HYBPlugin>& plugin, const std::string& className);
    void registerPluginWithPluginName(const std::shared_ptr<HYBPlugin>& plugin, const std::string& pluginName);

    // Navigation and page load (the web view's delegate calls, through the load tracker).
    bool webViewShouldStartLoadWithRequestNavigationType(platform::WebView& webView, const platform::URLRequest& request,
                                                         platform::UIWebViewNavigationType navigationType) override;
    void webViewDidStartLoad(platform::WebView& webView) override;
    void webViewDidFinishLoad(platform::WebView& webView) override;
    void webViewDidFailLoadWithError(platform::WebView& webView, const platform::Error& error) override;

    // Orientation.
    static std::vector<platform::UIInterfaceOrientation> parseInterfaceOrientations(const platform::Value& orientations);
    static int mapIosOrientationToJsOrientation(platform::UIInterfaceOrientation orientation);
    bool shouldAutorotateToInterfaceOrientation(platform::UIInterfaceOrientation orientation) override;
    bool shouldAutorotate() override { return true; }
    unsigned long supportedInterfaceOrientations() override;
    bool supportsOrientation(platform::UIInterfaceOrientation orientation) const;

    // The status bar plugin's category: the page's wishes for the status bar,
    // nil until it has any; the status bar follows them while view
    // controllers decide its appearance.
    const platform::Value& sb_hideStatusBar() const { return sb_hideStatusBar_; }
    void setSb_hideStatusBar(platform::Value hide) { sb_hideStatusBar_ = std::move(hide); }
    const platform::Value& sb_statusBarStyle() const { return sb_statusBarStyle_; }
    void setSb_statusBarStyle(platform::Value style) { sb_statusBarStyle_ = std::move(style); }
    bool prefersStatusBarHidden() override { return sb_hideStatusBar_.boolValue(); }
    long preferredStatusBarStyle() override { return static_cast<long>(sb_statusBarStyle_.integerValue()); }

    // Application events.
    virtual void onAppWillTerminate(const platform::Notification& notification);
    virtual void onAppWillResignActive(const platform::Notification& notification);
    virtual void onAppWillEnterForeground(const platform::Notification& notification);
    virtual void onAppDidBecomeActive(const platform::Notification& notification);
    virtual void onAppDidEnterBackground(const platform::Notification& notification);
    virtual void onPageDidLoad(const platform::Notification& notification);

    // Hands a URL to the page's handleOpenURL, now or after the next page load.
    void processOpenUrlPageLoaded(const platform::URL& url, bool pageLoaded);
    void processOpenUrl(const platform::URL& url) { processOpenUrlPageLoaded(url, false); }
    void javascriptAlert(const std::string& text);

    std::optional<std::string> appURLScheme() const;
    static std::optional<std::string> applicationDocumentsDirectory();
    // The main bundle's "<name>.plist", or nothing when absent or unreadable.
    static std::optional<platform::Value> getBundlePlist(const std::string& name);

    // HYBContainer.
    std::shared_ptr<platform::WebView> webView() const override { return webView_; }
    std::shared_ptr<HYBCommandQueue> commandQueue() const override { return commandQueue_; }
    std::shared_ptr<HYBCommandDelegate> commandDelegate() const override;
    std::shared_ptr<HYBPlugin> getCommandInstance(const std::string& pluginName) override;
    platform::Dictionary settings() const override { return settings_; }
    std::string userAgent() const override;
    std::string wwwFolderName() const override { return wwwFolderName_; }
    bool whitelistSchemeIsAllowed(const std::string& scheme) const override;
    bool whitelistURLIsAllowed(const platform::URL& url, bool logFailure) const override;

    // A number that identifies this container in its user agent and to the bridge's URL protocol.
    std::int64_t identityNumber() const { return identityNumber_; }
    std::shared_ptr<HYBWhitelist> whitelist() const { return whitelist_; }
    const std::map<std::string, std::shared_ptr<HYBPlugin>>& pluginObjects() const { return pluginObjects_; }
    const std::map<std::string, std::string>& pluginsMap() const { return pluginsMap_; }
    const std::vector<std::string>& startupPluginNames() const { return startupPluginNames_; }
    const std::vector<platform::UIInterfaceOrientation>& supportedOrientations() const { return supportedOrientations_; }
    const std::string& startPage() const { return startPage_; }
    bool loadFromString() const { return loadFromString_; }
    std::optional<platform::URL> openURL() const { return openURL_; }
    const std::optional<std::string>& baseUserAgent() const { return baseUserAgent_; }
    void setBaseUserAgent(std::optional<std::string> agent) { baseUserAgent_ = std::move(agent); }
    void setWwwFolderName(std::string folder) { wwwFolderName_ = std::move(folder); }
    void setStartPage(std::string page) { startPage_ = std::move(page); }
    // The user-agent lock's token while this container holds it, else 0.
    long userAgentLockToken() const { return userAgentLockToken_; }

protected:
    HYBViewController();

private:
    void startPageLoad(long lockToken, std::optional<platform::URL> startURL);
    void applyWebViewPreferences(const std::string& backupType);

    std::shared_ptr<HYBCommandDelegateImpl> commandDelegate_;
    std::shared_ptr<HYBCommandQueue> commandQueue_;
    mutable std::optional<std::string> userAgent_;
    long userAgentLockToken_ = 0;
    std::shared_ptr<HYBWebViewDelegate> webViewDelegate_;
    bool loadFromString_ = false;
    bool initialized_ = false;
    std::shared_ptr<platform::WebView> webView_;
    std::vector<platform::UIInterfaceOrientation> supportedOrientations_;
    std::map<std::string, std::shared_ptr<HYBPlugin>> pluginObjects_;
    std::map<std::string, std::string> pluginsMap_;
    std::shared_ptr<HYBWhitelist> whitelist_;
    std::vector<std::string> startupPluginNames_;
    std::unique_ptr<platform::XMLParser> configParser_;
    platform::Dictionary settings_;
    std::string wwwFolderName_;
    std::string startPage_;
    std::optional<platform::URL> openURL_;
    std::optional<std::string> baseUserAgent_;
    platform::Value sb_hideStatusBar_;
    platform::Value sb_statusBarStyle_;
    const std::int64_t identityNumber_;
};

}  // namespace hybrid
