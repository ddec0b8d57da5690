#pragma once
// Camera planes with a card drawn in: a bright quadrilateral on a darker,
// textured table, optionally blurred and with sensor noise, so the edge
// finder and the warp can be checked against corners known in advance.

#include "CoreTestImages.h"

#include "cardscanner/core/EdgeFinder.h"

#include <opencv2/imgproc/imgproc_c.h>

#include <algorithm>
#include <cmath>
#include <random>

struct CardDrawing {
    CornerPoints corners; // frame axes: top_left, bottom_left, top_right, bottom_right
    // Contrast below 100 levels: beyond it the aperture-7 derivatives
    // saturate over several columns and the edges drift outward by a pixel
    // or two, which real cards under a lens do not show.
    int table = 85; // mean level of the table
    int texture = 20; // amplitude of the table's grain
    int card = 170;
    double noise = 4.0; // standard deviation of the sensor noise
    int blur = 3; // Gaussian aperture, 0 for a sharp picture
    unsigned seed = 1;
};

inline CornerPoints corners_of(float left, float top, float right, float bottom)
{
    CornerPoints corners;
    corners.top_left = cvPoint2D32f(left, top);
    corners.bottom_left = cvPoint2D32f(left, bottom);
    corners.top_right = cvPoint2D32f(right, top);
    corners.bottom_right = cvPoint2D32f(right, bottom);
    return corners;
}

inline CornerPoints scaled(const CornerPoints& corners, float scale)
{
    auto s = [scale](CvPoint2D32f p) { return cvPoint2D32f(p.x * scale, p.y * scale); };
    return {s(corners.top_left), s(corners.bottom_left), s(corners.top_right), s(corners.bottom_right)};
}

// The card's outline is drawn with 1/16-pixel precision in the edge
// finder's own convention, pixel centres on whole coordinates: a side at
// x = 105.5 lights the pixels from column 106 on.
inline ImagePtr draw_card_plane(int width, int height, const CardDrawing& drawing)
{
    ImagePtr plane = make_image(width, height);
    std::mt19937 random(drawing.seed);
    std::uniform_int_distribution<int> grain(-drawing.texture, drawing.texture);
    // A coarse texture (4 x 4 blocks) so the table has edges of its own.
    for (int y = 0; y < height; y += 4) {
        for (int x = 0; x < width; x += 4) {
            const int value = std::clamp(drawing.table + grain(random), 0, 255);
            for (int dy = 0; dy < 4 && y + dy < height; ++dy)
                for (int dx = 0; dx < 4 && x + dx < width; ++dx)
                    pixel(plane.get(), x + dx, y + dy) = static_cast<uint8_t>(value);
        }
    }
    constexpr int kShift = 4;
    auto at = [](CvPoint2D32f p) {
        return cvPoint(static_cast<int>(std::lround(p.x * (1 << kShift))),
                       static_cast<int>(std::lround(p.y * (1 << kShift))));
    };
    const CornerPoints& c = drawing.corners;
    CvPoint outline[4] = {at(c.top_left), at(c.top_right), at(c.bottom_right), at(c.bottom_left)};
    cvFillConvexPoly(plane.get(), outline, 4, cvScalarAll(drawing.card), 8, kShift);
    if (drawing.blur > 0)
        cvSmooth(plane.get(), plane.get(), CV_GAUSSIAN, drawing.blur, drawing.blur);
    if (drawing.noise > 0.0) {
        std::normal_distribution<double> noise(0.0, drawing.noise);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixel(plane.get(), x, y)
                    = static_cast<uint8_t>(std::clamp(pixel(plane.get(), x, y) + noise(random), 0.0, 255.0));
    }
    return plane;
}

// A w x h card centred on (cx, cy), turned by degrees (clockwise on screen).
inline CornerPoints rotated_card(float cx, float cy, float w, float h, float degrees)
{
    const float a = degrees * 3.14159265f / 180.0f, c = std::cos(a), s = std::sin(a);
    auto at = [&](float dx, float dy) { return cvPoint2D32f(cx + dx * c - dy * s, cy + dx * s + dy * c); };
    return {at(-w / 2, -h / 2), at(-w / 2, h / 2), at(w / 2, -h / 2), at(w / 2, h / 2)};
}

inline ImagePtr uniform_plane(int width, int height, uint8_t value)
{
    ImagePtr plane = make_image(width, height);
    cvSet(plane.get(), cvScalarAll(value));
    return plane;
}

inline double distance(CvPoint2D32f a, CvPoint2D32f b) { return std::hypot(a.x - b.x, a.y - b.y); }
