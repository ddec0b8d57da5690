#include "plugins/lockpattern/GPGestureLockView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Context.h"

namespace plugins {

using platform::CGPoint;
using platform::CGRect;
using platform::CGSize;
using platform::UIButton;
using platform::UIColor;
using platform::UIImage;

namespace {

// The line's resting colour, given in single precision as the app's art has it.
UIColor restingLineColor() {
    return UIColor::colorWithRedGreenBlueAlpha(2.0f / 255.0f, 217.0f / 255.0f, 243.0f / 255.0f, 0.7f);
}

constexpr double kErrorLookSeconds = 2.0;

}  // namespace

std::shared_ptr<GPGestureLockView> GPGestureLockView::create(CGRect frame) {
    std::shared_ptr<GPGestureLockView> view(new GPGestureLockView(frame));
    view->_lockViewInitialize();
    return view;
}

GPGestureLockView::GPGestureLockView(CGRect frame) : UIView(frame) {}

GPGestureLockView::~GPGestureLockView() { dropTimer(); }

void GPGestureLockView::_lockViewInitialize() {
    setBackgroundColor(UIColor::clearColor());
    lineColor_ = UIColor::systemBlueColor().colorWithAlphaComponent(0.3);
    lineWidth_ = 16;
    contentInsets_ = platform::UIEdgeInsetsZero;
    contentView_ = std::make_shared<platform::UIView>(platform::UIEdgeInsetsInsetRect(bounds(), contentInsets_));
    contentView_->setBackgroundColor(UIColor::clearColor());
    addSubview(contentView_);
    buttonSize_ = {60, 60};
    setNormalGestureNodeImage(imageWithColor(UIColor::systemGreenColor(), buttonSize_));
    setSelectedGestureNodeImage(imageWithColor(UIColor::systemRedColor(), buttonSize_));
    setNumberOfGestureNodes(9);
    gestureNodesPerRow_ = 3;
    selectedButtons_.clear();
    trackedLocationInContentView_ = {-1, -1};
}

void GPGestureLockView::setNumberOfGestureNodes(unsigned count) {
    platform::assertMainThread("GPGestureLockView::setNumberOfGestureNodes");
    if (count == numberOfGestureNodes_) return;
    numberOfGestureNodes_ = count;
    for (const auto& button : buttons_) button->removeFromSuperview();
    std::vector<std::shared_ptr<UIButton>> nodes;
    nodes.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        auto button = UIButton::buttonWithType(platform::UIButtonTypeCustom);
        button->setTag(long(i));
        button->setUserInteractionEnabled(false);
        button->setFrame({{0, 0}, buttonSize_});
        button->setBackgroundColor(UIColor::clearColor());
        if (normalGestureNodeImage_) button->setImage(normalGestureNodeImage_, platform::UIControlStateNormal);
        if (selectedGestureNodeImage_) button->setImage(selectedGestureNodeImage_, platform::UIControlStateSelected);
        nodes.push_back(button);
        contentView_->addSubview(button);
    }
    buttons_ = std::move(nodes);
    setNeedsLayout();
}

void GPGestureLockView::setGestureNodesPerRow(unsigned perRow) {
    platform::assertMainThread("GPGestureLockView::setGestureNodesPerRow");
    gestureNodesPerRow_ = perRow;
    setNeedsLayout();
}

void GPGestureLockView::setContentInsets(platform::UIEdgeInsets insets) {
    platform::assertMainThread("GPGestureLockView::setContentInsets");
    contentInsets_ = insets;
    setNeedsLayout();
}

