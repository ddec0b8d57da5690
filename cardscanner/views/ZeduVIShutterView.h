#pragma once
// The camera iris over the preview: four dark blades, each swinging about
// one corner of the view, cover the preview until frames arrive and open
// with an animation. It takes no touches.
//
// Main thread only, like every view.

#include <memory>

#include "platform/graphics/Layer.h"
#include "platform/ui/View.h"

namespace cardscanner {

// One blade: a dark grey square turned about its anchor point.
class ShutterLayer : public platform::CALayer {
public:
    static std::shared_ptr<ShutterLayer> layer() { return std::make_shared<ShutterLayer>(); }
    ShutterLayer();

    double openAngle() const { return openAngle_; }
    void setOpenAngle(double angle) { openAngle_ = angle; }
    double closedAngle() const { return closedAngle_; }
    void setClosedAngle(double angle) { closedAngle_ = angle; }
    // About the z axis, replacing any earlier turn.
    void rotateToAngle(double angle);

private:
    double openAngle_ = 0;
    double closedAngle_ = 0;
};

class ZeduVIShutterView : public platform::UIView {
public:
    explicit ZeduVIShutterView(platform::CGRect frame);

    bool open() const { return open_; }
    const std::shared_ptr<ShutterLayer>& left() const { return left_; }
    const std::shared_ptr<ShutterLayer>& bottom() const { return bottom_; }
    const std::shared_ptr<ShutterLayer>& right() const { return right_; }
    const std::shared_ptr<ShutterLayer>& top() const { return top_; }

    void layoutSubviews() override { updateTransforms(); }
    // Places the blades at the corners and computes their angles; does not turn them.
    void updateTransforms();
    // Turns every blade to its open or closed angle.
    void adjustShutters();
    // Nothing when `open` is the current state; unanimated changes jump.
    void setOpenAnimatedDuration(bool open, bool animated, double duration);
    void setOpen(bool open) { setOpenAnimatedDuration(open, false, 0); }

private:
    bool open_ = false;
    std::shared_ptr<ShutterLayer> left_, bottom_, right_, top_;
};

}  // namespace cardscanner
