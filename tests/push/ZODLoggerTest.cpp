#include "push/ZODLogger.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/foundation/Log.h"

using push::ZODLogger;
using push::ZODLogLevel;

namespace {

const std::vector<std::pair<ZODLogLevel, std::string>> kLevels = {
    {ZODLogLevel::Debug, "debug"}, {ZODLogLevel::Warn, "warn"},   {ZODLogLevel::Info, "info"},
    {ZODLogLevel::Force, "force"}, {ZODLogLevel::Error, "error"}, {ZODLogLevel::Test, "test"},
};

// Which of kLevels' messages come through at `threshold`, by name.
std::vector<std::string> writtenAt(ZODLogLevel threshold) {
    ZODLogger::setLevel(threshold);
    platform::LogCapture log;
    for (const auto& [level, name] : kLevels) ZODLogger::log(level, "message " + name);
    ZODLogger::setLevel(ZODLogLevel::Info);
    std::vector<std::string> written;
    for (const auto& [level, name] : kLevels)
        if (log.contains("message " + name)) written.push_back(name);
    return written;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(ZODLogger, WritesAMessageWhoseLevelReachesTheThreshold) {
    EXPECT_EQ(writtenAt(ZODLogLevel::All), (Names{"debug", "warn", "info", "force", "error", "test"}));
    EXPECT_EQ(writtenAt(ZODLogLevel::Warn), (Names{"warn", "info", "force", "error", "test"}));
    EXPECT_EQ(writtenAt(ZODLogLevel::Info), (Names{"info", "force", "error", "test"}));
    // OFF silences the everyday levels only.
    EXPECT_EQ(writtenAt(ZODLogLevel::Off), (Names{"force", "error", "test"}));
    EXPECT_EQ(writtenAt(ZODLogLevel::Error), (Names{"error", "test"}));
    EXPECT_EQ(writtenAt(ZODLogLevel::Test), (Names{"test"}));
}

TEST(ZODLogger, PrefixesItsLinesAndTagsWarningsAndErrors) {
    ZODLogger::setLevel(ZODLogLevel::All);
    platform::LogCapture log;
    ZODLogger::info("hello");
    ZODLogger::warn("careful");
    ZODLogger::error("broken");
    ZODLogger::log(ZODLogLevel::Force, "forced");
    EXPECT_EQ(log.lines(), (Names{"push: hello", "push: WARNING: careful", "push: ERROR: broken", "push: forced"}));
}

TEST(ZODLogger, ThreadsMayLogWhileTheLevelChanges) {
    platform::LogCapture log;
    constexpr int kThreads = 4;
    constexpr int kEach = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < kEach; ++i) {
                ZODLogger::log(ZODLogLevel::Force, "forced line");
                ZODLogger::debug("debug line");
            }
        });
    }
    for (int i = 0; i < kEach; ++i) ZODLogger::setLevel(i % 2 ? ZODLogLevel::Off : ZODLogLevel::All);
    for (auto& thread : threads) thread.join();
    // FORCE passes at every level used; DEBUG only some of the time.
    EXPECT_EQ(log.count("push: forced line"), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_LE(log.count("push: debug line"), static_cast<std::size_t>(kThreads * kEach));
}
