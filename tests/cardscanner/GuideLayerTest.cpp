// The card guide: its rectangle per orientation and size, stroke sizes, the
// edge scores and lock-on rule, paths and layout, colour, and its pixels.
#include "cardscanner/views/ZeduVIGuideLayer.h"

#include <gtest/gtest.h>

#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Render.h"

using namespace cardscanner;
using namespace platform;

namespace {

class RecordingDelegate : public ZeduVIGuideLayerDelegate {
public:
    void guideLayerDidLayout(CGRect rect) override { rects.push_back(rect); }
    std::vector<CGRect> rects;
};

std::shared_ptr<ZeduVIVideoFrame> frameFinding(bool top, bool bottom, bool left, bool right) {
    auto frame = std::make_shared<ZeduVIVideoFrame>(nullptr, 1);
    frame->setFoundEdges(top, bottom, left, right);
    return frame;
}
std::shared_ptr<ZeduVIVideoFrame> allEdges() { return frameFinding(true, true, true, true); }
std::shared_ptr<ZeduVIVideoFrame> noEdges() { return frameFinding(false, false, false, false); }

std::vector<CGPoint> pointsOf(const CAShapeLayer& layer) {
    std::vector<CGPoint> points;
    if (layer.path())
        for (const auto& e : layer.path()->elements) points.push_back(e.point);
    return points;
}

class GuideLayer : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
        UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationPortrait);
        delegate = std::make_shared<RecordingDelegate>();
        guide = ZeduVIGuideLayer::create(delegate);
    }
    void TearDown() override {
        UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationPortrait);
    }
    void laidOut(CGRect bounds) {
        guide->setBounds(bounds);
        guide->layoutIfNeeded();
    }
    std::shared_ptr<RecordingDelegate> delegate;
    std::shared_ptr<ZeduVIGuideLayer> guide;
};

}  // namespace

TEST_F(GuideLayer, StrokesScaleDownInNarrowLayersOnly) {
    EXPECT_EQ(guide->lineWidth(), 12);  // no width yet
    EXPECT_EQ(guide->cornerSize(), 50);
    EXPECT_EQ(guide->topLayer()->lineWidth(), 12);
    guide->setBounds(CGRectMake(0, 0, 150, 100));
    EXPECT_EQ(guide->lineWidth(), 6);
    EXPECT_EQ(guide->cornerSize(), 25);
    guide->setBounds(CGRectMake(0, 0, 200, 100));
    EXPECT_EQ(guide->lineWidth(), 8);
    EXPECT_EQ(guide->cornerSize(), 34);
    EXPECT_EQ(guide->landscapeVEdgeAdj(), (CGPoint{33.8, 0}));
    guide->setBounds(CGRectMake(0, 0, 480, 100));
    EXPECT_EQ(guide->lineWidth(), 12);
}

TEST_F(GuideLayer, PortraitLayoutPlacesLinesCornersMaskAndTellsTheDelegate) {
    laidOut(CGRectMake(0, 0, 320, 480));
    const CGRect g = guide->guideFrame();
    EXPECT_EQ(g, CGRectMake(17.333334f, 138.75f, 285.33334f, 202.5f));
    const auto top = pointsOf(*guide->topLayer());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_DOUBLE_EQ(top[0].x, double(17.333334f) + double(285.33334f));
    EXPECT_NEAR(top[0].y, 188.55, 1e-9);
    EXPECT_NEAR(top[1].y, 291.45, 1e-9);
    ASSERT_EQ(delegate->rects.size(), 1u);
    const CGRect told = delegate->rects[0];
    EXPECT_NEAR(told.origin.x, 23.333334, 1e-5);
    EXPECT_NEAR(told.origin.y, 144.75, 1e-9);
    EXPECT_NEAR(told.size.width, 273.33334, 1e-5);
    EXPECT_NEAR(told.size.height, 190.5, 1e-9);

    // Corner top-left at (maxX, minY): arms to the left and down.
    const auto corner = pointsOf(*guide->topLeftLayer());
    const double maxX = g.origin.x + g.size.width, minY = g.origin.y;
    EXPECT_EQ(corner, (std::vector<CGPoint>{{maxX - 50, minY}, {maxX, minY}, {maxX, minY + 50}}));
    EXPECT_EQ(pointsOf(*guide->leftLayer()),
              (std::vector<CGPoint>{{g.origin.x + 49.8, minY}, {maxX - 49.8, minY}}));
    EXPECT_EQ(guide->backgroundOverlay()->frame(), guide->bounds());
    EXPECT_EQ(pointsOf(*guide->backgroundOverlay()).size(), 8u);
    EXPECT_EQ(guide->fauxCardLayer()->frame(), g);

    // The first layout jumps; nothing animates.
    for (const auto& layer : guide->sublayers()) EXPECT_TRUE(layer->animationKeys().empty());
}

