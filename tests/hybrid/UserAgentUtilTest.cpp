// The user-agent lock (tokens, waiting order, hand-over, misuse) and the
// measured, cached and stored web view user agent.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hybrid/HYBUserAgentUtil.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Device.h"
#include "platform/ui/WebView.h"

using hybrid::HYBUserAgentUtil;
using platform::LogCapture;
using platform::UserDefaults;

namespace {

constexpr const char* kStoredKey = "Hybrid-User-Agent";
constexpr const char* kVersionKey = "Hybrid-User-Agent-Version";

class UserAgentLockTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Registered defaults cannot be removed; later page loads get the engine's own text back.
        UserDefaults::standard().registerDefaults({{"UserAgent", platform::WebView::engineUserAgent()}});
    }

    // Acquires for a named holder, recording the token it is granted into `tokens[name]`.
    void acquire(const std::string& name, std::weak_ptr<void> owner = {}) {
        HYBUserAgentUtil::acquireLock(
            [this, name](long token) {
                grants.push_back(platform::format("%s:%ld", name.c_str(), token));
                tokens[name] = token;
            },
            std::move(owner));
    }

    std::vector<std::string> grants;
    std::map<std::string, long> tokens;
};

TEST_F(UserAgentLockTest, TheFirstHolderGetsToken1AtOnceAndTheNextWaitsForTheRelease) {
    LogCapture capture;
    acquire("a");
    EXPECT_EQ(grants, (std::vector<std::string>{"a:1"}));
    acquire("b");
    acquire("c");
    EXPECT_EQ(grants.size(), 1u);

    HYBUserAgentUtil::releaseLock(tokens["a"]);
    EXPECT_EQ(tokens["a"], 0);
    EXPECT_EQ(grants, (std::vector<std::string>{"a:1", "b:2"}));
    EXPECT_TRUE(capture.contains("Gave lock 2"));

    HYBUserAgentUtil::releaseLock(tokens["b"]);
    HYBUserAgentUtil::releaseLock(tokens["c"]);
    EXPECT_EQ(grants, (std::vector<std::string>{"a:1", "b:2", "c:3"}));

    // Free again: the next holder is served at once, with a token never used before.
    acquire("d");
    EXPECT_EQ(grants.back(), "d:4");
    EXPECT_EQ(capture.count("Gave lock"), 2u);
}

TEST_F(UserAgentLockTest, ReleasingATokenOf0TwiceChangesNothing) {
    acquire("a");
    long token = tokens["a"];
    HYBUserAgentUtil::releaseLock(token);
    EXPECT_EQ(token, 0);
    acquire("b");
    HYBUserAgentUtil::releaseLock(token);  // already 0
    long noToken = 0;
    HYBUserAgentUtil::releaseLock(noToken);
    // b still holds the lock: a newcomer waits.
    acquire("c");
    EXPECT_EQ(grants, (std::vector<std::string>{"a:1", "b:2"}));
}

TEST_F(UserAgentLockTest, AForeignTokenIsAFatalFailureInReleaseAndInSetUserAgent) {
    acquire("a");
    long stale = 7;
    try {
        HYBUserAgentUtil::releaseLock(stale);
        FAIL() << "releasing a foreign token must fail";
    } catch (const platform::AssertionFailure& failure) {
        EXPECT_EQ(failure.description(), "Got token 7, expected 1");
    }
    try {
        HYBUserAgentUtil::setUserAgentLockToken("Agent/2", 2);
        FAIL() << "setting the user agent with a foreign token must fail";
    } catch (const platform::AssertionFailure& failure) {
        EXPECT_EQ(failure.description(), "Got token 2, expected 1");
    }
    // The lock is untouched by the failed calls.
    HYBUserAgentUtil::releaseLock(tokens["a"]);
    acquire("b");
    EXPECT_EQ(grants.back(), "b:2");
}

TEST_F(UserAgentLockTest, TheHolderRegistersTheUserAgentForTheProcessOnly) {
    acquire("a");
    HYBUserAgentUtil::setUserAgentLockToken("Mozilla/5.0 Hybrid/42", tokens["a"]);
    auto& defaults = UserDefaults::standard();
    EXPECT_EQ(defaults.registeredDefaults()["UserAgent"].stringValue(), "Mozilla/5.0 Hybrid/42");
    EXPECT_EQ(defaults.stringForKey("UserAgent"), "Mozilla/5.0 Hybrid/42");
    HYBUserAgentUtil::releaseLock(tokens["a"]);
}

TEST_F(UserAgentLockTest, AWaitingBlockWhoseOwnerIsGoneIsSkipped) {
    LogCapture capture;
    auto gone = std::make_shared<int>(0);
    auto alive = std::make_shared<int>(0);
    acquire("a");
    acquire("gone", gone);
    acquire("alive", alive);
    gone.reset();

    HYBUserAgentUtil::releaseLock(tokens["a"]);
    EXPECT_EQ(grants, (std::vector<std::string>{"a:1", "alive:2"}));
    EXPECT_TRUE(capture.contains("Gave lock 2"));

    // With nobody left waiting, an expired owner does not keep the lock either.
    auto alsoGone = std::make_shared<int>(0);
    acquire("alsoGone", alsoGone);
    alsoGone.reset();
    HYBUserAgentUtil::releaseLock(tokens["alive"]);
    acquire("next");
    EXPECT_EQ(grants.back(), "next:3");
}

