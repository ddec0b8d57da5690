// The status bar plugin in a real container inside the key window: the
// overlay and its frames, colours, hide and show, what the page hears, and
// what the window draws.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBURLProtocol.h"
#include "hybrid/HYBUserAgentUtil.h"
#include "hybrid/HYBViewController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Render.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "plugins/statusbar/HYBStatusBar.h"
#include "tests/platform/TemporaryDirectory.h"

using namespace platform;
using plugins::HYBStatusBar;

namespace {

constexpr const char* kPage = R"(<html><head><script>
  var StatusBar = { isVisible: 'unset' };
  var hybrid = { require: function () { return {
      nativeEvalAndFetch: function (f) { f(); return ''; }, nativeFetchMessages: function () { return ''; } }; } };
</script></head><body></body></html>)";

const CGRect kScreen = CGRectMake(0, 0, 320, 568);
const CGRect kBelowBar = CGRectMake(0, 20, 320, 548);

hybrid::HYBInvokedUrlCommand command(Array arguments = {}) {
    return hybrid::HYBInvokedUrlCommand(std::move(arguments), std::string("StatusBar1"), std::string("StatusBar"),
                                        std::string("action"));
}

class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousBundle_ = Bundle::main().bundlePath();
        FileManager::setHomeDirectory(dir_.file("home"));
        hybrid::pluginRegistry().registerClass<HYBStatusBar>("HYBStatusBar");
    }
    void TearDown() override {
        window_.reset();
        container_.reset();
        RunLoop::main().drain();
        Bundle::setMain(previousBundle_);
    }

    // The app as the shell builds it, with the plugin made at start-up.
    HYBStatusBar& start(const std::string& preferences = "", const std::string& infoEntries = "") {
        dir_.write("bundle/Info.plist", "<?xml version='1.0'?><plist version='1.0'><dict>" + infoEntries + "</dict></plist>");
        dir_.write("bundle/config.xml",
                   "<?xml version='1.0'?><widget><feature name='StatusBar'><param name='ios-package' value='HYBStatusBar'/>"
                   "<param name='onload' value='true'/></feature>" +
                       preferences + "</widget>");
        dir_.write("bundle/www/index.html", kPage);
        Bundle::setMain(dir_.file("bundle"));
        container_ = hybrid::HYBViewController::create();
        window_ = std::make_shared<UIWindow>(kScreen);
        window_->setRootViewController(container_);
        window_->makeKeyAndVisible();
        EXPECT_TRUE(RunLoop::main().runUntil(
            [&] { return page("document.readyState") == "complete" && !container_->webView()->isLoading(); }, 10));
        plugin_ = std::dynamic_pointer_cast<HYBStatusBar>(container_->getCommandInstance("StatusBar"));
        EXPECT_TRUE(plugin_);
        return *plugin_;
    }

    std::string page(const std::string& script) { return container_->webView()->stringByEvaluatingJavaScriptFromString(script); }
    std::string isVisible() {
        RunLoop::main().drain();
        return page("String(StatusBar.isVisible)");
    }
    CGRect webFrame() const { return container_->webView()->frame(); }
    bool stripShown() const {
        const auto& strip = plugin_->statusBarBackgroundView();
        return strip->superview() == container_->view() && !strip->isHidden();
    }
    std::optional<UIColor> stripColor() const { return plugin_->statusBarBackgroundView()->backgroundColor(); }

    // The top 20 rows of the window as drawn.
    std::vector<UIImage::Pixel> bar() {
        auto image = renderViewToImage(*window_);
        std::vector<UIImage::Pixel> pixels;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < image->pixelWidth(); ++x) pixels.push_back(*image->pixelAt(x, y));
        return pixels;
    }

    testing_support::TemporaryDirectory dir_;
    std::string previousBundle_;
    std::shared_ptr<hybrid::HYBViewController> container_;
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<HYBStatusBar> plugin_;
};

}  // namespace

TEST_F(StatusBarTest, StartsOverlaidWithLightContentAndStylesGoThroughTheContainer) {
    HYBStatusBar& statusBar = start();
    UIApplication& application = UIApplication::sharedApplication();
    EXPECT_TRUE(statusBar.statusBarOverlaysWebView());
    EXPECT_EQ(webFrame(), kScreen);
    EXPECT_EQ(statusBar.statusBarBackgroundView()->superview(), nullptr);
    EXPECT_EQ(container_->sb_statusBarStyle(), Value(1));
    EXPECT_EQ(application.statusBarStyle(), UIStatusBarStyleLightContent);
    statusBar.styleBlackOpaque(command());
    EXPECT_EQ(application.statusBarStyle(), UIStatusBarStyleBlackOpaque);
    statusBar.setStatusBarStyle("BlackTranslucent");
    statusBar.setStatusBarStyle("sepia");
    EXPECT_EQ(application.statusBarStyle(), UIStatusBarStyleLightContent);
}

