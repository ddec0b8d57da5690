#include "cardscanner/core/ScanSession.h"

#include "cardscanner/core/DigitClassifiers.h"
#include "cardscanner/core/ImageView.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace {

uint64_t now_in_milliseconds(const ScannerState& state)
{
    if (state.clock)
        return state.clock();
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
}

bool number_decided(const ScannerState& state) { return state.timeOfCardNumberCompletionInMilliseconds != 0; }

bool expiry_wanted(const ScannerState& state, bool read_expiry)
{
    return read_expiry && (state.expiry_month == 0 || state.expiry_year == 0);
}

// A counter at 65535 stays there: wrapping to 0 would flip the 15/16 decision.
uint16_t saturating_increment(uint16_t count)
{
    return count == std::numeric_limits<uint16_t>::max() ? count : static_cast<uint16_t>(count + 1);
}

float sum_of(const DigitScoreMatrix& m, int rows)
{
    float sum = 0.0f;
    for (int i = 0; i < rows; ++i) {
        for (int d = 0; d < 10; ++d)
            sum += m(i, d);
    }
    return sum;
}

// A frame is confident when its digit scores sum to within 3 of the number of
// cells; a NaN anywhere fails the comparison and so the frame.
bool frame_confident(const FrameScanResult& frame)
{
    if (frame.hseg.n_offsets > kMaxDigits)
        return false;
    return static_cast<double>(frame.hseg.n_offsets) - static_cast<double>(sum_of(frame.scores, 16))
        < static_cast<double>(kFrameConfidenceMargin);
}

void apply_stripe_rules(FrameScanResult& frame)
{
    if (frame.vseg.y_offset <= kUpsideDownMaxYOffset)
        frame.upside_down = true;
    else
        frame.usable = frame.vseg.score > kUsableStripeScore;
}

void classify_frame_digits(const IplImage* card, FrameScanResult& frame)
{
    float profile[kCardWidth];
    frame.scores.setZero();
    if (!number_stripe_profile(card, frame.vseg.y_offset, profile)) {
        frame.hseg = HorizontalSegmentation{};
        return;
    }
    frame.hseg = segment_digits(profile, frame.vseg);
    float input[kDigitInputSize];
    for (int i = 0; i < frame.hseg.n_offsets && i < kMaxDigits; ++i) {
        if (!digit_cell_input(card, frame.hseg.offsets[i], frame.vseg.y_offset, input))
            continue;
        const DigitScores scores = classify_digit_input(input);
        for (int d = 0; d < 10; ++d)
            frame.scores(i, d) = scores[d];
    }
}

// Steps shared by a frame read here and one whose scores were read elsewhere:
// the ring of recent upright frames, the expiry update and the fold into the
// running averages.
void record_frame(ScannerState& state, const FrameScanResult& frame, bool decided, bool wants_expiry)
{
    if (frame.upside_down)
        return;
    ScanSessionAnalytics& analytics = state.session_analytics;
    const uint32_t n = analytics.num_frames_scanned;
    analytics.frames_ring[n % kFramesRingSize].frame_index = n;
    if (n >= kFramesRingSize)
        analytics.frames_ring_start = static_cast<uint8_t>((n + 1) % kFramesRingSize);
    analytics.num_frames_scanned = n + 1;
    if (!frame.usable)
        return;

    if (wants_expiry)
        scanner_update_expiry(state, frame);

    if (decided)
        return;
    state.mostRecentUsableHSeg = frame.hseg;
    state.mostRecentUsableVSeg = frame.vseg;
    const float keep = 0.8f;
    const float weight = 1.0f - keep;
    if (frame.hseg.n_offsets == 15) {
        state.aggregated15 = keep * state.aggregated15 + weight * frame.scores;
        state.count15 = saturating_increment(state.count15);
    } else if (frame.hseg.n_offsets == 16) {
        state.aggregated16 = keep * state.aggregated16 + weight * frame.scores;
        state.count16 = saturating_increment(state.count16);
    }
}

} // namespace

void scanner_init(ScannerState& state)
{
    // The owner's construction leaves the plain fields unset; reset keeps
    // some of them, so they start from zero here.
    state.session_analytics.frames_ring_start = 0;
    for (ScanSessionFrame& entry : state.session_analytics.frames_ring)
        entry.frame_index = 0;
    state.successfulCardNumberResult.complete = false;
    state.successfulCardNumberResult.predictions.setZero();
    state.successfulCardNumberResult.hseg = HorizontalSegmentation{};
    state.successfulCardNumberResult.vseg = VerticalSegmentation{};
    state.successfulCardNumberResult.n_numbers = 0;
    state.successfulCardNumberResult.expiry_month = 0;
    state.successfulCardNumberResult.expiry_year = 0;
    state.mostRecentUsableHSeg = HorizontalSegmentation{};
    state.mostRecentUsableVSeg = VerticalSegmentation{};
    scanner_reset(state);
}

