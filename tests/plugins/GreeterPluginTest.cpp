// The README's plugin recipe with no sources (tests/plugins/greeter): it
// builds, registers by class name as the app's plugin list does, and answers
// the page over the bridge.
#include <gtest/gtest.h>

#include "platform/foundation/RunLoop.h"
#include "tests/plugins/greeter/Greeter.h"
#include "tools/harness/BridgeHarness.h"

TEST(HeaderOnlyPlugin, TheReadmesGreeterAnswersThePage) {
    // The line the app's plugin list (app/CMakeLists.txt) writes for each class.
    hybrid::pluginRegistry().registerClass<plugins::Greeter>("Greeter");
    const auto container = testsupport::TestContainer::create();
    const auto greeter = hybrid::pluginRegistry().create("Greeter", container->webView());
    ASSERT_TRUE(greeter);
    container->addPlugin("Greeter", greeter);

    container->eval("var said = 'nothing'; hybrid.exec(function (text) { said = text; }, null, "
                    "'Greeter', 'greet', ['world']);");
    container->queue().fetchCommandsFromJs();
    container->queue().executePending();
    platform::RunLoop::main().drain();
    EXPECT_EQ(container->eval("said"), "hello world");
}
