#include <algorithm>
#include <iterator>

#include "app/AppDelegate.h"
#include "platform/ui/Application.h"
#include "sim/Steps.h"

namespace sim {

using platform::Value;

namespace {

// One row a kind of step. A step names its kind by holding the row's key,
// and only one: a second kind's key is as unknown to it as a misspelt one.
// Where several kinds' keys meet in one step, the row higher up names the
// kind the refusal speaks of.
const StepKind kSteps[] = {
    {"wait", Holds::Number, playWait},
    {"expect", Holds::Anything, playExpect, {"timeout"}},
    {"waitFor", Holds::Text, playWaitFor, {"timeout"}},
    {"expectNot", Holds::Anything, playExpectNot, {"timeout"}},
    {"event", Holds::Text, playEvent, {}, eventNames},
    {"touch", Holds::ListOrObject, playTouch, {"step"}},
    {"tap", Holds::List, playTap},
    {"eval", Holds::Text, playEval},
    {"openURL", Holds::Text, playOpenURL},
    {"remoteNotification", Holds::Object, playRemoteNotification},
    {"localNotification", Holds::Anything, playLocalNotification},
    {"deviceToken", Holds::Text, playDeviceToken},
    {"screenshot", Holds::Text, playScreenshot, {"when"}},
    {"network", Holds::Text, playNetwork},
    {"pick", Holds::Text, playPick, {"file"}},
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

bool holdsWhatItShould(const StepKind& kind, const Value& value) {
    switch (kind.holds) {
        case Holds::Anything: return !value.isNil();
        case Holds::Number: return value.isNumber();
        case Holds::Text: return value.isString();
        case Holds::List: return value.isArray();
        case Holds::Object: return value.isDictionary();
        case Holds::ListOrObject: return value.isArray() || value.isDictionary();
    }
    return false;
}

const char* describe(Holds holds) {
    switch (holds) {
        case Holds::Anything: return "a value";
        case Holds::Number: return "a number";
        case Holds::Text: return "a text";
        case Holds::List: return "a list";
        case Holds::Object: return "an object";
        case Holds::ListOrObject: return "a list or an object";
    }
    return "a value";
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

bool among(const StepKind& kind, std::initializer_list<std::string_view> keys) {
    return std::find(keys.begin(), keys.end(), kind.key) != keys.end();
}

}  // namespace

const StepKind* stepKindFor(const Value& step) {
    for (const StepKind& kind : kSteps)
        if (!step[kind.key].isNil()) return &kind;
    return nullptr;
}

std::string refusalOf(const Value& step) {
    if (!step.isDictionary() || step.count() == 0) return "not an object";
    const StepKind* kind = stepKindFor(step);
    if (!kind) {
        std::vector<std::string> kinds;
        for (const StepKind& known : kSteps) kinds.push_back(known.key);
        return "no kind of step is named \"" + step.dictionary()->begin()->first + "\"; the kinds are " + joined(kinds);
    }
    for (const auto& [key, value] : *step.dictionary()) {
        if (key == kind->key ||
            std::find(kind->otherKeys.begin(), kind->otherKeys.end(), key) != kind->otherKeys.end())
            continue;
        std::vector<std::string> keys{kind->key};
        keys.insert(keys.end(), kind->otherKeys.begin(), kind->otherKeys.end());
        return "unknown key \"" + key + "\" (a step of kind \"" + kind->key + "\" takes " + joined(keys) + ")";
    }
    const Value& value = step[kind->key];
    if (!holdsWhatItShould(*kind, value))
        return std::string("\"") + kind->key + "\" holds " + describe(kind->holds);
    if (kind->names) {
        const std::vector<std::string>& names = kind->names();
        if (std::find(names.begin(), names.end(), *value.string()) == names.end())
            return std::string("unknown ") + kind->key + " '" + *value.string() + "'; one of " + joined(names);
    }
    return {};
}

bool playAlone(const Value& step, std::initializer_list<std::string_view> keys, std::string& error) {
    const StepKind* chosen = nullptr;
    for (const StepKind& kind : kSteps) {
        if (among(kind, keys) && holdsWhatItShould(kind, step[kind.key])) {
            chosen = &kind;
            break;
        }
    }
    // With none of the keys, the step falls to the last key's row, whose
    // checks say what is missing.
    for (const StepKind& kind : kSteps)
        if (!chosen && kind.key == *std::prev(keys.end())) chosen = &kind;
    if (!chosen) return false;
    const StepOutcome outcome = chosen->play(StepRun(step, 0, nullptr));
    if (outcome.kind == StepOutcome::Kind::Failed) error = outcome.reason;
    return outcome.kind != StepOutcome::Kind::Failed;
}

std::shared_ptr<app::AppDelegate> appDelegate() {
    return std::dynamic_pointer_cast<app::AppDelegate>(platform::UIApplication::sharedApplication().delegate());
}

}  // namespace sim
