// The timing log: spans keyed without regard to letter case, what each
// finished span writes, and the one shared instance.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "hybrid/HYBTimer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"

using hybrid::HYBTimer;

namespace {

class TimerTest : public ::testing::Test {
protected:
    platform::ScopedManualClock clock;
    platform::LogCapture log;
};

TEST_F(TimerTest, AFinishedSpanLogsItsMilliseconds) {
    HYBTimer::start("TotalPluginStartup");
    clock->advance(0.25);
    HYBTimer::stop("TotalPluginStartup");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[HYBTimer][TotalPluginStartup] 250.000000ms"});
    EXPECT_TRUE(HYBTimer::sharedInstance().items().empty());
}

TEST_F(TimerTest, NamesDifferingInCaseShareOneSpanUnderTheFirstSpelling) {
    HYBTimer::start("Load");
    clock->advance(0.0625);
    HYBTimer::start("load");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Timer called 'load' already exists."});
    clock->advance(0.0625);
    HYBTimer::stop("LOAD");
    EXPECT_EQ(log.lines().back(), "[HYBTimer][Load] 125.000000ms");  // timed from the first start
}

TEST_F(TimerTest, StoppingTwiceLogsTheSpanOnceThenSaysItIsGone) {
    HYBTimer::start("Twice");
    HYBTimer::stop("Twice");
    HYBTimer::stop("twice");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[HYBTimer][Twice] 0.000000ms",
                                                     "Timer called 'twice' does not exist."}));
}

TEST_F(TimerTest, ClearingDropsRunningSpansWithoutLogging) {
    HYBTimer::start("a");
    HYBTimer::start("b");
    HYBTimer::clearAll();
    EXPECT_TRUE(log.lines().empty());
    HYBTimer::stop("a");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Timer called 'a' does not exist."});
}

TEST(TimerSharedInstanceTest, EveryThreadGetsTheSameInstance) {
    std::vector<const HYBTimer*> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &HYBTimer::sharedInstance(); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(std::set<const HYBTimer*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0], &HYBTimer::sharedInstance());
}

}  // namespace
