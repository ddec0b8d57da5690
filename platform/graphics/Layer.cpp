#include "platform/graphics/Layer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Image.h"

namespace platform {

// --- Animations --------------------------------------------------------------------

std::shared_ptr<CAKeyframeAnimation> CAKeyframeAnimation::animationWithKeyPath(std::string keyPath) {
    auto animation = std::make_shared<CAKeyframeAnimation>();
    animation->keyPath_ = std::move(keyPath);
    return animation;
}

std::shared_ptr<CABasicAnimation> CABasicAnimation::animationWithKeyPath(std::string keyPath) {
    auto animation = std::make_shared<CABasicAnimation>();
    animation->keyPath_ = std::move(keyPath);
    return animation;
}

double CAAnimation::progressAt(double now) const {
    if (!(duration() > 0)) return 1;
    const double progress = (now - beginTime_) / duration();
    if (std::isnan(progress)) return 1;
    return std::clamp(progress, 0.0, 1.0);
}

CAPropertyValue CABasicAnimation::valueAtProgress(double progress, const CAPropertyValue& underlying) const {
    const CAPropertyValue& from = std::holds_alternative<std::monostate>(from_) ? underlying : from_;
    const CAPropertyValue& to = std::holds_alternative<std::monostate>(to_) ? underlying : to_;
    return CAInterpolatePropertyValue(from, to, progress);
}

CAPropertyValue CAKeyframeAnimation::valueAtProgress(double progress, const CAPropertyValue& underlying) const {
    const std::size_t count = values_.size();
    if (count == 0) return underlying;
    const bool timed = keyTimes_.size() == count;
    auto timeOf = [&](std::size_t i) { return timed ? keyTimes_[i] : count == 1 ? 0.0 : double(i) / double(count - 1); };
    if (progress <= timeOf(0)) return values_.front();
    for (std::size_t i = 1; i < count; ++i) {
        const double start = timeOf(i - 1), end = timeOf(i);
        if (progress >= end) continue;
        const double span = end - start;
        return CAInterpolatePropertyValue(values_[i - 1], values_[i], span > 0 ? (progress - start) / span : 1);
    }
    return values_.back();
}

namespace {

double lerp(double a, double b, double t) { return a + (b - a) * t; }

bool isPlaneRotation(const CATransform3D& m) {
    constexpr double eps = 1e-9;
    return std::abs(m.m11 - m.m22) < eps && std::abs(m.m12 + m.m21) < eps && m.m13 == 0 && m.m14 == 0 &&
           m.m23 == 0 && m.m24 == 0 && m.m31 == 0 && m.m32 == 0 && m.m33 == 1 && m.m34 == 0 && m.m43 == 0 &&
           m.m44 == 1;
}

CATransform3D interpolateTransform(const CATransform3D& a, const CATransform3D& b, double t) {
    if (isPlaneRotation(a) && isPlaneRotation(b)) {
        const double angleA = std::atan2(a.m12, a.m11), angleB = std::atan2(b.m12, b.m11);
        // The shorter way round, as a turn between two orientations goes.
        const double turn = std::remainder(angleB - angleA, 2 * std::numbers::pi);
        const double angle = angleA + turn * t;
        const double scale = lerp(std::hypot(a.m11, a.m12), std::hypot(b.m11, b.m12), t);
        CATransform3D m;
        m.m11 = scale * std::cos(angle);
        m.m12 = scale * std::sin(angle);
        m.m21 = -m.m12;
        m.m22 = m.m11;
        m.m41 = lerp(a.m41, b.m41, t);
        m.m42 = lerp(a.m42, b.m42, t);
        return m;
    }
    const double* pa = &a.m11;
    const double* pb = &b.m11;
    CATransform3D m;
    double* pm = &m.m11;
    for (int i = 0; i < 16; ++i) pm[i] = lerp(pa[i], pb[i], t);
    return m;
}

bool valuesEqual(const CAPropertyValue& a, const CAPropertyValue& b) {
    if (a.index() != b.index()) return false;
    if (auto pa = std::get_if<CGPathRef>(&a)) return CGPathEqualToPath(*pa, std::get<CGPathRef>(b));
    return a == b;
}

}  // namespace

CAPropertyValue CAInterpolatePropertyValue(const CAPropertyValue& from, const CAPropertyValue& to, double t) {
    if (t >= 1) return to;
    if (t <= 0 || from.index() != to.index()) return from;
    if (auto a = std::get_if<double>(&from)) return lerp(*a, std::get<double>(to), t);
    if (auto a = std::get_if<CGPoint>(&from)) {
        const CGPoint b = std::get<CGPoint>(to);
        return CGPoint{lerp(a->x, b.x, t), lerp(a->y, b.y, t)};
    }
    if (auto a = std::get_if<CGRect>(&from)) {
        const CGRect b = std::get<CGRect>(to);
        return CGRect{{lerp(a->origin.x, b.origin.x, t), lerp(a->origin.y, b.origin.y, t)},
                      {lerp(a->size.width, b.size.width, t), lerp(a->size.height, b.size.height, t)}};
    }
    if (auto a = std::get_if<UIColor>(&from)) {
        const UIColor b = std::get<UIColor>(to);
        return UIColor::colorWithRedGreenBlueAlpha(lerp(a->red(), b.red(), t), lerp(a->green(), b.green(), t),
                                                   lerp(a->blue(), b.blue(), t), lerp(a->alpha(), b.alpha(), t));
    }
    if (auto a = std::get_if<CATransform3D>(&from)) return interpolateTransform(*a, std::get<CATransform3D>(to), t);
    if (auto a = std::get_if<CGPathRef>(&from)) {
        const CGPathRef& b = std::get<CGPathRef>(to);
        if (!*a || !b || (*a)->elements.size() != b->elements.size()) return from;
        auto path = std::make_shared<CGPath>(**a);
        for (std::size_t i = 0; i < path->elements.size(); ++i) {
            CGPathElement& e = path->elements[i];
            const CGPathElement& target = b->elements[i];
            if (e.type != target.type) return from;
            e.point = {lerp(e.point.x, target.point.x, t), lerp(e.point.y, target.point.y, t)};
        }
        return CGPathRef(path);
    }
    return from;
}

// --- Transactions ------------------------------------------------------------------

namespace {

struct TransactionSettings {
    bool disableActions = false;
    double animationDuration = 0.25;
};

struct Transactions {
    std::vector<TransactionSettings> stack;
    // Settings made outside any begin/commit, for the rest of this run-loop turn.
    std::optional<TransactionSettings> turn;
    std::weak_ptr<char> turnToken;
};

Transactions& transactions() {
    static NeverDestroyed<Transactions> state{ResetStage::Interface, [](Transactions& t) {
        t.stack.clear();
        t.turn.reset();
        t.turnToken.reset();
    }};
    return *state;
}

TransactionSettings currentSettings() {
    auto& state = transactions();
    if (!state.stack.empty()) return state.stack.back();
    if (state.turn && !state.turnToken.expired()) return *state.turn;
    return {};
}

TransactionSettings& writableSettings() {
    auto& state = transactions();
    if (!state.stack.empty()) return state.stack.back();
    if (!state.turn || state.turnToken.expired()) {
        state.turn = TransactionSettings{};
        auto token = std::make_shared<char>();
        state.turnToken = token;
        RunLoop::main().post([token] { transactions().turn.reset(); });
    }
    return *state.turn;
}

}  // namespace

void CATransaction::begin() { transactions().stack.push_back(currentSettings()); }

void CATransaction::commit() {
    auto& stack = transactions().stack;
    if (!stack.empty()) stack.pop_back();
}

bool CATransaction::disableActions() { return currentSettings().disableActions; }
void CATransaction::setDisableActions(bool disable) { writableSettings().disableActions = disable; }
double CATransaction::animationDuration() { return currentSettings().animationDuration; }
void CATransaction::setAnimationDuration(double seconds) { writableSettings().animationDuration = seconds; }

// --- Pending layout pass -----------------------------------------------------------

namespace {

struct PendingLayouts {
    std::vector<std::weak_ptr<CALayer>> layers;
    std::weak_ptr<char> token;
};

PendingLayouts& pendingLayouts() {
    // No reset: a layer stays marked until the pass takes it off this list,
    // and a pass the run loop dropped is noticed through `token`.
    static NeverDestroyed<PendingLayouts> pending;
    return *pending;
}

}  // namespace

void CALayer::registerForPass() {
    auto& pending = pendingLayouts();
    if (!registeredForPass_) {
        auto self = weak_from_this();
        if (self.expired()) return;
        registeredForPass_ = true;
        pending.layers.push_back(std::move(self));
    }
    if (!pending.token.expired()) return;
    auto token = std::make_shared<char>();
    pending.token = token;
    RunLoop::main().post([token] { CALayer::flushPendingLayouts(); });
}

void CALayer::flushPendingLayouts() {
    auto& pending = pendingLayouts();
    pending.token.reset();
    std::vector<std::shared_ptr<CALayer>> layers;
    for (const auto& weak : std::exchange(pending.layers, {}))
        if (auto layer = weak.lock()) {
            layer->registeredForPass_ = false;
            layers.push_back(std::move(layer));
        }
    for (const auto& layer : layers) {
        CALayer* top = layer.get();
        while (top->superlayer_) top = top->superlayer_;
        top->layoutIfNeeded();
    }
    for (const auto& layer : layers) layer->commitTree();
}

void CALayer::commitTree() {
    committed_ = true;
    for (const auto& sublayer : sublayers_) sublayer->commitTree();
}

void CALayer::setNeedsLayout() {
    needsLayout_ = true;
    if (!ownedByView_) registerForPass();
}

void CALayer::layoutIfNeeded() {
    assertMainThread("CALayer::layoutIfNeeded");
    const auto keepAlive = weak_from_this().lock();
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSublayers();
    }
    const auto children = sublayers_;
    for (const auto& child : children) child->layoutIfNeeded();
}

