// Views as a user meets them: where things are, what a finger reaches, what
// gets drawn.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TemporaryDirectory.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Render.h"
#include "platform/ui/Window.h"

using namespace platform;

namespace {

// Records every touch it hears, in its own coordinates.
class TouchRecorder : public UIView {
public:
    using UIView::UIView;
    std::vector<std::string> phases;
    std::vector<CGPoint> points;
    void touchesBegan(const UITouchSet& t, const UIEvent&) override { record("began", t); }
    void touchesMoved(const UITouchSet& t, const UIEvent&) override { record("moved", t); }
    void touchesEnded(const UITouchSet& t, const UIEvent&) override { record("ended", t); }
    void touchesCancelled(const UITouchSet& t, const UIEvent&) override { record("cancelled", t); }

private:
    void record(const char* phase, const UITouchSet& touches) {
        phases.push_back(phase);
        points.push_back(anyObject(touches)->locationInView(this));
    }
};

class CountingLayout : public UIView {
public:
    using UIView::UIView;
    int layouts = 0;
    int draws = 0;
    void layoutSubviews() override { ++layouts; }
    void drawRect(CGRect) override { ++draws; }
};

// A diagonal line, for pixel checks.
class LineView : public UIView {
public:
    using UIView::UIView;
    void drawRect(CGRect) override {
        UIBezierPath path;
        path.moveToPoint({10, 50});
        path.addLineToPoint({90, 50});
        path.setLineWidth(8);
        path.setLineJoinStyle(kCGLineJoinRound);
        UIColor::redColor().set();
        path.stroke();
    }
};

std::shared_ptr<UIWindow> visibleWindow(CGRect frame = CGRectMake(0, 0, 320, 568)) {
    auto window = std::make_shared<UIWindow>(frame);
    window->makeKeyAndVisible();
    return window;
}

bool near(const UIImage::Pixel& p, int r, int g, int b, int a = 255, int slack = 3) {
    return std::abs(p.red - r) <= slack && std::abs(p.green - g) <= slack && std::abs(p.blue - b) <= slack &&
           std::abs(p.alpha - a) <= slack;
}

}  // namespace

// --- Geometry and layout --------------------------------------------------------

TEST(ViewGeometry, CentreAndBoundsFollowTheFrameAndSettingTheCentreKeepsTheSize) {
    auto view = std::make_shared<UIView>(CGRectMake(10, 20, 100, 50));
    EXPECT_EQ(view->center(), (CGPoint{60, 45}));
    EXPECT_EQ(view->bounds(), CGRectMake(0, 0, 100, 50));
    view->setCenter({100, 100});
    EXPECT_EQ(view->frame(), CGRectMake(50, 75, 100, 50));
    view->setBounds(CGRectMake(0, 0, 20, 10));
    EXPECT_EQ(view->frame(), CGRectMake(90, 95, 20, 10));
}

TEST(ViewGeometry, PointsConvertThroughNestedViewsAndAcrossBranches) {
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
    auto a = std::make_shared<UIView>(CGRectMake(10, 20, 200, 200));
    auto b = std::make_shared<UIView>(CGRectMake(5, 5, 50, 50));
    auto c = std::make_shared<UIView>(CGRectMake(100, 300, 50, 50));
    root->addSubview(a);
    a->addSubview(b);
    root->addSubview(c);
    EXPECT_EQ(b->convertPointToView({1, 2}, root.get()), (CGPoint{16, 27}));
    EXPECT_EQ(b->convertPointToView({1, 2}, nullptr), (CGPoint{16, 27}));
    EXPECT_EQ(b->convertPointFromView({16, 27}, root.get()), (CGPoint{1, 2}));
    EXPECT_EQ(b->convertPointToView({0, 0}, c.get()), (CGPoint{-85, -275}));
    EXPECT_EQ(c->convertPointFromView({0, 0}, b.get()), (CGPoint{-85, -275}));
    // A shifted bounds origin moves what the subviews sit on.
    a->setBounds(CGRectMake(5, 5, 200, 200));
    EXPECT_EQ(b->convertPointToView({0, 0}, root.get()), (CGPoint{10, 20}));
}

