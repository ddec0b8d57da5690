#pragma once
// HYBJpegHeaderWriter builds an EXIF APP1 segment from an image-metadata
// dictionary ("{TIFF}" and "{Exif}" sub-dictionaries) as lower-case hex text,
// and splices such a segment into JPEG bytes in place of their EXIF segment.
// A self-contained utility: the camera plugin embeds metadata through the
// platform's image I/O (platform/imageio) instead.
//
// Immutable after construction; any thread may use one.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

namespace plugins {

class HYBJpegHeaderWriter {
public:
    // How one metadata key is written: TIFF tag (4 hex digits), field type,
    // component count (0: from the value) and an optional hex suffix of ASCII values.
    struct Format {
        std::string tag;
        int type = 0;
        int count = 0;
        std::string suffix;
    };
    using FormatDict = std::map<std::string, Format>;

    static constexpr const char* ErrorDomain = "HYBJpegHeaderWriterErrorDomain";
    static constexpr int ErrorNotJPEG = 1;          // no start-of-image marker
    static constexpr int ErrorNoMarkerAfterSOI = 2;  // nothing or no marker after it
    static constexpr int ErrorTruncatedSegment = 3;
    static constexpr int ErrorBadExifBlock = 4;     // not the hex text of one whole APP1 segment
    static constexpr int ErrorExifBlockTooLarge = 5;  // more than one segment's 65,535 bytes

    HYBJpegHeaderWriter();

    const FormatDict& IFD0TagFormatDict() const { return ifd0TagFormatDict_; }
    const FormatDict& SubIFDTagFormatDict() const { return subIFDTagFormatDict_; }

    // Hex text of a whole APP1 segment, marker included; empty (and *error)
    // when the metadata would not fit in one segment.
    std::string createExifAPP1(const platform::Dictionary& metadata, platform::Error* error = nullptr) const;
    // The JPEG with its first EXIF APP1 segment ("Exif\0\0") among the APPn
    // segments (and EXIF segments right after it) replaced by the block, or
    // the block put after the start-of-image marker and any leading APP0
    // segments when there is none. Other APP1 segments stay. nullopt and
    // *error when refused.
    std::optional<platform::Data> spliceExifBlockIntoJpeg(const platform::Data& jpeg, const std::string& exifBlock,
                                                          platform::Error* error = nullptr) const;

    // Hex text of one IFD with its value area; advances currentDataOffset past that area.
    std::string createExifIFDFromDict(const platform::Dictionary& dict, const FormatDict& formatDict, bool isIFD0,
                                      int& currentDataOffset) const;
    // Tag, type and count of an entry; nullopt without a format.
    std::optional<std::string> createIFDElement(const std::string& key, const std::optional<Format>& format,
                                                const platform::Value& elementData) const;
    // The value's hex text; nullopt for types other than ASCII, SHORT, LONG,
    // RATIONAL and UNDEFINED, and for a RATIONAL whose magnitude is not finite
    // or above 4294967295.
    std::optional<std::string> createIFDElementDataWithFormat(const Format& format, const platform::Value& data) const;
    void appendExifOffsetTagTo(std::string& ifd, std::int64_t offset) const;

    static std::string formattedHexStringFromDecimalNumber(std::int64_t number, int places);
    static std::string formatNumberWithLeadingZeroes(std::int64_t number, int places);
    static void decimalToRational(double value, std::int64_t& numerator, std::int64_t& denominator);
    static std::string decimalToUnsignedRational(double value, std::int64_t& numerator, std::int64_t& denominator);
    static void continuedFraction(double value, std::vector<std::int64_t>& fractionList, int horizon);
    static void expandContinuedFraction(const std::vector<std::int64_t>& fractionList, std::int64_t& numerator,
                                        std::int64_t& denominator);
    static std::string formatFractionList(const std::vector<std::int64_t>& fractionList);
    static std::string formatRationalWithNumerator(std::int64_t numerator, std::int64_t denominator, bool asSigned);
    static void splitDouble(double value, std::int64_t& intComponent, double& floatRemainder);
    static std::string hexStringFromData(const platform::Data& data);
    static std::int64_t numericFromHexString(const std::string& hex);

private:
    FormatDict ifd0TagFormatDict_;
    FormatDict subIFDTagFormatDict_;
};

}  // namespace plugins
