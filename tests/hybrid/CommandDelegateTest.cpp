// The command delegate: callback scripts, the callback-id rule, evaluation
// now or later, chaining of the page's next calls, and the container lookups.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tools/harness/BridgeHarness.h"
#include "hybrid/HYBNotifications.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"

using namespace hybrid;
using platform::RunLoop;
using testsupport::EchoPlugin;
using testsupport::TestContainer;

namespace {

class CommandDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        container = TestContainer::create();
        echo = container->addEchoPlugin();
        // Record every nativeCallback the native side evaluates, with its arguments' types.
        container->eval(R"(
            var seen = [];
            (function () {
                var exec = hybrid.require('hybrid/exec');
                var original = exec.nativeCallback;
                exec.nativeCallback = function (id, status, message, keep) {
                    seen.push(JSON.stringify([id, status, message, keep]) + ':' + typeof keep);
                    return original(id, status, message, keep);
                };
            })();)");
    }

    std::string seen() { return container->eval("seen.join('|')"); }
    void send(const HYBPluginResult& result, const std::optional<std::string>& id) {
        container->delegate().sendPluginResult(result, id);
    }

    // The queue's time slice is read on this clock: on a busy machine the real
    // one could end a slice between a call and the call its callback makes.
    platform::ScopedManualClock clock;
    std::shared_ptr<TestContainer> container;
    std::shared_ptr<EchoPlugin> echo;
};

}  // namespace

TEST_F(CommandDelegateTest, AResultBecomesTheNativeCallbackScript) {
    echo->onCall = [&](const HYBInvokedUrlCommand& command) {
        send(*HYBPluginResult::resultWithStatusMessageAsString(HYBResultStatusOK, "a"), command.callbackId());
        auto kept = HYBPluginResult::resultWithStatusMessageAsArray(HYBResultStatusError, {1, "b"});
        kept->setKeepCallbackAsBool(true);
        send(*kept, command.callbackId());
    };
    container->queue().enqueueCommandBatch(R"([["Echo7", "Echo", "call", []]])");
    container->queue().executePending();
    EXPECT_EQ(seen(), R"(["Echo7",1,"a",0]:number|["Echo7",9,[1,"b"],1]:number)");
}

TEST_F(CommandDelegateTest, CallbackIdsMustBeShortAndPlain) {
    auto& delegate = container->delegate();
    EXPECT_TRUE(delegate.isValidCallbackId(std::string(100, 'a')));
    EXPECT_FALSE(delegate.isValidCallbackId(std::string(101, 'a')));
    EXPECT_TRUE(delegate.isValidCallbackId(std::string("Az09._-")));
    EXPECT_TRUE(delegate.isValidCallbackId(std::string()));
    EXPECT_FALSE(delegate.isValidCallbackId(std::string("a b")));
    EXPECT_FALSE(delegate.isValidCallbackId(std::string("a/b")));
    EXPECT_FALSE(delegate.isValidCallbackId(std::string("a');alert(1);('")));
    EXPECT_FALSE(delegate.isValidCallbackId(std::string("caf\xc3\xa9")));
    EXPECT_FALSE(delegate.isValidCallbackId(std::nullopt));

    platform::LogCapture log;
    const HYBPluginResult result(HYBResultStatusOK, "x");
    send(result, std::string(101, 'a'));
    send(result, std::nullopt);
    send(result, std::string("INVALID"));
    RunLoop::main().drain();
    EXPECT_EQ(log.count("Invalid callback id received by sendPluginResult"), 2u);
    EXPECT_EQ(seen(), "");
}

TEST_F(CommandDelegateTest, APatternThatDoesNotCompileRefusesEveryCallbackId) {
    platform::LogCapture log;
    HYBCommandDelegateImpl broken(container, "[");
    EXPECT_TRUE(log.contains("Error: Couldn't initialize regex"));
    EXPECT_FALSE(broken.isValidCallbackId(std::string("abc")));
}

TEST_F(CommandDelegateTest, ResultsFromTheBackgroundAreEvaluatedOnALaterMainTurn) {
    std::thread worker([&] { send(HYBPluginResult(HYBResultStatusOK, "bg"), std::string("Echo1")); });
    worker.join();
    EXPECT_EQ(seen(), "");
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return !seen().empty(); }, 5));
    EXPECT_EQ(seen(), R"(["Echo1",1,"bg",0]:number)");
}

TEST_F(CommandDelegateTest, ResultsOutsideAnExecutionWaitForTheNextTurn) {
    send(HYBPluginResult(HYBResultStatusOK, "later"), std::string("Echo1"));
    EXPECT_EQ(seen(), "");
    RunLoop::main().runOnce();
    EXPECT_EQ(seen(), R"(["Echo1",1,"later",0]:number)");
}

TEST_F(CommandDelegateTest, AResultDuringExecutionIsEvaluatedAtOnceAndChainsThePagesNextCalls) {
    // The page's success callback makes another call; its batch comes back
    // from nativeCallback and runs in the same execution.
    container->eval(R"(
        var answers = [];
        hybrid.exec(function (message) {
            answers.push(message[0]);
            hybrid.exec(function (m) { answers.push(m[0]); }, null, 'Echo', 'echo', ['second']);
        }, null, 'Echo', 'echo', ['first']);)");
    container->queue().fetchCommandsFromJs();
    container->queue().executePending();
    EXPECT_EQ(echo->calls, (std::vector<std::string>{"echo", "echo"}));
    EXPECT_EQ(container->eval("answers.join(',')"), "first,second");
    EXPECT_EQ(RunLoop::main().pendingTasks(), 0u);
}

