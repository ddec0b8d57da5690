#pragma once
// Views: a rectangle in its parent (frame), its own coordinate space
// (bounds), a tree of subviews, autoresizing, layout, drawing and touches.
//
// Views are shared objects: a parent holds its subviews, a subview knows its
// parent weakly. Main thread only.
//
// Layout: setNeedsLayout() marks a view; layoutIfNeeded() runs layoutSubviews()
// on the marked views of a subtree, parents first. A frame whose size changes
// marks the view too.
//
// Drawing: drawRect() runs in a display pass with a current graphics context
// (Context.h) in bounds coordinates; what it draws is recorded and kept as the
// view's content until setNeedsDisplay() asks for a new one. Marking a view
// (setNeedsDisplay, setNeedsLayout) posts one pass on the main run loop, which
// lays out the marked views' trees and then redraws them, as the phone does
// at the end of a run-loop turn. Rendering a tree (Render.h) draws any view
// still unmarked-but-never-drawn on the spot. Unlike the phone, views outside
// a window are drawn as well: tests and the headless simulator often hold
// trees that no window shows.
//
// Layers: a view's layer (layer()) is its own and never animates
// implicitly; it follows the view's bounds. Layers added to it draw after the
// view's background and content and beneath its subviews.
//
// Transform: drawn about the view's centre; frame() stays the untransformed
// frame (callers set the identity before changing the frame), and touches
// ignore the transform.
//
// Touches: hitTest() finds the deepest visible, interactive view under a
// point; the touch methods of a view that does not handle them pass them on
// to the parent, so a plain subview never swallows its parent's touches.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/KeyPathObservers.h"
#include "platform/graphics/AffineTransform.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/GeometryFunctions.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/Touch.h"

namespace platform {

class UIViewController;

enum UIViewAutoresizing : unsigned {
    UIViewAutoresizingNone = 0,
    UIViewAutoresizingFlexibleLeftMargin = 1 << 0,
    UIViewAutoresizingFlexibleWidth = 1 << 1,
    UIViewAutoresizingFlexibleRightMargin = 1 << 2,
    UIViewAutoresizingFlexibleTopMargin = 1 << 3,
    UIViewAutoresizingFlexibleHeight = 1 << 4,
    UIViewAutoresizingFlexibleBottomMargin = 1 << 5,
};

enum UIViewContentMode : long {
    UIViewContentModeScaleToFill = 0,
    UIViewContentModeScaleAspectFit = 1,
};

class UIView : public std::enable_shared_from_this<UIView> {
public:
    explicit UIView(CGRect frame = CGRectZero);
    virtual ~UIView();
    UIView(const UIView&) = delete;
    UIView& operator=(const UIView&) = delete;

    // --- Geometry ---
    CGRect frame() const { return frame_; }
    // Changing the frame lays out the subviews by their autoresizing masks.
    void setFrame(CGRect frame);
    CGRect bounds() const { return {boundsOrigin_, frame_.size}; }
    // Keeps the centre; the origin shifts what the subviews and drawing show.
    void setBounds(CGRect bounds);
    CGPoint center() const;
    void setCenter(CGPoint center);
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    // Whether a change of size moves the subviews by their masks (default yes).
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool autoresizes) { autoresizesSubviews_ = autoresizes; }

    // Key-value observing of "frame" and "bounds": the observer runs after
    // each setFrame or setBounds that changes the value under its key path (a
    // new size changes both). Other key paths are never reported.
    using KeyPathObserver = std::function<void(const std::string& keyPath)>;
    using KeyPathObserverToken = KeyPathObservers<KeyPathObserver>::Token;
    KeyPathObserverToken addObserverForKeyPath(const std::string& keyPath, KeyPathObserver observer);
    void removeObserver(KeyPathObserverToken token);

    // nullptr: the coordinates of the root of this view's tree (the window's).
    CGPoint convertPointToView(CGPoint point, const UIView* view) const;
    CGPoint convertPointFromView(CGPoint point, const UIView* view) const;
    CGRect convertRectToView(CGRect rect, const UIView* view) const;
    CGRect convertRectFromView(CGRect rect, const UIView* view) const;

