// The location stand-in: managers hear fixes only while updating, the
// device's position reaches a manager that starts late, location taken away
// fails running managers, and GPX tracks replay in order at their own pace.
#include <gtest/gtest.h>

#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/location/LocationManager.h"
#include "platform/location/LocationSource.h"

using namespace platform;

namespace {

struct Recorder : CLLocationManagerDelegate {
    std::vector<CLLocation> fixes;
    std::vector<int> failures;
    std::function<void()> onFix;
    void locationManagerDidUpdateToLocationFromLocation(CLLocationManager&, const CLLocation& location,
                                                        const std::optional<CLLocation>&) override {
        fixes.push_back(location);
        if (onFix) onFix();
    }
    void locationManagerDidFailWithError(CLLocationManager&, const Error& error) override {
        failures.push_back(error.code);
    }
};

CLLocation fixAt(double latitude, double longitude) {
    CLLocation location;
    location.coordinate = {latitude, longitude};
    return location;
}

constexpr const char* kWalk = R"(<?xml version="1.0"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">
 <trk><trkseg>
  <trkpt lat="48.0" lon="11.0"><ele>500</ele><time>2026-05-01T09:00:00Z</time></trkpt>
  <trkpt lat="48.0001" lon="11.0"><time>2026-05-01T09:00:02Z</time></trkpt>
 </trkseg><trkseg>
  <trkpt lat="48.0002" lon="11.0"><time>2026-05-01T11:00:02.5+02:00</time></trkpt>
 </trkseg></trk>
</gpx>)";

class Location : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
        manager->setDelegate(&recorder);
    }
    void TearDown() override {
        if (manager) manager->setDelegate(nullptr);
    }
    ScriptedLocationSource& script() { return static_cast<ScriptedLocationSource&>(*LocationSource::shared()); }

    ScopedManualClock clock{1000};
    Recorder recorder;
    std::shared_ptr<CLLocationManager> manager = CLLocationManager::create();
};

}  // namespace

TEST_F(Location, FixesReachOnlyUpdatingManagersAndALateStarterGetsThePositionFirst) {
    script().deliverLocation(fixAt(1, 2));
    EXPECT_TRUE(recorder.fixes.empty());

    manager->startUpdatingLocation();
    EXPECT_TRUE(recorder.fixes.empty()) << "never inside start";
    RunLoop::main().drain();
    ASSERT_EQ(recorder.fixes.size(), 1u);
    EXPECT_EQ(recorder.fixes[0].coordinate.latitude, 1);

    script().deliverLocation(fixAt(3, 4));
    ASSERT_EQ(recorder.fixes.size(), 2u);
    EXPECT_EQ(manager->location()->coordinate.latitude, 3);

    manager->stopUpdatingLocation();
    script().deliverLocation(fixAt(5, 6));
    EXPECT_EQ(recorder.fixes.size(), 2u);
    EXPECT_EQ(LocationSource::updatingManagerCount(), 0u);
}

TEST_F(Location, StartingWithoutPermissionOrTakingItAwayFailsWithDenied) {
    LocationSource::setServicesEnabled(false);
    manager->startUpdatingLocation();
    script().deliverLocation(fixAt(1, 2));
    RunLoop::main().drain();
    EXPECT_TRUE(recorder.fixes.empty());
    EXPECT_EQ(recorder.failures, std::vector<int>{kCLErrorDenied});

    LocationSource::setServicesEnabled(true);
    LocationSource::setAuthorizationStatus(kCLAuthorizationStatusDenied);
    RunLoop::main().drain();
    EXPECT_EQ(recorder.failures, (std::vector<int>{kCLErrorDenied, kCLErrorDenied}));
}

TEST_F(Location, ADelegateMayDropTheManagerInsideItsCallback) {
    manager->startUpdatingLocation();
    recorder.onFix = [&] { manager.reset(); };
    script().deliverLocation(fixAt(1, 2));
    EXPECT_EQ(recorder.fixes.size(), 1u);
    EXPECT_EQ(LocationSource::updatingManagerCount(), 0u);
}

