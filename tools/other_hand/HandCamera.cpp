// The other hand's camera: a small perspective, lens blur, a rolling
// shutter's row-varying exposure under mains-flickering light, sensor noise
// that grows with the signal, 4:2:0 chroma, and a JPEG round trip for
// stills. Everything in linear-ish float BGR 0..1 until the sensor's output.
#include "tools/other_hand/OtherHand.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace other_hand {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Exposure per row: a rolling shutter reads rows one after another, so a
// light flickering at twice the mains frequency shows as soft bands.
void roll_exposure(cv::Mat& image, Dice& dice)
{
    const double level = dice.range(0.8, 1.15);
    const double band = dice.coin(0.5) ? dice.range(0.02, 0.08) : 0;
    const double period = dice.range(60, 240), phase = dice.range(0, 2 * kPi);
    const double tilt = dice.range(-0.15, 0.15);
    for (int y = 0; y < image.rows; ++y) {
        const double row = static_cast<double>(y) / image.rows;
        const float gain = static_cast<float>(level * (1 + band * std::sin(2 * kPi * y / period + phase)) *
                                              (1 + tilt * (row - 0.5)));
        image.row(y) *= gain;
    }
}

void blur_lens(cv::Mat& image, Dice& dice, double sigma)
{
    if (dice.coin(0.3)) {   // a defocused lens spreads a point into a disc
        const double radius = 0.6 + sigma;
        const int size = 2 * static_cast<int>(std::ceil(radius)) + 1;
        cv::Mat kernel(size, size, CV_32F);
        const double c = size / 2;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                kernel.at<float>(y, x) = static_cast<float>(
                    std::clamp(radius + 0.5 - std::hypot(x - c, y - c), 0.0, 1.0));
        kernel /= cv::sum(kernel)[0];
        cv::filter2D(image, image, -1, kernel, cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
    } else if (sigma > 0.05) {
        cv::GaussianBlur(image, image, cv::Size(0, 0), sigma);
    }
}

// Shot noise (its variance grows with the light collected) and read noise,
// per colour channel as the sensor's photosites have them.
void add_sensor_noise(cv::Mat& image, Dice& dice)
{
    const double shot = dice.range(0.0004, 0.003), read = dice.range(0.003, 0.012);
    for (int y = 0; y < image.rows; ++y) {
        auto* row = image.ptr<cv::Vec3f>(y);
        for (int x = 0; x < image.cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const double v = std::max(0.0f, row[x][c]);
                row[x][c] = static_cast<float>(v + std::sqrt(shot * v + read * read) * dice.gauss());
            }
    }
}

float luma(const cv::Vec3f& bgr) { return 0.114f * bgr[0] + 0.587f * bgr[1] + 0.299f * bgr[2]; }

// Full-range BT.601 with 4:2:0 chroma, each chroma sample its 2 x 2 block's
// mean, 8 bits: the preview stream's own format.
void to_planes(const cv::Mat& image, std::vector<std::uint8_t>& y_plane, std::vector<std::uint8_t>& cbcr)
{
    const int w = image.cols, h = image.rows;
    const auto byte = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    y_plane.assign(static_cast<std::size_t>(w) * h, 0);
    cbcr.assign(static_cast<std::size_t>(w) * h / 2, 0);
    for (int y = 0; y < h; ++y) {
        const auto* row = image.ptr<cv::Vec3f>(y);
        for (int x = 0; x < w; ++x)
            y_plane[static_cast<std::size_t>(y) * w + x] = byte(255 * luma(row[x]));
    }
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            double b = 0, r = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const cv::Vec3f& p = image.at<cv::Vec3f>(2 * y + dy, 2 * x + dx);
                    const double l = luma(p);
                    b += (p[0] - l) / 1.772;
                    r += (p[2] - l) / 1.402;
                }
            cbcr[static_cast<std::size_t>(y) * w + 2 * x] = byte(128 + 255 * b / 4);
            cbcr[static_cast<std::size_t>(y) * w + 2 * x + 1] = byte(128 + 255 * r / 4);
        }
}

cv::Mat jpeg_round_trip(const cv::Mat& bgr8, int quality)
{
    std::vector<std::uint8_t> bytes;
    cv::imencode(".jpg", bgr8, bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
    return cv::imdecode(bytes, cv::IMREAD_COLOR);
}

}  // namespace

cv::Mat photograph_hand_card(const HandCard& card, std::uint64_t seed, cv::Matx33d* card_to_shot)
{
    Dice dice(seed, 7);
    cv::Mat image;
    card.color.convertTo(image, CV_32FC3, 1.0 / 255);

    // What is left of the perspective after the core's warp: a corner or two
    // off by a pixel or so.
    const cv::Point2f from[4] = {{0, 0}, {kCardWidth - 1.0f, 0}, {kCardWidth - 1.0f, kCardHeight - 1.0f},
                                 {0, kCardHeight - 1.0f}};
    cv::Point2f to[4];
    for (int i = 0; i < 4; ++i)
        to[i] = from[i] + cv::Point2f(static_cast<float>(dice.range(-1.6, 1.6)), static_cast<float>(dice.range(-1.6, 1.6)));
    const cv::Mat leftover = cv::getPerspectiveTransform(from, to);
    if (card_to_shot)
        *card_to_shot = cv::Matx33d(leftover);
    cv::warpPerspective(image, image, leftover, image.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);

    roll_exposure(image, dice);
    blur_lens(image, dice, dice.range(0.3, 1.1));
    add_sensor_noise(image, dice);

    // 4:2:0 chroma and the stored JPEG; the core reads the luma.
    std::vector<std::uint8_t> y_plane, cbcr;
    cv::Mat even = image(cv::Rect(0, 0, image.cols & ~1, image.rows & ~1));
    to_planes(even, y_plane, cbcr);
    cv::Mat grey(kCardHeight, kCardWidth, CV_8UC1, cv::Scalar(0));
    for (int y = 0; y < even.rows; ++y)
        std::copy_n(y_plane.data() + static_cast<std::size_t>(y) * even.cols, even.cols, grey.ptr<std::uint8_t>(y));
    if (dice.coin(0.6)) {
        cv::Mat bgr8;
        cv::cvtColor(grey, bgr8, cv::COLOR_GRAY2BGR);
        cv::cvtColor(jpeg_round_trip(bgr8, dice.whole(45, 92)), grey, cv::COLOR_BGR2GRAY);
    }
    return grey;
}

