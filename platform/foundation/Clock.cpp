#include "platform/foundation/Clock.h"
#include "platform/foundation/NeverDestroyed.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace platform {

double RealClock::now() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

namespace {

struct ClockState {
    std::mutex mutex;
    std::shared_ptr<Clock> real = std::make_shared<RealClock>();
    std::shared_ptr<Clock> installed = real;
    std::atomic<Clock*> current{real.get()};
    // clock() hands out plain references that another thread may still be
    // reading through when the clock is replaced, so a replaced clock is kept
    // alive for the life of the process. Clocks are tiny and tests install a
    // handful, so this costs nothing worth reclaiming.
    std::vector<std::shared_ptr<Clock>> retired;
};

ClockState& state() {
    // Never destroyed: timers and logs may read the clock during static destruction.
    // Reset to the real clock; the retired ones stay, as references to them may be held.
    static NeverDestroyed<ClockState> s{ResetStage::Foundation, [](ClockState& c) {
        std::lock_guard lock(c.mutex);
        c.installed = c.real;
        c.current.store(c.real.get(), std::memory_order_release);
    }};
    return *s;
}

}  // namespace

Clock& clock() {
    return *state().current.load(std::memory_order_acquire);
}

std::shared_ptr<Clock> setClock(std::shared_ptr<Clock> replacement) {
    ClockState& s = state();
    std::lock_guard lock(s.mutex);
    if (!replacement) replacement = s.real;
    std::shared_ptr<Clock> previous = std::move(s.installed);
    s.installed = std::move(replacement);
    s.current.store(s.installed.get(), std::memory_order_release);
    if (previous != s.real) s.retired.push_back(previous);
    return previous;
}

ScopedManualClock::ScopedManualClock(double start)
    : clock_(std::make_shared<ManualClock>(start)), previous_(setClock(clock_)) {}

ScopedManualClock::~ScopedManualClock() {
    setClock(previous_);
}

}  // namespace platform
