#include "platform/ui/NavigationController.h"

#include <algorithm>
#include <utility>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Context.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"

namespace platform {

namespace {

constexpr double kSlideDuration = 0.3;
constexpr double kSlideFrameInterval = 1.0 / 60;
constexpr double kItemMargin = 6;
constexpr double kItemPadding = 10;
constexpr double kItemHeight = 30;

double easeInEaseOut(double t) { return t * t * (3 - 2 * t); }

UIFont itemFont(const UIBarButtonItem& item) {
    return item.style() == UIBarButtonItemStyleDone ? UIFont::boldSystemFontOfSize(15) : UIFont::systemFontOfSize(15);
}

}  // namespace

std::string UINavigationBar::title() const {
    if (const auto controller = controller_.lock()) {
        if (const auto top = controller->topViewController()) {
            const std::string& itemTitle = top->navigationItem()->title();
            if (!itemTitle.empty()) return itemTitle;
            if (!top->title().empty()) return top->title();
        }
    }
    return title_;
}

void UINavigationBar::setTitle(std::string title) {
    if (title == title_) return;
    title_ = std::move(title);
    setNeedsDisplay();
}

void UINavigationBar::setBarStyle(long style) {
    barStyle_ = style;
    setNeedsDisplay();
}

void UINavigationBar::setBarTintColor(std::optional<UIColor> color) {
    barTintColor_ = std::move(color);
    setNeedsDisplay();
}

std::vector<UINavigationBar::PlacedItem> UINavigationBar::visibleItems() const {
    std::vector<PlacedItem> placed;
    const auto controller = controller_.lock();
    const auto top = controller ? controller->topViewController() : nullptr;
    if (!top) return placed;
    const auto item = top->navigationItem();
    const CGRect b = bounds();
    const double y = b.origin.y + (b.size.height - kItemHeight) / 2;
    auto width = [](const UIBarButtonItem& button, const std::string& shown) {
        return sizeWithFont(shown, itemFont(button)).width + 2 * kItemPadding;
    };
    std::shared_ptr<UIBarButtonItem> left = item->leftBarButtonItem();
    bool back = false;
    const auto& stack = controller->viewControllers();
    if (!left && stack.size() >= 2 && !item->hidesBackButton()) {
        const auto previous = stack[stack.size() - 2];
        const auto previousItem = previous->navigationItem();
        std::string backTitle = previousItem->backBarButtonItem() ? previousItem->backBarButtonItem()->title()
                                : !previousItem->title().empty() ? previousItem->title()
                                                                 : previous->title();
        if (backTitle.empty()) backTitle = "Back";
        if (!backButton_) {
            std::weak_ptr<UINavigationController> weak = controller;
            backButton_ = std::make_shared<UIBarButtonItem>(backTitle, UIBarButtonItemStylePlain, [weak] {
                if (const auto strong = weak.lock()) strong->popViewControllerAnimated(true);
            });
        }
        backButton_->setTitle(backTitle);
        left = backButton_;
        back = true;
    }
    if (left) {
        placed.push_back({left, CGRectMake(b.origin.x + kItemMargin, y, width(*left, (back ? "‹ " : "") + left->title()),
                                           kItemHeight),
                          back});
    }
    if (const auto& right = item->rightBarButtonItem()) {
        const double w = width(*right, right->title());
        placed.push_back({right, CGRectMake(b.origin.x + b.size.width - kItemMargin - w, y, w, kItemHeight), false});
    }
    return placed;
}

std::shared_ptr<UIBarButtonItem> UINavigationBar::itemAtPoint(CGPoint point) const {
    for (const PlacedItem& placed : visibleItems()) {
        // A little slack around the item, as fingers are wider than the glyphs.
        CGRect target = placed.rect;
        target.origin.y = bounds().origin.y;
        target.size.height = bounds().size.height;
        if (CGRectContainsPoint(target, point)) return placed.item;
    }
    return nullptr;
}

UIColor UINavigationBar::backgroundFill() const {
    return barTintColor_ ? *barTintColor_
           : barStyle_ == UIBarStyleBlack ? UIColor::colorWithWhiteAlpha(0.1, 1)
                                          : UIColor::colorWithWhiteAlpha(0.97, 1);
}

void UINavigationBar::drawRect(CGRect) {
    CGContextRef context = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    CGContextSetFillColorWithColor(context, backgroundFill().CGColor());
    CGContextFillRect(context, b);
    CGContextSetFillColorWithColor(context, UIColor::colorWithWhiteAlpha(barStyle_ == UIBarStyleBlack ? 0.3 : 0.7, 1).CGColor());
    CGContextFillRect(context, CGRectMake(b.origin.x, b.origin.y + b.size.height - 0.5, b.size.width, 0.5));
}

// Title and items draw on every rendering: items change without telling the bar.
void UINavigationBar::drawOverSubviews(CGRect) {
    CGContextRef context = UIGraphicsGetCurrentContext();
    const CGRect b = bounds();
    // Outside the bar's bounds, so not in its cached drawing.
    if (statusBarExtent_ > 0) {
        CGContextSetFillColorWithColor(context, backgroundFill().CGColor());
        CGContextFillRect(context, CGRectMake(b.origin.x, b.origin.y - statusBarExtent_, b.size.width, statusBarExtent_));
    }
    const bool black = barStyle_ == UIBarStyleBlack;
    const auto items = visibleItems();
    double leftEnd = b.origin.x, rightStart = b.origin.x + b.size.width;
    const UIColor tint = tintColor_ ? *tintColor_
                         : black    ? UIColor::whiteColor()
                                    : UIColor::colorWithRedGreenBlueAlpha(0.0, 0.48, 1.0, 1);
    for (const PlacedItem& placed : items) {
        const UIBarButtonItem& item = *placed.item;
        const UIColor color = !item.isEnabled() ? UIColor::colorWithWhiteAlpha(black ? 0.45 : 0.7, 1)
                              : item.tintColor() ? *item.tintColor()
                                                 : tint;
        if (item.style() == UIBarButtonItemStyleBordered || item.style() == UIBarButtonItemStyleDone) {
            CGContextSetStrokeColorWithColor(context, color.CGColor());
            UIBezierPath::bezierPathWithRoundedRectCornerRadius(placed.rect, 5).stroke();
        }
        drawTextInRect((placed.isBackButton ? "‹ " : "") + item.title(), placed.rect, itemFont(item), color,
                       NSTextAlignmentCenter);
        if (placed.rect.origin.x < b.origin.x + b.size.width / 2)
            leftEnd = std::max(leftEnd, placed.rect.origin.x + placed.rect.size.width);
        else
            rightStart = std::min(rightStart, placed.rect.origin.x);
    }
    const std::string text = title();
    if (text.empty()) return;
    // Centred on the bar, narrowed symmetrically so it clears the items.
    const double centre = b.origin.x + b.size.width / 2;
    const double half = std::max(0.0, std::min(centre - leftEnd, rightStart - centre) - 4);
    drawTextInRect(text, CGRectMake(centre - half, b.origin.y, 2 * half, b.size.height), UIFont::boldSystemFontOfSize(17),
                   black ? UIColor::whiteColor() : UIColor::blackColor(), NSTextAlignmentCenter);
}

void UINavigationBar::touchesBegan(const UITouchSet& touches, const UIEvent&) {
    const auto touch = anyObject(touches);
    touchedItem_ = touch ? itemAtPoint(touch->locationInView(this)) : nullptr;
}

void UINavigationBar::touchesEnded(const UITouchSet& touches, const UIEvent&) {
    const auto touch = anyObject(touches);
    const auto item = std::exchange(touchedItem_, nullptr);
    if (item && touch && itemAtPoint(touch->locationInView(this)) == item) item->trigger();
}

UINavigationController::UINavigationController(std::shared_ptr<UIViewController> root) {
    if (root) stack_.push_back(std::move(root));
}

std::shared_ptr<UINavigationController> UINavigationController::create(std::shared_ptr<UIViewController> root) {
    auto controller = std::make_shared<UINavigationController>();
    controller->initWithRootViewController(std::move(root));
    return controller;
}

void UINavigationController::initWithRootViewController(std::shared_ptr<UIViewController> root) {
    assertMainThread("UINavigationController::initWithRootViewController");
    const auto old = topViewController();
    for (const auto& controller : stack_) setParentViewController(*controller, {});
    stack_.clear();
    if (root) stack_.push_back(std::move(root));
    adoptChildren();
    if (isViewLoaded() || onScreen_) transition(old, topViewController(), true, false);
}

void UINavigationController::adoptChildren() {
    const auto self = weak_from_this();
    if (self.expired()) return;
    for (const auto& controller : stack_) setParentViewController(*controller, self);
}

std::shared_ptr<UIViewController> UINavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
}

