#include "cardscanner/screens/ZeduVIViewController.h"

#include "cardscanner/util/ZeduVIUtilities.h"

#include <cmath>
#include <numbers>

#include "cardscanner/context/ZeduVIAnalytics.h"
#include "cardscanner/form/ZeduVIDataEntryViewController.h"
#include "cardscanner/util/ZeduVILocalizedString.h"
#include "cardscanner/util/ZeduVIMacros.h"
#include "cardscanner/context/ZeduVIScannerHost.h"
#include "cardscanner/views/ZeduVITransitionView.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/AffineTransform.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Path.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewAnimation.h"
#include "platform/ui/Window.h"

namespace cardscanner {

using namespace platform;

namespace {

// Degrees of an orientation 1..4 (portrait, upside down, and the two landscapes).
std::optional<double> orientationAngle(long orientation) {
    switch (orientation) {
        case 1: return 0;
        case 2: return 180;
        case 3: return 90;
        case 4: return 270;
        default: return std::nullopt;
    }
}


bool isEmpty(CGRect rect) { return !(std::abs(rect.size.width) > 0) || !(std::abs(rect.size.height) > 0); }

}  // namespace

ZeduVIViewController::ZeduVIViewController() : ZeduVIViewController(nullptr) {}

ZeduVIViewController::ZeduVIViewController(std::shared_ptr<ZeduVIContext> context)
    : context_(context ? std::move(context) : std::make_shared<ZeduVIContext>()),
      statusBarWasOriginallyHidden_(UIApplication::sharedApplication().isStatusBarHidden()) {
    if (ZeduVIMacros::deviceSystemMajorVersion() < 7) {
        setWantsFullScreenLayout(true);
    } else {
        setAutomaticallyAdjustsScrollViewInsets(true);
        setEdgesForExtendedLayout(UIRectEdgeNone);
    }
}

ZeduVIViewController::~ZeduVIViewController() { context_->orientation().removeListener(this); }

void ZeduVIViewController::setContext(std::shared_ptr<ZeduVIContext> context) {
    platform::assertMainThread("ZeduVIViewController::setContext");
    if (!context || context == context_) return;
    context_->orientation().removeListener(this);
    context_ = std::move(context);
}

std::shared_ptr<ZeduVIScannerHost> ZeduVIViewController::host() {
    return std::dynamic_pointer_cast<ZeduVIScannerHost>(navigationController());
}

// --- Life cycle ---

void ZeduVIViewController::viewDidLoad() {
    platform::assertMainThread("ZeduVIViewController::viewDidLoad");
    UIViewController::viewDidLoad();
    const auto root = view();
    root->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    root->setBackgroundColor(UIColor::colorWithWhiteAlpha(0.15, 1));

    const CGRect b = root->bounds();
    zeduVIView_ =
        ZeduVIView::create(CGRectMake(0, 0, std::round(b.size.width), std::round(b.size.height)), context_);
    // Hidden until the screen appears, so that showing it then is a change and starts the scan.
    zeduVIView_->setHidden(true);
    if (const auto self = weak_from_this().lock()) {
        zeduVIView_->setDelegate(std::static_pointer_cast<ZeduVIViewController>(self));
    }
    zeduVIView_->setScannedImageDuration(0.1);
    root->addSubview(zeduVIView_);

    const std::string& language = context_->languageOrLocale();
    cancelButton_ = makeButtonWithTitle(localized_string("cancel", language), &ZeduVIViewController::cancel);
    cancelButtonFrameSize_ = cancelButton_->frame().size;
    root->addSubview(cancelButton_);
    if (!context_->disableManualEntryButtons()) {
        manualEntryButton_ =
            makeButtonWithTitle(localized_string("manual_entry", language), &ZeduVIViewController::manualEntry);
        manualEntryButtonFrameSize_ = manualEntryButton_->frame().size;
        root->addSubview(manualEntryButton_);
    }

    shadowLayer_ = CALayer::layer();
    shadowLayer_->setShadowRadius(3);
    shadowLayer_->setShadowColor(UIColor::blackColor());
    shadowLayer_->setShadowOffset(CGSize{0, 0});
    shadowLayer_->setShadowOpacity(0.5);
    shadowLayer_->setMasksToBounds(false);
    zeduVIView_->layer().insertSublayerAtIndex(shadowLayer_, 0);
}

void ZeduVIViewController::viewWillLayoutSubviews() {
    platform::assertMainThread("ZeduVIViewController::viewWillLayoutSubviews");
    UIViewController::viewWillLayoutSubviews();
    if (!zeduVIView_) return;
    zeduVIView_->setFrame(view()->bounds());
    // Without a container this screen is presented on its own, full screen.
    const auto container = host() ? navigationController() : nullptr;
    const long style = container ? container->modalPresentationStyle() : modalPresentationStyle();
    if (style == UIModalPresentationFullScreen && ZeduVIMacros::appHasViewControllerBasedStatusBar() &&
        !statusBarWasOriginallyHidden_) {
        changeStatusBarHiddenStatus_ = true;
        newStatusBarHiddenStatus_ = true;
    }
}

void ZeduVIViewController::viewDidLayoutSubviews() {
    platform::assertMainThread("ZeduVIViewController::viewDidLayoutSubviews");
    UIViewController::viewDidLayoutSubviews();
    if (!zeduVIView_) return;
    zeduVIView_->layoutIfNeeded();
    const CGRect preview = zeduVIView_->cameraPreviewFrame();
    const CGMutablePathRef path = CGPathCreateMutable();
    CGPathAddRect(path, CGRectMake(preview.origin.x - 3, preview.origin.y - 3, preview.size.width + 6,
                                   preview.size.height + 6));
    shadowLayer_->setShadowPath(path);
    layoutButtonsForCameraPreviewFrame(preview);
}

void ZeduVIViewController::viewWillAppear(bool animated) {
    platform::assertMainThread("ZeduVIViewController::viewWillAppear");
    UIViewController::viewWillAppear(animated);
    deviceOrientation_ = 0;
    view();
    zeduVIView_->setHidden(false);
    scanViewShownOutsideWindow_ = !zeduVIView_->window();
    if (const auto navigation = navigationController()) navigation->setNavigationBarHidden(true, animated);

    // One registration at a time, however often the screen reappears.
    const std::weak_ptr<UIViewController> weakSelf = weak_from_this();
    context_->orientation().addListener(this, [weakSelf] {
        if (const auto self = std::static_pointer_cast<ZeduVIViewController>(weakSelf.lock())) {
            self->didReceiveDeviceOrientationNotification(nullptr);
        }
    });
    didReceiveDeviceOrientationNotification(nullptr);
}

void ZeduVIViewController::viewDidAppear(bool animated) {
    platform::assertMainThread("ZeduVIViewController::viewDidAppear");
    UIViewController::viewDidAppear(animated);
    // The scan view starts only inside a window, and the platform tells a
    // controller it will appear before its view is put in one.
    if (scanViewShownOutsideWindow_ && zeduVIView_ && !zeduVIView_->isHidden() && zeduVIView_->window()) {
        zeduVIView_->setHidden(true);
        zeduVIView_->setHidden(false);
    }
    scanViewShownOutsideWindow_ = false;
    if (changeStatusBarHiddenStatus_) updateStatusBar(newStatusBarHiddenStatus_);
}

void ZeduVIViewController::viewWillDisappear(bool animated) {
    platform::assertMainThread("ZeduVIViewController::viewWillDisappear");
    context_->orientation().removeListener(this);
    if (zeduVIView_) zeduVIView_->setHidden(true);
    if (changeStatusBarHiddenStatus_) updateStatusBar(statusBarWasOriginallyHidden_);
    UIViewController::viewWillDisappear(animated);
}

void ZeduVIViewController::updateStatusBar(bool hidden) {
    // The platform's bar has no fade; it changes at once.
    UIApplication::sharedApplication().setStatusBarHidden(hidden);
    if (ZeduVIMacros::deviceSystemMajorVersion() >= 7) setNeedsStatusBarAppearanceUpdate();
}

// --- Rotation and status bar ---

bool ZeduVIViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    if (const auto navigation = navigationController()) {
        return navigation->shouldAutorotateToInterfaceOrientation(orientation);
    }
    return UIViewController::shouldAutorotateToInterfaceOrientation(orientation);
}

