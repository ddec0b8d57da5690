// A GPX track file, as the simulator's location track steps read it: parsed
// into fixes or refused with a description, and a parsed track's replay
// order and pace checked on a manual clock.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/location/LocationSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::RunLoop::main().bindToCurrentThread();
    platform::Error error;
    auto track = platform::GPXLocationSource::createWithData(std::string(reinterpret_cast<const char*>(data), size),
                                                             "fuzz.gpx", &error);
    if (!track) {
        if (error.localizedDescription.rfind("GPX file fuzz.gpx: ", 0) != 0) std::abort();
        return 0;
    }
    for (const auto& point : track->points())
        if (!(std::fabs(point.coordinate.latitude) <= 90) || !(std::fabs(point.coordinate.longitude) <= 180))
            std::abort();
    // Replays only short tracks: the pace of a long one tells nothing new.
    if (track->points().size() > 64) return 0;
    platform::ScopedManualClock clock(0);
    platform::LocationSource::setShared(track);
    track->start();
    auto& loop = platform::RunLoop::main();
    while (!track->isFinished()) {
        // A replay that stops before its last point would leave a watch waiting for ever.
        if (loop.pendingTimers() == 0 && loop.pendingTasks() == 0) std::abort();
        loop.runUntil([&] { return track->isFinished(); }, 1e13);
    }
    platform::resetAllProcessWideState();
    return 0;
}
