// Whole camera frames of a rendered card, as the phone's camera delivers
// them to frame analysis: 640 x 480 bi-planar 4:2:0 (a Y plane and an
// interleaved CbCr plane of half the width and height), full-range YCbCr.
//
// Two stages, mirroring a scan: `compose_card` takes a card from the card
// renderer and gives it an expiry line of our own ("MM/YY" under a small
// "VALID THRU" label, at the size and place the core's expiry search reads,
// plus a name line below it), with its ground truth; a `CameraSequence` then
// lays that card on a table near the guide of landscape-right frames
// (orientation 3) and films it: the card drifts by a pixel or two between
// frames, some frames are held upside down, focus, motion blur, light and
// noise change from frame to frame.
//
// The renderer draws an expiry and a name line of its own, whose positions
// it does not report; compose_card paints the band below the number over
// before drawing ours, so that the truth it returns is the whole truth.
//
// Deterministic per seed (the renderer's random source for everything we
// draw, OpenCV's seeded generator for noise fields). Reentrant: frames of
// one sequence may be made on several threads at once.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "tools/card_renderer/CardRenderer.h"

namespace camera_frames {

struct CalendarMonth {
    int month = 1;   // 1..12
    int year = 2000; // four digits
};

struct ExpiryTruth {
    bool present = false;
    int month = 0; // 1..12
    int year = 0;  // four digits
    // The five character slots "M", "M", "/", "Y", "Y" on the 428 x 270 card:
    // each an 11 x 16 box (the expiry networks' cell) centred on its glyph.
    std::array<cv::Point2d, 5> cell_top_left{};
    double pitch = 0;
    double glyph_height = 0;
    double glyph_width = 0; // the widest a digit's ink may be; proportional faces draw some narrower
    bool has_label = false;
};

struct ComposedCard {
    cv::Mat color; // CV_8UC3, BGR, 428 x 270
    card_renderer::CardTruth truth;
    ExpiryTruth expiry;
};

struct ExpiryStyle {
    double date_share = 0.85;   // cards that carry a date at all
    double label_share = 0.8;   // of those, with a "VALID THRU" label
    double name_share = 0.85;   // cards with a name line under the date
    // The card standard's second embossed line: 10 characters an inch
    // (12.7 px on the 428 px card), characters about 2.9 mm (14 to 15 px)
    // tall, with a spread around both and gaps down to 2 px.
    double glyph_height_min = 12.5;
    double glyph_height_max = 16.0;
    double pitch_min = 11.5;
    double pitch_max = 14.0;
    double gap_min = 2.0;
    double gap_max = 4.0;
};

// "MM/YY" dates are drawn from today's month up to December four years on,
// the range the core accepts as a card's expiry.
ComposedCard compose_card(const card_renderer::CardStyle& style, std::uint64_t seed, CalendarMonth today,
                          const ExpiryStyle& expiry_style = {});

// The card's outline in a frame, pixel centres on whole coordinates (the
// edge finder's convention), named after the frame's axes as CornerPoints is.
struct Quad {
    cv::Point2d top_left;
    cv::Point2d top_right;
    cv::Point2d bottom_left;
    cv::Point2d bottom_right;
};

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr int kOrientation = 3; // landscape right: the camera frame is upright

// Where the guide of orientation 3 asks the card's sides to lie: the centre
// lines of the edge finder's search strips.
Quad guide_quad();

struct CameraFrame {
    int width = kFrameWidth;
    int height = kFrameHeight;
    std::vector<std::uint8_t> y;    // width x height
    std::vector<std::uint8_t> cbcr; // (width / 2) x (height / 2) pairs Cb, Cr
    Quad corners;
    bool upside_down = false;
    double defocus_sigma = 0;
    double motion_px = 0;
    std::string number;
    ExpiryTruth expiry;

    // Copies the planes into caller memory with the given row strides.
    void copy_planes(std::uint8_t* y_plane, std::size_t y_stride, std::uint8_t* cbcr_plane,
                     std::size_t cbcr_stride) const;
    // The frame as BGR, through the core's own YCbCr conversion (for looking
    // at it).
    cv::Mat to_bgr() const;
};

struct FilmingStyle {
    double corner_offset_px = 2.5;  // each corner's lasting offset from the guide
    double drift_px = 1.2;          // slow movement across the sequence
    double jitter_px = 0.35;        // frame to frame shake
    double upside_down_share = 0.2; // sequences that start with the card the wrong way up
    int upside_down_frames_max = 5;
    double defocus_min = 0.35;
    double defocus_max = 1.0;
    double hunting_share = 0.12;    // frames far out of focus
    double hunting_max = 2.4;
    double motion_max_px = 2.0;
    double sharpen_min = 0.5;       // the camera's unsharp masking of the luma
    double sharpen_max = 1.2;
    double noise_min = 1.0;
    double noise_max = 4.0;
    double glare_share = 0.2;
    double min_edge_contrast = 30;  // table luma keeps at least this far from the card's rim
};

class CameraSequence {
public:
    CameraSequence(ComposedCard card, const FilmingStyle& style, std::uint64_t seed);
    // Renders, composes and films the card of compose_card(card_style, seed, today).
    CameraSequence(const card_renderer::CardStyle& card_style, std::uint64_t seed, CalendarMonth today,
                   const FilmingStyle& style = {}, const ExpiryStyle& expiry_style = {});

    const ComposedCard& card() const { return card_; }
    // Frame `index` of the sequence; the same index always gives the same
    // frame.
    CameraFrame frame(int index) const;

    // What a live camera decides about a frame in place of the sequence's own
    // draws: where the hand holds the card, the lens, the light and the
    // sensor. The card is never upside down and no exposure metering brightens
    // a dark frame.
    struct Shot {
        cv::Point2d card_offset{0, 0}; // pixels, from the card's place near the guide
        double defocus_sigma = 0.5;
        double light = 1;              // the scene's light times the sensor's gain
        double noise_sigma = 2;
    };
    CameraFrame frame(int index, const Shot& shot) const;

private:
    CameraFrame film(int index, const Shot* shot) const;

    ComposedCard card_;
    FilmingStyle style_;
    std::uint64_t seed_;
    cv::Mat card_float_;         // CV_32FC3
    cv::Mat card_float_rotated_; // the card turned half round
    cv::Mat table_;              // CV_32FC3, 640 x 480
    cv::Mat light_;              // CV_32F gain field
    std::array<cv::Point2d, 4> base_offsets_{};
    std::array<cv::Point2d, 4> drift_direction_{};
    double drift_phase_ = 0;
    double corner_radius_ = 12;
    int upside_down_frames_ = 0;
    double noise_level_ = 2;
};

// Full-range BT.601, the inverse of the core's ycbcr_to_rgb.
void bgr_to_ycbcr(const cv::Vec3f& bgr, float& y, float& cb, float& cr);

} // namespace camera_frames