void UINavigationController::pushViewController(std::shared_ptr<UIViewController> controller, bool animated) {
    assertMainThread("UINavigationController::pushViewController");
    if (!controller || controller.get() == this) return;
    if (std::find(stack_.begin(), stack_.end(), controller) != stack_.end()) {
        log("UINavigationController: that view controller is already on the stack; push ignored");
        return;
    }
    const auto old = topViewController();
    stack_.push_back(controller);
    adoptChildren();
    if (isViewLoaded() || onScreen_) transition(old, controller, true, animated);
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
    assertMainThread("UINavigationController::popViewControllerAnimated");
    if (stack_.size() < 2) return nullptr;
    auto popped = stack_.back();
    stack_.pop_back();
    if (isViewLoaded() || onScreen_) transition(popped, topViewController(), false, animated);
    setParentViewController(*popped, {});
    return popped;
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::popToRootViewControllerAnimated(bool animated) {
    assertMainThread("UINavigationController::popToRootViewControllerAnimated");
    if (stack_.size() < 2) return {};
    std::vector<std::shared_ptr<UIViewController>> popped(stack_.begin() + 1, stack_.end());
    const auto old = stack_.back();
    stack_.resize(1);
    if (isViewLoaded() || onScreen_) transition(old, topViewController(), false, animated);
    for (const auto& controller : popped) setParentViewController(*controller, {});
    return popped;
}

void UINavigationController::transition(const std::shared_ptr<UIViewController>& from,
                                        const std::shared_ptr<UIViewController>& to, bool push, bool animated) {
    if (slide_) finishSlide();
    if (from == to) return;
    const auto content = view();
    // Loaded before any appearance call, as the phone does.
    const auto toView = to ? to->view() : nullptr;
    if (onScreen_ && from) from->viewWillDisappear(animated);
    if (onScreen_ && to) to->viewWillAppear(animated);
    const auto fromView = from && from->isViewLoaded() && from->view()->superview() == content ? from->view() : nullptr;
    if (animated && fromView && toView) {
        const auto& subviews = content->subviews();
        const std::size_t fromIndex =
            static_cast<std::size_t>(std::find(subviews.begin(), subviews.end(), fromView) - subviews.begin());
        // The incoming controller slides over the old one on a push, under it on a pop.
        content->insertSubviewAtIndex(toView, push ? fromIndex + 1 : fromIndex);
        slide_ = Slide{from, to, push, clock().now(), 0, 0};
        layoutContent();
        std::weak_ptr<UIViewController> weak = weak_from_this();
        slide_->timer = RunLoop::main().after(kSlideFrameInterval, [weak] {
            if (const auto self = std::static_pointer_cast<UINavigationController>(weak.lock())) self->stepSlide();
        });
        return;
    }
    if (fromView) fromView->removeFromSuperview();
    if (toView) content->insertSubviewAtIndex(toView, 0);
    layoutContent();
    if (onScreen_ && from) from->viewDidDisappear(animated);
    if (onScreen_ && to) to->viewDidAppear(animated);
}

void UINavigationController::stepSlide() {
    if (!slide_) return;
    slide_->timer = 0;
    const double progress = (clock().now() - slide_->start) / kSlideDuration;
    if (progress >= 1) {
        finishSlide();
        return;
    }
    slide_->progress = progress;
    layoutContent();
    std::weak_ptr<UIViewController> weak = weak_from_this();
    slide_->timer = RunLoop::main().after(kSlideFrameInterval, [weak] {
        if (const auto self = std::static_pointer_cast<UINavigationController>(weak.lock())) self->stepSlide();
    });
}

void UINavigationController::finishSlide() {
    if (!slide_) return;
    const Slide slide = *slide_;
    slide_.reset();
    if (slide.timer) RunLoop::main().cancel(slide.timer);
    if (slide.from && slide.from->isViewLoaded() && slide.from->view()->superview() == view())
        slide.from->view()->removeFromSuperview();
    layoutContent();
    if (onScreen_ && slide.from) slide.from->viewDidDisappear(true);
    if (onScreen_ && slide.to) slide.to->viewDidAppear(true);
}

void UINavigationController::placeSlide(CGRect contentFrame) {
    const double eased = easeInEaseOut(std::clamp(slide_->progress, 0.0, 1.0));
    const double width = contentFrame.size.width;
    // The view underneath moves a third as far, as the phone's parallax does.
    const double incoming = slide_->push ? width * (1 - eased) : -width * (1 - eased) / 3;
    const double outgoing = slide_->push ? -width * eased / 3 : width * eased;
    CGRect frame = contentFrame;
    frame.origin.x += incoming;
    if (slide_->to) slide_->to->view()->setFrame(frame);
    frame = contentFrame;
    frame.origin.x += outgoing;
    if (slide_->from && slide_->from->isViewLoaded()) slide_->from->view()->setFrame(frame);
}

unsigned long UINavigationController::supportedInterfaceOrientations() {
    const auto top = topViewController();
    return top ? top->supportedInterfaceOrientations() : UIViewController::supportedInterfaceOrientations();
}

bool UINavigationController::shouldAutorotate() {
    const auto top = topViewController();
    return top ? top->shouldAutorotate() : UIViewController::shouldAutorotate();
}

bool UINavigationController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    const auto top = topViewController();
    return top ? top->shouldAutorotateToInterfaceOrientation(orientation)
               : UIViewController::shouldAutorotateToInterfaceOrientation(orientation);
}

