#include "cardscanner/core/DigitClassifiers.h"

#include "cardscanner/core/ImagePrimitives.h"

#include "CoreTestImages.h"

#include <opencv2/imgproc/imgproc_c.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

float sum_of(const DigitScores& scores)
{
    float sum = 0.0f;
    for (float v : scores)
        sum += v;
    return sum;
}

DigitScores one_hot(int digit)
{
    DigitScores scores{};
    scores[digit] = 1.0f;
    return scores;
}

std::unique_ptr<DigitNetworkParameters> zero_network() { return std::make_unique<DigitNetworkParameters>(); }

} // namespace

TEST(CombineDigitScores, MeanOfTheTwoLowerProbabilities)
{
    for (float v : combine_digit_scores(one_hot(1), one_hot(2), one_hot(3)))
        EXPECT_EQ(v, 0.0f);

    const DigitScores same = {0.1f, 0.2f, 0.05f, 0.05f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f, 0.1f};
    const DigitScores unchanged = combine_digit_scores(same, same, same);
    for (int d = 0; d < 10; ++d)
        EXPECT_FLOAT_EQ(unchanged[d], same[d]);

    const DigitScores a = {0.5f, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0};
    const DigitScores b = {0.2f, 0.8f, 0, 0, 0, 0, 0, 0, 0, 0};
    const DigitScores c = {0.3f, 0.3f, 0.4f, 0, 0, 0, 0, 0, 0, 0};
    const DigitScores combined = combine_digit_scores(a, b, c);
    EXPECT_FLOAT_EQ(combined[0], 0.25f);
    EXPECT_FLOAT_EQ(combined[1], 0.4f);
    EXPECT_FLOAT_EQ(combined[2], 0.0f);
    // (3 - sum of the per-digit maxima 0.5 + 0.8 + 0.4) / 2
    EXPECT_FLOAT_EQ(sum_of(combined), (3.0f - 1.7f) / 2.0f);
}

TEST(RunDigitNetwork, SoftmaxOfTheBiasesSurvivesHugeOutputs)
{
    auto network = zero_network();
    float input[kDigitInputSize] = {};
    DigitScores uniform = run_digit_network(*network, input);
    for (float p : uniform)
        EXPECT_FLOAT_EQ(p, 0.1f);

    network->output_biases[7] = 1000.0f;
    network->output_biases[2] = 999.0f;
    const DigitScores p = run_digit_network(*network, input);
    EXPECT_TRUE(std::isfinite(p[7]));
    EXPECT_NEAR(p[7], 1.0f / (1.0f + std::exp(-1.0f)), 1e-6);
    EXPECT_NEAR(p[2], std::exp(-1.0f) / (1.0f + std::exp(-1.0f)), 1e-6);
    EXPECT_NEAR(sum_of(p), 1.0f, 1e-6);
}

TEST(RunDigitNetwork, FeatureOrderIsMapThenPooledRowThenPooledColumn)
{
    // Map 1 passes its input through (centre tap); hidden unit 0 reads
    // feature 1 * 40 + 2 * 5 + 3, pooled row 2 and column 3 of map 1, and
    // drives output 4.
    auto network = zero_network();
    network->kernels[1 * 9 + 4] = 1.0f;
    network->hidden_weights[0 * 320 + 1 * 40 + 2 * 5 + 3] = 5.0f;
    network->output_weights[4 * 32 + 0] = 10.0f;

    float input[kDigitInputSize] = {};
    // Convolution row 7, column 10 lies in pooled block (2, 3); its centre
    // tap reads input row 8, column 11.
    input[8 * kDigitCellWidth + 11] = 1.0f;
    EXPECT_GT(run_digit_network(*network, input)[4], 0.9f);

    float elsewhere[kDigitInputSize] = {};
    elsewhere[8 * kDigitCellWidth + 14] = 1.0f; // pooled column 4
    EXPECT_NEAR(run_digit_network(*network, elsewhere)[4], 0.1f, 1e-6);
}

