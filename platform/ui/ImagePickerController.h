#pragma once
// The image picker stand-in: a view controller that lets the user take a
// picture or pick an image or a video from the photo library, and tells its
// delegate what was picked in an info record keyed as the platform keys it.
//
// Nobody touches a screen here, so the picking itself is driven from outside
// (the simulator, tests) through the static pick*/cancel functions, which act
// on the picker now on screen: presented full screen (presentedPicker()) or
// shown in a popover. The picker only reports; dismissing it is the
// delegate's job, as on the phone.
//
// Sources: the photo library and the saved photos album are always there;
// the camera only while the simulated device has one (setCameraAvailable).
// Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/Image.h"
#include "platform/ui/ViewController.h"

namespace platform {

enum UIImagePickerControllerSourceType : long {
    UIImagePickerControllerSourceTypePhotoLibrary = 0,
    UIImagePickerControllerSourceTypeCamera = 1,
    UIImagePickerControllerSourceTypeSavedPhotosAlbum = 2,
};

enum UIImagePickerControllerCameraDevice : long {
    UIImagePickerControllerCameraDeviceRear = 0,
    UIImagePickerControllerCameraDeviceFront = 1,
};

enum UIImagePickerControllerCameraCaptureMode : long {
    UIImagePickerControllerCameraCaptureModePhoto = 0,
    UIImagePickerControllerCameraCaptureModeVideo = 1,
};

// Uniform type identifiers of the media types.
inline constexpr const char* kUTTypeImage = "public.image";
inline constexpr const char* kUTTypeMovie = "public.movie";

// The info keys, for logs and lookups by name.
inline constexpr const char* UIImagePickerControllerMediaType = "UIImagePickerControllerMediaType";
inline constexpr const char* UIImagePickerControllerOriginalImage = "UIImagePickerControllerOriginalImage";
inline constexpr const char* UIImagePickerControllerEditedImage = "UIImagePickerControllerEditedImage";
inline constexpr const char* UIImagePickerControllerReferenceURL = "UIImagePickerControllerReferenceURL";
inline constexpr const char* UIImagePickerControllerMediaURL = "UIImagePickerControllerMediaURL";
inline constexpr const char* UIImagePickerControllerMediaMetadata = "UIImagePickerControllerMediaMetadata";

// What the picker hands its delegate. Absent entries are empty.
struct UIImagePickerInfo {
    std::string mediaType;                     // kUTTypeImage or kUTTypeMovie
    // Images. A JPEG is decoded when first needed, so that a delegate that
    // only scales it down can decode it reduced (UIImage::reducedImageCovering).
    std::shared_ptr<UIImage> originalImage;
    std::shared_ptr<UIImage> editedImage;      // images, when editing is allowed
    std::optional<URL> referenceURL;           // library picks: "assets-library://asset/asset.JPG?id=…&ext=JPG"
    std::optional<URL> mediaURL;               // videos: a file URL
    std::optional<Dictionary> mediaMetadata;   // camera pictures: {"{Exif}": {...}, "{TIFF}": {...}, "Orientation": n}

    // The keys present, sorted (for logs and tests).
    std::vector<std::string> keys() const;
};

class UIImagePickerController;

class UIImagePickerControllerDelegate {
public:
    virtual ~UIImagePickerControllerDelegate() = default;
    virtual void imagePickerControllerDidFinishPickingMediaWithInfo(UIImagePickerController& picker,
                                                                    const UIImagePickerInfo& info) = 0;
    virtual void imagePickerControllerDidCancel(UIImagePickerController& picker) = 0;
    // The navigation delegate's one call the pickers make: the screen about to
    // show (the picker itself here, it has no inner screens).
    virtual void navigationControllerWillShowViewController(UIImagePickerController& picker,
                                                            UIViewController& shown, bool animated) {}
};

class UIPopoverController;

class UIImagePickerController : public UIViewController {
public:
    UIImagePickerController();
    ~UIImagePickerController() override;

    static bool isSourceTypeAvailable(long sourceType);
    // kUTTypeImage for every available source, and kUTTypeMovie too; empty
    // for an unavailable one.
    static std::vector<std::string> availableMediaTypesForSourceType(long sourceType);
    static bool isCameraDeviceAvailable(long cameraDevice);
    // The simulated device's camera (default: present).
    static void setCameraAvailable(bool available);

    long sourceType() const { return sourceType_; }
    // An unavailable source is kept as asked; picks then fail.
    void setSourceType(long sourceType) { sourceType_ = sourceType; }
    const std::vector<std::string>& mediaTypes() const { return mediaTypes_; }
    void setMediaTypes(std::vector<std::string> types) { mediaTypes_ = std::move(types); }
    bool allowsEditing() const { return allowsEditing_; }
    void setAllowsEditing(bool allows) { allowsEditing_ = allows; }
    long cameraDevice() const { return cameraDevice_; }
    void setCameraDevice(long device) { cameraDevice_ = device; }
    long cameraCaptureMode() const { return cameraCaptureMode_; }
    void setCameraCaptureMode(long mode) { cameraCaptureMode_ = mode; }

    // Not owned: the delegate outlives the picker's time on screen.
    UIImagePickerControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(UIImagePickerControllerDelegate* delegate) { delegate_ = delegate; }

    // The popover showing this picker, if any (set by UIPopoverController).
    UIPopoverController* shownInPopover() const { return popover_; }

    // The camera's picture as the viewfinder shows it (decoded no larger
    // than it shows); null for the library or without a picture.
    std::shared_ptr<UIImage> viewfinderImage();

    void loadView() override;
    void viewWillAppear(bool animated) override;
    bool prefersStatusBarHidden() override { return true; }

    // --- Driving the picker on screen (simulator and tests) ---
    // The picker on screen: the topmost presented one, else one in a visible
    // popover; nullptr when none.
    static std::shared_ptr<UIImagePickerController> visiblePicker();
    // Each answers false with a reason in *error (and calls nobody) when no
    // picker is on screen, its source or media types do not allow the pick,
    // or the file is missing or does not decode.
    // A file of the photo library by name (as PhotoLibrary::fileNames() lists).
    static bool pickLibraryFile(const std::string& name, std::string* error = nullptr);
    // The camera fixture (PhotoLibrary::cameraFixturePath()) as a fresh camera picture.
    static bool takeCameraPicture(std::string* error = nullptr);
    // The library's first video.
    static bool pickVideo(std::string* error = nullptr);
    static bool cancel(std::string* error = nullptr);

private:
    long sourceType_ = UIImagePickerControllerSourceTypePhotoLibrary;
    std::vector<std::string> mediaTypes_{kUTTypeImage};
    bool allowsEditing_ = false;
    long cameraDevice_ = UIImagePickerControllerCameraDeviceRear;
    long cameraCaptureMode_ = UIImagePickerControllerCameraCaptureModePhoto;
    UIImagePickerControllerDelegate* delegate_ = nullptr;
    UIPopoverController* popover_ = nullptr;
    friend class UIPopoverController;
};

}  // namespace platform
