#include "cardscanner/core/ExpiryNetworks.h"

#include "cardscanner/core/NetworkLayers.h"

#include "cardscanner/core/ImagePrimitives.h"
#include "cardscanner/core/ImageView.h"

#include <Eigen/Core>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kSeparatorHidden = 80;
constexpr int kFirstMaps = 50;
constexpr int kFirstRows = 10; // input rows 1..14 under a 5-row kernel
constexpr int kFirstColumns = 7;
constexpr int kFirstInputRow = 1;
constexpr int kSecondMaps = 40;
constexpr int kSecondRows = 6;
constexpr int kSecondColumns = 3;
constexpr int kPooledRows = 3; // 2 x 3 pooling of the 6 x 3 map
constexpr int kFeatures = kSecondMaps * kPooledRows; // 120
constexpr int kHidden = 176;

bool patch_inside(const ImageView& image, int x, int y)
{
    return x >= 0 && y >= 0 && x <= image.width - kExpiryCellWidth && y <= image.height - kExpiryCellHeight;
}


// Bilateral filter of diameter 3: at radius 1 only the cross takes part (the
// diagonals lie sqrt 2 away). At these sigmas no 8-bit value moves by half a
// level, so today the patch comes back unchanged; the filter stays so that the
// input remains the one NETWORKS.md documents should the sigmas change.
void bilateral_cross(const uint8_t* in, uint8_t* out)
{
    const double sigma_color = 0.95;
    const double sigma_space = 2.0 / 3.0;
    const float space_weight = static_cast<float>(std::exp(-0.5 / (sigma_space * sigma_space)));
    const double colour_coefficient = -0.5 / (sigma_color * sigma_color);
    constexpr int kOffsets[5][2] = {{-1, 0}, {0, -1}, {0, 0}, {0, 1}, {1, 0}};
    for (int r = 0; r < kExpiryCellHeight; ++r) {
        for (int c = 0; c < kExpiryCellWidth; ++c) {
            const int centre = in[r * kExpiryCellWidth + c];
            float sum = 0.0f;
            float weights = 0.0f;
            for (const auto& offset : kOffsets) {
                const int rr = std::clamp(r + offset[0], 0, kExpiryCellHeight - 1);
                const int cc = std::clamp(c + offset[1], 0, kExpiryCellWidth - 1);
                const int value = in[rr * kExpiryCellWidth + cc];
                const int difference = std::abs(value - centre);
                const float colour_weight
                    = static_cast<float>(std::exp(static_cast<double>(difference * difference) * colour_coefficient));
                const float w = (offset[0] == 0 && offset[1] == 0 ? 1.0f : space_weight) * colour_weight;
                sum += static_cast<float>(value) * w;
                weights += w;
            }
            out[r * kExpiryCellWidth + c] = static_cast<uint8_t>(std::clamp(std::lrint(sum / weights), 0L, 255L));
        }
    }
}

} // namespace

bool separator_network_input(const IplImage* gradient, int x, int y, float input[kExpiryInputSize])
{
    ImageView view;
    if (input == nullptr || !whole_image_view(gradient, view) || view.depth != static_cast<int>(IPL_DEPTH_16S)
        || view.channels != 1 || !patch_inside(view, x, y))
        return false;
    const float scale = static_cast<float>(1.0 / 255.0);
    for (int r = 0; r < kExpiryCellHeight; ++r) {
        const auto* row = reinterpret_cast<const int16_t*>(view.row(y + r)) + x;
        for (int c = 0; c < kExpiryCellWidth; ++c)
            input[r * kExpiryCellWidth + c] = static_cast<float>(row[c]) * scale;
    }
    return true;
}

std::array<float, 2> run_separator_network(const SeparatorNetworkParameters& parameters,
                                           const float input[kExpiryInputSize])
{
    const Eigen::Map<const Eigen::Matrix<float, kExpiryInputSize, 1>> x(input);
    const auto hidden = dense_layer<kSeparatorHidden, kExpiryInputSize>(parameters.hidden_weights, parameters.hidden_biases,
                                                                        x, Activation::Tanh);
    return softmax<2>(dense_layer<2, kSeparatorHidden>(parameters.output_weights, parameters.output_biases, hidden,
                                                       Activation::None));
}

