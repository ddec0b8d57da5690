// The simulator's scenario player with no app behind it, on a manual clock:
// expectations look on from the previous one's match, a step the player does
// not understand refuses the scenario before anything plays, and a step that
// cannot run or whose check fails ends the run with a line naming the step.
#include "sim/ScenarioPlayer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <tuple>

#include "platform/capture/CaptureDevice.h"
#include "platform/capture/CaptureSession.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "sim/Steps.h"

namespace {

// Plays `steps` (a JSON array); `meanwhile` runs once the player has started.
// Answers whether every step ran, or nothing if the run never finished.
std::optional<bool> play(const std::string& steps, platform::LogCapture& log,
                         const std::function<void()>& meanwhile = nullptr, const std::string& shots = "") {
    platform::ScopedManualClock clock;
    auto scenario = platform::readJson("{\"steps\": " + steps + "}");
    if (!scenario.value) return std::nullopt;
    auto player = std::make_shared<sim::ScenarioPlayer>(*scenario.value, log, shots);
    std::optional<bool> outcome;
    player->start([&](bool ok) { outcome = ok; });
    if (meanwhile) meanwhile();
    platform::RunLoop::main().runUntil([&] { return outcome.has_value(); }, 60);
    return outcome;
}

// Films blank frames; its delegate keeps the first one, so every later frame
// is dropped unrendered, as when analysis is busy.
struct StalledCamera : platform::FrameSource, platform::AVCaptureVideoDataOutputSampleBufferDelegate {
    std::shared_ptr<platform::SerialQueue> queue = std::make_shared<platform::SerialQueue>("stalled camera");
    std::promise<void> released;
    std::shared_future<void> release = released.get_future().share();

    bool render(int, double, const Exposure&, platform::PixelBuffer&) override { return true; }
    void captureOutputDidOutputSampleBuffer(platform::AVCaptureOutput&, platform::CMSampleBufferRef,
                                            platform::AVCaptureConnection*) override {
        release.wait();
    }
    void stop(platform::AVCaptureSession& session) {
        session.stopRunning();
        released.set_value();
        std::promise<void> idle;
        queue->async([&idle] { idle.set_value(); });
        idle.get_future().wait();
    }
};

}  // namespace

// One rule for every expectation: it looks from the line after the one the
// previous expectation matched, whatever steps came between.
TEST(ScenarioPlayer, AnExpectationLooksFromTheLineAfterThePreviousMatch) {
    struct Case {
        const char* steps;
        bool plays;
        const char* line = "";  // a line the log must then hold
    };
    const Case cases[] = {
        // Logged two steps before the expectation, during a wait and a screenshot.
        {R"([{"log": "card read"}, {"wait": 0.5}, {"screenshot": "x"}, {"expect": "card read"}])", true},
        {R"([{"log": "early line"}, {"waitFor": "early line", "timeout": 2}])", true},
        {R"([{"log": "one"}, {"log": "two"}, {"expect": "two"}, {"expect": "one"}])", false,
         "step 4: expect 'one' is in no line since the previous expectation's; it saw no line"},
        {R"([{"log": "one"}, {"expect": "one"}, {"log": "two"}, {"log": "three"}, {"expect": "one", "timeout": 1}])",
         false, "step 5: expect 'one' timed out after 1 s; the last lines it saw: \"two\" | \"three\""},
        // expectNot looks from the same line and leaves it there.
        {R"([{"log": "bad"}, {"expectNot": "bad"}])", false, "step 2: a line contained 'bad'"},
        {R"([{"log": "bad"}, {"expect": "bad"}, {"expectNot": "bad"}, {"expect": "bad"}])", false,
         "step 4: expect 'bad' is in no line"},
        // Only the player's own step lines are passed over, not others worded like them.
        {R"([{"log": "scenario: step 3 done"}, {"expect": "step 3 done"}])", true},
    };
    for (const Case& c : cases) {
        platform::LogCapture log;
        EXPECT_EQ(play(c.steps, log), c.plays) << c.steps;
        EXPECT_TRUE(log.contains(c.line)) << c.steps;
    }
}

