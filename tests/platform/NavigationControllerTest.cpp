// The navigation controller's stack, appearance calls, bar and content
// layout, and the responder walk from a view up to the controllers around it.
#include "platform/ui/NavigationController.h"
#include "platform/ui/Responder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/Application.h"

using namespace platform;

namespace {

class RecordingController : public UIViewController {
public:
    RecordingController(std::string name, std::vector<std::string>& calls) : name_(std::move(name)), calls_(calls) {}
    void viewWillAppear(bool) override { calls_.push_back(name_ + " will appear"); }
    void viewDidAppear(bool) override { calls_.push_back(name_ + " did appear"); }
    void viewWillDisappear(bool) override { calls_.push_back(name_ + " will disappear"); }
    void viewDidDisappear(bool) override { calls_.push_back(name_ + " did disappear"); }
    void viewDidLayoutSubviews() override { ++layouts; }
    int layouts = 0;

private:
    std::string name_;
    std::vector<std::string>& calls_;
};

class NavigationControllerTest : public ::testing::Test {
protected:
    std::vector<std::string> calls_;
};

}  // namespace

TEST_F(NavigationControllerTest, PushAndPopTellTheControllersThatComeAndGoWhileOnScreen) {
    auto root = std::make_shared<RecordingController>("root", calls_);
    auto next = std::make_shared<RecordingController>("next", calls_);
    auto navigation = UINavigationController::create(root);
    EXPECT_EQ(root->navigationController(), navigation);
    EXPECT_EQ(next->navigationController(), nullptr);

    navigation->pushViewController(next, false);  // not on screen yet: no calls
    EXPECT_TRUE(calls_.empty());
    navigation->popViewControllerAnimated(false);

    navigation->viewWillAppear(false);
    navigation->viewDidAppear(false);
    navigation->pushViewController(next, false);
    navigation->pushViewController(next, true);  // already there
    EXPECT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_EQ(next->navigationController(), navigation);
    EXPECT_EQ(next->view()->superview(), navigation->view());
    EXPECT_EQ(root->view()->superview(), nullptr);

    EXPECT_EQ(navigation->popViewControllerAnimated(false), next);
    EXPECT_EQ(navigation->popViewControllerAnimated(false), nullptr);  // the root stays
    EXPECT_EQ(next->navigationController(), nullptr);
    EXPECT_EQ(navigation->topViewController(), root);
    EXPECT_EQ(calls_, (std::vector<std::string>{"root will appear", "root did appear", "root will disappear",
                                                "next will appear", "root did disappear", "next did appear",
                                                "next will disappear", "root will appear", "next did disappear",
                                                "root did appear"}));
}

TEST_F(NavigationControllerTest, TheBarSitsUnderTheStatusBarAndTheContentBelowIt) {
    auto root = std::make_shared<RecordingController>("root", calls_);
    root->setTitle("Card");
    auto navigation = UINavigationController::create(root);
    navigation->view()->setFrame(CGRectMake(0, 0, 320, 568));
    navigation->view()->layoutIfNeeded();
    EXPECT_EQ(navigation->navigationBar()->frame(), CGRectMake(0, 20, 320, 44));
    EXPECT_EQ(navigation->navigationBar()->title(), "Card");
    EXPECT_EQ(root->view()->frame(), CGRectMake(0, 64, 320, 504));

    navigation->setNavigationBarHidden(true, true);
    EXPECT_TRUE(navigation->navigationBar()->isHidden());
    EXPECT_EQ(root->view()->frame(), CGRectMake(0, 0, 320, 568));
    root->view()->layoutIfNeeded();
    EXPECT_GE(root->layouts, 1);  // the controller hears its view's layout
}

TEST_F(NavigationControllerTest, TheResponderWalkFindsTheControllersAroundAView) {
    auto root = std::make_shared<UIViewController>();
    auto navigation = UINavigationController::create(root);
    navigation->view();
    auto button = std::make_shared<UIView>();
    root->view()->addSubview(button);

    UIResponder step(button);
    step = step.nextResponder();
    EXPECT_EQ(step.view(), root->view());
    step = step.nextResponder();
    EXPECT_EQ(step.viewController(), root);
    step = step.nextResponder();
    EXPECT_EQ(step.view(), navigation->view());
    step = step.nextResponder();
    EXPECT_EQ(step.viewController(), navigation);
    EXPECT_FALSE(step.nextResponder());

    // A controller whose view is not in place reaches its parent directly.
    auto pushed = std::make_shared<UIViewController>();
    navigation->pushViewController(pushed, false);
    EXPECT_EQ(UIResponder(root).nextResponder().viewController(), navigation);
    EXPECT_FALSE(UIResponder().nextResponder());
}
