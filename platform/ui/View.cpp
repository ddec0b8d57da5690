#include "platform/ui/View.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/BezierPath.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

// One axis of autoresizing: how a child's origin and length follow a change
// of its parent's length, spreading the change over the flexible parts in
// proportion to their current sizes.
void resizeAxis(double& origin, double& length, double oldParent, double newParent, bool flexibleLead,
                bool flexibleLength, bool flexibleTrail) {
    const double delta = newParent - oldParent;
    if (delta == 0 || !(flexibleLead || flexibleLength || flexibleTrail)) return;
    const double lead = origin;
    const double trail = oldParent - origin - length;
    double total = (flexibleLead ? lead : 0) + (flexibleLength ? length : 0) + (flexibleTrail ? trail : 0);
    const int flexibleCount = int(flexibleLead) + int(flexibleLength) + int(flexibleTrail);
    auto share = [&](bool flexible, double size) {
        if (!flexible) return 0.0;
        return total > 0 ? delta * size / total : delta / flexibleCount;
    };
    origin += share(flexibleLead, lead);
    length += share(flexibleLength, length);
}

// The views waiting for the next layout and display pass. The pass is one
// task on the main run loop; `token` lives exactly as long as that task, so
// a task the run loop dropped (tests reset it) is noticed and posted anew.
struct PendingPass {
    std::vector<std::weak_ptr<UIView>> views;
    std::weak_ptr<char> token;
};

PendingPass& pendingPass() {
    // No reset: a view stays marked until the pass takes it off this list,
    // and a pass the run loop dropped is noticed through `token`.
    static NeverDestroyed<PendingPass> pass;
    return *pass;
}

void ensurePassPosted() {
    auto& pending = pendingPass();
    if (!pending.token.expired()) return;
    auto token = std::make_shared<char>();
    pending.token = token;
    RunLoop::main().post([token] { UIView::flushPendingPasses(); });
}

void roundedRectPath(cairo_t* cr, CGRect r, double radius) {
    UIBezierPath::bezierPathWithRoundedRectCornerRadius(r, radius).appendTo(cr);
}

}  // namespace

UIView::UIView(CGRect frame) : frame_(frame), layer_(std::make_shared<CALayer>()) {
    layer_->markOwnedByView();
    syncLayer();
}

void UIView::syncLayer() {
    layer_->setBounds(bounds());
    layer_->setPosition(center());
}

UIView::~UIView() {
    if (content_) cairo_surface_destroy(content_);
}

// --- Geometry -------------------------------------------------------------------

void UIView::setFrame(CGRect frame) {
    const CGRect oldFrame = frame_;
    const CGRect oldBounds = bounds();
    applyFrame(frame);
    tellObservers(oldFrame, oldBounds);
}

void UIView::applyFrame(CGRect frame) {
    const CGSize old = frame_.size;
    frame_ = frame;
    syncLayer();
    if (old == frame.size) return;
    needsLayout_ = true;
    needsDisplay_ = true;
    if (autoresizesSubviews_) resizeSubviews(old);
}

UIView::KeyPathObserverToken UIView::addObserverForKeyPath(const std::string& keyPath, KeyPathObserver observer) {
    return keyPathObservers_.add(keyPath, std::move(observer));
}

void UIView::removeObserver(KeyPathObserverToken token) {
    keyPathObservers_.remove(token);
}

void UIView::tellObservers(CGRect oldFrame, CGRect oldBounds) {
    if (keyPathObservers_.empty()) return;
    const bool frameChanged = !(frame_ == oldFrame);
    const bool boundsChanged = !(bounds() == oldBounds);
    if (!frameChanged && !boundsChanged) return;
    const auto keepAlive = weak_from_this().lock();
    const auto tokens = keyPathObservers_.tokensWhere([&](const std::string& keyPath) {
        return (keyPath == "frame" && frameChanged) || (keyPath == "bounds" && boundsChanged);
    });
    for (const KeyPathObserverToken token : tokens) {
        std::string keyPath;
        KeyPathObserver observer;
        if (keyPathObservers_.find(token, keyPath, observer)) observer(keyPath);
    }
}