TEST(RunDigitNetwork, OnlyTheComputedPositionsAreRead)
{
    // Every kernel tap 1 and every feature feeding output 0: any input pixel
    // inside the 26 x 17 area the 24 x 15 correlations read changes output 0.
    auto network = zero_network();
    for (float& k : network->kernels)
        k = 1.0f;
    for (float& w : network->hidden_weights)
        w = 0.01f;
    network->output_weights[0] = 5.0f;
    float empty[kDigitInputSize] = {};
    const DigitScores base = run_digit_network(*network, empty);

    float outside[kDigitInputSize] = {};
    for (int r = 0; r < kDigitCellHeight; ++r) {
        outside[r * kDigitCellWidth + 17] = 1.0f;
        outside[r * kDigitCellWidth + 18] = 1.0f;
    }
    for (int c = 0; c < kDigitCellWidth; ++c)
        outside[26 * kDigitCellWidth + c] = 1.0f;
    EXPECT_EQ(run_digit_network(*network, outside), base);

    float inside[kDigitInputSize] = {};
    inside[25 * kDigitCellWidth + 16] = 1.0f;
    EXPECT_NE(run_digit_network(*network, inside), base);
}

TEST(DigitCellInput, GradientInsideTheCellEqualisedAndScaled)
{
    ImagePtr card = random_card(31);
    float input[kDigitInputSize];
    ASSERT_TRUE(digit_cell_input(card.get(), 100, 170, input));

    ImagePtr cell = make_image(19, 27), gradient = make_image(19, 27);
    cvSetImageROI(card.get(), cvRect(100, 170, 19, 27));
    cvCopy(card.get(), cell.get());
    cvResetImageROI(card.get());
    IplConvKernel* element = cvCreateStructuringElementEx(3, 3, 1, 1, CV_SHAPE_CROSS);
    cvMorphologyEx(cell.get(), gradient.get(), nullptr, element, CV_MOP_GRADIENT, 1);
    cvReleaseStructuringElement(&element);
    ASSERT_TRUE(llcv_equalize_hist(gradient.get(), gradient.get()));
    for (int r = 0; r < 27; ++r) {
        for (int c = 0; c < 19; ++c)
            ASSERT_FLOAT_EQ(input[r * 19 + c], pixel(gradient.get(), c, r) / 255.0f) << r << "," << c;
    }
}

TEST(DigitCellInput, CellsOutsideTheCardAndOtherImagesAreRefused)
{
    ImagePtr card = random_card(32);
    float input[kDigitInputSize];
    EXPECT_TRUE(digit_cell_input(card.get(), 409, 243, input));
    EXPECT_FALSE(digit_cell_input(card.get(), 410, 100, input));
    EXPECT_FALSE(digit_cell_input(card.get(), 10, 244, input));
    EXPECT_FALSE(digit_cell_input(card.get(), -1, 100, input));
    ImagePtr color = make_image(428, 270, IPL_DEPTH_8U, 3);
    EXPECT_FALSE(digit_cell_input(color.get(), 10, 10, input));
}

TEST(ClassifyDigit, UniformCellGivesAValidRowAndFillsTheWorkImages)
{
    ImagePtr card = make_image(428, 270);
    cvSet(card.get(), cvScalarAll(120));
    ImagePtr cell_image = make_image(19, 27), cell_input = make_image(19, 27, IPL_DEPTH_32F, 1);
    cvSet(cell_image.get(), cvScalarAll(9));
    const DigitScores scores = classify_digit(card.get(), 50, 160, cell_image.get(), cell_input.get());
    ASSERT_NE(card->roi, nullptr);
    EXPECT_EQ(card->roi->xOffset, 50);
    EXPECT_EQ(card->roi->yOffset, 160);
    EXPECT_EQ(cvSum(cell_image.get()).val[0], 0.0);
    for (float s : scores) {
        EXPECT_TRUE(std::isfinite(s));
        EXPECT_GE(s, 0.0f);
    }
    EXPECT_LE(sum_of(scores), 1.0f + 1e-6f);

    float zeros[kDigitInputSize] = {};
    EXPECT_EQ(scores, classify_digit_input(zeros));
}

TEST(ClassifyDigit, MatchesTheInputPathOnARealCell)
{
    ImagePtr card = random_card(33);
    ImagePtr cell_image = make_image(19, 27), cell_input = make_image(19, 27, IPL_DEPTH_32F, 1);
    const DigitScores scores = classify_digit(card.get(), 200, 200, cell_image.get(), cell_input.get());
    float input[kDigitInputSize];
    ASSERT_TRUE(digit_cell_input(card.get(), 200, 200, input));
    EXPECT_EQ(scores, classify_digit_input(input));
    const auto* written = reinterpret_cast<const float*>(cell_input->imageData + 5 * cell_input->widthStep);
    EXPECT_EQ(written[7], input[5 * 19 + 7]);

    ImagePtr wrong = make_image(27, 19);
    EXPECT_EQ(classify_digit(card.get(), 200, 200, wrong.get(), cell_input.get()), DigitScores{});
}
