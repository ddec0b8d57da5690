#include "platform/ui/ViewController.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"

using platform::UIView;
using platform::UIViewController;

namespace {

class RecordingController : public UIViewController {
public:
    std::vector<std::string> calls;
    bool makeNothing = false;

    void loadView() override {
        calls.push_back("loadView");
        if (!makeNothing) setView(std::make_shared<UIView>(platform::CGRectMake(0, 0, 100, 50)));
    }
    void viewDidLoad() override {
        calls.push_back("viewDidLoad:" + std::string(isViewLoaded() ? "loaded" : "none"));
    }
    void viewDidUnload() override {
        calls.push_back("viewDidUnload:" + std::string(isViewLoaded() ? "loaded" : "none"));
    }
};

}  // namespace

TEST(ViewControllerLoading, TheViewIsMadeOnFirstUseThenKept) {
    RecordingController controller;
    EXPECT_FALSE(controller.isViewLoaded());
    EXPECT_TRUE(controller.calls.empty());
    auto view = controller.view();
    EXPECT_EQ(view->frame(), platform::CGRectMake(0, 0, 100, 50));
    EXPECT_EQ(controller.view(), view);
    EXPECT_EQ(controller.calls, (std::vector<std::string>{"loadView", "viewDidLoad:loaded"}));
}

TEST(ViewControllerLoading, ThePlainViewFillsTheScreenAndFollowsItsParent) {
    UIViewController controller;
    auto view = controller.view();
    EXPECT_EQ(view->frame(), platform::UIScreenBounds);
    auto window = std::make_shared<UIView>(platform::UIScreenBounds);
    window->addSubview(view);
    window->setFrame(platform::CGRectMake(0, 0, 568, 320));
    EXPECT_EQ(view->frame(), platform::CGRectMake(0, 0, 568, 320));
}

TEST(ViewControllerLoading, ALoadViewThatMakesNothingStillYieldsAViewAndALogLine) {
    platform::LogCapture logs;
    RecordingController controller;
    controller.makeNothing = true;
    ASSERT_NE(controller.view(), nullptr);
    EXPECT_EQ(controller.calls, (std::vector<std::string>{"loadView", "viewDidLoad:loaded"}));
    EXPECT_EQ(logs.count("loadView"), 1u);
}

TEST(ViewControllerLoading, UnloadingDropsTheViewAndTheNextUseLoadsAgain) {
    RecordingController controller;
    auto window = std::make_shared<UIView>(platform::UIScreenBounds);
    auto first = controller.view();
    window->addSubview(first);
    controller.unloadView();
    EXPECT_FALSE(controller.isViewLoaded());
    EXPECT_TRUE(window->subviews().empty());
    EXPECT_EQ(first->superview(), nullptr);
    controller.unloadView();  // nothing loaded: no second viewDidUnload

    auto second = controller.view();
    EXPECT_NE(second, first);
    EXPECT_EQ(controller.calls, (std::vector<std::string>{"loadView", "viewDidLoad:loaded", "viewDidUnload:none",
                                                          "loadView", "viewDidLoad:loaded"}));
}

TEST(ViewControllerLoading, OnlyTheMainThreadMayAskForTheView) {
    RecordingController controller;
    bool refused = false;
    std::thread([&] {
        try {
            controller.view();
        } catch (const platform::AssertionFailure& failure) {
            refused = failure.description().find("main thread") != std::string::npos;
        }
    }).join();
    EXPECT_TRUE(refused);
    EXPECT_FALSE(controller.isViewLoaded());
    EXPECT_TRUE(controller.calls.empty());
}

