#include <gtest/gtest.h>
#include <opencv2/core/core_c.h>

#include "platform/capture/PixelBuffer.h"
#include "cardscanner/analysis/ZeduVIIplImage.h"
#include "platform/graphics/Image.h"

namespace cardscanner {
namespace {

uint8_t& at(IplImage* image, int x, int y, int channel = 0) {
    return reinterpret_cast<uint8_t*>(image->imageData + y * image->widthStep)[x * image->nChannels + channel];
}

// A grey ramp: each pixel tells where it came from.
std::shared_ptr<ZeduVIIplImage> ramp(int width, int height) {
    auto image = ZeduVIIplImage::imageWithSize(cvSize(width, height), IPL_DEPTH_8U, 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) at(image->image(), x, y) = static_cast<uint8_t>(x + 10 * y);
    return image;
}

TEST(PixelBuffer, PlanesExistOnlyWhileLockedAndLocksNest) {
    auto buffer = PixelBuffer::create(640, 480, 32);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->widthOfPlane(1), 320u);
    EXPECT_EQ(buffer->heightOfPlane(1), 240u);
    EXPECT_EQ(buffer->bytesPerRowOfPlane(0), 672u);
    EXPECT_EQ(buffer->bytesPerRowOfPlane(1), 672u);
    EXPECT_EQ(buffer->baseAddressOfPlane(0), nullptr);
    buffer->lockBaseAddress();
    buffer->lockBaseAddress();
    EXPECT_NE(buffer->baseAddressOfPlane(0), nullptr);
    EXPECT_EQ(buffer->baseAddressOfPlane(2), nullptr);
    EXPECT_TRUE(buffer->unlockBaseAddress());
    EXPECT_TRUE(buffer->isLocked());
    EXPECT_TRUE(buffer->unlockBaseAddress());
    EXPECT_FALSE(buffer->unlockBaseAddress());
    EXPECT_EQ(buffer->baseAddressOfPlane(1), nullptr);
    EXPECT_EQ(PixelBuffer::create(0, 480), nullptr);
}

TEST(IplImageWrapper, APlaneIsWrappedInPlaceWithItsStride) {
    auto buffer = PixelBuffer::create(640, 480, 16);
    EXPECT_EQ(ZeduVIIplImage::imageFromYCbCrBuffer(*buffer, 0), nullptr);  // not locked
    buffer->lockBaseAddress();
    {
        auto y = ZeduVIIplImage::imageFromYCbCrBuffer(*buffer, 0);
        auto cbcr = ZeduVIIplImage::imageFromYCbCrBuffer(*buffer, 1);
        ASSERT_NE(y, nullptr);
        ASSERT_NE(cbcr, nullptr);
        EXPECT_EQ(ZeduVIIplImage::imageFromYCbCrBuffer(*buffer, 2), nullptr);

        EXPECT_EQ(y->image()->nChannels, 1);
        EXPECT_EQ(y->image()->width, 640);
        EXPECT_EQ(y->image()->widthStep, 656);
        EXPECT_EQ(y->image()->imageSize, 656 * 480);
        EXPECT_EQ(reinterpret_cast<uint8_t*>(y->image()->imageData), buffer->baseAddressOfPlane(0));
        EXPECT_EQ(cbcr->image()->nChannels, 2);
        EXPECT_EQ(cbcr->image()->width, 320);
        EXPECT_EQ(cbcr->image()->height, 240);
        EXPECT_EQ(cbcr->image()->widthStep, 656);
        EXPECT_EQ(cbcr->image()->imageSize, 656 * 240);

        // Written through the header, seen in the buffer.
        at(y->image(), 5, 2) = 77;
        EXPECT_EQ(buffer->planeData(0)[2 * 656 + 5], 77);
    }
    // Releasing the headers left the buffer's memory alone (the address
    // sanitizer would report a free of it).
    EXPECT_EQ(buffer->planeData(0)[2 * 656 + 5], 77);
    buffer->unlockBaseAddress();
}

TEST(IplImageWrapper, SplitGivesTheImageItselfOrItsTwoChromaPlanes) {
    auto grey = ramp(8, 4);
    const auto same = grey->split();
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0], grey);

    auto cbcr = ZeduVIIplImage::imageWithSize(cvSize(4, 2), IPL_DEPTH_8U, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            at(cbcr->image(), x, y, 0) = static_cast<uint8_t>(x);
            at(cbcr->image(), x, y, 1) = static_cast<uint8_t>(100 + y);
        }
    const auto planes = cbcr->split();
    ASSERT_EQ(planes.size(), 2u);
    EXPECT_EQ(planes[0]->image()->nChannels, 1);
    EXPECT_EQ(at(planes[0]->image(), 3, 1), 3);
    EXPECT_EQ(at(planes[1]->image(), 3, 1), 101);

    EXPECT_TRUE(ZeduVIIplImage::imageWithSize(cvSize(4, 2), IPL_DEPTH_8U, 3)->split().empty());
}

TEST(IplImageWrapper, RefusesWhatTheImageLibraryCannotMake) {
    EXPECT_EQ(ZeduVIIplImage::imageWithIplImage(nullptr), nullptr);
    EXPECT_EQ(ZeduVIIplImage::imageWithSize(cvSize(0, 10), IPL_DEPTH_8U, 1), nullptr);
    EXPECT_EQ(ZeduVIIplImage::imageWithSize(cvSize(10, 10), IPL_DEPTH_8U, 7), nullptr);
    EXPECT_EQ(ZeduVIIplImage::imageWithSize(cvSize(10, 10), 3, 1), nullptr);
}

