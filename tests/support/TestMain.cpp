// Test entry for every test binary: the thread that runs the tests is the
// main thread, and every test starts, and leaves the next one, with the
// process-wide state as a fresh process has it (empty main run loop, the
// default bundle and home, no windows, ...). A test may still set such state
// for its own duration; it is put back after it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"

namespace {
class ProcessWideStateReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { platform::resetAllProcessWideState(); }
    void OnTestEnd(const ::testing::TestInfo&) override { platform::resetAllProcessWideState(); }
};
}  // namespace

int main(int argc, char** argv) {
    // Mesa's software rasteriser draws on the calling thread and keeps no
    // shader cache on disk. Otherwise a process that touched the GPU warp
    // ends with seventeen driver threads parked (a rasteriser and a compute
    // pool sized by the core count, and one writing the cache in the home
    // folder that every test process shares, torn down at exit), the only
    // thing it has at exit that no other test process has; on a loaded
    // machine the leak checker's tracer died stopping them.
    setenv("LP_NUM_THREADS", "0", 0);
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    ::testing::InitGoogleTest(&argc, argv);
    platform::RunLoop::main().bindToCurrentThread();
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessWideStateReset);
    return RUN_ALL_TESTS();
}
