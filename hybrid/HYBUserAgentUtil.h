#pragma once
// The web view's own user agent, and the lock that serialises changes of the
// user agent the web view uses.
//
// The web view takes its user agent from the process-wide registered default
// "UserAgent" when a load starts. A container that wants its own user agent
// takes the lock, sets the default, starts its load and gives the lock back
// when that load finishes or fails, so no other container changes the default
// in between. The lock is logical, between containers on the main thread, not
// a thread lock: blocks run on the main thread, at once from acquireLock or
// later from releaseLock.
//
// Main thread only (asserted); only the cache is also cleared from whichever
// thread posts the locale change.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NotificationCenter.h"

namespace hybrid {

class HYBUserAgentUtil {
public:
    using LockBlock = std::function<void(long token)>;

    HYBUserAgentUtil() = delete;

    // The system web view's own user agent: cached for the process, stored in
    // the user defaults and measured again only when the device model, system
    // version or locale changed since it was stored.
    static std::string originalUserAgent();

    // Runs `block` with a fresh token now when the lock is free, else when it
    // is handed on. `owner`, when given, is whatever keeps the waiting block
    // worth running (its container): a waiting block whose owner is gone by
    // the time the lock reaches it is dropped and the lock goes to the next
    // one, so a container released while waiting cannot keep the lock forever.
    static void acquireLock(LockBlock block, std::weak_ptr<void> owner = {});
    // Gives the lock back and sets `token` to 0; a token of 0 does nothing.
    // A token other than the current one throws platform::AssertionFailure.
    static void releaseLock(long& token);
    // Registers {"UserAgent": userAgent} in the registration domain of the
    // standard defaults; `token` must be the current one (as in releaseLock).
    static void setUserAgentLockToken(const std::string& userAgent, long token);
    // Drops the cached user agent.
    static void onAppLocaleDidChange(const platform::Notification& notification);
};

}  // namespace hybrid
