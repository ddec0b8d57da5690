#include "cardscanner/form/ZeduVIDataEntryViewController.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <functional>

#include "cardscanner/results/ZeduVICreditCardNumber.h"
#include "cardscanner/results/ZeduVICreditCardNumberFormatter.h"
#include "cardscanner/util/ZeduVILocalizedString.h"
#include "cardscanner/util/ZeduVILocalizer.h"
#include "cardscanner/util/ZeduVIMacros.h"
#include "cardscanner/form/ZeduVIMultipleFieldTableViewCell.h"
#include "cardscanner/context/ZeduVIScannerHost.h"
#include "cardscanner/form/ZeduVISectionBasedTableViewDelegate.h"
#include "cardscanner/form/ZeduVITableViewCell.h"
#include "cardscanner/form/ZeduVITextFieldDelegates.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Device.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewAnimation.h"

namespace cardscanner {

using namespace platform;

namespace {

constexpr double kFifteenYears = 473364000;  // seconds, years of 365.25 days
constexpr double kTransitionDuration = 0.4;
constexpr double kAdvanceDelay = 0.2;

UIColor formBackgroundColor() { return UIColor::colorWithWhiteAlpha(0.92, 1); }
UIColor rowBackgroundColor() { return UIColor::colorWithWhiteAlpha(249 / 255.0, 1); }

UIColor defaultTextColor() {
    return ZeduVITableViewCell::defaultDetailTextLabelColorForCellStyle(ZeduVITableViewCell::defaultCellStyle());
}

std::string trimmed(const std::string& text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), isSpace);
    auto end = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(begin), isSpace).base();
    return std::string(begin, end);
}

std::string replacedAll(std::string text, const std::string& from, const std::string& to) {
    std::string result;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size()) {
        result.append(text, start, at - start).append(to);
    }
    return result.append(text, start, std::string::npos);
}

bool isKnownCardType(ZeduVICardType type) {
    return type != ZeduVICardTypeUnrecognized && type != ZeduVICardTypeAmbiguous;
}

CGRect interpolated(CGRect from, CGRect to, double t) {
    const auto mix = [t](double a, double b) { return a + (b - a) * t; };
    return CGRectMake(mix(from.origin.x, to.origin.x), mix(from.origin.y, to.origin.y),
                      mix(from.size.width, to.size.width), mix(from.size.height, to.size.height));
}

// Moves a view's frame and fades another view in over `duration` seconds of
// the run loop's clock, a frame every 1/60 s, then runs the completion. The
// view stand-ins animate only alpha by themselves.
void animateFrameAndFade(const std::shared_ptr<UIView>& moving, CGRect from, CGRect to,
                         const std::shared_ptr<UIView>& fading, std::function<void()> completion) {
    struct Step {
        std::weak_ptr<UIView> moving;
        std::weak_ptr<UIView> fading;
        CGRect from, to;
        double fadeFrom;
        double start;
        std::function<void()> completion;
    };
    auto step = std::make_shared<Step>(
        Step{moving, fading, from, to, fading ? fading->alpha() : 1, platform::clock().now(), std::move(completion)});
    auto tick = std::make_shared<std::function<void()>>();
    *tick = [step, weakTick = std::weak_ptr<std::function<void()>>(tick)] {
        const double elapsed = platform::clock().now() - step->start;
        const double t = std::clamp(elapsed / kTransitionDuration, 0.0, 1.0);
        const double eased = t * t * (3 - 2 * t);
        if (const auto view = step->moving.lock()) view->setFrame(interpolated(step->from, step->to, eased));
        if (const auto view = step->fading.lock()) view->setAlpha(step->fadeFrom + (1 - step->fadeFrom) * eased);
        if (t >= 1) {
            if (step->completion) step->completion();
            return;
        }
        if (auto again = weakTick.lock()) RunLoop::main().after(1 / 60.0, [again] { (*again)(); });
    };
    // Only the pending timer task holds the closure strongly; the closure
    // refers to itself weakly, so nothing is left behind once it stops.
    RunLoop::main().after(1 / 60.0, [tick] { (*tick)(); });
}

}  // namespace

// --- Creation ---

ZeduVIDataEntryViewController::ZeduVIDataEntryViewController(std::shared_ptr<ZeduVIContext> context,
                                                             bool statusBarHidden)
    : context_(context ? std::move(context) : std::make_shared<ZeduVIContext>()),
      statusBarHidden_(statusBarHidden),
      cardInfo_(std::make_shared<ZeduVICreditCardInfo>()) {}

ZeduVIDataEntryViewController::~ZeduVIDataEntryViewController() { stopObserving(); }

std::shared_ptr<ZeduVIDataEntryViewController> ZeduVIDataEntryViewController::initWithContext(
    std::shared_ptr<ZeduVIContext> context, bool statusBarHidden) {
    return std::make_shared<ZeduVIDataEntryViewController>(std::move(context), statusBarHidden);
}

std::shared_ptr<ZeduVIScannerHost> ZeduVIDataEntryViewController::host() {
    return std::dynamic_pointer_cast<ZeduVIScannerHost>(navigationController());
}

// --- Building the form ---

