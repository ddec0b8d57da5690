#include "plugins/lockpattern/LockPattern.h"

#include "hybrid/HYBContainer.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/ViewController.h"

namespace plugins {

using platform::CGRect;
using platform::UIColor;
using platform::UIImage;

namespace {

constexpr int kMaximumAttempts = 5;
// A pattern of 4 nodes is 7 characters ("0,1,2,3"); anything shorter is refused.
constexpr std::size_t kShortestPasscodeLength = 7;

const char* const kTipEnterPasscode = "请输入手势密码";
const char* const kTipEnterOldPasscode = "请输入旧的手势密码";
const char* const kTipEnterNewPasscode = "请输入新的手势密码";
const char* const kTipEnterAgain = "请再输入一次";
const char* const kTipTooShort = "密码长度必须大于4位";
const char* const kTipWrongPasscode = "您输入的手势密码不正确，请重新输入";
const char* const kTipMismatch = "与上一次输入不一致";
const char* const kTipLimitRelogin = "您输入超过%d次，请重新登录";
const char* const kTipLimitCancel = "您输入超过%d次，请取消";
const char* const kTitleRelogin = "重新登录";
const char* const kTitleCancel = "取消";

UIColor singlePrecisionColor(float red, float green, float blue, float alpha) {
    return UIColor::colorWithRedGreenBlueAlpha(red, green, blue, alpha);
}

// Arguments from the page are taken only as strings: anything else (a
// missing argument, null, a number) reads as absent instead of failing later.
std::optional<std::string> stringArgument(const hybrid::HYBInvokedUrlCommand& command, std::size_t index) {
    const platform::Value value = command.argumentAtIndex(index);
    if (!value.isString()) return std::nullopt;
    return value.stringValue();
}

}  // namespace

LockPattern::LockPattern(std::shared_ptr<platform::WebView> webView) : HYBPlugin(std::move(webView)) {}

// A plugin that goes away takes its screen with it: left behind, the screen
// would cover the app with a grid and a button that nobody answers.
LockPattern::~LockPattern() { takeDownViews(); }

const hybrid::HYBActionTable& LockPattern::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<LockPattern>({{"showSecurityGrid", &LockPattern::showSecurityGrid}});
    return table;
}

bool LockPattern::respondsToSelector(const std::string& selector) const {
    return selector == GPGestureLockViewDelegate::kDidBeginWithPasscode ||
           selector == GPGestureLockViewDelegate::kDidEndWithPasscode || HYBPlugin::respondsToSelector(selector);
}

void LockPattern::takeDownViews() {
    if (lockView_) lockView_->removeFromSuperview();
    if (backgroundImageView_) backgroundImageView_->removeFromSuperview();
    if (tipsLabel_) tipsLabel_->removeFromSuperview();
    if (userNameLabel_) userNameLabel_->removeFromSuperview();
}