TEST(ViewLayout, LayoutRunsOncePerRequestParentsFirstAndOnTheNextTurnOnItsOwn) {
    auto parent = std::make_shared<CountingLayout>(CGRectMake(0, 0, 100, 100));
    auto child = std::make_shared<CountingLayout>(CGRectMake(0, 0, 10, 10));
    parent->addSubview(child);
    parent->layoutIfNeeded();
    EXPECT_EQ(parent->layouts, 1);
    EXPECT_EQ(child->layouts, 1);
    parent->layoutIfNeeded();
    EXPECT_EQ(parent->layouts, 1);

    child->setNeedsLayout();
    child->setNeedsLayout();
    RunLoop::main().drain();
    EXPECT_EQ(child->layouts, 2);
    EXPECT_EQ(parent->layouts, 1);
    // A new size asks for layout too.
    parent->setFrame(CGRectMake(0, 0, 200, 100));
    parent->layoutIfNeeded();
    EXPECT_EQ(parent->layouts, 2);
}

TEST(ViewLayout, DrawRectRunsOncePerSetNeedsDisplayEvenAcrossRenders) {
    auto view = std::make_shared<CountingLayout>(CGRectMake(0, 0, 10, 10));
    renderViewToImage(*view);
    renderViewToImage(*view);
    EXPECT_EQ(view->draws, 1);
    view->setNeedsDisplay();
    RunLoop::main().drain();
    EXPECT_EQ(view->draws, 2);
    // A pass dropped by a reset run loop is posted again on the next request.
    view->setNeedsDisplay();
    RunLoop::main().reset();
    view->setNeedsDisplay();
    RunLoop::main().drain();
    EXPECT_EQ(view->draws, 3);
}

// --- Hit-testing and touches ----------------------------------------------------

TEST(ViewHitTesting, TheTopmostInteractiveVisibleViewUnderThePointWins) {
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, 300, 300));
    auto below = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
    auto above = std::make_shared<UIView>(CGRectMake(50, 50, 100, 100));
    root->addSubview(below);
    root->addSubview(above);
    EXPECT_EQ(root->hitTest({60, 60}), above);
    EXPECT_EQ(root->hitTest({10, 10}), below);
    EXPECT_EQ(root->hitTest({250, 250}), root);
    EXPECT_EQ(root->hitTest({300, 300}), nullptr);  // the far edge is outside

    above->setHidden(true);
    EXPECT_EQ(root->hitTest({60, 60}), below);
    above->setHidden(false);
    above->setAlpha(0.005);
    EXPECT_EQ(root->hitTest({60, 60}), below);
    above->setAlpha(0.01);
    EXPECT_EQ(root->hitTest({60, 60}), above);
    above->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest({60, 60}), below);
}

TEST(ViewHitTesting, AViewThatTakesNoTouchesHidesItsSubviewsToo) {
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, 300, 300));
    auto image = std::make_shared<UIImageView>(CGRectMake(0, 0, 200, 200));
    auto button = std::make_shared<UIButton>(CGRectMake(10, 10, 50, 50));
    image->addSubview(button);
    root->addSubview(image);
    EXPECT_EQ(root->hitTest({20, 20}), root);  // image views take no touches by default
    image->setUserInteractionEnabled(true);
    EXPECT_EQ(root->hitTest({20, 20}), button);
    button->setEnabled(false);
    EXPECT_EQ(root->hitTest({20, 20}), image);
}

TEST(WindowTouches, ATouchStaysWithTheViewItBeganInAndReadsInAnyViewsCoordinates) {
    auto window = visibleWindow();
    auto target = std::make_shared<TouchRecorder>(CGRectMake(100, 100, 50, 50));
    auto other = std::make_shared<TouchRecorder>(CGRectMake(0, 0, 50, 50));
    window->addSubview(target);
    window->addSubview(other);

    EXPECT_EQ(window->sendTouch(UITouchPhase::Began, {110, 120}), target);
    window->sendTouch(UITouchPhase::Moved, {10, 10});  // over `other`, still the same touch
    window->sendTouch(UITouchPhase::Ended, {300, 300});
    EXPECT_EQ(target->phases, (std::vector<std::string>{"began", "moved", "ended"}));
    EXPECT_EQ(target->points, (std::vector<CGPoint>{{10, 20}, {-90, -90}, {200, 200}}));
    EXPECT_TRUE(other->phases.empty());

    // After the end, moves without a touch go nowhere.
    EXPECT_EQ(window->sendTouch(UITouchPhase::Moved, {110, 110}), nullptr);
    EXPECT_EQ(target->phases.size(), 3u);
}

