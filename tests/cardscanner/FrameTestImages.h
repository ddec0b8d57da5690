#pragma once
// Synthetic camera frames for the frame-analysis tests: a bright card on a
// dark table, drawn into the Y and CbCr planes of a PixelBuffer exactly on
// the guide of an orientation, optionally with a fake number stripe of
// printed digits (the texture that makes the frame sharp): dark on the
// card, light on the table when there is no card.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

#include "platform/capture/PixelBuffer.h"

namespace cardscanner::testing {

using platform::PixelBuffer;

struct FrameDrawing {
    bool card = true;
    // Landscape: the card lies on the orientation-3/4 guide; otherwise on the
    // portrait guide.
    bool landscape = true;
    bool numberStripe = true;
    // Moves the card's left side out of its search strip.
    int leftSideShift = 0;
    unsigned char table = 30;
    unsigned char cardLuma = 200;
    unsigned char cardCb = 90;
    unsigned char cardCr = 170;
};

// The card's corners in Y-plane pixels on the guide of each orientation.
inline cv::Rect cardRect(const FrameDrawing& drawing) {
    const cv::Rect rect = drawing.landscape ? cv::Rect(cv::Point(106, 105), cv::Point(534, 375))
                                            : cv::Rect(cv::Point(185, 26), cv::Point(455, 454));
    return cv::Rect(rect.x + drawing.leftSideShift, rect.y, rect.width - drawing.leftSideShift, rect.height);
}

inline cv::Mat planeMat(PixelBuffer& buffer, std::size_t plane) {
    const int type = plane == 0 ? CV_8UC1 : CV_8UC2;
    return cv::Mat(static_cast<int>(buffer.heightOfPlane(plane)), static_cast<int>(buffer.widthOfPlane(plane)), type,
                   buffer.planeData(plane).data(), buffer.bytesPerRowOfPlane(plane));
}

inline std::shared_ptr<PixelBuffer> drawFrame(const FrameDrawing& drawing, std::size_t rowPadding = 0) {
    auto buffer = PixelBuffer::create(640, 480, rowPadding);
    cv::Mat y = planeMat(*buffer, 0);
    cv::Mat cbcr = planeMat(*buffer, 1);
    y.setTo(drawing.table);
    cbcr.setTo(cv::Scalar(128, 128));
    if (drawing.card) {
        const cv::Rect rect = cardRect(drawing);
        y(rect).setTo(drawing.cardLuma);
        const cv::Rect half(rect.x / 2, rect.y / 2, rect.width / 2, rect.height / 2);
        cbcr(half).setTo(cv::Scalar(drawing.cardCb, drawing.cardCr));
    }
    if (drawing.numberStripe) {
        // Digits across the middle of the frame, through the focus window.
        const cv::Point origin = drawing.landscape ? cv::Point(140, 262) : cv::Point(200, 250);
        cv::putText(y, drawing.landscape ? "4111 1111 1111 1111" : "4111 1111", origin, cv::FONT_HERSHEY_SIMPLEX, 1.2,
                    cv::Scalar(drawing.card ? 20 : 230), 3, cv::LINE_8);
    }
    return buffer;
}

}  // namespace cardscanner::testing
