#include "plugins/camera/HYBCamera.h"

#include "hybrid/HYBBase64.h"
#include "hybrid/HYBCollectionExtensions.h"
#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBContainer.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/imageio/ImageMetadata.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Device.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Window.h"
#include "plugins/camera/TempUIViewControler.h"

namespace plugins {

using hybrid::HYBPluginResult;
using platform::CGSize;
using platform::UIImage;
using platform::Value;

namespace {

std::shared_ptr<HYBPluginResult> errorResult(const std::string& message) {
    return HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusError, message);
}

}  // namespace

HYBCamera::HYBCamera(std::shared_ptr<platform::WebView> webView) : HYBPlugin(std::move(webView)) {}

HYBCamera::~HYBCamera() {
    if (locationTimer_) platform::RunLoop::main().cancel(*locationTimer_);
    if (locationManager_) {
        locationManager_->stopUpdatingLocation();
        locationManager_->setDelegate(nullptr);
    }
    if (pickerController_) {
        pickerController_->setDelegate(nullptr);
        if (pickerController_->popoverController) pickerController_->popoverController->setDelegate(nullptr);
    }
}

const hybrid::HYBActionTable& HYBCamera::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<HYBCamera>({
        {"takePicture", &HYBCamera::takePicture},
        {"cleanup", &HYBCamera::cleanup},
        {"repositionPopover", &HYBCamera::repositionPopover},
    });
    return table;
}

bool HYBCamera::popoverSupported() const {
    return platform::UIDevice::currentDevice().userInterfaceIdiom() == platform::UIUserInterfaceIdiomPad;
}

void HYBCamera::sendResult(const HYBPluginResult& result, const std::optional<std::string>& callbackId) {
    if (const auto delegate = commandDelegate()) delegate->sendPluginResult(result, callbackId);
}

void HYBCamera::takePicture(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBCamera::takePicture");
    // A picture still waiting for its position is answered now, without it:
    // the new request takes the picker, and each request gets one answer.
    if (data_ && pickerController_) {
        endLocationPass();
        imagePickerControllerReturnImageResult();
    }
    setHasPendingOperation(false);
    const HYBCameraRequestOptions options = HYBCameraRequestOptions::fromCommand(command);
    if (!platform::UIImagePickerController::isSourceTypeAvailable(options.sourceType)) {
        platform::logf("Camera.getPicture: source type %lu not available.", static_cast<unsigned long>(options.sourceType));
        sendResult(*errorResult("no camera available"), command.callbackId());
        return;
    }
    // A request still on screen is replaced: it is answered as cancelled, so
    // that it too gets its one answer.
    if (pickerController_ && pickerController_->callbackId)
        sendResult(*errorResult("no image selected"), pickerController_->callbackId);
    if (pickerController_ && pickerController_->popoverController &&
        pickerController_->popoverController->isPopoverVisible()) {
        pickerController_->popoverController->dismissPopoverAnimated(true);
        pickerController_->popoverController->setDelegate(nullptr);
        pickerController_->popoverController.reset();
    }

    auto picker = std::make_shared<HYBCameraPicker>();
    pickerController_ = picker;
    picker->setDelegate(this);
    picker->setSourceType(options.sourceType);
    picker->setAllowsEditing(options.allowsEditing);
    picker->callbackId = command.callbackId();
    picker->targetSize = options.targetSize;
    picker->cropToSize = false;
    picker->webView = webView();
    picker->popoverSupported = popoverSupported();
    picker->correctOrientation = options.correctOrientation;
    picker->saveToPhotoAlbum = options.saveToPhotoAlbum;
    picker->encodingType = options.encodingType;
    picker->quality = options.quality;
    picker->returnType = options.returnType;

    const bool camera = options.sourceType == platform::UIImagePickerControllerSourceTypeCamera;
    if (camera) {
        picker->setMediaTypes({platform::kUTTypeImage});
        picker->setCameraDevice(options.cameraDirection);
    } else if (options.mediaType == HYBCameraMediaTypeAll) {
        picker->setMediaTypes(platform::UIImagePickerController::availableMediaTypesForSourceType(options.sourceType));
    } else if (options.mediaType == HYBCameraMediaTypeVideo) {
        picker->setMediaTypes({platform::kUTTypeMovie});
    } else {
        picker->setMediaTypes({platform::kUTTypeImage});
    }

    if (!picker->popoverSupported || camera) {
        const auto holder = TempUIViewControler::shared();
        // The holder presents one picker at a time: one a replaced request left up goes first.
        if (holder->presentedViewController()) holder->dismissViewControllerAnimated(false);
        const auto presentPicker = [holder, picker] { holder->presentViewController(picker, true); };
        auto presenter = std::dynamic_pointer_cast<platform::UIViewController>(viewController());
        if (!presenter)
            if (const auto window = platform::UIWindow::keyWindow()) presenter = window->rootViewController();
        if (presenter && !holder->presentingViewController())
            presenter->presentViewController(holder, false, presentPicker);
        else
            presentPicker();
    } else {
        if (!picker->popoverController) {
            picker->popoverController = std::make_shared<platform::UIPopoverController>(picker);
        }
        displayPopover(options.popoverOptions);
    }
    setHasPendingOperation(true);
}

