// Transforms, paths, the layer tree: layout, implicit and explicit
// animations on the run loop's clock, and what layers draw in a view.
#include "platform/graphics/Layer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Render.h"
#include "platform/ui/ViewAnimation.h"

using namespace platform;

namespace {

constexpr double kPi = std::numbers::pi;

bool near(const std::optional<UIImage::Pixel>& p, int r, int g, int b, int a = 255, int slack = 3) {
    return p && std::abs(p->red - r) <= slack && std::abs(p->green - g) <= slack && std::abs(p->blue - b) <= slack &&
           std::abs(p->alpha - a) <= slack;
}

double angleOf(const CAPropertyValue& value) {
    const auto& t = std::get<CATransform3D>(value);
    return std::atan2(t.m12, t.m11);
}

// A layer made and changed in one turn has not been committed yet; the pass commits it.
template <typename L>
std::shared_ptr<L> committed(std::shared_ptr<L> layer) {
    layer->setNeedsLayout();
    CALayer::flushPendingLayouts();
    return layer;
}

class CountingLayer : public CALayer {
public:
    void layoutSublayers() override { ++layouts; }
    int layouts = 0;
};

}  // namespace

TEST(AffineTransform, TranslationActsInTheRotatedCoordinatesAndConcatAppliesTheFirstFirst) {
    const auto turned = CGAffineTransformTranslate(CGAffineTransformMakeRotation(kPi / 2), 10, 0);
    const CGPoint p = CGPointApplyAffineTransform({0, 0}, turned);
    EXPECT_NEAR(p.x, 0, 1e-9);
    EXPECT_NEAR(p.y, 10, 1e-9);  // x turned onto y (y down: clockwise)
    const auto moveThenTurn =
        CGAffineTransformConcat(CGAffineTransformMakeTranslation(10, 0), CGAffineTransformMakeRotation(kPi / 2));
    EXPECT_NEAR(CGPointApplyAffineTransform({0, 0}, moveThenTurn).y, 10, 1e-9);
    const CGSize s = CGSizeApplyAffineTransform({4, 2}, CGAffineTransformTranslate(CGAffineTransformIdentity, 5, 5));
    EXPECT_EQ(s, (CGSize{4, 2}));
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGAffineTransformRotate(CGAffineTransformIdentity, 0)));

    const auto spatial = CATransform3DMakeRotation(0.3, 0, 0, 2);
    const auto flat = CATransform3DGetAffineTransform(spatial);
    const auto expected = CGAffineTransformMakeRotation(0.3);
    EXPECT_NEAR(flat.a, expected.a, 1e-12);
    EXPECT_NEAR(flat.b, expected.b, 1e-12);
    EXPECT_NEAR(flat.c, expected.c, 1e-12);
    EXPECT_TRUE(CATransform3DEqualToTransform(CATransform3DMakeRotation(1, 0, 0, 0), CATransform3DIdentity));
    EXPECT_EQ(CATransform3DGetAffineTransform(CATransform3DMakeAffineTransform(turned)), turned);
}

TEST(Path, ElementsBoundsAndEquality) {
    auto path = CGPathCreateMutable();
    EXPECT_TRUE(CGPathIsEmpty(path));
    EXPECT_EQ(CGPathGetBoundingBox(path), CGRectZero);
    CGPathAddLineToPoint(path, 5, 5);  // no current point: starts a subpath
    CGPathAddLineToPoint(path, -1, 9);
    CGPathCloseSubpath(path);
    CGPathCloseSubpath(path);
    ASSERT_EQ(path->elements.size(), 3u);
    EXPECT_EQ(path->elements[0].type, kCGPathElementMoveToPoint);
    EXPECT_EQ(path->elements[2].type, kCGPathElementCloseSubpath);
    EXPECT_EQ(CGPathGetBoundingBox(path), CGRectMake(-1, 5, 6, 4));
    auto rect = CGPathCreateMutable();
    CGPathAddRect(rect, CGRectMake(0, 0, 2, 2));
    EXPECT_EQ(rect->elements.size(), 5u);
    EXPECT_FALSE(CGPathEqualToPath(path, rect));
    EXPECT_TRUE(CGPathEqualToPath(CGPathCreateMutableCopy(rect), rect));
    EXPECT_TRUE(CGPathEqualToPath(nullptr, nullptr));
}