// A camera logs on its own clock: what it logs right after the line a step
// waited for, before the next step can run, is after that match.
TEST(ScenarioPlayer, AnExpectationSeesLinesLoggedWhileItWaitsOrBeforeItRuns) {
    auto burst = [] {
        platform::RunLoop::main().after(1, [] {
            platform::log("locked on");
            platform::log("card read");
        });
    };
    const std::pair<const char*, bool> cases[] = {
        {R"([{"waitFor": "locked on", "timeout": 5}, {"waitFor": "card read", "timeout": 2}])", true},
        {R"([{"waitFor": "locked on", "timeout": 5}, {"wait": 0}, {"expect": "card read"}])", true},
        {R"([{"waitFor": "locked on", "timeout": 5}, {"waitFor": "locked on", "timeout": 2}])", false},
        {R"([{"wait": 0}, {"expect": ["card read", "locked on"], "timeout": 5}])", true},
        {R"([{"wait": 0}, {"expect": "card read"}])", false},  // without a timeout only what is logged counts
    };
    for (const auto& [steps, plays] : cases) {
        platform::LogCapture log;
        EXPECT_EQ(play(steps, log, burst), plays) << steps;
    }
}

// Texts may name the screen's size, so one scenario plays at any --screen.
TEST(ScenarioPlayer, ExpectedTextsNameTheScreensPixelSize) {
    auto& screen = platform::UIScreen::mainScreen();
    const platform::CGRect bounds = screen.bounds();
    const double scale = screen.scale();
    screen.setBounds({{0, 0}, {375, 667}});
    screen.setScale(2);
    platform::LogCapture log;
    EXPECT_EQ(play(R"([{"log": "device 750 x 1334"}, {"expect": "device ${screenPixelWidth} x ${screenPixelHeight}"}])",
                   log),
              true);
    screen.setBounds(bounds);
    screen.setScale(scale);
}