// --- Geometry and look -------------------------------------------------------------

CALayer::~CALayer() {
    for (const auto& sublayer : sublayers_) sublayer->superlayer_ = nullptr;
}

void CALayer::setBounds(CGRect bounds) {
    if (bounds == bounds_) return;
    willChangeValueForKeyPath("bounds", bounds);
    const bool resized = !(bounds.size == bounds_.size);
    bounds_ = bounds;
    if (resized) setNeedsLayout();
}

void CALayer::setPosition(CGPoint position) {
    if (position == position_) return;
    willChangeValueForKeyPath("position", position);
    position_ = position;
}

CGRect CALayer::frame() const {
    return {{position_.x - anchorPoint_.x * bounds_.size.width, position_.y - anchorPoint_.y * bounds_.size.height},
            bounds_.size};
}

void CALayer::setFrame(CGRect frame) {
    setPosition({frame.origin.x + anchorPoint_.x * frame.size.width,
                 frame.origin.y + anchorPoint_.y * frame.size.height});
    setBounds({bounds_.origin, frame.size});
}

void CALayer::setTransform(const CATransform3D& transform) {
    if (transform == transform_) return;
    willChangeValueForKeyPath("transform", transform);
    transform_ = transform;
}

void CALayer::setHidden(bool hidden) {
    if (hidden == hidden_) return;
    willChangeValueForKeyPath("hidden", hidden ? 0.0 : 1.0);
    hidden_ = hidden;
}

