#pragma once
// The shared URL cache and cookie storage: their settings, as the app shell
// makes them. Nothing here loads from the network, so the cache never holds
// a response; it records its capacities and path and can be emptied.
// Thread-safe.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

class NSURLCache {
public:
    NSURLCache(std::uint64_t memoryCapacity, std::uint64_t diskCapacity, std::string diskPath)
        : memoryCapacity_(memoryCapacity), diskCapacity_(diskCapacity), diskPath_(std::move(diskPath)) {}

    static std::shared_ptr<NSURLCache> sharedURLCache();
    static void setSharedURLCache(std::shared_ptr<NSURLCache> cache);

    std::uint64_t memoryCapacity() const { return memoryCapacity_; }
    std::uint64_t diskCapacity() const { return diskCapacity_; }
    const std::string& diskPath() const { return diskPath_; }
    void removeAllCachedResponses() { ++purges_; }
    int purges() const { return purges_; }

private:
    std::uint64_t memoryCapacity_;
    std::uint64_t diskCapacity_;
    std::string diskPath_;
    std::atomic<int> purges_{0};
};

enum class NSHTTPCookieAcceptPolicy { Always = 0, Never = 1, OnlyFromMainDocumentDomain = 2 };

class NSHTTPCookieStorage {
public:
    static NSHTTPCookieStorage& sharedHTTPCookieStorage();
    NSHTTPCookieAcceptPolicy cookieAcceptPolicy() const;
    void setCookieAcceptPolicy(NSHTTPCookieAcceptPolicy policy);

private:
    mutable std::mutex mutex_;
    NSHTTPCookieAcceptPolicy policy_ = NSHTTPCookieAcceptPolicy::OnlyFromMainDocumentDomain;
};

}  // namespace platform
