#pragma once
// The scanner's manual-entry and confirmation form: one grouped table of up
// to four fields (number, expiry, CVV, postal code) chosen by the collect
// options, with the scanned card image above it (beside it when wide) when a
// scan is being confirmed. It validates as the user types, moves the
// keyboard to the next empty field, and ends by telling the payment view
// controller's delegate (done or cancel); it never dismisses anything.
//
// Made only through initWithContext (there is no default constructor). The
// camera screen sets the card, its image and the floating card it left on
// screen before the view loads; the appear transition takes that floating
// card over and lets it go. The controller owns its views, fields and field
// delegates; it observes notifications from viewDidAppear to
// viewWillDisappear. Main thread only; the two re-entrancy flags of the
// number and expiry handlers are process-wide and unlocked for that reason.

#include <memory>
#include <string>
#include <vector>

#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace cardscanner {

class ZeduVINumbersTextFieldDelegate;
class ZeduVIExpiryTextFieldDelegate;
class ZeduVICVVTextFieldDelegate;
class ZeduVIPostalCodeTextFieldDelegate;
class ZeduVISectionBasedTableViewDelegate;
class ZeduVIScannerHost;

class ZeduVIDataEntryViewController : public platform::UIViewController {
public:
    // A null context gets the default options.
    ZeduVIDataEntryViewController(std::shared_ptr<ZeduVIContext> context, bool statusBarHidden);
    ~ZeduVIDataEntryViewController() override;
    static std::shared_ptr<ZeduVIDataEntryViewController> initWithContext(std::shared_ptr<ZeduVIContext> context,
                                                                          bool statusBarHidden);

    // --- What the creator sets before the view loads ---
    const std::shared_ptr<ZeduVIContext>& context() const { return context_; }
    bool statusBarHidden() const { return statusBarHidden_; }
    bool manualEntry() const { return manualEntry_; }
    void setManualEntry(bool manualEntry) { manualEntry_ = manualEntry; }
    const std::shared_ptr<platform::UIImage>& cardImage() const { return cardImage_; }
    void setCardImage(std::shared_ptr<platform::UIImage> image) { cardImage_ = std::move(image); }
    // The record being filled; the very object handed to the delegate on done.
    const std::shared_ptr<ZeduVICreditCardInfo>& cardInfo() const { return cardInfo_; }
    void setCardInfo(std::shared_ptr<ZeduVICreditCardInfo> info) { cardInfo_ = std::move(info); }
    platform::CGPoint cardImageCenter() const { return cardImageCenter_; }
    void setCardImageCenter(platform::CGPoint center) { cardImageCenter_ = center; }
    platform::CGSize cardImageSize() const { return cardImageSize_; }
    void setCardImageSize(platform::CGSize size) { cardImageSize_ = size; }
    // Weak: the window is the application's, not this screen's.
    std::shared_ptr<platform::UIWindow> priorKeyWindow() const { return priorKeyWindow_.lock(); }
    void setPriorKeyWindow(std::weak_ptr<platform::UIWindow> window) { priorKeyWindow_ = std::move(window); }
    const std::shared_ptr<platform::UIImageView>& floatingCardView() const { return floatingCardView_; }
    void setFloatingCardView(std::shared_ptr<platform::UIImageView> view) { floatingCardView_ = std::move(view); }
    const std::shared_ptr<platform::UIWindow>& floatingCardWindow() const { return floatingCardWindow_; }
    void setFloatingCardWindow(std::shared_ptr<platform::UIWindow> window) { floatingCardWindow_ = std::move(window); }

    // --- What the view builds ---
    bool collectExpiry() const { return collectExpiry_; }
    bool collectCVV() const { return collectCVV_; }
    bool collectPostalCode() const { return collectPostalCode_; }
    const std::shared_ptr<platform::UITextField>& numberTextField() const { return numberTextField_; }
    const std::shared_ptr<platform::UITextField>& expiryTextField() const { return expiryTextField_; }
    const std::shared_ptr<platform::UITextField>& cvvTextField() const { return cvvTextField_; }
    const std::shared_ptr<platform::UITextField>& postalCodeTextField() const { return postalCodeTextField_; }
    // Number, expiry, CVV, postal code, absent ones skipped: the order of field advance.
    const std::vector<std::shared_ptr<platform::UITextField>>& visibleTextFields() const { return visibleTextFields_; }
    const std::shared_ptr<platform::UIScrollView>& scrollView() const { return scrollView_; }
    const std::shared_ptr<platform::UITableView>& tableView() const { return tableView_; }
    const std::shared_ptr<platform::UIImageView>& cardView() const { return cardView_; }
    const std::shared_ptr<platform::UIView>& leftTableBorderForIOS7() const { return leftTableBorder_; }
    const std::shared_ptr<platform::UIView>& rightTableBorderForIOS7() const { return rightTableBorder_; }
    const std::shared_ptr<ZeduVISectionBasedTableViewDelegate>& tableViewDelegate() const { return tableViewDelegate_; }
    const std::shared_ptr<ZeduVINumbersTextFieldDelegate>& numberRowTextFieldDelegate() const {
        return numberDelegate_;
    }
    const std::shared_ptr<ZeduVIExpiryTextFieldDelegate>& expiryTextFieldDelegate() const { return expiryDelegate_; }
    const std::shared_ptr<ZeduVICVVTextFieldDelegate>& cvvRowTextFieldDelegate() const { return cvvDelegate_; }
    const std::shared_ptr<ZeduVIPostalCodeTextFieldDelegate>& postalCodeRowTextFieldDelegate() const {
        return postalCodeDelegate_;
    }
    int cardTypeForLogo() const { return cardTypeForLogo_; }
    double oldHeight() const { return oldHeight_; }
    std::shared_ptr<platform::UITextField> activeTextField() const { return activeTextField_.lock(); }
    platform::CGRect relevantViewFrame() const { return relevantViewFrame_; }