void CALayer::setOpacity(double opacity) {
    opacity = std::isnan(opacity) ? 0 : std::clamp(opacity, 0.0, 1.0);
    if (opacity == opacity_) return;
    willChangeValueForKeyPath("opacity", opacity);
    opacity_ = opacity;
}

void CALayer::setBackgroundColor(std::optional<UIColor> color) {
    if (color == backgroundColor_) return;
    willChangeValueForKeyPath("backgroundColor", color.value_or(UIColor::clearColor()));
    backgroundColor_ = std::move(color);
}

void CALayer::setShadowPath(const CGPathRef& path) {
    if (CGPathEqualToPath(path, shadowPath_)) return;
    CGPathRef copy = path ? std::make_shared<const CGPath>(*path) : nullptr;
    willChangeValueForKeyPath("shadowPath", copy);
    shadowPath_ = std::move(copy);
}

// --- Tree --------------------------------------------------------------------------

void CALayer::addSublayer(const std::shared_ptr<CALayer>& layer) { insertSublayerAtIndex(layer, sublayers_.size()); }

void CALayer::insertSublayerAtIndex(const std::shared_ptr<CALayer>& layer, std::size_t index) {
    if (!layer) return;
    // A layer inside its own subtree would own itself and draw without end.
    for (const CALayer* ancestor = this; ancestor; ancestor = ancestor->superlayer_)
        if (ancestor == layer.get()) return;
    const std::shared_ptr<CALayer> child = layer;
    if (child->superlayer_ == this) {
        auto it = std::find(sublayers_.begin(), sublayers_.end(), child);
        const auto at = std::size_t(it - sublayers_.begin());
        if (at < index) --index;
    }
    child->removeFromSuperlayer();
    sublayers_.insert(sublayers_.begin() + std::min(index, sublayers_.size()), child);
    child->superlayer_ = this;
    // New in this tree: nothing of it is on screen to animate from until the pass.
    child->committed_ = false;
    child->registerForPass();
}