void LockPattern::showSecurityGrid(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("LockPattern::showSecurityGrid");
    // The host is the plugin's view controller: the app makes the container
    // its window's root view controller, so this is the view the phone's app
    // reached through its delegate's window.
    const auto container = viewController();
    const auto controller = std::dynamic_pointer_cast<platform::UIViewController>(container);
    const auto rootView = controller ? controller->view() : nullptr;
    if (!rootView) {
        platform::log("LockPattern: no view controller to show the lock screen on");
        return;
    }
    std::shared_ptr<platform::WebView> web = container->webView();
    if (!web) web = webView();

    // A second call while the screen is up replaces it rather than leaving
    // an orphaned screen underneath.
    takeDownViews();

    isvisable_ = true;
    lastPasscode_.reset();
    passcodeOfFirstSetting_.reset();
    counter_ = 0;
    callbackID_ = command.callbackId();
    accountName_ = stringArgument(command, 0);
    inputPasscode_ = stringArgument(command, 1);
    // An empty stored pattern could never be matched; it means none is set.
    if (inputPasscode_ && inputPasscode_->empty()) inputPasscode_.reset();
    type_ = stringArgument(command, 2);

    lockView_ = GPGestureLockView::create(platform::CGRectMake(0, 0, 250, 250));
    lockView_->setNormalGestureNodeImage(UIImage::imageNamed("gesture_node_normal.png"));
    lockView_->setSelectedGestureNodeImage(UIImage::imageNamed("gesture_node_selected.png"));
    lockView_->setLineColor(singlePrecisionColor(2.0f / 255.0f, 217.0f / 255.0f, 243.0f / 255.0f, 0.7f));
    lockView_->setLineWidth(8);
    lockView_->setDelegate(std::static_pointer_cast<GPGestureLockViewDelegate>(shared_from_this()));

    const CGRect webFrame = web ? web->frame() : rootView->bounds();
    lockView_->setCenter({platform::CGRectGetMidX(webFrame), platform::CGRectGetMidY(webFrame)});

    backgroundImageView_ = std::make_shared<platform::UIImageView>(UIImage::imageNamed("login-bg.jpg"));
    backgroundImageView_->setFrame(webFrame);
    backgroundImageView_->setUserInteractionEnabled(true);
    rootView->addSubview(backgroundImageView_);
    rootView->addSubview(lockView_);

    const CGRect grid = lockView_->frame();
    tipsLabel_ = std::make_shared<platform::UILabel>(platform::CGRectMake(grid.origin.x, grid.origin.y - 40, 250, 30));
    tipsLabel_->setBackgroundColor(UIColor::clearColor());
    tipsLabel_->setFont(platform::UIFont::systemFontOfSize(14));
    tipsLabel_->setTextAlignment(platform::NSTextAlignmentCenter);
    tipsLabel_->setText(type_ == "0" && hasStoredPasscode() ? kTipEnterOldPasscode : kTipEnterPasscode);
    rootView->addSubview(tipsLabel_);

    userNameLabel_ =
        std::make_shared<platform::UILabel>(platform::CGRectMake(grid.origin.x, grid.origin.y - 70, 250, 30));
    userNameLabel_->setBackgroundColor(UIColor::clearColor());
    userNameLabel_->setTextAlignment(platform::NSTextAlignmentCenter);
    if (accountName_) userNameLabel_->setText("账户 : " + *accountName_);
    rootView->addSubview(userNameLabel_);

    auto icon = std::make_shared<platform::UIImageView>(
        platform::CGRectMake(lockView_->center().x - 39, tipsLabel_->frame().origin.y - 150, 78, 78));
    icon->setImage(UIImage::imageNamed("icon"));
    icon->layer().setMasksToBounds(true);
    icon->layer().setCornerRadius(10);
    backgroundImageView_->addSubview(icon);

    auto button = platform::UIButton::buttonWithType(platform::UIButtonTypeCustom);
    button->setTitle(type_ == "1" && hasStoredPasscode() ? kTitleRelogin : kTitleCancel, platform::UIControlStateNormal);
    button->setTitleColor(UIColor::blackColor(), platform::UIControlStateNormal);
    button->addTarget(shared_from_this(), &LockPattern::reloginAction, platform::UIControlEventTouchUpInside);
    button->setFrame(platform::CGRectMake(lockView_->center().x - 100, platform::CGRectGetMaxY(grid) + 100, 200, 30));
    backgroundImageView_->addSubview(button);
}

void LockPattern::gestureLockViewDidBeginWithPasscode(GPGestureLockView& gestureLockView, const std::string&) {
    platform::assertMainThread("LockPattern::gestureLockViewDidBeginWithPasscode");
    gestureLockView.clearButtonImageView();
}

void LockPattern::gestureLockViewDidEndWithPasscode(GPGestureLockView&, const std::string& passcode) {
    platform::assertMainThread("LockPattern::gestureLockViewDidEndWithPasscode");
    if (passcode.size() < kShortestPasscodeLength) {
        showTip(kTipTooShort, UIColor::redColor());
        if (tipsLabel_) addAnimationForView(*tipsLabel_);
        return;
    }
    if (!passcodeOfFirstSetting_)
        passcodeOfFirstSetting_ = passcode;
    else
        lastPasscode_ = passcode;
    refresh();
}

