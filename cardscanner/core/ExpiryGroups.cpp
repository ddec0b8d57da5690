#include "cardscanner/core/ExpiryGroups.h"

#include "cardscanner/core/ExpiryNetworks.h"
#include "cardscanner/core/ImageView.h"
#include "cardscanner/core/NumberStripe.h"
#include "cardscanner/core/ScanSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>

namespace {

constexpr int kTextLineRows = 15;
constexpr int kBandRows = 17;
constexpr int kWindowWidth = 9;
constexpr int kMergeGap = 8;
constexpr int kMinimumWindows = 4;
constexpr int kEnergyFirstColumn = 27;
constexpr int kPitchMargin = 18;
constexpr int kSmallestPitch = 11;
constexpr int kLargestPitch = 15;
constexpr int kDateCells = 5;
// group_rects' windows are at most (pitch + 3) x 21; anything larger was not
// cut by sum_gradient_window and is refused rather than read past the buffer.
constexpr int kFitWindowWidth = 36;
constexpr int kFitWindowHeight = 42;

bool is_gradient(const ImageView& view)
{
    return view.depth == static_cast<int>(IPL_DEPTH_16S) && view.channels == 1;
}

const int16_t* gradient_row(const ImageView& view, int y) { return reinterpret_cast<const int16_t*>(view.row(y)); }

bool gradient_view(const IplImage* gradient, ImageView& view)
{
    return whole_image_view(gradient, view) && is_gradient(view);
}

// The card-sized gradient of the search, one per thread that searches, so
// that two capture streams never share it.
IplImage* thread_gradient_image()
{
    struct Holder {
        IplImage* image = cvCreateImage(cvSize(kCardWidth, kCardHeight), IPL_DEPTH_16S, 1);
        ~Holder() { cvReleaseImage(&image); }
    };
    thread_local Holder holder;
    return holder.image;
}

GroupedRects window_group(int top, int left, int64_t energy)
{
    GroupedRects group{};
    group.top = top;
    group.left = left;
    group.width = kWindowWidth;
    group.height = kBandRows;
    group.merged = false;
    group.sum = energy;
    group.character_width = kWindowWidth;
    group.character_rects.push_back({top, left, energy});
    group.kind = kGroupKindText;
    group.scores.setZero();
    group.lifetime = 0;
    group.frames_seen = 0;
    return group;
}

void take_up(GroupedRects& group, const GroupedRects& other)
{
    const int32_t right = std::max(group.left + group.width, other.left + other.width);
    const int32_t bottom = std::max(group.top + group.height, other.top + other.height);
    group.left = std::min(group.left, other.left);
    group.top = std::min(group.top, other.top);
    group.width = right - group.left;
    group.height = bottom - group.top;
    group.sum = std::max(group.sum, other.sum);
    group.character_rects.insert(group.character_rects.end(), other.character_rects.begin(),
                                 other.character_rects.end());
}

// Groups sorted by left; each takes up the groups that follow it within
// kMergeGap of its right edge.
std::vector<GroupedRects> merge_neighbours(std::vector<GroupedRects>& groups)
{
    std::stable_sort(groups.begin(), groups.end(),
                     [](const GroupedRects& a, const GroupedRects& b) { return a.left < b.left; });
    std::vector<GroupedRects> merged;
    for (size_t i = 0; i < groups.size(); ++i) {
        if (groups[i].merged)
            continue;
        GroupedRects group = groups[i];
        for (size_t j = i + 1; j < groups.size(); ++j) {
            if (groups[j].left - (group.left + group.width) > kMergeGap)
                break;
            take_up(group, groups[j]);
            groups[j].merged = true;
        }
        merged.push_back(std::move(group));
    }
    return merged;
}

GroupedRects date_candidate(const GroupedRects& group, size_t first)
{
    GroupedRects candidate{};
    candidate.character_rects.assign(group.character_rects.begin() + static_cast<std::ptrdiff_t>(first),
                                     group.character_rects.begin() + static_cast<std::ptrdiff_t>(first + kDateCells));
    const std::vector<CharacterRect>& cells = candidate.character_rects;
    candidate.left = cells.front().left;
    candidate.top = cells.front().top;
    int32_t bottom = std::numeric_limits<int32_t>::min();
    candidate.sum = 0;
    for (const CharacterRect& cell : cells) {
        candidate.top = std::min(candidate.top, cell.top);
        bottom = std::max(bottom, cell.top + 15);
        candidate.sum = std::max(candidate.sum, cell.sum);
    }
    candidate.width = cells.back().left + 9 - candidate.left;
    candidate.height = bottom - candidate.top;
    candidate.merged = false;
    candidate.character_width = kExpiryCellWidth;
    candidate.kind = kGroupKindDate;
    candidate.scores.setZero();
    candidate.lifetime = kExpiryCandidateLifetime;
    candidate.frames_seen = kExpiryCandidateFramesSeen;
    return candidate;
}

void set_width_from_cells(GroupedRects& group)
{
    group.width = group.character_width + group.character_rects.back().left - group.left;
}

// Frame groups that lie within 8 rows and 5 columns of each other with as
// many cells are one text group seen twice.
bool same_place(const GroupedRects& a, const GroupedRects& b)
{
    return std::abs(a.top - b.top) <= 8 && std::abs(a.left - b.left) <= 5
        && a.character_rects.size() == b.character_rects.size();
}

ExpiryDate current_month(const ScannerState& state)
{
    uint64_t milliseconds;
    if (state.clock) {
        milliseconds = state.clock();
    } else {
        const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
        milliseconds
            = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
    }
    const auto seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr)
        return {0, 0};
    return {local.tm_mon + 1, local.tm_year + 1900};
}

} // namespace

