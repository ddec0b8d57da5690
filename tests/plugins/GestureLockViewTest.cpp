// The gesture grid: where its nodes sit, what a finger makes of them, and the
// error look's life.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LockScreenHost.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Render.h"
#include "plugins/lockpattern/GPGestureLockView.h"

using namespace platform;
using plugins::GPGestureLockView;
using plugins::GPGestureLockViewDelegate;

namespace {

class RecordingDelegate : public GPGestureLockViewDelegate {
public:
    std::vector<std::string> events;
    bool answersBegin = true, answersEnd = true, answersCancel = true;
    bool errorOnEnd = false;
    bool clearOnBegin = false;

    bool respondsToSelector(const std::string& s) const override {
        return (s == kDidBeginWithPasscode && answersBegin) || (s == kDidEndWithPasscode && answersEnd) ||
               (s == kDidCanceledWithPasscode && answersCancel);
    }
    void gestureLockViewDidBeginWithPasscode(GPGestureLockView& view, const std::string& p) override {
        events.push_back("begin " + p);
        if (clearOnBegin) view.clearButtonImageView();
    }
    void gestureLockViewDidEndWithPasscode(GPGestureLockView& view, const std::string& p) override {
        events.push_back("end " + p);
        if (errorOnEnd) view.setErrorHasOccured(true);
    }
    void gestureLockViewDidCanceledWithPasscode(GPGestureLockView&, const std::string& p) override {
        events.push_back("cancel " + p);
    }
};

class GestureGrid : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
        window->makeKeyAndVisible();
        grid = GPGestureLockView::create(CGRectMake(35, 159, 250, 250));
        window->addSubview(grid);
        delegate = std::make_shared<RecordingDelegate>();
        grid->setDelegate(delegate);
        window->layoutIfNeeded();
    }

    std::vector<long> selection() const {
        std::vector<long> tags;
        for (const auto& b : grid->selectedButtons()) tags.push_back(b->tag());
        return tags;
    }

    lockscreen_test::SampleBundle bundle;
    ScopedManualClock clock;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<GPGestureLockView> grid;
    std::shared_ptr<RecordingDelegate> delegate;
};

}  // namespace

// --- Layout -----------------------------------------------------------------------

TEST_F(GestureGrid, NineNodesInA250PointGridSitAt0_95And190) {
    grid->layoutIfNeeded();
    ASSERT_EQ(grid->buttons().size(), 9u);
    for (int i = 0; i < 9; ++i) {
        const auto& node = grid->buttons()[std::size_t(i)];
        EXPECT_EQ(node->tag(), i);
        EXPECT_EQ(node->frame(), CGRectMake(95 * (i % 3), 95 * (i / 3), 60, 60)) << "node " << i;
        EXPECT_FALSE(node->isUserInteractionEnabled());
    }
    grid->setContentInsets(UIEdgeInsetsMake(10, 20, 10, 20));
    grid->layoutIfNeeded();
    EXPECT_EQ(grid->contentView()->frame(), CGRectMake(20, 10, 210, 230));
    EXPECT_EQ(grid->buttons()[8]->frame().origin, (CGPoint{150, 170}));
}

TEST_F(GestureGrid, NodeImagesOnlyEverGrowTheNodes) {
    UIGraphicsBeginImageContext({80, 70});
    auto big = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    grid->setNormalGestureNodeImage(grid->imageWithColor(UIColor::redColor(), {20, 20}));
    EXPECT_EQ(grid->buttonSize(), (CGSize{60, 60}));
    grid->setSelectedGestureNodeImage(big);
    EXPECT_EQ(grid->buttonSize(), (CGSize{80, 70}));
    EXPECT_EQ(grid->buttons()[4]->imageForState(UIControlStateSelected), big);
    grid->layoutIfNeeded();
    EXPECT_EQ(grid->buttons()[4]->frame(), CGRectMake(85, 90, 80, 70));
}

TEST_F(GestureGrid, OneRowOrOneColumnLeavesNoGapAndNeverDividesByZero) {
    grid->setNumberOfGestureNodes(3);
    grid->layoutIfNeeded();
    EXPECT_EQ(grid->buttons()[2]->frame().origin, (CGPoint{190, 0}));
    grid->setGestureNodesPerRow(1);
    grid->layoutIfNeeded();
    EXPECT_EQ(grid->buttons()[0]->frame().origin, (CGPoint{0, 0}));
    EXPECT_EQ(grid->buttons()[2]->frame().origin, (CGPoint{0, 190}));
    grid->setGestureNodesPerRow(0);
    grid->layoutIfNeeded();
    EXPECT_EQ(grid->buttons()[1]->frame().origin, (CGPoint{0, 95}));
    grid->setNumberOfGestureNodes(1);
    grid->setGestureNodesPerRow(1);
    grid->layoutIfNeeded();
    EXPECT_EQ(grid->buttons()[0]->frame().origin, (CGPoint{0, 0}));
    grid->setNumberOfGestureNodes(0);
    grid->layoutIfNeeded();
    EXPECT_TRUE(grid->buttons().empty());
}

