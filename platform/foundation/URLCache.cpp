#include "platform/foundation/URLCache.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {
std::mutex& sharedCacheMutex() {
    static std::mutex mutex;
    return mutex;
}
std::shared_ptr<NSURLCache> makeDefaultCache() {
    return std::make_shared<NSURLCache>(512 * 1024, 10 * 1024 * 1024, "");
}
std::shared_ptr<NSURLCache>& sharedCache() {
    static NeverDestroyed<std::shared_ptr<NSURLCache>> cache{ResetStage::Foundation,
                                                            [](std::shared_ptr<NSURLCache>& c) {
                                                                std::lock_guard lock(sharedCacheMutex());
                                                                c = makeDefaultCache();
                                                            },
                                                            makeDefaultCache()};
    return *cache;
}
}  // namespace

std::shared_ptr<NSURLCache> NSURLCache::sharedURLCache() {
    std::lock_guard lock(sharedCacheMutex());
    return sharedCache();
}

void NSURLCache::setSharedURLCache(std::shared_ptr<NSURLCache> cache) {
    std::lock_guard lock(sharedCacheMutex());
    if (cache) sharedCache() = std::move(cache);
}

NSHTTPCookieStorage& NSHTTPCookieStorage::sharedHTTPCookieStorage() {
    static NeverDestroyed<NSHTTPCookieStorage> storage{ResetStage::Foundation, [](NSHTTPCookieStorage& s) {
        std::lock_guard lock(s.mutex_);
        s.policy_ = NSHTTPCookieAcceptPolicy::OnlyFromMainDocumentDomain;
    }};
    return *storage;
}

NSHTTPCookieAcceptPolicy NSHTTPCookieStorage::cookieAcceptPolicy() const {
    std::lock_guard lock(mutex_);
    return policy_;
}

void NSHTTPCookieStorage::setCookieAcceptPolicy(NSHTTPCookieAcceptPolicy policy) {
    std::lock_guard lock(mutex_);
    policy_ = policy;
}

}  // namespace platform
