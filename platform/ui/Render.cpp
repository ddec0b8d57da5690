#include "platform/ui/Render.h"

#include <cairo.h>

#include <cmath>
#include <optional>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

namespace platform {

std::shared_ptr<UIImage> renderViewToImage(UIView& view, double scale, RenderAnimations animations) {
    assertMainThread("renderViewToImage");
    if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
    view.layoutIfNeeded();
    const CGSize size = view.bounds().size;
    const double width = std::ceil(size.width * scale), height = std::ceil(size.height * scale);
    // cairo's own limit on image sides.
    if (!(width >= 1 && height >= 1 && width <= 32767 && height <= 32767)) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(width), int(height));
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    // A phone's screen shows no see-through pixels: where the window's views
    // leave it uncovered (or only tinted), the dark screen shows.
    if (view.isKindOfClass("UIWindow")) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
    }
    {
        CGContext context(cr);
        std::optional<CALayer::SettledPresentation> settled;
        if (animations == RenderAnimations::Settled) settled.emplace();
        view.renderInContext(&context);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    auto image = std::make_shared<UIImage>(surface, scale);
    cairo_surface_destroy(surface);
    return image;
}

bool renderViewToPNG(UIView& view, const std::string& path, double scale, RenderAnimations animations) {
    auto image = renderViewToImage(view, scale, animations);
    if (!image) {
        logf("renderViewToPNG: nothing to draw for %s", path.c_str());
        return false;
    }
    if (!image->writePNG(path)) {
        logf("renderViewToPNG: cannot write %s", path.c_str());
        return false;
    }
    return true;
}

}  // namespace platform
