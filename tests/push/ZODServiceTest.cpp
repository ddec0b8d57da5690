#include "push/ZODService.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "push/ZODConfiguration.h"
#include "push/ZODLogger.h"
#include "tests/platform/TemporaryDirectory.h"

using platform::Bundle;
using push::ZODConfiguration;
using push::ZODLogger;
using push::ZODLogLevel;
using push::ZODService;

namespace {

std::string plist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

class PushConfigTest : public ::testing::Test {
protected:
    Bundle bundleWith(const std::string& bytes) {
        folder_.write("App.app/PushConfig.plist", bytes);
        return Bundle(folder_.file("App.app"));
    }

    testing_support::TemporaryDirectory folder_;
    platform::LogCapture log_;
};

}  // namespace

TEST_F(PushConfigTest, ReadsTheAppKeyChannelAndEnvironment) {
    ZODConfiguration c = ZODConfiguration::readFromBundle(bundleWith(plist(
        "<dict><key>APP_KEY</key><string>abc123</string><key>CHANNEL</key><string>store</string>"
        "<key>APS_FOR_PRODUCTION</key><true/></dict>")));
    EXPECT_TRUE(c.configured);
    EXPECT_EQ(c.appKey, "abc123");
    EXPECT_EQ(c.channel, "store");
    EXPECT_TRUE(c.apsForProduction);
    EXPECT_TRUE(log_.contains("push: app key abc123, channel \"store\", production environment"));

    c = ZODConfiguration::readFromBundle(bundleWith(plist(
        "<dict><key>APP_KEY</key><string>k</string><key>APS_FOR_PRODUCTION</key><string>NO</string></dict>")));
    EXPECT_TRUE(c.configured);
    EXPECT_EQ(c.channel, "");
    EXPECT_FALSE(c.apsForProduction);
}

TEST_F(PushConfigTest, AMissingOrBrokenFileOrKeyIsLoggedAndLeavesTheClientUnconfigured) {
    ZODConfiguration c = ZODConfiguration::readFromBundle(Bundle(folder_.file("Empty.app")));
    EXPECT_FALSE(c.configured);
    EXPECT_TRUE(log_.contains("push: ERROR: PushConfig.plist is missing from the app bundle"));

    for (const std::string& bytes : {std::string("<plist><dict><key>APP_KEY"), std::string(""),
                                     std::string("\xff\xfe garbage", 11)}) {
        log_.clear();
        c = ZODConfiguration::readFromBundle(bundleWith(bytes));
        EXPECT_FALSE(c.configured);
        EXPECT_TRUE(log_.contains("push: ERROR: PushConfig.plist cannot be read")) << bytes;
    }

    log_.clear();
    c = ZODConfiguration::readFromBundle(bundleWith(plist("<array><string>APP_KEY</string></array>")));
    EXPECT_FALSE(c.configured);
    EXPECT_TRUE(log_.contains("push: ERROR: PushConfig.plist holds no dictionary"));

    for (const std::string& keys : {std::string("<key>APP_KEY</key><integer>5</integer><key>CHANNEL</key><array/>"),
                                    std::string("<key>APP_KEY</key><string></string><key>CHANNEL</key><true/>")}) {
        log_.clear();
        c = ZODConfiguration::readFromBundle(bundleWith(plist("<dict>" + keys + "</dict>")));
        EXPECT_FALSE(c.configured) << keys;
        EXPECT_TRUE(log_.contains("push: ERROR: PushConfig.plist has no APP_KEY")) << keys;
        EXPECT_TRUE(log_.contains("push: ERROR: PushConfig.plist: CHANNEL is not a string")) << keys;
    }
}

TEST_F(PushConfigTest, TheServiceReadsTheMainBundleOnItsThreadWhenItStarts) {
    const std::string previousMain = Bundle::main().bundlePath();
    bundleWith(plist("<dict><key>APP_KEY</key><string>from-main</string></dict>"));
    Bundle::setMain(folder_.file("App.app"));
    {
        ZODService service;
        service.flushForTesting();
        EXPECT_EQ(service.configuration().appKey, "from-main");
    }
    bundleWith("not a property list");
    {
        ZODService service;
        service.flushForTesting();
        EXPECT_FALSE(service.configuration().configured);
        EXPECT_TRUE(log_.contains("push: ERROR: PushConfig.plist cannot be read"));
    }
    Bundle::setMain(previousMain);
}

TEST(ZODServiceLife, TheKeepAliveTimerRepeatsEvery1000Seconds) {
    platform::ScopedManualClock clock;
    ZODService service;
    auto timers = service.thread().timers();
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_DOUBLE_EQ(timers[0].interval, 1000.0);
    EXPECT_DOUBLE_EQ(timers[0].fireAt, 1.0e9 + 1000.0);

    ZODLogger::setLevel(ZODLogLevel::All);
    platform::LogCapture log;
    clock->advance(1000);
    service.thread().runDueTimers();
    EXPECT_EQ(log.count("push: client thread keep-alive"), 1u);
    timers = service.thread().timers();
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_DOUBLE_EQ(timers[0].fireAt, 1.0e9 + 2000.0);
}
