#pragma once
// The options shared by the payment view controller and its screens: its
// own collection and appearance switches, plus the scan options of its
// config, which it forwards under the same names. Main thread only (the
// config's detectionMode and scanExpiry may also be read elsewhere).

#include <memory>
#include <optional>
#include <string>

#include "cardscanner/ZeduVIConfig.h"
#include "platform/graphics/Color.h"

namespace cardscanner {

class ZeduVIContext {
public:
    ZeduVIContext();
    ZeduVIContext(const ZeduVIContext&) = delete;
    ZeduVIContext& operator=(const ZeduVIContext&) = delete;

    const std::shared_ptr<ZeduVIConfig>& config() const { return config_; }

    bool collectCVV() const { return collectCVV_; }
    void setCollectCVV(bool value) { collectCVV_ = value; }
    bool collectExpiry() const { return collectExpiry_; }
    void setCollectExpiry(bool value) { collectExpiry_ = value; }
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

    // Forwarded to config().
    const std::shared_ptr<ZeduVIAnalytics>& scanReport() const { return config_->scanReport(); }
    void setScanReport(std::shared_ptr<ZeduVIAnalytics> report) { config_->setScanReport(std::move(report)); }
    const std::string& languageOrLocale() const { return config_->languageOrLocale(); }
    void setLanguageOrLocale(std::string value) { config_->setLanguageOrLocale(std::move(value)); }
    bool useZeduVILogo() const { return config_->useZeduVILogo(); }
    void setUseZeduVILogo(bool value) { config_->setUseZeduVILogo(value); }
    const std::optional<platform::UIColor>& guideColor() const { return config_->guideColor(); }
    void setGuideColor(std::optional<platform::UIColor> color) { config_->setGuideColor(color); }
    bool allowFreelyRotatingCardGuide() const { return config_->allowFreelyRotatingCardGuide(); }
    void setAllowFreelyRotatingCardGuide(bool value) { config_->setAllowFreelyRotatingCardGuide(value); }
    const std::string& scanInstructions() const { return config_->scanInstructions(); }
    void setScanInstructions(std::string value) { config_->setScanInstructions(std::move(value)); }
    bool hideZeduVILogo() const { return config_->hideZeduVILogo(); }
    void setHideZeduVILogo(bool value) { config_->setHideZeduVILogo(value); }
    const std::shared_ptr<platform::UIView>& scanOverlayView() const { return config_->scanOverlayView(); }
    void setScanOverlayView(std::shared_ptr<platform::UIView> view) { config_->setScanOverlayView(std::move(view)); }
    ZeduVIDetectionMode detectionMode() const { return config_->detectionMode(); }
    void setDetectionMode(long long mode) { config_->setDetectionMode(mode); }
    bool scanExpiry() const { return config_->scanExpiry(); }
    void setScanExpiry(bool value) { config_->setScanExpiry(value); }

private:
    std::shared_ptr<ZeduVIConfig> config_;
    bool collectCVV_ = true;
    bool collectExpiry_ = true;
    bool collectPostalCode_ = false;
    bool disableManualEntryButtons_ = false;
    bool keepStatusBarStyle_ = false;
    bool disableBlurWhenBackgrounding_ = false;
    bool suppressScanConfirmation_ = false;
    bool suppressScannedCardImage_ = false;
    bool maskManualEntryDigits_ = false;
    long navigationBarStyle_ = 0;
    std::optional<platform::UIColor> navigationBarTintColor_;
};

}  // namespace cardscanner
