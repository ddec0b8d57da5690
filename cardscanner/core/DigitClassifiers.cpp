#include "cardscanner/core/DigitClassifiers.h"

#include "cardscanner/core/NetworkLayers.h"

#include "cardscanner/core/ImagePrimitives.h"
#include "cardscanner/core/ImageView.h"

#include <Eigen/Core>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaps = 8;
constexpr int kConvRows = 24;
constexpr int kConvColumns = 15;
constexpr int kPooledRows = 8;
constexpr int kPooledColumns = 5;
constexpr int kFeatures = kMaps * kPooledRows * kPooledColumns; // 320
constexpr int kHidden = 32;

bool cell_inside(const ImageView& card, int x, int y)
{
    return x >= 0 && y >= 0 && x + kDigitCellWidth <= card.width && y + kDigitCellHeight <= card.height;
}

// Gradient inside the cell, equalised, into cell (19 x 27, packed) and the
// scaled network input.
void prepare_cell(const ImageView& card, int x, int y, uint8_t* cell, float* input)
{
    ImageView region = card;
    region.data = card.row(y) + x;
    region.width = kDigitCellWidth;
    region.height = kDigitCellHeight;
    for (int r = 0; r < kDigitCellHeight; ++r) {
        const uint8_t* above = region.row(r > 0 ? r - 1 : r);
        const uint8_t* here = region.row(r);
        const uint8_t* below = region.row(r + 1 < kDigitCellHeight ? r + 1 : r);
        uint8_t* out = cell + r * kDigitCellWidth;
        for (int c = 0; c < kDigitCellWidth; ++c) {
            const uint8_t left = here[c > 0 ? c - 1 : c];
            const uint8_t right = here[c + 1 < kDigitCellWidth ? c + 1 : c];
            const uint8_t hi = std::max({here[c], left, right, above[c], below[c]});
            const uint8_t lo = std::min({here[c], left, right, above[c], below[c]});
            out[c] = static_cast<uint8_t>(hi - lo);
        }
    }
    IplImage header;
    cvInitImageHeader(&header, cvSize(kDigitCellWidth, kDigitCellHeight), IPL_DEPTH_8U, 1);
    cvSetData(&header, cell, kDigitCellWidth);
    llcv_equalize_hist(&header, &header);
    const float scale = static_cast<float>(1.0 / 255.0);
    for (int i = 0; i < kDigitInputSize; ++i)
        input[i] = static_cast<float>(cell[i]) * scale;
}

} // namespace

bool digit_cell_input(const IplImage* card, int x, int y, float input[kDigitInputSize])
{
    ImageView view;
    if (input == nullptr || !whole_image_view(card, view) || !is_plane8(view) || !cell_inside(view, x, y))
        return false;
    uint8_t cell[kDigitInputSize];
    prepare_cell(view, x, y, cell, input);
    return true;
}

DigitScores run_digit_network(const DigitNetworkParameters& parameters, const float input[kDigitInputSize])
{
    float features[kFeatures];
    for (int m = 0; m < kMaps; ++m) {
        const float* k = parameters.kernels + m * 9;
        float conv[kConvRows][kConvColumns];
        for (int r = 0; r < kConvRows; ++r) {
            const float* row0 = input + r * kDigitCellWidth;
            const float* row1 = row0 + kDigitCellWidth;
            const float* row2 = row1 + kDigitCellWidth;
            for (int c = 0; c < kConvColumns; ++c) {
                conv[r][c] = k[0] * row0[c] + k[1] * row0[c + 1] + k[2] * row0[c + 2] + k[3] * row1[c]
                    + k[4] * row1[c + 1] + k[5] * row1[c + 2] + k[6] * row2[c] + k[7] * row2[c + 1]
                    + k[8] * row2[c + 2];
            }
        }
        const float bias = parameters.kernel_biases[m];
        for (int pr = 0; pr < kPooledRows; ++pr) {
            for (int pc = 0; pc < kPooledColumns; ++pc) {
                float largest = conv[3 * pr][3 * pc];
                for (int i = 0; i < 3; ++i) {
                    for (int j = 0; j < 3; ++j)
                        largest = std::max(largest, conv[3 * pr + i][3 * pc + j]);
                }
                features[m * 40 + pr * kPooledColumns + pc] = std::tanh(largest + bias);
            }
        }
    }

    const Eigen::Map<const Eigen::Matrix<float, kFeatures, 1>> f(features);
    const auto hidden =
        dense_layer<kHidden, kFeatures>(parameters.hidden_weights, parameters.hidden_biases, f, Activation::Tanh);
    return softmax<10>(dense_layer<10, kHidden>(parameters.output_weights, parameters.output_biases, hidden,
                                                Activation::None));
}

DigitScores combine_digit_scores(const DigitScores& a, const DigitScores& b, const DigitScores& c)
{
    DigitScores combined{};
    for (int d = 0; d < 10; ++d)
        combined[d] = (a[d] + b[d] + c[d] - std::max({a[d], b[d], c[d]})) * 0.5f;
    return combined;
}

DigitScores classify_digit_input(const float input[kDigitInputSize])
{
    return combine_digit_scores(run_digit_network(digit_network_a, input), run_digit_network(digit_network_b, input),
                                run_digit_network(digit_network_c, input));
}

DigitScores classify_digit(IplImage* card, int x, int y, IplImage* cell_image, IplImage* cell_input)
{
    ImageView view, cell, inputs;
    if (!whole_image_view(card, view) || !is_plane8(view) || !cell_inside(view, x, y))
        return {};
    if (!image_view(cell_image, cell) || !is_plane8(cell) || cell.width != kDigitCellWidth
        || cell.height != kDigitCellHeight)
        return {};
    if (!image_view(cell_input, inputs) || inputs.depth != IPL_DEPTH_32F || inputs.channels != 1
        || inputs.width != kDigitCellWidth || inputs.height != kDigitCellHeight)
        return {};
    cvSetImageROI(card, cvRect(x, y, kDigitCellWidth, kDigitCellHeight));
    uint8_t packed[kDigitInputSize];
    float input[kDigitInputSize];
    prepare_cell(view, x, y, packed, input);
    for (int r = 0; r < kDigitCellHeight; ++r) {
        std::copy(packed + r * kDigitCellWidth, packed + (r + 1) * kDigitCellWidth, cell.row(r));
        std::copy(input + r * kDigitCellWidth, input + (r + 1) * kDigitCellWidth,
                  reinterpret_cast<float*>(inputs.row(r)));
    }
    return classify_digit_input(input);
}
