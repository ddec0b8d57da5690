#pragma once
// A path of lines and arcs (the UIBezierPath stand-in), stroked or filled
// into the current graphics context (Context.h) with its own line width,
// join and cap and the context's colours. A value; drawing it is main thread
// only, like every drawing.

#include <vector>

#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class UIBezierPath {
public:
    UIBezierPath() = default;
    static UIBezierPath bezierPath() { return {}; }
    static UIBezierPath bezierPathWithRect(CGRect rect);
    static UIBezierPath bezierPathWithRoundedRectCornerRadius(CGRect rect, double radius);
    static UIBezierPath bezierPathWithOvalInRect(CGRect rect);

    void moveToPoint(CGPoint point);
    void addLineToPoint(CGPoint point);
    void closePath();
    bool isEmpty() const { return elements_.empty(); }
    // Where the path would go on from: the last point added.
    CGPoint currentPoint() const;

    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double width) { lineWidth_ = width; }
    CGLineJoin lineJoinStyle() const { return lineJoin_; }
    void setLineJoinStyle(CGLineJoin join) { lineJoin_ = join; }
    CGLineCap lineCapStyle() const { return lineCap_; }
    void setLineCapStyle(CGLineCap cap) { lineCap_ = cap; }

    // With the current context's stroke (or fill) colour.
    void stroke() const;
    void fill() const;
    // Adds the path to a cairo context (drawing code inside the platform).
    void appendTo(cairo_t* cairo) const;

private:
    struct Element {
        enum Kind { Move, Line, Close, Arc } kind;
        CGPoint point;
        double radius = 0;
        double from = 0;
        double to = 0;
    };
    std::vector<Element> elements_;
    double lineWidth_ = 1;
    CGLineJoin lineJoin_ = kCGLineJoinMiter;
    CGLineCap lineCap_ = kCGLineCapButt;
};

}  // namespace platform