void HYBCamera::displayPopover(const Value& options) {
    platform::assertMainThread("HYBCamera::displayPopover");
    if (!pickerController_ || !pickerController_->popoverController) return;
    const HYBCameraPopoverPlacement placement = popoverPlacementFromOptions(options);
    std::shared_ptr<platform::UIView> anchorView;
    if (const auto web = webView()) anchorView = web->superview();
    pickerController_->popoverController->setDelegate(this);
    pickerController_->popoverController->presentPopoverFromRect(placement.rect, anchorView,
                                                                 static_cast<unsigned long>(placement.arrowDirections),
                                                                 true);
}

void HYBCamera::repositionPopover(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBCamera::repositionPopover");
    displayPopover(hybrid::objectAtIndex(command.arguments(), 0, Value()));
}

void HYBCamera::dismissFullScreen(platform::UIImagePickerController& picker) {
    const auto holder = picker.presentingViewController();
    picker.dismissViewControllerAnimated(false, [holder] {
        if (holder && holder->presentingViewController()) holder->dismissViewControllerAnimated(false);
    });
}

void HYBCamera::closePicker(HYBCameraPicker& picker) {
    if (picker.popoverSupported && picker.popoverController) {
        picker.popoverController->dismissPopoverAnimated(true);
        picker.popoverController->setDelegate(nullptr);
        picker.popoverController.reset();
    } else {
        dismissFullScreen(picker);
    }
}

std::shared_ptr<HYBPluginResult> HYBCamera::resultForBytes(const platform::Data& bytes, int returnType,
                                                           int encodingType) {
    if (bytes.empty()) {
        platform::log("Camera: the picture could not be encoded");
        return HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusError,
                                                                "could not encode the image");
    }
    if (returnType != HYBCameraDestinationFileURL)
        return HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusOK,
                                                                hybrid::base64EncodedString(bytes));
    const std::string path = temporaryPhotoPath(encodingType);
    platform::Error error;
    if (!platform::FileManager::defaultManager().createFileAtPath(path, bytes, true, &error))
        return HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusIOError,
                                                                error.localizedDescription);
    return HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusOK,
                                                            platform::URL::fileURLWithPath(path).absoluteString());
}

