#pragma once
// Plays a scenario against the running app: a JSON file of steps run one
// after another on the main run loop, each printed as it starts.
//
//   {"steps": [
//     {"wait": 0.5},                                  seconds of run loop
//     {"waitFor": "text", "timeout": 10},             until a line logged after the step began contains the text
//     {"expect": "text"},                             a line logged since the previous step began contains the text
//     {"expect": "text", "timeout": 5},               the same, waiting up to the timeout for it
//     {"expect": ["text", "other"]},                  every text of the list, each in some line
//     {"expectNot": "text", "timeout": 1},           no line since the previous step began, nor one logged
//                                                     within the timeout (default 0), contains the text
//     {"event": "resignActive" | "enterBackground" | "enterForeground" | "becomeActive" | "terminate"},
//     {"touch": [[x, y], [x, y], ...], "step": 10},   a drag along the path in window points
//     {"tap": [x, y]},
//     {"eval": "script"},                             evaluated in the container's page; fails if it throws
//     {"openURL": "scheme://..."},
//     {"remoteNotification": {...}},
//     {"localNotification": "text"},
//     {"deviceToken": "hex"},
//     {"screenshot": "name"},                         the window as <shots>/<nn>-name.png
//     {"network": "wifi" | "cellular" | "cellular-connection-required" | "none"},
//                                                     the scripted network becomes that and tells its watchers
//     {"pick": "library", "file": "name"},           the picker on screen picks that file of the photo library
//     {"pick": "camera"},                             the camera picker takes the fixture folder's camera.jpg
//     {"pick": "video"},                              the picker on screen picks the library's first video
//     {"pick": "cancel"},                             the user cancels the picker on screen
//                                                     each logs "scenario: picker KIND[ name]" and fails when no
//                                                     picker is on screen or it cannot pick that
//     {"location": {"latitude": 48.137, "longitude": 11.575, "altitude": 520, "horizontalAccuracy": 5,
//                   "verticalAccuracy": 5, "course": 90, "speed": 1.2, "timestamp": 1767225600}},
//                                                     a fix from the scripted location source (latitude and
//                                                     longitude required; timestamp in seconds since 1970,
//                                                     default now; a track still replaying stops);
//                                                     logs "scenario: location LAT,LON"
//     {"locationError": 0},                           a failure with that location error code (1: denied);
//                                                     logs "scenario: location error CODE"
//     {"locationServices": "on" | "off"},             logs "scenario: location services on|off"
//     {"locationPermission": "notDetermined" | "restricted" | "denied" | "authorized" | "authorizedWhenInUse"},
//                                                     logs "scenario: location permission NAME"
//     {"locationTrack": "walk.gpx"},                  replays a GPX 1.1 track (path relative to the scenario
//                                                     file, or absolute) from now at its own pace; logs
//                                                     "scenario: location track NAME (N points)"
//     {"camera": "filmed" | "filmed:SEED" | "filmed:SEED:dark" | "video:PATH" | "v4l2:INDEX_OR_PATH" | "none"},
//                                                     the device's camera from now on (see sim/SimCamera.h;
//                                                     a video path relative to the scenario file); logs
//                                                     "scenario: camera SOURCE", and a filmed card also
//                                                     "camera: filmed card NUMBER"
//     {"cameraPermission": "notDetermined" | "restricted" | "denied" | "authorized"},
//                                                     logs "scenario: camera permission NAME"
//     {"type": "text"}, {"backspace": N}, {"return": true}, {"tapField": "PLACEHOLDER"},
//     {"tapButton": "TITLE"}, {"expectButton": {"title": "Done", "enabled": false}}
//                                                     the keyboard and the form (see sim/FormStep.h)
//     {"log": "text"}
//   ]}
//
// Each step is played by the row of one table that its keys select; a step
// holding several known keys plays the one the table puts first (see
// sim/Steps.h).
//
// The player's own "scenario: step" lines never count for "waitFor" or
// "expect". A step that follows a wait on the log begins at the line that
// wait found, so lines the app logged right after it count for the next
// step even when they came before that step could run. A step that cannot run or whose check fails (bad JSON, a
// "waitFor" that times out, an "expect" not met, a script that throws, no app
// to hand an event to) ends the scenario with a failure, logged as
// "scenario: failed: step N: ..."; the player then asks the application to exit.
//
// The simulator's network is scripted: installScriptedNetwork() replaces the
// machine's own at start, on Wi-Fi, and "network" steps change it (each logs
// "scenario: network NAME"). With --live-network the machine's own stays,
// and a "network" step fails.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/foundation/Value.h"
#include "platform/network/ReachabilitySource.h"

namespace sim {

struct StepOutcome;
class StepRun;

// Makes a scripted network on Wi-Fi the process's reachability source.
std::shared_ptr<platform::ScriptedReachabilitySource> installScriptedNetwork();

class ScenarioPlayer : public std::enable_shared_from_this<ScenarioPlayer> {
public:
    // `log` is the capture that "waitFor" watches; `shotsDirectory` may be empty (no screenshots).
    ScenarioPlayer(platform::Value scenario, const platform::LogCapture& log, std::string shotsDirectory);

    // Reads a scenario file; nothing (and `error` set) when it is unreadable or malformed.
    static std::optional<platform::Value> load(const std::string& path, std::string& error);

    // Starts at the first step; `finished` gets true when every step ran.
    void start(std::function<void(bool)> finished);


private:
    friend class StepRun;
    struct LogWatch;

    void runStep(std::size_t index);
    void next(std::size_t index, double delay = 0);
    void fail(std::size_t index, const std::string& reason);
    void end(std::size_t index, const StepOutcome& outcome);
    // Drops each text that a line logged from index `first` on (step lines
    // aside) contains; true once none is left. `first` moves past the lines
    // looked at, and no further than the line that left none.
    bool loggedSince(std::size_t& first, std::vector<std::string>& texts) const;
    // One look of a wait on the log, and the next one 50 ms of run loop on.
    std::optional<StepOutcome> look(LogWatch& watch);
    void lookAgain(std::shared_ptr<LogWatch> watch);
    bool screenshot(const std::string& name);

    platform::Value scenario_;
    const platform::LogCapture& log_;
    std::string shotsDirectory_;
    std::function<void(bool)> finished_;
    std::size_t stepStart_ = 0;  // the log's size when the current step began
    // Where the last step that waited on the log found what it waited for.
    std::optional<std::size_t> watchEnd_;
    int shots_ = 0;
};

}  // namespace sim
