#pragma once
// Named spans of wall-clock time, each written to the log when it ends. The
// container times its start-up plugins with it ("TotalPluginStartup").
//
// One shared instance per process, created on first use from any thread; its
// span table belongs to the main thread. Time comes from platform::clock(), so
// tests measure spans on a manual clock.

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/foundation/Value.h"

namespace hybrid {

class HYBTimerItem {
public:
    HYBTimerItem(std::string name, platform::Date started) : name_(std::move(name)), started_(started) {}

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    platform::Date started() const { return started_; }
    void setStarted(platform::Date started) { started_ = started; }
    // Nothing while the span runs.
    const std::optional<platform::Date>& ended() const { return ended_; }
    void setEnded(std::optional<platform::Date> ended) { ended_ = ended; }

    // "[HYBTimer][<name>] <milliseconds>ms".
    void log() const;

private:
    std::string name_;
    platform::Date started_;
    std::optional<platform::Date> ended_;
};

class HYBTimer {
public:
    HYBTimer();
    HYBTimer(const HYBTimer&) = delete;
    HYBTimer& operator=(const HYBTimer&) = delete;

    static HYBTimer& sharedInstance();
    static void start(const std::string& name);
    static void stop(const std::string& name);
    static void clearAll();

    // Names that differ only in letter case name the same span; the span keeps
    // the spelling it was started with.
    void add(const std::string& name);
    void remove(const std::string& name);
    void removeAll();

    // Running spans by lower-cased name.
    const std::unordered_map<std::string, std::shared_ptr<HYBTimerItem>>& items() const { return items_; }

private:
    std::unordered_map<std::string, std::shared_ptr<HYBTimerItem>> items_;
};

}  // namespace hybrid
