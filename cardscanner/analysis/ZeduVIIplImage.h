#pragma once
// Owner of one IplImage, the image record the recognition core works on, and
// the conversions a camera frame needs: wrapping a pixel-buffer plane without
// copying, splitting the interleaved chroma plane, colour from Y, Cb and Cr,
// cropping and scaling, and conversion to a UIImage.
//
// An image is made on the capture queue and may be read on the main thread
// once handed over; nothing here is guarded. A wrapped plane is a header over
// the pixel buffer's memory: it is valid only while that buffer stays locked,
// and releasing it frees the header alone.

#include <opencv2/core/core_c.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Geometry.h"

namespace platform {
class PixelBuffer;
class UIImage;
}

namespace cardscanner {

using platform::PixelBuffer;

class ZeduVIIplImage : public std::enable_shared_from_this<ZeduVIIplImage> {
    struct PassKey {};

public:
    // Takes ownership of image; nullptr for a null image.
    static std::shared_ptr<ZeduVIIplImage> imageWithIplImage(IplImage* image);
    // Pixels not initialised; nullptr for an empty size, a channel count
    // outside 1..4 or what the image library refuses.
    static std::shared_ptr<ZeduVIIplImage> imageWithSize(CvSize size, int depth, int channels);
    // A header over one plane of a locked buffer: 8-bit, one channel for
    // plane 0 and two for the others, the plane's row stride, imageSize =
    // bytes per row x height. nullptr when the buffer is unlocked or has no
    // such plane.
    static std::shared_ptr<ZeduVIIplImage> imageFromYCbCrBuffer(PixelBuffer& buffer, std::size_t plane);
    // An 8-bit three-channel RGB image of y's size; nullptr when the three are
    // not equally sized 8-bit one-channel images.
    static std::shared_ptr<ZeduVIIplImage> rgbImageWithY(const ZeduVIIplImage& y, const ZeduVIIplImage& cb,
                                                         const ZeduVIIplImage& cr);

    ZeduVIIplImage(PassKey, IplImage* image);
    ~ZeduVIIplImage();
    ZeduVIIplImage(const ZeduVIIplImage&) = delete;
    ZeduVIIplImage& operator=(const ZeduVIIplImage&) = delete;

    IplImage* image() const { return image_; }

    // One channel: this image itself. Two (interleaved CbCr): new Cb and Cr
    // images. Empty for any other image.
    std::vector<std::shared_ptr<ZeduVIIplImage>> split();

    // "<ZeduVIIplImage 0x...: WIDTHxHEIGHT>".
    std::string description() const;
    // The region of interest's size while one is set.
    CvSize cvSize() const;
    // (0, 0, width - 1, height - 1) of cvSize.
    CvRect cvRect() const;

    // A grey (one-channel) or RGB (three-channel) 8-bit image as a UIImage
    // with its own copy of the pixels; nullptr for any other image.
    std::shared_ptr<platform::UIImage> UIImage() const;

    // The rectangle, clipped to the image first, scaled to this image's own
    // size. nullptr when nothing of the rectangle lies inside the image.
    std::shared_ptr<ZeduVIIplImage> copyCropped(CvRect rect);
    // The clipped rectangle copied (same size) or scaled bilinearly into a
    // new image of destSize; the region of interest is restored afterwards.
    // nullptr for an empty clipped rectangle or an empty destSize.
    std::shared_ptr<ZeduVIIplImage> copyCroppedDestSize(CvRect rect, CvSize destSize);

private:
    IplImage* image_;
};

}  // namespace cardscanner
