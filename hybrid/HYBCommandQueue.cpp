#include "hybrid/HYBCommandQueue.h"

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBContainer.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBJSONSerializing.h"
#include "hybrid/HYBPlugin.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/WebView.h"

namespace hybrid {

namespace {
constexpr const char* kFetchMessagesScript = "hybrid.require('hybrid/exec').nativeFetchMessages()";
}

HYBCommandQueue::HYBCommandQueue(std::weak_ptr<HYBContainer> container) : viewController_(std::move(container)) {}

void HYBCommandQueue::dispose() { viewController_.reset(); }

void HYBCommandQueue::resetRequestId() { lastCommandQueueFlushRequestId_ = 0; }

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
    if (batchText.empty()) return;
    auto holder = std::make_shared<BatchHolder>();
    queue_.push_back(holder);
    const bool large = batchText.size() >= kOffThreadParseLength && platform::utf16Length(batchText) >= kOffThreadParseLength;
    if (!large) {
        fill(*holder, batchText);
        return;
    }
    std::weak_ptr<HYBCommandQueue> weakSelf = weak_from_this();
    platform::globalQueue().async([holder, batchText, weakSelf] {
        fill(*holder, batchText);
        platform::RunLoop::main().post([weakSelf] {
            if (auto self = weakSelf.lock()) self->executePending();
        });
    });
}

void HYBCommandQueue::fetchCommandsFromJs() {
    auto container = viewController_.lock();
    if (!container) return;
    auto webView = container->webView();
    if (!webView) return;
    enqueueCommandBatch(webView->stringByEvaluatingJavaScriptFromString(kFetchMessagesScript));
}

void HYBCommandQueue::processXhrExecBridgePoke(const platform::Value& requestId) {
    const std::int64_t number = requestId.integerValue();
    if ((number == 1 || lastCommandQueueFlushRequestId_ != 0) && number > lastCommandQueueFlushRequestId_) {
        lastCommandQueueFlushRequestId_ = number;
        fetchCommandsFromJs();
        executePending();
    }
}

void HYBCommandQueue::executePending() {
    if (startExecutionTime_ > 0) return;
    startExecutionTime_ = platform::clock().sinceReferenceDate();
    // Back to idle however the loop ends, a plugin's exception included.
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
            if (batch.empty()) queue_.pop_front();
            if (auto command = HYBInvokedUrlCommand::commandFromJson(std::move(json))) execute(*command);

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

bool HYBCommandQueue::execute(const HYBInvokedUrlCommand& command) {
    if (!command.className() || !command.methodName()) {
        platform::log("ERROR: Classname and/or methodName not found for command.");
        return false;
    }
    const std::string& className = *command.className();
    auto container = viewController_.lock();
    auto delegate = container ? container->commandDelegate() : nullptr;
    std::shared_ptr<HYBPlugin> plugin = delegate ? delegate->getCommandInstance(className) : nullptr;
    if (!plugin) {
        platform::logf("ERROR: Plugin '%s' not found, or is not a HYBPlugin. Check your plugin mapping in config.xml.",
                       className.c_str());
        return false;
    }

    const double start = platform::clock().now();
    const std::string selector = *command.methodName() + ":";
    const bool called = plugin->performSelector(selector, command);
    if (!called) {
        platform::logf("ERROR: Method '%s' not defined in Plugin '%s'", selector.c_str(), className.c_str());
    }
    const double elapsed = platform::clock().now() * 1000.0 - start * 1000.0;
    if (elapsed > 10.0)
        platform::logf("THREAD WARNING: ['%s'] took '%f' ms. Plugin should use a background thread.",
                       className.c_str(), elapsed);
    return called;
}

}  // namespace hybrid
