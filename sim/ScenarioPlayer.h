#pragma once
// Plays a scenario against the running app: a JSON file of steps run one
// after another on the main run loop, each printed as it starts. The file
// holds a list of steps, or an object whose "steps" is that list.
//
//   {"steps": [
//     {"wait": 0.5},                                  seconds of run loop
//     {"waitFor": "text", "timeout": 10},             until a line holds the text (default timeout 10 s)
//     {"expect": "text"},                             a line logged so far holds the text
//     {"expect": "text", "timeout": 5},               the same, waiting up to the timeout for it
//     {"expect": ["text", "other"]},                  every text of the list, each in some line
//     {"expectNot": "text", "timeout": 1},            no line logged so far, nor one logged within the
//                                                     timeout (default 0), holds the text
//     {"event": "resignActive" | "enterBackground" | "enterForeground" | "becomeActive" | "terminate"},
//     {"touch": [[x, y], [x, y], ...], "step": 10},   a drag along the path in window points, a move
//                                                     every "step" points (default 10)
//     {"touch": {"nodes": [0, 1, 2, 5, 8]}},          a drag through the centres of those nodes of the
//                                                     gesture grid on screen (numbered row by row from
//                                                     the top left), wherever the screen's size puts them
//     {"tap": [x, y]},
//     {"eval": "script"},                             evaluated in the container's page; fails if it throws
//     {"openURL": "scheme://..."},
//     {"remoteNotification": {...}},
//     {"localNotification": "text"},
//     {"deviceToken": "hex"},
//     {"screenshot": "name"},                         the window as <shots>/<nn>-name.png; without a shots
//                                                     folder nothing is written, which the first one logs
//     {"screenshot": "name", "when": "text"},         the same, drawn the moment a line of the app holding the
//                                                     text is logged from now on (the player's own "scenario: "
//                                                     lines never draw it), and the player goes on at once: a
//                                                     line logged on the main thread is drawn before the code
//                                                     that logged it goes on, one logged on another thread at
//                                                     the main thread's next turn. It draws the state the line
//                                                     announces with its animations at their end, which the
//                                                     screen may leave before it is fully shown (in the Release
//                                                     build the card is read in the frame the guide locks). The
//                                                     scenario fails at its end if no such line came, and the
//                                                     shot is not written. <nn> is the shot's place among the
//                                                     steps' shots
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
//     {"camera": "filmed" | "filmed:SEED" | "filmed:SEED:dark" | "video:PATH" | "image:PATH" |
//                "v4l2:INDEX_OR_PATH" | "none"},
//                                                     the device's camera from now on (see sim/SimCamera.h;
//                                                     a video or image path relative to the scenario file); logs
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
// A step holds one of the keys above that name a kind of step, and besides
// it only the keys shown with it ("timeout", "step", "file"). Every step is
// checked against the player's table (sim/StepTable.cpp) before the first one
// plays: a key no step of that kind takes (a misspelt "timout", a second
// kind's key) or no option object of it takes ("scanCard", "location",
// "expectButton", a "touch" through nodes), a key or option holding the
// wrong kind of value ("timeout": "3") or one out of its range (a negative
// timeout or wait, a touch's step of 0, a node outside 0 to 8, a latitude
// of 200, a negative accuracy), a required option left out, a name the step
// does not know (an event, a network, a pick, a permission), a screenshot
// name empty or holding "/", an openURL without a scheme, a camera source
// malformed or whose file is not there, a track that is no GPX file, a
// library pick without a file, or a device token that is empty or not
// hexadecimal text refuses the whole scenario, naming the step, the key and
// what it takes (step 2: "timeout" holds a number of seconds, 0 or more).
// An empty step is refused as: step N is empty; it takes one of: ...; a
// key beside "steps" at the top of the file is refused too.
//
// "waitFor", "expect" and "expectNot" look at the log from the line after the
// one the previous "waitFor" or "expect" matched (from the log's first line
// when none has): a line logged during a wait or a screenshot before them
// counts, and two expectations of the same text need two lines. The player's
// own "scenario: step" lines never count. Their texts may name the screen's
// size in pixels, "${screenPixelWidth}" and "${screenPixelHeight}" (as "%g"
// prints them), so that one scenario expects what the device reports at any
// --screen. Their timeouts count camera frames while a capture session films
// and the clock's time otherwise, the clock's too once the camera has
// rendered no frame for two seconds, so a stalled camera cannot hold a wait
// (see StepTimeout in sim/PageSteps.cpp). A step that cannot run or whose
// check fails (a "waitFor" that times out, an "expect" not met, a script
// that throws, no app to hand an event to) ends the scenario with a
// failure, logged as "scenario: failed: step N: ..."; a failed expectation
// says what it looked for and quotes the last lines it saw. The player then
// asks the application to exit.
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
#include "platform/ui/Render.h"

