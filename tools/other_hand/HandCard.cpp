#include "tools/other_hand/HandInternals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <opencv2/imgproc.hpp>

namespace other_hand {

namespace {
std::uint64_t finalise(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
}  // namespace

// The seed is hashed first: counters of neighbouring seeds would otherwise
// run through the same sequence one step apart.
Dice::Dice(std::uint64_t seed) : counter_(finalise(seed + 0x632BE59BD9B4E019ull)) {}

std::uint64_t Dice::word()
{
    return finalise(counter_ += 0x9E3779B97F4A7C15ull);
}

double Dice::unit() { return static_cast<double>(word() >> 11) * 0x1.0p-53; }
double Dice::range(double lo, double hi) { return lo + (hi - lo) * unit(); }
int Dice::whole(int lo, int hi)
{
    return lo + static_cast<int>(word() % static_cast<std::uint64_t>(hi - lo + 1));
}
bool Dice::coin(double p) { return unit() < p; }
double Dice::gauss()
{
    // Irwin-Hall of twelve: no transcendental functions, so no libm
    // differences between machines, and tails ample for pixel noise.
    double sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += unit();
    return sum - 6;
}

bool passes_luhn(const std::string& digits)
{
    int sum = 0;
    bool twice = false;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it < '0' || *it > '9')
            return false;
        int d = *it - '0';
        if (twice && (d *= 2) > 9)
            d -= 9;
        sum += d;
        twice = !twice;
    }
    return sum % 10 == 0;
}

std::string issuer_number(Dice& dice, int length)
{
    static const char* const sixteen[] = {"4", "4", "4", "51", "52", "53", "54", "55", "6011", "65", "644",
                                          "62", "3528", "3566", "3589"};
    std::string number;
    if (length == 15)
        number = dice.coin(0.5) ? "34" : "37";
    else
        number = sixteen[dice.whole(0, static_cast<int>(std::size(sixteen)) - 1)];
    while (static_cast<int>(number.size()) < length - 1)
        number.push_back(static_cast<char>('0' + dice.whole(0, 9)));
    for (char check = '0'; check <= '9'; ++check)
        if (passes_luhn(number + check))
            return number + check;
    return number;
}

int HandTruth::rounded_stripe_y() const { return static_cast<int>(std::lround(stripe_y)); }
int HandTruth::rounded_cell_x(std::size_t i) const { return static_cast<int>(std::lround(cell_x.at(i))); }

