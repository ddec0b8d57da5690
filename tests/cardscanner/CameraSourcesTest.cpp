// The camera's picture sources seen through frame analysis: the filmed card
// (the simulator's default camera) answers the lens, the light and the torch
// as a scan needs, and a video file written here comes back as 640 x 480
// two-plane frames.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/analysis/ZeduVIReadCardInfo.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/core/GuideGeometry.h"
#include "cardscanner/core/Transform.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/capture/CaptureSession.h"
#include "platform/capture/PixelBuffer.h"
#include "platform/capture/VideoFileSource.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Application.h"
#include "tests/cardscanner/ClockedScanner.h"
#include "sim/FilmedCardSource.h"

namespace {

namespace cf = camera_frames;
using cardscanner::ZeduVICardScanner;
using cardscanner::ZeduVIVideoFrame;
using platform::FrameSource;
using platform::PixelBuffer;

constexpr cf::CalendarMonth kToday{6, 2025};

cf::FilmedCardSource::Options options(std::uint64_t seed, bool dark = false) {
    cf::FilmedCardSource::Options o;
    o.seed = seed;
    o.dark = dark;
    o.today = kToday;
    return o;
}

FrameSource::Exposure sharp(float iso = 50, bool torch = false, float level = 0) {
    FrameSource::Exposure e;
    e.lensDefocus = 0;
    e.iso = iso;
    e.torchOn = torch;
    e.torchLevel = level;
    return e;
}

class NullDelegate : public platform::AVCaptureVideoDataOutputSampleBufferDelegate {
    void captureOutputDidOutputSampleBuffer(platform::AVCaptureOutput&, platform::CMSampleBufferRef,
                                            platform::AVCaptureConnection*) override {}
};

struct Analysis {
    float focus = 0;
    float brightness = 0;
    std::string number;
    int frames = 0;
};

// Frames from `first` on through process() as the capture queue runs it.
Analysis analyse(FrameSource& source, const FrameSource::Exposure& exposure, int first, int count) {
    std::unique_ptr<RecoContext, void (*)(RecoContext*)> reco(reco_context_create(), reco_context_destroy);
    auto now = std::make_shared<std::uint64_t>(cardscanner::testing::kFilmedDayMilliseconds);
    auto scanner = cardscanner::testing::scannerOnClock(now);
    Analysis result;
    auto buffer = PixelBuffer::create();
    for (int index = first; index < first + count; ++index) {
        if (!source.render(index, 0, exposure, *buffer)) break;
        *now += 33;
        ZeduVIVideoFrame video(buffer.get(), cf::kOrientation);
        video.setReco(reco.get());
        video.setScanner(scanner);
        video.setCalculateBrightness(true);
        video.setTorchIsOn(exposure.torchOn);
        video.setIsoSpeed(static_cast<long>(exposure.iso));
        video.process();
        result.focus = video.focusScore();
        result.brightness = video.brightnessScore();
        ++result.frames;
        if (const auto info = video.cardInfo()) {
            result.number = info->number();
            break;
        }
    }
    return result;
}

std::filesystem::path scratchFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("camera-sources-" + std::to_string(::getpid()) + "-" + name);
}

// The exposure the device gives a frame of the installed source, torch as asked.
std::vector<FrameSource::Exposure> deviceExposures(std::shared_ptr<FrameSource> source, float torchLevel, int frames) {
    platform::setCameraFrameSource(source);
    auto device = platform::AVCaptureDevice::defaultDeviceWithMediaType(platform::AVMediaTypeVideo);
    EXPECT_TRUE(device->lockForConfiguration(nullptr));
    if (torchLevel > 0) {
        EXPECT_TRUE(device->setTorchModeOnWithLevel(torchLevel, nullptr));
    }
    device->setFocusMode(platform::AVCaptureFocusModeAutoFocus);
    device->unlockForConfiguration();
    std::vector<FrameSource::Exposure> exposures;
    for (int i = 0; i < frames; ++i) exposures.push_back(device->advanceFrame(i));
    platform::setCameraFrameSource(nullptr);
    return exposures;
}

