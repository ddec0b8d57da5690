// shot_check [--allow-flat] [--colour RRGGBB:MIN]... PNG...: fails
// (exit status 1) on a screenshot that shows nothing, every pixel the same
// (fully transparent, or one flat colour), or that cannot be read; names
// each such file on stderr. The simulator's screenshots of a step with
// something on screen never look like that. --allow-flat lets one opaque
// colour pass, for a step expected to show none: a screen is never
// see-through. --colour checks what a shot claims to show: the share of its
// pixels near that colour (each channel within 32) is at least MIN per cent.
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
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
    unsigned rgb;
    double minPercent;
};

// Per cent of the pixels whose every channel is within 32 of `rgb`.
double percentNear(cairo_surface_t* image, unsigned rgb) {
    const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    long near = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, data + std::size_t(y) * cairo_image_surface_get_stride(image) + std::size_t(x) * 4, 4);
            bool close = true;
            for (int shift : {16, 8, 0})
                close = close && std::abs(int((pixel >> shift) & 0xff) - int((rgb >> shift) & 0xff)) <= 32;
            near += close;
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
        } else if (ColourShare colour{}; std::strcmp(argv[first], "--colour") == 0 && first + 1 < argc &&
                   std::sscanf(argv[first + 1], "%6x:%lf", &colour.rgb, &colour.minPercent) == 2) {
            colours.push_back(colour);
            ++first;
        } else {
            first = argc;  // the usage
        }
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: %s [--allow-flat] [--colour RRGGBB:MIN]... PNG...\n", argv[0]);
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
                const double share = percentNear(image, colour.rgb);
                if (share < colour.minPercent) {
                    std::fprintf(stderr, "%s: %.2f%% of its pixels near #%06x, expected at least %g%%\n", argv[i],
                                 share, colour.rgb, colour.minPercent);
                    status = 1;
                }
            }
        }
        cairo_surface_destroy(image);
    }
    return status;
}
