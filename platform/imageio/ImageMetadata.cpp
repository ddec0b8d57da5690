#include "platform/imageio/ImageMetadata.h"

#include <exiv2/exiv2.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace platform {
namespace {

// How a dictionary value becomes an Exiv2 value and back.
enum class Kind {
    Ascii,
    Short,        // one integer, or an array of them
    Long,
    Byte,         // an integer or its text ("0", "1")
    Undefined,    // one small integer stored as a byte (SceneType)
    Rational,     // a non-negative number
    SignedRational,
    Degrees,      // decimal degrees <-> degrees, minutes, seconds
    Time,         // "HH:mm:ss.SSSSSS" <-> hours, minutes, seconds
};

struct Entry {
    const char* dictionary;
    const char* key;
    const char* exivKey;
    Kind kind;
};

constexpr Entry kEntries[] = {
    {kCGImagePropertyTIFFDictionary, "Make", "Exif.Image.Make", Kind::Ascii},
    {kCGImagePropertyTIFFDictionary, "Model", "Exif.Image.Model", Kind::Ascii},
    {kCGImagePropertyTIFFDictionary, "Software", "Exif.Image.Software", Kind::Ascii},
    {kCGImagePropertyTIFFDictionary, "DateTime", "Exif.Image.DateTime", Kind::Ascii},
    {kCGImagePropertyTIFFDictionary, "Artist", "Exif.Image.Artist", Kind::Ascii},
    {kCGImagePropertyTIFFDictionary, "Copyright", "Exif.Image.Copyright", Kind::Ascii},
    {kCGImagePropertyTIFFDictionary, "ImageDescription", "Exif.Image.ImageDescription", Kind::Ascii},
    {kCGImagePropertyTIFFDictionary, "XResolution", "Exif.Image.XResolution", Kind::Rational},
    {kCGImagePropertyTIFFDictionary, "YResolution", "Exif.Image.YResolution", Kind::Rational},
    {kCGImagePropertyTIFFDictionary, "ResolutionUnit", "Exif.Image.ResolutionUnit", Kind::Short},
    {kCGImagePropertyTIFFDictionary, "Orientation", "Exif.Image.Orientation", Kind::Short},

    {kCGImagePropertyExifDictionary, "DateTimeOriginal", "Exif.Photo.DateTimeOriginal", Kind::Ascii},
    {kCGImagePropertyExifDictionary, "DateTimeDigitized", "Exif.Photo.DateTimeDigitized", Kind::Ascii},
    {kCGImagePropertyExifDictionary, "SubsecTimeOriginal", "Exif.Photo.SubSecTimeOriginal", Kind::Ascii},
    {kCGImagePropertyExifDictionary, "SubsecTimeDigitized", "Exif.Photo.SubSecTimeDigitized", Kind::Ascii},
    {kCGImagePropertyExifDictionary, "LensMake", "Exif.Photo.LensMake", Kind::Ascii},
    {kCGImagePropertyExifDictionary, "LensModel", "Exif.Photo.LensModel", Kind::Ascii},
    {kCGImagePropertyExifDictionary, "PixelXDimension", "Exif.Photo.PixelXDimension", Kind::Long},
    {kCGImagePropertyExifDictionary, "PixelYDimension", "Exif.Photo.PixelYDimension", Kind::Long},
    {kCGImagePropertyExifDictionary, "ColorSpace", "Exif.Photo.ColorSpace", Kind::Short},
    {kCGImagePropertyExifDictionary, "ExposureTime", "Exif.Photo.ExposureTime", Kind::Rational},
    {kCGImagePropertyExifDictionary, "FNumber", "Exif.Photo.FNumber", Kind::Rational},
    {kCGImagePropertyExifDictionary, "ApertureValue", "Exif.Photo.ApertureValue", Kind::Rational},
    {kCGImagePropertyExifDictionary, "ShutterSpeedValue", "Exif.Photo.ShutterSpeedValue", Kind::SignedRational},
    {kCGImagePropertyExifDictionary, "BrightnessValue", "Exif.Photo.BrightnessValue", Kind::SignedRational},
    {kCGImagePropertyExifDictionary, "ExposureBiasValue", "Exif.Photo.ExposureBiasValue", Kind::SignedRational},
    {kCGImagePropertyExifDictionary, "ISOSpeedRatings", "Exif.Photo.ISOSpeedRatings", Kind::Short},
    {kCGImagePropertyExifDictionary, "FocalLength", "Exif.Photo.FocalLength", Kind::Rational},
    {kCGImagePropertyExifDictionary, "FocalLenIn35mmFilm", "Exif.Photo.FocalLengthIn35mmFilm", Kind::Short},
    {kCGImagePropertyExifDictionary, "Flash", "Exif.Photo.Flash", Kind::Short},
    {kCGImagePropertyExifDictionary, "MeteringMode", "Exif.Photo.MeteringMode", Kind::Short},
    {kCGImagePropertyExifDictionary, "ExposureProgram", "Exif.Photo.ExposureProgram", Kind::Short},
    {kCGImagePropertyExifDictionary, "ExposureMode", "Exif.Photo.ExposureMode", Kind::Short},
    {kCGImagePropertyExifDictionary, "WhiteBalance", "Exif.Photo.WhiteBalance", Kind::Short},
    {kCGImagePropertyExifDictionary, "SensingMethod", "Exif.Photo.SensingMethod", Kind::Short},
    {kCGImagePropertyExifDictionary, "SceneType", "Exif.Photo.SceneType", Kind::Undefined},

    {kCGImagePropertyGPSDictionary, "LatitudeRef", "Exif.GPSInfo.GPSLatitudeRef", Kind::Ascii},
    {kCGImagePropertyGPSDictionary, "Latitude", "Exif.GPSInfo.GPSLatitude", Kind::Degrees},
    {kCGImagePropertyGPSDictionary, "LongitudeRef", "Exif.GPSInfo.GPSLongitudeRef", Kind::Ascii},
    {kCGImagePropertyGPSDictionary, "Longitude", "Exif.GPSInfo.GPSLongitude", Kind::Degrees},
    {kCGImagePropertyGPSDictionary, "AltitudeRef", "Exif.GPSInfo.GPSAltitudeRef", Kind::Byte},
    {kCGImagePropertyGPSDictionary, "Altitude", "Exif.GPSInfo.GPSAltitude", Kind::Rational},
    {kCGImagePropertyGPSDictionary, "TimeStamp", "Exif.GPSInfo.GPSTimeStamp", Kind::Time},
    {kCGImagePropertyGPSDictionary, "DateStamp", "Exif.GPSInfo.GPSDateStamp", Kind::Ascii},
    {kCGImagePropertyGPSDictionary, "Speed", "Exif.GPSInfo.GPSSpeed", Kind::Rational},
    {kCGImagePropertyGPSDictionary, "SpeedRef", "Exif.GPSInfo.GPSSpeedRef", Kind::Ascii},
    {kCGImagePropertyGPSDictionary, "ImgDirection", "Exif.GPSInfo.GPSImgDirection", Kind::Rational},
    {kCGImagePropertyGPSDictionary, "ImgDirectionRef", "Exif.GPSInfo.GPSImgDirectionRef", Kind::Ascii},
    {kCGImagePropertyGPSDictionary, "DOP", "Exif.GPSInfo.GPSDOP", Kind::Rational},
};

constexpr Entry kOrientationEntry{kCGImagePropertyTIFFDictionary, "Orientation", "Exif.Image.Orientation", Kind::Short};

void setUpExiv2Once() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Exiv2 reports damaged input on stderr as well as by exception; the
        // exception is what we answer with.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

bool fail(Error* error, int code, std::string description) {
    if (error) *error = Error{ImageMetadataErrorDomain, code, std::move(description), {}};
    return false;
}

// The closest fraction with both parts up to `limit`, from the continued fraction.
std::pair<std::int64_t, std::int64_t> fraction(double value, std::int64_t limit) {
    const bool negative = value < 0;
    double x = std::fabs(value);
    std::int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    for (int i = 0; i < 32; ++i) {
        const double a = std::floor(x);
        if (a > 4e9) break;
        const auto ai = static_cast<std::int64_t>(a);
        const std::int64_t h2 = ai * h1 + h0, k2 = ai * k1 + k0;
        if (k2 > limit || h2 > limit) break;
        h0 = h1; h1 = h2; k0 = k1; k1 = k2;
        const double rest = x - a;
        if (rest < 1e-12) break;
        x = 1.0 / rest;
    }
    if (k1 == 0) { h1 = 0; k1 = 1; }
    return {negative ? -h1 : h1, k1};
}

std::string rationalText(double value, bool isSigned) {
    if (!std::isfinite(value)) value = 0;
    if (!isSigned) value = std::fabs(value);
    const auto [numerator, denominator] = fraction(value, isSigned ? 0x7fffffffLL : 0xffffffffLL);
    return std::to_string(numerator) + "/" + std::to_string(denominator);
}

std::string sexagesimalText(double value) {
    if (!std::isfinite(value)) value = 0;
    // Whole micro-seconds of arc (or of time) first, so that rounding never gives 60 seconds.
    const auto total = static_cast<std::int64_t>(std::llround(std::fabs(value) * 3600.0 * 1e6));
    const std::int64_t whole = total / 1000000 / 3600;
    const std::int64_t minutes = total / 1000000 / 60 % 60;
    const std::int64_t micros = total % (60LL * 1000000);
    return std::to_string(whole) + "/1 " + std::to_string(minutes) + "/1 " + std::to_string(micros) + "/1000000";
}

// "HH:mm:ss.SSSSSS" as hours; nullopt when it does not read as a time.
std::optional<double> hoursOfTimeText(const std::string& text) {
    int hours = 0, minutes = 0;
    double seconds = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%lf", &hours, &minutes, &seconds) != 3) return std::nullopt;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds >= 61) return std::nullopt;
    return hours + minutes / 60.0 + seconds / 3600.0;
}

std::string integersText(const Value& value) {
    if (const Array* array = value.array()) {
        std::string text;
        for (const Value& element : *array) text += (text.empty() ? "" : " ") + std::to_string(element.integerValue());
        return text;
    }
    return std::to_string(value.integerValue());
}

// Exiv2's text form of the value, or nullopt when the value does not fit the entry.
std::optional<std::string> exivText(const Entry& entry, const Value& value) {
    switch (entry.kind) {
    case Kind::Ascii:
        if (!value.isString() && !value.isNumber()) return std::nullopt;
        return value.stringValue();
    case Kind::Short:
    case Kind::Long:
    case Kind::Byte:
    case Kind::Undefined:
        if (!value.isNumber() && !value.isString() && !value.isArray()) return std::nullopt;
        return integersText(value);
    case Kind::Rational:
    case Kind::SignedRational:
        if (!value.isNumber() && !value.isString()) return std::nullopt;
        return rationalText(value.doubleValue(), entry.kind == Kind::SignedRational);
    case Kind::Degrees:
        if (!value.isNumber() && !value.isString()) return std::nullopt;
        return sexagesimalText(value.doubleValue());
    case Kind::Time: {
        const auto hours = hoursOfTimeText(value.stringValue());
        if (!hours) return std::nullopt;
        return sexagesimalText(*hours);
    }
    }
    return std::nullopt;
}

// Exiv2's toRational (and toLong where long is 32 bits) pass through signed
// 32-bit fields, which turn an unsigned value above 2^31 negative: unsigned
// types are read as such.
long long integerValue(const Exiv2::Value& value, long n) {
    if (value.typeId() == Exiv2::unsignedLong) {
        if (const auto* unsignedValue = dynamic_cast<const Exiv2::ULongValue*>(&value))
            return static_cast<long long>(unsignedValue->value_.at(static_cast<std::size_t>(n)));
    }
    // Bytes and shorts, signed or not, fit a long whichever way they are read.
    return static_cast<long long>(value.toLong(n));
}

double rationalValue(const Exiv2::Value& value, long n) {
    if (value.typeId() == Exiv2::unsignedRational) {
        if (const auto* unsignedValue = dynamic_cast<const Exiv2::URationalValue*>(&value)) {
            const Exiv2::URational r = unsignedValue->value_.at(static_cast<std::size_t>(n));
            return r.second == 0 ? 0.0 : static_cast<double>(r.first) / r.second;
        }
    }
    if (value.typeId() == Exiv2::unsignedLong) return static_cast<double>(integerValue(value, n));
    const Exiv2::Rational r = value.toRational(n);
    return r.second == 0 ? 0.0 : static_cast<double>(r.first) / r.second;
}

Value dictionaryValue(const Entry& entry, const Exiv2::Value& value) {
    switch (entry.kind) {
    case Kind::Ascii: {
        std::string text = value.toString();
        while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
        return Value(text);
    }
    case Kind::Short:
    case Kind::Long:
    case Kind::Byte:
    case Kind::Undefined:
        if (value.count() > 1 && entry.kind != Kind::Undefined) {
            Array array;
            for (long i = 0; i < value.count(); ++i) array.emplace_back(integerValue(value, i));
            return Value(std::move(array));
        }
        return Value(integerValue(value, 0));
    case Kind::Rational:
    case Kind::SignedRational:
        return Value(rationalValue(value, 0));
    case Kind::Degrees:
    case Kind::Time: {
        double sum = 0;
        for (long i = 0; i < value.count() && i < 3; ++i) sum += rationalValue(value, i) / std::pow(60.0, i);
        if (entry.kind == Kind::Degrees) return Value(sum);
        const auto micros = static_cast<std::int64_t>(std::llround(sum * 3600.0 * 1e6));
        char text[32];
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%06lld", static_cast<long long>(micros / 3600000000LL % 24),
                      static_cast<long long>(micros / 60000000 % 60), static_cast<long long>(micros / 1000000 % 60),
                      static_cast<long long>(micros % 1000000));
        return Value(std::string(text));
    }
    }
    return Value();
}

