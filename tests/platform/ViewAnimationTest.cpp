// View observers, transitions on the run loop's clock, and the spinner.
#include "platform/ui/ViewAnimation.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Render.h"

using namespace platform;

namespace {

class OnTheClock : public ::testing::Test {
protected:
    void after(double seconds) {
        clock->advance(seconds);
        RunLoop::main().runOnce();
    }
    ScopedManualClock clock;
};

}  // namespace

TEST(ViewObservers, HearFrameAndBoundsChangesUntilRemoved) {
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
    std::vector<std::string> heard;
    const auto frame = view->addObserverForKeyPath("frame", [&](const std::string& k) { heard.push_back(k); });
    view->addObserverForKeyPath("bounds", [&](const std::string& k) { heard.push_back(k); });
    view->addObserverForKeyPath("alpha", [&](const std::string& k) { heard.push_back(k); });

    view->setFrame(CGRectMake(10, 0, 100, 100));  // moved: the bounds stay
    view->setFrame(CGRectMake(10, 0, 100, 100));  // no change
    view->setBounds(CGRectMake(5, 5, 100, 100));  // scrolled: the frame stays
    view->setAlpha(0.5);
    EXPECT_EQ(heard, (std::vector<std::string>{"frame", "bounds"}));

    heard.clear();
    view->removeObserver(frame);
    view->setFrame(CGRectMake(0, 0, 50, 50));
    EXPECT_EQ(heard, (std::vector<std::string>{"bounds"}));
}

TEST_F(OnTheClock, TransitionFadesTheSubtreeOnTheClockThenCompletes) {
    auto parent = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
    auto child = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    parent->addSubview(child);
    std::vector<bool> completions;
    auto fade = UIViewAnimation::transitionWithView(parent, 1.0, UIViewAnimationOptionNone,
                                                    [&] { child->setAlpha(0); },
                                                    [&](bool finished) { completions.push_back(finished); });
    EXPECT_EQ(child->alpha(), 1);
    after(0.5);
    EXPECT_DOUBLE_EQ(child->alpha(), 0.5);  // halfway along the ease in, ease out
    after(0.25);
    EXPECT_LT(child->alpha(), 0.5);
    EXPECT_GT(child->alpha(), 0);
    EXPECT_TRUE(completions.empty());
    after(0.25);
    EXPECT_EQ(child->alpha(), 0);
    EXPECT_EQ(completions, std::vector<bool>{true});
    EXPECT_FALSE(fade->isRunning());
    EXPECT_EQ(parent->alpha(), 1);
}

TEST_F(OnTheClock, CancelledOrInstantTransitionsCompleteOnceAndNeverInside) {
    auto view = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    std::vector<bool> completions;
    const auto record = [&](bool finished) { completions.push_back(finished); };
    auto fade = UIViewAnimation::transitionWithView(view, 1.0, 0, [&] { view->setAlpha(0); }, record);
    after(0.5);
    fade->cancel();
    fade->cancel();
    after(1);
    EXPECT_DOUBLE_EQ(view->alpha(), 0.5);
    UIViewAnimation::transitionWithView(view, -1, 0, [&] { view->setAlpha(1); }, record);
    EXPECT_EQ(view->alpha(), 1);
    EXPECT_EQ(completions, std::vector<bool>{false});
    RunLoop::main().runOnce();
    EXPECT_EQ(completions, (std::vector<bool>{false, true}));
}

TEST_F(OnTheClock, SpinnerTurnsOnlyWhileAnimatingAndHidesWhenStopped) {
    auto spinner = std::make_shared<UIActivityIndicatorView>(UIActivityIndicatorViewStyleGray);
    EXPECT_EQ(spinner->frame().size, (CGSize{20, 20}));
    EXPECT_TRUE(spinner->isHidden());

    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    const auto first = renderViewToImage(*spinner);
    after(1.0 / 12);
    EXPECT_EQ(spinner->leadingSpoke(), 1);
    const auto second = renderViewToImage(*spinner);
    ASSERT_TRUE(first && second);
    // The twelve o'clock spoke (top middle) dims as the lead moves on.
    EXPECT_GT(first->pixelAt(10, 3)->alpha, second->pixelAt(10, 3)->alpha);

    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    after(1);
    EXPECT_EQ(spinner->leadingSpoke(), 1);
    spinner->startAnimating();
    spinner.reset();  // its timer goes with it
    after(1);
}
