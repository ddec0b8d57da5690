#include "cardscanner/core/Homography.h"

#include <Eigen/Dense>

#include <algorithm>

CvPoint2D32f make_point(float x, float y) { return cvPoint2D32f(x, y); }

// Constant-initialised, so it is ready before any static constructor that
// might warp.
const CvPoint2D32f warp_quad[4] = {{-1.0f, -1.0f}, {1.0f, -1.0f}, {-1.0f, 1.0f}, {1.0f, 1.0f}};

void perspective_transform_from_points(float* out, int n, unsigned flags, const float src[8], const float dst[8])
{
    if (out == nullptr || src == nullptr || dst == nullptr || n <= 0)
        return;
    Eigen::Matrix<float, 8, 8> a;
    Eigen::Matrix<float, 8, 1> b;
    for (int i = 0; i < 4; ++i) {
        const float x = src[2 * i], y = src[2 * i + 1];
        const float u = dst[2 * i], v = dst[2 * i + 1];
        a.row(i) << x, y, 1.0f, 0.0f, 0.0f, 0.0f, -x * u, -y * u;
        a.row(4 + i) << 0.0f, 0.0f, 0.0f, x, y, 1.0f, -x * v, -y * v;
        b(i) = u;
        b(4 + i) = v;
    }
    const Eigen::Matrix<float, 8, 1> h = a.householderQr().solve(b);

    std::fill(out, out + n, 0.0f);
    const bool row_major = (flags & kPerspectiveRowMajor) != 0;
    const int size = n < 16 ? 3 : 4;
    auto put = [&](int r, int c, float value) {
        const int index = row_major ? r * size + c : c * size + r;
        if (index < n)
            out[index] = value;
    };
    if (size == 3) {
        put(0, 0, h(0)), put(0, 1, h(1)), put(0, 2, h(2));
        put(1, 0, h(3)), put(1, 1, h(4)), put(1, 2, h(5));
        put(2, 0, h(6)), put(2, 1, h(7)), put(2, 2, 1.0f);
    } else {
        put(0, 0, h(0)), put(0, 1, h(1)), put(0, 3, h(2));
        put(1, 0, h(3)), put(1, 1, h(4)), put(1, 3, h(5));
        put(2, 2, 1.0f);
        put(3, 0, h(6)), put(3, 1, h(7)), put(3, 3, 1.0f);
    }
}
