#include "cardscanner/core/NumberStripe.h"

#include "CoreTestImages.h"

#include <opencv2/imgproc/imgproc_c.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <cstring>
#include <vector>

namespace {

struct ReleaseElement {
    void operator()(IplConvKernel* element) const { cvReleaseStructuringElement(&element); }
};

std::unique_ptr<IplConvKernel, ReleaseElement> cross_element()
{
    return std::unique_ptr<IplConvKernel, ReleaseElement>(cvCreateStructuringElementEx(3, 3, 1, 1, CV_SHAPE_CROSS));
}

// The profile of a perfect stripe: the template laid out exactly as the
// matcher lays it out for pitch p at x.
std::vector<float> synthetic_profile(const VerticalSegmentation& vseg, float p, int x)
{
    std::vector<float> profile(kCardWidth, 0.0f);
    for (int j = 0; j < vseg.number_pattern_length; ++j) {
        if (vseg.number_pattern[j] != 1)
            continue;
        const int cell = x + static_cast<int>(std::lround(p * static_cast<float>(j)));
        for (int i = 0; i < kDigitCellWidth; ++i)
            profile[cell + i] = digit_template_profile[i];
    }
    return profile;
}

HorizontalSegmentation initial_best(const VerticalSegmentation& vseg)
{
    HorizontalSegmentation best{};
    best.n_offsets = vseg.number_length;
    best.score = 428.0f;
    return best;
}

} // namespace

TEST(CrossGradient, MatchesTheLibraryMorphologyOnAWholeImage)
{
    ImagePtr src = make_image(31, 17), ours = make_image(31, 17), library = make_image(31, 17);
    fill_random(src.get(), 11);
    ASSERT_TRUE(cross_gradient(src.get(), ours.get()));
    auto element = cross_element();
    cvMorphologyEx(src.get(), library.get(), nullptr, element.get(), CV_MOP_GRADIENT, 1);
    EXPECT_EQ(cvNorm(ours.get(), library.get(), CV_L1), 0.0);
}

TEST(CrossGradient, NeverReadsOutsideTheRegion)
{
    ImagePtr src = make_image(10, 10), dst = make_image(1, 1);
    fill_random(src.get(), 5);
    cvSetImageROI(src.get(), cvRect(4, 4, 1, 1));
    ASSERT_TRUE(cross_gradient(src.get(), dst.get()));
    EXPECT_EQ(pixel(dst.get(), 0, 0), 0);

    // A one-row region compares only left and right neighbours.
    cvResetImageROI(src.get());
    cvSet(src.get(), cvScalarAll(0));
    pixel(src.get(), 2, 3) = 100; // above the region
    pixel(src.get(), 5, 4) = 30;
    ImagePtr row = make_image(6, 1);
    cvSetImageROI(src.get(), cvRect(2, 4, 6, 1));
    ASSERT_TRUE(cross_gradient(src.get(), row.get()));
    EXPECT_EQ(pixel(row.get(), 0, 0), 0);
    EXPECT_EQ(pixel(row.get(), 2, 0), 30);
    EXPECT_EQ(pixel(row.get(), 3, 0), 30);
    EXPECT_EQ(pixel(row.get(), 4, 0), 30);
    EXPECT_EQ(pixel(row.get(), 5, 0), 0);

    ImagePtr wrong = make_image(5, 1);
    EXPECT_FALSE(cross_gradient(src.get(), wrong.get()));
}

TEST(StripeNetworkInput, MatchesTheLibraryPipelineOnARegionRow)
{
    ImagePtr card = random_card(21);
    ImagePtr gradient_row = make_image(408, 1), small_row = make_image(204, 1);
    ImagePtr input_row = make_image(204, 1, IPL_DEPTH_32F, 1);
    auto element = cross_element();
    for (int y : {0, 1, 135, 268, 269}) {
        cvSetImageROI(card.get(), cvRect(10, y, 408, 1));
        cvMorphologyEx(card.get(), gradient_row.get(), nullptr, element.get(), CV_MOP_GRADIENT, 1);
        cvResize(gradient_row.get(), small_row.get(), CV_INTER_LINEAR);
        cvConvertScale(small_row.get(), input_row.get(), 1.0 / 255.0, 0);
        cvNormalize(input_row.get(), input_row.get(), 0, 1, CV_MINMAX);
        cvResetImageROI(card.get());

        float input[kStripeInputSize];
        ASSERT_TRUE(stripe_network_input(card.get(), y, input));
        const auto* library = reinterpret_cast<const float*>(input_row->imageData);
        for (int i = 0; i < kStripeInputSize; ++i)
            ASSERT_NEAR(input[i], library[i], 1e-6) << "row " << y << " input " << i;
    }
}