void ZeduVIDataEntryViewController::viewDidLoad() {
    platform::assertMainThread("ZeduVIDataEntryViewController::viewDidLoad");
    UIViewController::viewDidLoad();
    const bool modern = ZeduVIMacros::deviceSystemMajorVersion() >= 7;
    if (modern) {
        setAutomaticallyAdjustsScrollViewInsets(true);
        setEdgesForExtendedLayout(UIRectEdgeNone);
    } else {
        setWantsFullScreenLayout(true);
    }
    calculateRelevantViewFrame();

    const std::string& language = context_->languageOrLocale();
    const std::string title = localized_string("entry_title", language);
    setTitle(title);
    const auto item = navigationItem();
    item->setTitle(title);

    const auto navigation = navigationController();
    const std::weak_ptr<ZeduVIDataEntryViewController> weakSelf =
        std::static_pointer_cast<ZeduVIDataEntryViewController>(shared_from_this());
    const bool alone = !navigation || navigation->viewControllers().size() == 1;
    if (alone || cardImage_) {
        item->setLeftBarButtonItem(std::make_shared<UIBarButtonItem>(
            localized_string("cancel", language), UIBarButtonItemStyleBordered, [weakSelf] {
                if (const auto self = weakSelf.lock()) self->cancel();
            }));
    } else {
        item->setLeftBarButtonItem(std::make_shared<UIBarButtonItem>(
            localized_string("camera", language), UIBarButtonItemStyleBordered, [weakSelf] {
                if (const auto self = weakSelf.lock()) self->popToTop();
            }));
    }
    item->setBackBarButtonItem(std::make_shared<UIBarButtonItem>(localized_string("card_info", language),
                                                                UIBarButtonItemStyleBordered, nullptr));
    auto doneItem = std::make_shared<UIBarButtonItem>(localized_string("done", language), UIBarButtonItemStyleDone,
                                                      [weakSelf] {
                                                          if (const auto self = weakSelf.lock()) self->done();
                                                      });
    doneItem->setEnabled(false);
    item->setRightBarButtonItem(doneItem);

    collectExpiry_ = context_->collectExpiry();
    collectCVV_ = context_->collectCVV();
    collectPostalCode_ = context_->collectPostalCode();

    scrollView_ = std::make_shared<UIScrollView>(relevantViewFrame_);
    if (!manualEntry_) {
        cardView_ = std::make_shared<UIImageView>(cardImage_);
        cardView_->setContentMode(platform::UIViewContentModeScaleAspectFit);
        const CGSize size = floatingCardView_ ? floatingCardView_->bounds().size : CGSize{};
        cardView_->setBounds(CGRectMake(0, 0, size.width, size.height));
        cardView_->setBackgroundColor(formBackgroundColor());
        cardView_->layer().setCornerRadius(cardView_->bounds().size.width / 300 * 9);
        cardView_->layer().setMasksToBounds(true);
        cardView_->layer().setBorderColor(UIColor::grayColor());
        cardView_->layer().setBorderWidth(2);
        cardView_->setHidden(true);
        scrollView_->addSubview(cardView_);
    }

    tableView_ = std::make_shared<UITableView>(scrollView_->bounds(), UITableViewStyleGrouped);
    tableView_->setSeparatorStyle(UITableViewCellSeparatorStyleSingleLine);
    tableView_->setScrollEnabled(false);
    tableView_->setHidden(true);
    if (ZeduVIMacros::deviceSystemMajorVersion() >= 7) tableView_->setSeparatorInset(platform::UIEdgeInsetsZero);

    std::vector<std::shared_ptr<UITableViewCell>> rows;
    buildRows(rows);

    tableView_->setBackgroundColor(formBackgroundColor());
    view()->setBackgroundColor(formBackgroundColor());
    auto background = std::make_shared<UIView>(tableView_->bounds());
    background->setBackgroundColor(formBackgroundColor());
    tableView_->setBackgroundView(background);
    scrollView_->addSubview(tableView_);

    auto section = std::make_shared<ZeduVIRowBasedTableViewSection>();
    section->setRows(std::move(rows));
    tableViewDelegate_ = std::make_shared<ZeduVISectionBasedTableViewDelegate>();
    tableViewDelegate_->setSections({section});
    tableView_->setDelegate(tableViewDelegate_);
    tableView_->setDataSource(tableViewDelegate_);
    tableView_->reloadData();

    if (modern) {
        for (auto* border : {&leftTableBorder_, &rightTableBorder_}) {
            *border = std::make_shared<UIView>();
            (*border)->setBackgroundColor(UIColor::colorWithWhiteAlpha(0.78, 1));
            (*border)->setHidden(true);
            scrollView_->addSubview(*border);
        }
    }
    if (cardView_) scrollView_->bringSubviewToFront(cardView_);
    view()->addSubview(scrollView_);
}