bool abs_horizontal_gradient(const IplImage* source, IplImage* destination)
{
    ImageView in, out;
    if (!image_view(source, in) || !image_view(destination, out) || !is_plane8(in) || !is_gradient(out)
        || in.width != out.width || in.height != out.height)
        return false;
    const int w = in.width;
    const int h = in.height;
    if (w == 0 || h == 0)
        return true;
    auto difference = [&](int x, int y) {
        const uint8_t* row = in.row(y);
        return std::abs(static_cast<int>(row[std::min(x + 1, w - 1)]) - static_cast<int>(row[std::max(x - 1, 0)]));
    };
    for (int y = 0; y < h; ++y) {
        const int above = std::max(y - 1, 0);
        const int below = std::min(y + 1, h - 1);
        auto* o = reinterpret_cast<int16_t*>(out.row(y));
        for (int x = 0; x < w; ++x)
            o[x] = static_cast<int16_t>(10 * difference(x, y) + 3 * difference(x, above) + 3 * difference(x, below));
    }
    return true;
}

bool expiry_gradient_image(const IplImage* card, int y_offset, IplImage* gradient)
{
    ImageView in, out;
    if (!whole_image_view(card, in) || !is_plane8(in) || in.width != kCardWidth || in.height != kCardHeight)
        return false;
    if (!gradient_view(gradient, out) || out.width != kCardWidth || out.height != kCardHeight || y_offset < 0)
        return false;
    for (int y = 0; y < kCardHeight; ++y)
        std::fill_n(reinterpret_cast<int16_t*>(out.row(y)), kCardWidth, int16_t{0});
    const int first_row = y_offset + kStripeHeight;
    if (first_row >= kCardHeight)
        return true;
    IplImage card_header = *card;
    IplImage gradient_header = *gradient;
    IplROI region{0, 0, first_row, kCardWidth, kCardHeight - first_row};
    card_header.roi = &region;
    gradient_header.roi = &region;
    return abs_horizontal_gradient(&card_header, &gradient_header);
}

