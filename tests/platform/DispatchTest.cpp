#include "platform/foundation/Dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"
#include "tests/support/ExitOrder.h"

using namespace platform;
using namespace std::chrono_literals;

TEST(DispatchManualExecutor, RunsOnlyWhenAskedInOrderIncludingWorkQueuedMeanwhile) {
    ManualExecutor executor;
    std::vector<int> order;
    executor.async([&] {
        order.push_back(1);
        executor.async([&] { order.push_back(3); });
    });
    executor.async([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(executor.pending(), 2u);
    EXPECT_TRUE(executor.runOne());
    EXPECT_EQ(order, (std::vector<int>{1}));
    EXPECT_EQ(executor.runAll(), 2u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(executor.runOne());
    executor.async(nullptr);
    EXPECT_EQ(executor.pending(), 0u);
}

TEST(DispatchThreadPool, DestructionFinishesQueuedWorkIncludingWorkItQueues) {
    std::atomic<int> done{0};
    {
        ThreadPool pool(4);
        for (int i = 0; i < 500; ++i) {
            pool.async([&, i] {
                ++done;
                if (i >= 490) pool.async([&] { ++done; });
            });
        }
    }
    EXPECT_EQ(done.load(), 510);
}

TEST(DispatchThreadPool, RunsWorkInParallelOffTheCallingThread) {
    ThreadPool pool(2);
    std::promise<void> firstStarted, secondStarted;
    std::promise<std::thread::id> where;
    pool.async([&] {
        firstStarted.set_value();
        secondStarted.get_future().wait();
        where.set_value(std::this_thread::get_id());
    });
    // Only a second worker can let the first task finish.
    pool.async([&] { secondStarted.set_value(); });
    auto id = where.get_future();
    ASSERT_EQ(id.wait_for(10s), std::future_status::ready);
    EXPECT_NE(id.get(), std::this_thread::get_id());
}

TEST(DispatchThreadPool, AThrowingTaskIsLoggedAndTheWorkerCarriesOn) {
    LogCapture capture;
    std::promise<void> after;
    {
        ThreadPool pool(1);
        pool.async([] { throw std::runtime_error("bad task"); });
        pool.async([&] { after.set_value(); });
    }
    EXPECT_EQ(after.get_future().wait_for(0s), std::future_status::ready);
    EXPECT_TRUE(capture.contains("bad task"));
}

TEST(DispatchSerialQueue, RunsOneAtATimeInOrderOnItsOwnThread) {
    std::vector<int> order;
    std::atomic<int> inside{0};
    bool overlapped = false, current = true;
    {
        SerialQueue queue("com.example.serial");
        EXPECT_EQ(queue.label(), "com.example.serial");
        EXPECT_FALSE(queue.isCurrent());
        for (int i = 0; i < 200; ++i) {
            queue.async([&, i] {
                if (++inside != 1) overlapped = true;
                order.push_back(i);
                current = current && queue.isCurrent();
                --inside;
            });
        }
    }
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
    EXPECT_TRUE(current);
}

TEST(DispatchSerialQueue, WorkMeantForOneQueueAssertsItRunsThere) {
    auto refused = [](const char* label) {
        try {
            assertOnSerialQueue(label, "frame");
            return false;
        } catch (const AssertionFailure&) {
            return true;
        }
    };
    SerialQueue queue("com.example.capture");
    EXPECT_EQ(SerialQueue::current(), nullptr);
    EXPECT_TRUE(refused("com.example.capture"));
    std::promise<std::vector<bool>> seen;
    queue.async([&] {
        seen.set_value({SerialQueue::current() == &queue, refused("com.example.capture"), refused("com.example.other")});
    });
    EXPECT_EQ(seen.get_future().get(), (std::vector<bool>{true, false, true}));
}

TEST(DispatchGlobalQueue, ATestExecutorTakesOverEvenThroughAnEarlierReference) {
    Executor& global = globalQueue();
    auto manual = std::make_shared<ManualExecutor>();
    auto previous = setGlobalQueue(manual);
    ASSERT_NE(previous, nullptr);
    bool ran = false;
    global.async([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(manual->runAll(), 1u);
    EXPECT_TRUE(ran);
    EXPECT_EQ(setGlobalQueue(nullptr), manual);

    std::promise<bool> onWorker;
    globalQueue().async([&] { onWorker.set_value(true); });
    auto result = onWorker.get_future();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(manual->pending(), 0u);
}

TEST(DispatchGlobalQueue, AtExitARunningTaskEndsBeforeEarlierStaticsAreDestroyed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(testing_support::exitWhileWorkRuns(
                    [](std::function<void()> work) { globalQueue().async(std::move(work)); }),
                ::testing::ExitedWithCode(0), "");
}
