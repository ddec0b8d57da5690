#pragma once
// The frames of a video file, decoded with FFmpeg's libraries and handed out
// as 8-bit BGR pictures of their own size.
//
// A damaged file may declare one size in its header and decode frames of
// another; every decoded frame is checked (size within the pixel budget, a
// known pixel format, planes present) and converted from its own dimensions,
// never from what the header promised. A frame that fails the check ends the
// video with a log line saying why. Only plain files are read: no network or
// other FFmpeg protocol, whatever the path looks like.
//
// One thread at a time (VideoFileSource holds it under its mutex).

#include <memory>
#include <string>

namespace cv {
class Mat;
}

namespace platform {

class VideoFileDecoder {
public:
    // nullptr and a readable `error` when the file holds no video it can decode.
    static std::unique_ptr<VideoFileDecoder> open(const std::string& path, std::string* error);
    ~VideoFileDecoder();
    VideoFileDecoder(const VideoFileDecoder&) = delete;
    VideoFileDecoder& operator=(const VideoFileDecoder&) = delete;

    // The next frame; false at the end of the video or at a frame that cannot
    // be used, after which every call answers false.
    bool next(cv::Mat& bgr);

private:
    struct State;
    explicit VideoFileDecoder(std::unique_ptr<State> state);
    bool convert(cv::Mat& bgr);

    std::unique_ptr<State> state_;
};

}  // namespace platform