int find_text_lines(const IplImage* gradient, int y_offset, TextLine lines[3])
{
    ImageView view;
    if (lines == nullptr || !gradient_view(gradient, view))
        return 0;
    const int height = view.height;
    const int last_column = std::min(2 * view.width / 3, view.width);
    std::vector<int64_t> energy(static_cast<size_t>(height), 0);
    for (int y = std::max(y_offset + kStripeHeight, 0); y < height; ++y) {
        const int16_t* row = gradient_row(view, y);
        int64_t sum = 0;
        for (int x = kEnergyFirstColumn; x < last_column; ++x)
            sum += row[x];
        energy[static_cast<size_t>(y)] = sum;
    }

    std::vector<TextLine> accepted;
    for (int y = std::max(y_offset + kStripeHeight + 1, 0); y < height - 16; ++y) {
        const int64_t* e = energy.data() + y;
        int64_t sum = 0;
        int64_t largest = e[0];
        for (int i = 0; i < kTextLineRows; ++i) {
            sum += e[i];
            largest = std::max(largest, e[i]);
        }
        // A blank window passes every test below; it is no line of text.
        if (largest <= 0)
            continue;
        const int64_t half = largest / 2;
        if (e[0] + e[1] < half || e[13] + e[14] < half)
            continue;
        bool gap = false;
        for (int i = 1; i < 13 && !gap; ++i)
            gap = e[i] < half && e[i + 1] < half;
        if (!gap)
            accepted.push_back({y, sum});
    }

    std::stable_sort(accepted.begin(), accepted.end(),
                     [](const TextLine& a, const TextLine& b) { return a.energy > b.energy; });
    int kept = 0;
    for (const TextLine& line : accepted) {
        const bool too_close = std::any_of(lines, lines + kept, [&](const TextLine& other) {
            return std::abs(line.top - other.top) < kTextLineRows;
        });
        if (too_close)
            continue;
        lines[kept++] = line;
        if (kept == 3)
            break;
    }
    return kept;
}

void find_expiry_and_name_groups(const IplImage* card, int y_offset, std::vector<GroupedRects>& expiry_groups,
                                 std::vector<GroupedRects>& name_groups)
{
    IplImage* gradient = thread_gradient_image();
    if (gradient == nullptr || !expiry_gradient_image(card, y_offset, gradient))
        return;
    TextLine lines[3];
    const int count = find_text_lines(gradient, y_offset, lines);
    for (int i = 0; i < count; ++i)
        classify_text_groups(gradient, lines[i].top, lines[i].energy, expiry_groups, name_groups);
}

float separator_probability(const IplImage* gradient, const CharacterRect& cell)
{
    float input[kExpiryInputSize];
    if (!separator_network_input(gradient, cell.left, cell.top, input))
        return 0.0f;
    return run_separator_network(separator_network, input)[0];
}

void classify_text_groups(const IplImage* gradient, int line_top, int64_t line_energy,
                          std::vector<GroupedRects>& expiry_groups, std::vector<GroupedRects>& name_groups)
{
    classify_text_groups_scored(gradient, line_top, line_energy, separator_probability, expiry_groups, name_groups);
}

