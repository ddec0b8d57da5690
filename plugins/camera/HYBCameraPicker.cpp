#include "plugins/camera/HYBCameraPicker.h"
#include "platform/foundation/NeverDestroyed.h"

#include "platform/foundation/RunLoop.h"
#include "plugins/camera/TempUIViewControler.h"

namespace plugins {

void HYBCameraPicker::viewWillAppear(bool animated) {
    platform::assertMainThread("HYBCameraPicker::viewWillAppear");
    std::weak_ptr<platform::UIViewController> weakSelf = weak_from_this();
    platform::RunLoop::main().after(0, [weakSelf] {
        if (const auto self = weakSelf.lock()) self->setNeedsStatusBarAppearanceUpdate();
    });
    UIImagePickerController::viewWillAppear(animated);
}

std::shared_ptr<TempUIViewControler> TempUIViewControler::shared() {
    platform::assertMainThread("TempUIViewControler::shared");
    // Kept reachable for the process's life on purpose: torn down at exit it
    // would outlive the window its view may still be in. Reset: a fresh one.
    static platform::NeverDestroyed<std::shared_ptr<TempUIViewControler>> holder{
        platform::ResetStage::Application,
        [](std::shared_ptr<TempUIViewControler>& p) { p = std::make_shared<TempUIViewControler>(); },
        std::make_shared<TempUIViewControler>()};
    return *holder;
}

}  // namespace plugins
