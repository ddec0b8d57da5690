// The sample app end to end: its page calls the simulator's Echo service over
// each of the bridge's three channels and reports every answer, and takes the
// URLs the app is opened with.
#include <gtest/gtest.h>

#include "hybrid/HYBURLProtocol.h"
#include "hybrid/HYBUserAgentUtil.h"
#include "hybrid/HYBViewController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "sim/SimEchoPlugin.h"
#include "tests/platform/TemporaryDirectory.h"

#ifndef HYBRID_SOURCE_DIR
#error "HYBRID_SOURCE_DIR names the source folder"
#endif

TEST(SampleApp, EveryChannelAnswers) {
    testing_support::TemporaryDirectory home;
    const std::string previous = platform::Bundle::main().bundlePath();
    platform::Bundle::setMain(std::string(HYBRID_SOURCE_DIR) + "/examples/app");
    platform::FileManager::setHomeDirectory(home.path().string());

    platform::LogCapture log;
    {
        auto container = hybrid::HYBViewController::create();
        container->view();
        container->registerPluginWithPluginName(std::make_shared<sim::SimEchoPlugin>(container->webView()), "Echo");
        EXPECT_TRUE(platform::RunLoop::main().runUntil([&] { return log.contains("sample app: "); }, 30));
        // As the app shell relays an opened URL.
        container->webView()->stringByEvaluatingJavaScriptFromString("handleOpenURL('sample://open?card=1');");
        EXPECT_TRUE(log.contains("sample app: opened sample://open?card=1"));
    }
    EXPECT_TRUE(log.contains("poke hybrid-scheme: ok"));
    EXPECT_TRUE(log.contains("poke fragment: ok"));
    EXPECT_TRUE(log.contains("poke xhr: ok"));
    EXPECT_TRUE(log.contains("sample app: ready"));

    platform::Bundle::setMain(previous);
}