void CALayer::insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const CALayer* sibling) {
    auto it = std::find_if(sublayers_.begin(), sublayers_.end(), [&](const auto& l) { return l.get() == sibling; });
    insertSublayerAtIndex(layer, std::size_t(it - sublayers_.begin()));
}

void CALayer::insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const CALayer* sibling) {
    auto it = std::find_if(sublayers_.begin(), sublayers_.end(), [&](const auto& l) { return l.get() == sibling; });
    insertSublayerAtIndex(layer, it == sublayers_.end() ? sublayers_.size() : std::size_t(it - sublayers_.begin()) + 1);
}

void CALayer::removeFromSuperlayer() {
    CALayer* parent = superlayer_;
    if (!parent) return;
    superlayer_ = nullptr;
    const auto keepAlive = weak_from_this().lock();
    auto& siblings = parent->sublayers_;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [this](const auto& l) { return l.get() == this; }),
                   siblings.end());
}

// --- Animations on the layer -------------------------------------------------------

void CALayer::dropFinishedAnimations() {
    const double now = clock().now();
    std::erase_if(animations_, [now](const auto& entry) { return entry.second->isFinishedAt(now); });
}

void CALayer::addAnimationForKey(std::shared_ptr<CAAnimation> animation, const std::string& key) {
    if (!animation) return;
    dropFinishedAnimations();
    animation->setBeginTime(clock().now());
    removeAnimationForKey(key);
    animations_.emplace_back(key, std::move(animation));
}

std::shared_ptr<CAAnimation> CALayer::animationForKey(const std::string& key) const {
    for (const auto& [k, animation] : animations_)
        if (k == key) return animation;
    return nullptr;
}

std::vector<std::string> CALayer::animationKeys() const {
    std::vector<std::string> keys;
    for (const auto& [key, animation] : animations_) keys.push_back(key);
    return keys;
}

void CALayer::removeAnimationForKey(const std::string& key) {
    std::erase_if(animations_, [&](const auto& entry) { return entry.first == key; });
}

CAPropertyValue CALayer::valueForKeyPath(const std::string& keyPath) const {
    if (keyPath == "opacity") return opacity_;
    if (keyPath == "hidden") return hidden_ ? 0.0 : 1.0;
    if (keyPath == "position") return position_;
    if (keyPath == "bounds") return bounds_;
    if (keyPath == "frame") return frame();
    if (keyPath == "transform") return transform_;
    if (keyPath == "backgroundColor") return backgroundColor_.value_or(UIColor::clearColor());
    if (keyPath == "shadowPath") return shadowPath_;
    return {};
}

namespace {
thread_local int settledPresentations = 0;
}  // namespace

CALayer::SettledPresentation::SettledPresentation() { ++settledPresentations; }
CALayer::SettledPresentation::~SettledPresentation() { --settledPresentations; }

CAPropertyValue CALayer::presentationValueForKeyPath(const std::string& keyPath) const {
    CAPropertyValue value = valueForKeyPath(keyPath);
    if (animations_.empty() || settledPresentations > 0) return value;
    const double now = clock().now();
    auto apply = [&](const std::string& path, CAPropertyValue& current) {
        for (const auto& [key, animation] : animations_) {
            if (animation->keyPath() != path || animation->isFinishedAt(now)) continue;
            current = animation->valueAtProgress(animation->progressAt(now), current);
        }
    };
    apply(keyPath, value);
    // A running "frame" animation moves both the position and the bounds' size.
    if (keyPath == "position" || keyPath == "bounds") {
        CAPropertyValue frameValue = frame();
        apply("frame", frameValue);
        const CGRect f = std::get<CGRect>(frameValue);
        if (!(f == frame())) {
            if (keyPath == "position")
                value = CGPoint{f.origin.x + anchorPoint_.x * f.size.width, f.origin.y + anchorPoint_.y * f.size.height};
            else
                value = CGRect{bounds_.origin, f.size};
        }
    }
    return value;
}

void CALayer::willChangeValueForKeyPath(const std::string& keyPath, const CAPropertyValue& newValue) {
    if (ownedByView_) return;
    if (!committed_) {
        registerForPass();
        return;
    }
    if (CATransaction::disableActions()) return;
    const double duration = CATransaction::animationDuration();
    if (!(duration > 0)) return;
    const CAPropertyValue from = presentationValueForKeyPath(keyPath);
    if (valuesEqual(from, newValue)) return;
    auto animation = CABasicAnimation::animationWithKeyPath(keyPath);
    animation->setFromValue(from);
    animation->setToValue(newValue);
    animation->setDuration(duration);
    addAnimationForKey(animation, keyPath);
}

// --- Drawing -----------------------------------------------------------------------

namespace {

void addRoundedRect(cairo_t* cr, CGRect r, double radius) {
    radius = std::min({radius, r.size.width / 2, r.size.height / 2});
    if (!(radius > 0)) {
        cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
        return;
    }
    const double x0 = r.origin.x, y0 = r.origin.y, x1 = x0 + r.size.width, y1 = y0 + r.size.height;
    const double half = std::numbers::pi / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - radius, y0 + radius, radius, -half, 0);
    cairo_arc(cr, x1 - radius, y1 - radius, radius, 0, half);
    cairo_arc(cr, x0 + radius, y1 - radius, radius, half, 2 * half);
    cairo_arc(cr, x0 + radius, y0 + radius, radius, 2 * half, 3 * half);
    cairo_close_path(cr);
}

void addPath(cairo_t* cr, const CGPath& path) {
    for (const auto& e : path.elements) {
        switch (e.type) {
        case kCGPathElementMoveToPoint: cairo_move_to(cr, e.point.x, e.point.y); break;
        case kCGPathElementAddLineToPoint: cairo_line_to(cr, e.point.x, e.point.y); break;
        case kCGPathElementCloseSubpath: cairo_close_path(cr); break;
        }
    }
}

void setColor(cairo_t* cr, const UIColor& color, double alpha = 1) {
    cairo_set_source_rgba(cr, color.red(), color.green(), color.blue(), color.alpha() * alpha);
}

bool usable(CGRect r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}

template <typename T>
T presented(const CALayer& layer, const char* keyPath, T fallback) {
    const CAPropertyValue value = layer.presentationValueForKeyPath(keyPath);
    const T* typed = std::get_if<T>(&value);
    return typed ? *typed : fallback;
}

}  // namespace

