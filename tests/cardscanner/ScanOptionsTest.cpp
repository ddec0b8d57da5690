// The scan options and the device facts the scanner's screens branch on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/capture/ZeduVIDevice.h"
#include "cardscanner/util/ZeduVIMacros.h"
#include "cardscanner/views/ZeduVIView.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Device.h"

namespace cardscanner {
namespace {

TEST(ScanOptions, TheScanViewReadsAndWritesTheContextItIsGiven) {
    const auto context = std::make_shared<ZeduVIContext>();
    EXPECT_EQ(context->config(), context);
    EXPECT_TRUE(context->scanReport() && context->scanExpiry() && context->allowFreelyRotatingCardGuide());
    const auto view = ZeduVIView::create(platform::CGRect{{0, 0}, {320, 480}}, context);
    context->setGuideColor(platform::UIColor::whiteColor());
    EXPECT_TRUE(view->guideColor());
    view->setDetectionMode(ZeduVIDetectionModeAuto);
    EXPECT_EQ(context->detectionMode(), ZeduVIDetectionModeAuto);
    context->setCollectExpiry(false);
    EXPECT_FALSE(view->scanExpiry()) << "an expiry not collected is not read";
    EXPECT_TRUE(context->scanExpiry());
}

TEST(ScanOptions, TheOrientationModelListensOnceForAllItsScreens) {
    platform::RunLoop::main().bindToCurrentThread();
    platform::UIDevice& device = platform::UIDevice::currentDevice();
    ZeduVIOrientation model;
    int first = 0, second = 0;
    model.addListener(&first, [&] { ++first; });
    model.addListener(&second, [&] { ++second; });
    model.addListener(&first, [&] { ++first; });  // replaces, does not add
    device.setOrientation(platform::UIDeviceOrientationLandscapeLeft);
    platform::RunLoop::main().drain();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    model.removeListener(&first);
    EXPECT_TRUE(device.isGeneratingDeviceOrientationNotifications());
    model.removeListener(&second);
    EXPECT_FALSE(device.isGeneratingDeviceOrientationNotifications());
    device.reset();
}

TEST(ScanOptions, MacrosAreComputedOnceUntilReset) {
    const auto folder = std::filesystem::temp_directory_path() / ("scan_options_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string previous = platform::Bundle::main().bundlePath();
    auto useInfo = [&](const char* setting) {
        std::ofstream(folder / "Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            << (setting ? std::string("<key>UIViewControllerBasedStatusBarAppearance</key><") + setting + "/>" : "")
            << "</dict></plist>\n";
        platform::Bundle::setMain(folder.string());
        ZeduVIMacros::reset();
    };
    platform::UIDevice& device = platform::UIDevice::currentDevice();

    useInfo("false");
    device.setSystemVersion("6.1.3");
    EXPECT_EQ(ZeduVIMacros::deviceSystemMajorVersion(), 6);
    EXPECT_TRUE(ZeduVIMacros::appHasViewControllerBasedStatusBar()) << "below 7 always";
    device.setSystemVersion("12.0");
    EXPECT_EQ(ZeduVIMacros::deviceSystemMajorVersion(), 6) << "remembered";
    useInfo("false");
    EXPECT_EQ(ZeduVIMacros::deviceSystemMajorVersion(), 12);
    EXPECT_FALSE(ZeduVIMacros::appHasViewControllerBasedStatusBar());
    useInfo("true");
    EXPECT_TRUE(ZeduVIMacros::appHasViewControllerBasedStatusBar());
    useInfo(nullptr);
    EXPECT_FALSE(ZeduVIMacros::appHasViewControllerBasedStatusBar()) << "absent";

    device.reset();
    ZeduVIMacros::reset();
    platform::Bundle::setMain(previous);
    std::filesystem::remove_all(folder);
}

TEST(ScanOptions, AnOldCameraKeepsItsPixelFormat) {
    platform::UIDevice& device = platform::UIDevice::currentDevice();
    device.setMachine("iPhone2,1");
    EXPECT_TRUE(ZeduVIDevice::is3GS());
    EXPECT_FALSE(ZeduVIDevice::shouldSetPixelFormat());
    device.setMachine("iPhone12,1");
    EXPECT_TRUE(ZeduVIDevice::shouldSetPixelFormat());
    EXPECT_EQ(ZeduVIDevice::getSysInfoByName(nullptr), "");
    device.reset();
}

}  // namespace
}  // namespace cardscanner
