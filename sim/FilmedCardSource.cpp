#include "sim/FilmedCardSource.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "platform/foundation/Clock.h"

namespace camera_frames {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The month the scanner judges expiry dates by: the platform clock's, in local
// time, so a card filmed under a test's manual clock expires when that clock
// says it should rather than when the machine's calendar does.
CalendarMonth thisMonth() {
    const auto now = static_cast<std::time_t>(platform::clock().now());
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_mon + 1, parts.tm_year + 1900};
}

FilmingStyle liveStyle() {
    FilmingStyle style;
    style.upside_down_share = 0;
    style.hunting_share = 0;  // the lens is the device's business here
    style.glare_share = 0;
    return style;
}

// A small sensor's gain buys no detail: the picture stays as dark as the
// scene, and the amplified noise grows with the ISO.
double noiseSigma(float iso) {
    return FilmedCardSource::kBaseNoise + FilmedCardSource::kNoiseAtMaxISO * std::clamp((iso - 50.0) / 750.0, 0.0, 1.0);
}

}  // namespace

FilmedCardSource::FilmedCardSource(const Options& options)
    : options_(options),
      sequence_(card_renderer::style_preset(options.style), options.seed,
                options.today.year > 0 ? options.today : thisMonth(), liveStyle()) {}

float FilmedCardSource::sceneLight(int) const { return options_.dark ? kDarkLight : kNormalLight; }

cv::Point2d FilmedCardSource::cardOffset(int frameIndex) const {
    if (frameIndex < options_.emptyFrames) return {2 * kFrameWidth, 0};
    const double t = std::min(1.0, static_cast<double>(frameIndex - options_.emptyFrames) / kSlideFrames);
    // Vertically home first, so two edges settle before the other two.
    const double across = 1 - t;
    const double down = std::max(0.0, 1 - 1.6 * t);
    cv::Point2d offset(0.8 * kFrameWidth * across * across, 0.5 * kFrameHeight * down * down);
    if (t >= 1) {
        // A hand's slow sway, a pixel or so.
        const double phase = 0.21 * frameIndex;
        offset += cv::Point2d(0.9 * std::sin(phase), 0.7 * std::sin(1.7 * phase + kPi / 3));
    }
    return offset;
}

CameraFrame FilmedCardSource::frame(int frameIndex, const Exposure& exposure) const {
    CameraSequence::Shot shot;
    shot.card_offset = cardOffset(std::max(0, frameIndex));
    shot.defocus_sigma = kSharpSigma + std::clamp(exposure.lensDefocus, 0.0, 1.0) * kMaxDefocusSigma;
    const double torch =
        exposure.torchOn ? std::clamp(static_cast<double>(exposure.torchLevel), 0.0, 1.0) * platform::kTorchLightPerLevel
                         : 0.0;
    shot.light = std::min(1.2, sceneLight(frameIndex) + torch);
    shot.noise_sigma = noiseSigma(exposure.iso);
    return sequence_.frame(std::max(0, frameIndex), shot);
}

bool FilmedCardSource::render(int frameIndex, double, const Exposure& exposure, platform::PixelBuffer& into) {
    if (into.widthOfPlane(0) != static_cast<std::size_t>(kFrameWidth) ||
        into.heightOfPlane(0) != static_cast<std::size_t>(kFrameHeight))
        return false;
    // Frames skipped since the last one were dropped, not filmed; an index
    // that does not move forward begins another run.
    if (lastFrameIndex_ < 0 || frameIndex <= lastFrameIndex_)
        dropped_ = 0;
    else
        dropped_ += frameIndex - lastFrameIndex_ - 1;
    lastFrameIndex_ = frameIndex;
    const CameraFrame filmed = frame(frameIndex - dropped_, exposure);
    filmed.copy_planes(into.planeData(0).data(), into.bytesPerRowOfPlane(0), into.planeData(1).data(),
                       into.bytesPerRowOfPlane(1));
    return true;
}

}  // namespace camera_frames