void HYBCamera::imagePickerControllerDidFinishPickingMediaWithInfo(platform::UIImagePickerController& basePicker,
                                                                   const platform::UIImagePickerInfo& info) {
    platform::assertMainThread("HYBCamera::imagePickerControllerDidFinishPickingMediaWithInfo");
    // Keeps the picker alive while it is closed and answered.
    const std::shared_ptr<HYBCameraPicker> picker = pickerController_;
    if (!picker || picker.get() != &basePicker) return;
    closePicker(*picker);

    std::shared_ptr<HYBPluginResult> result;
    if (info.mediaType != platform::kUTTypeImage) {
        result = HYBPluginResult::resultWithStatusMessageAsString(
            hybrid::HYBResultStatusOK, info.mediaURL ? info.mediaURL->absoluteString() : std::string());
    } else if (picker->returnType == HYBCameraDestinationNativeURI) {
        result = HYBPluginResult::resultWithStatusMessageAsString(
            hybrid::HYBResultStatusOK, info.referenceURL ? info.referenceURL->absoluteString() : std::string());
    } else {
        std::shared_ptr<UIImage> image = picker->allowsEditing() && info.editedImage ? info.editedImage : info.originalImage;
        const CGSize target = picker->targetSize;
        const bool scaling = target.width > 0 && target.height > 0;
        if (!image) {
            result = errorResult("no image selected");
        } else if (!scaling && (result = refusalOfFullSize(*image, *picker))) {
            // Refused before a pixel is decoded.
        } else {
            // Scaling draws the picture upright anyway, so a full-size
            // correction first would only cost a second pass over every pixel;
            // a picture already upright would be drawn as it is.
            if (picker->correctOrientation && !scaling &&
                (image->imageOrientation() != platform::UIImageOrientationUp || image->scale() != 1))
                if (auto upright = imageCorrectedForCaptureOrientation(*image)) image = std::move(upright);
            if (scaling) {
                auto scaled = picker->cropToSize ? imageByScalingAndCroppingForSize(*image, target)
                                                 : imageByScalingNotCroppingForSize(*image, target);
                if (scaled) image = std::move(scaled);
            }
            platform::Data bytes;
            if (picker->encodingType == HYBCameraEncodingTypePNG) {
                bytes = platform::UIImagePNGRepresentation(*image);
            } else if (!picker->allowsEditing() && !scaling && !picker->correctOrientation) {
                bytes = platform::UIImageJPEGRepresentation(*image, 1.0);
            } else {
                bytes = platform::UIImageJPEGRepresentation(*image, static_cast<float>(picker->quality) / 100.0f);
                if (info.mediaMetadata) {
                    data_ = std::move(bytes);
                    metadata_ = platform::Dictionary{};
                    const auto exif = info.mediaMetadata->find(platform::kCGImagePropertyExifDictionary);
                    if (exif != info.mediaMetadata->end() && exif->second.dictionary())
                        (*metadata_)[platform::kCGImagePropertyExifDictionary] = exif->second;
                    startLocationPass();
                    return;
                }
            }
            if (picker->saveToPhotoAlbum)
                platform::ALAssetsLibrary().writeImageToSavedPhotosAlbum(*image, image->imageOrientation());
            result = resultForBytes(bytes, picker->returnType, picker->encodingType);
        }
    }
    if (result) sendResult(*result, picker->callbackId);
    setHasPendingOperation(false);
    pickerController_.reset();
}

void HYBCamera::startLocationPass() {
    if (!locationManager_) {
        locationManager_ = platform::CLLocationManager::create();
        locationManager_->setDesiredAccuracy(platform::kCLLocationAccuracyNearestTenMeters);
        locationManager_->setDelegate(this);
    }
    locationManager_->startUpdatingLocation();
    if (locationTimer_) platform::RunLoop::main().cancel(*locationTimer_);
    // Without a limit a device that never gets a fix would keep the page waiting for ever.
    locationTimer_ = platform::RunLoop::main().after(kLocationTimeLimit, [this] {
        locationTimer_.reset();
        if (!locationManager_) return;
        platform::logf("Camera: no location within %g s; the picture goes without GPS data", kLocationTimeLimit);
        endLocationPass();
        imagePickerControllerReturnImageResult();
    });
}

void HYBCamera::endLocationPass() {
    if (locationTimer_) {
        platform::RunLoop::main().cancel(*locationTimer_);
        locationTimer_.reset();
    }
    if (locationManager_) {
        locationManager_->stopUpdatingLocation();
        locationManager_->setDelegate(nullptr);
        locationManager_.reset();
    }
}

void HYBCamera::locationManagerDidUpdateToLocationFromLocation(platform::CLLocationManager&,
                                                               const platform::CLLocation& newLocation,
                                                               const std::optional<platform::CLLocation>&) {
    platform::assertMainThread("HYBCamera::locationManagerDidUpdateToLocationFromLocation");
    if (!locationManager_) return;
    endLocationPass();
    if (metadata_)
        (*metadata_)[platform::kCGImagePropertyGPSDictionary] =
            Value(gpsDictionaryForFix(newLocation.coordinate.latitude, newLocation.coordinate.longitude,
                                      newLocation.altitude, newLocation.timestamp));
    imagePickerControllerReturnImageResult();
}

