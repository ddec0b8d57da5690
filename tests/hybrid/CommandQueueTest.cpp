// The command queue: pokes, batch order across off-thread parses, time
// slicing, dispatch and its log lines, and input that must not jam the queue.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tools/harness/BridgeHarness.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"

using namespace hybrid;
using platform::RunLoop;
using testsupport::EchoPlugin;
using testsupport::TestContainer;

namespace {

// A batch of one "call" command whose text is exactly `length` bytes long,
// padded with `pad` (one or more bytes a character).
std::string paddedBatch(std::size_t length, const std::string& tag, const std::string& pad = "x") {
    const std::string head = R"([[null,"Echo","call",[")" + tag + "\",\"";
    const std::string tail = R"("]]])";
    std::string padding;
    while (head.size() + padding.size() + tail.size() + pad.size() <= length) padding += pad;
    while (head.size() + padding.size() + tail.size() < length) padding += ' ';
    return head + padding + tail;
}

std::string callBatch(std::initializer_list<const char*> tags) {
    std::string batch = "[";
    for (const char* tag : tags) {
        if (batch.size() > 1) batch += ",";
        batch += std::string(R"([null,"Echo","call",[")") + tag + "\"]]";
    }
    return batch + "]";
}

class CommandQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        container = TestContainer::create();
        echo = container->addEchoPlugin();
        echo->onCall = [this](const HYBInvokedUrlCommand& command) {
            tags.push_back(command.argumentAtIndex(0).stringValue());
        };
    }

    // The queue yields after 8 ms of work; on a loaded machine two echo calls
    // can take that long. Time stands still here unless a test moves it, so
    // a batch the test expects in one slice runs in one slice.
    platform::ScopedManualClock stillClock;
    std::shared_ptr<TestContainer> container;
    std::shared_ptr<EchoPlugin> echo;
    std::vector<std::string> tags;
};

}  // namespace

TEST_F(CommandQueueTest, RequestPokesActOnlyOnNewerNumbersAndRestartAtOne) {
    auto pageCalls = [&](const char* tag) {
        container->eval(std::string("hybrid.exec(null, null, 'Echo', 'call', ['") + tag + "'])");
    };
    container->queue().resetRequestId();
    pageCalls("a");
    container->queue().processXhrExecBridgePoke(5);
    EXPECT_TRUE(tags.empty());
    container->queue().processXhrExecBridgePoke(1);
    EXPECT_EQ(tags, (std::vector<std::string>{"a"}));
    pageCalls("b");
    container->queue().processXhrExecBridgePoke(1);
    EXPECT_EQ(tags.size(), 1u);
    container->queue().processXhrExecBridgePoke(3);
    EXPECT_EQ(tags, (std::vector<std::string>{"a", "b"}));
    pageCalls("c");
    container->queue().processXhrExecBridgePoke(2);
    EXPECT_EQ(tags.size(), 2u);
    container->queue().processXhrExecBridgePoke(platform::Value("4"));  // header texts arrive as strings
    EXPECT_EQ(tags, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(CommandQueueTest, LargeBatchesAreParsedOffTheMainThreadAndKeepTheirPlace) {
    auto manual = std::make_shared<platform::ManualExecutor>();
    auto previous = platform::setGlobalQueue(manual);

    const std::string small = paddedBatch(4095, "small");
    ASSERT_EQ(small.size(), 4095u);
    container->queue().enqueueCommandBatch(small);
    EXPECT_EQ(manual->pending(), 0u);
    container->queue().executePending();
    EXPECT_EQ(tags, (std::vector<std::string>{"small"}));

    const std::string large = paddedBatch(4096, "large");
    ASSERT_EQ(large.size(), 4096u);
    container->queue().enqueueCommandBatch(large);
    container->queue().enqueueCommandBatch(callBatch({"after"}));
    EXPECT_EQ(manual->pending(), 1u);
    container->queue().executePending();
    EXPECT_EQ(tags.size(), 1u);  // the later batch waits for the one being parsed
    EXPECT_FALSE(container->queue().currentlyExecuting());

    manual->runAll();
    EXPECT_EQ(tags.size(), 1u);  // the parser only posts; nothing runs on its thread
    RunLoop::main().runOnce();
    EXPECT_EQ(tags, (std::vector<std::string>{"small", "large", "after"}));

    // The threshold counts UTF-16 units, not bytes: 4096 bytes of two-byte characters stay on this thread.
    const std::string wide = paddedBatch(4096, "wide", "\xc3\xa9");
    ASSERT_LT(platform::utf16Length(wide), 4096u);
    container->queue().enqueueCommandBatch(wide);
    EXPECT_EQ(manual->pending(), 0u);

    platform::setGlobalQueue(previous);
}

TEST_F(CommandQueueTest, ARealWorkerParsesALargeBatch) {
    container->queue().enqueueCommandBatch(paddedBatch(20000, "big"));
    container->queue().enqueueCommandBatch(callBatch({"next"}));
    container->queue().executePending();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return tags.size() == 2; }, 10));
    EXPECT_EQ(tags, (std::vector<std::string>{"big", "next"}));
}

