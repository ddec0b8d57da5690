#include "platform/foundation/RunLoop.h"
#include "platform/foundation/NeverDestroyed.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Clock.h"

namespace platform {

namespace {

// Longest single condition-variable wait; an unbounded timeout is waited in
// slices of this so the chrono conversions never overflow.
constexpr double kLongestWait = 3600.0;

double sanitizedSeconds(double seconds) {
    return seconds > 0 ? seconds : 0.0;  // negative and NaN both mean "now"
}

}  // namespace

RunLoop::RunLoop() : owner_(std::this_thread::get_id()) {}

RunLoop& RunLoop::main() {
    // Never destroyed: worker threads may still post to it while the process exits.
    static NeverDestroyed<RunLoop> loop{ResetStage::PendingWork, [](RunLoop& l) { l.reset(); }};
    return *loop;
}

bool RunLoop::isMainThread() {
    return main().owner_.load(std::memory_order_acquire) == std::this_thread::get_id();
}

void RunLoop::bindToCurrentThread() {
    std::lock_guard lock(mutex_);
    owner_.store(std::this_thread::get_id(), std::memory_order_release);
}

void RunLoop::post(Task task) {
    if (!task) return;
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

RunLoop::TimerId RunLoop::after(double delay, Task task) {
    double fireAt = clock().now() + sanitizedSeconds(delay);
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextTimerId_++;
        if (task) {
            timers_.emplace(id, Timer{fireAt, id, std::move(task)});
            timerOrder_.emplace(fireAt, id);
        }
    }
    wake_.notify_all();
    return id;
}

void RunLoop::cancel(TimerId id) {
    Task doomed;  // destroyed after unlocking: its captures may call back into the loop
    std::lock_guard lock(mutex_);
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    auto [first, last] = timerOrder_.equal_range(it->second.fireAt);
    for (auto o = first; o != last; ++o) {
        if (o->second == id) {
            timerOrder_.erase(o);
            break;
        }
    }
    doomed = std::move(it->second.task);
    timers_.erase(it);
}

bool RunLoop::hasDueTimerLocked(double now) const {
    return !timerOrder_.empty() && timerOrder_.begin()->first <= now;
}

bool RunLoop::runOnce() {
    assertMainThread("RunLoop::runOnce");

    std::deque<Task> batch;
    TimerId firstLaterTimer;
    {
        std::lock_guard lock(mutex_);
        batch.swap(tasks_);
        // Timers created from here on (after(0) inside this turn's work) wait for the next turn.
        firstLaterTimer = nextTimerId_;
    }
    bool ran = false;

    // If a task throws, the work it was queued with is not lost: it goes back
    // to the front of the queue, ahead of anything posted meanwhile.
    struct Requeue {
        RunLoop& loop;
        std::deque<Task>& batch;
        ~Requeue() {
            if (batch.empty()) return;
            std::lock_guard lock(loop.mutex_);
            loop.tasks_.insert(loop.tasks_.begin(), std::make_move_iterator(batch.begin()),
                               std::make_move_iterator(batch.end()));
        }
    } requeue{*this, batch};

    while (!batch.empty()) {
        Task task = std::move(batch.front());
        batch.pop_front();
        ran = true;
        task();
    }

    std::vector<TimerId> due;
    {
        double now = clock().now();
        std::lock_guard lock(mutex_);
        for (auto it = timerOrder_.begin(); it != timerOrder_.end() && it->first <= now; ++it) {
            if (it->second < firstLaterTimer) due.push_back(it->second);
        }
    }
    // Each timer is taken out only just before it runs, so an earlier timer of
    // this turn can still cancel a later one.
    for (TimerId id : due) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            auto it = timers_.find(id);
            if (it == timers_.end()) continue;
            auto [first, last] = timerOrder_.equal_range(it->second.fireAt);
            for (auto o = first; o != last; ++o) {
                if (o->second == id) {
                    timerOrder_.erase(o);
                    break;
                }
            }
            task = std::move(it->second.task);
            timers_.erase(it);
        }
        ran = true;
        task();
    }
    return ran;
}

bool RunLoop::runUntil(const std::function<bool()>& done, double timeout) {
    assertMainThread("RunLoop::runUntil");
    timeout = sanitizedSeconds(timeout);
    const double deadline = clock().now() + timeout;
    const auto realStart = std::chrono::steady_clock::now();
    auto realElapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    };

    for (;;) {
        if (done && done()) return true;

        auto* manual = dynamic_cast<ManualClock*>(&clock());
        double now = clock().now();
        // A manual clock stands still while work keeps coming, so real time
        // bounds the run as well; otherwise self-reposting work never times out.
        if (now >= deadline || (manual && realElapsed() >= timeout)) return false;

        if (runOnce()) continue;

        std::unique_lock lock(mutex_);
        if (!tasks_.empty()) continue;
        now = clock().now();
        if (hasDueTimerLocked(now)) continue;
        bool timerBeforeDeadline = !timerOrder_.empty() && std::isfinite(timerOrder_.begin()->first) &&
                                   timerOrder_.begin()->first <= deadline;

        if (manual) {
            if (timerBeforeDeadline) {
                // Jump straight to the next timer; the clock never moves backwards.
                double next = timerOrder_.begin()->first;
                if (next > now) manual->set(next);
                continue;
            }
            // Nothing will happen on the manual clock before the deadline;
            // only another thread can bring work now.
            double wait = std::min({timeout - realElapsed(), deadline - now, kLongestWait});
            bool quiet = wait <= 0 || wake_.wait_for(lock, std::chrono::duration<double>(wait)) ==
                                          std::cv_status::timeout;
            // Time is up: the manual clock has seen the whole timeout pass too.
            if (quiet && tasks_.empty() && realElapsed() >= timeout && std::isfinite(deadline) &&
                !hasDueTimerLocked(clock().now()) && clock().now() < deadline) {
                manual->set(deadline);
            }
            continue;
        }

        double wake = timerBeforeDeadline ? timerOrder_.begin()->first : deadline;
        double wait = std::min(wake - now, kLongestWait);
        if (wait > 0) wake_.wait_for(lock, std::chrono::duration<double>(wait));
    }
}

void RunLoop::drain() {
    assertMainThread("RunLoop::drain");
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty() && !hasDueTimerLocked(clock().now())) return;
        }
        runOnce();
    }
}

std::size_t RunLoop::pendingTimers() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

std::size_t RunLoop::pendingTasks() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

void RunLoop::reset() {
    // Destroyed after unlocking: captured objects may post or cancel from their destructors.
    std::deque<Task> tasks;
    std::map<TimerId, Timer> timers;
    {
        std::lock_guard lock(mutex_);
        tasks.swap(tasks_);
        timers.swap(timers_);
        timerOrder_.clear();
    }
}

void assertMainThread(const char* what) {
    if (RunLoop::isMainThread()) return;
    throw AssertionFailure(std::string(what ? what : "this") + " may only be used on the main thread");
}

}  // namespace platform
