#pragma once
// An image: premultiplied ARGB pixels in a cairo image surface, with a scale
// (pixels a point). Images are immutable and shared (std::shared_ptr); one
// may be drawn by any number of views.
//
// imageNamed() finds an image in the main bundle (the name as given, then
// with ".png", then with ".jpg"), decodes it once with OpenCV and keeps it:
// the same name answers the same object until clearImageCache(). Loading is
// thread-safe; drawing happens where the current context is (main thread).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace platform {

class UIImage {
public:
    // Adopts a reference of an ARGB32 image surface (taking one of its own).
    UIImage(cairo_surface_t* surface, double scale);
    ~UIImage();
    UIImage(const UIImage&) = delete;
    UIImage& operator=(const UIImage&) = delete;

    // nullptr when no such resource exists in the main bundle or it does not decode.
    static std::shared_ptr<UIImage> imageNamed(const std::string& name);
    // A PNG or JPEG file (uncached); nullptr when missing or undecodable.
    static std::shared_ptr<UIImage> imageWithContentsOfFile(const std::string& path);
    // Forgets every image imageNamed() keeps (a memory warning, or tests that
    // switch bundles).
    static void clearImageCache();

    // In points.
    CGSize size() const;
    double scale() const { return scale_; }
    int pixelWidth() const;
    int pixelHeight() const;

    struct Pixel {
        std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;
        friend bool operator==(const Pixel&, const Pixel&) = default;
    };
    // One pixel, not premultiplied; nothing outside the image.
    std::optional<Pixel> pixelAt(int x, int y) const;

    bool writePNG(const std::string& path) const;

    // Into the current context, scaled to fill the rectangle.
    void drawInRect(CGRect rect) const;
    void drawAtPoint(CGPoint point) const;

    cairo_surface_t* surface() const { return surface_; }

private:
    cairo_surface_t* surface_;
    double scale_;
};

}  // namespace platform