void LockPattern::showTip(const std::string& text, const UIColor& color) {
    if (!tipsLabel_) return;
    tipsLabel_->setText(text);
    tipsLabel_->setTextColor(color);
}

void LockPattern::refresh() {
    platform::assertMainThread("LockPattern::refresh");
    if (!tipsLabel_) return;
    if (hasStoredPasscode()) {
        tipsLabel_->setText("");
        const std::string stored = *inputPasscode_;
        const bool match = lastPasscode_ == stored || passcodeOfFirstSetting_ == stored;
        if (match && type_ == "0") {
            showTip(kTipEnterNewPasscode, UIColor::blackColor());
            passcodeOfFirstSetting_.reset();
            inputPasscode_.reset();
            lastPasscode_.reset();
        } else if (match) {
            // The page hears the pattern that matched, whichever attempt it was.
            write2JavascriptWithPasscode(stored);
            close();
        } else {
            if (counter_++ < kMaximumAttempts - 1) {
                addErrorForLockView();
                tipsLabel_->setText(kTipWrongPasscode);
            } else {
                tipsLabel_->setText(platform::format(type_ == "1" ? kTipLimitRelogin : kTipLimitCancel, kMaximumAttempts));
                if (lockView_) lockView_->setUserInteractionEnabled(false);
            }
            addAnimationForView(*tipsLabel_);
            tipsLabel_->setTextColor(UIColor::redColor());
        }
        return;
    }
    if (!lastPasscode_) {
        showTip(kTipEnterAgain, UIColor::blackColor());
    } else if (lastPasscode_ == passcodeOfFirstSetting_) {
        write2JavascriptWithPasscode(lastPasscode_);
        close();
    } else {
        addErrorForLockView();
        showTip(kTipMismatch, UIColor::redColor());
        addAnimationForView(*tipsLabel_);
    }
}

void LockPattern::close() {
    platform::assertMainThread("LockPattern::close");
    isvisable_ = false;
    inputPasscode_.reset();
    takeDownViews();
}

void LockPattern::reloginAction(platform::UIButton& button) {
    platform::assertMainThread("LockPattern::reloginAction");
    if (button.titleForState(platform::UIControlStateNormal) == kTitleCancel) {
        close();
        return;
    }
    if (!webView()) return;
    writeJavascript("logout()");
    write2JavascriptWithPasscode(std::nullopt);
    close();
}

void LockPattern::addErrorForLockView() {
    platform::assertMainThread("LockPattern::addErrorForLockView");
    if (!lockView_) return;
    lockView_->setSelectedGestureNodeImage(UIImage::imageNamed("gesture_node_selected_error"));
    lockView_->setLineColor(UIColor::colorWithRedGreenBlueAlpha(252 / 255.0, 45 / 255.0, 84 / 255.0, 1.0));
    lockView_->setErrorHasOccured(true);
}

void LockPattern::addAnimationForView(platform::UIView& view) {
    platform::assertMainThread("LockPattern::addAnimationForView");
    const platform::CGPoint centre = view.center();
    auto animation = platform::CAKeyframeAnimation::animationWithKeyPath("position");
    animation->setDuration(0.5);
    std::vector<platform::CAPropertyValue> values;
    for (double dx : {0, -5, 5, 0, -5, 5, 0, -5, 5, 0}) values.emplace_back(platform::CGPoint{centre.x + dx, centre.y});
    animation->setValues(std::move(values));
    animation->setKeyTimes({0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0});
    view.layer().addAnimationForKey(animation, "TextAnim");
}

void LockPattern::write2JavascriptWithPasscode(const std::optional<std::string>& passcode) {
    platform::assertMainThread("LockPattern::write2JavascriptWithPasscode");
    auto result = passcode ? hybrid::HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusOK, *passcode)
                           : hybrid::HYBPluginResult::resultWithStatus(hybrid::HYBResultStatusOK);
    writeJavascript(result->toSuccessCallbackString(callbackID_.value_or("(null)")));
}

}  // namespace plugins
