#include "tools/card_renderer/DrawnDigits.h"

#include <algorithm>
#include <cmath>

#include <cairo.h>

#include "tools/card_renderer/CardRenderer.h"

namespace card_renderer {

namespace {

constexpr std::array<int, 10> kVariants = {2, 3, 2, 2, 2, 2, 2, 3, 2, 2};
constexpr double kPi = 3.14159265358979323846;
constexpr double kKappa = 0.5523;  // Bézier handles of a quarter ellipse

// Builds a path on the 4 x 6 grid (y down) in device space: scaled to the
// glyph box, sheared by the slant and with every point moved by the face's
// wobble, the same moves for the same digit of a face every time.
class GridPath {
public:
    GridPath(cairo_t* cr, const DrawnFace& face, int stream, double center_x, double center_y, double width,
             double height, double pen)
        : cr_(cr), face_(face), rng_(face.seed * 31 + static_cast<std::uint64_t>(stream) + 1),
          sx_((width - pen) / 4.0), sy_((height - pen) / 6.0), x0_(center_x - (width - pen) / 2.0),
          y0_(center_y - (height - pen) / 2.0)
    {
    }

    void move(double x, double y)
    {
        wobble();
        cairo_move_to(cr_, X(x + dx_, y + dy_), Y(y + dy_));
    }
    void line(double x, double y)
    {
        wobble();
        cairo_line_to(cr_, X(x + dx_, y + dy_), Y(y + dy_));
    }
    void curve(double x1, double y1, double x2, double y2, double x3, double y3)
    {
        wobble();
        cairo_curve_to(cr_, X(x1, y1), Y(y1), X(x2, y2), Y(y2), X(x3 + dx_, y3 + dy_), Y(y3 + dy_));
    }
    void ellipse(double cx, double cy, double rx, double ry)
    {
        wobble();
        cx += dx_, cy += dy_;
        rx = std::max(0.4, rx + dx_ / 2), ry = std::max(0.4, ry + dy_ / 2);
        const double kx = rx * kKappa, ky = ry * kKappa;
        cairo_new_sub_path(cr_);
        point_move(cx + rx, cy);
        point_curve(cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry);
        point_curve(cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy);
        point_curve(cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry);
        point_curve(cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy);
        cairo_close_path(cr_);
    }
    // A rectangle whose corners are quarter ellipses of the face's roundness.
    void rounded_box(double left, double top, double right, double bottom)
    {
        const double r = std::min({face_.roundness * 1.6, (right - left) / 2, (bottom - top) / 2});
        const double k = r * (1 - kKappa);
        cairo_new_sub_path(cr_);
        point_move(left + r, top);
        point_line(right - r, top);
        point_curve(right - k, top, right, top + k, right, top + r);
        point_line(right, bottom - r);
        point_curve(right, bottom - k, right - k, bottom, right - r, bottom);
        point_line(left + r, bottom);
        point_curve(left + k, bottom, left, bottom - k, left, bottom - r);
        point_line(left, top + r);
        point_curve(left, top + k, left + k, top, left + r, top);
        cairo_close_path(cr_);
    }

private:
    double X(double x, double y) const { return x0_ + x * sx_ + face_.slant * (3.0 - y) * sy_; }
    double Y(double y) const { return y0_ + y * sy_; }
    void wobble()
    {
        dx_ = rng_.uniform(-face_.wobble, face_.wobble);
        dy_ = rng_.uniform(-face_.wobble, face_.wobble);
    }
    void point_move(double x, double y) { cairo_move_to(cr_, X(x, y), Y(y)); }
    void point_line(double x, double y) { cairo_line_to(cr_, X(x, y), Y(y)); }
    void point_curve(double x1, double y1, double x2, double y2, double x3, double y3)
    {
        cairo_curve_to(cr_, X(x1, y1), Y(y1), X(x2, y2), Y(y2), X(x3, y3), Y(y3));
    }

