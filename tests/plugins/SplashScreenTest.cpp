// The splash screen as the user and the page see it: which launch image a
// device gets, how it covers the page and keeps its touches, when it goes
// (by itself, on the page's word, faded), and a bundle without the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "hybrid/HYBNotifications.h"
#include "hybrid/HYBScreenOrientationDelegate.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Render.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "plugins/splashscreen/HYBSplashScreen.h"
#include "tools/harness/BridgeHarness.h"

using namespace platform;
using plugins::HYBSplashDevice;
using plugins::HYBSplashScreen;

namespace {

constexpr unsigned long kPortrait = 1ul << UIInterfaceOrientationPortrait;
constexpr unsigned long kLandscape =
    (1ul << UIInterfaceOrientationLandscapeLeft) | (1ul << UIInterfaceOrientationLandscapeRight);

// A container view controller whose web view runs the page-side bridge.
class SplashHost : public UIViewController, public hybrid::HYBContainer, public hybrid::HYBScreenOrientationDelegate {
public:
    static std::shared_ptr<SplashHost> create() {
        std::shared_ptr<SplashHost> host(new SplashHost);
        host->queue_ = std::make_shared<hybrid::HYBCommandQueue>(host);
        host->delegate_ = std::make_shared<hybrid::HYBCommandDelegateImpl>(host);
        return host;
    }
    void viewDidLoad() override { view()->addSubview(webView_); }
    void pageCalls(const std::string& action) {
        webView_->stringByEvaluatingJavaScriptFromString("hybrid.exec(null, null, 'SplashScreen', '" + action +
                                                         "', [])");
        queue_->fetchCommandsFromJs();
        queue_->executePending();
    }

    unsigned long supportedInterfaceOrientations() override { return mask; }
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation) override { return true; }
    bool shouldAutorotate() override { return true; }
    std::shared_ptr<WebView> webView() const override { return webView_; }
    std::shared_ptr<hybrid::HYBCommandQueue> commandQueue() const override { return queue_; }
    std::shared_ptr<hybrid::HYBCommandDelegate> commandDelegate() const override { return delegate_; }
    std::shared_ptr<hybrid::HYBPlugin> getCommandInstance(const std::string& name) override {
        return toLower(name) == "splashscreen" ? plugin : nullptr;
    }
    Dictionary settings() const override { return preferences; }
    std::string userAgent() const override { return {}; }
    std::string wwwFolderName() const override { return "www"; }
    bool whitelistSchemeIsAllowed(const std::string&) const override { return false; }
    bool whitelistURLIsAllowed(const URL&, bool) const override { return false; }

    unsigned long mask = kPortrait | kLandscape;
    Dictionary preferences;
    std::shared_ptr<hybrid::HYBPlugin> plugin;

private:
    SplashHost() : webView_(std::make_shared<WebView>(UIScreen::mainScreen().bounds())) {
        webView_->stringByEvaluatingJavaScriptFromString(testsupport::bridgeScript());
    }
    std::shared_ptr<WebView> webView_;
    std::shared_ptr<hybrid::HYBCommandQueue> queue_;
    std::shared_ptr<hybrid::HYBCommandDelegateImpl> delegate_;
};

class BundleAt {
public:
    explicit BundleAt(const std::string& root) : previous_(Bundle::main().bundlePath()) {
        Bundle::setMain(root);
    }
    ~BundleAt() {
        Bundle::setMain(previous_);
    }

private:
    std::string previous_;
};

const std::string kSampleApp = std::string(HYBRID_SOURCE_DIR) + "/examples/app";

// A bundle with no Info.plist and no images.
std::string bareBundle() {
    const auto folder = std::filesystem::temp_directory_path() / "splash-bare-bundle";
    std::filesystem::create_directories(folder);
    return folder.string();
}

HYBSplashDevice phone(double height) {
    return {.iPhone = true, .iPhone5 = height == 568, .iPhone6 = height == 667, .iPhone6Plus = height == 736};
}

}  // namespace

