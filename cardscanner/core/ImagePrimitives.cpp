#include "cardscanner/core/ImagePrimitives.h"

#include "cardscanner/core/ImageView.h"

#include <algorithm>
#include <cmath>

bool split_cbcr(const IplImage* cbcr, IplImage** cb, IplImage** cr)
{
    if (cb == nullptr || cr == nullptr)
        return false;
    *cb = nullptr;
    *cr = nullptr;
    ImageView source;
    if (!image_view(cbcr, source) || source.depth != IPL_DEPTH_8U || source.channels != 2)
        return false;
    IplImage* first = cvCreateImage(cvSize(source.width, source.height), IPL_DEPTH_8U, 1);
    IplImage* second = cvCreateImage(cvSize(source.width, source.height), IPL_DEPTH_8U, 1);
    for (int y = 0; y < source.height; ++y) {
        const uint8_t* in = source.row(y);
        auto* out_cb = reinterpret_cast<uint8_t*>(first->imageData + static_cast<std::ptrdiff_t>(y) * first->widthStep);
        auto* out_cr = reinterpret_cast<uint8_t*>(second->imageData + static_cast<std::ptrdiff_t>(y) * second->widthStep);
        for (int x = 0; x < source.width; ++x) {
            out_cb[x] = in[2 * x];
            out_cr[x] = in[2 * x + 1];
        }
    }
    *cb = first;
    *cr = second;
    return true;
}

bool ycbcr_to_rgb(const IplImage* y, const IplImage* cb, const IplImage* cr, IplImage** rgb)
{
    ImageView luma, blue, red;
    if (rgb == nullptr || !image_view(y, luma) || !image_view(cb, blue) || !image_view(cr, red))
        return false;
    if (!is_plane8(luma) || !is_plane8(blue) || !is_plane8(red))
        return false;
    if (blue.width != luma.width || blue.height != luma.height || red.width != luma.width || red.height != luma.height)
        return false;
    ImageView out;
    if (*rgb != nullptr) {
        if (!image_view(*rgb, out) || out.depth != IPL_DEPTH_8U || (out.channels != 3 && out.channels != 4)
            || out.width < luma.width || out.height < luma.height)
            return false;
    } else {
        *rgb = cvCreateImage(cvSize(luma.width, luma.height), IPL_DEPTH_8U, 3);
        image_view(*rgb, out);
    }
    const int channels = out.channels;
    for (int row = 0; row < luma.height; ++row) {
        const uint8_t* Y = luma.row(row);
        const uint8_t* Cb = blue.row(row);
        const uint8_t* Cr = red.row(row);
        uint8_t* o = out.row(row);
        for (int x = 0; x < luma.width; ++x) {
            const int32_t c = int32_t{Cb[x]} - 128;
            const int32_t r = int32_t{Cr[x]} - 128;
            const int32_t value = Y[x];
            // >> on negative int32 is arithmetic in C++20.
            const int32_t R = value + ((22987 * r + 8192) >> 14);
            const int32_t G = value + ((-5636 * c - 11698 * r + 8192) >> 14);
            const int32_t B = value + ((29049 * c + 8192) >> 14);
            o[0] = static_cast<uint8_t>(std::clamp(R, 0, 255));
            o[1] = static_cast<uint8_t>(std::clamp(G, 0, 255));
            o[2] = static_cast<uint8_t>(std::clamp(B, 0, 255));
            if (channels == 4)
                o[3] = 255;
            o += channels;
        }
    }
    return true;
}

void extract_first_channel(const uint8_t* source, uint8_t* destination, size_t n)
{
    if (source == nullptr || destination == nullptr)
        return;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (size_t k = 0; k < 8; ++k)
            destination[i + k] = source[4 * (i + k)];
    }
    for (; i < n; ++i)
        destination[i] = source[4 * i];
}

