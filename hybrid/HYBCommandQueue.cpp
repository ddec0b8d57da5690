#include "hybrid/HYBCommandQueue.h"

#include <utility>

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBContainer.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBJSONSerializing.h"
#include "hybrid/HYBPlugin.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Memory.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/WebView.h"

namespace hybrid {

namespace {
constexpr const char* kFetchMessagesScript = "hybrid.require('hybrid/exec').nativeFetchMessages()";
}

HYBCommandQueue::HYBCommandQueue(std::weak_ptr<HYBContainer> container) : viewController_(std::move(container)) {}

void HYBCommandQueue::dispose() { viewController_.reset(); }

void HYBCommandQueue::resetRequestId() {
    platform::assertMainThread("HYBCommandQueue::resetRequestId");
    lastCommandQueueFlushRequestId_ = 0;
}

void HYBCommandQueue::fill(BatchHolder& holder, const std::string& batchText) {
    std::deque<platform::Value> commands;
    auto parsed = hyb_JSONObject(batchText);
    if (parsed && parsed->isArray()) {
        platform::Array& array = *parsed->array();
        commands.assign(std::make_move_iterator(array.begin()), std::make_move_iterator(array.end()));
    } else if (parsed) {
        platform::log("ERROR: Dropped a command batch that is not an array.");
    }
    // A batch that did not parse becomes empty, so it never holds up the ones behind it.
    std::lock_guard lock(holder.mutex);
    holder.batch = std::move(commands);
}

void HYBCommandQueue::enqueueCommandBatch(const std::string& batchText) {
    platform::assertMainThread("HYBCommandQueue::enqueueCommandBatch");
    if (batchText.empty()) return;
    auto holder = std::make_shared<BatchHolder>();
    queue_.push_back(holder);
    const bool large = batchText.size() >= kOffThreadParseLength && platform::utf16Length(batchText) >= kOffThreadParseLength;
    if (!large) {
        fill(*holder, batchText);
        return;
    }
    holder->releasesMemory = batchText.size() >= kReleaseMemoryLength;
    std::weak_ptr<HYBCommandQueue> weakSelf = weak_from_this();
    platform::globalQueue().async([holder, batchText, weakSelf] {
        fill(*holder, batchText);
        platform::RunLoop::main().post([weakSelf] {
            if (auto self = weakSelf.lock()) self->executePending();
        });
    });
}

void HYBCommandQueue::fetchCommandsFromJs() {
    platform::assertMainThread("HYBCommandQueue::fetchCommandsFromJs");
    auto container = viewController_.lock();
    if (!container) return;
    auto webView = container->webView();
    if (!webView) return;
    enqueueCommandBatch(webView->stringByEvaluatingJavaScriptFromString(kFetchMessagesScript));
}

void HYBCommandQueue::processXhrExecBridgePoke(const platform::Value& requestId) {
    platform::assertMainThread("HYBCommandQueue::processXhrExecBridgePoke");
    const std::int64_t number = requestId.integerValue();
    if ((number == 1 || lastCommandQueueFlushRequestId_ != 0) && number > lastCommandQueueFlushRequestId_) {
        lastCommandQueueFlushRequestId_ = number;
        fetchCommandsFromJs();
        executePending();
    }
}

void HYBCommandQueue::executePending() {
    platform::assertMainThread("HYBCommandQueue::executePending");
    if (startExecutionTime_ > 0) return;
    startExecutionTime_ = platform::clock().sinceReferenceDate();
    // Back to idle however the loop ends.
    struct Idle {
        double& start;
        ~Idle() { start = 0; }
    } idle{startExecutionTime_};

    while (!queue_.empty()) {
        std::shared_ptr<BatchHolder> holder = queue_.front();
        {
            std::lock_guard lock(holder->mutex);
            if (!holder->batch) return;  // still being parsed; the parser posts executePending when done
        }
        // Once parsed, a holder is only touched on the main thread.
        std::deque<platform::Value>& batch = *holder->batch;
        if (batch.empty()) {
            queue_.pop_front();
            continue;
        }
        while (!batch.empty()) {
            platform::Value json = std::move(batch.front());
            batch.pop_front();
            const bool last = batch.empty();
            if (last) queue_.pop_front();
            if (auto command = HYBInvokedUrlCommand::commandFromJson(std::move(json))) execute(*command);
            // The parse ran on a worker whose allocator keeps what we freed here, and the next
            // large batch may go to another worker: without this, each one adds its size for good.
            if (last && holder->releasesMemory) platform::releaseFreeMemory();

            if (!queue_.empty() && platform::clock().sinceReferenceDate() - startExecutionTime_ > kMaxExecutionTime) {
                std::weak_ptr<HYBCommandQueue> weakSelf = weak_from_this();
                platform::RunLoop::main().after(0, [weakSelf] {
                    if (auto self = weakSelf.lock()) self->executePending();
                });
                return;
            }
        }
    }
}

void HYBCommandQueue::answerFailure(const HYBInvokedUrlCommand& command, int status, const std::string& message) {
    auto container = viewController_.lock();
    auto delegate = container ? container->commandDelegate() : nullptr;
    if (!delegate) return;
    delegate->sendPluginResult(*HYBPluginResult::resultWithStatusMessageAsString(status, message), command.callbackId());
}

void HYBCommandQueue::answerThrown(HYBCommandDelegate& delegate, const HYBInvokedUrlCommand& command) {
    const char* className = command.className() ? command.className()->c_str() : "?";
    const std::string selector = command.methodName().value_or("?") + ":";
    std::string message;
    try {
        throw;
    } catch (const std::exception& failure) {
        platform::logf("ERROR: Plugin '%s' action '%s' threw: %s", className, selector.c_str(), failure.what());
        message = platform::format("Plugin '%s' action '%s' failed: %s", className, selector.c_str(), failure.what());
    } catch (...) {
        platform::logf("ERROR: Plugin '%s' action '%s' threw a non-standard exception.", className, selector.c_str());
        message = platform::format("Plugin '%s' action '%s' failed.", className, selector.c_str());
    }
    delegate.sendPluginResult(*HYBPluginResult::resultWithStatusMessageAsString(HYBResultStatusError, message),
                              command.callbackId());
}

bool HYBCommandQueue::execute(const HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBCommandQueue::execute");
    // Every failure below also answers the page's callback, so a call is never left waiting for ever.
    if (!command.className() || !command.methodName()) {
        platform::log("ERROR: Classname and/or methodName not found for command.");
        answerFailure(command, command.className() ? HYBResultStatusInvalidAction : HYBResultStatusClassNotFound,
                      "Classname and/or methodName not found for command.");
        return false;
    }
    const std::string& className = *command.className();
    const std::string selector = *command.methodName() + ":";
    auto container = viewController_.lock();
    auto delegate = container ? container->commandDelegate() : nullptr;
    std::shared_ptr<HYBPlugin> plugin;
    try {
        plugin = delegate ? delegate->getCommandInstance(className) : nullptr;
    } catch (const std::exception& failure) {
        platform::logf("ERROR: Plugin '%s' could not be created: %s", className.c_str(), failure.what());
        answerFailure(command, HYBResultStatusInstantiationError,
                      platform::format("Plugin '%s' could not be created: %s", className.c_str(), failure.what()));
        return false;
    }
    if (!plugin) {
        platform::logf("ERROR: Plugin '%s' not found, or is not a HYBPlugin. Check your plugin mapping in config.xml.",
                       className.c_str());
        answerFailure(command, HYBResultStatusClassNotFound, platform::format("Plugin '%s' not found.", className.c_str()));
        return false;
    }

    const double start = platform::clock().now();
    bool called = false;
    // Put back however this ends: a failing answer below may throw too.
    struct Restore {
        const HYBInvokedUrlCommand*& running;
        const HYBInvokedUrlCommand* outer;
        ~Restore() { running = outer; }
    } restore{executingCommand_, std::exchange(executingCommand_, &command)};
    try {
        called = plugin->performSelector(selector, command);
        if (!called) {
            platform::logf("ERROR: Method '%s' not defined in Plugin '%s'", selector.c_str(), className.c_str());
            answerFailure(command, HYBResultStatusInvalidAction,
                          platform::format("Method '%s' not defined in Plugin '%s'", selector.c_str(), className.c_str()));
        }
    } catch (...) {
        called = true;
        answerThrown(*delegate, command);
    }
    const double elapsed = platform::clock().now() * 1000.0 - start * 1000.0;
    if (elapsed > 10.0)
        platform::logf("THREAD WARNING: ['%s'] took '%f' ms. Plugin should use a background thread.",
                       className.c_str(), elapsed);
    return called;
}

}  // namespace hybrid