void UIView::resizeSubviews(CGSize old) {
    const CGSize now = frame_.size;
    const auto children = subviews_;  // a child's own layout may rearrange the list
    for (const auto& child : children) {
        const unsigned mask = child->autoresizingMask();
        CGRect f = child->frame();
        resizeAxis(f.origin.x, f.size.width, old.width, now.width, mask & UIViewAutoresizingFlexibleLeftMargin,
                   mask & UIViewAutoresizingFlexibleWidth, mask & UIViewAutoresizingFlexibleRightMargin);
        resizeAxis(f.origin.y, f.size.height, old.height, now.height, mask & UIViewAutoresizingFlexibleTopMargin,
                   mask & UIViewAutoresizingFlexibleHeight, mask & UIViewAutoresizingFlexibleBottomMargin);
        if (!(f == child->frame())) child->setFrame(f);
    }
}

void UIView::setBounds(CGRect bounds) {
    const CGRect oldFrame = frame_;
    const CGRect oldBounds = this->bounds();
    const CGPoint c = center();
    boundsOrigin_ = bounds.origin;
    syncLayer();
    applyFrame({{c.x - bounds.size.width / 2, c.y - bounds.size.height / 2}, bounds.size});
    tellObservers(oldFrame, oldBounds);
}

CGPoint UIView::center() const {
    return {frame_.origin.x + frame_.size.width / 2, frame_.origin.y + frame_.size.height / 2};
}

void UIView::setCenter(CGPoint center) {
    frame_.origin = {center.x - frame_.size.width / 2, center.y - frame_.size.height / 2};
    syncLayer();
}

const UIView* UIView::root() const {
    const UIView* view = this;
    while (auto parent = view->superview_.lock()) view = parent.get();
    return view;
}

std::shared_ptr<UIView> UIView::window() const {
    const UIView* top = root();
    if (!top->isKindOfClass("UIWindow")) return nullptr;
    return std::const_pointer_cast<UIView>(top->weak_from_this().lock());
}

// "Screen" coordinates: those of the space the roots' frames are in. Views of
// two different trees convert through it as if both roots were on one screen.
CGPoint UIView::toScreen(CGPoint p) const {
    for (const UIView* view = this; view;) {
        p.x += view->frame_.origin.x - view->boundsOrigin_.x;
        p.y += view->frame_.origin.y - view->boundsOrigin_.y;
        auto parent = view->superview_.lock();
        view = parent.get();
    }
    return p;
}

CGPoint UIView::fromScreen(CGPoint p) const {
    const CGPoint origin = toScreen({0, 0});
    return {p.x - origin.x, p.y - origin.y};
}

CGPoint UIView::convertPointToView(CGPoint point, const UIView* view) const {
    if (!view) view = root();
    if (view == this) return point;
    return view->fromScreen(toScreen(point));
}

CGPoint UIView::convertPointFromView(CGPoint point, const UIView* view) const {
    if (!view) view = root();
    if (view == this) return point;
    return fromScreen(view->toScreen(point));
}

CGRect UIView::convertRectToView(CGRect rect, const UIView* view) const {
    return {convertPointToView(rect.origin, view), rect.size};
}

CGRect UIView::convertRectFromView(CGRect rect, const UIView* view) const {
    return {convertPointFromView(rect.origin, view), rect.size};
}

// --- Appearance and tree -----------------------------------------------------------

void UIView::setAlpha(double alpha) { alpha_ = std::isnan(alpha) ? 0 : std::clamp(alpha, 0.0, 1.0); }

void UIView::setContentMode(UIViewContentMode mode) {
    if (mode == contentMode_) return;
    contentMode_ = mode;
    setNeedsDisplay();
}

std::shared_ptr<UIView> UIView::viewWithTag(long tag) {
    if (tag_ == tag) return weak_from_this().lock();
    for (const auto& child : subviews_)
        if (auto found = child->viewWithTag(tag)) return found;
    return nullptr;
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) { insertSubviewAtIndex(view, subviews_.size()); }

void UIView::insertSubviewAtIndex(const std::shared_ptr<UIView>& view, std::size_t index) {
    if (!view) return;
    // A view inside its own subtree would own itself (never freed) and make
    // every layout pass recurse without end.
    for (const UIView* ancestor = this; ancestor; ancestor = ancestor->superview_.lock().get())
        if (ancestor == view.get()) return;
    const std::shared_ptr<UIView> child = view;  // `view` may live in the list it leaves
    child->removeFromSuperview();
    subviews_.insert(subviews_.begin() + std::min(index, subviews_.size()), child);
    child->superview_ = weak_from_this();
    child->needsLayout_ = true;
}