void CALayer::renderInContext(CGContextRef context) {
    if (!context) return;
    const auto keepAlive = weak_from_this().lock();
    layoutIfNeeded();
    dropFinishedAnimations();
    const double shown = presented(*this, "hidden", hidden_ ? 0.0 : 1.0);
    const double alpha = std::clamp(presented(*this, "opacity", opacity_) * shown, 0.0, 1.0);
    if (!(alpha > 0.002)) return;
    const CGRect b = presented(*this, "bounds", bounds_);
    if (!usable(b)) return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    cairo_translate(cr, -b.origin.x, -b.origin.y);
    const bool faded = alpha < 1;
    if (faded) cairo_push_group(cr);

    if (shadowOpacity_ > 0) {
        const CGPathRef shadow = presented(*this, "shadowPath", shadowPath_);
        cairo_save(cr);
        cairo_translate(cr, shadowOffset_.width, shadowOffset_.height);
        cairo_new_path(cr);
        if (shadow) addPath(cr, *shadow);
        else addRoundedRect(cr, b, cornerRadius_);
        // A blur stand-in: the shape, then rings fading out over the radius.
        constexpr int rings = 4;
        const double opacity = std::min(shadowOpacity_, 1.0);
        setColor(cr, shadowColor_, opacity * (shadowRadius_ > 0 ? 0.6 : 1));
        cairo_fill_preserve(cr);
        for (int i = rings; i >= 1 && shadowRadius_ > 0; --i) {
            cairo_set_line_width(cr, 2 * shadowRadius_ * i / rings);
            setColor(cr, shadowColor_, opacity * 0.6 / (rings + 1));
            cairo_stroke_preserve(cr);
        }
        cairo_new_path(cr);
        cairo_restore(cr);
    }

    const UIColor background = presented(*this, "backgroundColor", backgroundColor_.value_or(UIColor::clearColor()));
    if (background.alpha() > 0) {
        cairo_new_path(cr);
        addRoundedRect(cr, b, cornerRadius_);
        setColor(cr, background);
        cairo_fill(cr);
    }
    if (borderWidth_ > 0 && borderColor_.alpha() > 0) {
        cairo_new_path(cr);
        const double inset = borderWidth_ / 2;
        addRoundedRect(cr,
                       {{b.origin.x + inset, b.origin.y + inset}, {b.size.width - borderWidth_, b.size.height - borderWidth_}},
                       std::max(0.0, cornerRadius_ - inset));
        cairo_set_line_width(cr, borderWidth_);
        setColor(cr, borderColor_);
        cairo_stroke(cr);
    }
    if (masksToBounds_) {
        cairo_new_path(cr);
        addRoundedRect(cr, b, cornerRadius_);
        cairo_clip(cr);
    }
    if (contents_ && b.size.width > 0 && b.size.height > 0) {
        const auto upright = contents_->uprightImage();
        cairo_surface_t* surface = upright ? upright->surface() : nullptr;
        const int pw = surface ? cairo_image_surface_get_width(surface) : 0;
        const int ph = surface ? cairo_image_surface_get_height(surface) : 0;
        if (pw > 0 && ph > 0) {
            const double scale = std::max(b.size.width / pw, b.size.height / ph);
            cairo_save(cr);
            cairo_new_path(cr);
            cairo_rectangle(cr, b.origin.x, b.origin.y, b.size.width, b.size.height);
            cairo_clip(cr);
            cairo_translate(cr, b.origin.x + (b.size.width - pw * scale) / 2, b.origin.y + (b.size.height - ph * scale) / 2);
            cairo_scale(cr, scale, scale);
            cairo_set_source_surface(cr, surface, 0, 0);
            cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
            cairo_paint(cr);
            cairo_restore(cr);
        }
    }
    cairo_save(cr);
    UIGraphicsPushContext(context);
    renderContent(context);
    UIGraphicsPopContext();
    cairo_restore(cr);
    renderSublayersInContext(context);

    if (faded) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, alpha);
    }
    cairo_restore(cr);
}

void CALayer::renderSublayersInContext(CGContextRef context) {
    if (!context) return;
    cairo_t* cr = context->cairo();
    const auto children = sublayers_;
    for (const auto& child : children) {
        const CGPoint position = presented(*child, "position", child->position_);
        const CGRect bounds = presented(*child, "bounds", child->bounds_);
        const CGAffineTransform t =
            CATransform3DGetAffineTransform(presented(*child, "transform", child->transform_));
        const double determinant = t.a * t.d - t.b * t.c;
        // cairo refuses a singular matrix for good; such a layer has no area anyway.
        if (!(std::abs(determinant) > 1e-12) || !std::isfinite(determinant) || !std::isfinite(position.x) ||
            !std::isfinite(position.y) || !std::isfinite(t.tx) || !std::isfinite(t.ty))
            continue;
        cairo_save(cr);
        cairo_translate(cr, position.x, position.y);
        const cairo_matrix_t matrix{t.a, t.b, t.c, t.d, t.tx, t.ty};
        cairo_transform(cr, &matrix);
        cairo_translate(cr, -child->anchorPoint_.x * bounds.size.width, -child->anchorPoint_.y * bounds.size.height);
        child->renderInContext(context);
        cairo_restore(cr);
    }
}

