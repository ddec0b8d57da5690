// A cairo image surface with its context, owned together, shared by the card
// renderer and the camera frames.
//
// Text is drawn unhinted: cairo's hinted glyph metrics come out slightly
// different depending on which sizes of a face the process rendered before,
// so a seed would not always give the same card.
#pragma once

#include <cstddef>
#include <mutex>

#include <cairo.h>
#include <opencv2/core.hpp>

namespace card_renderer {

// cairo's FreeType back end can use one face from several threads at once
// (crashes in FT_Get_Char_Index once dozens of faces are in play), so text
// is laid out and drawn one thread at a time; it is a small part of a card.
inline std::mutex& text_mutex()
{
    static std::mutex mutex;
    return mutex;
}

struct CairoCanvas {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;

    CairoCanvas(cairo_format_t format, int width, int height)
        : surface(cairo_image_surface_create(format, width, height)), cr(cairo_create(surface))
    {
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_set_font_options(cr, options);
        cairo_font_options_destroy(options);
    }
    ~CairoCanvas()
    {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    CairoCanvas(const CairoCanvas&) = delete;
    CairoCanvas& operator=(const CairoCanvas&) = delete;

    // A view of the pixels; valid while the canvas lives.
    cv::Mat pixels(int type)
    {
        cairo_surface_flush(surface);
        return cv::Mat(cairo_image_surface_get_height(surface), cairo_image_surface_get_width(surface), type,
                       cairo_image_surface_get_data(surface),
                       static_cast<std::size_t>(cairo_image_surface_get_stride(surface)));
    }
};

}  // namespace card_renderer
