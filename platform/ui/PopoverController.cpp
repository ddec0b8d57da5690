#include "platform/ui/PopoverController.h"

#include <algorithm>

#include "platform/foundation/RunLoop.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Context.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

constexpr CGSize kContentSize{320, 480};
constexpr double kBorder = 6;

// The panel: a rounded dark frame around the content.
class PopoverPanel : public UIView {
public:
    using UIView::UIView;
    void drawRect(CGRect) override {
        CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), UIColor::colorWithWhiteAlpha(0.2, 1).CGColor());
        UIBezierPath::bezierPathWithRoundedRectCornerRadius(bounds(), 8).fill();
    }
};

}  // namespace

UIPopoverController::UIPopoverController(std::shared_ptr<UIViewController> content) : content_(std::move(content)) {
    if (auto picker = std::dynamic_pointer_cast<UIImagePickerController>(content_)) picker->popover_ = this;
}

UIPopoverController::~UIPopoverController() {
    if (auto picker = std::dynamic_pointer_cast<UIImagePickerController>(content_); picker && picker->popover_ == this)
        picker->popover_ = nullptr;
    if (panel_) panel_->removeFromSuperview();
}

void UIPopoverController::presentPopoverFromRect(CGRect rect, const std::shared_ptr<UIView>& view,
                                                 unsigned long permittedArrowDirections, bool animated) {
    assertMainThread("UIPopoverController::presentPopoverFromRect");
    const auto window = UIWindow::keyWindow();
    if (!window || !content_) return;
    anchor_ = view ? view->convertRectToView(rect, window.get()) : rect;
    permittedArrowDirections_ = permittedArrowDirections;
    const CGRect bounds = window->bounds();
    const CGSize panelSize{std::min(kContentSize.width + 2 * kBorder, bounds.size.width),
                           std::min(kContentSize.height + 2 * kBorder, bounds.size.height)};
    // Placed on the side the arrow allows first: below (arrow up), above,
    // right, left; then kept inside the window.
    CGPoint origin{anchor_.origin.x, anchor_.origin.y + anchor_.size.height};
    if (!(permittedArrowDirections & UIPopoverArrowDirectionUp)) {
        if (permittedArrowDirections & UIPopoverArrowDirectionDown) {
            origin = {anchor_.origin.x, anchor_.origin.y - panelSize.height};
        } else if (permittedArrowDirections & UIPopoverArrowDirectionLeft) {
            origin = {anchor_.origin.x + anchor_.size.width, anchor_.origin.y};
        } else if (permittedArrowDirections & UIPopoverArrowDirectionRight) {
            origin = {anchor_.origin.x - panelSize.width, anchor_.origin.y};
        }
    }
    origin.x = std::clamp(origin.x, 0.0, bounds.size.width - panelSize.width);
    origin.y = std::clamp(origin.y, 0.0, bounds.size.height - panelSize.height);
    if (!panel_) panel_ = std::make_shared<PopoverPanel>(CGRect{});
    panel_->setFrame({origin, panelSize});
    const bool appearing = !visible_;
    std::shared_ptr<UIView> contentView = content_->view();
    if (appearing) content_->viewWillAppear(animated);
    contentView->setFrame({{kBorder, kBorder}, {panelSize.width - 2 * kBorder, panelSize.height - 2 * kBorder}});
    if (contentView->superview() != panel_) panel_->addSubview(contentView);
    window->addSubview(panel_);
    visible_ = true;
    if (appearing) content_->viewDidAppear(animated);
}

void UIPopoverController::dismissPopoverAnimated(bool animated) {
    assertMainThread("UIPopoverController::dismissPopoverAnimated");
    if (!visible_) return;
    content_->viewWillDisappear(animated);
    if (panel_) panel_->removeFromSuperview();
    visible_ = false;
    content_->viewDidDisappear(animated);
}

void UIPopoverController::userDismiss() {
    if (!visible_) return;
    // The delegate may drop its last reference to us.
    auto self = shared_from_this();
    dismissPopoverAnimated(true);
    if (delegate_) delegate_->popoverControllerDidDismissPopover(*this);
}

}  // namespace platform
