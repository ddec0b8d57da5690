#pragma once
// Where the device's position comes from, and the process-wide location
// settings (services on or off, the app's authorization) the location
// manager (LocationManager.h) answers from.
//
// One source is the current one: a ScriptedLocationSource until another is
// installed. A source hands its fixes and failures to every manager that is
// updating at that moment; the last fix stays the device's position, which a
// manager starting later receives first. Sources only produce fixes: the
// settings and the device's position belong to the process and survive a
// change of source.
//
// Main thread only: sources are made, installed and driven on the main
// thread, and deliver on it.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/RunLoop.h"
#include "platform/location/LocationManager.h"

namespace platform {

class LocationSource {
public:
    virtual ~LocationSource() = default;

    // The current source: a scripted one until another is installed.
    static std::shared_ptr<LocationSource> shared();
    // Installs `source` (nullptr: a new scripted one), stopping the one it
    // replaces; answers that one.
    static std::shared_ptr<LocationSource> setShared(std::shared_ptr<LocationSource> source);

    // On at start-up.
    static bool servicesEnabled();
    static void setServicesEnabled(bool enabled);
    // Authorized at start-up.
    static CLAuthorizationStatus authorizationStatus();
    static void setAuthorizationStatus(CLAuthorizationStatus status);
    // Whether fixes may reach the app: services on and neither denied nor restricted.
    static bool locationAllowed();

    // The device's position: the last fix any source delivered.
    static std::optional<CLLocation> currentLocation();
    // Managers updating now.
    static std::size_t updatingManagerCount();

    // Stops producing fixes (a replaced source is stopped).
    virtual void stop() {}

protected:
    // To every updating manager, now; the fix becomes the device's position.
    // Ignored while location is not allowed or when this source is not the current one.
    void deliverLocation(const CLLocation& location);
    // To every updating manager, now; they keep updating.
    void deliverFailure(const Error& error);

private:
    friend class CLLocationManager;
    static void managerStarted(const std::shared_ptr<CLLocationManager>& manager);
    static void managerStopped(const CLLocationManager* manager);
    static void locationTakenAway(bool wasAllowed);
};

// Fixes and failures as a script gives them: the simulator's scenario steps
// and the tests.
class ScriptedLocationSource final : public LocationSource {
public:
    using LocationSource::deliverFailure;
    using LocationSource::deliverLocation;
};

// A track file is read whole before it is parsed; past this size it is
// refused while being read, so that a device or an endless file cannot fill
// the memory. Days of points a second fit in far less.
inline constexpr std::size_t kGPXFileSizeLimit = 64 * 1024 * 1024;

// Replays the track points of a GPX 1.1 file (read with libxml2) at the
// track's own pace: the first point on the next run-loop turn after start(),
// each later one after its time difference to the one before (no wait when
// either has no time). Each fix is stamped with the clock's time when it is
// delivered; course and speed come from the point before when both have a time.
class GPXLocationSource final : public LocationSource {
public:
    // Nothing, with `error` set to a description that names the file and the
    // fault, for a file that cannot be read, is larger than
    // kGPXFileSizeLimit, is not GPX 1.1 or has no valid track point.
    static std::shared_ptr<GPXLocationSource> createWithContentsOfFile(const std::string& path, Error* error);
    static std::shared_ptr<GPXLocationSource> createWithData(const std::string& xml, const std::string& name,
                                                             Error* error);
    ~GPXLocationSource() override;

    // The track's points in file order, timestamps as recorded (0 without a time).
    const std::vector<CLLocation>& points() const { return points_; }

    // Starts (or restarts) the replay from the first point.
    void start();
    void stop() override;
    bool isFinished() const { return next_ == points_.size(); }

private:
    GPXLocationSource() = default;
    void deliverNext();

    std::vector<CLLocation> points_;
    std::vector<bool> hasTime_;
    std::size_t next_ = 0;
    std::optional<RunLoop::TimerId> timer_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform
