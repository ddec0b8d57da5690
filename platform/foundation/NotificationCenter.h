#pragma once
// The notification centre: named broadcasts inside the process.
//
// Delivery is synchronous, on the posting thread, in registration order.
// An observer is known by its identity (any pointer, usually `this`); it may
// filter on a sender's identity or take every sender. Registration and removal
// are thread-safe, and an observer removed while a notification is being
// delivered (even by its own callback) is not called afterwards.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace platform {

struct Notification {
    std::string name;
    const void* sender = nullptr;  // the posting object's identity, or null
    std::any object;               // what the notification carries (a URL, a view, ...)
    Value userInfo;
};

class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // `sender` null: notifications of that name from any sender.
    void addObserver(const void* observer, std::string name, const void* sender, Callback callback);
    // Removes every registration of the observer.
    void removeObserver(const void* observer);
    // Removes the observer's registrations for that name (and sender, when given).
    void removeObserver(const void* observer, const std::string& name, const void* sender = nullptr);

    void post(const Notification& notification);
    void post(std::string name, const void* sender = nullptr, std::any object = {}, Value userInfo = {});

    std::size_t observerCount() const;

private:
    struct Registration {
        const void* observer;
        std::string name;
        const void* sender;
        Callback callback;
        std::shared_ptr<bool> alive;  // cleared on removal; read under mutex_
    };
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
};

}  // namespace platform