void ZeduVIDataEntryViewController::buildRows(std::vector<std::shared_ptr<UITableViewCell>>& rows) {
    const std::string& language = context_->languageOrLocale();
    const NSTextAlignment alignment = ZeduVILocalizer::textAlignmentForLanguageOrLocale(language);
    const auto prepareCell = [&](const std::shared_ptr<ZeduVIMultipleFieldTableViewCell>& cell) {
        cell->setBackgroundColor(rowBackgroundColor());
        cell->setTextAlignment(alignment);
    };
    // Adds one field to the cell, whatever number of fields it was made with.
    const auto addField = [&](const std::shared_ptr<ZeduVIMultipleFieldTableViewCell>& cell, std::size_t& count,
                              const std::string& label) {
        cell->setNumberOfFields(++count);
        cell->labels().resize(count);
        cell->labels()[count - 1] = label;
        auto field = cell->textFields()[count - 1];
        field->setTextAlignment(alignment);
        field->setAutocorrectionType(UITextAutocorrectionTypeNo);
        field->setKeyboardType(UIKeyboardTypeNumberPad);
        field->setTextColor(defaultTextColor());
        visibleTextFields_.push_back(field);
        return field;
    };

    if (manualEntry_) {
        auto cell = std::make_shared<ZeduVIMultipleFieldTableViewCell>();
        std::size_t count = 0;
        cell->setHiddenLabels(true);
        numberTextField_ = addField(cell, count, localized_string("entry_number", language));
        numberDelegate_ = std::make_shared<ZeduVINumbersTextFieldDelegate>();
        numberTextField_->setDelegate(numberDelegate_);
        numberTextField_->setPlaceholder(localized_string("entry_card_number", language));
        numberTextField_->setText(cardInfo_->cardNumber());
        numberTextField_->setClearButtonMode(UITextFieldViewModeNever);
        numberTextField_->setSecureTextEntry(context_->maskManualEntryDigits());
        numberTextField_->setBackgroundColor(rowBackgroundColor());
        updateCardLogo();
        prepareCell(cell);
        rows.push_back(cell);
    }

    if (collectExpiry_ || collectCVV_) {
        const auto makeCell = [&] {
            auto cell = std::make_shared<ZeduVIMultipleFieldTableViewCell>(UITableViewCellStyleDefault, "");
            cell->setHiddenLabels(true);
            prepareCell(cell);
            rows.push_back(cell);
            return cell;
        };
        bool shareRow = false;
        if (collectExpiry_ && collectCVV_) {
            shareRow = ZeduVIMultipleFieldTableViewCell::textFitsInMultiFieldForLabel(
                           "", localized_string("entry_expires", language), 160) &&
                       ZeduVIMultipleFieldTableViewCell::textFitsInMultiFieldForLabel(
                           "", localized_string("entry_cvv", language), 160);
        }
        auto cell = makeCell();
        std::size_t count = 0;
        if (collectExpiry_) {
            expiryTextField_ = addField(cell, count, localized_string("entry_expires", language));
            expiryDelegate_ = std::make_shared<ZeduVIExpiryTextFieldDelegate>();
            expiryTextField_->setDelegate(expiryDelegate_);
            std::string placeholder = replacedAll(localized_string("expires_placeholder", language), "/", " / ");
            expiryTextField_->setPlaceholder(replacedAll(placeholder, "  ", " "));
            if (cardInfo_->expiryMonth() != 0 && cardInfo_->expiryYear() != 0) {
                expiryTextField_->setText(expiryDelegate_->formatter().stringForObjectValue(cardInfo_));
                if (!cardExpiryIsValid(*cardInfo_)) expiryTextField_->setTextColor(UIColor::redColor());
            }
            if (collectCVV_ && !shareRow) {
                cell = makeCell();
                count = 0;
            }
        }
        if (collectCVV_) {
            if (shareRow) cell->setLabelWidth(0);
            cvvTextField_ = addField(cell, count, localized_string("entry_cvv", language));
            cvvDelegate_ = std::make_shared<ZeduVICVVTextFieldDelegate>();
            cvvDelegate_->setMaxLength(static_cast<long>(cvvLength()));
            cvvTextField_->setDelegate(cvvDelegate_);
            cvvTextField_->setPlaceholder(localized_string("entry_cvv", language));
            cvvTextField_->setClearButtonMode(UITextFieldViewModeNever);
        }
    }

    if (collectPostalCode_) {
        auto cell = std::make_shared<ZeduVIMultipleFieldTableViewCell>();
        std::size_t count = 0;
        cell->setHiddenLabels(true);
        postalCodeTextField_ = addField(cell, count, localized_string("entry_postal_code", language));
        postalCodeDelegate_ = std::make_shared<ZeduVIPostalCodeTextFieldDelegate>();
        postalCodeTextField_->setDelegate(postalCodeDelegate_);
        postalCodeTextField_->setPlaceholder(localized_string("entry_postal_code", language));
        postalCodeTextField_->setKeyboardType(UIKeyboardTypeNumbersAndPunctuation);
        postalCodeTextField_->setClearButtonMode(UITextFieldViewModeNever);
        prepareCell(cell);
        rows.push_back(cell);
    }
}

// --- Life cycle ---

void ZeduVIDataEntryViewController::viewWillAppear(bool animated) {
    platform::assertMainThread("ZeduVIDataEntryViewController::viewWillAppear");
    UIApplication& application = UIApplication::sharedApplication();
    const long device = UIDevice::currentDevice().orientation();
    // Face up, face down and unknown are no interface orientation: they never
    // call for a turn.
    if (device >= 1 && device <= 4 && device != application.statusBarOrientation()) {
        NotificationCenter::defaultCenter().post(UIDeviceOrientationDidChangeNotification);
    }
    UIViewController::viewWillAppear(animated);
    const bool modern = ZeduVIMacros::deviceSystemMajorVersion() >= 7;
    const auto navigation = navigationController();
    const bool fullScreen = !navigation || navigation->modalPresentationStyle() == UIModalPresentationFullScreen;
    if (fullScreen && !statusBarHidden_) {
        application.setStatusBarHidden(false);
        if (modern) setNeedsStatusBarAppearanceUpdate();
    }
    if (!context_->keepStatusBarStyle()) application.setStatusBarStyle(modern ? 0 : 1);
    if (navigation) navigation->setNavigationBarHidden(false, animated);
}

