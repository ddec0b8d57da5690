#include "tools/other_hand/HandInternals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

namespace other_hand::detail {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Family {
    const char* name;
    bool serif;
    bool benchmark;   // drawn by the benchmark split, else by the training split
    std::vector<std::pair<int, const char*>> weights;   // fontconfig weight, name
};

// None of these is loaded by tools/card_renderer (scripts/deps names their
// packages apart): digits with lining figures by default, serif and sans,
// from hairline-thin to black cuts.
const std::vector<Family>& families()
{
    static const std::vector<Family> all = {
        {"Inter", false, false,
         {{FC_WEIGHT_EXTRALIGHT, "ExtraLight"}, {FC_WEIGHT_LIGHT, "Light"}, {FC_WEIGHT_REGULAR, "Regular"},
          {FC_WEIGHT_MEDIUM, "Medium"}, {FC_WEIGHT_DEMIBOLD, "SemiBold"}, {FC_WEIGHT_BOLD, "Bold"},
          {FC_WEIGHT_EXTRABOLD, "ExtraBold"}, {FC_WEIGHT_BLACK, "Black"}}},
        {"Karla", false, true,
         {{FC_WEIGHT_LIGHT, "Light"}, {FC_WEIGHT_REGULAR, "Regular"}, {FC_WEIGHT_MEDIUM, "Medium"},
          {FC_WEIGHT_BOLD, "Bold"}, {FC_WEIGHT_EXTRABOLD, "ExtraBold"}}},
        {"Noto Sans", false, false, {{FC_WEIGHT_REGULAR, "Regular"}, {FC_WEIGHT_BOLD, "Bold"}}},
        {"Carlito", false, false, {{FC_WEIGHT_REGULAR, "Regular"}, {FC_WEIGHT_BOLD, "Bold"}}},
        {"Noto Sans Display", false, false, {{FC_WEIGHT_REGULAR, "Regular"}, {FC_WEIGHT_BOLD, "Bold"}}},
        {"Noto Serif", true, false, {{FC_WEIGHT_REGULAR, "Regular"}, {FC_WEIGHT_BOLD, "Bold"}}},
        {"Noto Serif Display", true, true, {{FC_WEIGHT_REGULAR, "Regular"}, {FC_WEIGHT_BOLD, "Bold"}}},
        {"Old Standard TT", true, true, {{FC_WEIGHT_REGULAR, "Regular"}, {FC_WEIGHT_BOLD, "Bold"}}},
    };
    return all;
}

// cairo's FreeType back end is not safe with one face used from several
// threads at once, and faces are shared through its cache: text is drawn one
// thread at a time (a small part of a card's time).
std::mutex& text_mutex()
{
    static std::mutex mutex;
    return mutex;
}

struct FontFaceDeleter {
    void operator()(cairo_font_face_t* face) const { cairo_font_face_destroy(face); }
};
using FontFace = std::unique_ptr<cairo_font_face_t, FontFaceDeleter>;

// The matched font itself, not fontconfig's pattern, so that cairo loads the
// file fontconfig chose; an absent family is fatal rather than substituted.
FontFace open_face(const std::string& family, int weight)
{
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, weight);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    FcChar8* found = nullptr;
    if (!match || FcPatternGetString(match, FC_FAMILY, 0, &found) != FcResultMatch ||
        FcStrCmpIgnoreCase(found, reinterpret_cast<const FcChar8*>(family.c_str())) != 0) {
        std::fprintf(stderr, "other_hand: font family %s is not installed (scripts/deps)\n", family.c_str());
        std::abort();
    }
    FontFace face(cairo_ft_font_face_create_for_pattern(match));
    FcPatternDestroy(match);
    return face;
}

