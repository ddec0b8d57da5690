// The device plugin as the page sees it: the dictionary's keys and texts, the
// disk size of the app's home, the screen in pixels, and the bundle's
// Settings arriving as window.Settings before the answer.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>

#include <filesystem>

#include "../platform/TemporaryDirectory.h"
#include "tools/harness/BridgeHarness.h"
#include "hybrid/HYBDeviceExtension.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"
#include "plugins/device/HYBDevice.h"

using platform::FileManager;

namespace {

class DevicePlugin : public ::testing::Test {
protected:
    void SetUp() override {
        FileManager::setHomeDirectory(home);
        std::filesystem::create_directories(bundle);
        platform::Bundle::setMain(bundle);
        platform::UIDevice::currentDevice().setName("Test phone");
        container->addPlugin("Device", plugin);
    }
    void TearDown() override {
        platform::Bundle::setMain(previousBundle_);
        FileManager::setHomeDirectory(previousHome_);
    }

    // What the page's success callback saw: window.Settings (if any), then the answer.
    std::string callFromPage() {
        container->eval(R"(var seen = []; delete window.Settings;
            hybrid.exec(function (info) {
                seen.push(typeof window.Settings === 'undefined' ? 'no settings' : JSON.stringify(window.Settings));
                seen.push(JSON.stringify(info));
            }, null, 'Device', 'getDeviceInfo', []);)");
        container->queue().fetchCommandsFromJs();
        container->queue().executePending();
        platform::RunLoop::main().drain();
        return container->eval("seen.join(' | ')");
    }
    std::string property(const std::string& key) { return plugin->deviceProperties()[key].stringValue(); }

    std::string previousHome_ = FileManager::homeDirectory();
    std::string previousBundle_ = platform::Bundle::main().bundlePath();
    testing_support::TemporaryDirectory folder;
    std::string home = folder.file("home");
    std::string bundle = folder.file("App.app");
    std::shared_ptr<testsupport::TestContainer> container = testsupport::TestContainer::create();
    std::shared_ptr<plugins::HYBDevice> plugin = std::make_shared<plugins::HYBDevice>(container->webView());
};

}  // namespace

TEST_F(DevicePlugin, TheAnswerIsNineStringsInKeyOrderWithTheScreenInPixels) {
    struct utsname names {};
    ASSERT_EQ(::uname(&names), 0);
    const std::string expected = platform::format(
        R"({"deviceHeight":"1136.000000","deviceName":"Test phone","deviceWidth":"640.000000","hybrid":"3.8.0",)"
        R"("memery":"%s","model":"%s","platform":"iOS","uuid":"%s","version":"7.0"})",
        property("memery").c_str(), names.machine, hybrid::uniqueAppInstanceIdentifier().c_str());
    EXPECT_EQ(callFromPage(), "no settings | " + expected);

    platform::UIScreen::mainScreen().setBounds(platform::CGRectMake(0, 0, 414, 736));
    platform::UIScreen::mainScreen().setScale(2.5);
    EXPECT_EQ(property("deviceWidth"), "1035.000000");
    EXPECT_EQ(property("deviceHeight"), "1840.000000");
}

TEST_F(DevicePlugin, TheDiskSizeIsThatOfTheHomesFileSystemOrZeroWhenItIsGone) {
    struct statvfs status {};
    ASSERT_EQ(::statvfs(home.c_str(), &status), 0);
    const float mebibytes = static_cast<float>(status.f_blocks * status.f_frsize) * (1.0f / 1024) * (1.0f / 1024);
    EXPECT_GT(mebibytes, 0);
    EXPECT_EQ(plugin->getTotalDiskSpace(), mebibytes);
    EXPECT_EQ(property("memery"), platform::format("%f", static_cast<double>(mebibytes)));

    std::filesystem::remove_all(home);
    platform::LogCapture log;
    EXPECT_EQ(property("memery"), "0.000000");
    EXPECT_TRUE(log.contains("Error Obtaining System Memory Info: Domain = NSCocoaErrorDomain, Code = 4"));
}

TEST_F(DevicePlugin, TheBundlesSettingsBecomeWindowSettingsBeforeTheCallbackRuns) {
    const std::string settings = bundle + "/Settings.plist";
    ASSERT_TRUE(platform::writePropertyListFile(platform::Dictionary{{"server", "https://a.example/"}, {"tries", 3}},
                                                settings));
    platform::LogCapture log;
    EXPECT_EQ(callFromPage().rfind(R"({"server":"https://a.example/","tries":3} | {"deviceHeight":)", 0), 0u);
    EXPECT_EQ(log.count("window.Settings"), 1u);

    // No dictionary, or no JSON form (dates): the page gets the answer alone.
    ASSERT_TRUE(platform::writePropertyListFile(platform::Array{"a"}, settings));
    EXPECT_EQ(callFromPage().rfind("no settings | {", 0), 0u);
    ASSERT_TRUE(platform::writePropertyListFile(platform::Dictionary{{"since", platform::Date{0}}}, settings));
    EXPECT_EQ(callFromPage().rfind("no settings | {", 0), 0u);
    EXPECT_TRUE(log.contains("window.Settings is not set"));
}
