#include "cardscanner/core/ExpiryNetworks.h"

#include "cardscanner/core/ImagePrimitives.h"

#include "CoreTestImages.h"

#include <opencv2/imgproc/imgproc_c.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

std::unique_ptr<ExpiryDigitNetworkParameters> random_expiry_network(unsigned seed)
{
    auto parameters = std::make_unique<ExpiryDigitNetworkParameters>();
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-0.2f, 0.2f);
    for (float& v : parameters->first_kernels)
        v = value(random);
    for (float& v : parameters->first_biases)
        v = value(random);
    for (float& v : parameters->second_kernels)
        v = value(random) * 0.2f;
    for (float& v : parameters->second_biases)
        v = value(random);
    for (float& v : parameters->hidden_weights)
        v = value(random);
    for (float& v : parameters->hidden_biases)
        v = value(random);
    for (float& v : parameters->output_weights)
        v = value(random);
    for (float& v : parameters->output_biases)
        v = value(random);
    return parameters;
}

void random_input(float input[kExpiryInputSize], unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-0.5f, 0.5f);
    for (int i = 0; i < kExpiryInputSize; ++i)
        input[i] = value(random);
}

template <typename Scores>
void expect_distribution(const Scores& p)
{
    float sum = 0.0f;
    for (float v : p) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(v, 0.0f);
        sum += v;
    }
    EXPECT_NEAR(sum, 1.0f, 1e-5f);
}

} // namespace

TEST(ExpiryNetworks, SoftmaxStaysFiniteOnHugeOutputs)
{
    auto digits = std::make_unique<ExpiryDigitNetworkParameters>();
    digits->output_biases[3] = 3.0e38f;
    digits->output_biases[7] = 1.0e38f;
    float input[kExpiryInputSize];
    random_input(input, 1);
    const DigitScores p = run_expiry_digit_network(*digits, input);
    expect_distribution(p);
    EXPECT_FLOAT_EQ(p[3], 1.0f);

    digits->output_biases[3] = -3.0e38f;
    digits->output_biases[7] = -3.0e38f;
    expect_distribution(run_expiry_digit_network(*digits, input));

    auto separator = std::make_unique<SeparatorNetworkParameters>();
    separator->output_biases[0] = 2.0e38f;
    separator->output_biases[1] = -2.0e38f;
    const std::array<float, 2> s = run_separator_network(*separator, input);
    expect_distribution(s);
    EXPECT_FLOAT_EQ(s[0], 1.0f);
}

TEST(ExpiryNetworks, DigitNetworkReadsOnlyRowsOneToFourteen)
{
    const auto parameters = random_expiry_network(7);
    float input[kExpiryInputSize];
    random_input(input, 2);
    const DigitScores reference = run_expiry_digit_network(*parameters, input);
    expect_distribution(reference);

    float changed[kExpiryInputSize];
    std::copy(input, input + kExpiryInputSize, changed);
    for (int c = 0; c < kExpiryCellWidth; ++c) {
        changed[c] += 1.0f;
        changed[15 * kExpiryCellWidth + c] -= 1.0f;
    }
    EXPECT_EQ(run_expiry_digit_network(*parameters, changed), reference);

    for (const int row : {1, 14}) {
        std::copy(input, input + kExpiryInputSize, changed);
        for (int c = 0; c < kExpiryCellWidth; ++c)
            changed[row * kExpiryCellWidth + c] += 1.0f;
        EXPECT_NE(run_expiry_digit_network(*parameters, changed), reference) << "row " << row;
    }
}

TEST(ExpiryNetworks, LayersAreLaidOutAsDocumented)
{
    // One path through the network: map 0 of the first layer copies input
    // pixel (row 1, column 0) to its position (0, 0); map 0 of the second
    // layer copies that to its (0, 0), pooled into feature 0; hidden unit 0
    // passes feature 0 on to digit 4.
    auto parameters = std::make_unique<ExpiryDigitNetworkParameters>();
    parameters->first_kernels[0] = 1.0f;
    parameters->second_kernels[0] = 1.0f;
    parameters->hidden_weights[0] = 1.0f;
    parameters->output_weights[4 * 176] = 10.0f;
    float input[kExpiryInputSize] = {};
    input[1 * kExpiryCellWidth] = 1.0f;
    EXPECT_GT(run_expiry_digit_network(*parameters, input)[4], 0.99f);

    // Feature n * 3 + pr is the pooled band pr of second-layer map n: band 2
    // covers first-layer rows 4..9, i.e. input rows 5..14 under map 0.
    parameters->hidden_weights[0] = 0.0f;
    parameters->hidden_weights[2] = 1.0f;
    EXPECT_LT(run_expiry_digit_network(*parameters, input)[4], 0.2f);
    input[1 * kExpiryCellWidth] = 0.0f;
    input[(1 + 4) * kExpiryCellWidth] = 1.0f;
    EXPECT_GT(run_expiry_digit_network(*parameters, input)[4], 0.99f);

    // Separator: hidden unit 0 reads input 5 (row 0, column 5).
    auto separator = std::make_unique<SeparatorNetworkParameters>();
    separator->hidden_weights[5] = 10.0f;
    separator->output_weights[0] = 10.0f;
    float cell[kExpiryInputSize] = {};
    cell[5] = 1.0f;
    EXPECT_GT(run_separator_network(*separator, cell)[0], 0.99f);
    cell[5] = 0.0f;
    EXPECT_NEAR(run_separator_network(*separator, cell)[0], 0.5f, 1e-6f);
}