bool ZeduVIViewController::shouldAutorotate() {
    if (const auto navigation = navigationController()) return navigation->shouldAutorotate();
    return UIViewController::shouldAutorotate();
}

unsigned long ZeduVIViewController::supportedInterfaceOrientations() {
    if (const auto navigation = navigationController()) return navigation->supportedInterfaceOrientations();
    return UIViewController::supportedInterfaceOrientations();
}

bool ZeduVIViewController::prefersStatusBarHidden() {
    return changeStatusBarHiddenStatus_ ? newStatusBarHiddenStatus_ : true;
}

// --- Overlay orientations ---

unsigned long ZeduVIViewController::supportedOverlayOrientationsMask() {
    const auto container = host();
    return container ? container->supportedOverlayOrientationsMask() : 30;
}

bool ZeduVIViewController::isSupportedOverlayOrientation(long orientation) {
    // Shifts past the mask's width say no rather than overflow.
    if (orientation < 0 || orientation >= 64) return false;
    return (supportedOverlayOrientationsMask() & (1ul << orientation)) != 0;
}

long ZeduVIViewController::defaultSupportedOverlayOrientation() {
    if (context_->allowFreelyRotatingCardGuide()) return 1;
    for (const long orientation : {1L, 2L, 3L}) {
        if (isSupportedOverlayOrientation(orientation)) return orientation;
    }
    return 0;
}

