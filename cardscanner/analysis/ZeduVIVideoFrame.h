#pragma once
// One camera frame and what its analysis learns about it: focus and
// brightness verdicts, which card edges were found and where the corners
// lie, the card warped out of the frame (428 x 270), and the card read once
// the scan session completes.
//
// Threads: the capture queue makes a frame for one pixel buffer, sets its
// inputs and calls process() while the buffer is still its to use; then the
// frame goes to the main thread, which only reads it. Nothing is guarded:
// nothing writes a frame after the hand-off. process() leaves the buffer
// unlocked and drops its Y header, so only the chroma copies, the card
// images and the card info outlive it.

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "cardscanner/analysis/ZeduVIDetectionMode.h"
#include "cardscanner/core/EdgeFinder.h"
#include "cardscanner/core/Transform.h"
#include "platform/foundation/Value.h"

namespace platform {
class PixelBuffer;
class UIImage;
}

namespace cardscanner {

using platform::PixelBuffer;
class ZeduVICardScanner;
class ZeduVIIplImage;
class ZeduVIReadCardInfo;

class ZeduVIVideoFrame {
public:
    // Thresholds of the verdicts; the comparisons are strict.
    static constexpr float kFocusOkAbove = 6.0f;
    static constexpr float kFocusSucksBelow = 3.0f;
    static constexpr float kBrightnessLowBelow = 100.0f;
    static constexpr float kBrightnessHighAbove = 200.0f;

    // The buffer is borrowed: it must outlive process(). Orientation is the
    // interface orientation at capture (1..4; anything else is analysed as
    // portrait).
    ZeduVIVideoFrame(PixelBuffer* sampleBuffer, long interfaceOrientation);

    // The whole analysis: scores, and for a frame in focus (or any frame in
    // image mode) the chroma split, edges, warp and scan-session step. An
    // image-library error stops the analysis with a log line; the frame
    // keeps the verdicts reached before it.
    void process();
    void detectCardInSamples();
    void detectCardInSamplesWithFlip(bool flip);
    // Warps Cb and Cr with the current corners; only once cardY exists.
    void transformCbCrWithFrameOrientation(unsigned char orientation);

    bool foundAllEdges() const;
    unsigned numEdgesFound() const;

    // Grey: the card image. Colour: cardY, cardCb and cardCr combined, which
    // exist only after the chroma warp; nullptr before it.
    std::shared_ptr<platform::UIImage> imageWithGrayscale(bool grayscale) const;
    // 1: PNG of the colour card, 2: PNG of the grey card; nothing for any
    // other encoding or when that image does not exist.
    std::optional<platform::Data> encodedImageUsingEncoding(int encoding) const;
    // "png_color_cc_%f.png" (1) or "png_gray_cc_%f.png" (2) with the seconds
    // since 1 January 2001; nothing for any other encoding.
    static std::optional<std::string> filenameForImageEncodedUsingEncoding(int encoding);

    // Inputs.
    PixelBuffer* buffer() const { return buffer_; }
    void setBuffer(PixelBuffer* buffer) { buffer_ = buffer; }
    long orientation() const { return orientation_; }
    void setOrientation(long orientation) { orientation_ = orientation; }
    RecoContext* reco() const { return reco_.load(); }
    void setReco(RecoContext* reco) { reco_.store(reco); }
    const std::shared_ptr<ZeduVICardScanner>& scanner() const { return scanner_; }
    void setScanner(std::shared_ptr<ZeduVICardScanner> scanner);
    ZeduVIDetectionMode detectionMode() const { return detectionMode_; }
    void setDetectionMode(ZeduVIDetectionMode mode) { detectionMode_ = mode; }
    bool scanExpiry() const { return scanExpiry_; }
    void setScanExpiry(bool scanExpiry) { scanExpiry_ = scanExpiry; }
    bool calculateBrightness() const { return calculateBrightness_; }
    void setCalculateBrightness(bool calculate) { calculateBrightness_ = calculate; }
    bool torchIsOn() const { return torchIsOn_; }
    void setTorchIsOn(bool on) { torchIsOn_ = on; }
    long isoSpeed() const { return isoSpeed_; }
    void setIsoSpeed(long isoSpeed) { isoSpeed_ = isoSpeed; }
    float shutterSpeed() const { return shutterSpeed_; }
    void setShutterSpeed(float shutterSpeed) { shutterSpeed_ = shutterSpeed; }

