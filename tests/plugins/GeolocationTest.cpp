// The geolocation plugin against a scripted location source: one-shot
// requests and watches, accuracy switching, services off, the failure
// fan-out, the millisecond timestamp and arguments the page left out.
#include <gtest/gtest.h>

#include "hybrid/HYBCommandDelegate.h"
#include "tools/harness/StubCommandDelegate.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/RunLoop.h"
#include "platform/location/LocationSource.h"
#include "plugins/geolocation/HYBLocation.h"

using namespace platform;
using hybrid::HYBInvokedUrlCommand;
using plugins::HYBLocation;

namespace {

// Each answer as "<callback id> <status> <message JSON>[ kept]".
struct RecordingDelegate : testsupport::StubCommandDelegate {
    std::vector<std::string> answers;
    void sendPluginResult(const hybrid::HYBPluginResult& result, const std::optional<std::string>& callbackId) override {
        answers.push_back(callbackId.value_or("nil") + " " + std::to_string(result.status()) + " " +
                          writeJson(result.message()).text.value_or("?") + (result.keepCallback() ? " kept" : ""));
    }
};

class Geolocation : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
        plugin->setCommandDelegate(delegate);
    }
    void TearDown() override {
        plugin.reset();
    }

    void call(const char* action, Array arguments, const char* callbackId) {
        HYBInvokedUrlCommand command(std::move(arguments), std::string(callbackId), "Geolocation", action);
        plugin->performSelector(std::string(action) + ":", command);
    }
    void fix(double latitude, double timestamp = 1.5) {
        CLLocation location;
        location.coordinate = {latitude, 11.5};
        location.altitude = 520;
        location.horizontalAccuracy = 5;
        location.verticalAccuracy = 3;
        location.course = 90;
        location.speed = 1.25;
        location.timestamp = timestamp;
        static_cast<ScriptedLocationSource&>(*LocationSource::shared()).deliverLocation(location);
    }
    std::vector<std::string> answers() {
        auto result = std::move(delegate->answers);
        delegate->answers.clear();
        return result;
    }

    ScopedManualClock clock;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<HYBLocation> plugin = std::make_shared<HYBLocation>(nullptr);
};

const std::string kPosition =
    R"({"accuracy":5.0,"altitude":520.0,"altitudeAccuracy":3.0,"heading":90.0,"latitude":48.0,"longitude":11.5,"timestamp":1500.0,"velocity":1.25})";

}  // namespace

TEST_F(Geolocation, AOneShotRequestGetsTheNextFixInMillisecondsAndThenUpdatesStop) {
    call("getLocation", {Value(false)}, "a");
    call("getLocation", {Value(false)}, "b");
    EXPECT_EQ(answers(), std::vector<std::string>{"b 9 {\"code\":2}"}) << "same accuracy, no fix yet";
    EXPECT_TRUE(plugin->locationStarted());

    fix(48);
    EXPECT_EQ(answers(), std::vector<std::string>{"a 1 " + kPosition});
    EXPECT_FALSE(plugin->locationStarted()) << "no watch left";
    EXPECT_FALSE(plugin->locationManager()->isUpdatingLocation());
}

TEST_F(Geolocation, AHighAccuracyRequestRestartsANormalWatchWhichKeepsGettingFixes) {
    call("addWatch", {Value("w1"), Value(false)}, "watch");
    EXPECT_EQ(plugin->locationManager()->desiredAccuracy(), kCLLocationAccuracyNearestTenMeters);
    EXPECT_EQ(plugin->locationManager()->distanceFilter(), 10);

    call("getLocation", {Value(true)}, "once");
    EXPECT_TRUE(plugin->highAccuracyEnabled());
    EXPECT_EQ(plugin->locationManager()->desiredAccuracy(), kCLLocationAccuracyBest);
    EXPECT_EQ(plugin->locationManager()->distanceFilter(), 5);

    fix(48);
    EXPECT_EQ(answers(), (std::vector<std::string>{"once 1 " + kPosition, "watch 1 " + kPosition + " kept"}));
    call("getLocation", {Value(true)}, "again");
    EXPECT_EQ(answers(), std::vector<std::string>{"again 1 " + kPosition}) << "answered from the last fix";

    call("clearWatch", {Value("w1")}, "clear");
    call("getLocation", {Value(false)}, "last");
    fix(48);
    EXPECT_EQ(answers(), std::vector<std::string>{"last 1 " + kPosition});
    EXPECT_FALSE(plugin->locationStarted());
}

