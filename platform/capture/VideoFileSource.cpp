#include "platform/capture/VideoFileSource.h"

#include <cairo.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "platform/capture/VideoFileDecoder.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/Image.h"

namespace platform {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Along one axis of a picture: the source pixels [from, to) that are scaled,
// and where the kept window starts once they are.
struct AxisCut {
    int from, to, window;
};

// `length` source pixels that scale to `scaled` (at least `kept`), of which
// the middle `kept` are kept. An axis that scales to a few windows' length is
// scaled whole, as it always was. A longer one (a strip, a panorama) has only
// the part the window needs cut out first, with a margin for the filters'
// reach, so that what is scaled stays within a few frames whatever the
// picture's shape. That part starts, among the few starts the margin allows,
// where a source pixel lands on a whole scaled pixel (or nearest to one), so
// that it scales as it would have whole.
AxisCut keptPart(int length, long long scaled, int kept) {
    const long long first = (scaled - kept) / 2;
    if (scaled <= 4LL * kept) return {0, length, static_cast<int>(first)};
    const double perScaled = static_cast<double>(length) / scaled;
    const int margin = 2 + static_cast<int>(std::ceil(perScaled));
    const int needed = std::max(0, static_cast<int>(std::floor(first * perScaled)) - margin);
    const int to = std::min(length, static_cast<int>(std::ceil((first + kept) * perScaled)) + margin);
    const auto offWhole = [&](long long from) {
        const long long rest = from * scaled % length;
        return std::min(rest, length - rest);
    };
    int from = needed;
    for (int start = needed; start >= std::max(0, needed - 64) && offWhole(from) != 0; --start) {
        if (offWhole(start) < offWhole(from)) from = start;
    }
    return {from, to, static_cast<int>(first - std::llround(from * static_cast<double>(scaled) / length))};
}

// Scaled to cover 640 x 480 and centre-cropped, so the picture keeps its shape.
cv::Mat coverFrame(const cv::Mat& image) {
    const double scale = std::max(static_cast<double>(kWidth) / image.cols, static_cast<double>(kHeight) / image.rows);
    const long long width = std::max<long long>(kWidth, std::llround(image.cols * scale));
    const long long height = std::max<long long>(kHeight, std::llround(image.rows * scale));
    const AxisCut x = keptPart(image.cols, width, kWidth), y = keptPart(image.rows, height, kHeight);
    // The whole picture's factors, so that a part scales as it would have whole.
    cv::Mat scaled;
    cv::resize(image(cv::Range(y.from, y.to), cv::Range(x.from, x.to)), scaled, cv::Size(),
               static_cast<double>(width) / image.cols, static_cast<double>(height) / image.rows,
               scale < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
    return scaled(cv::Rect(x.window, y.window, kWidth, kHeight)).clone();
}

}  // namespace

// A frame as the camera's planes hold it: full-size Y, Cr and Cb, and their half-size average.
struct VideoFileSource::Planes {
    cv::Mat ycrcb, half;

    explicit Planes(const cv::Mat& frame) {
        cv::Mat bgr;
        if (frame.channels() == 1)
            cv::cvtColor(frame, bgr, cv::COLOR_GRAY2BGR);
        else if (frame.channels() == 4)
            cv::cvtColor(frame, bgr, cv::COLOR_BGRA2BGR);
        else
            bgr = frame;
        if (bgr.depth() != CV_8U) bgr.convertTo(bgr, CV_8U);
        // COLOR_BGR2YCrCb is full-range BT.601, the inverse of the core's ycbcr_to_rgb.
        cv::cvtColor(coverFrame(bgr), ycrcb, cv::COLOR_BGR2YCrCb);
        cv::resize(ycrcb, half, cv::Size(kWidth / 2, kHeight / 2), 0, 0, cv::INTER_AREA);
    }

