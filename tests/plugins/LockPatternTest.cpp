// The lock screen's three flows as the user and the page see them: prompts,
// their colours, the callbacks, and the limits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "LockScreenHost.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Render.h"
#include "plugins/lockpattern/LockPattern.h"

using namespace platform;
using plugins::LockPattern;

namespace {

const std::vector<int> kPattern{0, 1, 2, 5};      // "0,1,2,5"
const std::vector<int> kOtherPattern{0, 3, 6, 7};  // "0,3,6,7"

class LockScreen : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_shared<lockscreen_test::HostController>();
        window = std::make_shared<UIWindow>(UIScreenBounds);
        window->setRootViewController(host);
        window->makeKeyAndVisible();
        plugin = std::make_shared<LockPattern>(host->webView());
        plugin->setViewController(std::static_pointer_cast<hybrid::HYBContainer>(host));
    }

    void open(Array arguments, std::optional<std::string> callbackId = std::string("LockPattern7")) {
        plugin->showSecurityGrid(hybrid::HYBInvokedUrlCommand(std::move(arguments), std::move(callbackId),
                                                             std::string("LockPattern"), std::string("showSecurityGrid")));
    }
    void draw(const std::vector<int>& nodes) {
        ASSERT_TRUE(plugin->lockView());
        window->layoutIfNeeded();
        lockscreen_test::drawPattern(*window, *plugin->lockView(), nodes);
        RunLoop::main().drain();
    }
    std::string tip() const { return plugin->tipsLabel()->text(); }
    bool tipIsRed() const { return plugin->tipsLabel()->textColor() == UIColor::redColor(); }
    std::shared_ptr<UIButton> button() const {
        for (const auto& v : plugin->backgroundImageView()->subviews())
            if (auto b = std::dynamic_pointer_cast<UIButton>(v)) return b;
        return nullptr;
    }
    std::size_t screenViews() const { return host->view()->subviews().size(); }

    lockscreen_test::SampleBundle bundle;
    ScopedManualClock clock;
    std::shared_ptr<lockscreen_test::HostController> host;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<LockPattern> plugin;
};

}  // namespace

TEST_F(LockScreen, OpeningLaysTheScreenOutAroundTheGrid) {
    open({"alice", Value::null(), Value::null()});
    EXPECT_TRUE(plugin->isvisable());
    EXPECT_EQ(screenViews(), 5u);  // web view, background, grid, prompt, account line
    EXPECT_EQ(plugin->lockView()->frame(), CGRectMake(35, 159, 250, 250));
    EXPECT_EQ(plugin->tipsLabel()->frame(), CGRectMake(35, 119, 250, 30));
    EXPECT_EQ(plugin->userNameLabel()->frame(), CGRectMake(35, 89, 250, 30));
    EXPECT_EQ(plugin->userNameLabel()->text(), "账户 : alice");
    EXPECT_EQ(tip(), "请输入手势密码");
    EXPECT_EQ(plugin->tipsLabel()->font().pointSize(), 14);
    EXPECT_EQ(plugin->backgroundImageView()->frame(), UIScreenBounds);
    ASSERT_TRUE(plugin->backgroundImageView()->image());
    ASSERT_EQ(plugin->backgroundImageView()->subviews().size(), 2u);
    const auto icon = plugin->backgroundImageView()->subviews()[0];
    EXPECT_EQ(icon->frame(), CGRectMake(121, -31, 78, 78));
    EXPECT_TRUE(icon->layer().masksToBounds());
    EXPECT_EQ(icon->layer().cornerRadius(), 10);
    ASSERT_TRUE(button());
    EXPECT_EQ(button()->frame(), CGRectMake(60, 509, 200, 30));
    EXPECT_EQ(button()->titleForState(UIControlStateNormal), "取消");
    EXPECT_EQ(button()->titleColorForState(UIControlStateNormal), UIColor::blackColor());
    EXPECT_EQ(plugin->lockView()->lineWidth(), 8);
    EXPECT_EQ(plugin->lockView()->normalGestureNodeImage(), UIImage::imageNamed("gesture_node_normal.png"));
    // The whole screen draws.
    EXPECT_TRUE(renderViewToImage(*window));
}

