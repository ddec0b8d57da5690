#pragma once
// Layers: a tree of rectangles drawn with cairo, each with its own geometry
// (bounds, position, anchor point, transform), look (background, border,
// corner radius and clipping, shadow, opacity, an image as contents) and
// drawing, laid out lazily (setNeedsLayout, then layoutSublayers before the
// next rendering or in the views' pending pass on the next run-loop turn).
//
// Animations: a CABasicAnimation moves one property from a value to another
// over its duration on the run loop's clock (platform::clock()); a layer
// renders its presentation, the model value as every running animation shows
// it at clock().now(). Interpolation is linear in time; a transform that is a
// rotation (with uniform scale) turns by angle, paths move point by point when
// their elements match and otherwise switch at the end. Finished animations
// are dropped lazily (when the layer renders or gains an animation).
// A key-frame animation steps through its values the same way; a view's
// layer has no drawing of its own, so the view draws moved by what a
// "position" animation on it shows (a shake), its frame untouched.
//
// Implicit actions: changing an animatable property (opacity, hidden as an
// opacity fade, backgroundColor, position, bounds, transform, shadowPath,
// and a shape layer's path, fillColor, strokeColor, lineWidth) adds a basic
// animation from the value shown to the new one with the current
// CATransaction's duration, unless that transaction disables actions. Two
// kinds of layer never animate implicitly: a view's own layer, and a layer
// not yet committed, i.e. made or added to a tree during the current
// run-loop turn (it has nothing on screen to move from yet).
//
// Layers are shared objects; a layer holds its sublayers, a sublayer knows
// its parent by a raw pointer the parent clears. Main thread only.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/graphics/AffineTransform.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Path.h"

namespace platform {

class UIImage;
class UIView;

// An animatable property's value; monostate for a key path a layer does not have.
using CAPropertyValue = std::variant<std::monostate, double, CGPoint, CGRect, UIColor, CATransform3D, CGPathRef>;

// The value between two of one kind at `progress` (0...1); values of
// different kinds show `from` until the end.
CAPropertyValue CAInterpolatePropertyValue(const CAPropertyValue& from, const CAPropertyValue& to, double progress);

// An animation of one key path, timed on clock() from its begin time (set
// when it is added to a layer) over its duration.
class CAAnimation {
public:
    virtual ~CAAnimation() = default;
    const std::string& keyPath() const { return keyPath_; }
    double duration() const { return duration_; }
    void setDuration(double seconds) { duration_ = seconds; }
    double beginTime() const { return beginTime_; }
    void setBeginTime(double time) { beginTime_ = time; }

    // 0 before the start, 1 from the end on (at once for no duration).
    double progressAt(double now) const;
    bool isFinishedAt(double now) const { return progressAt(now) >= 1; }
    // What the key path shows at `progress`, over `underlying`, the value
    // it shows without this animation.
    virtual CAPropertyValue valueAtProgress(double progress, const CAPropertyValue& underlying) const = 0;

protected:
    std::string keyPath_;

private:
    double duration_ = 0.25;
    double beginTime_ = 0;
};

// Steps through its values at their key times (fractions of the duration),
// linearly between two; without one key time a value, evenly spread. Before
// the first key time it shows the first value; once finished it is dropped
// and the model value shows again.
class CAKeyframeAnimation : public CAAnimation {
public:
    static std::shared_ptr<CAKeyframeAnimation> animationWithKeyPath(std::string keyPath);

    const std::vector<CAPropertyValue>& values() const { return values_; }
    void setValues(std::vector<CAPropertyValue> values) { values_ = std::move(values); }
    const std::vector<double>& keyTimes() const { return keyTimes_; }
    void setKeyTimes(std::vector<double> times) { keyTimes_ = std::move(times); }

    CAPropertyValue valueAtProgress(double progress, const CAPropertyValue& underlying) const override;

private:
    std::vector<CAPropertyValue> values_;
    std::vector<double> keyTimes_;
};

class CABasicAnimation : public CAAnimation {
public:
    static std::shared_ptr<CABasicAnimation> animationWithKeyPath(std::string keyPath);

    // Either left empty (monostate) stands for the underlying value.
    const CAPropertyValue& fromValue() const { return from_; }
    void setFromValue(CAPropertyValue value) { from_ = std::move(value); }
    const CAPropertyValue& toValue() const { return to_; }
    void setToValue(CAPropertyValue value) { to_ = std::move(value); }