    bool copyInto(PixelBuffer& into) const {
        if (into.widthOfPlane(0) != kWidth || into.heightOfPlane(0) != kHeight) return false;
        auto luma = into.planeData(0);
        auto chroma = into.planeData(1);
        const std::size_t lumaStride = into.bytesPerRowOfPlane(0);
        const std::size_t chromaStride = into.bytesPerRowOfPlane(1);
        for (int row = 0; row < kHeight; ++row) {
            const auto* in = ycrcb.ptr<cv::Vec3b>(row);
            std::uint8_t* out = luma.data() + row * lumaStride;
            for (int x = 0; x < kWidth; ++x) out[x] = in[x][0];
        }
        for (int row = 0; row < kHeight / 2; ++row) {
            const auto* in = half.ptr<cv::Vec3b>(row);
            std::uint8_t* out = chroma.data() + row * chromaStride;
            for (int x = 0; x < kWidth / 2; ++x) {
                out[2 * x] = in[x][2];      // Cb
                out[2 * x + 1] = in[x][1];  // Cr
            }
        }
        return true;
    }
};


std::shared_ptr<VideoFileSource> VideoFileSource::openFile(const std::string& path, std::string* error) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored)) {
        if (error) *error = "no video file at " + path;
        return nullptr;
    }
    auto decoder = VideoFileDecoder::open(path, error);
    if (!decoder) return nullptr;
    return std::make_shared<VideoFileSource>(std::move(decoder));
}

std::shared_ptr<VideoFileSource> VideoFileSource::openImage(const std::string& path, std::string* error) {
    // The image loader refuses other formats and oversized pictures before decoding them.
    std::string why;
    const auto image = UIImage::imageWithContentsOfFile(path, &why);
    cairo_surface_t* surface = image ? image->surface() : nullptr;
    if (!surface || cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
        if (error) *error = why.empty() ? "no PNG or JPEG image that can be read at " + path : why;
        return nullptr;
    }
    cairo_surface_flush(surface);
    // Premultiplied ARGB words are B, G, R, A bytes in memory: what shows through
    // a transparent picture is black, as on the screenshots.
    const cv::Mat pixels(image->pixelHeight(), image->pixelWidth(), CV_8UC4, cairo_image_surface_get_data(surface),
                         static_cast<std::size_t>(cairo_image_surface_get_stride(surface)));
    return std::make_shared<VideoFileSource>(pixels);
}

std::shared_ptr<VideoFileSource> VideoFileSource::openCamera(const std::string& indexOrPath, std::string* error) {
    auto capture = std::make_unique<cv::VideoCapture>();
    const bool isIndex = !indexOrPath.empty() && indexOrPath.size() < 4 &&
                         std::all_of(indexOrPath.begin(), indexOrPath.end(), [](char c) { return c >= '0' && c <= '9'; });
    try {
        if (isIndex)
            capture->open(std::stoi(indexOrPath), cv::CAP_V4L2);
        else
            capture->open(indexOrPath, cv::CAP_V4L2);
        if (capture->isOpened()) {
            capture->set(cv::CAP_PROP_FRAME_WIDTH, kWidth);
            capture->set(cv::CAP_PROP_FRAME_HEIGHT, kHeight);
        }
    } catch (const cv::Exception& e) {
        if (error) *error = "cannot open the camera " + indexOrPath + ": " + e.what();
        return nullptr;
    }
    if (!capture->isOpened()) {
        if (error) *error = "cannot open the camera " + indexOrPath;
        return nullptr;
    }
    return std::make_shared<VideoFileSource>(std::move(capture));
}

VideoFileSource::VideoFileSource(std::unique_ptr<cv::VideoCapture> capture) : capture_(std::move(capture)) {}

VideoFileSource::VideoFileSource(std::unique_ptr<VideoFileDecoder> decoder) : decoder_(std::move(decoder)) {}

VideoFileSource::VideoFileSource(const cv::Mat& still) : still_(std::make_unique<Planes>(still)) {}

VideoFileSource::~VideoFileSource() = default;

bool VideoFileSource::render(int, double, const Exposure&, PixelBuffer& into) {
    std::lock_guard lock(mutex_);
    if (still_) return still_->copyInto(into);
    auto fill = [&into](const cv::Mat& frame) { return !frame.empty() && Planes(frame).copyInto(into); };
    cv::Mat frame;
    try {
        if (decoder_) return decoder_->next(frame) && fill(frame);
        if (!capture_ || !capture_->read(frame)) return false;
    } catch (const cv::Exception&) {
        return false;
    }
    const bool usable = frame.dims == 2 && frame.rows > 0 && frame.cols > 0 &&
                        (frame.channels() == 1 || frame.channels() == 3 || frame.channels() == 4) &&
                        (frame.depth() == CV_8U || frame.depth() == CV_16U);
    if (!usable) {
        logf("camera: a %d x %d frame of type %d cannot be used; the camera stops", frame.cols, frame.rows,
             frame.type());
        capture_.reset();
        return false;
    }
    return fill(frame);
}

}  // namespace platform
