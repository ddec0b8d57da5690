#include "plugins/geolocation/HYBLocation.h"

#include <algorithm>

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

namespace plugins {
namespace {

constexpr unsigned kPermissionDenied = 1;
constexpr unsigned kPositionUnavailable = 2;

}  // namespace

HYBLocation::HYBLocation(std::shared_ptr<platform::WebView> webView)
    : HYBPlugin(std::move(webView)), locationManager_(platform::CLLocationManager::create()) {
    locationManager_->setDelegate(this);
}

HYBLocation::~HYBLocation() { locationManager_->setDelegate(nullptr); }

const hybrid::HYBActionTable& HYBLocation::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<HYBLocation>({
        {"getLocation", &HYBLocation::getLocation},
        {"addWatch", &HYBLocation::addWatch},
        {"clearWatch", &HYBLocation::clearWatch},
        {"stopLocation", &HYBLocation::stopLocation},
    });
    return table;
}

bool HYBLocation::isLocationServicesEnabled() const { return platform::CLLocationManager::locationServicesEnabled(); }

bool HYBLocation::isAuthorized() const {
    // "When in use" is refused too: the page's callers were written before it existed.
    const auto status = platform::CLLocationManager::authorizationStatus();
    return status == platform::kCLAuthorizationStatusAuthorized || status == platform::kCLAuthorizationStatusNotDetermined;
}

HYBLocationData& HYBLocation::ensureLocationData() {
    if (!locationData_) locationData_ = std::make_shared<HYBLocationData>();
    return *locationData_;
}

void HYBLocation::startLocation(bool enableHighAccuracy) {
    platform::assertMainThread("HYBLocation::startLocation");
    if (!isLocationServicesEnabled()) {
        returnLocationErrorWithMessage(kPermissionDenied, "Location services are not enabled.");
        return;
    }
    if (!isAuthorized()) {
        std::optional<std::string> message;
        if (platform::CLLocationManager::authorizationStatus() == platform::kCLAuthorizationStatusRestricted)
            message = "Application's use of location services is restricted.";
        returnLocationErrorWithMessage(kPermissionDenied, message);
        return;
    }
    locationManager_->stopUpdatingLocation();
    locationManager_->startUpdatingLocation();
    locationStarted_ = true;
    highAccuracyEnabled_ = enableHighAccuracy;
    if (enableHighAccuracy) {
        locationManager_->setDistanceFilter(5);
        locationManager_->setDesiredAccuracy(platform::kCLLocationAccuracyBest);
    } else {
        locationManager_->setDistanceFilter(10);
        locationManager_->setDesiredAccuracy(platform::kCLLocationAccuracyNearestTenMeters);
    }
}

void HYBLocation::_stopLocation() {
    platform::assertMainThread("HYBLocation::_stopLocation");
    if (locationStarted_ && isLocationServicesEnabled()) {
        locationManager_->stopUpdatingLocation();
        locationStarted_ = false;
        highAccuracyEnabled_ = false;
    }
}

void HYBLocation::sendServicesDisabled(const std::optional<std::string>& callbackId) {
    auto delegate = commandDelegate();
    if (!delegate) return;
    platform::Dictionary error{{"code", platform::Value(kPermissionDenied)},
                               {"message", platform::Value("Location services are disabled.")}};
    delegate->sendPluginResult(
        *hybrid::HYBPluginResult::resultWithStatusMessageAsDictionary(hybrid::HYBResultStatusError, std::move(error)),
        callbackId);
}

void HYBLocation::getLocation(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBLocation::getLocation");
    const auto& callbackId = command.callbackId();
    const bool enableHighAccuracy = command.argumentAtIndex(0).boolValue();
    if (!isLocationServicesEnabled()) {
        sendServicesDisabled(callbackId);
        return;
    }
    auto& data = ensureLocationData();
    if (!data.locationCallbacks) data.locationCallbacks.emplace();
    if (!locationStarted_ || highAccuracyEnabled_ != enableHighAccuracy) {
        if (callbackId) data.locationCallbacks->push_back(*callbackId);
        startLocation(enableHighAccuracy);
    } else {
        returnLocationInfoAndKeepCallback(callbackId, false);
    }
}

namespace {
// The argument as the page sent it: null stays null rather than reading as absent.
platform::Value rawArgument(const hybrid::HYBInvokedUrlCommand& command, std::size_t index) {
    return index < command.arguments().size() ? command.arguments()[index] : platform::Value();
}
}  // namespace

void HYBLocation::addWatch(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBLocation::addWatch");
    const auto& callbackId = command.callbackId();
    // The page's own value is the key, null among them; only a missing one
    // could never be cleared, and the caller hears so instead.
    const platform::Value watchId = rawArgument(command, 0);
    const bool enableHighAccuracy = command.argumentAtIndex(1).boolValue();
    if (watchId.isNil()) {
        if (auto delegate = commandDelegate())
            delegate->sendPluginResult(*hybrid::HYBPluginResult::resultWithStatusMessageAsString(
                                           hybrid::HYBResultStatusError, "addWatch needs a watch id."),
                                       callbackId);
        return;
    }
    auto& data = ensureLocationData();
    if (!data.watchCallbacks) data.watchCallbacks.emplace();
    auto& watches = *data.watchCallbacks;
    const std::string callback = callbackId.value_or("");
    const auto existing =
        std::find_if(watches.begin(), watches.end(), [&](const auto& entry) { return entry.first == watchId; });
    if (existing != watches.end())
        existing->second = callback;
    else
        watches.emplace_back(watchId, callback);

    if (!isLocationServicesEnabled()) {
        sendServicesDisabled(callbackId);
    } else if (!locationStarted_ || highAccuracyEnabled_ != enableHighAccuracy) {
        startLocation(enableHighAccuracy);
    }
}

