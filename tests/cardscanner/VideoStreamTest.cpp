// The capture stream on the manual clock: which frames are analysed, when the
// camera is refocused and the torch switched, how the session is set up and
// torn down, the orientation frames are analysed in, and whole scans.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <opencv2/videoio.hpp>
#include <set>

#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/analysis/ZeduVIReadCardInfo.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/capture/ZeduVIVideoStream.h"
#include "platform/capture/VideoFileSource.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ApplicationNotifications.h"
#include "platform/ui/Device.h"
#include "sim/FilmedCardSource.h"

namespace cardscanner {
namespace {

using namespace platform;
namespace cf = camera_frames;

// A grey scene, or another camera with its torch taken away.
class TestSource : public FrameSource {
public:
    TestSource(bool torch, bool focusControl, std::shared_ptr<FrameSource> inner = nullptr)
        : torch_(torch), focusControl_(focusControl), inner_(std::move(inner)) {}
    bool render(int index, double time, const Exposure& exposure, PixelBuffer& into) override {
        if (inner_) return inner_->render(index, time, exposure, into);
        for (std::size_t plane : {0, 1}) std::ranges::fill(into.planeData(plane), std::uint8_t{128});
        return true;
    }
    bool hasTorch() const override { return torch_; }
    bool hasFocusControl() const override { return focusControl_; }
    float sceneLight(int index) const override { return inner_ ? inner_->sceneLight(index) : 1.0f; }

private:
    bool torch_, focusControl_;
    std::shared_ptr<FrameSource> inner_;
};

class Recorder : public ZeduVIVideoStreamDelegate {
public:
    void videoStreamDidProcessFrame(ZeduVIVideoStream&, std::shared_ptr<ZeduVIVideoFrame> frame) override {
        frames.push_back(std::move(frame));
    }
    bool respondsToOverlayOrientationQueries() const override { return !supported.empty(); }
    bool isSupportedOverlayOrientation(long orientation) override { return supported.count(orientation) > 0; }
    long defaultSupportedOverlayOrientation() override { return fallback; }
    void videoStreamDidChangeDetectionMode(ZeduVIVideoStream&, ZeduVIDetectionMode mode) override {
        modes.push_back(mode);
    }

    std::vector<std::shared_ptr<ZeduVIVideoFrame>> frames;
    std::vector<ZeduVIDetectionMode> modes;
    std::set<long> supported;
    long fallback = 0;
};

// One luma level; the ISO in its EXIF data unless it is 0.
CMSampleBuffer greyBuffer(std::uint8_t luma, long iso) {
    auto pixels = PixelBuffer::create();
    std::ranges::fill(pixels->planeData(0), luma);
    std::ranges::fill(pixels->planeData(1), std::uint8_t{128});
    if (iso == 0) return CMSampleBuffer(pixels, 0);
    Dictionary exif{{kCGImagePropertyExifISOSpeedRatings, Array{Value(iso)}},
                    {kCGImagePropertyExifShutterSpeedValue, 6.9}};
    return CMSampleBuffer(pixels, 0, Dictionary{{kCGImagePropertyExifDictionary, Value(exif)}});
}

constexpr std::uint8_t kDark = 50, kMiddle = 150, kBright = 230;

class VideoStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
        useCamera(std::make_shared<TestSource>(true, false));
    }
    void TearDown() override {
        stream.reset();
        setCameraFrameSource(nullptr);
    }
    void useCamera(std::shared_ptr<FrameSource> source) {
        setCameraFrameSource(std::move(source));
        stream = ZeduVIVideoStream::createWithFilterFactory({});
        stream->setConfig(config);
        stream->setDelegate(recorder);
        stream->captureSession()->setPacedDelivery(false);
    }
    // As the camera would: on the session's capture queue (a queue of the same
    // label while stopped), waited for.
    void deliver(CMSampleBuffer buffer) {
        std::shared_ptr<SerialQueue> queue = stream->captureQueue();
        if (!queue) queue = std::make_shared<SerialQueue>("cardscanner.capture");
        std::promise<void> delivered;
        queue->async([&] {
            try {
                stream->captureOutputDidOutputSampleBuffer(output, &buffer, nullptr);
                delivered.set_value();
            } catch (...) {
                delivered.set_exception(std::current_exception());
            }
        });
        delivered.get_future().get();
    }
    void deliverAt(double seconds, std::uint8_t luma, long iso) {
        clock->set(kStart + seconds);
        deliver(greyBuffer(luma, iso));
    }
    bool torchOn() const { return stream->camera()->torchMode() == AVCaptureTorchModeOn; }
    AVCaptureFocusMode focusMode() const { return stream->camera()->focusMode(); }

