#pragma once
// The image picker of one camera request, carrying that request's options
// from takePicture to the moment the picture comes back. It hides the status
// bar while it shows. Main thread only, like every picker.

#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Geometry.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/WebView.h"

namespace plugins {

class HYBCameraPicker : public platform::UIImagePickerController {
public:
    std::int64_t quality = 50;
    int returnType = 1;
    int encodingType = 0;
    platform::CGSize targetSize;
    bool correctOrientation = false;
    bool saveToPhotoAlbum = false;
    bool cropToSize = false;
    std::optional<std::string> callbackId;
    std::shared_ptr<platform::UIPopoverController> popoverController;
    std::shared_ptr<platform::WebView> webView;
    bool popoverSupported = false;
    std::string postUrl;

    bool prefersStatusBarHidden() override { return true; }
    // Asks for the status bar's update on the next turn, then shows.
    void viewWillAppear(bool animated) override;
};

}  // namespace plugins
