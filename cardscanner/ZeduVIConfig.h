#pragma once
// The scan options shared by the scanner's screens and its capture stream.
//
// Threads: the main thread sets every option. The capture queue reads
// scanExpiry and detectionMode for every frame and writes detectionMode when
// an automatic scan falls back to the card image, so those two are atomic;
// the others are main-thread only.

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "cardscanner/ZeduVIDetectionMode.h"
#include "platform/graphics/Color.h"

namespace platform {
class UIView;
}

namespace cardscanner {

class ZeduVIAnalytics;

class ZeduVIConfig {
public:
    ZeduVIConfig();
    ZeduVIConfig(const ZeduVIConfig&) = delete;
    ZeduVIConfig& operator=(const ZeduVIConfig&) = delete;

    const std::shared_ptr<ZeduVIAnalytics>& scanReport() const { return scanReport_; }
    void setScanReport(std::shared_ptr<ZeduVIAnalytics> report) { scanReport_ = std::move(report); }
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

    // Any thread.
    ZeduVIDetectionMode detectionMode() const { return static_cast<ZeduVIDetectionMode>(detectionMode_.load()); }
    void setDetectionMode(long long mode) { detectionMode_.store(mode); }
    bool scanExpiry() const { return scanExpiry_.load(); }
    void setScanExpiry(bool value) { scanExpiry_.store(value); }

private:
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

}  // namespace cardscanner
