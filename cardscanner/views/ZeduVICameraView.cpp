#include "cardscanner/views/ZeduVICameraView.h"

#include <algorithm>

#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/util/ZeduVILocalizedString.h"
#include "cardscanner/views/ZeduVIShutterView.h"
#include "cardscanner/util/ZeduVIUtilities.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/AffineTransform.h"
#include "platform/ui/Application.h"

namespace cardscanner {

using platform::CGRect;

namespace {

constexpr double kGuideAnimationDuration = 0.2;
constexpr double kShutterOpeningDuration = 0.5;
// The camera's picture, landscape as the sensor delivers it.
constexpr double kCameraWidth = 640;
constexpr double kCameraHeight = 480;
constexpr double kInstructionsHeight = 48;

bool isPortrait(long orientation) { return orientation == 1 || orientation == 2; }

}  // namespace

std::shared_ptr<ZeduVICameraView> ZeduVICameraView::create(CGRect frame, std::shared_ptr<ZeduVIContext> config) {
    auto view = std::make_shared<ZeduVICameraView>(frame, std::move(config));
    view->videoStream_->setDelegate(std::static_pointer_cast<ZeduVIVideoStreamDelegate>(view));
    view->cardGuide_ = ZeduVIGuideLayer::create(std::static_pointer_cast<ZeduVIGuideLayerDelegate>(view));
    view->cardGuide_->setAnimationDuration(kGuideAnimationDuration);
    view->cardGuide_->setDeviceOrientation(view->guideOrientation());
    view->cardGuide_->setGuideColor(view->config_->guideColor());
    view->layer().addSublayer(view->cardGuide_);
    return view;
}

ZeduVICameraView::ZeduVICameraView(CGRect frame, std::shared_ptr<ZeduVIContext> config)
    : UIView(frame), config_(config ? std::move(config) : std::make_shared<ZeduVIContext>()) {
    setBackgroundColor(platform::UIColor::blackColor());
    setAutoresizingMask(platform::UIViewAutoresizingFlexibleWidth | platform::UIViewAutoresizingFlexibleHeight);
    videoStream_ = ZeduVIVideoStream::create();
    videoStream_->setConfig(config_);
    layer().addSublayer(videoStream_->previewLayer());

    // Under the shutter: nothing shows before the camera does.
    instructions_ = std::make_shared<platform::UILabel>(CGRect{});
    instructions_->setTextColor(platform::UIColor::whiteColor());
    instructions_->setTextAlignment(platform::NSTextAlignmentCenter);
    const std::string custom = config_->scanInstructions();
    instructions_->setText(custom.empty() ? localized_string("scan_guide", config_->languageOrLocale()) : custom);
    addSubview(instructions_);

    shutter_ = std::make_shared<ZeduVIShutterView>(CGRect{});
    shutter_->setOpenAnimatedDuration(false, false, 0);
    addSubview(shutter_);

    if (const auto& overlay = config_->scanOverlayView()) addSubview(overlay);
}

ZeduVICameraView::~ZeduVICameraView() { config_->orientation().removeListener(this); }

void ZeduVICameraView::startVideoStreamSession() {
    platform::assertMainThread("ZeduVICameraView::startVideoStreamSession");
    completed_ = false;
    framesProcessed_ = 0;
    std::weak_ptr<UIView> weakSelf = weak_from_this();
    config_->orientation().addListener(this, [weakSelf] {
        if (auto self = std::static_pointer_cast<ZeduVICameraView>(weakSelf.lock()))
            self->didReceiveDeviceOrientationNotification();
    });
    videoStream_->willAppear();
    videoStream_->startSession();
    didReceiveDeviceOrientationNotification();
}

void ZeduVICameraView::stopVideoStreamSession() {
    platform::assertMainThread("ZeduVICameraView::stopVideoStreamSession");
    stopCapture();
    shutter_->setOpenAnimatedDuration(false, false, 0);
}

void ZeduVICameraView::stopCapture() {
    videoStream_->stopSession();
    videoStream_->willDisappear();
    config_->orientation().removeListener(this);
}

bool ZeduVICameraView::isRunning() const { return videoStream_->running(); }

std::shared_ptr<ZeduVICardScanner> ZeduVICameraView::scanner() const { return videoStream_->scanner(); }

CGRect ZeduVICameraView::cameraPreviewFrame() const {
    const CGRect b = bounds();
    if (b.size.width <= 0 || b.size.height <= 0) return CGRect{};
    const long statusBar = platform::UIApplication::sharedApplication().statusBarOrientation();
    const double pictureWidth = isPortrait(statusBar) ? kCameraHeight : kCameraWidth;
    const double pictureHeight = isPortrait(statusBar) ? kCameraWidth : kCameraHeight;
    const double scale = std::min(b.size.width / pictureWidth, b.size.height / pictureHeight);
    const double width = pictureWidth * scale;
    const double height = pictureHeight * scale;
    return CGRect{{b.origin.x + (b.size.width - width) / 2, b.origin.y + (b.size.height - height) / 2},
                  {width, height}};
}

void ZeduVICameraView::layoutSubviews() {
    platform::assertMainThread("ZeduVICameraView::layoutSubviews");
    const CGRect preview = cameraPreviewFrame();
    videoStream_->previewLayer()->setFrame(preview);
    cardGuide_->setFrame(preview);
    shutter_->setFrame(preview);
    if (const auto& overlay = config_->scanOverlayView()) overlay->setFrame(bounds());
}

void ZeduVICameraView::videoStreamDidProcessFrame(ZeduVIVideoStream&, std::shared_ptr<ZeduVIVideoFrame> frame) {
    platform::assertMainThread("ZeduVICameraView::videoStreamDidProcessFrame");
    if (completed_ || !frame) return;
    if (++framesProcessed_ == 1) platform::log("card scanner: first camera frame");
    shutter_->setOpenAnimatedDuration(true, true, kShutterOpeningDuration);
    cardGuide_->setVideoFrame(frame);
    const bool numberRead = frame->cardInfo() != nullptr;
    const bool imageTaken = frame->detectionMode() == ZeduVIDetectionModeImage && frame->cardY() && frame->cardCb();
    if (!numberRead && !imageTaken) return;
    completed_ = true;
    if (scanCompletion_) scanCompletion_(frame);
}

void ZeduVICameraView::videoStreamDidChangeDetectionMode(ZeduVIVideoStream&, ZeduVIDetectionMode mode) {
    platform::assertMainThread("ZeduVICameraView::videoStreamDidChangeDetectionMode");
    if (detectionModeChange_) detectionModeChange_(mode);
}

// A guide that may not turn freely stays with the interface.
bool ZeduVICameraView::isSupportedOverlayOrientation(long orientation) {
    if (config_->allowFreelyRotatingCardGuide()) return ZeduVIOrientation::isInterfaceOrientation(orientation);
    return orientation == platform::UIApplication::sharedApplication().statusBarOrientation();
}

long ZeduVICameraView::defaultSupportedOverlayOrientation() {
    return platform::UIApplication::sharedApplication().statusBarOrientation();
}

// Over the faux card, turned as the guide is, so it reads upright to
// whoever holds the card to it.
void ZeduVICameraView::guideLayerDidLayout(CGRect rect) {
    platform::assertMainThread("ZeduVICameraView::guideLayerDidLayout");
    const CGRect preview = cameraPreviewFrame();
    const long orientation = cardGuide_->deviceOrientation();
    const bool sideways = orientation == 3 || orientation == 4;
    instructions_->setTransform(platform::CGAffineTransformIdentity);
    instructions_->setBounds(CGRect{{0, 0}, {sideways ? rect.size.height : rect.size.width, kInstructionsHeight}});
    instructions_->setCenter({preview.origin.x + rect.origin.x + rect.size.width / 2,
                              preview.origin.y + rect.origin.y + rect.size.height / 2});
    instructions_->setTransform(
        platform::CGAffineTransformMakeRotation(ZeduVIUtilities::rotationForDeviceOrientation(orientation)));
}

long ZeduVICameraView::guideOrientation() {
    return config_->orientation().resolve(
        cardGuide_ ? cardGuide_->deviceOrientation() : 0,
        [this](long orientation) { return isSupportedOverlayOrientation(orientation); },
        defaultSupportedOverlayOrientation());
}

void ZeduVICameraView::didReceiveDeviceOrientationNotification() {
    cardGuide_->didRotateToDeviceOrientation(guideOrientation());
}

}  // namespace cardscanner
