#include "platform/graphics/Image.h"

#include <cairo.h>

#include <map>
#include <mutex>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/Context.h"

namespace platform {

namespace {

std::mutex& cacheMutex() {
    static std::mutex mutex;
    return mutex;
}

// Keyed by bundle folder and name, so that a test or the simulator switching
// bundles never sees another bundle's picture.
std::map<std::string, std::shared_ptr<UIImage>>& imageCache() {
    static std::map<std::string, std::shared_ptr<UIImage>> cache;
    return cache;
}

std::uint8_t channel8(const cv::Mat& m, int row, int col, int c) {
    if (m.depth() == CV_16U) return static_cast<std::uint8_t>(m.ptr<std::uint16_t>(row)[col * m.channels() + c] / 257);
    return m.ptr<std::uint8_t>(row)[col * m.channels() + c];
}

// OpenCV decodes to BGR(A) or grey at 8 or 16 bits; cairo wants 32-bit
// native-endian premultiplied ARGB.
cairo_surface_t* surfaceFromMat(const cv::Mat& m) {
    if (m.empty() || m.dims != 2 || (m.depth() != CV_8U && m.depth() != CV_16U)) return nullptr;
    const int channels = m.channels();
    if (channels != 1 && channels != 2 && channels != 3 && channels != 4) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m.cols, m.rows);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < m.rows; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        for (int x = 0; x < m.cols; ++x) {
            std::uint32_t r, g, b, a = 255;
            if (channels <= 2) {
                r = g = b = channel8(m, y, x, 0);
                if (channels == 2) a = channel8(m, y, x, 1);
            } else {
                b = channel8(m, y, x, 0);
                g = channel8(m, y, x, 1);
                r = channel8(m, y, x, 2);
                if (channels == 4) a = channel8(m, y, x, 3);
            }
            r = (r * a + 127) / 255;
            g = (g * a + 127) / 255;
            b = (b * a + 127) / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

}  // namespace

UIImage::UIImage(cairo_surface_t* surface, double scale)
    : surface_(cairo_surface_reference(surface)), scale_(scale > 0 ? scale : 1) {}

UIImage::~UIImage() { cairo_surface_destroy(surface_); }

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFile(const std::string& path) {
    cv::Mat decoded;
    try {
        decoded = cv::imread(path, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception& e) {
        logf("UIImage: cannot decode %s: %s", path.c_str(), e.what());
        return nullptr;
    }
    cairo_surface_t* surface = surfaceFromMat(decoded);
    if (!surface) return nullptr;
    auto image = std::make_shared<UIImage>(surface, 1);
    cairo_surface_destroy(surface);
    return image;
}

std::shared_ptr<UIImage> UIImage::imageNamed(const std::string& name) {
    if (name.empty()) return nullptr;
    const Bundle& bundle = Bundle::main();
    const std::string key = bundle.bundlePath() + '\n' + name;
    std::lock_guard lock(cacheMutex());
    auto& cache = imageCache();
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    std::optional<std::string> path = bundle.pathForResource(name, "");
    if (!path) path = bundle.pathForResource(name, "png");
    if (!path) path = bundle.pathForResource(name, "jpg");
    if (!path) return nullptr;
    auto image = imageWithContentsOfFile(*path);
    if (image) cache[key] = image;
    return image;
}

void UIImage::clearImageCache() {
    std::lock_guard lock(cacheMutex());
    imageCache().clear();
}

int UIImage::pixelWidth() const { return cairo_image_surface_get_width(surface_); }
int UIImage::pixelHeight() const { return cairo_image_surface_get_height(surface_); }
CGSize UIImage::size() const { return {pixelWidth() / scale_, pixelHeight() / scale_}; }

std::optional<UIImage::Pixel> UIImage::pixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight()) return std::nullopt;
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    if (!data) return std::nullopt;
    const std::uint32_t v =
        reinterpret_cast<const std::uint32_t*>(data + y * cairo_image_surface_get_stride(surface_))[x];
    const bool opaque = cairo_image_surface_get_format(surface_) == CAIRO_FORMAT_RGB24;
    const std::uint32_t a = opaque ? 255 : v >> 24;
    auto unpremultiply = [a](std::uint32_t c) { return a == 0 ? 0u : std::min(255u, (c * 255 + a / 2) / a); };
    return Pixel{static_cast<std::uint8_t>(unpremultiply((v >> 16) & 0xFF)),
                 static_cast<std::uint8_t>(unpremultiply((v >> 8) & 0xFF)),
                 static_cast<std::uint8_t>(unpremultiply(v & 0xFF)), static_cast<std::uint8_t>(a)};
}

bool UIImage::writePNG(const std::string& path) const {
    return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void UIImage::drawInRect(CGRect rect) const {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c || rect.size.width <= 0 || rect.size.height <= 0) return;
    cairo_t* cr = c->cairo();
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr);
    cairo_translate(cr, rect.origin.x, rect.origin.y);
    cairo_scale(cr, rect.size.width / pixelWidth(), rect.size.height / pixelHeight());
    cairo_set_source_surface(cr, surface_, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
}

void UIImage::drawAtPoint(CGPoint point) const { drawInRect({point, size()}); }

}  // namespace platform
