// hybrid-sim: boots an app bundle's container headless, runs the main run
// loop and prints the process log, until a log line contains the text given
// with --until or the timeout passes.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "hybrid/HYBViewController.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "sim/SimEchoPlugin.h"

namespace {

struct Options {
    std::string bundle;
    std::string home;
    std::string until;
    double timeout = 30;
};

void usage() {
    std::fprintf(stderr,
                 "usage: hybrid-sim --bundle DIR [--until TEXT] [--timeout SECONDS] [--home DIR]\n"
                 "  --bundle DIR       the app bundle (Info.plist, config.xml, www/)\n"
                 "  --until TEXT       stop with status 0 once a log line contains TEXT (1 if it never does)\n"
                 "  --timeout SECONDS  stop after this long (default 30)\n"
                 "  --home DIR         the app's home folder (Documents, Library, tmp)\n");
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        std::string value;
        if (arg == "--bundle" && next(options.bundle)) continue;
        if (arg == "--until" && next(options.until)) continue;
        if (arg == "--home" && next(options.home)) continue;
        if (arg == "--timeout" && next(value)) {
            char* end = nullptr;
            options.timeout = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(options.timeout > 0)) return false;
            continue;
        }
        return false;
    }
    return !options.bundle.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        usage();
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(options.bundle, ec)) {
        std::fprintf(stderr, "hybrid-sim: no app bundle at '%s'\n", options.bundle.c_str());
        return 2;
    }

    platform::RunLoop::main().bindToCurrentThread();
    platform::Bundle::setMain(std::filesystem::absolute(options.bundle).string());
    if (!options.home.empty()) platform::FileManager::setHomeDirectory(std::filesystem::absolute(options.home).string());
    else platform::FileManager::setHomeDirectory(platform::FileManager::homeDirectory());
    const std::string identifier = platform::Bundle::main().bundleIdentifier();
    platform::UserDefaults::setStandardFile(platform::FileManager::defaultManager().libraryDirectory() + "/Preferences/" +
                                            (identifier.empty() ? "app" : identifier) + ".plist");

    // Lines still go to standard error; the capture lets the loop watch for --until.
    platform::LogCapture log(true);
    std::shared_ptr<hybrid::HYBViewController> container;
    try {
        container = hybrid::HYBViewController::create();
        container->view();  // makes the web view and starts loading the start page
        container->registerPluginWithPluginName(std::make_shared<sim::SimEchoPlugin>(container->webView()), "Echo");
    } catch (const platform::AssertionFailure& failure) {
        std::fprintf(stderr, "hybrid-sim: %s\n", failure.what());
        return 1;
    }

    std::size_t seen = 0;
    bool found = false;
    platform::RunLoop::main().runUntil(
        [&] {
            if (options.until.empty()) return false;
            const auto lines = log.lines();
            for (; seen < lines.size(); ++seen)
                if (lines[seen].find(options.until) != std::string::npos) found = true;
            return found;
        },
        options.timeout);
    platform::UserDefaults::standard().synchronize();
    if (options.until.empty()) return 0;
    if (!found) std::fprintf(stderr, "hybrid-sim: no log line contained '%s' within %g s\n", options.until.c_str(), options.timeout);
    return found ? 0 : 1;
}
