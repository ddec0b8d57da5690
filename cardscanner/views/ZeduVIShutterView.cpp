#include "cardscanner/views/ZeduVIShutterView.h"

#include <cmath>
#include <numbers>

#include "platform/foundation/RunLoop.h"
#include "platform/graphics/GeometryFunctions.h"

namespace cardscanner {

using platform::CGRect;

ShutterLayer::ShutterLayer() { setBackgroundColor(platform::UIColor::darkGrayColor()); }

void ShutterLayer::rotateToAngle(double angle) {
    platform::assertMainThread("ShutterLayer::rotateToAngle");
    setTransform(platform::CATransform3DMakeRotation(angle, 0, 0, 1));
}

ZeduVIShutterView::ZeduVIShutterView(CGRect frame) : UIView(frame) {
    layer().setMasksToBounds(true);
    bottom_ = ShutterLayer::layer();
    bottom_->setAnchorPoint({1, 1});
    right_ = ShutterLayer::layer();
    right_->setAnchorPoint({1, 0});
    top_ = ShutterLayer::layer();
    top_->setAnchorPoint({0, 0});
    left_ = ShutterLayer::layer();
    left_->setAnchorPoint({0, 1});
    for (const auto& blade : {bottom_, right_, top_, left_}) layer().addSublayer(blade);
    updateTransforms();
    adjustShutters();
    setUserInteractionEnabled(false);
}

void ZeduVIShutterView::updateTransforms() {
    platform::assertMainThread("ZeduVIShutterView::updateTransforms");
    const CGRect b = bounds();
    const double w = b.size.width < 1 ? 1 : b.size.width;
    const double h = b.size.height < 1 ? 1 : b.size.height;
    const double d = std::ceil(std::sqrt(w * w + h * h));
    const double t = std::atan(h / w);
    constexpr double quarter = std::numbers::pi / 2;
    struct Blade {
        ShutterLayer& layer;
        platform::CGPoint anchor;
        platform::CGPoint position;
        double closed;
    };
    const Blade blades[] = {
        {*bottom_, {1, 1}, {platform::CGRectGetMaxX(b), platform::CGRectGetMaxY(b)}, t - quarter},
        {*right_, {1, 0}, {platform::CGRectGetMaxX(b), platform::CGRectGetMinY(b)}, -t},
        {*top_, {0, 0}, {platform::CGRectGetMinX(b), platform::CGRectGetMinY(b)}, t - quarter},
        {*left_, {0, 1}, {platform::CGRectGetMinX(b), platform::CGRectGetMaxY(b)}, -t},
    };
    for (const Blade& blade : blades) {
        blade.layer.setBounds({{0, 0}, {d, d}});
        blade.layer.setAnchorPoint(blade.anchor);
        blade.layer.setPosition(blade.position);
        blade.layer.setOpenAngle(-quarter);
        blade.layer.setClosedAngle(blade.closed);
    }
}

void ZeduVIShutterView::adjustShutters() {
    platform::assertMainThread("ZeduVIShutterView::adjustShutters");
    for (const auto& blade : {bottom_, right_, top_, left_})
        blade->rotateToAngle(open_ ? blade->openAngle() : blade->closedAngle());
}

void ZeduVIShutterView::setOpenAnimatedDuration(bool open, bool animated, double duration) {
    platform::assertMainThread("ZeduVIShutterView::setOpenAnimatedDuration");
    if (open == open_) return;
    open_ = open;
    platform::CATransaction::begin();
    platform::CATransaction::setAnimationDuration(duration);
    if (!animated) platform::CATransaction::setDisableActions(true);
    adjustShutters();
    platform::CATransaction::commit();
}

}  // namespace cardscanner
