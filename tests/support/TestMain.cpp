// Test entry: the thread that runs the tests is the main thread, and every
// test starts with an empty main run loop.
#include <gtest/gtest.h>

#include "platform/foundation/RunLoop.h"

namespace {
class MainRunLoopReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { platform::RunLoop::main().reset(); }
    void OnTestEnd(const ::testing::TestInfo&) override { platform::RunLoop::main().reset(); }
};
}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    platform::RunLoop::main().bindToCurrentThread();
    ::testing::UnitTest::GetInstance()->listeners().Append(new MainRunLoopReset);
    return RUN_ALL_TESTS();
}
