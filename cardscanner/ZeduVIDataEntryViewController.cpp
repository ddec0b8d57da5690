#include "cardscanner/ZeduVIDataEntryViewController.h"

namespace cardscanner {

ZeduVIDataEntryViewController::ZeduVIDataEntryViewController(std::shared_ptr<ZeduVIContext> context,
                                                             bool statusBarHidden)
    : context_(context ? std::move(context) : std::make_shared<ZeduVIContext>()), statusBarHidden_(statusBarHidden) {}

std::shared_ptr<ZeduVIDataEntryViewController> ZeduVIDataEntryViewController::initWithContext(
    std::shared_ptr<ZeduVIContext> context, bool statusBarHidden) {
    return std::make_shared<ZeduVIDataEntryViewController>(std::move(context), statusBarHidden);
}

void ZeduVIDataEntryViewController::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(platform::UIColor::colorWithWhiteAlpha(0.94, 1));
}

}  // namespace cardscanner