TEST_F(UserAgentLockTest, AHolderHandedTheLockMayStoreItsTokenInTheReleasedVariable) {
    // A container giving back its first load's token while already waiting for its next one.
    long containerToken = 0;
    const auto keepToken = [&](long token) { containerToken = token; };
    HYBUserAgentUtil::acquireLock(keepToken);
    HYBUserAgentUtil::acquireLock(keepToken);
    HYBUserAgentUtil::releaseLock(containerToken);
    EXPECT_EQ(containerToken, 2);
    HYBUserAgentUtil::releaseLock(containerToken);
    EXPECT_EQ(containerToken, 0);
}

// ---- the web view's own user agent ------------------------------------------------------

class OriginalUserAgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& defaults = UserDefaults::standard();
        defaults.removeObjectForKey(kStoredKey);
        defaults.removeObjectForKey(kVersionKey);
    }
    void TearDown() override {
        SetUp();
        UserDefaults::standard().registerDefaults({{"UserAgent", platform::WebView::engineUserAgent()}});
    }

    static std::string currentVersionText() {
        auto& device = platform::UIDevice::currentDevice();
        return device.model() + " " + device.systemVersion() + " " + device.localeIdentifier();
    }
    static std::string measuredNow() {
        platform::WebView webView(platform::CGRectZero);
        return webView.stringByEvaluatingJavaScriptFromString("navigator.userAgent");
    }
};

TEST_F(OriginalUserAgentTest, NothingStoredMeasuresStoresAndCaches) {
    // A container's own user agent, set for its loads, is not the web view's own.
    UserDefaults::standard().registerDefaults({{"UserAgent", "Container/1.0"}});
    const std::string userAgent = HYBUserAgentUtil::originalUserAgent();
    EXPECT_EQ(userAgent, platform::WebView::engineUserAgent());
    auto& defaults = UserDefaults::standard();
    EXPECT_EQ(defaults.objectForKey(kStoredKey).stringValue(), userAgent);
    EXPECT_EQ(defaults.stringForKey(kVersionKey), currentVersionText());

    // Cached for the process: a changed stored copy is not read again.
    defaults.setObject(kStoredKey, "Changed/1.0");
    EXPECT_EQ(HYBUserAgentUtil::originalUserAgent(), userAgent);
}

TEST_F(OriginalUserAgentTest, AStoredCopyIsUsedWithoutMeasuringOnlyForTheSameModelSystemAndLocale) {
    auto& defaults = UserDefaults::standard();
    defaults.setObject(kStoredKey, "Stored/1.0 (not what any web view says)");
    defaults.setObject(kVersionKey, currentVersionText());
    EXPECT_EQ(HYBUserAgentUtil::originalUserAgent(), "Stored/1.0 (not what any web view says)");

    // A later launch, after a system update: nothing cached any more.
    platform::NotificationCenter::defaultCenter().post(platform::NSCurrentLocaleDidChangeNotification);
    platform::UIDevice::currentDevice().setSystemVersion("8.1");
    EXPECT_EQ(HYBUserAgentUtil::originalUserAgent(), measuredNow());
    EXPECT_EQ(defaults.stringForKey(kVersionKey), currentVersionText());
    EXPECT_NE(currentVersionText().find(" 8.1 "), std::string::npos);
}

TEST_F(OriginalUserAgentTest, ALocaleChangeDropsTheCacheAndTheNextCallMeasuresAgain) {
    auto& defaults = UserDefaults::standard();
    auto& device = platform::UIDevice::currentDevice();
    device.setLocaleIdentifier("en_US");
    defaults.setObject(kStoredKey, "Stored/1.0");
    defaults.setObject(kVersionKey, currentVersionText());
    ASSERT_EQ(HYBUserAgentUtil::originalUserAgent(), "Stored/1.0");

    device.setLocaleIdentifier("fr_FR");
    const std::string userAgent = HYBUserAgentUtil::originalUserAgent();
    EXPECT_EQ(userAgent, measuredNow());
    EXPECT_EQ(defaults.objectForKey(kStoredKey).stringValue(), userAgent);
    EXPECT_EQ(defaults.stringForKey(kVersionKey), device.model() + " " + device.systemVersion() + " fr_FR");

    // Later changes are heard too; a stored copy that matches the new locale is taken as is.
    defaults.setObject(kStoredKey, "Stored/2.0");
    device.setLocaleIdentifier("de_DE");
    defaults.setObject(kVersionKey, currentVersionText());
    EXPECT_EQ(HYBUserAgentUtil::originalUserAgent(), "Stored/2.0");
}

}  // namespace
