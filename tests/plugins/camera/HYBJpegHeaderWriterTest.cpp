#include "plugins/camera/HYBJpegHeaderWriter.h"

#include <gtest/gtest.h>

#include "platform/foundation/Log.h"
#include "platform/imageio/ImageMetadata.h"
#include "tests/platform/TemporaryDirectory.h"
#include "tests/support/JpegFixture.h"

using plugins::HYBJpegHeaderWriter;
using platform::Array;
using platform::Data;
using platform::Dictionary;
using platform::Value;

namespace {

std::string asciiHex(const std::string& text) {
    std::string hex;
    for (const unsigned char c : text) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", c);
        hex += pair;
    }
    return hex;
}

// A segment as the camera would have it: an EXIF header and an empty IFD0.
const Data kEmptyExif = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0};

}  // namespace

TEST(HYBJpegHeaderWriter, AMakeAloneGivesTheWorkedLayoutWithItsValueOnAWordBoundary) {
    const HYBJpegHeaderWriter writer;
    const std::string app1 = writer.createExifAPP1(Dictionary{{"{TIFF}", Dictionary{{"Make", "Hyb12"}}}});
    // Make's value at 8 + 2 + 24 + 4 = 38; the sub-IFD after its 5 bytes and
    // one pad byte, at 44 (the literal layout's 43 is odd, which TIFF forbids).
    const std::string ifd0 = "0002" "010f" "0002" "00000005" "00000026" "8769" "0004" "00000001" "0000002c" "00000000" +
                             asciiHex("Hyb12") + "00";
    const std::string subIFD = "0000" "00000000";
    EXPECT_EQ(app1, "ffe1" "003a" "457869660000" "4d4d002a" "00000008" + ifd0 + subIFD);
}

TEST(HYBJpegHeaderWriter, ValuesAreEncodedByTypeAndEntriesSortedByTag) {
    const HYBJpegHeaderWriter writer;
    const auto& tiff = writer.IFD0TagFormatDict();
    const auto& exif = writer.SubIFDTagFormatDict();
    EXPECT_EQ(writer.createIFDElement("DateTime", tiff.at("DateTime"), Value("2026:12:07 10:11:12")), "0132" "0002" "00000014");
    EXPECT_EQ(writer.createIFDElementDataWithFormat(tiff.at("DateTime"), Value("2026:12:07 10:11:12")),
              asciiHex("2026:12:07 10:11:12") + "00");
    EXPECT_EQ(writer.createIFDElementDataWithFormat(exif.at("ColorSpace"), Value(1)), "00010000");
    EXPECT_EQ(writer.createIFDElementDataWithFormat(exif.at("PixelXDimension"), Value(4000)), "00000fa0");
    EXPECT_EQ(writer.createIFDElementDataWithFormat(tiff.at("XResolution"), Value(72)), "0000004800000001");
    // Not whole numbers: numerator and denominator, never an empty value.
    EXPECT_EQ(writer.createIFDElementDataWithFormat(tiff.at("XResolution"), Value(72.5)), "0000009100000002");
    EXPECT_EQ(writer.createIFDElementDataWithFormat(tiff.at("XResolution"), Value(0.1)), "000000010000000a");
    std::int64_t numerator = 0, denominator = 0;
    HYBJpegHeaderWriter::decimalToUnsignedRational(3.14159265358979, numerator, denominator);
    EXPECT_NEAR(static_cast<double>(numerator) / static_cast<double>(denominator), 3.14159265358979, 1e-9);
    EXPECT_LE(numerator, 0xffffffffLL);
    EXPECT_FALSE(writer.createIFDElement("Make", std::nullopt, Value("x")));
    EXPECT_FALSE(writer.createIFDElementDataWithFormat({"0000", 9, 1, ""}, Value(1)));

    int offset = 0;
    const std::string ifd = writer.createExifIFDFromDict(
        Dictionary{{"WhiteBalance", 0}, {"ColorSpace", 1}, {"ExposureProgram", 2}, {"Flash", 16}, {"Unknown", 3}}, exif, false, offset);
    EXPECT_EQ(ifd.substr(0, 4), "0004");
    std::vector<std::string> tags;
    for (std::size_t entry = 4; entry + 24 <= ifd.size() - 8; entry += 24) tags.push_back(ifd.substr(entry, 4));
    EXPECT_EQ(tags, (std::vector<std::string>{"8822", "9209", "a001", "a403"}));
    EXPECT_EQ(offset, 2 + 4 * 12 + 4);  // all inline: the value area is empty
}