void ZeduVIDataEntryViewController::viewDidAppear(bool animated) {
    platform::assertMainThread("ZeduVIDataEntryViewController::viewDidAppear");
    UIViewController::viewDidAppear(animated);
    observeNotifications();
    layoutForCurrentOrientation();
    appearTransition();
    validate();
}

void ZeduVIDataEntryViewController::viewWillDisappear(bool animated) {
    platform::assertMainThread("ZeduVIDataEntryViewController::viewWillDisappear");
    UIViewController::viewWillDisappear(animated);
    for (const auto& field : visibleTextFields_) field->resignFirstResponder();
    stopObserving();
}

void ZeduVIDataEntryViewController::viewDidUnload() {
    platform::assertMainThread("ZeduVIDataEntryViewController::viewDidUnload");
    stopObserving();
    if (tableView_) {
        tableView_->setDelegate({});
        tableView_->setDataSource({});
    }
    tableView_.reset();
    tableViewDelegate_.reset();
    numberDelegate_.reset();
    expiryDelegate_.reset();
    cvvDelegate_.reset();
    postalCodeDelegate_.reset();
    numberTextField_.reset();
    expiryTextField_.reset();
    cvvTextField_.reset();
    postalCodeTextField_.reset();
    visibleTextFields_.clear();
    UIViewController::viewDidUnload();
}

void ZeduVIDataEntryViewController::observeNotifications() {
    auto& center = NotificationCenter::defaultCenter();
    stopObserving();
    const auto keyboard = [this](const Notification& n) { keyboardWillMove(n); };
    center.addObserver(this, UIKeyboardWillShowNotification, nullptr, keyboard);
    center.addObserver(this, UIKeyboardWillHideNotification, nullptr, keyboard);
    const auto observe = [&](const std::shared_ptr<UITextField>& field,
                             void (ZeduVIDataEntryViewController::*handler)(const Notification&)) {
        if (!field) return;
        center.addObserver(this, UITextFieldTextDidChangeNotification, field.get(),
                           [this, handler](const Notification& n) { (this->*handler)(n); });
    };
    if (manualEntry_) observe(numberTextField_, &ZeduVIDataEntryViewController::cardNumberDidChange);
    if (collectExpiry_) observe(expiryTextField_, &ZeduVIDataEntryViewController::expiryDidChange);
    if (collectCVV_) observe(cvvTextField_, &ZeduVIDataEntryViewController::cvvDidChange);
    if (collectPostalCode_) observe(postalCodeTextField_, &ZeduVIDataEntryViewController::postalCodeDidChange);
}

void ZeduVIDataEntryViewController::stopObserving() { NotificationCenter::defaultCenter().removeObserver(this); }

// --- Validation ---

bool ZeduVIDataEntryViewController::validate() {
    platform::assertMainThread("ZeduVIDataEntryViewController::validate");
    bool valid = true;
    if (manualEntry_) valid = valid && ZeduVICreditCardNumber::isValidNumber(cardInfo_->cardNumber());
    if (expiryTextField_) valid = valid && cardExpiryIsValid(*cardInfo_);
    if (cvvTextField_) valid = valid && ZeduVICVVTextFieldDelegate::isValidCVV(cardInfo_->cvv(), cardInfo_->cardNumber());
    if (postalCodeTextField_) valid = valid && ZeduVIPostalCodeTextFieldDelegate::isValidPostalCode(cardInfo_->postalCode());
    if (const auto& item = navigationItem()->rightBarButtonItem()) item->setEnabled(valid);
    return valid;
}

bool ZeduVIDataEntryViewController::cardExpiryIsValid(const ZeduVICreditCardInfo& info) {
    const unsigned month = info.expiryMonth();
    const unsigned year = info.expiryYear();
    if (month == 0 || year == 0) return false;
    // Far beyond the 15-year bound either way, and out of mktime's int range.
    if (year > 9999 || month > 9999) return false;
    std::tm start{};
    start.tm_year = static_cast<int>(year) - 1900;
    start.tm_mon = static_cast<int>(month);  // 0-based: the month after the expiry; 12 rolls into January
    start.tm_mday = 1;
    start.tm_isdst = -1;
    const std::time_t firstInstant = std::mktime(&start);
    if (firstInstant == static_cast<std::time_t>(-1)) return false;
    const double now = platform::clock().now();
    const double begins = static_cast<double>(firstInstant);
    if (begins < now) return false;
    return begins <= now + kFifteenYears;
}

unsigned ZeduVIDataEntryViewController::cvvLength() const {
    const int length = ZeduVICreditCardNumber::cvvLengthForCardType(cardInfo_->cardType());
    return length < 1 ? 4 : static_cast<unsigned>(length);
}

// --- Field handling ---

void ZeduVIDataEntryViewController::advanceToNextEmptyFieldFrom(const UITextField* field) {
    platform::assertMainThread("ZeduVIDataEntryViewController::advanceToNextEmptyFieldFrom");
    std::size_t start = 0;
    const auto found = std::find_if(visibleTextFields_.begin(), visibleTextFields_.end(),
                                    [field](const auto& candidate) { return candidate.get() == field; });
    if (field && found != visibleTextFields_.end()) {
        start = static_cast<std::size_t>(found - visibleTextFields_.begin()) + 1;
        if (start >= visibleTextFields_.size()) start = 0;
    }
    for (std::size_t i = start; i < visibleTextFields_.size(); ++i) {
        if (visibleTextFields_[i]->text().empty()) {
            visibleTextFields_[i]->becomeFirstResponder();
            return;
        }
    }
}

