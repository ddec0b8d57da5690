#pragma once
// For death tests: whether a thread is stopped and joined at exit before the
// statics made earlier (as the main bundle or a registry) are destroyed.

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>

namespace testing_support {

struct ExitOrder {
    std::mutex mutex;
    std::condition_variable changed;
    bool workStarted = false, earlierStaticGone = false, workDone = false;

    static ExitOrder& shared() {
        static ExitOrder* order = new ExitOrder;  // never destroyed: the work reads it at exit
        return *order;
    }
};

// Makes a static, hands `start` work to run on the thread under test (which
// `start` may create) and exits once it runs: with status 0, or 3 when the
// work, still running, saw the static destroyed.
[[noreturn]] inline void exitWhileWorkRuns(const std::function<void(std::function<void()>)>& start) {
    ExitOrder& order = ExitOrder::shared();
    static struct EarlierStatic {
        ~EarlierStatic() {
            ExitOrder& o = ExitOrder::shared();
            std::unique_lock lock(o.mutex);
            o.earlierStaticGone = true;
            o.changed.notify_all();
            o.changed.wait_for(lock, std::chrono::seconds(5), [&] { return o.workDone; });
        }
    } earlier;
    start([] {
        ExitOrder& o = ExitOrder::shared();
        std::unique_lock lock(o.mutex);
        o.workStarted = true;
        o.changed.notify_all();
        o.changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return o.earlierStaticGone; });
        o.workDone = true;
        o.changed.notify_all();
        if (o.earlierStaticGone) ::_exit(3);
    });
    std::unique_lock lock(order.mutex);
    order.changed.wait_for(lock, std::chrono::seconds(5), [&] { return order.workStarted; });
    lock.unlock();
    std::exit(0);
}

}  // namespace testing_support
