#include "sim/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <tuple>
#include <utility>

namespace sim {
namespace {

// A day: longer than any scenario, short enough for the watchdog's clock.
constexpr double kLongestTimeout = 86400;
// The pause holds the main thread before the app launches, so one longer
// than the longest --timeout could only end at the watchdog; far longer ones
// (1e300) do not fit the sleep's nanoseconds and would not pause at all.
constexpr double kLongestLaunchPause = kLongestTimeout;
constexpr double kLargestSide = 10000;
constexpr double kLargestScale = 10;

// The options that take a value, and what it must be, for the line that refuses one.
constexpr std::pair<std::string_view, const char*> kValueOptions[] = {
    {"--bundle", "DIR, an app bundle holding config.xml"},
    {"--scenario", "FILE"},
    {"--shots", "DIR, a folder (made when missing)"},
    {"--until", "TEXT, not empty"},
    {"--timeout", "SECONDS, a number above 0 and up to 86400"},
    {"--home", "DIR, a folder (made when missing)"},
    {"--launch-pause", "SECONDS, a number from 0 to 86400"},
    {"--screen", "WIDTHxHEIGHT@SCALE, such as 375x667@2 (sides up to 10000 points, a scale up to 10)"},
    {"--camera", "SOURCE"},
    {"--photos", "DIR"},
};

// Decimal only: strtod would also read "0x10" as 16 and " 5" as 5.
bool parseNumber(const std::string& text, double& out) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, out, std::chars_format::general);
    return error == std::errc() && stop == end && std::isfinite(out) && out >= 0;
}

// What a path option must name. A folder the run writes into may be missing,
// as it is made then, but not a file; the others must be there.
enum class PathKind { Bundle, WrittenFolder, File };

// Why `path` is not what `kind` asks for, as the refusal's end (", a
// file"); empty when it is.
std::string pathRefusal(const std::string& path, PathKind kind) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    const bool there = fs::exists(status), folder = fs::is_directory(status);
    switch (kind) {
        case PathKind::Bundle:
            if (!folder) return there ? ", not a folder" : ", which is not there";
            if (!fs::is_regular_file(fs::path(path) / "config.xml", ec)) return ", which holds no config.xml";
            return {};
        case PathKind::WrittenFolder: return there && !folder ? ", not a folder" : "";
        case PathKind::File:
            if (folder) return ", a folder";
            return there ? "" : ", which is not there";
    }
    return {};
}

// "320x568@2": a width and a height in points, and a scale, each positive and
// of a size a screen may have.
bool parseScreen(const std::string& text, platform::CGSize& size, double& scale) {
    const auto times = text.find('x');
    const auto at = text.find('@');
    if (times == std::string::npos || at == std::string::npos || at < times) return false;
    double width = 0, height = 0, pixelsPerPoint = 0;
    if (!parseNumber(text.substr(0, times), width) || !parseNumber(text.substr(times + 1, at - times - 1), height) ||
        !parseNumber(text.substr(at + 1), pixelsPerPoint))
        return false;
    if (!(width > 0 && width <= kLargestSide && height > 0 && height <= kLargestSide)) return false;
    if (!(pixelsPerPoint > 0 && pixelsPerPoint <= kLargestScale)) return false;
    size = {width, height};
    scale = pixelsPerPoint;
    return true;
}

}  // namespace

std::optional<Options> parseCommandLine(int argc, const char* const* argv, std::string& error) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        if (arg == "--live-network") {
            options.liveNetwork = true;
            continue;
        }
        if (arg == "--no-camera") {
            options.noCamera = true;
            continue;
        }
        const auto option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                         [&arg](const auto& known) { return arg == known.first; });
        if (option == std::end(kValueOptions)) {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
        const char* takes = option->second;
        if (i + 1 >= argc) {
            error = arg + " takes " + takes + "; got nothing";
            return std::nullopt;
        }
        const std::string value = argv[++i];
        bool valid = true;
        if (arg == "--bundle") options.bundle = value;
        else if (arg == "--until") valid = !(options.until = value).empty();
        else if (arg == "--home") options.home = value;
        else if (arg == "--scenario") options.scenario = value;
        else if (arg == "--shots") options.shots = value;
        else if (arg == "--photos") options.photos = value;
        else if (arg == "--camera") options.camera = value;
        else if (arg == "--timeout")
            valid = parseNumber(value, options.timeout) && options.timeout > 0 && options.timeout <= kLongestTimeout;
        else if (arg == "--launch-pause")
            valid = parseNumber(value, options.launchPause) && options.launchPause <= kLongestLaunchPause;
        else if (arg == "--screen") valid = parseScreen(value, options.screenSize, options.screenScale);
        if (!valid) {
            error = arg + " takes " + takes + "; got '" + value + "'";
            return std::nullopt;
        }
    }
    if (options.bundle.empty()) {
        error = "--bundle DIR is required";
        return std::nullopt;
    }
    // Told now, before anything plays, rather than by what would fail on them.
    const std::tuple<std::string_view, const std::string&, PathKind> paths[] = {
        {"--bundle", options.bundle, PathKind::Bundle},
        {"--scenario", options.scenario, PathKind::File},
        {"--shots", options.shots, PathKind::WrittenFolder},
        {"--home", options.home, PathKind::WrittenFolder},
    };
    for (const auto& [option, path, kind] : paths) {
        if (path.empty()) continue;
        if (const std::string why = pathRefusal(path, kind); !why.empty()) {
            const auto takes = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                            [&](const auto& known) { return known.first == option; });
            error = std::string(option) + " takes " + takes->second + "; got '" + path + "'" + why;
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace sim
