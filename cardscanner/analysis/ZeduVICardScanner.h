#pragma once
// One scan session: the recognition core's ScannerState plus the answer it
// gives once the number is read. One scanner per capture stream.
//
// Threads: the capture queue adds frames (and resets between scans); the
// main thread asks complete() and cardInfo() for the frame it shows. Every
// member takes the scanner's mutex, so a reader never sees a half-added
// frame. A frame's analysis holds it for the length of the core's step (a
// few milliseconds), which is the longest a main-thread reader waits.
// scanSessionAnalytics() is the one exception: it hands out the state's own
// analytics record, for the capture queue to read between frames.
//
// Time (the wait for the expiry after the number, today's month for the
// expiry's validity) is read from platform::clock() unless a replaced state
// brings a clock of its own.

#include <memory>
#include <mutex>

#include "cardscanner/core/ScanSession.h"

namespace cardscanner {

class ZeduVIIplImage;
class ZeduVIReadCardInfo;

class ZeduVICardScanner {
public:
    ZeduVICardScanner();
    virtual ~ZeduVICardScanner();
    ZeduVICardScanner(const ZeduVICardScanner&) = delete;
    ZeduVICardScanner& operator=(const ZeduVICardScanner&) = delete;

    // Clears the evidence, the completed mark, the cached result and the
    // verdicts on the last frame: the next scan starts from nothing.
    void reset();

    // One warped card (428 x 270, 8-bit, one channel) and the camera's
    // readings for it. Does nothing once the scan is complete. A missing or
    // wrongly shaped image counts as an unusable frame. Virtual so that a
    // replay or a test can stand in for the networks (see addFrameScores).
    virtual void addFrame(const std::shared_ptr<ZeduVIIplImage>& y, float focusScore, float brightnessScore,
                          long isoSpeed, float shutterSpeed, bool torchIsOn, bool markFlipped, bool scanExpiry);

    // The same session step for a frame whose stripe and digit scores were
    // read elsewhere (scanner_add_frame_scores); frame.usable and
    // frame.upside_down come back as the core judged them.
    void addFrameScores(FrameScanResult& frame, bool scanExpiry);

    bool complete();
    // The result once the number is read; nullptr before, and while the last
    // frame added was unusable.
    std::shared_ptr<ZeduVIReadCardInfo> cardInfo();

    bool lastFrameWasUsable() const;
    // Whether the core judged the last unusable frame upside down; a usable
    // frame leaves it as it was.
    bool lastFrameWasUpsideDown() const;

    // The state's own record, not a copy; capture queue only.
    ScanSessionAnalytics* scanSessionAnalytics();

    // A copy of the whole state, and its replacement. Replacing drops the
    // completed mark and the cached result: they are decided afresh from the
    // new state by the next cardInfo() after a usable frame.
    ScannerState scannerState() const;
    void setScannerState(const ScannerState& state);

private:
    void recordFrameLocked(const FrameScanResult& frame);
    std::shared_ptr<ZeduVIReadCardInfo> cardInfoLocked();

    mutable std::mutex mutex_;
    ScannerState _scannerState{};
    bool lastFrameWasUsable_ = false;
    bool lastFrameWasUpsideDown_ = false;
    bool scanIsComplete_ = false;
    bool cardInfoCacheIsDirty_ = true;
    std::shared_ptr<ZeduVIReadCardInfo> cardInfoCache_;
};

}  // namespace cardscanner