void GPGestureLockView::setNormalGestureNodeImage(std::shared_ptr<UIImage> image) {
    platform::assertMainThread("GPGestureLockView::setNormalGestureNodeImage");
    if (image == normalGestureNodeImage_) return;
    normalGestureNodeImage_ = std::move(image);
    if (normalGestureNodeImage_) {
        const CGSize size = normalGestureNodeImage_->size();
        const CGSize grown{std::max(buttonSize_.width, size.width), std::max(buttonSize_.height, size.height)};
        // Bigger nodes need placing again; the next layout pass does it.
        if (!(grown == buttonSize_)) {
            buttonSize_ = grown;
            setNeedsLayout();
        }
    }
    for (const auto& button : buttons_) button->setImage(normalGestureNodeImage_, platform::UIControlStateNormal);
}

void GPGestureLockView::setSelectedGestureNodeImage(std::shared_ptr<UIImage> image) {
    platform::assertMainThread("GPGestureLockView::setSelectedGestureNodeImage");
    if (image == selectedGestureNodeImage_) return;
    selectedGestureNodeImage_ = std::move(image);
    if (selectedGestureNodeImage_) {
        const CGSize size = selectedGestureNodeImage_->size();
        const CGSize grown{std::max(buttonSize_.width, size.width), std::max(buttonSize_.height, size.height)};
        // Bigger nodes need placing again; the next layout pass does it.
        if (!(grown == buttonSize_)) {
            buttonSize_ = grown;
            setNeedsLayout();
        }
    }
    for (const auto& button : buttons_) button->setImage(selectedGestureNodeImage_, platform::UIControlStateSelected);
}

void GPGestureLockView::setDelegate(std::weak_ptr<GPGestureLockViewDelegate> delegate) {
    platform::assertMainThread("GPGestureLockView::setDelegate");
    delegate_ = std::move(delegate);
    const auto current = delegate_.lock();
    delegateFlags_.didBeginWithPasscode =
        current && current->respondsToSelector(GPGestureLockViewDelegate::kDidBeginWithPasscode);
    delegateFlags_.didEndWithPasscode =
        current && current->respondsToSelector(GPGestureLockViewDelegate::kDidEndWithPasscode);
    delegateFlags_.didCanceled =
        current && current->respondsToSelector(GPGestureLockViewDelegate::kDidCanceledWithPasscode);
}

std::shared_ptr<UIImage> GPGestureLockView::imageWithColor(const UIColor& color, CGSize size) const {
    platform::UIGraphicsBeginImageContextWithOptions(size, false, 1);
    platform::CGContextRef context = platform::UIGraphicsGetCurrentContext();
    platform::CGContextSetFillColorWithColor(context, color.CGColor());
    platform::CGContextFillRect(context, {{0, 0}, size});
    auto image = platform::UIGraphicsGetImageFromCurrentImageContext();
    platform::UIGraphicsEndImageContext();
    return image;
}

std::shared_ptr<UIButton> GPGestureLockView::_buttonContainsThePoint(CGPoint point) const {
    for (const auto& button : buttons_)
        if (platform::CGRectContainsPoint(button->frame(), point)) return button;
    return nullptr;
}

void GPGestureLockView::layoutSubviews() {
    platform::assertMainThread("GPGestureLockView::layoutSubviews");
    UIView::layoutSubviews();
    contentView_->setFrame(platform::UIEdgeInsetsInsetRect(bounds(), contentInsets_));
    const unsigned n = numberOfGestureNodes_;
    if (n == 0) return;
    const CGRect content = contentView_->bounds();
    const double bw = buttonSize_.width, bh = buttonSize_.height;
    // One column or one row leaves no gap to share out; zero per row is read
    // as one, so that no count ever divides by zero.
    const unsigned perRow = std::max(1u, gestureNodesPerRow_);
    const unsigned rows = unsigned(std::ceil(float(double(n) / perRow)));
    const double horizontalGap = perRow > 1 ? (content.size.width - bw * perRow) / (perRow - 1) : 0;
    const double verticalGap = rows > 1 ? (content.size.height - rows * bh) / (rows - 1) : 0;
    for (unsigned i = 0; i < n && i < buttons_.size(); ++i) {
        const unsigned column = i % perRow, row = i / perRow;
        const double x = std::floor(float(column * (horizontalGap + bw)));
        const double y = std::floor(float(row * (verticalGap + bh)));
        buttons_[i]->setFrame({{x, y}, buttonSize_});
    }
}

