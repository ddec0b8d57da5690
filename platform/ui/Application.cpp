#include "platform/ui/Application.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/foundation/NotificationCenter.h"

namespace platform {
namespace {

void postFromApplication(const char* name) {
    NotificationCenter::defaultCenter().post(name, &UIApplication::sharedApplication());
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

UIApplication& UIApplication::sharedApplication() {
    static UIApplication application;
    return application;
}

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
        postFromApplication(UIApplicationWillResignActiveNotification);
        enter(UIApplicationState::Inactive);
    }
    if (current() == UIApplicationState::Background) {
        postFromApplication(UIApplicationWillEnterForegroundNotification);
        enter(UIApplicationState::Inactive);
    }
    if (target == UIApplicationState::Background) {
        enter(UIApplicationState::Background);
        postFromApplication(UIApplicationDidEnterBackgroundNotification);
    } else if (target == UIApplicationState::Active) {
        enter(UIApplicationState::Active);
        postFromApplication(UIApplicationDidBecomeActiveNotification);
    }
}

void UIApplication::terminate() { postFromApplication(UIApplicationWillTerminateNotification); }

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
}

}  // namespace platform
