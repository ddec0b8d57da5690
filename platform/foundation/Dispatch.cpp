#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NeverDestroyed.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {

// How long exit waits for tasks already running on the global queue.
constexpr double kExitPatience = 2.0;

// A worker thread has nobody to hand an exception to, and letting it escape
// would end the process; the log is the best place left for it.
void runGuarded(Executor::Task& task) {
    try {
        task();
    } catch (const std::exception& e) {
        logf("dispatch: a queued task threw: %s", e.what());
    } catch (...) {
        log("dispatch: a queued task threw a non-standard exception");
    }
}

}  // namespace

ThreadPool::ThreadPool(unsigned threads) {
    threads = std::max(1u, threads);
    workers_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
}

void ThreadPool::async(Task task) {
    if (!task) return;
    {
        std::lock_guard lock(mutex_);
        if (!abandoned_) {
            tasks_.push_back(std::move(task));
            task = nullptr;
        }
    }
    // An abandoned pool drops the task here, outside the lock.
    wake_.notify_one();
}

void ThreadPool::work() {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (abandoned_ || tasks_.empty()) {
                ++workersLeft_;
                left_.notify_all();
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        runGuarded(task);
    }
}

void ThreadPool::stopAtExit(double patience) {
    std::deque<Task> dropped;
    {
        std::lock_guard lock(mutex_);
        abandoned_ = stopping_ = true;
        dropped.swap(tasks_);
    }
    wake_.notify_all();
    dropped.clear();  // unlocked: their captures may log or post

    std::vector<std::thread> workers;
    std::size_t busy = 0;
    {
        std::unique_lock lock(mutex_);
        left_.wait_for(lock, std::chrono::duration<double>(patience),
                       [this] { return workersLeft_ == workers_.size(); });
        busy = workers_.size() - workersLeft_;
        workers.swap(workers_);
    }
    if (busy == 0) {
        for (auto& worker : workers) worker.join();
        return;
    }
    logf("dispatch: %zu task(s) still running at exit after %g s; their threads are not waited for", busy, patience);
    for (auto& worker : workers) worker.detach();
}

void ManualExecutor::async(Task task) {
    if (!task) return;
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
}

bool ManualExecutor::runOne() {
    Task task;
    {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
    return true;
}

std::size_t ManualExecutor::runAll() {
    std::size_t ran = 0;
    while (runOne()) ++ran;
    return ran;
}

std::size_t ManualExecutor::pending() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

namespace {

// Set by a serial queue's worker before any of its work runs.
thread_local const SerialQueue* currentSerialQueue = nullptr;

}  // namespace

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)), pool_(1) {
    // The pool's one worker runs this before anything queued later.
    pool_.async([this] { currentSerialQueue = this; });
}

SerialQueue::~SerialQueue() = default;

void SerialQueue::async(Task task) {
    pool_.async(std::move(task));
}

bool SerialQueue::isCurrent() const {
    return currentSerialQueue == this;
}

const SerialQueue* SerialQueue::current() {
    return currentSerialQueue;
}

void assertOnSerialQueue(const std::string& label, const char* what) {
    const SerialQueue* queue = SerialQueue::current();
    if (queue && queue->label() == label) return;
    throw AssertionFailure(std::string(what ? what : "this") + " may only be used on the " + label + " queue");
}

// Stands in for whichever executor is installed, so a reference obtained from
// globalQueue() stays valid when a test swaps the executor behind it.
class GlobalQueue final : public Executor {
public:
    static GlobalQueue& instance() {
        // Never destroyed: work may be posted while the process exits. The
        // reset puts the default pool back in place of an installed executor;
        // the pool itself, whose workers may still be running, is kept.
        static NeverDestroyed<GlobalQueue> queue{ResetStage::Foundation, [](GlobalQueue& q) { q.replace(nullptr); }};
        return *queue;
    }

    void async(Task task) override {
        std::shared_ptr<Executor> target;
        {
            std::lock_guard lock(mutex_);
            target = installed_ ? installed_ : defaultPoolLocked();
        }
        target->async(std::move(task));
    }

    void addExitInterrupt(std::function<void()> interrupt) {
        std::lock_guard lock(mutex_);
        exitInterrupts_.push_back(std::move(interrupt));
    }

    std::shared_ptr<Executor> replace(std::shared_ptr<Executor> executor) {
        std::lock_guard lock(mutex_);
        std::shared_ptr<Executor> previous = installed_ ? installed_ : defaultPoolLocked();
        installed_ = std::move(executor);
        return previous;
    }

private:
    std::shared_ptr<ThreadPool> defaultPoolLocked() {
        if (!pool_) {
            pool_ = std::make_shared<ThreadPool>(std::max(2u, std::thread::hardware_concurrency()));
            // At exit queued work would run against statics already destroyed,
            // and a running task must end before they go; so the pool drops
            // its queue, cuts short the waits registered for it and joins its
            // workers. The guard is constructed after whatever the first user
            // had built, so it runs before their destructors.
            static struct ExitGuard {
                ~ExitGuard() { GlobalQueue::instance().stopAtExit(); }
            } guard;
        }
        return pool_;
    }

    void stopAtExit() {
        std::vector<std::function<void()>> interrupts;
        std::shared_ptr<ThreadPool> pool;
        {
            std::lock_guard lock(mutex_);
            interrupts = exitInterrupts_;
            pool = pool_;
        }
        for (auto& interrupt : interrupts) interrupt();
        if (pool) pool->stopAtExit(kExitPatience);
    }

    std::mutex mutex_;
    std::shared_ptr<ThreadPool> pool_;
    std::shared_ptr<Executor> installed_;
    std::vector<std::function<void()>> exitInterrupts_;
};

Executor& globalQueue() {
    return GlobalQueue::instance();
}

std::shared_ptr<Executor> setGlobalQueue(std::shared_ptr<Executor> executor) {
    return GlobalQueue::instance().replace(std::move(executor));
}

void atGlobalQueueExit(std::function<void()> interrupt) {
    if (interrupt) GlobalQueue::instance().addExitInterrupt(std::move(interrupt));
}

}  // namespace platform