TEST_F(CommandQueueTest, ABatchBigEnoughToHandMemoryBackRunsInFullAndInOrder) {
    std::string batch = "[";
    std::vector<std::string> expected;
    for (int i = 0; batch.size() < HYBCommandQueue::kReleaseMemoryLength; ++i) {
        expected.push_back(std::to_string(i));
        if (i) batch += ",";
        batch += R"([null,"Echo","call",[")" + expected.back() + "\"]]";
    }
    batch += "]";
    expected.push_back("next");
    container->queue().enqueueCommandBatch(batch);
    container->queue().enqueueCommandBatch(callBatch({"next"}));
    container->queue().executePending();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return tags.size() == expected.size(); }, 60));
    EXPECT_EQ(tags, expected);
}

TEST_F(CommandQueueTest, EmptyBatchesAreSkipped) {
    container->queue().enqueueCommandBatch("");
    container->queue().enqueueCommandBatch("[]");
    container->queue().enqueueCommandBatch(callBatch({"one", "two"}));
    container->queue().executePending();
    EXPECT_EQ(tags, (std::vector<std::string>{"one", "two"}));
    EXPECT_FALSE(container->queue().currentlyExecuting());
}

TEST_F(CommandQueueTest, MalformedInputIsDroppedWithALogLineAndNeverBlocksLaterBatches) {
    platform::LogCapture log;
    container->queue().enqueueCommandBatch("[[null, \"Echo\"");
    container->queue().enqueueCommandBatch(R"({"not": "an array"})");
    container->queue().enqueueCommandBatch(R"([5, [null, "Echo", "call", {}], [null, "Echo", "call", ["ok"]]])");
    container->queue().enqueueCommandBatch(std::string(5000, '['));  // large and broken, parsed off-thread
    container->queue().enqueueCommandBatch(callBatch({"last"}));
    container->queue().executePending();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return tags.size() == 2; }, 10));
    EXPECT_EQ(tags, (std::vector<std::string>{"ok", "last"}));
    EXPECT_EQ(log.count("NSString JSONObject error: "), 2u);
    EXPECT_TRUE(log.contains("not an array"));
    EXPECT_EQ(log.count("ERROR: Dropped a command because"), 2u);
}

TEST_F(CommandQueueTest, NestedExecutePendingReturnsAtOnceAndTheRunningLoopPicksUpNewBatches) {
    echo->onCall = [this](const HYBInvokedUrlCommand& command) {
        const std::string tag = command.argumentAtIndex(0).stringValue();
        tags.push_back(tag);
        if (tag == "first") {
            container->queue().enqueueCommandBatch(callBatch({"chained"}));
            container->queue().executePending();
            tags.push_back("after nested call");
        }
    };
    container->queue().enqueueCommandBatch(callBatch({"first", "second"}));
    container->queue().executePending();
    EXPECT_EQ(tags, (std::vector<std::string>{"first", "after nested call", "second", "chained"}));
}

TEST_F(CommandQueueTest, LongRunsYieldToTheRunLoopAfterEightMilliseconds) {
    platform::ScopedManualClock clock;
    echo->onCall = [&](const HYBInvokedUrlCommand& command) {
        tags.push_back(command.argumentAtIndex(0).stringValue());
        clock->advance(0.005);
    };
    container->queue().enqueueCommandBatch(callBatch({"1"}));
    container->queue().enqueueCommandBatch(callBatch({"2"}));
    container->queue().enqueueCommandBatch(callBatch({"3", "4"}));
    container->queue().executePending();
    EXPECT_EQ(tags, (std::vector<std::string>{"1", "2"}));
    EXPECT_FALSE(container->queue().currentlyExecuting());
    EXPECT_EQ(RunLoop::main().pendingTimers(), 1u);

    RunLoop::main().runOnce();
    EXPECT_EQ(tags, (std::vector<std::string>{"1", "2", "3", "4"}));  // the last batch empties the queue: no yield
    EXPECT_EQ(RunLoop::main().pendingTimers(), 0u);
}

