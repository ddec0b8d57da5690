#pragma once
// Expiry and name groups: the text lines below the number stripe cut into
// character cells; runs of five cells with a '/' in the middle become date
// candidates, tracked across frames until their characters read as a date.
//
// Free functions over caller-owned records. The search works on a card-sized
// 16-bit gradient kept per thread (made on a thread's first search), and the
// cell fitting on a small stack buffer, so searches on different threads do
// not meet; a ScannerState is still one thread's at a time (ScanSession.h).
// Images of the wrong size or type are refused: nothing found, nothing read.

#include <Eigen/Core>
#include <opencv2/core/core_c.h>

#include <cstdint>
#include <functional>
#include <vector>

struct ScannerState;
struct FrameScanResult;

struct CharacterRect {
    int32_t top;
    int32_t left;
    int64_t sum; // gradient energy of the cell's columns
};

constexpr int32_t kGroupKindDate = 0; // a date candidate: the only kind the date decision reads
constexpr int32_t kGroupKindText = 1; // any other group of a text line (the name groups)

struct GroupedRects {
    int32_t top;
    int32_t left;
    int32_t width;
    int32_t height;
    bool merged;
    int64_t sum; // gradient energy of the group's strongest window (or cell)
    int32_t character_width;
    std::vector<CharacterRect> character_rects;
    int32_t kind;
    Eigen::Matrix<float, 11, 10, Eigen::RowMajor> scores; // rows 0, 1, 3, 4: digit probabilities
    int32_t lifetime;
    int32_t frames_seen;
};

// A date candidate enters the state with these: it survives one frame without
// a match, and only matches in two later frames let it decide a date.
constexpr int32_t kExpiryCandidateLifetime = 2;
constexpr int32_t kExpiryCandidateFramesSeen = 1;
constexpr int32_t kExpiryDecisionFrames = 3;
constexpr float kSeparatorThreshold = 0.7f; // a separator scores strictly more
constexpr float kExpiryCharacterConfidence = 0.7f; // best / row sum of each date character

// One text line below the stripe: its top row and the summed row energy of
// its 15 rows.
struct TextLine {
    int32_t top;
    int64_t energy;
};

// Month 1..12 and four-digit year.
struct ExpiryDate {
    int32_t month;
    int32_t year;
};

// dst(x, y) = 10 D(x, y) + 3 D(x, y - 1) + 3 D(x, y + 1) with
// D = |src(x + 1, y) - src(x - 1, y)|, coordinates clamped to the regions of
// interest. src 8-bit one-channel, dst 16-bit signed one-channel, regions of
// one size; false, writing nothing, otherwise.
bool abs_horizontal_gradient(const IplImage* source, IplImage* destination);

// The gradient the search works on: zero above row y_offset + 27 and the
// abs_horizontal_gradient of the card's rows from there down (those rows
// standing alone, so the first of them replicates itself upwards). False,
// writing nothing, unless the card is 428 x 270 8-bit one-channel, the
// gradient 428 x 270 16-bit signed one-channel and y_offset >= 0.
bool expiry_gradient_image(const IplImage* card, int y_offset, IplImage* gradient);

// Up to three text lines of the gradient below the stripe at y_offset, the
// strongest first, no two less than 15 rows apart. Returns how many were
// written to lines; 0 when the gradient is not 16-bit signed one-channel.
int find_text_lines(const IplImage* gradient, int y_offset, TextLine lines[3]);

// Search of one frame below the stripe at y_offset: the text lines, each cut
// into groups by classify_text_groups. Appends to both lists.
void find_expiry_and_name_groups(const IplImage* card, int y_offset, std::vector<GroupedRects>& expiry_groups,
                                 std::vector<GroupedRects>& name_groups);

// Probability that the 11 x 16 cell at (cell.left, cell.top) of the gradient
// holds the date separator.
using SeparatorScorer = std::function<float(const IplImage* gradient, const CharacterRect& cell)>;

// The separator network on a cell; 0 when the cell does not lie inside.
float separator_probability(const IplImage* gradient, const CharacterRect& cell);

// Cuts the text line whose top row is line_top (line_energy its summed row
// energy) into groups of cells: every group of four or more windows that
// could be cut into cells goes to name_groups (kind kGroupKindText), every
// run of five cells whose middle one scores above kSeparatorThreshold to
// expiry_groups as a new date candidate. The first form asks the separator
// network; the second asks separator (tests, replays).
void classify_text_groups(const IplImage* gradient, int line_top, int64_t line_energy,
                          std::vector<GroupedRects>& expiry_groups, std::vector<GroupedRects>& name_groups);
void classify_text_groups_scored(const IplImage* gradient, int line_top, int64_t line_energy,
                                 const SeparatorScorer& separator, std::vector<GroupedRects>& expiry_groups,
                                 std::vector<GroupedRects>& name_groups);

// Finds the group's character pitch (11..15) and phase from the column
// energies around it and cuts it into cells of pitch - 1 columns, then trims
// them as trim_group_outliers. False, leaving the group as it was, when no
// pitch fits (no energy, or none between the cells) or the gradient is not
// 16-bit signed one-channel.
bool sum_gradient_window(const IplImage* gradient, GroupedRects& group);

// Drops weak cells at the ends of a group of six or more cells.
void trim_group_outliers(GroupedRects& group);

// Fits every cell to an 11 x 16 box on its strongest gradient, dropping
// cells whose window does not lie inside the gradient, then makes the
// group's box the union of its cells.
void group_rects(const IplImage* gradient, GroupedRects& group);

// Reads positions 0, 1, 3 and 4 of each date candidate from the card with
// the expiry digit network into its scores (a cell outside the card leaves
// its row at 0, which reads as no character).
void classify_expiry_characters(const IplImage* card, std::vector<GroupedRects>& expiry_groups);

// The date that a candidate's scores spell: false when a character is not
// certain enough or the month is impossible. Two digits above 12 followed by
// a plausible month read as year then month; otherwise month then year.
bool expiry_date_of_group(const GroupedRects& group, ExpiryDate& date);

// Whether date replaces stored (0, 0 for none) given today's month: it must
// be later than stored, not before today's month, and less than five years
// ahead.
bool expiry_date_replaces(const ExpiryDate& date, const ExpiryDate& stored, const ExpiryDate& today);

// The state's expiry update from a usable frame while a date is wanted: the
// frame's date candidates (their character scores already read) are merged
// with those of earlier frames, aged, and any candidate seen in
// kExpiryDecisionFrames frames may set the date; today is read from the
// state's clock in local time. The state's name groups become the frame's.
void scanner_update_expiry(ScannerState& state, const FrameScanResult& frame);
