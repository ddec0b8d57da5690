#pragma once
// The container's queue of command batches from the page, and the
// time-sliced executor that runs them.
//
// Main thread only, except the parse of a large batch, which runs on the
// global queue and shares nothing with the main thread but its batch holder
// (guarded by the holder's mutex). Batches run in arrival order even when a
// later small batch is parsed before an earlier large one. After each command
// the executor gives the run loop back once a slice has run longer than
// 0.008 s, and goes on at the next turn.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace hybrid {

class HYBCommandDelegate;
class HYBContainer;
class HYBInvokedUrlCommand;

class HYBCommandQueue : public std::enable_shared_from_this<HYBCommandQueue> {
public:
    // Time after which a slice yields to the run loop, in seconds.
    static constexpr double kMaxExecutionTime = 0.008;
    // Batches of this many UTF-16 units and more are parsed off the main thread.
    static constexpr std::size_t kOffThreadParseLength = 4096;
    // After a batch text of this many bytes and more has run, the memory its
    // parse used goes back to the system (see platform/foundation/Memory.h).
    static constexpr std::size_t kReleaseMemoryLength = 512 * 1024;

    explicit HYBCommandQueue(std::weak_ptr<HYBContainer> container);

    // Forgets the container.
    void dispose();
    // After a page-load start, only a request-based poke numbered 1 acts.
    void resetRequestId();

    // Appends a batch text (an empty one is ignored).
    void enqueueCommandBatch(const std::string& batchText);
    // Asks the page for its pending calls and enqueues them.
    void fetchCommandsFromJs();
    // The request-based poke: acts only on a number above the last one acted
    // on, and after a reset only on 1.
    void processXhrExecBridgePoke(const platform::Value& requestId);
    // Runs queued commands; returns at once when already running.
    void executePending();
    // Dispatches one command; true when the plugin method was called. A
    // command that cannot be dispatched, or whose action throws, is logged and
    // its callback answered with an error result; the queue goes on.
    bool execute(const HYBInvokedUrlCommand& command);
    bool currentlyExecuting() const { return startExecutionTime_ > 0; }
    // The command whose action is running now, or nullptr.
    const HYBInvokedUrlCommand* executingCommand() const { return executingCommand_; }

    // Logs the exception being handled, thrown by the command's action (or by
    // work the action handed to the background), and answers the command's
    // callback with an error result carrying its text. Only from a catch
    // block; from any thread.
    static void answerThrown(HYBCommandDelegate& delegate, const HYBInvokedUrlCommand& command);

private:
    // Empty while its text is being parsed; then the parsed batch.
    struct BatchHolder {
        std::mutex mutex;
        std::optional<std::deque<platform::Value>> batch;
        bool releasesMemory = false;  // set before the parse starts
    };
    static void fill(BatchHolder& holder, const std::string& batchText);
    // Answers the command's callback with an error result.
    void answerFailure(const HYBInvokedUrlCommand& command, int status, const std::string& message);

    std::int64_t lastCommandQueueFlushRequestId_ = 0;
    std::weak_ptr<HYBContainer> viewController_;
    std::deque<std::shared_ptr<BatchHolder>> queue_;
    double startExecutionTime_ = 0;
    const HYBInvokedUrlCommand* executingCommand_ = nullptr;
};

}  // namespace hybrid
