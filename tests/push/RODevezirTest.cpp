#include "push/RODevezir.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "push/ZODLogger.h"
#include "tests/push/RecordingTransport.h"
#include "tests/support/ExitOrder.h"

using platform::Data;
using platform::Dictionary;
using platform::UIApplication;
using platform::UIApplicationState;
using platform::Value;
using push::RODevezir;
using push::ZODLogger;
using push::ZODLogLevel;
using push_testing::Gate;
using push_testing::RecordingTransport;

namespace {

push::ZODService& service() { return RODevezir::sharedService(); }

Value launchOptionsWith(Value payload) {
    return Value(Dictionary{{platform::UIApplicationLaunchOptionsRemoteNotificationKey, std::move(payload)}});
}

class RODevezirTest : public ::testing::Test {
protected:
    void SetUp() override {
        service().setTransportForTesting(transport_);
        service().flushForTesting();
    }
    void TearDown() override {
        service().flushForTesting();
        service().setTransportForTesting(nullptr);
        service().flushForTesting();
    }

    std::shared_ptr<RecordingTransport> transport_ = std::make_shared<RecordingTransport>(service().thread());
};

}  // namespace

TEST_F(RODevezirTest, CallsReturnWhileTheClientThreadIsBusyAndTheWorkRunsThereInOrder) {
    {
        Gate gate(service().thread());
        RODevezir::setupWithOption(launchOptionsWith(Dictionary{{"msgid", "launch"}}));
        RODevezir::registerDeviceToken(Data{0x0a, 0xff});
        RODevezir::handleRemoteNotification(Dictionary{{"msgid", "later"}});
        EXPECT_TRUE(transport_->sent().empty());
    }
    service().flushForTesting();

    auto sent = transport_->sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].command, "report");
    EXPECT_EQ(sent[0].reportType, 2003);
    EXPECT_EQ(sent[0].payload, (Dictionary{{"msgid", "launch"}}));
    EXPECT_EQ(sent[1].command, "register");
    EXPECT_EQ(sent[1].token, (Data{0x0a, 0xff}));
    EXPECT_EQ(sent[2].command, "report");
    EXPECT_EQ(sent[2].reportType, 2001);
    for (const auto& s : sent) EXPECT_TRUE(s.onClientThread) << s.command;
    EXPECT_EQ(service().deviceToken(), (Data{0x0a, 0xff}));
}

TEST_F(RODevezirTest, TheReportTypeIsTheApplicationStateAtTheTimeOfTheCall) {
    UIApplication& app = UIApplication::sharedApplication();
    {
        // The state changes again before the client thread gets to each call.
        Gate gate(service().thread());
        app.setApplicationState(UIApplicationState::Active);
        RODevezir::handleRemoteNotification(Dictionary{{"msgid", 1}});
        app.setApplicationState(UIApplicationState::Inactive);
        RODevezir::handleRemoteNotification(Dictionary{{"msgid", 2}});
        app.setApplicationState(UIApplicationState::Background);
        RODevezir::handleRemoteNotification(Dictionary{{"msgid", 3}});
        app.setApplicationState(UIApplicationState::Active);
    }
    service().flushForTesting();
    EXPECT_EQ(transport_->reportTypes(), (std::vector<int>{2001, 2002, 2004}));
}

TEST(ZODReportType, AnUnknownApplicationStateReportsTheGeneralType) {
    EXPECT_EQ(push::reportTypeForApplicationState(static_cast<UIApplicationState>(3)), push::ZODReportType::Other);
    EXPECT_EQ(static_cast<int>(push::ZODReportType::Other), 2000);
}

TEST_F(RODevezirTest, SetupStartsTheLoggerAtInfoAndLogsTheBanner) {
    ZODLogger::setLevel(ZODLogLevel::Off);
    platform::LogCapture log;
    RODevezir::setupWithOption(Value());
    EXPECT_EQ(ZODLogger::level(), ZODLogLevel::Info);
    EXPECT_TRUE(log.contains("push: RUzer push client 1.0.0"));
    service().flushForTesting();
    EXPECT_TRUE(transport_->sent().empty());
}

