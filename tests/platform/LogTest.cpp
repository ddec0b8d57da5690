#include "platform/foundation/Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using platform::LogCapture;

TEST(LogCapture, CollectsWholeLinesAndAnswersQueries) {
    LogCapture capture;
    platform::log("first line\n");
    platform::logf("%s has %d items", "cart", 3);
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"first line", "cart has 3 items"}));
    EXPECT_TRUE(capture.contains("3 items"));
    EXPECT_FALSE(capture.contains("4 items"));
    EXPECT_EQ(capture.count("line"), 1u);
    EXPECT_EQ(capture.count(""), 2u);
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}

TEST(LogCapture, FormatsLinesOfAnyLength) {
    LogCapture capture;
    std::string big(100000, 'x');
    platform::logf("<%s>", big.c_str());
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "<" + big + ">");
}

TEST(LogCapture, InnermostLiveCaptureCollects) {
    LogCapture outer;
    platform::log("to outer");
    {
        LogCapture inner;
        platform::log("to inner");
        EXPECT_EQ(inner.lines(), (std::vector<std::string>{"to inner"}));
    }
    platform::log("to outer again");
    EXPECT_EQ(outer.lines(), (std::vector<std::string>{"to outer", "to outer again"}));
}

TEST(LogCapture, DroppingACaptureFromMidStackKeepsTheRestLinked) {
    LogCapture bottom;
    auto middle = std::make_unique<LogCapture>();
    auto top = std::make_unique<LogCapture>();
    middle.reset();
    platform::log("to top");
    top.reset();
    platform::log("to bottom");
    EXPECT_EQ(bottom.lines(), (std::vector<std::string>{"to bottom"}));
}

TEST(LogCapture, AlsoToStandardErrorWritesEachLineOnce) {
    testing::internal::CaptureStderr();
    {
        LogCapture capture(true);
        platform::log("visible");
    }
    {
        LogCapture quiet;
        platform::log("hidden");
    }
    std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, "visible\n");
}

TEST(LogConcurrency, LinesFromManyThreadsStayWholeAndInOrderPerThread) {
    constexpr int kThreads = 8, kLines = 400;
    auto writeAll = [&] {
        std::vector<std::thread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([t] {
                for (int i = 0; i < kLines; ++i) platform::logf("writer %d line %d %s", t, i, std::string(64, 'a' + t).c_str());
            });
        }
        for (auto& w : writers) w.join();
    };
    auto check = [&](const std::vector<std::string>& lines) {
        ASSERT_EQ(lines.size(), std::size_t(kThreads * kLines));
        std::vector<int> next(kThreads, 0);
        for (const auto& line : lines) {
            int t = -1, i = -1;
            char tail[128] = {};
            ASSERT_EQ(std::sscanf(line.c_str(), "writer %d line %d %127s", &t, &i, tail), 3) << line;
            ASSERT_TRUE(t >= 0 && t < kThreads) << line;
            EXPECT_EQ(i, next[t]++) << line;
            EXPECT_EQ(std::string(tail), std::string(64, 'a' + t)) << line;
        }
    };

    {
        LogCapture capture;
        writeAll();
        check(capture.lines());
    }
    // Standard error sees the same: no line cut into or interleaved with another.
    testing::internal::CaptureStderr();
    writeAll();
    std::istringstream written(testing::internal::GetCapturedStderr());
    std::vector<std::string> lines;
    for (std::string line; std::getline(written, line);) lines.push_back(line);
    check(lines);
}
