#include "plugins/camera/HYBJpegHeaderWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"

namespace plugins {
namespace {

// Bytes a component of TIFF field types 1 to 12.
constexpr int kTypeSizes[] = {1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

int typeSize(int type) { return type >= 1 && type <= 12 ? kTypeSizes[type - 1] : 0; }

constexpr int kFractionHorizon = 8;
constexpr std::int64_t kMaxUnsigned32 = 0xffffffffLL;
// A segment's length field counts itself: 65,535 bytes after the marker at most.
constexpr std::size_t kMaxSegmentLength = 0xffff;

const HYBJpegHeaderWriter::Format kExifOffsetFormat{"8769", 4, 1, ""};

std::string hex(std::uint64_t number, int places) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llx", places, static_cast<unsigned long long>(number));
    return text;
}

bool refuse(platform::Error* error, int code, std::string description) {
    if (error) *error = platform::Error{HYBJpegHeaderWriter::ErrorDomain, code, std::move(description), {}};
    return false;
}

std::optional<platform::Data> bytesOfHexText(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    platform::Data bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = platform::hexDigitValue(text[i]), low = platform::hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

bool isExifSegment(const platform::Data& jpeg, std::size_t markerAt) {
    static constexpr std::uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    const std::size_t payload = markerAt + 4;
    return payload + sizeof kExifHeader <= jpeg.size() &&
           std::equal(std::begin(kExifHeader), std::end(kExifHeader), jpeg.begin() + static_cast<std::ptrdiff_t>(payload));
}

}  // namespace

HYBJpegHeaderWriter::HYBJpegHeaderWriter()
    : ifd0TagFormatDict_{
          {"DateTime", {"0132", 2, 20, "00"}},
          {"Make", {"010f", 2, 0, ""}},
          {"Model", {"0110", 2, 0, ""}},
          {"Software", {"0131", 2, 0, ""}},
          {"XResolution", {"011a", 5, 1, ""}},
          {"YResolution", {"011b", 5, 1, ""}},
          // Required in a JPEG's IFD0 by the EXIF standard; readers warn without them.
          {"ResolutionUnit", {"0128", 3, 1, ""}},
          {"YCbCrPositioning", {"0213", 3, 1, ""}},
      },
      subIFDTagFormatDict_{
          {"ColorSpace", {"a001", 3, 1, ""}},
          {"DateTimeDigitized", {"9004", 2, 20, "00"}},
          {"DateTimeOriginal", {"9003", 2, 20, "00"}},
          {"ExposureMode", {"a402", 3, 1, ""}},
          {"ExposureProgram", {"8822", 3, 1, ""}},
          {"Flash", {"9209", 3, 1, ""}},
          {"FocalLenIn35mmFilm", {"a405", 3, 1, ""}},
          {"MeteringMode", {"9207", 3, 1, ""}},
          {"PixelXDimension", {"a002", 4, 1, ""}},
          {"PixelYDimension", {"a003", 4, 1, ""}},
          // UNDEFINED by the standard; a SHORT here is flagged by readers.
          {"SceneType", {"a301", 7, 1, ""}},
          {"SensingMethod", {"a217", 3, 1, ""}},
          {"WhiteBalance", {"a403", 3, 1, ""}},
          // Required in a JPEG's EXIF directory by the standard; readers warn without them.
          {"ExifVersion", {"9000", 7, 4, ""}},
          {"ComponentsConfiguration", {"9101", 7, 4, ""}},
          {"FlashpixVersion", {"a000", 7, 4, ""}},
      } {}

std::string HYBJpegHeaderWriter::createExifAPP1(const platform::Dictionary& metadata, platform::Error* error) const {
    const auto subDictionary = [&metadata](const char* key) {
        const auto found = metadata.find(key);
        if (found == metadata.end() || !found->second.isDictionary()) return platform::Dictionary{};
        return *found->second.dictionary();
    };
    int offset = 0;
    const std::string ifd0 = createExifIFDFromDict(subDictionary("{TIFF}"), ifd0TagFormatDict_, true, offset);
    const std::string subIFD = createExifIFDFromDict(subDictionary("{Exif}"), subIFDTagFormatDict_, false, offset);
    const std::size_t length = ifd0.size() / 2 + subIFD.size() / 2 + 16;
    if (length > kMaxSegmentLength) {
        refuse(error, ErrorExifBlockTooLarge,
               platform::format("The EXIF block would be %zu bytes long; one APP1 segment holds at most 65535.", length));
        return "";
    }
    return "ffe1" + hex(length, 4) + "457869660000" + "4d4d002a" + "00000008" + ifd0 + subIFD;
}

std::string HYBJpegHeaderWriter::createExifIFDFromDict(const platform::Dictionary& dict, const FormatDict& formatDict,
                                                       bool isIFD0, int& currentDataOffset) const {
    struct Pair {
        std::string tag, head, value;
    };
    std::vector<Pair> pairs;
    for (const auto& [key, value] : dict) {
        const auto format = formatDict.find(key);
        if (format == formatDict.end()) continue;
        auto head = createIFDElement(key, format->second, value);
        auto data = createIFDElementDataWithFormat(format->second, value);
        if (!head || !data) continue;
        pairs.push_back({format->second.tag, std::move(*head), std::move(*data)});
    }
    // TIFF readers look entries up by ascending tag.
    std::stable_sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.tag < b.tag; });

