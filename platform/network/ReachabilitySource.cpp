#include "platform/network/ReachabilitySource.h"

#include <vector>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/network/NetlinkReachabilitySource.h"

namespace platform {

namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<ReachabilitySource>& sharedSlot() {
    // Reset to none: the machine's own source is made again when next asked for.
    static NeverDestroyed<std::shared_ptr<ReachabilitySource>> source{
        ResetStage::Services, [](std::shared_ptr<ReachabilitySource>& s) {
            std::shared_ptr<ReachabilitySource> previous;
            std::lock_guard lock(sharedMutex());
            previous.swap(s);
        }};
    return *source;
}

}  // namespace

std::shared_ptr<ReachabilitySource> ReachabilitySource::shared() {
    std::lock_guard lock(sharedMutex());
    if (!sharedSlot()) sharedSlot() = std::make_shared<NetlinkReachabilitySource>();
    return sharedSlot();
}

std::shared_ptr<ReachabilitySource> ReachabilitySource::setShared(std::shared_ptr<ReachabilitySource> source) {
    std::lock_guard lock(sharedMutex());
    std::shared_ptr<ReachabilitySource> previous = std::move(sharedSlot());
    sharedSlot() = std::move(source);
    return previous;
}

ReachabilitySource::WatchToken ReachabilitySource::watch(std::function<void()> changed) {
    std::uint64_t id;
    bool first;
    {
        std::lock_guard lock(mutex_);
        id = nextWatcher_++;
        first = watchers_.empty();
        watchers_.emplace(id, std::make_shared<std::function<void()>>(std::move(changed)));
    }
    if (first) firstWatcherAdded();
    // A token that outlives its source has nothing left to remove itself from.
    std::weak_ptr<ReachabilitySource> weakSelf = weak_from_this();
    return WatchToken(nullptr, [weakSelf, id](void*) {
        if (auto self = weakSelf.lock()) self->unwatch(id);
    });
}

std::size_t ReachabilitySource::watcherCount() const {
    std::lock_guard lock(mutex_);
    return watchers_.size();
}

void ReachabilitySource::unwatch(std::uint64_t id) {
    bool last;
    std::shared_ptr<std::function<void()>> doomed;  // destroyed unlocked: it may hold the last token of another
    {
        std::lock_guard lock(mutex_);
        auto it = watchers_.find(id);
        if (it == watchers_.end()) return;
        doomed = std::move(it->second);
        watchers_.erase(it);
        last = watchers_.empty();
    }
    if (last) lastWatcherRemoved();
}

void ReachabilitySource::changed() {
    {
        std::lock_guard lock(mutex_);
        if (deliveryPending_) return;
        deliveryPending_ = true;
    }
    std::weak_ptr<ReachabilitySource> weakSelf = weak_from_this();
    RunLoop::main().post([weakSelf] {
        if (auto self = weakSelf.lock()) self->deliver();
    });
}

void ReachabilitySource::deliver() {
    std::vector<std::uint64_t> ids;
    {
        std::lock_guard lock(mutex_);
        deliveryPending_ = false;
        for (const auto& [id, callback] : watchers_) ids.push_back(id);
    }
    // Looked up one by one: a watcher may drop another's token from its callback.
    for (std::uint64_t id : ids) {
        std::shared_ptr<std::function<void()>> callback;
        {
            std::lock_guard lock(mutex_);
            auto it = watchers_.find(id);
            if (it == watchers_.end()) continue;
            callback = it->second;
        }
        (*callback)();
    }
}

std::optional<ReachabilityFlags> ScriptedReachabilitySource::flagsFor(ReachabilityTarget target) {
    const ReachabilityFlags flags = this->flags();
    if (target == ReachabilityTarget::Internet) return flags;
    const bool wifi = (flags & kReachabilityFlagsReachable) && !(flags & kReachabilityFlagsIsWWAN);
    return wifi ? kReachabilityFlagsReachable | kReachabilityFlagsIsDirect : 0;
}

void ScriptedReachabilitySource::setFlags(ReachabilityFlags flags) {
    {
        std::lock_guard lock(flagsMutex_);
        flags_ = flags;
    }
    changed();
}

ReachabilityFlags ScriptedReachabilitySource::flags() const {
    std::lock_guard lock(flagsMutex_);
    return flags_;
}

}  // namespace platform
