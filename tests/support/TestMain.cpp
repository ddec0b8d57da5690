// Test entry for every test binary: the thread that runs the tests is the
// main thread, and every test starts, and leaves the next one, with the
// process-wide state as a fresh process has it (empty main run loop, the
// default bundle and home, no windows, ...). A test may still set such state
// for its own duration; it is put back after it.
#include <gtest/gtest.h>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"

namespace {
class ProcessWideStateReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { platform::resetAllProcessWideState(); }
    void OnTestEnd(const ::testing::TestInfo&) override { platform::resetAllProcessWideState(); }
};
}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    platform::RunLoop::main().bindToCurrentThread();
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessWideStateReset);
    return RUN_ALL_TESTS();
}
