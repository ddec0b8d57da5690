#include "platform/capture/CaptureSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>

#include <cairo.h>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/Context.h"

namespace platform {
namespace {

constexpr double kFramePeriod = 1.0 / kCameraFramesPerSecond;
constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
// How often the filming thread looks at a manual clock, in real time.
constexpr auto kManualClockPoll = std::chrono::milliseconds(2);

Dictionary exifOf(const FrameSource::Exposure& exposure) {
    Dictionary exif;
    exif[kCGImagePropertyExifISOSpeedRatings] = Array{Value(static_cast<long>(std::lround(exposure.iso)))};
    const double seconds = exposure.exposureDuration > 0 ? exposure.exposureDuration : 1.0 / 120;
    exif[kCGImagePropertyExifShutterSpeedValue] = std::log2(1.0 / seconds);
    return Dictionary{{kCGImagePropertyExifDictionary, Value(std::move(exif))}};
}

// How long the session whose frames are counted may render none before
// another session's frames count instead.
constexpr double kCountedSessionSilence = 0.5;

struct Filming {
    std::atomic<std::uint64_t> framesRendered{0};
    std::atomic<int> sessionsFilming{0};

    // Frames count from one session at a time: two sessions filming the one
    // camera must not make its time pass twice as fast. The session counted
    // keeps the count until it stops or renders nothing for a while (stalled,
    // or its delegate left busy); then the next session to render takes over.
    // The time is read here, under the lock, not taken from the frame's stamp:
    // filming threads may arrive in another order than they stamped their
    // frames, and a frame stamped before the counted session's last would look
    // like one after the clock was set back, and take the count over.
    void frameRendered(const AVCaptureSession* session) {
        std::lock_guard lock(mutex);
        const double now = clock().now();
        // A clock set back (a test's manual clock after the real one) leaves no claim standing.
        const bool claimed = now >= countedAt && now - countedAt < kCountedSessionSilence;
        if (session != counted && counted && claimed) return;
        counted = session;
        countedAt = now;
        framesRendered.fetch_add(1);
    }
    void stopped(const AVCaptureSession* session) {
        std::lock_guard lock(mutex);
        if (counted == session) counted = nullptr;
    }

    std::mutex mutex;
    const AVCaptureSession* counted = nullptr;  // compared, never followed
    double countedAt = 0;
};

// The filming threads of sessions still running at exit may reach it. Its
// counts only grow or follow the sessions: nothing to reset.
Filming& filming() {
    static NeverDestroyed<Filming> instance;
    return *instance;
}

}  // namespace

CameraFilming cameraFilming() {
    return {filming().framesRendered.load(), filming().sessionsFilming.load()};
}

void AVCaptureVideoDataOutput::setVideoSettings(Value settings) {
    std::lock_guard lock(mutex_);
    videoSettings_ = std::move(settings);
}

Value AVCaptureVideoDataOutput::videoSettings() const {
    std::lock_guard lock(mutex_);
    return videoSettings_;
}

void AVCaptureVideoDataOutput::setSampleBufferDelegate(
    std::weak_ptr<AVCaptureVideoDataOutputSampleBufferDelegate> delegate, std::shared_ptr<SerialQueue> queue) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
    queue_ = std::move(queue);
}

std::weak_ptr<AVCaptureVideoDataOutputSampleBufferDelegate> AVCaptureVideoDataOutput::sampleBufferDelegate() const {
    std::lock_guard lock(mutex_);
    return delegate_;
}

std::shared_ptr<SerialQueue> AVCaptureVideoDataOutput::sampleBufferCallbackQueue() const {
    std::lock_guard lock(mutex_);
    return queue_;
}

AVCaptureSession::~AVCaptureSession() { stopRunning(); }

void AVCaptureSession::beginConfiguration() {
    std::lock_guard lock(mutex_);
    ++configurationDepth_;
}

void AVCaptureSession::commitConfiguration() {
    std::lock_guard lock(mutex_);
    if (configurationDepth_ > 0) --configurationDepth_;
}

std::string AVCaptureSession::sessionPreset() const {
    std::lock_guard lock(mutex_);
    return preset_;
}

void AVCaptureSession::setSessionPreset(const std::string& preset) {
    if (preset != AVCaptureSessionPreset640x480 && preset != AVCaptureSessionPresetHigh) {
        logf("capture session: unknown preset %s ignored", preset.c_str());
        return;
    }
    std::lock_guard lock(mutex_);
    preset_ = preset;
}

bool AVCaptureSession::canAddInput(const std::shared_ptr<AVCaptureDeviceInput>& input) const {
    std::lock_guard lock(mutex_);
    return input && input->device() && inputs_.empty();
}

void AVCaptureSession::addInput(std::shared_ptr<AVCaptureDeviceInput> input) {
    if (!canAddInput(input)) {
        log("capture session: input refused");
        return;
    }
    std::lock_guard lock(mutex_);
    inputs_.push_back(std::move(input));
}

