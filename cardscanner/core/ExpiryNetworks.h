#pragma once
// The expiry networks: the separator network, which tells whether an 11 x 16
// cell of the text-line gradient holds the '/' between month and year, and
// the expiry digit network, which reads one character of a date candidate
// from the card image. NETWORKS.md gives their layouts for the trainer.
//
// Stateless free functions; the inputs live on the caller's stack, so any
// number of threads may call them at once. Inputs are 16 rows of 11 values,
// row-major (input[r * 11 + c], row 0 the top).

#include "cardscanner/core/DigitClassifiers.h"

#include <opencv2/core/core_c.h>

#include <array>

constexpr int kExpiryCellWidth = 11;
constexpr int kExpiryCellHeight = 16;
constexpr int kExpiryInputSize = kExpiryCellWidth * kExpiryCellHeight; // 176

// 176 -> 80 tanh -> 2 softmax (separator, anything else).
struct SeparatorNetworkParameters {
    float hidden_weights[80 * kExpiryInputSize];
    float hidden_biases[80];
    float output_weights[2 * 80];
    float output_biases[2];
};

// 16 x 11 -> rows 1..14, 50 5x5 correlations (10 x 7), ReLU -> 40 5x5
// correlations over all 50 maps (6 x 3), 2 x 3 max pooling (3 x 1), ReLU
// -> 120 -> 176 ReLU -> 10 softmax.
struct ExpiryDigitNetworkParameters {
    float first_kernels[50 * 25]; // map m: 25 values, row-major
    float first_biases[50];
    float second_kernels[40 * 50 * 25]; // map n, input map m: 25 values at (n * 50 + m) * 25
    float second_biases[40];
    float hidden_weights[176 * 120];
    float hidden_biases[176];
    float output_weights[10 * 176];
    float output_biases[10];
};

extern const SeparatorNetworkParameters separator_network; // weights/SeparatorWeights.cpp
extern const ExpiryDigitNetworkParameters expiry_digit_network; // weights/ExpiryDigitWeights.cpp

// The separator network's input for the cell whose top-left corner is (x, y):
// the 11 x 16 patch of the gradient image, each value / 255. False when the
// gradient is not 16-bit signed one-channel or the patch does not lie inside.
bool separator_network_input(const IplImage* gradient, int x, int y, float input[kExpiryInputSize]);

// Probabilities (separator, anything else); softmax with the largest output
// subtracted first.
std::array<float, 2> run_separator_network(const SeparatorNetworkParameters& parameters,
                                           const float input[kExpiryInputSize]);

// The expiry digit network's input for the character whose top-left corner
// is (x, y) on the card: the 11 x 16 patch; cross_gradient inside the patch
// (neighbours outside it count as the pixel itself); llcv_equalize_hist;
// bilateral filter (diameter 3, colour sigma 0.95, space sigma 2/3, the patch
// edge replicated); / 255; minus the mean of the 176 values. The trainer's
// dump tool calls exactly this. False when the card is not 8-bit one-channel
// or the patch does not lie inside it.
bool expiry_digit_input(const IplImage* card, int x, int y, float input[kExpiryInputSize]);

// Probabilities of the digits 0..9; softmax with the largest output
// subtracted first.
DigitScores run_expiry_digit_network(const ExpiryDigitNetworkParameters& parameters,
                                     const float input[kExpiryInputSize]);