    // --- Life cycle ---
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidUnload() override;
    long preferredStatusBarStyle() override { return 0; }
    bool prefersStatusBarHidden() override { return statusBarHidden_; }

    // --- Form ---
    // Enables the done button exactly when every shown field is valid.
    bool validate();
    // The month after the expiry has not begun yet and begins within 15 years.
    static bool cardExpiryIsValid(const ZeduVICreditCardInfo& info);
    // The CVV length of the record's card type; 4 when the type has none.
    unsigned cvvLength() const;
    // From the field after `field` (the first when null or not shown) to the
    // last, the first empty one takes the keyboard.
    void advanceToNextEmptyFieldFrom(const platform::UITextField* field);
    void cardNumberDidChange(const platform::Notification& notification);
    void expiryDidChange(const platform::Notification& notification);
    void cvvDidChange(const platform::Notification& notification);
    void postalCodeDidChange(const platform::Notification& notification);
    void updateCardLogo();
    void updateCvvColor();
    // Targets of the navigation bar's buttons.
    void done();
    void cancel();
    void popToTop();

    // --- Layout ---
    void calculateRelevantViewFrame();
    bool isWideScreenMode() const;
    void showTableBorders(bool show);
    void layoutForCurrentOrientation();
    void keyboardWillMove(const platform::Notification& notification);
    // Called by whoever turns the interface around this form.
    void willRotateToInterfaceOrientation(long orientation, double duration);
    void didRotateFromInterfaceOrientation(long orientation);

private:
    std::shared_ptr<ZeduVIScannerHost> host();
    void buildRows(std::vector<std::shared_ptr<platform::UITableViewCell>>& rows);
    void appearTransition();
    void finishFloatingCard();
    void advanceLater(double delay);
    void observeNotifications();
    void stopObserving();

    std::shared_ptr<ZeduVIContext> context_;
    bool statusBarHidden_;
    bool manualEntry_ = false;
    bool collectExpiry_ = false;
    bool collectCVV_ = false;
    bool collectPostalCode_ = false;
    std::shared_ptr<platform::UIImage> cardImage_;
    std::shared_ptr<ZeduVICreditCardInfo> cardInfo_;
    platform::CGPoint cardImageCenter_;
    platform::CGSize cardImageSize_;
    std::weak_ptr<platform::UIWindow> priorKeyWindow_;
    std::shared_ptr<platform::UIImageView> floatingCardView_;
    std::shared_ptr<platform::UIWindow> floatingCardWindow_;

    std::shared_ptr<platform::UIImageView> cardView_;
    std::shared_ptr<platform::UIScrollView> scrollView_;
    std::shared_ptr<platform::UITableView> tableView_;
    std::shared_ptr<platform::UIView> leftTableBorder_;
    std::shared_ptr<platform::UIView> rightTableBorder_;
    std::shared_ptr<platform::UITextField> numberTextField_;
    std::shared_ptr<platform::UITextField> expiryTextField_;
    std::shared_ptr<platform::UITextField> cvvTextField_;
    std::shared_ptr<platform::UITextField> postalCodeTextField_;
    std::vector<std::shared_ptr<platform::UITextField>> visibleTextFields_;
    std::shared_ptr<ZeduVISectionBasedTableViewDelegate> tableViewDelegate_;
    std::shared_ptr<ZeduVINumbersTextFieldDelegate> numberDelegate_;
    std::shared_ptr<ZeduVIExpiryTextFieldDelegate> expiryDelegate_;
    std::shared_ptr<ZeduVICVVTextFieldDelegate> cvvDelegate_;
    std::shared_ptr<ZeduVIPostalCodeTextFieldDelegate> postalCodeDelegate_;
    int cardTypeForLogo_ = 0;
    double oldHeight_ = 0;
    std::weak_ptr<platform::UITextField> activeTextField_;
    platform::CGRect relevantViewFrame_;
    // Set while a field's change handler advances to the next field: the
    // advance moves the keyboard and may end editing of that same field,
    // which would re-enter the handler.
    bool numberChangeInProgress_ = false;
    bool expiryChangeInProgress_ = false;
};

}  // namespace cardscanner
