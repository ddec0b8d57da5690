#include "tools/card_renderer/CardRenderer.h"
#include "tools/card_renderer/CairoCanvas.h"
#include "tools/card_renderer/DrawnDigits.h"
#include "tools/card_renderer/Relief.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace card_renderer {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::uint64_t splitmix64(std::uint64_t& x)
{
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// A second random stream of a seed, for what the wider training world adds:
// the card's own stream draws exactly as before, so cards of the presets
// that add nothing stay as they were.
std::uint64_t side_stream(std::uint64_t seed, std::uint64_t salt)
{
    std::uint64_t x = seed ^ (salt * 0xD1B54A32D192ED03ull);
    return splitmix64(x);
}

}  // namespace

Rng::Rng(std::uint64_t seed)
{
    for (auto& s : state_)
        s = splitmix64(seed);
}

std::uint64_t Rng::next()
{
    const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 45);
    return result;
}

double Rng::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
double Rng::uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
int Rng::integer(int lo, int hi)
{
    return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
}
bool Rng::chance(double p) { return uniform() < p; }
double Rng::normal()
{
    const double u1 = 1.0 - uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}
std::size_t Rng::pick(const std::vector<double>& weights)
{
    double total = 0;
    for (double w : weights)
        total += w;
    double r = uniform() * total;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (r < weights[i])
            return i;
        r -= weights[i];
    }
    return weights.size() - 1;
}

const char* digit_font_name(DigitFont font)
{
    switch (font) {
    case DigitFont::OcrB: return "ocr-b";
    case DigitFont::OcrA: return "ocr-a";
    case DigitFont::DejaVuSansMonoBold: return "dejavu-sans-mono-bold";
    case DigitFont::LiberationMonoBold: return "liberation-mono-bold";
    case DigitFont::FreeMonoBold: return "freemono-bold";
    case DigitFont::Blocky: return "blocky";
    case DigitFont::CaladeaSerif: return "caladea-bold";
    case DigitFont::ComfortaaRounded: return "comfortaa-bold";
    case DigitFont::RobotoCondensedBold: return "roboto-condensed-bold";
    case DigitFont::StrokeDrawn: return "stroke-drawn";
    case DigitFont::DotMatrix: return "dot-matrix-5x7";
    case DigitFont::TrainingTypeface: return "training-typeface";
    case DigitFont::DrawnDigits: return "drawn-digits";
    case DigitFont::Count: break;
    }
    return "?";
}

namespace {

struct FaceSplit {
    DigitFont font;
    const char* family;
    FaceSide standard;
    FaceSide reverse;
};

constexpr FaceSide kTrain = FaceSide::Training, kKeep = FaceSide::Benchmark;

// The one place that says which type families train and which are kept for
// the benchmarks, in either split.
constexpr FaceSplit kFaceSplit[] = {
    {DigitFont::OcrB, "ocr-b", kTrain, kKeep},
    {DigitFont::OcrA, "ocr-a", kTrain, kTrain},
    {DigitFont::DejaVuSansMonoBold, "dejavu-mono", kTrain, kKeep},
    {DigitFont::LiberationMonoBold, "liberation-mono", kTrain, kKeep},
    {DigitFont::FreeMonoBold, "freemono", kTrain, kTrain},
    {DigitFont::Blocky, "block", kTrain, kTrain},
    {DigitFont::CaladeaSerif, "serif", kKeep, kTrain},
    {DigitFont::ComfortaaRounded, "rounded", kKeep, kTrain},
    {DigitFont::RobotoCondensedBold, "condensed", kKeep, kTrain},
    {DigitFont::StrokeDrawn, "stroke-drawn", kKeep, kTrain},
    {DigitFont::DotMatrix, "dot-matrix", kKeep, kTrain},
    {DigitFont::TrainingTypeface, "typefaces", kTrain, kTrain},
    {DigitFont::DrawnDigits, "drawn", kTrain, kTrain},
};

// Caladea, Comfortaa and Roboto (any of their cuts) are benchmark families
// and must never appear here; nor any dot-matrix face. Families whose digits
// are old-style figures by default are left out (no card is numbered in
// them), and so are faces without a '/' for the date.
const std::vector<Typeface> kTrainingTypefaces = {
    {"DejaVu Sans", "sans"}, {"Liberation Sans", "sans"}, {"FreeSans", "sans"}, {"Nimbus Sans", "sans"},
    {"Open Sans", "sans"}, {"Lato", "sans"}, {"Cantarell", "sans"}, {"PT Sans", "sans"}, {"Cabin", "sans"},
    {"Oxygen-Sans", "sans"}, {"Go", "sans"}, {"Manrope", "sans"}, {"B612", "sans"}, {"Andika", "sans"},
    {"Gillius ADF", "sans"}, {"Verana Sans", "sans"}, {"Linux Biolinum O", "sans"}, {"CMU Sans Serif", "sans"},
    {"CMU Bright", "sans"}, {"M PLUS 1", "sans"}, {"M PLUS 2", "sans"}, {"Garuda", "sans"},
    {"Averia Sans GWF", "sans"}, {"Universalis ADF Std", "sans"},
    {"DejaVu Serif", "serif"}, {"Liberation Serif", "serif"}, {"FreeSerif", "serif"}, {"Nimbus Roman", "serif"},
    {"TeX Gyre Pagella", "serif"}, {"TeX Gyre Bonum", "serif"}, {"TeX Gyre Schola", "serif"},
    {"Linux Libertine O", "serif"}, {"Gentium Basic", "serif"}, {"Charis SIL", "serif"}, {"PT Serif", "serif"},
    {"STIXGeneral", "serif"}, {"GFS Didot", "serif"}, {"CMU Serif", "serif"}, {"CMU Concrete", "serif"},
    {"Kinnari", "serif"}, {"Baskervald ADF Std", "serif"}, {"Averia Serif GWF", "serif"}, {"Verana", "serif"},
    {"Nimbus Mono PS", "mono"}, {"Inconsolata", "mono"}, {"Hack", "mono"}, {"Fira Code", "mono"},
    {"JetBrains Mono", "mono"}, {"Anonymous Pro", "mono"}, {"Fantasque Sans Mono", "mono"}, {"Hermit", "mono"},
    {"mononoki", "mono"}, {"IBM 3270", "mono"}, {"Agave", "mono"}, {"Monoid", "mono"}, {"Noto Mono", "mono"},
    {"PT Mono", "mono"}, {"Go Mono", "mono"}, {"Tlwg Typist", "mono"}, {"CMU Typewriter Text", "mono"},
    {"B612 Mono", "mono"}, {"Oxygen Mono", "mono"}, {"M PLUS 1 Code", "mono"},
    {"Liberation Sans Narrow", "condensed"}, {"DejaVu Sans Condensed", "condensed"},
    {"DejaVu Serif Condensed", "condensed"}, {"Nimbus Sans Narrow", "condensed"}, {"Yanone Kaffeesatz", "condensed"},
    {"Open Sans Condensed", "condensed"}, {"PT Sans Narrow", "condensed"}, {"IBM 3270 Condensed", "condensed"},
    {"Bebas Neue", "condensed"}, {"CMU Sans Serif Demi Condensed", "condensed"},
    {"Routed Gothic Narrow", "condensed"},
    {"Quicksand", "rounded"}, {"Dosis", "rounded"}, {"Comic Neue", "rounded"}, {"Routed Gothic", "rounded"},
    {"TeX Gyre Adventor", "display"}, {"URW Gothic", "display"}, {"Jura", "display"},
    {"League Spartan", "display"},
};
static_assert(std::size(kFaceSplit) == static_cast<std::size_t>(kDigitFontCount), "every face is on one side");

const FaceSplit& split_of(DigitFont font) { return kFaceSplit[static_cast<int>(font)]; }

// The standard split's benchmark faces are drawn at their own proportions
// whichever split is measured, so that a face's cards are the same in both.
bool own_proportions(DigitFont font) { return split_of(font).standard == FaceSide::Benchmark; }

// The reverse split's typefaces: none of a sans or mono kind, and no cut of a
// family whose mono is a benchmark face there.
std::vector<Typeface> reverse_training_typefaces()
{
    std::vector<Typeface> faces;
    for (const Typeface& face : kTrainingTypefaces) {
        const std::string family = face.family, kind = face.kind;
        if (kind == "sans" || kind == "mono" || family.rfind("DejaVu", 0) == 0 || family.rfind("Liberation", 0) == 0)
            continue;
        faces.push_back(face);
    }
    return faces;
}

}  // namespace

