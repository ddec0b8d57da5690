#include <gtest/gtest.h>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "platform/foundation/Log.h"
#include "plugins/logger/HYBLogger.h"

namespace {

std::vector<std::string> logged(platform::Array arguments) {
    plugins::HYBLogger logger(nullptr);
    platform::LogCapture log;
    logger.logLevel(hybrid::HYBInvokedUrlCommand(std::move(arguments), std::string("Logger1"), std::nullopt, std::nullopt));
    return log.lines();
}

}  // namespace

TEST(LoggerPlugin, LevelLogWritesTheMessageAloneAndOtherLevelsPrefixIt) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(logged({"LOG", "page ready"}), Lines{"page ready"});
    EXPECT_EQ(logged({"WARN", "page ready"}), Lines{"WARN: page ready"});
    EXPECT_EQ(logged({"log", "100% %s"}), Lines{"log: 100% %s"});

    // A missing or non-string level or message logs why, and nothing else.
    const Lines why{"HYBLogger: logLevel needs a level and a message, both strings; nothing logged"};
    EXPECT_EQ(logged({}), why);
    EXPECT_EQ(logged({"LOG"}), why);
    EXPECT_EQ(logged({platform::Value::null(), "text"}), why);
    EXPECT_EQ(logged({"WARN", 42}), why);
}