void classify_text_groups_scored(const IplImage* gradient, int line_top, int64_t line_energy,
                                 const SeparatorScorer& separator, std::vector<GroupedRects>& expiry_groups,
                                 std::vector<GroupedRects>& name_groups)
{
    ImageView view;
    if (!gradient_view(gradient, view) || line_top < 0 || line_top >= view.height || view.width < kWindowWidth)
        return;
    const int width = view.width;
    const int band_end = std::min(line_top + kBandRows, view.height);
    std::vector<int64_t> columns(static_cast<size_t>(width), 0);
    for (int y = line_top; y < band_end; ++y) {
        const int16_t* row = gradient_row(view, y);
        for (int x = 0; x < width; ++x)
            columns[static_cast<size_t>(x)] += row[x];
    }

    const int64_t threshold = ((line_energy * kWindowWidth) / width) / 5;
    struct Window {
        int left;
        int64_t energy;
    };
    std::vector<Window> candidates;
    int64_t window = 0;
    double candidate_total = 0.0;
    for (int x = 0; x < width; ++x) {
        window += columns[static_cast<size_t>(x)];
        if (x >= kWindowWidth)
            window -= columns[static_cast<size_t>(x - kWindowWidth)];
        if (x < kWindowWidth - 1 || window <= threshold)
            continue;
        candidates.push_back({x - (kWindowWidth - 1), window});
        candidate_total += static_cast<double>(window);
    }
    if (candidates.empty())
        return;
    const double cutoff = 0.8 * (candidate_total / static_cast<double>(candidates.size()));

    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Window& a, const Window& b) { return a.energy > b.energy; });
    std::vector<bool> covered(static_cast<size_t>(width), false);
    std::vector<GroupedRects> groups;
    for (const Window& candidate : candidates) {
        if (!(static_cast<double>(candidate.energy) > cutoff))
            break;
        const auto first = static_cast<size_t>(candidate.left);
        if (covered[first] || covered[first + kWindowWidth - 1])
            continue;
        std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(first), kWindowWidth, true);
        groups.push_back(window_group(line_top - 1, candidate.left, candidate.energy));
    }

    for (GroupedRects& group : merge_neighbours(groups)) {
        if (group.character_rects.size() < kMinimumWindows)
            continue;
        trim_group_outliers(group);
        // A group with no pitch to cut it by is no line of characters.
        if (!sum_gradient_window(gradient, group))
            continue;
        group_rects(gradient, group);
        const std::vector<CharacterRect>& cells = group.character_rects;
        for (size_t k = 0; k + kDateCells <= cells.size(); ++k) {
            if (separator(gradient, cells[k + 2]) > kSeparatorThreshold)
                expiry_groups.push_back(date_candidate(group, k));
        }
        name_groups.push_back(std::move(group));
    }
}

bool sum_gradient_window(const IplImage* gradient, GroupedRects& group)
{
    ImageView view;
    if (!gradient_view(gradient, view))
        return false;
    const int x0 = std::max(group.left - kPitchMargin, 0);
    const int x1 = std::min(group.left + group.width + kPitchMargin, view.width);
    const int range = x1 - x0;
    if (range <= 0)
        return false;
    const int y0 = std::max(group.top, 0);
    const int y1 = std::min(group.top + group.height, view.height);
    std::vector<int64_t> columns(static_cast<size_t>(range), 0);
    int64_t total = 0;
    for (int y = y0; y < y1; ++y) {
        const int16_t* row = gradient_row(view, y) + x0;
        for (int i = 0; i < range; ++i)
            columns[static_cast<size_t>(i)] += row[i];
    }
    for (const int64_t c : columns)
        total += c;

    const int n = range / kSmallestPitch;
    int best_pitch = 0;
    int best_phase = 0;
    double best_ratio = std::numeric_limits<double>::infinity();
    for (int pitch = kSmallestPitch; pitch <= kLargestPitch; ++pitch) {
        for (int phase = 0; phase < pitch && phase < range; ++phase) {
            int64_t sum = 0;
            int count = 0;
            for (int i = phase; i < range; i += pitch) {
                sum += columns[static_cast<size_t>(i)];
                ++count;
            }
            const double g = n * (static_cast<double>(sum) / count);
            const double denominator = static_cast<double>(total) - g;
            // The boundaries holding all the energy (or none anywhere) would
            // give a negative or infinite ratio; neither is a pitch.
            if (!(denominator > 0.0))
                continue;
            const double ratio = g / denominator;
            if (ratio < best_ratio) {
                best_ratio = ratio;
                best_pitch = pitch;
                best_phase = phase;
            }
        }
    }
    if (best_pitch == 0)
        return false;

    std::vector<CharacterRect> cells;
    for (int left = best_phase + 1; left + best_pitch - 1 <= range; left += best_pitch) {
        int64_t sum = 0;
        for (int i = left; i < left + best_pitch - 1; ++i)
            sum += columns[static_cast<size_t>(i)];
        cells.push_back({group.top, x0 + left, sum});
    }
    if (cells.empty())
        return false;
    group.character_rects = std::move(cells);
    group.character_width = best_pitch - 1;
    group.left = group.character_rects.front().left;
    set_width_from_cells(group);
    trim_group_outliers(group);
    return true;
}