TEST_F(GuideLayer, LandscapeStatusBarTransposesTheGuide) {
    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    guide->setDeviceOrientation(3);
    guide->setBounds(CGRectMake(0, 0, 480, 320));
    EXPECT_EQ(guide->guideFrame(), CGRectMake(79.5, 70, 321, 180));
    // Out-of-range orientations draw the portrait guide.
    EXPECT_EQ(ZeduVIGuideLayer::guideFrameForDeviceOrientation(0, {480, 320}),
              ZeduVIGuideLayer::guideFrameForDeviceOrientation(1, {480, 320}));
}

TEST_F(GuideLayer, AnEmptyGuideLeavesThePathsAndTheSecondLayoutAnimates) {
    ScopedManualClock clock;
    guide->setAnimationDuration(0.2);
    laidOut(CGRectMake(0, 0, 0, 480));
    EXPECT_FALSE(guide->topLayer()->path());
    laidOut(CGRectMake(0, 0, 320, 480));
    const auto before = pointsOf(*guide->topLayer());
    laidOut(CGRectMake(0, 0, 0, 480));  // empty again: paths stay
    EXPECT_EQ(pointsOf(*guide->topLayer()), before);
    laidOut(CGRectMake(0, 0, 320, 568));
    EXPECT_TRUE(guide->topLayer()->animationForKey("animatePath"));
    EXPECT_TRUE(guide->fauxCardLayer()->animationForKey("animateFrame"));
    clock->advance(0.1);
    const auto shown = std::get<CGPathRef>(guide->topLayer()->presentationValueForKeyPath("path"));
    const auto after = pointsOf(*guide->topLayer());
    EXPECT_NEAR(shown->elements[0].point.y, (before[0].y + after[0].y) / 2, 1e-3);
}

TEST_F(GuideLayer, EdgeScoresShowALineOnTheSecondFindAndHideItOnTheFirstMiss) {
    EXPECT_FALSE(guide->topLayer()->isHidden());  // before any frame
    guide->setVideoFrame(noEdges());
    EXPECT_FLOAT_EQ(guide->edgeScoreTop(), -0.5f);
    EXPECT_TRUE(guide->topLayer()->isHidden());
    guide->setVideoFrame(frameFinding(true, false, false, false));
    EXPECT_FLOAT_EQ(guide->edgeScoreTop(), 0.25f);
    EXPECT_TRUE(guide->topLayer()->isHidden());
    guide->setVideoFrame(frameFinding(true, false, false, false));
    EXPECT_FLOAT_EQ(guide->edgeScoreTop(), 0.625f);  // between 0.3 and 0.7: unchanged
    EXPECT_TRUE(guide->topLayer()->isHidden());
    guide->setVideoFrame(frameFinding(true, false, false, false));
    EXPECT_FALSE(guide->topLayer()->isHidden());
    guide->setVideoFrame(frameFinding(false, false, false, true));
    EXPECT_FLOAT_EQ(guide->edgeScoreTop(), -0.09375f);
    EXPECT_TRUE(guide->topLayer()->isHidden());
    EXPECT_FALSE(guide->guidesLockedOn());
    EXPECT_FLOAT_EQ(guide->edgeScoreRight(), 0.5f * (0.5f * (0.5f * (0.5f * -0.5f - 0.5f) - 0.5f) - 0.5f) + 0.5f);
}

