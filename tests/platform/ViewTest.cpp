#include "platform/ui/View.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using platform::CGRectMake;
using platform::UIView;

namespace {

std::shared_ptr<UIView> makeView(double x, double y, double w, double h, unsigned mask = 0) {
    auto view = std::make_shared<UIView>(CGRectMake(x, y, w, h));
    view->setAutoresizingMask(mask);
    return view;
}

}  // namespace

// --- Autoresizing -------------------------------------------------------------

TEST(ViewAutoresizing, AFlexibleChildFollowsItsParentsSizeKeepingItsMargins) {
    auto parent = makeView(0, 0, 320, 480);
    auto child = makeView(10, 20, 300, 440,
                          platform::UIViewAutoresizingFlexibleWidth | platform::UIViewAutoresizingFlexibleHeight);
    parent->addSubview(child);
    parent->setFrame(CGRectMake(0, 0, 480, 320));
    EXPECT_EQ(child->frame(), CGRectMake(10, 20, 460, 280));
    // Moving without resizing leaves the child be.
    parent->setFrame(CGRectMake(50, 50, 480, 320));
    EXPECT_EQ(child->frame(), CGRectMake(10, 20, 460, 280));
}

TEST(ViewAutoresizing, AFixedChildStaysAndFlexibleMarginsTakeTheChange) {
    auto parent = makeView(0, 0, 300, 300);
    auto fixed = makeView(10, 10, 100, 100);
    auto pinnedRight = makeView(190, 10, 100, 100, platform::UIViewAutoresizingFlexibleLeftMargin);
    auto centred = makeView(100, 100, 100, 100,
                            platform::UIViewAutoresizingFlexibleLeftMargin |
                                platform::UIViewAutoresizingFlexibleRightMargin |
                                platform::UIViewAutoresizingFlexibleTopMargin |
                                platform::UIViewAutoresizingFlexibleBottomMargin);
    parent->addSubview(fixed);
    parent->addSubview(pinnedRight);
    parent->addSubview(centred);
    parent->setFrame(CGRectMake(0, 0, 500, 400));
    EXPECT_EQ(fixed->frame(), CGRectMake(10, 10, 100, 100));
    EXPECT_EQ(pinnedRight->frame(), CGRectMake(390, 10, 100, 100));
    EXPECT_EQ(centred->frame(), CGRectMake(200, 150, 100, 100));
}

TEST(ViewAutoresizing, ChangesReachGrandchildren) {
    const unsigned flexible = platform::UIViewAutoresizingFlexibleWidth | platform::UIViewAutoresizingFlexibleHeight;
    auto root = makeView(0, 0, 320, 568);
    auto middle = makeView(0, 20, 320, 548, flexible);
    auto leaf = makeView(0, 0, 320, 548, flexible);
    root->addSubview(middle);
    middle->addSubview(leaf);
    root->setFrame(CGRectMake(0, 0, 568, 320));
    EXPECT_EQ(middle->frame(), CGRectMake(0, 20, 568, 300));
    EXPECT_EQ(leaf->frame(), CGRectMake(0, 0, 568, 300));
}

// --- The tree -----------------------------------------------------------------

TEST(ViewTree, SubviewsKeepTheirOrderAndCanBeMovedToEitherEnd) {
    auto parent = makeView(0, 0, 10, 10);
    auto a = makeView(0, 0, 1, 1), b = makeView(0, 0, 1, 1), c = makeView(0, 0, 1, 1);
    parent->addSubview(a);
    parent->addSubview(b);
    parent->addSubview(c);
    using List = std::vector<std::shared_ptr<UIView>>;
    EXPECT_EQ(parent->subviews(), (List{a, b, c}));
    parent->bringSubviewToFront(a);
    EXPECT_EQ(parent->subviews(), (List{b, c, a}));
    parent->sendSubviewToBack(c);
    EXPECT_EQ(parent->subviews(), (List{c, b, a}));
    parent->addSubview(c);  // adding again moves it to the front
    EXPECT_EQ(parent->subviews(), (List{b, a, c}));
    parent->bringSubviewToFront(makeView(0, 0, 1, 1));  // not a subview: ignored
    EXPECT_EQ(parent->subviews(), (List{b, a, c}));
    EXPECT_EQ(a->superview(), parent);
}

TEST(ViewTree, AddingToAnotherParentMovesTheView) {
    auto first = makeView(0, 0, 10, 10), second = makeView(0, 0, 10, 10), child = makeView(0, 0, 1, 1);
    first->addSubview(child);
    second->addSubview(child);
    EXPECT_TRUE(first->subviews().empty());
    EXPECT_EQ(second->subviews().size(), 1u);
    EXPECT_EQ(child->superview(), second);
}

TEST(ViewTree, RemovingFromTheSuperviewDetachesBothWays) {
    auto parent = makeView(0, 0, 10, 10);
    auto child = makeView(0, 0, 1, 1);
    parent->addSubview(child);
    child->removeFromSuperview();
    EXPECT_TRUE(parent->subviews().empty());
    EXPECT_EQ(child->superview(), nullptr);
    child->removeFromSuperview();  // a second time is harmless

    // A view owned only by its parent survives its own removal call.
    auto weak = std::weak_ptr<UIView>();
    {
        auto orphan = makeView(0, 0, 1, 1);
        parent->addSubview(orphan);
        weak = orphan;
    }
    weak.lock()->removeFromSuperview();
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(parent->subviews().empty());
}

TEST(ViewTree, AViewCannotBecomePartOfItsOwnSubtree) {
    auto root = makeView(0, 0, 100, 100);
    auto child = makeView(0, 0, 100, 100, platform::UIViewAutoresizingFlexibleWidth);
    auto grandchild = makeView(0, 0, 100, 100, platform::UIViewAutoresizingFlexibleWidth);
    root->addSubview(child);
    child->addSubview(grandchild);
    grandchild->addSubview(root);
    child->addSubview(child);
    EXPECT_EQ(root->superview(), nullptr);
    EXPECT_TRUE(grandchild->subviews().empty());
    EXPECT_EQ(child->subviews().size(), 1u);
    root->setFrame(CGRectMake(0, 0, 200, 100));  // terminates
    EXPECT_EQ(grandchild->frame().size.width, 200);
}
