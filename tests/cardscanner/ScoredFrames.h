#pragma once
// Frames whose stripe and digits are given rather than read by the
// networks, fed through ZeduVICardScanner::addFrameScores: the way to drive
// the session to a decision while the networks' weights are placeholders.

#include <string>

#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/core/ScanSession.h"

namespace cardscanner::testing {

// A usable upright frame of digits, each scored with full confidence.
inline FrameScanResult confidentFrame(const std::string& digits) {
    FrameScanResult frame{};
    frame.scores.setZero();
    const uint8_t pattern = digits.size() == 15 ? 2 : 1;
    frame.vseg = vertical_segmentation_for_pattern(pattern, 20.0f, 150);
    frame.hseg = HorizontalSegmentation{};
    frame.hseg.n_offsets = static_cast<uint8_t>(digits.size());
    for (std::size_t i = 0; i < digits.size(); ++i) {
        frame.hseg.offsets[i] = static_cast<uint16_t>(20 + 24 * i);
        frame.scores(static_cast<int>(i), digits[i] - '0') = 1.0f;
    }
    return frame;
}

// The stripe found in the card's top half: the core's sign of a card held
// upside down.
inline FrameScanResult upsideDownFrame() {
    FrameScanResult frame{};
    frame.scores.setZero();
    frame.vseg = vertical_segmentation_for_pattern(1, 20.0f, 60);
    return frame;
}

// Upright, but the stripe is too faint to use.
inline FrameScanResult faintFrame() {
    FrameScanResult frame{};
    frame.scores.setZero();
    frame.vseg = vertical_segmentation_for_pattern(1, 5.0f, 150);
    return frame;
}

// Three confident frames: the fewest that decide a number.
inline void completeScan(ZeduVICardScanner& scanner, const std::string& digits) {
    for (int i = 0; i < 3; ++i) {
        FrameScanResult frame = confidentFrame(digits);
        scanner.addFrameScores(frame, false);
    }
}

}  // namespace cardscanner::testing
