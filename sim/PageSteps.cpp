// Page steps: waits, the log, the page's script and screenshots.
#include <algorithm>

#include "app/AppDelegate.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "sim/Steps.h"

namespace sim {

using platform::Value;

namespace {

// Until every text shows in a line logged from `from` on, failing after the
// step's "timeout" (default 10 s) as `kind` ("waitFor" or "expect").
StepOutcome awaitTexts(const StepRun& run, const char* kind, std::vector<std::string> texts, std::size_t from) {
    const Value& step = run.step;
    const double timeout = step["timeout"].isNumber() ? std::max(0.0, step["timeout"].doubleValue()) : 10.0;
    const double deadline = platform::clock().now() + timeout;
    auto look = [kind, timeout, deadline](const std::vector<std::string>& unseen) -> std::optional<StepOutcome> {
        if (unseen.empty()) return StepOutcome::next();
        if (platform::clock().now() > deadline)
            return StepOutcome::failed(
                platform::format("%s '%s' timed out after %g s", kind, unseen.front().c_str(), timeout));
        return std::nullopt;
    };
    return run.watchLog(from, std::move(texts), look);
}

}  // namespace

StepOutcome playWait(const StepRun& run) { return StepOutcome::next(std::max(0.0, run.step["wait"].doubleValue())); }

// "expect" takes one text or a list; with a timeout it waits like "waitFor",
// but from the previous step's start. A "waitFor" beside it is what the step
// waits for, as an "expect" with a timeout and a "waitFor" without.
StepOutcome playExpect(const StepRun& run) {
    const Value& step = run.step;
    std::vector<std::string> expected;
    if (const std::string* text = step["expect"].string()) expected.push_back(*text);
    for (std::size_t i = 0; step["expect"].isArray() && i < step["expect"].count(); ++i)
        if (const std::string* text = step["expect"][i].string()) expected.push_back(*text);
    if (expected.empty()) return StepOutcome::failed("expect needs a text or a list of texts");
    const bool waiting = step["timeout"].isNumber();
    if (const std::string* text = step["waitFor"].string())
        return awaitTexts(run, waiting ? "expect" : "waitFor", {*text},
                          waiting ? run.previousStepStart : run.stepStart);
    if (waiting) return awaitTexts(run, "expect", std::move(expected), run.previousStepStart);
    // Without a timeout the one look at the lines logged so far decides.
    auto look = [](const std::vector<std::string>& unseen) -> std::optional<StepOutcome> {
        if (unseen.empty()) return StepOutcome::next();
        return StepOutcome::failed("no line logged since the previous step began contained '" + unseen.front() + "'");
    };
    return run.watchLog(run.previousStepStart, std::move(expected), look);
}

StepOutcome playWaitFor(const StepRun& run) {
    return awaitTexts(run, "waitFor", {*run.step["waitFor"].string()}, run.stepStart);
}

// Fails when a line since the previous step began, or one logged within the
// timeout (default 0), contains the text.
StepOutcome playExpectNot(const StepRun& run) {
    const Value& step = run.step;
    const std::string* unwanted = step["expectNot"].string();
    if (!unwanted) return StepOutcome::failed("expectNot needs a text");
    const double timeout = step["timeout"].isNumber() ? std::max(0.0, step["timeout"].doubleValue()) : 0.0;
    const double deadline = platform::clock().now() + timeout;
    auto look = [text = *unwanted, deadline](const std::vector<std::string>& unseen) -> std::optional<StepOutcome> {
        if (unseen.empty()) return StepOutcome::failed("a line contained '" + text + "'");
        if (platform::clock().now() >= deadline) return StepOutcome::next();
        return std::nullopt;
    };
    return run.watchLog(run.previousStepStart, {*unwanted}, look);
}

StepOutcome playEval(const StepRun& run) {
    const std::string& script = *run.step["eval"].string();
    auto delegate = appDelegate();
    auto container = delegate ? delegate->viewController() : nullptr;
    if (!container || !container->webView()) return StepOutcome::failed("no page to evaluate in");
    // Indirect eval runs the script at the page's top level, as it would unwrapped.
    const std::string answer = container->webView()->stringByEvaluatingJavaScriptFromString(
        "(function () { try { var answer = (0, eval)(" + platform::writeJson(script).text.value_or("''") +
        "); return 'ok:' + (answer === undefined ? '' : String(answer)); }"
        " catch (e) { return 'threw:' + String(e); } })()");
    if (platform::startsWith(answer, "threw:")) return StepOutcome::failed("the script threw " + answer.substr(6));
    if (!platform::startsWith(answer, "ok:")) return StepOutcome::failed("the page could not run the script");
    if (answer.size() > 3) platform::logf("scenario: eval answered %s", answer.c_str() + 3);
    return StepOutcome::next();
}

StepOutcome playScreenshot(const StepRun& run) {
    const std::string& name = *run.step["screenshot"].string();
    if (!run.screenshot(name)) return StepOutcome::failed("could not write the screenshot " + name);
    return StepOutcome::next();
}

StepOutcome playLog(const StepRun& run) {
    platform::log(*run.step["log"].string());
    return StepOutcome::next();
}

}  // namespace sim
