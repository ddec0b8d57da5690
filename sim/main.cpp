// hybrid-sim: boots an app bundle the way the phone does (entry point,
// application delegate, main run loop), optionally plays a scenario against
// it, and prints the process log. It stops when the scenario ends, when a log
// line contains the text given with --until, or when the timeout passes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/AppDelegate.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Screen.h"
#include "sim/CommandLine.h"
#include "sim/ScenarioPlayer.h"
#include "sim/SimCamera.h"
#include "sim/SimEchoPlugin.h"

namespace {

// How long past the timeout the watchdog waits for the run loop to end the run.
constexpr double kWatchdogGrace = 3;

// On standard output when asked for (--help), on standard error after a refusal.
void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: hybrid-sim --bundle DIR [--scenario FILE] [--shots DIR] [--until TEXT] [--timeout SECONDS]\n"
                 "                  [--home DIR] [--launch-pause SECONDS] [--screen WIDTHxHEIGHT@SCALE]\n"
                 "                  [--live-network] [--no-camera] [--camera SOURCE] [--photos DIR]\n"
                 "       hybrid-sim --help | -h\n"
                 "  --bundle DIR       the app bundle (Info.plist, config.xml, www/, images)\n"
                 "  --scenario FILE    steps to play against the app (JSON); exit 0 when all ran\n"
                 "  --shots DIR        where the scenario's screenshots go\n"
                 "  --until TEXT       stop with status 0 once a log line contains TEXT\n"
                 "  --timeout SECONDS  stop after this long (default 60); status 1 if waiting for\n"
                 "                     --until or a scenario\n"
                 "  --home DIR         the app's home folder (Documents, Library, tmp)\n"
                 "  --launch-pause S   the pause at launch, up to 86400 (the phone's is 1.0; default 0.1)\n"
                 "  --live-network     report the machine's own network instead of a scripted one\n"
                 "                     (which starts on Wi-Fi and follows the scenario's network steps)\n"
                 "  --screen WxH@S     the main screen: bounds in points and scale (default 320x568@2)\n"
                 "  --no-camera        a device without a camera (the same as --camera none)\n"
                 "  --camera SOURCE    what the capture camera films: filmed (default), filmed:SEED,\n"
                 "                     filmed:SEED:dark (a rendered card brought into the guide, in\n"
                 "                     normal or dim light), video:PATH (a video file), image:PATH (a\n"
                 "                     PNG or JPEG filmed as 640 x 480 frames), v4l2:INDEX_OR_PATH\n"
                 "                     (a V4L2 camera) or none\n"
                 "  --photos DIR       fixture photos: copied into the photo library, camera.jpg is the\n"
                 "                     camera's picture (default: the folder \"photos\" beside the bundle)\n"
                 "  --help, -h         this text\n"
                 "exit status: 0 done, 1 a step failed or the run timed out, 2 refused before playing\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string refused;
    const auto parsed = sim::parseCommandLine(argc, argv, refused);
    if (!parsed) {
        std::fprintf(stderr, "hybrid-sim: %s\n", refused.c_str());
        usage(stderr);
        return 2;
    }
    const sim::Options& options = *parsed;
    if (options.help) {
        usage(stdout);
        return 0;
    }
    std::optional<platform::Value> scenario;
    if (!options.scenario.empty()) {
        std::string error;
        scenario = sim::ScenarioPlayer::load(options.scenario, error);
        if (!scenario) {
            std::fprintf(stderr, "hybrid-sim: %s\n", error.c_str());
            return 2;
        }
    }

