// Page steps: waits, the log, the page's script and screenshots.
#include <algorithm>

#include "app/AppDelegate.h"
#include "platform/capture/CaptureSession.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/Screen.h"
#include "sim/Steps.h"

namespace sim {

using platform::Value;

namespace {

// The screen's numbers an expected text may name, so one scenario expects
// what the device reports at whatever --screen it plays on.
std::string withScreenNumbers(std::string text) {
    const platform::UIScreen& screen = platform::UIScreen::mainScreen();
    const std::pair<const char*, double> numbers[] = {
        {"${screenPixelWidth}", screen.bounds().size.width * screen.scale()},
        {"${screenPixelHeight}", screen.bounds().size.height * screen.scale()},
    };
    for (const auto& [name, number] : numbers)
        for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at))
            text.replace(at, std::string_view(name).size(), platform::format("%g", number));
    return text;
}

// A text, or (`listAllowed`) a list of texts; empty when the value is neither.
std::vector<std::string> expectedTexts(const Value& value, bool listAllowed) {
    std::vector<std::string> texts;
    if (const std::string* text = value.string()) texts.push_back(withScreenNumbers(*text));
    for (std::size_t i = 0; listAllowed && value.isArray() && i < value.count(); ++i)
        if (const std::string* text = value[i].string()) texts.push_back(withScreenNumbers(*text));
    return texts;
}

// How a timeout was counted, for the line of a wait that ran out.
enum class Counted { Clock, CameraFrames, CameraFramesAndStalls };

// What a failed expectation looked for, how it failed, and the last lines it
// saw, for its failure line.
std::string failedExpectation(const char* kind, const std::vector<std::string>& unseen, double timeout,
                              Counted counted, const std::vector<std::string>& lastLines) {
    constexpr std::size_t kLongestQuote = 160;
    std::string text = kind;
    for (std::size_t i = 0; i < unseen.size(); ++i) text += (i ? ", '" : " '") + unseen[i] + "'";
    if (timeout <= 0) {
        text += " is in no line since the previous expectation's";
    } else {
        text += platform::format(" timed out after %g s", timeout);
        if (counted != Counted::Clock) text += " of camera frames";
        if (counted == Counted::CameraFramesAndStalls) text += " and of the clock while the camera rendered none";
    }
    if (lastLines.empty()) return text + "; it saw no line";
    text += "; the last lines it saw:";
    for (std::size_t i = 0; i < lastLines.size(); ++i)
        text += (i ? " | \"" : " \"") + lastLines[i].substr(0, kLongestQuote) + "\"";
    return text;
}

double timeoutOf(const Value& step, double otherwise) {
    return step["timeout"].isNil() ? otherwise : std::max(0.0, step["timeout"].doubleValue());
}

// A step's timeout, counted on the camera while it films: a second is as
// many frames as the camera films in one, counting only those it rendered,
// which is what the scanner saw (a frame dropped while analysis was busy is
// never rendered). What the scanner logs comes after as many frames on a
// loaded machine or in a sanitizer build as on a quiet one, and the filmed
// card moves with those frames, so such a wait holds wherever it runs; when
// no session films, it is the clock's time. Each look adds what passed since
// the last one.
//
// A camera that renders nothing (a stalled source, an analysis that never
// returns, a session with nothing to deliver to) must not stop time: once no
// frame has come for kStallGrace of the clock, the clock counts until one
// comes. The grace is over six times the longest gap between rendered frames
// of a quiet sanitizer build's scan (0.31 s), so a scanner several times
// slower, as under load, still has its frames alone counted. No cap in multiples of the timeout
// besides: the grace already bounds a wait to kCameraFramesPerSecond x
// kStallGrace times its timeout (a frame just inside every grace), and a cap
// tight enough to matter would be reached first by a loaded sanitizer run,
// whose scanner sees only a few frames a second.
class StepTimeout {
public:
    explicit StepTimeout(double seconds)
        : seconds_(seconds),
          lastTime_(platform::clock().now()),
          lastFrameAt_(lastTime_),
          lastFrames_(platform::cameraFilming().framesRendered) {}