namespace {

using namespace detail;

constexpr double kPi = 3.14159265358979323846;

std::string boxes_json(const std::vector<InkBox>& boxes)
{
    std::ostringstream out;
    out << "[";
    for (std::size_t i = 0; i < boxes.size(); ++i)
        out << (i ? "," : "") << "[" << boxes[i].x << "," << boxes[i].y << "," << boxes[i].width << ","
            << boxes[i].height << "]";
    out << "]";
    return out.str();
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

struct Surface {
    cairo_surface_t* surface;
    cairo_t* cr;
    Surface(cairo_format_t format)
        : surface(cairo_image_surface_create(format, kCardWidth, kCardHeight)), cr(cairo_create(surface))
    {
    }
    ~Surface()
    {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    cv::Mat mask() const   // A8 to CV_32F 0..1
    {
        cairo_surface_flush(surface);
        const cv::Mat view(kCardHeight, kCardWidth, CV_8UC1, cairo_image_surface_get_data(surface),
                           static_cast<std::size_t>(cairo_image_surface_get_stride(surface)));
        cv::Mat out;
        view.convertTo(out, CV_32F, 1.0 / 255);
        return out;
    }
    cv::Mat colour() const   // RGB24 to CV_32FC3 BGR 0..1
    {
        cairo_surface_flush(surface);
        const cv::Mat view(kCardHeight, kCardWidth, CV_8UC4, cairo_image_surface_get_data(surface),
                           static_cast<std::size_t>(cairo_image_surface_get_stride(surface)));
        cv::Mat bgr, out;
        cv::cvtColor(view, bgr, cv::COLOR_BGRA2BGR);
        bgr.convertTo(out, CV_32FC3, 1.0 / 255);
        return out;
    }
};

struct Rgb {
    double r, g, b;
};

Rgb from_hsv(double h, double s, double v)
{
    const double c = v * s, hp = std::fmod(h, 360.0) / 60, x = c * (1 - std::abs(std::fmod(hp, 2.0) - 1));
    Rgb out{0, 0, 0};
    if (hp < 1) out = {c, x, 0};
    else if (hp < 2) out = {x, c, 0};
    else if (hp < 3) out = {0, c, x};
    else if (hp < 4) out = {0, x, c};
    else if (hp < 5) out = {x, 0, c};
    else out = {c, 0, x};
    const double m = v - c;
    return {out.r + m, out.g + m, out.b + m};
}

double luma(const Rgb& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

// A card's palette: the dominant stock (dark, light, vivid or metallic)
// and a second colour near it for gradients and patterns.
struct Palette {
    Rgb base, second, accent;
};

Palette choose_palette(Dice& dice)
{
    const double hue = dice.range(0, 360);
    Palette p{};
    const double kind = dice.unit();
    if (kind < 0.3) {   // dark: black, navy, deep green, burgundy
        p.base = from_hsv(hue, dice.range(0.2, 0.8), dice.range(0.06, 0.28));
        p.second = from_hsv(hue + dice.range(-30, 30), dice.range(0.2, 0.8), dice.range(0.12, 0.4));
    } else if (kind < 0.55) {   // light: white, pearl, pale tints
        p.base = from_hsv(hue, dice.range(0, 0.15), dice.range(0.82, 0.98));
        p.second = from_hsv(hue + dice.range(-40, 40), dice.range(0.05, 0.3), dice.range(0.7, 0.95));
    } else if (kind < 0.85) {   // vivid
        p.base = from_hsv(hue, dice.range(0.5, 0.95), dice.range(0.45, 0.85));
        p.second = from_hsv(hue + dice.range(-50, 50), dice.range(0.4, 0.95), dice.range(0.3, 0.9));
    } else {   // metallic: silver, gold, rose
        const double metal_hue = dice.coin(0.5) ? dice.range(38, 50) : dice.range(0, 30);
        const double saturation = dice.coin(0.4) ? dice.range(0, 0.06) : dice.range(0.2, 0.45);
        p.base = from_hsv(metal_hue, saturation, dice.range(0.6, 0.85));
        p.second = from_hsv(metal_hue, saturation, dice.range(0.75, 0.95));
    }
    p.accent = from_hsv(hue + dice.range(120, 240), dice.range(0.5, 1), dice.range(0.5, 1));
    return p;
}

void set_colour(cairo_t* cr, const Rgb& c, double alpha = 1)
{
    cairo_set_source_rgba(cr, std::clamp(c.r, 0.0, 1.0), std::clamp(c.g, 0.0, 1.0), std::clamp(c.b, 0.0, 1.0),
                          alpha);
}

void paint_stock(cairo_t* cr, Dice& dice, const Palette& p)
{
    const double kind = dice.unit();
    cairo_pattern_t* gradient = nullptr;
    if (kind < 0.2) {
        set_colour(cr, p.base);
        cairo_paint(cr);
    } else if (kind < 0.75) {
        const double angle = dice.range(0, 2 * kPi);
        const double cx = kCardWidth / 2.0, cy = kCardHeight / 2.0, reach = dice.range(150, 260);
        gradient = cairo_pattern_create_linear(cx - reach * std::cos(angle), cy - reach * std::sin(angle),
                                               cx + reach * std::cos(angle), cy + reach * std::sin(angle));
    } else {
        gradient = cairo_pattern_create_radial(dice.range(0, kCardWidth), dice.range(0, kCardHeight), 0,
                                               kCardWidth / 2.0, kCardHeight / 2.0, dice.range(200, 420));
    }
    if (gradient) {
        cairo_pattern_add_color_stop_rgb(gradient, 0, p.second.r, p.second.g, p.second.b);
        cairo_pattern_add_color_stop_rgb(gradient, 1, p.base.r, p.base.g, p.base.b);
        cairo_set_source(cr, gradient);
        cairo_paint(cr);
        cairo_pattern_destroy(gradient);
    }
}

// Security-print line work: guilloche rosettes, waves, diagonal hatching,
// concentric rings, or soft blobs. Kept faint, as issuers keep it.
void paint_pattern(cairo_t* cr, Dice& dice, const Palette& p)
{
    const bool light_lines = luma(p.base) < 0.5;
    const Rgb ink = light_lines ? Rgb{1, 1, 1} : Rgb{0, 0, 0};
    const double alpha = dice.range(0.04, 0.14);
    set_colour(cr, ink, alpha);
    cairo_set_line_width(cr, dice.range(0.4, 1.2));
    const int kind = dice.whole(0, 5);
    if (kind == 0) {   // guilloche: a rosette of epitrochoids
        const double cx = dice.range(0, kCardWidth), cy = dice.range(0, kCardHeight);
        const double big = dice.range(80, 220), d = dice.range(20, 70);
        const int petals = dice.whole(5, 17);
        for (int ring = 0; ring < 3; ++ring) {
            const double scale = 1 - 0.18 * ring;
            for (int i = 0; i <= 720; ++i) {
                const double t = 2 * kPi * i / 720;
                const double x = cx + scale * (big * std::cos(t) + d * std::cos(petals * t));
                const double y = cy + scale * (big * std::sin(t) - d * std::sin(petals * t)) * 0.8;
                if (i == 0) cairo_move_to(cr, x, y);
                else cairo_line_to(cr, x, y);
            }
            cairo_stroke(cr);
        }
    } else if (kind == 1) {   // waves
        const double spacing = dice.range(3, 9), amplitude = dice.range(4, 25), period = dice.range(80, 300);
        const double phase = dice.range(0, 2 * kPi);
        for (double y0 = -amplitude; y0 < kCardHeight + amplitude; y0 += spacing) {
            for (int x = 0; x <= kCardWidth; x += 4) {
                const double y = y0 + amplitude * std::sin(2 * kPi * x / period + phase + y0 * 0.01);
                if (x == 0) cairo_move_to(cr, x, y);
                else cairo_line_to(cr, x, y);
            }
            cairo_stroke(cr);
        }
    } else if (kind == 2) {   // hatching
        const double spacing = dice.range(4, 12), slope = dice.range(-1.5, 1.5);
        for (double x0 = -kCardHeight * 2; x0 < kCardWidth + kCardHeight * 2; x0 += spacing) {
            cairo_move_to(cr, x0, 0);
            cairo_line_to(cr, x0 + slope * kCardHeight, kCardHeight);
        }
        cairo_stroke(cr);
    } else if (kind == 3) {   // rings
        const double cx = dice.range(-100, kCardWidth + 100), cy = dice.range(-100, kCardHeight + 100);
        const double spacing = dice.range(4, 14);
        for (double r = spacing; r < 600; r += spacing) {
            cairo_new_sub_path(cr);
            cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
        }
        cairo_stroke(cr);
    } else if (kind == 4) {   // large soft shapes
        for (int i = 0, n = dice.whole(2, 5); i < n; ++i) {
            set_colour(cr, dice.coin(0.5) ? p.second : p.accent, dice.range(0.08, 0.3));
            cairo_new_sub_path(cr);
            cairo_arc(cr, dice.range(-50, kCardWidth + 50), dice.range(-50, kCardHeight + 50), dice.range(40, 200),
                      0, 2 * kPi);
            cairo_fill(cr);
        }
    }
    // kind 5: the stock alone
}

// The contact plate of a chip card, at the standard's place (its top-left
// about 10 mm from the left and 19 mm from the top edge).
void paint_chip(cairo_t* cr, Dice& dice)
{
    const double x = dice.range(44, 56), y = dice.range(86, 100), w = dice.range(52, 62), h = dice.range(40, 47);
    const bool gold = dice.coin(0.7);
    const Rgb metal = gold ? Rgb{0.83, 0.69, 0.38} : Rgb{0.75, 0.76, 0.78};
    cairo_pattern_t* sheen = cairo_pattern_create_linear(x, y, x + w, y + h);
    cairo_pattern_add_color_stop_rgb(sheen, 0, metal.r * 1.1, metal.g * 1.1, metal.b * 1.1);
    cairo_pattern_add_color_stop_rgb(sheen, 1, metal.r * 0.8, metal.g * 0.8, metal.b * 0.8);
    const double r = 6;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
    cairo_set_source(cr, sheen);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(sheen);
    cairo_set_source_rgba(cr, 0.2, 0.15, 0.05, 0.6);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    // The contact pads' dividing lines.
    cairo_move_to(cr, x, y + h / 3);
    cairo_line_to(cr, x + w * 0.35, y + h / 3);
    cairo_move_to(cr, x, y + 2 * h / 3);
    cairo_line_to(cr, x + w * 0.35, y + 2 * h / 3);
    cairo_move_to(cr, x + w, y + h / 3);
    cairo_line_to(cr, x + w * 0.65, y + h / 3);
    cairo_move_to(cr, x + w, y + 2 * h / 3);
    cairo_line_to(cr, x + w * 0.65, y + 2 * h / 3);
    cairo_rectangle(cr, x + w * 0.35, y + h * 0.2, w * 0.3, h * 0.6);
    cairo_move_to(cr, x + w / 2, y);
    cairo_line_to(cr, x + w / 2, y + h * 0.2);
    cairo_move_to(cr, x + w / 2, y + h);
    cairo_line_to(cr, x + w / 2, y + h * 0.8);
    cairo_stroke(cr);
}

void paint_contactless(cairo_t* cr, double x, double y, double size, const Rgb& colour)
{
    set_colour(cr, colour, 0.9);
    cairo_set_line_width(cr, size * 0.09);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int i = 1; i <= 4; ++i) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, x, y, size * 0.24 * i, -0.55, 0.55);
        cairo_stroke(cr);
    }
}

// A network's mark as shapes: interlocking discs, a band of slanted bars, or
// a ringed globe, in the lower right corner or the upper right.
void paint_network_mark(cairo_t* cr, Dice& dice, const Palette& p)
{
    const double x = dice.range(325, 355), y = dice.coin(0.8) ? dice.range(205, 222) : dice.range(25, 40);
    const int kind = dice.whole(0, 2);
    if (kind == 0) {
        const double r = dice.range(15, 21);
        const Rgb left = from_hsv(dice.range(0, 60), 0.9, 0.9), right = from_hsv(dice.range(30, 220), 0.9, 0.95);
        set_colour(cr, left);
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + r, y + r, r, 0, 2 * kPi);
        cairo_fill(cr);
        set_colour(cr, right, 0.85);
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + 2.2 * r, y + r, r, 0, 2 * kPi);
        cairo_fill(cr);
    } else if (kind == 1) {
        const Rgb colour = luma(p.base) < 0.5 ? Rgb{0.95, 0.95, 0.95} : from_hsv(dice.range(200, 250), 0.8, 0.5);
        set_colour(cr, colour);
        for (int i = 0; i < 3; ++i) {
            const double bx = x + i * 16;
            cairo_move_to(cr, bx + 8, y);
            cairo_line_to(cr, bx + 20, y);
            cairo_line_to(cr, bx + 12, y + 34);
            cairo_line_to(cr, bx, y + 34);
            cairo_close_path(cr);
        }
        cairo_fill(cr);
    } else {
        const Rgb colour = luma(p.base) < 0.5 ? Rgb{0.9, 0.9, 0.92} : Rgb{0.1, 0.2, 0.45};
        set_colour(cr, colour);
        cairo_set_line_width(cr, 2);
        const double r = 18;
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + 30, y + r, r, 0, 2 * kPi);
        cairo_stroke(cr);
        cairo_save(cr);
        cairo_translate(cr, x + 30, y + r);
        cairo_scale(cr, 0.45, 1);
        cairo_new_sub_path(cr);
        cairo_arc(cr, 0, 0, r, 0, 2 * kPi);
        cairo_restore(cr);
        cairo_move_to(cr, x + 12, y + r);
        cairo_line_to(cr, x + 48, y + r);
        cairo_stroke(cr);
    }
}