HandFilm::HandFilm(const HandCard& card, const std::array<cv::Point2d, 4>& guide, std::uint64_t seed) : seed_(seed)
{
    Dice dice(seed, 11);
    cv::Mat colour;
    card.color.convertTo(colour, CV_32FC3, 1.0 / 255);
    // Rounded corners (ISO 7810: 3.18 mm, about 16 px here) cut into alpha.
    const double radius = dice.range(13, 17);
    card_rgba_.create(kCardHeight, kCardWidth, CV_32FC4);
    for (int y = 0; y < kCardHeight; ++y)
        for (int x = 0; x < kCardWidth; ++x) {
            const double cx = std::clamp(x + 0.5, radius, kCardWidth - radius);
            const double cy = std::clamp(y + 0.5, radius, kCardHeight - radius);
            const float alpha = static_cast<float>(std::clamp(radius - std::hypot(x + 0.5 - cx, y + 0.5 - cy) + 0.5, 0.0, 1.0));
            const cv::Vec3f& c = colour.at<cv::Vec3f>(y, x);
            card_rgba_.at<cv::Vec4f>(y, x) = {c[0] * alpha, c[1] * alpha, c[2] * alpha, alpha};
        }

    // The table: a wood grain, a cloth weave or a plain surface, a tone set
    // apart from the card's rim so that its edges can be seen at all.
    const cv::Scalar rim = cv::mean(colour(cv::Rect(0, 0, kCardWidth, 6)));
    const double rim_luma = 0.114 * rim[0] + 0.587 * rim[1] + 0.299 * rim[2];
    const double tone = rim_luma > 0.5 ? dice.range(0.08, 0.3) : dice.range(0.55, 0.85);
    const cv::Vec3f tint(static_cast<float>(tone * dice.range(0.7, 1.0)), static_cast<float>(tone * dice.range(0.8, 1.0)),
                         static_cast<float>(tone * dice.range(0.85, 1.15)));
    table_.create(480, 640, CV_32FC3);
    const int kind = dice.whole(0, 2);
    const double grain = dice.range(20, 60), phase = dice.range(0, 2 * kPi), twist = dice.range(-0.2, 0.2);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            double v = 1;
            if (kind == 0)
                v = 1 + 0.12 * std::sin(2 * kPi * (y + twist * x + 6 * std::sin(x / 90.0 + phase)) / grain);
            else if (kind == 1)
                v = 1 + 0.06 * std::sin(x * 1.3) * std::sin(y * 1.3);
            table_.at<cv::Vec3f>(y, x) = tint * static_cast<float>(v);
        }

    for (std::size_t i = 0; i < 4; ++i)
        placed_[i] = guide[i] + cv::Point2d(dice.range(-3, 3), dice.range(-3, 3));
    drift_ = cv::Point2d(dice.range(-1, 1), dice.range(-1, 1));
}

HandFrame HandFilm::frame(int index) const
{
    Dice dice(seed_ * 1000003 + static_cast<std::uint64_t>(index), 13);
    HandFrame out;
    // The hand: a slow sway and a tremor.
    const double sway = std::sin(0.3 * index);
    cv::Point2f quad[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const cv::Point2d p = placed_[i] + drift_ * sway + cv::Point2d(dice.range(-0.4, 0.4), dice.range(-0.4, 0.4));
        quad[i] = cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y));
        out.corners[i] = p;
    }
    const cv::Point2f outline[4] = {{-0.5f, -0.5f}, {kCardWidth - 0.5f, -0.5f},
                                    {kCardWidth - 0.5f, kCardHeight - 0.5f}, {-0.5f, kCardHeight - 0.5f}};
    cv::Mat warped;
    cv::warpPerspective(card_rgba_, warped, cv::getPerspectiveTransform(outline, quad), cv::Size(640, 480),
                        cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0, 0));
    cv::Mat image = table_.clone();
    for (int y = 0; y < 480; ++y) {
        auto* row = image.ptr<cv::Vec3f>(y);
        const auto* card = warped.ptr<cv::Vec4f>(y);
        for (int x = 0; x < 640; ++x) {
            const float a = card[x][3];
            if (a > 0)
                row[x] = row[x] * (1 - a) + cv::Vec3f(card[x][0], card[x][1], card[x][2]);
        }
    }
    roll_exposure(image, dice);
    // Focus settles after a few frames and hunts now and then.
    const double sigma = index < 3 || dice.coin(0.08) ? dice.range(1.5, 3.0) : dice.range(0.3, 1.0);
    blur_lens(image, dice, sigma);
    add_sensor_noise(image, dice);
    to_planes(image, out.y, out.cbcr);
    return out;
}

}  // namespace other_hand
