#pragma once
// The camera plugin's arithmetic and bookkeeping that need no picker: the
// request's options read from the page's arguments, the popover's place, the
// scaling and orientation geometry, the temporary file names, and the GPS
// dictionary of a location fix. Plain functions; any thread.

#include <cstdint>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/graphics/Geometry.h"

namespace hybrid {
class HYBInvokedUrlCommand;
}

namespace plugins {

// Destination, encoding, media and source codes as the page sends them.
enum HYBCameraDestinationType : int { HYBCameraDestinationDataURL = 0, HYBCameraDestinationFileURL = 1, HYBCameraDestinationNativeURI = 2 };
enum HYBCameraEncodingType : int { HYBCameraEncodingTypeJPEG = 0, HYBCameraEncodingTypePNG = 1 };
enum HYBCameraMediaType : int { HYBCameraMediaTypePicture = 0, HYBCameraMediaTypeVideo = 1, HYBCameraMediaTypeAll = 2 };

// The largest target side a page may ask for, in points.
inline constexpr double kHYBCameraMaxTargetSide = 8192;

// The arguments of takePicture, each defaulted when missing or null.
struct HYBCameraRequestOptions {
    std::int64_t quality = 50;
    int returnType = HYBCameraDestinationFileURL;
    long sourceType = 1;
    platform::CGSize targetSize;
    int encodingType = HYBCameraEncodingTypeJPEG;
    int mediaType = HYBCameraMediaTypePicture;
    bool allowsEditing = false;
    bool correctOrientation = false;
    bool saveToPhotoAlbum = false;
    platform::Value popoverOptions;
    long cameraDirection = 0;

    static HYBCameraRequestOptions fromCommand(const hybrid::HYBInvokedUrlCommand& command);
};

// Where a popover points from, and with which arrows.
struct HYBCameraPopoverPlacement {
    platform::CGRect rect = platform::CGRectMake(0, 32, 320, 480);
    long arrowDirections = 15;
};
// From the page's popover options; anything but a dictionary gives the defaults.
HYBCameraPopoverPlacement popoverPlacementFromOptions(const platform::Value& options);
bool isAllowedPopoverArrowDirection(std::int64_t direction);

// Where an image of `source` size lands in a new canvas.
struct HYBCameraImageDrawing {
    platform::CGSize canvas;
    platform::CGRect imageRect;
    friend bool operator==(const HYBCameraImageDrawing&, const HYBCameraImageDrawing&) = default;
};
// Fill the target, centring the overflow, which the canvas cuts off.
HYBCameraImageDrawing scalingAndCroppingDrawing(platform::CGSize source, platform::CGSize target);
// Fit inside the target, keeping the aspect; the canvas is the scaled size.
HYBCameraImageDrawing scalingNotCroppingDrawing(platform::CGSize source, platform::CGSize target);
// The rotation that turns a picture of the image orientation (0 up, 1 down,
// 2 left, 3 right) upright; right and left draw with width and height swapped.
double captureOrientationAngle(long imageOrientation);
bool captureOrientationSwapsSides(long imageOrientation);

// The most a full-size answer's pixels may hold at once, leaving the rest of
// the app's gigabyte to the app and to the page's copy of the answer.
inline constexpr std::uint64_t kHYBCameraMaxFullSizeBytes = 500'000'000;
// What answering a picture of `pixels` at full size holds at once: the
// encoder's three bytes a pixel, beside the four of a surface when the
// picture is turned (exactly, from its JPEG) or already decoded, and beside
// two surfaces when it must be drawn anew.
enum class HYBCameraFullSizeWork { EncodeHeldJpeg, EncodeSurface, Turn, Draw };
std::uint64_t fullSizeAnswerBytes(std::uint64_t pixels, HYBCameraFullSizeWork work);

inline constexpr const char* kHYBCameraPhotoPrefix = "hyb_photo_";
// The first "<tmp>/hyb_photo_NNN.<jpg|png>" that does not exist yet.
std::string temporaryPhotoPath(int encodingType);

// The GPS dictionary of a fix (keys as the image I/O names them); altitude
// only when it is a number; time and date in UTC. A latitude, a longitude,
// an altitude or a time outside its range (or not finite) is logged and left out.
platform::Dictionary gpsDictionaryForFix(double latitude, double longitude, double altitude,
                                         double timestampSince1970);

}  // namespace plugins
