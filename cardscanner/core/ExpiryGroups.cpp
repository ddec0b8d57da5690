#include "cardscanner/core/ExpiryGroups.h"

#include "cardscanner/core/ScanSession.h"

// The text-line search and the expiry networks are not built yet: a frame
// yields no groups, and the update below only notes that an expiry is being
// read, so the session keeps its one-second wait for a date that cannot come
// (the completion rule still finishes the scan without one).

void find_expiry_and_name_groups(const IplImage* card, int y_offset, std::vector<GroupedRects>& expiry_groups,
                                 std::vector<GroupedRects>& name_groups)
{
    (void)card;
    (void)y_offset;
    (void)expiry_groups;
    (void)name_groups;
}

void scanner_update_expiry(ScannerState& state, const FrameScanResult& frame)
{
    state.scan_expiry = true;
    state.name_groups = frame.name_groups;
}
