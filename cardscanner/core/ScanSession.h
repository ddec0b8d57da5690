#pragma once
// Scan session: turns a stream of warped card images into one card number.
//
// ScannerState holds the evidence since the last reset. Its owner holds it by
// value, constructs, copies and destroys it; one thread at a time (the
// capture queue) calls the functions below, one frame after another. No
// locks, no threads, no allocation of the state by the core.

#include "cardnumber/CardNumberRules.h"
#include "cardscanner/core/ExpiryGroups.h"
#include "cardscanner/core/NumberStripe.h"

#include <Eigen/Core>
#include <opencv2/core/core_c.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

using DigitScoreMatrix = Eigen::Matrix<float, 16, 10, Eigen::RowMajor>;

constexpr int kFramesRingSize = 20;

struct ScanSessionFrame {
    uint32_t frame_index; // 0-based number among upright frames
    std::map<std::string, std::string> frame_values; // written by the analytics reader only
};

struct ScanSessionAnalytics {
    uint32_t num_frames_scanned; // upright frames since the last reset
    uint8_t frames_ring_start; // slot of the oldest entry
    ScanSessionFrame frames_ring[kFramesRingSize];
};

struct NumberScanResult {
    bool complete;
    Eigen::Matrix<long, 16, 1> predictions; // digit values; first n_numbers carry data
    HorizontalSegmentation hseg;
    VerticalSegmentation vseg;
    uint8_t n_numbers; // 15 or 16
    int32_t expiry_month;
    int32_t expiry_year;
};

// Wall-clock milliseconds since 1970.
using ScannerClock = std::function<uint64_t()>;

struct ScannerState {
    uint16_t count15; // frames folded into aggregated15 (saturates at 65535)
    uint16_t count16;
    DigitScoreMatrix aggregated15; // decaying averages of the digit scores
    DigitScoreMatrix aggregated16;
    ScanSessionAnalytics session_analytics;
    NumberScanResult successfulCardNumberResult;
    HorizontalSegmentation mostRecentUsableHSeg;
    VerticalSegmentation mostRecentUsableVSeg;
    uint64_t timeOfCardNumberCompletionInMilliseconds; // 0 while undecided
    bool scan_expiry;
    int32_t expiry_month; // 1..12, 0 while none read
    int32_t expiry_year; // four digits, 0 while none read
    std::vector<GroupedRects> expiry_groups;
    std::vector<GroupedRects> name_groups;
    // Time source of the completion rule; empty means the system's wall
    // clock. Kept across resets so tests can drive the one-second wait.
    ScannerClock clock;
};

struct FrameScanResult {
    float focus_score; // caller's; not read here
    DigitScoreMatrix scores; // row i: combined digit scores of cell i; rows from n_offsets on are 0
    HorizontalSegmentation hseg;
    VerticalSegmentation vseg;
    std::vector<GroupedRects> expiry_groups;
    std::vector<GroupedRects> name_groups;
    bool usable;
    bool upside_down;
    bool flipped; // caller's; not read here
    float brightness_score; // caller's; not read here
    uint16_t iso_speed; // caller's; not read here
    float shutter_speed; // caller's; not read here
    bool torch_on; // caller's; not read here
};

// Frame rules on the stripe and the digits, kept here so tests and callers
// share them.
constexpr int kUpsideDownMaxYOffset = 120; // a stripe at or above this row: upside down
constexpr float kUsableStripeScore = 15.0f; // a usable stripe scores strictly more
constexpr float kFrameConfidenceMargin = 3.0f; // n_offsets - summed scores must stay below
constexpr float kDigitConfidence = 0.7f; // best / row sum of every decided digit
constexpr uint64_t kExpiryWaitMilliseconds = 1000;

void scanner_init(ScannerState& state);
void scanner_reset(ScannerState& state);

// One frame: card is the 428 x 270 8-bit one-channel card image, left without
// a region of interest; read_expiry is the caller's wish to read the expiry
// date; frame is read and written. False, with the frame unusable and the
// state untouched, when the card image is of another size or type.
bool scanner_add_frame(ScannerState& state, IplImage* card, bool read_expiry, FrameScanResult& frame);

// The same session step for a frame whose stripe and digits were read
// elsewhere (tests, replays): frame.vseg, and frame.hseg and frame.scores
// while the number is undecided, are taken as given in place of the
// networks' results; no expiry search runs, and the expiry update takes
// frame.expiry_groups (with their character scores) and frame.name_groups as
// given.
void scanner_add_frame_scores(ScannerState& state, bool read_expiry, FrameScanResult& frame);

// Decides the number once the evidence is strong enough; out.complete says
// whether the scan is complete.
void scanner_result(ScannerState& state, NumberScanResult& out);

void scanner_destroy(ScannerState& state);
