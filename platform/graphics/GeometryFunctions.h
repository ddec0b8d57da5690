#pragma once
// The small geometry helpers that views and drawing code lean on: insets,
// containment, mid points. Values only; safe anywhere.

#include <cmath>

#include "platform/graphics/Geometry.h"

namespace platform {

struct UIEdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
    friend bool operator==(const UIEdgeInsets&, const UIEdgeInsets&) = default;
};

inline UIEdgeInsets UIEdgeInsetsMake(double top, double left, double bottom, double right) {
    return {top, left, bottom, right};
}
inline constexpr UIEdgeInsets UIEdgeInsetsZero{};

inline CGRect UIEdgeInsetsInsetRect(CGRect rect, UIEdgeInsets insets) {
    return {{rect.origin.x + insets.left, rect.origin.y + insets.top},
            {rect.size.width - insets.left - insets.right, rect.size.height - insets.top - insets.bottom}};
}

inline CGPoint CGPointMake(double x, double y) { return {x, y}; }
inline CGSize CGSizeMake(double width, double height) { return {width, height}; }

inline double CGRectGetMinX(CGRect r) { return r.origin.x; }
inline double CGRectGetMinY(CGRect r) { return r.origin.y; }
inline double CGRectGetMaxX(CGRect r) { return r.origin.x + r.size.width; }
inline double CGRectGetMaxY(CGRect r) { return r.origin.y + r.size.height; }
inline double CGRectGetMidX(CGRect r) { return r.origin.x + r.size.width / 2; }
inline double CGRectGetMidY(CGRect r) { return r.origin.y + r.size.height / 2; }
inline double CGRectGetWidth(CGRect r) { return r.size.width; }
inline double CGRectGetHeight(CGRect r) { return r.size.height; }

// Half-open on the far edges, as the platform's: a point on the right or
// bottom edge is outside, so neighbouring rectangles never both claim it.
inline bool CGRectContainsPoint(CGRect r, CGPoint p) {
    return r.size.width > 0 && r.size.height > 0 && p.x >= r.origin.x && p.y >= r.origin.y &&
           p.x < r.origin.x + r.size.width && p.y < r.origin.y + r.size.height;
}

}  // namespace platform
