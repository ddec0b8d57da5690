#include <algorithm>
#include <iterator>

#include "app/AppDelegate.h"
#include "platform/ui/Application.h"
#include "sim/Steps.h"

namespace sim {

using platform::Value;

namespace {

// The first row that selects a step plays it, so a step holding several
// known keys plays the one highest up here. Scenarios written so far were
// played in this order, so a new row goes below the rows whose steps it must
// not take over: in practice, at the end. A key holding the wrong kind of
// value does not select its row, and the step falls to the rows below:
// {"wait": "1"} does nothing this player knows, {"wait": "1", "log": "x"} logs.
constexpr StepKind kSteps[] = {
    // A number "wait" goes before everything: {"wait": 1, "log": "x"} only waits.
    {"wait", Holds::Number, playWait},
    // Before "waitFor", which "expect" reads too: with both, the step waits
    // for the "waitFor" text.
    {"expect", Holds::Anything, playExpect},
    {"waitFor", Holds::Text, playWaitFor},
    {"expectNot", Holds::Anything, playExpectNot},
    {"event", Holds::Text, playEvent},
    {"touch", Holds::List, playTouch},
    {"tap", Holds::List, playTap},
    {"eval", Holds::Text, playEval},
    {"openURL", Holds::Text, playOpenURL},
    {"remoteNotification", Holds::Object, playRemoteNotification},
    {"localNotification", Holds::Anything, playLocalNotification},
    {"deviceToken", Holds::Text, playDeviceToken},
    {"screenshot", Holds::Text, playScreenshot},
    {"network", Holds::Text, playNetwork},
    {"pick", Holds::Text, playPick},
    {"location", Holds::Object, playLocation},
    {"locationError", Holds::Anything, playLocationError},
    {"locationServices", Holds::Anything, playLocationServices},
    {"locationPermission", Holds::Anything, playLocationPermission},
    {"locationTrack", Holds::Anything, playLocationTrack},
    {"camera", Holds::Anything, playCamera},
    {"deviceOrientation", Holds::Anything, playDeviceOrientation},
    {"scanCard", Holds::Anything, playScanCard},
    {"type", Holds::Anything, playType},
    {"backspace", Holds::Anything, playBackspace},
    {"return", Holds::Anything, playReturn},
    {"tapField", Holds::Anything, playTapField},
    {"tapButton", Holds::Anything, playTapButton},
    {"expectButton", Holds::Anything, playExpectButton},
    {"cameraPermission", Holds::Anything, playCameraPermission},
    {"log", Holds::Text, playLog},
};

bool selects(const StepKind& kind, const Value& step) {
    const Value& value = step[kind.key];
    switch (kind.holds) {
        case Holds::Anything: return !value.isNil();
        case Holds::Number: return value.isNumber();
        case Holds::Text: return value.isString();
        case Holds::List: return value.isArray();
        case Holds::Object: return value.isDictionary();
    }
    return false;
}

bool among(const StepKind& kind, std::initializer_list<std::string_view> keys) {
    return std::find(keys.begin(), keys.end(), kind.key) != keys.end();
}

}  // namespace

const StepKind* stepKindFor(const Value& step) {
    for (const StepKind& kind : kSteps)
        if (selects(kind, step)) return &kind;
    return nullptr;
}

bool playAlone(const Value& step, std::initializer_list<std::string_view> keys, std::string& error) {
    const StepKind* chosen = nullptr;
    for (const StepKind& kind : kSteps) {
        if (among(kind, keys) && selects(kind, step)) {
            chosen = &kind;
            break;
        }
    }
    // With none of the keys, the step falls to the last key's row, whose
    // checks say what is missing.
    for (const StepKind& kind : kSteps)
        if (!chosen && kind.key == *std::prev(keys.end())) chosen = &kind;
    if (!chosen) return false;
    const StepOutcome outcome = chosen->play(StepRun(step, 0, nullptr, 0, 0));
    if (outcome.kind == StepOutcome::Kind::Failed) error = outcome.reason;
    return outcome.kind != StepOutcome::Kind::Failed;
}

std::shared_ptr<app::AppDelegate> appDelegate() {
    return std::dynamic_pointer_cast<app::AppDelegate>(platform::UIApplication::sharedApplication().delegate());
}

}  // namespace sim
