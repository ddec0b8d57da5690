#include "platform/graphics/Context.h"

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <numbers>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/graphics/Image.h"

namespace platform {

namespace {

// One entry of the current-context stack. Image contexts own their context
// and surface; pushed contexts belong to whoever pushed them.
struct ContextEntry {
    CGContextRef context = nullptr;
    std::unique_ptr<CGContext> owned;
    cairo_surface_t* surface = nullptr;
    double scale = 1;
};

std::vector<ContextEntry>& contextStack() {
    // No reset: each context is popped by whoever pushed it.
    static NeverDestroyed<std::vector<ContextEntry>> stack;
    return *stack;
}

void setSource(cairo_t* cr, const CGColor& color) { cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha); }

void applyLine(cairo_t* cr, double width, CGLineJoin join, CGLineCap cap) {
    cairo_set_line_width(cr, width);
    cairo_set_line_join(cr, join == kCGLineJoinRound   ? CAIRO_LINE_JOIN_ROUND
                            : join == kCGLineJoinBevel ? CAIRO_LINE_JOIN_BEVEL
                                                       : CAIRO_LINE_JOIN_MITER);
    cairo_set_line_cap(cr, cap == kCGLineCapRound    ? CAIRO_LINE_CAP_ROUND
                           : cap == kCGLineCapSquare ? CAIRO_LINE_CAP_SQUARE
                                                     : CAIRO_LINE_CAP_BUTT);
}

void ellipsePath(cairo_t* cr, CGRect rect) {
    if (rect.size.width <= 0 || rect.size.height <= 0) return;
    cairo_save(cr);
    cairo_translate(cr, rect.origin.x + rect.size.width / 2, rect.origin.y + rect.size.height / 2);
    cairo_scale(cr, rect.size.width / 2, rect.size.height / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_restore(cr);
}

// cairo refuses malformed UTF-8 by putting the whole context in an error
// state, which would blank everything drawn after it; such bytes become '?'.
std::string validUTF8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        bool ok = length != 0 && i + length <= text.size() && lead != 0;
        for (std::size_t k = 1; ok && k < length; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (ok && length == 2) ok = lead >= 0xC2;
        if (ok && length == 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            ok = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second >= 0xA0);
        }
        if (ok && length == 4) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            ok = lead <= 0xF4 && !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second >= 0x90);
        }
        if (ok) {
            out.append(text, i, length);
            i += length;
        } else {
            out.push_back('?');
            ++i;
        }
    }
    return out;
}

// cairo's own text API draws every glyph from the one face it selected, so a
// text beyond Latin script is drawn with a family that also covers Chinese;
// where that family is not installed, fontconfig picks the nearest face.
constexpr const char* kWideScriptFamily = "WenQuanYi Micro Hei";

bool needsWideScript(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0xE0) return true;  // lead bytes of three- and four-byte sequences: CJK and beyond
    return false;
}

void selectFont(cairo_t* cr, const UIFont& font, const std::string& text) {
    const std::string& family = needsWideScript(text) ? std::string(kWideScriptFamily) : font.familyName();
    cairo_select_font_face(cr, family.c_str(), CAIRO_FONT_SLANT_NORMAL,
                           font.isBold() ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.pointSize() > 0 ? font.pointSize() : 1);
}

}  // namespace

CGContext::CGContext(cairo_t* cairo) : cairo_(cairo_reference(cairo)) {}
CGContext::~CGContext() { cairo_destroy(cairo_); }

void CGContext::save() {
    cairo_save(cairo_);
    states_.push_back(states_.back());
}

void CGContext::restore() {
    // An unbalanced restore is ignored rather than emptying the state stack.
    if (states_.size() < 2) return;
    states_.pop_back();
    cairo_restore(cairo_);
}

CGContextRef UIGraphicsGetCurrentContext() {
    auto& stack = contextStack();
    return stack.empty() ? nullptr : stack.back().context;
}

void UIGraphicsPushContext(CGContextRef context) {
    if (context) contextStack().push_back(ContextEntry{context, nullptr, nullptr, 1});
}

void UIGraphicsPopContext() {
    auto& stack = contextStack();
    // An image context is ended by UIGraphicsEndImageContext only.
    if (!stack.empty() && !stack.back().owned) stack.pop_back();
}

void CGContextSaveGState(CGContextRef c) {
    if (c) c->save();
}
void CGContextRestoreGState(CGContextRef c) {
    if (c) c->restore();
}
void CGContextSetFillColorWithColor(CGContextRef c, CGColorRef color) {
    if (c) c->state().fill = color;
}
void CGContextSetStrokeColorWithColor(CGContextRef c, CGColorRef color) {
    if (c) c->state().stroke = color;
}
void CGContextSetLineWidth(CGContextRef c, double width) {
    if (c) c->state().lineWidth = width;
}
void CGContextSetLineJoin(CGContextRef c, CGLineJoin join) {
    if (c) c->state().lineJoin = join;
}
void CGContextSetLineCap(CGContextRef c, CGLineCap cap) {
    if (c) c->state().lineCap = cap;
}

void CGContextFillRect(CGContextRef c, CGRect rect) {
    if (!c) return;
    cairo_t* cr = c->cairo();
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    setSource(cr, c->state().fill);
    cairo_fill(cr);
}

void CGContextStrokeRect(CGContextRef c, CGRect rect) {
    if (!c) return;
    cairo_t* cr = c->cairo();
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    CGContextStrokePath(c);
}

void CGContextFillEllipseInRect(CGContextRef c, CGRect rect) {
    if (!c) return;
    cairo_new_path(c->cairo());
    ellipsePath(c->cairo(), rect);
    CGContextFillPath(c);
}