// --- Touches into patterns ---------------------------------------------------------

TEST_F(GestureGrid, OnlyNodesTheFingerEntersCountEachOnce) {
    lockscreen_test::drawPattern(*window, *grid, {0, 2});
    lockscreen_test::drawPattern(*window, *grid, {0, 1, 2});
    lockscreen_test::drawPattern(*window, *grid, {4, 5, 4, 8, 5});
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"begin 0", "end 0,2", "begin 0", "end 0,1,2", "begin 4",
                                                          "end 4,5,8"}));
    EXPECT_TRUE(grid->selectedButtons().empty());
    for (const auto& node : grid->buttons()) EXPECT_FALSE(node->isSelected());
}

TEST_F(GestureGrid, APatternStartingBetweenNodesBeginsAtTheFirstNodeEntered) {
    const CGPoint gap = grid->convertPointToView({77, 77}, nullptr);
    window->sendTouch(UITouchPhase::Began, gap);
    EXPECT_TRUE(delegate->events.empty());
    window->sendTouch(UITouchPhase::Moved, lockscreen_test::nodeCentre(*grid, 4));
    window->sendTouch(UITouchPhase::Moved, lockscreen_test::nodeCentre(*grid, 7));
    window->sendTouch(UITouchPhase::Ended, lockscreen_test::nodeCentre(*grid, 7));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"begin 4", "end 4,7"}));

    // Lifted without a node: nothing is sent.
    window->sendTouch(UITouchPhase::Began, gap);
    window->sendTouch(UITouchPhase::Ended, gap);
    EXPECT_EQ(delegate->events.size(), 2u);
    EXPECT_EQ(grid->trackedLocationInContentView(), (CGPoint{-1, -1}));
}

TEST_F(GestureGrid, MovesOutsideTheNodeAreaAreIgnoredAndACancelReportsThePatternSoFar) {
    window->sendTouch(UITouchPhase::Began, lockscreen_test::nodeCentre(*grid, 0));
    window->sendTouch(UITouchPhase::Moved, lockscreen_test::nodeCentre(*grid, 1));
    window->sendTouch(UITouchPhase::Moved, {300, 300});  // beyond the grid's right edge
    EXPECT_EQ(grid->trackedLocationInContentView(), (CGPoint{125, 30}));
    window->sendTouch(UITouchPhase::Cancelled, {300, 300});
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"begin 0", "cancel 0,1"}));
    EXPECT_TRUE(grid->selectedButtons().empty());
}

TEST_F(GestureGrid, TheDelegatesAnswersAreTakenWhenItIsAssigned) {
    auto quiet = std::make_shared<RecordingDelegate>();
    quiet->answersBegin = false;
    quiet->answersCancel = false;
    grid->setDelegate(quiet);
    quiet->answersBegin = true;  // too late: asked once
    lockscreen_test::drawPattern(*window, *grid, {3, 4});
    window->sendTouch(UITouchPhase::Began, lockscreen_test::nodeCentre(*grid, 0));
    window->sendTouch(UITouchPhase::Cancelled, lockscreen_test::nodeCentre(*grid, 0));
    EXPECT_EQ(quiet->events, (std::vector<std::string>{"end 3,4"}));

    quiet.reset();  // a delegate that is gone hears nothing and breaks nothing
    lockscreen_test::drawPattern(*window, *grid, {3, 4});
}

// --- The error look ---------------------------------------------------------------

