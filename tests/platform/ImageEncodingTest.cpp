#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/GeometryFunctions.h"
#include "platform/graphics/Image.h"
#include "tests/platform/TemporaryDirectory.h"
#include "tests/support/FaultInput.h"

using namespace platform;

namespace {

// A w x h image, white, with one red pixel at the stored top left and a blue one at the top right.
std::shared_ptr<UIImage> marked(int w, int h, UIImageOrientation orientation) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(w, h), false, 1);
    CGContextRef c = UIGraphicsGetCurrentContext();
    CGContextSetFillColorWithColor(c, UIColor::whiteColor().CGColor());
    CGContextFillRect(c, CGRectMake(0, 0, w, h));
    CGContextSetFillColorWithColor(c, UIColor::redColor().CGColor());
    CGContextFillRect(c, CGRectMake(0, 0, 1, 1));
    CGContextSetFillColorWithColor(c, UIColor::blueColor().CGColor());
    CGContextFillRect(c, CGRectMake(w - 1, 0, 1, 1));
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return UIImage::imageWithImage(*image, orientation);
}

const UIImage::Pixel kRed{255, 0, 0, 255};
const UIImage::Pixel kBlue{0, 0, 255, 255};

}  // namespace

TEST(ImageOrientation, TurningUprightMovesThePixelsAsEachOrientationSays) {
    struct Case {
        UIImageOrientation orientation;
        int redX, redY, blueX, blueY;  // in the upright 2 x 4 (or 4 x 2) image
    };
    // Stored 4 x 2: red at (0, 0), blue at (3, 0).
    for (const Case& c : {Case{UIImageOrientationUp, 0, 0, 3, 0}, Case{UIImageOrientationDown, 3, 1, 0, 1},
                          Case{UIImageOrientationRight, 1, 0, 1, 3}, Case{UIImageOrientationLeft, 0, 3, 0, 0},
                          Case{UIImageOrientationUpMirrored, 3, 0, 0, 0}, Case{UIImageOrientationLeftMirrored, 0, 0, 0, 3}}) {
        const auto upright = marked(4, 2, c.orientation)->uprightImage();
        ASSERT_TRUE(upright);
        EXPECT_EQ(upright->imageOrientation(), UIImageOrientationUp);
        EXPECT_EQ(upright->pixelAt(c.redX, c.redY), kRed) << c.orientation;
        EXPECT_EQ(upright->pixelAt(c.blueX, c.blueY), kBlue) << c.orientation;
    }
    EXPECT_EQ(UIImageOrientationFromExif(6), UIImageOrientationRight);
    EXPECT_EQ(UIImageOrientationToExif(UIImageOrientationLeft), 8);
    EXPECT_EQ(UIImageOrientationFromExif(42), UIImageOrientationUp);
}

TEST(ImageOrientation, TheContextPathOfRotatingAndFlippingGivesTheSameUprightImage) {
    // Centre, turn, flip, draw the stored pixels (sides swapped when turned a quarter).
    struct Case {
        UIImageOrientation orientation;
        double angle;
    };
    for (const Case& c : {Case{UIImageOrientationRight, std::numbers::pi / 2}, Case{UIImageOrientationLeft, -std::numbers::pi / 2},
                          Case{UIImageOrientationDown, std::numbers::pi}, Case{UIImageOrientationUp, 0}}) {
        const auto image = marked(4, 2, c.orientation);
        const double w = image->size().width, h = image->size().height;
        const bool quarter = c.orientation == UIImageOrientationRight || c.orientation == UIImageOrientationLeft;
        UIGraphicsBeginImageContextWithOptions(image->size(), false, 1);
        CGContextRef context = UIGraphicsGetCurrentContext();
        CGContextTranslateCTM(context, w / 2, h / 2);
        CGContextRotateCTM(context, static_cast<double>(static_cast<float>(c.angle)));
        CGContextScaleCTM(context, 1, -1);
        CGContextDrawImage(context, quarter ? CGRectMake(-h / 2, -w / 2, h, w) : CGRectMake(-w / 2, -h / 2, w, h), *image);
        const auto drawn = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        const auto expected = image->uprightImage();
        ASSERT_TRUE(drawn);
        ASSERT_EQ(drawn->pixelWidth(), expected->pixelWidth());
        ASSERT_EQ(drawn->pixelHeight(), expected->pixelHeight());
        for (int y = 0; y < expected->pixelHeight(); ++y)
            for (int x = 0; x < expected->pixelWidth(); ++x)
                EXPECT_EQ(drawn->pixelAt(x, y), expected->pixelAt(x, y)) << c.orientation << " at " << x << "," << y;
    }
}

