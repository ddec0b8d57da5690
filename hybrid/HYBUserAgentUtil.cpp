#include "hybrid/HYBUserAgentUtil.h"

#include <deque>
#include <mutex>
#include <optional>

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Device.h"
#include "platform/ui/WebView.h"

namespace hybrid {
namespace {

constexpr const char* kUserAgentKey = "Hybrid-User-Agent";
constexpr const char* kUserAgentVersionKey = "Hybrid-User-Agent-Version";
constexpr const char* kRegisteredUserAgentKey = "UserAgent";

struct WaitingBlock {
    HYBUserAgentUtil::LockBlock block;
    std::weak_ptr<void> owner;
    bool hasOwner = false;
};

struct LockState {
    long currentToken = 0;  // 0: free
    long lastIssuedToken = 0;
    std::deque<WaitingBlock> waiting;
};

LockState& lockState() {
    // Reset: the lock free, no blocks waiting, no tokens issued.
    static platform::NeverDestroyed<LockState> state{platform::ResetStage::Application,
                                                     [](LockState& s) { s = LockState{}; }};
    return *state;
}

// Observer identity of the class on the notification centre.
const void* localeObserver() {
    static const char identity = 0;
    return &identity;
}

// The cache is the one piece a locale change, posted on any thread, touches.
struct UserAgentCache {
    std::mutex mutex;
    std::optional<std::string> userAgent;
};

UserAgentCache& userAgentCache() {
    // Reset: nothing cached, and so nothing to keep fresh on a locale change.
    static platform::NeverDestroyed<UserAgentCache> cache{
        platform::ResetStage::Application, [](UserAgentCache& c) {
            platform::NotificationCenter::defaultCenter().removeObserver(localeObserver());
            std::lock_guard lock(c.mutex);
            c.userAgent.reset();
        }};
    return *cache;
}

// A weak pointer made from some shared_ptr (even one gone since) shares its
// control block; a default-constructed one has none.
bool isSet(const std::weak_ptr<void>& owner) {
    const std::weak_ptr<void> none;
    return owner.owner_before(none) || none.owner_before(owner);
}

[[noreturn]] void failTokenMismatch(long given, long current) {
    throw platform::AssertionFailure(platform::format("Got token %ld, expected %ld", given, current));
}

std::string measureUserAgent() {
    auto webView = std::make_shared<platform::WebView>(platform::CGRectZero);
    return webView->stringByEvaluatingJavaScriptFromString("navigator.userAgent");
}

}  // namespace

std::string HYBUserAgentUtil::originalUserAgent() {
    auto& cache = userAgentCache();
    {
        std::lock_guard lock(cache.mutex);
        if (cache.userAgent) return *cache.userAgent;
    }

    auto& center = platform::NotificationCenter::defaultCenter();
    // Removed first so that asking again after each locale change does not
    // pile up registrations.
    center.removeObserver(localeObserver(), platform::NSCurrentLocaleDidChangeNotification);
    center.addObserver(localeObserver(), platform::NSCurrentLocaleDidChangeNotification, nullptr,
                       &HYBUserAgentUtil::onAppLocaleDidChange);

    auto& device = platform::UIDevice::currentDevice();
    const std::string version =
        platform::format("%s %s %s", device.model().c_str(), device.systemVersion().c_str(),
                         device.localeIdentifier().c_str());

    auto& defaults = platform::UserDefaults::standard();
    const std::string storedVersion = defaults.stringForKey(kUserAgentVersionKey);
    const platform::Value storedUserAgent = defaults.objectForKey(kUserAgentKey);

    std::string userAgent;
    if (storedUserAgent.isString() && storedVersion == version) {
        userAgent = storedUserAgent.stringValue();
    } else {
        userAgent = measureUserAgent();
        defaults.setObject(kUserAgentKey, userAgent);
        defaults.setObject(kUserAgentVersionKey, version);
        defaults.synchronize();
    }

    std::lock_guard lock(cache.mutex);
    cache.userAgent = userAgent;
    return userAgent;
}

void HYBUserAgentUtil::acquireLock(LockBlock block, std::weak_ptr<void> owner) {
    platform::assertMainThread("HYBUserAgentUtil::acquireLock");
    auto& state = lockState();
    if (state.currentToken != 0) {
        const bool hasOwner = isSet(owner);
        state.waiting.push_back(WaitingBlock{std::move(block), std::move(owner), hasOwner});
        return;
    }
    state.currentToken = ++state.lastIssuedToken;
    block(state.currentToken);
}

void HYBUserAgentUtil::releaseLock(long& token) {
    platform::assertMainThread("HYBUserAgentUtil::releaseLock");
    if (token == 0) return;
    auto& state = lockState();
    if (token != state.currentToken) failTokenMismatch(token, state.currentToken);
    // Cleared before the lock is handed on: the next holder may be the same
    // container, storing its new token in this very variable.
    token = 0;

    while (!state.waiting.empty()) {
        WaitingBlock next = std::move(state.waiting.front());
        state.waiting.pop_front();
        // Kept alive while its block runs.
        const std::shared_ptr<void> owner = next.owner.lock();
        if (next.hasOwner && !owner) continue;
        state.currentToken = ++state.lastIssuedToken;
        platform::logf("Gave lock %ld", state.currentToken);
        next.block(state.currentToken);
        return;
    }
    state.currentToken = 0;
}

void HYBUserAgentUtil::setUserAgentLockToken(const std::string& userAgent, long token) {
    platform::assertMainThread("HYBUserAgentUtil::setUserAgentLockToken");
    const long current = lockState().currentToken;
    if (token != current) failTokenMismatch(token, current);
    platform::UserDefaults::standard().registerDefaults(platform::Dictionary{{kRegisteredUserAgentKey, userAgent}});
}

void HYBUserAgentUtil::onAppLocaleDidChange(const platform::Notification&) {
    auto& cache = userAgentCache();
    std::lock_guard lock(cache.mutex);
    cache.userAgent.reset();
}

}  // namespace hybrid