TEST(WindowTouches, ANewTouchCancelsTheOneStillDownAndPlainViewsPassTouchesUp) {
    auto window = visibleWindow();
    auto parent = std::make_shared<TouchRecorder>(CGRectMake(0, 0, 200, 200));
    auto plain = std::make_shared<UIView>(CGRectMake(10, 10, 20, 20));
    parent->addSubview(plain);
    window->addSubview(parent);
    EXPECT_EQ(window->sendTouch(UITouchPhase::Began, {15, 15}), plain);
    window->sendTouch(UITouchPhase::Began, {100, 100});
    window->sendTouch(UITouchPhase::Cancelled, {100, 100});
    EXPECT_EQ(parent->phases, (std::vector<std::string>{"began", "cancelled", "began", "cancelled"}));
    EXPECT_EQ(parent->points.front(), (CGPoint{15, 15}));
}

TEST(WindowTouches, AHiddenWindowTakesNoTouchesUntilShown) {
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 100, 100));
    EXPECT_EQ(window->sendTouch(UITouchPhase::Began, {10, 10}), nullptr);
    window->makeKeyAndVisible();
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_EQ(window->sendTouch(UITouchPhase::Began, {10, 10}), window);
}

TEST(WindowRoot, MakeKeyAndVisibleInstallsTheRootViewSizedToTheWindow) {
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 200, 300));
    auto controller = std::make_shared<UIViewController>();
    window->setRootViewController(controller);
    EXPECT_FALSE(controller->isViewLoaded());
    window->makeKeyAndVisible();
    ASSERT_EQ(window->subviews().size(), 1u);
    EXPECT_EQ(window->subviews()[0], controller->view());
    EXPECT_EQ(controller->view()->frame(), CGRectMake(0, 0, 200, 300));
    // Replacing the root swaps the views.
    auto next = std::make_shared<UIViewController>();
    window->setRootViewController(next);
    ASSERT_EQ(window->subviews().size(), 1u);
    EXPECT_EQ(window->subviews()[0], next->view());
    // The application's windows, oldest first, while they live.
    auto later = std::make_shared<UIWindow>();
    auto windows = UIWindow::windows();
    ASSERT_GE(windows.size(), 2u);
    EXPECT_EQ(windows[windows.size() - 2], window);
    EXPECT_EQ(windows.back(), later);
    const std::size_t count = windows.size();
    windows.clear();
    later.reset();
    EXPECT_EQ(UIWindow::windows().size(), count - 1);
    EXPECT_EQ(UIWindow::windows().back(), window);
}

// --- Buttons ---------------------------------------------------------------------

TEST(ButtonActions, DownInsideThenUpInsideFiresTouchUpInsideOnce) {
    auto window = visibleWindow();
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(10, 10, 100, 40));
    window->addSubview(button);
    int upInside = 0, upOutside = 0;
    button->addTarget([&](UIControl&) { ++upInside; }, UIControlEventTouchUpInside);
    button->addTarget([&](UIControl&) { ++upOutside; }, UIControlEventTouchUpOutside);

    window->sendTouch(UITouchPhase::Began, {20, 20});
    EXPECT_TRUE(button->isHighlighted());
    window->sendTouch(UITouchPhase::Ended, {30, 30});
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_EQ(upInside, 1);

    // Dragged off before lifting: no action.
    window->sendTouch(UITouchPhase::Began, {20, 20});
    window->sendTouch(UITouchPhase::Moved, {200, 200});
    EXPECT_FALSE(button->isHighlighted());
    window->sendTouch(UITouchPhase::Ended, {200, 200});
    EXPECT_EQ(upInside, 1);
    EXPECT_EQ(upOutside, 1);

    // Cancelled: nothing either.
    window->sendTouch(UITouchPhase::Began, {20, 20});
    window->sendTouch(UITouchPhase::Cancelled, {20, 20});
    EXPECT_EQ(upInside, 1);
}

namespace {
struct ButtonOwner {
    int taps = 0;
    std::string title;
    void tapped(UIButton& button) {
        ++taps;
        title = button.currentTitle();
    }
};
}  // namespace