    const int n = static_cast<int>(pairs.size());
    int dataOffset = isIFD0 ? currentDataOffset + 12 * n + 26 : currentDataOffset + 12 * n + 6;
    std::string entries, valueArea;
    for (const Pair& pair : pairs) {
        if (pair.value.size() > 8) {
            entries += pair.head + hex(static_cast<std::uint64_t>(dataOffset), 8);
            valueArea += pair.value;
            dataOffset += static_cast<int>(pair.value.size() / 2);
            // TIFF wants every value offset, and the next directory, on a word boundary.
            if (pair.value.size() % 4 != 0) {
                valueArea += "00";
                ++dataOffset;
            }
        } else {
            entries += pair.head + pair.value;
        }
    }
    currentDataOffset = dataOffset;
    int count = n;
    if (isIFD0) {
        appendExifOffsetTagTo(entries, static_cast<std::int64_t>(entries.size() / 2 + valueArea.size() / 2 + 26));
        ++count;
    }
    return hex(static_cast<std::uint64_t>(count), 4) + entries + "00000000" + valueArea;
}

std::optional<std::string> HYBJpegHeaderWriter::createIFDElement(const std::string& key, const std::optional<Format>& format,
                                                                 const platform::Value& elementData) const {
    if (!format) return std::nullopt;
    std::int64_t count = format->count;
    if (count == 0) {
        const std::size_t length = elementData.isString() ? elementData.string()->size() : elementData.stringValue().size();
        count = static_cast<std::int64_t>(typeSize(format->type) * length);
    }
    return format->tag + formatNumberWithLeadingZeroes(format->type, 4) + hex(static_cast<std::uint64_t>(count) & 0xffffffffu, 8);
}

std::optional<std::string> HYBJpegHeaderWriter::createIFDElementDataWithFormat(const Format& format,
                                                                               const platform::Value& data) const {
    switch (format.type) {
    case 2: {
        std::string text;
        // Bytes, so that text beyond ASCII stays two digits a byte.
        for (const char c : data.stringValue()) text += hex(static_cast<unsigned char>(c), 2);
        text += format.suffix;
        // A fixed count is what readers trust: the value is fitted to it, keeping the terminator.
        if (format.count > 0) {
            const std::size_t digits = static_cast<std::size_t>(format.count) * 2;
            if (text.size() > digits) text = text.substr(0, digits - 2) + "00";
            text.resize(digits, '0');
        }
        if (text.size() < 8) text.resize(8, '0');
        return text;
    }
    case 7: {
        // Bytes: a text's own, or an array's integers one a byte.
        std::string text;
        if (const platform::Array* array = data.array()) {
            for (const platform::Value& element : *array) text += hex(static_cast<std::uint64_t>(element.integerValue()) & 0xffu, 2);
        } else if (data.isString()) {
            for (const char c : *data.string()) text += hex(static_cast<unsigned char>(c), 2);
        } else {
            text = hex(static_cast<std::uint64_t>(data.integerValue()) & 0xffu, 2);
        }
        if (format.count > 0) text.resize(static_cast<std::size_t>(format.count) * 2, '0');
        if (text.size() < 8) text.resize(8, '0');
        return text;
    }
    case 3:
        return hex(static_cast<std::uint64_t>(data.integerValue()) & 0xffffu, 4) + "0000";
    case 4:
        return hex(static_cast<std::uint64_t>(data.integerValue()) & 0xffffffffu, 8);
    case 5: {
        // Converting a double beyond the fields' range to an integer is undefined.
        const double value = data.doubleValue();
        if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(kMaxUnsigned32)) {
            platform::logf("HYBJpegHeaderWriter: tag %s left out: %g does not fit an unsigned rational", format.tag.c_str(),
                           value);
            return std::nullopt;
        }
        std::int64_t numerator = 0, denominator = 0;
        return decimalToUnsignedRational(value, numerator, denominator);
    }
    default:
        return std::nullopt;
    }
}

