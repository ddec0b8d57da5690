#include "platform/foundation/Thread.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <map>
#include <mutex>
#include <utility>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {

// Longest single wait, so the chrono conversions never overflow and a clock
// swapped in meanwhile is looked at again eventually.
constexpr double kLongestWait = 3600.0;
// How often an idle loop looks at a ManualClock, which cannot wake anyone when it moves.
constexpr double kManualClockPoll = 0.005;
// A repeating timer of no interval would keep the thread busy firing it.
constexpr double kShortestInterval = 0.001;

double sanitizedDelay(double seconds) {
    return seconds > 0 ? seconds : 0.0;  // negative and NaN both mean "now"
}

}  // namespace

struct Thread::State {
    struct Timer {
        double fireAt = 0;
        double interval = 0;
        Task task;
    };

    explicit State(std::string n) : name(std::move(n)) {}

    const std::string name;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Task> tasks;
    // The turn's work taken from `tasks`; touched on the thread only.
    std::deque<Task> batch;
    std::map<TimerId, Timer> timers;
    std::multimap<double, TimerId> order;
    TimerId nextTimerId = 1;
    // The repeating timer whose task is running, and whether it was cancelled meanwhile.
    TimerId firing = 0;
    bool firingCancelled = false;
    bool stopping = false;

    // Notifies before unlocking: once the lock is free the task may run and
    // destroy the thread (and this state) before a later notify could happen.
    bool post(Task task) {
        std::lock_guard lock(mutex);
        if (stopping) return false;
        tasks.push_back(std::move(task));
        wake.notify_all();
        return true;
    }

    TimerId addTimer(double delay, double interval, Task task) {
        const double fireAt = clock().now() + sanitizedDelay(delay);
        std::lock_guard lock(mutex);
        const TimerId id = nextTimerId++;
        if (!task) return id;
        timers.emplace(id, Timer{fireAt, interval, std::move(task)});
        order.emplace(fireAt, id);
        wake.notify_all();
        return id;
    }

    void unorderLocked(TimerId id, double fireAt) {
        auto [first, last] = order.equal_range(fireAt);
        for (auto it = first; it != last; ++it) {
            if (it->second == id) {
                order.erase(it);
                return;
            }
        }
    }

    bool hasDueTimerLocked(double now) const { return !order.empty() && order.begin()->first <= now; }

    // Runs the rest of this turn's work, then what was queued before the
    // thread began stopping (nothing can be queued after). On the thread only.
    void runRemainingWork() {
        for (;;) {
            if (batch.empty()) {
                std::lock_guard lock(mutex);
                if (tasks.empty()) return;
                batch.swap(tasks);
            }
            Task task = std::move(batch.front());
            batch.pop_front();
            runGuarded(task);
        }
    }

    void runGuarded(Task& task) {
        try {
            task();
        } catch (const std::exception& e) {
            log("THREAD " + name + ": a task failed: " + e.what());
        } catch (...) {
            log("THREAD " + name + ": a task failed");
        }
    }

    // Fires the timers due now that existed before `firstLater` was handed
    // out, so a timer set for "now" by one of them waits for the next turn.
    void fireDueTimers(TimerId firstLater) {
        std::vector<TimerId> due;
        {
            const double now = clock().now();
            std::lock_guard lock(mutex);
            if (stopping) return;
            for (auto it = order.begin(); it != order.end() && it->first <= now; ++it) {
                if (it->second < firstLater) due.push_back(it->second);
            }
        }
        // Each timer is taken out only just before it runs, so an earlier
        // timer of this turn can still cancel a later one.
        for (TimerId id : due) {
            Timer timer;
            {
                std::lock_guard lock(mutex);
                if (stopping) return;  // an earlier timer stopped the thread
                auto it = timers.find(id);
                if (it == timers.end()) continue;
                unorderLocked(id, it->second.fireAt);
                timer = std::move(it->second);
                timers.erase(it);
                firing = id;
                firingCancelled = false;
            }
            runGuarded(timer.task);
            Task finished;  // destroyed unlocked: its captures may post or cancel
            {
                std::lock_guard lock(mutex);
                firing = 0;
                if (timer.interval > 0 && !firingCancelled && !stopping) {
                    const double now = clock().now();
                    double next = timer.fireAt + timer.interval;
                    if (next <= now) next = now + timer.interval;
                    order.emplace(next, id);
                    timers.emplace(id, Timer{next, timer.interval, std::move(timer.task)});
                } else {
                    finished = std::move(timer.task);
                }
            }
        }
    }
};

