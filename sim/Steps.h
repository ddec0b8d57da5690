#pragma once
// The scenario player's steps: one table (StepTable.cpp) from the key that
// names a step's kind to the function that plays it, what that key holds and
// the other keys the step may carry. A step holds exactly one such key; the
// player checks every step against the table before it plays the first, and
// refuses the scenario over a key it does not know or a value of the wrong
// kind, so a step's function may take its values as its row describes them.
// The functions live one file per family:
//
//   PageSteps.cpp              wait, waitFor, expect, expectNot, eval, screenshot, log
//   TouchAndTextSteps.cpp      touch, tap, and the keyboard and form: type, backspace, return,
//                              tapField, tapButton, expectButton
//   DeviceAndNetworkSteps.cpp  life-cycle events, opened URLs, notifications, device tokens,
//                              the scripted network, the device's orientation
//   LocationSteps.cpp          location fixes, errors, services, permission and GPX tracks
//   CameraAndScanSteps.cpp     the capture camera and its permission, the image picker, the card scanner
//
// Adding a step is one function in its family's file, declared below, and one
// row of the table. Everything here runs on the main thread, as the player does.

#include <cstddef>
#include <functional>
#include <iterator>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

namespace app {
class AppDelegate;
}

namespace sim {

class ScenarioPlayer;

// How a step ends, as its function answers.
struct StepOutcome {
    enum class Kind { Next, Failed, Waiting };
    Kind kind = Kind::Next;
    double delay = 0;    // Next: seconds of run loop before the next step starts
    std::string reason;  // Failed: the "scenario: failed: step N: ..." text

    static StepOutcome next(double delay = 0) { return {Kind::Next, delay, {}}; }
    static StepOutcome failed(std::string reason) { return {Kind::Failed, 0, std::move(reason)}; }
    // A wait the function started (StepRun::watchLog) ends the step later.
    static StepOutcome waiting() { return {Kind::Waiting, 0, {}}; }
};

// One step being played, as its function sees it. A step played alone
// (playFormStep) has no player behind it, so its function may
// neither wait on the log nor take screenshots.
class StepRun {
public:
    StepRun(const platform::Value& step, std::size_t index, ScenarioPlayer* player)
        : step(step), index(index), player_(player) {}

    const platform::Value& step;
    const std::size_t index;  // from 0; the log's step numbers count from 1

    // Answers how the step ends, given the texts no line has contained yet
    // and the last few lines looked at (for a failure to quote); nothing to
    // look again.
    using Look = std::function<std::optional<StepOutcome>(const std::vector<std::string>& unseen,
                                                          const std::vector<std::string>& lastLines)>;
    // What a wait on the log does when it ends with Next: a match moves where
    // the next expectation looks from, past the line that struck out the last text.
    enum class OnNext { Matched, KeepsPlace };
    // Every step that waits on the log waits here: `look` runs now and then
    // every 50 ms of run loop, each time after the lines logged since the
    // last look have struck out the texts they contain, until it answers.
    // The first look starts on the line after the one the previous
    // expectation matched (the log's first line when none has); the player's
    // step lines never count.
    StepOutcome watchLog(std::vector<std::string> texts, OnNext onNext, Look look) const;