void ZeduVIDataEntryViewController::cardNumberDidChange(const Notification&) {
    platform::assertMainThread("ZeduVIDataEntryViewController::cardNumberDidChange");
    if (numberChangeInProgress_ || !numberTextField_ || !numberDelegate_) return;
    const bool mayAdvance = numberDelegate_->cleanupTextField(*numberTextField_);
    ZeduVIFormatterObject object = cardInfo_;
    numberDelegate_->formatter().getObjectValue(object, numberTextField_->text(), nullptr);
    if (const auto* record = std::get_if<std::shared_ptr<ZeduVICreditCardInfo>>(&object); record && *record) {
        cardInfo_ = *record;
    }
    if (cvvDelegate_) cvvDelegate_->setMaxLength(static_cast<long>(cvvLength()));
    updateCvvColor();

    const std::string& number = cardInfo_->cardNumber();
    const ZeduVICardType type = ZeduVICreditCardNumber::cardTypeForCardNumber(number);
    if (ZeduVICreditCardNumber::isValidNumber(number)) {
        if (mayAdvance) {
            numberChangeInProgress_ = true;
            advanceToNextEmptyFieldFrom(numberTextField_.get());
            numberChangeInProgress_ = false;
        }
        if (numberTextField_) numberTextField_->setTextColor(defaultTextColor());
    } else {
        const auto digits = static_cast<long>(number.size());
        const bool complete = digits == ZeduVICreditCardNumber::numberLengthForCardNumber(number) ||
                              (type == ZeduVICardTypeUnrecognized && digits == 16);
        if (numberTextField_) {
            numberTextField_->setTextColor(!number.empty() && complete ? UIColor::redColor() : defaultTextColor());
        }
    }
    updateCardLogo();
    validate();
}

void ZeduVIDataEntryViewController::expiryDidChange(const Notification&) {
    platform::assertMainThread("ZeduVIDataEntryViewController::expiryDidChange");
    if (expiryChangeInProgress_ || !expiryTextField_ || !expiryDelegate_) return;
    const bool mayAdvance = expiryDelegate_->cleanupTextField(*expiryTextField_);
    ZeduVIFormatterObject object = cardInfo_;
    expiryDelegate_->formatter().getObjectValue(object, expiryTextField_->text(), nullptr);
    if (cardExpiryIsValid(*cardInfo_)) {
        if (mayAdvance) {
            expiryChangeInProgress_ = true;
            advanceToNextEmptyFieldFrom(expiryTextField_.get());
            expiryChangeInProgress_ = false;
        }
        if (expiryTextField_) expiryTextField_->setTextColor(defaultTextColor());
    } else if (expiryTextField_) {
        expiryTextField_->setTextColor(expiryTextField_->text().size() >= 7 ? UIColor::redColor()
                                                                            : defaultTextColor());
    }
    validate();
}

void ZeduVIDataEntryViewController::cvvDidChange(const Notification&) {
    platform::assertMainThread("ZeduVIDataEntryViewController::cvvDidChange");
    if (!cvvTextField_) return;
    cardInfo_->setCvv(cvvTextField_->text());
    updateCvvColor();
    const ZeduVICardType type = ZeduVICreditCardNumber::cardTypeForCardNumber(cardInfo_->cardNumber());
    if (isKnownCardType(type) && ZeduVICVVTextFieldDelegate::isValidCVV(cardInfo_->cvv(), cardInfo_->cardNumber())) {
        advanceToNextEmptyFieldFrom(cvvTextField_.get());
    }
    validate();
}

void ZeduVIDataEntryViewController::postalCodeDidChange(const Notification&) {
    platform::assertMainThread("ZeduVIDataEntryViewController::postalCodeDidChange");
    if (!postalCodeTextField_) return;
    cardInfo_->setPostalCode(trimmed(postalCodeTextField_->text()));
    validate();
}

void ZeduVIDataEntryViewController::updateCvvColor() {
    platform::assertMainThread("ZeduVIDataEntryViewController::updateCvvColor");
    if (!cvvTextField_) return;
    if (ZeduVICVVTextFieldDelegate::isValidCVV(cardInfo_->cvv(), cardInfo_->cardNumber())) {
        cvvTextField_->setTextColor(defaultTextColor());
    } else {
        cvvTextField_->setTextColor(cvvTextField_->text().size() > cvvLength() ? UIColor::redColor()
                                                                               : defaultTextColor());
    }
}

void ZeduVIDataEntryViewController::updateCardLogo() {
    platform::assertMainThread("ZeduVIDataEntryViewController::updateCardLogo");
    if (!numberTextField_) return;
    const ZeduVICardType type = ZeduVICreditCardNumber::cardTypeForCardNumber(
        ZeduVICreditCardNumber::stringbyRemovingSpaces(numberTextField_->text()));
    if (type == cardTypeForLogo_) return;
    cardTypeForLogo_ = type;
    if (const auto logo = ZeduVICreditCardInfo::logoForCardType(type)) {
        auto logoView = std::make_shared<UIImageView>(logo);
        logoView->setContentMode(platform::UIViewContentModeScaleAspectFit);
        logoView->setBounds(CGRectMake(0, 0, logo->size().width, logo->size().height));
        logoView->setAccessibilityLabel(
            ZeduVICreditCardInfo::displayStringForCardType(type, context_->languageOrLocale()));
        logoView->setIsAccessibilityElement(true);
        numberTextField_->setRightView(logoView);
        numberTextField_->setRightViewMode(UITextFieldViewModeAlways);
    } else {
        numberTextField_->setRightView(nullptr);
        numberTextField_->setRightViewMode(UITextFieldViewModeNever);
    }
}