const char* const kGivenNames[] = {"MARIA", "JOHN", "AIKO", "LUCAS", "FATIMA", "OLIVER", "CHLOE", "RAVI",
                                   "ELENA", "TOMAS", "GRACE", "HENRIK", "NADIA", "PAUL", "SOFIA", "MEI"};
const char* const kFamilyNames[] = {"ALVAREZ", "OKAFOR", "LINDQVIST", "MORRISON", "TANAKA", "BECKER", "DUBOIS",
                                    "KOWALSKI", "NGUYEN", "HARRIS", "ROSSI", "PATEL", "SILVA", "OBRIEN"};
const char* const kBanks[] = {"NORTHMERE", "Meridian Bank", "ALTOCREDIT", "Fjord", "CITRINE", "Harbor & Vale",
                              "Quill Union", "BANCO SOL", "Kestrel", "OPAL FINANCIAL"};
const char* const kLabels[] = {"VALID THRU", "VALID\nTHRU", "EXPIRES END", "GOOD THRU", "VALID\nDATES", "EXP",
                               "MONTH/YEAR"};

// Where the ink of each drawn character lies, from the mask itself: the
// glyph's true extent whatever face, pen or cap drew it.
std::vector<InkBox> boxes_of(const cv::Mat& mask, const std::vector<double>& slots, double pitch, double centre_y,
                             double height)
{
    std::vector<InkBox> boxes;
    for (double x : slots)
        boxes.push_back(ink_box(mask, static_cast<int>(std::floor(x - pitch / 2)), static_cast<int>(std::ceil(x + pitch / 2)),
                                static_cast<int>(centre_y - 0.75 * height), static_cast<int>(centre_y + 0.75 * height), 0.12f));
    return boxes;
}

}  // namespace