TEST(HYBJpegHeaderWriter, SplicingReplacesTheLeadingExifSegmentOnly) {
    const HYBJpegHeaderWriter writer;
    const Data jpeg = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0, 0xFF, 0xDB, 0x01, 0x02};
    EXPECT_EQ(writer.spliceExifBlockIntoJpeg(jpeg, "ffe10004cafe"),
              (Data{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x04, 0xCA, 0xFE, 0xFF, 0xDB, 0x01, 0x02}));

    // An XMP segment after the EXIF one stays; a second EXIF block would be a duplicate.
    Data xmp = {'h', 't', 't', 'p', ':', '/', '/'};
    const Data withXmp = testing_support::withApp1(testing_support::withApp1(testing_support::smallJpeg(), xmp), kEmptyExif);
    const auto spliced = writer.spliceExifBlockIntoJpeg(withXmp, "ffe10004cafe");
    ASSERT_TRUE(spliced);
    EXPECT_EQ(spliced->size(), withXmp.size() - kEmptyExif.size() + 2);
    EXPECT_EQ((*spliced)[12], 'h');

    // Two leading EXIF segments give way to one block.
    const Data twoExif = testing_support::withApp1(testing_support::withApp1(testing_support::smallJpeg(), kEmptyExif),
                                                   kEmptyExif);
    const auto once = writer.spliceExifBlockIntoJpeg(twoExif, "ffe10004cafe");
    ASSERT_TRUE(once);
    EXPECT_EQ(once->size(), twoExif.size() - 2 * (kEmptyExif.size() + 4) + 6);
}