    // Results.
    float focusScore() const { return focusScore_; }
    bool focusOk() const { return focusOk_; }
    bool focusSucks() const { return focusSucks_; }
    float brightnessScore() const { return brightnessScore_; }
    bool brightnessLow() const { return brightnessLow_; }
    bool brightnessHigh() const { return brightnessHigh_; }
    // Valid only inside process(); nullptr after it.
    const std::shared_ptr<ZeduVIIplImage>& ySample() const { return ySample_; }
    const std::shared_ptr<ZeduVIIplImage>& cbSample() const { return cbSample_; }
    const std::shared_ptr<ZeduVIIplImage>& crSample() const { return crSample_; }
    const FoundEdges& found_edges() const { return found_edges_; }
    const CornerPoints& corner_points() const { return corner_points_; }
    bool foundTopEdge() const { return foundTopEdge_; }
    bool foundBottomEdge() const { return foundBottomEdge_; }
    bool foundLeftEdge() const { return foundLeftEdge_; }
    bool foundRightEdge() const { return foundRightEdge_; }
    // For frames not made by the analysis: tests and replays.
    void setFoundEdges(bool top, bool bottom, bool left, bool right) {
        foundTopEdge_ = top;
        foundBottomEdge_ = bottom;
        foundLeftEdge_ = left;
        foundRightEdge_ = right;
    }
    bool flipped() const { return flipped_; }
    const std::shared_ptr<ZeduVIIplImage>& cardY() const { return cardY_; }
    const std::shared_ptr<ZeduVIIplImage>& cardCb() const { return cardCb_; }
    const std::shared_ptr<ZeduVIIplImage>& cardCr() const { return cardCr_; }
    const std::shared_ptr<ZeduVIReadCardInfo>& cardInfo() const { return cardInfo_; }

private:
    // The core's orientation of this pass: the interface orientation (1..4,
    // else portrait), opposite when flipped.
    int passOrientation() const;
    std::shared_ptr<ZeduVIIplImage> warpedCard(const std::shared_ptr<ZeduVIIplImage>& plane, int orientation) const;

    PixelBuffer* buffer_;
    long orientation_;
    std::atomic<RecoContext*> reco_{nullptr};
    std::shared_ptr<ZeduVICardScanner> scanner_;
    ZeduVIDetectionMode detectionMode_ = ZeduVIDetectionModeNumber;
    bool scanExpiry_ = false;
    bool calculateBrightness_ = false;
    bool torchIsOn_ = false;
    long isoSpeed_ = 0;
    float shutterSpeed_ = 0.0f;

    float focusScore_ = 0.0f;
    bool focusOk_ = false;
    bool focusSucks_ = false;
    float brightnessScore_ = 0.0f;
    bool brightnessLow_ = false;
    bool brightnessHigh_ = false;
    std::shared_ptr<ZeduVIIplImage> ySample_;
    std::shared_ptr<ZeduVIIplImage> cbSample_;
    std::shared_ptr<ZeduVIIplImage> crSample_;
    FoundEdges found_edges_{};
    CornerPoints corner_points_{};
    bool foundTopEdge_ = false;
    bool foundBottomEdge_ = false;
    bool foundLeftEdge_ = false;
    bool foundRightEdge_ = false;
    bool flipped_ = false;
    std::shared_ptr<ZeduVIIplImage> cardY_;
    std::shared_ptr<ZeduVIIplImage> cardCb_;
    std::shared_ptr<ZeduVIIplImage> cardCr_;
    std::shared_ptr<ZeduVIReadCardInfo> cardInfo_;
};

}  // namespace cardscanner
