// The simulator's default camera: a rendered card brought into the guide and
// held there, filmed frame by frame through the device's optics.
//
// For the first Options::emptyFrames frames the table is empty; the card then slides
// in from the lower right over kSlideFrames frames (its top and bottom edges
// reach the guide before its left and right ones) and is held in the guide
// with a little hand shake. The lens defocus blurs the frame (Gaussian, up to
// kMaxDefocusSigma); the scene is lit normally or darkly ("dark": ambient
// kDarkLight, too dark and noisy to read without the torch); the torch adds
// its level x platform::kTorchLightPerLevel (at the stream's level 0.05 a dark
// scene becomes readable); ISO adds noise (kBaseNoise .. + kNoiseAtMaxISO).
//
// Deterministic per seed and frame. render() leaves out the frames a session
// dropped while analysis was busy (the gaps in its indexes): the hand moves
// with the frames the scanner sees, so a loaded machine sees the card come in
// as an idle one does. render() is called by one capture session at a time;
// everything else is immutable after construction.
#pragma once

#include <cstdint>
#include <string>

#include "platform/capture/FrameSource.h"
#include "tools/camera_frames/CameraFrames.h"

namespace camera_frames {

class FilmedCardSource final : public platform::FrameSource {
public:
    static constexpr int kEmptyFrames = 6;   // the default: held from frame 21, 0.7 s in
    static constexpr int kSlideFrames = 15;
    static constexpr double kSharpSigma = 0.5;
    static constexpr double kMaxDefocusSigma = 4.5;
    static constexpr float kNormalLight = 1.0f;
    static constexpr float kDarkLight = 0.25f;
    static constexpr double kBaseNoise = 2.0;       // luma sigma at ISO 50
    static constexpr double kNoiseAtMaxISO = 18.0;  // added by ISO 800

    struct Options {
        std::uint64_t seed = 1;
        std::string style = "a";  // a card_renderer::style_preset name
        bool dark = false;
        int emptyFrames = kEmptyFrames;
        // The month the card's expiry counts from; by default this month of
        // platform::clock() at construction.
        CalendarMonth today{0, 0};
    };

    explicit FilmedCardSource(const Options& options);

    bool render(int frameIndex, double time, const Exposure& exposure, platform::PixelBuffer& into) override;
    float sceneLight(int frameIndex) const override;

    // Ground truth.
    const std::string& cardNumber() const { return sequence_.card().truth.number; }
    const ComposedCard& card() const { return sequence_.card(); }
    const Options& options() const { return options_; }

    // The frame as it is filmed with `exposure` (render() copies it into the buffer).
    CameraFrame frame(int frameIndex, const Exposure& exposure) const;
    // Where the hand holds the card at a frame, relative to its place in the guide.
    cv::Point2d cardOffset(int frameIndex) const;

private:
    Options options_;
    CameraSequence sequence_;
    int lastFrameIndex_ = -1;
    int dropped_ = 0;  // frames skipped since this run of indexes began
};

}  // namespace camera_frames
