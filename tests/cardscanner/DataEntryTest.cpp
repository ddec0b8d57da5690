// The manual-entry and confirmation form inside its payment view controller:
// the rows the options ask for, typing through the keyboard with field
// advance and red text, expiry validity, the done button and the delegate,
// the card image's layout and transition, and keyboard avoidance.
#include "cardscanner/form/ZeduVIDataEntryViewController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "cardscanner/util/ZeduVILocalizedString.h"
#include "cardscanner/util/ZeduVIMacros.h"
#include "cardscanner/form/ZeduVIMultipleFieldTableViewCell.h"
#include "cardscanner/screens/ZeduVIPaymentViewController.h"
#include "cardscanner/form/ZeduVITextFieldDelegates.h"
#include "tests/cardscanner/ScreenTestSupport.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Device.h"
#include "platform/ui/Keyboard.h"

using namespace cardscanner;
using namespace platform;

namespace {

using RecordingDelegate = cardscanner::testing::RecordingPaymentDelegate;

// Local midnight starting the given day, as the form's calendar reads it.
double localTime(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return static_cast<double>(std::mktime(&t));
}

ZeduVICreditCardInfo expiry(unsigned month, unsigned year) {
    ZeduVICreditCardInfo info;
    info.setExpiryMonth(month);
    info.setExpiryYear(year);
    return info;
}

class DataEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock_->set(localTime(2026, 6, 15));
    }
    void TearDown() override {
        if (const auto field = UITextField::firstResponder()) field->resignFirstResponder();
        form_.reset();
        payment_.reset();
    }

    // The form on screen as the payment view controller's root (or pushed
    // over a stand-in camera screen), appearance calls made.
    void show(const std::function<void(ZeduVIContext&)>& configure = nullptr,
              const std::function<void(ZeduVIDataEntryViewController&)>& prepare = nullptr, bool pushed = false) {
        context_ = std::make_shared<ZeduVIContext>();
        if (configure) configure(*context_);
        form_ = ZeduVIDataEntryViewController::initWithContext(context_, false);
        form_->setManualEntry(true);
        if (prepare) prepare(*form_);
        const std::shared_ptr<UIViewController> root =
            pushed ? std::make_shared<UIViewController>() : std::shared_ptr<UIViewController>(form_);
        payment_ = ZeduVIPaymentViewController::create(context_, root);
        payment_->setPaymentDelegate(delegate_);
        payment_->view();
        payment_->viewWillAppear(false);
        payment_->viewDidAppear(false);
        if (pushed) payment_->pushViewController(form_, false);
        RunLoop::main().drain();
    }

    bool doneEnabled() { return form_->navigationItem()->rightBarButtonItem()->isEnabled(); }
    std::shared_ptr<UITextField> editing() { return UITextField::firstResponder(); }
    UIColor defaultColor() { return UIColor::blackColor(); }

    ScopedManualClock clock_;
    std::shared_ptr<ZeduVIContext> context_;
    std::shared_ptr<ZeduVIDataEntryViewController> form_;
    std::shared_ptr<ZeduVIPaymentViewController> payment_;
    std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

}  // namespace