void use_face(cairo_t* cr, cairo_font_face_t* face)
{
    cairo_set_font_face(cr, face);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

// Digit skeletons in a unit box (x right, y down), as polylines.
using Polyline = std::vector<cv::Point2d>;

void arc(Polyline& line, double cx, double cy, double rx, double ry, double from_degrees, double to_degrees)
{
    const int steps = std::max(6, static_cast<int>(std::abs(to_degrees - from_degrees) / 10));
    for (int i = 0; i <= steps; ++i) {
        const double a = (from_degrees + (to_degrees - from_degrees) * i / steps) * kPi / 180;
        line.emplace_back(cx + rx * std::cos(a), cy - ry * std::sin(a));
    }
}

std::vector<Polyline> skeleton(char ch, bool serif)
{
    std::vector<Polyline> lines;
    Polyline a;
    switch (ch) {
    case '0':
        arc(a, 0.5, 0.5, 0.5, 0.5, 90, 450);
        lines.push_back(a);
        break;
    case '1':
        lines.push_back({{0.22, 0.22}, {0.58, 0.0}, {0.58, 1.0}});
        if (serif)
            lines.push_back({{0.25, 1.0}, {0.9, 1.0}});
        break;
    case '2':
        arc(a, 0.5, 0.27, 0.46, 0.27, 165, -25);
        a.emplace_back(0.0, 1.0);
        a.emplace_back(1.0, 1.0);
        lines.push_back(a);
        if (serif)
            lines.push_back({{1.0, 1.0}, {1.0, 0.88}});
        break;
    case '3': {
        arc(a, 0.5, 0.25, 0.42, 0.25, 155, -90);
        lines.push_back(a);
        Polyline b;
        arc(b, 0.5, 0.74, 0.48, 0.26, 90, -155);
        lines.push_back(b);
        break;
    }
    case '4':
        lines.push_back({{0.72, 1.0}, {0.72, 0.0}, {0.0, 0.7}, {1.0, 0.7}});
        if (serif)
            lines.push_back({{0.5, 1.0}, {0.94, 1.0}});
        break;
    case '5':
        a = {{0.9, 0.0}, {0.16, 0.0}, {0.1, 0.45}};
        arc(a, 0.5, 0.67, 0.46, 0.33, 130, -150);
        lines.push_back(a);
        if (serif)
            lines.push_back({{0.9, 0.0}, {0.9, 0.1}});
        break;
    case '6':
    case '9': {
        arc(a, 0.5, 0.68, 0.46, 0.32, 0, 360);
        Polyline b;
        arc(b, 0.64, 0.68, 0.6, 0.68, 180, 96);
        if (ch == '9')
            for (Polyline* line : {&a, &b})
                for (auto& p : *line)
                    p = {1 - p.x, 1 - p.y};
        lines.push_back(a);
        lines.push_back(b);
        break;
    }
    case '7':
        lines.push_back({{0.0, 0.0}, {1.0, 0.0}, {0.36, 1.0}});
        if (serif)
            lines.push_back({{0.0, 0.0}, {0.0, 0.16}});
        break;
    case '8': {
        arc(a, 0.5, 0.24, 0.38, 0.24, 270, 630);
        Polyline b;
        arc(b, 0.5, 0.73, 0.48, 0.27, 90, 450);
        lines.push_back(a);
        lines.push_back(b);
        break;
    }
    case '/':
        lines.push_back({{0.9, -0.04}, {0.1, 1.04}});
        break;
    default:
        break;
    }
    return lines;
}

void stroke_glyph(cairo_t* cr, const Face& face, char ch, double centre_x, double centre_y, double height,
                  double max_width)
{
    const double pen = std::max(0.9, face.pen * height);
    double width = std::min(face.aspect * height, max_width);
    if (ch == '1' && !face.serif)
        width *= 0.7;
    const double left = centre_x - width / 2, top = centre_y - height / 2;
    cairo_set_line_width(cr, pen);
    cairo_set_line_cap(cr, face.round ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_join(cr, face.round ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, 2.0);
    // Square caps reach half a pen past the skeleton's ends as round ones do,
    // so the same inset keeps both inside the box.
    const double inner_w = std::max(0.5, width - pen), inner_h = std::max(0.5, height - pen);
    const double slant = face.slant * inner_h;
    for (const Polyline& line : skeleton(ch, face.serif)) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            const double x = left + pen / 2 + line[i].x * inner_w + (0.5 - line[i].y) * slant;
            const double y = top + pen / 2 + line[i].y * inner_h;
            if (i == 0)
                cairo_move_to(cr, x, y);
            else
                cairo_line_to(cr, x, y);
        }
        cairo_stroke(cr);
    }
}

}  // namespace

std::string Face::describe() const
{
    if (!stroke)
        return family + " " + weight_name;
    char text[96];
    std::snprintf(text, sizeof text, "stroke %s pen %.3f %s aspect %.2f slant %.2f", serif ? "serif" : "sans", pen,
                  round ? "round" : "square", aspect, slant);
    return text;
}

