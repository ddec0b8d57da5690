#pragma once
// The scanner's options, one object for a whole scan: the host sets them
// (through the payment view controller's properties, which read and write
// here), and the screens, the scan view, the camera view and the capture
// stream are each handed this same object when they are made and only read
// it, except for the camera screen, which writes back the detection mode a
// scan ended in. It also carries the orientation model the screens share.
//
// Threads: the main thread sets every option. The capture queue reads
// collectExpiry, scanExpiry and detectionMode for every frame, so those are
// atomic; the others, and the orientation model, are main-thread only.

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "cardscanner/analysis/ZeduVIDetectionMode.h"
#include "cardscanner/context/ZeduVIOrientation.h"
#include "platform/graphics/Color.h"

namespace platform {
class UIView;
}

namespace cardscanner {

class ZeduVIAnalytics;

class ZeduVIContext : public std::enable_shared_from_this<ZeduVIContext> {
public:
    ZeduVIContext();
    ~ZeduVIContext();
    ZeduVIContext(const ZeduVIContext&) = delete;
    ZeduVIContext& operator=(const ZeduVIContext&) = delete;

    // The scan options' own name for this object.
    std::shared_ptr<ZeduVIContext> config() { return shared_from_this(); }

    ZeduVIOrientation& orientation() { return orientation_; }

    bool collectCVV() const { return collectCVV_; }
    void setCollectCVV(bool value) { collectCVV_ = value; }
    bool collectExpiry() const { return collectExpiry_.load(); }
    void setCollectExpiry(bool value) { collectExpiry_.store(value); }
    bool collectPostalCode() const { return collectPostalCode_; }
    void setCollectPostalCode(bool value) { collectPostalCode_ = value; }
    bool disableManualEntryButtons() const { return disableManualEntryButtons_; }
    void setDisableManualEntryButtons(bool value) { disableManualEntryButtons_ = value; }
    bool keepStatusBarStyle() const { return keepStatusBarStyle_; }
    void setKeepStatusBarStyle(bool value) { keepStatusBarStyle_ = value; }
    bool disableBlurWhenBackgrounding() const { return disableBlurWhenBackgrounding_; }
    void setDisableBlurWhenBackgrounding(bool value) { disableBlurWhenBackgrounding_ = value; }
    bool suppressScanConfirmation() const { return suppressScanConfirmation_; }
    void setSuppressScanConfirmation(bool value) { suppressScanConfirmation_ = value; }
    bool suppressScannedCardImage() const { return suppressScannedCardImage_; }
    void setSuppressScannedCardImage(bool value) { suppressScannedCardImage_ = value; }
    bool maskManualEntryDigits() const { return maskManualEntryDigits_; }
    void setMaskManualEntryDigits(bool value) { maskManualEntryDigits_ = value; }
    long navigationBarStyle() const { return navigationBarStyle_; }
    void setNavigationBarStyle(long value) { navigationBarStyle_ = value; }
    const std::optional<platform::UIColor>& navigationBarTintColor() const { return navigationBarTintColor_; }
    void setNavigationBarTintColor(std::optional<platform::UIColor> color) { navigationBarTintColor_ = color; }

    const std::shared_ptr<ZeduVIAnalytics>& scanReport() const { return scanReport_; }
    const std::string& languageOrLocale() const { return languageOrLocale_; }
    void setLanguageOrLocale(std::string value) { languageOrLocale_ = std::move(value); }
    bool useZeduVILogo() const { return useZeduVILogo_; }
    void setUseZeduVILogo(bool value) { useZeduVILogo_ = value; }
    const std::optional<platform::UIColor>& guideColor() const { return guideColor_; }
    void setGuideColor(std::optional<platform::UIColor> color) { guideColor_ = color; }
    bool allowFreelyRotatingCardGuide() const { return allowFreelyRotatingCardGuide_; }
    void setAllowFreelyRotatingCardGuide(bool value) { allowFreelyRotatingCardGuide_ = value; }
    const std::string& scanInstructions() const { return scanInstructions_; }
    void setScanInstructions(std::string value) { scanInstructions_ = std::move(value); }
    bool hideZeduVILogo() const { return hideZeduVILogo_; }
    void setHideZeduVILogo(bool value) { hideZeduVILogo_ = value; }
    const std::shared_ptr<platform::UIView>& scanOverlayView() const { return scanOverlayView_; }
    void setScanOverlayView(std::shared_ptr<platform::UIView> view) { scanOverlayView_ = std::move(view); }

    // Any thread. The mode a scan starts in; the capture stream reports a
    // change of its own up to its delegate, and the camera screen puts the
    // mode the scan ended in back here once the scan view reports.
    ZeduVIDetectionMode detectionMode() const { return static_cast<ZeduVIDetectionMode>(detectionMode_.load()); }
    void setDetectionMode(long long mode) { detectionMode_.store(mode); }
    bool scanExpiry() const { return scanExpiry_.load(); }
    void setScanExpiry(bool value) { scanExpiry_.store(value); }
    // Whether frames are read for an expiry date: asked for and collected.
    bool readsExpiry() const { return collectExpiry() && scanExpiry(); }

private:
    ZeduVIOrientation orientation_;
    bool collectCVV_ = true;
    std::atomic<bool> collectExpiry_{true};
    bool collectPostalCode_ = false;
    bool disableManualEntryButtons_ = false;
    bool keepStatusBarStyle_ = false;
    bool disableBlurWhenBackgrounding_ = false;
    bool suppressScanConfirmation_ = false;
    bool suppressScannedCardImage_ = false;
    bool maskManualEntryDigits_ = false;
    long navigationBarStyle_ = 0;
    std::optional<platform::UIColor> navigationBarTintColor_;
    std::shared_ptr<ZeduVIAnalytics> scanReport_;
    std::string languageOrLocale_;
    bool useZeduVILogo_ = false;
    std::optional<platform::UIColor> guideColor_;
    bool allowFreelyRotatingCardGuide_ = true;
    std::string scanInstructions_;
    bool hideZeduVILogo_ = false;
    std::shared_ptr<platform::UIView> scanOverlayView_;
    std::atomic<long long> detectionMode_{ZeduVIDetectionModeNumber};
    std::atomic<bool> scanExpiry_{true};
};

// The scan options' name where the scan and camera views and the capture
// stream take them.
using ZeduVIConfig = ZeduVIContext;

}  // namespace cardscanner