    static constexpr double kStart = 1.0e9;
    ScopedManualClock clock{kStart};
    std::shared_ptr<ZeduVIContext> config = std::make_shared<ZeduVIContext>();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<ZeduVIVideoStream> stream;
    AVCaptureVideoDataOutput output;
};

TEST_F(VideoStreamTest, FramesReachTheDelegateOnlyWhileRunning) {
    deliver(greyBuffer(kDark, 0));
    RunLoop::main().drain();
    EXPECT_TRUE(recorder->frames.empty());

    stream->startSession();
    deliver(greyBuffer(kDark, 0));
    EXPECT_TRUE(recorder->frames.empty()) << "handed over on a later turn of the main run loop";
    RunLoop::main().drain();
    ASSERT_EQ(recorder->frames.size(), 1u);
    EXPECT_EQ(recorder->frames[0]->buffer(), nullptr) << "the camera's buffer stays behind";
    EXPECT_EQ(recorder->frames[0]->isoSpeed(), ZeduVIVideoStream::kMissingISOSpeed) << "no EXIF data";

    deliver(greyBuffer(kDark, 0));  // handed over after the stop: dropped
    stream->stopSession();
    RunLoop::main().drain();
    EXPECT_EQ(recorder->frames.size(), 1u);
}

TEST_F(VideoStreamTest, WhileFocusAdjustsFramesGoOutUnanalysedAndSteerNothing) {
    useCamera(std::make_shared<TestSource>(true, true));
    stream->startSession();
    stream->observeValueForKeyPath("adjustingFocus", true);
    const AVCaptureFocusMode focus = focusMode();
    for (double t : {0.0, 1.2, 2.4, 3.6}) deliverAt(t, kDark, 800);
    RunLoop::main().drain();
    ASSERT_EQ(recorder->frames.size(), 4u);
    for (const auto& frame : recorder->frames) EXPECT_EQ(frame->focusScore(), 0.0f);
    EXPECT_EQ(focusMode(), focus);
    EXPECT_FALSE(torchOn());
}

TEST_F(VideoStreamTest, BlurredFramesRefocusAtMostEveryTwoSeconds) {
    useCamera(std::make_shared<TestSource>(false, true));
    stream->startSession();
    auto continuousAgain = [&] {  // 0.1 s later, on the main run loop
        return RunLoop::main().runUntil([&] { return focusMode() == AVCaptureFocusModeContinuousAutoFocus; }, 0.5);
    };
    deliverAt(0, kMiddle, 100);  // grey: no focus at all
    EXPECT_EQ(focusMode(), AVCaptureFocusModeAutoFocus);
    EXPECT_TRUE(continuousAgain());
    EXPECT_GE(clock->now(), kStart + 0.1);

    stream->observeValueForKeyPath("adjustingFocus", false);  // the lens settled
    deliverAt(2.0, kMiddle, 100);
    EXPECT_EQ(focusMode(), AVCaptureFocusModeContinuousAutoFocus) << "2.0 s is not more than 2.0 s";
    deliverAt(2.01, kMiddle, 100);
    EXPECT_EQ(focusMode(), AVCaptureFocusModeAutoFocus);
    EXPECT_TRUE(continuousAgain());
}