// --- Shape layer -------------------------------------------------------------------

void CAShapeLayer::setPath(const CGPathRef& path) {
    if (CGPathEqualToPath(path, path_)) return;
    CGPathRef copy = path ? std::make_shared<const CGPath>(*path) : nullptr;
    willChangeValueForKeyPath("path", copy);
    path_ = std::move(copy);
}

void CAShapeLayer::setFillColor(std::optional<UIColor> color) {
    if (color == fillColor_) return;
    willChangeValueForKeyPath("fillColor", color.value_or(UIColor::clearColor()));
    fillColor_ = std::move(color);
}

void CAShapeLayer::setStrokeColor(std::optional<UIColor> color) {
    if (color == strokeColor_) return;
    willChangeValueForKeyPath("strokeColor", color.value_or(UIColor::clearColor()));
    strokeColor_ = std::move(color);
}

void CAShapeLayer::setLineWidth(double width) {
    if (std::isnan(width) || width < 0) width = 0;
    if (width == lineWidth_) return;
    willChangeValueForKeyPath("lineWidth", width);
    lineWidth_ = width;
}

CAPropertyValue CAShapeLayer::valueForKeyPath(const std::string& keyPath) const {
    if (keyPath == "path") return path_;
    if (keyPath == "fillColor") return fillColor_.value_or(UIColor::clearColor());
    if (keyPath == "strokeColor") return strokeColor_.value_or(UIColor::clearColor());
    if (keyPath == "lineWidth") return lineWidth_;
    return CALayer::valueForKeyPath(keyPath);
}

void CAShapeLayer::renderContent(CGContextRef context) {
    const CGPathRef path = presented(*this, "path", path_);
    if (CGPathIsEmpty(path)) return;
    cairo_t* cr = context->cairo();
    cairo_new_path(cr);
    addPath(cr, *path);
    cairo_set_fill_rule(cr, fillRule_ == kCAFillRuleEvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    const UIColor fill = presented(*this, "fillColor", UIColor::clearColor());
    if (fill.alpha() > 0) {
        setColor(cr, fill);
        cairo_fill_preserve(cr);
    }
    const UIColor stroke = presented(*this, "strokeColor", UIColor::clearColor());
    const double width = presented(*this, "lineWidth", lineWidth_);
    if (stroke.alpha() > 0 && width > 0) {
        cairo_set_line_width(cr, width);
        cairo_set_line_cap(cr, lineCap_ == kCALineCapRound    ? CAIRO_LINE_CAP_ROUND
                               : lineCap_ == kCALineCapSquare ? CAIRO_LINE_CAP_SQUARE
                                                              : CAIRO_LINE_CAP_BUTT);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        setColor(cr, stroke);
        cairo_stroke_preserve(cr);
    }
    cairo_new_path(cr);
}

// --- Gradient layer ----------------------------------------------------------------

void CAGradientLayer::renderContent(CGContextRef context) {
    if (colors_.empty()) return;
    cairo_t* cr = context->cairo();
    const CGRect b = presented(*this, "bounds", bounds());
    cairo_new_path(cr);
    cairo_rectangle(cr, b.origin.x, b.origin.y, b.size.width, b.size.height);
    if (colors_.size() == 1 || startPoint_ == endPoint_) {
        setColor(cr, colors_.front());
        cairo_fill(cr);
        return;
    }
    cairo_pattern_t* pattern = cairo_pattern_create_linear(
        b.origin.x + startPoint_.x * b.size.width, b.origin.y + startPoint_.y * b.size.height,
        b.origin.x + endPoint_.x * b.size.width, b.origin.y + endPoint_.y * b.size.height);
    const bool located = locations_.size() == colors_.size();
    for (std::size_t i = 0; i < colors_.size(); ++i) {
        const double offset = located ? locations_[i] : double(i) / double(colors_.size() - 1);
        const UIColor& c = colors_[i];
        cairo_pattern_add_color_stop_rgba(pattern, std::clamp(offset, 0.0, 1.0), c.red(), c.green(), c.blue(), c.alpha());
    }
    cairo_set_source(cr, pattern);
    cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

}  // namespace platform
