#include "platform/foundation/RunLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Clock.h"

using platform::RunLoop;

namespace {

RunLoop& loop() { return RunLoop::main(); }

double realSecondsOf(const std::function<void()>& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(RunLoopTurns, WorkRunsFirstInFirstOutAndNeverInline) {
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) loop().post([&order, i] { order.push_back(i); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(loop().pendingTasks(), 5u);
    EXPECT_TRUE(loop().runOnce());
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(loop().runOnce());
}

TEST(RunLoopTurns, WorkPostedDuringATurnWaitsForTheNextTurn) {
    std::vector<std::string> order;
    loop().post([&] {
        order.push_back("a");
        loop().post([&] { order.push_back("c"); });
    });
    loop().post([&] { order.push_back("b"); });
    loop().runOnce();
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b"}));
    loop().runOnce();
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(RunLoopTurns, AThrowingTaskKeepsTheRestOfItsTurnQueued) {
    std::vector<int> order;
    loop().post([&] { order.push_back(1); });
    loop().post([] { throw std::runtime_error("boom"); });
    loop().post([&] { order.push_back(3); });
    EXPECT_THROW(loop().runOnce(), std::runtime_error);
    loop().post([&] { order.push_back(4); });
    loop().runOnce();
    EXPECT_EQ(order, (std::vector<int>{1, 3, 4}));
}

TEST(RunLoopTurns, DrainRunsReadyWorkButNotFutureTimers) {
    platform::ScopedManualClock clock;
    int ran = 0;
    loop().post([&] { loop().post([&] { ++ran; }); });
    loop().after(0, [&] { ++ran; });
    loop().after(1, [&] { ++ran; });
    loop().drain();
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(loop().pendingTimers(), 1u);
}

TEST(RunLoopTurns, ResetDropsWorkAndTimers) {
    bool ran = false;
    loop().post([&] { ran = true; });
    loop().after(0, [&] { ran = true; });
    loop().reset();
    EXPECT_EQ(loop().pendingTasks(), 0u);
    EXPECT_EQ(loop().pendingTimers(), 0u);
    EXPECT_FALSE(loop().runOnce());
    EXPECT_FALSE(ran);
}

TEST(RunLoopTurns, EmptyTasksAndNonsenseDelaysAreHarmless) {
    loop().post(nullptr);
    loop().after(1, nullptr);
    int ran = 0;
    loop().after(std::nan(""), [&] { ++ran; });
    loop().after(-5, [&] { ++ran; });
    loop().runOnce();
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(loop().pendingTasks(), 0u);
}

TEST(RunLoopTimers, FireInDueOrderAsTheManualClockAdvances) {
    platform::ScopedManualClock clock;
    std::vector<std::string> fired;
    loop().after(2, [&] { fired.push_back("two"); });
    loop().after(1, [&] { fired.push_back("one"); });
    loop().after(1, [&] { fired.push_back("one again"); });
    EXPECT_FALSE(loop().runOnce());
    clock->advance(1);
    loop().runOnce();
    EXPECT_EQ(fired, (std::vector<std::string>{"one", "one again"}));
    clock->advance(1);
    loop().runOnce();
    EXPECT_EQ(fired.back(), "two");
    EXPECT_EQ(loop().pendingTimers(), 0u);
}

TEST(RunLoopTimers, AfterZeroFromInsideATurnFiresOnTheNextTurn) {
    platform::ScopedManualClock clock;
    int fired = 0;
    loop().post([&] { loop().after(0, [&] { ++fired; }); });
    loop().after(0, [&] { loop().after(0, [&] { ++fired; }); });
    loop().runOnce();
    EXPECT_EQ(fired, 0);
    loop().runOnce();
    EXPECT_EQ(fired, 2);
}

TEST(RunLoopTimers, CancelStopsATimerEvenFromAnEarlierTimerOfTheSameTurn) {
    platform::ScopedManualClock clock;
    bool late = false, other = false;
    RunLoop::TimerId victim = 0;
    loop().after(1, [&] { loop().cancel(victim); });
    victim = loop().after(1, [&] { late = true; });
    auto cancelled = loop().after(1, [&] { other = true; });
    loop().cancel(cancelled);
    loop().cancel(cancelled);  // already gone
    loop().cancel(987654);     // never existed
    clock->advance(1);
    loop().runOnce();
    EXPECT_FALSE(late);
    EXPECT_FALSE(other);
    EXPECT_EQ(loop().pendingTimers(), 0u);
}

TEST(RunLoopRunUntil, JumpsTheManualClockToEachTimerInTurn) {
    platform::ScopedManualClock clock(1000);
    std::vector<double> firedAt;
    loop().after(5, [&] { firedAt.push_back(clock->now()); });
    loop().after(30, [&] { firedAt.push_back(clock->now()); });
    EXPECT_TRUE(loop().runUntil([&] { return firedAt.size() == 2; }, 60));
    EXPECT_EQ(firedAt, (std::vector<double>{1005, 1030}));
    EXPECT_EQ(clock->now(), 1030);
}

TEST(RunLoopRunUntil, NeverMovesTheManualClockPastTheDeadline) {
    platform::ScopedManualClock clock(1000);
    bool fired = false;
    loop().after(10, [&] { fired = true; });
    EXPECT_FALSE(loop().runUntil([&] { return fired; }, 0.02));
    EXPECT_FALSE(fired);
    EXPECT_LE(clock->now(), 1000.02);
    EXPECT_EQ(loop().pendingTimers(), 1u);
}

TEST(RunLoopRunUntil, ChecksDoneBeforeRunningAnything) {
    bool ran = false;
    loop().post([&] { ran = true; });
    EXPECT_TRUE(loop().runUntil([] { return true; }, 10));
    EXPECT_FALSE(ran);
}

TEST(RunLoopRunUntil, TimesOutOnTheRealClock) {
    bool result = true;
    // On the clock the loop reads, so the deadline it kept is seen as it saw it.
    const double before = platform::clock().now();
    double took = realSecondsOf([&] { result = loop().runUntil([] { return false; }, 0.05); });
    EXPECT_FALSE(result);
    EXPECT_GE(platform::clock().now() - before, 0.05 - 1e-6);
    EXPECT_LT(took, 5.0);
}

TEST(RunLoopRunUntil, SelfRepostingWorkStillTimesOutUnderAManualClock) {
    platform::ScopedManualClock clock;
    std::function<void()> again = [&] { loop().post(again); };
    loop().post(again);
    EXPECT_FALSE(loop().runUntil([] { return false; }, 0.05));
}

TEST(RunLoopRunUntil, WakesForWorkPostedFromAnotherThread) {
    for (bool manual : {false, true}) {
        std::optional<platform::ScopedManualClock> clock;
        if (manual) clock.emplace();
        bool ran = false;
        std::thread poster([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            loop().post([&] { ran = true; });
        });
        bool result = false;
        double took = realSecondsOf([&] { result = loop().runUntil([&] { return ran; }, 30); });
        poster.join();
        EXPECT_TRUE(result) << "manual clock: " << manual;
        EXPECT_LT(took, 10.0) << "manual clock: " << manual;
    }
}

TEST(RunLoopRunUntil, WakesForATimerAddedFromAnotherThreadOnTheManualClock) {
    platform::ScopedManualClock clock(1000);
    bool fired = false;
    std::thread adder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop().after(100, [&] { fired = true; });
    });
    bool result = loop().runUntil([&] { return fired; }, 1000);
    adder.join();
    EXPECT_TRUE(result);
    EXPECT_GE(clock->now(), 1100);
}

TEST(RunLoopThreads, MainThreadOnlyCallsFailElsewhereNamingTheCaller) {
    EXPECT_TRUE(RunLoop::isMainThread());
    EXPECT_NO_THROW(platform::assertMainThread("WebView::load"));
    std::string message;
    bool onMain = true, runOnceFailed = false;
    std::thread other([&] {
        onMain = RunLoop::isMainThread();
        try {
            platform::assertMainThread("WebView::load");
        } catch (const platform::AssertionFailure& failure) {
            message = failure.description();
        }
        try {
            loop().runOnce();
        } catch (const platform::AssertionFailure&) {
            runOnceFailed = true;
        }
    });
    other.join();
    EXPECT_FALSE(onMain);
    EXPECT_NE(message.find("WebView::load"), std::string::npos);
    EXPECT_TRUE(runOnceFailed);
}
