#include "platform/ui/Screen.h"

#include <gtest/gtest.h>

#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using platform::CGRectMake;

TEST(Screen, WindowsAndFirstViewsAreMadeAtTheScreensBoundsWhichStartAtTheOrigin) {
    auto& screen = platform::UIScreen::mainScreen();
    EXPECT_EQ(screen.bounds(), platform::UIScreenBounds);
    EXPECT_EQ(screen.scale(), 2);
    screen.setBounds(CGRectMake(10, 20, 375, 667));
    EXPECT_EQ(screen.bounds(), CGRectMake(0, 0, 375, 667));
    EXPECT_EQ(platform::UIWindow().frame(), CGRectMake(0, 0, 375, 667));
    platform::UIViewController controller;
    EXPECT_EQ(controller.view()->frame(), CGRectMake(0, 0, 375, 667));
    screen.reset();
}
