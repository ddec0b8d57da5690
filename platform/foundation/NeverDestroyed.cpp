#include "platform/foundation/NeverDestroyed.h"

#include <mutex>
#include <vector>

namespace platform {

namespace {

struct ResetEntry {
    ResetStage stage;
    void (*reset)(void*);
    void* object;
};

struct Resets {
    std::mutex mutex;
    std::vector<ResetEntry> entries;  // in the order the objects were built
};

Resets& resets() {
    // Held in the same never-destroyed storage as the objects it lists; a
    // reset of its own would forget them.
    static NeverDestroyed<Resets> instance;
    return *instance;
}

}  // namespace

void process_wide::registerReset(ResetStage stage, void (*reset)(void*), void* object) {
    Resets& r = resets();
    std::lock_guard lock(r.mutex);
    r.entries.push_back({stage, reset, object});
}

void resetAllProcessWideState() {
    // A copy, run without the lock: a reset may build another object, which
    // registers itself and is in its first state already.
    std::vector<ResetEntry> entries;
    {
        Resets& r = resets();
        std::lock_guard lock(r.mutex);
        entries = r.entries;
    }
    auto runStage = [&](ResetStage stage) {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (it->stage == stage) it->reset(it->object);
    };
    for (int stage = static_cast<int>(ResetStage::PendingWork); stage <= static_cast<int>(ResetStage::Foundation); ++stage)
        runStage(static_cast<ResetStage>(stage));
    runStage(ResetStage::PendingWork);
}

}  // namespace platform