    // --- Appearance ---
    bool isHidden() const { return hidden_; }
    virtual void setHidden(bool hidden) { hidden_ = hidden; }
    double alpha() const { return alpha_; }
    void setAlpha(double alpha);
    // Nothing: no background is drawn.
    const std::optional<UIColor>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<UIColor> color) { backgroundColor_ = std::move(color); }
    CALayer& layer() { return *layer_; }
    const CALayer& layer() const { return *layer_; }
    const CGAffineTransform& transform() const { return transform_; }
    void setTransform(const CGAffineTransform& transform) { transform_ = transform; }
    long tag() const { return tag_; }
    void setTag(long tag) { tag_ = tag; }
    // This view or the first of its subtree (depth first) with the tag.
    std::shared_ptr<UIView> viewWithTag(long tag);

    // --- Tree ---
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    std::shared_ptr<UIView> superview() const { return superview_.lock(); }
    void addSubview(const std::shared_ptr<UIView>& view);
    void insertSubviewAtIndex(const std::shared_ptr<UIView>& view, std::size_t index);
    void sendSubviewToBack(const std::shared_ptr<UIView>& view);
    void bringSubviewToFront(const std::shared_ptr<UIView>& view);
    void removeFromSuperview();
    bool isDescendantOfView(const UIView* view) const;
    // The window whose tree holds this view (a window is in itself), or
    // nullptr while the view's tree has no window at its root.
    std::shared_ptr<UIView> window() const;

    // The controller whose view this is, while it lives (set by
    // UIViewController when it loads or takes the view): the step from a
    // view to its controller in the responder walk (UIResponder).
    std::shared_ptr<UIViewController> viewController() const { return viewController_.lock(); }
    void setViewController(std::weak_ptr<UIViewController> controller) { viewController_ = std::move(controller); }

    // The class name, for "is kind of class" questions across the tree.
    virtual bool isKindOfClass(const std::string& className) const { return className == "UIView"; }

    // --- Layout ---
    void setNeedsLayout();
    bool needsLayout() const { return needsLayout_; }
    void layoutIfNeeded();
    virtual void layoutSubviews() {}

    // --- Drawing ---
    void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    // Runs drawRect now when the view is marked or was never drawn.
    void displayIfNeeded();
    // Draws the view's own content; the context's origin is the bounds' origin.
    virtual void drawRect(CGRect rect) {}
    // Draws over the subviews on every rendering, unrecorded, with the current
    // context in bounds coordinates: for what stays on top of whatever the
    // tree shows (the window's status bar).
    virtual void drawOverSubviews(CGRect rect) {}
    // Draws the view (background, content, subviews, drawOverSubviews;
    // clipped, faded) into the context with its bounds' origin at the
    // context's origin.
    void renderInContext(CGContextRef context);
    // Runs the pending layout and display pass now instead of on the next
    // turn of the run loop (the simulator's screenshots, tests).
    static void flushPendingPasses();

    // How content drawn for another size fits the bounds (UIImageView's image).
    UIViewContentMode contentMode() const { return contentMode_; }
    void setContentMode(UIViewContentMode mode);
    // What a screen reader says of the view, and whether it stops on it.
    const std::string& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }
    bool isAccessibilityElement() const { return accessibilityElement_; }
    void setIsAccessibilityElement(bool element) { accessibilityElement_ = element; }

    // --- Touches ---
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
    // `point` in this view's coordinates. Hidden views, nearly transparent
    // ones (alpha < 0.01) and those with user interaction off hit nothing,
    // nor do their subviews.
    virtual std::shared_ptr<UIView> hitTest(CGPoint point, const UIEvent* event = nullptr);
    virtual bool pointInside(CGPoint point, const UIEvent* event = nullptr) const;
    virtual void touchesBegan(const UITouchSet& touches, const UIEvent& event);
    virtual void touchesMoved(const UITouchSet& touches, const UIEvent& event);
    virtual void touchesEnded(const UITouchSet& touches, const UIEvent& event);
    virtual void touchesCancelled(const UITouchSet& touches, const UIEvent& event);

private:
    void applyFrame(CGRect frame);
    // How far a running "position" animation on the layer moves the drawing.
    CGPoint animatedOffset() const;
    void tellObservers(CGRect oldFrame, CGRect oldBounds);
    void resizeSubviews(CGSize old);
    const UIView* root() const;
    CGPoint toScreen(CGPoint point) const;
    CGPoint fromScreen(CGPoint point) const;
    void registerForPass();
    void syncLayer();

    CGRect frame_;
    CGPoint boundsOrigin_;
    unsigned autoresizingMask_ = UIViewAutoresizingNone;
    bool autoresizesSubviews_ = true;
    bool hidden_ = false;
    double alpha_ = 1;
    bool userInteractionEnabled_ = true;
    UIViewContentMode contentMode_ = UIViewContentModeScaleToFill;
    std::string accessibilityLabel_;
    bool accessibilityElement_ = false;
    std::optional<UIColor> backgroundColor_;
    long tag_ = 0;
    std::shared_ptr<CALayer> layer_;
    CGAffineTransform transform_;
    bool needsLayout_ = true;
    bool needsDisplay_ = true;
    bool registeredForPass_ = false;
    cairo_surface_t* content_ = nullptr;  // drawRect's recording; nullptr when it has none
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::weak_ptr<UIView> superview_;
    std::weak_ptr<UIViewController> viewController_;
    KeyPathObservers<KeyPathObserver> keyPathObservers_;
};

}  // namespace platform
