// Synthetic payment cards for training and checking the recognition core.
//
// A card is drawn straight onto the 428 x 270 warped-card frame that the core
// reads (the card face fills the image), with its number on the line where an
// ISO 7811 embossed number sits, so the renderer's ground truth is in the same
// pixels as the core's stripe search and segmentation. Rendering is split in
// two: `render_card` draws the card itself (layout, fonts, relief, background),
// `photograph` turns it into one camera frame (perspective jitter, lighting,
// glare, blur, noise, JPEG). A scan is simulated by photographing one card
// several times with different seeds.
//
// Everything is deterministic per seed: the random source is our own, not the
// standard library's distributions, whose output differs between libraries.
// Functions are reentrant; nothing is shared between calls except cairo's
// internal font cache.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

typedef struct _cairo cairo_t;

namespace card_renderer {

// xoshiro256** seeded through splitmix64.
class Rng {
public:
    explicit Rng(std::uint64_t seed);
    std::uint64_t next();
    double uniform();                            // [0, 1)
    double uniform(double lo, double hi);        // [lo, hi)
    int integer(int lo, int hi);                 // [lo, hi] inclusive
    bool chance(double p);
    double normal();                             // standard normal (Box-Muller)
    std::size_t pick(const std::vector<double>& weights);

private:
    std::array<std::uint64_t, 4> state_{};
};

// The faces digits are drawn in. The first six are the training faces; the
// faces after them are kept for the benchmarks (see face_side): new faces
// go at the end, so that a preset's weights keep their meaning and the
// training presets render the same cards as before.
enum class DigitFont : int {
    OcrB = 0,
    OcrA,
    DejaVuSansMonoBold,
    LiberationMonoBold,
    FreeMonoBold,
    Blocky,          // our own stroke font, close to the embossers' block digits
    CaladeaSerif,    // a book serif (fonts-crosextra-caladea)
    ComfortaaRounded,      // a rounded geometric sans (fonts-comfortaa)
    RobotoCondensedBold,   // a condensed grotesque (fonts-roboto-unhinted)
    StrokeDrawn,     // our own: pen strokes with round terminals, weight per card
    DotMatrix,       // our own: dots on a 5 x 7 grid, dot size per card
    // Training: a text face drawn per card from dozens of families of
    // Debian's font packages (sans, serif, mono, condensed, rounded,
    // display; none of a benchmark family), named in the truth.
    TrainingTypeface,
    // Training: our own procedurally drawn digits (DrawnDigits.h), a new
    // face per card.
    DrawnDigits,
    Count
};
constexpr int kDigitFontCount = static_cast<int>(DigitFont::Count);
const char* digit_font_name(DigitFont font);

// The split of the faces by type family. A network may learn only from
// training faces; the benchmarks read only benchmark faces, so that their
// figures say how the core reads type it has never seen. Families are
// disjoint (a family's bold or condensed cut belongs to the family), and the
// benchmark families are chosen as far from the training ones (OCR, mono
// sans and slab, block) as the machine's fonts allow.
//
// The reverse split turns that round, to show that the figures do not hang on
// the one choice: it trains on serif, rounded, condensed, stroke-drawn and
// dot-matrix type (and serif, condensed, rounded and display typefaces) and
// keeps sans for the benchmarks (OCR-B, DejaVu Sans Mono, Liberation Mono;
// no sans or mono typeface trains, nor any cut of the DejaVu and Liberation
// families). The committed weights are the standard split's; the reverse one
// is only ever measured (tools/trainer/README.md).
enum class FamilySplit { Standard, Reverse };
// HYBRID_FAMILY_SPLIT=reverse selects the reverse split for every preset of
// the process (the dumps, the trainer's runs and the benchmarks alike);
// anything else, or nothing, the standard one. Read once.
FamilySplit family_split();
// "standard (benchmark families: serif, rounded, ...)", for the benchmarks'
// output.
std::string split_description(FamilySplit split);

enum class FaceSide { Training, Benchmark };
FaceSide face_side(DigitFont font, FamilySplit split = family_split());
const char* face_family(DigitFont font);     // "ocr-b", "serif", "dot-matrix", ...
std::vector<DigitFont> faces_on(FaceSide side, FamilySplit split = family_split());

// The families TrainingTypeface draws from, as fontconfig names them.
struct Typeface {
    const char* family;
    const char* kind;       // "sans", "serif", "mono", "condensed", "rounded", "display"
};
const std::vector<Typeface>& training_typefaces(FamilySplit split = family_split());

enum class Background : int {
    Solid = 0,
    Gradient,
    Texture,
    Shapes,
    Mixed,
    Count
};
constexpr int kBackgroundCount = static_cast<int>(Background::Count);
const char* background_name(Background background);

struct CameraEffects {
    double perspective_px = 2.0;     // largest corner displacement
    double shift_px = 1.5;           // largest common translation
    double blur_sigma_max = 1.1;
    double noise_sigma_max = 7.0;    // in 8-bit grey levels
    double lighting_depth = 0.45;    // largest relative darkening across the card
    double glare_share = 0.3;
    double jpeg_share = 0.5;
    int jpeg_quality_min = 35;
    // The wider training world's camera; none of it in the benchmark presets,
    // whose frames stay as they were measured.
    double motion_blur_share = 0;    // a streak of 1 to 4 px in any direction
    double defocus_share = 0;        // a disc of 1 to 2.2 px instead of a Gaussian
    double specular_share = 0;       // a glossy card's long highlight
};

// Proportions of what a batch of cards looks like. Different presets give the
// networks different samples; the held-out preset uses proportions no training
// preset used.
struct CardStyle {
    std::array<double, kDigitFontCount> font_weights{1, 1, 1, 1, 1, 1};
    std::array<double, kBackgroundCount> background_weights{1, 1, 1, 1, 1};
    double fifteen_digit_share = 0.25;
    double flat_print_share = 0.2;
    double foil_share = 0.35;          // of embossed cards
    double stripe_y_min = 128.0;       // top row of the 27-row stripe
    double stripe_y_max = 168.0;
    // Embossed numbers stand where the card standard puts them: their
    // baseline 21.42 mm above the card's bottom edge, row kEmbossedBaselineRow,
    // give or take embossed_line_tolerance rows. Printed numbers go anywhere
    // in [stripe_y_min, stripe_y_max]; the training presets put embossed ones
    // there too, so that no network learns where the line is.
    bool embossed_on_standard_line = true;
    double embossed_line_tolerance = 3.0;
    double pitch_min = 17.4;
    double pitch_max = 19.4;
    double glyph_height_min = 19.0;
    double glyph_height_max = 24.0;
    // The wider training world's cards (0 in the benchmark presets).
    double worn_foil_share = 0;        // of foiled cards: tipping rubbed off in patches
    double hologram_share = 0;         // a diffraction patch, often over the number
    double crossing_design_share = 0;  // lines and bands of the design running through the number
    double dark_card_share = 0;        // black and deep-coloured cards
    CameraEffects camera;
    // Which typefaces TrainingTypeface and DrawnDigits cards draw from.
    FamilySplit split = FamilySplit::Standard;
    // The training type (the first six faces and the typefaces, not the drawn
    // digits) falls in kTypeShares shares by type_share. A digit network that
    // never sees one share disagrees with the others on type none of them
    // saw; the share it never saw then calibrates it. -1 draws every share;
    // otherwise only share withheld_share's type is left out, or, with
    // only_withheld_share, only it is drawn.
    int withheld_share = -1;
    bool only_withheld_share = false;
};

constexpr int kTypeShares = 3;
// The share of a first-six face or of a typeface (its index in
// training_typefaces): every third one, so that each share has type of every
// kind.
int type_share(DigitFont font);
int type_share(std::size_t typeface_index);

// "stripe", "a", "b", "c" (the training presets), "heldout" (training faces,
// proportions no training preset used), "benchmark" (benchmark faces only,
// both layouts equally often); anything else: default. Training and
// benchmark faces are those of `split`.
CardStyle style_preset(const std::string& name, FamilySplit split = family_split());
std::vector<std::string> style_preset_names();

// The faces with weight in `style` that the machine's fonts cannot draw
// (drawing a benchmark face then aborts the program), as "face (font)"
// names; empty when all are there. A missing font would be
// silently replaced by another, which would make a benchmark measure the
// wrong face, so callers fail on a non-empty answer.
std::vector<std::string> missing_faces(const CardStyle& style);

struct CardTruth {
    std::string number;               // the digits as characters
    int pattern_type = 1;             // 1 sixteen digits (4-4-4-4), 2 fifteen (4-6-5)
    double stripe_y = 0;              // top row of the 27-row number stripe
    std::vector<double> cell_x;       // left edge of each 19-px digit cell, reading order
    double pitch = 0;                 // slot to slot distance
    double glyph_height = 0;
    DigitFont font = DigitFont::OcrB;
    // Pen or dot size of a procedurally drawn benchmark face, over the glyph
    // width; 0 for every other face.
    double stroke_weight = 0;
    // TrainingTypeface: the family and weight drawn; DrawnDigits: the seed of
    // the face (drawn_face). Empty and 0 otherwise.
    std::string typeface;
    bool typeface_bold = false;
    std::uint64_t face_seed = 0;
    Background background = Background::Solid;
    bool embossed = true;
    bool foil = false;
    // How well the weakest digit stands out from the design behind it (the
    // renderer's characters_legibility); designs are muted to keep it at least
    // kMinNumberLegibility.
    double legibility = 0;