TEST(ButtonActions, MemberTargetsAreHeldWeaklyAndAnActionMayRemoveItsButton) {
    auto window = visibleWindow();
    auto button = std::make_shared<UIButton>(CGRectMake(0, 0, 50, 50));
    button->setTitle("取消", UIControlStateNormal);
    window->addSubview(button);
    auto owner = std::make_shared<ButtonOwner>();
    button->addTarget(owner, &ButtonOwner::tapped, UIControlEventTouchUpInside);
    button->addTarget([](UIControl& sender) { sender.removeFromSuperview(); }, UIControlEventTouchUpInside);
    std::weak_ptr<UIButton> weakButton = button;
    button.reset();

    window->tap({10, 10});
    EXPECT_EQ(owner->taps, 1);
    EXPECT_EQ(owner->title, "取消");
    EXPECT_TRUE(window->subviews().empty());
    EXPECT_TRUE(weakButton.expired());

    auto again = std::make_shared<UIButton>(CGRectMake(0, 0, 50, 50));
    window->addSubview(again);
    again->addTarget(owner, &ButtonOwner::tapped, UIControlEventTouchUpInside);
    owner.reset();
    window->tap({10, 10});  // the target is gone: nothing happens, nothing crashes
}

TEST(ButtonStates, TitlesColoursAndImagesFallBackToTheNormalState) {
    UIButton button;
    button.setTitle("normal", UIControlStateNormal);
    button.setTitle("selected", UIControlStateSelected);
    button.setTitleColor(UIColor::blackColor(), UIControlStateNormal);
    EXPECT_EQ(button.currentTitle(), "normal");
    button.setSelected(true);
    EXPECT_EQ(button.currentTitle(), "selected");
    EXPECT_EQ(button.currentTitleColor(), UIColor::blackColor());
    EXPECT_EQ(button.titleForState(UIControlStateHighlighted), "normal");
    EXPECT_EQ(button.currentImage(), nullptr);
}

// --- Images ---------------------------------------------------------------------

TEST(ImageLoading, NamedImagesComeFromTheMainBundleOnceEachWithTheirExtensionsTried) {
    testing_support::TemporaryDirectory bundle;
    UIGraphicsBeginImageContext({4, 3});
    UIColor::colorWithRedGreenBlueAlpha(0, 0, 1, 0.5).setFill();
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 4, 3));
    auto drawn = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    ASSERT_TRUE(drawn);
    ASSERT_TRUE(drawn->writePNG(bundle.file("dot.png")));
    bundle.write("broken.png", "not a picture");

    const std::string previous = Bundle::main().bundlePath();
    Bundle::setMain(bundle.path().string());
    auto first = UIImage::imageNamed("dot");
    auto second = UIImage::imageNamed("dot");
    auto withExtension = UIImage::imageNamed("dot.png");
    EXPECT_EQ(UIImage::imageNamed("missing"), nullptr);
    EXPECT_EQ(UIImage::imageNamed("broken"), nullptr);
    EXPECT_EQ(UIImage::imageNamed(""), nullptr);
    Bundle::setMain(previous);

    ASSERT_TRUE(first);
    EXPECT_EQ(first, second);  // the very same object
    ASSERT_TRUE(withExtension);
    EXPECT_EQ(first->size(), (CGSize{4, 3}));
    const auto pixel = first->pixelAt(1, 1);
    ASSERT_TRUE(pixel);
    EXPECT_TRUE(near(*pixel, 0, 0, 255, 128)) << int(pixel->blue) << " " << int(pixel->alpha);
    EXPECT_FALSE(first->pixelAt(4, 0));
    EXPECT_FALSE(first->pixelAt(-1, 0));
}

TEST(ImageLoading, TheSampleAppsJpegAndPngPicturesDecode) {
    auto background = UIImage::imageWithContentsOfFile(std::string(HYBRID_SOURCE_DIR) + "/examples/app/login-bg.jpg");
    ASSERT_TRUE(background);
    EXPECT_EQ(background->size(), (CGSize{320, 568}));
    EXPECT_EQ(background->pixelAt(0, 0)->alpha, 255);
    auto node = UIImage::imageWithContentsOfFile(std::string(HYBRID_SOURCE_DIR) + "/examples/app/gesture_node_normal.png");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->size(), (CGSize{60, 60}));
    EXPECT_EQ(node->pixelAt(0, 0)->alpha, 0);  // transparent corners
    EXPECT_EQ(UIImage::imageWithContentsOfFile("/nonexistent/picture.png"), nullptr);
}

