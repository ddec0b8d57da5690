#pragma once
// Gives the page the device's position: one-shot requests, watches that get
// every new position until cleared, and a stop. One location manager serves
// every request; a request for the other accuracy restarts it for all.
//
// Answers: OK with the position dictionary ("latitude", "longitude",
// "altitude", "accuracy", "altitudeAccuracy", "heading", "velocity",
// "timestamp" in milliseconds), or ERROR with {"code", "message"}: 1 for
// location services off or not permitted, 2 for no position.
//
// Main thread only: actions come from the command queue and the manager
// calls back on the main run loop.

#include <memory>
#include <optional>
#include <string>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "platform/location/LocationManager.h"
#include "plugins/geolocation/HYBLocationData.h"

namespace plugins {

class HYBLocation : public hybrid::HYBPlugin, public platform::CLLocationManagerDelegate {
public:
    explicit HYBLocation(std::shared_ptr<platform::WebView> webView);
    ~HYBLocation() override;

    // [0] enableHighAccuracy.
    void getLocation(const hybrid::HYBInvokedUrlCommand& command);
    // [0] watch id, [1] enableHighAccuracy.
    void addWatch(const hybrid::HYBInvokedUrlCommand& command);
    // [0] watch id. Sends nothing.
    void clearWatch(const hybrid::HYBInvokedUrlCommand& command);
    // Sends nothing; requests and watches stay registered.
    void stopLocation(const hybrid::HYBInvokedUrlCommand& command);

    void onReset() override;

    void locationManagerDidUpdateToLocationFromLocation(platform::CLLocationManager& manager,
                                                        const platform::CLLocation& newLocation,
                                                        const std::optional<platform::CLLocation>& oldLocation) override;
    void locationManagerDidFailWithError(platform::CLLocationManager& manager, const platform::Error& error) override;

    bool isAuthorized() const;
    bool isLocationServicesEnabled() const;
    void startLocation(bool enableHighAccuracy);
    void _stopLocation();
    void returnLocationInfoAndKeepCallback(const std::optional<std::string>& callbackId, bool keepCallback);
    void returnLocationErrorWithMessage(unsigned errorCode, const std::optional<std::string>& message);

    // The position dictionary of a fix.
    static platform::Dictionary positionDictionary(const platform::CLLocation& location);

    bool locationStarted() const { return locationStarted_; }
    bool highAccuracyEnabled() const { return highAccuracyEnabled_; }
    const std::shared_ptr<HYBLocationData>& locationData() const { return locationData_; }
    const std::shared_ptr<platform::CLLocationManager>& locationManager() const { return locationManager_; }

protected:
    const hybrid::HYBActionTable& actionTable() const override;

private:
    HYBLocationData& ensureLocationData();
    void sendServicesDisabled(const std::optional<std::string>& callbackId);

    bool locationStarted_ = false;
    bool highAccuracyEnabled_ = false;
    std::shared_ptr<HYBLocationData> locationData_;
    std::shared_ptr<platform::CLLocationManager> locationManager_;
};

}  // namespace plugins