TEST(ExpiryNetworks, BuiltInWeightsGiveDistributions)
{
    float input[kExpiryInputSize];
    random_input(input, 3);
    expect_distribution(run_expiry_digit_network(expiry_digit_network, input));
    expect_distribution(run_separator_network(separator_network, input));
}

TEST(ExpiryNetworkInputs, DigitInputMatchesTheLibrarysFilters)
{
    ImagePtr card = random_card(21);
    // Smooth areas as well as noise, so the bilateral filter has close
    // neighbours to weigh.
    for (int y = 100; y < 140; ++y) {
        for (int x = 100; x < 140; ++x)
            pixel(card.get(), x, y) = static_cast<uint8_t>(100 + (x + y) / 7);
    }
    for (const CvPoint at : {cvPoint(0, 0), cvPoint(95, 110), cvPoint(120, 120), cvPoint(417, 254)}) {
        SCOPED_TRACE(testing::Message() << "patch at " << at.x << ", " << at.y);
        float input[kExpiryInputSize];
        ASSERT_TRUE(expiry_digit_input(card.get(), at.x, at.y, input));

        ImagePtr patch = make_image(kExpiryCellWidth, kExpiryCellHeight);
        cvSetImageROI(card.get(), cvRect(at.x, at.y, kExpiryCellWidth, kExpiryCellHeight));
        cvCopy(card.get(), patch.get());
        cvResetImageROI(card.get());
        ImagePtr gradient = make_image(kExpiryCellWidth, kExpiryCellHeight);
        IplConvKernel* cross = cvCreateStructuringElementEx(3, 3, 1, 1, CV_SHAPE_CROSS);
        cvMorphologyEx(patch.get(), gradient.get(), nullptr, cross, CV_MOP_GRADIENT, 1);
        cvReleaseStructuringElement(&cross);
        llcv_equalize_hist(gradient.get(), gradient.get());
        ImagePtr filtered = make_image(kExpiryCellWidth, kExpiryCellHeight);
        cvSmooth(gradient.get(), filtered.get(), CV_BILATERAL, 3, 3, 0.95, 2.0 / 3.0);

        double mean = 0.0;
        for (int i = 0; i < kExpiryInputSize; ++i)
            mean += pixel(filtered.get(), i % kExpiryCellWidth, i / kExpiryCellWidth) / 255.0;
        mean /= kExpiryInputSize;
        double input_sum = 0.0;
        for (int i = 0; i < kExpiryInputSize; ++i) {
            const double expected = pixel(filtered.get(), i % kExpiryCellWidth, i / kExpiryCellWidth) / 255.0 - mean;
            ASSERT_NEAR(input[i], expected, 1e-5) << "value " << i;
            input_sum += input[i];
        }
        EXPECT_NEAR(input_sum, 0.0, 1e-4);
    }
}

TEST(ExpiryNetworkInputs, RefusesPatchesOutsideAndWrongImages)
{
    ImagePtr card = random_card(4);
    float input[kExpiryInputSize];
    for (const CvPoint at : {cvPoint(-1, 0), cvPoint(0, -1), cvPoint(418, 0), cvPoint(0, 255), cvPoint(1 << 30, 5)})
        EXPECT_FALSE(expiry_digit_input(card.get(), at.x, at.y, input)) << at.x << ", " << at.y;
    EXPECT_FALSE(expiry_digit_input(nullptr, 0, 0, input));
    EXPECT_FALSE(expiry_digit_input(card.get(), 0, 0, nullptr));
    ImagePtr colour = make_image(428, 270, IPL_DEPTH_8U, 3);
    EXPECT_FALSE(expiry_digit_input(colour.get(), 0, 0, input));

    // A flat patch has no gradient at all: every input is 0.
    ImagePtr flat = make_image(428, 270);
    cvSet(flat.get(), cvScalar(90));
    ASSERT_TRUE(expiry_digit_input(flat.get(), 30, 40, input));
    for (float v : input)
        EXPECT_EQ(v, 0.0f);

    EXPECT_FALSE(separator_network_input(card.get(), 0, 0, input)) << "8-bit is no gradient";
    ImagePtr gradient = make_image(428, 270, IPL_DEPTH_16S);
    EXPECT_FALSE(separator_network_input(gradient.get(), 418, 0, input));
    EXPECT_FALSE(separator_network_input(gradient.get(), 0, 255, input));
}

TEST(ExpiryNetworkInputs, SeparatorInputIsTheGradientPatchRowByRow)
{
    ImagePtr gradient = make_image(428, 270, IPL_DEPTH_16S);
    auto at = [&](int x, int y) -> int16_t& {
        return reinterpret_cast<int16_t*>(gradient->imageData + y * gradient->widthStep)[x];
    };
    at(203, 102) = 510;
    at(210, 115) = 4080;
    at(211, 115) = 999; // just outside the patch
    cvSetImageROI(gradient.get(), cvRect(0, 0, 5, 5)); // the patch is taken from the whole image
    float input[kExpiryInputSize];
    ASSERT_TRUE(separator_network_input(gradient.get(), 200, 100, input));
    for (int i = 0; i < kExpiryInputSize; ++i) {
        float expected = 0.0f;
        if (i == 2 * kExpiryCellWidth + 3)
            expected = 2.0f;
        if (i == 15 * kExpiryCellWidth + 10)
            expected = 16.0f;
        EXPECT_NEAR(input[i], expected, 1e-6f) << "value " << i;
    }
}