    platform::RunLoop::main().bindToCurrentThread();
    platform::Bundle::setMain(std::filesystem::absolute(options.bundle).string());
    platform::FileManager::setHomeDirectory(options.home.empty() ? platform::FileManager::homeDirectory()
                                                                 : std::filesystem::absolute(options.home).string());
    const std::string identifier = platform::Bundle::main().bundleIdentifier();
    platform::UserDefaults::setStandardFile(platform::FileManager::defaultManager().libraryDirectory() + "/Preferences/" +
                                            (identifier.empty() ? "app" : identifier) + ".plist");
    {
        std::string error;
        if (!sim::installCamera(options.noCamera ? "none" : options.camera, "", error)) {
            std::fprintf(stderr, "hybrid-sim: %s\n", error.c_str());
            return 2;
        }
    }
    {
        std::filesystem::path bundlePath = std::filesystem::absolute(options.bundle).lexically_normal();
        if (bundlePath.filename().empty()) bundlePath = bundlePath.parent_path();
        const std::filesystem::path sibling = bundlePath.parent_path() / "photos";
        std::error_code ec;
        const std::string photos = !options.photos.empty()                      ? options.photos
                                   : std::filesystem::is_directory(sibling, ec) ? sibling.string()
                                                                                : std::string();
        std::string error;
        if (!photos.empty() && !platform::PhotoLibrary::fillFromFolder(photos, &error)) {
            std::fprintf(stderr, "hybrid-sim: photos: %s\n", error.c_str());
            return 2;
        }
    }
    app::AppDelegate::setLaunchPause(options.launchPause);
    platform::UIScreen::mainScreen().setBounds({{0, 0}, options.screenSize});
    platform::UIScreen::mainScreen().setScale(options.screenScale);

    // Lines still go to standard error; the capture lets the simulator watch them.
    platform::LogCapture log(true);
    if (!options.liveNetwork) sim::installScriptedNetwork();
    platform::log(options.liveNetwork ? "hybrid-sim: network: the machine's own" : "hybrid-sim: network: scripted, on wifi");
    auto& application = platform::UIApplication::sharedApplication();
    const bool waiting = !options.until.empty() || scenario.has_value();
    std::shared_ptr<sim::ScenarioPlayer> player;

    // Runs on the first turn of the main run loop, right after launch.
    platform::RunLoop::main().post([&] {
        auto delegate = std::dynamic_pointer_cast<app::AppDelegate>(application.delegate());
        if (delegate && delegate->viewController()) {
            auto container = delegate->viewController();
            container->registerPluginWithPluginName(std::make_shared<sim::SimEchoPlugin>(container->webView()), "Echo");
        }
        if (scenario) {
            player = std::make_shared<sim::ScenarioPlayer>(*scenario, log, options.shots);
            player->start([&](bool ok) { application.requestExit(ok ? 0 : 1); });
        }
    });
    if (!options.until.empty()) {
        auto watch = std::make_shared<std::function<void()>>();
        std::weak_ptr<std::function<void()>> weakWatch = watch;
        *watch = [&, weakWatch] {
            if (log.contains(options.until)) return application.requestExit(0);
            if (auto again = weakWatch.lock()) platform::RunLoop::main().after(0.05, [again] { (*again)(); });
        };
        platform::RunLoop::main().post([watch] { (*watch)(); });
    }
    platform::RunLoop::main().after(options.timeout, [&] {
        // The step it stopped in comes after the words that scripts look for.
        const std::string step = player ? player->stepPlaying() : std::string();
        if (waiting) std::fprintf(stderr, "hybrid-sim: stopped after %g s without %s%s\n", options.timeout,
                                  options.until.empty() ? "the scenario ending" : ("'" + options.until + "'").c_str(),
                                  step.empty() ? "" : (", in " + step).c_str());
        application.requestExit(waiting ? 1 : 0);
    });
    // The timer above needs the run loop; a step that holds the main thread
    // (a plugin that never returns, a page script in an endless loop) would
    // keep it from firing, so a watchdog ends the process a little later.
    std::thread([timeout = options.timeout] {
        std::this_thread::sleep_for(std::chrono::duration<double>(timeout + kWatchdogGrace));
        const std::size_t step = sim::ScenarioPlayer::stepNumberPlaying();
        std::fprintf(stderr, "hybrid-sim: stopped after %g s: a step held the main thread%s\n", timeout,
                     step ? (", in step " + std::to_string(step)).c_str() : "");
        std::_Exit(1);
    }).detach();

    int status = 0;
    try {
        app::registerAppClasses();
        status = platform::UIApplicationMain(argc, argv, "AppDelegate");
    } catch (const platform::AssertionFailure& failure) {
        std::fprintf(stderr, "hybrid-sim: %s\n", failure.what());
        return 1;
    }
    platform::UserDefaults::standard().synchronize();
    return status;
}
