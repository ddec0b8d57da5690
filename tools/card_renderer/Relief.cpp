#include "tools/card_renderer/Relief.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace card_renderer {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

Relief random_relief(Rng& rng, bool embossed, bool foil, const cv::Vec3d& under)
{
    Relief r;
    r.embossed = embossed;
    r.foil = foil;
    const double azimuth = rng.uniform(0, 2 * kPi);
    const double elevation = rng.uniform(20, 70) * kPi / 180;
    r.light_x = std::cos(azimuth) * std::cos(elevation);
    r.light_y = std::sin(azimuth) * std::cos(elevation);
    r.light_z = std::sin(elevation);
    // Embossed characters stand about 0.46 mm proud, some 2.3 px on the card.
    r.height = rng.uniform(1.8, 2.8);
    r.softness = rng.uniform(0.6, 1.4);
    r.brightness = rng.uniform(110, 260);
    const double luma = luma_of(cv::Scalar(under));
    if (!embossed) {
        const double v = luma > 128 ? rng.uniform(0, 70) : rng.uniform(185, 255);
        r.face = cv::Vec3d(v, v, v);
        if (rng.chance(0.3))
            for (int c = 0; c < 3; ++c)
                r.face[c] = std::clamp(r.face[c] + rng.uniform(-50, 50), 0.0, 255.0);
        r.face_opacity = rng.uniform(0.75, 1.0);
    } else if (foil) {
        if (rng.chance(0.6)) {
            const double v = rng.uniform(170, 245);
            r.face = cv::Vec3d(v, v, v);
        } else if (rng.chance(0.5)) {
            r.face = cv::Vec3d(rng.uniform(40, 110), rng.uniform(150, 200), rng.uniform(200, 245));
        } else {
            const double v = rng.uniform(10, 60);
            r.face = cv::Vec3d(v, v, v);
        }
        r.face_opacity = rng.uniform(0.7, 1.0);
    } else {
        // Bare plastic: only the light tells the character from the card.
        r.face = under;
        r.face_opacity = 0;
    }
    return r;
}

void apply_relief(cv::Mat& card, const cv::Mat& mask, const Relief& relief)
{
    cv::Mat face;
    cv::GaussianBlur(mask, face, cv::Size(0, 0), 0.45);
    const cv::Vec3f face_colour(relief.face);
    for (int y = 0; y < card.rows; ++y) {
        const float* m = face.ptr<float>(y);
        auto* p = card.ptr<cv::Vec3f>(y);
        for (int x = 0; x < card.cols; ++x) {
            if (m[x] <= 0)
                continue;
            const float kept = relief.wear.empty() ? 1.0f : relief.wear.at<float>(y, x);
            const auto a = static_cast<float>(m[x] * relief.face_opacity * kept);
            p[x] = p[x] * (1 - a) + face_colour * a;
        }
    }
    if (!relief.embossed)
        return;
    cv::Mat height, gx, gy;
    cv::GaussianBlur(mask, height, cv::Size(0, 0), relief.softness);
    cv::Sobel(height, gx, CV_32F, 1, 0, 3, relief.height / 8);
    cv::Sobel(height, gy, CV_32F, 0, 1, 3, relief.height / 8);
    // Lambert's law against the flat card: a slope turned towards the light
    // brightens, one turned away darkens, and one running along the light
    // still darkens because it leans away from the light's height. A linear
    // shading would leave those last edges invisible, which no real
    // embossing is.
    for (int y = 0; y < card.rows; ++y) {
        const float* dx = gx.ptr<float>(y);
        const float* dy = gy.ptr<float>(y);
        auto* p = card.ptr<cv::Vec3f>(y);
        for (int x = 0; x < card.cols; ++x) {
            if (dx[x] == 0 && dy[x] == 0)
                continue;
            const double facing = (-dx[x] * relief.light_x - dy[x] * relief.light_y + relief.light_z)
                / std::sqrt(1.0 + double(dx[x]) * dx[x] + double(dy[x]) * dy[x]);
            const auto shade = static_cast<float>(relief.brightness * (std::max(facing, 0.0) - relief.light_z));
            p[x] += cv::Vec3f(shade, shade, shade);
        }
    }
}

}  // namespace card_renderer