    CAPropertyValue valueAtProgress(double progress, const CAPropertyValue& underlying) const override;

private:
    CAPropertyValue from_;
    CAPropertyValue to_;
};

// Groups layer changes. begin/commit nest; a nested transaction starts with
// its parent's settings. Outside any, changes use the defaults (actions on,
// 0.25 s) unless set for the current run-loop turn. Main thread only.
class CATransaction {
public:
    static void begin();
    static void commit();
    static bool disableActions();
    static void setDisableActions(bool disable);
    static double animationDuration();
    static void setAnimationDuration(double seconds);
};

inline const std::string kCALineCapButt = "butt";
inline const std::string kCALineCapRound = "round";
inline const std::string kCALineCapSquare = "square";
inline const std::string kCAFillRuleNonZero = "non-zero";
inline const std::string kCAFillRuleEvenOdd = "even-odd";

class CALayer : public std::enable_shared_from_this<CALayer> {
public:
    static std::shared_ptr<CALayer> layer() { return std::make_shared<CALayer>(); }
    CALayer() = default;
    virtual ~CALayer();
    CALayer(const CALayer&) = delete;
    CALayer& operator=(const CALayer&) = delete;

    // --- Geometry (in the superlayer's coordinates, except bounds) ---
    CGRect bounds() const { return bounds_; }
    // A new size marks the layer for layout.
    void setBounds(CGRect bounds);
    CGPoint position() const { return position_; }
    void setPosition(CGPoint position);
    // In units of the bounds' size: (0.5, 0.5) is the centre.
    CGPoint anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(CGPoint anchor) { anchorPoint_ = anchor; }
    // position - anchor x size, untransformed.
    CGRect frame() const;
    void setFrame(CGRect frame);
    // About the anchor point.
    const CATransform3D& transform() const { return transform_; }
    void setTransform(const CATransform3D& transform);

    // --- Look ---
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    double opacity() const { return opacity_; }
    void setOpacity(double opacity);
    const std::optional<UIColor>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<UIColor> color);
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius) { cornerRadius_ = radius < 0 ? 0 : radius; }
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks) { masksToBounds_ = masks; }
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double width) { borderWidth_ = width < 0 ? 0 : width; }
    const UIColor& borderColor() const { return borderColor_; }
    void setBorderColor(UIColor color) { borderColor_ = color; }
    // A shadow shows only with an opacity above 0; without a shadow path it
    // follows the bounds. Its blur is approximated by fading rings.
    double shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(double opacity) { shadowOpacity_ = opacity; }
    double shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(double radius) { shadowRadius_ = radius < 0 ? 0 : radius; }
    const UIColor& shadowColor() const { return shadowColor_; }
    void setShadowColor(UIColor color) { shadowColor_ = color; }
    CGSize shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(CGSize offset) { shadowOffset_ = offset; }
    const CGPathRef& shadowPath() const { return shadowPath_; }
    void setShadowPath(const CGPathRef& path);
    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    // Drawn to fill the bounds with its aspect kept, cut at the sides.
    const std::shared_ptr<UIImage>& contents() const { return contents_; }
    void setContents(std::shared_ptr<UIImage> image) { contents_ = std::move(image); }

    // --- Tree ---
    const std::vector<std::shared_ptr<CALayer>>& sublayers() const { return sublayers_; }
    CALayer* superlayer() const { return superlayer_; }
    void addSublayer(const std::shared_ptr<CALayer>& layer);
    void insertSublayerAtIndex(const std::shared_ptr<CALayer>& layer, std::size_t index);
    // Added at the end when `sibling` is not a sublayer.
    void insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const CALayer* sibling);
    void insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const CALayer* sibling);
    void removeFromSuperlayer();

    // --- Layout ---
    void setNeedsLayout();
    bool needsLayout() const { return needsLayout_; }
    // Lays out this layer when marked, then its sublayers.
    void layoutIfNeeded();
    virtual void layoutSublayers() {}
    // Lays out the marked layers and commits the new ones; the views' pending
    // pass runs it too (View.h).
    static void flushPendingLayouts();

    // --- Drawing ---
    // The layer's own drawing, in bounds coordinates, over its contents.
    virtual void drawInContext(CGContextRef context) {}
    // Draws the layer (shadow, background, border, contents, own drawing,
    // sublayers) into the context with its bounds' origin at the context's
    // origin; its own position and transform are the caller's business.
    void renderInContext(CGContextRef context);
    // Draws the sublayers only, each at its place: what a view draws of its layer.
    void renderSublayersInContext(CGContextRef context);

    // --- Animations ---
    // A later animation under the same key replaces the earlier one; a basic
    // animation's begin time becomes clock().now().
    void addAnimationForKey(std::shared_ptr<CAAnimation> animation, const std::string& key);
    std::shared_ptr<CAAnimation> animationForKey(const std::string& key) const;
    std::vector<std::string> animationKeys() const;
    void removeAnimationForKey(const std::string& key);
    void removeAllAnimations() { animations_.clear(); }
    // The value of an animatable key path ("opacity", "position", "bounds",
    // "frame", "transform", "backgroundColor", "shadowPath", a shape layer's
    // "path", "fillColor", "strokeColor", "lineWidth"; "hidden" as 0 or 1).
    virtual CAPropertyValue valueForKeyPath(const std::string& keyPath) const;
    // The same as shown at clock().now() (the model value while the calling
    // thread draws settled, see SettledPresentation).
    CAPropertyValue presentationValueForKeyPath(const std::string& keyPath) const;

    // While one lives, the layers the thread draws show their model values,
    // as their running animations will leave them: a picture of what the app
    // has set up, not of a frame of its transitions.
    class SettledPresentation {
    public:
        SettledPresentation();
        ~SettledPresentation();
        SettledPresentation(const SettledPresentation&) = delete;
        SettledPresentation& operator=(const SettledPresentation&) = delete;
    };

