#pragma once
// ZeduVIView is the scan view, the embeddable one: shown, it runs a scan
// through a camera view of its own size (capture, frame analysis, guide
// overlay); at the end of a scan it shows the card image in its transition
// view and tells its delegate the result. Hidden, it stops scanning.
//
// Main thread only. The delegate is held weakly and told on the main
// thread: with the result record after a completed scan, or with nullptr
// when the view is shown while the camera cannot read cards.

#include <memory>
#include <optional>
#include <string>

#include "cardscanner/context/ZeduVIContext.h"
#include "platform/graphics/Color.h"
#include "platform/ui/View.h"

namespace cardscanner {

class ZeduVICameraView;
class ZeduVICardScanner;
class ZeduVICreditCardInfo;
class ZeduVITransitionView;
class ZeduVIView;

class ZeduVIViewDelegate {
public:
    virtual ~ZeduVIViewDelegate() = default;
    virtual void zeduVIViewDidScanCard(ZeduVIView& view, std::shared_ptr<ZeduVICreditCardInfo> cardInfo) = 0;
};

class ZeduVIView : public platform::UIView {
public:
    // The options are the context's (a null one gets the defaults); the view
    // and what it makes only read them, except through the setters below.
    static std::shared_ptr<ZeduVIView> create(platform::CGRect frame, std::shared_ptr<ZeduVIContext> context = nullptr);
    explicit ZeduVIView(platform::CGRect frame, std::shared_ptr<ZeduVIContext> context = nullptr);
    ~ZeduVIView() override;

    std::weak_ptr<ZeduVIViewDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<ZeduVIViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // Options, kept in the context the camera view reads.
    const std::shared_ptr<ZeduVIConfig>& config() const { return context_; }
    std::string languageOrLocale() const;
    void setLanguageOrLocale(std::string languageOrLocale);
    bool useZeduVILogo() const;
    void setUseZeduVILogo(bool use);
    bool hideZeduVILogo() const;
    void setHideZeduVILogo(bool hide);
    std::optional<platform::UIColor> guideColor() const;
    void setGuideColor(std::optional<platform::UIColor> color);
    bool allowFreelyRotatingCardGuide() const;
    void setAllowFreelyRotatingCardGuide(bool allow);
    std::string scanInstructions() const;
    void setScanInstructions(std::string instructions);
    // Read only while the expiry is collected too.
    bool scanExpiry() const;
    void setScanExpiry(bool scanExpiry);
    std::shared_ptr<platform::UIView> scanOverlayView() const;
    void setScanOverlayView(std::shared_ptr<platform::UIView> view);
    // The context's, until a scan turns from automatic to image only: from
    // then on the scan's, which the next scan starts in. Setting it starts
    // afresh from the value set.
    ZeduVIDetectionMode detectionMode() const;
    void setDetectionMode(ZeduVIDetectionMode mode);
    // Seconds the card image stays on screen before the delegate is told; 0
    // or less tells it at once.
    double scannedImageDuration() const { return scannedImageDuration_; }
    void setScannedImageDuration(double seconds) { scannedImageDuration_ = seconds; }

    // Acts only on a change: hiding stops a started scan, showing starts one
    // when the view is in a window and has a superview.
    void setHidden(bool hidden) override;

    // The camera preview's rectangle in this view; zero without a camera view.
    platform::CGRect cameraPreviewFrame() const;
    // The camera view's scanner; nullptr without a camera view.
    std::shared_ptr<ZeduVICardScanner> scanner() const;
    const std::shared_ptr<ZeduVICameraView>& cameraView() const { return cameraView_; }
    const std::shared_ptr<ZeduVITransitionView>& transitionView() const { return transitionView_; }

    void layoutSubviews() override;

private:
    void startScan();
    void stopScan();
    void cameraViewDidScanCard(std::shared_ptr<ZeduVICreditCardInfo> cardInfo);
    void tellDelegate(std::shared_ptr<ZeduVICreditCardInfo> cardInfo);

    std::weak_ptr<ZeduVIViewDelegate> delegate_;
    std::shared_ptr<ZeduVIContext> context_;
    std::optional<ZeduVIDetectionMode> scanDetectionMode_;
    double scannedImageDuration_ = 1.0;
    bool scanStarted_ = false;
    std::shared_ptr<ZeduVICameraView> cameraView_;
    std::shared_ptr<ZeduVITransitionView> transitionView_;
};

}  // namespace cardscanner