TEST(LayerGeometry, FrameFollowsPositionAnchorAndSizeAndANewSizeMarksForLayout) {
    auto layer = std::make_shared<CountingLayer>();
    EXPECT_TRUE(layer->needsLayout());
    layer->setAnchorPoint({0, 1});
    layer->setFrame(CGRectMake(10, 20, 30, 40));
    EXPECT_EQ(layer->position(), (CGPoint{10, 60}));
    EXPECT_EQ(layer->frame(), CGRectMake(10, 20, 30, 40));
    layer->layoutIfNeeded();
    EXPECT_EQ(layer->layouts, 1);
    layer->setPosition({0, 0});  // a move needs no layout
    layer->layoutIfNeeded();
    EXPECT_EQ(layer->layouts, 1);

    auto parent = CALayer::layer();
    parent->addSublayer(layer);
    layer->setBounds(CGRectMake(0, 0, 5, 5));
    EXPECT_TRUE(layer->needsLayout());
    RunLoop::main().drain();  // the pending pass on the next turn
    EXPECT_EQ(layer->layouts, 2);
    parent->addSublayer(parent);  // never inside itself
    layer->addSublayer(parent);
    EXPECT_EQ(parent->sublayers().size(), 1u);
    EXPECT_EQ(layer->superlayer(), parent.get());
    layer->removeFromSuperlayer();
    EXPECT_EQ(layer->superlayer(), nullptr);
    EXPECT_TRUE(parent->sublayers().empty());
}

TEST(LayerAnimation, ImplicitActionsOnlyForCommittedLayersAndOnlyWhenEnabled) {
    ScopedManualClock clock;
    auto fresh = CALayer::layer();
    fresh->setOpacity(0.5);
    EXPECT_TRUE(fresh->animationKeys().empty());  // nothing on screen yet to fade from

    auto layer = committed(CALayer::layer());
    layer->setOpacity(0.0);
    ASSERT_EQ(layer->animationKeys(), (std::vector<std::string>{"opacity"}));
    clock->advance(0.125);  // halfway through the default 0.25 s
    EXPECT_DOUBLE_EQ(std::get<double>(layer->presentationValueForKeyPath("opacity")), 0.5);
    clock->advance(1);
    EXPECT_DOUBLE_EQ(std::get<double>(layer->presentationValueForKeyPath("opacity")), 0.0);

    CATransaction::begin();
    CATransaction::setDisableActions(true);
    CATransaction::begin();  // nested: inherits
    layer->setPosition({5, 5});
    CATransaction::commit();
    CATransaction::commit();
    EXPECT_FALSE(layer->animationForKey("position"));
    EXPECT_FALSE(CATransaction::disableActions());
    EXPECT_DOUBLE_EQ(CATransaction::animationDuration(), 0.25);

    UIView view(CGRectMake(0, 0, 10, 10));
    view.layer().setNeedsLayout();
    CALayer::flushPendingLayouts();
    view.setFrame(CGRectMake(5, 5, 20, 20));
    EXPECT_EQ(view.layer().bounds(), CGRectMake(0, 0, 20, 20));
    EXPECT_TRUE(view.layer().animationKeys().empty());  // a view's own layer never animates implicitly
}

TEST(LayerAnimation, PresentationFollowsTheClockRotationsByAngleAndPathsPointByPoint) {
    ScopedManualClock clock;
    auto layer = committed(CAShapeLayer::layer());
    CATransaction::begin();
    CATransaction::setAnimationDuration(1.0);
    layer->setTransform(CATransform3DMakeRotation(-kPi / 2, 0, 0, 1));
    CATransaction::commit();
    clock->advance(0.5);
    EXPECT_NEAR(angleOf(layer->presentationValueForKeyPath("transform")), -kPi / 4, 1e-9);

    auto from = CGPathCreateMutable();
    CGPathMoveToPoint(from, 0, 0);
    CGPathAddLineToPoint(from, 10, 0);
    auto to = CGPathCreateMutable();
    CGPathMoveToPoint(to, 10, 10);
    CGPathAddLineToPoint(to, 30, 10);
    auto moving = CABasicAnimation::animationWithKeyPath("path");
    moving->setFromValue(CGPathRef(from));
    moving->setToValue(CGPathRef(to));
    moving->setDuration(2);
    layer->addAnimationForKey(moving, "animatePath");
    layer->setPath(to);
    clock->advance(1);
    const auto halfway = std::get<CGPathRef>(layer->presentationValueForKeyPath("path"));
    EXPECT_EQ(halfway->elements[1].point, (CGPoint{20, 5}));

    auto other = CGPathCreateMutable();
    CGPathMoveToPoint(other, 1, 1);  // a different shape: shown whole at the end
    auto jumping = CABasicAnimation::animationWithKeyPath("path");
    jumping->setFromValue(CGPathRef(other));
    jumping->setToValue(CGPathRef(to));
    layer->addAnimationForKey(jumping, "animatePath");
    EXPECT_TRUE(CGPathEqualToPath(std::get<CGPathRef>(layer->presentationValueForKeyPath("path")), other));
    clock->advance(1);
    EXPECT_TRUE(CGPathEqualToPath(std::get<CGPathRef>(layer->presentationValueForKeyPath("path")), to));
}