FamilySplit family_split()
{
    static const FamilySplit split = [] {
        const char* value = std::getenv("HYBRID_FAMILY_SPLIT");
        return value && std::strcmp(value, "reverse") == 0 ? FamilySplit::Reverse : FamilySplit::Standard;
    }();
    return split;
}

std::string split_description(FamilySplit split)
{
    std::string text = split == FamilySplit::Reverse ? "reverse" : "standard";
    const char* separator = " (benchmark families: ";
    for (DigitFont font : faces_on(FaceSide::Benchmark, split)) {
        text += separator;
        text += face_family(font);
        separator = ", ";
    }
    return text + ")";
}

FaceSide face_side(DigitFont font, FamilySplit split)
{
    return split == FamilySplit::Reverse ? split_of(font).reverse : split_of(font).standard;
}

const char* face_family(DigitFont font) { return split_of(font).family; }

const std::vector<Typeface>& training_typefaces(FamilySplit split)
{
    static const std::vector<Typeface> reverse = reverse_training_typefaces();
    return split == FamilySplit::Reverse ? reverse : kTrainingTypefaces;
}

std::vector<DigitFont> faces_on(FaceSide side, FamilySplit split)
{
    std::vector<DigitFont> faces;
    for (const FaceSplit& face : kFaceSplit)
        if (face_side(face.font, split) == side)
            faces.push_back(face.font);
    return faces;
}

const char* background_name(Background background)
{
    switch (background) {
    case Background::Solid: return "solid";
    case Background::Gradient: return "gradient";
    case Background::Texture: return "texture";
    case Background::Shapes: return "shapes";
    case Background::Mixed: return "mixed";
    case Background::Count: break;
    }
    return "?";
}

namespace {

// What every training preset adds to the faces and cards of its own: the
// many typefaces and the drawn digits (in the digit presets about as often
// as the six original faces together), and the worn, glossy, dark and busy
// cards of the field.
void widen_training_world(CardStyle& style, double typefaces, double drawn)
{
    style.font_weights[static_cast<std::size_t>(DigitFont::TrainingTypeface)] = typefaces;
    style.font_weights[static_cast<std::size_t>(DigitFont::DrawnDigits)] = drawn;
    style.worn_foil_share = 0.35;
    style.hologram_share = 0.2;
    style.crossing_design_share = 0.3;
    style.dark_card_share = 0.15;
    style.camera.motion_blur_share = 0.2;
    style.camera.defocus_share = 0.15;
    style.camera.specular_share = 0.15;
}

}  // namespace

// The presets keep fonts and backgrounds in different proportions so that the
// three digit networks disagree on different cards, and so that the held-out
// set checks generalisation rather than recall.
CardStyle style_preset(const std::string& name, FamilySplit split)
{
    CardStyle style;
    style.split = split;
    style.embossed_on_standard_line = !(name == "stripe" || name == "a" || name == "b" || name == "c");
    // Unfoiled relief on busy backgrounds is where reading fails (only the
    // light tells the digit from the card there), so the training presets
    // draw more of it than the default; the held-out preset keeps its own
    // proportions.
    if (name == "stripe") {
        style.font_weights = {1, 1, 1, 1, 1, 1.5};
        widen_training_world(style, 8, 3);
        style.background_weights = {0.6, 1, 1.5, 1.3, 1.5};
        style.foil_share = 0.25;
        style.flat_print_share = 0.15;
        style.stripe_y_min = 122;
        style.stripe_y_max = 178;
    } else if (name == "a") {
        style.font_weights = {3, 1, 1, 1, 0.5, 2.5};
        widen_training_world(style, 6, 2.5);
        style.background_weights = {0.7, 1, 1.5, 1, 1.5};
        style.foil_share = 0.25;
        style.flat_print_share = 0.15;
    } else if (name == "b") {
        style.font_weights = {1, 2, 2, 1, 1, 2};
        widen_training_world(style, 6, 2.5);
        style.background_weights = {0.5, 1, 1.5, 1.2, 1.3};
        style.flat_print_share = 0.2;
        style.foil_share = 0.2;
    } else if (name == "c") {
        style.font_weights = {1, 1, 0.5, 2, 2, 2.5};
        widen_training_world(style, 6, 2.5);
        style.background_weights = {0.7, 0.5, 1.2, 1.5, 1.5};
        style.foil_share = 0.3;
        style.flat_print_share = 0.15;
    } else if (name == "heldout") {
        style.font_weights = {2, 1, 1, 1, 1, 3};
        style.background_weights = {0.5, 1, 2, 1, 2};
        style.flat_print_share = 0.15;
        style.foil_share = 0.25;
    } else if (name == "benchmark") {
        // The held-out preset's cards in the benchmark families, each family
        // as often as the others, and both layouts equally often so that
        // each family has a figure for each.
        style.font_weights = {};
        for (DigitFont font : faces_on(FaceSide::Benchmark, split))
            style.font_weights[static_cast<std::size_t>(font)] = 1;
        style.background_weights = {0.5, 1, 2, 1, 2};
        style.flat_print_share = 0.15;
        style.foil_share = 0.25;
        style.fifteen_digit_share = 0.5;
    }
    if (split == FamilySplit::Reverse && name != "benchmark") {
        // The standard split's benchmark faces train, each about as often as
        // one of the original faces; the sans ones are kept out.
        for (const FaceSplit& face : kFaceSplit) {
            const DigitFont font = face.font;
            double& weight = style.font_weights[static_cast<std::size_t>(font)];
            if (face_side(font, split) == FaceSide::Benchmark)
                weight = 0;
            else if (own_proportions(font))
                weight = 1;
        }
    }
    return style;
}

std::vector<std::string> style_preset_names() { return {"stripe", "a", "b", "c", "heldout", "benchmark"}; }

int CardTruth::rounded_stripe_y() const { return static_cast<int>(std::lround(stripe_y)); }
int CardTruth::rounded_cell_x(std::size_t i) const { return static_cast<int>(std::lround(cell_x.at(i))); }

std::string CardTruth::to_json() const
{
    std::ostringstream out;
    out.precision(6);
    out << "{\"number\":\"" << number << "\",\"pattern_type\":" << pattern_type << ",\"stripe_y\":" << stripe_y
        << ",\"pitch\":" << pitch << ",\"glyph_height\":" << glyph_height << ",\"font\":\""
        << digit_font_name(font) << "\",\"background\":\"" << background_name(background)
        << "\",\"embossed\":" << (embossed ? "true" : "false") << ",\"foil\":" << (foil ? "true" : "false")
        << ",\"legibility\":" << legibility;
    // Written only where it means something, so that the training presets'
    // ground truth stays byte for byte as it was.
    if (stroke_weight > 0)
        out << ",\"stroke_weight\":" << stroke_weight;
    if (!typeface.empty())
        out << ",\"typeface\":\"" << typeface << "\",\"bold\":" << (typeface_bold ? "true" : "false");
    if (face_seed != 0)
        out << ",\"face_seed\":" << face_seed;
    out << ",\"cell_x\":[";
    for (std::size_t i = 0; i < cell_x.size(); ++i)
        out << (i ? "," : "") << cell_x[i];
    out << "]}";
    return out.str();
}

bool luhn_valid(const std::string& digits)
{
    int sum = 0;
    bool twice = false;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        int d = *it - '0';
        if (twice) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        sum += d;
        twice = !twice;
    }
    return sum % 10 == 0;
}

std::string random_card_number(Rng& rng, int length)
{
    std::string number;
    if (length == 15) {
        number = rng.chance(0.5) ? "34" : "37";
    } else {
        // Issuer rows of the prefix table that have a 16-digit length and match
        // no other row, so the core's exact lookup recognises them.
        static const std::vector<std::pair<int, int>> ranges = {
            {4, 4}, {51, 55}, {3528, 3589}, {6011, 6011}, {50, 50}, {56, 59},
            {61, 61}, {62, 62}, {63, 63}, {644, 649}, {65, 65}, {66, 69}, {88, 88}};
        static const std::vector<double> weights = {5, 4, 1, 1, 0.5, 0.5, 0.5, 1, 0.5, 0.5, 0.5, 0.5, 0.5};
        const auto& range = ranges[rng.pick(weights)];
        number = std::to_string(rng.integer(range.first, range.second));
    }
    while (static_cast<int>(number.size()) < length - 1)
        number.push_back(static_cast<char>('0' + rng.integer(0, 9)));
    for (char check = '0'; check <= '9'; ++check) {
        if (luhn_valid(number + check)) {
            number.push_back(check);
            break;
        }
    }
    return number;
}

