#include "plugins/camera/HYBCameraSupport.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "hybrid/HYBCollectionExtensions.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/imageio/ImageMetadata.h"

namespace plugins {

using platform::CGRect;
using platform::CGSize;
using platform::Value;

namespace {

Value argumentOrNil(const hybrid::HYBInvokedUrlCommand& command, std::size_t index) {
    return command.argumentAtIndexWithDefault(index, Value());
}

std::int64_t integerArgument(const hybrid::HYBInvokedUrlCommand& command, std::size_t index, std::int64_t defaultValue) {
    const Value value = argumentOrNil(command, index);
    return value.isNil() ? defaultValue : value.integerValue();
}

bool boolArgument(const hybrid::HYBInvokedUrlCommand& command, std::size_t index) {
    const Value value = argumentOrNil(command, index);
    return !value.isNil() && value.boolValue();
}

}  // namespace

HYBCameraRequestOptions HYBCameraRequestOptions::fromCommand(const hybrid::HYBInvokedUrlCommand& command) {
    HYBCameraRequestOptions options;
    options.quality = integerArgument(command, 0, 50);
    options.returnType = static_cast<int>(integerArgument(command, 1, HYBCameraDestinationFileURL));
    options.sourceType = static_cast<long>(integerArgument(command, 2, 1));
    const Value width = argumentOrNil(command, 3);
    const Value height = argumentOrNil(command, 4);
    if (!width.isNil() && !height.isNil()) {
        // The page chooses the size of the image drawn: one it could never
        // mean would only exhaust memory, so it is not applied.
        const CGSize size{width.doubleValue(), height.doubleValue()};
        if (std::isfinite(size.width) && std::isfinite(size.height) && size.width <= kHYBCameraMaxTargetSide &&
            size.height <= kHYBCameraMaxTargetSide)
            options.targetSize = size;
        else
            platform::logf("Camera: target size %g x %g ignored: at most %g per side", size.width, size.height,
                           kHYBCameraMaxTargetSide);
    }
    options.encodingType = static_cast<int>(integerArgument(command, 5, HYBCameraEncodingTypeJPEG));
    options.mediaType = static_cast<int>(integerArgument(command, 6, HYBCameraMediaTypePicture));
    options.allowsEditing = boolArgument(command, 7);
    options.correctOrientation = boolArgument(command, 8);
    options.saveToPhotoAlbum = boolArgument(command, 9);
    options.popoverOptions = hybrid::objectAtIndex(command.arguments(), 10, Value());
    options.cameraDirection = static_cast<long>(command.argumentAtIndexWithDefault(11, Value(std::int64_t{0})).integerValue());
    return options;
}

bool isAllowedPopoverArrowDirection(std::int64_t direction) {
    return direction == 1 || direction == 2 || direction == 4 || direction == 8 || direction == 15;
}

HYBCameraPopoverPlacement popoverPlacementFromOptions(const Value& options) {
    HYBCameraPopoverPlacement placement;
    const platform::Dictionary* dictionary = options.dictionary();
    if (!dictionary) return placement;
    const auto read = [&](const char* key, std::int64_t fallback) {
        return static_cast<double>(hybrid::integerValueForKeyDefaultValue(*dictionary, key, fallback));
    };
    placement.rect = platform::CGRectMake(read("x", 0), read("y", 32), read("width", 320), read("height", 480));
    const std::int64_t direction = hybrid::integerValueForKeyDefaultValue(*dictionary, "arrowDir", 15);
    placement.arrowDirections = isAllowedPopoverArrowDirection(direction) ? static_cast<long>(direction) : 15;
    return placement;
}

HYBCameraImageDrawing scalingAndCroppingDrawing(CGSize source, CGSize target) {
    if (source == target) return {target, CGRect{{0, 0}, target}};
    const double widthFactor = target.width / source.width;
    const double heightFactor = target.height / source.height;
    const double factor = std::max(widthFactor, heightFactor);
    const CGSize scaled{source.width * factor, source.height * factor};
    platform::CGPoint origin;
    if (widthFactor > heightFactor)
        origin.y = (target.height - scaled.height) / 2;
    else if (widthFactor < heightFactor)
        origin.x = (target.width - scaled.width) / 2;
    return {target, CGRect{origin, scaled}};
}

HYBCameraImageDrawing scalingNotCroppingDrawing(CGSize source, CGSize target) {
    CGSize size = target;
    if (source != target) {
        const double factor = std::min(target.width / source.width, target.height / source.height);
        size = CGSize{std::min(source.width * factor, target.width), std::min(source.height * factor, target.height)};
    }
    return {size, CGRect{{0, 0}, size}};
}

double captureOrientationAngle(long imageOrientation) {
    // Single-precision angles widened, as the platform's constants are.
    switch (imageOrientation) {
        case 3: return static_cast<double>(static_cast<float>(M_PI_2));
        case 2: return static_cast<double>(static_cast<float>(-M_PI_2));
        case 1: return static_cast<double>(static_cast<float>(M_PI));
        default: return 0;
    }
}

bool captureOrientationSwapsSides(long imageOrientation) { return imageOrientation == 2 || imageOrientation == 3; }

std::uint64_t fullSizeAnswerBytes(std::uint64_t pixels, HYBCameraFullSizeWork work) {
    switch (work) {
        case HYBCameraFullSizeWork::EncodeHeldJpeg: return pixels * 3;
        case HYBCameraFullSizeWork::EncodeSurface:
        case HYBCameraFullSizeWork::Turn: return pixels * 7;
        case HYBCameraFullSizeWork::Draw: return pixels * 12;
    }
    return pixels * 12;
}

std::string temporaryPhotoPath(int encodingType) {
    std::string directory = platform::FileManager::defaultManager().temporaryDirectory();
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    const char* extension = encodingType == HYBCameraEncodingTypePNG ? "png" : "jpg";
    auto& files = platform::FileManager::defaultManager();
    for (int number = 1;; ++number) {
        std::string path = platform::format("%s/%s%03d.%s", directory.c_str(), kHYBCameraPhotoPrefix, number, extension);
        if (!files.fileExistsAtPath(path)) return path;
    }
}

platform::Dictionary gpsDictionaryForFix(double latitude, double longitude, double altitude, double timestampSince1970) {
    platform::Dictionary gps;
    // A fix comes from outside (a device, a scenario): what no position can
    // be is left out rather than written as a wrong place.
    if (std::isfinite(latitude) && std::fabs(latitude) <= 90) {
        gps[platform::kCGImagePropertyGPSLatitudeRef] = Value(std::string(latitude < 0 ? "S" : "N"));
        gps[platform::kCGImagePropertyGPSLatitude] = Value(static_cast<double>(static_cast<float>(std::fabs(latitude))));
    } else {
        platform::logf("Camera: GPS latitude %g left out: not from -90 to 90", latitude);
    }
    if (std::isfinite(longitude) && std::fabs(longitude) <= 180) {
        gps[platform::kCGImagePropertyGPSLongitudeRef] = Value(std::string(longitude < 0 ? "W" : "E"));
        gps[platform::kCGImagePropertyGPSLongitude] = Value(static_cast<double>(static_cast<float>(std::fabs(longitude))));
    } else {
        platform::logf("Camera: GPS longitude %g left out: not from -180 to 180", longitude);
    }
    // Not a number stands for "no altitude"; beyond what the field's unsigned
    // 32-bit rational holds is no altitude either.
    if (std::isfinite(altitude) && std::fabs(altitude) <= 4294967295.0) {
        gps[platform::kCGImagePropertyGPSAltitudeRef] = Value(std::string(altitude < 0 ? "1" : "0"));
        gps[platform::kCGImagePropertyGPSAltitude] = Value(static_cast<double>(static_cast<float>(std::fabs(altitude))));
    } else if (!std::isnan(altitude)) {
        platform::logf("Camera: GPS altitude %g left out", altitude);
    }
    // The date stamp has four digits of year; beyond them (or past time_t) the
    // conversion would be undefined or the date wrong.
    constexpr double kFirstSecondOfYear1 = -62135596800.0, kFirstSecondOfYear10000 = 253402300800.0;
    if (!(timestampSince1970 >= kFirstSecondOfYear1 && timestampSince1970 < kFirstSecondOfYear10000)) {
        platform::logf("Camera: GPS time %g left out: not a date from year 1 to 9999", timestampSince1970);
        return gps;
    }
    const double wholeSeconds = std::floor(timestampSince1970);
    const std::time_t seconds = static_cast<std::time_t>(wholeSeconds);
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc)) return gps;
    const int micros = std::min(999999, static_cast<int>(std::lround((timestampSince1970 - wholeSeconds) * 1e6)));
    gps[platform::kCGImagePropertyGPSTimeStamp] = Value(platform::format("%02d:%02d:%02d.%06d", utc.tm_hour, utc.tm_min, utc.tm_sec, micros));
    gps[platform::kCGImagePropertyGPSDateStamp] = Value(platform::format("%04d:%02d:%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday));
    return gps;
}

}  // namespace plugins
