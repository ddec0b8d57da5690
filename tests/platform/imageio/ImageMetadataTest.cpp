#include "platform/imageio/ImageMetadata.h"

#include <gtest/gtest.h>

#include "tests/platform/TemporaryDirectory.h"
#include "tests/support/FaultInput.h"
#include "tests/support/JpegFixture.h"

using namespace platform;

namespace {

Dictionary cameraMetadata() {
    return Dictionary{
        {"{TIFF}", Dictionary{{"Make", "Hybrid"}, {"Model", "Sim Phone 7"}, {"DateTime", "2026:12:07 10:11:12"},
                              {"XResolution", 72}, {"YResolution", 72.5}, {"ResolutionUnit", 2}}},
        {"{Exif}", Dictionary{{"DateTimeOriginal", "2026:12:07 10:11:12"}, {"PixelXDimension", 24}, {"PixelYDimension", 16},
                              {"FNumber", 2.2}, {"ExposureTime", 0.008}, {"ISOSpeedRatings", Array{Value(100)}},
                              {"Flash", 16}, {"SceneType", 1}, {"UnknownKey", "ignored"}}},
        {"{GPS}", Dictionary{{"LatitudeRef", "S"}, {"Latitude", 33.8688197}, {"LongitudeRef", "E"},
                             {"Longitude", 151.2092955}, {"AltitudeRef", "1"}, {"Altitude", 12.5},
                             {"TimeStamp", "09:08:07.250000"}, {"DateStamp", "2026:12:07"}}},
    };
}

}  // namespace

TEST(ImageMetadata, WrittenMetadataIsReadBackByUsAndByExiftoolWithoutWarnings) {
    Error error;
    const auto written = jpegDataByAddingMetadata(testing_support::smallJpeg(), cameraMetadata(), &error);
    ASSERT_TRUE(written) << error.localizedDescription;

    const auto read = metadataOfJpegData(*written);
    ASSERT_TRUE(read);
    const Value metadata(*read);
    EXPECT_EQ(metadata["{TIFF}"]["Make"], Value("Hybrid"));
    EXPECT_EQ(metadata["{TIFF}"]["Model"], Value("Sim Phone 7"));
    EXPECT_EQ(metadata["{TIFF}"]["DateTime"], Value("2026:12:07 10:11:12"));
    EXPECT_DOUBLE_EQ(metadata["{TIFF}"]["YResolution"].doubleValue(), 72.5);
    EXPECT_EQ(metadata["{Exif}"]["ISOSpeedRatings"], Value(100));
    EXPECT_NEAR(metadata["{Exif}"]["FNumber"].doubleValue(), 2.2, 1e-9);
    EXPECT_TRUE(metadata["{Exif}"]["UnknownKey"].isNil());
    EXPECT_EQ(metadata["{GPS}"]["LatitudeRef"], Value("S"));
    EXPECT_NEAR(metadata["{GPS}"]["Latitude"].doubleValue(), 33.8688197, 1e-9);
    EXPECT_NEAR(metadata["{GPS}"]["Longitude"].doubleValue(), 151.2092955, 1e-9);
    EXPECT_EQ(metadata["{GPS}"]["AltitudeRef"], Value(1));
    EXPECT_EQ(metadata["{GPS}"]["TimeStamp"], Value("09:08:07.250000"));
    EXPECT_EQ(metadata["PixelWidth"], Value(24));
    EXPECT_EQ(metadata["PixelHeight"], Value(16));

    testing_support::TemporaryDirectory folder;
    const std::string path = folder.file("with-metadata.jpg");
    testing_support::writeBytes(path, *written);
    const Value tool = testing_support::exiftoolRead(path);
    ASSERT_TRUE(tool.isDictionary()) << tool.description();
    EXPECT_TRUE(tool["ExifTool:Warning"].isNil()) << tool["ExifTool:Warning"].description();
    EXPECT_TRUE(tool["ExifTool:Error"].isNil()) << tool["ExifTool:Error"].description();
    EXPECT_TRUE(tool["ExifTool:Validate"].isNil() || tool["ExifTool:Validate"] == Value("0 0 0"))
        << tool["ExifTool:Validate"].description();
    EXPECT_EQ(tool["IFD0:Make"], Value("Hybrid"));
    EXPECT_EQ(tool["IFD0:Model"], Value("Sim Phone 7"));
    EXPECT_EQ(tool["IFD0:ModifyDate"], Value("2026:12:07 10:11:12"));
    EXPECT_EQ(tool["IFD0:XResolution"], Value(72));
    EXPECT_EQ(tool["IFD0:YResolution"], Value(72.5));
    EXPECT_NEAR(tool["GPS:GPSLatitude"].doubleValue(), 33.8688197, 1e-9);
    EXPECT_EQ(tool["GPS:GPSLatitudeRef"], Value("S"));
    EXPECT_NEAR(tool["GPS:GPSLongitude"].doubleValue(), 151.2092955, 1e-9);
    EXPECT_NEAR(tool["GPS:GPSAltitude"].doubleValue(), 12.5, 1e-9);
    EXPECT_EQ(tool["GPS:GPSAltitudeRef"], Value(1));
    EXPECT_EQ(tool["GPS:GPSDateStamp"], Value("2026:12:07"));
}

