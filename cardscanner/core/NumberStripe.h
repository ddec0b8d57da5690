#pragma once
// Number stripe search and segmentation on the warped card image (428 x 270,
// 8-bit, one channel): where the 27-row stripe of embossed digits lies, whether
// it holds 16 or 15 digits, and where each 19 x 27 digit cell starts.
//
// Free functions over caller-owned records, called per frame from the scan
// session on the capture queue. They keep no state. Images of the wrong size
// or type are refused with an empty result (pattern type 0, no offsets).

#include <opencv2/core/core_c.h>

#include <array>
#include <cstdint>
#include <functional>

constexpr int kCardWidth = 428;
constexpr int kCardHeight = 270;
constexpr int kStripeHeight = 27;
constexpr int kDigitCellWidth = 19;
constexpr int kDigitCellHeight = 27;
// The stripe network sees columns 10..417 of one card row, halved to 204.
constexpr int kStripeRowX = 10;
constexpr int kStripeRowWidth = 408;
constexpr int kStripeInputSize = 204;
constexpr int kMaxPatternSlots = 19;
constexpr int kMaxDigits = 16;

struct VerticalSegmentation {
    float score; // winning window's summed stripe probability
    uint16_t y_offset; // top row of the stripe
    uint8_t pattern_type; // 0 none, 1 sixteen digits, 2 fifteen digits
    uint8_t number_pattern[kMaxPatternSlots]; // 1 digit, 0 gap
    uint8_t number_pattern_length;
    uint8_t number_length;
};

struct HorizontalSegmentation {
    uint8_t n_offsets; // 16, 15 or 0
    uint16_t offsets[kMaxDigits]; // left edge of each digit cell
    float score; // L1 distance to the best synthetic profile (lower is better)
    float number_width; // digit pitch
    uint16_t pattern_offset; // x of the first slot
};

// Expected normalised column profile across one 19-pixel digit cell.
extern const float digit_template_profile[kDigitCellWidth];

// A VerticalSegmentation of pattern type 0, 1 or 2 with the pattern table's
// slots and lengths filled in (type 0 for any other value).
VerticalSegmentation vertical_segmentation_for_pattern(uint8_t pattern_type, float score, uint16_t y_offset);

// Morphological gradient with a 3 x 3 cross restricted to the regions of
// interest: neighbours outside src's region count as the pixel itself. Both
// 8-bit one-channel with equally sized regions; false otherwise.
bool cross_gradient(const IplImage* src, IplImage* dst);

// The stripe network's 204 inputs for card row y (0..269): the cross-shaped
// morphological gradient of the one-row region x = 10..417 (so only left and
// right neighbours inside it take part, as the library's morphology treats a
// region of interest), halved by bilinear resize, scaled by 1/255 and min-max
// normalised to 0..1. The trainer's dump tool calls exactly this. False when
// the card is not 428 x 270 8-bit one-channel or y is out of range.
bool stripe_network_input(const IplImage* card, int y, float input[kStripeInputSize]);

// Probabilities (no number, 16 digits, 15 digits) of one input row.
std::array<float, 3> run_stripe_network(const float input[kStripeInputSize]);

// The stripe classifier in the library's terms: row is the card image with
// its region of interest on the 408 x 1 row to score; the three work images
// (408 x 1 8-bit, 204 x 1 8-bit, 204 x 1 32-bit float) receive the gradient,
// the halved row and the network input. All zeros when refused.
std::array<float, 3> classify_number_stripe(const IplImage* row, IplImage* gradient_row, IplImage* small_row,
                                            IplImage* input_row);

// The stripe search given a row scorer (probabilities of card row y, as
// classify_number_stripe): coarse pass every fourth row, first window search,
// refinement band around the winner, second window search with the layout.
using StripeRowScorer = std::function<std::array<float, 3>(int y)>;
VerticalSegmentation search_number_stripe(const StripeRowScorer& score_row);

// The stripe search on a card image with the built-in network. Leaves the
// card without a region of interest.
VerticalSegmentation find_number_stripe(IplImage* card);

// Template matching of one segmentation pass; see NumberStripe.cpp. profile
// holds 428 values; best is read and updated in place and also returned.
// x_end 65535 means only the card width limits x.
HorizontalSegmentation segment_number_stripe(const float* profile, const VerticalSegmentation& vseg,
                                             HorizontalSegmentation& best, uint16_t x_start, uint16_t x_end,
                                             uint16_t x_step, float pitch_start, float pitch_end, float pitch_step);

// Column profile of the stripe at y_offset: cross_gradient of the 428 x 27
// stripe, summed per column, min-max normalised to 0..1. False when the card
// is not 428 x 270 8-bit one-channel or the stripe does not fit.
bool number_stripe_profile(const IplImage* card, int y_offset, float profile[kCardWidth]);

// The four segmentation passes on a profile for the layout of vseg.
HorizontalSegmentation segment_digits(const float profile[kCardWidth], const VerticalSegmentation& vseg);

// Digit offsets of the card's stripe. Sets the card's region of interest to
// the stripe (0, y_offset, 428, 27) and leaves it set for the digit cells.
// n_offsets 0 when refused.
HorizontalSegmentation find_digit_offsets(IplImage* card, const VerticalSegmentation& vseg);
