// What the other hand's drawing files share among themselves; not for
// callers outside tools/other_hand.
#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "tools/other_hand/OtherHand.h"

typedef struct _cairo cairo_t;

namespace other_hand::detail {

// The type of one card: an outline face of a font package, or digits stroked
// along our own skeletons with a pen of the card's weight.
struct Face {
    bool stroke = false;
    std::string family;        // outline: fontconfig family
    int weight = 80;           // outline: fontconfig weight
    std::string weight_name;
    double width_scale = 1;    // horizontal scale applied to the face's own proportions
    // Stroke faces.
    bool serif = false;
    double pen = 0.12;         // over the glyph height
    bool round = true;         // round caps and joins, else square caps and mitred joins
    double aspect = 0.62;      // glyph width over height
    double slant = 0;          // horizontal shift of the top over the height

    std::string describe() const;
};

Face choose_face(Dice& dice, HandFamilies split);

// Draws the characters of `text` (digits and '/'), one per slot centred on
// the given x, their ink centred on centre_y at `height` rows and at most
// `max_width` columns wide, into an A8 mask context.
void draw_glyph_line(cairo_t* cr, const Face& face, const std::string& text, const std::vector<double>& slot_x,
                     double centre_y, double height, double max_width);

// Plain text for names, labels and wordmarks: `family` at fontconfig
// `weight`, baseline at (x, y), cap height about `cap_height`. Returns the
// advance.
double draw_words(cairo_t* cr, const std::string& family, int weight, const std::string& text, double x, double y,
                  double cap_height, bool fill = true);
double words_width(const std::string& family, int weight, const std::string& text, double cap_height);

// The outline families draw_glyph_line and draw_words use.
const std::vector<std::string>& hand_families();

// The ink box of the mask's pixels of at least `threshold` in [x0, x1) x [y0, y1).
InkBox ink_box(const cv::Mat& mask, int x0, int x1, int y0, int y1, float threshold = 0.3f);

struct Light {
    double azimuth = 0;        // radians, in the card plane from +x towards +y (down)
    double elevation = 0.7;    // radians above the card
    double distance = 600;     // px from the card's centre
    double size = 0;           // area light radius, px (0: a point)
};

struct ReliefLook {
    double height = 2.0;       // px of the strokes' top over the card
    double softness = 1.0;     // blur sigma of the mask into the height field
    bool foil = false;
    cv::Vec3f foil_colour{0.8f, 0.8f, 0.8f};
    double ambient = 0.35;
    double diffuse = 0.65;
    double specular = 0.25;
    double shininess = 30;
};

// Raises the strokes of `mask` (CV_32F, 0..1) out of `colour` (CV_32FC3 BGR,
// 0..1) under `light`.
void emboss(cv::Mat& colour, const cv::Mat& mask, const ReliefLook& look, const Light& light);

}  // namespace other_hand::detail
