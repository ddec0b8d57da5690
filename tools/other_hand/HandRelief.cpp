// The embossed strokes as a height field lit by a nearby light. Brightness is
// taken relative to the flat card under the same light, so the design keeps
// its printed colours away from the relief and only the strokes' slopes,
// their tops and the shadows they cast change it.
#include "tools/other_hand/HandInternals.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace other_hand::detail {

namespace {

float sample(const cv::Mat& field, double x, double y)
{
    x = std::clamp(x, 0.0, field.cols - 1.001);
    y = std::clamp(y, 0.0, field.rows - 1.001);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    const float* r0 = field.ptr<float>(y0);
    const float* r1 = field.ptr<float>(y0 + 1);
    return (r0[x0] * (1 - fx) + r0[x0 + 1] * fx) * (1 - fy) + (r1[x0] * (1 - fx) + r1[x0 + 1] * fx) * fy;
}

struct Vec {
    double x, y, z;
};
Vec normalised(Vec v)
{
    const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / n, v.y / n, v.z / n};
}
double dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

void emboss(cv::Mat& colour, const cv::Mat& mask, const ReliefLook& look, const Light& light)
{
    cv::Mat height;
    cv::GaussianBlur(mask, height, cv::Size(0, 0), std::max(0.3, look.softness));
    // Strokes thinner than the die's rounding do not reach full height.
    height *= look.height;
    cv::Mat dx, dy;
    cv::Sobel(height, dx, CV_32F, 1, 0, 3, 1.0 / 8);
    cv::Sobel(height, dy, CV_32F, 0, 1, 3, 1.0 / 8);

    cv::Mat near;
    cv::dilate(height > 0.01 * look.height, near, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(19, 19)));

    // Four points of an area light (one for a point light), fixed offsets
    // around its centre.
    const Vec centre{colour.cols / 2.0 + light.distance * std::cos(light.elevation) * std::cos(light.azimuth),
                     colour.rows / 2.0 + light.distance * std::cos(light.elevation) * std::sin(light.azimuth),
                     light.distance * std::sin(light.elevation)};
    std::vector<Vec> lamps;
    if (light.size <= 0) {
        lamps.push_back(centre);
    } else {
        const std::array<std::array<double, 2>, 4> offsets{{{1, 0.3}, {-0.3, 1}, {-1, -0.3}, {0.3, -1}}};
        for (const auto& o : offsets)
            lamps.push_back({centre.x + o[0] * light.size, centre.y + o[1] * light.size, centre.z});
    }
    const double lamp_share = 1.0 / static_cast<double>(lamps.size());
    const double top = look.height * 0.55;

    for (int y = 0; y < colour.rows; ++y) {
        auto* out = colour.ptr<cv::Vec3f>(y);
        const float* h = height.ptr<float>(y);
        const float* gx = dx.ptr<float>(y);
        const float* gy = dy.ptr<float>(y);
        const std::uint8_t* relevant = near.ptr<std::uint8_t>(y);
        for (int x = 0; x < colour.cols; ++x) {
            if (!relevant[x])
                continue;
            const Vec n = normalised({-gx[x], -gy[x], 1});
            double lit = 0, flat_lit = 0, shine = 0;
            for (const Vec& lamp : lamps) {
                const Vec to_lamp{lamp.x - x, lamp.y - y, lamp.z - h[x]};
                const Vec l = normalised(to_lamp);
                const Vec flat_l = normalised({lamp.x - x, lamp.y - y, lamp.z});
                // Cast shadow: march towards the lamp over the height field.
                const double across = std::hypot(to_lamp.x, to_lamp.y);
                const double rise = to_lamp.z / std::max(1e-6, across);
                double visible = 1;
                for (double t = 0.5; t <= 10 && visible > 0; t += 0.5) {
                    const double ray = h[x] + t * rise;
                    if (ray > look.height + 0.05)
                        break;
                    const double over = sample(height, x + t * to_lamp.x / across, y + t * to_lamp.y / across) - ray;
                    if (over > 0)
                        visible = std::min(visible, std::max(0.0, 1 - over / 0.35));
                }
                const double diffuse = std::max(0.0, dot(n, l)) * visible;
                lit += lamp_share * (look.ambient + look.diffuse * diffuse);
                flat_lit += lamp_share * (look.ambient + look.diffuse * flat_l.z);
                const Vec half = normalised({l.x, l.y, l.z + 1});
                const Vec flat_half = normalised({flat_l.x, flat_l.y, flat_l.z + 1});
                shine += lamp_share * (std::pow(std::max(0.0, dot(n, half)), look.shininess) * visible -
                                       std::pow(flat_half.z, look.shininess));
            }
            const double tip = look.foil ? std::clamp((h[x] - top) / (0.25 * look.height), 0.0, 1.0) : 0.0;
            const cv::Vec3f& base = out[x];
            cv::Vec3f albedo = base * static_cast<float>(1 - tip) + look.foil_colour * static_cast<float>(tip);
            const double gain = lit / flat_lit;
            // Foil is a mirror: most of its light comes back as a highlight
            // of its own colour.
            const double specular = look.specular * (1 + 3 * tip);
            cv::Vec3f highlight = cv::Vec3f(1, 1, 1) * static_cast<float>(1 - tip) + look.foil_colour * static_cast<float>(tip);
            out[x] = albedo * static_cast<float>(gain) + highlight * static_cast<float>(specular * shine);
        }
    }
}

}  // namespace other_hand::detail
