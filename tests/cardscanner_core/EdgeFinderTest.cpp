#include "cardscanner/core/EdgeFinder.h"
#include "cardscanner/core/GuideGeometry.h"

#include "CoreTestImages.h"
#include "SyntheticCardFrames.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kPi = 3.14159265f;

void expect_rect(CvRect rect, int x, int y, int width, int height)
{
    EXPECT_EQ(rect.x, x);
    EXPECT_EQ(rect.y, y);
    EXPECT_EQ(rect.width, width);
    EXPECT_EQ(rect.height, height);
}

struct Detection {
    bool found;
    FoundEdges edges;
    CornerPoints corners;
};

const CornerPoints kUntouched = corners_of(-7.0f, -7.0f, -7.0f, -7.0f);

Detection detect(const IplImage* y, const IplImage* cb, const IplImage* cr, int orientation)
{
    Detection detection{};
    detection.corners = kUntouched;
    detection.found = detect_card_edges(y, cb, cr, orientation, detection.edges, detection.corners);
    return detection;
}

Detection detect_luma_card(const CardDrawing& drawing, int orientation)
{
    ImagePtr y = draw_card_plane(640, 480, drawing);
    ImagePtr cb = uniform_plane(320, 240, 128), cr = uniform_plane(320, 240, 128);
    return detect(y.get(), cb.get(), cr.get(), orientation);
}

void expect_corners_near(const CornerPoints& found, const CornerPoints& expected, double tolerance)
{
    EXPECT_LE(distance(found.top_left, expected.top_left), tolerance)
        << "top_left " << found.top_left.x << ", " << found.top_left.y;
    EXPECT_LE(distance(found.bottom_left, expected.bottom_left), tolerance)
        << "bottom_left " << found.bottom_left.x << ", " << found.bottom_left.y;
    EXPECT_LE(distance(found.top_right, expected.top_right), tolerance)
        << "top_right " << found.top_right.x << ", " << found.top_right.y;
    EXPECT_LE(distance(found.bottom_right, expected.bottom_right), tolerance)
        << "bottom_right " << found.bottom_right.x << ", " << found.bottom_right.y;
}

bool same_corners(const CornerPoints& a, const CornerPoints& b)
{
    return distance(a.top_left, b.top_left) == 0 && distance(a.bottom_left, b.bottom_left) == 0
        && distance(a.top_right, b.top_right) == 0 && distance(a.bottom_right, b.bottom_right) == 0;
}

// The card on the landscape guide of a 640 x 480 frame: pixels 106..533 by
// 105..374.
const CornerPoints kLandscapeGuideCard = corners_of(105.5f, 104.5f, 533.5f, 374.5f);

// Expected accuracy. The finder works in whole pixels with a one-degree
// angle step, and its top and right lines sit up to 1.5 pixels outside the
// boundary (non-maximum suppression keeps the first of two equal derivative
// maxima, the Q10 Hough tables floor their sums, and ties go to the lower
// rho), so a corner between them is about 2.1 pixels out even on a perfect
// picture. Sides between grid angles add the half-degree miss over the
// 200 pixels from a strip's middle to its corner.
constexpr double kOnGridTolerance = 3.0;
constexpr double kOffGridTolerance = 6.0;
constexpr double kChromaTolerance = 6.0; // every chroma pixel is two luma pixels

CornerPoints keystone(float top, float bottom, float left, float right, float side_degrees)
{
    const float lean = (bottom - top) * std::tan(side_degrees * kPi / 180.0f);
    CornerPoints corners = corners_of(left, top, right, bottom);
    corners.top_left.x += lean;
    corners.top_right.x -= lean;
    return corners;
}

} // namespace