TEST(ScenarioPlayer, AStepItDoesNotUnderstandRefusesTheScenarioBeforeAnythingPlays) {
    const std::pair<const char*, const char*> cases[] = {
        {R"([3])", "step 1: not an object"},
        {R"([{"log": "x"}, {"waitFor": "x", "timout": 5}])",
         "step 2: unknown key \"timout\" (a step of kind \"waitFor\" takes waitFor, timeout)"},
        {R"([{"log": "x"}, {"tap": "160,284"}])", "step 2: \"tap\" holds a list"},
        {R"([{"log": "x"}, {"sing": "la"}])", "step 2: no kind of step is named \"sing\"; the kinds are wait, expect,"},
        {R"([{"log": "x"}, {"event": "sideways"}])",
         "step 2: unknown event 'sideways'; one of resignActive, enterBackground, enterForeground, becomeActive, "
         "terminate"},
        {R"([{}])", "step 1 is empty; it takes one of: wait, expect, waitFor,"},
        // Every key's value, the kind's own and the others, and every option's.
        {R"([{"waitFor": "x", "timeout": "3"}])", "step 1: \"timeout\" holds a number of seconds"},
        {R"([{"wait": true}])", "step 1: \"wait\" holds a number of seconds"},
        // Values of the right kind out of their range.
        {R"([{"expect": "x", "timeout": -1}])", "step 1: \"timeout\" holds a number of seconds, 0 or more"},
        {R"([{"wait": -1}])", "step 1: \"wait\" holds a number of seconds, 0 or more"},
        {R"([{"touch": [[1, 1], [5, 5]], "step": 0}])", "step 1: \"step\" holds a number of points above 0"},
        {R"([{"touch": {"nodes": [0, 9]}}])",
         "step 1: \"nodes\" in \"touch\" holds a list of the grid's node numbers (0 to 8)"},
        {R"([{"screenshot": ""}])", "step 1: \"screenshot\" holds a name for its file, not empty and without \"/\""},
        {R"([{"screenshot": "../up"}])", "step 1: \"screenshot\" holds a name for its file"},
        {R"([{"location": {"latitude": 200, "longitude": 0}}])",
         "step 1: \"latitude\" in \"location\" holds a number of degrees from -90 to 90"},
        {R"([{"location": {"latitude": 0, "longitude": 0, "horizontalAccuracy": -5}}])",
         "step 1: \"horizontalAccuracy\" in \"location\" holds a number of metres, 0 or more"},
        {R"([{"openURL": "not a url"}])", "step 1: \"openURL\" holds a URL with its scheme"},
        {R"([{"deviceToken": ""}])",
         "step 1: \"deviceToken\" holds hexadecimal text, two digits a byte, one byte or more"},
        {R"([{"locationTrack": "/nonexistent/walk.gpx"}])", "step 1: \"locationTrack\" holds a GPX 1.1 file"},
        {R"([{"locationTrack": ")" HYBRID_SOURCE_DIR R"(/README.md"}])",
         "step 1: \"locationTrack\" holds a GPX 1.1 file"},
        {R"([{"touch": {"nodes": []}}])", "step 1: \"nodes\" in \"touch\" holds a list of the grid's node numbers"},
        {R"([{"backspace": 0}])", "step 1: \"backspace\" holds a whole number of presses, 1 or more"},
        {R"([{"deviceOrientation": 0}])", "step 1: \"deviceOrientation\" holds a whole number from 1 to 6"},
        {R"([{"scanCard": {"guideColor": [1, 0, 0]}}])",
         "step 1: \"guideColor\" in \"scanCard\" holds a list of 4 numbers"},
        {R"([{"scanCard": {"torch": true}}])",
         "step 1: unknown key \"torch\" in \"scanCard\" (it takes suppressScanConfirmation, detectionMode,"},
        {R"([{"location": {"latitude": 48.1}}])", "step 1: \"location\" needs \"longitude\", a number"},
        {R"([{"expectButton": {"title": "Done"}}])", "step 1: \"expectButton\" needs \"enabled\", true or false"},
        // Names, beside the events above.
        {R"([{"network": "5g"}])",
         "step 1: unknown network '5g'; one of wifi, cellular, cellular-connection-required, none"},
        {R"([{"cameraPermission": "granted"}])",
         "step 1: unknown cameraPermission 'granted'; one of notDetermined, restricted, denied, authorized"},
        // Values only playing used to find wrong.
        {R"([{"camera": "bogus"}])", "step 1: \"camera\" holds filmed, filmed:SEED, filmed:SEED:dark, video:PATH,"},
        {R"([{"camera": "image:/nonexistent/card.png"}])", "step 1: \"camera\" names no file at /nonexistent/card.png"},
        {R"([{"pick": "library"}])", "step 1: \"pick\" \"library\" needs \"file\""},
        {R"([{"deviceToken": "c0ffee!"}])", "step 1: \"deviceToken\" holds hexadecimal text, two digits a byte"},
    };
    for (const auto& [steps, refusal] : cases) {
        platform::LogCapture log;
        EXPECT_EQ(play(steps, log), false) << steps;
        EXPECT_TRUE(log.contains(std::string("scenario: failed: ") + refusal)) << steps;
        EXPECT_FALSE(log.contains("scenario: step 1")) << steps;
    }

    // A file is refused as it is read, and may be a bare list of steps.
    const std::string path = testing::TempDir() + "scenario-player-test.json";
    std::string error;
    std::ofstream(path) << R"([{"log": "x"}, {"expect": "x", "timout": 5}])";
    EXPECT_FALSE(sim::ScenarioPlayer::load(path, error));
    EXPECT_EQ(error, path + ": step 2: unknown key \"timout\" (a step of kind \"expect\" takes expect, timeout)");
    // A camera's file is looked for beside the scenario, as the step will.
    std::ofstream(path) << R"([{"camera": "image:missing.png"}])";
    EXPECT_FALSE(sim::ScenarioPlayer::load(path, error));
    EXPECT_NE(error.find("no file at " + (std::filesystem::absolute(path).parent_path() / "missing.png").string()),
              std::string::npos)
        << error;
    // Beside "steps" a scenario holds nothing.
    std::ofstream(path) << R"({"steps": [{"log": "x"}], "stpes": []})";
    EXPECT_FALSE(sim::ScenarioPlayer::load(path, error));
    EXPECT_EQ(error, path + ": unknown key \"stpes\" beside \"steps\" (a scenario holds only \"steps\")");
    std::ofstream(path) << R"([{"log": "x"}, {"expect": "x", "timeout": 5}, {"camera": "video:scenario-player-test.json"}])";
    auto scenario = sim::ScenarioPlayer::load(path, error);
    ASSERT_TRUE(scenario) << error;
    EXPECT_EQ((*scenario)["steps"].count(), 3u);
    std::filesystem::remove(path);
}