TEST(IplImageWrapper, ColourComesFromEquallySizedPlanes) {
    auto y = ZeduVIIplImage::imageWithSize(cvSize(4, 4), IPL_DEPTH_8U, 1);
    auto cb = ZeduVIIplImage::imageWithSize(cvSize(4, 4), IPL_DEPTH_8U, 1);
    auto cr = ZeduVIIplImage::imageWithSize(cvSize(4, 4), IPL_DEPTH_8U, 1);
    cvSet(y->image(), cvScalarAll(128));
    cvSet(cb->image(), cvScalarAll(128));
    cvSet(cr->image(), cvScalarAll(255));  // strongly red
    auto rgb = ZeduVIIplImage::rgbImageWithY(*y, *cb, *cr);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(rgb->image()->nChannels, 3);
    EXPECT_GT(at(rgb->image(), 1, 1, 0), 200);
    EXPECT_LT(at(rgb->image(), 1, 1, 2), 160);

    auto half = ZeduVIIplImage::imageWithSize(cvSize(2, 2), IPL_DEPTH_8U, 1);
    EXPECT_EQ(ZeduVIIplImage::rgbImageWithY(*y, *half, *cr), nullptr);
}

TEST(IplImageWrapper, OnlyGreyAndRgbBecomeUIImages) {
    auto grey = ramp(6, 3);
    auto image = grey->UIImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelWidth(), 6);
    EXPECT_EQ(image->scale(), 1.0);
    const auto pixel = image->pixelAt(4, 2);
    ASSERT_TRUE(pixel.has_value());
    EXPECT_EQ(pixel->red, 24);
    EXPECT_EQ(pixel->blue, 24);
    EXPECT_EQ(pixel->alpha, 255);

    auto rgb = ZeduVIIplImage::imageWithSize(cvSize(2, 2), IPL_DEPTH_8U, 3);
    cvSet(rgb->image(), cvScalar(10, 20, 30));
    const auto rgbPixel = rgb->UIImage()->pixelAt(1, 1);
    EXPECT_EQ(rgbPixel->red, 10);
    EXPECT_EQ(rgbPixel->green, 20);
    EXPECT_EQ(rgbPixel->blue, 30);

    EXPECT_EQ(ZeduVIIplImage::imageWithSize(cvSize(2, 2), IPL_DEPTH_8U, 2)->UIImage(), nullptr);
    EXPECT_EQ(ZeduVIIplImage::imageWithSize(cvSize(2, 2), IPL_DEPTH_8U, 4)->UIImage(), nullptr);
    EXPECT_EQ(ZeduVIIplImage::imageWithSize(cvSize(2, 2), IPL_DEPTH_16U, 1)->UIImage(), nullptr);
}

TEST(IplImageWrapper, CroppingScalesUpToTheImagesSizeOrCopiesAtItsOwn) {
    auto image = ramp(40, 20);
    auto scaled = image->copyCropped(cvRect(10, 5, 20, 10));
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(scaled->cvSize().width, 40);
    EXPECT_EQ(scaled->cvSize().height, 20);
    EXPECT_EQ(image->image()->roi, nullptr);

    auto copied = image->copyCroppedDestSize(cvRect(10, 5, 20, 10), cvSize(20, 10));
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(at(copied->image(), 0, 0), at(image->image(), 10, 5));
    EXPECT_EQ(at(copied->image(), 19, 9), at(image->image(), 29, 14));

    // A region of interest the caller had set is there again afterwards.
    cvSetImageROI(image->image(), cvRect(1, 2, 3, 4));
    ASSERT_NE(image->copyCroppedDestSize(cvRect(0, 0, 8, 8), cvSize(8, 8)), nullptr);
    const CvRect roi = cvGetImageROI(image->image());
    EXPECT_EQ(roi.x, 1);
    EXPECT_EQ(roi.y, 2);
    EXPECT_EQ(roi.width, 3);
    EXPECT_EQ(roi.height, 4);
}

TEST(IplImageWrapper, CroppingClipsTheRectangleAndRefusesAnEmptyOne) {
    auto image = ramp(40, 20);
    auto clipped = image->copyCroppedDestSize(cvRect(30, 15, 50, 50), cvSize(10, 5));
    ASSERT_NE(clipped, nullptr);
    EXPECT_EQ(at(clipped->image(), 9, 4), at(image->image(), 39, 19));
    auto fromNegative = image->copyCroppedDestSize(cvRect(-5, -5, 10, 10), cvSize(5, 5));
    ASSERT_NE(fromNegative, nullptr);
    EXPECT_EQ(at(fromNegative->image(), 0, 0), at(image->image(), 0, 0));

    EXPECT_EQ(image->copyCropped(cvRect(40, 0, 5, 5)), nullptr);
    EXPECT_EQ(image->copyCropped(cvRect(0, 0, 0, 5)), nullptr);
    EXPECT_EQ(image->copyCropped(cvRect(2147483600, 0, 2147483600, 5)), nullptr);
    EXPECT_EQ(image->copyCroppedDestSize(cvRect(0, 0, 5, 5), cvSize(0, 5)), nullptr);
    EXPECT_EQ(image->image()->roi, nullptr);
}

}  // namespace
}  // namespace cardscanner