TEST(GuideGeometry, GuideFrameFollowsTheOrientationsInsets)
{
    const GuideRect portrait = guide_frame_for_orientation(kOrientationPortrait, 320.0f, 480.0f);
    EXPECT_FLOAT_EQ(portrait.x, 17.333334f);
    EXPECT_FLOAT_EQ(portrait.y, 138.75f);
    EXPECT_FLOAT_EQ(portrait.width, 285.33334f);
    EXPECT_FLOAT_EQ(portrait.height, 202.5f);

    const GuideRect landscape = guide_frame_for_orientation(kOrientationLandscapeLeft, 640.0f, 480.0f);
    EXPECT_FLOAT_EQ(landscape.x, 140.0f);
    EXPECT_FLOAT_EQ(landscape.y, 79.5f);

    const GuideRect unknown = guide_frame_for_orientation(0, 320.0f, 480.0f);
    EXPECT_FLOAT_EQ(unknown.x, 0.0f);
    EXPECT_FLOAT_EQ(unknown.y, 0.0f);
    EXPECT_FLOAT_EQ(unknown.width, 320.0f);
    EXPECT_FLOAT_EQ(unknown.height, 480.0f);
}

TEST(GuideGeometry, OppositeOrientationSwapsPairsAndDefaultsToPortrait)
{
    EXPECT_EQ(opposite_orientation(1), 2);
    EXPECT_EQ(opposite_orientation(2), 1);
    EXPECT_EQ(opposite_orientation(3), 4);
    EXPECT_EQ(opposite_orientation(4), 3);
    EXPECT_EQ(opposite_orientation(0), 1);
    EXPECT_EQ(opposite_orientation(5), 1);
}

TEST(EdgeSearchRegions, StripsLieAroundTheGuideOfEachPlane)
{
    const EdgeSearchRegions landscape = edge_search_regions_for_size(640, 480, kOrientationLandscapeRight);
    expect_rect(landscape.top, 125, 91, 389, 28);
    expect_rect(landscape.bottom, 125, 360, 389, 28);
    expect_rect(landscape.left, 87, 119, 38, 241);
    expect_rect(landscape.right, 514, 119, 38, 241);

    const EdgeSearchRegions portrait = edge_search_regions_for_size(640, 480, kOrientationPortrait);
    expect_rect(portrait.top, 204, 12, 231, 28);
    expect_rect(portrait.bottom, 204, 439, 231, 28);
    expect_rect(portrait.left, 166, 40, 38, 399);
    expect_rect(portrait.right, 435, 40, 38, 399);

    // A chroma plane gets strips from its own size; 52.5 rounds away from 0.
    const EdgeSearchRegions chroma = edge_search_regions_for_size(320, 240, kOrientationLandscapeRight);
    expect_rect(chroma.top, 63, 46, 193, 14);

    // A wider frame centres the 4:3 guide area.
    const EdgeSearchRegions wide = edge_search_regions_for_size(800, 480, kOrientationLandscapeRight);
    expect_rect(wide.top, 205, 91, 389, 28);
}

TEST(DetectCardEdges, SharpCardOnTheLandscapeGuideGivesItsCorners)
{
    CardDrawing drawing;
    drawing.corners = kLandscapeGuideCard;
    drawing.blur = 0;
    drawing.noise = 0.0;
    drawing.texture = 0;
    const Detection detection = detect_luma_card(drawing, kOrientationLandscapeRight);
    ASSERT_TRUE(detection.found);
    EXPECT_NEAR(detection.edges.top.location.theta, kPi / 2, 0.02f);
    EXPECT_NEAR(detection.edges.bottom.location.theta, kPi / 2, 0.02f);
    EXPECT_NEAR(detection.edges.left.location.theta, kPi, 0.02f);
    EXPECT_NEAR(detection.edges.right.location.theta, kPi, 0.02f);
    EXPECT_NEAR(detection.edges.left.location.rho, -105.5f, 2.0f);
    EXPECT_NEAR(detection.edges.right.location.rho, -533.5f, 2.0f);
    expect_corners_near(detection.corners, kLandscapeGuideCard, kOnGridTolerance);
}

struct TiltedCard {
    const char* name;
    int orientation;
    CornerPoints corners;
    int blur;
    double noise;
    double tolerance;
};

class DetectTiltedCards : public testing::TestWithParam<TiltedCard> { };