// A step's names are the table's list; one the table should have refused,
// played anyway, fails naming it rather than doing something else.
TEST(ScenarioPlayer, AStepGivenANameItDoesNotKnowFailsNamingIt) {
    const auto previous = platform::ReachabilitySource::setShared(nullptr);
    sim::installScriptedNetwork();
    const std::tuple<const char*, sim::StepFunction, const char*> cases[] = {
        {R"({"network": "5g"})", sim::playNetwork, "'5g'"},
        {R"({"pick": "gallery"})", sim::playPick, "'gallery'"},
        {R"({"locationServices": "maybe"})", sim::playLocationServices, "'maybe'"},
        {R"({"locationPermission": "always"})", sim::playLocationPermission, "'always'"},
    };
    for (const auto& [json, play, named] : cases) {
        const auto step = platform::readJson(json).value;
        ASSERT_TRUE(step) << json;
        const sim::StepOutcome outcome = play(sim::StepRun(*step, 0, nullptr));
        EXPECT_EQ(outcome.kind, sim::StepOutcome::Kind::Failed) << json;
        EXPECT_NE(outcome.reason.find(named), std::string::npos) << outcome.reason;
    }
    platform::ReachabilitySource::setShared(previous);
}

TEST(ScenarioPlayer, EveryStepThatCannotRunFailsTheRun) {
    const std::pair<const char*, const char*> cases[] = {
        {R"([{"openURL": "sample://x"}])", "step 1: no application delegate"},
        {R"([{"eval": "1"}])", "step 1: no page to evaluate in"},
        {R"([{"touch": {"nodes": [0, 1]}}])", "step 1: no window to touch"},
        {R"([{"camera": "image:)" HYBRID_SOURCE_DIR R"(/tests/data/fault-inputs/video-frame-overflow.webm"}])",
         "step 1: camera 'image:" HYBRID_SOURCE_DIR "/tests/data/fault-inputs/video-frame-overflow.webm': "},
        {R"([{"type": "1234"}])", "step 1: no text field has the keyboard"},
    };
    for (const auto& [steps, failure] : cases) {
        platform::LogCapture log;
        EXPECT_EQ(play(steps, log), false) << steps;
        EXPECT_TRUE(log.contains(std::string("scenario: failed: ") + failure)) << steps;
        // No card field has the keyboard: the step's echo shows what it types.
        EXPECT_EQ(log.contains("1234"), std::string_view(steps).find("1234") != std::string_view::npos) << steps;
    }
}

// A wait counts the camera's frames while it films, but a camera that
// renders none (analysis stalled, every frame dropped) cannot stop time: once
// no frame has come for a while, the clock counts, long before the camera stops.
TEST(ScenarioPlayer, AWaitOnAStalledCameraTimesOutOnTheClock) {
    // The session holds the camera (through its device), not the other way round.
    auto camera = std::make_shared<StalledCamera>();
    platform::setCameraFrameSource(camera);
    auto session = platform::AVCaptureSession::create();
    auto output = std::make_shared<platform::AVCaptureVideoDataOutput>();
    output->setSampleBufferDelegate(camera, camera->queue);
    session->addInput(platform::AVCaptureDeviceInput::deviceInputWithDevice(
        platform::AVCaptureDevice::defaultDeviceWithMediaType(platform::AVMediaTypeVideo), nullptr));
    session->addOutput(output);
    session->startRunning();
    while (platform::cameraFilming().sessionsFilming == 0) std::this_thread::yield();

    platform::LogCapture log;
    bool stopped = false;
    platform::RunLoop::TimerId stopper{};
    auto stopLater = [&] {
        stopper = platform::RunLoop::main().after(10, [&] {
            platform::log("camera stopped");
            camera->stop(*session);
            stopped = true;
        });
    };
    EXPECT_EQ(play(R"([{"waitFor": "card read", "timeout": 0.5}])", log, stopLater), false);
    EXPECT_TRUE(log.contains("waitFor 'card read' timed out after 0.5 s of camera frames and of the clock while "
                             "the camera rendered none"));
    EXPECT_FALSE(stopped);
    platform::RunLoop::main().cancel(stopper);
    if (!stopped) camera->stop(*session);
    platform::setCameraFrameSource(nullptr);
}

// A shot waiting for a line is drawn while the line is logged: what the app
// changes right after logging it, in the same task, is not in the picture.
TEST(ScenarioPlayer, AShotWhenALineIsLoggedShowsTheMomentOfTheLine) {
    auto window = std::make_shared<platform::UIWindow>(platform::CGRect{{0, 0}, {40, 40}});
    window->setBackgroundColor(platform::UIColor::blueColor());
    window->makeKeyAndVisible();
    const std::string shots = testing::TempDir() + "scenario-player-shots";
    std::filesystem::remove_all(shots);
    auto lockLater = [&] {
        platform::RunLoop::main().after(1, [&] {
            window->setBackgroundColor(platform::UIColor::greenColor());
            platform::log("card guide: locked on");
            window->setBackgroundColor(platform::UIColor::grayColor());
        });
    };
    platform::LogCapture log;
    EXPECT_EQ(play(R"([{"screenshot": "opened"}, {"screenshot": "locked", "when": "locked on"},
                       {"screenshot": "after"}, {"expect": "locked on", "timeout": 5}])",
                   log, lockLater, shots),
              true);
    const auto shot = platform::UIImage::imageWithContentsOfFile(shots + "/02-locked.png");
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->pixelAt(20, 20), (platform::UIImage::Pixel{0, 255, 0, 255}));
    EXPECT_TRUE(std::filesystem::exists(shots + "/03-after.png"));

    // The failure quotes the awaited text: the moment still did not come.
    EXPECT_EQ(play(R"([{"screenshot": "never", "when": "a line that never comes"}, {"wait": 0.2}])", log, nullptr,
                   shots),
              false);
    EXPECT_TRUE(log.contains(
        "scenario: failed: step 1: screenshot never: no line held 'a line that never comes' after it was armed"));
    EXPECT_FALSE(std::filesystem::exists(shots + "/01-never.png"));
    std::filesystem::remove_all(shots);
}

// Without a shots folder a screenshot step writes nothing, and the first one says so.
TEST(ScenarioPlayer, ScreenshotsWithoutAShotsFolderAreSaidOnceToBeUnwritten) {
    platform::LogCapture log;
    EXPECT_EQ(play(R"([{"screenshot": "a"}, {"log": "between"}, {"screenshot": "b"}])", log), true);
    EXPECT_EQ(log.count("scenario: no --shots folder: screenshots are not written"), 1u);
}