std::string HandTruth::to_json() const
{
    std::ostringstream out;
    out << "{\"number\":" << quoted(number) << ",\"pattern_type\":" << pattern_type << ",\"digit_boxes\":"
        << boxes_json(digit_boxes) << ",\"pitch\":" << pitch << ",\"glyph_height\":" << glyph_height
        << ",\"stripe_y\":" << stripe_y << ",\"cell_x\":[";
    for (std::size_t i = 0; i < cell_x.size(); ++i)
        out << (i ? "," : "") << cell_x[i];
    out << "],\"has_date\":" << (has_date ? "true" : "false");
    if (has_date) {
        out << ",\"month\":" << month << ",\"year\":" << year << ",\"date_boxes\":" << boxes_json(date_boxes)
            << ",\"date_pitch\":" << date_pitch << ",\"date_glyph_height\":" << date_glyph_height
            << ",\"date_label\":" << quoted(date_label);
    }
    out << ",\"face\":" << quoted(face) << ",\"stroke_face\":" << (stroke_face ? "true" : "false")
        << ",\"finish\":" << quoted(finish) << ",\"relief_height\":" << relief_height
        << ",\"relief_softness\":" << relief_softness << ",\"light_azimuth\":" << light_azimuth
        << ",\"light_elevation\":" << light_elevation << ",\"name\":" << quoted(name) << "}";
    return out.str();
}

