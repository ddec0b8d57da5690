// The form's controls: text fields typed through the keyboard and their
// delegate, the keyboard's notifications and keys, grouped tables and their
// separators, scroll insets, bar items in the navigation bar, and the
// animated push on the run loop's clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Render.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

using namespace platform;

namespace {

// Takes digits only, at most four of them.
class DigitsDelegate : public UITextFieldDelegate {
public:
    bool textFieldShouldChangeCharactersInRange(UITextField& field, NSRange range, const std::string& text) override {
        ranges.push_back(range);
        for (char c : text)
            if (c < '0' || c > '9') return false;
        return field.text().size() - range.length + text.size() <= 4;
    }
    bool textFieldShouldBeginEditing(UITextField&) override { return allowBegin; }
    void textFieldDidEndEditing(UITextField&) override { ++ended; }
    std::vector<NSRange> ranges;
    bool allowBegin = true;
    int ended = 0;
};

class FormControls : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {UIKeyboardWillShowNotification, UIKeyboardDidShowNotification,
                                 UIKeyboardWillHideNotification, UIKeyboardDidHideNotification,
                                 UITextFieldTextDidChangeNotification}) {
            NotificationCenter::defaultCenter().addObserver(this, name, nullptr,
                                                            [this](const Notification& n) { posted.push_back(n); });
        }
    }
    void TearDown() override {
        if (const auto field = UITextField::firstResponder()) field->resignFirstResponder();
        NotificationCenter::defaultCenter().removeObserver(this);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& n : posted) out.push_back(n.name);
        return out;
    }
    std::vector<Notification> posted;
};

// Pixels of `rect` darker than mid grey: a label's or a glyph's strokes.
int darkPixels(const UIImage& image, CGRect rect) {
    int dark = 0;
    for (int y = int(rect.origin.y); y < int(rect.origin.y + rect.size.height); ++y)
        for (int x = int(rect.origin.x); x < int(rect.origin.x + rect.size.width); ++x)
            if (const auto pixel = image.pixelAt(x, y); pixel && pixel->alpha > 200 && pixel->red < 128) ++dark;
    return dark;
}

}  // namespace

TEST_F(FormControls, TypingGoesThroughTheDelegateKeepsTheCaretAndPostsChanges) {
    auto field = std::make_shared<UITextField>(CGRectMake(0, 0, 200, 30));
    auto delegate = std::make_shared<DigitsDelegate>();
    field->setDelegate(delegate);
    EXPECT_FALSE(UIKeyboard::shared().typeText("1"));  // nobody has the keyboard

    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_TRUE(UIKeyboard::shared().typeText("12a3"));
    EXPECT_EQ(field->text(), "123");
    EXPECT_EQ(field->caretOffset(), 3u);
    field->setCaretOffset(1);
    EXPECT_TRUE(field->insertText("9"));
    EXPECT_FALSE(field->insertText("5"));  // a fifth digit is refused
    EXPECT_EQ(field->text(), "1923");
    EXPECT_EQ(field->caretOffset(), 2u);
    EXPECT_TRUE(UIKeyboard::shared().pressBackspace(1));
    EXPECT_EQ(field->text(), "123");
    EXPECT_EQ(field->caretOffset(), 1u);
    EXPECT_EQ(delegate->ranges.back(), (NSRange{1, 1}));

    field->setText("77");  // the program's own change posts nothing
    const auto all = names();
    const auto changes = std::count(all.begin(), all.end(), UITextFieldTextDidChangeNotification);
    EXPECT_EQ(changes, 5);  // 1, 2, 3, 9, backspace
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.back().sender, field.get());
}

