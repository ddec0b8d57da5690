#pragma once
// Dispatch queues: where work that must not hold the main thread runs.
//
// The global default-priority queue is a fixed pool of worker threads; tests
// install a ManualExecutor in its place and decide themselves when work runs.
// A SerialQueue is one worker thread running its work in order.
// Work posted to the main thread goes through RunLoop::main().post().

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class Executor {
public:
    using Task = std::function<void()>;
    virtual ~Executor() = default;
    // Runs `task` later, never inline.
    virtual void async(Task task) = 0;
};

class ThreadPool final : public Executor {
public:
    explicit ThreadPool(unsigned threads);
    ~ThreadPool() override;  // finishes queued work, then joins
    void async(Task task) override;

private:
    friend class GlobalQueue;
    void work();
    // For a pool that lives until the process exits: drops the work not yet
    // started and joins the workers once their running tasks end. Workers
    // still busy after `patience` seconds are logged and let go, so exit never hangs.
    void stopAtExit(double patience);
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable left_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    bool abandoned_ = false;
    std::size_t workersLeft_ = 0;
    std::vector<std::thread> workers_;
};

// Work waits until the test runs it, on the test's own thread.
class ManualExecutor final : public Executor {
public:
    void async(Task task) override;
    // Runs the oldest task; false when none was queued.
    bool runOne();
    // Runs tasks until none is left, including ones queued meanwhile; returns how many ran.
    std::size_t runAll();
    std::size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::deque<Task> tasks_;
};

class SerialQueue final : public Executor {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue() override;  // finishes queued work, then joins
    void async(Task task) override;
    const std::string& label() const { return label_; }
    // Whether the calling thread is this queue's worker.
    bool isCurrent() const;
    // The serial queue whose worker is the calling thread; nullptr elsewhere.
    static const SerialQueue* current();

private:
    std::string label_;
    ThreadPool pool_;
};

// Fails with an AssertionFailure unless the calling thread is the worker of a
// serial queue labelled `label`; for work that only such a queue may run (the
// sibling of assertMainThread).
void assertOnSerialQueue(const std::string& label, const char* what);

// The global default-priority queue.
Executor& globalQueue();
// Installs an executor in its place (nullptr restores the pool); returns the one replaced.
std::shared_ptr<Executor> setGlobalQueue(std::shared_ptr<Executor> executor);
// At exit the pool joins its workers before the statics their work reads are
// destroyed. Work that waits on what only a running process brings (a turn of
// the main run loop, a peer's answer) registers here how to cut the wait
// short; these run at exit, before the pool waits for its running tasks.
void atGlobalQueueExit(std::function<void()> interrupt);

}  // namespace platform