TEST_F(CommandDelegateTest, DuringAFragmentPokeEveryResultIsDeferred) {
    container->eval("var answers = []; hybrid.exec(function (m) { answers.push(m[0]); }, null, 'Echo', 'echo', ['f']);");
    container->queue().fetchCommandsFromJs();
    container->delegate().flushCommandQueueWithDelayedJs();
    EXPECT_EQ(echo->calls.size(), 1u);
    EXPECT_EQ(container->eval("answers.join(',')"), "");
    RunLoop::main().runOnce();
    EXPECT_EQ(container->eval("answers.join(',')"), "f");

    // The deferral lasts only for the flush.
    echo->onCall = [&](const HYBInvokedUrlCommand& command) {
        send(HYBPluginResult(HYBResultStatusOK, "now"), command.callbackId());
    };
    container->queue().enqueueCommandBatch(R"([["Echo9", "Echo", "call", []]])");
    container->queue().executePending();
    EXPECT_NE(seen().find("now"), std::string::npos);
}

TEST_F(CommandDelegateTest, EvalJsRunsTheScriptInsideNativeEvalAndFetch) {
    container->eval("hybrid.require('hybrid/exec').nativeEvalAndFetch = function (f) { f(); return 'wrapped'; };");
    container->delegate().evalJsScheduledOnRunLoop("globalThis.ranNow = 1", false);
    EXPECT_EQ(container->eval("String(globalThis.ranNow)"), "1");

    container->delegate().evalJs("globalThis.ranLater = 2");
    EXPECT_EQ(container->eval("String(globalThis.ranLater)"), "undefined");
    RunLoop::main().runOnce();
    EXPECT_EQ(container->eval("String(globalThis.ranLater)"), "2");
}

TEST_F(CommandDelegateTest, CallsMadeByAnEvaluatedScriptAreFetchedAndRun) {
    container->delegate().evalJsScheduledOnRunLoop("hybrid.exec(null, null, 'Echo', 'call', ['x'])", false);
    EXPECT_EQ(echo->calls, (std::vector<std::string>{"call"}));
}

TEST_F(CommandDelegateTest, LegacyCallbacksGoThroughEvalJs) {
    container->eval("var legacy = []; hybrid.exec(function (m) { legacy.push(m); }, function (m) { legacy.push('error ' + m); }, 'Echo', 'call', []);");
    container->queue().fetchCommandsFromJs();
    const std::string id = container->eval("Object.keys(hybrid.callbacks)[0]");
    EXPECT_EQ(echo->success(*HYBPluginResult::resultWithStatusMessageAsString(HYBResultStatusOK, "ok"), id), "");
    RunLoop::main().runOnce();
    EXPECT_EQ(container->eval("legacy.join(',')"), "ok");
}

TEST_F(CommandDelegateTest, ForwardsToTheContainer) {
    container->settings_ = {{"key", "value"}};
    EXPECT_EQ(container->delegate().settings().at("key"), platform::Value("value"));
    EXPECT_EQ(container->delegate().userAgent(), "TestAgent/1.0");
    EXPECT_EQ(container->delegate().getCommandInstance("echo"), echo);
    EXPECT_EQ(container->delegate().getCommandInstance("missing"), nullptr);
}

TEST_F(CommandDelegateTest, WhitelistOnlyJudgesTheSchemesItGoverns) {
    container->allowedURLs = {"https://allowed.example/"};
    EXPECT_TRUE(container->delegate().URLIsWhitelisted(*platform::URL::create("mailto:someone@example.com")));
    EXPECT_EQ(container->whitelistURLQueries, 0);
    EXPECT_TRUE(container->delegate().URLIsWhitelisted(*platform::URL::create("https://allowed.example/")));
    EXPECT_FALSE(container->delegate().URLIsWhitelisted(*platform::URL::create("https://other.example/")));
    EXPECT_EQ(container->whitelistURLQueries, 2);
    EXPECT_FALSE(container->lastLogFailure);
}

TEST_F(CommandDelegateTest, ResourcesAreFoundInTheWebFolderOfTheBundle) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("bundle-" + std::to_string(::getpid()));
    fs::create_directories(root / "www" / "sub");
    std::ofstream(root / "www" / "index.html") << "<html></html>";
    std::ofstream(root / "www" / "sub" / "page.html") << "<html></html>";
    const std::string previous = platform::Bundle::main().bundlePath();
    platform::Bundle::setMain(root.string());

    EXPECT_EQ(container->delegate().pathForResource("index.html"), (root / "www" / "index.html").string());
    EXPECT_EQ(container->delegate().pathForResource("sub/page.html"), (root / "www" / "sub" / "page.html").string());
    EXPECT_FALSE(container->delegate().pathForResource("missing.html"));
    EXPECT_FALSE(container->delegate().pathForResource("../www/index.html"));

    platform::Bundle::setMain(previous);
    fs::remove_all(root);
}

TEST_F(CommandDelegateTest, PluginsHearResetsOfTheirOwnWebViewOnly) {
    auto other = std::make_shared<platform::WebView>();
    auto& center = platform::NotificationCenter::defaultCenter();
    center.post(HYBPluginResetNotification, other.get());
    EXPECT_EQ(echo->resets, 0);
    center.post(HYBPluginResetNotification, container->webView().get());
    EXPECT_EQ(echo->resets, 1);
}

TEST_F(CommandDelegateTest, ADisposedPluginForgetsItsContainer) {
    echo->dispose();
    EXPECT_FALSE(echo->commandDelegate());
    EXPECT_FALSE(echo->viewController());
    EXPECT_FALSE(echo->webView());
    EXPECT_EQ(echo->writeJavascript("1+1"), "");
}