TEST(StripeNetworkInput, ClassifierFillsItsWorkImagesWithTheSameInput)
{
    ImagePtr card = random_card(22);
    ImagePtr gradient_row = make_image(408, 1), small_row = make_image(204, 1);
    ImagePtr input_row = make_image(204, 1, IPL_DEPTH_32F, 1);
    cvSetImageROI(card.get(), cvRect(10, 200, 408, 1));
    const std::array<float, 3> p = classify_number_stripe(card.get(), gradient_row.get(), small_row.get(), input_row.get());
    cvResetImageROI(card.get());
    float input[kStripeInputSize];
    ASSERT_TRUE(stripe_network_input(card.get(), 200, input));
    EXPECT_EQ(std::memcmp(input, input_row->imageData, sizeof input), 0);
    const std::array<float, 3> direct = run_stripe_network(input);
    EXPECT_EQ(p, direct);
    EXPECT_NEAR(p[0] + p[1] + p[2], 1.0f, 1e-5);

    ImagePtr wrong = make_image(204, 1);
    cvSetImageROI(card.get(), cvRect(10, 200, 408, 1));
    EXPECT_EQ(classify_number_stripe(card.get(), gradient_row.get(), small_row.get(), wrong.get()),
              (std::array<float, 3>{}));
}

TEST(StripeNetworkInput, ConstantRowsAndBadCardsAndRowsOutsideAreHandled)
{
    ImagePtr card = make_image(428, 270);
    cvSet(card.get(), cvScalarAll(77));
    float input[kStripeInputSize];
    ASSERT_TRUE(stripe_network_input(card.get(), 100, input));
    for (float v : input)
        EXPECT_EQ(v, 0.0f);
    EXPECT_FALSE(stripe_network_input(card.get(), 270, input));
    EXPECT_FALSE(stripe_network_input(card.get(), -1, input));
    ImagePtr short_card = make_image(428, 269);
    EXPECT_FALSE(stripe_network_input(short_card.get(), 10, input));
}

class StripeSearch : public ::testing::Test {
protected:
    // Probabilities per row; rows not listed score a little of each layout,
    // so that only the rows listed ever come out exactly 0.
    std::map<int, std::array<float, 3>> rows;
    std::map<int, int> times_scored;

    VerticalSegmentation search()
    {
        return search_number_stripe([this](int y) {
            ++times_scored[y];
            auto found = rows.find(y);
            return found == rows.end() ? std::array<float, 3>{0.98f, 0.01f, 0.01f} : found->second;
        });
    }

    void stripe(int from, int to, float p16, float p15)
    {
        for (int y = from; y < to; ++y)
            rows[y] = {1.0f - p16 - p15, p16, p15};
    }
};

TEST_F(StripeSearch, FindsTheStripeAndScoresEachRowAtMostOnce)
{
    stripe(150, 177, 0.9f, 0.05f);
    const VerticalSegmentation vseg = search();
    EXPECT_EQ(vseg.y_offset, 150);
    EXPECT_EQ(vseg.pattern_type, 1);
    EXPECT_EQ(vseg.number_length, 16);
    EXPECT_NEAR(vseg.score, 27 * 0.9f, 1e-3);
    for (const auto& [y, count] : times_scored)
        EXPECT_EQ(count, 1) << "row " << y;
    // 68 coarse rows, then the band 142..184 minus its coarse rows.
    EXPECT_EQ(times_scored.size(), 68u + 43u - 11u);
    EXPECT_EQ(times_scored.count(141), 0u);
    EXPECT_EQ(times_scored.count(185), 0u);
}

TEST_F(StripeSearch, RowsThatCameOutExactlyZeroAreScoredAgain)
{
    stripe(150, 177, 0.9f, 0.0f);
    rows[152] = {1.0f, 0.0f, 0.0f};
    search();
    EXPECT_EQ(times_scored[152], 2);
    EXPECT_EQ(times_scored[148], 1);
}

TEST_F(StripeSearch, RefinementBandIsClampedToTheCard)
{
    stripe(5, 32, 0.9f, 0.0f);
    EXPECT_EQ(search().y_offset, 5);
    for (int y = 1; y < 4; ++y)
        EXPECT_EQ(times_scored.count(y), 1u) << y;

    rows.clear();
    times_scored.clear();
    stripe(243, 270, 0.9f, 0.0f);
    EXPECT_EQ(search().y_offset, 243);
    EXPECT_EQ(times_scored.count(269), 1u);
    EXPECT_EQ(times_scored.count(235), 1u);
    EXPECT_EQ(times_scored.count(233), 0u);
}