TEST_F(VideoStreamTest, TheTorchFollowsAWishHeldForMoreThanASecond) {
    stream->startSession();
    for (double t : {0.0, 0.6, 1.2, 1.8}) deliverAt(t, kDark, 250);
    EXPECT_FALSE(torchOn()) << "no wish at ISO 250";

    deliverAt(3.0, kDark, 251);  // the first wish is never acted on at once
    deliverAt(3.6, kMiddle, 251);  // no wish: the hold starts again
    deliverAt(4.2, kDark, 251);
    deliverAt(5.2, kDark, 251);
    EXPECT_FALSE(torchOn()) << "held for exactly one second";
    deliverAt(5.21, kDark, 251);
    EXPECT_TRUE(torchOn());
    EXPECT_FLOAT_EQ(stream->camera()->torchLevel(), ZeduVIVideoStream::kTorchLevel);

    deliverAt(6.0, kBright, 50);
    deliverAt(7.01, kBright, 50);
    EXPECT_FALSE(torchOn()) << "bright with the torch on";

    ASSERT_TRUE(stream->setTorchModeOnWithLevel(0.5f));
    deliverAt(8.0, kMiddle, 250);
    deliverAt(9.5, kMiddle, 250);
    EXPECT_TRUE(torchOn()) << "middle brightness at 250: no wish";
    deliverAt(10.0, kMiddle, 249);
    deliverAt(11.1, kMiddle, 249);
    EXPECT_FALSE(torchOn());
}

TEST_F(VideoStreamTest, AWishIsActedOnOnceEvenWhenTheCameraRefuses) {
    stream->startSession();
    deliverAt(0, kDark, 400);
    stream->camera()->setRefusesConfigurationLock(true);
    deliverAt(1.1, kDark, 400);
    stream->camera()->setRefusesConfigurationLock(false);
    deliverAt(1.2, kDark, 400);
    deliverAt(2.1, kDark, 400);
    EXPECT_FALSE(torchOn()) << "a spent wish starts a new hold";
    deliverAt(2.3, kDark, 400);
    EXPECT_TRUE(torchOn());
}

TEST_F(VideoStreamTest, AnAutomaticScanTurnsToTheCardImageOnThe101stCountedFrame) {
    UIDevice::currentDevice().setOrientation(UIDeviceOrientationLandscapeLeft);  // frames upright
    stream->willAppear();
    config->setDetectionMode(ZeduVIDetectionModeAuto);
    ScannerState state = stream->scanner()->scannerState();
    state.session_analytics.num_frames_scanned = 99;
    stream->scanner()->setScannerState(state);
    stream->startSession();

    const cf::CameraSequence sequence(card_renderer::style_preset("heldout"), 7100001, {6, 2025});
    int cardFrames = 0;
    for (int i = 0; i < 40 && stream->detectionMode() == ZeduVIDetectionModeAuto; ++i) {
        auto pixels = PixelBuffer::create();
        sequence.frame(i).copy_planes(pixels->planeData(0).data(), pixels->bytesPerRowOfPlane(0),
                                      pixels->planeData(1).data(), pixels->bytesPerRowOfPlane(1));
        deliver(CMSampleBuffer(pixels, 0));
        RunLoop::main().drain();
        const auto& frame = recorder->frames.back();
        if (!frame->cardY()) continue;
        ++cardFrames;
        const bool switched = stream->detectionMode() == ZeduVIDetectionModeImage;
        EXPECT_EQ(switched, stream->scanner()->scanSessionAnalytics()->num_frames_scanned > 100) << "frame " << i;
        if (switched) {
            EXPECT_EQ(frame->detectionMode(), ZeduVIDetectionModeImage);
            EXPECT_TRUE(frame->cardCb() && frame->cardCr()) << "analysed again as a card image";
        }
    }
    // Reported up, once; the context takes the mode from the scan view when
    // the camera screen hears the scan's end (CameraScreenTest).
    EXPECT_EQ(recorder->modes, std::vector<ZeduVIDetectionMode>{ZeduVIDetectionModeImage}) << "reported once";
    EXPECT_GE(cardFrames, 2);
}