void scanner_reset(ScannerState& state)
{
    state.count15 = 0;
    state.count16 = 0;
    state.aggregated15.setZero();
    state.aggregated16.setZero();
    state.session_analytics.num_frames_scanned = 0;
    state.session_analytics.frames_ring_start = 0;
    state.timeOfCardNumberCompletionInMilliseconds = 0;
    state.scan_expiry = false;
    state.expiry_month = 0;
    state.expiry_year = 0;
    state.expiry_groups.clear();
    state.name_groups.clear();
}

bool scanner_add_frame(ScannerState& state, IplImage* card, bool read_expiry, FrameScanResult& frame)
{
    frame.usable = false;
    frame.upside_down = false;
    ImageView view;
    if (!whole_image_view(card, view) || !is_plane8(view) || view.width != kCardWidth || view.height != kCardHeight)
        return false;

    const bool decided = number_decided(state);
    const bool wants_expiry = expiry_wanted(state, read_expiry);

    frame.vseg = find_number_stripe(card);
    apply_stripe_rules(frame);
    if (frame.usable) {
        if (!decided) {
            classify_frame_digits(card, frame);
            frame.usable = frame_confident(frame);
        }
        if (wants_expiry && frame.vseg.y_offset < 240) {
            find_expiry_and_name_groups(card, frame.vseg.y_offset, frame.expiry_groups, frame.name_groups);
            // Only a usable frame reaches the expiry update, so only its
            // candidates are worth the expiry digit network.
            if (frame.usable)
                classify_expiry_characters(card, frame.expiry_groups);
        }
    }
    record_frame(state, frame, decided, wants_expiry);
    cvResetImageROI(card);
    return true;
}

void scanner_add_frame_scores(ScannerState& state, bool read_expiry, FrameScanResult& frame)
{
    frame.usable = false;
    frame.upside_down = false;
    const bool decided = number_decided(state);
    const bool wants_expiry = expiry_wanted(state, read_expiry);
    apply_stripe_rules(frame);
    if (frame.usable && !decided)
        frame.usable = frame_confident(frame);
    record_frame(state, frame, decided, wants_expiry);
}

void scanner_result(ScannerState& state, NumberScanResult& out)
{
    out.complete = false;
    if (number_decided(state)) {
        out = state.successfulCardNumberResult;
        out.complete = false;
    } else {
        const int hi = std::max(state.count15, state.count16);
        const int lo = std::min(state.count15, state.count16);
        if (hi - lo < 3 || 2 * lo > hi)
            return;
        out.hseg = state.mostRecentUsableHSeg;
        out.vseg = state.mostRecentUsableVSeg;
        const bool fifteen = state.count15 > state.count16;
        const int n = fifteen ? 15 : 16;
        const DigitScoreMatrix& m = fifteen ? state.aggregated15 : state.aggregated16;
        out.n_numbers = static_cast<uint8_t>(n);
        uint8_t digits[kMaxDigits] = {};
        for (int i = 0; i < n; ++i) {
            int best = 0;
            float sum = 0.0f;
            for (int d = 0; d < 10; ++d) {
                sum += m(i, d);
                if (m(i, d) > m(i, best))
                    best = d;
            }
            out.predictions[i] = best;
            digits[i] = static_cast<uint8_t>(best);
            // 0 / 0 and NaN must not pass as confident.
            if (!(sum > 0.0f) || !std::isfinite(sum) || !(m(i, best) / sum >= kDigitConfidence))
                return;
        }
        for (int i = n; i < kMaxDigits; ++i)
            out.predictions[i] = 0;
        const CardTypeInfo info = card_info_for_number(digits, static_cast<size_t>(n), false);
        if (info.card_type < CardTypeAmex || !passes_luhn(digits, static_cast<size_t>(n)))
            return;
        // 0 marks an undecided number, so a clock reading 0 still decides it.
        state.timeOfCardNumberCompletionInMilliseconds = std::max<uint64_t>(now_in_milliseconds(state), 1);
        state.successfulCardNumberResult = out;
    }

    if (!state.scan_expiry) {
        out.expiry_month = 0;
        out.expiry_year = 0;
        out.complete = true;
    } else if (state.expiry_month >= 1 && state.expiry_year > 0) {
        out.expiry_month = state.expiry_month;
        out.expiry_year = state.expiry_year;
        out.complete = true;
    } else if (now_in_milliseconds(state) - state.timeOfCardNumberCompletionInMilliseconds
               < kExpiryWaitMilliseconds + 1) {
        return;
    } else {
        out.expiry_month = state.expiry_month;
        out.expiry_year = state.expiry_year;
        out.complete = true;
    }
}

void scanner_destroy(ScannerState& state) { (void)state; }