TEST(ImageEncoding, ScaledDrawingAndBothCodecsKeepTheSizes) {
    const auto image = marked(400, 200, UIImageOrientationUp);
    UIGraphicsBeginImageContextWithOptions({100, 50}, false, 1);
    image->drawInRect({{0, 0}, {100, 50}});
    const auto scaled = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->pixelWidth(), 100);
    EXPECT_EQ(scaled->pixelHeight(), 50);

    const Data jpeg = UIImageJPEGRepresentation(*image, 0.8);
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    const auto decoded = UIImage::imageWithData(jpeg);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->size(), CGSizeMake(400, 200));
    // Lower quality, fewer bytes.
    EXPECT_LT(UIImageJPEGRepresentation(*image, 0.1).size(), UIImageJPEGRepresentation(*image, 1.0).size());

    const Data png = UIImagePNGRepresentation(*marked(4, 2, UIImageOrientationUp));
    const auto fromPng = UIImage::imageWithData(png);
    ASSERT_TRUE(fromPng);
    EXPECT_EQ(fromPng->pixelAt(3, 0), kBlue);
}

TEST(ImageEncoding, AJpegKeepsTheOrientationInItsExif) {
    const auto turned = UIImage::imageWithData(UIImageJPEGRepresentation(*marked(40, 20, UIImageOrientationRight), 0.9));
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->imageOrientation(), UIImageOrientationRight);
    EXPECT_EQ(turned->size(), CGSizeMake(20, 40));
}

TEST(ImageEncoding, BytesThatAreNoImageGiveNothing) {
    EXPECT_EQ(UIImage::imageWithData({}), nullptr);
    EXPECT_EQ(UIImage::imageWithData({'n', 'o', 't'}), nullptr);
    Data truncated = UIImageJPEGRepresentation(*marked(64, 64, UIImageOrientationUp), 0.9);
    truncated.resize(truncated.size() / 3);
    truncated[truncated.size() - 1] ^= 0x55;
    UIImage::imageWithData(truncated);  // decoded partly or not at all, but no crash
    Data header{0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x', 'i', 'f'};
    EXPECT_EQ(UIImage::imageWithData(header), nullptr);
}

TEST(ImageDecoding, AClaimAboveThePixelLimitIsRefusedUnreadAndThumbnailsDecodeReduced) {
    LogCapture log;
    const std::string huge = "jpeg-claims-32767x32767.jpg";
    EXPECT_EQ(UIImage::imageWithData(testing_support::faultInput(huge)), nullptr);
    EXPECT_EQ(UIImage::thumbnailWithData(testing_support::faultInput(huge), 60), nullptr);
    EXPECT_EQ(UIImage::imageWithContentsOfFile(testing_support::faultInputPath(huge)), nullptr);
    EXPECT_EQ(UIImage::imageWithDataDecodedWhenNeeded(testing_support::faultInput(huge)), nullptr);
    EXPECT_EQ(log.size(), 4u);
    EXPECT_TRUE(log.contains("claims 32767 x 32767 pixels"));

    // 640 x 480, EXIF orientation 6: an eighth still has 60 pixels a side, and the orientation is kept.
    auto& files = FileManager::defaultManager();
    const Data camera = *files.contentsAtPath(std::string(HYBRID_SOURCE_DIR) + "/examples/photos/camera.jpg");
    const auto small = UIImage::thumbnailWithData(camera, 60);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->pixelWidth(), 80);
    EXPECT_EQ(small->imageOrientation(), UIImageOrientationRight);
    EXPECT_EQ(UIImage::thumbnailWithData(camera, 200)->pixelWidth(), 320);
    const Data png = *files.contentsAtPath(std::string(HYBRID_SOURCE_DIR) + "/examples/photos/garden.png");
    EXPECT_EQ(UIImage::thumbnailWithData(png, 20)->pixelWidth(), 240);
}

