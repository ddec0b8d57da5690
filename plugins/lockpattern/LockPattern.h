#pragma once
// The gesture-password screen: a plugin whose one action, showSecurityGrid,
// covers the app's main view with a background picture, the app icon, an
// account line, a prompt, a 3 x 3 gesture grid and one button, and runs one
// of three flows:
//   set     draw a new pattern twice; the confirmed pattern goes to the page;
//   change  draw the stored pattern, then set a new one;
//   verify  draw the stored pattern; at most 5 wrong attempts.
// The plugin keeps no password: the stored pattern comes in as an argument,
// and the new one goes back through the command's success callback.
//
// The screen is built on the view of the plugin's view controller (the
// container, which the app makes its window's root view controller), over
// the container's web view. The app shell also calls showSecurityGrid on its
// own instance to lock the app and reads isvisable() to avoid a second
// screen. Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "plugins/lockpattern/GPGestureLockView.h"

namespace plugins {

class LockPattern : public hybrid::HYBPlugin,
                    public GPGestureLockViewDelegate,
                    public std::enable_shared_from_this<LockPattern> {
public:
    explicit LockPattern(std::shared_ptr<platform::WebView> webView);
    ~LockPattern() override;

    // Arguments: 0 the account name, 1 the stored pattern, 2 the type ("0"
    // change, "1" verify, anything else neither).
    void showSecurityGrid(const hybrid::HYBInvokedUrlCommand& command);

    bool isvisable() const { return isvisable_; }
    void setIsvisable(bool visible) { isvisable_ = visible; }
    const std::optional<std::string>& callbackID() const { return callbackID_; }
    void setCallbackID(std::optional<std::string> callbackId) { callbackID_ = std::move(callbackId); }
    const std::shared_ptr<GPGestureLockView>& lockView() const { return lockView_; }
    void setLockView(std::shared_ptr<GPGestureLockView> view) { lockView_ = std::move(view); }

    // Grid events: a new pattern ends the error look at once; a finished
    // one is checked, stored and moves the flow on.
    void gestureLockViewDidBeginWithPasscode(GPGestureLockView& gestureLockView, const std::string& passcode) override;
    void gestureLockViewDidEndWithPasscode(GPGestureLockView& gestureLockView, const std::string& passcode) override;
    // Both what the bridge may call and what the grid may send.
    bool respondsToSelector(const std::string& selector) const override;

    void refresh();
    void close();
    void reloginAction(platform::UIButton& button);
    void addErrorForLockView();
    void addAnimationForView(platform::UIView& view);
    // The legacy success script for the current callback id ("(null)" when
    // there is none), evaluated in the web view.
    void write2JavascriptWithPasscode(const std::optional<std::string>& passcode);

    // What the screen shows and holds (tests, the app shell).
    const std::shared_ptr<platform::UIImageView>& backgroundImageView() const { return backgroundImageView_; }
    const std::shared_ptr<platform::UILabel>& tipsLabel() const { return tipsLabel_; }
    const std::shared_ptr<platform::UILabel>& userNameLabel() const { return userNameLabel_; }
    const std::optional<std::string>& inputPasscode() const { return inputPasscode_; }
    const std::optional<std::string>& lastPasscode() const { return lastPasscode_; }
    const std::optional<std::string>& passcodeOfFirstSetting() const { return passcodeOfFirstSetting_; }
    const std::optional<std::string>& accountName() const { return accountName_; }
    std::int32_t counter() const { return counter_; }
    const std::optional<std::string>& type() const { return type_; }

protected:
    const hybrid::HYBActionTable& actionTable() const override;

private:
    bool hasStoredPasscode() const { return inputPasscode_.has_value(); }
    void takeDownViews();
    void showTip(const std::string& text, const platform::UIColor& color);

    std::shared_ptr<platform::UIImageView> backgroundImageView_;
    std::optional<std::string> inputPasscode_;
    std::optional<std::string> lastPasscode_;
    std::optional<std::string> passcodeOfFirstSetting_;
    std::optional<std::string> accountName_;
    std::shared_ptr<platform::UILabel> tipsLabel_;
    std::shared_ptr<platform::UILabel> userNameLabel_;
    std::int32_t counter_ = 0;
    std::optional<std::string> type_;
    bool isvisable_ = false;
    std::optional<std::string> callbackID_;
    std::shared_ptr<GPGestureLockView> lockView_;
};

}  // namespace plugins