// --- Ending ---

void ZeduVIDataEntryViewController::done() {
    platform::assertMainThread("ZeduVIDataEntryViewController::done");
    if (manualEntry_ && numberTextField_) {
        cardInfo_->setCardNumber(ZeduVICreditCardNumber::stringByRemovingNonNumbers(numberTextField_->text()));
    }
    cardInfo_->setCvv(cvvTextField_ ? cvvTextField_->text() : std::string());
    cardInfo_->setPostalCode(postalCodeTextField_ ? trimmed(postalCodeTextField_->text()) : std::string());
    if (const auto container = host()) container->scannerDidProvideCreditCardInfo(cardInfo_);
}

void ZeduVIDataEntryViewController::cancel() {
    platform::assertMainThread("ZeduVIDataEntryViewController::cancel");
    if (const auto container = host()) container->scannerDidCancel();
}

void ZeduVIDataEntryViewController::popToTop() {
    platform::assertMainThread("ZeduVIDataEntryViewController::popToTop");
    const auto navigation = navigationController();
    if (ZeduVIMacros::deviceSystemMajorVersion() >= 7) {
        for (const auto& field : visibleTextFields_) field->resignFirstResponder();
        if (navigation) navigation->setNavigationBarHidden(true, true);
    }
    if (const auto container = host()) {
        container->setCurrentViewControllerIsDataEntry(false);
        context_->orientation().setInterfaceOrientation(UIApplication::sharedApplication().statusBarOrientation());
    }
    if (navigation) navigation->popToRootViewControllerAnimated(true);
}

// --- Layout ---

void ZeduVIDataEntryViewController::calculateRelevantViewFrame() {
    platform::assertMainThread("ZeduVIDataEntryViewController::calculateRelevantViewFrame");
    const CGRect bounds = view()->bounds();
    relevantViewFrame_ = bounds;
    const auto navigation = navigationController();
    // Before system version 7 only the black translucent bar style (2) lets
    // the content run under the bar.
    if (ZeduVIMacros::deviceSystemMajorVersion() >= 7 || !navigation || !navigation->navigationBar() ||
        navigation->navigationBar()->barStyle() != 2) {
        return;
    }
    const bool fullScreen = navigation->modalPresentationStyle() == UIModalPresentationFullScreen;
    const long orientation = fullScreen ? static_cast<long>(UIApplication::sharedApplication().statusBarOrientation()) : 1;
    const bool pad = UIDevice::currentDevice().userInterfaceIdiom() == UIUserInterfaceIdiomPad;
    double height = pad ? 44 : (orientation == 3 || orientation == 4 ? 32 : 44);
    if (fullScreen && !statusBarHidden_) height += 20;
    relevantViewFrame_ = CGRectMake(bounds.origin.x, bounds.origin.y + height, bounds.size.width,
                                    bounds.size.height - height);
}

bool ZeduVIDataEntryViewController::isWideScreenMode() const {
    const auto navigation = const_cast<ZeduVIDataEntryViewController*>(this)->navigationController();
    const long style = navigation ? navigation->modalPresentationStyle() : modalPresentationStyle();
    const long orientation = UIApplication::sharedApplication().statusBarOrientation();
    return style == UIModalPresentationFullScreen && (orientation == 3 || orientation == 4);
}

void ZeduVIDataEntryViewController::showTableBorders(bool show) {
    platform::assertMainThread("ZeduVIDataEntryViewController::showTableBorders");
    if (ZeduVIMacros::deviceSystemMajorVersion() < 7) return;
    if (leftTableBorder_) leftTableBorder_->setHidden(!show);
    if (rightTableBorder_) rightTableBorder_->setHidden(!show);
}