void HYBJpegHeaderWriter::appendExifOffsetTagTo(std::string& ifd, std::int64_t offset) const {
    ifd += *createIFDElement("ExifOffset", kExifOffsetFormat, platform::Value(std::to_string(offset)));
    ifd += hex(static_cast<std::uint64_t>(offset) & 0xffffffffu, 8);
}

std::string HYBJpegHeaderWriter::formattedHexStringFromDecimalNumber(std::int64_t number, int places) {
    return hex(static_cast<std::uint64_t>(number), places);
}

std::string HYBJpegHeaderWriter::formatNumberWithLeadingZeroes(std::int64_t number, int places) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld", places, static_cast<long long>(number));
    return text;
}

void HYBJpegHeaderWriter::decimalToRational(double value, std::int64_t& numerator, std::int64_t& denominator) {
    std::vector<std::int64_t> terms;
    continuedFraction(value, terms, kFractionHorizon);
    expandContinuedFraction(terms, numerator, denominator);
}

std::string HYBJpegHeaderWriter::decimalToUnsignedRational(double value, std::int64_t& numerator, std::int64_t& denominator) {
    std::vector<std::int64_t> terms;
    continuedFraction(std::fabs(value), terms, kFractionHorizon);
    if (terms.size() == 1) {
        expandContinuedFraction(terms, numerator, denominator);
        return formatFractionList(terms);
    }
    // Not a whole number: the longest convergent that fits the 32-bit fields,
    // where the literal rule would leave the value empty and the entry short.
    numerator = terms.front();
    denominator = 1;
    for (std::size_t length = terms.size(); length >= 1; --length) {
        std::int64_t n = 0, d = 0;
        expandContinuedFraction(std::vector<std::int64_t>(terms.begin(), terms.begin() + static_cast<std::ptrdiff_t>(length)), n, d);
        if (n >= 0 && d > 0 && n <= kMaxUnsigned32 && d <= kMaxUnsigned32) {
            numerator = n;
            denominator = d;
            break;
        }
    }
    return formatRationalWithNumerator(std::min(numerator, kMaxUnsigned32), denominator, false);
}

void HYBJpegHeaderWriter::continuedFraction(double value, std::vector<std::int64_t>& fractionList, int horizon) {
    if (!std::isfinite(value)) value = 0;
    std::int64_t whole = 0;
    double remainder = 0;
    splitDouble(value, whole, remainder);
    fractionList.push_back(whole);
    while (remainder != 0 && static_cast<int>(fractionList.size()) <= horizon) {
        const double next = 1.0 / remainder;
        if (!std::isfinite(next) || std::fabs(next) > 9.0e15) break;
        splitDouble(next, whole, remainder);
        fractionList.push_back(whole);
    }
}

void HYBJpegHeaderWriter::expandContinuedFraction(const std::vector<std::int64_t>& fractionList, std::int64_t& numerator,
                                                  std::int64_t& denominator) {
    if (fractionList.empty()) {
        numerator = 0;
        denominator = 1;
        return;
    }
    // Back-substitution from the last term; saturated so that noise terms cannot overflow.
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 4;
    std::int64_t n = fractionList.back(), d = 1;
    for (auto term = fractionList.rbegin() + 1; term != fractionList.rend(); ++term) {
        const std::int64_t previous = n;
        if (*term != 0 && (std::llabs(*term) > kLimit / std::max<std::int64_t>(1, std::llabs(n)))) {
            n = kLimit;
        } else {
            n = *term * n + d;
        }
        d = previous;
    }
    if (d < 0) {
        n = -n;
        d = -d;
    }
    numerator = n;
    denominator = d;
}

std::string HYBJpegHeaderWriter::formatFractionList(const std::vector<std::int64_t>& fractionList) {
    if (fractionList.size() == 1) return hex(static_cast<std::uint64_t>(fractionList.front()) & 0xffffffffu, 8) + "00000001";
    return "";
}

std::string HYBJpegHeaderWriter::formatRationalWithNumerator(std::int64_t numerator, std::int64_t denominator, bool asSigned) {
    if (asSigned && numerator < 0) denominator = -std::llabs(denominator);
    return hex(static_cast<std::uint64_t>(numerator) & 0xffffffffu, 8) + hex(static_cast<std::uint64_t>(denominator) & 0xffffffffu, 8);
}