    // The window as <shots>/<nn>-name.png; true without a shots folder.
    bool screenshot(const std::string& name) const;
    // The same, drawn when a line holding `text` is logged from now on.
    void screenshotWhen(const std::string& name, const std::string& text) const;
    // The folder of the scenario file, which relative paths start from.
    std::string scenarioFolder() const;

private:
    ScenarioPlayer* player_;
};

// Called only for a step its row selects, whose keys hold what the row asks for.
using StepFunction = StepOutcome (*)(const StepRun&);

struct Field;

// What a key must hold: `what` says it in a refusal ("a number"); `fits`
// tells (nullptr: any value). An object's keys are `fields` (nullptr: any),
// and a key it does not list is refused.
struct Holds {
    const char* what;
    bool (*fits)(const platform::Value&) = nullptr;
    const std::vector<Field>* fields = nullptr;
};

struct Field {
    std::string key;
    Holds holds;
    bool required = false;
};

struct StepKind {
    const char* key;
    Holds holds;
    StepFunction play;
    std::vector<Field> otherKeys = {};  // the keys the step may hold beside its own
    // For a text: the names it may hold (nullptr: any text).
    const std::vector<std::string>& (*names)() = nullptr;
    // What the step's values, each of its kind, must be beyond it: why they
    // are refused, empty when they play (nullptr: nothing more). `folder` is
    // the scenario file's, which relative paths start from.
    std::string (*refuses)(const platform::Value& step, const std::string& folder) = nullptr;
};

// The row of the step's kind: the first row whose key the step holds;
// nullptr when it holds none.
const StepKind* stepKindFor(const platform::Value& step);

// Why the player refuses to play the step (an unknown key, a key or an
// option holding the wrong kind of value, a required option missing, a name
// it does not know); empty when it plays it. A refusal that starts with "is "
// reads after the step's number ("step 1 is empty; ..."), others after
// "step N: ". Relative paths start from `folder` (empty: the working directory).
std::string refusalOf(const platform::Value& step, const std::string& folder);

// Among the rows of the given keys only: playing the step alone, outside a
// scenario, once the row has checked it. False with `error` set when the
// step is refused or fails.
bool playAlone(const platform::Value& step, std::initializer_list<std::string_view> keys, std::string& error);

// The names of a table of (name, value) pairs, in its order: what a step
// that names one of them may hold.
template <typename Table>
std::vector<std::string> namesOf(const Table& table) {
    std::vector<std::string> names;
    for (const auto& entry : table) names.push_back(entry.first);
    return names;
}

// The pair of such a table that `name` names; nullptr when none does.
template <typename Table>
auto named(const Table& table, const std::string& name) -> decltype(&*std::begin(table)) {
    for (const auto& entry : table)
        if (name == entry.first) return &entry;
    return nullptr;
}

// Logs "scenario: TEXT" as a line of the player's own, as every line the
// player and its steps log is: an armed screenshot tells them from the app's
// lines by that, whatever the app's lines start with.
void playerLog(std::string_view text);

// The running app's delegate; nullptr before the app has one.
std::shared_ptr<app::AppDelegate> appDelegate();

// Page: waits, the log, the page's script, screenshots.
StepOutcome playWait(const StepRun& run);
StepOutcome playExpect(const StepRun& run);
StepOutcome playWaitFor(const StepRun& run);
StepOutcome playExpectNot(const StepRun& run);
StepOutcome playEval(const StepRun& run);
StepOutcome playScreenshot(const StepRun& run);
StepOutcome playLog(const StepRun& run);

// Touch and text.
StepOutcome playTouch(const StepRun& run);
StepOutcome playTap(const StepRun& run);
StepOutcome playType(const StepRun& run);
StepOutcome playBackspace(const StepRun& run);
StepOutcome playReturn(const StepRun& run);
StepOutcome playTapField(const StepRun& run);
StepOutcome playTapButton(const StepRun& run);
StepOutcome playExpectButton(const StepRun& run);

// Device and network.
StepOutcome playEvent(const StepRun& run);
const std::vector<std::string>& eventNames();
StepOutcome playOpenURL(const StepRun& run);
StepOutcome playRemoteNotification(const StepRun& run);
StepOutcome playLocalNotification(const StepRun& run);
StepOutcome playDeviceToken(const StepRun& run);
// The bytes of a device token written in hexadecimal, two digits a byte; nothing for other text or none.
std::optional<platform::Data> deviceTokenBytes(const std::string& hex);
StepOutcome playNetwork(const StepRun& run);
const std::vector<std::string>& networkNames();
StepOutcome playDeviceOrientation(const StepRun& run);

// Location.
StepOutcome playLocation(const StepRun& run);
StepOutcome playLocationError(const StepRun& run);
StepOutcome playLocationServices(const StepRun& run);
const std::vector<std::string>& locationServicesNames();
StepOutcome playLocationPermission(const StepRun& run);
const std::vector<std::string>& locationPermissionNames();
StepOutcome playLocationTrack(const StepRun& run);

// Camera and scan.
StepOutcome playCamera(const StepRun& run);
StepOutcome playCameraPermission(const StepRun& run);
StepOutcome playPick(const StepRun& run);
const std::vector<std::string>& pickNames();
StepOutcome playScanCard(const StepRun& run);

}  // namespace sim
