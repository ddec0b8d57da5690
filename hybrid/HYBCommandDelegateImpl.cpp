#include "hybrid/HYBCommandDelegateImpl.h"

#include "hybrid/HYBCommandQueue.h"
#include "hybrid/HYBContainer.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/URL.h"
#include "platform/ui/WebView.h"

namespace hybrid {

namespace {
constexpr std::size_t kMaxCallbackIdLength = 100;
}

HYBCommandDelegateImpl::HYBCommandDelegateImpl(const std::shared_ptr<HYBContainer>& container,
                                               const std::string& callbackIdPattern)
    : viewController_(container), commandQueue_(container ? container->commandQueue() : nullptr) {
    callbackIdPattern_ = platform::RegularExpression::create(callbackIdPattern);
    if (!callbackIdPattern_) platform::log("Error: Couldn't initialize regex");
    defaultCallbackIdPattern_ = callbackIdPattern_ && callbackIdPattern == kCallbackIdPattern;
}

HYBCommandDelegateImpl::~HYBCommandDelegateImpl() = default;

std::optional<std::string> HYBCommandDelegateImpl::pathForResource(const std::string& resourcePath) {
    platform::assertMainThread("HYBCommandDelegateImpl::pathForResource");
    auto container = viewController_.lock();
    if (!container) return std::nullopt;
    const std::size_t slash = resourcePath.rfind('/');
    const std::string name = slash == std::string::npos ? resourcePath : resourcePath.substr(slash + 1);
    const std::string subdirectory = slash == std::string::npos ? std::string() : resourcePath.substr(0, slash);
    const std::string directory =
        subdirectory.empty() ? container->wwwFolderName() : container->wwwFolderName() + "/" + subdirectory;
    return platform::Bundle::main().pathForResource(name, "", directory);
}

std::shared_ptr<HYBPlugin> HYBCommandDelegateImpl::getCommandInstance(const std::string& pluginName) {
    platform::assertMainThread("HYBCommandDelegateImpl::getCommandInstance");
    auto container = viewController_.lock();
    return container ? container->getCommandInstance(pluginName) : nullptr;
}

void HYBCommandDelegateImpl::sendPluginResult(const HYBPluginResult& result,
                                              const std::optional<std::string>& callbackId) {
    if (callbackId && *callbackId == "INVALID") return;
    if (!isValidCallbackId(callbackId)) {
        platform::log("Invalid callback id received by sendPluginResult");
        return;
    }
    // Built by hand rather than formatted: this runs once for every answer the page gets.
    const std::string message = result.argumentsAsJSON();
    std::string script;
    script.reserve(64 + callbackId->size() + message.size());
    script += "hybrid.require('hybrid/exec').nativeCallback('";
    script += *callbackId;
    script += "',";
    script += std::to_string(result.status());
    script += ',';
    script += message;
    script += result.keepCallback() ? ",1)" : ",0)";
    evalJsHelper(script);
}

void HYBCommandDelegateImpl::evalJs(const std::string& script) { evalJsScheduledOnRunLoop(script, true); }

void HYBCommandDelegateImpl::evalJsScheduledOnRunLoop(const std::string& script, bool scheduledOnRunLoop) {
    const std::string wrapped =
        platform::format("hybrid.require('hybrid/exec').nativeEvalAndFetch(function(){%s})", script.c_str());
    if (scheduledOnRunLoop)
        evalJsHelper(wrapped);
    else
        evalJsHelper2(wrapped);
}

void HYBCommandDelegateImpl::runInBackground(std::function<void()> block) {
    // Handed over by an action: work that throws answers the action's
    // command, as the action itself would have.
    std::optional<HYBInvokedUrlCommand> command;
    if (platform::RunLoop::isMainThread()) {
        auto queue = commandQueue_.lock();
        if (const HYBInvokedUrlCommand* running = queue ? queue->executingCommand() : nullptr)
            command.emplace(platform::Array{}, running->callbackId(), running->className(), running->methodName());
    }
    std::weak_ptr<HYBCommandDelegateImpl> weakSelf = weak_from_this();
    platform::globalQueue().async([weakSelf, block = std::move(block), command = std::move(command)] {
        try {
            block();
        } catch (...) {
            auto self = weakSelf.lock();
            if (!self || !command) throw;  // nobody to answer: the queue's worker logs it
            HYBCommandQueue::answerThrown(*self, *command);
        }
    });
}

std::string HYBCommandDelegateImpl::userAgent() {
    platform::assertMainThread("HYBCommandDelegateImpl::userAgent");
    auto container = viewController_.lock();
    return container ? container->userAgent() : std::string();
}

bool HYBCommandDelegateImpl::URLIsWhitelisted(const platform::URL& url) {
    platform::assertMainThread("HYBCommandDelegateImpl::URLIsWhitelisted");
    auto container = viewController_.lock();
    if (!container) return false;
    // Schemes the whitelist does not govern (mailto:, tel:, ...) are never refused here.
    if (!container->whitelistSchemeIsAllowed(url.scheme())) return true;
    return container->whitelistURLIsAllowed(url, false);
}

platform::Dictionary HYBCommandDelegateImpl::settings() {
    platform::assertMainThread("HYBCommandDelegateImpl::settings");
    auto container = viewController_.lock();
    return container ? container->settings() : platform::Dictionary();
}

void HYBCommandDelegateImpl::flushCommandQueueWithDelayedJs() {
    platform::assertMainThread("HYBCommandDelegateImpl::flushCommandQueueWithDelayedJs");
    auto queue = commandQueue_.lock();
    delayResponses_ = true;
    struct Restore {
        bool& flag;
        ~Restore() { flag = false; }
    } restore{delayResponses_};
    if (queue) queue->executePending();
}

bool HYBCommandDelegateImpl::isValidCallbackId(const std::optional<std::string>& callbackId) const {
    if (!callbackId || !callbackIdPattern_) return false;
    if (platform::utf16Length(*callbackId) > kMaxCallbackIdLength) return false;
    if (defaultCallbackIdPattern_) {
        // Any byte outside the class, including every byte of a non-ASCII or malformed sequence, is a character
        // the pattern would match.
        for (const char c : *callbackId) {
            const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                 c == '.' || c == '_' || c == '-';
            if (!allowed) return false;
        }
        return true;
    }
    return !callbackIdPattern_->matchesSomewhere(*callbackId);
}

void HYBCommandDelegateImpl::evalJsHelper(const std::string& script) {
    // The thread is checked first: the flag and the queue's state belong to the main thread.
    if (platform::RunLoop::isMainThread() && !delayResponses_) {
        auto queue = commandQueue_.lock();
        if (queue && queue->currentlyExecuting()) {
            evalJsHelper2(script);
            return;
        }
    }
    std::weak_ptr<HYBCommandDelegateImpl> weakSelf = weak_from_this();
    platform::RunLoop::main().post([weakSelf, script] {
        if (auto self = weakSelf.lock()) self->evalJsHelper2(script);
    });
}

void HYBCommandDelegateImpl::evalJsHelper2(const std::string& script) {
    auto container = viewController_.lock();
    auto webView = container ? container->webView() : nullptr;
    if (!webView) return;
    const std::string next = webView->stringByEvaluatingJavaScriptFromString(script);
    if (auto queue = commandQueue_.lock()) {
        queue->enqueueCommandBatch(next);
        queue->executePending();
    }
}

}  // namespace hybrid