TEST(ImageDecoding, AJpegDecodedWhenNeededIsTheFullDecodeAndCoversAnUprightSizeReduced) {
    const Data camera = *FileManager::defaultManager().contentsAtPath(std::string(HYBRID_SOURCE_DIR) +
                                                                     "/examples/photos/camera.jpg");
    const auto held = UIImage::imageWithDataDecodedWhenNeeded(camera);
    const auto full = UIImage::imageWithData(camera);
    ASSERT_TRUE(held && full);
    EXPECT_EQ(held->size(), CGSizeMake(480, 640));
    for (auto [x, y] : {std::pair{0, 0}, {639, 0}, {321, 243}, {639, 479}})
        EXPECT_EQ(held->pixelAt(x, y), full->pixelAt(x, y)) << x << "," << y;

    // 640 x 480 stored, shown turned right as 480 x 640: an upright width lies along the stored height.
    for (auto [upright, storedWidth] : {std::pair{CGSize{60, 80}, 80}, {CGSize{80, 60}, 160}, {CGSize{240, 320}, 320}}) {
        const auto reduced = held->reducedImageCovering(upright);
        ASSERT_TRUE(reduced) << upright.width << " x " << upright.height;
        EXPECT_EQ(reduced->pixelWidth(), storedWidth) << upright.width << " x " << upright.height;
        EXPECT_EQ(reduced->imageOrientation(), UIImageOrientationRight);
    }
    EXPECT_EQ(held->reducedImageCovering({241, 320}), nullptr);
    EXPECT_EQ(full->reducedImageCovering({60, 80}), nullptr);

    // A header without the pixels behind it is refused before it is held.
    const std::uint8_t startOfFrame[] = {0xFF, 0xC0};
    const auto frame = std::search(camera.begin(), camera.end(), std::begin(startOfFrame), std::end(startOfFrame));
    ASSERT_NE(frame, camera.end());
    LogCapture log;
    EXPECT_EQ(UIImage::imageWithDataDecodedWhenNeeded(Data(camera.begin(), frame + 2 + (frame[2] << 8 | frame[3]))),
              nullptr);
    EXPECT_TRUE(log.contains("not decoded"));
}

TEST(ImageDecoding, AJpegCutShortDecodesAsFarAsItGoesAndASideOverTheLimitIsRefused) {
    // Damaged files whose data ends before a single row is decoded: every
    // path gives what libjpeg reads from the file itself.
    for (const char* name : {"jpeg-uninitialized-pixels.jpg", "jpeg-uninitialized-pixels-400.jpg"}) {
        const Data data = testing_support::faultInput(name);
        const auto file = UIImage::imageWithContentsOfFile(testing_support::faultInputPath(name));
        const auto full = UIImage::imageWithData(data);
        const auto held = UIImage::imageWithDataDecodedWhenNeeded(data);
        ASSERT_TRUE(file && full && held) << name;
        EXPECT_EQ(UIImagePNGRepresentation(*full), UIImagePNGRepresentation(*file)) << name;
        EXPECT_EQ(UIImagePNGRepresentation(*held), UIImagePNGRepresentation(*file)) << name;
        const auto reduced = held->reducedImageCovering({2, 2});
        const auto thumbnail = UIImage::thumbnailWithData(data, 2);
        ASSERT_TRUE(reduced && thumbnail) << name;
        EXPECT_EQ(UIImagePNGRepresentation(*reduced), UIImagePNGRepresentation(*thumbnail)) << name;
    }
    // A whole picture only missing its end marker is the whole picture.
    Data whole = UIImageJPEGRepresentation(*marked(64, 16, UIImageOrientationUp), 0.9);
    const Data unended(whole.begin(), whole.end() - 2);
    EXPECT_EQ(UIImagePNGRepresentation(*UIImage::imageWithData(unended)),
              UIImagePNGRepresentation(*UIImage::imageWithData(whole)));

    // 40000 x 100: under the pixel limit, over what a surface can be.
    LogCapture log;
    const Data wide = testing_support::faultInput("jpeg-side-40000.jpg");
    EXPECT_EQ(UIImage::imageWithData(wide), nullptr);
    EXPECT_EQ(UIImage::thumbnailWithData(wide, 10), nullptr);
    EXPECT_EQ(UIImage::imageWithDataDecodedWhenNeeded(wide), nullptr);
    EXPECT_EQ(log.count("claims 40000 x 100 pixels, a side over the limit of 32767"), 3u);
}

