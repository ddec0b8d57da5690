// How much of the camera's frame period the whole camera path takes: the
// capture session hands a filmed frame to the capture stream on its queue
// (frame analysis, warp, scan session, focus and torch steering), the frame
// goes to the main thread and the card guide takes it.
//
// The filmed card's frames are rendered before the clock starts and replayed
// by a source that only copies them, so the renderer's time is not counted.
// The scanner is reset whenever it completes, so every frame takes the full
// path. The figure is the median over 300 frames of that wall time, over the
// 33.3 ms between frames of a 30 frames-per-second camera.
//
// HYBRID_BENCH_SHORT=1: 60 frames and a short Google Benchmark run.
//
// The last lines are `capture_frame_ms: T` and `capture_budget_ratio: R`.
#include <benchmark/benchmark.h>

#include "MedianReporter.h"
#include "ShortMode.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/views/ZeduVIGuideLayer.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/capture/ZeduVIVideoStream.h"
#include "platform/capture/CaptureSession.h"
#include "platform/capture/FrameSource.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Device.h"
#include "sim/FilmedCardSource.h"

namespace {

using platform::PixelBuffer;

constexpr double kFramePeriodMs = 1000.0 / 30.0;

// Plays frames rendered beforehand, one after another, round and round.
class ReplaySource final : public platform::FrameSource {
public:
    explicit ReplaySource(std::vector<std::shared_ptr<PixelBuffer>> frames) : frames_(std::move(frames)) {}
    bool render(int frameIndex, double, const Exposure&, PixelBuffer& into) override {
        PixelBuffer& from = *frames_[static_cast<std::size_t>(frameIndex) % frames_.size()];
        for (std::size_t plane = 0; plane < PixelBuffer::kPlaneCount; ++plane) {
            auto source = from.planeData(plane);
            auto target = into.planeData(plane);
            std::memcpy(target.data(), source.data(), std::min(source.size(), target.size()));
        }
        return true;
    }

private:
    std::vector<std::shared_ptr<PixelBuffer>> frames_;
};

class GuideDelegate final : public cardscanner::ZeduVIVideoStreamDelegate,
                            public cardscanner::ZeduVIGuideLayerDelegate {
public:
    void videoStreamDidProcessFrame(cardscanner::ZeduVIVideoStream& stream,
                                    std::shared_ptr<cardscanner::ZeduVIVideoFrame> frame) override {
        guide->setVideoFrame(frame);
        ++delivered;
        if (frame->focusOk()) ++inFocus;
        if (frame->cardY()) ++warped;
        if (frame->cardInfo()) {
            ++completed;
            stream.scanner()->reset();
        }
    }
    void guideLayerDidLayout(platform::CGRect) override {}

    std::shared_ptr<cardscanner::ZeduVIGuideLayer> guide;
    int delivered = 0;
    int inFocus = 0;
    int warped = 0;
    int completed = 0;
};

struct Path {
    std::shared_ptr<GuideDelegate> delegate = std::make_shared<GuideDelegate>();
    std::shared_ptr<cardscanner::ZeduVIVideoStream> stream;

    explicit Path(int frames) {
        camera_frames::FilmedCardSource::Options options;
        options.seed = 20261207;
        camera_frames::FilmedCardSource filmed(options);
        // The card held in the guide, in focus, in normal light: the frames
        // that take the whole path.
        platform::FrameSource::Exposure sharp;
        std::vector<std::shared_ptr<PixelBuffer>> rendered;
        for (int i = 0; i < frames; ++i) {
            auto buffer = PixelBuffer::create();
            filmed.render(camera_frames::FilmedCardSource::kEmptyFrames + camera_frames::FilmedCardSource::kSlideFrames + i,
                          i / 30.0, sharp, *buffer);
            rendered.push_back(buffer);
        }
        platform::setCameraFrameSource(std::make_shared<ReplaySource>(std::move(rendered)));
        delegate->guide = cardscanner::ZeduVIGuideLayer::create(delegate);
        delegate->guide->setBounds(platform::CGRect{{0, 0}, {320, 427}});
        delegate->guide->setDeviceOrientation(3);
        stream = cardscanner::ZeduVIVideoStream::create();
        stream->setConfig(std::make_shared<cardscanner::ZeduVIContext>());
        stream->setDelegate(delegate);
        stream->captureSession()->setPacedDelivery(false);
        // Held sideways, as the filmed card asks: its frames are upright.
        platform::UIDevice::currentDevice().setOrientation(platform::UIDeviceOrientationLandscapeLeft);
        stream->willAppear();
        stream->startSession();
    }
    ~Path() {
        stream->stopSession();
        stream->willDisappear();
        platform::setCameraFrameSource(nullptr);
    }

    // One frame, from the session to the guide.
    void frame() {
        const int before = delegate->delivered;
        stream->captureSession()->deliverFrameNow();
        platform::RunLoop::main().runUntil([&] { return delegate->delivered > before; }, 5.0);
    }
};

Path* shared_path = nullptr;

void BM_CaptureFrame(benchmark::State& state) {
    for (auto _ : state) shared_path->frame();
}
BENCHMARK(BM_CaptureFrame)->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    platform::RunLoop::main().bindToCurrentThread();
    const bool short_mode = benchShortMode();
    const int frames = short_mode ? 60 : 300;
    Path path(frames);
    shared_path = &path;

    // Through the session's autofocus and the scanner's first frames before
    // measuring, as a scan that is already running.
    for (int i = 0; i < 10; ++i) path.frame();
    std::vector<double> ms;
    for (int i = 0; i < frames; ++i) {
        const auto start = std::chrono::steady_clock::now();
        path.frame();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(ms.begin(), ms.begin() + static_cast<long>(ms.size() / 2), ms.end());
    const double median = ms[ms.size() / 2];

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    shared_path = nullptr;

    std::printf("frames delivered: %d, in focus: %d, card warped: %d, scans completed: %d\n", path.delegate->delivered,
                path.delegate->inFocus, path.delegate->warped, path.delegate->completed);
    std::printf("capture_frame_ms: %.3f\n", median);
    std::printf("capture_budget_ratio: %.3f\n", median / kFramePeriodMs);
    return 0;
}
