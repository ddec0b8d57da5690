#include "cardscanner/analysis/ZeduVIVideoFrame.h"

#include <cairo.h>
#include <opencv2/core/core.hpp>

#include <chrono>
#include <cstdio>

#include "platform/capture/PixelBuffer.h"
#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/analysis/ZeduVIIplImage.h"
#include "cardscanner/core/GuideGeometry.h"
#include "cardscanner/core/ImagePrimitives.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/Image.h"

namespace cardscanner {

namespace {

constexpr int kEncodingColorPNG = 1;
constexpr int kEncodingGrayPNG = 2;

// Seconds between 1 January 1970 and 1 January 2001, the platform's
// reference date.
constexpr double kReferenceDateSinceEpoch = 978307200.0;

cairo_status_t appendToData(void* closure, const unsigned char* bytes, unsigned int length) {
    auto* data = static_cast<platform::Data*>(closure);
    data->insert(data->end(), bytes, bytes + length);
    return CAIRO_STATUS_SUCCESS;
}

std::optional<platform::Data> pngRepresentation(const std::shared_ptr<platform::UIImage>& image) {
    if (!image) return std::nullopt;
    platform::Data data;
    if (cairo_surface_write_to_png_stream(image->surface(), appendToData, &data) != CAIRO_STATUS_SUCCESS)
        return std::nullopt;
    return data;
}

}  // namespace

ZeduVIVideoFrame::ZeduVIVideoFrame(PixelBuffer* sampleBuffer, long interfaceOrientation)
    : buffer_(sampleBuffer), orientation_(interfaceOrientation) {}

void ZeduVIVideoFrame::setScanner(std::shared_ptr<ZeduVICardScanner> scanner) { scanner_ = std::move(scanner); }

void ZeduVIVideoFrame::process() {
    // Parent mode: an image-library error is raised to us as cv::Exception
    // instead of ending the process.
    cvSetErrMode(1);
    if (buffer_ == nullptr) return;
    buffer_->lockBaseAddress();
    try {
        ySample_ = ZeduVIIplImage::imageFromYCbCrBuffer(*buffer_, 0);
        if (ySample_) {
            const bool imageMode = detectionMode_ == ZeduVIDetectionModeImage;
            // Image mode wants the whole card sharp; the number modes only
            // the stripe region, which the small window covers.
            focusScore_ = focus_score_for_frame(ySample_->image(), imageMode);
            focusOk_ = focusScore_ > kFocusOkAbove;
            focusSucks_ = focusScore_ < kFocusSucksBelow;
            if (calculateBrightness_) {
                brightnessScore_ = brightness_score_for_frame(ySample_->image(), torchIsOn_);
                brightnessLow_ = brightnessScore_ < kBrightnessLowBelow;
                brightnessHigh_ = brightnessScore_ > kBrightnessHighAbove;
            }
            if (focusOk_ || imageMode) {
                if (auto chroma = ZeduVIIplImage::imageFromYCbCrBuffer(*buffer_, 1)) {
                    auto planes = chroma->split();
                    if (planes.size() == 2) {
                        cbSample_ = planes[0];
                        crSample_ = planes[1];
                    }
                }
                detectCardInSamples();
            }
        }
    } catch (const cv::Exception& error) {
        // One bad frame must not take the capture queue down; the next
        // frame starts afresh.
        platform::logf("ZeduVIVideoFrame: image library error, frame analysis stopped: %s", error.what());
    }
    // The header points into the buffer's memory, which is not ours once
    // the buffer is unlocked.
    ySample_.reset();
    buffer_->unlockBaseAddress();
}

void ZeduVIVideoFrame::detectCardInSamples() { detectCardInSamplesWithFlip(false); }

int ZeduVIVideoFrame::passOrientation() const {
    const int orientation = orientation_ >= 1 && orientation_ <= 4 ? static_cast<int>(orientation_) : 1;
    return flipped_ ? opposite_orientation(orientation) : orientation;
}

std::shared_ptr<ZeduVIIplImage> ZeduVIVideoFrame::warpedCard(const std::shared_ptr<ZeduVIIplImage>& plane,
                                                             int orientation) const {
    if (!plane) return nullptr;
    IplImage* out = nullptr;
    try {
        transform_card(reco(), plane->image(), corner_points_, orientation, &out);
    } catch (...) {
        cvReleaseImage(&out);
        throw;
    }
    return ZeduVIIplImage::imageWithIplImage(out);
}

void ZeduVIVideoFrame::detectCardInSamplesWithFlip(bool flip) {
    flipped_ = flip;
    const int orientation = passOrientation();
    if (!ySample_) return;

    const bool found = detect_card_edges(ySample_->image(), cbSample_ ? cbSample_->image() : nullptr,
                                         crSample_ ? crSample_->image() : nullptr, orientation, found_edges_,
                                         corner_points_);
    foundTopEdge_ = found_edges_.top.found != 0;
    foundBottomEdge_ = found_edges_.bottom.found != 0;
    foundLeftEdge_ = found_edges_.left.found != 0;
    foundRightEdge_ = found_edges_.right.found != 0;
    if (!found) return;

    auto card = warpedCard(ySample_, orientation);
    if (!card) return;
    cardY_ = std::move(card);

    if (detectionMode_ != ZeduVIDetectionModeImage) {
        if (!scanner_) return;
        scanner_->addFrame(cardY_, focusScore_, brightnessScore_, isoSpeed_, shutterSpeed_, torchIsOn_, flipped_,
                           scanExpiry_);
        if (scanner_->complete()) {
            cardInfo_ = scanner_->cardInfo();
        } else {
            // One retry the other way up, and only from an upright pass, so
            // a frame is analysed at most twice.
            if (!flipped_ && scanner_->lastFrameWasUpsideDown()) detectCardInSamplesWithFlip(true);
            return;
        }
    }
    transformCbCrWithFrameOrientation(static_cast<unsigned char>(orientation));
}

void ZeduVIVideoFrame::transformCbCrWithFrameOrientation(unsigned char orientation) {
    if (!cardY_) return;
    // The chroma planes are half the size of Y; the filter draws any plane
    // over its full output size, so the Y corners fit them as they are.
    cardCb_ = warpedCard(cbSample_, orientation);
    cardCr_ = warpedCard(crSample_, orientation);
}

bool ZeduVIVideoFrame::foundAllEdges() const {
    return foundTopEdge_ && foundBottomEdge_ && foundLeftEdge_ && foundRightEdge_;
}

unsigned ZeduVIVideoFrame::numEdgesFound() const {
    return static_cast<unsigned>(foundTopEdge_) + static_cast<unsigned>(foundBottomEdge_) +
           static_cast<unsigned>(foundLeftEdge_) + static_cast<unsigned>(foundRightEdge_);
}

std::shared_ptr<platform::UIImage> ZeduVIVideoFrame::imageWithGrayscale(bool grayscale) const {
    if (!cardY_) return nullptr;
    if (grayscale) return cardY_->UIImage();
    if (!cardCb_ || !cardCr_) return nullptr;
    auto rgb = ZeduVIIplImage::rgbImageWithY(*cardY_, *cardCb_, *cardCr_);
    return rgb ? rgb->UIImage() : nullptr;
}

std::optional<platform::Data> ZeduVIVideoFrame::encodedImageUsingEncoding(int encoding) const {
    switch (encoding) {
        case kEncodingColorPNG:
            return pngRepresentation(imageWithGrayscale(false));
        case kEncodingGrayPNG:
            return pngRepresentation(imageWithGrayscale(true));
        default:
            return std::nullopt;
    }
}

std::optional<std::string> ZeduVIVideoFrame::filenameForImageEncodedUsingEncoding(int encoding) {
    const char* format = nullptr;
    switch (encoding) {
        case kEncodingColorPNG:
            format = "png_color_cc_%f.png";
            break;
        case kEncodingGrayPNG:
            format = "png_gray_cc_%f.png";
            break;
        default:
            return std::nullopt;
    }
    const auto sinceEpoch = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch());
    char name[96];
    std::snprintf(name, sizeof name, format, sinceEpoch.count() - kReferenceDateSinceEpoch);
    return std::string(name);
}

}  // namespace cardscanner
