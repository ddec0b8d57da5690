#include "cardscanner/views/ZeduVIGuideLayer.h"

#include <algorithm>
#include <cmath>

#include "cardscanner/views/ZeduVIImplicitAnimations.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/core/GuideGeometry.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/GeometryFunctions.h"
#include "platform/ui/Application.h"

namespace cardscanner {

using platform::CAShapeLayer;
using platform::CGPoint;
using platform::CGRect;
using platform::CGSize;
using platform::UIColor;

namespace {

bool isEmpty(CGRect r) { return !(r.size.width > 0 && r.size.height > 0); }

// Single precision, as the scores are specified.
float decayed(float score, bool found) { return 0.5f * score + (found ? 0.5f : -0.5f); }

void showLine(CAShapeLayer& line, float score) {
    if (score > 0.7f) line.setHidden(false);
    else if (score < 0.3f) line.setHidden(true);
}

}  // namespace

std::shared_ptr<ZeduVIGuideLayer> ZeduVIGuideLayer::create(const std::shared_ptr<ZeduVIGuideLayerDelegate>& delegate) {
    auto layer = std::make_shared<ZeduVIGuideLayer>(delegate);
    layer->setNeedsLayout();
    return layer;
}

ZeduVIGuideLayer::ZeduVIGuideLayer(std::weak_ptr<ZeduVIGuideLayerDelegate> delegate)
    : guideLayerDelegate_(std::move(delegate)) {
    fauxCardLayer_ = platform::CAGradientLayer::layer();
    fauxCardLayer_->setCornerRadius(0);
    fauxCardLayer_->setMasksToBounds(true);
    fauxCardLayer_->setBorderWidth(0);
    fauxCardLayer_->setColors({UIColor::colorWithWhiteAlpha(1.0, 0.2), UIColor::colorWithWhiteAlpha(0.0, 0.2)});
    fauxCardLayer_->setLocations({0, 1});
    fauxCardLayer_->setStartPoint({0.5, 0});
    fauxCardLayer_->setEndPoint({0.5, 1});
    addSublayer(fauxCardLayer_);

    backgroundOverlay_ = CAShapeLayer::layer();
    backgroundOverlay_->setCornerRadius(0);
    backgroundOverlay_->setMasksToBounds(true);
    backgroundOverlay_->setBorderWidth(0);
    backgroundOverlay_->setFillColor(UIColor::colorWithWhiteAlpha(0.0, 0.7));
    addSublayer(backgroundOverlay_);

    for (auto* line : {&topLayer_, &bottomLayer_, &leftLayer_, &rightLayer_, &topLeftLayer_, &topRightLayer_,
                       &bottomLeftLayer_, &bottomRightLayer_}) {
        *line = CAShapeLayer::layer();
        (*line)->setFrame({{0, 0}, bounds().size});
        (*line)->setLineCap(platform::kCALineCapButt);
        (*line)->setLineWidth(lineWidth());
        (*line)->setFillColor(UIColor::clearColor());
        (*line)->setStrokeColor(UIColor::greenColor());
        addSublayer(*line);
    }
}

void ZeduVIGuideLayer::setGuideColor(std::optional<UIColor> color) {
    platform::assertMainThread("ZeduVIGuideLayer::setGuideColor");
    if (!color) {
        setGuideColor(UIColor::greenColor());
        return;
    }
    guideColor_ = *color;
    run_without_implicit_animations([&] {
        for (const auto& line : {topLayer_, bottomLayer_, leftLayer_, rightLayer_, topLeftLayer_, topRightLayer_,
                                 bottomLeftLayer_, bottomRightLayer_})
            line->setStrokeColor(guideColor_);
    });
}

// --- Geometry ------------------------------------------------------------------------

CGRect ZeduVIGuideLayer::guideFrameForDeviceOrientation(long orientation, CGSize size) {
    const int o = orientation >= 1 && orientation <= 4 ? int(orientation) : 1;
    const long statusBar = long(platform::UIApplication::sharedApplication().statusBarOrientation());
    if (statusBar == 1 || statusBar == 2) {
        const GuideRect r = guide_frame_for_orientation(o, float(size.width), float(size.height));
        return {{r.x, r.y}, {r.width, r.height}};
    }
    const GuideRect r = guide_frame_for_orientation(o, float(size.height), float(size.width));
    return {{r.y, r.x}, {r.height, r.width}};
}

CGRect ZeduVIGuideLayer::guideFrame() const { return guideFrameForDeviceOrientation(deviceOrientation_, bounds().size); }

double ZeduVIGuideLayer::sizeForBounds(double size) const {
    const double width = bounds().size.width;
    if (width == 0 || width >= 300) return size;
    return std::ceil(width * size / 300);
}

// --- Paths ---------------------------------------------------------------------------

platform::CGMutablePathRef ZeduVIGuideLayer::newPathFromPoint(CGPoint from, CGPoint to) {
    auto path = platform::CGPathCreateMutable();
    platform::CGPathMoveToPoint(path, from.x, from.y);
    platform::CGPathAddLineToPoint(path, to.x, to.y);
    return path;
}

platform::CGMutablePathRef ZeduVIGuideLayer::newCornerPathFromPoint(CGPoint point, double size, int positionType) {
    const double a = std::abs(size);
    double x = point.x, y = point.y;
    switch (positionType) {
    case 0: x -= a, y += a; break;
    case 1: x -= a, y -= a; break;
    case 2: x += a, y += a; break;
    case 3: x += a, y -= a; break;
    default: break;
    }
    auto path = platform::CGPathCreateMutable();
    platform::CGPathMoveToPoint(path, x, point.y);
    platform::CGPathAddLineToPoint(path, point.x, point.y);
    platform::CGPathAddLineToPoint(path, point.x, y);
    return path;
}

platform::CGMutablePathRef ZeduVIGuideLayer::newMaskPathForGuideFrame(CGRect g, CGRect o) const {
    auto path = platform::CGPathCreateMutable();
    platform::CGPathMoveToPoint(path, o.origin.x, o.origin.y);
    platform::CGPathAddLineToPoint(path, o.origin.x + o.size.width, o.origin.y);
    platform::CGPathAddLineToPoint(path, o.origin.x + o.size.width, o.origin.y + o.size.height);
    platform::CGPathAddLineToPoint(path, o.origin.x, o.origin.y + o.size.height);
    // The opposite way round, so the non-zero rule leaves the guide a hole.
    platform::CGPathMoveToPoint(path, g.origin.x, g.origin.y);
    platform::CGPathAddLineToPoint(path, g.origin.x, g.origin.y + g.size.height);
    platform::CGPathAddLineToPoint(path, g.origin.x + g.size.width, g.origin.y + g.size.height);
    platform::CGPathAddLineToPoint(path, g.origin.x + g.size.width, g.origin.y);
    return path;
}

void ZeduVIGuideLayer::animateLayer(CAShapeLayer& layer, const platform::CGPathRef& path) {
    platform::assertMainThread("ZeduVIGuideLayer::animateLayer");
    if (layer.path()) {
        auto animation = platform::CABasicAnimation::animationWithKeyPath("path");
        animation->setFromValue(layer.path());
        animation->setToValue(path);
        animation->setDuration(animationDuration_);
        layer.addAnimationForKey(animation, "animatePath");
        layer.setPath(path);
    } else {
        run_without_implicit_animations([&] { layer.setPath(path); });
    }
}

void ZeduVIGuideLayer::animateEdgeLayer(CAShapeLayer& layer, CGPoint from, CGPoint to, CGPoint d) {
    platform::assertMainThread("ZeduVIGuideLayer::animateEdgeLayer");
    layer.setLineWidth(lineWidth());
    animateLayer(layer, newPathFromPoint({from.x + d.x, from.y + d.y}, {to.x - d.x, to.y - d.y}));
}

void ZeduVIGuideLayer::animateCornerLayer(CAShapeLayer& layer, CGPoint point, int positionType) {
    platform::assertMainThread("ZeduVIGuideLayer::animateCornerLayer");
    layer.setLineWidth(lineWidth());
    animateLayer(layer, newCornerPathFromPoint(point, cornerSize(), positionType));
}

void ZeduVIGuideLayer::animateCardMask(CGRect guideFrame) {
    platform::assertMainThread("ZeduVIGuideLayer::animateCardMask");
    run_without_implicit_animations([&] { backgroundOverlay_->setFrame(bounds()); });
    animateLayer(*backgroundOverlay_, newMaskPathForGuideFrame(guideFrame, bounds()));
}

void ZeduVIGuideLayer::setLayerPaths() {
    platform::assertMainThread("ZeduVIGuideLayer::setLayerPaths");
    const CGRect g = guideFrame();
    if (isEmpty(g)) return;
    const double minX = platform::CGRectGetMinX(g), minY = platform::CGRectGetMinY(g);
    const double maxX = platform::CGRectGetMaxX(g), maxY = platform::CGRectGetMaxY(g);
    animateEdgeLayer(*topLayer_, {maxX, minY}, {maxX, maxY}, landscapeHEdgeAdj());
    animateEdgeLayer(*bottomLayer_, {minX, minY}, {minX, maxY}, landscapeHEdgeAdj());
    animateEdgeLayer(*leftLayer_, {minX, minY}, {maxX, minY}, landscapeVEdgeAdj());
    animateEdgeLayer(*rightLayer_, {minX, maxY}, {maxX, maxY}, landscapeVEdgeAdj());
    animateCornerLayer(*topLeftLayer_, {maxX, minY}, 0);
    animateCornerLayer(*topRightLayer_, {maxX, maxY}, 1);
    animateCornerLayer(*bottomLeftLayer_, {minX, minY}, 2);
    animateCornerLayer(*bottomRightLayer_, {minX, maxY}, 3);
    animateCardMask(g);
}

void ZeduVIGuideLayer::animateFauxCardLayerToFrame(CGRect frame) {
    platform::assertMainThread("ZeduVIGuideLayer::animateFauxCardLayerToFrame");
    if (isEmpty(fauxCardLayer_->frame())) {
        run_without_implicit_animations([&] { fauxCardLayer_->setFrame(frame); });
    } else {
        auto animation = platform::CABasicAnimation::animationWithKeyPath("frame");
        animation->setFromValue(fauxCardLayer_->frame());
        animation->setToValue(frame);
        animation->setDuration(animationDuration_);
        fauxCardLayer_->addAnimationForKey(animation, "animateFrame");
        fauxCardLayer_->setFrame(frame);
    }
    CGPoint start{0, 0}, end{0, 0};
    switch (deviceOrientation_) {
    case 1: start = {0.5, 0}, end = {0.5, 1}; break;
    case 2: start = {0.5, 1}, end = {0.5, 0}; break;
    case 3: start = {1, 0.5}, end = {0, 0.5}; break;
    case 4: start = {0, 0.5}, end = {1, 0.5}; break;
    default: break;
    }
    fauxCardLayer_->setStartPoint(start);
    fauxCardLayer_->setEndPoint(end);
}

void ZeduVIGuideLayer::layoutSublayers() {
    platform::assertMainThread("ZeduVIGuideLayer::layoutSublayers");
    run_without_implicit_animations([&] {
        setLayerPaths();
        const CGRect g = guideFrame();
        animateFauxCardLayerToFrame(g);
        const double inset = lineWidth() / 2;
        const double minX = std::min(platform::CGRectGetMinX(g), platform::CGRectGetMaxX(g));
        const double maxX = std::max(platform::CGRectGetMinX(g), platform::CGRectGetMaxX(g));
        const double minY = std::min(platform::CGRectGetMinY(g), platform::CGRectGetMaxY(g));
        const double maxY = std::max(platform::CGRectGetMinY(g), platform::CGRectGetMaxY(g));
        const CGRect inner{{minX + inset, minY + inset}, {maxX - minX - 2 * inset, maxY - minY - 2 * inset}};
        if (auto delegate = guideLayerDelegate_.lock()) delegate->guideLayerDidLayout(inner);
    });
}

void ZeduVIGuideLayer::didRotateToDeviceOrientation(long orientation) {
    platform::assertMainThread("ZeduVIGuideLayer::didRotateToDeviceOrientation");
    setNeedsLayout();
    if (orientation == deviceOrientation_) return;
    deviceOrientation_ = orientation;
    animateFauxCardLayerToFrame(guideFrame());
}

// --- Frames --------------------------------------------------------------------------

void ZeduVIGuideLayer::setVideoFrame(std::shared_ptr<ZeduVIVideoFrame> frame) {
    platform::assertMainThread("ZeduVIGuideLayer::setVideoFrame");
    videoFrame_ = std::move(frame);
    // A frame that is not there finds no edge.
    const ZeduVIVideoFrame* f = videoFrame_.get();
    const bool wasLockedOn = guidesLockedOn_;
    edgeScoreTop_ = decayed(edgeScoreTop_, f && f->foundTopEdge());
    edgeScoreRight_ = decayed(edgeScoreRight_, f && f->foundRightEdge());
    edgeScoreBottom_ = decayed(edgeScoreBottom_, f && f->foundBottomEdge());
    edgeScoreLeft_ = decayed(edgeScoreLeft_, f && f->foundLeftEdge());
    updateStrokes();
    allEdgesFoundDecayedScore_ = 0.5f * allEdgesFoundDecayedScore_ + (f && f->foundAllEdges() ? 0.5f : 0.0f);
    if (allEdgesFoundDecayedScore_ >= 0.7f) showCardFound(true);
    else if (allEdgesFoundDecayedScore_ <= 0.1f) showCardFound(false);

    if (guidesLockedOn_ != wasLockedOn) platform::log(guidesLockedOn_ ? "card guide: locked on" : "card guide: unlocked");
    const int visible = visibleEdgeLines();
    if (!guidesLockedOn_ && visible != loggedEdgeLines_) platform::logf("card guide: %d edges", visible);
    loggedEdgeLines_ = visible;
}

void ZeduVIGuideLayer::showCardFound(bool found) {
    platform::assertMainThread("ZeduVIGuideLayer::showCardFound");
    guidesLockedOn_ = found;
    backgroundOverlay_->setFillColor(UIColor::colorWithWhiteAlpha(0.0, found ? 0.8 : 0.0));
    updateStrokes();
}

void ZeduVIGuideLayer::updateStrokes() {
    platform::assertMainThread("ZeduVIGuideLayer::updateStrokes");
    if (guidesLockedOn_) {
        for (const auto& line : {topLayer_, rightLayer_, bottomLayer_, leftLayer_}) line->setHidden(false);
        return;
    }
    showLine(*topLayer_, edgeScoreTop_);
    showLine(*rightLayer_, edgeScoreRight_);
    showLine(*bottomLayer_, edgeScoreBottom_);
    showLine(*leftLayer_, edgeScoreLeft_);
}

int ZeduVIGuideLayer::visibleEdgeLines() const {
    int visible = 0;
    for (const auto& line : {topLayer_, rightLayer_, bottomLayer_, leftLayer_}) visible += line->isHidden() ? 0 : 1;
    return visible;
}

}  // namespace cardscanner