namespace {

using Color = cv::Vec3d;   // B, G, R in 0..255

Color random_color(Rng& rng)
{
    // Cards are as often dark as light; a share is nearly grey.
    const double base = rng.uniform(10, 245);
    const double spread = rng.chance(0.3) ? 15 : 90;
    Color c;
    for (int i = 0; i < 3; ++i)
        c[i] = std::clamp(base + rng.uniform(-spread, spread), 0.0, 255.0);
    return c;
}

void set_source(cairo_t* cr, const Color& c, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, c[2] / 255.0, c[1] / 255.0, c[0] / 255.0, alpha);
}

// Noise of several scales, 0..1, for textured backgrounds.
cv::Mat fractal_noise(Rng& rng, int octaves, double persistence)
{
    cv::Mat total(kCardHeight, kCardWidth, CV_32F, cv::Scalar(0));
    double amplitude = 1, norm = 0;
    int cells = rng.integer(3, 8);
    for (int o = 0; o < octaves; ++o) {
        const int w = std::max(2, cells), h = std::max(2, cells * kCardHeight / kCardWidth + 1);
        cv::Mat small(h, w, CV_32F);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                small.at<float>(y, x) = static_cast<float>(rng.uniform());
        cv::Mat big;
        cv::resize(small, big, total.size(), 0, 0, cv::INTER_CUBIC);
        total += big * amplitude;
        norm += amplitude;
        amplitude *= persistence;
        cells *= 2;
    }
    total /= norm;
    cv::normalize(total, total, 0, 1, cv::NORM_MINMAX);
    return total;
}

void paint_gradient(cairo_t* cr, Rng& rng)
{
    cairo_pattern_t* pattern;
    if (rng.chance(0.7)) {
        const double angle = rng.uniform(0, 2 * kPi);
        const double cx = kCardWidth / 2.0, cy = kCardHeight / 2.0, r = 250;
        pattern = cairo_pattern_create_linear(cx - r * std::cos(angle), cy - r * std::sin(angle),
                                              cx + r * std::cos(angle), cy + r * std::sin(angle));
    } else {
        const double x = rng.uniform(0, kCardWidth), y = rng.uniform(0, kCardHeight);
        pattern = cairo_pattern_create_radial(x, y, 5, x, y, rng.uniform(150, 450));
    }
    const int stops = rng.integer(2, 4);
    for (int i = 0; i < stops; ++i) {
        const Color c = random_color(rng);
        cairo_pattern_add_color_stop_rgb(pattern, i / double(stops - 1), c[2] / 255, c[1] / 255, c[0] / 255);
    }
    cairo_set_source(cr, pattern);
    cairo_paint(cr);
    cairo_pattern_destroy(pattern);
}

void paint_texture(CairoCanvas& canvas, Rng& rng, double opacity)
{
    cv::Mat noise;
    if (rng.chance(0.3)) {
        // Brushed metal: fine noise smeared along one axis.
        cv::Mat fine(kCardHeight, kCardWidth, CV_32F);
        for (int y = 0; y < kCardHeight; ++y)
            for (int x = 0; x < kCardWidth; ++x)
                fine.at<float>(y, x) = static_cast<float>(rng.uniform());
        const bool across = rng.chance(0.7);
        cv::blur(fine, noise, across ? cv::Size(61, 1) : cv::Size(1, 41));
        cv::normalize(noise, noise, 0, 1, cv::NORM_MINMAX);
    } else {
        noise = fractal_noise(rng, rng.integer(2, 5), rng.uniform(0.35, 0.75));
        if (rng.chance(0.3)) {
            // Marble veins.
            for (int y = 0; y < noise.rows; ++y)
                for (int x = 0; x < noise.cols; ++x) {
                    float& v = noise.at<float>(y, x);
                    v = static_cast<float>(0.5 + 0.5 * std::sin(v * 18.0));
                }
        }
    }
    const Color a = random_color(rng), b = random_color(rng);
    cv::Mat pixels = canvas.pixels(CV_8UC4);
    for (int y = 0; y < kCardHeight; ++y)
        for (int x = 0; x < kCardWidth; ++x) {
            const double t = noise.at<float>(y, x);
            auto& p = pixels.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 3; ++c) {
                const double v = a[c] * (1 - t) + b[c] * t;
                p[c] = cv::saturate_cast<uchar>(p[c] * (1 - opacity) + v * opacity);
            }
        }
    cairo_surface_mark_dirty(canvas.surface);
}

void paint_shapes(cairo_t* cr, Rng& rng, int count)
{
    for (int i = 0; i < count; ++i) {
        set_source(cr, random_color(rng), rng.uniform(0.15, 0.9));
        switch (rng.integer(0, 3)) {
        case 0:
            cairo_arc(cr, rng.uniform(-50, kCardWidth + 50), rng.uniform(-50, kCardHeight + 50),
                      rng.uniform(10, 160), 0, 2 * kPi);
            cairo_fill(cr);
            break;
        case 1:
            cairo_save(cr);
            cairo_translate(cr, rng.uniform(0, kCardWidth), rng.uniform(0, kCardHeight));
            cairo_rotate(cr, rng.uniform(0, kPi));
            cairo_rectangle(cr, -rng.uniform(10, 200), -rng.uniform(5, 60), rng.uniform(20, 400),
                            rng.uniform(10, 120));
            cairo_fill(cr);
            cairo_restore(cr);
            break;
        case 2: {
            // Wave band across the card.
            const double y0 = rng.uniform(0, kCardHeight), amp = rng.uniform(5, 50);
            const double freq = rng.uniform(0.005, 0.04), phase = rng.uniform(0, 2 * kPi);
            const double thick = rng.uniform(4, 60);
            cairo_move_to(cr, 0, y0 + amp * std::sin(phase));
            for (int x = 0; x <= kCardWidth; x += 4)
                cairo_line_to(cr, x, y0 + amp * std::sin(phase + x * freq));
            for (int x = kCardWidth; x >= 0; x -= 4)
                cairo_line_to(cr, x, y0 + thick + amp * std::sin(phase + x * freq));
            cairo_close_path(cr);
            cairo_fill(cr);
            break;
        }
        default: {
            // Thin guilloche-like lines.
            cairo_set_line_width(cr, rng.uniform(0.5, 2.0));
            const int lines = rng.integer(3, 12);
            const double y0 = rng.uniform(0, kCardHeight), step = rng.uniform(2, 9);
            const double amp = rng.uniform(3, 30), freq = rng.uniform(0.01, 0.06);
            for (int l = 0; l < lines; ++l) {
                cairo_move_to(cr, 0, y0 + l * step);
                for (int x = 0; x <= kCardWidth; x += 3)
                    cairo_line_to(cr, x, y0 + l * step + amp * std::sin(x * freq + l * 0.4));
                cairo_stroke(cr);
            }
            break;
        }
        }
    }
}

void paint_background(CairoCanvas& canvas, Rng& rng, Background kind)
{
    cairo_t* cr = canvas.cr;
    switch (kind) {
    case Background::Solid:
        set_source(cr, random_color(rng));
        cairo_paint(cr);
        break;
    case Background::Gradient:
        paint_gradient(cr, rng);
        break;
    case Background::Texture:
        set_source(cr, random_color(rng));
        cairo_paint(cr);
        paint_texture(canvas, rng, 1.0);
        break;
    case Background::Shapes:
        set_source(cr, random_color(rng));
        cairo_paint(cr);
        paint_shapes(cr, rng, rng.integer(3, 14));
        break;
    case Background::Mixed:
    case Background::Count:
        paint_gradient(cr, rng);
        paint_texture(canvas, rng, rng.uniform(0.2, 0.6));
        paint_shapes(cr, rng, rng.integer(2, 8));
        break;
    }
}

const char* toy_family(DigitFont font)
{
    switch (font) {
    case DigitFont::OcrB: return "OCR B";
    case DigitFont::OcrA: return "OCRA";
    case DigitFont::DejaVuSansMonoBold: return "DejaVu Sans Mono";
    case DigitFont::LiberationMonoBold: return "Liberation Mono";
    case DigitFont::FreeMonoBold: return "FreeMono";
    case DigitFont::CaladeaSerif: return "Caladea";
    case DigitFont::ComfortaaRounded: return "Comfortaa";
    case DigitFont::RobotoCondensedBold: return "Roboto Condensed";
    default: return "DejaVu Sans Mono";
    }
}

