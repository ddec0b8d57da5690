// The shutter: its blades' geometry, and opening and closing with and without animation.
#include "cardscanner/views/ZeduVIShutterView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Render.h"

using namespace cardscanner;
using namespace platform;

namespace {

constexpr double kPi = std::numbers::pi;

double angleOf(const CAPropertyValue& value) {
    const auto& t = std::get<CATransform3D>(value);
    return std::atan2(t.m12, t.m11);
}

class ShutterView : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
    }
};

}  // namespace

TEST_F(ShutterView, BladesSitAtTheCornersAndAZeroSizeCountsAsOneByOne) {
    auto zero = std::make_shared<ZeduVIShutterView>(CGRectZero);
    EXPECT_FALSE(zero->open());
    EXPECT_FALSE(zero->isUserInteractionEnabled());
    EXPECT_TRUE(zero->layer().masksToBounds());
    EXPECT_EQ(zero->layer().sublayers(),
              (std::vector<std::shared_ptr<CALayer>>{zero->bottom(), zero->right(), zero->top(), zero->left()}));
    EXPECT_EQ(zero->top()->bounds(), CGRectMake(0, 0, 2, 2));
    EXPECT_NEAR(zero->bottom()->closedAngle(), kPi / 4 - kPi / 2, 1e-12);
    EXPECT_NEAR(zero->right()->closedAngle(), -kPi / 4, 1e-12);
    EXPECT_NEAR(angleOf(zero->left()->transform()), -kPi / 4, 1e-12);  // closed from the start

    ZeduVIShutterView view(CGRectMake(0, 0, 300, 400));
    EXPECT_EQ(view.bottom()->bounds(), CGRectMake(0, 0, 500, 500));
    EXPECT_EQ(view.bottom()->position(), (CGPoint{300, 400}));
    EXPECT_EQ(view.right()->anchorPoint(), (CGPoint{1, 0}));
    EXPECT_EQ(view.left()->position(), (CGPoint{0, 400}));
    EXPECT_NEAR(view.top()->closedAngle(), std::atan(400.0 / 300) - kPi / 2, 1e-12);
    EXPECT_EQ(view.top()->openAngle(), -kPi / 2);
}

TEST_F(ShutterView, OpensOnTheClockWhenAnimatedAndJumpsWhenNot) {
    ScopedManualClock clock;
    auto view = std::make_shared<ZeduVIShutterView>(CGRectMake(0, 0, 300, 300));
    view->setOpen(false);  // the current state: nothing
    UIView::flushPendingPasses();
    for (const auto& blade : view->layer().sublayers()) EXPECT_TRUE(blade->animationKeys().empty());
    auto closed = renderViewToImage(*view);
    EXPECT_EQ(closed->pixelAt(150, 150)->alpha, 255);  // covered

    view->setOpenAnimatedDuration(true, true, 0.5);
    EXPECT_TRUE(view->open());
    EXPECT_NEAR(angleOf(view->right()->transform()), -kPi / 2, 1e-12);
    clock->advance(0.25);
    EXPECT_NEAR(angleOf(view->right()->presentationValueForKeyPath("transform")), (-kPi / 4 - kPi / 2) / 2, 1e-9);
    clock->advance(0.25);
    auto opened = renderViewToImage(*view);
    EXPECT_EQ(opened->pixelAt(150, 150)->alpha, 0);

    view->setOpen(false);
    for (const auto& blade : view->layer().sublayers()) EXPECT_FALSE(blade->animationForKey("transform"));
    EXPECT_NEAR(angleOf(view->right()->presentationValueForKeyPath("transform")), -kPi / 4, 1e-12);
}
