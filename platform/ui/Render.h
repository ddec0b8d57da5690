#pragma once
// Pictures of view trees: the view at the image's origin, then every visible
// view under it, each drawing its background colour, its own content and its
// subviews, clipped by masksToBounds (with the corner radius) and faded by
// its alpha. A window's picture is opaque, as a screen is: black under its
// background colour and views. Pending layout runs first. Main thread only.

#include <memory>
#include <string>

#include "platform/graphics/Image.h"
#include "platform/ui/View.h"

namespace platform {

// Running animations are drawn as they stand now, or (Settled) as they will
// end: the state the app has set up.
enum class RenderAnimations { AsNow, Settled };

// `scale` pixels a point; nullptr for a view of no size.
std::shared_ptr<UIImage> renderViewToImage(UIView& view, double scale = 1,
                                           RenderAnimations animations = RenderAnimations::AsNow);
// Writes the rendering as a PNG file; false when it cannot.
bool renderViewToPNG(UIView& view, const std::string& path, double scale = 1,
                     RenderAnimations animations = RenderAnimations::AsNow);

}  // namespace platform