bool toy_bold(DigitFont font)
{
    return font == DigitFont::DejaVuSansMonoBold || font == DigitFont::LiberationMonoBold ||
           font == DigitFont::FreeMonoBold;
}

// Block digits on a 4 x 6 grid, drawn as strokes with square ends. Like the
// embossers' machine-readable block faces, no two digits differ by a single
// bar (as 5, 6, 8, 9 and 0 would in seven segments): the 6 and the 9 lean, the
// 3 and the 2 cut across, and the 8's upper loop is narrower than its lower.
const std::vector<std::vector<cv::Point2d>>& blocky_strokes(int digit)
{
    static const std::vector<std::vector<cv::Point2d>> glyphs[10] = {
        {{{0, 0}, {4, 0}, {4, 6}, {0, 6}, {0, 0}}},
        {{{1, 1}, {2.2, 0}, {2.2, 6}}, {{0.8, 6}, {3.6, 6}}},
        {{{0, 0}, {4, 0}, {4, 2.5}, {0, 6}, {4, 6}}},
        {{{0, 0}, {4, 0}, {1.6, 2.7}, {4, 2.7}, {4, 6}, {0, 6}}},
        {{{0, 0}, {0, 4}, {4, 4}}, {{3, 1.5}, {3, 6}}},
        {{{4, 0}, {0, 0}, {0, 2.8}, {4, 2.8}, {4, 6}, {0, 6}}},
        {{{3.6, 0}, {0, 3}}, {{0, 3}, {0, 6}, {4, 6}, {4, 3}, {0, 3}}},
        {{{0, 0}, {4, 0}, {1.6, 6}}},
        {{{0.6, 0}, {3.4, 0}, {3.4, 2.8}, {0.6, 2.8}, {0.6, 0}}, {{0, 2.8}, {4, 2.8}, {4, 6}, {0, 6}, {0, 2.8}}},
        {{{4, 3}, {0, 3}, {0, 0}, {4, 0}, {4, 3}, {0.4, 6}}},
    };
    return glyphs[digit];
}

struct GlyphBox {
    double center_x, center_y, width, height;
};

void draw_blocky_digit(cairo_t* cr, int digit, const GlyphBox& box)
{
    const double stroke = box.width * 0.24;
    const double sx = (box.width - stroke) / 4.0, sy = (box.height - stroke) / 6.0;
    const double x0 = box.center_x - (box.width - stroke) / 2, y0 = box.center_y - (box.height - stroke) / 2;
    cairo_set_line_width(cr, stroke);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    for (const auto& stroke_points : blocky_strokes(digit)) {
        cairo_move_to(cr, x0 + stroke_points[0].x * sx, y0 + stroke_points[0].y * sy);
        for (std::size_t i = 1; i < stroke_points.size(); ++i)
            cairo_line_to(cr, x0 + stroke_points[i].x * sx, y0 + stroke_points[i].y * sy);
        cairo_stroke(cr);
    }
}

// One glyph of a text face, centred on its slot, its ink spanning the box's
// height: its 8 scaled to the box's width too, or, keeping the face's
// own proportions, narrowed only where the 8 would not fit.
void draw_scaled_text_glyph(cairo_t* cr, const char* family, bool bold, char ch, const GlyphBox& box,
                            bool keep_proportions)
{
    const std::lock_guard<std::mutex> lock(text_mutex());
    cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 100);
    cairo_text_extents_t eight;
    cairo_text_extents(cr, "8", &eight);
    const double sy = box.height / eight.height * 100;
    const double sx = keep_proportions ? std::min(sy, box.width / eight.width * 100) : box.width / eight.width * 100;
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, sx, sy);
    cairo_set_font_matrix(cr, &matrix);
    cairo_text_extents(cr, "8", &eight);
    const char text[2] = {ch, 0};
    cairo_text_extents_t glyph;
    cairo_text_extents(cr, text, &glyph);
    const double baseline = box.center_y - (eight.y_bearing + eight.height / 2);
    cairo_move_to(cr, box.center_x - glyph.x_advance / 2, baseline);
    cairo_show_text(cr, text);
}

void draw_text_glyph(cairo_t* cr, DigitFont font, char ch, const GlyphBox& box)
{
    draw_scaled_text_glyph(cr, toy_family(font), toy_bold(font), ch, box, false);
}