void UINavigationController::setNavigationBarHidden(bool hidden, bool) {
    assertMainThread("UINavigationController::setNavigationBarHidden");
    if (hidden == navigationBarHidden_) return;
    navigationBarHidden_ = hidden;
    if (isViewLoaded()) layoutContent();
}

void UINavigationController::loadView() {
    UIViewController::loadView();
    const auto content = view();
    navigationBar_ = std::make_shared<UINavigationBar>();
    navigationBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    content->addSubview(navigationBar_);
    adoptChildren();
    if (const auto top = topViewController()) content->insertSubviewAtIndex(top->view(), 0);
    layoutContent();
}

void UINavigationController::layoutContent() {
    if (!isViewLoaded() || !navigationBar_) return;
    const CGRect b = view()->bounds();
    const double barTop = UIApplication::sharedApplication().isStatusBarHidden() ? 0 : UIStatusBarThickness;
    navigationBar_->setHidden(navigationBarHidden_);
    navigationBar_->statusBarExtent_ = barTop;
    navigationBar_->setFrame(CGRectMake(b.origin.x, b.origin.y + barTop, b.size.width, UINavigationBarHeight));
    const auto top = topViewController();
    if (const auto self = weak_from_this().lock())
        navigationBar_->setController(std::static_pointer_cast<UINavigationController>(self));
    navigationBar_->setNeedsDisplay();
    if (!top) return;
    const double contentTop = navigationBarHidden_ ? 0 : barTop + UINavigationBarHeight;
    const CGRect contentFrame =
        CGRectMake(b.origin.x, b.origin.y + contentTop, b.size.width, std::max(0.0, b.size.height - contentTop));
    if (slide_) {
        placeSlide(contentFrame);
        return;
    }
    top->view()->setFrame(contentFrame);
}

void UINavigationController::viewWillLayoutSubviews() { layoutContent(); }

void UINavigationController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    onScreen_ = true;
    if (const auto top = topViewController()) top->viewWillAppear(animated);
}

void UINavigationController::viewDidAppear(bool animated) {
    UIViewController::viewDidAppear(animated);
    if (const auto top = topViewController()) top->viewDidAppear(animated);
}

void UINavigationController::viewWillDisappear(bool animated) {
    if (const auto top = topViewController()) top->viewWillDisappear(animated);
    UIViewController::viewWillDisappear(animated);
}

void UINavigationController::viewDidDisappear(bool animated) {
    if (const auto top = topViewController()) top->viewDidDisappear(animated);
    onScreen_ = false;
    UIViewController::viewDidDisappear(animated);
}

}  // namespace platform