TEST(LayerDrawing, LayersDrawOverTheViewAndBeneathItsSubviewsAndAHiddenOneNotAtAll) {
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 40, 40));
    view->setBackgroundColor(UIColor::whiteColor());
    auto shape = CAShapeLayer::layer();
    shape->setFrame(CGRectMake(10, 10, 20, 20));
    auto square = CGPathCreateMutable();
    CGPathAddRect(square, CGRectMake(0, 0, 20, 20));
    shape->setPath(square);
    shape->setFillColor(UIColor::redColor());
    view->layer().addSublayer(shape);
    auto cover = std::make_shared<UIView>(CGRectMake(0, 0, 15, 15));
    cover->setBackgroundColor(UIColor::blueColor());
    view->addSubview(cover);
    auto faded = CAGradientLayer::layer();  // start == end: the first colour
    faded->setFrame(CGRectMake(0, 30, 40, 10));
    faded->setColors({UIColor::greenColor(), UIColor::blackColor()});
    faded->setStartPoint({0, 0});
    faded->setEndPoint({0, 0});
    faded->setOpacity(0.5);
    view->layer().addSublayer(faded);

    auto image = renderViewToImage(*view);
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(image->pixelAt(20, 20), 255, 0, 0));
    EXPECT_TRUE(near(image->pixelAt(12, 12), 0, 0, 255));  // the subview covers the layer
    EXPECT_TRUE(near(image->pixelAt(5, 25), 255, 255, 255));
    EXPECT_TRUE(near(image->pixelAt(20, 35), 128, 255, 128));  // green at half opacity over white

    shape->setHidden(true);
    shape->setTransform(CATransform3DMakeRotation(kPi / 4, 0, 0, 1));
    image = renderViewToImage(*view);
    EXPECT_TRUE(near(image->pixelAt(20, 20), 255, 255, 255));
    shape->setHidden(false);
    shape->setTransform(CATransform3DMakeAffineTransform(CGAffineTransformMakeScale(0, 1)));  // no area, no harm
    image = renderViewToImage(*view);
    EXPECT_TRUE(near(image->pixelAt(20, 20), 255, 255, 255));
}

TEST(ViewTransform, AViewTurnsAboutItsCentreAndKeepsItsFrame) {
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, 40, 40));
    auto bar = std::make_shared<UIView>(CGRectMake(10, 17, 20, 6));  // a wide bar through the centre
    bar->setBackgroundColor(UIColor::redColor());
    root->addSubview(bar);
    bar->setTransform(CGAffineTransformMakeRotation(kPi / 2));
    EXPECT_EQ(bar->frame(), CGRectMake(10, 17, 20, 6));
    auto image = renderViewToImage(*root);
    EXPECT_TRUE(near(image->pixelAt(20, 12), 255, 0, 0));  // now upright
    EXPECT_EQ(image->pixelAt(12, 20)->alpha, 0);
}

TEST(ViewShake, AKeyframePositionAnimationMovesTheDrawingThroughItsValuesAndThenStops) {
    ScopedManualClock clock;
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, 40, 20));
    auto bar = std::make_shared<UIView>(CGRectMake(10, 0, 10, 20));
    bar->setBackgroundColor(UIColor::redColor());
    root->addSubview(bar);
    auto shake = CAKeyframeAnimation::animationWithKeyPath("position");
    shake->setDuration(1);
    shake->setValues({CGPoint{15, 10}, CGPoint{25, 10}, CGPoint{15, 10}});
    shake->setKeyTimes({0, 0.5, 1});
    bar->layer().addAnimationForKey(shake, "shake");

    clock->advance(0.25);  // halfway to the second value: 5 points to the right
    EXPECT_NEAR(std::get<CGPoint>(bar->layer().presentationValueForKeyPath("position")).x, 20, 0.01);
    auto image = renderViewToImage(*root);
    EXPECT_EQ(image->pixelAt(12, 10)->alpha, 0);
    EXPECT_TRUE(near(image->pixelAt(22, 10), 255, 0, 0));
    EXPECT_EQ(bar->frame(), CGRectMake(10, 0, 10, 20));

    clock->advance(1);  // over: back where the frame says
    image = renderViewToImage(*root);
    EXPECT_TRUE(near(image->pixelAt(12, 10), 255, 0, 0));
    EXPECT_EQ(image->pixelAt(22, 10)->alpha, 0);
}

TEST(ViewAnimateWithDuration, AppliesAtOnceAndCompletesAfterTheDuration) {
    ScopedManualClock clock;
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    std::vector<bool> completions;
    UIViewAnimation::animateWithDuration(0.3, [&] { view->setAlpha(0.2); },
                                         [&](bool finished) { completions.push_back(finished); });
    EXPECT_DOUBLE_EQ(view->alpha(), 0.2);
    RunLoop::main().runOnce();
    EXPECT_TRUE(completions.empty());
    clock->advance(0.3);
    RunLoop::main().runOnce();
    EXPECT_EQ(completions, std::vector<bool>{true});
}