TEST_F(DataEntryTest, TheOptionsChooseTheRowsAndTheLeftButton) {
    show();
    ASSERT_EQ(form_->visibleTextFields().size(), 3u);
    EXPECT_EQ(form_->visibleTextFields()[0], form_->numberTextField());
    EXPECT_EQ(form_->visibleTextFields()[1], form_->expiryTextField());
    EXPECT_EQ(form_->visibleTextFields()[2], form_->cvvTextField());
    EXPECT_EQ(form_->postalCodeTextField(), nullptr);
    const bool shareRow =
        ZeduVIMultipleFieldTableViewCell::textFitsInMultiFieldForLabel("", localized_string("entry_expires"), 160) &&
        ZeduVIMultipleFieldTableViewCell::textFitsInMultiFieldForLabel("", localized_string("entry_cvv"), 160);
    EXPECT_EQ(form_->tableView()->numberOfRowsInSection(0), shareRow ? 2 : 3);
    EXPECT_EQ(form_->numberTextField()->keyboardType(), UIKeyboardTypeNumberPad);
    EXPECT_EQ(form_->expiryTextField()->placeholder().find("  "), std::string::npos);
    EXPECT_EQ(form_->navigationItem()->leftBarButtonItem()->title(), "Cancel");
    EXPECT_EQ(form_->navigationItem()->rightBarButtonItem()->style(), UIBarButtonItemStyleDone);
    EXPECT_FALSE(doneEnabled());
    EXPECT_EQ(editing(), form_->numberTextField());  // the first empty field has the keyboard at once

    // Pushed over the camera screen for manual entry: back to the camera.
    show([](ZeduVIContext& c) {
        c.setCollectExpiry(false);
        c.setCollectPostalCode(true);
    }, nullptr, true);
    ASSERT_EQ(form_->visibleTextFields().size(), 3u);
    EXPECT_EQ(form_->expiryTextField(), nullptr);
    EXPECT_EQ(form_->visibleTextFields()[2], form_->postalCodeTextField());
    EXPECT_EQ(form_->tableView()->numberOfRowsInSection(0), 3);
    EXPECT_EQ(form_->navigationItem()->leftBarButtonItem()->title(), "Camera");
    form_->navigationItem()->leftBarButtonItem()->trigger();
    EXPECT_FALSE(payment_->currentViewControllerIsDataEntry());
    EXPECT_EQ(delegate_->cancels, 0);
}

TEST_F(DataEntryTest, TypingACardAdvancesFieldByFieldAndDoneReturnsTheTypedRecord) {
    show();
    auto& keyboard = UIKeyboard::shared();
    ASSERT_TRUE(keyboard.typeText("4111111111111111"));
    EXPECT_EQ(form_->numberTextField()->text(), "4111 1111 1111 1111");
    const auto logo = form_->numberTextField()->rightView();
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(form_->tableView()->separatorInset(), UIEdgeInsetsZero);
    EXPECT_EQ(logo->contentMode(), UIViewContentModeScaleAspectFit);
    EXPECT_EQ(logo->accessibilityLabel(), "Visa");
    EXPECT_TRUE(logo->isAccessibilityElement());
    EXPECT_EQ(editing(), form_->expiryTextField());
    EXPECT_EQ(form_->scrollView()->contentInset().bottom > 0, true);

    keyboard.typeText("1230");
    EXPECT_EQ(form_->expiryTextField()->text(), "12 / 30");
    EXPECT_EQ(editing(), form_->cvvTextField());

    // Deleting from a valid expiry keeps the keyboard where it is.
    form_->expiryTextField()->becomeFirstResponder();
    keyboard.pressBackspace(1);
    EXPECT_EQ(editing(), form_->expiryTextField());
    keyboard.typeText("0");
    EXPECT_EQ(editing(), form_->cvvTextField());
    EXPECT_FALSE(doneEnabled());

    keyboard.typeText("123");
    EXPECT_TRUE(doneEnabled());
    form_->navigationItem()->rightBarButtonItem()->trigger();
    ASSERT_EQ(delegate_->provides, 1);
    EXPECT_EQ(delegate_->provided, form_->cardInfo());
    EXPECT_EQ(delegate_->provided->cardNumber(), "4111111111111111");
    EXPECT_EQ(delegate_->provided->expiryMonth(), 12u);
    EXPECT_EQ(delegate_->provided->expiryYear(), 2030u);
    EXPECT_EQ(delegate_->provided->cvv(), "123");
    EXPECT_EQ(delegate_->provided->postalCode(), "");
}

