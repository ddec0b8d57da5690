#include "tools/camera_frames/CameraFrames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include <cairo.h>
#include <opencv2/core/core_c.h>
#include <opencv2/imgproc.hpp>

#include "cardscanner/core/EdgeFinder.h"
#include "cardscanner/core/ImagePrimitives.h"
#include "tools/card_renderer/CairoCanvas.h"
#include "tools/card_renderer/Relief.h"

namespace camera_frames {

namespace {

namespace cr = card_renderer;

constexpr double kPi = 3.14159265358979323846;
constexpr int kCardW = cr::kCardWidth;
constexpr int kCardH = cr::kCardHeight;
constexpr int kCellW = 11;
constexpr int kCellH = 16;

// Separate random streams for the parts we add, so that changing how frames
// are filmed never changes the cards, and the renderer's own stream for a
// seed is never reused.
std::uint64_t mix(std::uint64_t seed, std::uint64_t salt)
{
    std::uint64_t z = seed + salt * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float luma_of(const cv::Vec3f& bgr) { return 0.114f * bgr[0] + 0.587f * bgr[1] + 0.299f * bgr[2]; }

// An alpha mask of the card's size, drawn in black.
struct Canvas : cr::CairoCanvas {
    Canvas() : cr::CairoCanvas(CAIRO_FORMAT_A8, kCardW, kCardH) { cairo_set_source_rgba(cr, 0, 0, 0, 1); }

    cv::Mat mask()
    {
        cv::Mat out;
        pixels(CV_8UC1).convertTo(out, CV_32F, 1.0 / 255);
        return out;
    }
};

const char* family_of(cr::DigitFont font)
{
    switch (font) {
    case cr::DigitFont::OcrA: return "OCRA";
    case cr::DigitFont::DejaVuSansMonoBold: return "DejaVu Sans Mono";
    case cr::DigitFont::LiberationMonoBold: return "Liberation Mono";
    case cr::DigitFont::FreeMonoBold: return "FreeMono";
    default: return "OCR B";
    }
}

bool bold_of(cr::DigitFont font)
{
    return font == cr::DigitFont::DejaVuSansMonoBold || font == cr::DigitFont::LiberationMonoBold ||
           font == cr::DigitFont::FreeMonoBold;
}

// Embossers' block digits: seven segments on a 2 x 2 box, drawn as strokes.
void draw_segment_char(cairo_t* cr, char ch, double cx, double cy, double w, double h)
{
    const double stroke = std::max(1.2, w * 0.24);
    const double x0 = cx - (w - stroke) / 2, x1 = cx + (w - stroke) / 2;
    const double y0 = cy - (h - stroke) / 2, y1 = cy, y2 = cy + (h - stroke) / 2;
    cairo_set_line_width(cr, stroke);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    auto line = [&](double ax, double ay, double bx, double by) {
        cairo_move_to(cr, ax, ay);
        cairo_line_to(cr, bx, by);
    };
    if (ch == '/') {
        line(x1, y0, x0, y2);
        cairo_stroke(cr);
        return;
    }
    //  a: top, b: top right, c: bottom right, d: bottom, e: bottom left, f: top left, g: middle
    static const char* const segments[10] = {"abcdef", "bc", "abged", "abgcd", "fgbc", "afgcd", "afedcg", "abc",
                                             "abcdefg", "gfabcd"};
    if (ch < '0' || ch > '9')
        return;
    for (const char* s = segments[ch - '0']; *s; ++s) {
        switch (*s) {
        case 'a': line(x0, y0, x1, y0); break;
        case 'b': line(x1, y0, x1, y1); break;
        case 'c': line(x1, y1, x1, y2); break;
        case 'd': line(x0, y2, x1, y2); break;
        case 'e': line(x0, y1, x0, y2); break;
        case 'f': line(x0, y0, x0, y1); break;
        default: line(x0, y1, x1, y1); break;
        }
    }
    cairo_stroke(cr);
}

// One character whose advance box is centred on (cx, cy), the digits' ink
// spanning h rows and about w columns.
void draw_char(cairo_t* cr, const cr::CardTruth& truth, cr::DigitFont font, char ch, double cx, double cy, double w,
               double h)
{
    if (ch == ' ')
        return;
    // The benchmark faces, the typefaces and the drawn digits are drawn as
    // the renderer draws them, so that the date is in the number's type.
    if (static_cast<int>(font) > static_cast<int>(cr::DigitFont::Blocky)) {
        cr::draw_card_character(cr, truth, ch, cx, cy, w, h);
        return;
    }
    if (font == cr::DigitFont::Blocky && ((ch >= '0' && ch <= '9') || ch == '/')) {
        draw_segment_char(cr, ch, cx, cy, w, h);
        return;
    }
    const std::lock_guard<std::mutex> lock(cr::text_mutex());
    cairo_select_font_face(cr, family_of(font), CAIRO_FONT_SLANT_NORMAL,
                           bold_of(font) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 100);
    cairo_text_extents_t eight;
    cairo_text_extents(cr, "8", &eight);
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, w / eight.width * 100, h / eight.height * 100);
    cairo_set_font_matrix(cr, &matrix);
    cairo_text_extents(cr, "8", &eight);
    const char text[2] = {ch, 0};
    cairo_text_extents_t glyph;
    cairo_text_extents(cr, text, &glyph);
    cairo_move_to(cr, cx - glyph.x_advance / 2, cy - (eight.y_bearing + eight.height / 2));
    cairo_show_text(cr, text);
}

// Paints the card below the number over with a smooth continuation of its
// colours: the renderer's own expiry and name lines must not survive next to
// ours, and their positions are not in its truth.
void clear_lower_band(cv::Mat& card, int first_row, cr::Rng& rng)
{
    first_row = std::clamp(first_row, 1, kCardH - 2);
    cv::Mat top, bottom;
    cv::blur(card.row(first_row - 1).clone(), top, cv::Size(151, 1), cv::Point(-1, -1), cv::BORDER_REFLECT);
    cv::Mat lower;
    cv::reduce(card.rowRange(kCardH - 4, kCardH), lower, 0, cv::REDUCE_AVG);
    cv::blur(lower, bottom, cv::Size(151, 1), cv::Point(-1, -1), cv::BORDER_REFLECT);
    cv::Mat grain(kCardH, kCardW, CV_32F);
    cv::RNG noise(rng.next());
    noise.fill(grain, cv::RNG::NORMAL, 0, rng.uniform(1.0, 6.0));
    cv::GaussianBlur(grain, grain, cv::Size(0, 0), rng.uniform(0.6, 2.0));
    const double span = std::max(1, kCardH - 1 - first_row);
    for (int y = first_row; y < kCardH; ++y) {
        const auto t = static_cast<float>((y - first_row) / span);
        auto* p = card.ptr<cv::Vec3f>(y);
        const auto* a = top.ptr<cv::Vec3f>(0);
        const auto* b = bottom.ptr<cv::Vec3f>(0);
        const float* g = grain.ptr<float>(y);
        for (int x = 0; x < kCardW; ++x)
            p[x] = a[x] * (1 - t) + b[x] * t + cv::Vec3f(g[x], g[x], g[x]);
    }
}

std::string random_letters(cr::Rng& rng, int min_length, int max_length)
{
    std::string word;
    const int n = rng.integer(min_length, max_length);
    for (int i = 0; i < n; ++i)
        word.push_back(static_cast<char>('A' + rng.integer(0, 25)));
    return word;
}

cv::Vec3f mean_of(const cv::Mat& card, cv::Rect area)
{
    area &= cv::Rect(0, 0, card.cols, card.rows);
    const cv::Scalar m = cv::mean(card(area));
    return cv::Vec3f(static_cast<float>(m[0]), static_cast<float>(m[1]), static_cast<float>(m[2]));
}

// Signed distance from (u, v) to the card's outline (negative inside): the
// rectangle of the card image's pixels with rounded corners.
double outline_distance(double u, double v, double radius)
{
    const double half_w = kCardW / 2.0, half_h = kCardH / 2.0;
    const double qx = std::abs(u - (kCardW - 1) / 2.0) - (half_w - radius);
    const double qy = std::abs(v - (kCardH - 1) / 2.0) - (half_h - radius);
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

cv::Vec3f sample_bilinear(const cv::Mat& image, double u, double v)
{
    u = std::clamp(u, 0.0, static_cast<double>(image.cols - 1));
    v = std::clamp(v, 0.0, static_cast<double>(image.rows - 1));
    const int x0 = std::min(static_cast<int>(u), image.cols - 2), y0 = std::min(static_cast<int>(v), image.rows - 2);
    const auto ax = static_cast<float>(u - x0), ay = static_cast<float>(v - y0);
    const auto* r0 = image.ptr<cv::Vec3f>(y0);
    const auto* r1 = image.ptr<cv::Vec3f>(y0 + 1);
    const cv::Vec3f top = r0[x0] * (1 - ax) + r0[x0 + 1] * ax;
    const cv::Vec3f bottom = r1[x0] * (1 - ax) + r1[x0 + 1] * ax;
    return top * (1 - ay) + bottom * ay;
}

cv::Vec3f colour_with_luma(cr::Rng& rng, double luma, double chroma)
{
    cv::Vec3f c(static_cast<float>(rng.uniform(-chroma, chroma)), static_cast<float>(rng.uniform(-chroma, chroma)),
                static_cast<float>(rng.uniform(-chroma, chroma)));
    const float shift = static_cast<float>(luma) - luma_of(c);
    for (int i = 0; i < 3; ++i)
        c[i] = std::clamp(c[i] + shift, 0.0f, 255.0f);
    return c;
}

// The table under the card: its brightness kept away from the card's rim, as
// the scanner's guide asks of the user, with grain, wood or cloth patterns
// and some clutter that stays clear of the guide's search strips.
cv::Mat make_table(cr::Rng& rng, double rim_luma, double min_contrast)
{
    double luma = rng.uniform(15, 240);
    for (int attempt = 0; attempt < 50 && std::abs(luma - rim_luma) < min_contrast; ++attempt)
        luma = rng.uniform(15, 240);
    if (std::abs(luma - rim_luma) < min_contrast)
        luma = rim_luma > 128 ? rim_luma - min_contrast - 10 : rim_luma + min_contrast + 10;
    const cv::Vec3f base = colour_with_luma(rng, luma, rng.chance(0.5) ? 12 : 45);
    const cv::Vec3f other = colour_with_luma(rng, std::clamp(luma + rng.uniform(-25, 25), 0.0, 255.0), 30);
    cv::Mat table(kFrameHeight, kFrameWidth, CV_32FC3, cv::Scalar(base[0], base[1], base[2]));
    cv::RNG noise(rng.next());
    const int kind = rng.integer(0, 2);
    cv::Mat pattern(kFrameHeight, kFrameWidth, CV_32F);
    if (kind == 0) {
        noise.fill(pattern, cv::RNG::NORMAL, 0, 1);
        cv::GaussianBlur(pattern, pattern, cv::Size(0, 0), rng.uniform(0.5, 1.5));
    } else if (kind == 1) {
        // Wood: noise smeared along the grain, bent by a slow wave.
        cv::Mat fine(kFrameHeight, kFrameWidth, CV_32F);
        noise.fill(fine, cv::RNG::NORMAL, 0, 1);
        cv::blur(fine, pattern, cv::Size(81, 3));
        const double wave = rng.uniform(0.01, 0.05);
        for (int y = 0; y < kFrameHeight; ++y)
            for (int x = 0; x < kFrameWidth; ++x)
                pattern.at<float>(y, x) += static_cast<float>(0.5 * std::sin(y * wave * 3 + 3 * std::sin(x * wave)));
    } else {
        // Cloth: a fine weave under coarse blotches.
        cv::Mat coarse(kFrameHeight / 16, kFrameWidth / 16, CV_32F);
        noise.fill(coarse, cv::RNG::NORMAL, 0, 1);
        cv::resize(coarse, pattern, pattern.size(), 0, 0, cv::INTER_CUBIC);
        const double period = rng.uniform(2.5, 5);
        for (int y = 0; y < kFrameHeight; ++y)
            for (int x = 0; x < kFrameWidth; ++x)
                pattern.at<float>(y, x) +=
                    static_cast<float>(0.3 * std::sin(x * 2 * kPi / period) * std::sin(y * 2 * kPi / period));
    }
    cv::normalize(pattern, pattern, 0, 1, cv::NORM_MINMAX);
    const double amount = rng.uniform(0.15, 0.6);
    for (int y = 0; y < kFrameHeight; ++y) {
        auto* p = table.ptr<cv::Vec3f>(y);
        const float* t = pattern.ptr<float>(y);
        for (int x = 0; x < kFrameWidth; ++x) {
            const float a = static_cast<float>(amount * (t[x] - 0.5));
            p[x] = p[x] + (other - base) * (0.5f + a) + cv::Vec3f(1, 1, 1) * (a * 20.0f);
        }
    }
    // Clutter away from the card: a pen, a paper corner, a coin.
    const Quad guide = guide_quad();
    const int clutter = rng.integer(0, 3);
    for (int i = 0; i < clutter; ++i) {
        const cv::Vec3f c = colour_with_luma(rng, rng.uniform(20, 235), 50);
        const cv::Scalar colour(c[0], c[1], c[2]);
        const bool left = rng.chance(0.5);
        const double x = left ? rng.uniform(0, guide.top_left.x - 30) : rng.uniform(guide.top_right.x + 30, kFrameWidth);
        const double y = rng.uniform(0, kFrameHeight);
        if (rng.chance(0.5))
            cv::circle(table, cv::Point(static_cast<int>(x), static_cast<int>(y)), rng.integer(8, 25), colour,
                       cv::FILLED, cv::LINE_AA);
        else
            cv::line(table, cv::Point(static_cast<int>(x), static_cast<int>(y)),
                     cv::Point(static_cast<int>(x + rng.uniform(-20, 20)), static_cast<int>(y + rng.uniform(-80, 80))),
                     colour, rng.integer(2, 6), cv::LINE_AA);
    }
    return table;
}

cv::Mat motion_kernel(double length, double angle)
{
    const int half = static_cast<int>(std::ceil(length / 2)) + 1;
    cv::Mat kernel(2 * half + 1, 2 * half + 1, CV_32F, cv::Scalar(0));
    const int steps = 16;
    for (int i = 0; i <= steps; ++i) {
        const double t = (static_cast<double>(i) / steps - 0.5) * length;
        const double x = half + t * std::cos(angle), y = half + t * std::sin(angle);
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        const auto ax = static_cast<float>(x - x0), ay = static_cast<float>(y - y0);
        kernel.at<float>(y0, x0) += (1 - ax) * (1 - ay);
        kernel.at<float>(y0, x0 + 1) += ax * (1 - ay);
        kernel.at<float>(y0 + 1, x0) += (1 - ax) * ay;
        kernel.at<float>(y0 + 1, x0 + 1) += ax * ay;
    }
    kernel /= cv::sum(kernel)[0];
    return kernel;
}

std::uint8_t to_byte(float v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

} // namespace

void bgr_to_ycbcr(const cv::Vec3f& bgr, float& y, float& cb, float& cr)
{
    // The core turns (Y, Cb, Cr) back with R = Y + 1.402 Cr', B = Y + 1.772 Cb'.
    y = luma_of(bgr);
    cb = 128.0f + (bgr[0] - y) / 1.772f;
    cr = 128.0f + (bgr[2] - y) / 1.402f;
}

ComposedCard compose_card(const cr::CardStyle& style, std::uint64_t seed, CalendarMonth today,
                          const ExpiryStyle& expiry_style)
{
    cr::RenderedCard rendered = cr::render_card(style, seed);
    ComposedCard out;
    out.truth = rendered.truth;
    cr::Rng rng(mix(seed, 1));
    cv::Mat card;
    rendered.color.convertTo(card, CV_32FC3);

    const double stripe_bottom = out.truth.stripe_y + cr::kStripeHeight;
    clear_lower_band(card, static_cast<int>(std::ceil(stripe_bottom)) + 3, rng);

    ExpiryTruth& expiry = out.expiry;
    expiry.present = rng.chance(expiry_style.date_share);
    expiry.glyph_height = rng.uniform(expiry_style.glyph_height_min, expiry_style.glyph_height_max);
    expiry.pitch = rng.uniform(expiry_style.pitch_min, expiry_style.pitch_max);
    // Embossed date digits are narrow for their pitch: the gaps between them
    // are what the core's pitch search finds.
    const double gap = rng.uniform(expiry_style.gap_min, expiry_style.gap_max);
    const double glyph_width = std::min(expiry.pitch - gap, expiry.glyph_height * rng.uniform(0.5, 0.64));
    expiry.glyph_width = glyph_width;
    double line_top = stripe_bottom + rng.uniform(5, 12);

    const cv::Vec3f under = mean_of(card, cv::Rect(0, static_cast<int>(stripe_bottom) + 3, kCardW, 40));
    const cr::Relief relief = cr::random_relief(rng, out.truth.embossed, out.truth.foil, under);
    Canvas lines;
    if (expiry.present) {
        const int months_ahead = rng.integer(0, 12 * 4 + 12 - today.month);
        const int index = today.year * 12 + (today.month - 1) + months_ahead;
        expiry.month = index % 12 + 1;
        expiry.year = index / 12;
        char text[8];
        std::snprintf(text, sizeof text, "%02d/%02d", expiry.month, expiry.year % 100);
        const double left = rng.uniform(125, 205);
        const double centre_y = line_top + kCellH / 2.0;
        for (int i = 0; i < 5; ++i) {
            const double cx = left + expiry.pitch * (i + 0.5);
            const double jitter_x = rng.uniform(-0.25, 0.25), jitter_y = rng.uniform(-0.25, 0.25);
            draw_char(lines.cr, out.truth, out.truth.font, text[i], cx + jitter_x, centre_y + jitter_y, glyph_width,
                      expiry.glyph_height);
            expiry.cell_top_left[static_cast<std::size_t>(i)] = cv::Point2d(cx - kCellW / 2.0, line_top);
        }
        expiry.has_label = rng.chance(expiry_style.label_share);
        if (expiry.has_label) {
            Canvas label;
            {
                const std::lock_guard<std::mutex> lock(cr::text_mutex());
                cairo_select_font_face(label.cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
                const double size = rng.uniform(4.8, 6.2);
                cairo_set_font_size(label.cr, size);
                cairo_text_extents_t extents;
                cairo_text_extents(label.cr, "VALID", &extents);
                const double x = left - rng.uniform(9, 16) - extents.x_advance;
                cairo_move_to(label.cr, x, centre_y - 1);
                cairo_show_text(label.cr, "VALID");
                cairo_move_to(label.cr, x, centre_y + size);
                cairo_show_text(label.cr, "THRU");
            }
            cr::apply_relief(card, label.mask(), cr::random_relief(rng, false, false, under));
        }
        line_top += kCellH + rng.uniform(4, 10);
    }
    if (rng.chance(expiry_style.name_share) && line_top + kCellH < kCardH - 4) {
        const std::string name = random_letters(rng, 3, 7) + " " + random_letters(rng, 4, 9);
        const double left = out.truth.cell_x.front() + rng.uniform(-4, 4);
        for (std::size_t i = 0; i < name.size(); ++i) {
            const double cx = left + expiry.pitch * (static_cast<double>(i) + 0.5);
            if (cx + expiry.pitch > kCardW - 8)
                break;
            draw_char(lines.cr, out.truth,
                      out.truth.font == cr::DigitFont::Blocky ? cr::DigitFont::OcrB : out.truth.font, name[i], cx,
                      line_top + kCellH / 2.0, glyph_width, expiry.glyph_height);
        }
    }
    cr::apply_relief(card, lines.mask(), relief);
    card.convertTo(out.color, CV_8UC3);
    return out;
}

Quad guide_quad()
{
    const EdgeSearchRegions strips = edge_search_regions_for_size(kFrameWidth, kFrameHeight, kOrientation);
    const double top = strips.top.y + strips.top.height / 2.0;
    const double bottom = strips.bottom.y + strips.bottom.height / 2.0;
    const double left = strips.left.x + strips.left.width / 2.0;
    const double right = strips.right.x + strips.right.width / 2.0;
    return {{left, top}, {right, top}, {left, bottom}, {right, bottom}};
}

void CameraFrame::copy_planes(std::uint8_t* y_plane, std::size_t y_stride, std::uint8_t* cbcr_plane,
                              std::size_t cbcr_stride) const
{
    for (int row = 0; row < height; ++row)
        std::copy_n(y.data() + static_cast<std::size_t>(row) * width, width, y_plane + row * y_stride);
    const int chroma_bytes = width / 2 * 2;
    for (int row = 0; row < height / 2; ++row)
        std::copy_n(cbcr.data() + static_cast<std::size_t>(row) * chroma_bytes, chroma_bytes,
                    cbcr_plane + row * cbcr_stride);
}

cv::Mat CameraFrame::to_bgr() const
{
    cv::Mat luma(height, width, CV_8UC1, const_cast<std::uint8_t*>(y.data()));
    cv::Mat pairs(height / 2, width / 2, CV_8UC2, const_cast<std::uint8_t*>(cbcr.data()));
    cv::Mat planes[2];
    cv::split(pairs, planes);
    cv::Mat cb, cr_;
    cv::resize(planes[0], cb, luma.size(), 0, 0, cv::INTER_NEAREST);
    cv::resize(planes[1], cr_, luma.size(), 0, 0, cv::INTER_NEAREST);
    IplImage y_image = cvIplImage(luma), cb_image = cvIplImage(cb), cr_image = cvIplImage(cr_);
    cv::Mat rgb(height, width, CV_8UC3);
    IplImage rgb_image = cvIplImage(rgb);
    IplImage* target = &rgb_image;
    ycbcr_to_rgb(&y_image, &cb_image, &cr_image, &target);
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

CameraSequence::CameraSequence(const cr::CardStyle& card_style, std::uint64_t seed, CalendarMonth today,
                               const FilmingStyle& style, const ExpiryStyle& expiry_style)
    : CameraSequence(compose_card(card_style, seed, today, expiry_style), style, seed)
{
}

CameraSequence::CameraSequence(ComposedCard card, const FilmingStyle& style, std::uint64_t seed)
    : card_(std::move(card)), style_(style), seed_(seed)
{
    cr::Rng rng(mix(seed, 2));
    card_.color.convertTo(card_float_, CV_32FC3);
    cv::rotate(card_float_, card_float_rotated_, cv::ROTATE_180);

    cv::Mat rim_mask(kCardH, kCardW, CV_8UC1, cv::Scalar(255));
    rim_mask(cv::Rect(8, 8, kCardW - 16, kCardH - 16)).setTo(0);
    const cv::Scalar rim = cv::mean(card_float_, rim_mask);
    const double rim_luma = luma_of(cv::Vec3f(static_cast<float>(rim[0]), static_cast<float>(rim[1]),
                                              static_cast<float>(rim[2])));
    table_ = make_table(rng, rim_luma, style.min_edge_contrast);

    // Light: an overall level, a slope across the frame and a vignette.
    light_.create(kFrameHeight, kFrameWidth, CV_32F);
    const double level = rng.uniform(0.8, 1.15);
    const double slope = rng.uniform(0, 0.3), angle = rng.uniform(0, 2 * kPi);
    const double vignette = rng.uniform(0, 0.25);
    for (int y = 0; y < kFrameHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x) {
            const double dx = (x - kFrameWidth / 2.0) / kFrameWidth, dy = (y - kFrameHeight / 2.0) / kFrameWidth;
            const double along = dx * std::cos(angle) + dy * std::sin(angle);
            light_.at<float>(y, x) =
                static_cast<float>(level * (1 - slope * (along + 0.5)) * (1 - vignette * 2 * (dx * dx + dy * dy)));
        }
    if (rng.chance(style.glare_share)) {
        const double gx = rng.uniform(150, 490), gy = rng.uniform(110, 370);
        const double sigma = rng.uniform(20, 70), amplitude = rng.uniform(0.2, 0.6);
        for (int y = 0; y < kFrameHeight; ++y)
            for (int x = 0; x < kFrameWidth; ++x) {
                const double d2 = ((x - gx) * (x - gx) + (y - gy) * (y - gy)) / (2 * sigma * sigma);
                light_.at<float>(y, x) += static_cast<float>(amplitude * std::exp(-d2));
            }
    }

    const cv::Point2d shift(rng.uniform(-1, 1) * style.corner_offset_px * 0.5,
                            rng.uniform(-1, 1) * style.corner_offset_px * 0.5);
    for (auto& offset : base_offsets_)
        offset = shift + cv::Point2d(rng.uniform(-1, 1) * style.corner_offset_px * 0.5,
                                     rng.uniform(-1, 1) * style.corner_offset_px * 0.5);
    const double drift_angle = rng.uniform(0, 2 * kPi);
    const cv::Point2d drift(std::cos(drift_angle) * style.drift_px, std::sin(drift_angle) * style.drift_px);
    for (auto& direction : drift_direction_)
        direction = drift + cv::Point2d(rng.uniform(-0.3, 0.3), rng.uniform(-0.3, 0.3)) * style.drift_px;
    drift_phase_ = rng.uniform(0, 2 * kPi);
    corner_radius_ = rng.uniform(8, 16);
    upside_down_frames_ =
        rng.chance(style.upside_down_share) ? rng.integer(1, std::max(1, style.upside_down_frames_max)) : 0;
    noise_level_ = rng.uniform(style.noise_min, style.noise_max);
}

CameraFrame CameraSequence::frame(int index) const { return film(index, nullptr); }

CameraFrame CameraSequence::frame(int index, const Shot& shot) const { return film(index, &shot); }

CameraFrame CameraSequence::film(int index, const Shot* shot) const
{
    cr::Rng rng(mix(seed_, 1000 + static_cast<std::uint64_t>(index)));
    CameraFrame out;
    out.number = card_.truth.number;
    out.expiry = card_.expiry;
    out.upside_down = !shot && index < upside_down_frames_;
    const cv::Point2d held = shot ? shot->card_offset : cv::Point2d(0, 0);

    const Quad guide = guide_quad();
    const cv::Point2d* guide_points[4] = {&guide.top_left, &guide.top_right, &guide.bottom_right, &guide.bottom_left};
    const double wave = std::sin(drift_phase_ + 0.35 * index);
    cv::Point2f quad[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const cv::Point2d p = *guide_points[i] + held + base_offsets_[i] + drift_direction_[i] * wave +
                              cv::Point2d(rng.uniform(-1, 1), rng.uniform(-1, 1)) * style_.jitter_px;
        quad[i] = cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    out.corners = {quad[0], quad[1], quad[3], quad[2]};

    // The card image's outline (pixel edges) onto the quad.
    const cv::Point2f outline[4] = {{-0.5f, -0.5f}, {kCardW - 0.5f, -0.5f}, {kCardW - 0.5f, kCardH - 0.5f},
                                    {-0.5f, kCardH - 0.5f}};
    const cv::Matx33d inverse(cv::getPerspectiveTransform(quad, outline));
    const cv::Mat& face = out.upside_down ? card_float_rotated_ : card_float_;

    cv::Mat image = table_.clone();
    float min_x = kFrameWidth, max_x = 0, min_y = kFrameHeight, max_y = 0;
    for (const auto& p : quad) {
        min_x = std::min(min_x, p.x), max_x = std::max(max_x, p.x);
        min_y = std::min(min_y, p.y), max_y = std::max(max_y, p.y);
    }
    // Clamped before the cast: a card held off the frame may lie far outside it.
    const auto bound = [](float v, int limit) { return static_cast<int>(std::clamp(v, -4.0f, limit + 4.0f)); };
    const int x0 = std::max(0, bound(min_x, kFrameWidth) - 2), x1 = std::min(kFrameWidth - 1, bound(max_x, kFrameWidth) + 2);
    const int y0 = std::max(0, bound(min_y, kFrameHeight) - 2), y1 = std::min(kFrameHeight - 1, bound(max_y, kFrameHeight) + 2);
    for (int y = y0; y <= y1; ++y) {
        auto* row = image.ptr<cv::Vec3f>(y);
        for (int x = x0; x <= x1; ++x) {
            const double w = inverse(2, 0) * x + inverse(2, 1) * y + inverse(2, 2);
            const double u = (inverse(0, 0) * x + inverse(0, 1) * y + inverse(0, 2)) / w;
            const double v = (inverse(1, 0) * x + inverse(1, 1) * y + inverse(1, 2)) / w;
            const auto alpha = static_cast<float>(std::clamp(0.5 - outline_distance(u, v, corner_radius_), 0.0, 1.0));
            if (alpha <= 0)
                continue;
            row[x] = row[x] * (1 - alpha) + sample_bilinear(face, u, v) * alpha;
        }
    }

    const float exposure = static_cast<float>((1 + rng.uniform(-0.04, 0.04)) * (shot ? shot->light : 1.0));
    for (int y = 0; y < kFrameHeight; ++y) {
        auto* row = image.ptr<cv::Vec3f>(y);
        const float* gain = light_.ptr<float>(y);
        for (int x = 0; x < kFrameWidth; ++x)
            row[x] *= gain[x] * exposure;
    }
    // Metered over the middle of the frame, where the guide asks for the card.
    const double exposure_gain =
        shot ? 1.0
             : cr::metered_gain(image, cv::Rect(kFrameWidth / 4, kFrameHeight / 4, kFrameWidth / 2, kFrameHeight / 2));
    if (exposure_gain > 1)
        image *= exposure_gain;

    out.defocus_sigma = rng.chance(style_.hunting_share) ? rng.uniform(style_.defocus_max, style_.hunting_max)
                                                         : rng.uniform(style_.defocus_min, style_.defocus_max);
    if (shot)
        out.defocus_sigma = shot->defocus_sigma;
    if (out.defocus_sigma > 0.05)
        cv::GaussianBlur(image, image, cv::Size(0, 0), out.defocus_sigma);
    out.motion_px = rng.uniform(0, style_.motion_max_px);
    if (out.motion_px > 0.5)
        cv::filter2D(image, image, -1, motion_kernel(out.motion_px, rng.uniform(0, kPi)), cv::Point(-1, -1), 0,
                     cv::BORDER_REFLECT);

    cv::Mat luma(kFrameHeight, kFrameWidth, CV_32F), blue(kFrameHeight, kFrameWidth, CV_32F),
        red(kFrameHeight, kFrameWidth, CV_32F);
    for (int y = 0; y < kFrameHeight; ++y) {
        const auto* row = image.ptr<cv::Vec3f>(y);
        float* l = luma.ptr<float>(y);
        float* b = blue.ptr<float>(y);
        float* r = red.ptr<float>(y);
        for (int x = 0; x < kFrameWidth; ++x)
            bgr_to_ycbcr(row[x], l[x], b[x], r[x]);
    }
    // Phone cameras sharpen the luma of their preview frames; without it an
    // in-focus frame of a plain card is softer than any real one.
    const double sharpen = rng.uniform(style_.sharpen_min, style_.sharpen_max);
    if (sharpen > 0) {
        cv::Mat soft;
        cv::GaussianBlur(luma, soft, cv::Size(0, 0), 1.0);
        cv::addWeighted(luma, 1 + sharpen, soft, -sharpen, 0, luma);
    }
    cv::RNG noise(rng.next());
    const double sigma = shot ? shot->noise_sigma * rng.uniform(0.85, 1.15)
                              : noise_level_ * rng.uniform(0.85, 1.15) * std::sqrt(exposure_gain);
    cv::Mat grain(kFrameHeight, kFrameWidth, CV_32F);
    noise.fill(grain, cv::RNG::NORMAL, 0, sigma);
    luma += grain;
    noise.fill(grain, cv::RNG::NORMAL, 0, sigma * 0.5);
    blue += grain;
    noise.fill(grain, cv::RNG::NORMAL, 0, sigma * 0.5);
    red += grain;

    out.y.resize(static_cast<std::size_t>(kFrameWidth) * kFrameHeight);
    for (int y = 0; y < kFrameHeight; ++y) {
        const float* l = luma.ptr<float>(y);
        std::uint8_t* o = out.y.data() + static_cast<std::size_t>(y) * kFrameWidth;
        for (int x = 0; x < kFrameWidth; ++x)
            o[x] = to_byte(l[x]);
    }
    // The camera's 4:2:0: each chroma sample the mean of its 2 x 2 block.
    out.cbcr.resize(static_cast<std::size_t>(kFrameWidth) * kFrameHeight / 2);
    for (int y = 0; y < kFrameHeight / 2; ++y) {
        const float* b0 = blue.ptr<float>(2 * y);
        const float* b1 = blue.ptr<float>(2 * y + 1);
        const float* r0 = red.ptr<float>(2 * y);
        const float* r1 = red.ptr<float>(2 * y + 1);
        std::uint8_t* o = out.cbcr.data() + static_cast<std::size_t>(y) * kFrameWidth;
        for (int x = 0; x < kFrameWidth / 2; ++x) {
            o[2 * x] = to_byte(0.25f * (b0[2 * x] + b0[2 * x + 1] + b1[2 * x] + b1[2 * x + 1]));
            o[2 * x + 1] = to_byte(0.25f * (r0[2 * x] + r0[2 * x + 1] + r1[2 * x] + r1[2 * x + 1]));
        }
    }
    return out;
}

} // namespace camera_frames