TEST(FilmedCardSource, BringsTheCardIntoTheGuideAndHoldsIt) {
    cf::FilmedCardSource source(options(11));
    const cf::Quad guide = cf::guide_quad();
    EXPECT_GT(source.frame(0, sharp()).corners.top_left.x, cf::kFrameWidth);  // an empty table
    const cf::CameraFrame sliding = source.frame(14, sharp());
    EXPECT_GT(sliding.corners.top_left.x - guide.top_left.x, 10);
    for (int index : {21, 40, 90}) {
        const cf::CameraFrame held = source.frame(index, sharp());
        EXPECT_LT(std::hypot(held.corners.top_left.x - guide.top_left.x, held.corners.top_left.y - guide.top_left.y), 6)
            << index;
        EXPECT_FALSE(held.upside_down);
    }
    EXPECT_EQ(source.frame(30, sharp()).y, source.frame(30, sharp()).y);
    EXPECT_NE(cf::FilmedCardSource(options(12)).cardNumber(), source.cardNumber());
    EXPECT_EQ(cf::FilmedCardSource(options(11)).cardNumber(), source.cardNumber());
}

TEST(FilmedCardSource, AnOutOfFocusLensMakesTheFocusScoreSuck) {
    cf::FilmedCardSource source(options(11));
    auto blurred = sharp();
    blurred.lensDefocus = 1;
    EXPECT_LT(analyse(source, blurred, 30, 1).focus, ZeduVIVideoFrame::kFocusSucksBelow);
    EXPECT_GT(analyse(source, sharp(), 30, 1).focus, ZeduVIVideoFrame::kFocusOkAbove);
}

TEST(FilmedCardSource, ADarkCardIsReadOnlyWithTheTorchOn) {
    const cf::FilmedCardSource normal(options(11));
    auto dark = std::make_shared<cf::FilmedCardSource>(options(11, true));
    EXPECT_FLOAT_EQ(dark->sceneLight(0), cf::FilmedCardSource::kDarkLight);

    const FrameSource::Exposure unlit = deviceExposures(dark, 0, 10).back();
    EXPECT_GT(unlit.iso, 250);
    const Analysis without = analyse(*dark, unlit, 21, 45);
    EXPECT_LT(without.brightness, ZeduVIVideoFrame::kBrightnessLowBelow);
    EXPECT_EQ(without.number, "");

    const FrameSource::Exposure lit = deviceExposures(dark, 0.05f, 10).back();
    EXPECT_TRUE(lit.torchOn);
    EXPECT_EQ(analyse(*dark, lit, 21, 45).number, dark->cardNumber());
}