void HYBCamera::locationManagerDidFailWithError(platform::CLLocationManager&, const platform::Error&) {
    platform::assertMainThread("HYBCamera::locationManagerDidFailWithError");
    if (!locationManager_) return;
    endLocationPass();
    imagePickerControllerReturnImageResult();
}

void HYBCamera::imagePickerControllerReturnImageResult() {
    platform::assertMainThread("HYBCamera::imagePickerControllerReturnImageResult");
    // Only a request still waiting for its bytes is answered, so late
    // callbacks cannot answer twice.
    const std::shared_ptr<HYBCameraPicker> picker = pickerController_;
    if (!picker || !data_) return;
    platform::Data bytes = std::move(*data_);
    if (metadata_) {
        platform::Error error;
        if (auto stamped = platform::jpegDataByAddingMetadata(bytes, *metadata_, &error))
            bytes = std::move(*stamped);
        else
            platform::logf("Camera: metadata not added: %s", error.description().c_str());
    }
    if (picker->saveToPhotoAlbum)
        platform::ALAssetsLibrary().writeImageDataToSavedPhotosAlbum(bytes, metadata_.value_or(platform::Dictionary{}));
    const auto result = resultForBytes(bytes, picker->returnType, picker->encodingType);
    pickerController_.reset();
    data_.reset();
    metadata_.reset();
    sendResult(*result, picker->callbackId);
    setHasPendingOperation(false);
}

void HYBCamera::navigationControllerWillShowViewController(platform::UIImagePickerController& picker,
                                                           platform::UIViewController& shown, bool) {
    platform::assertMainThread("HYBCamera::navigationControllerWillShowViewController");
    const auto& types = picker.mediaTypes();
    if (std::find(types.begin(), types.end(), platform::kUTTypeImage) != types.end()) return;
    shown.navigationItem()->setTitle(platform::Bundle::main().localizedStringForKeyValueTable("Videos title", "", ""));
}

void HYBCamera::imagePickerControllerDidCancel(platform::UIImagePickerController& basePicker) {
    platform::assertMainThread("HYBCamera::imagePickerControllerDidCancel");
    const std::shared_ptr<HYBCameraPicker> picker = pickerController_;
    // A picker in a popover is closed with it, not left on screen.
    if (picker && picker.get() == &basePicker)
        closePicker(*picker);
    else
        dismissFullScreen(basePicker);
    const char* message = platform::ALAssetsLibrary::authorizationStatus() != platform::ALAuthorizationStatusAuthorized
                              ? "has no access to assets"
                              : "no image selected";
    if (picker && picker.get() == &basePicker) sendResult(*errorResult(message), picker->callbackId);
    setHasPendingOperation(false);
    pickerController_.reset();
}

void HYBCamera::popoverControllerDidDismissPopover(platform::UIPopoverController& popover) {
    platform::assertMainThread("HYBCamera::popoverControllerDidDismissPopover");
    popover.dismissPopoverAnimated(true);
    popover.setDelegate(nullptr);
    if (pickerController_ && pickerController_->callbackId && pickerController_->popoverController) {
        pickerController_->popoverController.reset();
        sendResult(*errorResult("no image selected"), pickerController_->callbackId);
        pickerController_->callbackId.reset();  // answered: a later request must not answer it again
    }
    setHasPendingOperation(false);
}

void HYBCamera::cleanup(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBCamera::cleanup");
    auto& files = platform::FileManager::defaultManager();
    std::string directory = files.temporaryDirectory();
    if (!directory.empty() && directory.back() != '/') directory += '/';
    bool failed = false;
    for (const std::string& entry : files.enumeratorAtPath(directory)) {
        if (entry.rfind(kHYBCameraPhotoPrefix, 0) != 0) continue;
        const std::string path = directory + entry;
        platform::Error error;
        if (!files.removeItemAtPath(path, &error)) {
            platform::logf("Failed to delete: %s (error: %s)", path.c_str(), error.description().c_str());
            failed = true;
        }
    }
    if (failed)
        sendResult(*HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusIOError,
                                                                     "One or more files failed to be deleted."),
                   command.callbackId());
    else
        sendResult(*HYBPluginResult::resultWithStatus(hybrid::HYBResultStatusOK), command.callbackId());
}

