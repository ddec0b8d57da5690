#pragma once
// A path of straight segments as a value (move-to, line-to, close), shared
// through the platform's reference types: a mutable path is built by its
// owner, a path handed to a layer is copied and never changes again.
// Values only; safe anywhere.

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/graphics/Geometry.h"

namespace platform {

enum CGPathElementType { kCGPathElementMoveToPoint = 0, kCGPathElementAddLineToPoint = 1, kCGPathElementCloseSubpath = 3 };

struct CGPathElement {
    CGPathElementType type = kCGPathElementMoveToPoint;
    CGPoint point;  // where a close goes back to, for a close
    friend bool operator==(const CGPathElement&, const CGPathElement&) = default;
};

struct CGPath {
    std::vector<CGPathElement> elements;
    friend bool operator==(const CGPath&, const CGPath&) = default;
};

using CGMutablePathRef = std::shared_ptr<CGPath>;
using CGPathRef = std::shared_ptr<const CGPath>;

inline CGMutablePathRef CGPathCreateMutable() { return std::make_shared<CGPath>(); }
inline CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path) {
    return path ? std::make_shared<CGPath>(*path) : CGPathCreateMutable();
}

inline void CGPathMoveToPoint(const CGMutablePathRef& path, double x, double y) {
    if (path) path->elements.push_back({kCGPathElementMoveToPoint, {x, y}});
}
// Without a current point the line starts its own subpath, as a move would.
inline void CGPathAddLineToPoint(const CGMutablePathRef& path, double x, double y) {
    if (!path) return;
    path->elements.push_back({path->elements.empty() ? kCGPathElementMoveToPoint : kCGPathElementAddLineToPoint, {x, y}});
}
inline void CGPathCloseSubpath(const CGMutablePathRef& path) {
    if (!path || path->elements.empty() || path->elements.back().type == kCGPathElementCloseSubpath) return;
    CGPoint start;
    for (auto it = path->elements.rbegin(); it != path->elements.rend(); ++it)
        if (it->type == kCGPathElementMoveToPoint) {
            start = it->point;
            break;
        }
    path->elements.push_back({kCGPathElementCloseSubpath, start});
}
inline void CGPathAddRect(const CGMutablePathRef& path, CGRect r) {
    CGPathMoveToPoint(path, r.origin.x, r.origin.y);
    CGPathAddLineToPoint(path, r.origin.x + r.size.width, r.origin.y);
    CGPathAddLineToPoint(path, r.origin.x + r.size.width, r.origin.y + r.size.height);
    CGPathAddLineToPoint(path, r.origin.x, r.origin.y + r.size.height);
    CGPathCloseSubpath(path);
}

inline bool CGPathIsEmpty(const CGPathRef& path) { return !path || path->elements.empty(); }

// The smallest rectangle holding every point; CGRectZero for an empty path.
inline CGRect CGPathGetBoundingBox(const CGPathRef& path) {
    if (CGPathIsEmpty(path)) return CGRectZero;
    CGPoint lo = path->elements.front().point, hi = lo;
    for (const auto& e : path->elements) {
        lo = {std::min(lo.x, e.point.x), std::min(lo.y, e.point.y)};
        hi = {std::max(hi.x, e.point.x), std::max(hi.y, e.point.y)};
    }
    return {lo, {hi.x - lo.x, hi.y - lo.y}};
}

// Two absent paths are equal; an absent one equals no present one.
inline bool CGPathEqualToPath(const CGPathRef& a, const CGPathRef& b) {
    if (!a || !b) return !a && !b;
    return *a == *b;
}

}  // namespace platform