void setEntry(Exiv2::ExifData& exif, const Entry& entry, const std::string& text) {
    const Exiv2::ExifKey key(entry.exivKey);
    Exiv2::Value::AutoPtr value = Exiv2::Value::create(key.defaultTypeId());
    if (entry.kind == Kind::Undefined) value = Exiv2::Value::create(Exiv2::undefined);
    if (value->read(text) != 0) return;
    exif[entry.exivKey].setValue(value.get());
}

// Tags the EXIF standard requires beside what the dictionary gives, so that
// readers find a complete directory.
void addRequiredEntries(Exiv2::ExifData& exif, bool wroteExif, bool wroteGPS, int pixelWidth, int pixelHeight) {
    auto setDefault = [&exif](const char* key, const char* text, Exiv2::TypeId type) {
        if (exif.findKey(Exiv2::ExifKey(key)) != exif.end()) return;
        Exiv2::Value::AutoPtr value = Exiv2::Value::create(type);
        value->read(text);
        exif[key].setValue(value.get());
    };
    setDefault("Exif.Image.XResolution", "72/1", Exiv2::unsignedRational);
    setDefault("Exif.Image.YResolution", "72/1", Exiv2::unsignedRational);
    setDefault("Exif.Image.ResolutionUnit", "2", Exiv2::unsignedShort);
    setDefault("Exif.Image.YCbCrPositioning", "1", Exiv2::unsignedShort);
    if (wroteExif) {
        setDefault("Exif.Photo.ExifVersion", "48 50 51 50", Exiv2::undefined);
        setDefault("Exif.Photo.ComponentsConfiguration", "1 2 3 0", Exiv2::undefined);
        setDefault("Exif.Photo.FlashpixVersion", "48 49 48 48", Exiv2::undefined);
        setDefault("Exif.Photo.ColorSpace", "1", Exiv2::unsignedShort);
        setDefault("Exif.Photo.PixelXDimension", std::to_string(pixelWidth).c_str(), Exiv2::unsignedLong);
        setDefault("Exif.Photo.PixelYDimension", std::to_string(pixelHeight).c_str(), Exiv2::unsignedLong);
    }
    if (wroteGPS) setDefault("Exif.GPSInfo.GPSVersionID", "2 2 0 0", Exiv2::unsignedByte);
}

