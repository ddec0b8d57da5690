#include "platform/location/LocationManager.h"

#include "platform/foundation/RunLoop.h"
#include "platform/location/LocationSource.h"

namespace platform {

Error locationError(int code) {
    Error error;
    error.domain = kCLErrorDomain;
    error.code = code;
    switch (code) {
        case kCLErrorLocationUnknown: error.localizedDescription = "The location is unknown right now."; break;
        case kCLErrorDenied: error.localizedDescription = "Location services are denied."; break;
        case kCLErrorNetwork: error.localizedDescription = "The network is unavailable."; break;
        case kCLErrorHeadingFailure: error.localizedDescription = "The heading could not be determined."; break;
        default:
            error.localizedDescription = "The operation couldn't be completed. (kCLErrorDomain error " +
                                         std::to_string(code) + ".)";
    }
    return error;
}

std::shared_ptr<CLLocationManager> CLLocationManager::create() {
    return std::shared_ptr<CLLocationManager>(new CLLocationManager());
}

CLLocationManager::~CLLocationManager() {
    if (updating_) LocationSource::managerStopped(this);
}

bool CLLocationManager::locationServicesEnabled() { return LocationSource::servicesEnabled(); }

CLAuthorizationStatus CLLocationManager::authorizationStatus() { return LocationSource::authorizationStatus(); }

void CLLocationManager::startUpdatingLocation() {
    assertMainThread("CLLocationManager");
    updating_ = true;
    const unsigned generation = ++generation_;
    LocationSource::managerStarted(shared_from_this());
    // The first answer comes on a later turn, as the hardware's would, so the
    // caller finishes its own setup before its delegate hears anything.
    // A fix the source makes meanwhile is newer than the position known now, which is then not sent.
    RunLoop::main().post([weak = weak_from_this(), generation, known = LocationSource::currentLocation(),
                          deliveries = deliveries_] {
        const auto self = weak.lock();
        if (!self || !self->updating_ || self->generation_ != generation) return;
        if (!LocationSource::locationAllowed()) {
            self->deliverFailure(locationError(kCLErrorDenied));
        } else if (known && self->deliveries_ == deliveries) {
            self->deliverLocation(*known);
        }
    });
}

void CLLocationManager::stopUpdatingLocation() {
    assertMainThread("CLLocationManager");
    if (!updating_) return;
    updating_ = false;
    ++generation_;
    LocationSource::managerStopped(this);
}

void CLLocationManager::deliverLocation(const CLLocation& location) {
    if (!updating_) return;
    const auto keepAlive = shared_from_this();
    const std::optional<CLLocation> previous = location_;
    location_ = location;
    ++deliveries_;
    if (delegate_) delegate_->locationManagerDidUpdateToLocationFromLocation(*this, location, previous);
}

void CLLocationManager::deliverFailure(const Error& error) {
    if (!updating_) return;
    const auto keepAlive = shared_from_this();
    if (delegate_) delegate_->locationManagerDidFailWithError(*this, error);
}

}  // namespace platform