void ZeduVIViewController::didReceiveDeviceOrientationNotification(const Notification*) {
    platform::assertMainThread("ZeduVIViewController::didReceiveDeviceOrientationNotification");
    const CGRect preview = zeduVIView_ ? zeduVIView_->cameraPreviewFrame() : CGRectZero;
    const long device = UIDevice::currentDevice().orientation();
    const CGRect buttonFrame = device == 3 || device == 4
                                   ? CGRectMake(preview.origin.y, preview.origin.x, preview.size.height, preview.size.width)
                                   : preview;
    // Only a host remembers the last layout; a screen on its own starts afresh.
    ZeduVIOrientation& model = context_->orientation();
    const bool hosted = host() != nullptr;
    const long orientation = ZeduVIOrientation::resolve(
        deviceOrientation_, hosted ? model.interfaceOrientation() : 0,
        [this](long o) { return isSupportedOverlayOrientation(o); }, defaultSupportedOverlayOrientation());
    if (orientation == deviceOrientation_) return;
    deviceOrientation_ = orientation;
    if (hosted) model.setInterfaceOrientation(orientation);
    if (isEmpty(buttonFrame)) {
        if (isViewLoaded()) view()->setNeedsLayout();
        return;
    }
    const std::weak_ptr<UIViewController> weakSelf = weak_from_this();
    UIViewAnimation::animateWithDuration(
        0.2,
        [weakSelf, buttonFrame] {
            if (const auto self = std::static_pointer_cast<ZeduVIViewController>(weakSelf.lock())) {
                self->layoutButtonsForCameraPreviewFrame(buttonFrame);
            }
        },
        nullptr);
}

// --- Buttons ---

std::shared_ptr<UIButton> ZeduVIViewController::makeButtonWithTitle(const std::string& title, Action action) {
    platform::assertMainThread("ZeduVIViewController::makeButtonWithTitle");
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    const UIFont font = UIFont::boldSystemFontOfSize(18);
    button->setTitleFont(font);
    button->setTitle(title, UIControlStateNormal);
    button->setTitleColor(UIColor::colorWithWhiteAlpha(1, 0.8), UIControlStateNormal);
    button->setTitle(title, UIControlStateHighlighted);
    button->setTitleColor(UIColor::whiteColor(), UIControlStateHighlighted);
    const CGSize text = sizeWithFont(title, font);
    button->setBounds(CGRectMake(0, 0, std::ceil(text.width) + 20, std::ceil(text.height) + 20));
    const std::weak_ptr<UIViewController> weakSelf = weak_from_this();
    button->addTarget(
        [weakSelf, action](UIControl&) {
            if (const auto self = std::static_pointer_cast<ZeduVIViewController>(weakSelf.lock())) ((*self).*action)();
        },
        UIControlEventTouchUpInside);
    return button;
}