void AVCaptureSession::removeInput(const std::shared_ptr<AVCaptureDeviceInput>& input) {
    std::lock_guard lock(mutex_);
    std::erase(inputs_, input);
}

std::vector<std::shared_ptr<AVCaptureDeviceInput>> AVCaptureSession::inputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

bool AVCaptureSession::canAddOutput(const std::shared_ptr<AVCaptureVideoDataOutput>& output) const {
    std::lock_guard lock(mutex_);
    return output && std::find(outputs_.begin(), outputs_.end(), output) == outputs_.end();
}

void AVCaptureSession::addOutput(std::shared_ptr<AVCaptureVideoDataOutput> output) {
    if (!canAddOutput(output)) {
        log("capture session: output refused");
        return;
    }
    std::lock_guard lock(mutex_);
    outputs_.push_back(std::move(output));
}

void AVCaptureSession::removeOutput(const std::shared_ptr<AVCaptureVideoDataOutput>& output) {
    std::lock_guard lock(mutex_);
    std::erase(outputs_, output);
}

std::vector<std::shared_ptr<AVCaptureVideoDataOutput>> AVCaptureSession::outputs() const {
    std::lock_guard lock(mutex_);
    return outputs_;
}

void AVCaptureSession::startRunning() {
    std::lock_guard film(filmMutex_);
    std::lock_guard lock(mutex_);
    if (running_) return;
    running_ = true;
    frameIndex_ = 0;
    ended_ = false;
    filmer_ = std::thread([this] { filmingThread(); });
}

void AVCaptureSession::stopRunning() {
    std::thread filmer;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        filmer = std::move(filmer_);
    }
    wake_.notify_all();
    if (filmer.joinable()) {
        if (filmer.get_id() == std::this_thread::get_id())
            filmer.detach();
        else
            filmer.join();
    }
    // A deliverFrameNow still posting its frame finishes before stop returns.
    std::lock_guard film(filmMutex_);
    filming().stopped(this);
}

bool AVCaptureSession::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void AVCaptureSession::setPacedDelivery(bool paced) {
    {
        std::lock_guard lock(mutex_);
        paced_ = paced;
    }
    wake_.notify_all();
}

std::shared_ptr<PixelBuffer> AVCaptureSession::lastFrame() const {
    std::lock_guard lock(mutex_);
    return lastFrame_;
}

bool AVCaptureSession::target(Target& into) const {
    if (configurationDepth_ > 0 || inputs_.empty()) return false;
    into.device = inputs_.front()->device();
    if (!into.device || !into.device->frameSource()) return false;
    for (const auto& output : outputs_) {
        std::lock_guard lock(output->mutex_);
        auto delegate = output->delegate_.lock();
        if (!delegate || !output->queue_) continue;
        into.output = output;
        into.delegate = std::move(delegate);
        into.queue = output->queue_;
        return true;
    }
    return false;
}

AVCaptureSession::Delivery AVCaptureSession::filmFrame(bool mayDrop, std::shared_ptr<SerialQueue>* queue) {
    Target target;
    {
        std::lock_guard lock(mutex_);
        if (!this->target(target)) return Delivery::NoTarget;
    }
    if (ended_) return Delivery::SourceEnded;
    const int index = frameIndex_++;
    const double now = clock().now();
    const FrameSource::Exposure exposure = target.device->advanceFrame(index);
    auto output = target.output;
    std::weak_ptr<AVCaptureVideoDataOutputSampleBufferDelegate> delegate = target.delegate;
    target.delegate.reset();  // the queue's task must not keep the delegate alive
    auto inFlight = output->framesInFlight_;
    if (queue) *queue = target.queue;

    if (mayDrop && output->alwaysDiscardsLateVideoFrames() && inFlight->load() > 0) {
        // Not rendered: a late frame would only be thrown away.
        auto dropped = std::make_shared<CMSampleBuffer>(nullptr, now);
        target.queue->async([output, delegate, dropped] {
            if (auto strong = delegate.lock()) strong->captureOutputDidDropSampleBuffer(*output, dropped.get(), nullptr);
        });
        return Delivery::Dropped;
    }

    auto buffer = PixelBuffer::create(kFrameWidth, kFrameHeight);
    if (!target.device->frameSource()->render(index, now, exposure, *buffer)) {
        ended_ = true;
        log("capture session: the camera's source has ended");
        return Delivery::SourceEnded;
    }
    filming().frameRendered(this);
    auto sample = std::make_shared<CMSampleBuffer>(buffer, now, exifOf(exposure));
    {
        std::lock_guard lock(mutex_);
        lastFrame_ = buffer;
    }
    inFlight->fetch_add(1);
    target.queue->async([output, delegate, sample, inFlight] {
        if (auto strong = delegate.lock()) strong->captureOutputDidOutputSampleBuffer(*output, sample.get(), nullptr);
        inFlight->fetch_sub(1);
    });
    return Delivery::Delivered;
}