std::shared_ptr<HYBPluginResult> HYBCamera::refusalOfFullSize(const UIImage& image, const HYBCameraPicker& picker) {
    const long orientation = image.imageOrientation();
    const bool turns = picker.correctOrientation && (orientation != platform::UIImageOrientationUp || image.scale() != 1);
    HYBCameraFullSizeWork work = image.heldJpegData() ? HYBCameraFullSizeWork::EncodeHeldJpeg
                                                      : HYBCameraFullSizeWork::EncodeSurface;
    if (turns)
        work = image.scale() == 1 && orientation <= platform::UIImageOrientationRight ? HYBCameraFullSizeWork::Turn
                                                                                       : HYBCameraFullSizeWork::Draw;
    else if (picker.encodingType == HYBCameraEncodingTypePNG)
        work = HYBCameraFullSizeWork::EncodeSurface;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(image.pixelWidth()) * static_cast<std::uint64_t>(image.pixelHeight());
    const std::uint64_t bytes = fullSizeAnswerBytes(pixels, work);
    if (bytes <= kHYBCameraMaxFullSizeBytes) return nullptr;
    const std::string message = platform::format(
        "the picture of %d x %d pixels would take %.1f GB to answer at full size, over the limit of %.1f GB; ask "
        "for a target size",
        image.pixelWidth(), image.pixelHeight(), bytes / 1e9, kHYBCameraMaxFullSizeBytes / 1e9);
    platform::logf("Camera: %s", message.c_str());
    return errorResult(message);
}

std::shared_ptr<UIImage> HYBCamera::imageCorrectedForCaptureOrientation(const UIImage& image) {
    const long orientation = image.imageOrientation();
    // At one pixel a point the drawing below turns the pixels exactly as the
    // image shows them upright, which a camera JPEG not decoded yet does
    // without holding its whole picture twice.
    if (image.scale() == 1 && orientation >= platform::UIImageOrientationUp &&
        orientation <= platform::UIImageOrientationRight)
        return image.uprightImage();
    const CGSize size = image.size();
    platform::UIGraphicsBeginImageContextWithOptions(size, false, 1);
    platform::CGContextRef context = platform::UIGraphicsGetCurrentContext();
    platform::CGContextTranslateCTM(context, size.width / 2, size.height / 2);
    platform::CGContextRotateCTM(context, captureOrientationAngle(orientation));
    platform::CGContextScaleCTM(context, 1, -1);
    const double w = size.width, h = size.height;
    if (captureOrientationSwapsSides(orientation))
        platform::CGContextDrawImage(context, platform::CGRectMake(-h / 2, -w / 2, h, w), image);
    else
        platform::CGContextDrawImage(context, platform::CGRectMake(-w / 2, -h / 2, w, h), image);
    auto corrected = platform::UIGraphicsGetImageFromCurrentImageContext();
    platform::UIGraphicsEndImageContext();
    return corrected;
}

namespace {

std::shared_ptr<UIImage> drawScaled(const UIImage& image, const HYBCameraImageDrawing& drawing) {
    // A camera JPEG scaled down needs only the pixels of a reduced decode,
    // which costs a fraction of the full one and leaves less to resample.
    const auto reduced = image.reducedImageCovering(drawing.imageRect.size);
    platform::UIGraphicsBeginImageContextWithOptions(drawing.canvas, false, 1);
    (reduced ? *reduced : image).drawInRect(drawing.imageRect);
    auto scaled = platform::UIGraphicsGetImageFromCurrentImageContext();
    if (!scaled) platform::log("could not scale image");
    platform::UIGraphicsEndImageContext();
    return scaled;
}

}  // namespace

std::shared_ptr<UIImage> HYBCamera::imageByScalingAndCroppingForSize(const UIImage& image, CGSize targetSize) {
    return drawScaled(image, scalingAndCroppingDrawing(image.size(), targetSize));
}

std::shared_ptr<UIImage> HYBCamera::imageByScalingNotCroppingForSize(const UIImage& image, CGSize targetSize) {
    return drawScaled(image, scalingNotCroppingDrawing(image.size(), targetSize));
}

}  // namespace plugins
