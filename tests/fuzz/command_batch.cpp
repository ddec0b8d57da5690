// The page's command batches: whatever text the page hands over goes through
// the command queue and is executed against a registered plugin, whose
// answers go back through the page's bridge script.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tools/harness/BridgeHarness.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

// JavaScriptCore grows process-long caches with every script it runs, so
// almost every input would look like a leak and set off a scan of its whole
// heap, which is most of the run time. Leaks in our own code are left to the
// targets without a page.
extern "C" int __lsan_is_turned_off() { return 1; }

namespace {

using hybrid::HYBInvokedUrlCommand;
using hybrid::HYBPluginResult;

struct Bridge {
    Bridge() {
        platform::RunLoop::main().bindToCurrentThread();
        platform::setClock(clock);
        platform::setGlobalQueue(parser);
        container = testsupport::TestContainer::create();
        echo = container->addEchoPlugin();
        // "call" answers with whatever the page asked for: [status, message,
        // keepCallback, multipart]. Each call takes 5 ms of the queue's time,
        // so every other call ends a slice, the same way on every run.
        echo->onCall = [this](const HYBInvokedUrlCommand& command) {
            clock->advance(0.005);
            const int status = command.argumentAtIndex(0).intValue();
            const platform::Value message = command.argumentAtIndex(1);
            auto result = command.argumentAtIndex(3).boolValue()
                              ? HYBPluginResult::resultWithStatusMessageAsMultipart(status, command.arguments())
                              : std::make_shared<HYBPluginResult>(status, hybrid::HYBMassagedMessage(message));
            result->setKeepCallback(command.argumentAtIndex(2));
            container->delegate().sendPluginResult(*result, command.callbackId());
        };
    }

    // Runs everything the batch set off: off-thread parses, later slices,
    // deferred answers.
    void settle() {
        for (int turn = 0; turn < 100000; ++turn) {
            const bool parsed = parser->runAll() > 0;
            const bool pending = platform::RunLoop::main().pendingTasks() + platform::RunLoop::main().pendingTimers() > 0;
            if (!parsed && !pending) return;
            platform::RunLoop::main().runOnce();
        }
        std::fprintf(stderr, "command_batch: the run loop never went idle\n");
        std::abort();
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    std::shared_ptr<platform::ManualExecutor> parser = std::make_shared<platform::ManualExecutor>();
    std::shared_ptr<testsupport::TestContainer> container;
    std::shared_ptr<testsupport::EchoPlugin> echo;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Bridge* bridge = new Bridge;  // lives as long as the process, as the page does
    platform::LogCapture quiet;
    bridge->echo->calls.clear();

    bridge->container->queue().enqueueCommandBatch(std::string(reinterpret_cast<const char*>(data), size));
    bridge->container->queue().executePending();
    bridge->settle();

    // Whatever came before, the queue must still take the next batch.
    bridge->echo->calls.clear();
    bridge->container->queue().enqueueCommandBatch(R"([[null,"Echo","echo",[]]])");
    bridge->container->queue().executePending();
    bridge->settle();
    if (bridge->echo->calls.size() != 1 || bridge->container->queue().currentlyExecuting()) {
        std::fprintf(stderr, "command_batch: the queue is stuck after this batch\n");
        std::abort();
    }
    return 0;
}
