// The second renderer's promises, which its benchmark lines rest on: a seed
// always gives the same pixels, on any thread; the truth's boxes are where the
// glyphs were drawn; numbers are numbers the core accepts; both lines keep
// to the card standard's sizes and places.
#include "cardnumber/CardNumberRules.h"
#include "tools/other_hand/OtherHand.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

namespace oh = other_hand;

constexpr std::uint64_t kFirstSeed = 7200000;
constexpr int kCards = 24;

TEST(OtherHand, a_seed_always_draws_the_same_card_on_any_thread)
{
    const oh::HandCard first = oh::render_hand_card(kFirstSeed);
    std::vector<oh::HandCard> threaded(4);
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < threaded.size(); ++i)
        workers.emplace_back([&, i] { threaded[i] = oh::render_hand_card(kFirstSeed + (i % 2)); });
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(cv::norm(first.color, threaded[0].color, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(first.color, threaded[2].color, cv::NORM_INF), 0.0);
    EXPECT_EQ(first.truth.to_json(), threaded[2].truth.to_json());
    EXPECT_GT(cv::norm(first.color, threaded[1].color, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(oh::photograph_hand_card(first, 3), oh::photograph_hand_card(threaded[0], 3), cv::NORM_INF), 0.0);

    const std::array<cv::Point2d, 4> guide{cv::Point2d(100, 100), {540, 100}, {540, 377}, {100, 377}};
    const oh::HandFilm film(first, guide, 5), again(threaded[0], guide, 5);
    EXPECT_EQ(film.frame(4).y, again.frame(4).y);
    EXPECT_EQ(film.frame(4).cbcr, again.frame(4).cbcr);
    EXPECT_NE(film.frame(4).y, film.frame(5).y);
}

TEST(OtherHand, numbers_pass_luhn_and_name_an_issuer_the_core_accepts)
{
    oh::Dice dice(11);
    for (int i = 0; i < 200; ++i) {
        const int length = i % 2 ? 15 : 16;
        const std::string number = oh::issuer_number(dice, length);
        ASSERT_EQ(static_cast<int>(number.size()), length);
        EXPECT_TRUE(oh::passes_luhn(number)) << number;
        std::vector<std::uint8_t> digits;
        for (char c : number)
            digits.push_back(static_cast<std::uint8_t>(c - '0'));
        EXPECT_EQ(card_info_for_number(digits.data(), digits.size(), false).number_length, length) << number;
    }
    EXPECT_FALSE(oh::passes_luhn("4111111111111112"));
}

// The box is at its slot and holds the glyph's whole height, and (but for a
// slash) the ink in it stands out from the card.
void expect_box_on_glyph(const cv::Mat& grey, const oh::InkBox& box, double centre_x, double centre_y,
                         double height, double pitch, const std::string& what, double reach = 1.12)
{
    EXPECT_NEAR(box.x + box.width / 2, centre_x, 1.6) << what;
    EXPECT_NEAR(box.y + box.height / 2, centre_y, 2.0) << what;
    EXPECT_GE(box.height, 0.85 * height - 1) << what;
    EXPECT_LE(box.height, reach * height + 1.5) << what;
    EXPECT_LE(box.width, pitch - 1) << what;
    double low = 0, high = 0;
    cv::minMaxLoc(grey(cv::Rect(static_cast<int>(box.x), static_cast<int>(box.y), static_cast<int>(box.width),
                                static_cast<int>(box.height))),
                  &low, &high);
    if (reach <= 1.12) {   // a hairline slash, raised and unfoiled, may all but vanish
        EXPECT_GE(high - low, 8) << what << ": nothing drawn in the box";
    }
}

TEST(OtherHand, the_truth_boxes_lie_on_the_glyphs_at_the_standard_sizes)
{
    int dated = 0;
    for (int i = 0; i < kCards; ++i) {
        const oh::HandCard card = oh::render_hand_card(kFirstSeed + static_cast<std::uint64_t>(i));
        const oh::HandTruth& truth = card.truth;
        const std::string seed = "seed " + std::to_string(kFirstSeed + static_cast<std::uint64_t>(i));
        cv::Mat grey;
        cv::cvtColor(card.color, grey, cv::COLOR_BGR2GRAY);

        ASSERT_EQ(truth.digit_boxes.size(), truth.number.size()) << seed;
        ASSERT_EQ(truth.cell_x.size(), truth.number.size()) << seed;
        EXPECT_GE(truth.pitch, 17.0);
        EXPECT_LE(truth.pitch, 19.5);
        EXPECT_GE(truth.glyph_height, 19.0);
        EXPECT_LE(truth.glyph_height, 24.0);
        const double centre_y = truth.stripe_y + oh::kCoreStripeHeight / 2.0;
        EXPECT_NEAR(centre_y + truth.glyph_height / 2, oh::kStandardBaselineRow, 3.0) << seed;
        for (std::size_t d = 0; d < truth.number.size(); ++d)
            expect_box_on_glyph(grey, truth.digit_boxes[d], truth.cell_x[d] + oh::kCoreCellWidth / 2.0, centre_y,
                                truth.glyph_height, truth.pitch, seed + " digit " + std::to_string(d));
        // The group gaps: 4-4-4-4 or 4-6-5.
        const std::vector<std::size_t> gaps = truth.pattern_type == 1 ? std::vector<std::size_t>{4, 8, 12}
                                                                      : std::vector<std::size_t>{4, 10};
        for (std::size_t g : gaps)
            EXPECT_NEAR(truth.cell_x[g] - truth.cell_x[g - 1], 2 * truth.pitch, 1e-6) << seed;

        if (!truth.has_date)
            continue;
        ++dated;
        EXPECT_GE(truth.date_pitch, 11.5);
        EXPECT_LE(truth.date_pitch, 14.0);
        EXPECT_GE(truth.date_glyph_height, 12.5);
        EXPECT_LE(truth.date_glyph_height, 16.0);
        EXPECT_GE(truth.month, 1);
        EXPECT_LE(truth.month, 12);
        ASSERT_EQ(truth.date_boxes.size(), 5u) << seed;
        for (std::size_t c = 0; c < 5; ++c) {
            const cv::Point2d cell = truth.date_cell_top_left[c];
            // A face's slash may reach past its digits' height.
            expect_box_on_glyph(grey, truth.date_boxes[c], cell.x + oh::kCoreDateCellWidth / 2.0,
                                cell.y + oh::kCoreDateCellHeight / 2.0, truth.date_glyph_height, truth.date_pitch,
                                seed + " date character " + std::to_string(c), c == 2 ? 1.4 : 1.12);
            if (c > 0) {   // a pixel of the 2-px gap may go to antialiasing
                EXPECT_GE(truth.date_boxes[c].x - (truth.date_boxes[c - 1].x + truth.date_boxes[c - 1].width), 1.0)
                    << seed;
            }
        }
        EXPECT_GT(truth.date_cell_top_left[0].y, truth.stripe_y + oh::kCoreStripeHeight - 4) << seed;
    }
    EXPECT_GE(dated, kCards / 2);
}

}  // namespace