bool AVCaptureSession::deliverFrameNow() {
    std::shared_ptr<SerialQueue> queue;
    {
        std::lock_guard film(filmMutex_);
        if (filmFrame(false, &queue) != Delivery::Delivered) return false;
    }
    if (queue->isCurrent()) return true;
    // The queue is serial: once this marker ran, so did the frame.
    std::promise<void> ran;
    auto done = ran.get_future();
    queue->async([&ran] { ran.set_value(); });
    done.wait();
    return true;
}

void AVCaptureSession::filmingThread() {
    double due = clock().now();
    bool counted = false;  // among the sessions filming
    auto count = [&counted](bool filmingNow) {
        if (filmingNow != counted) filming().sessionsFilming.fetch_add(filmingNow ? 1 : -1);
        counted = filmingNow;
    };
    std::unique_lock lock(mutex_);
    while (running_) {
        const double now = clock().now();
        count(paced_ && !ended_);
        if (!counted) {
            wake_.wait_for(lock, std::chrono::milliseconds(20));
            due = clock().now();
            continue;
        }
        if (now < due) {
            if (clock().isManual())
                wake_.wait_for(lock, kManualClockPoll);
            else
                wake_.wait_for(lock, std::chrono::duration<double>(due - now));
            continue;
        }
        // After a stall or a jump of the clock, film on from now rather than catch up in a burst.
        due = now - due > kFramePeriod ? now + kFramePeriod : due + kFramePeriod;
        lock.unlock();
        {
            std::lock_guard film(filmMutex_);
            filmFrame(true, nullptr);
        }
        lock.lock();
    }
    count(false);
}

namespace {

std::uint8_t clampByte(double value) { return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0) + 0.5); }

// Full-range BT.601, as the camera's frames are encoded.
cairo_surface_t* surfaceOfFrame(PixelBuffer& frame) {
    const int width = static_cast<int>(frame.widthOfPlane(0));
    const int height = static_cast<int>(frame.heightOfPlane(0));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const auto luma = frame.planeData(0);
    const auto chroma = frame.planeData(1);
    const std::size_t lumaStride = frame.bytesPerRowOfPlane(0);
    const std::size_t chromaStride = frame.bytesPerRowOfPlane(1);
    for (int row = 0; row < height; ++row) {
        auto* out = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(row) * stride);
        const std::uint8_t* y = luma.data() + row * lumaStride;
        const std::uint8_t* cbcr = chroma.data() + (row / 2) * chromaStride;
        for (int x = 0; x < width; ++x) {
            const double cb = cbcr[(x / 2) * 2] - 128.0, cr = cbcr[(x / 2) * 2 + 1] - 128.0;
            const std::uint32_t r = clampByte(y[x] + 1.402 * cr);
            const std::uint32_t g = clampByte(y[x] - 0.344136 * cb - 0.714136 * cr);
            const std::uint32_t b = clampByte(y[x] + 1.772 * cb);
            out[x] = (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// Clockwise quarter turns that show the landscape-right frame upright.
int quarterTurnsFor(long interfaceOrientation) {
    switch (interfaceOrientation) {
    case 1: return 1;  // portrait
    case 4: return 2;  // landscape left
    case 2: return 3;  // portrait upside down
    default: return 0;
    }
}

std::function<long()>& previewOrientationSource() {
    static NeverDestroyed<std::function<long()>> source;
    return *source;
}

}  // namespace

void setPreviewOrientationSource(std::function<long()> source) { previewOrientationSource() = std::move(source); }

void AVCaptureVideoPreviewLayer::drawInContext(CGContextRef context) {
    auto frame = session_ ? session_->lastFrame() : nullptr;
    const CGRect box = bounds();
    if (!frame || !context || box.size.width <= 0 || box.size.height <= 0) return;
    cairo_surface_t* surface = surfaceOfFrame(*frame);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return;
    }
    const auto& orientation = previewOrientationSource();
    const int turns = quarterTurnsFor(orientation ? orientation() : 1);
    const double frameWidth = static_cast<double>(frame->widthOfPlane(0));
    const double frameHeight = static_cast<double>(frame->heightOfPlane(0));
    const double shownWidth = turns % 2 ? frameHeight : frameWidth;
    const double shownHeight = turns % 2 ? frameWidth : frameHeight;
    const double scale = std::max(box.size.width / shownWidth, box.size.height / shownHeight);

    cairo_t* cr = context->cairo();
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, box.size.width, box.size.height);
    cairo_clip(cr);
    cairo_translate(cr, box.size.width / 2, box.size.height / 2);
    cairo_scale(cr, scale, scale);
    cairo_rotate(cr, turns * M_PI / 2);
    cairo_translate(cr, -frameWidth / 2, -frameHeight / 2);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(surface);
}

std::shared_ptr<AVCaptureVideoPreviewLayer> AVCaptureVideoPreviewLayer::create(std::shared_ptr<AVCaptureSession> session) {
    return std::make_shared<AVCaptureVideoPreviewLayer>(std::move(session));
}

}  // namespace platform
