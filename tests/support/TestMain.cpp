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

// Read by AddressSanitizer before main; ASAN_OPTIONS adds to it. The leak
// checker of GCC 12 and clang 14 guesses where a thread's dynamic TLS block
// ends from where it starts: one that malloc put 16 bytes into a page is
// read as having a glibc 2.19 header in front, and the allocator's chunk
// header there becomes a range to scan, on which the tracer dies at exit.
// Mesa's LLVM keeps thread-locals in such blocks. glibc mallocs the blocks
// and each thread's table of them, so what they hold stays reachable
// without the guess (platform/LeakCheckTest.cpp).
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

int main(int argc, char** argv) {
    // Mesa's software rasteriser draws on the calling thread and keeps no
    // shader cache on disk: a process that touched the GPU warp ends without
    // seventeen parked driver threads (a rasteriser and a compute pool sized
    // by the core count, and one writing the cache in the home folder that
    // every test process shares).
    setenv("LP_NUM_THREADS", "0", 0);
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    ::testing::InitGoogleTest(&argc, argv);
    platform::RunLoop::main().bindToCurrentThread();
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessWideStateReset);
    return RUN_ALL_TESTS();
}
