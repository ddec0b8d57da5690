// How the characters of a card are put on it: embossed plastic (bare, or
// with foil on the raised faces) or flat print. The card renderer and the
// camera-frame simulation draw with the same model, so the networks trained
// on one see the same characters in the other.
#pragma once

#include "tools/card_renderer/CardRenderer.h"

#include <opencv2/core.hpp>

namespace card_renderer {

struct Relief {
    bool embossed = true;
    bool foil = false;
    // Unit vector towards the light: across the card (x, y) and out of it (z).
    double light_x = 0, light_y = 0, light_z = 1;
    double height = 0;        // raised height in pixels
    double softness = 1;      // blur of the glyph edges in pixels
    double brightness = 0;    // grey levels that a face turned fully to the light gains
    cv::Vec3d face;           // foil or print colour, B, G, R
    double face_opacity = 0;  // how much of the face is covered by it
    cv::Mat wear;             // CV_32F, the share of foil left per pixel; empty: all of it
};

// `under` is the mean colour where the characters go: print and foil are
// chosen to stand out from it.
Relief random_relief(Rng& rng, bool embossed, bool foil, const cv::Vec3d& under);

// Puts the characters of `mask` (CV_32F, 1 inside) on `card` (CV_32FC3).
void apply_relief(cv::Mat& card, const cv::Mat& mask, const Relief& relief);

}  // namespace card_renderer