TEST_F(Geolocation, AWatchWhileServicesAreOffHearsOnceAndStaysUntilCleared) {
    LocationSource::setServicesEnabled(false);
    const std::string disabled = R"( 9 {"code":1,"message":"Location services are disabled."})";
    call("addWatch", {Value(7), Value(true)}, "watch");
    call("getLocation", {Value(true)}, "once");
    EXPECT_EQ(answers(), (std::vector<std::string>{"watch" + disabled, "once" + disabled}));
    EXPECT_FALSE(plugin->locationStarted());
    ASSERT_EQ(plugin->locationData()->watchCallbacks->size(), 1u);

    call("clearWatch", {Value(7)}, "clear");
    EXPECT_TRUE(plugin->locationData()->watchCallbacks->empty());
    EXPECT_TRUE(answers().empty());
}

TEST_F(Geolocation, AFailureReachesEveryRequestAndWatchAndStopsUpdates) {
    call("addWatch", {Value("w"), Value(false)}, "watch");
    call("getLocation", {Value(true)}, "one");
    call("getLocation", {Value(false)}, "two");
    auto denied = locationError(kCLErrorDenied);
    static_cast<ScriptedLocationSource&>(*LocationSource::shared()).deliverFailure(denied);
    const std::string error = R"( 9 {"code":1,"message":"Location services are denied."})";
    EXPECT_EQ(answers(), (std::vector<std::string>{"one" + error, "two" + error, "watch" + error}));
    EXPECT_TRUE(plugin->locationData()->locationCallbacks->empty());
    EXPECT_FALSE(plugin->locationStarted());
    EXPECT_FALSE(plugin->highAccuracyEnabled()) << "the last start was normal accuracy";

    call("addWatch", {Value("w"), Value(false)}, "watch");
    static_cast<ScriptedLocationSource&>(*LocationSource::shared()).deliverFailure(locationError(kCLErrorNetwork));
    EXPECT_EQ(answers(), std::vector<std::string>{R"(watch 9 {"code":2,"message":"The network is unavailable."})"});
}

TEST_F(Geolocation, RefusedAuthorizationIsReportedToAll) {
    call("addWatch", {Value("w"), Value(false)}, "watch");
    answers();
    plugin->_stopLocation();
    LocationSource::setAuthorizationStatus(kCLAuthorizationStatusRestricted);
    call("getLocation", {Value(false)}, "one");
    const std::string restricted = R"( 9 {"code":1,"message":"Application's use of location services is restricted."})";
    EXPECT_EQ(answers(), (std::vector<std::string>{"one" + restricted, "watch" + restricted}));

    LocationSource::setAuthorizationStatus(kCLAuthorizationStatusAuthorizedWhenInUse);
    call("getLocation", {Value(false)}, "two");
    EXPECT_EQ(answers(), (std::vector<std::string>{R"(two 9 {"code":1,"message":""})", R"(watch 9 {"code":1,"message":""})"}));
}

TEST_F(Geolocation, MissingArgumentsAreDefaultsOrAnErrorNeverACrash) {
    call("getLocation", {}, "once");
    EXPECT_FALSE(plugin->highAccuracyEnabled());
    call("addWatch", {}, "watch");
    EXPECT_EQ(answers(), std::vector<std::string>{R"(watch 9 "addWatch needs a watch id.")"});
    call("clearWatch", {}, "clear");
    // null is the page's own watch id like any other value: kept, then cleared.
    call("addWatch", {Value::null(), Value(false)}, "nullWatch");
    EXPECT_TRUE(answers().empty());
    ASSERT_TRUE(plugin->locationData() && plugin->locationData()->watchCallbacks);
    EXPECT_EQ(plugin->locationData()->watchCallbacks->size(), 1u);
    call("clearWatch", {Value::null()}, "clear");
    EXPECT_TRUE(plugin->locationData()->watchCallbacks->empty());
    call("stopLocation", {}, "stop");
    EXPECT_FALSE(plugin->locationStarted());
    EXPECT_TRUE(answers().empty());
}

TEST_F(Geolocation, AResetStopsUpdatesAndTheCompass) {
    call("addWatch", {Value("w"), Value(true)}, "watch");
    plugin->onReset();
    EXPECT_FALSE(plugin->locationManager()->isUpdatingLocation());
    EXPECT_EQ(plugin->locationManager()->headingStopCount(), 1);
    fix(48);
    EXPECT_TRUE(answers().empty());
}
