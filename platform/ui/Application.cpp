#include "platform/ui/Application.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include <limits>

#include "platform/capture/CaptureSession.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"

namespace platform {
namespace {

void postFromApplication(const char* name) {
    NotificationCenter::defaultCenter().post(name, &UIApplication::sharedApplication());
}

// The delegate hears each life-cycle step just before the notification of it.
void tellDelegate(void (UIApplicationDelegate::*step)(UIApplication&)) {
    UIApplication& application = UIApplication::sharedApplication();
    if (auto delegate = application.delegate()) ((*delegate).*step)(application);
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

UIApplication::UIApplication() {
    // Camera previews turn with the interface, which is the status bar's.
    setPreviewOrientationSource([this] { return static_cast<long>(statusBarOrientation()); });
}

UIApplication& UIApplication::sharedApplication() {
    static NeverDestroyed<UIApplication> application{ResetStage::Windows, [](UIApplication& a) { a.reset(); }};
    return *application;
}

// At exit the delegate goes first, with what it holds (windows, plugins),
// while the observer list that those objects leave is still here.
UIApplication::~UIApplication() { std::shared_ptr<UIApplicationDelegate> delegate = std::move(delegate_); }

UIApplicationState UIApplication::applicationState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void UIApplication::setApplicationState(UIApplicationState target) {
    // A move between Active and Background passes through Inactive, and each
    // notification sees the state a phone shows at that moment: observers of
    // "will" notifications still see the state being left, observers of "did"
    // notifications the state reached. Observers run without our lock held,
    // so they may ask for the state (or change it) themselves.
    auto current = [this] { return applicationState(); };
    auto enter = [this](UIApplicationState state) {
        std::lock_guard lock(mutex_);
        state_ = state;
    };
    if (current() == target) return;

    if (current() == UIApplicationState::Active) {
        tellDelegate(&UIApplicationDelegate::applicationWillResignActive);
        postFromApplication(UIApplicationWillResignActiveNotification);
        enter(UIApplicationState::Inactive);
    }
    if (current() == UIApplicationState::Background) {
        tellDelegate(&UIApplicationDelegate::applicationWillEnterForeground);
        postFromApplication(UIApplicationWillEnterForegroundNotification);
        enter(UIApplicationState::Inactive);
    }
    if (target == UIApplicationState::Background) {
        enter(UIApplicationState::Background);
        tellDelegate(&UIApplicationDelegate::applicationDidEnterBackground);
        postFromApplication(UIApplicationDidEnterBackgroundNotification);
    } else if (target == UIApplicationState::Active) {
        enter(UIApplicationState::Active);
        tellDelegate(&UIApplicationDelegate::applicationDidBecomeActive);
        postFromApplication(UIApplicationDidBecomeActiveNotification);
    }
}

void UIApplication::terminate() {
    tellDelegate(&UIApplicationDelegate::applicationWillTerminate);
    postFromApplication(UIApplicationWillTerminateNotification);
}

long UIApplication::applicationIconBadgeNumber() const {
    std::lock_guard lock(mutex_);
    return badgeNumber_;
}

void UIApplication::setApplicationIconBadgeNumber(long number) {
    std::lock_guard lock(mutex_);
    badgeNumber_ = number;
}

void UIApplication::requestExit(int status) {
    {
        std::lock_guard lock(mutex_);
        exitRequested_ = true;
        exitStatus_ = status;
    }
    RunLoop::main().post([] {});  // wakes the loop if it is waiting
}

bool UIApplication::exitRequested() const {
    std::lock_guard lock(mutex_);
    return exitRequested_;
}

int UIApplication::exitStatus() const {
    std::lock_guard lock(mutex_);
    return exitStatus_;
}

void UIApplication::setOpenableSchemes(std::set<std::string> schemes) {
    // URL keeps its scheme lower-cased, so the set is too.
    std::set<std::string> normalised;
    for (const std::string& scheme : schemes) normalised.insert(lowercased(scheme));
    std::lock_guard lock(mutex_);
    openableSchemes_ = std::move(normalised);
}

bool UIApplication::canOpenURL(const URL& url) const {
    if (url.scheme().empty()) return false;
    std::lock_guard lock(mutex_);
    return openableSchemes_.count(url.scheme()) > 0;
}

bool UIApplication::openURL(const URL& url) {
    {
        std::lock_guard lock(mutex_);
        openedURLs_.push_back(url);
    }
    return canOpenURL(url);
}

std::vector<URL> UIApplication::openedURLs() const {
    std::lock_guard lock(mutex_);
    return openedURLs_;
}

bool UIApplication::isStatusBarHidden() const {
    std::lock_guard lock(mutex_);
    return statusBarHidden_;
}

void UIApplication::setStatusBarHidden(bool hidden) {
    assertMainThread("UIApplication::setStatusBarHidden");
    std::vector<KeyValueObserverToken> observers;
    {
        std::lock_guard lock(mutex_);
        if (statusBarHidden_ == hidden) return;
        statusBarHidden_ = hidden;
        observers = keyValueObservers_.tokensWhere([](const std::string& keyPath) { return keyPath == "statusBarHidden"; });
    }
    const Dictionary change{{NSKeyValueChangeNewKey, Value(hidden)}};
    // Looked up one by one outside the lock: an observer may add or remove
    // observers, itself included, and one removed meanwhile is not called.
    for (const KeyValueObserverToken token : observers) {
        std::string keyPath;
        KeyValueObserver observer;
        bool found = false;
        {
            std::lock_guard lock(mutex_);
            found = keyValueObservers_.find(token, keyPath, observer);
        }
        if (found) observer(keyPath, change);
    }
}

long UIApplication::statusBarStyle() const {
    std::lock_guard lock(mutex_);
    return statusBarStyle_;
}

void UIApplication::setStatusBarStyle(long style) {
    std::lock_guard lock(mutex_);
    statusBarStyle_ = style;
}

UIInterfaceOrientation UIApplication::statusBarOrientation() const {
    std::lock_guard lock(mutex_);
    return statusBarOrientation_;
}

void UIApplication::setStatusBarOrientation(UIInterfaceOrientation orientation) {
    std::lock_guard lock(mutex_);
    statusBarOrientation_ = orientation;
}

CGRect UIApplication::statusBarFrame() const {
    const CGSize screen = UIScreen::mainScreen().bounds().size;
    std::lock_guard lock(mutex_);
    if (statusBarHidden_) return CGRectZero;
    const bool landscape = statusBarOrientation_ == UIInterfaceOrientationLandscapeLeft ||
                           statusBarOrientation_ == UIInterfaceOrientationLandscapeRight;
    return landscape ? CGRect{{0, 0}, {UIStatusBarThickness, screen.height}}
                     : CGRect{{0, 0}, {screen.width, UIStatusBarThickness}};
}

bool UIApplication::viewControllerBasedStatusBarAppearance() const {
    if (compareVersions(UIDevice::currentDevice().systemVersion(), "7.0") < 0) return false;
    const Value setting = Bundle::main().objectForInfoDictionaryKey("UIViewControllerBasedStatusBarAppearance");
    return setting.isNil() || setting.boolValue();
}

KeyValueObserverToken UIApplication::addObserverForKeyPath(const std::string& keyPath, KeyValueObserver observer) {
    std::lock_guard lock(mutex_);
    return keyValueObservers_.add(keyPath, std::move(observer));
}

void UIApplication::removeObserver(KeyValueObserverToken token) {
    std::lock_guard lock(mutex_);
    keyValueObservers_.remove(token);
}

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    const UIBackgroundTaskIdentifier identifier = nextTask_++;
    backgroundTasks_.emplace_back(identifier, std::move(handler));
    return identifier;
}

void UIApplication::endBackgroundTask(UIBackgroundTaskIdentifier identifier) {
    std::lock_guard lock(mutex_);
    std::erase_if(backgroundTasks_, [identifier](const auto& task) { return task.first == identifier; });
}

std::size_t UIApplication::runningBackgroundTasks() const {
    std::lock_guard lock(mutex_);
    return backgroundTasks_.size();
}

void UIApplication::expireBackgroundTasks() {
    // Handlers run outside the lock because the usual handler ends its own
    // task. A task whose handler does not end it stays running, as a leak
    // would on the phone, but its handler is not called a second time.
    std::vector<std::function<void()>> handlers;
    {
        std::lock_guard lock(mutex_);
        for (auto& task : backgroundTasks_) {
            if (task.second) handlers.push_back(std::exchange(task.second, nullptr));
        }
    }
    for (const auto& handler : handlers) handler();
}

void UIApplication::reset() {
    std::lock_guard lock(mutex_);
    state_ = UIApplicationState::Active;
    delegate_.reset();
    openableSchemes_.clear();
    openedURLs_.clear();
    networkActivityIndicatorVisible_ = false;
    nextTask_ = 1;
    backgroundTasks_.clear();
    badgeNumber_ = 0;
    exitRequested_ = false;
    exitStatus_ = 0;
    statusBarHidden_ = false;
    statusBarStyle_ = UIStatusBarStyleDefault;
    statusBarOrientation_ = UIInterfaceOrientationPortrait;
}

UIApplicationDelegateRegistry& applicationDelegateRegistry() {
    // No reset: the delegate classes are registered once, by the program.
    static NeverDestroyed<UIApplicationDelegateRegistry> registry;
    return *registry;
}

int UIApplicationMain(int, char**, const std::string& delegateClassName, const Value& launchOptions) {
    UIApplication& application = UIApplication::sharedApplication();
    auto delegate = applicationDelegateRegistry().create(delegateClassName);
    if (!delegate) {
        logf("UIApplicationMain: no application delegate class named '%s'", delegateClassName.c_str());
        return 1;
    }
    application.setDelegate(delegate);
    delegate->applicationDidFinishLaunchingWithOptions(application, launchOptions);
    RunLoop::main().runUntil([&] { return application.exitRequested(); }, std::numeric_limits<double>::infinity());
    return application.exitStatus();
}

}  // namespace platform
