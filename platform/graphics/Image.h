#pragma once
// An image: premultiplied ARGB pixels in a cairo image surface, with a scale
// (pixels a point). Images are immutable and shared (std::shared_ptr); one
// may be drawn by any number of views.
//
// imageNamed() finds an image in the main bundle (the name as given, then
// with ".png", then with ".jpg"), decodes it once with OpenCV and keeps it:
// the same name answers the same object until clearImageCache(). Loading is
// thread-safe; drawing happens where the current context is (main thread).
//
// An image may carry an orientation (the EXIF one of the JPEG it came from):
// its pixels stay as stored and size() and drawInRect() show it upright.
// Encoding (UIImageJPEGRepresentation, UIImagePNGRepresentation) is
// thread-safe; an empty Data means it failed.
//
// Decoding reads the size a JPEG or PNG header claims before anything else,
// as the decoder reads it (a JPEG's header by libjpeg's own header read):
// an image of more than kUIImageMaxPixels pixels, or with a side longer than
// kUIImageMaxSide, or a JPEG whose decode would take more than
// kUIImageMaxDecodeBytes, or of another format, is refused (nullptr and a log
// line) without its bitmap ever being allocated. A JPEG cut short shows as far as
// its data goes, grey after; one cut inside a header is refused. JPEG data
// that does not end in its end marker is read, pixels and EXIF alike, with
// that marker added: it is turned as its whole file would be. A damaged JPEG
// file (imageWithContentsOfFile) shows what decodes of it, with a log line
// naming the file; a libjpeg warning about anything but its data (such as a
// JFIF revision it does not know) is no damage.
//
// An image made by imageWithDataDecodedWhenNeeded() from a JPEG holds its
// bytes and decodes them the first time its pixels are needed (once, on
// whichever thread asks first), as the phone's images made from data do: a
// picture that is only ever scaled down can then be decoded at a fraction of
// its size (reducedImageCovering) and never at full size. Until its pixels
// are needed, encoding it as JPEG and turning it upright decode it for that
// alone and keep nothing of that decode.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/graphics/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace platform {

inline constexpr std::uint64_t kUIImageMaxPixels = 100'000'000;
// The most memory a JPEG's decode may take: its bitmap, and the coefficients
// libjpeg holds whole for a picture in several scans (progressive ones). At
// the pixel limit it leaves room for the coefficients of a picture whose
// colour is subsampled, as a camera's is, not for three or four components
// at full size.
inline constexpr std::uint64_t kUIImageMaxDecodeBytes = 800'000'000;
// The longest side a drawing surface can have.
inline constexpr std::uint32_t kUIImageMaxSide = 32'767;

// How the stored pixels are turned to be upright (the platform's values).
enum UIImageOrientation : long {
    UIImageOrientationUp = 0,
    UIImageOrientationDown = 1,           // 180 degrees
    UIImageOrientationLeft = 2,           // 90 degrees counter-clockwise
    UIImageOrientationRight = 3,          // 90 degrees clockwise
    UIImageOrientationUpMirrored = 4,
    UIImageOrientationDownMirrored = 5,
    UIImageOrientationLeftMirrored = 6,
    UIImageOrientationRightMirrored = 7,
};
// EXIF Orientation (1-8) to and from UIImageOrientation; unknown EXIF values give Up.
UIImageOrientation UIImageOrientationFromExif(int exifOrientation);
int UIImageOrientationToExif(UIImageOrientation orientation);

class UIImage {
public:
    // Adopts a reference of an ARGB32 image surface (taking one of its own).
    UIImage(cairo_surface_t* surface, double scale, UIImageOrientation orientation = UIImageOrientationUp);
    ~UIImage();
    UIImage(const UIImage&) = delete;
    UIImage& operator=(const UIImage&) = delete;

