#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string_view>

#include "app/AppDelegate.h"
#include "platform/foundation/URL.h"
#include "platform/location/LocationSource.h"
#include "platform/ui/Application.h"
#include "sim/SimCamera.h"
#include "sim/Steps.h"

namespace sim {

using platform::Value;

namespace {

// Value counts true and false as numbers; a scenario's numbers are written as numbers.
bool isNumber(const Value& value) { return value.isInteger() || value.isDouble(); }
bool isWhole(const Value& value) {
    return value.isInteger() || (value.isDouble() && std::floor(value.doubleValue()) == value.doubleValue());
}
// A number from `low` to `high`, both included; a whole one for isWholeFrom.
template <double low, double high>
bool isNumberFrom(const Value& value) {
    return isNumber(value) && value.doubleValue() >= low && value.doubleValue() <= high;
}
template <double low, double high>
bool isWholeFrom(const Value& value) {
    return isWhole(value) && isNumberFrom<low, high>(value);
}
constexpr double kNoEnd = std::numeric_limits<double>::infinity();
bool isAboveZero(const Value& value) { return isNumber(value) && value.doubleValue() > 0; }
bool isText(const Value& value) { return value.isString(); }
// Text that names a file in a folder: something, and nothing that leads out of it.
bool isFileName(const Value& value) {
    const std::string* text = value.string();
    return text && !text->empty() && text->find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}
bool isBoolean(const Value& value) { return value.isBool(); }
bool isObject(const Value& value) { return value.isDictionary(); }

// Every element of a list, one or more, fits.
template <bool (*fits)(const Value&)>
bool isListOf(const Value& value) {
    if (!value.isArray() || value.count() == 0) return false;
    for (std::size_t i = 0; i < value.count(); ++i)
        if (!fits(value[i])) return false;
    return true;
}

bool isPoint(const Value& value) {
    return value.isArray() && value.count() == 2 && isNumber(value[0]) && isNumber(value[1]);
}

const Holds kNumber{"a number", isNumber};
const Holds kSeconds{"a number of seconds, 0 or more", isNumberFrom<0.0, kNoEnd>};
const Holds kMetres{"a number of metres, 0 or more", isNumberFrom<0.0, kNoEnd>};
const Holds kText{"a text", isText};
const Holds kBoolean{"true or false", isBoolean};

const std::vector<Field> kTouchFields = {
    {"nodes", {"a list of the grid's node numbers (0 to 8), one or more", isListOf<isWholeFrom<0.0, 8.0>>}, true},
};

const std::vector<Field> kLocationFields = {
    {"latitude", {"a number of degrees from -90 to 90", isNumberFrom<-90.0, 90.0>}, true},
    {"longitude", {"a number of degrees from -180 to 180", isNumberFrom<-180.0, 180.0>}, true},
    {"altitude", kNumber},
    {"horizontalAccuracy", kMetres},
    {"verticalAccuracy", kMetres},
    {"course", kNumber},
    {"speed", kNumber},
    {"timestamp", {"a number of seconds since 1970", isNumber}},
};

const std::vector<Field> kScanCardOptions = {
    {"suppressScanConfirmation", kBoolean},
    {"detectionMode",
     {"0 (the number), 1 (an image) or 2 (the number, else an image)", isWholeFrom<0.0, 2.0>}},
    {"collectExpiry", kBoolean},
    {"scanExpiry", kBoolean},
    {"allowFreelyRotatingCardGuide", kBoolean},
    {"disableManualEntryButtons", kBoolean},
    {"languageOrLocale", kText},
    {"scanInstructions", kText},
    {"guideColor",
     {"a list of 4 numbers [r, g, b, a]",
      [](const Value& value) { return isListOf<isNumber>(value) && value.count() == 4; }}},
};

const std::vector<Field> kExpectButtonFields = {
    {"title", kText, true},
    {"enabled", kBoolean, true},
};

// A source the camera can take, whose file, for a video or a picture, is there.
std::string cameraRefusal(const Value& step, const std::string& folder) {
    const std::string& source = step["camera"].stringValue();
    if (!isCameraSource(source)) return std::string("\"camera\" holds ") + kCameraSources + "; got '" + source + "'";
    const std::string file = cameraSourceFile(source, folder);
    std::error_code ec;
    if (!file.empty() && !std::filesystem::exists(file, ec))
        return "\"camera\" names no file at " + file + " (a path is relative to the scenario file)";
    return {};
}

// A track the step can replay: the file is there and holds GPX 1.1 with a track point.
std::string trackRefusal(const Value& step, const std::string& folder) {
    const std::string path = (std::filesystem::path(folder) / step["locationTrack"].stringValue()).string();
    platform::Error error;
    if (platform::GPXLocationSource::createWithContentsOfFile(path, &error)) return {};
    return "\"locationTrack\" holds a GPX 1.1 file with a track (a path is relative to the scenario file): " +
           error.localizedDescription;
}

// The library's pick names the photo; the other picks take what they find.
std::string pickRefusal(const Value& step, const std::string&) {
    if (step["pick"].stringValue() == "library" && step["file"].isNil())
        return "\"pick\" \"library\" needs \"file\", the name of a file in the photo library";
    return {};
}

// One row a kind of step. A step names its kind by holding the row's key,
// and only one: a second kind's key is as unknown to it as a misspelt one.
// Where several kinds' keys meet in one step, the row higher up names the
// kind the refusal speaks of.
const StepKind kSteps[] = {
    {"wait", kSeconds, playWait},
    {"expect",
     {"a text or a list of texts", [](const Value& value) { return isText(value) || isListOf<isText>(value); }},
     playExpect,
     {{"timeout", kSeconds}}},
    {"waitFor", kText, playWaitFor, {{"timeout", kSeconds}}},
    {"expectNot", kText, playExpectNot, {{"timeout", kSeconds}}},
    {"event", kText, playEvent, {}, eventNames},
    {"touch",
     {"a list of [x, y] points, or an object {\"nodes\": [N, ...]}",
      [](const Value& value) { return isListOf<isPoint>(value) || isObject(value); }, &kTouchFields},
     playTouch,
     {{"step", {"a number of points above 0", isAboveZero}}}},
    {"tap", {"a list [x, y] of two numbers", isPoint}, playTap},
    {"eval", kText, playEval},
    {"openURL",
     {"a URL with its scheme, such as sample://x",
      [](const Value& value) {
          const auto url = value.isString() ? platform::URL::create(*value.string()) : std::nullopt;
          return url && url->isAbsolute();
      }},
     playOpenURL},
    {"remoteNotification", {"an object", isObject}, playRemoteNotification},
    {"localNotification", {"a value"}, playLocalNotification},
    {"deviceToken",
     {"hexadecimal text, two digits a byte, one byte or more",
      [](const Value& value) { return value.isString() && deviceTokenBytes(*value.string()).has_value(); }},
     playDeviceToken},
    {"screenshot", {"a name for its file, not empty and without \"/\"", isFileName}, playScreenshot, {{"when", kText}}},
    {"network", kText, playNetwork, {}, networkNames},
    {"pick", kText, playPick, {{"file", kText}}, pickNames, pickRefusal},
    {"location", {"an object", isObject, &kLocationFields}, playLocation},
    {"locationError", {"a whole number (the error's code)", isWhole}, playLocationError},
    {"locationServices", kText, playLocationServices, {}, locationServicesNames},
    {"locationPermission", kText, playLocationPermission, {}, locationPermissionNames},
    {"locationTrack", kText, playLocationTrack, {}, nullptr, trackRefusal},
    {"camera", kText, playCamera, {}, nullptr, cameraRefusal},
    {"deviceOrientation",
     {"a whole number from 1 to 6", isWholeFrom<1.0, 6.0>},
     playDeviceOrientation},
    {"scanCard", {"an object of options", isObject, &kScanCardOptions}, playScanCard},
    {"type", kText, playType},
    {"backspace",
     {"a whole number of presses, 1 or more", isWholeFrom<1.0, kNoEnd>},
     playBackspace},
    {"return", {"true", [](const Value& value) { return value.isBool() && value.boolValue(); }}, playReturn},
    {"tapField", kText, playTapField},
    {"tapButton", kText, playTapButton},
    {"expectButton", {"an object", isObject, &kExpectButtonFields}, playExpectButton},
    {"cameraPermission", kText, playCameraPermission, {}, cameraPermissionNames},
    {"log", kText, playLog},
};

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

std::string quoted(const std::string& key) { return "\"" + key + "\""; }

// Why `value`, held by `key` (an option of `in` when that is not empty), is
// refused; empty when it fits.
std::string refusalOfValue(const std::string& key, const Value& value, const Holds& holds, const std::string& in) {
    const std::string named = quoted(key) + (in.empty() ? "" : " in " + quoted(in));
    if (holds.fits && !holds.fits(value)) return named + " holds " + holds.what;
    if (!holds.fields || !value.isDictionary()) return {};
    std::vector<std::string> keys;
    for (const Field& field : *holds.fields) keys.push_back(field.key);
    for (const auto& [option, held] : *value.dictionary()) {
        const auto field = std::find_if(holds.fields->begin(), holds.fields->end(),
                                        [&option](const Field& f) { return f.key == option; });
        if (field == holds.fields->end())
            return "unknown key " + quoted(option) + " in " + quoted(key) + " (it takes " + joined(keys) + ")";
        if (std::string refused = refusalOfValue(option, held, field->holds, key); !refused.empty()) return refused;
    }
    for (const Field& field : *holds.fields)
        if (field.required && value[field.key].isNil())
            return quoted(key) + " needs " + quoted(field.key) + ", " + field.holds.what;
    return {};
}

// Why the step, of the row's kind, is refused; empty when it plays.
std::string refusalAs(const StepKind& kind, const Value& step, const std::string& folder) {
    for (const auto& [key, value] : *step.dictionary()) {
        if (key == kind.key) continue;
        const auto other = std::find_if(kind.otherKeys.begin(), kind.otherKeys.end(),
                                        [&key](const Field& f) { return f.key == key; });
        if (other != kind.otherKeys.end()) {
            if (std::string refused = refusalOfValue(key, value, other->holds, ""); !refused.empty()) return refused;
            continue;
        }
        std::vector<std::string> keys{kind.key};
        for (const Field& field : kind.otherKeys) keys.push_back(field.key);
        return "unknown key " + quoted(key) + " (a step of kind " + quoted(kind.key) + " takes " + joined(keys) + ")";
    }
    const Value& value = step[kind.key];
    if (std::string refused = refusalOfValue(kind.key, value, kind.holds, ""); !refused.empty()) return refused;
    if (kind.names) {
        const std::vector<std::string>& names = kind.names();
        if (std::find(names.begin(), names.end(), *value.string()) == names.end())
            return std::string("unknown ") + kind.key + " '" + *value.string() + "'; one of " + joined(names);
    }
    return kind.refuses ? kind.refuses(step, folder) : std::string();
}

std::vector<std::string> kindNames() {
    std::vector<std::string> kinds;
    for (const StepKind& known : kSteps) kinds.push_back(known.key);
    return kinds;
}

}  // namespace

const StepKind* stepKindFor(const Value& step) {
    for (const StepKind& kind : kSteps)
        if (!step[kind.key].isNil()) return &kind;
    return nullptr;
}

std::string refusalOf(const Value& step, const std::string& folder) {
    if (!step.isDictionary()) return "not an object";
    if (step.count() == 0) return "is empty; it takes one of: " + joined(kindNames());
    const StepKind* kind = stepKindFor(step);
    if (!kind)
        return "no kind of step is named \"" + step.dictionary()->begin()->first + "\"; the kinds are " +
               joined(kindNames());
    return refusalAs(*kind, step, folder);
}

bool playAlone(const Value& step, std::initializer_list<std::string_view> keys, std::string& error) {
    const StepKind* chosen = nullptr;
    for (const StepKind& kind : kSteps)
        if (!chosen && std::find(keys.begin(), keys.end(), kind.key) != keys.end() && !step[kind.key].isNil())
            chosen = &kind;
    if (!chosen) {
        error = "the step holds none of ";
        for (std::string_view key : keys) error += (key == *keys.begin() ? "" : ", ") + std::string(key);
        return false;
    }
    error = refusalAs(*chosen, step, "");
    if (!error.empty()) return false;
    const StepOutcome outcome = chosen->play(StepRun(step, 0, nullptr));
    if (outcome.kind == StepOutcome::Kind::Failed) error = outcome.reason;
    return outcome.kind != StepOutcome::Kind::Failed;
}

std::shared_ptr<app::AppDelegate> appDelegate() {
    return std::dynamic_pointer_cast<app::AppDelegate>(platform::UIApplication::sharedApplication().delegate());
}

}  // namespace sim
