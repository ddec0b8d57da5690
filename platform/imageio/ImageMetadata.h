#pragma once
// The platform's image I/O for metadata: reads the metadata dictionary of a
// JPEG and writes one into JPEG bytes, as a thin layer over Exiv2. The
// dictionary has the platform's shape: sub-dictionaries "{TIFF}", "{Exif}" and
// "{GPS}" under the platform's key names, plus the top-level "Orientation",
// "PixelWidth" and "PixelHeight" (read only). Keys this layer does not know
// are ignored on writing.
//
// Writing merges: entries already in the JPEG stay unless the dictionary
// gives them anew, as adding an image with properties to a destination does.
// The pixels are never re-encoded.
//
// Plain functions over bytes; safe from any thread (Exiv2's own state is set
// up once, thread-safely). Bad bytes (not a JPEG, truncated) come back as an
// error: nothing throws out of here.

#include <optional>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

namespace platform {

// Sub-dictionaries of an image's metadata.
inline constexpr const char* kCGImagePropertyTIFFDictionary = "{TIFF}";
inline constexpr const char* kCGImagePropertyExifDictionary = "{Exif}";
inline constexpr const char* kCGImagePropertyGPSDictionary = "{GPS}";

// Top level.
inline constexpr const char* kCGImagePropertyOrientation = "Orientation";  // 1-8, as TIFF
inline constexpr const char* kCGImagePropertyPixelWidth = "PixelWidth";
inline constexpr const char* kCGImagePropertyPixelHeight = "PixelHeight";

// "{TIFF}": strings, except the resolutions (numbers), the unit and the orientation (integers).
inline constexpr const char* kCGImagePropertyTIFFMake = "Make";
inline constexpr const char* kCGImagePropertyTIFFModel = "Model";
inline constexpr const char* kCGImagePropertyTIFFSoftware = "Software";
inline constexpr const char* kCGImagePropertyTIFFDateTime = "DateTime";  // "yyyy:MM:dd HH:mm:ss"
inline constexpr const char* kCGImagePropertyTIFFXResolution = "XResolution";
inline constexpr const char* kCGImagePropertyTIFFYResolution = "YResolution";
inline constexpr const char* kCGImagePropertyTIFFResolutionUnit = "ResolutionUnit";
inline constexpr const char* kCGImagePropertyTIFFOrientation = "Orientation";

// "{Exif}": dates as strings, counts and codes as integers, measures as numbers.
inline constexpr const char* kCGImagePropertyExifDateTimeOriginal = "DateTimeOriginal";
inline constexpr const char* kCGImagePropertyExifDateTimeDigitized = "DateTimeDigitized";
inline constexpr const char* kCGImagePropertyExifPixelXDimension = "PixelXDimension";
inline constexpr const char* kCGImagePropertyExifPixelYDimension = "PixelYDimension";
inline constexpr const char* kCGImagePropertyExifColorSpace = "ColorSpace";
inline constexpr const char* kCGImagePropertyExifExposureTime = "ExposureTime";
inline constexpr const char* kCGImagePropertyExifFNumber = "FNumber";
inline constexpr const char* kCGImagePropertyExifISOSpeedRatings = "ISOSpeedRatings";  // array of integers
inline constexpr const char* kCGImagePropertyExifFocalLength = "FocalLength";
inline constexpr const char* kCGImagePropertyExifFlash = "Flash";

// "{GPS}": latitude and longitude as positive decimal degrees with their
// "N"/"S" and "E"/"W" references; the altitude in metres with "0" (above sea
// level) or "1" (below); the time stamp "HH:mm:ss.SSSSSS" and the date stamp
// "yyyy:MM:dd", both UTC.
inline constexpr const char* kCGImagePropertyGPSLatitude = "Latitude";
inline constexpr const char* kCGImagePropertyGPSLatitudeRef = "LatitudeRef";
inline constexpr const char* kCGImagePropertyGPSLongitude = "Longitude";
inline constexpr const char* kCGImagePropertyGPSLongitudeRef = "LongitudeRef";
inline constexpr const char* kCGImagePropertyGPSAltitude = "Altitude";
inline constexpr const char* kCGImagePropertyGPSAltitudeRef = "AltitudeRef";
inline constexpr const char* kCGImagePropertyGPSTimeStamp = "TimeStamp";
inline constexpr const char* kCGImagePropertyGPSDateStamp = "DateStamp";

// Error domain and codes of this layer.
inline constexpr const char* ImageMetadataErrorDomain = "ImageMetadataErrorDomain";
inline constexpr int ImageMetadataErrorNotJPEG = 1;        // empty, truncated or not a JPEG
inline constexpr int ImageMetadataErrorUnreadable = 2;     // a JPEG whose metadata cannot be read or written

// Whether the bytes start a JPEG and end in its end-of-image marker (zero
// padding after it allowed): Exiv2 reads only what comes before the image
// data, and a decoder stops at that marker, so a file cut short is told by it.
bool isWholeJpeg(const Data& bytes);

// The JPEG bytes with the dictionary's entries written into their EXIF
// segment; nullopt (and *error) when the bytes are no readable JPEG.
std::optional<Data> jpegDataByAddingMetadata(const Data& jpeg, const Dictionary& metadata, Error* error = nullptr);

// The metadata dictionary of JPEG bytes (empty sub-dictionaries are left
// out); nullopt (and *error) when the bytes are no readable JPEG.
std::optional<Dictionary> metadataOfJpegData(const Data& jpeg, Error* error = nullptr);

}  // namespace platform