void UIView::sendSubviewToBack(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(subviews_.begin(), it, it + 1);
}

void UIView::bringSubviewToFront(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(it, it + 1, subviews_.end());
}

void UIView::removeFromSuperview() {
    auto parent = superview_.lock();
    superview_.reset();
    if (!parent) return;
    // The parent may hold the last reference; this view must outlive its own removal.
    const auto keepAlive = weak_from_this().lock();
    auto& siblings = parent->subviews_;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [this](const auto& v) { return v.get() == this; }),
                   siblings.end());
}

bool UIView::isDescendantOfView(const UIView* view) const {
    if (!view) return false;
    for (const UIView* v = this; v;) {
        if (v == view) return true;
        auto parent = v->superview_.lock();
        v = parent.get();
    }
    return false;
}

// --- Layout and display passes ---------------------------------------------------

void UIView::registerForPass() {
    if (!registeredForPass_) {
        auto self = weak_from_this();
        if (self.expired()) return;  // not a shared view: drawn only when rendered
        registeredForPass_ = true;
        pendingPass().views.push_back(std::move(self));
    }
    ensurePassPosted();
}

void UIView::setNeedsLayout() {
    assertMainThread("UIView::setNeedsLayout");
    needsLayout_ = true;
    registerForPass();
}

void UIView::layoutIfNeeded() {
    assertMainThread("UIView::layoutIfNeeded");
    const auto keepAlive = weak_from_this().lock();
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSubviews();
    }
    layer_->layoutIfNeeded();
    const auto children = subviews_;
    for (const auto& child : children) child->layoutIfNeeded();
}

void UIView::setNeedsDisplay() {
    assertMainThread("UIView::setNeedsDisplay");
    needsDisplay_ = true;
    registerForPass();
}

void UIView::flushPendingPasses() {
    auto& pending = pendingPass();
    // Views marked while this pass runs belong to the next one.
    pending.token.reset();
    std::vector<std::shared_ptr<UIView>> views;
    for (const auto& weak : std::exchange(pending.views, {}))
        if (auto view = weak.lock()) {
            view->registeredForPass_ = false;
            views.push_back(std::move(view));
        }
    for (const auto& view : views) {
        auto top = view;
        while (auto parent = top->superview()) top = parent;
        top->layoutIfNeeded();
    }
    for (const auto& view : views) view->displayIfNeeded();
    CALayer::flushPendingLayouts();
}

void UIView::displayIfNeeded() {
    if (!needsDisplay_) return;
    const auto keepAlive = weak_from_this().lock();
    needsDisplay_ = false;  // before drawing: drawRect may ask for another pass
    if (content_) {
        cairo_surface_destroy(content_);
        content_ = nullptr;
    }
    const CGRect b = bounds();
    if (!(b.size.width > 0 && b.size.height > 0)) return;
    const cairo_rectangle_t extents{b.origin.x, b.origin.y, b.size.width, b.size.height};
    cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
    cairo_t* cr = cairo_create(recording);
    {
        CGContext context(cr);
        cairo_destroy(cr);
        struct Current {
            explicit Current(CGContextRef c) { UIGraphicsPushContext(c); }
            ~Current() { UIGraphicsPopContext(); }
        } current(&context);
        drawRect(b);
    }
    content_ = recording;
}

CGPoint UIView::animatedOffset() const {
    const CAPropertyValue shown = layer_->presentationValueForKeyPath("position");
    const CGPoint* at = std::get_if<CGPoint>(&shown);
    const CGPoint model = layer_->position();
    if (!at || !std::isfinite(at->x) || !std::isfinite(at->y)) return {};
    return {at->x - model.x, at->y - model.y};
}