TEST_P(DetectTiltedCards, CornersWithinTheFindersResolutionOnATexturedNoisyTable)
{
    const TiltedCard& card = GetParam();
    for (unsigned seed = 1; seed <= 3; ++seed) {
        CardDrawing drawing;
        drawing.corners = card.corners;
        drawing.blur = card.blur;
        drawing.noise = card.noise;
        drawing.seed = seed;
        const Detection detection = detect_luma_card(drawing, card.orientation);
        ASSERT_TRUE(detection.found) << "seed " << seed;
        expect_corners_near(detection.corners, card.corners, card.tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CardPoses, DetectTiltedCards,
    testing::Values(
        TiltedCard{"Upright", 3, rotated_card(319.5f, 239.5f, 426, 268, 0), 3, 4.0, kOnGridTolerance},
        TiltedCard{"TurnedTwoDegrees", 3, rotated_card(320, 240, 420, 265, 2), 5, 3.0, kOnGridTolerance},
        TiltedCard{"TurnedBackThreeDegrees", 3, rotated_card(318, 238, 418, 262, -3), 3, 4.0, kOnGridTolerance},
        TiltedCard{"LeaningBack", 3, keystone(105, 372, 104, 536, 3), 3, 6.0, kOnGridTolerance},
        TiltedCard{"BetweenGridAngles", 3, rotated_card(320, 240, 424, 266, 1.5f), 3, 4.0, kOffGridTolerance},
        TiltedCard{"Portrait", 1, rotated_card(319.5f, 239.5f, 268, 426, 1), 3, 4.0, kOnGridTolerance},
        TiltedCard{"PortraitUpsideDown", 2, rotated_card(321, 240, 266, 424, -2), 5, 2.0, kOnGridTolerance}),
    [](const testing::TestParamInfo<TiltedCard>& info) { return info.param.name; });

struct MissingSide {
    const char* name;
    CornerPoints corners; // one side moved out of its strip
    FoundEdge FoundEdges::*missing;
};

class DetectCardWithOneSideMissing : public testing::TestWithParam<MissingSide> { };

TEST_P(DetectCardWithOneSideMissing, ReportsTheOtherThreeAndLeavesCornersAlone)
{
    const MissingSide& side = GetParam();
    CardDrawing drawing;
    drawing.corners = side.corners;
    const Detection detection = detect_luma_card(drawing, kOrientationLandscapeRight);
    EXPECT_FALSE(detection.found);
    EXPECT_TRUE(same_corners(detection.corners, kUntouched));
    for (FoundEdge FoundEdges::*edge : {&FoundEdges::top, &FoundEdges::bottom, &FoundEdges::left, &FoundEdges::right}) {
        const FoundEdge& found = detection.edges.*edge;
        if (edge == side.missing) {
            EXPECT_EQ(found.found, 0);
            EXPECT_EQ(found.location.theta, kNoLine);
        } else {
            EXPECT_EQ(found.found, 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sides, DetectCardWithOneSideMissing,
    testing::Values(MissingSide{"Top", corners_of(106, 40, 534, 375), &FoundEdges::top},
                    MissingSide{"Bottom", corners_of(106, 105, 534, 470), &FoundEdges::bottom},
                    MissingSide{"Left", corners_of(20, 105, 534, 375), &FoundEdges::left},
                    MissingSide{"Right", corners_of(106, 105, 620, 375), &FoundEdges::right}),
    [](const testing::TestParamInfo<MissingSide>& info) { return info.param.name; });

TEST(DetectCardEdges, UniformFrameFindsNothing)
{
    ImagePtr y = uniform_plane(640, 480, 90), cb = uniform_plane(320, 240, 128), cr = uniform_plane(320, 240, 128);
    const Detection detection = detect(y.get(), cb.get(), cr.get(), kOrientationLandscapeRight);
    EXPECT_FALSE(detection.found);
    EXPECT_EQ(detection.edges.top.found + detection.edges.bottom.found + detection.edges.left.found
                  + detection.edges.right.found,
              0);
    EXPECT_TRUE(same_corners(detection.corners, kUntouched));
}

TEST(DetectCardEdges, CardSeenOnlyInCrIsFoundThereAndScaledToLuma)
{
    CardDrawing drawing;
    drawing.corners = scaled(kLandscapeGuideCard, 0.5f);
    drawing.table = 120;
    drawing.card = 170;
    drawing.texture = 5;
    drawing.noise = 1.0;
    drawing.blur = 0;
    ImagePtr y = uniform_plane(640, 480, 128), cb = uniform_plane(320, 240, 128);
    ImagePtr cr = draw_card_plane(320, 240, drawing);
    const Detection detection = detect(y.get(), cb.get(), cr.get(), kOrientationLandscapeRight);
    ASSERT_TRUE(detection.found);
    // Half resolution: a chroma pixel is two luma pixels.
    expect_corners_near(detection.corners, kLandscapeGuideCard, kChromaTolerance);
    EXPECT_NEAR(detection.edges.left.location.rho, -105.5f, kChromaTolerance);
}

TEST(DetectCardEdges, LeavesTheCallersPlanesAsTheyWere)
{
    CardDrawing drawing;
    drawing.corners = kLandscapeGuideCard;
    ImagePtr y = draw_card_plane(640, 480, drawing);
    ImagePtr cb = uniform_plane(320, 240, 128), cr = uniform_plane(320, 240, 128);
    cvSetImageROI(cb.get(), cvRect(1, 2, 30, 40));
    detect(y.get(), cb.get(), cr.get(), kOrientationLandscapeRight);
    EXPECT_EQ(y->roi, nullptr);
    ASSERT_NE(cb->roi, nullptr);
    EXPECT_EQ(cb->roi->width, 30);
}

TEST(DetectCardEdges, RefusesPlanesItCannotSearch)
{
    ImagePtr colour = make_image(640, 480, IPL_DEPTH_8U, 3);
    ImagePtr tiny = make_image(4, 4);
    ImagePtr cb = uniform_plane(320, 240, 128), cr = uniform_plane(320, 240, 128);
    EXPECT_FALSE(detect(colour.get(), cb.get(), cr.get(), 3).found);
    EXPECT_FALSE(detect(tiny.get(), tiny.get(), tiny.get(), 3).found);
    EXPECT_FALSE(detect(nullptr, nullptr, nullptr, 3).found);

    CardDrawing drawing;
    drawing.corners = kLandscapeGuideCard;
    ImagePtr y = draw_card_plane(640, 480, drawing);
    // Missing chroma planes are skipped; luma alone suffices.
    EXPECT_TRUE(detect(y.get(), nullptr, nullptr, 3).found);
    // An unknown orientation has no guide: its strips are degenerate.
    EXPECT_FALSE(detect(y.get(), cb.get(), cr.get(), 0).found);
}

TEST(FindBestEdgeLine, StripTooSmallForTheVoteFindsNothing)
{
    ImagePtr strip = make_image(5, 5);
    const ParametricLine line = find_best_edge_line(strip.get(), true);
    EXPECT_EQ(line.rho, kNoLine);
    EXPECT_EQ(line.theta, kNoLine);
}

TEST(LlcvHough, AcceptsOnlyMoreVotesThanASixthOfTheLongerSide)
{
    // 60 x 8: the vote must exceed 10. Pixels on row 0 from x = 0 all fall
    // into rho bin 0 at the first angle, so the winner has one vote each.
    auto vote = [](int pixels) {
        ImagePtr edges = make_image(60, 8);
        ImagePtr dx = make_image(60, 8, IPL_DEPTH_16S), dy = make_image(60, 8, IPL_DEPTH_16S);
        cvSet(dy.get(), cvScalarAll(100));
        for (int x = 0; x < pixels; ++x)
            pixel(edges.get(), x, 0) = 255;
        return llcv_hough(edges.get(), dx.get(), dy.get(), true);
    };
    EXPECT_EQ(vote(10).theta, kNoLine);
    const ParametricLine accepted = vote(11);
    EXPECT_EQ(accepted.rho, 0.0f);
    EXPECT_NEAR(accepted.theta, kPi / 2 - 0.08726646f, 1e-6f);
}

TEST(LlcvHough, IgnoresEdgePixelsWhoseGradientCrossesTheLine)
{
    ImagePtr edges = make_image(60, 8);
    ImagePtr dx = make_image(60, 8, IPL_DEPTH_16S), dy = make_image(60, 8, IPL_DEPTH_16S);
    // A gradient along x belongs to a vertical line: a horizontal search
    // must not count it, a vertical one must.
    cvSet(dx.get(), cvScalarAll(100));
    for (int x = 0; x < 30; ++x)
        pixel(edges.get(), x, 0) = 255;
    EXPECT_EQ(llcv_hough(edges.get(), dx.get(), dy.get(), true).theta, kNoLine);
    ImagePtr column = make_image(8, 60);
    ImagePtr cdx = make_image(8, 60, IPL_DEPTH_16S), cdy = make_image(8, 60, IPL_DEPTH_16S);
    cvSet(cdx.get(), cvScalarAll(100));
    for (int y = 0; y < 30; ++y)
        pixel(column.get(), 3, y) = 255;
    const ParametricLine vertical = llcv_hough(column.get(), cdx.get(), cdy.get(), false);
    ASSERT_NE(vertical.theta, kNoLine);
    EXPECT_NEAR(vertical.rho, -3.0f, 1.0f);
}

TEST(LlcvCanny, HysteresisKeepsWeakRidgesOnlyWhereTheyTouchStrongOnes)
{
    ImagePtr source = make_image(40, 20), edges = make_image(40, 20);
    ImagePtr dx = make_image(40, 20, IPL_DEPTH_16S), dy = make_image(40, 20, IPL_DEPTH_16S);
    auto set = [](IplImage* image, int x, int y, int16_t value) {
        reinterpret_cast<int16_t*>(image->imageData + y * image->widthStep)[x] = value;
    };
    for (int y = 0; y < 20; ++y) {
        set(dx.get(), 10, y, y < 10 ? 100 : 40); // strong half, then weak continuation
        set(dx.get(), 30, y, 40); // weak everywhere, touching nothing strong
    }
    ASSERT_TRUE(llcv_canny7_precomputed_sobel(source.get(), edges.get(), dx.get(), dy.get(), 30, 80));
    int column10 = 0, column30 = 0, elsewhere = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool edge = pixel(edges.get(), x, y) == 255;
            (x == 10 ? column10 : x == 30 ? column30 : elsewhere) += edge;
        }
    }
    EXPECT_EQ(column10, 20);
    EXPECT_EQ(column30, 0);
    EXPECT_EQ(elsewhere, 0);

    ImagePtr wrong = make_image(40, 20, IPL_DEPTH_16S);
    ImagePtr smaller = make_image(39, 20);
    EXPECT_FALSE(llcv_canny7_precomputed_sobel(wrong.get(), edges.get(), dx.get(), dy.get(), 30, 80));
    EXPECT_FALSE(llcv_canny7_precomputed_sobel(source.get(), smaller.get(), dx.get(), dy.get(), 30, 80));
}

TEST(IntersectLines, RefusesParallelAndSwappedPairs)
{
    CvPoint2D32f point = cvPoint2D32f(-1, -1);
    ASSERT_TRUE(intersect_lines({100.0f, kPi / 2}, {-200.0f, kPi}, point));
    EXPECT_NEAR(point.x, 200.0f, 1e-3f);
    EXPECT_NEAR(point.y, 100.0f, 1e-3f);
    EXPECT_FALSE(intersect_lines({100.0f, kPi / 2}, {120.0f, kPi / 2}, point));
    EXPECT_FALSE(intersect_lines({-200.0f, kPi}, {100.0f, kPi / 2}, point));
    EXPECT_FALSE(intersect_lines({100.0f, kPi / 2}, {std::nanf(""), kPi}, point));
}