TEST_F(DataEntryTest, CompleteButInvalidEntriesTurnRed) {
    show();
    auto& keyboard = UIKeyboard::shared();
    keyboard.typeText("411111111111111");  // 15 digits with a Visa prefix: not complete yet
    EXPECT_EQ(form_->numberTextField()->textColor(), defaultColor());
    keyboard.pressBackspace(20);
    keyboard.typeText("1234567812345678");  // unrecognized prefix, 16 digits, fails Luhn
    EXPECT_EQ(form_->numberTextField()->textColor(), UIColor::redColor());
    EXPECT_EQ(editing(), form_->numberTextField());

    form_->expiryTextField()->becomeFirstResponder();
    keyboard.typeText("0125");  // January 2025 has passed
    EXPECT_EQ(form_->expiryTextField()->textColor(), UIColor::redColor());
    EXPECT_EQ(editing(), form_->expiryTextField());
    EXPECT_FALSE(doneEnabled());
}

TEST_F(DataEntryTest, AnExpiryIsValidFromThisMonthForFifteenYears) {
    EXPECT_TRUE(ZeduVIDataEntryViewController::cardExpiryIsValid(expiry(6, 2026)));
    EXPECT_FALSE(ZeduVIDataEntryViewController::cardExpiryIsValid(expiry(5, 2026)));
    EXPECT_TRUE(ZeduVIDataEntryViewController::cardExpiryIsValid(expiry(12, 2026)));  // rolls into January
    EXPECT_TRUE(ZeduVIDataEntryViewController::cardExpiryIsValid(expiry(5, 2041)));
    EXPECT_FALSE(ZeduVIDataEntryViewController::cardExpiryIsValid(expiry(6, 2041)));
    EXPECT_FALSE(ZeduVIDataEntryViewController::cardExpiryIsValid(expiry(0, 2027)));
    EXPECT_FALSE(ZeduVIDataEntryViewController::cardExpiryIsValid(expiry(6, 0)));
    EXPECT_FALSE(ZeduVIDataEntryViewController::cardExpiryIsValid(expiry(4000000000u, 4000000000u)));
}

TEST_F(DataEntryTest, TheCvvFollowsTheCardTypeAndBlankPostalCodesStayEmpty) {
    show([](ZeduVIContext& c) { c.setCollectPostalCode(true); });
    auto& keyboard = UIKeyboard::shared();
    keyboard.typeText("378282246310005");  // American Express
    keyboard.typeText("1230");
    keyboard.typeText("1234");
    EXPECT_EQ(form_->cvvRowTextFieldDelegate()->maxLength(), 4);
    EXPECT_EQ(editing(), form_->postalCodeTextField());
    keyboard.typeText("   ");
    EXPECT_FALSE(doneEnabled());
    keyboard.pressBackspace(3);
    keyboard.typeText("94110");
    EXPECT_TRUE(doneEnabled());

    form_->numberTextField()->becomeFirstResponder();
    keyboard.pressBackspace(17);
    EXPECT_EQ(form_->numberTextField()->text(), "");
    keyboard.typeText("4111111111111111");
    EXPECT_EQ(form_->cvvRowTextFieldDelegate()->maxLength(), 3);
    EXPECT_EQ(form_->cvvTextField()->textColor(), UIColor::redColor());
    EXPECT_FALSE(doneEnabled());
}