Face choose_face(Dice& dice, HandFamilies split)
{
    Face face;
    const bool benchmark = split == HandFamilies::Benchmark;
    if (dice.coin(0.35)) {
        face.stroke = true;
        dice.coin(0.4);   // was the serif choice; kept so that the seeds' other draws stay put
        face.serif = benchmark;
        // Hairline to black: a pixel's pen to a fifth of the height.
        face.pen = dice.coin(0.2) ? dice.range(0.04, 0.07) : dice.range(0.07, 0.2);
        face.round = dice.coin(0.6);
        face.aspect = dice.range(0.52, 0.72);
        face.slant = dice.coin(0.25) ? dice.range(0.05, 0.18) : 0;
        return face;
    }
    std::vector<const Family*> pool;
    for (const Family& family : families())
        if (family.benchmark == benchmark)
            pool.push_back(&family);
    const Family& family = *pool[static_cast<std::size_t>(dice.whole(0, static_cast<int>(pool.size()) - 1))];
    const auto& weight = family.weights[static_cast<std::size_t>(dice.whole(0, static_cast<int>(family.weights.size()) - 1))];
    face.family = family.name;
    face.serif = family.serif;
    face.weight = weight.first;
    face.weight_name = weight.second;
    face.width_scale = dice.range(0.85, 1.08);
    return face;
}

const std::vector<std::string>& hand_families()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const Family& family : families())
            out.emplace_back(family.name);
        return out;
    }();
    return names;
}

void draw_glyph_line(cairo_t* cr, const Face& face, const std::string& text, const std::vector<double>& slot_x,
                     double centre_y, double height, double max_width)
{
    cairo_save(cr);
    if (face.stroke) {
        for (std::size_t i = 0; i < text.size() && i < slot_x.size(); ++i)
            stroke_glyph(cr, face, text[i], slot_x[i], centre_y, height, max_width);
        cairo_restore(cr);
        return;
    }
    const std::lock_guard<std::mutex> lock(text_mutex());
    FontFace font = open_face(face.family, face.weight);
    use_face(cr, font.get());
    constexpr double kProbeSize = 100;
    cairo_set_font_size(cr, kProbeSize);
    // One scale for every digit: the line keeps the face's own overshoots
    // and the digits share a baseline.
    cairo_text_extents_t line{};
    cairo_text_extents(cr, "0123456789", &line);
    double widest = 0;
    for (char d = '0'; d <= '9'; ++d) {
        const char s[2] = {d, 0};
        cairo_text_extents_t e{};
        cairo_text_extents(cr, s, &e);
        widest = std::max(widest, e.width);
    }
    const double sy = height / line.height;
    const double sx = std::min(sy * face.width_scale, max_width / widest);
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, kProbeSize * sx, kProbeSize * sy);
    cairo_set_font_matrix(cr, &matrix);
    const double baseline = centre_y - (line.y_bearing + line.height / 2) * sy;
    for (std::size_t i = 0; i < text.size() && i < slot_x.size(); ++i) {
        const char s[2] = {text[i], 0};
        cairo_text_extents_t e{};
        cairo_text_extents(cr, s, &e);
        double y = baseline;
        if (text[i] == '/')   // a slash is centred on the line, whatever its depth in the face
            y = centre_y - (e.y_bearing + e.height / 2);
        cairo_move_to(cr, slot_x[i] - e.x_bearing - e.width / 2, y);
        cairo_text_path(cr, s);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

double draw_words(cairo_t* cr, const std::string& family, int weight, const std::string& text, double x, double y,
                  double cap_height, bool fill)
{
    const std::lock_guard<std::mutex> lock(text_mutex());
    FontFace font = open_face(family, weight);
    cairo_save(cr);
    use_face(cr, font.get());
    cairo_set_font_size(cr, 100);
    cairo_text_extents_t cap{};
    cairo_text_extents(cr, "H", &cap);
    cairo_set_font_size(cr, 100 * cap_height / cap.height);
    cairo_text_extents_t e{};
    cairo_text_extents(cr, text.c_str(), &e);
    if (fill) {
        cairo_move_to(cr, x, y);
        cairo_text_path(cr, text.c_str());
        cairo_fill(cr);
    }
    cairo_restore(cr);
    return e.x_advance;
}

double words_width(const std::string& family, int weight, const std::string& text, double cap_height)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    const double width = draw_words(cr, family, weight, text, 0, 0, cap_height, false);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return width;
}

InkBox ink_box(const cv::Mat& mask, int x0, int x1, int y0, int y1, float threshold)
{
    x0 = std::clamp(x0, 0, mask.cols), x1 = std::clamp(x1, 0, mask.cols);
    y0 = std::clamp(y0, 0, mask.rows), y1 = std::clamp(y1, 0, mask.rows);
    int left = x1, right = x0 - 1, top = y1, bottom = y0 - 1;
    for (int y = y0; y < y1; ++y) {
        const float* row = mask.ptr<float>(y);
        for (int x = x0; x < x1; ++x)
            if (row[x] >= threshold) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    }
    if (right < left)
        return {};
    return {static_cast<double>(left), static_cast<double>(top), static_cast<double>(right - left + 1),
            static_cast<double>(bottom - top + 1)};
}

}  // namespace other_hand::detail
