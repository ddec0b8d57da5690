#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/NeverDestroyed.h"

#include <utility>

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: objects torn down at exit still remove their observers.
    // No reset: each observer is removed by its owner, and a process-wide
    // owner registers once, for the life of the process.
    static NeverDestroyed<NotificationCenter> center;
    return *center;
}

void NotificationCenter::addObserver(const void* observer, std::string name, const void* sender,
                                     Callback callback) {
    if (!callback) return;
    auto registration = std::make_shared<Registration>(
        Registration{observer, std::move(name), sender, std::move(callback), std::make_shared<bool>(true)});
    std::lock_guard lock(mutex_);
    registrations_.push_back(std::move(registration));
}

void NotificationCenter::removeObserver(const void* observer) {
    // Released after unlocking: a callback's captures may touch the centre as they go.
    std::vector<std::shared_ptr<Registration>> removed;
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& r) {
        if (r->observer != observer) return false;
        *r->alive = false;
        removed.push_back(r);
        return true;
    });
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name, const void* sender) {
    std::vector<std::shared_ptr<Registration>> removed;
    std::lock_guard lock(mutex_);
    std::erase_if(registrations_, [&](const std::shared_ptr<Registration>& r) {
        if (r->observer != observer || r->name != name) return false;
        if (sender && r->sender != sender) return false;
        *r->alive = false;
        removed.push_back(r);
        return true;
    });
}

void NotificationCenter::post(const Notification& notification) {
    // Observers registered during delivery wait for the next notification;
    // the snapshot also keeps each callback alive while it runs, even if its
    // registration is removed from inside it.
    std::vector<std::shared_ptr<Registration>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_) {
            if (r->name == notification.name && (!r->sender || r->sender == notification.sender)) {
                targets.push_back(r);
            }
        }
    }
    for (const auto& r : targets) {
        {
            std::lock_guard lock(mutex_);
            if (!*r->alive) continue;
        }
        r->callback(notification);
    }
}

void NotificationCenter::post(std::string name, const void* sender, std::any object, Value userInfo) {
    post(Notification{std::move(name), sender, std::move(object), std::move(userInfo)});
}

std::size_t NotificationCenter::observerCount() const {
    std::lock_guard lock(mutex_);
    return registrations_.size();
}

}  // namespace platform