void CGContextStrokeEllipseInRect(CGContextRef c, CGRect rect) {
    if (!c) return;
    cairo_new_path(c->cairo());
    ellipsePath(c->cairo(), rect);
    CGContextStrokePath(c);
}

void CGContextClearRect(CGContextRef c, CGRect rect) {
    if (!c) return;
    cairo_t* cr = c->cairo();
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(cr);
    cairo_restore(cr);
}

void CGContextBeginPath(CGContextRef c) {
    if (c) cairo_new_path(c->cairo());
}
void CGContextMoveToPoint(CGContextRef c, double x, double y) {
    if (c) cairo_move_to(c->cairo(), x, y);
}
void CGContextAddLineToPoint(CGContextRef c, double x, double y) {
    if (!c) return;
    // A line with no start begins where it is asked to go, as the platform's does.
    if (cairo_has_current_point(c->cairo()))
        cairo_line_to(c->cairo(), x, y);
    else
        cairo_move_to(c->cairo(), x, y);
}
void CGContextClosePath(CGContextRef c) {
    if (c) cairo_close_path(c->cairo());
}

void CGContextStrokePath(CGContextRef c) {
    if (!c) return;
    cairo_t* cr = c->cairo();
    const auto& s = c->state();
    applyLine(cr, s.lineWidth, s.lineJoin, s.lineCap);
    setSource(cr, s.stroke);
    cairo_stroke(cr);
}

void CGContextFillPath(CGContextRef c) {
    if (!c) return;
    setSource(c->cairo(), c->state().fill);
    cairo_fill(c->cairo());
}

void UIGraphicsBeginImageContext(CGSize size) { UIGraphicsBeginImageContextWithOptions(size, false, 1); }

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, double scale) {
    if (!(scale > 0)) scale = 1;
    // A degenerate size still gets a (one-pixel) context, so that the
    // matching End call always has something to end.
    const int width = std::max(1, int(std::ceil(std::max(0.0, size.width) * scale)));
    const int height = std::max(1, int(std::ceil(std::max(0.0, size.height) * scale)));
    cairo_surface_t* surface =
        cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    auto context = std::make_unique<CGContext>(cr);
    cairo_destroy(cr);
    ContextEntry entry;
    entry.context = context.get();
    entry.owned = std::move(context);
    entry.surface = surface;
    entry.scale = scale;
    contextStack().push_back(std::move(entry));
}

std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext() {
    auto& stack = contextStack();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (!it->surface) continue;
        cairo_surface_flush(it->surface);
        const int width = cairo_image_surface_get_width(it->surface);
        const int height = cairo_image_surface_get_height(it->surface);
        cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = cairo_create(copy);
        cairo_set_source_surface(cr, it->surface, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        auto image = std::make_shared<UIImage>(copy, it->scale);
        cairo_surface_destroy(copy);
        return image;
    }
    return nullptr;
}

void UIGraphicsEndImageContext() {
    auto& stack = contextStack();
    // Ends the innermost image context, with whatever was pushed above it.
    auto it = std::find_if(stack.rbegin(), stack.rend(), [](const ContextEntry& e) { return e.surface != nullptr; });
    if (it == stack.rend()) return;
    const auto keep = std::distance(stack.begin(), it.base()) - 1;
    cairo_surface_t* surface = stack[keep].surface;
    stack.erase(stack.begin() + keep, stack.end());
    cairo_surface_destroy(surface);
}

CGSize sizeWithFont(const std::string& text, const UIFont& font) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    selectFont(cr, font, text);
    const std::string valid = validUTF8(text);
    cairo_text_extents_t extents{};
    cairo_text_extents(cr, valid.c_str(), &extents);
    cairo_font_extents_t fontExtents{};
    cairo_font_extents(cr, &fontExtents);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return {extents.x_advance, text.empty() ? 0 : fontExtents.height};
}

void drawTextInRect(const std::string& text, CGRect rect, const UIFont& font, const UIColor& color,
                    NSTextAlignment alignment) {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c || text.empty()) return;
    cairo_t* cr = c->cairo();
    cairo_save(cr);
    selectFont(cr, font, text);
    const std::string valid = validUTF8(text);
    cairo_text_extents_t extents{};
    cairo_text_extents(cr, valid.c_str(), &extents);
    cairo_font_extents_t fontExtents{};
    cairo_font_extents(cr, &fontExtents);
    double x = rect.origin.x;
    if (alignment == NSTextAlignmentCenter)
        x += (rect.size.width - extents.x_advance) / 2;
    else if (alignment == NSTextAlignmentRight)
        x += rect.size.width - extents.x_advance;
    const double baseline =
        rect.origin.y + (rect.size.height - (fontExtents.ascent + fontExtents.descent)) / 2 + fontExtents.ascent;
    setSource(cr, color.CGColor());
    cairo_new_path(cr);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, valid.c_str());
    cairo_restore(cr);
}

void UIColor::set() const {
    setFill();
    setStroke();
}
void UIColor::setFill() const { CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), color_); }
void UIColor::setStroke() const { CGContextSetStrokeColorWithColor(UIGraphicsGetCurrentContext(), color_); }

UIColor UIColor::colorWithRedGreenBlueAlpha(double red, double green, double blue, double alpha) {
    UIColor color;
    color.color_ = {red, green, blue, alpha};
    return color;
}

UIColor UIColor::colorWithWhiteAlpha(double white, double alpha) {
    return colorWithRedGreenBlueAlpha(white, white, white, alpha);
}

UIColor UIColor::colorWithAlphaComponent(double alpha) const {
    return colorWithRedGreenBlueAlpha(color_.red, color_.green, color_.blue, alpha);
}

}  // namespace platform
