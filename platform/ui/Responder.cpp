#include "platform/ui/Responder.h"

namespace platform {

UIResponder UIResponder::nextResponder() const {
    if (view_) {
        if (auto controller = view_->viewController(); controller && controller->isViewLoaded() &&
                                                         controller->view() == view_) {
            return UIResponder(std::move(controller));
        }
        return UIResponder(view_->superview());
    }
    if (!controller_) return {};
    if (controller_->isViewLoaded()) {
        if (auto superview = controller_->view()->superview()) return UIResponder(std::move(superview));
    }
    if (auto parent = controller_->parentViewController()) return UIResponder(std::move(parent));
    return UIResponder(controller_->presentingViewController());
}

}  // namespace platform