// --- Touches ---------------------------------------------------------------------

CGPoint GPGestureLockView::touchLocation(const platform::UITouchSet& touches) const {
    auto touch = platform::anyObject(touches);
    return touch ? touch->locationInView(contentView_.get()) : CGPoint{-1, -1};
}

std::string GPGestureLockView::passcodeOfSelection() const {
    std::string passcode;
    for (const auto& button : selectedButtons_) {
        if (!passcode.empty()) passcode += ',';
        passcode += std::to_string(int(button->tag()));
    }
    return passcode;
}

void GPGestureLockView::appendSelected(const std::shared_ptr<UIButton>& button) {
    button->setSelected(true);
    selectedButtons_.push_back(button);
}

void GPGestureLockView::touchesBegan(const platform::UITouchSet& touches, const platform::UIEvent&) {
    platform::assertMainThread("GPGestureLockView::touchesBegan");
    const auto keepAlive = weak_from_this().lock();
    selectedButtons_.clear();
    const CGPoint location = touchLocation(touches);
    auto button = _buttonContainsThePoint(location);
    if (!button) return;
    appendSelected(button);
    trackedLocationInContentView_ = location;
    if (delegateFlags_.didBeginWithPasscode)
        if (auto delegate = delegate_.lock())
            delegate->gestureLockViewDidBeginWithPasscode(*this, std::to_string(int(button->tag())));
}

void GPGestureLockView::touchesMoved(const platform::UITouchSet& touches, const platform::UIEvent&) {
    platform::assertMainThread("GPGestureLockView::touchesMoved");
    const auto keepAlive = weak_from_this().lock();
    const CGPoint location = touchLocation(touches);
    if (!platform::CGRectContainsPoint(contentView_->bounds(), location)) return;
    auto button = _buttonContainsThePoint(location);
    if (button && std::find(selectedButtons_.begin(), selectedButtons_.end(), button) == selectedButtons_.end()) {
        appendSelected(button);
        if (selectedButtons_.size() == 1 && delegateFlags_.didBeginWithPasscode)
            if (auto delegate = delegate_.lock())
                delegate->gestureLockViewDidBeginWithPasscode(*this, std::to_string(int(button->tag())));
    }
    trackedLocationInContentView_ = location;
    setNeedsDisplay();
}

void GPGestureLockView::touchesEnded(const platform::UITouchSet&, const platform::UIEvent&) {
    platform::assertMainThread("GPGestureLockView::touchesEnded");
    finishTouch(false);
}

void GPGestureLockView::touchesCancelled(const platform::UITouchSet&, const platform::UIEvent&) {
    platform::assertMainThread("GPGestureLockView::touchesCancelled");
    finishTouch(true);
}

void GPGestureLockView::finishTouch(bool cancelled) {
    // The delegate may take the grid off the screen while it hears the pattern.
    const auto keepAlive = weak_from_this().lock();
    const bool flag = cancelled ? delegateFlags_.didCanceled : delegateFlags_.didEndWithPasscode;
    if (!selectedButtons_.empty() && flag) {
        const std::string passcode = passcodeOfSelection();
        if (auto delegate = delegate_.lock()) {
            if (cancelled)
                delegate->gestureLockViewDidCanceledWithPasscode(*this, passcode);
            else
                delegate->gestureLockViewDidEndWithPasscode(*this, passcode);
        }
    }
    for (const auto& button : selectedButtons_) button->setSelected(false);
    if (cancelled || !errorHasOccured_) selectedButtons_.clear();
    trackedLocationInContentView_ = {-1, -1};
    setNeedsDisplay();
}

// --- Drawing and the error look ------------------------------------------------------

