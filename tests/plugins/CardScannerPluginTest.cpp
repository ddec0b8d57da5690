// The page's card scanner: the scanner it presents, one success callback
// with the number after the scanner is gone, nothing on cancel, a second
// scanCard taking over the callback, and the page's status bar afterwards.
#include "plugins/cardscanner/CardScanner.h"

#include <gtest/gtest.h>

#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/util/ZeduVIUtilities.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"

using namespace platform;
using cardscanner::ZeduVIPaymentViewController;
using plugins::CardScanner;

namespace {

class CardScannerPluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
        cardscanner::ZeduVIUtilities::resetRememberedCameraAnswer();
        window_ = std::make_shared<UIWindow>();
        window_->setRootViewController(root_);
        window_->makeKeyAndVisible();
        // The page's side: every success callback noted as "id status message".
        webView_->stringByEvaluatingJavaScriptFromString(
            "var calls = []; var hybrid = { callbackSuccess: function (id, r) {"
            " calls.push(id + ' ' + r.status + ' ' + r.message); } };");
    }
    void TearDown() override {
        if (root_->presentedViewController()) root_->dismissViewControllerAnimated(false);
        cardscanner::ZeduVIUtilities::resetRememberedCameraAnswer();
    }

    void scanCard(const std::string& callbackId, Array arguments = {}) {
        plugin_->scanCard(hybrid::HYBInvokedUrlCommand(std::move(arguments), callbackId, "CardScanner", "scanCard"));
    }
    std::shared_ptr<ZeduVIPaymentViewController> presented() const {
        return std::dynamic_pointer_cast<ZeduVIPaymentViewController>(root_->presentedViewController());
    }
    std::string calls() { return webView_->stringByEvaluatingJavaScriptFromString("calls.join('|')"); }

    ScopedManualClock clock_;
    std::shared_ptr<UIViewController> root_ = std::make_shared<UIViewController>();
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<WebView> webView_ = std::make_shared<WebView>();
    std::shared_ptr<CardScanner> plugin_ = std::make_shared<CardScanner>(webView_);
};

TEST_F(CardScannerPluginTest, AProvidedCardIsDismissedThenAnsweredOnceWithItsDigits) {
    scanCard("CardScanner1", Array{Value("ignored"), Value(42)});
    const auto payment = presented();
    ASSERT_TRUE(payment);
    EXPECT_EQ(payment->modalPresentationStyle(), UIModalPresentationFormSheet);
    EXPECT_FALSE(payment->collectCVV());
    EXPECT_FALSE(payment->collectExpiry());
    EXPECT_FALSE(payment->collectPostalCode());
    EXPECT_EQ(payment->paymentDelegate(), plugin_);

    auto card = std::make_shared<cardscanner::ZeduVICreditCardInfo>();
    card->setCardNumber("4111111111111111");
    plugin_->userDidProvideCreditCardInfo(card, *payment);
    EXPECT_EQ(root_->presentedViewController(), nullptr);
    EXPECT_EQ(calls(), "CardScanner1 1 4111111111111111");
}

TEST_F(CardScannerPluginTest, ACancelDismissesAndSendsNothing) {
    scanCard("CardScanner1");
    const auto payment = presented();
    ASSERT_TRUE(payment);
    plugin_->userDidCancelPaymentViewController(*payment);
    RunLoop::main().runOnce();  // the dismissed scanner goes on the next turn
    EXPECT_EQ(root_->presentedViewController(), nullptr);
    EXPECT_EQ(calls(), "");
}

TEST_F(CardScannerPluginTest, ASecondScanCardTakesOverTheCallback) {
    scanCard("CardScanner1");
    const auto first = presented();
    ASSERT_TRUE(first);
    scanCard("CardScanner2");  // the root already presents: the first scanner stays up
    EXPECT_EQ(plugin_->callbackID(), "CardScanner2");
    auto card = std::make_shared<cardscanner::ZeduVICreditCardInfo>();
    card->setCardNumber("378282246310005");
    plugin_->userDidProvideCreditCardInfo(card, *first);
    EXPECT_EQ(calls(), "CardScanner2 1 378282246310005");
}

TEST_F(CardScannerPluginTest, ThePageGetsItsOwnStatusBarBackWhenTheScannerGoes) {
    class LightContentPage : public UIViewController {
        long preferredStatusBarStyle() override { return UIStatusBarStyleLightContent; }
    };
    const auto page = std::make_shared<LightContentPage>();
    window_->setRootViewController(page);
    scanCard("CardScanner1");
    const auto payment = std::dynamic_pointer_cast<ZeduVIPaymentViewController>(page->presentedViewController());
    ASSERT_TRUE(payment);
    auto& application = UIApplication::sharedApplication();
    application.setStatusBarStyle(UIStatusBarStyleDefault);  // as the scanner's form leaves it
    plugin_->userDidCancelPaymentViewController(*payment);
    EXPECT_EQ(application.statusBarStyle(), UIStatusBarStyleLightContent);
    EXPECT_FALSE(application.isStatusBarHidden());
}

}  // namespace