void trim_group_outliers(GroupedRects& group)
{
    std::vector<CharacterRect>& cells = group.character_rects;
    while (cells.size() >= 6) {
        const size_t middle = (cells.size() - 4) / 2;
        int64_t sum = 0;
        for (size_t i = middle; i < middle + 4; ++i)
            sum += cells[i].sum;
        const auto threshold = static_cast<int64_t>(0.8 * static_cast<double>(sum / 4));
        if (cells.front().sum < threshold) {
            cells.erase(cells.begin());
            group.left = cells.front().left;
        } else if (cells.back().sum < threshold) {
            cells.pop_back();
        } else {
            break;
        }
        set_width_from_cells(group);
    }
}

void group_rects(const IplImage* gradient, GroupedRects& group)
{
    ImageView view;
    if (!gradient_view(gradient, view))
        return;
    std::vector<CharacterRect>& cells = group.character_rects;
    const int window_width = group.character_width + 4;
    const int window_height = group.height + 4;
    const bool fits = window_width >= kExpiryCellWidth && window_width <= kFitWindowWidth
        && window_height >= kExpiryCellHeight && window_height <= kFitWindowHeight;
    int16_t window[kFitWindowHeight][kFitWindowWidth];
    for (size_t index = cells.size(); index-- > 0;) {
        CharacterRect& cell = cells[index];
        const int wx = cell.left - 2;
        const int wy = cell.top - 2;
        if (!fits || wx < 0 || wy < 0 || wx > view.width - window_width || wy > view.height - window_height) {
            cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(index));
            continue;
        }
        int largest = 0;
        for (int r = 0; r < window_height; ++r) {
            const int16_t* row = gradient_row(view, wy + r) + wx;
            for (int c = 0; c < window_width; ++c) {
                window[r][c] = row[c];
                largest = std::max(largest, std::abs(static_cast<int>(row[c])));
            }
        }
        // Scaled to 255 at the strongest value, then only the upper part kept,
        // so the fit follows the strokes and not the background.
        const double scale = largest > 0 ? 255.0 / largest : 0.0;
        int64_t column_energy[kFitWindowWidth] = {};
        int64_t row_energy[kFitWindowHeight] = {};
        for (int r = 0; r < window_height; ++r) {
            for (int c = 0; c < window_width; ++c) {
                long value = std::lrint(window[r][c] * scale);
                if (value <= 100)
                    value = 0;
                column_energy[c] += value;
                row_energy[r] += value;
            }
        }
        int first_column = 0, last_column = window_width - 1;
        while (last_column - first_column + 1 > kExpiryCellWidth) {
            if (column_energy[first_column] <= column_energy[last_column])
                ++first_column;
            else
                --last_column;
        }
        int first_row = 0, last_row = window_height - 1;
        while (last_row - first_row + 1 > kExpiryCellHeight) {
            if (row_energy[first_row] <= row_energy[last_row])
                ++first_row;
            else
                --last_row;
        }
        cell.left = wx + first_column;
        cell.top = wy + first_row;
    }
    if (cells.empty())
        return;
    int32_t left = cells.front().left, top = cells.front().top;
    int32_t right = left + kExpiryCellWidth, bottom = top + kExpiryCellHeight;
    for (const CharacterRect& cell : cells) {
        left = std::min(left, cell.left);
        top = std::min(top, cell.top);
        right = std::max(right, cell.left + kExpiryCellWidth);
        bottom = std::max(bottom, cell.top + kExpiryCellHeight);
    }
    group.left = left;
    group.top = top;
    group.width = right - left;
    group.height = bottom - top;
}

void classify_expiry_characters(const IplImage* card, std::vector<GroupedRects>& expiry_groups)
{
    for (GroupedRects& group : expiry_groups) {
        group.scores.setZero();
        if (group.character_rects.size() < kDateCells)
            continue;
        for (const int position : {0, 1, 3, 4}) {
            const CharacterRect& cell = group.character_rects[static_cast<size_t>(position)];
            float input[kExpiryInputSize];
            if (!expiry_digit_input(card, cell.left, cell.top, input))
                continue;
            const DigitScores scores = run_expiry_digit_network(expiry_digit_network, input);
            for (int d = 0; d < 10; ++d)
                group.scores(position, d) = scores[static_cast<size_t>(d)];
        }
    }
}