void ZeduVIViewController::layoutButtonsForCameraPreviewFrame(CGRect f) {
    platform::assertMainThread("ZeduVIViewController::layoutButtonsForCameraPreviewFrame");
    if (isEmpty(f) || !cancelButton_) return;
    const auto place = [](UIButton& button, CGRect frame) {
        const CGAffineTransform saved = button.transform();
        button.setTransform(CGAffineTransformIdentity);
        button.setFrame(frame);
        button.setTransform(saved);
    };
    const double maxX = f.origin.x + f.size.width, maxY = f.origin.y + f.size.height;
    const CGSize cancelSize = cancelButtonFrameSize_, manualSize = manualEntryButtonFrameSize_;
    place(*cancelButton_,
          CGRectMake(f.origin.x + 5, maxY - cancelSize.height - 5, cancelSize.width, cancelSize.height));
    if (manualEntryButton_) {
        place(*manualEntryButton_, CGRectMake(maxX - manualSize.width - 5, maxY - manualSize.height - 5,
                                              manualSize.width, manualSize.height));
    }

    const double interface =
        360 + orientationAngle(UIApplication::sharedApplication().statusBarOrientation()).value_or(0);
    const double device = orientationAngle(deviceOrientation_).value_or(0);
    const long d = static_cast<long>(interface - device) % 360;
    const double degrees = d == 180 ? -180 : d == 270 ? -270 : d == 90 ? -90 : 0;
    const CGAffineTransform r = CGAffineTransformMakeRotation(degrees * std::numbers::pi / 180);
    if (d != 90 && d != 270) {
        cancelButton_->setTransform(r);
        if (manualEntryButton_) manualEntryButton_->setTransform(r);
        return;
    }
    const double sign = d == 270 ? -1 : 1;
    const double c = sign * (cancelSize.width - cancelSize.height) / 2;
    const double m = sign * (manualSize.width - manualSize.height) / 2;
    cancelButton_->setTransform(CGAffineTransformTranslate(r, c, -c));
    if (manualEntryButton_) manualEntryButton_->setTransform(CGAffineTransformTranslate(r, m, m));
}

// --- Actions ---

void ZeduVIViewController::cancel() {
    platform::assertMainThread("ZeduVIViewController::cancel");
    if (const auto& report = context_->scanReport()) {
        report->reportEventWithLabel("scan_cancel", zeduVIView_ ? zeduVIView_->scanner() : nullptr);
    }
    if (zeduVIView_) zeduVIView_->setHidden(true);
    const auto container = host();
    if (const auto navigation = navigationController()) navigation->setNavigationBarHidden(false, true);
    if (container) container->scannerDidCancel();
}

void ZeduVIViewController::manualEntry() {
    platform::assertMainThread("ZeduVIViewController::manualEntry");
    if (const auto& report = context_->scanReport()) {
        report->reportEventWithLabel("scan_manual_entry", zeduVIView_ ? zeduVIView_->scanner() : nullptr);
    }
    auto form = ZeduVIDataEntryViewController::initWithContext(context_, statusBarWasOriginallyHidden_);
    form->setManualEntry(true);
    handOverToDataEntry();
    pushDataEntry(std::move(form), true);
}

void ZeduVIViewController::handOverToDataEntry() {
    const auto container = host();
    if (!container) return;
    container->setCurrentViewControllerIsDataEntry(true);
    context_->orientation().setInterfaceOrientation(deviceOrientation_);
}

void ZeduVIViewController::pushDataEntry(std::shared_ptr<UIViewController> form, bool animated) {
    const auto navigation = navigationController();
    if (!navigation) {
        log("ZeduVIViewController: no navigation controller to show the form in");
        return;
    }
    if (ZeduVIMacros::deviceSystemMajorVersion() >= 8) {
        navigation->pushViewController(std::move(form), animated);
        return;
    }
    const std::weak_ptr<UIViewController> weakNavigation = navigation;
    navigation->presentViewController(std::make_shared<UIViewController>(), false, [weakNavigation, form, animated] {
        const auto presenter = weakNavigation.lock();
        if (!presenter) return;
        presenter->dismissViewControllerAnimated(false, [weakNavigation, form, animated] {
            if (const auto n = std::dynamic_pointer_cast<UINavigationController>(weakNavigation.lock())) {
                n->pushViewController(form, animated);
            }
        });
    });
}

