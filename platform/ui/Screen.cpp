#include "platform/ui/Screen.h"

#include "platform/foundation/NeverDestroyed.h"
#include "platform/ui/ViewController.h"

namespace platform {

UIScreen::UIScreen() { reset(); }

UIScreen& UIScreen::mainScreen() {
    static NeverDestroyed<UIScreen> screen{ResetStage::Interface, [](UIScreen& s) { s.reset(); }};
    return *screen;
}

CGRect UIScreen::bounds() const {
    std::lock_guard lock(mutex_);
    return bounds_;
}

void UIScreen::setBounds(CGRect bounds) {
    std::lock_guard lock(mutex_);
    bounds_ = CGRect{{0, 0}, bounds.size};
}

double UIScreen::scale() const {
    std::lock_guard lock(mutex_);
    return scale_;
}

void UIScreen::setScale(double scale) {
    std::lock_guard lock(mutex_);
    scale_ = scale;
}

void UIScreen::reset() {
    std::lock_guard lock(mutex_);
    bounds_ = UIScreenBounds;
    scale_ = 2;
}

}  // namespace platform
