#pragma once
// Device facts (and one of the app's) that the scanner's screens branch on,
// computed once for the life of the process. Any thread.

namespace cardscanner {

class ZeduVIMacros {
public:
    // The system version's part before its first ".", as an integer.
    static long deviceSystemMajorVersion();
    // True below system version 7; otherwise the main bundle's Info.plist
    // "UIViewControllerBasedStatusBarAppearance" (false when absent).
    static bool appHasViewControllerBasedStatusBar();
    // Forgets both answers, so the next calls compute them afresh (tests).
    static void reset();
};

}  // namespace cardscanner
