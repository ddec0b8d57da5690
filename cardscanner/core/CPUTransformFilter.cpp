#include "cardscanner/core/CPUTransformFilter.h"

#include <algorithm>
#include <cmath>

namespace {

// One source sample as GL_LINEAR with GL_CLAMP_TO_EDGE takes it: texel
// centres at half-integers, neighbours clamped to the image.
float bilinear(const TransformPlane& plane, double x, double y)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const float ax = static_cast<float>(x - fx), ay = static_cast<float>(y - fy);
    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    const int xa = std::clamp(x0, 0, plane.width - 1), xb = std::clamp(x0 + 1, 0, plane.width - 1);
    const int ya = std::clamp(y0, 0, plane.height - 1), yb = std::clamp(y0 + 1, 0, plane.height - 1);
    const uint8_t* row_a = plane.data + static_cast<std::ptrdiff_t>(ya) * plane.step;
    const uint8_t* row_b = plane.data + static_cast<std::ptrdiff_t>(yb) * plane.step;
    const float top = row_a[xa] + ax * static_cast<float>(row_a[xb] - row_a[xa]);
    const float bottom = row_b[xa] + ax * static_cast<float>(row_b[xb] - row_b[xa]);
    return top + ay * (bottom - top);
}

} // namespace

std::unique_ptr<TransformFilter> cpu_transform_filter_create(double width, double height)
{
    if (!(width > 0.0) || !(height > 0.0) || !std::isfinite(width) || !std::isfinite(height))
        return nullptr;
    return std::make_unique<CPUTransformFilter>(width, height);
}

bool CPUTransformFilter::transform(const IplImage* src, IplImage* dst, const float matrix[16])
{
    TransformPlane source, destination;
    if (matrix == nullptr || !transform_plane(src, source) || !transform_plane(dst, destination))
        return false;
    if (source.width == 0 || source.height == 0)
        return false;
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(matrix[i]))
            return false;
    }

    // The vertex stage maps filter pixel p to clip (x, y, w) through the
    // x, y and w rows of the matrix (the orthographic projection of the GPU
    // filter leaves them alone); each destination pixel centre is sent back
    // through the inverse.
    const double m00 = matrix[0], m01 = matrix[4], m02 = matrix[12];
    const double m10 = matrix[1], m11 = matrix[5], m12 = matrix[13];
    const double m20 = matrix[3], m21 = matrix[7], m22 = matrix[15];
    const double det = m00 * (m11 * m22 - m12 * m21) - m01 * (m10 * m22 - m12 * m20) + m02 * (m10 * m21 - m11 * m20);
    if (!std::isfinite(det) || std::fabs(det) < 1e-300)
        return false;
    const double inv[3][3] = {
        {(m11 * m22 - m12 * m21) / det, (m02 * m21 - m01 * m22) / det, (m01 * m12 - m02 * m11) / det},
        {(m12 * m20 - m10 * m22) / det, (m00 * m22 - m02 * m20) / det, (m02 * m10 - m00 * m12) / det},
        {(m10 * m21 - m11 * m20) / det, (m01 * m20 - m00 * m21) / det, (m00 * m11 - m01 * m10) / det},
    };

    const double filter_width = size_.width, filter_height = size_.height;
    const double texel_x = source.width / filter_width, texel_y = source.height / filter_height;
    const double clip_step_x = 2.0 / destination.width;
    for (int row = 0; row < destination.height; ++row) {
        uint8_t* out = destination.data + static_cast<std::ptrdiff_t>(row) * destination.step;
        const double cy = (row + 0.5) * 2.0 / destination.height - 1.0;
        const double cx0 = 0.5 * clip_step_x - 1.0;
        double a = inv[0][0] * cx0 + inv[0][1] * cy + inv[0][2];
        double b = inv[1][0] * cx0 + inv[1][1] * cy + inv[1][2];
        double c = inv[2][0] * cx0 + inv[2][1] * cy + inv[2][2];
        const double da = inv[0][0] * clip_step_x, db = inv[1][0] * clip_step_x, dc = inv[2][0] * clip_step_x;
        for (int column = 0; column < destination.width; ++column, a += da, b += db, c += dc) {
            // c is 1 / w of the vertex that lands here: behind the eye
            // (w <= 0) the GPU clips it away.
            if (!(c > 0.0)) {
                out[column] = 0;
                continue;
            }
            const double px = a / c, py = b / c;
            if (!(px >= 0.0 && px <= filter_width && py >= 0.0 && py <= filter_height)) {
                out[column] = 0;
                continue;
            }
            const float value = bilinear(source, px * texel_x - 0.5, py * texel_y - 0.5);
            out[column] = static_cast<uint8_t>(std::clamp(value + 0.5f, 0.0f, 255.0f));
        }
    }
    return true;
}