    bool passed() {
        const double now = platform::clock().now();
        const platform::CameraFilming filming = platform::cameraFilming();
        if (filming.sessionsFilming == 0) {
            elapsed_ += now - lastTime_;
            lastFrameAt_ = now;
        } else if (filming.framesRendered != lastFrames_) {
            elapsed_ += double(filming.framesRendered - lastFrames_) / platform::kCameraFramesPerSecond;
            lastFrameAt_ = now;
        } else if (now - lastFrameAt_ > kStallGrace) {
            elapsed_ += now - std::max(lastTime_, lastFrameAt_ + kStallGrace);
            counted_ = Counted::CameraFramesAndStalls;
        }
        if (filming.sessionsFilming > 0) counted_ = std::max(counted_, Counted::CameraFrames);
        lastTime_ = now;
        lastFrames_ = filming.framesRendered;
        return elapsed_ >= seconds_;
    }
    Counted counted() const { return counted_; }

private:
    static constexpr double kStallGrace = 2;
    double seconds_;
    double elapsed_ = 0;
    Counted counted_ = Counted::Clock;
    double lastTime_;
    double lastFrameAt_;  // when the count of frames last moved, or the camera began filming
    std::uint64_t lastFrames_;
};

// Until every text shows in a line after the one the previous expectation
// matched, failing after `timeout` seconds as `kind` ("waitFor" or "expect").
StepOutcome awaitTexts(const StepRun& run, const char* kind, std::vector<std::string> texts, double timeout) {
    auto look = [kind, timeout, clock = StepTimeout(timeout)](
                    const std::vector<std::string>& unseen,
                    const std::vector<std::string>& lastLines) mutable -> std::optional<StepOutcome> {
        if (unseen.empty()) return StepOutcome::next();
        // Without a timeout the first look decides.
        if (clock.passed())
            return StepOutcome::failed(failedExpectation(kind, unseen, timeout, clock.counted(), lastLines));
        return std::nullopt;
    };
    return run.watchLog(std::move(texts), StepRun::OnNext::Matched, look);
}

}  // namespace

StepOutcome playWait(const StepRun& run) { return StepOutcome::next(std::max(0.0, run.step["wait"].doubleValue())); }

// "expect" takes one text or a list; with a timeout it waits for them as
// "waitFor" does, without one the lines logged so far decide.
StepOutcome playExpect(const StepRun& run) {
    std::vector<std::string> expected = expectedTexts(run.step["expect"], true);
    return awaitTexts(run, "expect", std::move(expected), timeoutOf(run.step, 0));
}

StepOutcome playWaitFor(const StepRun& run) {
    return awaitTexts(run, "waitFor", expectedTexts(run.step["waitFor"], false), timeoutOf(run.step, 10));
}

// Fails when a line after the one the previous expectation matched, or one
// logged within the timeout (default 0), contains the text.
StepOutcome playExpectNot(const StepRun& run) {
    std::vector<std::string> unwanted = expectedTexts(run.step["expectNot"], false);
    auto look = [text = unwanted.front(), clock = StepTimeout(timeoutOf(run.step, 0))](
                    const std::vector<std::string>& unseen,
                    const std::vector<std::string>&) mutable -> std::optional<StepOutcome> {
        if (unseen.empty()) return StepOutcome::failed("a line contained '" + text + "'");
        if (clock.passed()) return StepOutcome::next();
        return std::nullopt;
    };
    return run.watchLog(std::move(unwanted), StepRun::OnNext::KeepsPlace, look);
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
    if (answer.size() > 3) playerLog(platform::format("eval answered %s", answer.c_str() + 3));
    return StepOutcome::next();
}

StepOutcome playScreenshot(const StepRun& run) {
    const std::string& name = *run.step["screenshot"].string();
    if (const std::string* when = run.step["when"].string()) {
        run.screenshotWhen(name, withScreenNumbers(*when));
        return StepOutcome::next();
    }
    if (!run.screenshot(name)) return StepOutcome::failed("could not write the screenshot " + name);
    return StepOutcome::next();
}

StepOutcome playLog(const StepRun& run) {
    platform::log(*run.step["log"].string());
    return StepOutcome::next();
}

}  // namespace sim