    cairo_t* cr_;
    const DrawnFace& face_;
    Rng rng_;
    double sx_, sy_, x0_, y0_;
    double dx_ = 0, dy_ = 0;
};

// The 6 and, turned half a turn, the 9.
void six(GridPath& p, int variant, double j)
{
    if (variant == 0) {
        p.move(3.6, 0.3);
        p.curve(1.6, -0.5, 0.0, 1.2, 0.0, 4.0);
        p.ellipse(2, 4.4 - (j - 2.8) * 0.3, 2, 1.6 + (j - 2.8) * 0.3);
    } else {
        p.move(3.2, 0);
        p.line(0.3, 3.4);
        p.rounded_box(0, std::min(j, 3.0), 4, 6);
    }
}

void digit_path(GridPath& p, const DrawnFace& face, int digit)
{
    const int v = face.variant[static_cast<std::size_t>(digit)];
    const double j = face.junction;
    switch (digit) {
    case 0:
        if (v == 0)
            p.ellipse(2, 3, 2, 3);
        else
            p.rounded_box(0, 0, 4, 6);
        break;
    case 1:
        if (v >= 1) {
            p.move(0.8, 1.4);
            p.line(2.2, 0);
        } else {
            p.move(2.2, 0);
        }
        p.line(2.2, 6);
        if (v == 2) {
            p.move(0.7, 6);
            p.line(3.7, 6);
        }
        break;
    case 2:
        if (v == 0) {
            p.move(0.2, 1.6);
            p.curve(0.2, -0.4, 3.9, -0.5, 3.8, 1.8);
            p.curve(3.7, 3.2, 0.8, 4.4, 0, 6);
        } else {
            p.move(0, 0.8);
            p.line(0.8, 0);
            p.line(3.2, 0);
            p.line(4, 0.8);
            p.line(4, 2.4);
            p.line(0, 6);
        }
        p.line(4, 6);
        break;
    case 3:
        if (v == 0) {
            p.move(0.2, 0);
            p.line(3.8, 0);
            p.line(1.6, j);
        } else {
            p.move(0.1, 0.9);
            p.curve(0.7, -0.3, 3.9, -0.4, 3.7, j / 2);
            p.curve(3.6, j - 0.2, 2.6, j, 1.5, j);
        }
        p.curve(3.3, j, 4.1, j + 0.8, 4.0, (j + 6) / 2 + 0.2);
        p.curve(3.9, 6.4, 0.6, 6.4, 0, 5.1);
        break;
    case 4:
        if (v == 0) {
            p.move(3, 6);
            p.line(3, 0);
            p.line(0, 4.2);
            p.line(4, 4.2);
        } else {
            p.move(0.5, 0);
            p.line(0, 4.0);
            p.line(4, 4.0);
            p.move(3, 1.6);
            p.line(3, 6);
        }
        break;
    case 5:
        p.move(3.9, 0);
        p.line(0.5, 0);
        if (v == 0) {
            p.line(0.3, j);
            p.curve(1.4, j - 0.8, 4, j - 0.6, 4, (j + 6) / 2 + 0.3);
            p.curve(4, 6.4, 0.7, 6.4, 0, 5.2);
        } else {
            p.line(0.3, j);
            p.line(3.1, j);
            p.line(4, j + 0.8);
            p.line(4, 5.2);
            p.line(3.2, 6);
            p.line(0, 6);
        }
        break;
    case 6: six(p, v, j); break;
    case 7:
        p.move(0, 0);
        p.line(4, 0);
        if (v == 1)
            p.curve(2.6, 1.8, 1.8, 4, 1.6, 6);
        else
            p.line(1.3, 6);
        if (v == 2) {
            p.move(1.0, 3.0);
            p.line(3.4, 3.0);
        }
        break;
    case 8:
        if (v == 0) {
            p.ellipse(2, j / 2, 1.7, j / 2);
            p.ellipse(2, (j + 6) / 2, 2, (6 - j) / 2);
        } else {
            p.rounded_box(0.35, 0, 3.65, j);
            p.rounded_box(0, j, 4, 6);
        }
        break;
    default: break;
    }
}

}  // namespace

DrawnFace drawn_face(std::uint64_t seed)
{
    Rng rng(seed);
    DrawnFace face;
    face.weight = rng.uniform(0.09, 0.3);
    face.width = rng.uniform(0.72, 1.0);
    // Mostly upright, some leaning as italics and hand lettering do.
    face.slant = rng.chance(0.6) ? 0 : rng.uniform(-0.05, 0.2);
    face.roundness = rng.uniform(0, 1);
    face.junction = rng.uniform(2.4, 3.0);
    face.wobble = rng.uniform(0, 0.22);
    face.cap = rng.integer(CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_SQUARE);
    face.join = rng.integer(CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_BEVEL);
    for (std::size_t d = 0; d < face.variant.size(); ++d)
        face.variant[d] = rng.integer(0, kVariants[d] - 1);
    face.seed = rng.next();
    return face;
}

void draw_drawn_character(cairo_t* cr, const DrawnFace& face, char ch, double center_x, double center_y,
                          double width, double height)
{
    const bool digit = ch >= '0' && ch <= '9';
    if (!digit && ch != '/')
        return;
    const double used = width * face.width;
    const double pen = std::max(1.0, face.weight * used);
    cairo_new_path(cr);
    if (ch == '9') {
        // A 6 turned half a turn about the glyph's centre, with its own wobble.
        cairo_save(cr);
        cairo_translate(cr, center_x, center_y);
        cairo_rotate(cr, kPi);
        cairo_translate(cr, -center_x, -center_y);
        GridPath path(cr, face, 9, center_x, center_y, used, height, pen);
        six(path, face.variant[9], face.junction);
        cairo_restore(cr);
    } else {
        GridPath path(cr, face, digit ? ch - '0' : 10, center_x, center_y, used, height, pen);
        if (digit)
            digit_path(path, face, ch - '0');
        else {
            path.move(3.4, 0);
            path.line(0.6, 6);
        }
    }
    cairo_set_line_width(cr, pen);
    cairo_set_line_cap(cr, static_cast<cairo_line_cap_t>(face.cap));
    cairo_set_line_join(cr, static_cast<cairo_line_join_t>(face.join));
    cairo_stroke(cr);
}

}  // namespace card_renderer