Thread::Thread(std::string name) : state_(std::make_shared<State>(std::move(name))) {
    thread_ = std::thread(&Thread::loop, state_);
}

Thread::~Thread() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        // A thread cannot join itself, so the work a join would wait for runs
        // here: none of it may run once the owner, whose members it reads, is
        // gone. After that the loop touches only its own reference to the
        // state, so letting it finish on its own is safe.
        state_->runRemainingWork();
        thread_.detach();
    } else {
        thread_.join();
    }
}

const std::string& Thread::name() const {
    return state_->name;
}

bool Thread::isCurrent() const {
    return thread_.get_id() == std::this_thread::get_id();
}

void Thread::post(Task task) {
    if (task) state_->post(std::move(task));
}

Thread::TimerId Thread::after(double delay, Task task) {
    return state_->addTimer(delay, 0, std::move(task));
}

Thread::TimerId Thread::repeat(double interval, Task task) {
    if (!(interval >= kShortestInterval)) interval = kShortestInterval;
    return state_->addTimer(interval, interval, std::move(task));
}

void Thread::cancel(TimerId id) {
    Task doomed;  // destroyed after unlocking: its captures may call back into the thread
    std::lock_guard lock(state_->mutex);
    if (state_->firing == id) state_->firingCancelled = true;
    auto it = state_->timers.find(id);
    if (it == state_->timers.end()) return;
    state_->unorderLocked(id, it->second.fireAt);
    doomed = std::move(it->second.task);
    state_->timers.erase(it);
}

std::vector<Thread::TimerInfo> Thread::timers() const {
    std::lock_guard lock(state_->mutex);
    std::vector<TimerInfo> list;
    list.reserve(state_->order.size());
    for (const auto& [fireAt, id] : state_->order) list.push_back({id, fireAt, state_->timers.at(id).interval});
    return list;
}

void Thread::sync() {
    if (isCurrent()) return;
    std::promise<void> done;
    std::future<void> ran = done.get_future();
    if (state_->post([&done] { done.set_value(); })) ran.wait();
}

void Thread::runDueTimers() {
    State& state = *state_;
    auto fire = [&state] {
        TimerId firstLater;
        {
            std::lock_guard lock(state.mutex);
            firstLater = state.nextTimerId;
        }
        state.fireDueTimers(firstLater);
    };
    if (isCurrent()) {
        fire();
        return;
    }
    std::promise<void> done;
    std::future<void> ran = done.get_future();
    if (state_->post([&fire, &done] {
            fire();
            done.set_value();
        })) {
        ran.wait();
    }
}

// Waits until there is work or a due timer (true) or the thread stops with
// nothing left queued (false).
bool Thread::waitForTurnLocked(State& state, std::unique_lock<std::mutex>& lock) {
    for (;;) {
        if (!state.tasks.empty()) return true;
        if (state.stopping) return false;
        const double now = clock().now();
        if (state.hasDueTimerLocked(now)) return true;
        double wait = kLongestWait;
        if (clock().isManual()) {
            wait = kManualClockPoll;
        } else if (!state.order.empty()) {
            wait = std::min(state.order.begin()->first - now, kLongestWait);
        }
        state.wake.wait_for(lock, std::chrono::duration<double>(wait));
    }
}

void Thread::loop(std::shared_ptr<State> state) {
    // The system keeps at most 15 characters of a thread's name.
    pthread_setname_np(pthread_self(), state->name.substr(0, 15).c_str());

    for (;;) {
        TimerId firstLater;
        {
            std::unique_lock lock(state->mutex);
            if (!waitForTurnLocked(*state, lock)) break;
            state->batch.swap(state->tasks);
            firstLater = state->nextTimerId;
        }
        while (!state->batch.empty()) {
            Task task = std::move(state->batch.front());
            state->batch.pop_front();
            state->runGuarded(task);
        }
        state->fireDueTimers(firstLater);
    }

    std::map<TimerId, State::Timer> dropped;  // destroyed unlocked, on this thread
    std::lock_guard lock(state->mutex);
    dropped.swap(state->timers);
    state->order.clear();
}

}  // namespace platform