TEST_F(StripeSearch, FifteenDigitsWinOnlyWhenStrictlyStronger)
{
    stripe(150, 177, 0.5f, 0.5f);
    EXPECT_EQ(search().pattern_type, 1);
    rows.clear();
    stripe(150, 177, 0.25f, 0.5f);
    const VerticalSegmentation fifteen = search();
    EXPECT_EQ(fifteen.pattern_type, 2);
    EXPECT_EQ(fifteen.number_length, 15);
    EXPECT_EQ(fifteen.number_pattern_length, 17);
}

TEST_F(StripeSearch, EqualWindowsKeepTheEarliestRow)
{
    stripe(140, 167, 0.5f, 0.0f);
    stripe(200, 227, 0.5f, 0.0f);
    EXPECT_EQ(search().y_offset, 140);
}

TEST_F(StripeSearch, NothingFoundAndNaNScoresGiveNoLayout)
{
    stripe(0, 270, 0.0f, 0.0f);
    const VerticalSegmentation none = search();
    EXPECT_EQ(none.pattern_type, 0);
    EXPECT_EQ(none.score, 0.0f);
    EXPECT_EQ(none.y_offset, 0);

    rows.clear();
    stripe(0, 270, std::nanf(""), 0.0f);
    EXPECT_EQ(search().pattern_type, 0);
}

TEST(FindNumberStripe, RefusesOtherImagesAndLeavesNoRegion)
{
    ImagePtr wrong = make_image(428, 200);
    EXPECT_EQ(find_number_stripe(wrong.get()).pattern_type, 0);
    EXPECT_EQ(find_number_stripe(nullptr).pattern_type, 0);
    ImagePtr card = random_card(3);
    cvSetImageROI(card.get(), cvRect(1, 1, 5, 5));
    find_number_stripe(card.get());
    EXPECT_EQ(card->roi, nullptr);
}

TEST(SegmentNumberStripe, RecoversAPerfectStripe)
{
    const VerticalSegmentation vseg = vertical_segmentation_for_pattern(1, 20.0f, 150);
    const std::vector<float> profile = synthetic_profile(vseg, 18.1f, 40);
    const HorizontalSegmentation hseg = segment_digits(profile.data(), vseg);
    EXPECT_EQ(hseg.n_offsets, 16);
    EXPECT_EQ(hseg.score, 0.0f);
    EXPECT_EQ(hseg.number_width, 18.1f);
    EXPECT_EQ(hseg.pattern_offset, 40);
    EXPECT_EQ(hseg.offsets[0], 40);
    EXPECT_EQ(hseg.offsets[4], 40 + std::lround(18.1f * 5));
    EXPECT_EQ(hseg.offsets[15], 40 + std::lround(18.1f * 18));
}

TEST(SegmentNumberStripe, FinePassesFollowAStripeOffTheCoarseGrid)
{
    const VerticalSegmentation vseg = vertical_segmentation_for_pattern(1, 20.0f, 150);
    const std::vector<float> profile = synthetic_profile(vseg, 18.2f, 47);
    const HorizontalSegmentation hseg = segment_digits(profile.data(), vseg);
    EXPECT_EQ(hseg.pattern_offset, 47);
    EXPECT_NEAR(hseg.number_width, 18.2f, 0.01f);
    EXPECT_LT(hseg.score, 1e-5f);
}

TEST(SegmentNumberStripe, FifteenDigitLayoutFillsFifteenOffsets)
{
    const VerticalSegmentation vseg = vertical_segmentation_for_pattern(2, 20.0f, 150);
    const std::vector<float> profile = synthetic_profile(vseg, 19.1f, 60);
    const HorizontalSegmentation hseg = segment_digits(profile.data(), vseg);
    EXPECT_EQ(hseg.n_offsets, 15);
    EXPECT_EQ(hseg.offsets[14], 60 + std::lround(19.1f * 16));
    EXPECT_EQ(hseg.offsets[15], 0);
}

TEST(SegmentNumberStripe, CellsBeyondColumn408LeaveNoCandidate)
{
    const VerticalSegmentation vseg = vertical_segmentation_for_pattern(1, 20.0f, 150);
    const std::vector<float> profile(kCardWidth, 0.0f);
    // Pitch 17.1: the last cell starts at x + 308; x = 100 puts it at 408.
    HorizontalSegmentation best = initial_best(vseg);
    segment_number_stripe(profile.data(), vseg, best, 101, 65535, 1, 17.1f, 17.2f, 1.0f);
    EXPECT_EQ(best.score, 428.0f);
    segment_number_stripe(profile.data(), vseg, best, 100, 65535, 1, 17.1f, 17.2f, 1.0f);
    EXPECT_LT(best.score, 428.0f);
    EXPECT_EQ(best.offsets[15], 408);
    EXPECT_EQ(best.pattern_offset, 100);
}

