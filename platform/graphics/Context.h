#pragma once
// Drawing: a graphics context over a cairo context (the CGContext stand-in),
// the stack of current contexts that drawRect, image contexts and paths
// (BezierPath.h) draw into, and text.
//
// Coordinates are points, y down, as in views. A context keeps its own fill
// and stroke colours, line width and joins, saved and restored with
// CGContextSaveGState/RestoreGState. Every function takes a null context and
// then does nothing, as drawing outside a drawing pass does on the phone.
//
// Main thread only, like the views that draw: the current-context stack is
// one per process.

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/Geometry.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace platform {

class UIImage;

enum CGLineJoin { kCGLineJoinMiter = 0, kCGLineJoinRound = 1, kCGLineJoinBevel = 2 };
enum CGLineCap { kCGLineCapButt = 0, kCGLineCapRound = 1, kCGLineCapSquare = 2 };

enum NSTextAlignment { NSTextAlignmentLeft = 0, NSTextAlignmentCenter = 1, NSTextAlignmentRight = 2 };

class CGContext {
public:
    // Draws through `cairo`, taking a reference of its own.
    explicit CGContext(cairo_t* cairo);
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    cairo_t* cairo() const { return cairo_; }

    struct State {
        CGColor fill{0, 0, 0, 1};
        CGColor stroke{0, 0, 0, 1};
        double lineWidth = 1;
        CGLineJoin lineJoin = kCGLineJoinMiter;
        CGLineCap lineCap = kCGLineCapButt;
    };
    State& state() { return states_.back(); }
    void save();
    void restore();

private:
    cairo_t* cairo_;
    std::vector<State> states_{State{}};
};
using CGContextRef = CGContext*;

// The context drawing goes to now: the innermost of drawRect's context,
// pushed contexts and image contexts; nullptr outside any.
CGContextRef UIGraphicsGetCurrentContext();
void UIGraphicsPushContext(CGContextRef context);
void UIGraphicsPopContext();

void CGContextSaveGState(CGContextRef context);
void CGContextRestoreGState(CGContextRef context);
void CGContextSetFillColorWithColor(CGContextRef context, CGColorRef color);
void CGContextSetStrokeColorWithColor(CGContextRef context, CGColorRef color);
void CGContextSetLineWidth(CGContextRef context, double width);
void CGContextSetLineJoin(CGContextRef context, CGLineJoin join);
void CGContextSetLineCap(CGContextRef context, CGLineCap cap);
void CGContextFillRect(CGContextRef context, CGRect rect);
void CGContextStrokeRect(CGContextRef context, CGRect rect);
void CGContextFillEllipseInRect(CGContextRef context, CGRect rect);
void CGContextStrokeEllipseInRect(CGContextRef context, CGRect rect);
// Makes the rectangle transparent.
void CGContextClearRect(CGContextRef context, CGRect rect);
void CGContextBeginPath(CGContextRef context);
void CGContextMoveToPoint(CGContextRef context, double x, double y);
void CGContextAddLineToPoint(CGContextRef context, double x, double y);
void CGContextClosePath(CGContextRef context);
void CGContextStrokePath(CGContextRef context);
void CGContextFillPath(CGContextRef context);

// The current transformation, as the platform's CTM functions (angles in
// radians, positive turning clockwise on screen since y points down).
void CGContextTranslateCTM(CGContextRef context, double tx, double ty);
void CGContextRotateCTM(CGContextRef context, double angle);
void CGContextScaleCTM(CGContextRef context, double sx, double sy);
// The image's stored pixels (its orientation ignored) scaled into the
// rectangle and, as the platform's CGContextDrawImage does in a y-down view
// or image context, upside down: callers flip the context first (scale 1, -1).
void CGContextDrawImage(CGContextRef context, CGRect rect, const UIImage& image);

// An offscreen bitmap as the current context: `scale` pixels a point (0: the
// screen's scale, 1 here). Ended by UIGraphicsEndImageContext.
void UIGraphicsBeginImageContext(CGSize size);
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, double scale);
// A copy of what the innermost image context holds so far; nullptr outside one.
std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext();
void UIGraphicsEndImageContext();

// Text, one line, with cairo's text API: its size, and drawing it into the
// current context inside a rectangle (vertically centred, aligned as asked).
CGSize sizeWithFont(const std::string& text, const UIFont& font);
void drawTextInRect(const std::string& text, CGRect rect, const UIFont& font, const UIColor& color,
                    NSTextAlignment alignment);

}  // namespace platform