void ZeduVIDataEntryViewController::layoutForCurrentOrientation() {
    platform::assertMainThread("ZeduVIDataEntryViewController::layoutForCurrentOrientation");
    if (!scrollView_ || !tableView_) return;
    oldHeight_ = view()->bounds().size.height;
    calculateRelevantViewFrame();
    scrollView_->setFrame(relevantViewFrame_);
    const CGRect bounds = scrollView_->bounds();
    const double W = bounds.size.width;
    const double H = bounds.size.height;
    tableView_->reloadData();
    const long rows = tableView_->numberOfRowsInSection(0);
    const bool wide = isWideScreenMode();
    const bool modern = ZeduVIMacros::deviceSystemMajorVersion() >= 7;
    const bool pad = UIDevice::currentDevice().userInterfaceIdiom() == UIUserInterfaceIdiomPad;

    const auto cellFrames = [&](CGRect& first, CGRect& last) {
        first = CGRectZero;
        last = CGRectZero;
        const long sections = tableView_->numberOfSections();
        if (rows == 0 || sections == 0) return false;
        const long lastRows = tableView_->numberOfRowsInSection(sections - 1);
        first = tableView_->rectForRowAtIndexPath(NSIndexPath{0, 0});
        last = tableView_->rectForRowAtIndexPath(NSIndexPath{sections - 1, std::max(0L, lastRows - 1)});
        return true;
    };
    const auto zeroBorders = [&] {
        if (!modern) return;
        if (leftTableBorder_) leftTableBorder_->setFrame(CGRectZero);
        if (rightTableBorder_) rightTableBorder_->setFrame(CGRectZero);
    };

    if (cardView_) {
        const CGSize image = cardImage_ ? cardImage_->size() : CGSize{};
        double cardWidth = wide ? std::floor(std::max(W, H) * (pad ? 0.493 : 0.484))
                                : std::floor(W * (pad ? 0.885 : 0.935));
        // An image of no width keeps the card flat rather than dividing by zero.
        double cardHeight = image.width > 0 ? std::floor(image.height * cardWidth / image.width) : 0;
        if (wide && rows == 0) {
            cardWidth *= 1.5;
            cardHeight *= 1.5;
        }
        CGRect card = CGRectMake(0, 0, cardWidth, cardHeight);
        if (rows > 0 && !wide) {
            card.origin = CGPoint{std::floor((W - cardWidth) / 2), 5};
            cardView_->setFrame(card);
            tableView_->setFrame(CGRectMake(bounds.origin.x, CGRectGetMaxY(card), W, H));
            zeroBorders();
        } else if (rows > 0) {
            const double tableWidth = W - cardWidth - 30;
            const double tableX = CGRectGetMaxX(bounds) - tableWidth - 10;
            card.origin = CGPoint{10, 10};
            cardView_->setFrame(card);
            tableView_->setFrame(CGRectMake(tableX, 0, tableWidth, H));
            if (modern) {
                tableView_->reloadData();
                CGRect first, last;
                if (cellFrames(first, last)) {
                    const double tableY = 10 - first.origin.y;
                    tableView_->setFrame(CGRectMake(tableX, tableY, tableWidth, H));
                    const double height = CGRectGetMaxY(last) - first.origin.y + 0.5;
                    leftTableBorder_->setFrame(CGRectMake(tableX - 0.5, 10, 0.5, height));
                    rightTableBorder_->setFrame(CGRectMake(tableX + tableWidth, 10, 0.5, height));
                }
            }
        } else {
            const CGRect frame = scrollView_->frame();
            card.origin = CGPoint{std::floor((frame.size.width - cardWidth) / 2),
                                  std::floor((frame.size.height - cardHeight) / 3)};
            cardView_->setFrame(card);
            tableView_->setFrame(CGRectZero);
            zeroBorders();
        }
        tableView_->reloadData();
        const CGRect table = tableView_->frame();
        const double sectionBottom = rows > 0 ? CGRectGetMaxY(tableView_->rectForSection(0)) : 0;
        scrollView_->setContentSize(CGSize{W, std::max(CGRectGetMaxY(cardView_->frame()), table.origin.y + sectionBottom)});
        return;
    }

    if (wide) {
        const double tableWidth = std::max(std::floor(W / 2), 400.0);
        const double tableX = std::floor((W - tableWidth) / 2);
        tableView_->setFrame(CGRectMake(tableX, 0, tableWidth, H));
        tableView_->reloadData();
        CGRect first, last;
        if (modern && cellFrames(first, last)) {
            const double height = CGRectGetMaxY(last) - first.origin.y;
            leftTableBorder_->setFrame(CGRectMake(tableX - 0.5, first.origin.y, 0.5, height));
            rightTableBorder_->setFrame(CGRectMake(tableX + tableWidth, first.origin.y, 0.5, height));
        }
    } else {
        tableView_->setFrame(bounds);
        zeroBorders();
    }
    tableView_->reloadData();
    const double sectionBottom = rows > 0 ? CGRectGetMaxY(tableView_->rectForSection(0)) : 0;
    scrollView_->setContentSize(CGSize{W, tableView_->frame().origin.y + sectionBottom});
}

void ZeduVIDataEntryViewController::keyboardWillMove(const Notification& notification) {
    platform::assertMainThread("ZeduVIDataEntryViewController::keyboardWillMove");
    if (!scrollView_ || !tableView_) return;
    CGRect keyboard = CGRectZero;
    const Value& end = notification.userInfo[UIKeyboardFrameEndUserInfoKey];
    if (const auto* values = end.array(); values && values->size() == 4) {
        keyboard = CGRectMake(end[0].doubleValue(), end[1].doubleValue(), end[2].doubleValue(), end[3].doubleValue());
    }
    keyboard = view()->convertRectFromView(keyboard, nullptr);
    // A hiding keyboard covers nothing, whatever end frame it reports.
    double overlap = 0;
    if (notification.name != UIKeyboardWillHideNotification) {
        const CGRect frame = scrollView_->frame();
        const double top = std::max(frame.origin.y, keyboard.origin.y);
        const double bottom = std::min(CGRectGetMaxY(frame), CGRectGetMaxY(keyboard));
        const bool across = std::max(frame.origin.x, keyboard.origin.x) < std::min(CGRectGetMaxX(frame), CGRectGetMaxX(keyboard));
        overlap = across && bottom > top ? bottom - top : 0;
    }
    const UIEdgeInsets insets{0, 0, overlap, 0};
    scrollView_->setContentInset(insets);
    scrollView_->setScrollIndicatorInsets(insets);
    if (overlap <= 0) return;

    const CGRect section = tableView_->convertRectToView(tableView_->rectForSection(0), scrollView_.get());
    if (section.size.height <= keyboard.origin.y) {
        scrollView_->scrollRectToVisible(section, true);
        return;
    }
    for (const auto& field : visibleTextFields_) {
        if (field->isEditing()) {
            scrollView_->scrollRectToVisible(field->convertRectToView(field->bounds(), scrollView_.get()), true);
            return;
        }
    }
    scrollView_->scrollRectToVisible(CGRectMake(section.origin.x, section.origin.y, section.size.width, 1), true);
}