// The JPEG with its metadata read, or null with `error` set. Exiv2 may
// throw: callers catch.
Exiv2::Image::AutoPtr openJpeg(const Data& jpeg, Error* error) {
    if (!isWholeJpeg(jpeg)) {
        fail(error, ImageMetadataErrorNotJPEG, "The data is not a complete JPEG image.");
        return Exiv2::Image::AutoPtr();
    }
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(jpeg.data(), static_cast<long>(jpeg.size()));
    if (image.get() == nullptr || image->mimeType() != "image/jpeg") {
        fail(error, ImageMetadataErrorNotJPEG, "The data is not a JPEG image.");
        return Exiv2::Image::AutoPtr();
    }
    image->readMetadata();
    return image;
}

std::optional<long long> orientationOf(const Exiv2::ExifData& exif) {
    const auto found = exif.findKey(Exiv2::ExifKey(kOrientationEntry.exivKey));
    if (found == exif.end() || found->count() == 0) return std::nullopt;
    return integerValue(found->value(), 0);
}

bool readsBackWithOrientation(const Data& jpeg, const std::optional<long long>& orientation) {
    try {
        Exiv2::Image::AutoPtr image = openJpeg(jpeg, nullptr);
        return image.get() != nullptr && orientationOf(image->exifData()) == orientation;
    } catch (...) {
        return false;
    }
}

}  // namespace

