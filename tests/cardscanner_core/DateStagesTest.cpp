// The date path's stage counts (tools/date_stages) follow the truth they are
// given: on a clean card of the second renderer whose date the core's search
// cuts right, every geometric stage counts, and the same frame judged against
// a date moved along its line to where nothing is drawn counts only the line.
#include "tools/date_stages/DateStages.h"
#include "tools/other_hand/OtherHand.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

namespace {

namespace oh = other_hand;

// A dated card whose clean date the search finds, cuts at its pitch and puts
// a cell on every character.
constexpr std::uint64_t kSeed = 7200012;

date_stages::DateTruth truth_of(const oh::HandTruth& hand)
{
    date_stages::DateTruth truth;
    truth.month = hand.month;
    truth.year = hand.year;
    truth.stripe_y = hand.stripe_y;
    truth.pitch = hand.date_pitch;
    for (std::size_t i = 0; i < 5; ++i) {
        const oh::InkBox& box = hand.date_boxes[i];
        truth.boxes[i] = {box.x, box.y, box.width, box.height};
        truth.cell_top_left[i] = hand.date_cell_top_left[i];
    }
    return truth;
}

TEST(DateStages, counts_each_stage_against_the_truth_it_is_given)
{
    const oh::HandCard card = oh::render_hand_card(kSeed, {6, 2025});
    ASSERT_TRUE(card.truth.has_date);
    cv::Mat grey;
    cv::cvtColor(card.color, grey, cv::COLOR_BGR2GRAY);
    const date_stages::DateTruth truth = truth_of(card.truth);

    const date_stages::FrameStages on = date_stages::measure_frame(grey, truth, card.truth.rounded_stripe_y());
    EXPECT_TRUE(on.stripe_near_truth);
    EXPECT_TRUE(on.line_found);
    EXPECT_TRUE(on.group_on_date);
    EXPECT_TRUE(on.pitch_right);
    EXPECT_EQ(on.cells_right, 5);
    EXPECT_TRUE(on.slash_has_cell);
    EXPECT_EQ(on.path_reads.size(), 4u);
    ASSERT_EQ(on.truth_reads.size(), 4u);
    const int digits[4] = {truth.month / 10, truth.month % 10, truth.year % 100 / 10, truth.year % 10};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(on.truth_reads[i].truth, digits[i]);
        EXPECT_EQ(on.path_reads[i].truth, digits[i]);
    }

    date_stages::DateTruth along = truth;
    for (std::size_t i = 0; i < 5; ++i) {
        along.boxes[i].x += 100;
        along.cell_top_left[i].x += 100;
    }
    const date_stages::FrameStages off = date_stages::measure_frame(grey, along, card.truth.rounded_stripe_y());
    EXPECT_TRUE(off.line_found);
    EXPECT_FALSE(off.group_on_date);
    EXPECT_EQ(off.cells_right, 0);
    EXPECT_FALSE(off.candidate_on_date);
    EXPECT_TRUE(off.path_reads.empty());
}

} // namespace
