#pragma once
// The main screen stand-in: its bounds in points and its scale (pixels a
// point). There is no display here, so both are whatever the simulator or a
// test sets; the default is a phone in portrait, 320 x 568 points at scale 2.
// Views that fill the screen (the app's window, a view controller's first
// view) take its bounds when they are made, so set the screen before launch.
// Thread-safe.

#include <mutex>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class UIScreen {
public:
    static UIScreen& mainScreen();

    CGRect bounds() const;
    // Only the size counts: the screen's bounds start at the origin.
    void setBounds(CGRect bounds);
    double scale() const;
    void setScale(double scale);

    // Back to the default (tests).
    void reset();

private:
    UIScreen();
    friend class NeverDestroyed<UIScreen>;
    mutable std::mutex mutex_;
    CGRect bounds_;
    double scale_ = 2;
};

}  // namespace platform