// Writes `frames` BGR frames as an MJPG video.
bool writeVideo(const std::filesystem::path& path, const std::vector<cv::Mat>& frames) {
    cv::VideoWriter writer(path.string(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30,
                           frames.front().size());
    if (!writer.isOpened()) return false;
    for (const cv::Mat& frame : frames) writer.write(frame);
    return true;
}

TEST(VideoFileSource, ReadsAVideoAsTwoPlaneFramesOfTheCamerasSize) {
    const auto path = scratchFile("colours.avi");
    cv::Mat frame(600, 800, CV_8UC3, cv::Scalar(40, 40, 200));  // red
    frame(cv::Rect(400, 0, 400, 600)).setTo(cv::Scalar(200, 60, 20));  // blue on the right
    ASSERT_TRUE(writeVideo(path, {frame, frame, frame}));

    std::string error;
    auto source = platform::VideoFileSource::openFile(path.string(), &error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_FALSE(source->hasTorch());
    EXPECT_FALSE(source->hasFocusControl());
    auto buffer = PixelBuffer::create(640, 480, 8);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(source->render(i, 0, sharp(), *buffer)) << i;
    EXPECT_FALSE(source->render(3, 0, sharp(), *buffer));

    // Full-range BT.601: red and blue as the core's conversion expects them.
    float y, cb, cr;
    cf::bgr_to_ycbcr(cv::Vec3f(40, 40, 200), y, cb, cr);
    const auto luma = buffer->planeData(0);
    const auto chroma = buffer->planeData(1);
    const std::size_t row = 240;
    EXPECT_NEAR(luma[row * buffer->bytesPerRowOfPlane(0) + 100], y, 6);
    const std::size_t pair = (row / 2) * buffer->bytesPerRowOfPlane(1) + 2 * 50;
    EXPECT_NEAR(chroma[pair], cb, 6);
    EXPECT_NEAR(chroma[pair + 1], cr, 6);
    cf::bgr_to_ycbcr(cv::Vec3f(200, 60, 20), y, cb, cr);
    EXPECT_NEAR(luma[row * buffer->bytesPerRowOfPlane(0) + 600], y, 6);
    EXPECT_NEAR(chroma[(row / 2) * buffer->bytesPerRowOfPlane(1) + 2 * 300], cb, 6);
    std::filesystem::remove(path);
}

TEST(VideoFileSource, AFileThatCannotBeReadFailsCleanly) {
    std::string error;
    EXPECT_EQ(platform::VideoFileSource::openFile("/nonexistent/card.avi", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/card.avi"), std::string::npos);

    const auto garbage = scratchFile("garbage.avi");
    std::FILE* file = std::fopen(garbage.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("not a video at all", file);
    std::fclose(file);
    error.clear();
    EXPECT_EQ(platform::VideoFileSource::openFile(garbage.string(), &error), nullptr);
    EXPECT_FALSE(error.empty());
    std::filesystem::remove(garbage);

    // A damaged WebM whose frames do not fit the size it opened with: the
    // source ends at the first such frame instead of reading past it.
    auto damaged = platform::VideoFileSource::openFile(
        std::string(HYBRID_SOURCE_DIR) + "/tests/data/fault-inputs/video-frame-overflow.webm", &error);
    if (damaged) {
        auto buffer = PixelBuffer::create(640, 480, 0);
        int frames = 0;
        while (frames < 100 && damaged->render(frames, 0, sharp(), *buffer)) ++frames;
        EXPECT_LT(frames, 100);
    }
}

// A still is filmed for as long as the session runs, covering the frame as a video's pictures do.
TEST(VideoFileSource, FilmsAStillImageWithoutEnd) {
    const auto path = scratchFile("still.png");
    cv::Mat still(300, 400, CV_8UC3, cv::Scalar(40, 40, 200));       // red
    still(cv::Rect(200, 0, 200, 300)).setTo(cv::Scalar(200, 60, 20));  // blue on the right
    ASSERT_TRUE(cv::imwrite(path.string(), still));

    std::string error;
    auto source = platform::VideoFileSource::openImage(path.string(), &error);
    ASSERT_NE(source, nullptr) << error;
    auto buffer = PixelBuffer::create(640, 480, 8);
    for (int i = 0; i < 90; ++i) ASSERT_TRUE(source->render(i, 0, sharp(), *buffer)) << i;
    float y, cb, cr;
    cf::bgr_to_ycbcr(cv::Vec3f(200, 60, 20), y, cb, cr);
    EXPECT_NEAR(buffer->planeData(0)[240 * buffer->bytesPerRowOfPlane(0) + 600], y, 6);
    cf::bgr_to_ycbcr(cv::Vec3f(40, 40, 200), y, cb, cr);
    EXPECT_NEAR(buffer->planeData(0)[240 * buffer->bytesPerRowOfPlane(0) + 40], y, 6);

    for (const std::string& bad : {std::string("/nonexistent/card.png"),
                                  std::string(HYBRID_SOURCE_DIR) + "/tests/data/fault-inputs/video-frame-overflow.webm",
                                  std::string(HYBRID_SOURCE_DIR) + "/tests/data/fault-inputs/jpeg-claims-32767x32767.jpg",
                                  std::string(HYBRID_SOURCE_DIR) +
                                      "/tests/data/fault-inputs/jpeg-stuffed-header-20000x20000.jpg"}) {
        error.clear();
        EXPECT_EQ(platform::VideoFileSource::openImage(bad, &error), nullptr) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
    std::filesystem::remove(path);
}

// A still (or a video's frame) was scaled whole to cover the frame before
// it was cropped: 40 GB for a 1 x 32767 strip (an uncaught cv::Exception),
// 3 GB for 4000 x 1. Only the part kept is scaled now, as the whole would
// have been: an ordinary picture's frame is the same to the pixel.
TEST(VideoFileSource, OnlyThePartOfAStillThatIsKeptIsScaled) {
    auto lumaOf = [](const cv::Mat& still) {
        platform::VideoFileSource source(still);
        auto buffer = PixelBuffer::create(640, 480, 8);
        EXPECT_TRUE(source.render(0, 0, sharp(), *buffer));
        return cv::Mat(480, 640, CV_8U, buffer->planeData(0).data(), buffer->bytesPerRowOfPlane(0)).clone();
    };
    // Dark before the middle, light from it: the frame shows the strip's middle.
    cv::Mat tall(32767, 1, CV_8UC3, cv::Scalar::all(40)), wide(1, 4000, CV_8UC3, cv::Scalar::all(40));
    tall.rowRange(16383, 32767).setTo(cv::Scalar::all(200));
    wide.colRange(2000, 4000).setTo(cv::Scalar::all(200));
    const cv::Mat fromTall = lumaOf(tall), fromWide = lumaOf(wide);
    EXPECT_NEAR(fromTall.at<std::uint8_t>(479, 320), 200, 2);
    EXPECT_LT(fromTall.at<std::uint8_t>(0, 320), 190);  // within a source pixel of the edge
    EXPECT_NEAR(fromWide.at<std::uint8_t>(240, 40), 40, 2);
    EXPECT_NEAR(fromWide.at<std::uint8_t>(240, 600), 200, 2);

    // Against the picture scaled whole and cropped: exact for ordinary
    // shapes, within rounding for a strip.
    cv::RNG random(7);
    for (const auto& [size, tolerance] : {std::pair{cv::Size(1080, 1920), 0}, {cv::Size(2000, 1500), 0},
                                          {cv::Size(300, 300), 0}, {cv::Size(50, 1500), 3}, {cv::Size(1500, 50), 3}}) {
        cv::Mat still(size, CV_8UC3);
        random.fill(still, cv::RNG::UNIFORM, 0, 256);
        cv::GaussianBlur(still, still, cv::Size(), 3);
        const double scale = std::max(640.0 / size.width, 480.0 / size.height);
        const cv::Size scaledSize(std::max(640, static_cast<int>(std::lround(size.width * scale))),
                                  std::max(480, static_cast<int>(std::lround(size.height * scale))));
        cv::Mat scaled, ycrcb, expected;
        cv::resize(still, scaled, scaledSize, 0, 0, scale < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
        cv::cvtColor(scaled(cv::Rect((scaledSize.width - 640) / 2, (scaledSize.height - 480) / 2, 640, 480)), ycrcb,
                     cv::COLOR_BGR2YCrCb);
        cv::extractChannel(ycrcb, expected, 0);
        EXPECT_LE(cv::norm(lumaOf(still), expected, cv::NORM_INF), tolerance) << size;
    }
}

TEST(VideoFileSource, AFilmedCardOnVideoIsRead) {
    const cf::FilmedCardSource filmed(options(12));
    std::vector<cv::Mat> frames;
    for (int i = 21; i < 33; ++i) frames.push_back(filmed.frame(i, sharp()).to_bgr());
    const auto path = scratchFile("card.avi");
    ASSERT_TRUE(writeVideo(path, frames));
    auto source = platform::VideoFileSource::openFile(path.string(), nullptr);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(analyse(*source, sharp(), 0, 12).number, filmed.cardNumber());
    std::filesystem::remove(path);
}

// The card's place in the camera frame, white on black.
class GuideCardSource : public FrameSource {
public:
    bool render(int, double, const Exposure&, PixelBuffer& into) override {
        const cf::Quad guide = cf::guide_quad();
        auto luma = into.planeData(0);
        for (std::size_t row = 0; row < into.heightOfPlane(0); ++row)
            for (std::size_t x = 0; x < into.widthOfPlane(0); ++x) {
                const bool card = x >= guide.top_left.x && x <= guide.top_right.x && row >= guide.top_left.y &&
                                  row <= guide.bottom_left.y;
                luma[row * into.bytesPerRowOfPlane(0) + x] = card ? 255 : 0;
            }
        return true;
    }
};

std::shared_ptr<platform::UIImage> previewShot(const std::shared_ptr<platform::AVCaptureSession>& session,
                                               platform::CGSize size) {
    auto layer = platform::AVCaptureVideoPreviewLayer::create(session);
    layer->setBounds({{0, 0}, size});
    platform::UIGraphicsBeginImageContextWithOptions(size, true, 1);
    layer->renderInContext(platform::UIGraphicsGetCurrentContext());
    auto shot = platform::UIGraphicsGetImageFromCurrentImageContext();
    platform::UIGraphicsEndImageContext();
    return shot;
}

// The guide's rectangle assumes a view of the frame's own shape (3 : 4 when
// turned); a taller view shows the card, aspect-filled, wider than its guide.
TEST(CaptureVideoPreviewLayer, ShowsTheCardInTheTallGuideOfAPortraitScreen) {
    platform::setCameraFrameSource(std::make_shared<GuideCardSource>());
    auto session = platform::AVCaptureSession::create();
    session->setPacedDelivery(false);
    auto delegate = std::make_shared<NullDelegate>();
    auto output = platform::AVCaptureVideoDataOutput::create();
    output->setSampleBufferDelegate(delegate, std::make_shared<platform::SerialQueue>("preview test"));
    session->addInput(platform::AVCaptureDeviceInput::deviceInputWithDevice(
        platform::AVCaptureDevice::defaultDeviceWithMediaType(platform::AVMediaTypeVideo), nullptr));
    session->addOutput(output);
    ASSERT_TRUE(session->deliverFrameNow());
    platform::setCameraFrameSource(nullptr);
    platform::UIApplication::sharedApplication().setStatusBarOrientation(platform::UIInterfaceOrientationPortrait);

    for (const platform::CGSize size : {platform::CGSize{320, 427}, platform::CGSize{320, 568}}) {
        SCOPED_TRACE(size.height);
        const auto shot = previewShot(session, size);
        ASSERT_NE(shot, nullptr);
        const GuideRect guide = guide_frame_for_orientation(cf::kOrientation, 320, static_cast<float>(size.height));
        ASSERT_GT(guide.height, guide.width);
        const auto lit = [&](double x, double y) {
            return shot->pixelAt(static_cast<int>(x), static_cast<int>(y))->green > 128;
        };
        const double inset = 4;
        const double middleX = guide.x + guide.width / 2, middleY = guide.y + guide.height / 2;
        EXPECT_TRUE(lit(guide.x + inset, guide.y + inset));
        EXPECT_TRUE(lit(guide.x + guide.width - inset, guide.y + guide.height - inset));
        EXPECT_FALSE(lit(middleX, guide.y - inset));
        EXPECT_FALSE(lit(middleX, guide.y + guide.height + inset));
        const bool fitsAcross = size.height < 500;  // the 3 : 4 view
        EXPECT_EQ(lit(guide.x - inset, middleY), !fitsAcross);
        EXPECT_EQ(lit(guide.x + guide.width + inset, middleY), !fitsAcross);
    }
}

}  // namespace
