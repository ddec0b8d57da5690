#include "platform/graphics/BezierPath.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform {

UIBezierPath UIBezierPath::bezierPathWithRect(CGRect r) {
    UIBezierPath path;
    path.moveToPoint(r.origin);
    path.addLineToPoint({r.origin.x + r.size.width, r.origin.y});
    path.addLineToPoint({r.origin.x + r.size.width, r.origin.y + r.size.height});
    path.addLineToPoint({r.origin.x, r.origin.y + r.size.height});
    path.closePath();
    return path;
}

UIBezierPath UIBezierPath::bezierPathWithRoundedRectCornerRadius(CGRect r, double radius) {
    radius = std::clamp(radius, 0.0, std::min(r.size.width, r.size.height) / 2);
    if (radius <= 0) return bezierPathWithRect(r);
    const double x0 = r.origin.x, y0 = r.origin.y, x1 = x0 + r.size.width, y1 = y0 + r.size.height;
    constexpr double pi = std::numbers::pi;
    UIBezierPath path;
    path.elements_.push_back({Element::Arc, {x1 - radius, y0 + radius}, radius, -pi / 2, 0});
    path.elements_.push_back({Element::Arc, {x1 - radius, y1 - radius}, radius, 0, pi / 2});
    path.elements_.push_back({Element::Arc, {x0 + radius, y1 - radius}, radius, pi / 2, pi});
    path.elements_.push_back({Element::Arc, {x0 + radius, y0 + radius}, radius, pi, 3 * pi / 2});
    path.closePath();
    return path;
}

UIBezierPath UIBezierPath::bezierPathWithOvalInRect(CGRect r) {
    // A circle arc drawn under a scale would scale the line width too, so the
    // oval is flattened into short lines instead.
    UIBezierPath path;
    const double cx = r.origin.x + r.size.width / 2, cy = r.origin.y + r.size.height / 2;
    constexpr int steps = 96;
    for (int i = 0; i <= steps; ++i) {
        const double a = 2 * std::numbers::pi * i / steps;
        const CGPoint p{cx + std::cos(a) * r.size.width / 2, cy + std::sin(a) * r.size.height / 2};
        if (i == 0)
            path.moveToPoint(p);
        else
            path.addLineToPoint(p);
    }
    path.closePath();
    return path;
}

void UIBezierPath::moveToPoint(CGPoint point) { elements_.push_back({Element::Move, point}); }
void UIBezierPath::addLineToPoint(CGPoint point) { elements_.push_back({Element::Line, point}); }
void UIBezierPath::closePath() {
    if (!elements_.empty()) elements_.push_back({Element::Close, {}});
}

CGPoint UIBezierPath::currentPoint() const {
    for (auto it = elements_.rbegin(); it != elements_.rend(); ++it)
        if (it->kind == Element::Move || it->kind == Element::Line) return it->point;
    return {};
}

void UIBezierPath::appendTo(cairo_t* cr) const {
    for (const auto& e : elements_) {
        switch (e.kind) {
        case Element::Move: cairo_move_to(cr, e.point.x, e.point.y); break;
        case Element::Line:
            if (cairo_has_current_point(cr))
                cairo_line_to(cr, e.point.x, e.point.y);
            else
                cairo_move_to(cr, e.point.x, e.point.y);
            break;
        case Element::Close: cairo_close_path(cr); break;
        case Element::Arc: cairo_arc(cr, e.point.x, e.point.y, e.radius, e.from, e.to); break;
        }
    }
}

void UIBezierPath::stroke() const {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) return;
    // The path's line settings, not the context's, for this stroke only.
    CGContextSaveGState(c);
    CGContextSetLineWidth(c, lineWidth_);
    CGContextSetLineJoin(c, lineJoin_);
    CGContextSetLineCap(c, lineCap_);
    CGContextBeginPath(c);
    appendTo(c->cairo());
    CGContextStrokePath(c);
    CGContextRestoreGState(c);
}

void UIBezierPath::fill() const {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c) return;
    CGContextBeginPath(c);
    appendTo(c->cairo());
    CGContextFillPath(c);
}

}  // namespace platform
