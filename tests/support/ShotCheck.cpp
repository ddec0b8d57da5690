// shot_check [--allow-flat] [--colour RRGGBB:MIN[:MAX]]... PNG...: fails
// (exit status 1) on a screenshot that shows nothing, every pixel the same
// (fully transparent, or one flat colour), or that cannot be read; names
// each such file on stderr. The simulator's screenshots of a step with
// something on screen never look like that. --allow-flat lets one opaque
// colour pass, for a step expected to show none: a screen is never
// see-through. --colour checks what a shot claims to show: the share of its
// pixels near that colour (each channel within 32) is at least MIN and at
// most MAX per cent.
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// Every pixel the same: what that one pixel is.
struct Blank {
    std::uint32_t pixel;  // premultiplied ARGB; RGB24's top byte set
};

std::optional<Blank> blankness(cairo_surface_t* image) {
    const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    // RGB24 leaves the top byte undefined.
    const bool opaqueFormat = cairo_image_surface_get_format(image) == CAIRO_FORMAT_RGB24;
    const std::uint32_t mask = opaqueFormat ? 0x00ffffffu : 0xffffffffu;
    std::uint32_t first = 0;
    std::memcpy(&first, data, sizeof first);
    first &= mask;
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = data + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, row + static_cast<std::size_t>(x) * 4, sizeof pixel);
            if ((pixel & mask) != first) return std::nullopt;
        }
    }
    return Blank{opaqueFormat ? first | 0xff000000u : first};
}

struct ColourShare {
    int red, green, blue;
    double minPercent, maxPercent;
};

std::optional<ColourShare> parseColourShare(const char* text) {
    unsigned rgb = 0;
    double least = 0, most = 100;
    int used = 0;
    if (std::sscanf(text, "%6x:%lf%n", &rgb, &least, &used) != 2) return std::nullopt;
    if (text[used] == ':' && std::sscanf(text + used + 1, "%lf", &most) != 1) return std::nullopt;
    return ColourShare{int(rgb >> 16), int((rgb >> 8) & 0xff), int(rgb & 0xff), least, most};
}

double percentNear(cairo_surface_t* image, const ColourShare& colour) {
    constexpr int kTolerance = 32;
    const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    long near = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, data + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4,
                        sizeof pixel);
            const int r = int((pixel >> 16) & 0xff), g = int((pixel >> 8) & 0xff), b = int(pixel & 0xff);
            near += std::abs(r - colour.red) <= kTolerance && std::abs(g - colour.green) <= kTolerance &&
                    std::abs(b - colour.blue) <= kTolerance;
        }
    }
    return 100.0 * double(near) / (double(width) * height);
}

}  // namespace

int main(int argc, char** argv) {
    bool allowFlat = false;
    std::vector<ColourShare> colours;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        if (std::strcmp(argv[first], "--allow-flat") == 0) {
            allowFlat = true;
        } else if (std::strcmp(argv[first], "--colour") == 0 && first + 1 < argc &&
                   parseColourShare(argv[first + 1])) {
            colours.push_back(*parseColourShare(argv[++first]));
        } else {
            first = argc;  // the usage
        }
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: %s [--allow-flat] [--colour RRGGBB:MIN[:MAX]]... PNG...\n", argv[0]);
        return 2;
    }
    int status = 0;
    for (int i = first; i < argc; ++i) {
        cairo_surface_t* image = cairo_image_surface_create_from_png(argv[i]);
        const cairo_format_t format = cairo_image_surface_get_format(image);
        if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS ||
            (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) || cairo_image_surface_get_width(image) < 1 ||
            cairo_image_surface_get_height(image) < 1) {
            std::fprintf(stderr, "%s: not a picture that can be read\n", argv[i]);
            status = 1;
        } else {
            cairo_surface_flush(image);
            if (const auto blank = blankness(image)) {
                const unsigned alpha = blank->pixel >> 24;
                if (alpha == 0) {
                    std::fprintf(stderr, "%s: blank, fully transparent\n", argv[i]);
                    status = 1;
                } else if (alpha < 255 || !allowFlat) {
                    std::fprintf(stderr, "%s: blank, one flat colour #%08x (ARGB)\n", argv[i], blank->pixel);
                    status = 1;
                }
            }
            for (const ColourShare& colour : colours) {
                const double share = percentNear(image, colour);
                if (share < colour.minPercent || share > colour.maxPercent) {
                    std::fprintf(stderr, "%s: %.2f%% of its pixels near #%02x%02x%02x, expected %g%% to %g%%\n",
                                 argv[i], share, colour.red, colour.green, colour.blue, colour.minPercent,
                                 colour.maxPercent);
                    status = 1;
                }
            }
        }
        cairo_surface_destroy(image);
    }
    return status;
}