std::vector<std::string> missing_hand_fonts()
{
    std::vector<std::string> missing;
    for (const std::string& family : hand_families()) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* found = nullptr;
        if (!match || FcPatternGetString(match, FC_FAMILY, 0, &found) != FcResultMatch ||
            FcStrCmpIgnoreCase(found, reinterpret_cast<const FcChar8*>(family.c_str())) != 0)
            missing.push_back(family);
        if (match)
            FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    return missing;
}

HandCard render_hand_card(std::uint64_t seed, CalendarMonth today, HandFamilies families)
{
    Dice dice(seed, 1);
    HandCard card;
    HandTruth& truth = card.truth;
    const int length = dice.coin(0.35) ? 15 : 16;
    truth.pattern_type = length == 16 ? 1 : 2;
    truth.number = issuer_number(dice, length);
    const Face face = choose_face(dice, families);
    truth.face = face.describe();
    truth.stroke_face = face.stroke;
    const double finish = dice.unit();
    truth.finish = finish < 0.25 ? "printed" : finish < 0.7 ? "embossed" : "foil";

    // The number line at the standard's place.
    truth.pitch = dice.range(17.0, 19.5);
    truth.glyph_height = dice.range(19.0, 24.0);
    const double max_width = truth.pitch - dice.range(2.0, 4.0);
    const double baseline = kStandardBaselineRow + dice.range(-3, 3);
    const double centre_y = baseline - truth.glyph_height / 2;
    truth.stripe_y = centre_y - kCoreStripeHeight / 2.0;
    static const int groups16[] = {4, 4, 4, 4}, groups15[] = {4, 6, 5};
    const std::vector<int> groups = length == 16 ? std::vector<int>(groups16, groups16 + 4)
                                                 : std::vector<int>(groups15, groups15 + 3);
    const double span = truth.pitch * (length + static_cast<int>(groups.size()) - 2);
    const double x_first = dice.range(24, std::max(25.0, std::min(66.0, kCardWidth - 26 - span))) ;
    std::vector<double> slots;
    double slot = x_first;
    for (int group : groups) {
        for (int i = 0; i < group; ++i, slot += truth.pitch)
            slots.push_back(slot);
        slot += truth.pitch;
    }
    for (double x : slots)
        truth.cell_x.push_back(x - kCoreCellWidth / 2.0);

    // The design.
    const Palette palette = choose_palette(dice);
    Surface design(CAIRO_FORMAT_RGB24);
    paint_stock(design.cr, dice, palette);
    paint_pattern(design.cr, dice, palette);
    const bool dark = luma(palette.base) < 0.45;
    const Rgb print = dark ? Rgb{0.95, 0.95, 0.95} : Rgb{0.08, 0.08, 0.12};
    const std::string& print_family = hand_families()[static_cast<std::size_t>(dice.whole(0, 4))];   // the sans ones
    if (dice.coin(0.92))
        paint_chip(design.cr, dice);
    if (dice.coin(0.6))
        paint_contactless(design.cr, dice.range(125, 150), dice.range(108, 120), dice.range(20, 26), print);
    {
        const char* bank = kBanks[dice.whole(0, static_cast<int>(std::size(kBanks)) - 1)];
        set_colour(design.cr, dice.coin(0.7) ? print : palette.accent);
        const double cap = dice.range(11, 18);
        const double width = words_width(print_family, dice.coin(0.5) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR, bank, cap);
        const double x = dice.coin(0.6) ? dice.range(22, 40) : kCardWidth - 24 - width;
        draw_words(design.cr, print_family, FC_WEIGHT_BOLD, bank, x, dice.range(34, 50), cap);
        if (dice.coin(0.5)) {
            set_colour(design.cr, print, 0.8);
            draw_words(design.cr, print_family, FC_WEIGHT_REGULAR, dice.coin(0.5) ? "DEBIT" : "PLATINUM",
                       dice.range(300, 340), dice.range(95, 115), dice.range(6, 9));
        }
    }
    paint_network_mark(design.cr, dice, palette);
    cv::Mat colour = design.colour();

    // The raised or printed lines: number, date, name.
    Surface raised(CAIRO_FORMAT_A8);
    Surface printed(CAIRO_FORMAT_A8);
    cairo_set_source_rgba(raised.cr, 0, 0, 0, 1);
    cairo_set_source_rgba(printed.cr, 0, 0, 0, 1);
    draw_glyph_line(raised.cr, face, truth.number, slots, centre_y, truth.glyph_height, max_width);

    double next_top = baseline + dice.range(7, 12);
    truth.has_date = dice.coin(0.85);
    if (truth.has_date) {
        const int months_ahead = dice.whole(0, 12 * 4 + 12 - today.month);
        const int index = today.year * 12 + (today.month - 1) + months_ahead;
        truth.month = index % 12 + 1;
        truth.year = index / 12;
        char text[8];
        std::snprintf(text, sizeof text, "%02d/%02d", truth.month, truth.year % 100);
        truth.date_pitch = dice.range(11.5, 14.0);
        truth.date_glyph_height = dice.range(12.5, 16.0);
        const double date_width = truth.date_pitch - dice.range(2.0, 3.5);
        const double date_centre_y = next_top + truth.date_glyph_height / 2;
        const double left = dice.range(150, 215);
        std::vector<double> date_slots;
        for (int i = 0; i < 5; ++i)
            date_slots.push_back(left + truth.date_pitch * i);
        draw_glyph_line(raised.cr, face, text, date_slots, date_centre_y, truth.date_glyph_height, date_width);
        for (int i = 0; i < 5; ++i)
            truth.date_cell_top_left[static_cast<std::size_t>(i)] =
                cv::Point2d(date_slots[static_cast<std::size_t>(i)] - kCoreDateCellWidth / 2.0,
                            date_centre_y - kCoreDateCellHeight / 2.0);
        if (dice.coin(0.75)) {
            truth.date_label = kLabels[dice.whole(0, static_cast<int>(std::size(kLabels)) - 1)];
            const double cap = dice.range(4.0, 5.5);
            const std::size_t split = truth.date_label.find('\n');
            set_colour(printed.cr, {0, 0, 0});
            if (split == std::string::npos) {
                const double width = words_width(print_family, FC_WEIGHT_REGULAR, truth.date_label, cap);
                draw_words(printed.cr, print_family, FC_WEIGHT_REGULAR, truth.date_label,
                           left - truth.date_pitch / 2 - dice.range(5, 10) - width, date_centre_y + cap / 2, cap);
            } else {
                const std::string first = truth.date_label.substr(0, split), second = truth.date_label.substr(split + 1);
                const double width = std::max(words_width(print_family, FC_WEIGHT_REGULAR, first, cap),
                                              words_width(print_family, FC_WEIGHT_REGULAR, second, cap));
                const double x = left - truth.date_pitch / 2 - dice.range(5, 10) - width;
                draw_words(printed.cr, print_family, FC_WEIGHT_REGULAR, first, x, date_centre_y - 1, cap);
                draw_words(printed.cr, print_family, FC_WEIGHT_REGULAR, second, x, date_centre_y + cap + 1, cap);
                // The little arrow some issuers point at the date with.
                const double ax = left - truth.date_pitch / 2 - dice.range(2, 4);
                cairo_move_to(printed.cr, ax - 3, date_centre_y - 2.5);
                cairo_line_to(printed.cr, ax, date_centre_y);
                cairo_line_to(printed.cr, ax - 3, date_centre_y + 2.5);
                cairo_close_path(printed.cr);
                cairo_fill(printed.cr);
            }
            for (char& c : truth.date_label)
                if (c == '\n')
                    c = ' ';
        }
        truth.date_boxes = boxes_of(raised.mask(), date_slots, truth.date_pitch, date_centre_y, truth.date_glyph_height);
        next_top = date_centre_y + truth.date_glyph_height / 2 + dice.range(6, 10);
    }
    truth.digit_boxes = boxes_of(raised.mask(), slots, truth.pitch, centre_y, truth.glyph_height);

    if (dice.coin(0.9)) {
        truth.name = std::string(kGivenNames[dice.whole(0, static_cast<int>(std::size(kGivenNames)) - 1)]) + " " +
                     kFamilyNames[dice.whole(0, static_cast<int>(std::size(kFamilyNames)) - 1)];
        const double cap = dice.range(9.5, 12.5);
        // Stroke faces have no letters: names go in a sans of the card's weight.
        const std::string family = face.stroke ? print_family : face.family;
        const int weight = face.stroke ? (face.pen > 0.13 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR) : face.weight;
        cairo_t* target = truth.finish == "printed" || dice.coin(0.85) ? raised.cr : printed.cr;
        draw_words(target, family, weight, truth.name, slots.front() - face.aspect * 4 + dice.range(-3, 4),
                   std::min(next_top + cap, kCardHeight - 16.0), cap);
    }

    // Finish: ink on the surface, or the strokes pressed up from behind.
    const cv::Mat raised_mask = raised.mask();
    const cv::Mat printed_mask = printed.mask();
    const auto lay_ink = [&colour](const cv::Mat& mask, const cv::Vec3f& ink) {
        for (int y = 0; y < colour.rows; ++y) {
            auto* out = colour.ptr<cv::Vec3f>(y);
            const float* m = mask.ptr<float>(y);
            for (int x = 0; x < colour.cols; ++x)
                out[x] = out[x] * (1 - m[x]) + ink * m[x];
        }
    };
    lay_ink(printed_mask, cv::Vec3f(static_cast<float>(print.b), static_cast<float>(print.g), static_cast<float>(print.r)));
    Light light;
    light.azimuth = dice.range(0, 2 * kPi);
    light.elevation = dice.range(0.35, 1.2);
    light.distance = dice.range(250, 1500);
    light.size = dice.coin(0.5) ? dice.range(20, 160) : 0;
    truth.light_azimuth = light.azimuth * 180 / kPi;
    truth.light_elevation = light.elevation * 180 / kPi;
    if (truth.finish == "printed") {
        const cv::Scalar under = cv::mean(colour(cv::Rect(10, static_cast<int>(truth.stripe_y), kCardWidth - 20, 60)));
        const double under_luma = 0.114 * under[0] + 0.587 * under[1] + 0.299 * under[2];
        cv::Vec3f ink;
        if (dice.coin(0.2)) {   // metallic ink
            ink = dice.coin(0.5) ? cv::Vec3f(0.35f, 0.65f, 0.8f) : cv::Vec3f(0.78f, 0.78f, 0.76f);
            if (std::abs(0.65 - under_luma) < 0.3)
                ink = under_luma > 0.5 ? cv::Vec3f(0.1f, 0.1f, 0.1f) : cv::Vec3f(0.95f, 0.95f, 0.95f);
        } else {
            const float v = static_cast<float>(under_luma > 0.5 ? dice.range(0.02, 0.22) : dice.range(0.85, 1.0));
            ink = cv::Vec3f(v, v, v);
        }
        lay_ink(raised_mask, ink);
    } else {
        ReliefLook look;
        look.height = dice.range(1.2, 3.2);
        look.softness = dice.range(0.4, 1.1);
        look.foil = truth.finish == "foil";
        const double metal = dice.unit();
        look.foil_colour = metal < 0.45 ? cv::Vec3f(0.82f, 0.82f, 0.8f)      // silver
                           : metal < 0.75 ? cv::Vec3f(0.35f, 0.7f, 0.86f)    // gold
                           : metal < 0.9 ? cv::Vec3f(0.93f, 0.93f, 0.93f)    // white
                                         : cv::Vec3f(0.08f, 0.08f, 0.08f);  // black
        look.ambient = dice.range(0.35, 0.6);
        look.diffuse = 1 - look.ambient;
        look.specular = dice.range(0.04, 0.22);
        look.shininess = dice.range(10, 60);
        truth.relief_height = look.height;
        truth.relief_softness = look.softness;
        emboss(colour, raised_mask, look, light);
    }
    colour.convertTo(card.color, CV_8UC3, 255);
    return card;
}

}  // namespace other_hand
