#pragma once
// The device's position as the platform's location manager hands it out.
//
// A CLLocationManager delivers fixes (CLLocation records) and failures to its
// delegate between startUpdatingLocation() and stopUpdatingLocation(). The
// fixes come from the process's location source (LocationSource.h: a script
// the simulator and tests drive, or a GPX track replayed on the run loop).
// Whether location services are on and what the app's authorization is are
// process-wide settings the source holds.
//
// Delivery: a manager that starts updating while the source knows a position
// gets that position on a later run-loop turn, then every new one the source
// produces. Starting while services are off, or with authorization denied or
// restricted, or switching them so while updating, gives a failure with
// kCLErrorDenied on a later turn instead. The delegate may stop the updates
// or drop the last reference to the manager inside a callback.
//
// Main thread only: managers are made, started, stopped and call their
// delegate on the main thread. The delegate is not owned (assign semantics):
// whoever sets it clears it before going away.

#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"

namespace platform {

using CLLocationDegrees = double;
using CLLocationDistance = double;  // metres
using CLLocationAccuracy = double;  // metres; negative: the value is not valid
using CLLocationDirection = double; // degrees from true north; negative: not valid
using CLLocationSpeed = double;     // metres per second; negative: not valid

struct CLLocationCoordinate2D {
    CLLocationDegrees latitude = 0;
    CLLocationDegrees longitude = 0;
};

inline constexpr CLLocationAccuracy kCLLocationAccuracyBestForNavigation = -2;
inline constexpr CLLocationAccuracy kCLLocationAccuracyBest = -1;
inline constexpr CLLocationAccuracy kCLLocationAccuracyNearestTenMeters = 10;
inline constexpr CLLocationAccuracy kCLLocationAccuracyHundredMeters = 100;
inline constexpr CLLocationAccuracy kCLLocationAccuracyKilometer = 1000;
inline constexpr CLLocationAccuracy kCLLocationAccuracyThreeKilometers = 3000;
inline constexpr CLLocationDistance kCLDistanceFilterNone = -1;

enum CLAuthorizationStatus : int {
    kCLAuthorizationStatusNotDetermined = 0,
    kCLAuthorizationStatusRestricted = 1,
    kCLAuthorizationStatusDenied = 2,
    kCLAuthorizationStatusAuthorized = 3,  // also "authorized always"
    kCLAuthorizationStatusAuthorizedWhenInUse = 4,
};

inline constexpr const char* kCLErrorDomain = "kCLErrorDomain";
inline constexpr int kCLErrorLocationUnknown = 0;
inline constexpr int kCLErrorDenied = 1;
inline constexpr int kCLErrorNetwork = 2;
inline constexpr int kCLErrorHeadingFailure = 3;

// A failure of the location domain with the platform's description for `code`
// ("Location services are denied." and so on) and no failure reason.
Error locationError(int code);

// One fix. Plain value; copy freely.
struct CLLocation {
    CLLocationCoordinate2D coordinate;
    CLLocationDistance altitude = 0;
    CLLocationAccuracy horizontalAccuracy = 0;
    CLLocationAccuracy verticalAccuracy = -1;
    CLLocationDirection course = -1;
    CLLocationSpeed speed = -1;
    double timestamp = 0;  // seconds since 1 January 1970, UTC
};

class CLLocationManager;

class CLLocationManagerDelegate {
public:
    virtual ~CLLocationManagerDelegate() = default;
    // `oldLocation` is the manager's previous fix, nothing before the first.
    virtual void locationManagerDidUpdateToLocationFromLocation(CLLocationManager& manager,
                                                                const CLLocation& newLocation,
                                                                const std::optional<CLLocation>& oldLocation) {
        (void)manager, (void)newLocation, (void)oldLocation;
    }
    virtual void locationManagerDidFailWithError(CLLocationManager& manager, const Error& error) {
        (void)manager, (void)error;
    }
};

class CLLocationManager : public std::enable_shared_from_this<CLLocationManager> {
public:
    // The plain initialiser: no delegate, best accuracy, no distance filter.
    static std::shared_ptr<CLLocationManager> create();
    ~CLLocationManager();
    CLLocationManager(const CLLocationManager&) = delete;
    CLLocationManager& operator=(const CLLocationManager&) = delete;

    // The source's settings (LocationSource.h).
    static bool locationServicesEnabled();
    static CLAuthorizationStatus authorizationStatus();

    CLLocationManagerDelegate* delegate() const { return delegate_; }
    void setDelegate(CLLocationManagerDelegate* delegate) { delegate_ = delegate; }

    // Kept for callers to read back; the stand-in hands on every fix its
    // source makes, whatever the accuracy and distance asked for.
    CLLocationAccuracy desiredAccuracy() const { return desiredAccuracy_; }
    void setDesiredAccuracy(CLLocationAccuracy accuracy) { desiredAccuracy_ = accuracy; }
    CLLocationDistance distanceFilter() const { return distanceFilter_; }
    void setDistanceFilter(CLLocationDistance distance) { distanceFilter_ = distance; }

    void startUpdatingLocation();
    void stopUpdatingLocation();
    bool isUpdatingLocation() const { return updating_; }
    // The compass is never started here; stopping it only counts the calls.
    void stopUpdatingHeading() { ++headingStops_; }
    int headingStopCount() const { return headingStops_; }

    // The last fix this manager delivered.
    const std::optional<CLLocation>& location() const { return location_; }

private:
    friend class LocationSource;
    CLLocationManager() = default;
    void deliverLocation(const CLLocation& location);
    void deliverFailure(const Error& error);

    CLLocationManagerDelegate* delegate_ = nullptr;
    CLLocationAccuracy desiredAccuracy_ = kCLLocationAccuracyBest;
    CLLocationDistance distanceFilter_ = kCLDistanceFilterNone;
    bool updating_ = false;
    // Bumped by each start and stop, so a delivery posted for an earlier run is dropped.
    unsigned generation_ = 0;
    int headingStops_ = 0;
    unsigned long deliveries_ = 0;
    std::optional<CLLocation> location_;
};

}  // namespace platform
