#pragma once
// Expiry and name groups: text lines below the number stripe cut into
// character cells, tracked across frames until they read as a date.
//
// Only the records and the two hooks of the scan session exist so far; the
// search and the date decision come with the expiry networks. Until then the
// hooks find nothing and read no date.

#include <Eigen/Core>
#include <opencv2/core/core_c.h>

#include <cstdint>
#include <vector>

struct ScannerState;
struct FrameScanResult;

struct CharacterRect {
    int32_t top;
    int32_t left;
    int64_t sum; // gradient energy of the cell's columns
};

struct GroupedRects {
    int32_t top;
    int32_t left;
    int32_t width;
    int32_t height;
    bool merged;
    int64_t sum; // gradient energy of the group's strongest window
    int32_t character_width;
    std::vector<CharacterRect> character_rects;
    int32_t kind; // 0: date candidate
    Eigen::Matrix<float, 11, 10, Eigen::RowMajor> scores;
    int32_t lifetime;
    int32_t frames_seen;
};

// Search of one frame below the stripe at y_offset (the session calls it
// only while a date is wanted and y_offset < 240). Finds nothing yet.
void find_expiry_and_name_groups(const IplImage* card, int y_offset, std::vector<GroupedRects>& expiry_groups,
                                 std::vector<GroupedRects>& name_groups);

// The state's expiry update from a usable frame while a date is wanted.
// Marks the scan as reading an expiry and keeps the frame's name groups; no
// date is read yet.
void scanner_update_expiry(ScannerState& state, const FrameScanResult& frame);