TEST_F(CommandQueueTest, DispatchFailuresAreLoggedAndExecutionGoesOn) {
    platform::LogCapture log;
    container->queue().enqueueCommandBatch(
        R"([[null, "NoSuchService", "x", []], [null, "ECHO", "nope", []], [null, "echo", "call", ["ran"]]])");
    container->queue().executePending();
    EXPECT_TRUE(log.contains(
        "ERROR: Plugin 'NoSuchService' not found, or is not a HYBPlugin. Check your plugin mapping in config.xml."));
    EXPECT_TRUE(log.contains("ERROR: Method 'nope:' not defined in Plugin 'ECHO'"));
    EXPECT_EQ(tags, (std::vector<std::string>{"ran"}));

    HYBInvokedUrlCommand direct({}, std::nullopt, std::nullopt, "call");
    EXPECT_FALSE(container->queue().execute(direct));
    EXPECT_TRUE(log.contains("ERROR: Classname and/or methodName not found for command."));
}

TEST_F(CommandQueueTest, OnlyTableActionsCanBeCalled) {
    platform::LogCapture log;
    // Hooks and base-class members are not actions, whatever their names.
    container->queue().enqueueCommandBatch(R"([[null, "Echo", "onReset", []], [null, "Echo", "dispose", []]])");
    container->queue().executePending();
    EXPECT_EQ(echo->resets, 0);
    EXPECT_TRUE(echo->commandDelegate());
    EXPECT_EQ(log.count("not defined in Plugin 'Echo'"), 2u);
}

TEST_F(CommandQueueTest, SlowActionsAreReportedButTheirLookupIsNotCounted) {
    platform::ScopedManualClock clock;
    platform::LogCapture log;
    double actionTime = 0;
    echo->onCall = [&](const HYBInvokedUrlCommand&) { clock->advance(actionTime); };
    container->onGetCommandInstance = [&] { clock->advance(0.050); };

    actionTime = 0.009;
    EXPECT_TRUE(container->queue().execute(HYBInvokedUrlCommand({}, std::nullopt, "Echo", "call")));
    EXPECT_FALSE(log.contains("THREAD WARNING"));
    actionTime = 0.012;
    container->queue().execute(HYBInvokedUrlCommand({}, std::nullopt, "Echo", "call"));
    ASSERT_EQ(log.count("THREAD WARNING: ['Echo'] took '"), 1u);
    const std::string line = log.lines().back();
    EXPECT_NEAR(std::stod(line.substr(line.find("took '") + 6)), 12.0, 0.01);
    EXPECT_TRUE(log.contains("ms. Plugin should use a background thread."));
}

TEST_F(CommandQueueTest, AnExceptionFromAnActionIsLoggedAndTheQueueGoesOn) {
    platform::LogCapture log;
    echo->onCall = [this](const HYBInvokedUrlCommand& command) {
        const std::string tag = command.argumentAtIndex(0).stringValue();
        tags.push_back(tag);
        if (tag == "throw") throw std::runtime_error("plugin failed");
        if (tag == "throw int") throw 42;
    };
    container->queue().enqueueCommandBatch(callBatch({"throw", "throw int", "later"}));
    container->queue().executePending();
    EXPECT_FALSE(container->queue().currentlyExecuting());
    EXPECT_EQ(tags, (std::vector<std::string>{"throw", "throw int", "later"}));
    EXPECT_TRUE(log.contains("ERROR: Plugin 'Echo' action 'call:' threw: plugin failed"));
    EXPECT_TRUE(log.contains("ERROR: Plugin 'Echo' action 'call:' threw a non-standard exception."));
}

TEST_F(CommandQueueTest, AQueueWhoseContainerIsGoneFetchesNothing) {
    auto queue = std::make_shared<HYBCommandQueue>(std::weak_ptr<HYBContainer>());
    queue->fetchCommandsFromJs();
    queue->executePending();
    EXPECT_FALSE(queue->currentlyExecuting());

    container->eval("hybrid.exec(null, null, 'Echo', 'call', ['x'])");
    container->queue().dispose();
    container->queue().fetchCommandsFromJs();
    container->queue().executePending();
    EXPECT_TRUE(tags.empty());
}