    int rounded_stripe_y() const;
    int rounded_cell_x(std::size_t i) const;
    std::string to_json() const;
};

struct RenderedCard {
    cv::Mat color;                    // CV_8UC3, BGR, 428 x 270
    CardTruth truth;
};

constexpr int kCardWidth = 428;
constexpr int kCardHeight = 270;
constexpr int kCellWidth = 19;
constexpr int kStripeHeight = 27;
constexpr double kMinNumberLegibility = 2.0;
constexpr double kEmbossedBaselineRow = 163.0; // 270 - 21.42 mm x 270 / 53.98 mm

// A random card number of the given length with a real issuer prefix, passing
// Luhn: 15 digits are American Express, 16 any of the 16-digit issuers.
std::string random_card_number(Rng& rng, int length);
bool luhn_valid(const std::string& digits);

RenderedCard render_card(const CardStyle& style, std::uint64_t seed);

// Draws one character in the face of `truth` whose advance box is centred on
// (center_x, center_y), the digits' ink spanning `height` rows and at most
// `width` columns (benchmark text faces keep their own proportions, so a
// condensed face stays condensed). Letters of the procedural faces are drawn
// in a text face. For tools that lay out their own lines on a card (the
// camera frames' date and name); the first six training faces are not drawn
// here, those tools have their own.
void draw_card_character(cairo_t* cr, const CardTruth& truth, char ch, double center_x, double center_y,
                         double width, double height);

// Luma of a B, G, R colour, with BT.601's weights.
inline double luma_of(const cv::Scalar& bgr) { return 0.114 * bgr[0] + 0.587 * bgr[1] + 0.299 * bgr[2]; }

// The camera's automatic exposure: the gain that brings the mean luma of
// `window` of a BGR float image up to kMeteringTarget, between 1 and
// kMaxExposureGain. Bright scenes are left as lit (the frames' own exposure
// spread covers them); a dark card is exposed up, and its noise with it.
constexpr double kMeteringTarget = 100;
constexpr double kMaxExposureGain = 4;
double metered_gain(const cv::Mat& bgr, const cv::Rect& window);

// One camera frame of the card: 428 x 270 8-bit grey. `moved_truth`, when
// given, receives the truth moved by the frame's geometric jitter;
// `card_to_shot`, the jitter itself (pixel centres on whole coordinates), for
// tools that carry truths of their own (a date they drew) into the shot.
cv::Mat photograph(const RenderedCard& card, const CameraEffects& effects, std::uint64_t seed,
                   CardTruth* moved_truth = nullptr, cv::Matx33d* card_to_shot = nullptr);

}  // namespace card_renderer
