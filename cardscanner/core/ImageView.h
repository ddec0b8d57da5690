#pragma once
// Internal to the core: a checked view of an IplImage's pixels (its region
// of interest when one is set). Every public function goes through
// image_view before touching a buffer, so a header that promises more bytes
// than it carries, or a region outside the image, is refused up front.

#include <opencv2/core/core_c.h>

#include <cstdint>

struct ImageView {
    uint8_t* data = nullptr; // first byte of the region
    int width = 0;
    int height = 0;
    int step = 0; // bytes per row
    int channels = 0;
    int depth = 0; // IPL_DEPTH_*

    uint8_t* row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * step; }
};

inline int bytes_per_channel(int depth) { return (depth & 255) / 8; }

// One of the image library's pixel depths.
inline bool is_ipl_depth(int depth)
{
    switch (static_cast<unsigned>(depth)) {
    case IPL_DEPTH_8U:
    case IPL_DEPTH_8S:
    case IPL_DEPTH_16U:
    case IPL_DEPTH_16S:
    case IPL_DEPTH_32S:
    case IPL_DEPTH_32F:
    case IPL_DEPTH_64F:
        return true;
    default:
        return false;
    }
}

// Fills view with the region of image (or the whole image); false when the
// header is not a sound image header.
inline bool image_view(const IplImage* image, ImageView& view)
{
    if (image == nullptr || image->nSize != static_cast<int>(sizeof(IplImage)) || image->imageData == nullptr)
        return false;
    if (image->width < 0 || image->height < 0 || image->nChannels < 1 || image->nChannels > 4)
        return false;
    if (!is_ipl_depth(image->depth))
        return false;
    const int64_t row_bytes = int64_t{image->width} * image->nChannels * bytes_per_channel(image->depth);
    if (image->widthStep < row_bytes || int64_t{image->imageSize} < int64_t{image->widthStep} * image->height)
        return false;
    int x = 0, y = 0, width = image->width, height = image->height;
    if (image->roi != nullptr) {
        x = image->roi->xOffset;
        y = image->roi->yOffset;
        width = image->roi->width;
        height = image->roi->height;
        if (x < 0 || y < 0 || width < 0 || height < 0 || x + width > image->width || y + height > image->height)
            return false;
    }
    view.step = image->widthStep;
    view.channels = image->nChannels;
    view.depth = image->depth;
    view.width = width;
    view.height = height;
    view.data = reinterpret_cast<uint8_t*>(image->imageData) + static_cast<std::ptrdiff_t>(y) * image->widthStep
        + static_cast<std::ptrdiff_t>(x) * image->nChannels * bytes_per_channel(image->depth);
    return true;
}

inline bool is_plane8(const ImageView& view) { return view.depth == IPL_DEPTH_8U && view.channels == 1; }

// The whole image, ignoring any region of interest.
inline bool whole_image_view(const IplImage* image, ImageView& view)
{
    if (image == nullptr)
        return false;
    IplImage header = *image;
    header.roi = nullptr;
    return image_view(&header, view);
}