void HYBJpegHeaderWriter::splitDouble(double value, std::int64_t& intComponent, double& floatRemainder) {
    // Beyond 64 bits the conversion is undefined: such a value saturates, with nothing left over.
    constexpr double kLimit = 9.2e18;
    if (!(std::fabs(value) < kLimit)) {
        intComponent = std::isnan(value) ? 0 : value < 0 ? -static_cast<std::int64_t>(kLimit) : static_cast<std::int64_t>(kLimit);
        floatRemainder = 0;
        return;
    }
    const double whole = std::trunc(value);
    intComponent = static_cast<std::int64_t>(whole);
    floatRemainder = value - whole;
}

std::string HYBJpegHeaderWriter::hexStringFromData(const platform::Data& data) {
    if (data.size() < 2) return "";
    return hex(data[0], 2) + hex(data[1], 2);
}

std::int64_t HYBJpegHeaderWriter::numericFromHexString(const std::string& hex) {
    std::int64_t value = 0;
    for (const char c : hex) {
        const int digit = platform::hexDigitValue(c);
        if (digit < 0) break;
        value = value * 16 + digit;
        if (value > kMaxUnsigned32 * 16) break;
    }
    return value;
}

std::optional<platform::Data> HYBJpegHeaderWriter::spliceExifBlockIntoJpeg(const platform::Data& jpeg, const std::string& exifBlock,
                                                                           platform::Error* error) const {
    const auto block = bytesOfHexText(exifBlock);
    if (!block) {
        refuse(error, ErrorBadExifBlock, "The EXIF block is not hexadecimal text of whole bytes.");
        return std::nullopt;
    }
    if (block->size() > 2 + kMaxSegmentLength) {
        refuse(error, ErrorExifBlockTooLarge, "The EXIF block is longer than one APP1 segment can hold.");
        return std::nullopt;
    }
    // A block whose length field does not match would corrupt the file.
    if (block->size() < 4 || (*block)[0] != 0xFF || (*block)[1] != 0xE1 ||
        ((static_cast<std::size_t>((*block)[2]) << 8) | (*block)[3]) != block->size() - 2) {
        refuse(error, ErrorBadExifBlock, "The EXIF block is not one whole APP1 segment.");
        return std::nullopt;
    }
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        refuse(error, ErrorNotJPEG, "The data does not start with a JPEG start-of-image marker.");
        return std::nullopt;
    }
    if (jpeg.size() < 4 || jpeg[2] != 0xFF) {
        refuse(error, ErrorNoMarkerAfterSOI, "No segment marker follows the JPEG's start-of-image marker.");
        return std::nullopt;
    }
    // Only APP1 segments with the EXIF header give way to the block, the first
    // and those right after it (one block, however many it replaces); other
    // APP1 segments, such as XMP, are kept wherever they are, as a second EXIF
    // block would be read as a duplicate. Without an EXIF segment the block
    // goes after the leading APP0 segments (JFIF's among them), where readers
    // look for it.
    std::size_t replaceFrom = 0, replaceTo = 0, afterLeadingApp0 = 2;
    bool leadingApp0 = true;
    for (std::size_t position = 2; position + 2 <= jpeg.size() && jpeg[position] == 0xFF && (jpeg[position + 1] & 0xF0) == 0xE0;) {
        const std::uint8_t marker = jpeg[position + 1];
        const bool exif = marker == 0xE1 && isExifSegment(jpeg, position);
        if (replaceTo != 0 && !exif) break;
        const std::size_t length =
            position + 4 <= jpeg.size() ? (static_cast<std::size_t>(jpeg[position + 2]) << 8) | jpeg[position + 3] : 0;
        if (length < 2 || position + 2 + length > jpeg.size()) {
            refuse(error, ErrorTruncatedSegment, "The JPEG's APP segment runs past the end of the data.");
            return std::nullopt;
        }
        const std::size_t next = position + 2 + length;
        if (exif) {
            if (replaceTo == 0) replaceFrom = position;
            replaceTo = next;
        }
        leadingApp0 = leadingApp0 && marker == 0xE0;
        if (leadingApp0) afterLeadingApp0 = next;
        position = next;
    }
    if (replaceTo == 0) replaceFrom = replaceTo = afterLeadingApp0;
    platform::Data result(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(replaceFrom));
    result.insert(result.end(), block->begin(), block->end());
    result.insert(result.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(replaceTo), jpeg.end());
    return result;
}

}  // namespace plugins
