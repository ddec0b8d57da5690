#include "cardscanner/analysis/ZeduVICardScanner.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "cardscanner/analysis/ZeduVIIplImage.h"
#include "cardscanner/analysis/ZeduVIReadCardInfo.h"
#include "platform/foundation/Clock.h"

namespace cardscanner {

namespace {

FrameScanResult frameWithReadings(float focusScore, float brightnessScore, long isoSpeed, float shutterSpeed,
                                  bool torchIsOn, bool flipped) {
    FrameScanResult frame{};
    frame.scores.setZero();
    frame.focus_score = focusScore;
    frame.brightness_score = brightnessScore;
    frame.iso_speed = static_cast<uint16_t>(isoSpeed);
    frame.shutter_speed = shutterSpeed;
    frame.torch_on = torchIsOn;
    frame.flipped = flipped;
    return frame;
}

}  // namespace

ZeduVICardScanner::ZeduVICardScanner() {
    scanner_init(_scannerState);
    // The platform's clock, as the frames' own times are: the expiry's second
    // is then a second of filming, not of however long the analysis took, and
    // a manual clock makes it a count of frames.
    _scannerState.clock = [] {
        return static_cast<uint64_t>(std::llround(std::max(platform::clock().now(), 0.0) * 1000.0));
    };
}

ZeduVICardScanner::~ZeduVICardScanner() { scanner_destroy(_scannerState); }

void ZeduVICardScanner::reset() {
    std::lock_guard lock(mutex_);
    scanner_reset(_scannerState);
    lastFrameWasUsable_ = false;
    lastFrameWasUpsideDown_ = false;
    scanIsComplete_ = false;
    cardInfoCache_.reset();
    cardInfoCacheIsDirty_ = true;
}

void ZeduVICardScanner::addFrame(const std::shared_ptr<ZeduVIIplImage>& y, float focusScore, float brightnessScore,
                                 long isoSpeed, float shutterSpeed, bool torchIsOn, bool markFlipped,
                                 bool scanExpiry) {
    std::lock_guard lock(mutex_);
    if (scanIsComplete_) return;
    FrameScanResult frame = frameWithReadings(focusScore, brightnessScore, isoSpeed, shutterSpeed, torchIsOn, markFlipped);
    // A refused image leaves the frame unusable and the state untouched,
    // which is what a frame without a card should do.
    scanner_add_frame(_scannerState, y ? y->image() : nullptr, scanExpiry, frame);
    recordFrameLocked(frame);
}

void ZeduVICardScanner::addFrameScores(FrameScanResult& frame, bool scanExpiry) {
    std::lock_guard lock(mutex_);
    if (scanIsComplete_) return;
    scanner_add_frame_scores(_scannerState, scanExpiry, frame);
    recordFrameLocked(frame);
}

void ZeduVICardScanner::recordFrameLocked(const FrameScanResult& frame) {
    lastFrameWasUsable_ = frame.usable;
    if (!frame.usable) lastFrameWasUpsideDown_ = frame.upside_down;
    cardInfoCacheIsDirty_ = true;
}

bool ZeduVICardScanner::complete() {
    std::lock_guard lock(mutex_);
    return cardInfoLocked() != nullptr;
}

std::shared_ptr<ZeduVIReadCardInfo> ZeduVICardScanner::cardInfo() {
    std::lock_guard lock(mutex_);
    return cardInfoLocked();
}

std::shared_ptr<ZeduVIReadCardInfo> ZeduVICardScanner::cardInfoLocked() {
    if (scanIsComplete_) return cardInfoCache_;
    if (!lastFrameWasUsable_) return nullptr;
    if (!cardInfoCacheIsDirty_) return cardInfoCache_;

    NumberScanResult result;
    scanner_result(_scannerState, result);
    cardInfoCache_.reset();
    if (result.complete) {
        scanIsComplete_ = true;
        std::string number;
        const int count = std::min<int>(result.n_numbers, kMaxDigits);
        for (int i = 0; i < count; ++i) number.push_back(static_cast<char>('0' + result.predictions[i]));
        std::vector<int> xOffsets;
        const int offsets = std::min<int>(result.hseg.n_offsets, kMaxDigits);
        for (int i = 0; i < offsets; ++i) xOffsets.push_back(result.hseg.offsets[i]);
        cardInfoCache_ = ZeduVIReadCardInfo::cardInfoWithNumber(
            std::move(number), std::move(xOffsets), result.vseg.y_offset,
            static_cast<unsigned>(std::max(result.expiry_month, 0)), static_cast<unsigned>(std::max(result.expiry_year, 0)));
    }
    cardInfoCacheIsDirty_ = false;
    return cardInfoCache_;
}

bool ZeduVICardScanner::lastFrameWasUsable() const {
    std::lock_guard lock(mutex_);
    return lastFrameWasUsable_;
}

bool ZeduVICardScanner::lastFrameWasUpsideDown() const {
    std::lock_guard lock(mutex_);
    return lastFrameWasUpsideDown_;
}

ScanSessionAnalytics* ZeduVICardScanner::scanSessionAnalytics() { return &_scannerState.session_analytics; }

ScannerState ZeduVICardScanner::scannerState() const {
    std::lock_guard lock(mutex_);
    return _scannerState;
}

void ZeduVICardScanner::setScannerState(const ScannerState& state) {
    std::lock_guard lock(mutex_);
    _scannerState = state;
    scanIsComplete_ = false;
    cardInfoCache_.reset();
    cardInfoCacheIsDirty_ = true;
}

}  // namespace cardscanner