namespace sim {

struct StepOutcome;
class StepRun;

// Makes a scripted network on Wi-Fi the process's reachability source.
std::shared_ptr<platform::ScriptedReachabilitySource> installScriptedNetwork();

class ScenarioPlayer : public std::enable_shared_from_this<ScenarioPlayer> {
public:
    // `log` is the capture that "waitFor" watches; `shotsDirectory` may be empty
    // (no screenshots, which the first screenshot step says).
    ScenarioPlayer(platform::Value scenario, const platform::LogCapture& log, std::string shotsDirectory);

    // Reads a scenario file; nothing (and `error` set) when it is unreadable,
    // malformed or holds a step the player refuses ("PATH: step N: why").
    static std::optional<platform::Value> load(const std::string& path, std::string& error);

    ~ScenarioPlayer();

    // Starts at the first step; `finished` gets true when every step ran, and
    // false at once, with nothing played, when the player refuses a step.
    void start(std::function<void(bool)> finished);

    // The step playing, as "step N (the step as its line shows it)"; empty
    // before the first and once the scenario is done.
    std::string stepPlaying() const;
    // The number of the step a player is playing, from 1 (0 when none is),
    // for any thread: the watchdog names the step that holds the main thread.
    static std::size_t stepNumberPlaying();

private:
    friend class StepRun;
    struct LogWatch;

    void runStep(std::size_t index);
    void next(std::size_t index, double delay = 0);
    void fail(std::size_t index, const std::string& reason);
    void end(std::size_t index, const StepOutcome& outcome);
    // Why the player would not play the scenario ("step 2: why", or a key
    // beside "steps"); relative paths start from `folder`.
    static std::optional<std::string> refusal(const platform::Value& scenario, const std::string& folder);
    // Strikes out the watch's texts that lines logged since its last look
    // (step lines aside) contain, stopping on the line that leaves none.
    void lookAtNewLines(LogWatch& watch) const;
    // One look of a wait on the log, and the next one 50 ms of run loop on.
    std::optional<StepOutcome> look(LogWatch& watch);
    void lookAgain(std::shared_ptr<LogWatch> watch);
    bool screenshot(const std::string& name);
    bool writeScreenshot(const std::string& name, int number, platform::RenderAnimations animations);
    // A shot drawn when a line holding `text` is logged (see "when").
    struct ArmedShot {
        std::size_t step;
        std::string name;
        std::string text;
        int number;
    };
    void arm(ArmedShot shot);
    void disarm();
    void lineLogged(const std::string& line);

    platform::Value scenario_;
    std::string folder_;  // the scenario file's, which relative paths start from
    const platform::LogCapture& log_;
    std::string shotsDirectory_;
    std::function<void(bool)> finished_;
    // The line after the one the last expectation matched: where the next one looks from.
    std::size_t expectFrom_ = 0;
    std::vector<std::size_t> stepLines_;  // where the step lines lie in the log, in order: no expectation counts them
    std::string playing_;  // see stepPlaying()
    int shots_ = 0;
    std::vector<ArmedShot> armed_;
    bool drawing_ = false;  // an armed shot is being drawn: its own lines take no shot
    bool shotsUnwrittenSaid_ = false;  // once, at the first screenshot step without a shots folder
};

}  // namespace sim