protected:
    // Called by setters before the model changes: adds the implicit action
    // when one applies.
    void willChangeValueForKeyPath(const std::string& keyPath, const CAPropertyValue& newValue);
    // What the layer itself draws between its contents and its sublayers.
    virtual void renderContent(CGContextRef context) { drawInContext(context); }

private:
    friend class UIView;
    void markOwnedByView() { ownedByView_ = true; }
    void registerForPass();
    void commitTree();
    void dropFinishedAnimations();

    CGRect bounds_;
    CGPoint position_;
    CGPoint anchorPoint_{0.5, 0.5};
    CATransform3D transform_;
    bool hidden_ = false;
    double opacity_ = 1;
    std::optional<UIColor> backgroundColor_;
    double cornerRadius_ = 0;
    bool masksToBounds_ = false;
    double borderWidth_ = 0;
    UIColor borderColor_ = UIColor::blackColor();
    double shadowOpacity_ = 0;
    double shadowRadius_ = 3;
    UIColor shadowColor_ = UIColor::blackColor();
    CGSize shadowOffset_{0, -3};
    CGPathRef shadowPath_;
    std::string name_;
    std::shared_ptr<UIImage> contents_;
    std::vector<std::shared_ptr<CALayer>> sublayers_;
    CALayer* superlayer_ = nullptr;
    bool needsLayout_ = true;
    bool registeredForPass_ = false;
    bool committed_ = false;
    bool ownedByView_ = false;
    // In the order added: the last one on a key path shows.
    std::vector<std::pair<std::string, std::shared_ptr<CAAnimation>>> animations_;
};

// A path filled and stroked; fill rule non-zero.
class CAShapeLayer : public CALayer {
public:
    static std::shared_ptr<CAShapeLayer> layer() { return std::make_shared<CAShapeLayer>(); }

    const CGPathRef& path() const { return path_; }
    // Copied: changing the caller's path later changes nothing here.
    void setPath(const CGPathRef& path);
    // Nothing: not filled.
    const std::optional<UIColor>& fillColor() const { return fillColor_; }
    void setFillColor(std::optional<UIColor> color);
    const std::optional<UIColor>& strokeColor() const { return strokeColor_; }
    void setStrokeColor(std::optional<UIColor> color);
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double width);
    const std::string& lineCap() const { return lineCap_; }
    void setLineCap(std::string cap) { lineCap_ = std::move(cap); }
    const std::string& fillRule() const { return fillRule_; }
    void setFillRule(std::string rule) { fillRule_ = std::move(rule); }

    CAPropertyValue valueForKeyPath(const std::string& keyPath) const override;

protected:
    void renderContent(CGContextRef context) override;

private:
    CGPathRef path_;
    std::optional<UIColor> fillColor_ = UIColor::blackColor();
    std::optional<UIColor> strokeColor_;
    double lineWidth_ = 1;
    std::string lineCap_ = kCALineCapButt;
    std::string fillRule_ = kCAFillRuleNonZero;
};

// An axial gradient across the bounds; start and end in unit coordinates of
// the bounds. Without locations the colours spread evenly; start == end
// fills with the first colour.
class CAGradientLayer : public CALayer {
public:
    static std::shared_ptr<CAGradientLayer> layer() { return std::make_shared<CAGradientLayer>(); }

    const std::vector<UIColor>& colors() const { return colors_; }
    void setColors(std::vector<UIColor> colors) { colors_ = std::move(colors); }
    const std::vector<double>& locations() const { return locations_; }
    void setLocations(std::vector<double> locations) { locations_ = std::move(locations); }
    CGPoint startPoint() const { return startPoint_; }
    void setStartPoint(CGPoint point) { startPoint_ = point; }
    CGPoint endPoint() const { return endPoint_; }
    void setEndPoint(CGPoint point) { endPoint_ = point; }

protected:
    void renderContent(CGContextRef context) override;

private:
    std::vector<UIColor> colors_;
    std::vector<double> locations_;
    CGPoint startPoint_{0.5, 0};
    CGPoint endPoint_{0.5, 1};
};

}  // namespace platform