bool isWholeJpeg(const Data& bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
    std::size_t end = bytes.size();
    while (end > 2 && bytes[end - 1] == 0x00) --end;  // padding some writers leave after the image
    return end >= 4 && bytes[end - 2] == 0xFF && bytes[end - 1] == 0xD9;
}

std::optional<Data> jpegDataByAddingMetadata(const Data& jpeg, const Dictionary& metadata, Error* error) {
    setUpExiv2Once();
    try {
        Exiv2::Image::AutoPtr image = openJpeg(jpeg, error);
        if (image.get() == nullptr) return std::nullopt;
        Exiv2::ExifData exif = image->exifData();
        bool wroteExif = exif.findKey(Exiv2::ExifKey("Exif.Photo.ExifVersion")) != exif.end();
        bool wroteGPS = false;
        for (const Entry& entry : kEntries) {
            const auto sub = metadata.find(entry.dictionary);
            if (sub == metadata.end() || !sub->second.isDictionary()) continue;
            const Value& value = sub->second[entry.key];
            if (value.isNil() || value.isNull()) continue;
            const auto text = exivText(entry, value);
            if (!text) continue;
            setEntry(exif, entry, *text);
            if (std::string_view(entry.dictionary) == kCGImagePropertyExifDictionary) wroteExif = true;
            if (std::string_view(entry.dictionary) == kCGImagePropertyGPSDictionary) wroteGPS = true;
        }
        if (const auto orientation = metadata.find(kCGImagePropertyOrientation);
            orientation != metadata.end() && orientation->second.isNumber()) {
            setEntry(exif, kOrientationEntry, std::to_string(orientation->second.integerValue()));
        }
        addRequiredEntries(exif, wroteExif, wroteGPS, image->pixelWidth(), image->pixelHeight());
        const std::optional<long long> orientation = orientationOf(exif);
        // Where the new values fit, Exiv2 patches them into the old EXIF block
        // at the offsets that block gives; in a damaged block whose directories
        // overlap, one entry is then written over another. Dropping the old
        // block first has the directories laid out anew.
        image->clearExifData();
        image->writeMetadata();
        image->setExifData(exif);
        image->writeMetadata();

        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) {
            fail(error, ImageMetadataErrorUnreadable, "The JPEG image could not be written.");
            return std::nullopt;
        }
        const Exiv2::DataBuf buffer = io.read(static_cast<long>(io.size()));
        io.close();
        Data written(buffer.pData_, buffer.pData_ + buffer.size_);
        // Over damaged EXIF, Exiv2 may write without complaint what no longer
        // reads, or lose the orientation on the way: the result is answered
        // only once it reads back with what was written.
        if (!readsBackWithOrientation(written, orientation)) {
            fail(error, ImageMetadataErrorUnreadable,
                 "The JPEG image's metadata could not be written: the result does not read back as written.");
            return std::nullopt;
        }
        return written;
    } catch (const std::exception& exception) {
        fail(error, ImageMetadataErrorUnreadable, std::string("The JPEG image's metadata could not be written: ") + exception.what());
        return std::nullopt;
    } catch (...) {
        fail(error, ImageMetadataErrorUnreadable, "The JPEG image's metadata could not be written.");
        return std::nullopt;
    }
}

