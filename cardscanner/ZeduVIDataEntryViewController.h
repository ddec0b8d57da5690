#pragma once
// The scanner's manual-entry and confirmation screen, as far as it exists so
// far: made with the shared options and the status bar state, it holds what
// the camera screen hands it (the card read, its image and where that image
// floats on screen) and shows a plain view. Main thread only.

#include <memory>

#include "cardscanner/ZeduVIContext.h"
#include "cardscanner/ZeduVICreditCardInfo.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace cardscanner {

class ZeduVIDataEntryViewController : public platform::UIViewController {
public:
    ZeduVIDataEntryViewController(std::shared_ptr<ZeduVIContext> context, bool statusBarHidden);
    static std::shared_ptr<ZeduVIDataEntryViewController> initWithContext(std::shared_ptr<ZeduVIContext> context,
                                                                          bool statusBarHidden);

    const std::shared_ptr<ZeduVIContext>& context() const { return context_; }
    bool statusBarHidden() const { return statusBarHidden_; }

    bool manualEntry() const { return manualEntry_; }
    void setManualEntry(bool manualEntry) { manualEntry_ = manualEntry; }
    const std::shared_ptr<platform::UIImage>& cardImage() const { return cardImage_; }
    void setCardImage(std::shared_ptr<platform::UIImage> image) { cardImage_ = std::move(image); }
    const std::shared_ptr<ZeduVICreditCardInfo>& cardInfo() const { return cardInfo_; }
    void setCardInfo(std::shared_ptr<ZeduVICreditCardInfo> info) { cardInfo_ = std::move(info); }
    platform::CGPoint cardImageCenter() const { return cardImageCenter_; }
    void setCardImageCenter(platform::CGPoint center) { cardImageCenter_ = center; }
    platform::CGSize cardImageSize() const { return cardImageSize_; }
    void setCardImageSize(platform::CGSize size) { cardImageSize_ = size; }
    // Weak: the window is the application's, not this screen's.
    std::shared_ptr<platform::UIWindow> priorKeyWindow() const { return priorKeyWindow_.lock(); }
    void setPriorKeyWindow(std::weak_ptr<platform::UIWindow> window) { priorKeyWindow_ = std::move(window); }
    const std::shared_ptr<platform::UIImageView>& floatingCardView() const { return floatingCardView_; }
    void setFloatingCardView(std::shared_ptr<platform::UIImageView> view) { floatingCardView_ = std::move(view); }
    const std::shared_ptr<platform::UIWindow>& floatingCardWindow() const { return floatingCardWindow_; }
    void setFloatingCardWindow(std::shared_ptr<platform::UIWindow> window) { floatingCardWindow_ = std::move(window); }

    void viewDidLoad() override;

private:
    std::shared_ptr<ZeduVIContext> context_;
    bool statusBarHidden_;
    bool manualEntry_ = false;
    std::shared_ptr<platform::UIImage> cardImage_;
    std::shared_ptr<ZeduVICreditCardInfo> cardInfo_;
    platform::CGPoint cardImageCenter_;
    platform::CGSize cardImageSize_;
    std::weak_ptr<platform::UIWindow> priorKeyWindow_;
    std::shared_ptr<platform::UIImageView> floatingCardView_;
    std::shared_ptr<platform::UIWindow> floatingCardWindow_;
};

}  // namespace cardscanner