TEST(SplashImageName, FollowsDeviceSizeOrientationAndSupportedOrientations) {
    BundleAt bare(bareBundle());  // no "UILaunchImageFile": the base name is "Default"
    auto host = SplashHost::create();
    const auto name = [&](unsigned long mask, UIInterfaceOrientation orientation, HYBSplashDevice device) {
        host->mask = mask;
        return HYBSplashScreen::getImageName(orientation, host.get(), device);
    };
    const auto P = UIInterfaceOrientationPortrait, L = UIInterfaceOrientationLandscapeLeft;
    const HYBSplashDevice pad{.iPad = true};
    EXPECT_EQ(name(kPortrait | kLandscape, L, phone(568)), "Default-568h");
    EXPECT_EQ(name(kPortrait | kLandscape, P, phone(667)), "Default-667h");
    EXPECT_EQ(name(kPortrait | kLandscape, P, phone(736)), "Default-736h");
    EXPECT_EQ(name(kPortrait | kLandscape, UIInterfaceOrientationLandscapeRight, phone(736)), "Default-Landscape-736h");
    EXPECT_EQ(name(kLandscape, P, phone(736)), "Default-Landscape-736h");
    EXPECT_EQ(name(kPortrait, L, phone(736)), "Default-736h");
    EXPECT_EQ(name(kPortrait, L, pad), "Default-Portrait");
    EXPECT_EQ(name(kLandscape, P, pad), "Default-Landscape");
    EXPECT_EQ(name(kPortrait | kLandscape, L, pad), "Default-Landscape");
    EXPECT_EQ(name(kPortrait | kLandscape, P, pad), "Default-Portrait");
    EXPECT_EQ(name(kPortrait | kLandscape, L, phone(480)), "Default");
    EXPECT_EQ(HYBSplashScreen::getImageName(P, nullptr, pad), "Default-Portrait");

    BundleAt sample(kSampleApp);  // "UILaunchImageFile" is "LaunchImage.png"
    EXPECT_EQ(name(kPortrait | kLandscape, P, phone(568)), "LaunchImage-568h");

    // The device: the screen read upright, and the model.
    EXPECT_TRUE(HYBSplashScreen::getCurrentDevice().iPhone5);
    EXPECT_TRUE(HYBSplashScreen::getCurrentDevice().retina);
    UIScreen::mainScreen().setBounds({{0, 0}, {736, 414}});  // held sideways
    EXPECT_TRUE(HYBSplashScreen::getCurrentDevice().iPhone6Plus);
    UIDevice::currentDevice().setModel("iPad");
    EXPECT_TRUE(HYBSplashScreen::getCurrentDevice().iPad);
    EXPECT_FALSE(HYBSplashScreen::getCurrentDevice().iPhone6Plus);
}

class Splash : public ::testing::Test {
protected:
    void SetUp() override {
        host = SplashHost::create();
        window = std::make_shared<UIWindow>();
        window->setRootViewController(host);
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        splash.reset();
        host->plugin.reset();
    }
    void start() {
        splash = std::make_shared<HYBSplashScreen>(host->webView());
        host->plugin = splash;
        splash->setViewController(std::static_pointer_cast<hybrid::HYBContainer>(host));
        splash->setCommandDelegate(host->commandDelegate());
        splash->pluginInitialize();
    }
    void pageLoaded() {
        NotificationCenter::defaultCenter().post(hybrid::HYBPageDidLoadNotification, host->webView().get());
    }
    void after(double seconds) {
        clock->advance(seconds);
        RunLoop::main().runOnce();
    }
    bool covered() const { return splash->imageView() && splash->imageView()->superview() == host->view(); }
    bool pageTakesTouches() {
        const auto touched = window->tap({160, 300});
        const auto& inside = host->webView()->subviews();  // the web view's scroll view
        return touched &&
               (touched == host->webView() || std::find(inside.begin(), inside.end(), touched) != inside.end());
    }

    BundleAt bundle{kSampleApp};
    ScopedManualClock clock;
    std::shared_ptr<SplashHost> host;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<HYBSplashScreen> splash;
};

TEST_F(Splash, WithNoPreferencesCoversThePageWithAGraySpinnerUntilThePageHasLoaded) {
    start();
    ASSERT_TRUE(covered());
    EXPECT_EQ(splash->curImageName(), "LaunchImage-568h");
    ASSERT_TRUE(splash->imageView()->image());
    EXPECT_EQ(splash->imageView()->frame(), CGRectMake(0, 0, 320, 568));  // 640 x 1136 pixels, filled
    const auto spinner = splash->activityView();
    EXPECT_EQ(spinner->superview(), host->view());
    EXPECT_EQ(spinner->activityIndicatorViewStyle(), UIActivityIndicatorViewStyleGray);
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(spinner->center(), (CGPoint{160, 284}));
    EXPECT_FALSE(pageTakesTouches());

    pageLoaded();
    EXPECT_FALSE(splash->visible());
    EXPECT_FALSE(splash->imageView());
    EXPECT_FALSE(spinner->superview());
    EXPECT_FALSE(spinner->isAnimating());
    EXPECT_TRUE(pageTakesTouches());
}

