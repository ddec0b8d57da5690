#include "cardscanner/analysis/ZeduVIIplImage.h"

#include <cairo.h>
#include <opencv2/core/core.hpp>
#include <opencv2/imgproc/imgproc_c.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/capture/PixelBuffer.h"
#include "cardscanner/core/ImagePrimitives.h"
#include "cardscanner/core/ImageView.h"
#include "platform/graphics/Image.h"

namespace cardscanner {

namespace {

// The header's promises checked before its bytes are read: a header over
// someone else's memory must not send a copy past its end.
bool wholeImageIsReadable(const IplImage* image) {
    if (image == nullptr || image->imageData == nullptr || image->width <= 0 || image->height <= 0) return false;
    const long long rowBytes = static_cast<long long>(image->width) * image->nChannels * ((image->depth & 255) / 8);
    return image->widthStep >= rowBytes &&
           static_cast<long long>(image->imageSize) >= static_cast<long long>(image->widthStep) * image->height;
}

}  // namespace

ZeduVIIplImage::ZeduVIIplImage(PassKey, IplImage* image) : image_(image) {}

ZeduVIIplImage::~ZeduVIIplImage() {
    // A plane header has no imageDataOrigin, so this frees the header only
    // and leaves the pixel buffer's memory alone.
    cvReleaseImage(&image_);
}

std::shared_ptr<ZeduVIIplImage> ZeduVIIplImage::imageWithIplImage(IplImage* image) {
    if (image == nullptr) return nullptr;
    return std::make_shared<ZeduVIIplImage>(PassKey{}, image);
}

std::shared_ptr<ZeduVIIplImage> ZeduVIIplImage::imageWithSize(CvSize size, int depth, int channels) {
    // Checked here rather than left to the image library, whose error path
    // leaks the header it has already allocated. More than four channels is
    // beyond what an IplImage promises and what the core accepts.
    if (size.width <= 0 || size.height <= 0 || channels < 1 || channels > 4 || !is_ipl_depth(depth)) return nullptr;
    try {
        return imageWithIplImage(cvCreateImage(size, depth, channels));
    } catch (const cv::Exception&) {
        return nullptr;
    }
}

std::shared_ptr<ZeduVIIplImage> ZeduVIIplImage::imageFromYCbCrBuffer(PixelBuffer& buffer, std::size_t plane) {
    std::uint8_t* base = buffer.baseAddressOfPlane(plane);
    const std::size_t width = buffer.widthOfPlane(plane);
    const std::size_t height = buffer.heightOfPlane(plane);
    const std::size_t bytesPerRow = buffer.bytesPerRowOfPlane(plane);
    const int channels = plane == 0 ? 1 : 2;
    if (base == nullptr || width == 0 || height == 0 || bytesPerRow < width * channels) return nullptr;
    IplImage* header = cvCreateImageHeader(::cvSize(static_cast<int>(width), static_cast<int>(height)), IPL_DEPTH_8U,
                                           channels);
    // Set by hand rather than with cvSetData, which would also record the
    // buffer as imageDataOrigin and so have cvReleaseImage free the
    // camera's memory.
    header->imageData = reinterpret_cast<char*>(base);
    header->widthStep = static_cast<int>(bytesPerRow);
    header->imageSize = static_cast<int>(bytesPerRow * height);
    return imageWithIplImage(header);
}

std::shared_ptr<ZeduVIIplImage> ZeduVIIplImage::rgbImageWithY(const ZeduVIIplImage& y, const ZeduVIIplImage& cb,
                                                              const ZeduVIIplImage& cr) {
    IplImage* rgb = nullptr;
    if (!ycbcr_to_rgb(y.image(), cb.image(), cr.image(), &rgb)) return nullptr;
    return imageWithIplImage(rgb);
}

std::vector<std::shared_ptr<ZeduVIIplImage>> ZeduVIIplImage::split() {
    if (image_->nChannels == 1) return {shared_from_this()};
    if (image_->nChannels != 2) return {};
    IplImage* cb = nullptr;
    IplImage* cr = nullptr;
    if (!split_cbcr(image_, &cb, &cr)) return {};
    return {imageWithIplImage(cb), imageWithIplImage(cr)};
}

std::string ZeduVIIplImage::description() const {
    const CvSize size = cvSize();
    char text[96];
    std::snprintf(text, sizeof text, "<ZeduVIIplImage %p: %ix%i>", static_cast<const void*>(this), size.width,
                  size.height);
    return text;
}

CvSize ZeduVIIplImage::cvSize() const { return cvGetSize(image_); }

CvRect ZeduVIIplImage::cvRect() const {
    const CvSize size = cvSize();
    return ::cvRect(0, 0, size.width - 1, size.height - 1);
}

std::shared_ptr<platform::UIImage> ZeduVIIplImage::UIImage() const {
    const int channels = image_->nChannels;
    if ((channels != 1 && channels != 3) || image_->depth != IPL_DEPTH_8U || !wholeImageIsReadable(image_))
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image_->width, image_->height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < image_->height; ++y) {
        const auto* source = reinterpret_cast<const std::uint8_t*>(image_->imageData) +
                             static_cast<std::ptrdiff_t>(y) * image_->widthStep;
        auto* row = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image_->width; ++x) {
            std::uint32_t red, green, blue;
            if (channels == 1) {
                red = green = blue = source[x];
            } else {
                red = source[3 * x];
                green = source[3 * x + 1];
                blue = source[3 * x + 2];
            }
            row[x] = 0xff000000u | (red << 16) | (green << 8) | blue;
        }
    }
    cairo_surface_mark_dirty(surface);
    auto image = std::make_shared<platform::UIImage>(surface, 1.0);
    cairo_surface_destroy(surface);
    return image;
}

std::shared_ptr<ZeduVIIplImage> ZeduVIIplImage::copyCropped(CvRect rect) { return copyCroppedDestSize(rect, cvSize()); }

std::shared_ptr<ZeduVIIplImage> ZeduVIIplImage::copyCroppedDestSize(CvRect rect, CvSize destSize) {
    // Clipped in 64 bits: a rectangle from a caller's arithmetic may hold
    // values whose sum overflows int.
    const long long left = std::max<long long>(rect.x, 0);
    const long long top = std::max<long long>(rect.y, 0);
    const long long right = std::min<long long>(static_cast<long long>(rect.x) + rect.width, image_->width);
    const long long bottom = std::min<long long>(static_cast<long long>(rect.y) + rect.height, image_->height);
    if (right <= left || bottom <= top || destSize.width <= 0 || destSize.height <= 0) return nullptr;
    const CvRect clipped = ::cvRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                                    static_cast<int>(bottom - top));

    const bool hadRegion = image_->roi != nullptr;
    const CvRect previousRegion = cvGetImageROI(image_);
    auto restoreRegion = [&] {
        if (hadRegion) {
            cvSetImageROI(image_, previousRegion);
        } else {
            cvResetImageROI(image_);
        }
    };
    IplImage* result = nullptr;
    try {
        cvSetImageROI(image_, clipped);
        result = cvCreateImage(destSize, image_->depth, image_->nChannels);
        if (clipped.width == destSize.width && clipped.height == destSize.height) {
            cvCopy(image_, result, nullptr);
        } else {
            cvResize(image_, result, CV_INTER_LINEAR);
        }
    } catch (const cv::Exception&) {
        cvReleaseImage(&result);
        restoreRegion();
        return nullptr;
    }
    restoreRegion();
    return imageWithIplImage(result);
}

}  // namespace cardscanner