TEST_F(FormControls, TheKeyboardShowsForTheFirstResponderAndHidesAfterTheLast) {
    UIScreen::mainScreen().setBounds(CGRectMake(0, 0, 320, 568));
    auto first = std::make_shared<UITextField>();
    auto second = std::make_shared<UITextField>();
    auto refusing = std::make_shared<DigitsDelegate>();
    refusing->allowBegin = false;
    auto third = std::make_shared<UITextField>();
    third->setDelegate(refusing);
    auto delegate = std::make_shared<DigitsDelegate>();
    first->setDelegate(delegate);

    ASSERT_TRUE(first->becomeFirstResponder());
    ASSERT_TRUE(second->becomeFirstResponder());  // handed over: the keyboard stays up
    EXPECT_FALSE(third->becomeFirstResponder());
    EXPECT_EQ(UITextField::firstResponder(), second);
    EXPECT_FALSE(first->isFirstResponder());
    EXPECT_EQ(delegate->ended, 1);
    ASSERT_EQ(names(), (std::vector<std::string>{UIKeyboardWillShowNotification, UIKeyboardDidShowNotification}));
    const Value& frame = posted.front().userInfo[UIKeyboardFrameEndUserInfoKey];
    EXPECT_EQ(frame[1].doubleValue(), 568 - 216);
    EXPECT_EQ(frame[2].doubleValue(), 320);
    EXPECT_EQ(posted.front().userInfo[UIKeyboardAnimationDurationUserInfoKey].doubleValue(), 0.25);

    second->resignFirstResponder();
    EXPECT_FALSE(UIKeyboard::shared().isVisible());
    EXPECT_EQ(names().back(), UIKeyboardDidHideNotification);
    EXPECT_FALSE(UIKeyboard::shared().pressReturn());

    UIApplication::sharedApplication().setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    EXPECT_EQ(UIKeyboard::shared().frame().size.height, 162);
}

TEST_F(FormControls, TheKeysAreLabelledAndANumberPadFieldGetsTheDigitPad) {
    UIScreen::mainScreen().setBounds(CGRectMake(0, 0, 320, 568));
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->makeKeyAndVisible();
    auto field = std::make_shared<UITextField>(CGRectMake(10, 100, 300, 40));
    window->addSubview(field);
    ASSERT_TRUE(field->becomeFirstResponder());
    const auto grey = [](const UIImage& image, int x, int y) { return int(image.pixelAt(x, y)->red); };

    auto letters = renderViewToImage(*window);
    ASSERT_TRUE(letters);
    EXPECT_GT(darkPixels(*letters, CGRectMake(3, 358, 26, 44)), 10);  // the Q key's label
    EXPECT_NEAR(grey(*letters, 32, 380), 209, 3);                    // the gap between Q and W

    field->setKeyboardType(UIKeyboardTypeNumberPad);
    auto pad = renderViewToImage(*window);
    ASSERT_TRUE(pad);
    EXPECT_NEAR(grey(*pad, 32, 380), 250, 3);                        // the 1 key, a third of the width
    EXPECT_GT(darkPixels(*pad, CGRectMake(3, 358, 100, 49)), 10);     // its digit
    EXPECT_NEAR(grey(*pad, 53, 540), 209, 3);                        // no key left of the 0
    EXPECT_GT(darkPixels(*pad, CGRectMake(250, 520, 40, 40)), 20);    // the delete key's sign
    EXPECT_EQ(darkPixels(*letters, CGRectMake(260, 520, 40, 40)), 0);
}

TEST_F(FormControls, AFieldThatGoesAwayGivesUpTheKeyboard) {
    auto field = std::make_shared<UITextField>();
    ASSERT_TRUE(field->becomeFirstResponder());
    field.reset();
    EXPECT_FALSE(UIKeyboard::shared().isVisible());
    EXPECT_EQ(UITextField::firstResponder(), nullptr);
}

