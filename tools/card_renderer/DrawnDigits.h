// Digits drawn by procedure for training: pen strokes whose weight, width,
// slant, terminals, corner rounding and per-digit construction (an open or
// closed 4, a 1 with or without flag and foot, a flat- or round-topped 3, ...)
// vary from card to card, with every point moved a little, so that a network
// learns what makes a 3 a 3 rather than what one font's 3 looks like.
//
// One card draws all its digits from one face (a type designer's choices
// hold across a number); the face is a function of its seed alone.
#pragma once

#include <array>
#include <cstdint>

typedef struct _cairo cairo_t;

namespace card_renderer {

struct DrawnFace {
    double weight = 0.18;       // pen width over the glyph width
    double width = 1.0;         // share of the glyph box's width used
    double slant = 0;           // horizontal shear, positive leans right
    double roundness = 0.5;     // 0 square corners .. 1 fully rounded
    double junction = 2.8;      // height of the 3's, 5's and 8's waist on the 6-unit grid
    double wobble = 0.1;        // largest move of a point, in grid units
    int cap = 0;                // cairo_line_cap_t
    int join = 0;               // cairo_line_join_t
    std::array<int, 10> variant{};
    std::uint64_t seed = 0;     // the wobble's own stream
};

DrawnFace drawn_face(std::uint64_t seed);

// Draws digit or '/' `ch` so that its ink spans `height` rows and at most
// `width` columns around (center_x, center_y). Other characters draw nothing.
void draw_drawn_character(cairo_t* cr, const DrawnFace& face, char ch, double center_x, double center_y,
                          double width, double height);

}  // namespace card_renderer