TEST_F(GestureGrid, TheErrorLookShowsTheFailedPatternThenClearsAfterTwoSeconds) {
    delegate->errorOnEnd = true;
    lockscreen_test::drawPattern(*window, *grid, {0, 4, 8});
    EXPECT_EQ(selection(), (std::vector<long>{0, 4, 8}));
    RunLoop::main().drain();  // the display pass draws the error look
    const auto errorImage = UIImage::imageNamed("gesture_node_selected_error");
    ASSERT_TRUE(errorImage);
    EXPECT_EQ(grid->buttons()[4]->imageForState(UIControlStateNormal), errorImage);
    EXPECT_NE(grid->buttons()[1]->imageForState(UIControlStateNormal), errorImage);
    EXPECT_EQ(grid->selectedGestureNodeImage(), UIImage::imageNamed("gesture_node_selected.png"));
    EXPECT_TRUE(grid->hasPendingClear());

    clock->advance(1.9);
    RunLoop::main().runOnce();
    EXPECT_EQ(selection().size(), 3u);
    clock->advance(0.2);
    RunLoop::main().runOnce();
    EXPECT_TRUE(selection().empty());
    EXPECT_FALSE(grid->errorHasOccured());
    EXPECT_FALSE(grid->hasPendingClear());
    const auto normal = UIImage::imageNamed("gesture_node_normal.png");
    for (const auto& node : grid->buttons()) EXPECT_EQ(node->imageForState(UIControlStateNormal), normal);
    EXPECT_EQ(grid->normalGestureNodeImage(), normal);
}

TEST_F(GestureGrid, AnOldErrorTimerNeverWipesTheNextPattern) {
    delegate->errorOnEnd = true;
    delegate->clearOnBegin = true;
    lockscreen_test::drawPattern(*window, *grid, {0, 1, 2});
    RunLoop::main().drain();
    grid->setNeedsDisplay();  // drawn again while the look is on: still one timer
    RunLoop::main().drain();
    EXPECT_EQ(RunLoop::main().pendingTimers(), 1u);

    clock->advance(1.5);
    delegate->errorOnEnd = false;
    window->sendTouch(UITouchPhase::Began, lockscreen_test::nodeCentre(*grid, 6));
    window->sendTouch(UITouchPhase::Moved, lockscreen_test::nodeCentre(*grid, 7));
    EXPECT_FALSE(grid->hasPendingClear());
    EXPECT_EQ(RunLoop::main().pendingTimers(), 0u);
    clock->advance(1.0);
    RunLoop::main().drain();
    EXPECT_EQ(selection(), (std::vector<long>{6, 7}));
    window->sendTouch(UITouchPhase::Ended, lockscreen_test::nodeCentre(*grid, 7));
    EXPECT_EQ(delegate->events.back(), "end 6,7");
}

// --- Drawing ----------------------------------------------------------------------

TEST_F(GestureGrid, TheLineIsDrawnThroughTheNodesInTheOwnersColourOnceThenCyan) {
    grid->setLineColor(UIColor::redColor());
    window->sendTouch(UITouchPhase::Began, lockscreen_test::nodeCentre(*grid, 0));
    window->sendTouch(UITouchPhase::Moved, lockscreen_test::nodeCentre(*grid, 1));
    auto image = renderViewToImage(*grid);
    ASSERT_TRUE(image);
    // Between nodes 0 and 1, in the gap where no node image covers the line.
    const auto onLine = *image->pixelAt(77, 30);
    EXPECT_EQ(onLine.red, 255);
    EXPECT_LT(onLine.green, 10);
    EXPECT_EQ(onLine.alpha, 255);
    EXPECT_EQ(image->pixelAt(77, 45)->alpha, 0);  // lineWidth 16: 8 each side
    EXPECT_EQ(grid->lineColor(),
              UIColor::colorWithRedGreenBlueAlpha(2.0f / 255.0f, 217.0f / 255.0f, 243.0f / 255.0f, 0.7f));
    window->sendTouch(UITouchPhase::Ended, lockscreen_test::nodeCentre(*grid, 1));
    image = renderViewToImage(*grid);
    EXPECT_EQ(image->pixelAt(77, 30)->alpha, 0);  // the line is gone with the pattern
}

TEST(GestureGridPreview, ShowsAGivenPatternSkippingNumbersOutOfRangeAndTakesNoTouches) {
    auto preview = plugins::GPGestureLockPreviewView::create(CGRectMake(0, 0, 250, 250));
    EXPECT_FALSE(preview->isUserInteractionEnabled());
    preview->setPasscode("0,4,8,4,-1,12,,");
    std::vector<long> tags;
    for (const auto& b : preview->selectedButtons()) tags.push_back(b->tag());
    EXPECT_EQ(tags, (std::vector<long>{0, 4, 8, 4}));
    EXPECT_TRUE(preview->buttons()[8]->isSelected());
    preview->setPasscode("");
    EXPECT_TRUE(preview->selectedButtons().empty());
    EXPECT_FALSE(preview->buttons()[8]->isSelected());
}
