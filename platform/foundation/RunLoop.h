#pragma once
// The main run loop: the one loop that views, the web view, JavaScript
// evaluation, the command queue and plugin actions run on.
//
// It is bound to the main thread: the thread that first asks for it, or the
// one that calls bindToCurrentThread(). Any thread may post work; work runs
// only inside runOnce()/runUntil() on the main thread, first in first out,
// never inline inside post(). A turn runs the work that was queued when the
// turn began; work posted during a turn runs on the next turn. Timers fire on
// the clock of Clock.h: with a ManualClock, runUntil() jumps time forward to
// the next timer instead of sleeping.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace platform {

class RunLoop {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;

    static RunLoop& main();
    // Whether the calling thread is the main thread.
    static bool isMainThread();

    // Makes the calling thread the main thread (tests, the simulator's entry).
    void bindToCurrentThread();

    // Queues work for the next turn. Safe from any thread.
    void post(Task task);
    // Runs `task` once, `delay` seconds from now (0: the next turn). Safe from any thread.
    TimerId after(double delay, Task task);
    // Cancels a timer that has not fired yet; unknown or fired ids are ignored.
    void cancel(TimerId id);

    // One turn: the work queued before it began, then the timers that are due.
    // Returns whether anything ran. Main thread only.
    bool runOnce();
    // Runs turns until `done` answers true (checked before each turn) or
    // `timeout` seconds of the clock have passed; waits for work while idle.
    // Returns the last answer of `done`. Main thread only.
    bool runUntil(const std::function<bool()>& done, double timeout);
    // Runs turns while there is work ready now (no waiting, no timers in the future).
    void drain();

    // Number of timers not yet fired; work queued and not yet run.
    std::size_t pendingTimers() const;
    std::size_t pendingTasks() const;

    // Drops queued work and timers (tests use this between cases).
    void reset();

private:
    template <typename>
    friend class NeverDestroyed;
    RunLoop();
    bool hasDueTimerLocked(double now) const;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    struct Timer {
        double fireAt;
        TimerId id;
        Task task;
    };
    std::multimap<double, TimerId> timerOrder_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimerId_ = 1;
    // Read on every main-thread check, so without the lock.
    std::atomic<std::thread::id> owner_;
};

// Fails with an AssertionFailure when not on the main thread; for classes that
// only the main thread may touch.
void assertMainThread(const char* what);

}  // namespace platform
