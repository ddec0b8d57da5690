// Whole rendered camera frames (tools/camera_frames) through frame analysis:
// the card's edges where the frame's truth puts them, and a short scan that
// reads the number as a user holding the card in the guide would see it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>
#include <opencv2/core/core_c.h>

#include "platform/capture/PixelBuffer.h"
#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/analysis/ZeduVIReadCardInfo.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/core/EdgeFinder.h"
#include "cardscanner/core/ExpiryNetworks.h"
#include "cardscanner/core/ImagePrimitives.h"
#include "cardscanner/core/Transform.h"
#include "tests/cardscanner/ExpiryReferenceVectors.h"
#include "tests/cardscanner/ClockedScanner.h"
#include "tools/camera_frames/CameraFrames.h"

namespace {

namespace cf = camera_frames;
using platform::PixelBuffer;
using cardscanner::ZeduVICardScanner;
using cardscanner::ZeduVIVideoFrame;

constexpr cf::CalendarMonth kToday{6, 2025};

double distance(CvPoint2D32f found, cv::Point2d truth) { return std::hypot(found.x - truth.x, found.y - truth.y); }

std::shared_ptr<PixelBuffer> buffer_of(const cf::CameraFrame& frame, std::size_t padding = 0)
{
    auto buffer = PixelBuffer::create(frame.width, frame.height, padding);
    frame.copy_planes(buffer->planeData(0).data(), buffer->bytesPerRowOfPlane(0), buffer->planeData(1).data(),
                      buffer->bytesPerRowOfPlane(1));
    return buffer;
}

struct Planes {
    cv::Mat y, cb, cr;
};

Planes planes_of(const cf::CameraFrame& frame)
{
    Planes planes;
    planes.y = cv::Mat(frame.height, frame.width, CV_8UC1, const_cast<std::uint8_t*>(frame.y.data())).clone();
    cv::Mat pairs(frame.height / 2, frame.width / 2, CV_8UC2, const_cast<std::uint8_t*>(frame.cbcr.data()));
    cv::Mat split[2];
    cv::split(pairs, split);
    planes.cb = split[0];
    planes.cr = split[1];
    return planes;
}

TEST(RenderedFrames, TheCardLiesInTheGuideAndItsPlanesAreTheCoresColours)
{
    const cf::CameraSequence sequence(card_renderer::style_preset("heldout"), 7100001, kToday);
    const cf::CameraFrame frame = sequence.frame(3);
    ASSERT_EQ(frame.y.size(), 640u * 480u);
    ASSERT_EQ(frame.cbcr.size(), 640u * 240u);
    const cf::Quad guide = cf::guide_quad();
    for (const auto& [corner, target] : {std::pair{frame.corners.top_left, guide.top_left},
                                         std::pair{frame.corners.top_right, guide.top_right},
                                         std::pair{frame.corners.bottom_left, guide.bottom_left},
                                         std::pair{frame.corners.bottom_right, guide.bottom_right}})
        EXPECT_LE(std::hypot(corner.x - target.x, corner.y - target.y), 5.0);

    // Colours survive the trip into full-range YCbCr and back through the
    // core's own conversion (chroma at half resolution, so on flat areas).
    const cv::Vec3f colours[] = {{30, 200, 90}, {240, 240, 240}, {10, 20, 200}, {128, 60, 10}};
    for (const cv::Vec3f& bgr : colours) {
        float y, cb, cr;
        cf::bgr_to_ycbcr(bgr, y, cb, cr);
        cf::CameraFrame flat;
        flat.y.assign(640 * 480, static_cast<std::uint8_t>(std::lround(y)));
        flat.cbcr.resize(640 * 240);
        for (std::size_t i = 0; i < flat.cbcr.size(); i += 2) {
            flat.cbcr[i] = static_cast<std::uint8_t>(std::lround(cb));
            flat.cbcr[i + 1] = static_cast<std::uint8_t>(std::lround(cr));
        }
        const cv::Vec3b back = flat.to_bgr().at<cv::Vec3b>(100, 100);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(back[c], bgr[c], 2.0) << "channel " << c;
    }
}

// The edge search's Canny and Q10 Hough steps place strong edges about one to
// one and a half pixels outward (saturated derivatives, tables rounded down,
// ties to the first bin): over many rendered frames half the corners come
// within 1.5 pixels of the truth and nearly all within 3, a few at 3.5 to 4.
constexpr double kMedianCornerTolerance = 2.0;
constexpr double kCornerTolerance = 4.0;

TEST(RenderedFrames, EdgesAreFoundNearTheTrueCorners)
{
    std::vector<double> errors;
    for (std::uint64_t seed : {7100001ull, 7100002ull, 7100003ull, 7100004ull}) {
        const cf::CameraSequence sequence(card_renderer::style_preset("heldout"), seed, kToday);
        for (int index : {0, 5}) {
            const cf::CameraFrame frame = sequence.frame(index);
            Planes planes = planes_of(frame);
            IplImage y = cvIplImage(planes.y), cb = cvIplImage(planes.cb), cr = cvIplImage(planes.cr);
            FoundEdges edges{};
            CornerPoints corners{};
            ASSERT_TRUE(detect_card_edges(&y, &cb, &cr, cf::kOrientation, edges, corners))
                << "seed " << seed << " frame " << index;
            for (double error : {distance(corners.top_left, frame.corners.top_left),
                                 distance(corners.top_right, frame.corners.top_right),
                                 distance(corners.bottom_left, frame.corners.bottom_left),
                                 distance(corners.bottom_right, frame.corners.bottom_right)}) {
                EXPECT_LE(error, kCornerTolerance) << "seed " << seed << " frame " << index;
                errors.push_back(error);
            }
        }
    }
    ASSERT_EQ(errors.size(), 32u);
    std::nth_element(errors.begin(), errors.begin() + 16, errors.end());
    EXPECT_LE(errors[16], kMedianCornerTolerance);
}

struct ScanResult {
    std::string number;
    int frames = 0;
    bool flipped_seen = false;
};

// Feeds frames through process() as the capture queue does, CPU warp, the
// scanner's clock at 30 frames a second.
ScanResult scan(const cf::CameraSequence& sequence, int max_frames, bool expiry)
{
    std::unique_ptr<RecoContext, void (*)(RecoContext*)> reco(reco_context_create(), reco_context_destroy);
    auto now = std::make_shared<std::uint64_t>(cardscanner::testing::kFilmedDayMilliseconds);
    auto scanner = cardscanner::testing::scannerOnClock(now);
    ScanResult result;
    for (int index = 0; index < max_frames; ++index) {
        const cf::CameraFrame frame = sequence.frame(index);
        auto buffer = buffer_of(frame, 16);
        *now += 33;
        ZeduVIVideoFrame video(buffer.get(), cf::kOrientation);
        video.setReco(reco.get());
        video.setScanner(scanner);
        video.setScanExpiry(expiry);
        video.process();
        result.flipped_seen = result.flipped_seen || (frame.upside_down && video.flipped());
        if (const auto info = video.cardInfo()) {
            result.number = info->number();
            result.frames = index + 1;
            break;
        }
    }
    return result;
}

TEST(RenderedFrames, AShortScanReadsTheNumber)
{
    cf::FilmingStyle still;
    still.upside_down_share = 0;
    still.hunting_share = 0;
    const cf::CameraSequence sequence(card_renderer::style_preset("benchmark"), 7100013, kToday, still);
    const ScanResult result = scan(sequence, 20, false);
    EXPECT_EQ(result.number, sequence.card().truth.number);
    EXPECT_GT(result.frames, 0);
}

TEST(RenderedFrames, ACardHeldUpsideDownFirstIsTurnedAndRead)
{
    cf::FilmingStyle turned;
    turned.upside_down_share = 1;
    turned.upside_down_frames_max = 3;
    turned.hunting_share = 0;
    const cf::CameraSequence sequence(card_renderer::style_preset("benchmark"), 7100014, kToday, turned);
    ASSERT_TRUE(sequence.frame(0).upside_down);
    const ScanResult result = scan(sequence, 20, false);
    EXPECT_TRUE(result.flipped_seen);
    EXPECT_EQ(result.number, sequence.card().truth.number);
}

// The exported weights and the core's expiry networks against the trainer's
// double-precision outputs on held-out inputs: a layout or export slip shows
// here long before it shows as dates that are never read.
TEST(RenderedFrames, ExpiryNetworksMatchTheTrainersReferenceOutputs)
{
    for (const ExpiryReferenceVector& vector : kSeparatorReferenceVectors) {
        const std::array<float, 2> out = run_separator_network(separator_network, vector.input);
        EXPECT_NEAR(out[0], vector.output[0], 1e-5);
        EXPECT_NEAR(out[1], vector.output[1], 1e-5);
    }
    for (const ExpiryReferenceVector& vector : kExpiryDigitReferenceVectors) {
        const DigitScores out = run_expiry_digit_network(expiry_digit_network, vector.input);
        for (int d = 0; d < 10; ++d)
            EXPECT_NEAR(out[static_cast<std::size_t>(d)], vector.output[d], 1e-5) << "digit " << d;
    }
}

} // namespace