TEST_F(RODevezirTest, LaunchOptionsWithoutAUsablePushReportNothing) {
    platform::LogCapture log;
    RODevezir::setupWithOption(Value());
    RODevezir::setupWithOption(Value(Dictionary{{"UIApplicationLaunchOptionsURLKey", "app://x"}}));
    RODevezir::setupWithOption(launchOptionsWith(Dictionary{}));
    RODevezir::setupWithOption(launchOptionsWith("not a payload"));
    RODevezir::setupWithOption(Value("not options"));
    service().flushForTesting();

    EXPECT_TRUE(transport_->sent().empty());
    EXPECT_TRUE(log.contains("push: the launch push is empty; it is ignored"));
    EXPECT_TRUE(log.contains("push: ERROR: the launch push is not a dictionary; it is ignored"));
    EXPECT_TRUE(log.contains("push: ERROR: launch options are not a dictionary; they are ignored"));
}

TEST_F(RODevezirTest, EmptyPayloadsAndTokensAreLoggedAndDropped) {
    platform::LogCapture log;
    RODevezir::handleRemoteNotification(Dictionary{});
    RODevezir::registerDeviceToken(Data{});
    // The service itself guards too, for callers other than the facade.
    service().handleRemoteNotification(push::ZODReportType::Active, Dictionary{});
    service().flushForTesting();

    EXPECT_TRUE(transport_->sent().empty());
    EXPECT_TRUE(log.contains("push: an empty remote notification is ignored"));
    EXPECT_TRUE(log.contains("push: ERROR: an empty device token was handed over; nothing is registered"));
    EXPECT_TRUE(log.contains("push: an empty remote notification was handed over; nothing is reported"));
}

TEST_F(RODevezirTest, ArgumentsAreCopiedSoTheCallerMayChangeThemAtOnce) {
    Data token{1, 2, 3};
    Dictionary payload{{"msgid", "m1"}, {"aps", Dictionary{{"alert", "hello"}}}};
    Value launchPayload = Dictionary{{"msgid", "m0"}};
    Value options = launchOptionsWith(launchPayload);
    {
        Gate gate(service().thread());
        RODevezir::setupWithOption(options);
        RODevezir::registerDeviceToken(token);
        RODevezir::handleRemoteNotification(payload);
        token.assign(64, 0xee);
        payload["msgid"] = "changed";
        payload.erase("aps");
        options = Value();
    }
    service().flushForTesting();

    auto sent = transport_->sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].payload, *launchPayload.dictionary());
    EXPECT_EQ(sent[1].token, (Data{1, 2, 3}));
    EXPECT_EQ(sent[2].payload, (Dictionary{{"msgid", "m1"}, {"aps", Dictionary{{"alert", "hello"}}}}));
}

TEST_F(RODevezirTest, TheSharedServiceIsMadeOnceAndItsThreadIsKeptAliveBy1000SecondTimer) {
    EXPECT_EQ(&RODevezir::sharedService(), &RODevezir::sharedService());
    EXPECT_EQ(service().thread().name(), "push client");
    EXPECT_FALSE(service().thread().isCurrent());
    std::size_t keepAlive = 0;
    for (const auto& timer : service().thread().timers())
        if (timer.interval == 1000.0) ++keepAlive;
    EXPECT_EQ(keepAlive, 1u);
}

TEST_F(RODevezirTest, WithoutATestTransportTheClientLogsWhatItWouldSend) {
    service().setTransportForTesting(nullptr);
    platform::LogCapture log;
    UIApplication::sharedApplication().setApplicationState(UIApplicationState::Background);
    RODevezir::registerDeviceToken(Data{0x00, 0x9f, 0xa0});
    RODevezir::handleRemoteNotification(Dictionary{{"msgid", 42}});
    RODevezir::handleRemoteNotification(Dictionary{{"aps", Dictionary{}}});
    service().flushForTesting();

    EXPECT_EQ(log.count("push: would send register token=009fa0"), 1u);
    EXPECT_EQ(log.count("push: would send report type=2004 msgid=42"), 1u);
    EXPECT_EQ(log.count("push: would send report type=2004 msgid=none"), 1u);
}

// The client thread's set-up reads the main bundle, a static made before the shared service.
TEST(RODevezirExit, TheClientThreadIsJoinedBeforeEarlierStaticsAreDestroyed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(testing_support::exitWhileWorkRuns(
                    [](std::function<void()> work) { RODevezir::sharedService().thread().post(std::move(work)); }),
                ::testing::ExitedWithCode(0), "");
}