TEST_F(VideoStreamTest, StartAndStopSetUpAndTearDownTheSessionOnce) {
    stream->startSession();
    ASSERT_TRUE(stream->running());
    const auto queue = stream->captureQueue();
    const auto session = stream->captureSession();
    EXPECT_TRUE(session->isRunning());
    EXPECT_EQ(session->sessionPreset(), AVCaptureSessionPreset640x480);
    ASSERT_EQ(session->inputs().size(), 1u);
    ASSERT_EQ(session->outputs().size(), 1u);
    const auto out = session->outputs()[0];
    EXPECT_EQ(out->sampleBufferDelegate().lock().get(), stream.get());
    EXPECT_EQ(out->sampleBufferCallbackQueue(), queue);
    EXPECT_TRUE(out->alwaysDiscardsLateVideoFrames());
    EXPECT_EQ(out->videoSettings()[kCVPixelBufferPixelFormatTypeKey].stringValue(), "420v");
    stream->startSession();
    EXPECT_EQ(stream->captureQueue(), queue) << "a second start does nothing";
    EXPECT_TRUE(session->deliverFrameNow());

    // A configuration in progress on the capture queue holds the stop back.
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    queue->async([&] {
        stream->changeCameraConfiguration([&] {
            entered.set_value();
            released.wait();
        });
    });
    entered.get_future().wait();
    auto stopped = std::async(std::launch::async, [&] { stream->stopSession(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    release.set_value();
    stopped.get();
    EXPECT_FALSE(stream->running() || session->isRunning());
    EXPECT_TRUE(session->inputs().empty() && session->outputs().empty());
    EXPECT_TRUE(out->sampleBufferDelegate().expired());
    EXPECT_EQ(stream->captureQueue(), nullptr);

    // An old camera keeps its pixel format; a focusing one is steered to the near centre.
    useCamera(std::make_shared<TestSource>(true, true));
    UIDevice::currentDevice().setMachine("iPhone2,1");
    stream->startSession();
    EXPECT_TRUE(stream->captureSession()->outputs()[0]->videoSettings().isNil());
    EXPECT_EQ(stream->camera()->autoFocusRangeRestriction(), AVCaptureAutoFocusRangeRestrictionNear);
    EXPECT_EQ(stream->camera()->focusPointOfInterest().x, 0.5);
    stream->stopSession();
    EXPECT_EQ(stream->camera()->autoFocusRangeRestriction(), AVCaptureAutoFocusRangeRestrictionNone);
}

TEST_F(VideoStreamTest, NoCameraNoAccessOrARefusedLock) {
    setCameraAuthorizationStatus(AVAuthorizationStatusDenied);
    stream->startSession();
    setCameraAuthorizationStatus(AVAuthorizationStatusAuthorized);
    EXPECT_FALSE(stream->running());

    stream->camera()->setRefusesConfigurationLock(true);
    bool ran = false;
    EXPECT_FALSE(stream->changeCameraConfiguration([&] { ran = true; }));
    EXPECT_FALSE(ran);
    stream->startSession();
    EXPECT_TRUE(stream->running()) << "carries on without the configuration";

    useCamera(nullptr);
    stream->startSession();
    EXPECT_FALSE(stream->running() || stream->hasTorch());
}

TEST_F(VideoStreamTest, ResigningActiveStopsAndBecomingActiveRestartsWhatRan) {
    NotificationCenter& center = NotificationCenter::defaultCenter();
    stream->willAppear();
    stream->willAppear();  // observes once all the same
    stream->startSession();
    center.post(UIApplicationWillResignActiveNotification);
    EXPECT_FALSE(stream->running());
    center.post(UIApplicationDidBecomeActiveNotification);
    EXPECT_TRUE(stream->running());

    stream->stopSession();
    center.post(UIApplicationWillResignActiveNotification);
    center.post(UIApplicationDidBecomeActiveNotification);
    EXPECT_FALSE(stream->running());

    stream->willDisappear();
    stream->startSession();
    center.post(UIApplicationWillResignActiveNotification);
    EXPECT_TRUE(stream->running()) << "no longer observed";
    EXPECT_FALSE(UIDevice::currentDevice().isGeneratingDeviceOrientationNotifications());
}

TEST_F(VideoStreamTest, StopOrTheLastReferenceOnTheCaptureQueueDoesNotDeadlock) {
    stream->startSession();
    std::promise<void> stopped;
    stream->captureQueue()->async([&] {
        stream->stopSession();
        stopped.set_value();
    });
    ASSERT_EQ(stopped.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(stream->running());

    stream->startSession();
    std::promise<void> gone;
    stream->captureQueue()->async([&gone, last = std::exchange(stream, nullptr)]() mutable {
        last.reset();
        gone.set_value();
    });
    ASSERT_EQ(gone.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

TEST_F(VideoStreamTest, TheOrientationFollowsTheDeviceOrFallsBack) {
    UIDevice& device = UIDevice::currentDevice();
    device.setOrientation(UIDeviceOrientationFaceUp);
    stream->didReceiveDeviceOrientationNotification(nullptr);
    EXPECT_EQ(stream->interfaceOrientation(), 1) << "lying flat, nothing known: portrait";

    useCamera(std::make_shared<TestSource>(true, false));
    stream->setInitialInterfaceOrientationProvider([] { return 4L; });
    stream->willAppear();
    EXPECT_EQ(stream->interfaceOrientation(), 4) << "the screen's initial orientation";
    device.setOrientation(UIDeviceOrientationPortraitUpsideDown);
    device.setOrientation(UIDeviceOrientationFaceDown);
    EXPECT_EQ(stream->interfaceOrientation(), 2) << "flat again: the last one stays";

    recorder->supported = {3};
    recorder->fallback = 3;
    device.setOrientation(UIDeviceOrientationPortrait);
    EXPECT_EQ(stream->interfaceOrientation(), 3) << "neither 1 nor 2 supported: the default";
    recorder->supported = {3, 4};
    device.setOrientation(UIDeviceOrientationPortraitUpsideDown);
    EXPECT_EQ(stream->interfaceOrientation(), 3) << "unsupported: the current one stays";

    useCamera(std::make_shared<TestSource>(true, false));
    recorder->supported = {0};
    recorder->fallback = 0;
    device.setOrientation(UIDeviceOrientationPortrait);
    stream->didReceiveDeviceOrientationNotification(nullptr);
    EXPECT_EQ(stream->interfaceOrientation(), 1) << "\"none yet\" is never kept";
}

class FilmedScanTest : public VideoStreamTest {
protected:
    // Films at 30 frames per second of the manual clock until the number is
    // read: the frames it took, or -1 when `limit` was not enough.
    int scan(std::shared_ptr<FrameSource> source, int limit, std::string* number = nullptr) {
        useCamera(std::move(source));
        recorder->frames.clear();
        UIDevice::currentDevice().setOrientation(UIDeviceOrientationLandscapeLeft);  // frames upright
        stream->willAppear();
        stream->startSession();
        for (int i = 1; i <= limit && stream->captureSession()->deliverFrameNow(); ++i) {
            clock->advance(1.0 / 30);
            RunLoop::main().drain();
            if (!recorder->frames.empty() && recorder->frames.back()->cardInfo()) {
                if (number) *number = recorder->frames.back()->cardInfo()->number();
                return i;
            }
        }
        return -1;
    }
    cf::FilmedCardSource::Options card{.seed = 3, .style = "a", .dark = false, .today = {0, 0}};
};

TEST_F(FilmedScanTest, ADarkCardIsReadOnlyBecauseTheTorchCameOn) {
    card.dark = true;
    auto source = std::make_shared<cf::FilmedCardSource>(card);
    std::string number;
    const int frames = scan(source, 240, &number);
    ASSERT_GT(frames, 0) << "not read with the torch";
    EXPECT_TRUE(torchOn());
    EXPECT_EQ(number, source->cardNumber());
    auto torchless = std::make_shared<TestSource>(false, true, std::make_shared<cf::FilmedCardSource>(card));
    EXPECT_EQ(scan(torchless, frames), -1);
}

TEST_F(FilmedScanTest, ACardFilmedToAVideoFileIsReadFromIt) {
    const cf::FilmedCardSource source(card);
    const auto path = std::filesystem::temp_directory_path() / ("stream_test_" + std::to_string(::getpid()) + ".avi");
    {
        cv::VideoWriter writer(path.string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0, cv::Size(640, 480));
        ASSERT_TRUE(writer.isOpened());
        for (int i = 0; i < 90; ++i) writer.write(source.frame(i, FrameSource::Exposure{}).to_bgr());
    }
    std::string error, number;
    auto file = VideoFileSource::openFile(path.string(), &error);
    std::filesystem::remove(path);
    ASSERT_TRUE(file) << error;
    EXPECT_GT(scan(file, 90, &number), 0);
    EXPECT_EQ(number, source.cardNumber());
}

}  // namespace
}  // namespace cardscanner