namespace {

class TwoSections : public UITableViewDataSource, public UITableViewDelegate {
public:
    long numberOfSectionsInTableView(UITableView&) override { return 2; }
    long numberOfRowsInSection(UITableView&, long section) override { return section == 0 ? 2 : 1; }
    std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(UITableView&, NSIndexPath path) override {
        if (path.section == 1) return nullptr;  // answered with an empty row
        auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyleValue1, "cell");
        cell->textLabel()->setText("row " + std::to_string(path.row));
        return cell;
    }
    std::string titleForHeaderInSection(UITableView&, long section) override { return section == 1 ? "Card" : ""; }
    double heightForRowAtIndexPath(UITableView&, NSIndexPath path) override { return path.section == 0 ? 44 : 60; }
    void didSelectRowAtIndexPath(UITableView&, NSIndexPath path) override { selected.push_back(path); }
    std::vector<NSIndexPath> selected;
};

}  // namespace

TEST_F(FormControls, AGroupedTableInsetsItsSectionsAndSelectsTappedRows) {
    auto table = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 300), UITableViewStyleGrouped);
    auto source = std::make_shared<TwoSections>();
    table->setDataSource(source);
    table->setDelegate(source);
    table->reloadData();

    EXPECT_EQ(table->cellForRowAtIndexPath({0, 1})->frame(), CGRectMake(10, 54, 300, 44));
    EXPECT_EQ(table->rectForSection(0), CGRectMake(10, 10, 300, 88));
    EXPECT_EQ(table->rectForSection(1), CGRectMake(10, 108 + 38, 300, 60));  // footer 10, titled header 38
    EXPECT_NE(table->cellForRowAtIndexPath({1, 0}), nullptr);
    EXPECT_EQ(table->cellForRowAtIndexPath({2, 0}), nullptr);
    EXPECT_EQ(table->contentSize().height, 146 + 60 + 10);

    table->setFrame(CGRectMake(0, 0, 480, 300));  // rotated: the rows follow the width
    table->layoutIfNeeded();
    EXPECT_EQ(table->cellForRowAtIndexPath({0, 0})->frame().size.width, 460);

    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 480, 300));
    window->addSubview(table);
    window->makeKeyAndVisible();
    window->tap({100, 70});  // on row 1's label
    ASSERT_EQ(source->selected.size(), 1u);
    EXPECT_EQ(source->selected[0], (NSIndexPath{0, 1}));
}

TEST_F(FormControls, SeparatorsShowBetweenOpaqueRowsFromTheSeparatorInset) {
    auto table = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 300), UITableViewStyleGrouped);
    auto source = std::make_shared<TwoSections>();
    table->setDataSource(source);
    table->setDelegate(source);
    table->reloadData();
    for (long row = 0; row < 2; ++row) table->cellForRowAtIndexPath({0, row})->setBackgroundColor(UIColor::whiteColor());
    // Row 0 spans y 10 to 54, from x 10; the line is its last pixel row.
    const auto grey = [&](double scale, int x, int y) { return int(renderViewToImage(*table, scale)->pixelAt(x, y)->red); };
    EXPECT_NEAR(grey(1, 100, 53), 199, 3);
    EXPECT_NEAR(grey(1, 100, 52), 255, 1);
    EXPECT_NEAR(grey(1, 15, 53), 255, 1);  // inside the inset, where the text starts
    EXPECT_NEAR(grey(1, 100, 97), 255, 1);  // the section's last row closes it with none
    EXPECT_NEAR(grey(2, 200, 107), 199, 3);  // one pixel at any scale
    EXPECT_NEAR(grey(2, 200, 105), 255, 1);

    table->setSeparatorInset(UIEdgeInsetsZero);
    EXPECT_NEAR(grey(1, 15, 53), 199, 3);
    table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    EXPECT_NEAR(grey(1, 100, 53), 255, 1);
}