    // nullptr when no such resource exists in the main bundle or it does not decode.
    static std::shared_ptr<UIImage> imageNamed(const std::string& name);
    // A PNG or JPEG file (uncached); nullptr when missing or undecodable, and
    // `error` then says which (no file, another format, a limit passed).
    static std::shared_ptr<UIImage> imageWithContentsOfFile(const std::string& path, std::string* error = nullptr);
    // JPEG or PNG bytes; a JPEG's EXIF Orientation becomes imageOrientation().
    // nullptr when the bytes do not decode.
    static std::shared_ptr<UIImage> imageWithData(const Data& data, double scale = 1);
    // As imageWithData (scale 1), but a JPEG is decoded at the smallest of
    // 1/8, 1/4 and 1/2 of its size whose shorter side still has `side` pixels.
    static std::shared_ptr<UIImage> thumbnailWithData(const Data& data, int side);
    // As imageWithData (scale 1), but a JPEG is only checked (size, pixel
    // limit) and read for its orientation now; its pixels are decoded when
    // first needed. Pixels that then fail to decode show transparent, at the
    // size the header claims (and a log line says so).
    static std::shared_ptr<UIImage> imageWithDataDecodedWhenNeeded(Data data);
    // The same pixels with another orientation.
    static std::shared_ptr<UIImage> imageWithImage(const UIImage& image, UIImageOrientation orientation);
    // Forgets every image imageNamed() keeps (a memory warning, or tests that
    // switch bundles).
    static void clearImageCache();

    // In points, upright: width and height swapped for Left and Right orientations.
    CGSize size() const;
    UIImageOrientation imageOrientation() const { return orientation_; }
    double scale() const { return scale_; }
    // The stored pixels' size (not turned by the orientation).
    int pixelWidth() const;
    int pixelHeight() const;

    struct Pixel {
        std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;
        friend bool operator==(const Pixel&, const Pixel&) = default;
    };
    // One pixel, not premultiplied; nothing outside the image.
    std::optional<Pixel> pixelAt(int x, int y) const;

    bool writePNG(const std::string& path) const;

    // The pixels turned upright (orientation Up); itself when already Up;
    // nullptr when the bitmap cannot be made.
    std::shared_ptr<UIImage> uprightImage() const;

    // For an image that holds its JPEG (imageWithDataDecodedWhenNeeded): the
    // JPEG decoded at the smallest of 1/8, 1/4 and 1/2 of its size whose
    // pixels, turned upright, still cover `upright` (width and height as
    // shown), with this image's orientation and scale 1. nullptr when not
    // even half covers it, when the image holds no JPEG, or when that decode
    // fails: the image itself is then the one to draw.
    std::shared_ptr<UIImage> reducedImageCovering(CGSize upright) const;

    // Into the current context, upright, scaled to fill the rectangle.
    void drawInRect(CGRect rect) const;
    void drawAtPoint(CGPoint point) const;

    // Decodes a held JPEG first, when that has not happened yet.
    cairo_surface_t* surface() const;

    // For an image that holds its JPEG (imageWithDataDecodedWhenNeeded): the
    // bytes its pixels and its orientation are read from, which end in the
    // end marker even when the data given did not; null for other images.
    const std::shared_ptr<const Data>& heldJpegData() const { return jpeg_; }

private:
    UIImage(std::shared_ptr<const Data> jpeg, int width, int height, UIImageOrientation orientation);
    void decodeHeldJpeg() const;
    // Holds its JPEG, not decoded yet (by any thread, as far as this one has seen).
    bool holdsUndecodedJpeg() const { return jpeg_ && !pixelsDecoded_.load(std::memory_order_acquire); }
    friend Data UIImageJPEGRepresentation(const UIImage& image, double compressionQuality);

    mutable cairo_surface_t* surface_;  // set once through decoded_ for an image holding its JPEG
    double scale_;
    UIImageOrientation orientation_;
    // Kept after a full decode too, so that what reducedImageCovering gives
    // never depends on whether the pixels were needed before.
    std::shared_ptr<const Data> jpeg_;
    int jpegWidth_ = 0, jpegHeight_ = 0;
    mutable std::once_flag decoded_;
    mutable std::atomic<bool> pixelsDecoded_{false};
};

// Encoded bytes; empty when encoding fails. JPEG quality is 0.0-1.0
// (clamped); a JPEG of an image not Up keeps its orientation in an EXIF
// Orientation tag.
Data UIImageJPEGRepresentation(const UIImage& image, double compressionQuality);
Data UIImagePNGRepresentation(const UIImage& image);

}  // namespace platform
