#pragma once
// A thread of its own with a run loop on it: the stand-in for a platform
// thread whose run loop a service keeps alive (the push client's thread).
// The main thread has RunLoop instead; this class is for every other loop.
//
// Any thread may post work or set timers; the work and the timers run only on
// this thread, in turns: first the work that was queued when the turn began,
// first in first out, then the timers due by then. Nothing runs inline inside
// post(), even when it is called from this thread. Work posted during a turn
// runs on the next one.
//
// Timers read the clock of Clock.h. Under a ManualClock the idle loop looks at
// the clock every few milliseconds, so advancing it fires what became due;
// runDueTimers() does the same deterministically and waits for it.
//
// The thread starts in the constructor. The destructor stops it: work posted
// before runs, later work and pending timers are dropped, then the thread is
// joined. When the destructor runs on the thread itself, that work runs inside
// it instead, and the thread is let go. A task that throws is logged and the loop goes on: there is no
// caller here to hand the exception to.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class Thread {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;

    struct TimerInfo {
        TimerId id;
        double fireAt;    // on the clock of Clock.h
        double interval;  // 0 for a timer that fires once
    };

    // Starts the thread; `name` names it in logs and in the system's thread list.
    explicit Thread(std::string name);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    const std::string& name() const;
    // Whether the calling thread is this one.
    bool isCurrent() const;

    // Queues work for the next turn. Safe from any thread; ignored once stopping.
    void post(Task task);
    // Runs `task` once, `delay` seconds from now. Safe from any thread.
    TimerId after(double delay, Task task);
    // Runs `task` every `interval` seconds from now until cancelled. Firings
    // missed while the thread was busy (or the clock jumped) are run once, not
    // caught up one by one, as the platform's repeating timers do.
    TimerId repeat(double interval, Task task);
    // Cancels a timer, also one whose task is running right now (it then
    // does not repeat); unknown or finished ids are ignored. Safe from any thread.
    void cancel(TimerId id);

    // Timers waiting to fire, soonest first. A repeating timer is missing from
    // the list only while its own task runs.
    std::vector<TimerInfo> timers() const;

    // Blocks until everything posted before the call has run. On this thread
    // itself it returns at once, since waiting for its own queue would never end.
    void sync();
    // Blocks until the timers due at the clock's present time have run (tests
    // call this after advancing a ManualClock). On this thread: runs them inline.
    void runDueTimers();

private:
    struct State;
    static void loop(std::shared_ptr<State> state);
    static bool waitForTurnLocked(State& state, std::unique_lock<std::mutex>& lock);
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace platform
