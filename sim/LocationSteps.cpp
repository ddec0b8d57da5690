// Location steps: fixes and failures from the scripted location source, the
// location services switch, the app's permission, and GPX tracks replayed.
#include <filesystem>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/location/LocationSource.h"
#include "sim/Steps.h"

namespace sim {

using platform::LocationSource;
using platform::Value;

namespace {

// The shared source when it is the scripted one, else a new scripted one made
// the shared source.
std::shared_ptr<platform::ScriptedLocationSource> scriptedLocationSource() {
    auto scripted = std::dynamic_pointer_cast<platform::ScriptedLocationSource>(LocationSource::shared());
    if (!scripted) {
        scripted = std::make_shared<platform::ScriptedLocationSource>();
        LocationSource::setShared(scripted);
    }
    return scripted;
}

// Whether each setting of the switch turns location services on.
constexpr std::pair<const char*, bool> kServices[] = {{"on", true}, {"off", false}};

constexpr std::pair<const char*, platform::CLAuthorizationStatus> kPermissions[] = {
    {"notDetermined", platform::kCLAuthorizationStatusNotDetermined},
    {"restricted", platform::kCLAuthorizationStatusRestricted},
    {"denied", platform::kCLAuthorizationStatusDenied},
    {"authorized", platform::kCLAuthorizationStatusAuthorized},
    {"authorizedWhenInUse", platform::kCLAuthorizationStatusAuthorizedWhenInUse},
};

}  // namespace

StepOutcome playLocation(const StepRun& run) {
    const Value& fix = run.step["location"];
    auto number = [&](const char* key, double otherwise) {
        return fix[key].isNil() ? otherwise : fix[key].doubleValue();
    };
    platform::CLLocation location;
    location.coordinate = {fix["latitude"].doubleValue(), fix["longitude"].doubleValue()};
    location.altitude = number("altitude", 0);
    location.horizontalAccuracy = number("horizontalAccuracy", 5);
    location.verticalAccuracy = number("verticalAccuracy", fix.dictionary()->count("altitude") ? 5 : -1);
    location.course = number("course", -1);
    location.speed = number("speed", -1);
    location.timestamp = number("timestamp", platform::clock().now());
    auto scripted = scriptedLocationSource();
    playerLog(platform::format("location %.6f,%.6f", location.coordinate.latitude, location.coordinate.longitude));
    scripted->deliverLocation(location);
    return StepOutcome::next();
}

StepOutcome playLocationError(const StepRun& run) {
    const Value& code = run.step["locationError"];
    playerLog(platform::format("location error %d", code.intValue()));
    scriptedLocationSource()->deliverFailure(platform::locationError(code.intValue()));
    return StepOutcome::next();
}

const std::vector<std::string>& locationServicesNames() {
    static const std::vector<std::string> names = namesOf(kServices);
    return names;
}

StepOutcome playLocationServices(const StepRun& run) {
    const std::string& state = run.step["locationServices"].stringValue();
    const auto* services = named(kServices, state);
    if (!services) return StepOutcome::failed("unknown locationServices '" + state + "'");
    playerLog(platform::format("location services %s", services->first));
    LocationSource::setServicesEnabled(services->second);
    return StepOutcome::next();
}

const std::vector<std::string>& locationPermissionNames() {
    static const std::vector<std::string> names = namesOf(kPermissions);
    return names;
}

StepOutcome playLocationPermission(const StepRun& run) {
    const std::string& name = run.step["locationPermission"].stringValue();
    const auto* permission = named(kPermissions, name);
    if (!permission) return StepOutcome::failed("unknown locationPermission '" + name + "'");
    playerLog(platform::format("location permission %s", permission->first));
    LocationSource::setAuthorizationStatus(permission->second);
    return StepOutcome::next();
}

// The path is the scenario's, made relative to the scenario file when it was loaded.
StepOutcome playLocationTrack(const StepRun& run) {
    const std::string& path = *run.step["locationTrack"].string();
    platform::Error trackError;
    auto track = platform::GPXLocationSource::createWithContentsOfFile(path, &trackError);
    if (!track) return StepOutcome::failed(trackError.localizedDescription);
    playerLog(platform::format("location track %s (%zu points)", std::filesystem::path(path).filename().c_str(),
                   track->points().size()));
    LocationSource::setShared(track);
    track->start();
    return StepOutcome::next();
}

}  // namespace sim