TEST_F(StatusBarTest, OverlayOffPutsTheWebViewBelowTheBarWithTheStripInTheGap) {
    HYBStatusBar& statusBar = start();
    statusBar.overlaysWebView(command({false}));
    EXPECT_EQ(webFrame(), kBelowBar);
    EXPECT_TRUE(stripShown());
    EXPECT_EQ(statusBar.statusBarBackgroundView()->frame(), CGRectMake(0, 0, 320, 20));
    statusBar.overlaysWebView(command({0}));  // the same value: nothing moves again
    EXPECT_EQ(webFrame(), kBelowBar);
    statusBar.overlaysWebView(command({"false"}));  // not a number: on
    EXPECT_EQ(webFrame(), kScreen);
    EXPECT_EQ(statusBar.statusBarBackgroundView()->superview(), nullptr);

    LogCapture log;
    statusBar.overlaysWebView(command());
    EXPECT_TRUE(statusBar.statusBarOverlaysWebView());
    EXPECT_TRUE(log.contains("StatusBar: overlaysWebView ignored: argument 0 is missing"));

    // In landscape the bar's thickness is its width.
    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    statusBar.setStatusBarOverlaysWebView(false);
    EXPECT_EQ(webFrame(), kBelowBar);
    EXPECT_EQ(statusBar.statusBarBackgroundView()->frame(), CGRectMake(0, 0, 568, 20));
}

TEST_F(StatusBarTest, PreferencesSetTheOverlayAndTheStripColourAtStart) {
    start("<preference name='StatusBarOverlaysWebView' value='false'/>"
          "<preference name='StatusBarBackgroundColor' value='#336699'/>");
    EXPECT_EQ(webFrame(), kBelowBar);
    EXPECT_TRUE(stripShown());
    EXPECT_EQ(stripColor(), UIColor::colorWithRedGreenBlueAlpha(0x33 / 255.0, 0x66 / 255.0, 0x99 / 255.0, 1));
}

TEST_F(StatusBarTest, WithoutViewControllerAppearanceTheApplicationIsSetDirectly) {
    HYBStatusBar& statusBar = start("", "<key>UIViewControllerBasedStatusBarAppearance</key><false/>");
    statusBar.styleBlackOpaque(command());
    statusBar.hide(command());
    EXPECT_EQ(UIApplication::sharedApplication().statusBarStyle(), UIStatusBarStyleBlackOpaque);
    EXPECT_TRUE(UIApplication::sharedApplication().isStatusBarHidden());
    EXPECT_TRUE(container_->sb_statusBarStyle().isNil());
    EXPECT_TRUE(container_->sb_hideStatusBar().isNil());
}

TEST_F(StatusBarTest, BelowSystemSevenTheOverlaySwitchDoesNothing) {
    UIDevice::currentDevice().setSystemVersion("6.1");
    HYBStatusBar& statusBar = start("<preference name='StatusBarOverlaysWebView' value='false'/>");
    EXPECT_TRUE(statusBar.statusBarOverlaysWebView());
    EXPECT_EQ(webFrame(), kScreen);
    EXPECT_TRUE(container_->sb_statusBarStyle().isNil());
    EXPECT_EQ(UIApplication::sharedApplication().statusBarStyle(), UIStatusBarStyleLightContent);
    statusBar.hide(command());
    statusBar.show(command());
    EXPECT_EQ(container_->view()->frame(), kBelowBar);  // the screen's application frame
}

TEST_F(StatusBarTest, ColoursAreHashAndSixOrEightDigitsOrUIColorsClassColours) {
    HYBStatusBar& statusBar = start();
    statusBar.backgroundColorByHexString(command({"#FF8000"}));
    EXPECT_EQ(stripColor(), UIColor::colorWithRedGreenBlueAlpha(1, 128 / 255.0, 0, 1));
    // Eight digits give their low 24 bits; what follows the digits is not read.
    statusBar.backgroundColorByHexString(command({"#80ff0000"}));
    EXPECT_EQ(stripColor(), UIColor::colorWithRedGreenBlueAlpha(1, 0, 0, 1));
    const UIColor green = UIColor::colorWithRedGreenBlueAlpha(0x2a / 255.0, 0x7d / 255.0, 0x4f / 255.0, 1);
    for (const char* trailed : {"#2a7d4f;", "#2a7d4f ", "#002A7D4Fzz"}) {
        statusBar.backgroundColorByHexString(command({"#000000"}));
        statusBar.backgroundColorByHexString(command({trailed}));
        EXPECT_EQ(stripColor(), green) << trailed;
    }
    statusBar.backgroundColorByHexString(command({"#00ff7f"}));
    const UIColor spring = UIColor::colorWithRedGreenBlueAlpha(0, 1, 127 / 255.0, 1);
    EXPECT_EQ(stripColor(), spring);

    LogCapture log;
    for (const char* bad : {"#fff", "000000", "#ff00001", "#12345g", "#80ff00001", "#ff000 0", "#", ""})
        statusBar.backgroundColorByHexString(command({bad}));
    EXPECT_EQ(log.count("expected # and six or eight hexadecimal digits"), 8u);
    statusBar.backgroundColorByHexString(command());
    EXPECT_TRUE(log.contains("StatusBar: backgroundColorByHexString ignored: argument 0 is missing"));
    EXPECT_EQ(stripColor(), spring);
    statusBar.backgroundColorByHexString(command({0}));  // present but no text: "#000000"
    EXPECT_EQ(stripColor(), UIColor::blackColor());
    statusBar.backgroundColorByHexString(command({"#00ff7f"}));

    statusBar.backgroundColorByName(command({"darkGray"}));
    EXPECT_EQ(stripColor(), UIColor::darkGrayColor());
    statusBar.backgroundColorByName(command({42}));  // present but no text: black
    EXPECT_EQ(stripColor(), UIColor::blackColor());
    statusBar.backgroundColorByName(command({"groupTableViewBackground"}));
    EXPECT_EQ(stripColor(), UIColor::groupTableViewBackgroundColor());
    statusBar.backgroundColorByName(command({"red"}));
    for (const Value& bad : {Value("Red"), Value("nosuch"), Value("systemBlue")})
        statusBar.backgroundColorByName(command({bad}));
    statusBar.backgroundColorByName(command());
    EXPECT_EQ(log.count("StatusBar: backgroundColorByName ignored"), 4u);
    EXPECT_EQ(stripColor(), UIColor::redColor());
}

