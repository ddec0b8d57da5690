#include "platform/ui/ActivityIndicatorView.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr int kSpokes = 12;
constexpr double kTurnInterval = 1.0 / kSpokes;

CGSize sizeOfStyle(UIActivityIndicatorViewStyle style) {
    return style == UIActivityIndicatorViewStyleWhiteLarge ? CGSize{37, 37} : CGSize{20, 20};
}

// Anything but the three styles draws as gray, the platform's default.
UIActivityIndicatorViewStyle knownStyle(UIActivityIndicatorViewStyle style) {
    return style == UIActivityIndicatorViewStyleWhiteLarge || style == UIActivityIndicatorViewStyleWhite
               ? style
               : UIActivityIndicatorViewStyleGray;
}

}  // namespace

UIActivityIndicatorView::UIActivityIndicatorView(UIActivityIndicatorViewStyle style)
    : UIView({{0, 0}, sizeOfStyle(knownStyle(style))}), style_(knownStyle(style)) {
    setHidden(true);
}

UIActivityIndicatorView::~UIActivityIndicatorView() {
    if (timer_) RunLoop::main().cancel(timer_);
}

void UIActivityIndicatorView::setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style) {
    style_ = knownStyle(style);
    const CGPoint c = center();
    const CGSize size = sizeOfStyle(style_);
    setFrame({{c.x - size.width / 2, c.y - size.height / 2}, size});
    setNeedsDisplay();
}

UIColor UIActivityIndicatorView::color() const {
    return style_ == UIActivityIndicatorViewStyleGray ? UIColor::grayColor() : UIColor::whiteColor();
}

void UIActivityIndicatorView::startAnimating() {
    setHidden(false);
    if (timer_) return;
    scheduleTurn();
}

void UIActivityIndicatorView::stopAnimating() {
    if (timer_) RunLoop::main().cancel(timer_);
    timer_ = 0;
    if (hidesWhenStopped_) setHidden(true);
}

void UIActivityIndicatorView::setHidesWhenStopped(bool hides) {
    hidesWhenStopped_ = hides;
    if (!isAnimating()) setHidden(hides);
}

void UIActivityIndicatorView::scheduleTurn() {
    // The timer holds the view weakly: a spinner dropped while turning ends its own timer.
    const std::weak_ptr<UIView> weak = weak_from_this();
    timer_ = RunLoop::main().after(kTurnInterval, [weak] {
        auto view = std::static_pointer_cast<UIActivityIndicatorView>(weak.lock());
        if (!view) return;
        view->timer_ = 0;
        view->leadingSpoke_ = (view->leadingSpoke_ + 1) % kSpokes;
        view->setNeedsDisplay();
        view->scheduleTurn();
    });
}

void UIActivityIndicatorView::drawRect(CGRect) {
    CGContextRef context = UIGraphicsGetCurrentContext();
    if (!context) return;
    cairo_t* cr = context->cairo();
    const CGRect b = bounds();
    const double radius = std::min(b.size.width, b.size.height) / 2;
    const double width = style_ == UIActivityIndicatorViewStyleWhiteLarge ? 4 : 2.25;
    const CGColor c = color().CGColor();
    cairo_save(cr);
    cairo_translate(cr, b.origin.x + b.size.width / 2, b.origin.y + b.size.height / 2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, width);
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        // The leading spoke is solid; those behind it fade toward a quarter.
        const int behind = (leadingSpoke_ - spoke + kSpokes) % kSpokes;
        const double alpha = 1.0 - 0.75 * behind / (kSpokes - 1);
        const double angle = 2 * M_PI * spoke / kSpokes;
        const double dx = std::sin(angle);
        const double dy = -std::cos(angle);
        const double inner = radius * 0.5;
        const double outer = radius - width / 2;
        cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha * alpha);
        cairo_move_to(cr, dx * inner, dy * inner);
        cairo_line_to(cr, dx * outer, dy * outer);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

}  // namespace platform