void UIView::renderInContext(CGContextRef context) {
    if (!context || hidden_ || alpha_ < 0.01) return;
    const auto keepAlive = weak_from_this().lock();
    cairo_t* cr = context->cairo();
    const CGRect b = bounds();
    const double radius = layer_->cornerRadius();
    cairo_save(cr);
    cairo_translate(cr, -boundsOrigin_.x, -boundsOrigin_.y);
    const bool faded = alpha_ < 1;
    if (faded) cairo_push_group(cr);
    if (layer_->masksToBounds()) {
        cairo_new_path(cr);
        roundedRectPath(cr, b, radius);
        cairo_clip(cr);
    }
    if (backgroundColor_ && backgroundColor_->alpha() > 0) {
        cairo_new_path(cr);
        roundedRectPath(cr, b, radius);
        const CGColor c = backgroundColor_->CGColor();
        cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
        cairo_fill(cr);
    }
    displayIfNeeded();
    if (content_) {
        cairo_save(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, b.origin.x, b.origin.y, b.size.width, b.size.height);
        cairo_clip(cr);
        cairo_set_source_surface(cr, content_, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    layer_->layoutIfNeeded();
    layer_->renderSublayersInContext(context);
    const auto children = subviews_;
    for (const auto& child : children) {
        cairo_save(cr);
        const CGPoint moved = child->animatedOffset();
        cairo_translate(cr, child->frame_.origin.x + moved.x, child->frame_.origin.y + moved.y);
        if (!CGAffineTransformIsIdentity(child->transform_)) {
            const CGAffineTransform& t = child->transform_;
            const double determinant = t.a * t.d - t.b * t.c;
            // A singular matrix would break the cairo context for good; such a view has no area.
            if (!(std::abs(determinant) > 1e-12) || !std::isfinite(determinant) || !std::isfinite(t.tx) ||
                !std::isfinite(t.ty)) {
                cairo_restore(cr);
                continue;
            }
            const double cx = child->frame_.size.width / 2, cy = child->frame_.size.height / 2;
            const cairo_matrix_t matrix{t.a, t.b, t.c, t.d, t.tx, t.ty};
            cairo_translate(cr, cx, cy);
            cairo_transform(cr, &matrix);
            cairo_translate(cr, -cx, -cy);
        }
        child->renderInContext(context);
        cairo_restore(cr);
    }
    UIGraphicsPushContext(context);
    drawOverSubviews(b);
    UIGraphicsPopContext();
    if (faded) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, alpha_);
    }
    cairo_restore(cr);
}

// --- Touches ---------------------------------------------------------------------

bool UIView::pointInside(CGPoint point, const UIEvent*) const { return CGRectContainsPoint(bounds(), point); }

std::shared_ptr<UIView> UIView::hitTest(CGPoint point, const UIEvent* event) {
    if (hidden_ || alpha_ < 0.01 || !userInteractionEnabled_ || !pointInside(point, event)) return nullptr;
    const auto children = subviews_;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const UIView& child = **it;
        const CGPoint inChild{point.x - child.frame_.origin.x + child.boundsOrigin_.x,
                              point.y - child.frame_.origin.y + child.boundsOrigin_.y};
        if (auto hit = (*it)->hitTest(inChild, event)) return hit;
    }
    return weak_from_this().lock();
}

void UIView::touchesBegan(const UITouchSet& touches, const UIEvent& event) {
    if (auto parent = superview()) parent->touchesBegan(touches, event);
}
void UIView::touchesMoved(const UITouchSet& touches, const UIEvent& event) {
    if (auto parent = superview()) parent->touchesMoved(touches, event);
}
void UIView::touchesEnded(const UITouchSet& touches, const UIEvent& event) {
    if (auto parent = superview()) parent->touchesEnded(touches, event);
}
void UIView::touchesCancelled(const UITouchSet& touches, const UIEvent& event) {
    if (auto parent = superview()) parent->touchesCancelled(touches, event);
}

// --- UITouch -----------------------------------------------------------------------

CGPoint UITouch::convert(CGPoint windowPoint, const UIView* view) const {
    if (!view) return windowPoint;
    const std::shared_ptr<UIView> window = window_.lock();
    return view->convertPointFromView(windowPoint, window.get());
}

CGPoint UITouch::locationInView(const UIView* view) const { return convert(location_, view); }
CGPoint UITouch::previousLocationInView(const UIView* view) const { return convert(previous_, view); }

void UITouch::update(UITouchPhase phase, CGPoint windowLocation, double timestamp) {
    previous_ = phase == UITouchPhase::Began ? windowLocation : location_;
    location_ = windowLocation;
    phase_ = phase;
    timestamp_ = timestamp;
}

void UITouch::attach(std::weak_ptr<UIWindow> window, std::weak_ptr<UIView> view) {
    window_ = std::move(window);
    view_ = std::move(view);
}

}  // namespace platform