bool expiry_digit_input(const IplImage* card, int x, int y, float input[kExpiryInputSize])
{
    ImageView view;
    if (input == nullptr || !whole_image_view(card, view) || !is_plane8(view) || !patch_inside(view, x, y))
        return false;

    ImageView patch = view;
    patch.data = view.row(y) + x;
    patch.width = kExpiryCellWidth;
    patch.height = kExpiryCellHeight;
    uint8_t gradient[kExpiryInputSize];
    for (int r = 0; r < kExpiryCellHeight; ++r) {
        const uint8_t* above = patch.row(r > 0 ? r - 1 : r);
        const uint8_t* here = patch.row(r);
        const uint8_t* below = patch.row(r + 1 < kExpiryCellHeight ? r + 1 : r);
        for (int c = 0; c < kExpiryCellWidth; ++c) {
            const uint8_t left = here[c > 0 ? c - 1 : c];
            const uint8_t right = here[c + 1 < kExpiryCellWidth ? c + 1 : c];
            const uint8_t hi = std::max({here[c], left, right, above[c], below[c]});
            const uint8_t lo = std::min({here[c], left, right, above[c], below[c]});
            gradient[r * kExpiryCellWidth + c] = static_cast<uint8_t>(hi - lo);
        }
    }
    IplImage header;
    cvInitImageHeader(&header, cvSize(kExpiryCellWidth, kExpiryCellHeight), IPL_DEPTH_8U, 1);
    cvSetData(&header, gradient, kExpiryCellWidth);
    llcv_equalize_hist(&header, &header);

    uint8_t filtered[kExpiryInputSize];
    bilateral_cross(gradient, filtered);
    const float scale = static_cast<float>(1.0 / 255.0);
    double sum = 0.0;
    for (int i = 0; i < kExpiryInputSize; ++i) {
        input[i] = static_cast<float>(filtered[i]) * scale;
        sum += static_cast<double>(input[i]);
    }
    const float mean = static_cast<float>(sum / kExpiryInputSize);
    for (int i = 0; i < kExpiryInputSize; ++i)
        input[i] -= mean;
    return true;
}

DigitScores run_expiry_digit_network(const ExpiryDigitNetworkParameters& parameters,
                                     const float input[kExpiryInputSize])
{
    static_assert(kFirstInputRow + kFirstRows + 4 <= kExpiryCellHeight - 1);
    static_assert(kFirstColumns + 4 == kExpiryCellWidth);

    float first[kFirstMaps][kFirstRows][kFirstColumns];
    for (int m = 0; m < kFirstMaps; ++m) {
        const float* k = parameters.first_kernels + m * 25;
        for (int r = 0; r < kFirstRows; ++r) {
            for (int c = 0; c < kFirstColumns; ++c) {
                float v = parameters.first_biases[m];
                for (int i = 0; i < 5; ++i) {
                    const float* in = input + (kFirstInputRow + r + i) * kExpiryCellWidth + c;
                    for (int j = 0; j < 5; ++j)
                        v += k[i * 5 + j] * in[j];
                }
                first[m][r][c] = std::max(v, 0.0f);
            }
        }
    }

    float features[kFeatures];
    for (int n = 0; n < kSecondMaps; ++n) {
        float second[kSecondRows][kSecondColumns] = {};
        for (int m = 0; m < kFirstMaps; ++m) {
            const float* k = parameters.second_kernels + (n * kFirstMaps + m) * 25;
            for (int r = 0; r < kSecondRows; ++r) {
                for (int c = 0; c < kSecondColumns; ++c) {
                    float v = 0.0f;
                    for (int i = 0; i < 5; ++i) {
                        for (int j = 0; j < 5; ++j)
                            v += k[i * 5 + j] * first[m][r + i][c + j];
                    }
                    second[r][c] += v;
                }
            }
        }
        for (int pr = 0; pr < kPooledRows; ++pr) {
            float largest = second[2 * pr][0];
            for (int i = 0; i < 2; ++i) {
                for (int c = 0; c < kSecondColumns; ++c)
                    largest = std::max(largest, second[2 * pr + i][c]);
            }
            features[n * kPooledRows + pr] = std::max(largest + parameters.second_biases[n], 0.0f);
        }
    }

    const Eigen::Map<const Eigen::Matrix<float, kFeatures, 1>> f(features);
    const auto hidden =
        dense_layer<kHidden, kFeatures>(parameters.hidden_weights, parameters.hidden_biases, f, Activation::Relu);
    return softmax<10>(dense_layer<10, kHidden>(parameters.output_weights, parameters.output_biases, hidden,
                                                Activation::None));
}
