#pragma once
// Digit classifiers: three small convolutional networks of one architecture
// (weights A, B, C in Weights.h) read one 19 x 27 digit cell of the card
// image; their outputs are combined class by class into ten scores.
//
// Stateless; no allocation per digit. Called from the scan session on the
// capture queue.

#include "cardscanner/core/NumberStripe.h"
#include "cardscanner/core/Weights.h"

#include <opencv2/core/core_c.h>

#include <array>

constexpr int kDigitInputSize = kDigitCellHeight * kDigitCellWidth; // 27 rows x 19 columns

using DigitScores = std::array<float, 10>;

// The networks' input for the cell whose top-left corner is (x, y) on the
// 428 x 270 card: cross_gradient of the cell (neighbours outside the cell
// count as the pixel itself), llcv_equalize_hist, scaled by 1/255; 27 rows
// of 19 values, row-major. The trainer's dump tool calls exactly this. False
// when the card is not 8-bit one-channel or the cell does not lie inside it.
bool digit_cell_input(const IplImage* card, int x, int y, float input[kDigitInputSize]);

// One network: probabilities of the digits 0..9 (softmax with the largest
// output subtracted first).
DigitScores run_digit_network(const DigitNetworkParameters& parameters, const float input[kDigitInputSize]);

// score_d = (a_d + b_d + c_d - max(a_d, b_d, c_d)) / 2: the mean of the two
// lower probabilities, so a digit that only one network believes in scores low.
DigitScores combine_digit_scores(const DigitScores& a, const DigitScores& b, const DigitScores& c);

// Networks A, B and C on one input, combined.
DigitScores classify_digit_input(const float input[kDigitInputSize]);

// The classifier in the library's terms: sets the card's region of interest
// to the cell (x, y, 19, 27) and leaves it set; cell_image (19 x 27, the
// card's depth) receives the equalised gradient and cell_input (19 x 27,
// 32-bit float) the network input. All zeros when refused.
DigitScores classify_digit(IplImage* card, int x, int y, IplImage* cell_image, IplImage* cell_input);
