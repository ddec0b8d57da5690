#include "platform/foundation/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"

using platform::Thread;

namespace {

// Waits (really) until `done` answers true, at most `seconds`; for what only
// the passing of real time can bring.
bool eventually(const std::function<bool()>& done, double seconds = 5.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// Holds the thread inside one task until opened, so what callers do meanwhile
// is seen to return without waiting for it.
class Gate {
public:
    void block(Thread& thread) {
        thread.post([opened = opened_] { opened.wait(); });
    }
    void open() { open_.set_value(); }

private:
    std::promise<void> open_;
    std::shared_future<void> opened_ = open_.get_future().share();
};

}  // namespace

TEST(ThreadWork, RunsOnItsOwnThreadFirstInFirstOut) {
    Thread thread("worker");
    EXPECT_EQ(thread.name(), "worker");
    EXPECT_FALSE(thread.isCurrent());

    std::vector<int> order;
    std::vector<bool> onThread;
    for (int i = 0; i < 100; ++i) {
        thread.post([&, i] {
            order.push_back(i);
            onThread.push_back(thread.isCurrent());
        });
    }
    thread.sync();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[i], i);
        EXPECT_TRUE(onThread[i]);
    }
}

TEST(ThreadWork, WorkPostedFromTheThreadItselfRunsAfterTheCurrentTask) {
    Thread thread("worker");
    std::vector<std::string> order;
    thread.post([&] {
        thread.post([&] { order.push_back("inner"); });
        thread.sync();  // on its own thread: returns instead of waiting for itself
        order.push_back("outer");
    });
    thread.sync();
    thread.sync();
    EXPECT_EQ(order, (std::vector<std::string>{"outer", "inner"}));
}

TEST(ThreadWork, KeepsEachPostersOrderUnderConcurrentPosting) {
    Thread thread("worker");
    constexpr int kPosters = 4;
    constexpr int kEach = 500;
    std::vector<std::vector<int>> seen(kPosters);  // touched on the worker only
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            for (int i = 0; i < kEach; ++i) thread.post([&seen, p, i] { seen[p].push_back(i); });
        });
    }
    for (auto& poster : posters) poster.join();
    thread.sync();
    for (int p = 0; p < kPosters; ++p) {
        ASSERT_EQ(seen[p].size(), static_cast<std::size_t>(kEach));
        for (int i = 0; i < kEach; ++i) EXPECT_EQ(seen[p][i], i);
    }
}

TEST(ThreadWork, AThrowingTaskIsLoggedAndTheLoopGoesOn) {
    platform::LogCapture log;
    Thread thread("worker");
    bool after = false;
    thread.post([] { throw std::runtime_error("boom"); });
    thread.post([&] { after = true; });
    thread.sync();
    EXPECT_TRUE(after);
    EXPECT_TRUE(log.contains("THREAD worker: a task failed: boom"));
}

TEST(ThreadLifetime, TheDestructorRunsWorkPostedBeforeAndDropsTimers) {
    std::atomic<int> ran{0};
    std::atomic<bool> timerRan{false};
    auto captured = std::make_shared<int>(0);
    {
        Thread thread("worker");
        Gate gate;
        gate.block(thread);
        for (int i = 0; i < 5; ++i) thread.post([&] { ++ran; });
        thread.after(3600, [&, captured] { timerRan = true; });
        gate.open();
    }
    EXPECT_EQ(ran.load(), 5);
    EXPECT_FALSE(timerRan.load());
    EXPECT_EQ(captured.use_count(), 1);  // the dropped timer's task was destroyed
}