// --- Scan result ---

void ZeduVIViewController::zeduVIViewDidScanCard(ZeduVIView& scanView, std::shared_ptr<ZeduVICreditCardInfo> info) {
    platform::assertMainThread("ZeduVIViewController::zeduVIViewDidScanCard");
    // An automatic scan may have turned to the card image; the host reads
    // the mode the scan ended in from the context.
    const ZeduVIDetectionMode mode = scanView.detectionMode();
    context_->setDetectionMode(mode);
    const bool imageOnly = mode == ZeduVIDetectionModeImage;
    const bool hasNumber = info && !info->cardNumber().empty();

    if (hasNumber && !context_->suppressScanConfirmation() && !imageOnly) {
        auto form = ZeduVIDataEntryViewController::initWithContext(context_, statusBarWasOriginallyHidden_);
        const auto& transition = scanView.transitionView();
        const std::shared_ptr<UIImageView> cardView = transition ? transition->cardView() : nullptr;
        form->setCardImage(cardView ? cardView->image() : nullptr);
        form->setCardInfo(info);
        form->setManualEntry(context_->suppressScannedCardImage());

        UIApplication& application = UIApplication::sharedApplication();
        const long interface = application.statusBarOrientation();
        CGPoint center;
        if (cardView) center = transition->convertPointToView(cardView->center(), view().get());
        const bool phoneLandscape = UIDevice::currentDevice().userInterfaceIdiom() == UIUserInterfaceIdiomPhone &&
                                    (interface == 3 || interface == 4);
        center.y -= phoneLandscape ? 32 : 44;
        form->setCardImageCenter(center);

        CGSize size;
        if (cardView) {
            // A turned card's size, made positive: the transform's signs say
            // which way it turned, not how big it is.
            const CGSize turned = CGSizeApplyAffineTransform(cardView->bounds().size, cardView->transform());
            size = CGSize{std::abs(turned.width), std::abs(turned.height)};
        }
        form->setCardImageSize(size);

        std::shared_ptr<UIWindow> prior = UIWindow::keyWindow();
        if (!prior) {
            const auto windows = UIWindow::windows();
            if (!windows.empty()) prior = windows.back();
        }
        form->setPriorKeyWindow(prior);

        auto window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
        window->setBackgroundColor(UIColor::clearColor());
        auto floating = std::make_shared<UIImageView>(cardView ? cardView->image() : nullptr);
        floating->setBounds(CGRectMake(0, 0, size.width, size.height));
        if (cardView) {
            const auto superview = cardView->superview();
            floating->setCenter(superview ? superview->convertPointToView(cardView->center(), window.get())
                                          : cardView->center());
        }
        // The card keeps its proportions when the guide's are not the same.
        floating->setContentMode(UIViewContentModeScaleAspectFit);
        floating->setBackgroundColor(UIColor::blackColor());
        floating->layer().setCornerRadius(floating->bounds().size.width / 300 * 9);
        floating->layer().setMasksToBounds(true);
        floating->layer().setBorderColor(UIColor::grayColor());
        floating->layer().setBorderWidth(2);
        floating->setTransform(
            CGAffineTransformMakeRotation(ZeduVIUtilities::rotationForDeviceOrientation(interface)));
        floating->setHidden(!transition || transition->isHidden());
        window->addSubview(floating);
        window->setHidden(false);
        form->setFloatingCardView(floating);
        form->setFloatingCardWindow(window);

        handOverToDataEntry();
        pushDataEntry(std::move(form), false);
        return;
    }

    if (const auto navigation = navigationController()) navigation->setNavigationBarHidden(false, true);
    const auto container = host();
    if (!container) return;
    if (hasNumber || imageOnly) {
        container->scannerDidProvideCreditCardInfo(std::move(info));
    } else {
        container->scannerDidCancel();
    }
}

}  // namespace cardscanner