// Whether fontconfig finds `family` itself rather than a substitute, which
// it would hand out without a word.
bool family_installed(const char* family)
{
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    bool found = false;
    FcChar8* name = nullptr;
    for (int i = 0; match && !found && FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
        found = FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0;
    if (match)
        FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return found;
}

bool is_procedural(DigitFont font) { return font == DigitFont::StrokeDrawn || font == DigitFont::DotMatrix; }

// Benchmark faces must be the faces they are named after: a figure measured
// on a fallback font would be a figure about the wrong type. Checked once
// per process.
void require_benchmark_font(DigitFont font)
{
    static const std::array<bool, kDigitFontCount> installed = [] {
        std::array<bool, kDigitFontCount> present{};
        for (int i = 0; i < kDigitFontCount; ++i) {
            const auto face = static_cast<DigitFont>(i);
            present[static_cast<std::size_t>(i)] = is_procedural(face) || !own_proportions(face) ||
                                                   family_installed(toy_family(face));
        }
        return present;
    }();
    if (!installed[static_cast<std::size_t>(font)]) {
        std::fprintf(stderr, "card_renderer: the font \"%s\" of benchmark face %s is not installed (scripts/deps)\n",
                     toy_family(font), digit_font_name(font));
        std::abort();
    }
}

// A benchmark text face at its own proportions: scaled to the digits' height,
// and narrowed only where its 8 would not fit the width.
void draw_benchmark_text_glyph(cairo_t* cr, DigitFont font, char ch, const GlyphBox& box)
{
    require_benchmark_font(font);
    draw_scaled_text_glyph(cr, toy_family(font), true, ch, box, true);
}

// Pen-drawn digits on a 4 x 6 grid: curves where type has curves, one pen
// width throughout and round terminals, so they share no outline with any
// font or with the square-ended block digits.
void stroke_drawn_path(cairo_t* cr, char ch)
{
    auto ellipse = [cr](double cx, double cy, double rx, double ry) {
        cairo_new_sub_path(cr);
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
        cairo_restore(cr);
    };
    switch (ch) {
    case '0': ellipse(2, 3, 2, 3); break;
    case '1':
        cairo_move_to(cr, 0.8, 1.2);
        cairo_line_to(cr, 2.3, 0);
        cairo_line_to(cr, 2.3, 6);
        break;
    case '2':
        cairo_move_to(cr, 0.1, 1.5);
        cairo_curve_to(cr, 0.1, -0.5, 4, -0.5, 3.9, 1.7);
        cairo_curve_to(cr, 3.8, 3.2, 1, 4.2, 0, 6);
        cairo_line_to(cr, 4, 6);
        break;
    case '3':
        cairo_move_to(cr, 0.2, 0.9);
        cairo_curve_to(cr, 1, -0.3, 3.9, -0.3, 3.7, 1.4);
        cairo_curve_to(cr, 3.6, 2.5, 2.5, 2.8, 1.6, 2.8);
        cairo_curve_to(cr, 3.1, 2.8, 4.1, 3.5, 4, 4.5);
        cairo_curve_to(cr, 3.9, 6.3, 0.8, 6.4, 0, 5.1);
        break;
    case '4':
        cairo_move_to(cr, 3, 6);
        cairo_line_to(cr, 3, 0);
        cairo_line_to(cr, 0, 4.2);
        cairo_line_to(cr, 4, 4.2);
        break;
    case '5':
        cairo_move_to(cr, 3.8, 0);
        cairo_line_to(cr, 0.5, 0);
        cairo_line_to(cr, 0.3, 2.7);
        cairo_curve_to(cr, 1.6, 1.8, 4, 2.1, 4, 4.1);
        cairo_curve_to(cr, 4, 6.3, 0.8, 6.4, 0, 5.2);
        break;
    case '6':
        cairo_move_to(cr, 3.5, 0.4);
        cairo_curve_to(cr, 1.4, -0.6, 0, 1.4, 0, 4.2);
        ellipse(2, 4.3, 2, 1.7);
        break;
    case '7':
        cairo_move_to(cr, 0, 0);
        cairo_line_to(cr, 4, 0);
        cairo_curve_to(cr, 2.6, 2, 1.7, 4, 1.5, 6);
        break;
    case '8':
        ellipse(2, 1.5, 1.7, 1.5);
        ellipse(2, 4.4, 2, 1.6);
        break;
    case '9':
        ellipse(2, 1.7, 2, 1.7);
        cairo_move_to(cr, 4, 1.7);
        cairo_curve_to(cr, 4, 4.6, 2.6, 6.6, 0.5, 5.6);
        break;
    case '/':
        cairo_move_to(cr, 3.4, 0);
        cairo_line_to(cr, 0.6, 6);
        break;
    default: break;
    }
}

void draw_stroke_drawn(cairo_t* cr, char ch, const GlyphBox& box, double weight)
{
    const double pen = std::max(1.0, weight * box.width);
    const double sx = (box.width - pen) / 4.0, sy = (box.height - pen) / 6.0;
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, box.center_x - (box.width - pen) / 2, box.center_y - (box.height - pen) / 2);
    cairo_scale(cr, sx, sy);
    stroke_drawn_path(cr, ch);
    // The path is kept in device space; the pen is set after the scale is
    // undone, so that it stays round.
    cairo_restore(cr);
    cairo_set_line_width(cr, pen);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

// The 5 x 7 dot patterns of character displays and dot printers, top row
// first, most significant of five bits on the left.
const std::array<std::uint8_t, 7>* dot_matrix_rows(char ch)
{
    static const std::array<std::uint8_t, 7> digits[10] = {
        {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
        {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
        {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
        {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
        {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}};
    static const std::array<std::uint8_t, 7> slash = {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10};
    if (ch >= '0' && ch <= '9')
        return &digits[ch - '0'];
    return ch == '/' ? &slash : nullptr;
}

void draw_dot_matrix(cairo_t* cr, char ch, const GlyphBox& box, double weight)
{
    const auto* rows = dot_matrix_rows(ch);
    if (!rows)
        return;
    const double radius = std::max(0.6, weight * box.width);
    const double dx = (box.width - 2 * radius) / 4.0, dy = (box.height - 2 * radius) / 6.0;
    const double x0 = box.center_x - box.width / 2 + radius, y0 = box.center_y - box.height / 2 + radius;
    cairo_new_path(cr);
    for (int row = 0; row < 7; ++row)
        for (int column = 0; column < 5; ++column)
            if ((*rows)[static_cast<std::size_t>(row)] & (0x10 >> column)) {
                cairo_new_sub_path(cr);
                cairo_arc(cr, x0 + column * dx, y0 + row * dy, radius, 0, 2 * kPi);
            }
    cairo_fill(cr);
}

void draw_benchmark_glyph(cairo_t* cr, DigitFont font, char ch, const GlyphBox& box, double stroke_weight)
{
    const bool drawn_by_us = (ch >= '0' && ch <= '9') || ch == '/';
    if (font == DigitFont::StrokeDrawn && drawn_by_us)
        draw_stroke_drawn(cr, ch, box, stroke_weight);
    else if (font == DigitFont::DotMatrix && drawn_by_us)
        draw_dot_matrix(cr, ch, box, stroke_weight);
    else
        draw_benchmark_text_glyph(cr, is_procedural(font) ? DigitFont::RobotoCondensedBold : font, ch, box);
}

// A training typeface must be the family named in the truth, or the cards
// of a seed would change with the fonts installed; checked once per process.
void draw_typeface_glyph(cairo_t* cr, const std::string& family, bool bold, char ch, const GlyphBox& box)
{
    static const std::vector<std::string> missing = [] {
        std::vector<std::string> names;
        for (const Typeface& face : kTrainingTypefaces)
            if (!family_installed(face.family))
                names.emplace_back(face.family);
        return names;
    }();
    if (std::find(missing.begin(), missing.end(), family) != missing.end()) {
        std::fprintf(stderr, "card_renderer: the training typeface \"%s\" is not installed (scripts/deps)\n",
                     family.c_str());
        std::abort();
    }
    draw_scaled_text_glyph(cr, family.c_str(), bold, ch, box, true);
}

void draw_glyph(cairo_t* cr, const CardTruth& truth, char ch, const GlyphBox& box)
{
    const DigitFont font = truth.font;
    const bool digit = ch >= '0' && ch <= '9';
    if (own_proportions(font))
        draw_benchmark_glyph(cr, font, ch, box, truth.stroke_weight);
    else if (font == DigitFont::DrawnDigits && (digit || ch == '/'))
        draw_drawn_character(cr, drawn_face(truth.face_seed), ch, box.center_x, box.center_y, box.width, box.height);
    else if (font == DigitFont::TrainingTypeface || font == DigitFont::DrawnDigits)
        draw_typeface_glyph(cr, truth.typeface, truth.typeface_bold, ch, box);
    else if (font == DigitFont::Blocky && digit)
        draw_blocky_digit(cr, ch - '0', box);
    else
        draw_text_glyph(cr, font == DigitFont::Blocky ? DigitFont::OcrB : font, ch, box);
}

Color mean_color(const cv::Mat& card, cv::Rect area)
{
    area &= cv::Rect(0, 0, card.cols, card.rows);
    const cv::Scalar m = cv::mean(card(area));
    return Color(m[0], m[1], m[2]);
}

std::string random_word(Rng& rng, int min_length, int max_length)
{
    std::string word;
    const int n = rng.integer(min_length, max_length);
    for (int i = 0; i < n; ++i)
        word.push_back(static_cast<char>('A' + rng.integer(0, 25)));
    return word;
}

void draw_text_line(cairo_t* cr, const CardTruth& truth, const std::string& text, double x, double center_y,
                    double height, double pitch)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ')
            continue;
        draw_glyph(cr, truth, text[i], GlyphBox{x + pitch * (i + 0.5), center_y, pitch * 0.72, height});
    }
}

void paint_furniture(CairoCanvas& canvas, Rng& rng, double stripe_y)
{
    cairo_t* cr = canvas.cr;
    // Issuer name at the top.
    if (rng.chance(0.85)) {
        const std::lock_guard<std::mutex> lock(text_mutex());
        set_source(cr, random_color(rng));
        cairo_select_font_face(cr, rng.chance(0.5) ? "DejaVu Sans" : "Liberation Serif", CAIRO_FONT_SLANT_NORMAL,
                               rng.chance(0.5) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, rng.uniform(16, 34));
        cairo_move_to(cr, rng.uniform(15, 200), rng.uniform(35, 70));
        const std::string name = random_word(rng, 3, 9) + (rng.chance(0.5) ? " BANK" : "");
        cairo_show_text(cr, name.c_str());
    }
    // Chip above the number line.
    if (rng.chance(0.8)) {
        const double w = rng.uniform(44, 58), h = rng.uniform(34, 42);
        const double x = rng.uniform(30, 80);
        const double y = std::max(30.0, stripe_y - 5 - h - rng.uniform(0, 25));
        const Color gold = rng.chance(0.6) ? Color(rng.uniform(60, 110), rng.uniform(160, 200), rng.uniform(200, 240))
                                           : Color(190, 190, 195);
        set_source(cr, gold);
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
        set_source(cr, gold * 0.6);
        cairo_set_line_width(cr, 1.2);
        cairo_rectangle(cr, x, y, w, h);
        cairo_move_to(cr, x, y + h / 3);
        cairo_line_to(cr, x + w, y + h / 3);
        cairo_move_to(cr, x, y + 2 * h / 3);
        cairo_line_to(cr, x + w, y + 2 * h / 3);
        cairo_move_to(cr, x + w / 2, y);
        cairo_line_to(cr, x + w / 2, y + h);
        cairo_stroke(cr);
    }
    // Network logo in a corner: overlapping discs or a word.
    if (rng.chance(0.7)) {
        const double x = rng.uniform(300, 390), y = rng.chance(0.6) ? rng.uniform(215, 245) : rng.uniform(30, 60);
        const double r = rng.uniform(12, 20);
        set_source(cr, random_color(rng), 0.95);
        cairo_arc(cr, x, y, r, 0, 2 * kPi);
        cairo_fill(cr);
        set_source(cr, random_color(rng), 0.8);
        cairo_arc(cr, x + r * 1.2, y, r, 0, 2 * kPi);
        cairo_fill(cr);
    }
    // Hologram-like patch.
    if (rng.chance(0.25)) {
        cairo_pattern_t* pattern = cairo_pattern_create_linear(0, 0, 40, 30);
        for (int i = 0; i < 5; ++i) {
            const Color c = random_color(rng);
            cairo_pattern_add_color_stop_rgb(pattern, i / 4.0, c[2] / 255, c[1] / 255, c[0] / 255);
        }
        cairo_set_source(cr, pattern);
        cairo_rectangle(cr, rng.uniform(320, 370), rng.uniform(95, 120), 45, 30);
        cairo_fill(cr);
        cairo_pattern_destroy(pattern);
    }
}

// Lines and bands of the design that run through the number, as many
// issuers' artwork does: waves, sweeping curves, fine line patterns.
void paint_crossing_design(cairo_t* cr, Rng& rng, double stripe_y)
{
    const int count = rng.integer(1, 4);
    for (int i = 0; i < count; ++i) {
        set_source(cr, random_color(rng), rng.uniform(0.3, 0.95));
        const double y0 = stripe_y + rng.uniform(-10, kStripeHeight + 10);
        const double amp = rng.uniform(2, 25), freq = rng.uniform(0.005, 0.05), phase = rng.uniform(0, 2 * kPi);
        const double tilt = rng.uniform(-0.25, 0.25);
        auto y_at = [&](double x) { return y0 + tilt * (x - kCardWidth / 2.0) + amp * std::sin(phase + x * freq); };
        if (rng.chance(0.5)) {
            cairo_set_line_width(cr, rng.uniform(0.6, 6));
            const int lines = rng.chance(0.5) ? 1 : rng.integer(3, 9);
            const double step = rng.uniform(2, 7);
            for (int l = 0; l < lines; ++l) {
                cairo_move_to(cr, 0, y_at(0) + l * step);
                for (int x = 4; x <= kCardWidth; x += 4)
                    cairo_line_to(cr, x, y_at(x) + l * step);
                cairo_stroke(cr);
            }
        } else {
            const double thick = rng.uniform(6, 40);
            cairo_move_to(cr, 0, y_at(0));
            for (int x = 4; x <= kCardWidth; x += 4)
                cairo_line_to(cr, x, y_at(x));
            for (int x = kCardWidth; x >= 0; x -= 4)
                cairo_line_to(cr, x, y_at(x) + thick);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
    }
}

// A diffraction foil: rainbow bands under a fine grating, as a square, an
// oval or a strip, often where the number goes.
void paint_hologram(cairo_t* cr, Rng& rng, double stripe_y)
{
    const double w = rng.uniform(30, 110), h = rng.uniform(20, 70);
    const double x = rng.uniform(10, kCardWidth - w - 10);
    const double y = rng.chance(0.6) ? stripe_y + rng.uniform(-h + 8, kStripeHeight - 8)
                                     : rng.uniform(10, kCardHeight - h - 10);
    cairo_save(cr);
    if (rng.chance(0.4)) {
        cairo_save(cr);
        cairo_translate(cr, x + w / 2, y + h / 2);
        cairo_scale(cr, w / 2, h / 2);
        cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
        cairo_restore(cr);
    } else {
        cairo_rectangle(cr, x, y, w, h);
    }
    cairo_clip(cr);
    const double angle = rng.uniform(0, kPi);
    cairo_pattern_t* rainbow = cairo_pattern_create_linear(x, y, x + w * std::cos(angle), y + h * std::sin(angle));
    const int stops = rng.integer(4, 9);
    const double hue0 = rng.uniform(0, 1);
    for (int i = 0; i < stops; ++i) {
        const double hue = std::fmod(hue0 + i * 0.17, 1.0) * 2 * kPi;
        const double light = rng.uniform(150, 240);
        cairo_pattern_add_color_stop_rgb(rainbow, i / double(stops - 1),
                                         (light + 60 * std::cos(hue)) / 300, (light + 60 * std::cos(hue - 2.1)) / 300,
                                         (light + 60 * std::cos(hue + 2.1)) / 300);
    }
    cairo_set_source(cr, rainbow);
    cairo_paint_with_alpha(cr, rng.uniform(0.6, 1.0));
    cairo_pattern_destroy(rainbow);
    set_source(cr, Color(255, 255, 255), rng.uniform(0.1, 0.35));
    cairo_set_line_width(cr, 0.7);
    const double step = rng.uniform(1.5, 3.5), lean = rng.uniform(-1, 1) * h;
    for (double gx = x - std::abs(lean); gx < x + w + std::abs(lean); gx += step) {
        cairo_move_to(cr, gx, y);
        cairo_line_to(cr, gx + lean, y + h);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

// Where the foil tipping is left (1) and rubbed off (0): patches, darkest
// where the number stands proudest and rubs most.
cv::Mat foil_wear(Rng& rng)
{
    cv::Mat noise = fractal_noise(rng, rng.integer(2, 4), rng.uniform(0.4, 0.7));
    const double kept = rng.uniform(0.3, 0.85);
    cv::Mat wear;
    cv::threshold(noise, wear, 1 - kept, 1.0, cv::THRESH_BINARY);
    cv::GaussianBlur(wear, wear, cv::Size(0, 0), rng.uniform(0.5, 2.0));
    return wear;
}

cv::Mat mask_from(CairoCanvas& canvas)
{
    cv::Mat alpha = canvas.pixels(CV_8UC1);
    cv::Mat mask;
    alpha.convertTo(mask, CV_32F, 1.0 / 255);
    return mask;
}

cv::Mat luma_of(const cv::Mat& bgr)
{
    cv::Mat grey;
    cv::transform(bgr, grey, cv::Matx13f(0.114f, 0.587f, 0.299f));
    return grey;
}

// The mean change a character makes around its strokes, over the mean edge
// strength of the bare design in its cell (at least a faint 1.5 grey levels,
// so that a plain card still asks for a visible character). The weakest
// character counts: one drowned digit is an unreadable number.
double characters_legibility(const cv::Mat& bare, const cv::Mat& with_characters, const cv::Mat& mask,
                             const std::vector<cv::Rect>& cells)
{
    const cv::Mat before = luma_of(bare), after = luma_of(with_characters);
    cv::Mat near, edges;
    cv::dilate(mask > 0.5f, near, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5)));
    cv::morphologyEx(before, edges, cv::MORPH_GRADIENT, cv::getStructuringElement(cv::MORPH_CROSS, cv::Size(3, 3)));
    const cv::Mat change = cv::abs(after - before);
    double weakest = std::numeric_limits<double>::infinity();
    for (const cv::Rect& box : cells) {
        const cv::Rect cell = box & cv::Rect(0, 0, bare.cols, bare.rows);
        if (cell.empty() || cv::countNonZero(near(cell)) == 0)
            continue;
        const double signal = cv::mean(change(cell), near(cell))[0];
        weakest = std::min(weakest, signal / std::max(cv::mean(edges(cell))[0], 1.5));
    }
    return std::isfinite(weakest) ? weakest : 0;
}

bool in_drawn_share(const CardStyle& style, int share)
{
    return style.withheld_share < 0 || (share == style.withheld_share) == style.only_withheld_share;
}

}  // namespace

int type_share(DigitFont font) { return static_cast<int>(font) % kTypeShares; }
int type_share(std::size_t typeface_index) { return static_cast<int>(typeface_index % kTypeShares); }

RenderedCard render_card(const CardStyle& style, std::uint64_t seed)
{
    Rng rng(seed);
    RenderedCard result;
    CardTruth& truth = result.truth;

    const int length = rng.chance(style.fifteen_digit_share) ? 15 : 16;
    truth.number = random_card_number(rng, length);
    truth.pattern_type = length == 16 ? 1 : 2;
    // Faces of no weight at the end are left out of the draw, so that a
    // preset written before later faces were added picks as it did.
    std::size_t weighted_faces = style.font_weights.size();
    while (weighted_faces > 1 && style.font_weights[weighted_faces - 1] == 0)
        --weighted_faces;
    std::vector<double> face_weights(style.font_weights.begin(),
                                     style.font_weights.begin() + static_cast<std::ptrdiff_t>(weighted_faces));
    if (style.withheld_share >= 0) {
        for (std::size_t i = 0; i < face_weights.size(); ++i) {
            // The typefaces are shared out one by one below; the drawn digits
            // belong to no share, so only a withheld share's cards leave them out.
            const auto font = static_cast<DigitFont>(i);
            const bool left_out = font == DigitFont::DrawnDigits        ? style.only_withheld_share
                                  : font == DigitFont::TrainingTypeface ? false
                                                                         : !in_drawn_share(style, type_share(font));
            if (left_out)
                face_weights[i] = 0;
        }
    }
    truth.font = static_cast<DigitFont>(rng.pick(face_weights));
    // Drawn only for the procedural faces, which no training preset uses.
    if (truth.font == DigitFont::StrokeDrawn)
        truth.stroke_weight = rng.uniform(0.14, 0.26);
    else if (truth.font == DigitFont::DotMatrix)
        truth.stroke_weight = rng.uniform(0.08, 0.12);
    Rng world(side_stream(seed, 1));
    if (truth.font == DigitFont::TrainingTypeface || truth.font == DigitFont::DrawnDigits) {
        const auto& faces = training_typefaces(style.split);
        std::vector<std::size_t> allowed;
        for (std::size_t i = 0; i < faces.size(); ++i)
            if (truth.font == DigitFont::DrawnDigits || in_drawn_share(style, type_share(i)))
                allowed.push_back(i);
        truth.typeface = faces[allowed[static_cast<std::size_t>(world.integer(0, static_cast<int>(allowed.size()) - 1))]].family;
        truth.typeface_bold = world.chance(0.6);
        if (truth.font == DigitFont::DrawnDigits)
            truth.face_seed = world.next();
    }
    truth.background = static_cast<Background>(
        rng.pick(std::vector<double>(style.background_weights.begin(), style.background_weights.end())));
    truth.embossed = !rng.chance(style.flat_print_share);
    truth.foil = truth.embossed && rng.chance(style.foil_share);
    truth.pitch = rng.uniform(style.pitch_min, style.pitch_max);
    truth.glyph_height = rng.uniform(style.glyph_height_min, style.glyph_height_max);
    const int band_top = static_cast<int>(style.stripe_y_min), band_bottom = static_cast<int>(style.stripe_y_max);
    truth.stripe_y = rng.integer(band_top, band_bottom);
    if (truth.embossed && style.embossed_on_standard_line) {
        // The same draw, spread over the tolerance instead of the band, so
        // that the rest of the card does not change with the setting.
        const double spread = band_bottom > band_top ? 2.0 * (truth.stripe_y - band_top) / (band_bottom - band_top) - 1 : 0;
        truth.stripe_y = std::round(kEmbossedBaselineRow - truth.glyph_height / 2 - kStripeHeight / 2.0 +
                                    spread * style.embossed_line_tolerance);
    }

    static const std::vector<int> slots16 = {1, 1, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1};
    static const std::vector<int> slots15 = {1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1};
    const auto& slots = length == 16 ? slots16 : slots15;
    const double span = truth.pitch * static_cast<double>(slots.size() - 1);
    const double x_max = std::min(70.0, kCardWidth - 24.0 - span);
    const double x_start = rng.uniform(22.0, std::max(23.0, x_max));
    for (std::size_t j = 0; j < slots.size(); ++j)
        if (slots[j])
            truth.cell_x.push_back(x_start + truth.pitch * static_cast<double>(j));

    // Background and printed furniture.
    CairoCanvas canvas(CAIRO_FORMAT_RGB24, kCardWidth, kCardHeight);
    paint_background(canvas, rng, truth.background);
    paint_furniture(canvas, rng, truth.stripe_y);
    if (world.chance(style.crossing_design_share))
        paint_crossing_design(canvas.cr, world, truth.stripe_y);
    if (world.chance(style.hologram_share))
        paint_hologram(canvas.cr, world, truth.stripe_y);
    cv::Mat card;
    cv::cvtColor(canvas.pixels(CV_8UC4), card, cv::COLOR_BGRA2BGR);
    card.convertTo(card, CV_32FC3);
    if (world.chance(style.dark_card_share))
        card *= world.uniform(0.08, 0.35);
    const bool worn = truth.foil && world.chance(style.worn_foil_share);

    // Number line.
    const double glyph_width =
        std::min(truth.pitch - 3.0, truth.glyph_height * rng.uniform(0.5, 0.72));
    {
        CairoCanvas digits(CAIRO_FORMAT_A8, kCardWidth, kCardHeight);
        cairo_set_source_rgba(digits.cr, 0, 0, 0, 1);
        for (std::size_t i = 0; i < truth.cell_x.size(); ++i) {
            const GlyphBox box{truth.cell_x[i] + kCellWidth / 2.0 + rng.uniform(-0.3, 0.3),
                               truth.stripe_y + kStripeHeight / 2.0 + rng.uniform(-0.3, 0.3), glyph_width,
                               truth.glyph_height};
            draw_glyph(digits.cr, truth, truth.number[i], box);
        }
        const Color under =
            mean_color(card, cv::Rect(static_cast<int>(truth.cell_x.front()), static_cast<int>(truth.stripe_y),
                                      static_cast<int>(span) + kCellWidth, kStripeHeight));
        const cv::Mat mask = mask_from(digits);
        Relief relief = random_relief(rng, truth.embossed, truth.foil, under);
        if (worn)
            relief.wear = foil_wear(world);
        // No issuer prints a design that drowns its own number: where the
        // number would not stand out, the design is muted until it does.
        std::vector<cv::Rect> cells;
        for (std::size_t i = 0; i < truth.cell_x.size(); ++i)
            cells.emplace_back(truth.rounded_cell_x(i), truth.rounded_stripe_y(), kCellWidth, kStripeHeight);
        const cv::Mat plain = card.clone();
        const cv::Scalar plain_mean = cv::mean(plain);
        double contrast = 1;
        for (int attempt = 0;; ++attempt) {
            card = plain_mean + (plain - plain_mean) * contrast;
            const cv::Mat design = card.clone();
            apply_relief(card, mask, relief);
            truth.legibility = characters_legibility(design, card, mask, cells);
            if (truth.legibility >= kMinNumberLegibility || attempt == 3 || contrast <= 0.15)
                break;
            contrast = std::max(0.15, contrast * truth.legibility / kMinNumberLegibility * 0.9);
        }
    }

    // Expiry and name lines below, in the same technique, smaller.
    {
        CairoCanvas lines(CAIRO_FORMAT_A8, kCardWidth, kCardHeight);
        cairo_set_source_rgba(lines.cr, 0, 0, 0, 1);
        const double line_height = truth.glyph_height * rng.uniform(0.55, 0.75);
        const double line_pitch = line_height * rng.uniform(0.7, 0.85);
        const double stripe_bottom = truth.stripe_y + kStripeHeight;
        const double expiry_y = stripe_bottom + rng.uniform(6, 16) + line_height / 2;
        char expiry[8];
        std::snprintf(expiry, sizeof expiry, "%02d/%02d", rng.integer(1, 12), rng.integer(20, 39));
        const double expiry_x = rng.uniform(120, 240);
        draw_text_line(lines.cr, truth, expiry, expiry_x, expiry_y, line_height, line_pitch);
        const double name_y = std::min(kCardHeight - line_height / 2 - 4,
                                       expiry_y + line_height + rng.uniform(5, 20));
        const std::string name = random_word(rng, 3, 8) + " " + random_word(rng, 4, 10);
        draw_text_line(lines.cr, truth, name, truth.cell_x.front() + rng.uniform(-5, 5), name_y, line_height,
                       line_pitch);
        const Color under = mean_color(card, cv::Rect(0, static_cast<int>(stripe_bottom), kCardWidth, 40));
        Relief line_relief = random_relief(rng, truth.embossed, truth.foil, under);
        if (worn)
            line_relief.wear = foil_wear(world);
        apply_relief(card, mask_from(lines), line_relief);
        // "VALID THRU" printed flat beside the date.
        CairoCanvas label(CAIRO_FORMAT_A8, kCardWidth, kCardHeight);
        cairo_set_source_rgba(label.cr, 0, 0, 0, 1);
        {
            const std::lock_guard<std::mutex> lock(text_mutex());
            cairo_select_font_face(label.cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
            cairo_set_font_size(label.cr, 5.5);
            cairo_move_to(label.cr, expiry_x - 22, expiry_y - 1);
            cairo_show_text(label.cr, "VALID");
            cairo_move_to(label.cr, expiry_x - 22, expiry_y + 5);
            cairo_show_text(label.cr, "THRU");
        }
        apply_relief(card, mask_from(label), random_relief(rng, false, false, under));
    }

    card.convertTo(result.color, CV_8UC3);
    return result;
}

void draw_card_character(cairo_t* cr, const CardTruth& truth, char ch, double center_x, double center_y,
                         double width, double height)
{
    if (ch != ' ')
        draw_glyph(cr, truth, ch, GlyphBox{center_x, center_y, width, height});
}

std::vector<std::string> missing_faces(const CardStyle& style)
{
    std::vector<std::string> missing;
    for (int i = 0; i < kDigitFontCount; ++i) {
        const auto font = static_cast<DigitFont>(i);
        if (style.font_weights[static_cast<std::size_t>(i)] <= 0 || is_procedural(font) ||
            face_side(font, style.split) == FaceSide::Training)
            continue;
        if (!family_installed(toy_family(font)))
            missing.push_back(std::string(digit_font_name(font)) + " (" + toy_family(font) + ")");
    }
    const bool procedural = style.font_weights[static_cast<std::size_t>(DigitFont::StrokeDrawn)] > 0 ||
                            style.font_weights[static_cast<std::size_t>(DigitFont::DotMatrix)] > 0;
    // Their letters (the name line) are drawn in the condensed face.
    if (procedural && !family_installed(toy_family(DigitFont::RobotoCondensedBold)))
        missing.push_back(std::string("letters of the procedural faces (") +
                          toy_family(DigitFont::RobotoCondensedBold) + ")");
    if (style.font_weights[static_cast<std::size_t>(DigitFont::TrainingTypeface)] > 0 ||
        style.font_weights[static_cast<std::size_t>(DigitFont::DrawnDigits)] > 0)
        for (const Typeface& face : training_typefaces(style.split))
            if (!family_installed(face.family))
                missing.push_back(std::string("training typeface (") + face.family + ")");
    return missing;
}

double metered_gain(const cv::Mat& bgr, const cv::Rect& window)
{
    const double luma = luma_of(cv::mean(bgr(window & cv::Rect(0, 0, bgr.cols, bgr.rows))));
    return luma > 0 ? std::clamp(kMeteringTarget / luma, 1.0, kMaxExposureGain) : kMaxExposureGain;
}

cv::Mat photograph(const RenderedCard& card, const CameraEffects& effects, std::uint64_t seed, CardTruth* moved_truth,
                   cv::Matx33d* card_to_shot)
{
    Rng rng(seed);
    cv::Mat image;
    card.color.convertTo(image, CV_32FC3);

    // Uneven light: a plane of gain across the card.
    {
        const double depth = rng.uniform(0, effects.lighting_depth);
        const double angle = rng.uniform(0, 2 * kPi);
        const double gain_base = rng.uniform(0.75, 1.15);
        for (int y = 0; y < image.rows; ++y)
            for (int x = 0; x < image.cols; ++x) {
                const double t = ((x - kCardWidth / 2.0) * std::cos(angle) + (y - kCardHeight / 2.0) * std::sin(angle)) /
                                     kCardWidth + 0.5;
                const double gain = gain_base * (1 - depth * std::clamp(t, 0.0, 1.0));
                image.at<cv::Vec3f>(y, x) *= static_cast<float>(gain);
            }
    }
    if (rng.chance(effects.glare_share)) {
        const double gx = rng.uniform(0, kCardWidth), gy = rng.uniform(0, kCardHeight);
        const double sigma = rng.uniform(15, 80), amplitude = rng.uniform(40, 160);
        for (int y = 0; y < image.rows; ++y)
            for (int x = 0; x < image.cols; ++x) {
                const double d2 = ((x - gx) * (x - gx) + (y - gy) * (y - gy)) / (2 * sigma * sigma);
                const float add = static_cast<float>(amplitude * std::exp(-d2));
                auto& p = image.at<cv::Vec3f>(y, x);
                p += cv::Vec3f(add, add, add);
            }
    }

    Rng extra(side_stream(seed, 2));
    if (extra.chance(effects.specular_share)) {
        // A glossy card mirrors a lamp as a long bright streak.
        const double gx = extra.uniform(0, kCardWidth), gy = extra.uniform(0, kCardHeight);
        const double angle = extra.uniform(0, kPi), along = extra.uniform(60, 300), across = extra.uniform(4, 25);
        const double amplitude = extra.uniform(60, 220);
        const double c = std::cos(angle), sn = std::sin(angle);
        for (int y = 0; y < image.rows; ++y)
            for (int x = 0; x < image.cols; ++x) {
                const double u = (x - gx) * c + (y - gy) * sn, v = -(x - gx) * sn + (y - gy) * c;
                const auto add = static_cast<float>(
                    amplitude * std::exp(-u * u / (2 * along * along) - v * v / (2 * across * across)));
                image.at<cv::Vec3f>(y, x) += cv::Vec3f(add, add, add);
            }
    }

    const double exposure_gain = metered_gain(image, cv::Rect(0, 0, image.cols, image.rows));
    if (exposure_gain > 1)
        image *= exposure_gain;

    // Corners that the edge finder and warp would have got slightly wrong.
    const cv::Point2f source[4] = {{0, 0}, {kCardWidth, 0}, {kCardWidth, kCardHeight}, {0, kCardHeight}};
    cv::Point2f moved[4];
    const double shift_x = rng.uniform(-effects.shift_px, effects.shift_px);
    const double shift_y = rng.uniform(-effects.shift_px, effects.shift_px);
    for (int i = 0; i < 4; ++i)
        moved[i] = source[i] + cv::Point2f(static_cast<float>(shift_x + rng.uniform(-1, 1) * effects.perspective_px),
                                           static_cast<float>(shift_y + rng.uniform(-1, 1) * effects.perspective_px));
    const cv::Mat transform = cv::getPerspectiveTransform(source, moved);
    if (card_to_shot)
        *card_to_shot = cv::Matx33d(transform);
    cv::Mat warped;
    cv::warpPerspective(image, warped, transform, image.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);

    const double blur = rng.uniform(0.2, std::max(0.21, effects.blur_sigma_max));
    if (extra.chance(effects.defocus_share)) {
        // An out-of-focus lens spreads a point over a disc, not a Gaussian.
        const double radius = extra.uniform(1.0, 2.2);
        const int half = static_cast<int>(std::ceil(radius));
        cv::Mat disc(2 * half + 1, 2 * half + 1, CV_32F, cv::Scalar(0));
        cv::circle(disc, cv::Point(half * 8, half * 8), static_cast<int>(radius * 8), cv::Scalar(1), cv::FILLED,
                   cv::LINE_AA, 3);
        disc /= cv::sum(disc)[0];
        cv::filter2D(warped, warped, -1, disc, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    } else {
        cv::GaussianBlur(warped, warped, cv::Size(0, 0), blur);
    }
    if (extra.chance(effects.motion_blur_share)) {
        const double length = extra.uniform(1.0, 4.0), angle = extra.uniform(0, kPi);
        cv::Mat streak(9, 9, CV_32F, cv::Scalar(0));
        const cv::Point2d d(std::cos(angle) * length / 2, std::sin(angle) * length / 2);
        cv::line(streak, cv::Point(static_cast<int>(std::lround((4 - d.x) * 8)), static_cast<int>(std::lround((4 - d.y) * 8))),
                 cv::Point(static_cast<int>(std::lround((4 + d.x) * 8)), static_cast<int>(std::lround((4 + d.y) * 8))),
                 cv::Scalar(1), 1, cv::LINE_AA, 3);
        streak /= cv::sum(streak)[0];
        cv::filter2D(warped, warped, -1, streak, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    }

    cv::Mat grey;
    cv::cvtColor(warped, grey, cv::COLOR_BGR2GRAY);
    const double noise = rng.uniform(0.5, std::max(0.51, effects.noise_sigma_max)) * std::sqrt(exposure_gain);
    for (int y = 0; y < grey.rows; ++y)
        for (int x = 0; x < grey.cols; ++x)
            grey.at<float>(y, x) += static_cast<float>(rng.normal() * noise);
    cv::Mat out;
    grey.convertTo(out, CV_8U);
    if (rng.chance(effects.jpeg_share)) {
        std::vector<uchar> bytes;
        cv::imencode(".jpg", out, bytes, {cv::IMWRITE_JPEG_QUALITY, rng.integer(effects.jpeg_quality_min, 95)});
        out = cv::imdecode(bytes, cv::IMREAD_GRAYSCALE);
    }

    if (moved_truth) {
        *moved_truth = card.truth;
        std::vector<cv::Point2d> centres, mapped;
        for (double x : card.truth.cell_x)
            centres.emplace_back(x + kCellWidth / 2.0, card.truth.stripe_y + kStripeHeight / 2.0);
        cv::perspectiveTransform(centres, mapped, transform);
        double y_sum = 0;
        for (std::size_t i = 0; i < mapped.size(); ++i) {
            moved_truth->cell_x[i] = mapped[i].x - kCellWidth / 2.0;
            y_sum += mapped[i].y;
        }
        moved_truth->stripe_y = y_sum / static_cast<double>(mapped.size()) - kStripeHeight / 2.0;
    }
    return out;
}

}  // namespace card_renderer
