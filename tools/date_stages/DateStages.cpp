#include "tools/date_stages/DateStages.h"

#include "cardscanner/core/ExpiryNetworks.h"
#include "cardscanner/core/NumberStripe.h"

#include <algorithm>
#include <cmath>

namespace date_stages {
namespace {

constexpr int kDatePositions[] = {0, 1, 3, 4};
constexpr int kSlash = 2;

double overlap(double a0, double a1, double b0, double b1) { return std::max(0.0, std::min(a1, b1) - std::max(a0, b0)); }

cv::Point2d cell_centre(const CharacterRect& cell)
{
    return {cell.left + kExpiryCellWidth / 2.0, cell.top + kExpiryCellHeight / 2.0};
}

cv::Point2d box_centre(const cv::Rect2d& box) { return {box.x + box.width / 2, box.y + box.height / 2}; }

// The rows the date's digits span.
void date_rows(const DateTruth& truth, double& top, double& bottom)
{
    top = 1e9;
    bottom = -1e9;
    for (const int i : kDatePositions) {
        top = std::min(top, truth.boxes[static_cast<std::size_t>(i)].y);
        bottom = std::max(bottom, truth.boxes[static_cast<std::size_t>(i)].br().y);
    }
}

// The group's cell nearest across to character i, if one lies within half a
// pitch of it.
int nearest_cell(const GroupedRects& group, const DateTruth& truth, int i)
{
    const double x = box_centre(truth.boxes[static_cast<std::size_t>(i)]).x;
    int best = -1;
    double best_distance = truth.pitch / 2;
    for (std::size_t k = 0; k < group.character_rects.size(); ++k) {
        const double distance = std::abs(cell_centre(group.character_rects[k]).x - x);
        if (distance <= best_distance) {
            best_distance = distance;
            best = static_cast<int>(k);
        }
    }
    return best;
}

bool read_cell(const cv::Mat& card, int left, int top, int digit, DigitRead& out)
{
    IplImage image = cvIplImage(card);
    float input[kExpiryInputSize];
    if (!expiry_digit_input(&image, left, top, input))
        return false;
    const DigitScores scores = run_expiry_digit_network(expiry_digit_network, input);
    float sum = 0;
    int best = 0;
    for (int d = 0; d < 10; ++d) {
        sum += scores[static_cast<std::size_t>(d)];
        if (scores[static_cast<std::size_t>(d)] > scores[static_cast<std::size_t>(best)])
            best = d;
    }
    out.truth = digit;
    out.read = best;
    out.confidence = sum > 0 ? scores[static_cast<std::size_t>(best)] / sum : 0.0f;
    return true;
}

int true_digit(const DateTruth& truth, int position)
{
    const int two = position < kSlash ? truth.month : truth.year % 100;
    return position % 3 == 0 ? two / 10 : two % 10;
}

} // namespace

cv::Point2d carry(const cv::Matx33d& card_to_shot, cv::Point2d point)
{
    const cv::Vec3d q = card_to_shot * cv::Vec3d(point.x - 0.5, point.y - 0.5, 1.0);
    return {q[0] / q[2] + 0.5, q[1] / q[2] + 0.5};
}

cv::Rect2d carry(const cv::Matx33d& card_to_shot, const cv::Rect2d& box)
{
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const cv::Point2d corner : {box.tl(), cv::Point2d(box.br().x, box.y), box.br(), cv::Point2d(box.x, box.br().y)}) {
        const cv::Point2d p = carry(card_to_shot, corner);
        x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

FrameStages measure_frame(const cv::Mat& card, const DateTruth& truth, int y_offset)
{
    FrameStages out;
    out.stripe_near_truth = std::abs(y_offset - truth.stripe_y) <= 4.0;
    cv::Mat writable = card.clone();
    IplImage image = cvIplImage(writable);
    IplImage* gradient = cvCreateImage(cvSize(kCardWidth, kCardHeight), IPL_DEPTH_16S, 1);
    if (y_offset < 0 || !expiry_gradient_image(&image, y_offset, gradient)) {
        cvReleaseImage(&gradient);
        return out;
    }

    double top, bottom;
    date_rows(truth, top, bottom);
    const double height = bottom - top;
    const double date_left = truth.boxes[0].x, date_right = truth.boxes[4].br().x;

    // What find_expiry_and_name_groups does, line by line.
    TextLine lines[3];
    const int line_count = find_text_lines(gradient, y_offset, lines);
    for (int i = 0; i < line_count; ++i) {
        if (overlap(lines[i].top, lines[i].top + 15, top, bottom) >= height / 2)
            out.line_found = true;
        classify_text_groups(gradient, lines[i].top, lines[i].energy, out.expiry_groups, out.name_groups);
    }

    // Every group of cells a line was cut into is in name_groups; the date's
    // is the one spanning most of it.
    const GroupedRects* date_group = nullptr;
    double widest = (date_right - date_left) / 2;
    for (const GroupedRects& group : out.name_groups) {
        if (group.character_rects.empty()
            || overlap(group.top, group.top + group.height, top, bottom) < height / 2)
            continue;
        const double across = overlap(group.character_rects.front().left,
                                      group.character_rects.back().left + kExpiryCellWidth, date_left, date_right);
        if (across >= widest) {
            widest = across;
            date_group = &group;
        }
    }

    for (const int i : kDatePositions) {
        const cv::Point2d at = truth.cell_top_left[static_cast<std::size_t>(i)];
        DigitRead read;
        if (read_cell(writable, static_cast<int>(std::lround(at.x)), static_cast<int>(std::lround(at.y)),
                      true_digit(truth, i), read))
            out.truth_reads.push_back(read);
    }
    for (int i = 0; i < 5; ++i) {
        const cv::Point2d at = truth.cell_top_left[static_cast<std::size_t>(i)];
        const CharacterRect cell{static_cast<int32_t>(std::lround(at.y)), static_cast<int32_t>(std::lround(at.x)), 0};
        const bool fires = separator_probability(gradient, cell) > kSeparatorThreshold;
        (i == kSlash ? out.truth_separator_on_slash : out.truth_separator_on_digit) |= fires;
    }

    if (date_group != nullptr) {
        out.group_on_date = true;
        out.date_group_cells = date_group->character_rects;
        const double pitch = date_group->character_width + 1;
        out.pitch_error = pitch - truth.pitch;
        out.pitch_right = std::abs(out.pitch_error) <= std::max(1.0, 0.08 * truth.pitch);
        const int cells = static_cast<int>(date_group->character_rects.size());
        for (int i = 0; i < 5; ++i) {
            const int k = nearest_cell(*date_group, truth, i);
            if (k < 0)
                continue;
            const CharacterRect& cell = date_group->character_rects[static_cast<std::size_t>(k)];
            if (truth.boxes[static_cast<std::size_t>(i)].contains(cell_centre(cell)))
                ++out.cells_right;
            // classify_text_groups asks about the middle cell of every run
            // of five, so never about the two cells at either end.
            const bool asked = k >= 2 && k + 2 < cells;
            const bool fires = asked && separator_probability(gradient, cell) > kSeparatorThreshold;
            if (i == kSlash) {
                out.slash_has_cell = true;
                out.separator_on_slash = fires;
                const cv::Point2d slash = cell_centre(cell);
                out.candidate_on_date = std::any_of(
                    out.expiry_groups.begin(), out.expiry_groups.end(), [&](const GroupedRects& candidate) {
                        return candidate.character_rects.size() == 5
                            && cell_centre(candidate.character_rects[kSlash]) == slash;
                    });
            } else {
                out.separator_on_digit |= fires;
                DigitRead read;
                if (read_cell(writable, cell.left, cell.top, true_digit(truth, i), read))
                    out.path_reads.push_back(read);
            }
        }
    }

    // What scanner_add_frame does with a usable frame's candidates.
    classify_expiry_characters(&image, out.expiry_groups);
    for (const GroupedRects& candidate : out.expiry_groups) {
        ExpiryDate date{};
        if (!expiry_date_of_group(candidate, date))
            continue;
        (date.month == truth.month && date.year == truth.year ? out.frame_read_right : out.frame_read_wrong) = true;
    }
    cvReleaseImage(&gradient);
    return out;
}

} // namespace date_stages