TEST_F(Location, AGPXTrackReplaysInOrderAtItsOwnPace) {
    Error error;
    auto track = GPXLocationSource::createWithData(kWalk, "walk.gpx", &error);
    ASSERT_TRUE(track) << error.localizedDescription;
    ASSERT_EQ(track->points().size(), 3u);
    EXPECT_EQ(track->points()[0].altitude, 500);
    EXPECT_GT(track->points()[1].speed, 5.0);  // 11 m in 2 s
    EXPECT_NEAR(track->points()[1].course, 0, 1e-6);

    LocationSource::setShared(track);
    manager->startUpdatingLocation();
    track->start();
    RunLoop::main().runOnce();
    ASSERT_EQ(recorder.fixes.size(), 1u) << "first point at once";
    EXPECT_EQ(recorder.fixes[0].timestamp, 1000);

    RunLoop::main().runUntil([&] { return recorder.fixes.size() == 3; }, 60);
    ASSERT_EQ(recorder.fixes.size(), 3u);
    EXPECT_EQ(recorder.fixes[1].coordinate.latitude, 48.0001);
    EXPECT_EQ(recorder.fixes[1].timestamp, 1002);
    EXPECT_EQ(recorder.fixes[2].timestamp, 1002.5) << "the zone offset is honoured";
    EXPECT_TRUE(track->isFinished());

    track->start();
    LocationSource::setShared(nullptr);  // a replaced track stops
    EXPECT_EQ(RunLoop::main().pendingTimers(), 0u);
    RunLoop::main().drain();
    EXPECT_EQ(recorder.fixes.size(), 3u);
}

TEST_F(Location, MalformedTracksGiveAClearErrorAndNothingElse) {
    const struct {
        const char* xml;
        const char* fault;
    } cases[] = {
        {"<gpx", "not well-formed XML"},
        {"<gpx xmlns=\"http://www.topografix.com/GPX/1/0\"/>", "not GPX 1.1"},
        {"<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><trk/></gpx>", "no track points"},
        {"<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg><trkpt lat=\"91\" lon=\"0\"/></trkseg></trk></gpx>",
         "no valid latitude"},
        {"<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg><trkpt lat=\"1\" lon=\"x\"/></trkseg></trk></gpx>",
         "no valid longitude"},
        {"<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg><trkpt lat=\"1\" lon=\"1\"><time>May 1</time>"
         "</trkpt></trkseg></trk></gpx>",
         "no xsd:dateTime"},
        {"<!DOCTYPE gpx [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><gpx xmlns=\"http://www.topografix.com/GPX/1/1\">"
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"><ele>&e;</ele></trkpt></trkseg></trk></gpx>",
         "document type declaration"},
    };
    for (const auto& c : cases) {
        Error error;
        EXPECT_FALSE(GPXLocationSource::createWithData(c.xml, "bad.gpx", &error)) << c.xml;
        EXPECT_NE(error.localizedDescription.find("GPX file bad.gpx: "), std::string::npos);
        EXPECT_NE(error.localizedDescription.find(c.fault), std::string::npos) << error.localizedDescription;
    }
    Error error;
    EXPECT_FALSE(GPXLocationSource::createWithContentsOfFile("/nonexistent/walk.gpx", &error));
    EXPECT_EQ(error.code, NSFileNoSuchFileError);
}

TEST_F(Location, TheSampleWalkIsFivePointsOneSecondApart) {
    Error error;
    auto walk = GPXLocationSource::createWithContentsOfFile(HYBRID_SOURCE_DIR "/examples/scenarios/walk.gpx", &error);
    ASSERT_TRUE(walk) << error.localizedDescription;
    ASSERT_EQ(walk->points().size(), 5u);
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(walk->points()[i].timestamp - walk->points()[i - 1].timestamp, 1);
        EXPECT_GT(walk->points()[i].speed, 1.0);
        EXPECT_LT(walk->points()[i].speed, 2.0) << "a walking pace";
    }
}
