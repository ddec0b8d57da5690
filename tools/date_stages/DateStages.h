// The core's expiry path on one photographed card, judged step by step
// against the card's truth, so that a lost date can be put down to the step
// that lost it: the text line, the group's pitch, the cells, the separator,
// the expiry digit network, the decision over frames.
//
// The steps are the core's own functions called in the order
// find_expiry_and_name_groups and scanner_add_frame call them; nothing here
// changes what they do. Reentrant: cards may be measured on several threads
// at once.
#pragma once

#include "cardscanner/core/ExpiryGroups.h"

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace date_stages {

// The date as drawn, carried into the photograph: ink boxes and cells in
// pixel-edge coordinates (a pixel x spans [x, x + 1)), as the core's cells
// are read.
struct DateTruth {
    int month = 0, year = 0;                      // four-digit year
    std::array<cv::Rect2d, 5> boxes{};            // "M", "M", "/", "Y", "Y"
    std::array<cv::Point2d, 5> cell_top_left{};   // the 11 x 16 cells centred on the characters
    double pitch = 0;
    double stripe_y = 0;                          // top row of the number's 27-row stripe
};

// A date character read by the expiry digit network.
struct DigitRead {
    int truth = 0;
    int read = 0;
    float confidence = 0; // the read digit's share of the scores
};

struct FrameStages {
    bool stripe_near_truth = false;  // the stripe used lies within 4 rows of the truth
    bool line_found = false;         // a text line covers half the date's height or more
    bool group_on_date = false;      // a group of cells covers half the date's width or more
    bool pitch_right = false;        // that group's pitch within max(1 px, 8 %) of the date's
    double pitch_error = 0;          // that group's pitch less the date's
    int cells_right = 0;             // characters whose nearest cell has its centre in their ink box
    bool slash_has_cell = false;     // a cell of the group within half a pitch of the '/'
    bool separator_on_slash = false; // that cell asked about and scored above the threshold
    bool separator_on_digit = false; // the same on a cell nearest a digit
    bool truth_separator_on_slash = false; // the network on the true '/' cell
    bool truth_separator_on_digit = false; // the network on a true digit cell
    bool candidate_on_date = false;  // a date candidate whose middle cell is the '/' one
    bool frame_read_right = false;   // a candidate of the frame reads the true date
    bool frame_read_wrong = false;   // a candidate of the frame reads another date
    std::vector<CharacterRect> date_group_cells; // the cells of the group on the date, if any
    std::vector<DigitRead> path_reads;  // the group's cells nearest the true digits
    std::vector<DigitRead> truth_reads; // the true digit cells
    // The frame's candidates with their character scores, and its name
    // groups: what the scan session's expiry update is handed.
    std::vector<GroupedRects> expiry_groups;
    std::vector<GroupedRects> name_groups;
};

// The expiry search on a 428 x 270 8-bit grey card below the stripe at
// y_offset, judged against truth.
FrameStages measure_frame(const cv::Mat& card, const DateTruth& truth, int y_offset);

// A point of the drawn card in the shot taken through card_to_shot (a
// homography on pixel centres), both in pixel-edge coordinates.
cv::Point2d carry(const cv::Matx33d& card_to_shot, cv::Point2d point);
cv::Rect2d carry(const cv::Matx33d& card_to_shot, const cv::Rect2d& box);

} // namespace date_stages
