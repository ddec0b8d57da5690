#pragma once
// Points, sizes and rectangles in view coordinates (points, y down).

namespace platform {

struct CGPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
    double width = 0;
    double height = 0;
    friend bool operator==(const CGSize&, const CGSize&) = default;
};

struct CGRect {
    CGPoint origin;
    CGSize size;
    friend bool operator==(const CGRect&, const CGRect&) = default;
};

inline CGRect CGRectMake(double x, double y, double width, double height) { return {{x, y}, {width, height}}; }
inline constexpr CGRect CGRectZero{};

}  // namespace platform