// FF 00 after the start marker: read as a segment, it led to a fake 16 x 16
// frame header, while libjpeg skips it and decodes the real 20000 x 20000
// frame. The size checked is libjpeg's own on every path. (The lazy path
// first: without the check it fails at once, the others after gigabytes.)
TEST(ImageDecoding, AJpegWhoseHeaderHidesItsSizeIsRefusedOnEveryPath) {
    LogCapture log;
    const std::string name = "jpeg-stuffed-header-20000x20000.jpg";
    const Data stuffed = testing_support::faultInput(name);
    ASSERT_EQ(UIImage::imageWithDataDecodedWhenNeeded(stuffed), nullptr);
    ASSERT_EQ(UIImage::thumbnailWithData(stuffed, 60), nullptr);
    ASSERT_EQ(UIImage::imageWithData(stuffed), nullptr);
    ASSERT_EQ(UIImage::imageWithContentsOfFile(testing_support::faultInputPath(name)), nullptr);
    EXPECT_EQ(log.count("claims 20000 x 20000 pixels, over the limit of 100000000 pixels; not decoded"), 4u);
}

// A few hundred bytes claiming a 10000 x 10000 progressive CMYK picture:
// within the pixel limit, but libjpeg would hold 800 MB of coefficients on
// top of the bitmap. (The lazy path first: without the check it succeeds at
// once, the eager one after gigabytes.)
TEST(ImageDecoding, AJpegWhoseDecodeWouldTakeTooMuchMemoryIsRefusedWithItsCost) {
    LogCapture log;
    for (const std::string name : {"jpeg-progressive-cmyk-10000x10000.jpg", "jpeg-arith-progressive-cmyk-10000x10000.jpg"}) {
        const Data data = testing_support::faultInput(name);
        ASSERT_EQ(UIImage::imageWithDataDecodedWhenNeeded(data), nullptr) << name;
        std::string why;
        ASSERT_EQ(UIImage::imageWithContentsOfFile(testing_support::faultInputPath(name), &why), nullptr) << name;
        EXPECT_NE(why.find("would take 1.2 GB to decode, over the limit of 0.8 GB"), std::string::npos) << why;
    }
    EXPECT_EQ(log.count("claims 10000 x 10000 pixels of 4 components in several scans, which would take 1.2 GB"), 4u);
}