// A colour chosen by name is kept as a hex colour is, not only painted on the
// strip of the moment: a strip made again when the overlay goes off shows the
// page's last choice, not the colour before it.
TEST_F(StatusBarTest, AColourChosenByNameOutlivesTheStripItWasPaintedOn) {
    HYBStatusBar& statusBar = start();
    statusBar.backgroundColorByHexString(command({"#00ff7f"}));
    statusBar.backgroundColorByName(command({"red"}));
    statusBar.setStatusBarOverlaysWebView(false);
    statusBar.setStatusBarOverlaysWebView(true);
    statusBar.setStatusBarOverlaysWebView(false);
    EXPECT_TRUE(stripShown());
    EXPECT_EQ(stripColor(), UIColor::redColor());
}

TEST_F(StatusBarTest, HideAndShowMoveTheWebViewAndTellThePage) {
    HYBStatusBar& statusBar = start();
    statusBar._ready(command());
    EXPECT_EQ(isVisible(), "true");
    statusBar.setStatusBarOverlaysWebView(false);

    statusBar.hide(command());
    EXPECT_EQ(container_->sb_hideStatusBar(), Value(true));
    EXPECT_EQ(webFrame(), kScreen);
    EXPECT_FALSE(stripShown());
    EXPECT_EQ(isVisible(), "false");
    statusBar.hide(command());
    EXPECT_EQ(webFrame(), kScreen);

    statusBar.show(command());
    EXPECT_EQ(webFrame(), kBelowBar);
    EXPECT_TRUE(stripShown());
    EXPECT_EQ(isVisible(), "true");
    statusBar.show(command());
    EXPECT_EQ(webFrame(), kBelowBar);

    // With the overlay on the web view already reaches the top: hiding keeps it on the screen.
    statusBar.setStatusBarOverlaysWebView(true);
    statusBar.hide(command());
    EXPECT_EQ(webFrame(), kScreen);
    statusBar.show(command());
    EXPECT_EQ(webFrame(), kScreen);
}

TEST_F(StatusBarTest, ThePageHearsOfChangesMadeElsewhereWhileThePluginLives) {
    start();
    UIApplication::sharedApplication().setStatusBarHidden(true);
    EXPECT_EQ(isVisible(), "false");
    UIApplication::sharedApplication().setStatusBarHidden(false);
    EXPECT_EQ(isVisible(), "true");
    plugin_.reset();
    window_->setRootViewController(nullptr);
    container_.reset();
    UIApplication::sharedApplication().setStatusBarHidden(true);
    RunLoop::main().drain();
}

TEST_F(StatusBarTest, TheWindowDrawsWhatThePageAskedFor) {
    HYBStatusBar& statusBar = start();
    const auto light = bar();
    statusBar.styleDefault(command());
    const auto dark = bar();
    EXPECT_NE(light, dark);

    statusBar.setStatusBarOverlaysWebView(false);
    statusBar.backgroundColorByName(command({"red"}));
    const auto onRed = bar();
    EXPECT_NE(onRed, dark);
    EXPECT_EQ(onRed.front(), (UIImage::Pixel{255, 0, 0, 255}));

    statusBar.hide(command());
    const auto hidden = bar();
    EXPECT_NE(hidden, onRed);
    EXPECT_EQ(hidden.front(), (UIImage::Pixel{0, 0, 0, 255}));  // the window's black
    statusBar.show(command());
    EXPECT_EQ(bar(), onRed);
}