TEST_F(DataEntryTest, AConfirmationWithoutRowsShowsTheCardAndIsDoneAtOnce) {
    UIGraphicsBeginImageContext(CGSize{428, 270});
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    auto scanned = std::make_shared<ZeduVICreditCardInfo>();
    scanned->setCardNumber("4111111111111111");
    auto window = std::make_shared<UIWindow>();
    auto floating = std::make_shared<UIImageView>(image);
    floating->setFrame(CGRectMake(40, 300, 214, 135));
    window->addSubview(floating);

    show(
        [](ZeduVIContext& c) {
            c.setCollectExpiry(false);
            c.setCollectCVV(false);
        },
        [&](ZeduVIDataEntryViewController& form) {
            form.setManualEntry(false);
            form.setCardInfo(scanned);
            form.setCardImage(image);
            form.setFloatingCardView(floating);
            form.setFloatingCardWindow(window);
        },
        true);
    EXPECT_TRUE(form_->visibleTextFields().empty());
    EXPECT_EQ(form_->navigationItem()->leftBarButtonItem()->title(), "Cancel");
    EXPECT_TRUE(doneEnabled());
    // The card starts where the camera screen left it and the floating window is let go.
    EXPECT_TRUE(window->isHidden());
    EXPECT_EQ(form_->floatingCardView(), nullptr);
    EXPECT_FALSE(form_->cardView()->isHidden());

    // It moves to its place over 0.4 s of the run loop's clock, frame by frame.
    const CGRect start = form_->cardView()->frame();
    EXPECT_EQ(start.origin.x, 40);
    EXPECT_EQ(start.size, (CGSize{214, 135}));
    for (int frame = 0; frame < 30; ++frame) {
        clock_->advance(1 / 60.0);
        RunLoop::main().drain();
    }
    const CGRect bounds = form_->scrollView()->bounds();
    const double width = std::floor(bounds.size.width * 0.935);
    const double height = std::floor(270 * width / 428);
    const CGRect card = form_->cardView()->frame();
    EXPECT_EQ(card.size.width, width);
    EXPECT_EQ(card.origin.x, std::floor((bounds.size.width - width) / 2));
    EXPECT_EQ(card.origin.y, std::floor((bounds.size.height - height) / 3));

    form_->navigationItem()->rightBarButtonItem()->trigger();
    ASSERT_EQ(delegate_->provides, 1);
    EXPECT_EQ(delegate_->provided, scanned);
    EXPECT_EQ(delegate_->provided->cardNumber(), "4111111111111111");
}

TEST_F(DataEntryTest, TheKeyboardInsetsTheScrollViewWhileItShows) {
    show();
    const CGRect keyboard = form_->view()->convertRectFromView(UIKeyboard::shared().frame(), nullptr);
    const CGRect scroll = form_->scrollView()->frame();
    ASSERT_TRUE(UIKeyboard::shared().isVisible());
    EXPECT_GT(form_->scrollView()->contentInset().bottom, 0);
    EXPECT_EQ(form_->scrollView()->contentInset().bottom, CGRectGetMaxY(scroll) - keyboard.origin.y);
    EXPECT_EQ(form_->scrollView()->scrollIndicatorInsets().bottom, form_->scrollView()->contentInset().bottom);
    form_->numberTextField()->resignFirstResponder();
    EXPECT_EQ(form_->scrollView()->contentInset().bottom, 0);
}

TEST_F(DataEntryTest, LandscapeFullScreenCentresTheTableAndARotationKeepsTheKeyboardsField) {
    show();
    UIKeyboard::shared().typeText("4111111111111111");
    UIKeyboard::shared().typeText("1230");
    ASSERT_EQ(editing(), form_->cvvTextField());

    form_->willRotateToInterfaceOrientation(UIInterfaceOrientationLandscapeRight, 0.3);
    EXPECT_EQ(editing(), nullptr);
    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    form_->didRotateFromInterfaceOrientation(UIInterfaceOrientationPortrait);
    EXPECT_EQ(editing(), form_->cvvTextField());

    EXPECT_TRUE(form_->isWideScreenMode());
    form_->layoutForCurrentOrientation();
    const double width = form_->scrollView()->bounds().size.width;
    const double tableWidth = std::max(std::floor(width / 2), 400.0);
    EXPECT_EQ(form_->tableView()->frame().size.width, tableWidth);
    EXPECT_EQ(form_->tableView()->frame().origin.x, std::floor((width - tableWidth) / 2));

    // Any presentation but full screen is never wide.
    payment_->setModalPresentationStyle(UIModalPresentationFormSheet);
    EXPECT_FALSE(form_->isWideScreenMode());
}