TEST(HYBJpegHeaderWriter, SplicingIntoBytesItCannotTrustIsRefusedWithAClearError) {
    const HYBJpegHeaderWriter writer;
    struct Case {
        Data jpeg;
        std::string block;
        int code;
    };
    const Case cases[] = {
        {{}, "ffe10002", HYBJpegHeaderWriter::ErrorNotJPEG},
        {{0x89, 'P', 'N', 'G'}, "ffe10002", HYBJpegHeaderWriter::ErrorNotJPEG},
        {{0xFF, 0xD8}, "ffe10002", HYBJpegHeaderWriter::ErrorNoMarkerAfterSOI},
        {{0xFF, 0xD8, 0x00, 0xDB, 0x00, 0x02}, "ffe10002", HYBJpegHeaderWriter::ErrorNoMarkerAfterSOI},
        {{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'}, "ffe10002", HYBJpegHeaderWriter::ErrorTruncatedSegment},
        {{0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 'E', 'x'}, "ffe10002", HYBJpegHeaderWriter::ErrorTruncatedSegment},
        {{0xFF, 0xD8, 0xFF, 0xE1}, "ffe10002", HYBJpegHeaderWriter::ErrorTruncatedSegment},
        {{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02}, "ffe1000", HYBJpegHeaderWriter::ErrorBadExifBlock},
        {{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02}, "ffe1zz02", HYBJpegHeaderWriter::ErrorBadExifBlock},
        {{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02}, "ffe10009aabb", HYBJpegHeaderWriter::ErrorBadExifBlock},
    };
    for (const Case& c : cases) {
        platform::Error error;
        EXPECT_FALSE(writer.spliceExifBlockIntoJpeg(c.jpeg, c.block, &error));
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.domain, HYBJpegHeaderWriter::ErrorDomain);
        EXPECT_FALSE(error.localizedDescription.empty());
    }
}

TEST(HYBJpegHeaderWriter, ASplicedFileIsReadByExiftoolWithoutWarningsAndGivesBackWhatWasWritten) {
    const HYBJpegHeaderWriter writer;
    const Dictionary metadata{
        {"{TIFF}", Dictionary{{"Make", "Hybrid"}, {"Model", "Sim Phone 7"}, {"Software", "hybrid-sim"},
                              {"DateTime", "2026:12:07 10:11:12"}, {"XResolution", 72}, {"YResolution", 300.5},
                              {"ResolutionUnit", 2}, {"YCbCrPositioning", 1}}},
        {"{Exif}", Dictionary{{"DateTimeOriginal", "2026:12:07 10:11:12"}, {"DateTimeDigitized", "2026:12:07 10:11:13"},
                              {"PixelXDimension", 24}, {"PixelYDimension", 16}, {"ColorSpace", 1}, {"Flash", 16},
                              {"ExposureMode", 0}, {"ExposureProgram", 2}, {"FocalLenIn35mmFilm", 28}, {"MeteringMode", 5},
                              {"SceneType", 1}, {"SensingMethod", 2}, {"WhiteBalance", 0}, {"ExifVersion", "0232"},
                              {"FlashpixVersion", "0100"}, {"ComponentsConfiguration", Array{Value(1), Value(2), Value(3), Value(0)}}}},
    };
    const auto spliced = writer.spliceExifBlockIntoJpeg(testing_support::withApp1(testing_support::smallJpeg(), kEmptyExif),
                                                        writer.createExifAPP1(metadata));
    ASSERT_TRUE(spliced);

    testing_support::TemporaryDirectory folder;
    const std::string path = folder.file("spliced.jpg");
    testing_support::writeBytes(path, *spliced);
    const Value tool = testing_support::exiftoolRead(path);
    ASSERT_TRUE(tool.isDictionary()) << tool.description();
    EXPECT_EQ(tool["ExifTool:Validate"], Value("0 0 0")) << tool.description();
    EXPECT_TRUE(tool["ExifTool:Warning"].isNil()) << tool["ExifTool:Warning"].description();
    EXPECT_TRUE(tool["ExifTool:Error"].isNil()) << tool["ExifTool:Error"].description();
    EXPECT_EQ(tool["IFD0:Make"], Value("Hybrid"));
    EXPECT_EQ(tool["IFD0:Model"], Value("Sim Phone 7"));
    EXPECT_EQ(tool["IFD0:ModifyDate"], Value("2026:12:07 10:11:12"));
    EXPECT_EQ(tool["IFD0:XResolution"], Value(72));
    EXPECT_EQ(tool["IFD0:YResolution"], Value(300.5));
    EXPECT_EQ(tool["ExifIFD:DateTimeOriginal"], Value("2026:12:07 10:11:12"));
    EXPECT_EQ(tool["ExifIFD:ExifImageWidth"], Value(24));
    EXPECT_EQ(tool["File:ImageWidth"], Value(24));
}

TEST(HYBJpegHeaderWriter, MetadataBeyondOneSegmentOrARationalsRangeIsRefusedNotWrittenWrong) {
    const HYBJpegHeaderWriter writer;
    platform::Error error;
    const Dictionary longMake{{"{TIFF}", Dictionary{{"Make", std::string(70000, 'M')}}}};
    EXPECT_EQ(writer.createExifAPP1(longMake, &error), "");
    EXPECT_EQ(error.code, HYBJpegHeaderWriter::ErrorExifBlockTooLarge);
    const std::string oversized = "ffe1ffff" + std::string(2 * 70000, '0');
    EXPECT_FALSE(writer.spliceExifBlockIntoJpeg(testing_support::withApp1(testing_support::smallJpeg(), kEmptyExif), oversized, &error));
    EXPECT_EQ(error.code, HYBJpegHeaderWriter::ErrorExifBlockTooLarge);

    platform::LogCapture log;
    const auto& resolution = writer.IFD0TagFormatDict().at("XResolution");
    EXPECT_FALSE(writer.createIFDElementDataWithFormat(resolution, Value(1e300)));
    EXPECT_EQ(writer.createIFDElementDataWithFormat(resolution, Value(4294967295.0)), "ffffffff00000001");
    EXPECT_TRUE(log.contains("011a left out"));
    // The entry is left out; the rest of the directory stands.
    const std::string app1 = writer.createExifAPP1(Dictionary{{"{TIFF}", Dictionary{{"XResolution", 1e300}, {"Make", "Hyb"}}}});
    EXPECT_EQ(app1.find("011a"), std::string::npos);
    EXPECT_NE(app1.find("010f"), std::string::npos);
}

TEST(HYBJpegHeaderWriter, TheBlockTakesTheExifSegmentsPlaceOrGoesAfterTheLeadingAPP0sAndOtherAPP1sStay) {
    const HYBJpegHeaderWriter writer;
    const auto joined = [](std::initializer_list<Data> parts) {
        Data bytes;
        for (const Data& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
        return bytes;
    };
    const Data& jpeg = testing_support::smallJpeg();
    const Data start(jpeg.begin(), jpeg.begin() + 2), rest(jpeg.begin() + 2, jpeg.end());
    const Data app0 = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    const Data xmp = {0xFF, 0xE1, 0x00, 0x06, 'h', 't', 't', 'p'}, block = {0xFF, 0xE1, 0x00, 0x04, 0xCA, 0xFE};

    const Data jfif = joined({start, app0, rest});
    const auto app1 = writer.createExifAPP1(Dictionary{{"{TIFF}", Dictionary{{"Make", "Hybrid"}}}});
    const auto inserted = writer.spliceExifBlockIntoJpeg(jfif, app1);
    ASSERT_TRUE(inserted);
    EXPECT_TRUE(std::equal(app0.begin(), app0.end(), inserted->begin() + 2));
    EXPECT_EQ((*inserted)[2 + app0.size() + 1], 0xE1);
    const auto metadata = platform::metadataOfJpegData(*inserted);
    ASSERT_TRUE(metadata);
    EXPECT_EQ(Value(*metadata)["{TIFF}"]["Make"], Value("Hybrid"));

    const Data withExif(testing_support::withApp1(start, kEmptyExif));  // the segment alone, after its own start
    const Data exif(withExif.begin() + 2, withExif.end());
    EXPECT_EQ(writer.spliceExifBlockIntoJpeg(joined({start, app0, xmp, exif, rest}), "ffe10004cafe"),
              joined({start, app0, xmp, block, rest}));

    // Without JFIF: an XMP segment in front is no EXIF segment, and other
    // APP0 segments lead like JFIF's.
    EXPECT_EQ(writer.spliceExifBlockIntoJpeg(joined({start, xmp, exif, rest}), "ffe10004cafe"),
              joined({start, xmp, block, rest}));
    EXPECT_EQ(writer.spliceExifBlockIntoJpeg(joined({start, xmp, rest}), "ffe10004cafe"), joined({start, block, xmp, rest}));
    EXPECT_EQ(writer.spliceExifBlockIntoJpeg(jpeg, "ffe10004cafe"), joined({start, block, rest}));  // starts with a table
    const Data avi1 = {0xFF, 0xE0, 0x00, 0x06, 'A', 'V', 'I', '1'};
    EXPECT_EQ(writer.spliceExifBlockIntoJpeg(joined({start, avi1, app0, xmp, rest}), "ffe10004cafe"),
              joined({start, avi1, app0, block, xmp, rest}));
}