TEST(ImageMetadata, WritingKeepsTheJpegsOwnEntriesAndThePixels) {
    const auto first = jpegDataByAddingMetadata(testing_support::smallJpeg(), cameraMetadata());
    ASSERT_TRUE(first);
    const Dictionary gpsOnly{{"{GPS}", Dictionary{{"LatitudeRef", "N"}, {"Latitude", 1.5}}}};
    const auto second = jpegDataByAddingMetadata(*first, gpsOnly);
    ASSERT_TRUE(second);
    const Value metadata(*metadataOfJpegData(*second));
    EXPECT_EQ(metadata["{TIFF}"]["Make"], Value("Hybrid"));
    EXPECT_EQ(metadata["{GPS}"]["LatitudeRef"], Value("N"));
    EXPECT_DOUBLE_EQ(metadata["{GPS}"]["Latitude"].doubleValue(), 1.5);
    // The entropy-coded image is carried over byte for byte.
    const Data& original = testing_support::smallJpeg();
    ASSERT_GE(second->size(), original.size());
    EXPECT_TRUE(std::equal(original.end() - 200, original.end(), second->end() - 200));
}

TEST(ImageMetadata, BadBytesAreAnErrorNeverACrash) {
    const Data& jpeg = testing_support::smallJpeg();
    const Data notJpeg = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
    const Data truncated(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
    // A start-of-image and an end-of-image with a segment claiming more bytes than there are.
    const Data lyingSegment = {0xFF, 0xD8, 0xFF, 0xE1, 0x7F, 0xFF, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0xFF, 0xD9};
    for (const Data& bytes : {Data{}, notJpeg, truncated, lyingSegment}) {
        Error error;
        EXPECT_FALSE(jpegDataByAddingMetadata(bytes, cameraMetadata(), &error));
        EXPECT_EQ(error.domain, ImageMetadataErrorDomain);
        EXPECT_FALSE(error.localizedDescription.empty());
        EXPECT_FALSE(metadataOfJpegData(bytes));
    }
    Error error;
    EXPECT_FALSE(metadataOfJpegData(notJpeg, &error));
    EXPECT_EQ(error.code, ImageMetadataErrorNotJPEG);
}

TEST(ImageMetadata, ValuesOfTheWrongKindAreLeftOut) {
    const Dictionary odd{{"{TIFF}", Dictionary{{"Make", Array{}}, {"XResolution", "not a number"}}},
                         {"{GPS}", Dictionary{{"TimeStamp", "noon"}, {"Latitude", Value::null()}}},
                         {"{Exif}", "not a dictionary"}};
    const auto written = jpegDataByAddingMetadata(testing_support::smallJpeg(), odd);
    ASSERT_TRUE(written);
    const Value metadata(*metadataOfJpegData(*written));
    EXPECT_TRUE(metadata["{TIFF}"]["Make"].isNil());
    EXPECT_TRUE(metadata["{GPS}"].isNil());
}

TEST(ImageMetadata, APositionAloneOnAJfifJpegPassesValidationWithTheRequiredEntriesFilledIn) {
    const Data& jpeg = testing_support::smallJpeg();
    Data jfif = jpeg;
    jfif.insert(jfif.begin() + 2, {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    const Dictionary position{{"Orientation", 6},
                              {"{Exif}", Dictionary{{"Flash", 0}}},
                              {"{GPS}", Dictionary{{"LatitudeRef", "N"}, {"Latitude", 48.8584}, {"LongitudeRef", "W"},
                                                   {"Longitude", 2.2945}, {"TimeStamp", "23:59:59.999999"}}}};
    const auto written = jpegDataByAddingMetadata(jfif, position);
    ASSERT_TRUE(written);
    const Value metadata(*metadataOfJpegData(*written));
    EXPECT_EQ(metadata["Orientation"], Value(6));
    EXPECT_EQ(metadata["{Exif}"]["PixelXDimension"], Value(24));
    EXPECT_EQ(metadata["{GPS}"]["TimeStamp"], Value("23:59:59.999999"));

    testing_support::TemporaryDirectory folder;
    const std::string path = folder.file("position.jpg");
    testing_support::writeBytes(path, *written);
    const Value tool = testing_support::exiftoolRead(path);
    EXPECT_EQ(tool["ExifTool:Validate"], Value("0 0 0")) << tool.description();
    EXPECT_NEAR(tool["GPS:GPSLatitude"].doubleValue(), 48.8584, 1e-9);
    EXPECT_EQ(tool["GPS:GPSLongitudeRef"], Value("W"));
}

TEST(ImageMetadata, UnsignedRationalsAboveTwoToThe31ReadBackPositive) {
    const auto read = metadataOfJpegData(testing_support::faultInput("exif-xresolution-3e9.jpg"));
    ASSERT_TRUE(read);
    EXPECT_DOUBLE_EQ(Value(*read)["{TIFF}"]["XResolution"].doubleValue(), 3e9);
    // The closest fraction of 15.5977 has a numerator above 2^31.
    const auto written = jpegDataByAddingMetadata(testing_support::smallJpeg(), {{"{TIFF}", Dictionary{{"XResolution", 15.5977}}}});
    ASSERT_TRUE(written);
    EXPECT_NEAR(Value(*metadataOfJpegData(*written))["{TIFF}"]["XResolution"].doubleValue(), 15.5977, 1e-7);
}

TEST(ImageMetadata, WritingBackOverDamagedExifSucceedsOnlyWithAResultThatReadsBackWithItsOrientation) {
    for (const char* name : {"exif-writeback-orientation-6.jpg", "exif-writeback-unreadable.jpg"}) {
        const Data original = testing_support::faultInput(name);
        const auto metadata = metadataOfJpegData(original);
        ASSERT_TRUE(metadata) << name;
        Error error;
        const auto written = jpegDataByAddingMetadata(original, *metadata, &error);
        // Overlapping directories are laid out anew: that file writes back whole.
        if (std::string(name) == "exif-writeback-orientation-6.jpg") {
            ASSERT_TRUE(written) << error.localizedDescription;
            EXPECT_EQ(Value(*metadata)["Orientation"].integerValue(), 6);
        }
        if (written) {
            const auto reread = metadataOfJpegData(*written);
            ASSERT_TRUE(reread) << name;
            EXPECT_EQ(Value(*reread)["Orientation"].integerValue(), Value(*metadata)["Orientation"].integerValue()) << name;
        } else {
            EXPECT_EQ(error.code, ImageMetadataErrorUnreadable) << name;
            EXPECT_FALSE(error.localizedDescription.empty()) << name;
        }
    }
}