TEST_F(GuideLayer, LocksOnAfterTwoFullFramesAndUnlocksOnTheThirdMiss) {
    LogCapture log;
    guide->setVideoFrame(allEdges());
    EXPECT_FLOAT_EQ(guide->allEdgesFoundDecayedScore(), 0.5f);
    EXPECT_FALSE(guide->guidesLockedOn());
    guide->setVideoFrame(allEdges());
    EXPECT_FLOAT_EQ(guide->allEdgesFoundDecayedScore(), 0.75f);
    EXPECT_TRUE(guide->guidesLockedOn());
    EXPECT_EQ(guide->backgroundOverlay()->fillColor(), UIColor::colorWithWhiteAlpha(0, 0.8));

    guide->setVideoFrame(frameFinding(true, false, true, true));  // bottom missed: still shown while locked
    EXPECT_FLOAT_EQ(guide->allEdgesFoundDecayedScore(), 0.375f);
    EXPECT_FALSE(guide->bottomLayer()->isHidden());
    guide->setVideoFrame(noEdges());
    EXPECT_FLOAT_EQ(guide->allEdgesFoundDecayedScore(), 0.1875f);
    EXPECT_TRUE(guide->guidesLockedOn());
    guide->setVideoFrame(noEdges());
    EXPECT_FLOAT_EQ(guide->allEdgesFoundDecayedScore(), 0.09375f);
    EXPECT_FALSE(guide->guidesLockedOn());
    EXPECT_EQ(guide->backgroundOverlay()->fillColor(), UIColor::colorWithWhiteAlpha(0, 0));
    EXPECT_TRUE(guide->topLayer()->isHidden());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"card guide: locked on", "card guide: unlocked",
                                                    "card guide: 0 edges"}));
    guide->setVideoFrame(nullptr);  // no frame: no edges, no harm
    EXPECT_EQ(guide->videoFrame(), nullptr);
}

TEST_F(GuideLayer, ColourDefaultsToGreenAndRotationMovesTheFauxCard) {
    guide->setGuideColor(UIColor::redColor());
    EXPECT_EQ(guide->bottomRightLayer()->strokeColor(), UIColor::redColor());
    guide->setGuideColor(std::nullopt);
    EXPECT_EQ(guide->guideColor(), UIColor::greenColor());
    EXPECT_EQ(guide->topLayer()->strokeColor(), UIColor::greenColor());

    laidOut(CGRectMake(0, 0, 480, 480));
    const CGRect portrait = guide->fauxCardLayer()->frame();
    guide->didRotateToDeviceOrientation(1);
    EXPECT_TRUE(guide->needsLayout());
    EXPECT_EQ(guide->fauxCardLayer()->frame(), portrait);
    guide->didRotateToDeviceOrientation(4);
    EXPECT_EQ(guide->deviceOrientation(), 4);
    EXPECT_EQ(guide->fauxCardLayer()->frame(), guide->guideFrame());
    EXPECT_NE(guide->guideFrame(), portrait);
    EXPECT_EQ(guide->fauxCardLayer()->startPoint(), (CGPoint{0, 0.5}));
    guide->didRotateToDeviceOrientation(5);  // face up: portrait guide, a gradient of no direction
    EXPECT_EQ(guide->fauxCardLayer()->frame(), portrait);
    EXPECT_EQ(guide->fauxCardLayer()->startPoint(), (CGPoint{0, 0}));
    EXPECT_EQ(guide->fauxCardLayer()->endPoint(), (CGPoint{0, 0}));
}

TEST_F(GuideLayer, ALockedGuideDarkensOutsideItsRectangle) {
    ScopedManualClock clock;
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    view->setBackgroundColor(UIColor::whiteColor());
    guide->setFrame(view->bounds());
    view->layer().addSublayer(guide);
    UIView::flushPendingPasses();
    auto image = renderViewToImage(*view);
    const auto before = image->pixelAt(5, 5);
    EXPECT_NEAR(before->red, 77, 3);  // black at 0.7 before any frame

    guide->setVideoFrame(allEdges());
    guide->setVideoFrame(noEdges());
    guide->setVideoFrame(noEdges());
    guide->setVideoFrame(noEdges());  // at most 0.1: unlocked, the mask fades out
    clock->advance(1);
    image = renderViewToImage(*view);
    EXPECT_GT(image->pixelAt(5, 5)->red, 250);

    guide->setVideoFrame(allEdges());
    guide->setVideoFrame(allEdges());
    clock->advance(0.125);  // mid-fade on the clock
    image = renderViewToImage(*view);
    EXPECT_NEAR(image->pixelAt(5, 5)->red, 153, 4);
    clock->advance(1);
    image = renderViewToImage(*view);
    EXPECT_NEAR(image->pixelAt(5, 5)->red, 51, 3);
    EXPECT_GT(image->pixelAt(160, 240)->red, 200);  // inside the guide: only the faint card
    EXPECT_TRUE(image->pixelAt(160, 240)->green > 200);
    const auto line = image->pixelAt(int(guide->guideFrame().origin.x + guide->guideFrame().size.width) - 2, 240);
    EXPECT_GT(line->green, 200);  // the top edge line, green
    EXPECT_LT(line->red, 60);
}
