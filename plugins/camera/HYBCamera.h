#pragma once
// The page's camera: takes a picture or picks an image or video from the
// photo library through a picker, and answers a temporary file URL, base64
// bytes or the library's URL. Camera pictures may have their orientation
// fixed, be scaled, be saved to the album and, when the camera hands
// metadata, get the device's position in their EXIF GPS data. cleanup
// removes the temporary files.
//
// One request at a time, answered exactly once. The location pass of a
// camera picture waits at most kLocationTimeLimit seconds for a fix; after
// that the picture goes back without GPS data.
//
// Main thread only: actions, picker, popover, location callbacks and the
// time limit's timer all run on the main thread.

#include <memory>
#include <optional>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/Image.h"
#include "platform/location/LocationManager.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/PopoverController.h"
#include "plugins/camera/HYBCameraPicker.h"
#include "plugins/camera/HYBCameraSupport.h"

namespace plugins {

class HYBCamera : public hybrid::HYBPlugin,
                  public platform::UIImagePickerControllerDelegate,
                  public platform::UIPopoverControllerDelegate,
                  public platform::CLLocationManagerDelegate {
public:
    // How long a camera picture waits for its position.
    static constexpr double kLocationTimeLimit = 5.0;

    explicit HYBCamera(std::shared_ptr<platform::WebView> webView);
    ~HYBCamera() override;

    // Actions.
    void takePicture(const hybrid::HYBInvokedUrlCommand& command);
    void cleanup(const hybrid::HYBInvokedUrlCommand& command);
    void repositionPopover(const hybrid::HYBInvokedUrlCommand& command);

    bool popoverSupported() const;
    void displayPopover(const platform::Value& options);
    void imagePickerControllerReturnImageResult();

    // Nothing when drawing fails.
    static std::shared_ptr<platform::UIImage> imageCorrectedForCaptureOrientation(const platform::UIImage& image);
    // An error answer when answering `image` at full size, as `picker` asks,
    // would hold more than kHYBCameraMaxFullSizeBytes at once; null otherwise.
    static std::shared_ptr<hybrid::HYBPluginResult> refusalOfFullSize(const platform::UIImage& image,
                                                                      const HYBCameraPicker& picker);
    static std::shared_ptr<platform::UIImage> imageByScalingAndCroppingForSize(const platform::UIImage& image,
                                                                               platform::CGSize targetSize);
    static std::shared_ptr<platform::UIImage> imageByScalingNotCroppingForSize(const platform::UIImage& image,
                                                                               platform::CGSize targetSize);

    // Picker, popover and location delegates.
    void imagePickerControllerDidFinishPickingMediaWithInfo(platform::UIImagePickerController& picker,
                                                            const platform::UIImagePickerInfo& info) override;
    void imagePickerControllerDidCancel(platform::UIImagePickerController& picker) override;
    void navigationControllerWillShowViewController(platform::UIImagePickerController& picker,
                                                    platform::UIViewController& shown, bool animated) override;
    void popoverControllerDidDismissPopover(platform::UIPopoverController& popover) override;
    void locationManagerDidUpdateToLocationFromLocation(platform::CLLocationManager& manager,
                                                        const platform::CLLocation& newLocation,
                                                        const std::optional<platform::CLLocation>& oldLocation) override;
    void locationManagerDidFailWithError(platform::CLLocationManager& manager, const platform::Error& error) override;

    const std::shared_ptr<HYBCameraPicker>& pickerController() const { return pickerController_; }
    const std::shared_ptr<platform::CLLocationManager>& locationManager() const { return locationManager_; }
    const std::optional<platform::Dictionary>& metadata() const { return metadata_; }
    const std::optional<platform::Data>& data() const { return data_; }

protected:
    const hybrid::HYBActionTable& actionTable() const override;

private:
    void closePicker(HYBCameraPicker& picker);
    static void dismissFullScreen(platform::UIImagePickerController& picker);
    std::shared_ptr<hybrid::HYBPluginResult> resultForBytes(const platform::Data& bytes, int returnType,
                                                            int encodingType);
    void sendResult(const hybrid::HYBPluginResult& result, const std::optional<std::string>& callbackId);
    void startLocationPass();
    void endLocationPass();

    std::shared_ptr<HYBCameraPicker> pickerController_;
    std::shared_ptr<platform::CLLocationManager> locationManager_;
    std::optional<platform::Dictionary> metadata_;
    std::optional<platform::Data> data_;
    std::optional<platform::RunLoop::TimerId> locationTimer_;
};

}  // namespace plugins
