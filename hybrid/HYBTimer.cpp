#include "hybrid/HYBTimer.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/Strings.h"

namespace hybrid {

namespace {
platform::Date now() { return platform::Date{platform::clock().sinceReferenceDate()}; }
}  // namespace

void HYBTimerItem::log() const {
    const double elapsed = ended_ ? ended_->sinceReferenceDate - started_.sinceReferenceDate : 0.0;
    platform::logf("[HYBTimer][%s] %fms", name_.c_str(), elapsed * 1000.0);
}

HYBTimer::HYBTimer() { items_.reserve(6); }

HYBTimer& HYBTimer::sharedInstance() {
    static platform::NeverDestroyed<HYBTimer> instance{platform::ResetStage::Application,
                                                       [](HYBTimer& t) { t.removeAll(); }};
    return *instance;
}

void HYBTimer::start(const std::string& name) { sharedInstance().add(name); }
void HYBTimer::stop(const std::string& name) { sharedInstance().remove(name); }
void HYBTimer::clearAll() { sharedInstance().removeAll(); }

void HYBTimer::add(const std::string& name) {
    const std::string key = platform::toLower(name);
    if (items_.count(key) != 0) {
        platform::logf("Timer called '%s' already exists.", name.c_str());
        return;
    }
    items_.emplace(key, std::make_shared<HYBTimerItem>(name, now()));
}

void HYBTimer::remove(const std::string& name) {
    auto it = items_.find(platform::toLower(name));
    if (it == items_.end()) {
        platform::logf("Timer called '%s' does not exist.", name.c_str());
        return;
    }
    it->second->setEnded(now());
    it->second->log();
    items_.erase(it);
}

void HYBTimer::removeAll() { items_.clear(); }

}  // namespace hybrid