std::optional<Dictionary> metadataOfJpegData(const Data& jpeg, Error* error) {
    setUpExiv2Once();
    try {
        Exiv2::Image::AutoPtr image = openJpeg(jpeg, error);
        if (image.get() == nullptr) return std::nullopt;
        Dictionary result;
        const Exiv2::ExifData& exif = image->exifData();
        for (const Entry& entry : kEntries) {
            const auto found = exif.findKey(Exiv2::ExifKey(entry.exivKey));
            if (found == exif.end() || found->count() == 0) continue;
            Value& sub = result[entry.dictionary];
            if (!sub.isDictionary()) sub = Value(Dictionary{});
            (*sub.dictionary())[entry.key] = dictionaryValue(entry, found->value());
        }
        if (const Value& orientation = result[kCGImagePropertyTIFFDictionary]["Orientation"]; orientation.isNumber()) {
            result[kCGImagePropertyOrientation] = orientation;
        }
        if (image->pixelWidth() > 0) result[kCGImagePropertyPixelWidth] = Value(static_cast<long long>(image->pixelWidth()));
        if (image->pixelHeight() > 0) result[kCGImagePropertyPixelHeight] = Value(static_cast<long long>(image->pixelHeight()));
        return result;
    } catch (const std::exception& exception) {
        fail(error, ImageMetadataErrorUnreadable, std::string("The JPEG image's metadata could not be read: ") + exception.what());
        return std::nullopt;
    } catch (...) {
        fail(error, ImageMetadataErrorUnreadable, "The JPEG image's metadata could not be read.");
        return std::nullopt;
    }
}

}  // namespace platform