TEST(SegmentNumberStripe, LowerScoreAloneReplacesTheBest)
{
    const VerticalSegmentation vseg = vertical_segmentation_for_pattern(1, 20.0f, 150);
    const std::vector<float> profile = synthetic_profile(vseg, 18.1f, 40);
    HorizontalSegmentation best = initial_best(vseg);
    best.score = 0.0f;
    best.pattern_offset = 7;
    const HorizontalSegmentation result = segment_number_stripe(profile.data(), vseg, best, 0, 65535, 10, 17.1f, 19.7f, 0.5f);
    EXPECT_EQ(result.pattern_offset, 7);
    EXPECT_EQ(best.pattern_offset, 7);
}

TEST(SegmentNumberStripe, DegenerateLimitsEndWithoutCandidates)
{
    const VerticalSegmentation vseg = vertical_segmentation_for_pattern(1, 20.0f, 150);
    const std::vector<float> profile(kCardWidth, 0.5f);
    HorizontalSegmentation best = initial_best(vseg);
    // A pattern wider than the card: the limit is clamped at 0, not wrapped.
    segment_number_stripe(profile.data(), vseg, best, 0, 65535, 1, 30.0f, 31.0f, 0.5f);
    EXPECT_EQ(best.score, 428.0f);
    // Pitches around 0 stack the cells; those left of the card do not fit.
    HorizontalSegmentation stacked = initial_best(vseg);
    segment_number_stripe(profile.data(), vseg, stacked, 0, 20, 1, -0.5f, 0.5f, 0.2f);
    for (int i = 0; i < 16; ++i)
        EXPECT_LE(stacked.offsets[i], 408);
    // Steps that make no progress return at once.
    segment_number_stripe(profile.data(), vseg, best, 0, 65535, 0, 17.0f, 18.0f, 0.5f);
    segment_number_stripe(profile.data(), vseg, best, 0, 65535, 1, 17.0f, 18.0f, 0.0f);
    segment_number_stripe(profile.data(), vseg, best, 0, 65535, 1, 17.0f, 18.0f, std::nanf(""));
    segment_number_stripe(profile.data(), vseg, best, 0, 65535, 1, 18.0f, 17.0f, 0.5f);
    EXPECT_EQ(best.score, 428.0f);
    segment_number_stripe(nullptr, vseg, best, 0, 65535, 1, 17.0f, 18.0f, 0.5f);
    EXPECT_EQ(best.score, 428.0f);
}

TEST(NumberStripeProfile, ColumnSumsOfTheGradientInsideTheStripe)
{
    ImagePtr card = random_card(8);
    float profile[kCardWidth];
    ASSERT_TRUE(number_stripe_profile(card.get(), 160, profile));

    ImagePtr stripe = make_image(428, 27), gradient = make_image(428, 27), sums = make_image(428, 1, IPL_DEPTH_32F, 1);
    cvSetImageROI(card.get(), cvRect(0, 160, 428, 27));
    cvCopy(card.get(), stripe.get());
    cvResetImageROI(card.get());
    ASSERT_TRUE(cross_gradient(stripe.get(), gradient.get()));
    cvReduce(gradient.get(), sums.get(), 0, CV_REDUCE_SUM);
    cvNormalize(sums.get(), sums.get(), 0, 1, CV_MINMAX);
    const auto* library = reinterpret_cast<const float*>(sums->imageData);
    for (int x = 0; x < kCardWidth; ++x)
        ASSERT_NEAR(profile[x], library[x], 1e-6) << x;

    EXPECT_FALSE(number_stripe_profile(card.get(), 244, profile));
    EXPECT_FALSE(number_stripe_profile(card.get(), -1, profile));
}

TEST(FindDigitOffsets, LeavesTheStripeAsRegionAndRefusesBadStripes)
{
    ImagePtr card = random_card(9);
    const VerticalSegmentation vseg = vertical_segmentation_for_pattern(1, 20.0f, 180);
    const HorizontalSegmentation hseg = find_digit_offsets(card.get(), vseg);
    EXPECT_EQ(hseg.n_offsets, 16);
    ASSERT_NE(card->roi, nullptr);
    EXPECT_EQ(card->roi->yOffset, 180);
    EXPECT_EQ(card->roi->height, 27);
    EXPECT_EQ(card->roi->width, 428);
    for (int i = 0; i < 16; ++i)
        EXPECT_LE(hseg.offsets[i], 408);
    cvResetImageROI(card.get());

    const VerticalSegmentation low = vertical_segmentation_for_pattern(1, 20.0f, 250);
    EXPECT_EQ(find_digit_offsets(card.get(), low).n_offsets, 0);
    EXPECT_EQ(card->roi, nullptr);
}
