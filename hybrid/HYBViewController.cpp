#include "hybrid/HYBViewController.h"

#include "hybrid/HYBCommandDelegateImpl.h"
#include "hybrid/HYBCommandQueue.h"
#include "hybrid/HYBConfigParser.h"
#include "hybrid/HYBHandleOpenURL.h"
#include "hybrid/HYBLocalStorage.h"
#include "hybrid/HYBNotifications.h"
#include "hybrid/HYBPlugin.h"
#include "hybrid/HYBTimer.h"
#include "hybrid/HYBURLProtocol.h"
#include "hybrid/HYBUserAgentUtil.h"
#include "hybrid/HYBWebViewDelegate.h"
#include "hybrid/HYBWhitelist.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/ScrollView.h"

namespace hybrid {

using platform::URL;
using platform::Value;

namespace {

constexpr int kVersionMajor = 3;
constexpr int kVersionMinor = 8;
constexpr int kVersionPatch = 0;
constexpr double kStartPageTimeout = 20.0;

// Identity numbers are handed out by a counter: addresses can be reused by a
// later container while a request of the old one is still in flight.
std::atomic<std::int64_t> gNextIdentityNumber{1};

bool systemVersionAtLeast(const char* version) {
    return platform::compareVersions(platform::UIDevice::currentDevice().systemVersion(), version) >= 0;
}

// Scheme, host and path alike: the same document whatever its query or fragment.
bool sameDocument(const URL& a, const URL& b) {
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port() == b.port() &&
           a.percentEncodedPath() == b.percentEncodedPath();
}

// The error page for a message: "?error=<escaped message>" resolved against the page.
std::optional<URL> errorPageWithMessage(const URL& errorPage, const std::string& message) {
    return URL::create("?error=" + platform::percentEscape(message), errorPage);
}

bool isTrueSetting(const Value& value) { return value.boolValue(); }

}  // namespace

HYBViewController::HYBViewController() : identityNumber_(gNextIdentityNumber++) {}

HYBViewController::~HYBViewController() {
    HYBURLProtocol::unregisterViewController(identityNumber_);
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    if (webView_) webView_->setDelegate({});
    webView_.reset();
    // A destructor must not throw: a token the lock no longer knows is logged and dropped.
    try {
        HYBUserAgentUtil::releaseLock(userAgentLockToken_);
    } catch (const platform::AssertionFailure& failure) {
        platform::logf("ERROR: %s", failure.what());
    }
    if (commandQueue_) commandQueue_->dispose();
    for (const auto& [className, plugin] : pluginObjects_) plugin->dispose();
}

void HYBViewController::initOnce() {
    platform::assertMainThread("HYBViewController::initOnce");
    if (initialized_) return;
    const std::shared_ptr<HYBContainer> self = std::dynamic_pointer_cast<HYBViewController>(shared_from_this());
    commandQueue_ = std::make_shared<HYBCommandQueue>(self);
    commandDelegate_ = std::make_shared<HYBCommandDelegateImpl>(self);

    auto& center = platform::NotificationCenter::defaultCenter();
    auto observe = [&](const char* name, void (HYBViewController::*handler)(const platform::Notification&)) {
        center.addObserver(this, name, nullptr, [this, handler](const platform::Notification& n) { (this->*handler)(n); });
    };
    observe(platform::UIApplicationWillTerminateNotification, &HYBViewController::onAppWillTerminate);
    observe(platform::UIApplicationWillResignActiveNotification, &HYBViewController::onAppWillResignActive);
    observe(platform::UIApplicationDidBecomeActiveNotification, &HYBViewController::onAppDidBecomeActive);
    observe(platform::UIApplicationWillEnterForegroundNotification, &HYBViewController::onAppWillEnterForeground);
    observe(platform::UIApplicationDidEnterBackgroundNotification, &HYBViewController::onAppDidEnterBackground);
    observe(HYBPageDidLoadNotification, &HYBViewController::onPageDidLoad);

    const platform::Bundle& bundle = platform::Bundle::main();
    supportedOrientations_ = parseInterfaceOrientations(bundle.objectForInfoDictionaryKey("UISupportedInterfaceOrientations"));

    platform::logf("Hybrid native platform version %s is starting.",
                   platform::format("%d.%d.%d", kVersionMajor, kVersionMinor, kVersionPatch).c_str());
    const auto multitasking = platform::UIDevice::currentDevice().isMultitaskingSupported();
    const bool exitsOnSuspend = bundle.objectForInfoDictionaryKey("UIApplicationExitsOnSuspend").integerValue() != 0;
    platform::logf("Multi-tasking -> Device: %s, App: %s", multitasking.value_or(false) ? "YES" : "NO",
                   exitsOnSuspend ? "NO" : "YES");
    if (!systemVersionAtLeast("6.0"))
        platform::logf("CRITICAL: For Hybrid 3.5.0 and above, you will need to upgrade to at least iOS 6.0 or greater. "
                       "Your current version of iOS is %s.",
                       platform::UIDevice::currentDevice().systemVersion().c_str());
    initialized_ = true;
    loadSettings();
}

void HYBViewController::loadSettings() {
    platform::assertMainThread("HYBViewController::loadSettings");
    HYBConfigParser delegate;
    const auto path = platform::Bundle::main().pathForResource("config", "xml");
    if (!path)
        throw platform::AssertionFailure(
            platform::format("ERROR: config.xml does not exist: looked for %s/config.xml. Add a config.xml at the "
                             "top of the app bundle (see examples/app/config.xml).",
                             platform::Bundle::main().bundlePath().c_str()));
    configParser_ = platform::XMLParser::createWithContentsOfURL(URL::fileURLWithPath(*path));
    if (!configParser_) {
        platform::log("Failed to initialize XML parser.");
        return;
    }
    configParser_->setDelegate(&delegate);
    configParser_->parse();
    configParser_->setDelegate(nullptr);

    pluginsMap_.clear();
    for (const auto& [name, className] : delegate.pluginsDict()) pluginsMap_[name] = className;
    startupPluginNames_ = delegate.startupPluginNames();
    whitelist_ = std::make_shared<HYBWhitelist>(delegate.whitelistHosts());
    settings_ = delegate.settings();
    wwwFolderName_ = "www";
    startPage_ = delegate.startPage().value_or("index.html");
    pluginObjects_.clear();
}

Value HYBViewController::settingForKey(const std::string& key) const {
    auto it = settings_.find(platform::toLower(key));
    return it == settings_.end() ? Value() : it->second;
}

void HYBViewController::setSettingForKey(Value value, const std::string& key) {
    settings_[platform::toLower(key)] = std::move(value);
}

std::optional<URL> HYBViewController::appUrl() {
    platform::assertMainThread("HYBViewController::appUrl");
    std::optional<URL> url;
    if (startPage_.find("://") != std::string::npos) {
        url = URL::create(startPage_);
    } else if (wwwFolderName_.find("://") != std::string::npos) {
        url = URL::create(wwwFolderName_ + "/" + startPage_);
    } else if (auto relative = URL::create(startPage_)) {
        if (auto path = commandDelegate_->pathForResource(relative->path())) {
            url = URL::fileURLWithPath(*path);
            const std::size_t tail = startPage_.find_first_of("?#");
            if (tail != std::string::npos) url = URL::create(startPage_.substr(tail), *url);
        }
    }
    // Whenever there is no start URL the inline error page must get through.
    if (!url) loadFromString_ = true;
    return url;
}

std::optional<URL> HYBViewController::errorUrl() {
    platform::assertMainThread("HYBViewController::errorUrl");
    const Value setting = settingForKey("ErrorUrl");
    if (!setting.isString()) return std::nullopt;
    const std::string& text = *setting.string();
    if (text.find("://") != std::string::npos) return URL::create(text);
    auto relative = URL::create(text);
    if (!relative) return std::nullopt;
    auto path = commandDelegate_->pathForResource(relative->path());
    if (!path) return std::nullopt;
    return URL::fileURLWithPath(*path);
}

bool HYBViewController::URLisAllowed(const URL& url) const { return !whitelist_ || whitelist_->URLIsAllowed(url); }

std::shared_ptr<platform::WebView> HYBViewController::newHybridViewWithFrame(platform::CGRect frame) {
    return std::make_shared<platform::WebView>(frame);
}

void HYBViewController::createHybridView() {
    platform::assertMainThread("HYBViewController::createHybridView");
    auto parent = view();
    webView_ = newHybridViewWithFrame(parent->bounds());
    webView_->setAutoresizingMask(platform::UIViewAutoresizingFlexibleWidth | platform::UIViewAutoresizingFlexibleHeight);
    parent->addSubview(webView_);
    parent->sendSubviewToBack(webView_);
}

void HYBViewController::viewDidLoad() {
    platform::assertMainThread("HYBViewController::viewDidLoad");
    platform::UIViewController::viewDidLoad();

    const Value backupSetting = settingForKey("BackupWebStorage");
    const std::string backupType = backupSetting.isString() ? *backupSetting.string() : "cloud";
    setSettingForKey(backupType, "BackupWebStorage");
    if (systemVersionAtLeast("5.1")) HYBLocalStorage::fixupDatabaseLocationsWithBackupType(backupType);

    if (!webView_) createHybridView();
    auto self = std::dynamic_pointer_cast<HYBViewController>(shared_from_this());
    webViewDelegate_ = std::make_shared<HYBWebViewDelegate>(std::weak_ptr<platform::UIWebViewDelegate>(self));
    webView_->setDelegate(webViewDelegate_);
    HYBURLProtocol::registerViewController(self);

    applyWebViewPreferences(backupType);

    if (!startupPluginNames_.empty()) {
        HYBTimer::start("TotalPluginStartup");
        for (const std::string& name : startupPluginNames_) {
            HYBTimer::start(name);
            getCommandInstance(name);
            HYBTimer::stop(name);
        }
        HYBTimer::stop("TotalPluginStartup");
    }

    registerPluginWithClassName(std::make_shared<HYBHandleOpenURL>(webView_), "HYBHandleOpenURL");

    std::optional<URL> startURL = appUrl();
    std::weak_ptr<HYBViewController> weakSelf = self;
    HYBUserAgentUtil::acquireLock(
        [weakSelf, startURL](long token) {
            if (auto container = weakSelf.lock()) container->startPageLoad(token, startURL);
        },
        weakSelf);
}

void HYBViewController::applyWebViewPreferences(const std::string& backupType) {
    platform::WebView& web = *webView_;
    const bool enableViewportScale = isTrueSetting(settingForKey("EnableViewportScale"));
    const bool allowInlineMediaPlayback = isTrueSetting(settingForKey("AllowInlineMediaPlayback"));
    const Value mediaSetting = settingForKey("MediaPlaybackRequiresUserAction");
    const bool mediaPlaybackRequiresUserAction = mediaSetting.isNil() || mediaSetting.boolValue();

    web.setScalesPageToFit(enableViewportScale);

    if (systemVersionAtLeast("5.1") && (backupType == "local" || (backupType == "cloud" && !systemVersionAtLeast("6.0"))))
        registerPluginWithClassName(std::make_shared<HYBLocalStorage>(webView_), "HYBLocalStorage");

    if (allowInlineMediaPlayback && web.respondsToSelector("allowsInlineMediaPlayback"))
        web.setAllowsInlineMediaPlayback(true);
    if (!mediaPlaybackRequiresUserAction && web.respondsToSelector("mediaPlaybackRequiresUserAction"))
        web.setMediaPlaybackRequiresUserAction(false);

    const Value disallowSetting = settingForKey("DisallowOverscroll");
    bool disallowOverscroll = false;
    if (!disallowSetting.isNil()) {
        disallowOverscroll = disallowSetting.boolValue();
    } else {
        const Value bounce = settingForKey("UIWebViewBounce");
        disallowOverscroll = !bounce.isNil() && !bounce.boolValue();
    }
    if (disallowOverscroll) {
        if (web.respondsToSelector("scrollView")) {
            if (auto scroll = web.scrollView()) scroll->setBounces(false);
        } else {
            for (const auto& subview : web.subviews())
                if (subview->isKindOfClass("UIScrollView"))
                    std::static_pointer_cast<platform::UIScrollView>(subview)->setBounces(false);
        }
    }

    const Value deceleration = settingForKey("UIWebViewDecelerationSpeed");
    if (!(deceleration.isString() && *deceleration.string() == "fast")) {
        if (auto scroll = web.scrollView()) scroll->setDecelerationRate(platform::UIScrollViewDecelerationRateNormal);
    }

    if (systemVersionAtLeast("6.0")) {
        const Value keyboard = settingForKey("KeyboardDisplayRequiresUserAction");
        const bool keyboardRequiresUserAction = keyboard.isNil() || keyboard.boolValue();
        const bool suppressesIncrementalRendering = isTrueSetting(settingForKey("SuppressesIncrementalRendering"));
        if (web.respondsToSelector("setKeyboardDisplayRequiresUserAction:"))
            web.setValueForKey(keyboardRequiresUserAction, "keyboardDisplayRequiresUserAction");
        if (web.respondsToSelector("setSuppressesIncrementalRendering:"))
            web.setValueForKey(suppressesIncrementalRendering, "suppressesIncrementalRendering");
    }

    if (systemVersionAtLeast("7.0")) {
        // The position of the lower-cased value in its list; a value that is
        // no string reads as the first entry, an unknown one as 0.
        auto positionIn = [](const Value& value, std::initializer_list<const char*> names) {
            if (value.isNil()) return 0;
            if (!value.isString()) return 0;
            const std::string lowered = platform::toLower(*value.string());
            int index = 0;
            for (const char* name : names) {
                if (lowered == name) return index;
                ++index;
            }
            return 0;
        };
        if (web.respondsToSelector("setGapBetweenPages:"))
            web.setValueForKey(settingForKey("GapBetweenPages").doubleValue(), "gapBetweenPages");
        if (web.respondsToSelector("setPageLength:"))
            web.setValueForKey(settingForKey("PageLength").doubleValue(), "pageLength");
        if (web.respondsToSelector("setPaginationBreakingMode:"))
            web.setValueForKey(positionIn(settingForKey("PaginationBreakingMode"), {"page", "column"}),
                               "paginationBreakingMode");
        if (web.respondsToSelector("setPaginationMode:"))
            web.setValueForKey(positionIn(settingForKey("PaginationMode"),
                                          {"unpaginated", "lefttoright", "toptobottom", "bottomtotop", "righttoleft"}),
                               "paginationMode");
    }
}

void HYBViewController::startPageLoad(long lockToken, std::optional<URL> startURL) {
    userAgentLockToken_ = lockToken;
    HYBUserAgentUtil::setUserAgentLockToken(userAgent(), lockToken);
    if (startURL) {
        webView_->loadRequest(platform::URLRequest(*startURL, platform::URLRequestCachePolicy::UseProtocolCachePolicy,
                                                   kStartPageTimeout));
        return;
    }
    const std::string message =
        platform::format("ERROR: Start Page at '%s/%s' was not found.", wwwFolderName_.c_str(), startPage_.c_str());
    platform::log(message);
    if (auto errorPage = errorUrl()) {
        if (auto target = errorPageWithMessage(*errorPage, message)) {
            platform::log(target->absoluteString());
            webView_->loadRequest(platform::URLRequest(*target));
            return;
        }
    }
    webView_->loadHTMLStringBaseURL("<html><body> " + message + " </body></html>", std::nullopt);
}

void HYBViewController::viewDidUnload() {
    platform::assertMainThread("HYBViewController::viewDidUnload");
    if (webView_) webView_->setDelegate({});
    webView_.reset();
    HYBUserAgentUtil::releaseLock(userAgentLockToken_);
    platform::UIViewController::viewDidUnload();
}

void HYBViewController::didReceiveMemoryWarning() {
    platform::assertMainThread("HYBViewController::didReceiveMemoryWarning");
    bool pending = false;
    for (const auto& [className, plugin] : pluginObjects_) {
        if (plugin->hasPendingOperation()) {
            platform::logf("Plugin '%s' has a pending operation, memory purge is delayed for didReceiveMemoryWarning.",
                           className.c_str());
            pending = true;
        }
    }
    if (!pending) platform::UIViewController::didReceiveMemoryWarning();
}

std::string HYBViewController::userAgent() const {
    if (!userAgent_) {
        const std::string base = baseUserAgent_ ? *baseUserAgent_ : HYBUserAgentUtil::originalUserAgent();
        userAgent_ = platform::format("%s (%lld)", base.c_str(), static_cast<long long>(identityNumber_));
    }
    return *userAgent_;
}

std::shared_ptr<HYBCommandDelegate> HYBViewController::commandDelegate() const { return commandDelegate_; }

bool HYBViewController::whitelistSchemeIsAllowed(const std::string& scheme) const {
    return whitelist_ && whitelist_->schemeIsAllowed(scheme);
}

bool HYBViewController::whitelistURLIsAllowed(const URL& url, bool logFailure) const {
    return !whitelist_ || whitelist_->URLIsAllowedLogFailure(url, logFailure);
}

// --- Plugin registry ---

void HYBViewController::registerPluginWithClassName(const std::shared_ptr<HYBPlugin>& plugin,
                                                    const std::string& className) {
    platform::assertMainThread("HYBViewController::registerPluginWithClassName");
    auto self = std::dynamic_pointer_cast<HYBViewController>(shared_from_this());
    plugin->setViewController(std::static_pointer_cast<HYBContainer>(self));
    plugin->setCommandDelegate(commandDelegate_);
    pluginObjects_[className] = plugin;
    plugin->pluginInitialize();
}

void HYBViewController::registerPluginWithPluginName(const std::shared_ptr<HYBPlugin>& plugin,
                                                     const std::string& pluginName) {
    platform::assertMainThread("HYBViewController::registerPluginWithPluginName");
    auto self = std::dynamic_pointer_cast<HYBViewController>(shared_from_this());
    const std::string className = plugin->className();
    plugin->setViewController(std::static_pointer_cast<HYBContainer>(self));
    plugin->setCommandDelegate(commandDelegate_);
    pluginObjects_[className] = plugin;
    pluginsMap_[platform::toLower(pluginName)] = className;
    plugin->pluginInitialize();
}

std::shared_ptr<HYBPlugin> HYBViewController::getCommandInstance(const std::string& pluginName) {
    platform::assertMainThread("HYBViewController::getCommandInstance");
    auto mapped = pluginsMap_.find(platform::toLower(pluginName));
    if (mapped == pluginsMap_.end()) return nullptr;
    const std::string& className = mapped->second;
    if (auto existing = pluginObjects_.find(className); existing != pluginObjects_.end()) return existing->second;
    auto plugin = pluginRegistry().create(className, webView_);
    if (!plugin) {
        std::string registered;
        for (const auto& name : pluginRegistry().names()) registered += (registered.empty() ? "" : ", ") + name;
        platform::logf("HYBPlugin class %s (pluginName: %s) does not exist. Plugin classes are registered by "
                       "hybrid_plugin() in their folder's CMakeLists.txt (plugins/<name>/); registered: %s.",
                       className.c_str(), pluginName.c_str(), registered.empty() ? "none" : registered.c_str());
        return nullptr;
    }
    registerPluginWithClassName(plugin, className);
    return plugin;
}

// --- Navigation and page load ---

bool HYBViewController::webViewShouldStartLoadWithRequestNavigationType(platform::WebView& webView,
                                                                        const platform::URLRequest& request,
                                                                        platform::UIWebViewNavigationType navigationType) {
    platform::assertMainThread("HYBViewController::webViewShouldStartLoadWithRequestNavigationType");
    const auto& url = request.url();
    platform::logf("scheme----------->>%s", url ? url->scheme().c_str() : "(null)");
    if (!url) return false;

    if (url->scheme() == "hybrid") {
        commandQueue_->fetchCommandsFromJs();
        commandQueue_->executePending();
        return false;
    }

    if (const auto& fragment = url->fragment(); fragment && (platform::startsWith(*fragment, "%01") ||
                                                             platform::startsWith(*fragment, "%02"))) {
        const std::string batch = fragment->substr(3);
        if (batch.empty()) {
            commandQueue_->fetchCommandsFromJs();
        } else if (auto unescaped = platform::percentUnescape(batch)) {
            commandQueue_->enqueueCommandBatch(*unescaped);
        } else {
            platform::log("ERROR: Dropped a command batch whose escapes are not valid UTF-8.");
        }
        commandDelegate_->flushCommandQueueWithDelayedJs();
        return false;
    }

    for (const auto& [className, plugin] : pluginObjects_) {
        if (plugin->shouldOverrideLoadWithRequestNavigationType(request, navigationType)) return false;
    }

    if (url->isFileURL()) return true;
    if (loadFromString_) {
        loadFromString_ = false;
        return true;
    }
    const std::string& scheme = url->scheme();
    if (scheme == "tel") return true;
    if (scheme == "about") return false;
    if (scheme == "data") return true;
    if (whitelist_ && whitelist_->schemeIsAllowed(scheme)) return whitelist_->URLIsAllowed(*url);

    auto& application = platform::UIApplication::sharedApplication();
    if (application.canOpenURL(*url)) {
        application.openURL(*url);
    } else {
        platform::NotificationCenter::defaultCenter().post(HYBPluginHandleOpenURLNotification, nullptr, *url);
    }
    return false;
}

void HYBViewController::webViewDidStartLoad(platform::WebView& webView) {
    platform::assertMainThread("HYBViewController::webViewDidStartLoad");
    platform::log("Resetting plugins due to page load.");
    commandQueue_->resetRequestId();
    platform::NotificationCenter::defaultCenter().post(HYBPluginResetNotification, &webView);
}

void HYBViewController::webViewDidFinishLoad(platform::WebView& webView) {
    platform::assertMainThread("HYBViewController::webViewDidFinishLoad");
    const auto request = webView.request();
    platform::logf("Finished load of: %s",
                   request && request->url() ? request->url()->absoluteString().c_str() : "(null)");
    HYBUserAgentUtil::releaseLock(userAgentLockToken_);
    platform::UIApplication::sharedApplication().setNetworkActivityIndicatorVisible(false);
    platform::NotificationCenter::defaultCenter().post(HYBPageDidLoadNotification, &webView);
}

void HYBViewController::webViewDidFailLoadWithError(platform::WebView& webView, const platform::Error& error) {
    platform::assertMainThread("HYBViewController::webViewDidFailLoadWithError");
    HYBUserAgentUtil::releaseLock(userAgentLockToken_);
    const std::string message = "Failed to load webpage with error: " + error.localizedDescription;
    platform::log(message);

    // A cancelled load was replaced by another one, and the tracker's
    // abandoned-navigation error means the same; neither is a failure the
    // user should be sent away for. Nor is a failure of the error page itself,
    // which would send the view round in circles.
    if (error.domain == platform::NSURLErrorDomain && error.code == platform::NSURLErrorCancelled) return;
    if (error.domain == "HYBWebViewDelegate" && error.code == 1) return;
    const auto errorPage = errorUrl();
    if (!errorPage) return;
    if (const auto request = webView.request(); request && request->url() && sameDocument(*request->url(), *errorPage))
        return;
    if (auto target = errorPageWithMessage(*errorPage, message)) {
        platform::log(target->absoluteString());
        webView.loadRequest(platform::URLRequest(*target));
    }
}

// --- Orientation ---

std::vector<platform::UIInterfaceOrientation> HYBViewController::parseInterfaceOrientations(const Value& orientations) {
    std::vector<platform::UIInterfaceOrientation> result;
    if (const platform::Array* names = orientations.array()) {
        for (const Value& name : *names) {
            const std::string text = name.stringValue();
            if (text == "UIInterfaceOrientationPortrait") result.push_back(platform::UIInterfaceOrientationPortrait);
            else if (text == "UIInterfaceOrientationPortraitUpsideDown")
                result.push_back(platform::UIInterfaceOrientationPortraitUpsideDown);
            else if (text == "UIInterfaceOrientationLandscapeLeft")
                result.push_back(platform::UIInterfaceOrientationLandscapeLeft);
            else if (text == "UIInterfaceOrientationLandscapeRight")
                result.push_back(platform::UIInterfaceOrientationLandscapeRight);
        }
    }
    if (result.empty()) result.push_back(platform::UIInterfaceOrientationPortrait);
    return result;
}

int HYBViewController::mapIosOrientationToJsOrientation(platform::UIInterfaceOrientation orientation) {
    switch (orientation) {
    case platform::UIInterfaceOrientationPortraitUpsideDown: return 180;
    case platform::UIInterfaceOrientationLandscapeRight: return 90;
    case platform::UIInterfaceOrientationLandscapeLeft: return -90;
    default: return 0;
    }
}

bool HYBViewController::shouldAutorotateToInterfaceOrientation(platform::UIInterfaceOrientation orientation) {
    if (webView_) {
        const std::string answer = webView_->stringByEvaluatingJavaScriptFromString(platform::format(
            "window.shouldRotateToOrientation && window.shouldRotateToOrientation(%d);",
            mapIosOrientationToJsOrientation(orientation)));
        if (!answer.empty()) return answer == "true" || platform::boolValueOfString(answer);
    }
    return supportsOrientation(orientation);
}

unsigned long HYBViewController::supportedInterfaceOrientations() {
    unsigned long mask = 0;
    for (auto orientation : {platform::UIInterfaceOrientationPortrait, platform::UIInterfaceOrientationPortraitUpsideDown,
                             platform::UIInterfaceOrientationLandscapeRight, platform::UIInterfaceOrientationLandscapeLeft}) {
        if (shouldAutorotateToInterfaceOrientation(orientation)) mask |= 1ul << orientation;
    }
    return mask;
}

bool HYBViewController::supportsOrientation(platform::UIInterfaceOrientation orientation) const {
    for (auto supported : supportedOrientations_)
        if (supported == orientation) return true;
    return false;
}

// --- Application events ---

void HYBViewController::onAppWillResignActive(const platform::Notification&) {
    platform::assertMainThread("HYBViewController::onAppWillResignActive");
    commandDelegate_->evalJsScheduledOnRunLoop("hybrid.fireDocumentEvent('resign');", false);
}

void HYBViewController::onAppDidEnterBackground(const platform::Notification&) {
    platform::assertMainThread("HYBViewController::onAppDidEnterBackground");
    commandDelegate_->evalJsScheduledOnRunLoop("hybrid.fireDocumentEvent('pause', null, true);", false);
}

void HYBViewController::onAppWillEnterForeground(const platform::Notification&) {
    platform::assertMainThread("HYBViewController::onAppWillEnterForeground");
    commandDelegate_->evalJs("hybrid.fireDocumentEvent('resume');");
}

void HYBViewController::onAppDidBecomeActive(const platform::Notification&) {
    platform::assertMainThread("HYBViewController::onAppDidBecomeActive");
    commandDelegate_->evalJs("hybrid.fireDocumentEvent('active');");
}

void HYBViewController::onAppWillTerminate(const platform::Notification&) {
    platform::assertMainThread("HYBViewController::onAppWillTerminate");
    auto& files = platform::FileManager::defaultManager();
    const std::string temporary = files.temporaryDirectory();
    // Only the app's own temporary folder, and each top-level entry whole:
    // removing a folder takes its contents with it.
    for (const std::string& entry : files.contentsOfDirectoryAtPath(temporary)) {
        const std::string path = temporary + (platform::endsWith(temporary, "/") ? "" : "/") + entry;
        platform::Error error;
        if (!files.removeItemAtPath(path, &error))
            platform::logf("Failed to delete: %s (error: %s)", path.c_str(), error.description().c_str());
    }
}

void HYBViewController::onPageDidLoad(const platform::Notification&) {
    platform::assertMainThread("HYBViewController::onPageDidLoad");
    if (openURL_) {
        const URL url = *openURL_;
        openURL_.reset();
        processOpenUrlPageLoaded(url, true);
    }
}

void HYBViewController::processOpenUrlPageLoaded(const URL& url, bool pageLoaded) {
    platform::assertMainThread("HYBViewController::processOpenUrlPageLoaded");
    if (!webView_) {
        openURL_ = url;
        return;
    }
    if (!pageLoaded) {
        const std::string state = webView_->stringByEvaluatingJavaScriptFromString("document.readyState");
        if (state != "loaded" && state != "complete") {
            openURL_ = url;
            return;
        }
    }
    webView_->stringByEvaluatingJavaScriptFromString(platform::format(
        "if (typeof handleOpenURL === 'function') { handleOpenURL(%s);}", platform::javaScriptStringLiteral(url.absoluteString()).c_str()));
}

void HYBViewController::javascriptAlert(const std::string& text) {
    platform::assertMainThread("HYBViewController::javascriptAlert");
    commandDelegate_->evalJs(platform::format("alert(%s);", platform::javaScriptStringLiteral(text).c_str()));
}

std::optional<std::string> HYBViewController::appURLScheme() const {
    const Value types = platform::Bundle::main().objectForInfoDictionaryKey("CFBundleURLTypes");
    const Value& schemes = types[0]["CFBundleURLSchemes"];
    if (!schemes[0].isString()) return std::nullopt;
    return *schemes[0].string();
}

std::optional<std::string> HYBViewController::applicationDocumentsDirectory() {
    const std::string documents = platform::FileManager::defaultManager().documentsDirectory();
    if (documents.empty()) return std::nullopt;
    return documents;
}

std::optional<Value> HYBViewController::getBundlePlist(const std::string& name) {
    const auto path = platform::Bundle::main().pathForResource(name, "plist");
    if (!path) return std::nullopt;
    auto result = platform::readPropertyListFile(*path);
    return result.value;
}

}  // namespace hybrid
