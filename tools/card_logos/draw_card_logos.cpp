// Draws the card-type logos of the scanner's form: a plain rounded badge in a
// colour of its own per type with the type's short name in white, 64 x 40
// pixels. Usage: draw_card_logos OUTPUT_DIR (cardscanner/resources/CreditCardLogos).
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

struct Logo {
    const char* file;
    const char* label;
    double red, green, blue;
};

constexpr Logo kLogos[] = {
    {"icon_amex_large.png", "AMEX", 0.10, 0.45, 0.70},
    {"icon_visa_large.png", "VISA", 0.12, 0.18, 0.50},
    {"icon_mastercard_large.png", "MC", 0.70, 0.16, 0.12},
    {"icon_discover.png", "DISC", 0.85, 0.50, 0.10},
    {"icon_jcb_large.png", "JCB", 0.15, 0.52, 0.30},
};

constexpr int kWidth = 64;
constexpr int kHeight = 40;

void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x + radius, y + height - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

bool draw(const Logo& logo, const std::string& path) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    roundedRectangle(cr, 1, 1, kWidth - 2, kHeight - 2, 6);
    cairo_set_source_rgb(cr, logo.red, logo.green, logo.blue);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    // A thin stripe along the bottom tells the badges apart in grey too.
    cairo_rectangle(cr, 8, kHeight - 9, kWidth - 16, 2);
    cairo_fill(cr);

    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    double size = 16;
    cairo_text_extents_t extents;
    for (;; size -= 1) {
        cairo_set_font_size(cr, size);
        cairo_text_extents(cr, logo.label, &extents);
        if (extents.width <= kWidth - 14 || size <= 8) break;
    }
    cairo_move_to(cr, (kWidth - extents.width) / 2 - extents.x_bearing,
                  (kHeight - 6 - extents.height) / 2 - extents.y_bearing);
    cairo_show_text(cr, logo.label);

    cairo_destroy(cr);
    const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    for (const Logo& logo : kLogos) {
        const std::string path = std::string(argv[1]) + "/" + logo.file;
        if (!draw(logo, path)) {
            std::fprintf(stderr, "draw_card_logos: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