void HYBLocation::clearWatch(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBLocation::clearWatch");
    const platform::Value watchId = rawArgument(command, 0);
    if (!locationData_ || !locationData_->watchCallbacks) return;
    std::erase_if(*locationData_->watchCallbacks, [&](const auto& entry) { return entry.first == watchId; });
}

void HYBLocation::stopLocation(const hybrid::HYBInvokedUrlCommand&) {
    platform::assertMainThread("HYBLocation::stopLocation");
    _stopLocation();
}

void HYBLocation::onReset() {
    platform::assertMainThread("HYBLocation::onReset");
    _stopLocation();
    locationManager_->stopUpdatingHeading();
}

void HYBLocation::locationManagerDidUpdateToLocationFromLocation(platform::CLLocationManager&,
                                                                  const platform::CLLocation& newLocation,
                                                                  const std::optional<platform::CLLocation>&) {
    platform::assertMainThread("HYBLocation::locationManagerDidUpdateToLocationFromLocation");
    auto& data = ensureLocationData();
    data.locationInfo = newLocation;
    if (data.locationCallbacks && !data.locationCallbacks->empty()) {
        const auto callbacks = std::move(*data.locationCallbacks);
        data.locationCallbacks->clear();
        for (const auto& callbackId : callbacks) returnLocationInfoAndKeepCallback(callbackId, false);
    }
    if (!data.watchCallbacks || data.watchCallbacks->empty()) {
        _stopLocation();
    } else {
        const auto watches = *data.watchCallbacks;
        for (const auto& [watchId, callbackId] : watches) returnLocationInfoAndKeepCallback(callbackId, true);
    }
}

void HYBLocation::locationManagerDidFailWithError(platform::CLLocationManager&, const platform::Error& error) {
    platform::assertMainThread("HYBLocation::locationManagerDidFailWithError");
    const platform::Value& reason = error.userInfo.count("NSLocalizedFailureReason")
                                        ? error.userInfo.at("NSLocalizedFailureReason")
                                        : platform::Value();
    platform::log("locationManager::didFailWithError " + (reason.isString() ? reason.stringValue() : "(null)"));
    if (locationData_ && locationStarted_) {
        const bool denied = error.domain == platform::kCLErrorDomain && error.code == platform::kCLErrorDenied;
        returnLocationErrorWithMessage(denied ? kPermissionDenied : kPositionUnavailable, error.localizedDescription);
    }
    locationManager_->stopUpdatingLocation();
    locationStarted_ = false;
}

platform::Dictionary HYBLocation::positionDictionary(const platform::CLLocation& location) {
    return {
        {"latitude", platform::Value(location.coordinate.latitude)},
        {"longitude", platform::Value(location.coordinate.longitude)},
        {"altitude", platform::Value(location.altitude)},
        {"accuracy", platform::Value(location.horizontalAccuracy)},
        {"altitudeAccuracy", platform::Value(location.verticalAccuracy)},
        {"heading", platform::Value(location.course)},
        {"velocity", platform::Value(location.speed)},
        {"timestamp", platform::Value(location.timestamp * 1000.0)},
    };
}

void HYBLocation::returnLocationInfoAndKeepCallback(const std::optional<std::string>& callbackId, bool keepCallback) {
    platform::assertMainThread("HYBLocation::returnLocationInfoAndKeepCallback");
    if (!locationData_) return;
    auto delegate = commandDelegate();
    if (!delegate) return;
    std::shared_ptr<hybrid::HYBPluginResult> result;
    if (!locationData_->locationInfo) {
        result = hybrid::HYBPluginResult::resultWithStatusMessageToErrorObject(hybrid::HYBResultStatusError,
                                                                               kPositionUnavailable);
    } else {
        result = hybrid::HYBPluginResult::resultWithStatusMessageAsDictionary(
            hybrid::HYBResultStatusOK, positionDictionary(*locationData_->locationInfo));
        result->setKeepCallbackAsBool(keepCallback);
    }
    delegate->sendPluginResult(*result, callbackId);
}

void HYBLocation::returnLocationErrorWithMessage(unsigned errorCode, const std::optional<std::string>& message) {
    platform::assertMainThread("HYBLocation::returnLocationErrorWithMessage");
    auto delegate = commandDelegate();
    platform::Dictionary error{{"code", platform::Value(errorCode)},
                               {"message", platform::Value(message.value_or(""))}};
    const auto result =
        hybrid::HYBPluginResult::resultWithStatusMessageAsDictionary(hybrid::HYBResultStatusError, std::move(error));
    if (locationData_ && locationData_->locationCallbacks) {
        const auto callbacks = std::move(*locationData_->locationCallbacks);
        locationData_->locationCallbacks->clear();
        if (delegate)
            for (const auto& callbackId : callbacks) delegate->sendPluginResult(*result, callbackId);
    }
    if (delegate && locationData_ && locationData_->watchCallbacks)
        for (const auto& [watchId, callbackId] : *locationData_->watchCallbacks)
            delegate->sendPluginResult(*result, callbackId);
}

}  // namespace plugins