TEST_F(LockScreen, SetFlowAsksTwiceKeepsTheFirstOnAMismatchAndReturnsTheNewPattern) {
    open({"alice", Value::null(), "1"});
    draw(kPattern);
    EXPECT_EQ(tip(), "请再输入一次");
    EXPECT_FALSE(tipIsRed());
    draw(kOtherPattern);
    EXPECT_EQ(tip(), "与上一次输入不一致");
    EXPECT_TRUE(tipIsRed());
    EXPECT_TRUE(plugin->lockView()->errorHasOccured());
    const auto shake = std::dynamic_pointer_cast<CAKeyframeAnimation>(plugin->tipsLabel()->layer().animationForKey("TextAnim"));
    ASSERT_TRUE(shake);
    EXPECT_EQ(shake->keyPath(), "position");
    EXPECT_EQ(shake->duration(), 0.5);
    ASSERT_EQ(shake->values().size(), 10u);
    EXPECT_EQ(std::get<CGPoint>(shake->values()[1]), (CGPoint{155, 134}));
    EXPECT_EQ(shake->keyTimes().back(), 1.0);
    clock->advance(0.1);  // the tip shakes left, and is back once the shake is over
    const auto& tipLayer = plugin->tipsLabel()->layer();
    EXPECT_NEAR(std::get<CGPoint>(tipLayer.presentationValueForKeyPath("position")).x, 155, 0.01);
    clock->advance(0.5);
    EXPECT_EQ(std::get<CGPoint>(tipLayer.presentationValueForKeyPath("position")), tipLayer.position());
    EXPECT_EQ(host->sent(), "");

    draw(kPattern);  // the first pattern again: confirmed
    EXPECT_FALSE(plugin->isvisable());
    EXPECT_EQ(screenViews(), 1u);
    EXPECT_EQ(host->sent(), "success LockPattern7 {\"keepCallback\":false,\"message\":\"0,1,2,5\",\"status\":1}");
}

TEST_F(LockScreen, PatternsOfFewerThanFourNodesAreRefusedWithoutCounting) {
    open({"alice", "0,1,2,5", "1"});
    draw({0, 1, 2});
    EXPECT_EQ(tip(), "密码长度必须大于4位");
    EXPECT_TRUE(tipIsRed());
    EXPECT_FALSE(plugin->lockView()->errorHasOccured());
    EXPECT_EQ(plugin->counter(), 0);
    EXPECT_FALSE(plugin->passcodeOfFirstSetting());
    draw({4, 5, 8, 7});  // exactly four nodes: a real (wrong) attempt
    EXPECT_EQ(plugin->counter(), 1);
}

TEST_F(LockScreen, VerifyFlowLocksTheGridAfterFiveWrongAttemptsAndReloginLogsOut) {
    open({"alice", "0,1,2,5", "1"});
    EXPECT_EQ(tip(), "请输入手势密码");
    EXPECT_EQ(button()->titleForState(UIControlStateNormal), "重新登录");
    for (int attempt = 1; attempt <= 4; ++attempt) {
        draw(kOtherPattern);
        EXPECT_EQ(tip(), "您输入的手势密码不正确，请重新输入") << attempt;
        EXPECT_TRUE(tipIsRed());
        EXPECT_TRUE(plugin->lockView()->errorHasOccured());
        EXPECT_EQ(plugin->lockView()->selectedButtons().size(), 4u);  // the failed pattern stays shown
    }
    draw(kOtherPattern);
    EXPECT_EQ(tip(), "您输入超过5次，请重新登录");
    EXPECT_FALSE(plugin->lockView()->errorHasOccured());
    EXPECT_FALSE(plugin->lockView()->isUserInteractionEnabled());
    draw(kPattern);  // the grid takes no more touches
    EXPECT_TRUE(plugin->isvisable());
    EXPECT_EQ(plugin->counter(), 5);

    window->tap(button()->convertPointToView({100, 15}, nullptr));
    EXPECT_EQ(host->sent(), "logout | success LockPattern7 {\"keepCallback\":false,\"message\":null,\"status\":1}");
    EXPECT_FALSE(plugin->isvisable());
}

TEST_F(LockScreen, VerifyFlowSucceedsWithTheMatchingPatternOnAnyAttempt) {
    open({"alice", "0,1,2,5", "1"}, std::nullopt);
    draw(kPattern);
    EXPECT_FALSE(plugin->isvisable());
    // No callback id: the legacy text carries "(null)".
    EXPECT_EQ(host->sent(), "success (null) {\"keepCallback\":false,\"message\":\"0,1,2,5\",\"status\":1}");

    open({"alice", "0,1,2,5", "1"});
    draw(kOtherPattern);
    draw({3, 4, 5, 8});
    draw(kPattern);
    EXPECT_FALSE(plugin->isvisable());
    EXPECT_NE(host->sent().find("success LockPattern7 {\"keepCallback\":false,\"message\":\"0,1,2,5\""), std::string::npos);
}

