#include "cardscanner/views/ZeduVIView.h"

#include "cardscanner/views/ZeduVICameraView.h"
#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/views/ZeduVIGuideLayer.h"
#include "cardscanner/analysis/ZeduVIReadCardInfo.h"
#include "cardscanner/views/ZeduVITransitionView.h"
#include "cardscanner/util/ZeduVIUtilities.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ViewAnimation.h"

namespace cardscanner {

using platform::CGRect;

namespace {

constexpr double kTransitionFadeDuration = 0.25;

}  // namespace

std::shared_ptr<ZeduVIView> ZeduVIView::create(CGRect frame, std::shared_ptr<ZeduVIContext> context) {
    return std::make_shared<ZeduVIView>(frame, std::move(context));
}

ZeduVIView::ZeduVIView(CGRect frame, std::shared_ptr<ZeduVIContext> context)
    : UIView(frame),
      context_(context ? std::move(context) : std::make_shared<ZeduVIContext>()),
      transitionView_(std::make_shared<ZeduVITransitionView>(CGRect{{0, 0}, frame.size})) {}

ZeduVIView::~ZeduVIView() {
    if (cameraView_) cameraView_->stopCapture();
}

std::string ZeduVIView::languageOrLocale() const { return context_->languageOrLocale(); }
void ZeduVIView::setLanguageOrLocale(std::string value) { context_->setLanguageOrLocale(std::move(value)); }
bool ZeduVIView::useZeduVILogo() const { return context_->useZeduVILogo(); }
void ZeduVIView::setUseZeduVILogo(bool use) { context_->setUseZeduVILogo(use); }
bool ZeduVIView::hideZeduVILogo() const { return context_->hideZeduVILogo(); }
void ZeduVIView::setHideZeduVILogo(bool hide) { context_->setHideZeduVILogo(hide); }
std::optional<platform::UIColor> ZeduVIView::guideColor() const { return context_->guideColor(); }
void ZeduVIView::setGuideColor(std::optional<platform::UIColor> color) { context_->setGuideColor(color); }
bool ZeduVIView::allowFreelyRotatingCardGuide() const { return context_->allowFreelyRotatingCardGuide(); }
void ZeduVIView::setAllowFreelyRotatingCardGuide(bool allow) { context_->setAllowFreelyRotatingCardGuide(allow); }
std::string ZeduVIView::scanInstructions() const { return context_->scanInstructions(); }
void ZeduVIView::setScanInstructions(std::string value) { context_->setScanInstructions(std::move(value)); }
bool ZeduVIView::scanExpiry() const { return context_->readsExpiry(); }
void ZeduVIView::setScanExpiry(bool scanExpiry) { context_->setScanExpiry(scanExpiry); }
std::shared_ptr<platform::UIView> ZeduVIView::scanOverlayView() const { return context_->scanOverlayView(); }
void ZeduVIView::setScanOverlayView(std::shared_ptr<platform::UIView> view) {
    context_->setScanOverlayView(std::move(view));
}
ZeduVIDetectionMode ZeduVIView::detectionMode() const {
    return scanDetectionMode_.value_or(context_->detectionMode());
}
void ZeduVIView::setDetectionMode(ZeduVIDetectionMode mode) {
    context_->setDetectionMode(mode);
    scanDetectionMode_.reset();
}

void ZeduVIView::setHidden(bool hidden) {
    platform::assertMainThread("ZeduVIView::setHidden");
    if (hidden == isHidden()) return;
    UIView::setHidden(hidden);
    if (hidden) {
        stopScan();
    } else if (!scanStarted_ && superview() && window()) {
        startScan();
    }
}

CGRect ZeduVIView::cameraPreviewFrame() const {
    if (!cameraView_) return CGRect{};
    return cameraView_->convertRectToView(cameraView_->cameraPreviewFrame(), this);
}

std::shared_ptr<ZeduVICardScanner> ZeduVIView::scanner() const {
    return cameraView_ ? cameraView_->scanner() : nullptr;
}

void ZeduVIView::layoutSubviews() {
    platform::assertMainThread("ZeduVIView::layoutSubviews");
    if (cameraView_) cameraView_->setFrame(bounds());
    transitionView_->setFrame(bounds());
}

void ZeduVIView::startScan() {
    scanStarted_ = true;
    if (!ZeduVIUtilities::canReadCardWithCamera()) {
        tellDelegate(nullptr);
        return;
    }
    cameraView_ = ZeduVICameraView::create(bounds(), context_);
    if (scanDetectionMode_) cameraView_->videoStream()->setDetectionMode(*scanDetectionMode_);
    std::weak_ptr<UIView> weakSelf = weak_from_this();
    cameraView_->setDetectionModeChange([weakSelf](ZeduVIDetectionMode mode) {
        if (const auto self = std::static_pointer_cast<ZeduVIView>(weakSelf.lock())) self->scanDetectionMode_ = mode;
    });
    cameraView_->setScanCompletion([weakSelf](const std::shared_ptr<ZeduVIVideoFrame>& frame) {
        auto self = std::static_pointer_cast<ZeduVIView>(weakSelf.lock());
        if (!self || !frame) return;
        auto info = std::make_shared<ZeduVICreditCardInfo>();
        if (const auto& read = frame->cardInfo()) {
            info->setCardNumber(read->number());
            info->setExpiryMonth(read->expiryMonth());
            info->setExpiryYear(read->expiryYear());
        }
        info->setScanned(true);
        info->setCardImage(frame->imageWithGrayscale(false));
        const int frames = self->cameraView_ ? self->cameraView_->framesProcessed() : 0;
        if (info->cardNumber().empty()) {
            platform::logf("card scanner: card image taken after %d frames", frames);
        } else {
            platform::logf("card scanner: card %s read after %d frames", info->redactedCardNumber().c_str(), frames);
        }
        self->cameraViewDidScanCard(std::move(info));
    });
    insertSubviewAtIndex(cameraView_, 0);
    // Capture starts once the view is on screen, as the platform's session
    // would only be asked to run from the next turn.
    std::weak_ptr<ZeduVICameraView> weakCamera = cameraView_;
    platform::RunLoop::main().post([weakSelf, weakCamera] {
        auto self = std::static_pointer_cast<ZeduVIView>(weakSelf.lock());
        auto camera = weakCamera.lock();
        if (self && camera && self->cameraView_ == camera && self->scanStarted_) camera->startVideoStreamSession();
    });
}

void ZeduVIView::stopScan() {
    if (!scanStarted_) return;
    scanStarted_ = false;
    if (cameraView_) {
        cameraView_->stopVideoStreamSession();
        cameraView_->removeFromSuperview();
        cameraView_ = nullptr;
    }
    transitionView_->removeFromSuperview();
    transitionView_->releaseCard();
}

void ZeduVIView::cameraViewDidScanCard(std::shared_ptr<ZeduVICreditCardInfo> cardInfo) {
    const CGRect guide = cameraView_->cardGuide()->guideFrame();
    const CGRect preview = cameraView_->cameraPreviewFrame();
    const long orientation = cameraView_->cardGuide()->deviceOrientation();
    cameraView_->stopVideoStreamSession();
    if (scannedImageDuration_ <= 0) {
        transitionView_->setHidden(true);
        tellDelegate(std::move(cardInfo));
        return;
    }
    transitionView_->setHidden(false);
    transitionView_->setFrame(bounds());
    transitionView_->showCard(cardInfo->cardImage(),
                              CGRect{{preview.origin.x + guide.origin.x, preview.origin.y + guide.origin.y}, guide.size},
                              orientation);
    transitionView_->setAlpha(0);
    addSubview(transitionView_);
    std::weak_ptr<UIView> weakSelf = weak_from_this();
    const double hold = scannedImageDuration_;
    platform::UIViewAnimation::transitionWithView(
        transitionView_, kTransitionFadeDuration, platform::UIViewAnimationOptionNone,
        [this] { transitionView_->setAlpha(1); },
        [weakSelf, hold, cardInfo](bool) {
            platform::RunLoop::main().after(hold, [weakSelf, cardInfo] {
                auto self = std::static_pointer_cast<ZeduVIView>(weakSelf.lock());
                if (!self) return;
                self->tellDelegate(cardInfo);
                self->transitionView_->removeFromSuperview();
            });
        });
}

void ZeduVIView::tellDelegate(std::shared_ptr<ZeduVICreditCardInfo> cardInfo) {
    // The delegate takes what it needs of the transition's card at once.
    if (auto delegate = delegate_.lock()) delegate->zeduVIViewDidScanCard(*this, std::move(cardInfo));
    transitionView_->releaseCard();
}

}  // namespace cardscanner