namespace {

float focus_score_of(const ImageView& image)
{
    const int w = image.width;
    const int h = image.height;
    if (w == 0 || h == 0)
        return 0.0f;
    // The second row of the difference is row 0 except on the last row, not
    // the row below: the focus thresholds of frame analysis (6.0, 3.0) were
    // tuned on this measure, so it stays as it is.
    double sum = 0.0;
    double sum_squares = 0.0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* upper = image.row(std::max(y - 1, 0));
        const uint8_t* second = image.row((y == h - 1 && h >= 2) ? 1 : 0);
        int64_t row_sum = 0;
        int64_t row_squares = 0;
        for (int x = 0; x < w; ++x) {
            const int xl = std::max(x - 1, 0);
            const int xr = std::min(x + 1, w - 1);
            const int16_t d = static_cast<int16_t>(int{upper[xl]} - int{upper[xr]} - int{second[xl]} + int{second[xr]});
            const int64_t a = d < 0 ? -d : d;
            row_sum += a;
            row_squares += a * a;
        }
        sum += static_cast<double>(row_sum);
        sum_squares += static_cast<double>(row_squares);
    }
    const double count = static_cast<double>(w) * h;
    const double mean = sum / count;
    const double variance = std::max(sum_squares / count - mean * mean, 0.0);
    return static_cast<float>(std::sqrt(variance));
}

} // namespace

float focus_score(const IplImage* image)
{
    ImageView view;
    if (!image_view(image, view) || !is_plane8(view))
        return -1.0f;
    return focus_score_of(view);
}

CvRect frame_score_window(int width, int height, bool large)
{
    if (width <= 0 || height <= 0)
        return cvRect(0, 0, 0, 0);
    int window_width = large ? 428 : 142;
    int window_height = large ? 270 : 90;
    if (width != 640 || height != 480) {
        const float s = std::min(static_cast<float>(width) / 640.0f, static_cast<float>(height) / 480.0f);
        window_width = static_cast<int>(static_cast<float>(window_width) * s);
        window_height = static_cast<int>(static_cast<float>(window_height) * s);
    }
    return cvRect((width - window_width) / 2, (height - window_height) / 2, window_width, window_height);
}

namespace {

// The window of the whole plane (any region of interest the caller had set is
// dropped, as the score leaves the plane without one).
bool frame_window_view(IplImage* y, bool large, ImageView& window)
{
    ImageView whole;
    if (!whole_image_view(y, whole) || whole.depth != IPL_DEPTH_8U)
        return false;
    cvResetImageROI(y);
    const CvRect rect = frame_score_window(whole.width, whole.height, large);
    window = whole;
    window.data = whole.row(rect.y) + static_cast<std::ptrdiff_t>(rect.x) * whole.channels;
    window.width = rect.width;
    window.height = rect.height;
    return true;
}

} // namespace

float focus_score_for_frame(IplImage* y, bool large)
{
    ImageView window;
    if (!frame_window_view(y, large, window) || window.channels != 1)
        return -1.0f;
    return focus_score_of(window);
}

float brightness_score_for_frame(IplImage* y, bool large)
{
    ImageView window;
    if (!frame_window_view(y, large, window))
        return -1.0f;
    if (window.width == 0 || window.height == 0)
        return 0.0f;
    int64_t sum = 0;
    for (int row = 0; row < window.height; ++row) {
        const uint8_t* p = window.row(row);
        for (int x = 0; x < window.width; ++x)
            sum += p[x * window.channels];
    }
    return static_cast<float>(static_cast<double>(sum) / (static_cast<double>(window.width) * window.height));
}

bool llcv_equalize_hist(const IplImage* src, IplImage* dst)
{
    ImageView in, out;
    if (!image_view(src, in) || !image_view(dst, out) || !is_plane8(in) || !is_plane8(out) || in.width != out.width
        || in.height != out.height)
        return false;
    const int32_t total = in.width * in.height;
    if (total == 0)
        return true;
    int32_t histogram[256] = {};
    for (int y = 0; y < in.height; ++y) {
        const uint8_t* p = in.row(y);
        for (int x = 0; x < in.width; ++x)
            ++histogram[p[x]];
    }
    const float scale = 255.0f / static_cast<float>(total);
    uint8_t lut[256];
    int32_t cumulative = 0;
    for (int i = 0; i < 256; ++i) {
        cumulative += histogram[i];
        const float value = std::nearbyint(scale * static_cast<float>(cumulative));
        lut[i] = static_cast<uint8_t>(std::clamp(value, 0.0f, 255.0f));
    }
    // The digit networks were trained with the darkest level pinned to 0.
    lut[0] = 0;
    for (int y = 0; y < in.height; ++y) {
        const uint8_t* p = in.row(y);
        uint8_t* q = out.row(y);
        for (int x = 0; x < in.width; ++x)
            q[x] = lut[p[x]];
    }
    return true;
}