void GPGestureLockView::drawRect(CGRect rect) {
    UIView::drawRect(rect);
    if (errorHasOccured_) {
        const auto errorImage = UIImage::imageNamed("gesture_node_selected_error");
        for (const auto& button : selectedButtons_) button->setImage(errorImage, platform::UIControlStateNormal);
    }
    if (!selectedButtons_.empty()) {
        platform::UIBezierPath path;
        bool first = true;
        for (const auto& button : selectedButtons_) {
            const CGPoint centre = contentView_->convertPointToView(button->center(), this);
            if (first)
                path.moveToPoint(centre);
            else
                path.addLineToPoint(centre);
            first = false;
        }
        if (trackedLocationInContentView_.x != -1 && trackedLocationInContentView_.y != -1)
            path.addLineToPoint(contentView_->convertPointToView(trackedLocationInContentView_, this));
        path.setLineWidth(lineWidth_);
        path.setLineJoinStyle(platform::kCGLineJoinRound);
        lineColor_.set();
        path.stroke();
    }
    if (errorHasOccured_) {
        // One pending clear at a time: a second would fire in the middle of
        // the next pattern and wipe it.
        if (!timer_) {
            std::weak_ptr<GPGestureLockView> weak = std::static_pointer_cast<GPGestureLockView>(weak_from_this().lock());
            timer_ = platform::RunLoop::main().after(kErrorLookSeconds, [weak] {
                if (auto view = weak.lock()) {
                    view->timer_.reset();
                    view->clear();
                }
            });
        }
        setSelectedGestureNodeImage(UIImage::imageNamed("gesture_node_selected.png"));
    }
    lineColor_ = restingLineColor();
}

void GPGestureLockView::dropTimer() {
    if (timer_) platform::RunLoop::main().cancel(*timer_);
    timer_.reset();
}

void GPGestureLockView::clear() {
    platform::assertMainThread("GPGestureLockView::clear");
    dropTimer();
    const auto normal = UIImage::imageNamed("gesture_node_normal.png");
    for (const auto& button : buttons_) {
        button->setImage(normal, platform::UIControlStateNormal);
        button->setSelected(false);
    }
    setNormalGestureNodeImage(normal);
    errorHasOccured_ = false;
    selectedButtons_.clear();
    setNeedsDisplay();
}

void GPGestureLockView::clearButtonImageView() {
    platform::assertMainThread("GPGestureLockView::clearButtonImageView");
    dropTimer();
    errorHasOccured_ = false;
    const auto normal = UIImage::imageNamed("gesture_node_normal.png");
    for (const auto& button : buttons_) button->setImage(normal, platform::UIControlStateNormal);
    setNeedsDisplay();
}

// --- Preview -----------------------------------------------------------------------

std::shared_ptr<GPGestureLockPreviewView> GPGestureLockPreviewView::create(CGRect frame) {
    std::shared_ptr<GPGestureLockPreviewView> view(new GPGestureLockPreviewView(frame));
    view->_lockViewInitialize();
    view->setUserInteractionEnabled(false);
    return view;
}

void GPGestureLockPreviewView::setPasscode(std::string passcode) {
    platform::assertMainThread("GPGestureLockPreviewView::setPasscode");
    passcode_ = std::move(passcode);
    for (const auto& button : buttons())
        if (button->isSelected()) button->setSelected(false);
    // The selection is rebuilt from the text; an empty part names no node
    // (rather than node 0, as reading it as a number would).
    clearSelectedButtons();
    std::size_t start = 0;
    while (start <= passcode_.size()) {
        std::size_t end = passcode_.find(',', start);
        if (end == std::string::npos) end = passcode_.size();
        const std::string part = passcode_.substr(start, end - start);
        if (!part.empty()) {
            const std::int64_t number = platform::Value(part).integerValue();
            if (number >= 0 && std::uint64_t(number) < buttons().size()) appendSelected(buttons()[std::size_t(number)]);
        }
        start = end + 1;
    }
    setNeedsDisplay();
}

}  // namespace plugins
