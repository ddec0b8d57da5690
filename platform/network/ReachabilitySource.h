#pragma once
// Where reachability answers come from: the machine's own network (the
// kernel's routing table and links, NetlinkReachabilitySource.h) or a script
// (the simulator and tests, ScriptedReachabilitySource below). One source is
// the process's current one; reachability handles take it when they are made.
//
// A source answers flags for one of two questions (can the internet be
// reached; is there a link-local Wi-Fi network) from any thread. Watchers
// hear about changes on the main thread, on a run-loop turn after the change,
// for as long as they keep the token watch() gave them; a token dropped
// before that turn is never called. Tokens are made and dropped on the main
// thread.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

using ReachabilityFlags = std::uint32_t;

inline constexpr ReachabilityFlags kReachabilityFlagsReachable = 1u << 1;
inline constexpr ReachabilityFlags kReachabilityFlagsConnectionRequired = 1u << 2;
inline constexpr ReachabilityFlags kReachabilityFlagsConnectionOnTraffic = 1u << 3;
inline constexpr ReachabilityFlags kReachabilityFlagsInterventionRequired = 1u << 4;
inline constexpr ReachabilityFlags kReachabilityFlagsConnectionOnDemand = 1u << 5;
inline constexpr ReachabilityFlags kReachabilityFlagsIsDirect = 1u << 17;
inline constexpr ReachabilityFlags kReachabilityFlagsIsWWAN = 1u << 18;

enum class ReachabilityTarget {
    Internet,   // any address beyond this machine
    LocalWiFi,  // the link-local network 169.254/16 on a wireless link
};

class ReachabilitySource : public std::enable_shared_from_this<ReachabilitySource> {
public:
    using WatchToken = std::shared_ptr<void>;

    virtual ~ReachabilitySource() = default;

    // Nothing when the network cannot be read.
    virtual std::optional<ReachabilityFlags> flagsFor(ReachabilityTarget target) = 0;

    // `changed` runs on the main thread after each change while the token is kept.
    WatchToken watch(std::function<void()> changed);
    std::size_t watcherCount() const;

    // The current source: the kernel's until another is installed.
    static std::shared_ptr<ReachabilitySource> shared();
    // Installs a source (nullptr: the kernel's again); answers the one replaced.
    static std::shared_ptr<ReachabilitySource> setShared(std::shared_ptr<ReachabilitySource> source);

protected:
    // Tells the watchers on a later main-thread turn; changes that come
    // before that turn are told once. Any thread.
    void changed();
    // Main thread: the kernel source watches the kernel only while someone watches it.
    virtual void firstWatcherAdded() {}
    virtual void lastWatcherRemoved() {}

private:
    void unwatch(std::uint64_t id);
    void deliver();

    mutable std::mutex mutex_;
    std::map<std::uint64_t, std::shared_ptr<std::function<void()>>> watchers_;
    std::uint64_t nextWatcher_ = 1;
    bool deliveryPending_ = false;
};

// A network that says what it is told: the simulator's scenarios and the
// tests set its flags. Each setFlags() tells the watchers, changed or not.
class ScriptedReachabilitySource final : public ReachabilitySource {
public:
    explicit ScriptedReachabilitySource(ReachabilityFlags flags = kReachabilityFlagsReachable) : flags_(flags) {}

    // The internet answers `flags`; local Wi-Fi is there (reachable, direct)
    // when they are reachable and not over the cellular network.
    std::optional<ReachabilityFlags> flagsFor(ReachabilityTarget target) override;
    void setFlags(ReachabilityFlags flags);
    ReachabilityFlags flags() const;

private:
    mutable std::mutex flagsMutex_;
    ReachabilityFlags flags_;
};

}  // namespace platform
