#pragma once
// A camera that films what a video file (decoded by VideoFileDecoder), a
// still image (a PNG or JPEG, decoded once and filmed for as long as the
// session runs) or a V4L2 camera (through OpenCV's video I/O) shows: each
// frame scaled to cover 640 x 480, centre-cropped (of a strip, only the part
// kept is scaled) and converted to the two-plane 4:2:0 format (full-range
// BT.601). It has no torch and no focus control, so the device offers
// neither; its frames are what they are, whatever the optics.
//
// render() is called by one capture session at a time (see FrameSource.h);
// the capture itself is guarded by a mutex, so a stray second caller waits.

#include <memory>
#include <mutex>
#include <string>

#include "platform/capture/FrameSource.h"

namespace cv {
class Mat;
class VideoCapture;
}

namespace platform {

class VideoFileDecoder;

class VideoFileSource final : public FrameSource {
public:
    // A file path; nullptr and a readable `error` when it cannot be opened.
    static std::shared_ptr<VideoFileSource> openFile(const std::string& path, std::string* error);
    // A PNG or JPEG within the images' pixel budget; nullptr and `error` when
    // it cannot be read, saying why (no file, another format, which limit).
    static std::shared_ptr<VideoFileSource> openImage(const std::string& path, std::string* error);
    // "0", "2" or "/dev/video0"; nullptr and `error` when it cannot be opened.
    static std::shared_ptr<VideoFileSource> openCamera(const std::string& indexOrPath, std::string* error);

    explicit VideoFileSource(std::unique_ptr<cv::VideoCapture> capture);
    explicit VideoFileSource(std::unique_ptr<VideoFileDecoder> decoder);
    // A still picture, 8-bit with 1, 3 or 4 channels (BGR or BGRA order).
    explicit VideoFileSource(const cv::Mat& still);
    ~VideoFileSource() override;

    // Reads the next frame, whatever the index: false at the end of the file
    // or when the camera stops answering; a still never ends.
    bool render(int frameIndex, double time, const Exposure& exposure, PixelBuffer& into) override;
    bool hasTorch() const override { return false; }
    bool hasFocusControl() const override { return false; }

private:
    std::mutex mutex_;
    std::unique_ptr<cv::VideoCapture> capture_;
    std::unique_ptr<VideoFileDecoder> decoder_;
    struct Planes;
    std::unique_ptr<Planes> still_;  // converted once: each frame only copies it
};

}  // namespace platform