// A JPEG file cut short is shown as far as its data goes, and a line names
// it; a warning about anything but its data is no damage.
TEST(ImageDecoding, ADamagedJpegFileIsShownAndNamedInTheLog) {
    const std::string whole = testing_support::faultInputPath("jpeg-exif-orientation-6-whole.jpg");
    const std::string cut = testing_support::faultInputPath("jpeg-unended-exif-orientation-6.jpg");
    LogCapture log;
    ASSERT_TRUE(UIImage::imageWithContentsOfFile(whole));
    // libjpeg warns of a JFIF revision 2.01 it does not know, and decodes the picture whole.
    Data jfif = UIImageJPEGRepresentation(*marked(64, 16, UIImageOrientationUp), 0.9);
    ASSERT_EQ(std::string(jfif.begin() + 6, jfif.begin() + 11), std::string("JFIF\0", 5));
    jfif[11] = 2;
    jfif[12] = 1;
    testing_support::TemporaryDirectory folder;
    const auto revised = UIImage::imageWithContentsOfFile(folder.write("revised.jpg", std::string(jfif.begin(), jfif.end())));
    ASSERT_TRUE(revised);
    EXPECT_EQ(revised->pixelWidth(), 64);
    EXPECT_EQ(log.size(), 0u);
    ASSERT_TRUE(UIImage::imageWithContentsOfFile(cut));
    EXPECT_EQ(log.count(cut + " is a damaged JPEG (libjpeg: Premature end of JPEG file): it shows as far as its "
                              "data goes, grey after"),
              1u);
}

TEST(ImageDecoding, AJpegMissingItsEndMarkerIsTurnedAsTheWholeFileOnEveryPath) {
    // 320 x 240 stored, EXIF orientation 6; the second without its last two bytes (FF D9).
    struct Paths {
        std::shared_ptr<UIImage> full, thumbnail, held, reduced;
    };
    auto decode = [](const char* name) {
        const Data data = testing_support::faultInput(name);
        Paths paths{UIImage::imageWithData(data), UIImage::thumbnailWithData(data, 30),
                    UIImage::imageWithDataDecodedWhenNeeded(data), nullptr};
        if (paths.held) paths.reduced = paths.held->reducedImageCovering({30, 40});
        return paths;
    };
    const Paths whole = decode("jpeg-exif-orientation-6-whole.jpg");
    const Paths unended = decode("jpeg-unended-exif-orientation-6.jpg");
    ASSERT_TRUE(whole.full && whole.thumbnail && whole.held && whole.reduced);
    ASSERT_TRUE(unended.full && unended.thumbnail && unended.held && unended.reduced);
    EXPECT_EQ(whole.full->size(), CGSizeMake(240, 320));
    for (auto [label, path] : {std::pair{"full", &Paths::full}, {"thumbnail", &Paths::thumbnail},
                               {"held", &Paths::held}, {"reduced", &Paths::reduced}}) {
        const UIImage& expected = *(whole.*path);
        const UIImage& cut = *(unended.*path);
        EXPECT_EQ(expected.imageOrientation(), UIImageOrientationRight) << label;
        EXPECT_EQ(cut.imageOrientation(), expected.imageOrientation()) << label;
        EXPECT_EQ(cut.size().width, expected.size().width) << label;
        EXPECT_EQ(cut.size().height, expected.size().height) << label;
    }
}

TEST(ImageDecoding, AJpegNotDecodedYetIsEncodedAndTurnedAsItsFullDecode) {
    // Odd sides, so that every turn and mirror moves pixels.
    for (long o = UIImageOrientationUp; o <= UIImageOrientationRightMirrored; ++o) {
        const Data jpeg = UIImageJPEGRepresentation(*marked(37, 23, static_cast<UIImageOrientation>(o)), 0.9);
        const auto decoded = UIImage::imageWithData(jpeg);
        const auto held = UIImage::imageWithDataDecodedWhenNeeded(jpeg);
        ASSERT_TRUE(decoded && held) << o;
        ASSERT_EQ(held->imageOrientation(), o);
        EXPECT_EQ(UIImagePNGRepresentation(*held->uprightImage()), UIImagePNGRepresentation(*decoded->uprightImage()))
            << o;
        const Data encoded = UIImageJPEGRepresentation(*held, 0.5);
        EXPECT_EQ(encoded, UIImageJPEGRepresentation(*decoded, 0.5)) << o;
        EXPECT_EQ(UIImagePNGRepresentation(*held), UIImagePNGRepresentation(*decoded)) << "decoded when needed " << o;
    }
}
