#include "platform/ui/Application.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/foundation/NotificationCenter.h"

using platform::Notification;
using platform::NotificationCenter;
using platform::UIApplication;
using platform::UIApplicationState;

namespace {

const char* stateName(UIApplicationState state) {
    switch (state) {
    case UIApplicationState::Active: return "active";
    case UIApplicationState::Inactive: return "inactive";
    case UIApplicationState::Background: return "background";
    }
    return "?";
}

// Hears every life-cycle notification, noting the state the app showed when it came.
class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.reset();
        for (const char* name :
             {platform::UIApplicationWillResignActiveNotification, platform::UIApplicationDidEnterBackgroundNotification,
              platform::UIApplicationWillEnterForegroundNotification, platform::UIApplicationDidBecomeActiveNotification,
              platform::UIApplicationWillTerminateNotification}) {
            NotificationCenter::defaultCenter().addObserver(this, name, &app, [this](const Notification& n) {
                heard.push_back(shortName(n.name) + "@" + stateName(app.applicationState()));
            });
        }
    }
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        app.reset();
    }

    static std::string shortName(const std::string& name) {
        const std::string prefix = "UIApplication", suffix = "Notification";
        return name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    }
    std::vector<std::string> take() { return std::exchange(heard, {}); }

    UIApplication& app = UIApplication::sharedApplication();
    std::vector<std::string> heard;
};

platform::URL url(const std::string& text) { return *platform::URL::create(text); }

}  // namespace

TEST_F(ApplicationTest, GoingToTheBackgroundAndBackPassesThroughInactive) {
    EXPECT_EQ(app.applicationState(), UIApplicationState::Active);
    app.setApplicationState(UIApplicationState::Background);
    EXPECT_EQ(take(), (std::vector<std::string>{"WillResignActive@active", "DidEnterBackground@background"}));
    app.setApplicationState(UIApplicationState::Active);
    EXPECT_EQ(take(), (std::vector<std::string>{"WillEnterForeground@background", "DidBecomeActive@active"}));
}

TEST_F(ApplicationTest, InactiveIsOnlyAStepAwayFromActive) {
    app.setApplicationState(UIApplicationState::Inactive);
    EXPECT_EQ(take(), (std::vector<std::string>{"WillResignActive@active"}));
    app.setApplicationState(UIApplicationState::Inactive);
    EXPECT_TRUE(take().empty());
    app.setApplicationState(UIApplicationState::Active);
    EXPECT_EQ(take(), (std::vector<std::string>{"DidBecomeActive@active"}));
    app.setApplicationState(UIApplicationState::Active);
    EXPECT_TRUE(take().empty());
}

TEST_F(ApplicationTest, TerminatingPostsWillTerminateFromTheApplication) {
    app.terminate();
    EXPECT_EQ(take(), (std::vector<std::string>{"WillTerminate@active"}));
}

TEST_F(ApplicationTest, OpensOnlyTheSchemesItWasToldOfButRecordsEveryRequest) {
    EXPECT_FALSE(app.canOpenURL(url("tel:123")));
    app.setOpenableSchemes({"TEL", "mailto"});
    EXPECT_TRUE(app.canOpenURL(url("tel:123")));
    EXPECT_TRUE(app.canOpenURL(url("MailTo:a@example.org")));
    EXPECT_FALSE(app.canOpenURL(url("https://example.org/")));
    EXPECT_FALSE(app.canOpenURL(url("relative/path")));

    EXPECT_TRUE(app.openURL(url("tel:123")));
    EXPECT_FALSE(app.openURL(url("https://example.org/")));
    EXPECT_EQ(app.openedURLs(), (std::vector<platform::URL>{url("tel:123"), url("https://example.org/")}));
}

// --- Background tasks ---------------------------------------------------------

TEST_F(ApplicationTest, BackgroundTasksExpireOnlyWhenAskedAndEachHandlerRunsOnce) {
    int firstExpired = 0, secondExpired = 0;
    platform::UIBackgroundTaskIdentifier first = 0;
    first = app.beginBackgroundTaskWithExpirationHandler([&] {
        ++firstExpired;
        app.endBackgroundTask(first);  // the usual handler ends its own task
    });
    const auto second = app.beginBackgroundTaskWithExpirationHandler([&] { ++secondExpired; });
    EXPECT_NE(first, platform::UIBackgroundTaskInvalid);
    EXPECT_NE(first, second);
    EXPECT_EQ(app.runningBackgroundTasks(), 2u);
    EXPECT_EQ(firstExpired + secondExpired, 0);

    app.expireBackgroundTasks();
    EXPECT_EQ(firstExpired, 1);
    EXPECT_EQ(secondExpired, 1);
    EXPECT_EQ(app.runningBackgroundTasks(), 1u);  // the second never ended its task
    app.expireBackgroundTasks();
    EXPECT_EQ(secondExpired, 1);

    app.endBackgroundTask(second);
    app.endBackgroundTask(second);
    app.endBackgroundTask(platform::UIBackgroundTaskInvalid);
    EXPECT_EQ(app.runningBackgroundTasks(), 0u);
}

TEST_F(ApplicationTest, BackgroundTasksCanBeBegunAndEndedFromManyThreads) {
    constexpr int kThreads = 8, kTasksEach = 200;
    std::vector<std::thread> threads;
    std::atomic<int> kept{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kTasksEach; ++i) {
                const auto id = app.beginBackgroundTaskWithExpirationHandler([] {});
                if ((i + t) % 4 == 0)
                    ++kept;
                else
                    app.endBackgroundTask(id);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(app.runningBackgroundTasks(), static_cast<std::size_t>(kept.load()));
}
