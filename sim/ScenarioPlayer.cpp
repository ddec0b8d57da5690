#include "sim/ScenarioPlayer.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/AppDelegate.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/GeometryFunctions.h"
#include "platform/graphics/Render.h"
#include "platform/location/LocationSource.h"
#include "platform/ui/Application.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/Window.h"
#include "sim/FormStep.h"
#include "sim/ScanStep.h"
#include "sim/SimCamera.h"

namespace sim {

using platform::Value;

namespace {

constexpr const char* kStepLinePrefix = "scenario: step ";

std::shared_ptr<app::AppDelegate> appDelegate() {
    return std::dynamic_pointer_cast<app::AppDelegate>(platform::UIApplication::sharedApplication().delegate());
}

std::optional<platform::CGPoint> pointOf(const Value& value) {
    if (!value.isArray() || value.count() != 2 || !value[0].isNumber() || !value[1].isNumber()) return std::nullopt;
    return platform::CGPoint{value[0].doubleValue(), value[1].doubleValue()};
}

std::optional<platform::Data> bytesOfHex(const std::string& hex) {
    if (hex.size() % 2) return std::nullopt;
    platform::Data bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        auto nibble = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        const int high = nibble(hex[i]), low = nibble(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

// The reachability flags each scripted network reports for the internet.
std::optional<platform::ReachabilityFlags> scriptedNetworkFlags(const std::string& name) {
    using namespace platform;
    if (name == "wifi") return kReachabilityFlagsReachable;
    if (name == "cellular") return kReachabilityFlagsReachable | kReachabilityFlagsIsWWAN;
    if (name == "cellular-connection-required")
        return kReachabilityFlagsReachable | kReachabilityFlagsIsWWAN | kReachabilityFlagsConnectionRequired;
    if (name == "none") return ReachabilityFlags{0};
    return std::nullopt;
}

}  // namespace

std::shared_ptr<platform::ScriptedReachabilitySource> installScriptedNetwork() {
    auto source = std::make_shared<platform::ScriptedReachabilitySource>(*scriptedNetworkFlags("wifi"));
    platform::ReachabilitySource::setShared(source);
    return source;
}

bool ScenarioPlayer::playLocationStep(const Value& step, std::string& error) {
    using platform::LocationSource;
    if (const platform::Dictionary* fields = step["location"].dictionary()) {
        const Value& fix = step["location"];
        if (!fix["latitude"].isNumber() || !fix["longitude"].isNumber()) {
            error = "a location needs a \"latitude\" and a \"longitude\"";
            return false;
        }
        auto number = [&](const char* key, double otherwise) {
            return fix[key].isNumber() ? fix[key].doubleValue() : otherwise;
        };
        platform::CLLocation location;
        location.coordinate = {fix["latitude"].doubleValue(), fix["longitude"].doubleValue()};
        location.altitude = number("altitude", 0);
        location.horizontalAccuracy = number("horizontalAccuracy", 5);
        location.verticalAccuracy = number("verticalAccuracy", fields->count("altitude") ? 5 : -1);
        location.course = number("course", -1);
        location.speed = number("speed", -1);
        location.timestamp = number("timestamp", platform::clock().now());
        auto scripted = std::dynamic_pointer_cast<platform::ScriptedLocationSource>(LocationSource::shared());
        if (!scripted) {
            scripted = std::make_shared<platform::ScriptedLocationSource>();
            LocationSource::setShared(scripted);
        }
        platform::logf("scenario: location %.6f,%.6f", location.coordinate.latitude, location.coordinate.longitude);
        scripted->deliverLocation(location);
        return true;
    }
    if (!step["locationError"].isNil()) {
        if (!step["locationError"].isNumber()) {
            error = "a location error is the error's code";
            return false;
        }
        const int code = step["locationError"].intValue();
        platform::logf("scenario: location error %d", code);
        auto scripted = std::dynamic_pointer_cast<platform::ScriptedLocationSource>(LocationSource::shared());
        if (!scripted) {
            scripted = std::make_shared<platform::ScriptedLocationSource>();
            LocationSource::setShared(scripted);
        }
        scripted->deliverFailure(platform::locationError(code));
        return true;
    }
    if (!step["locationServices"].isNil()) {
        const std::string* state = step["locationServices"].string();
        if (!state || (*state != "on" && *state != "off")) {
            error = "location services are \"on\" or \"off\"";
            return false;
        }
        platform::logf("scenario: location services %s", state->c_str());
        LocationSource::setServicesEnabled(*state == "on");
        return true;
    }
    if (!step["locationPermission"].isNil()) {
        static const std::pair<const char*, platform::CLAuthorizationStatus> permissions[] = {
            {"notDetermined", platform::kCLAuthorizationStatusNotDetermined},
            {"restricted", platform::kCLAuthorizationStatusRestricted},
            {"denied", platform::kCLAuthorizationStatusDenied},
            {"authorized", platform::kCLAuthorizationStatusAuthorized},
            {"authorizedWhenInUse", platform::kCLAuthorizationStatusAuthorizedWhenInUse},
        };
        const std::string name = step["locationPermission"].stringValue();
        for (const auto& [known, status] : permissions) {
            if (name != known) continue;
            platform::logf("scenario: location permission %s", known);
            LocationSource::setAuthorizationStatus(status);
            return true;
        }
        error = "unknown location permission '" + name +
                "' (notDetermined, restricted, denied, authorized, authorizedWhenInUse)";
        return false;
    }
    const std::string path = step["locationTrack"].stringValue();
    platform::Error trackError;
    auto track = platform::GPXLocationSource::createWithContentsOfFile(path, &trackError);
    if (!track) {
        error = trackError.localizedDescription;
        return false;
    }
    platform::logf("scenario: location track %s (%zu points)", std::filesystem::path(path).filename().c_str(),
                   track->points().size());
    LocationSource::setShared(track);
    track->start();
    return true;
}

ScenarioPlayer::ScenarioPlayer(Value scenario, const platform::LogCapture& log, std::string shotsDirectory)
    : scenario_(std::move(scenario)), log_(log), shotsDirectory_(std::move(shotsDirectory)) {}

std::optional<Value> ScenarioPlayer::load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = platform::readJson(text.str());
    if (!parsed.value) {
        error = path + ": " + parsed.error;
        return std::nullopt;
    }
    if (!(*parsed.value)["steps"].isArray()) {
        error = path + ": a scenario is an object with an array \"steps\"";
        return std::nullopt;
    }
    // Track files and camera videos are named relative to the scenario, which the player no longer knows.
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    (*parsed.value->dictionary())["scenarioFolder"] = Value(folder.string());
    for (Value& step : *(*parsed.value->dictionary())["steps"].array()) {
        platform::Dictionary* fields = step.dictionary();
        if (!fields || !fields->count("locationTrack")) continue;
        if (const std::string* track = (*fields)["locationTrack"].string(); track && !track->empty())
            (*fields)["locationTrack"] = Value((folder / *track).lexically_normal().string());
    }
    return parsed.value;
}

void ScenarioPlayer::start(std::function<void(bool)> finished) {
    finished_ = std::move(finished);
    next(0);
}

void ScenarioPlayer::next(std::size_t index, double delay) {
    std::weak_ptr<ScenarioPlayer> weakSelf = weak_from_this();
    platform::RunLoop::main().after(delay, [weakSelf, index] {
        if (auto self = weakSelf.lock()) self->runStep(index);
    });
}

void ScenarioPlayer::fail(std::size_t index, const std::string& reason) {
    platform::logf("scenario: failed: step %zu: %s", index + 1, reason.c_str());
    if (finished_) finished_(false);
}

bool ScenarioPlayer::loggedSince(std::size_t& first, std::vector<std::string>& texts) const {
    const std::vector<std::string> lines = log_.linesFrom(first);
    first += lines.size();
    for (const std::string& line : lines) {
        if (platform::startsWith(line, kStepLinePrefix)) continue;
        std::erase_if(texts, [&line](const std::string& text) { return line.find(text) != std::string::npos; });
    }
    return texts.empty();
}

void ScenarioPlayer::runStep(std::size_t index) {
    const Value& steps = scenario_["steps"];
    if (index >= steps.count()) {
        platform::log("scenario: done");
        if (finished_) finished_(true);
        return;
    }
    const Value& step = steps[index];
    if (!step.isDictionary() || step.count() == 0) return fail(index, "not an object");
    // Taken before the step's own line, so no line another thread logs from
    // here on is missed.
    const std::size_t previousStart = stepStart_;
    const std::size_t stepStart = stepStart_ = log_.size();
    // Typed text and long digit runs are masked in the echo as the form masks them.
    Value echoed = step;
    if (const std::string* typed = step["type"].string()) (*echoed.dictionary())["type"] = Value(maskDigits(*typed));
    auto written = platform::writeJson(echoed);
    platform::logf("%s%zu: %s", kStepLinePrefix, index + 1,
                   platform::maskLongDigitRuns(written.text.value_or("?")).c_str());

    auto delegate = appDelegate();
    auto& application = platform::UIApplication::sharedApplication();

    if (step["wait"].isNumber()) return next(index + 1, std::max(0.0, step["wait"].doubleValue()));

    // "expect" takes one text or a list; with a timeout it waits like
    // "waitFor", but from the previous step's start.
    std::vector<std::string> expected;
    if (const std::string* text = step["expect"].string()) expected.push_back(*text);
    for (std::size_t i = 0; step["expect"].isArray() && i < step["expect"].count(); ++i)
        if (const std::string* text = step["expect"][i].string()) expected.push_back(*text);
    if (!step["expect"].isNil() && expected.empty()) return fail(index, "expect needs a text or a list of texts");
    const bool waitingExpect = !expected.empty() && step["timeout"].isNumber();
    std::vector<std::string> awaited = waitingExpect ? expected : std::vector<std::string>();
    if (const std::string* text = step["waitFor"].string()) awaited = {*text};
    if (!awaited.empty()) {
        const char* kind = waitingExpect ? "expect" : "waitFor";
        const double timeout = step["timeout"].isNumber() ? std::max(0.0, step["timeout"].doubleValue()) : 10.0;
        const double deadline = platform::clock().now() + timeout;
        // The poll holds itself only through the timer it schedules, so it
        // is freed once it stops rescheduling.
        auto poll = std::make_shared<std::function<void()>>();
        std::weak_ptr<std::function<void()>> weakPoll = poll;
        std::weak_ptr<ScenarioPlayer> weakSelf = weak_from_this();
        *poll = [weakSelf, weakPoll, texts = std::move(awaited), kind, timeout, deadline, index,
                 unread = waitingExpect ? previousStart : stepStart]() mutable {
            auto self = weakSelf.lock();
            if (!self) return;
            if (self->loggedSince(unread, texts)) return self->next(index + 1);
            if (platform::clock().now() > deadline)
                return self->fail(index, platform::format("%s '%s' timed out after %g s", kind, texts.front().c_str(),
                                                          timeout));
            if (auto again = weakPoll.lock()) platform::RunLoop::main().after(0.05, [again] { (*again)(); });
        };
        (*poll)();
        return;
    }

    if (!expected.empty()) {
        std::size_t unread = previousStart;
        if (!loggedSince(unread, expected))
            return fail(index, "no line logged since the previous step began contained '" + expected.front() + "'");
        return next(index + 1);
    }

    // "expectNot" fails when a line since the previous step began, or one
    // logged within the timeout (default 0), contains the text.
    if (const std::string* unwanted = step["expectNot"].string()) {
        const double timeout = step["timeout"].isNumber() ? std::max(0.0, step["timeout"].doubleValue()) : 0.0;
        const double deadline = platform::clock().now() + timeout;
        auto poll = std::make_shared<std::function<void()>>();
        std::weak_ptr<std::function<void()>> weakPoll = poll;
        std::weak_ptr<ScenarioPlayer> weakSelf = weak_from_this();
        *poll = [weakSelf, weakPoll, text = *unwanted, deadline, index, unread = previousStart]() mutable {
            auto self = weakSelf.lock();
            if (!self) return;
            std::vector<std::string> texts{text};
            if (self->loggedSince(unread, texts)) return self->fail(index, "a line contained '" + text + "'");
            if (platform::clock().now() >= deadline) return self->next(index + 1);
            if (auto again = weakPoll.lock()) platform::RunLoop::main().after(0.05, [again] { (*again)(); });
        };
        (*poll)();
        return;
    }
    if (!step["expectNot"].isNil()) return fail(index, "expectNot needs a text");

    if (const std::string* event = step["event"].string()) {
        if (*event == "resignActive") application.setApplicationState(platform::UIApplicationState::Inactive);
        else if (*event == "enterBackground") application.setApplicationState(platform::UIApplicationState::Background);
        else if (*event == "enterForeground") {
            application.setApplicationState(platform::UIApplicationState::Background);
            application.setApplicationState(platform::UIApplicationState::Inactive);
        } else if (*event == "becomeActive") application.setApplicationState(platform::UIApplicationState::Active);
        else if (*event == "terminate") application.terminate();
        else return fail(index, "unknown event '" + *event + "'");
        return next(index + 1);
    }

    if (step["touch"].isArray()) {
        const double spacing = step["step"].isNumber() ? step["step"].doubleValue() : 10.0;
        if (!touchPath(step["touch"], spacing))
            return fail(index, "a touch path is a list of [x, y] points in a window");
        return next(index + 1);
    }
    if (step["tap"].isArray()) {
        if (!touchPath(Value(platform::Array{step["tap"], step["tap"]}), 10.0))
            return fail(index, "a tap is one [x, y] point in a window");
        return next(index + 1);
    }

    if (const std::string* script = step["eval"].string()) {
        auto container = delegate ? delegate->viewController() : nullptr;
        if (!container || !container->webView()) return fail(index, "no page to evaluate in");
        // Indirect eval runs the script at the page's top level, as it would unwrapped.
        const std::string answer = container->webView()->stringByEvaluatingJavaScriptFromString(
            "(function () { try { var answer = (0, eval)(" + platform::writeJson(*script).text.value_or("''") +
            "); return 'ok:' + (answer === undefined ? '' : String(answer)); }"
            " catch (e) { return 'threw:' + String(e); } })()");
        if (platform::startsWith(answer, "threw:")) return fail(index, "the script threw " + answer.substr(6));
        if (!platform::startsWith(answer, "ok:")) return fail(index, "the page could not run the script");
        if (answer.size() > 3) platform::logf("scenario: eval answered %s", answer.c_str() + 3);
        return next(index + 1);
    }

    if (step["openURL"].isString() || step["remoteNotification"].isDictionary() ||
        !step["localNotification"].isNil() || step["deviceToken"].isString()) {
        if (!delegate) return fail(index, "no application delegate to hand it to");
    }
    if (const std::string* text = step["openURL"].string()) {
        auto url = platform::URL::create(*text);
        if (!url) return fail(index, "not a URL: " + *text);
        if (!delegate->applicationHandleOpenURL(application, url)) return fail(index, "the app did not open " + *text);
        return next(index + 1);
    }

    if (const platform::Dictionary* payload = step["remoteNotification"].dictionary()) {
        delegate->applicationDidReceiveRemoteNotification(application, *payload);
        return next(index + 1);
    }
    if (!step["localNotification"].isNil()) {
        delegate->applicationDidReceiveLocalNotification(application, step["localNotification"]);
        return next(index + 1);
    }
    if (const std::string* hex = step["deviceToken"].string()) {
        auto bytes = bytesOfHex(*hex);
        if (!bytes) return fail(index, "a device token is hexadecimal text");
        delegate->applicationDidRegisterForRemoteNotificationsWithDeviceToken(application, *bytes);
        return next(index + 1);
    }

    if (const std::string* name = step["screenshot"].string()) {
        if (!screenshot(*name)) return fail(index, "could not write the screenshot " + *name);
        return next(index + 1);
    }
    if (const std::string* name = step["network"].string()) {
        const auto flags = scriptedNetworkFlags(*name);
        if (!flags) return fail(index, "unknown network '" + *name + "'");
        auto scripted =
            std::dynamic_pointer_cast<platform::ScriptedReachabilitySource>(platform::ReachabilitySource::shared());
        if (!scripted) return fail(index, "the network is the machine's own (--live-network) and cannot be scripted");
        platform::logf("scenario: network %s", name->c_str());
        scripted->setFlags(*flags);
        return next(index + 1);
    }
    if (const std::string* kind = step["pick"].string()) {
        std::string error;
        bool picked = false;
        const std::string* file = step["file"].string();
        if (*kind == "library" && !file) return fail(index, "a library pick needs a \"file\"");
        platform::logf("scenario: picker %s%s%s", kind->c_str(), file && *kind == "library" ? " " : "",
                       file && *kind == "library" ? file->c_str() : "");
        if (*kind == "library") picked = platform::UIImagePickerController::pickLibraryFile(*file, &error);
        else if (*kind == "camera") picked = platform::UIImagePickerController::takeCameraPicture(&error);
        else if (*kind == "video") picked = platform::UIImagePickerController::pickVideo(&error);
        else if (*kind == "cancel") picked = platform::UIImagePickerController::cancel(&error);
        else return fail(index, "unknown pick '" + *kind + "'");
        if (!picked) return fail(index, "picker: " + error);
        return next(index + 1);
    }
    if (step["location"].isDictionary() || !step["locationError"].isNil() || !step["locationServices"].isNil() ||
        !step["locationPermission"].isNil() || !step["locationTrack"].isNil()) {
        std::string error;
        if (!playLocationStep(step, error)) return fail(index, error);
        return next(index + 1);
    }
    if (!step["camera"].isNil()) {
        const std::string* spec = step["camera"].string();
        if (!spec) return fail(index, "\"camera\" is a text");
        platform::logf("scenario: camera %s", spec->c_str());
        std::string error;
        // Video paths are relative to the scenario file.
        if (!installCamera(*spec, scenario_["scenarioFolder"].stringValue(), error)) return fail(index, error);
        return next(index + 1);
    }
    if (isScanStep(step)) {
        std::string error;
        if (!playScanStep(step, error)) return fail(index, error);
        return next(index + 1);
    }
    if (isFormStep(step)) {
        std::string error;
        if (!playFormStep(step, error)) return fail(index, error);
        return next(index + 1);
    }
    if (!step["cameraPermission"].isNil()) {
        const std::string name = step["cameraPermission"].stringValue();
        platform::logf("scenario: camera permission %s", name.c_str());
        std::string error;
        if (!setCameraPermission(name, error)) return fail(index, error);
        return next(index + 1);
    }
    if (const std::string* text = step["log"].string()) {
        platform::log(*text);
        return next(index + 1);
    }
    return fail(index, "does nothing this player knows");
}

bool ScenarioPlayer::touchPath(const Value& points, double spacing) {
    auto delegate = appDelegate();
    auto window = delegate ? delegate->window() : nullptr;
    if (!window || points.count() == 0) return false;
    std::vector<platform::CGPoint> path;
    for (std::size_t i = 0; i < points.count(); ++i) {
        auto point = pointOf(points[i]);
        // A finger stays on the screen; a path to far away would also be
        // millions of moves long.
        if (!point || !platform::CGRectContainsPoint(window->bounds(), *point)) return false;
        path.push_back(*point);
    }
    window->sendTouch(platform::UITouchPhase::Began, path.front());
    // Intermediate points every `spacing` points, as a finger reports them.
    for (std::size_t i = 1; i < path.size(); ++i) {
        const double dx = path[i].x - path[i - 1].x, dy = path[i].y - path[i - 1].y;
        const int pieces = std::max(1, static_cast<int>(std::ceil(std::hypot(dx, dy) / std::max(1.0, spacing))));
        for (int k = 1; k <= pieces; ++k)
            window->sendTouch(platform::UITouchPhase::Moved,
                              {path[i - 1].x + dx * k / pieces, path[i - 1].y + dy * k / pieces});
    }
    window->sendTouch(platform::UITouchPhase::Ended, path.back());
    return true;
}

bool ScenarioPlayer::screenshot(const std::string& name) {
    if (shotsDirectory_.empty()) return true;
    auto delegate = appDelegate();
    auto window = delegate ? delegate->window() : nullptr;
    if (!window) return false;
    std::error_code ec;
    std::filesystem::create_directories(shotsDirectory_, ec);
    ++shots_;
    const std::string path = platform::format("%s/%02d-%s.png", shotsDirectory_.c_str(), shots_, name.c_str());
    if (!platform::renderViewToPNG(*window, path)) return false;
    platform::logf("scenario: screenshot %s", path.c_str());
    return true;
}

}  // namespace sim