// --- Drawing ----------------------------------------------------------------------

TEST(ViewDrawing, AStrokedLineLandsOnItsPixelsAtEveryScale) {
    auto view = std::make_shared<LineView>(CGRectMake(0, 0, 100, 100));
    auto image = renderViewToImage(*view);
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(*image->pixelAt(50, 50), 255, 0, 0));
    EXPECT_TRUE(near(*image->pixelAt(50, 47), 255, 0, 0));
    EXPECT_EQ(image->pixelAt(50, 40)->alpha, 0);
    EXPECT_EQ(image->pixelAt(5, 50)->alpha, 0);  // before the start: butt caps

    auto doubled = renderViewToImage(*view, 2);
    EXPECT_EQ(doubled->pixelWidth(), 200);
    EXPECT_EQ(doubled->size(), (CGSize{100, 100}));
    EXPECT_TRUE(near(*doubled->pixelAt(100, 100), 255, 0, 0));
}

TEST(ViewDrawing, BackgroundsSubviewsAlphaAndRoundedClipsCompose) {
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, 100, 100));
    root->setBackgroundColor(UIColor::whiteColor());
    auto clipped = std::make_shared<UIView>(CGRectMake(10, 10, 40, 40));
    clipped->setBackgroundColor(UIColor::blackColor());
    clipped->layer().setCornerRadius(10);
    clipped->layer().setMasksToBounds(true);
    auto spill = std::make_shared<UIView>(CGRectMake(-10, -10, 100, 100));
    spill->setBackgroundColor(UIColor::redColor());
    clipped->addSubview(spill);
    auto faded = std::make_shared<UIView>(CGRectMake(60, 60, 20, 20));
    faded->setBackgroundColor(UIColor::blackColor());
    faded->setAlpha(0.5);
    auto hidden = std::make_shared<UIView>(CGRectMake(0, 90, 10, 10));
    hidden->setBackgroundColor(UIColor::blackColor());
    hidden->setHidden(true);
    root->addSubview(clipped);
    root->addSubview(faded);
    root->addSubview(hidden);

    auto image = renderViewToImage(*root);
    ASSERT_TRUE(image);
    EXPECT_TRUE(near(*image->pixelAt(30, 30), 255, 0, 0));   // the subview inside the clip
    EXPECT_TRUE(near(*image->pixelAt(10, 10), 255, 255, 255)); // the rounded corner is cut
    EXPECT_TRUE(near(*image->pixelAt(55, 30), 255, 255, 255)); // the spill outside the clip
    EXPECT_TRUE(near(*image->pixelAt(70, 70), 128, 128, 128, 255, 2));
    EXPECT_TRUE(near(*image->pixelAt(5, 95), 255, 255, 255));
}

TEST(ViewDrawing, LabelsAndImageViewsDrawAndBadTextNeverBreaksTheContext) {
    auto root = std::make_shared<UIView>(CGRectMake(0, 0, 100, 60));
    auto label = std::make_shared<UILabel>(CGRectMake(0, 0, 100, 30));
    label->setText(std::string("MMMM\xff\xfe") + "请输入");
    label->setTextAlignment(NSTextAlignmentCenter);
    auto picture = std::make_shared<UIImageView>(CGRectMake(0, 30, 100, 30));
    UIGraphicsBeginImageContext({2, 2});
    UIColor::systemGreenColor().setFill();
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 2, 2));
    picture->setImage(UIGraphicsGetImageFromCurrentImageContext());
    UIGraphicsEndImageContext();
    root->addSubview(label);
    root->addSubview(picture);

    auto image = renderViewToImage(*root);
    ASSERT_TRUE(image);
    int dark = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x) dark += image->pixelAt(x, y)->alpha > 128;
    EXPECT_GT(dark, 20);  // the text was drawn
    EXPECT_TRUE(near(*image->pixelAt(50, 45), 52, 199, 89));  // the image fills its view
    EXPECT_EQ(label->text().substr(0, 4), "MMMM");
}