TEST_F(FormControls, ScrollingARectIntoViewHonoursTheContentInset) {
    UIScrollView scroll(CGRectMake(0, 0, 320, 400));
    scroll.setContentSize({320, 800});
    scroll.setContentInset(UIEdgeInsetsMake(0, 0, 216, 0));  // the keyboard's height
    scroll.scrollRectToVisible(CGRectMake(0, 300, 320, 44), false);
    EXPECT_EQ(scroll.contentOffset(), (CGPoint{0, 300 + 44 - 184}));
    scroll.scrollRectToVisible(CGRectMake(0, 10, 320, 44), false);
    EXPECT_EQ(scroll.contentOffset(), (CGPoint{0, 10}));
    scroll.scrollRectToVisible(CGRectMake(0, 790, 320, 100), false);  // clamped to the content and its inset
    EXPECT_EQ(scroll.contentOffset(), (CGPoint{0, 800 + 216 - 400}));
}

TEST_F(FormControls, BarItemsTriggerWhenEnabledAndTheBackButtonPops) {
    int done = 0;
    auto item = std::make_shared<UIBarButtonItem>("Done", UIBarButtonItemStyleDone, [&] { ++done; });
    item->setEnabled(false);
    EXPECT_FALSE(item->trigger());
    EXPECT_FALSE(UIBarButtonItem("Cancel", UIBarButtonItemStylePlain).trigger());  // no target

    auto root = std::make_shared<UIViewController>();
    root->setTitle("Cards");
    auto form = std::make_shared<UIViewController>();
    form->navigationItem()->setRightBarButtonItem(item);
    auto navigation = UINavigationController::create(root);
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    navigation->pushViewController(form, false);

    const auto bar = navigation->navigationBar();
    const auto items = bar->visibleItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0].isBackButton);
    EXPECT_EQ(items[0].item->title(), "Cards");
    const CGRect right = items[1].rect;
    const CGPoint tapAt = bar->convertPointToView({right.origin.x + 5, right.origin.y + 5}, nullptr);
    window->tap(tapAt);
    EXPECT_EQ(done, 0);  // greyed
    item->setEnabled(true);
    window->tap(tapAt);
    EXPECT_EQ(done, 1);

    window->tap(bar->convertPointToView({items[0].rect.origin.x + 5, 22}, nullptr));
    RunLoop::main().runUntil([&] { return !navigation->isTransitioning(); }, 5);
    EXPECT_EQ(navigation->topViewController(), root);
}

TEST_F(FormControls, AnAnimatedPushSlidesOnTheClockWithTheAppearanceCallsAtItsEnds) {
    ScopedManualClock manual;
    auto root = std::make_shared<UIViewController>();
    auto next = std::make_shared<UIViewController>();
    auto navigation = UINavigationController::create(root);
    navigation->view()->setFrame(CGRectMake(0, 0, 320, 568));
    navigation->viewWillAppear(false);
    navigation->viewDidAppear(false);

    navigation->pushViewController(next, true);
    EXPECT_EQ(navigation->topViewController(), next);
    EXPECT_TRUE(navigation->isTransitioning());
    EXPECT_EQ(next->view()->frame().origin.x, 320);
    manual->advance(0.15);
    RunLoop::main().runOnce();
    EXPECT_NEAR(next->view()->frame().origin.x, 160, 0.01);  // half way, eased symmetrically
    EXPECT_EQ(root->view()->superview(), navigation->view());
    manual->advance(0.2);
    RunLoop::main().runOnce();
    EXPECT_FALSE(navigation->isTransitioning());
    EXPECT_EQ(next->view()->frame().origin.x, 0);
    EXPECT_EQ(root->view()->superview(), nullptr);

    EXPECT_EQ(navigation->popToRootViewControllerAnimated(false).size(), 1u);
    EXPECT_EQ(navigation->topViewController(), root);
}

TEST(DeviceVibration, LogsAndCounts) {
    UIDevice::currentDevice().reset();
    UIDevice::vibrate();
    UIDevice::currentDevice().vibrate();
    EXPECT_EQ(UIDevice::vibrationCount(), 2);
    UIDevice::currentDevice().reset();
    EXPECT_EQ(UIDevice::vibrationCount(), 0);
}