TEST_F(Splash, WithoutAutoHideStaysUntilThePageHidesItAndComesBackWhenThePageShowsIt) {
    host->preferences["autohidesplashscreen"] = "false";
    host->preferences["topactivityindicator"] = "whiteLarge";
    start();
    pageLoaded();
    EXPECT_TRUE(covered());
    EXPECT_EQ(splash->activityView()->frame().size, (CGSize{37, 37}));
    host->pageCalls("hide");
    EXPECT_FALSE(covered());
    EXPECT_TRUE(pageTakesTouches());

    host->preferences["showsplashscreenspinner"] = "false";
    host->pageCalls("show");
    host->pageCalls("show");  // shown already: still one splash
    EXPECT_TRUE(covered());
    EXPECT_FALSE(splash->activityView()->superview());
    EXPECT_EQ(host->view()->subviews().size(), 2u);
    EXPECT_FALSE(pageTakesTouches());
}

TEST_F(Splash, FadesOverTheSetDurationKeepingTouchesUntilGoneAndStaysWhenShownMeanwhile) {
    host->preferences["fadesplashscreen"] = "true";
    start();
    const auto image = splash->imageView();
    pageLoaded();
    after(0.125);  // the default quarter second, half run
    EXPECT_GT(image->alpha(), 0.1);
    EXPECT_LT(image->alpha(), 0.9);
    EXPECT_EQ(splash->activityView()->alpha(), image->alpha());
    EXPECT_FALSE(pageTakesTouches());
    after(0.12);
    EXPECT_TRUE(covered());
    after(0.005);
    EXPECT_FALSE(covered());
    EXPECT_TRUE(pageTakesTouches());

    LogCapture log;
    host->preferences["fadesplashscreenduration"] = "1.5";
    host->pageCalls("show");
    host->pageCalls("hide");
    after(1);
    host->pageCalls("show");  // while fading: the splash stays, whole
    after(1);
    ASSERT_TRUE(covered());
    EXPECT_EQ(splash->imageView()->alpha(), 1);
    EXPECT_EQ(splash->activityView()->alpha(), 1);

    for (const char* duration : {"0", "-2", "later"}) {  // at once, never stuck
        host->preferences["fadesplashscreenduration"] = duration;
        host->pageCalls("hide");
        EXPECT_FALSE(covered()) << duration;
        host->pageCalls("show");
    }
    // Only the word is warned about, as a bad colour is.
    EXPECT_EQ(log.count("FadeSplashScreenDuration"), 1u);
    EXPECT_TRUE(log.contains("SplashScreen: preference FadeSplashScreenDuration 'later' is not a number: read as 0 s"));
}

TEST_F(Splash, FollowsTheViewIntoLandscapeTurningOnlyAPortraitImage) {
    start();
    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    UIScreen::mainScreen().setBounds({{0, 0}, {568, 320}});
    window->setFrame({{0, 0}, {568, 320}});
    EXPECT_EQ(splash->curImageName(), "LaunchImage-568h");
    EXPECT_EQ(splash->imageView()->frame(), CGRectMake(0, 0, 568, 320));
    EXPECT_DOUBLE_EQ(splash->imageView()->rotation(), 1.5707963267948966);
    // Turned a quarter clockwise, the picture's top (its darker sky) lies along the right edge.
    const auto shot = renderViewToImage(*window);
    ASSERT_TRUE(shot);
    const auto right = shot->pixelAt(560, 160), left = shot->pixelAt(8, 160);
    ASSERT_TRUE(right && left);
    EXPECT_LT(int(right->blue) + right->green, int(left->blue) + left->green);

    UIScreen::mainScreen().setBounds({{0, 0}, {736, 414}});
    window->setFrame({{0, 0}, {736, 414}});
    EXPECT_EQ(splash->curImageName(), "LaunchImage-Landscape-736h");
    EXPECT_EQ(splash->imageView()->frame(), CGRectMake(0, 0, 736, 414));
    EXPECT_EQ(splash->imageView()->rotation(), 0);
}

TEST_F(Splash, AMissingImageLeavesAnEmptyViewAndSaysWhich) {
    BundleAt bare(bareBundle());
    LogCapture log;
    start();
    EXPECT_TRUE(log.contains("WARNING: The splashscreen image named Default-568h was not found"));
    ASSERT_TRUE(covered());
    EXPECT_FALSE(splash->imageView()->image());
    window->setFrame({{0, 0}, {320, 480}});
    EXPECT_TRUE(renderViewToImage(*window));
    pageLoaded();
    EXPECT_FALSE(covered());
}

TEST_F(Splash, APluginThatGoesAwayMidFadeGivesThePageItsTouchesBack) {
    host->preferences["fadesplashscreen"] = "true";
    start();
    host->pageCalls("hide");
    splash.reset();
    host->plugin.reset();
    EXPECT_EQ(host->view()->subviews().size(), 1u);
    EXPECT_TRUE(pageTakesTouches());
    after(1);
    pageLoaded();
}