TEST(ViewDrawing, ATreeRendersToAReadablePngFile) {
    testing_support::TemporaryDirectory folder;
    auto window = visibleWindow(CGRectMake(0, 0, 64, 32));
    window->setBackgroundColor(UIColor::colorWithRedGreenBlueAlpha(0, 0, 1, 1));
    const std::string path = folder.file("shot.png");
    ASSERT_TRUE(renderViewToPNG(*window, path, 2));
    auto back = UIImage::imageWithContentsOfFile(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixelWidth(), 128);
    EXPECT_EQ(back->pixelHeight(), 64);
    EXPECT_TRUE(near(*back->pixelAt(64, 32), 0, 0, 255));
    EXPECT_FALSE(renderViewToPNG(*window, folder.file("no/such/folder/shot.png")));
    EXPECT_FALSE(renderViewToPNG(*std::make_shared<UIView>(), folder.file("empty.png")));
}

// A screen shows no see-through pixel, and the status bar's clock and
// battery show in the style's colour on what lies under them.
TEST(ViewDrawing, AWindowIsOpaqueAndItsStatusBarReadableInEitherStyle) {
    auto& application = UIApplication::sharedApplication();
    application.reset();
    auto window = visibleWindow(CGRectMake(0, 0, 320, 100));
    const auto statusBarPixels = [](const UIImage& image, bool light) {
        int count = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 320; ++x) count += (image.pixelAt(x, y)->red > 128) == light;
        return count;
    };

    application.setStatusBarStyle(UIStatusBarStyleLightContent);
    auto image = renderViewToImage(*window);
    ASSERT_TRUE(image);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 320; ++x) ASSERT_EQ(image->pixelAt(x, y)->alpha, 255) << x << "," << y;
    EXPECT_TRUE(near(*image->pixelAt(160, 60), 0, 0, 0));  // no background colour: black
    EXPECT_GT(statusBarPixels(*image, true), 100);

    // Under dark content, a navigation bar's light colour runs up behind the status bar.
    auto navigation = UINavigationController::create(std::make_shared<UIViewController>());
    window->setRootViewController(navigation);
    application.setStatusBarStyle(UIStatusBarStyleDefault);
    image = renderViewToImage(*window);
    EXPECT_TRUE(near(*image->pixelAt(100, 10), 247, 247, 247));
    EXPECT_GT(statusBarPixels(*image, false), 100);

    window->setRootViewController(nullptr);
    window->setBackgroundColor(UIColor::colorWithRedGreenBlueAlpha(0, 0, 1, 0.5));
    EXPECT_TRUE(near(*renderViewToImage(*window)->pixelAt(160, 60), 0, 0, 128, 255, 2));  // over black
    application.reset();
}

TEST(ImageContexts, NestedContextsEndInOrderAndStrayCallsAreHarmless) {
    UIGraphicsEndImageContext();
    UIGraphicsPopContext();
    EXPECT_EQ(UIGraphicsGetImageFromCurrentImageContext(), nullptr);
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 1, 1));
    UIBezierPath().stroke();

    UIGraphicsBeginImageContext({10, 10});
    CGContextRef outer = UIGraphicsGetCurrentContext();
    UIGraphicsBeginImageContextWithOptions({-5, 0}, false, 0);
    auto inner = UIGraphicsGetImageFromCurrentImageContext();
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->pixelWidth(), 1);
    UIGraphicsEndImageContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext(), outer);
    UIGraphicsEndImageContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
}

TEST(Layers, AnimationsAreRecordedUnderTheirKeysAndALaterOneReplaces) {
    UIView view;
    auto shake = CAKeyframeAnimation::animationWithKeyPath("position");
    shake->setDuration(0.5);
    shake->setValues({CGPoint{1, 2}, 3.0});
    view.layer().addAnimationForKey(shake, "TextAnim");
    view.layer().addAnimationForKey(nullptr, "Other");
    EXPECT_EQ(view.layer().animationForKey("TextAnim"), shake);
    EXPECT_EQ(view.layer().animationKeys(), (std::vector<std::string>{"TextAnim"}));
    auto again = CAKeyframeAnimation::animationWithKeyPath("position");
    view.layer().addAnimationForKey(again, "TextAnim");
    EXPECT_EQ(view.layer().animationForKey("TextAnim"), again);
    EXPECT_EQ(view.frame(), CGRectZero);
}