TEST(ThreadLifetime, CanBeDestroyedFromItsOwnThread) {
    auto thread = std::make_shared<Thread>("worker");
    std::promise<void> released;
    Thread* raw = thread.get();
    raw->post([thread = std::move(thread), &released]() mutable {
        thread.reset();  // the last owner lets go on the thread itself
        released.set_value();
    });
    EXPECT_EQ(released.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(ThreadLifetime, DestroyedOnItsOwnThreadItRunsTheWorkPostedBeforeWithinTheDestructor) {
    auto thread = std::make_shared<Thread>("worker");
    Thread* raw = thread.get();
    Gate gate;
    gate.block(*raw);
    std::atomic<bool> laterRan{false};
    std::promise<bool> ranBeforeTheDestructorReturned;
    raw->post([thread = std::move(thread), &laterRan, &ranBeforeTheDestructorReturned]() mutable {
        thread.reset();
        ranBeforeTheDestructorReturned.set_value(laterRan.load());
    });
    raw->post([&] { laterRan = true; });  // same turn, after the destroying task
    gate.open();
    auto answer = ranBeforeTheDestructorReturned.get_future();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(answer.get());
}

TEST(ThreadTimers, FireOnTheThreadWhenAManualClockReachesThem) {
    platform::ScopedManualClock clock;
    Thread thread("worker");
    std::atomic<int> fired{0};
    std::atomic<bool> onThread{false};
    thread.after(10, [&] {
        onThread = thread.isCurrent();
        ++fired;
    });

    clock->advance(9.5);
    thread.runDueTimers();
    EXPECT_EQ(fired.load(), 0);
    ASSERT_EQ(thread.timers().size(), 1u);
    EXPECT_DOUBLE_EQ(thread.timers()[0].fireAt, 1.0e9 + 10);
    EXPECT_DOUBLE_EQ(thread.timers()[0].interval, 0);

    clock->advance(0.5);
    thread.runDueTimers();
    EXPECT_EQ(fired.load(), 1);
    EXPECT_TRUE(onThread.load());
    EXPECT_TRUE(thread.timers().empty());
}

TEST(ThreadTimers, AnIdleThreadNoticesAManualClockMovingOnItsOwn) {
    platform::ScopedManualClock clock;
    Thread thread("worker");
    std::atomic<bool> fired{false};
    thread.after(5, [&] { fired = true; });
    clock->advance(5);
    EXPECT_TRUE(eventually([&] { return fired.load(); }));
}

TEST(ThreadTimers, FireOnTheRealClock) {
    Thread thread("worker");
    std::atomic<bool> fired{false};
    thread.after(0.01, [&] { fired = true; });
    EXPECT_TRUE(eventually([&] { return fired.load(); }));
}

TEST(ThreadTimers, CancelledTimersNeverFire) {
    platform::ScopedManualClock clock;
    Thread thread("worker");
    std::atomic<int> fired{0};
    Thread::TimerId first = thread.after(1, [&] { fired += 1; });
    thread.after(1, [&] { fired += 10; });
    Thread::TimerId repeating = thread.repeat(1, [&] { fired += 100; });
    thread.cancel(first);
    thread.cancel(repeating);
    thread.cancel(12345);  // unknown ids are ignored
    clock->advance(5);
    thread.runDueTimers();
    EXPECT_EQ(fired.load(), 10);
}

TEST(ThreadTimers, ARepeatingTimerFiresEachIntervalAndCoalescesMissedFirings) {
    platform::ScopedManualClock clock;
    Thread thread("worker");
    std::atomic<int> fired{0};
    thread.repeat(1000, [&] { ++fired; });
    ASSERT_EQ(thread.timers().size(), 1u);
    EXPECT_DOUBLE_EQ(thread.timers()[0].interval, 1000);

    clock->advance(1000);
    thread.runDueTimers();
    EXPECT_EQ(fired.load(), 1);
    EXPECT_DOUBLE_EQ(thread.timers().at(0).fireAt, 1.0e9 + 2000);

    clock->advance(3500);  // three firings missed: run once, then on from now
    thread.runDueTimers();
    EXPECT_EQ(fired.load(), 2);
    EXPECT_DOUBLE_EQ(thread.timers().at(0).fireAt, 1.0e9 + 5500);
}

TEST(ThreadTimers, ARepeatingTimerCancelledByItsOwnTaskStops) {
    platform::ScopedManualClock clock;
    Thread thread("worker");
    std::atomic<int> fired{0};
    Thread::TimerId id = 0;
    std::promise<void> idSet;
    std::shared_future<void> idKnown = idSet.get_future().share();
    id = thread.repeat(1, [&] {
        idKnown.wait();
        ++fired;
        thread.cancel(id);
    });
    idSet.set_value();
    clock->advance(1);
    thread.runDueTimers();
    clock->advance(1);
    thread.runDueTimers();
    EXPECT_EQ(fired.load(), 1);
    EXPECT_TRUE(thread.timers().empty());
}