bool expiry_date_of_group(const GroupedRects& group, ExpiryDate& date)
{
    int digits[5] = {};
    for (const int position : {0, 1, 3, 4}) {
        int best = 0;
        float sum = 0.0f;
        for (int d = 0; d < 10; ++d) {
            sum += group.scores(position, d);
            if (group.scores(position, d) > group.scores(position, best))
                best = d;
        }
        // An empty or NaN row is no character.
        if (!(sum > 0.0f) || !std::isfinite(sum) || !(group.scores(position, best) / sum >= kExpiryCharacterConfidence))
            return false;
        digits[position] = best;
    }
    const int first = 10 * digits[0] + digits[1];
    const int second = 10 * digits[3] + digits[4];
    int month = first;
    int year = second;
    if (first > 12 && second > 0 && second < 13) {
        year = first;
        month = second;
    }
    if (month < 1 || month > 12)
        return false;
    date = {month, 2000 + year};
    return true;
}

bool expiry_date_replaces(const ExpiryDate& date, const ExpiryDate& stored, const ExpiryDate& today)
{
    const bool later = date.year > stored.year || (date.year == stored.year && date.month > stored.month);
    const bool not_past = date.year > today.year || (date.year == today.year && date.month >= today.month);
    return later && not_past && date.year < today.year + 5;
}

void scanner_update_expiry(ScannerState& state, const FrameScanResult& frame)
{
    state.scan_expiry = true;

    std::vector<GroupedRects> seen;
    std::vector<int> copies;
    for (const GroupedRects& group : frame.expiry_groups) {
        const auto twin = std::find_if(seen.begin(), seen.end(),
                                       [&](const GroupedRects& other) { return same_place(other, group); });
        if (twin == seen.end()) {
            seen.push_back(group);
            copies.push_back(1);
            continue;
        }
        const auto index = static_cast<size_t>(twin - seen.begin());
        const int n = ++copies[index];
        twin->scores += (group.scores - twin->scores) / static_cast<float>(n);
    }

    // A stored candidate takes at most one match per frame, so frames_seen
    // counts frames and a frame's two neighbouring groups cannot decide alone.
    std::vector<GroupedRects>& stored = state.expiry_groups;
    std::vector<bool> matched(stored.size(), false);
    std::vector<GroupedRects> unmatched;
    for (GroupedRects& group : seen) {
        size_t i = 0;
        while (i < stored.size() && (matched[i] || !same_place(stored[i], group)))
            ++i;
        if (i == stored.size()) {
            unmatched.push_back(std::move(group));
            continue;
        }
        matched[i] = true;
        GroupedRects& match = stored[i];
        ++match.lifetime;
        ++match.frames_seen;
        match.scores = 0.7f * match.scores + 0.3f * group.scores;
    }

    std::erase_if(stored, [](const GroupedRects& group) { return group.lifetime < 2; });
    for (GroupedRects& group : stored)
        --group.lifetime;
    for (GroupedRects& group : unmatched) {
        // Whatever the frame carried, a candidate starts its life here.
        group.lifetime = kExpiryCandidateLifetime;
        group.frames_seen = kExpiryCandidateFramesSeen;
        stored.push_back(std::move(group));
    }

    const ExpiryDate today = current_month(state);
    for (const GroupedRects& group : stored) {
        if (group.frames_seen < kExpiryDecisionFrames || group.kind != kGroupKindDate)
            continue;
        ExpiryDate date{};
        if (!expiry_date_of_group(group, date))
            continue;
        if (expiry_date_replaces(date, {state.expiry_month, state.expiry_year}, today)) {
            state.expiry_month = date.month;
            state.expiry_year = date.year;
        }
    }

    state.name_groups = frame.name_groups;
}