void ZeduVIDataEntryViewController::willRotateToInterfaceOrientation(long, double) {
    platform::assertMainThread("ZeduVIDataEntryViewController::willRotateToInterfaceOrientation");
    activeTextField_.reset();
    for (const auto& field : visibleTextFields_) {
        if (field->isFirstResponder()) {
            activeTextField_ = field;
            field->resignFirstResponder();
            break;
        }
    }
}

void ZeduVIDataEntryViewController::didRotateFromInterfaceOrientation(long) {
    platform::assertMainThread("ZeduVIDataEntryViewController::didRotateFromInterfaceOrientation");
    if (isViewLoaded() && view()->bounds().size.height != oldHeight_) {
        showTableBorders(false);
        const std::weak_ptr<ZeduVIDataEntryViewController> weakSelf =
            std::static_pointer_cast<ZeduVIDataEntryViewController>(shared_from_this());
        // The layout lands at once and the borders return when the 0.4 s are
        // over: the view stand-ins animate alpha only.
        UIViewAnimation::animateWithDuration(
            kTransitionDuration, [this] { layoutForCurrentOrientation(); },
            [weakSelf](bool) {
                if (const auto self = weakSelf.lock()) self->showTableBorders(true);
            });
    }
    if (const auto field = activeTextField_.lock()) field->becomeFirstResponder();
}

// --- Appear transition ---

void ZeduVIDataEntryViewController::finishFloatingCard() {
    if (floatingCardWindow_) floatingCardWindow_->setHidden(true);
    floatingCardView_.reset();
    floatingCardWindow_.reset();
    priorKeyWindow_.reset();
}

void ZeduVIDataEntryViewController::advanceLater(double delay) {
    const std::weak_ptr<ZeduVIDataEntryViewController> weakSelf =
        std::static_pointer_cast<ZeduVIDataEntryViewController>(shared_from_this());
    RunLoop::main().after(delay, [weakSelf] {
        if (const auto self = weakSelf.lock()) self->advanceToNextEmptyFieldFrom(nullptr);
    });
}

void ZeduVIDataEntryViewController::appearTransition() {
    if (!tableView_) return;
    const std::weak_ptr<ZeduVIDataEntryViewController> weakSelf =
        std::static_pointer_cast<ZeduVIDataEntryViewController>(shared_from_this());
    const bool wide = isWideScreenMode();

    if (!floatingCardView_) {
        tableView_->setAlpha(1);
        tableView_->setHidden(false);
        showTableBorders(true);
        advanceToNextEmptyFieldFrom(nullptr);
        return;
    }

    if (!cardView_) {
        if (wide) {
            tableView_->setAlpha(1);
            tableView_->setHidden(false);
            showTableBorders(true);
            if (floatingCardWindow_) floatingCardWindow_->setAlpha(0);
            finishFloatingCard();
        } else {
            tableView_->setAlpha(0);
            tableView_->setHidden(false);
            showTableBorders(false);
            std::shared_ptr<UIView> window = floatingCardWindow_;
            UIViewAnimation::transitionWithView(
                view(), kTransitionDuration, UIViewAnimationOptionNone,
                [this] { tableView_->setAlpha(1); },
                [weakSelf](bool) {
                    if (const auto self = weakSelf.lock()) {
                        self->showTableBorders(true);
                        self->finishFloatingCard();
                    }
                });
            // The floating window lies outside this view's tree; it fades by
            // its own transition.
            if (window) {
                UIViewAnimation::transitionWithView(window, kTransitionDuration, UIViewAnimationOptionNone,
                                                    [window] { window->setAlpha(0); }, nullptr);
            }
        }
        advanceLater(kAdvanceDelay);
        return;
    }

    const CGRect laidOut = cardView_->frame();
    CGRect start = laidOut;
    if (const auto superview = floatingCardView_->superview()) {
        const CGRect onScreen = superview->convertRectToView(floatingCardView_->frame(), nullptr);
        start = scrollView_->convertRectFromView(onScreen, nullptr);
    }
    cardView_->setFrame(start);
    cardView_->setHidden(false);
    finishFloatingCard();
    const bool hasRows = tableView_->numberOfRowsInSection(0) > 0;
    if (hasRows) {
        tableView_->setAlpha(0);
        tableView_->setHidden(false);
        showTableBorders(false);
    }
    animateFrameAndFade(cardView_, start, laidOut, hasRows ? tableView_ : nullptr, [weakSelf, wide] {
        const auto self = weakSelf.lock();
        if (!self) return;
        self->showTableBorders(true);
        if (wide) {
            self->advanceLater(kAdvanceDelay);
        } else {
            self->advanceToNextEmptyFieldFrom(nullptr);
        }
    });
}

}  // namespace cardscanner