TEST_F(LockScreen, ChangeFlowChecksTheOldPatternThenSetsANewOne) {
    open({Value::null(), "0,1,2,5", "0"});
    EXPECT_EQ(plugin->userNameLabel()->text(), "");
    EXPECT_EQ(tip(), "请输入旧的手势密码");
    EXPECT_EQ(button()->titleForState(UIControlStateNormal), "取消");
    draw(kOtherPattern);
    EXPECT_EQ(tip(), "您输入的手势密码不正确，请重新输入");
    EXPECT_EQ(plugin->counter(), 1);
    draw(kPattern);
    EXPECT_EQ(tip(), "请输入新的手势密码");
    EXPECT_FALSE(tipIsRed());
    EXPECT_FALSE(plugin->inputPasscode());
    draw({2, 4, 6, 8});
    EXPECT_EQ(tip(), "请再输入一次");
    draw({2, 4, 6, 8});
    EXPECT_EQ(host->sent(), "success LockPattern7 {\"keepCallback\":false,\"message\":\"2,4,6,8\",\"status\":1}");
}

TEST_F(LockScreen, ChangeFlowLimitTextSaysCancel) {
    open({"bob", "0,1,2,5", "0"});
    for (int i = 0; i < 5; ++i) draw(kOtherPattern);
    EXPECT_EQ(tip(), "您输入超过5次，请取消");
    // Reopening resets the count and both patterns.
    open({"bob", "0,1,2,5", "0"});
    EXPECT_EQ(plugin->counter(), 0);
    EXPECT_FALSE(plugin->passcodeOfFirstSetting());
    EXPECT_FALSE(plugin->lastPasscode());
    EXPECT_TRUE(plugin->lockView()->isUserInteractionEnabled());
}

TEST_F(LockScreen, CancelClosesWithoutAWordToThePage) {
    open({"alice", Value::null(), Value::null()});
    window->tap(button()->convertPointToView({100, 15}, nullptr));
    EXPECT_FALSE(plugin->isvisable());
    EXPECT_EQ(screenViews(), 1u);
    EXPECT_EQ(host->sent(), "");
}

TEST_F(LockScreen, ASecondOpeningReplacesTheFirstScreen) {
    open({"alice", Value::null(), Value::null()});
    const auto firstGrid = plugin->lockView();
    open({"alice", Value::null(), Value::null()});
    EXPECT_EQ(screenViews(), 5u);
    EXPECT_EQ(firstGrid->superview(), nullptr);
}

TEST_F(LockScreen, MissingOrOddArgumentsReadAsAbsent) {
    open({});
    EXPECT_TRUE(plugin->isvisable());
    EXPECT_EQ(tip(), "请输入手势密码");
    EXPECT_EQ(plugin->userNameLabel()->text(), "");
    open({42, 1234567, 1});
    EXPECT_FALSE(plugin->inputPasscode());
    EXPECT_FALSE(plugin->type());
    // An empty stored pattern is no stored pattern: the set flow, with "取消".
    open({"alice", "", "1"});
    EXPECT_EQ(tip(), "请输入手势密码");
    EXPECT_EQ(button()->titleForState(UIControlStateNormal), "取消");
    draw(kPattern);
    EXPECT_EQ(tip(), "请再输入一次");
}

TEST_F(LockScreen, TheNextPatternClearsTheErrorLookAtOnce) {
    open({"alice", "0,1,2,5", "1"});
    draw(kOtherPattern);
    EXPECT_TRUE(plugin->lockView()->hasPendingClear());
    window->layoutIfNeeded();
    window->sendTouch(UITouchPhase::Began, lockscreen_test::nodeCentre(*plugin->lockView(), 4));
    EXPECT_FALSE(plugin->lockView()->errorHasOccured());
    EXPECT_FALSE(plugin->lockView()->hasPendingClear());
    window->sendTouch(UITouchPhase::Ended, lockscreen_test::nodeCentre(*plugin->lockView(), 4));
}

TEST_F(LockScreen, ThePageReachesTheActionThroughTheActionTable) {
    EXPECT_TRUE(plugin->respondsToSelector("showSecurityGrid:"));
    EXPECT_TRUE(plugin->respondsToSelector("gestureLockView:didEndWithPasscode:"));
    EXPECT_FALSE(plugin->respondsToSelector("gestureLockView:didCanceledWithPasscode:"));
    hybrid::HYBInvokedUrlCommand command(Array{"alice", Value::null(), "1"}, std::string("cb"), std::string("LockPattern"),
                                         std::string("showSecurityGrid"));
    EXPECT_TRUE(plugin->performSelector("showSecurityGrid:", command));
    EXPECT_TRUE(plugin->isvisable());
    EXPECT_EQ(plugin->callbackID(), "cb");
}
