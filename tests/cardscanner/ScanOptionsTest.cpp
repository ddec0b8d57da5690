// The scan options and the device facts the scanner's screens branch on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cardscanner/ZeduVIContext.h"
#include "cardscanner/ZeduVIDevice.h"
#include "cardscanner/ZeduVIMacros.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/Device.h"

namespace cardscanner {
namespace {

TEST(ScanOptions, TheContextForwardsTheScanOptionsToItsConfig) {
    ZeduVIContext context;
    const auto config = context.config();
    EXPECT_TRUE(config->scanReport() && config->scanExpiry() && config->allowFreelyRotatingCardGuide());
    context.setDetectionMode(ZeduVIDetectionModeAuto);
    context.setScanExpiry(false);
    context.setGuideColor(platform::UIColor::whiteColor());
    EXPECT_EQ(config->detectionMode(), ZeduVIDetectionModeAuto);
    EXPECT_FALSE(config->scanExpiry());
    EXPECT_TRUE(config->guideColor());
    config->setDetectionMode(ZeduVIDetectionModeImage);  // as the capture stream does
    EXPECT_EQ(context.detectionMode(), ZeduVIDetectionModeImage);
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
