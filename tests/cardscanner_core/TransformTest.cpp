#include "cardscanner/core/CPUTransformFilter.h"
#include "cardscanner/core/Homography.h"
#include "cardscanner/core/Transform.h"

#include "CoreTestImages.h"
#include "SyntheticCardFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const float kSquare[8] = {0, 0, 10, 0, 0, 10, 10, 10};

// (u, v) of (x, y) through a row-major 3 x 3 homography.
CvPoint2D32f apply(const float h[9], float x, float y)
{
    const float w = h[6] * x + h[7] * y + h[8];
    return cvPoint2D32f((h[0] * x + h[1] * y + h[2]) / w, (h[3] * x + h[4] * y + h[5]) / w);
}

// A filter that records what the context asks of it and answers as told.
struct RecordingFilter final : TransformFilter {
    TransformFilterSize size_;
    int* transforms;
    int* finishes;
    RecordingFilter(double w, double h, int* t, int* f) : size_{w, h}, transforms(t), finishes(f) { }
    TransformFilterSize size() const override { return size_; }
    bool transform(const IplImage*, IplImage*, const float*) override { return ++*transforms, true; }
    void finish() override { ++*finishes; }
};

struct FilterLog {
    std::vector<TransformFilterSize> made;
    int transforms = 0;
    int finishes = 0;
    TransformFilterFactory factory()
    {
        return [this](double w, double h) -> std::unique_ptr<TransformFilter> {
            made.push_back({w, h});
            return std::make_unique<RecordingFilter>(w, h, &transforms, &finishes);
        };
    }
};

struct ContextDeleter {
    void operator()(RecoContext* context) const { reco_context_destroy(context); }
};
using ContextPtr = std::unique_ptr<RecoContext, ContextDeleter>;

// A frame whose card corners carry marks: the frame corner named top_left
// is 40, bottom_left 90, top_right 140, bottom_right 190 on a card of 240.
ImagePtr marked_frame(const CornerPoints& card)
{
    ImagePtr frame = uniform_plane(640, 480, 10);
    const int left = static_cast<int>(card.top_left.x), top = static_cast<int>(card.top_left.y);
    const int right = static_cast<int>(card.bottom_right.x), bottom = static_cast<int>(card.bottom_right.y);
    cvRectangle(frame.get(), cvPoint(left, top), cvPoint(right - 1, bottom - 1), cvScalarAll(240), CV_FILLED);
    auto mark = [&](int x, int y, int value) {
        cvRectangle(frame.get(), cvPoint(x, y), cvPoint(x + 29, y + 29), cvScalarAll(value), CV_FILLED);
    };
    mark(left, top, 40);
    mark(left, bottom - 30, 90);
    mark(right - 30, top, 140);
    mark(right - 30, bottom - 30, 190);
    return frame;
}

int card_corner_mark(const IplImage* card, bool right, bool bottom)
{
    const int x = right ? card->width - 6 : 5, y = bottom ? card->height - 6 : 5;
    return reinterpret_cast<const uint8_t*>(card->imageData + y * card->widthStep)[x];
}

} // namespace

TEST(PerspectiveTransformFromPoints, IdenticalPointsGiveTheIdentityInEitherSize)
{
    float m3[9], m4[16];
    perspective_transform_from_points(m3, 9, 0, kSquare, kSquare);
    perspective_transform_from_points(m4, 16, 0, kSquare, kSquare);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(m3[c * 3 + r], r == c ? 1.0f : 0.0f, 1e-5f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m4[c * 4 + r], r == c ? 1.0f : 0.0f, 1e-5f);
}

TEST(PerspectiveTransformFromPoints, RecoversAKnownHomographyInBothLayouts)
{
    const float h[9] = {1.2f, 0.1f, 30.0f, -0.05f, 0.9f, 12.0f, 0.0004f, -0.0002f, 1.0f};
    const float src[8] = {10, 20, 600, 35, 25, 450, 610, 470};
    float dst[8];
    for (int i = 0; i < 4; ++i) {
        const CvPoint2D32f p = apply(h, src[2 * i], src[2 * i + 1]);
        dst[2 * i] = p.x, dst[2 * i + 1] = p.y;
    }
    float rows[9], columns[9];
    perspective_transform_from_points(rows, 9, kPerspectiveRowMajor, src, dst);
    perspective_transform_from_points(columns, 9, 0, src, dst);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(rows[r * 3 + c], h[r * 3 + c], 2e-3f * std::max(1.0f, std::fabs(h[r * 3 + c])));
            EXPECT_EQ(rows[r * 3 + c], columns[c * 3 + r]);
        }
    }
    // The solved matrix maps a fifth point as the true one does.
    const CvPoint2D32f expected = apply(h, 300, 200), solved = apply(rows, 300, 200);
    EXPECT_NEAR(solved.x, expected.x, 0.05f);
    EXPECT_NEAR(solved.y, expected.y, 0.05f);
}

TEST(PerspectiveTransformFromPoints, FourByFourPassesZThroughAndShortBuffersAreCut)
{
    const float dst[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
    float m[16];
    perspective_transform_from_points(m, 16, 0, kSquare, dst);
    EXPECT_FLOAT_EQ(m[10], 1.0f); // (2, 2)
    EXPECT_FLOAT_EQ(m[15], 1.0f); // (3, 3)
    EXPECT_FLOAT_EQ(m[8], 0.0f); // (0, 2)
    EXPECT_FLOAT_EQ(m[14], 0.0f); // (2, 3)
    EXPECT_NEAR(m[0], 0.2f, 1e-5f); // x: 0..10 -> -1..1
    EXPECT_NEAR(m[12], -1.0f, 1e-5f);

    float twelve[12];
    std::fill(twelve, twelve + 12, 7.0f);
    perspective_transform_from_points(twelve, 12, 0, kSquare, dst);
    EXPECT_NEAR(twelve[0], 0.2f, 1e-5f);
    EXPECT_FLOAT_EQ(twelve[8], 1.0f);
    EXPECT_EQ(twelve[9], 0.0f);
    EXPECT_EQ(twelve[10], 0.0f);
    EXPECT_EQ(twelve[11], 0.0f);

    float four[4] = {7, 7, 7, 7};
    perspective_transform_from_points(four, 4, 0, kSquare, dst); // only (0,0), (1,0), (2,0), (0,1)
    EXPECT_NEAR(four[0], 0.2f, 1e-5f);
}

TEST(PerspectiveTransformFromPoints, DegenerateOrMissingPointsDoNotFault)
{
    const float same[8] = {5, 5, 5, 5, 5, 5, 5, 5};
    const float nan[8] = {NAN, 0, 1, 0, 0, 1, 1, 1};
    float m[16];
    perspective_transform_from_points(m, 16, 0, same, kSquare);
    perspective_transform_from_points(m, 16, 0, nan, kSquare);
    perspective_transform_from_points(nullptr, 16, 0, kSquare, kSquare);
    perspective_transform_from_points(m, 16, 0, nullptr, kSquare);
    perspective_transform_from_points(m, -3, 0, kSquare, kSquare);
}

TEST(CPUTransformFilter, WholeFrameOntoItselfCopiesEveryPixel)
{
    ImagePtr frame = make_image(64, 48), copy = make_image(64, 48);
    fill_random(frame.get(), 3);
    const float corners[8] = {0, 0, 64, 0, 0, 48, 64, 48};
    const float quad[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
    float matrix[16];
    perspective_transform_from_points(matrix, 16, 0, corners, quad);
    CPUTransformFilter filter(64, 48);
    ASSERT_TRUE(filter.transform(frame.get(), copy.get(), matrix));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(pixel(copy.get(), x, y), pixel(frame.get(), x, y)) << x << ", " << y;
}

TEST(CPUTransformFilter, RefusesPlanesAndMatricesItCannotUse)
{
    ImagePtr frame = make_image(64, 48), colour = make_image(64, 48, IPL_DEPTH_8U, 3), dst = make_image(32, 24);
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float singular[16] = {};
    CPUTransformFilter filter(64, 48);
    EXPECT_FALSE(filter.transform(colour.get(), dst.get(), identity));
    EXPECT_FALSE(filter.transform(frame.get(), colour.get(), identity));
    EXPECT_FALSE(filter.transform(frame.get(), dst.get(), singular));
    EXPECT_FALSE(filter.transform(frame.get(), dst.get(), nullptr));
    EXPECT_EQ(cpu_transform_filter_create(0, 48), nullptr);
    EXPECT_EQ(cpu_transform_filter_create(NAN, 48), nullptr);
}

TEST(TransformCard, EachOrientationPutsTheCardsOwnCornersAtTheImagesCorners)
{
    const CornerPoints card = corners_of(106, 105, 534, 375);
    ImagePtr frame = marked_frame(card);
    ContextPtr context(reco_context_create());
    struct Expected {
        int orientation, top_left, top_right, bottom_left, bottom_right;
    };
    // Marks: frame top_left 40, bottom_left 90, top_right 140, bottom_right 190.
    for (const Expected& e : {Expected{3, 40, 140, 90, 190}, Expected{4, 190, 90, 140, 40},
                              Expected{1, 90, 40, 190, 140}, Expected{2, 140, 190, 40, 90}}) {
        IplImage* out = nullptr;
        ASSERT_TRUE(transform_card(context.get(), frame.get(), card, e.orientation, &out));
        ImagePtr owned(out);
        EXPECT_EQ(out->width, 428);
        EXPECT_EQ(out->height, 270);
        EXPECT_EQ(card_corner_mark(out, false, false), e.top_left) << "orientation " << e.orientation;
        EXPECT_EQ(card_corner_mark(out, true, false), e.top_right) << "orientation " << e.orientation;
        EXPECT_EQ(card_corner_mark(out, false, true), e.bottom_left) << "orientation " << e.orientation;
        EXPECT_EQ(card_corner_mark(out, true, true), e.bottom_right) << "orientation " << e.orientation;
    }
}

TEST(TransformCard, LandscapeLeftIsLandscapeRightTurnedHalfway)
{
    CardDrawing drawing;
    drawing.corners = corners_of(100, 100, 540, 380);
    ImagePtr frame = draw_card_plane(640, 480, drawing);
    ContextPtr context(reco_context_create());
    IplImage *right = nullptr, *left = nullptr;
    ASSERT_TRUE(transform_card(context.get(), frame.get(), drawing.corners, 3, &right));
    ASSERT_TRUE(transform_card(context.get(), frame.get(), drawing.corners, 4, &left));
    ImagePtr owned_right(right), owned_left(left);
    int off = 0;
    for (int y = 0; y < 270; ++y)
        for (int x = 0; x < 428; ++x)
            off += std::abs(pixel(left, x, y) - pixel(right, 427 - x, 269 - y)) > 1;
    EXPECT_EQ(off, 0);
}

TEST(TransformCard, ReusesTheFilterForWholeFractionsOfItsSizeOnly)
{
    FilterLog log;
    ContextPtr context(reco_context_create(log.factory()));
    ASSERT_EQ(log.made.size(), 1u);
    EXPECT_EQ(log.made[0].width, 640);
    EXPECT_EQ(log.made[0].height, 480);
    const CornerPoints card = corners_of(100, 100, 540, 380);
    ImagePtr y = make_image(640, 480), chroma = make_image(320, 240), odd = make_image(500, 400);
    ImagePtr stretched = make_image(320, 120);
    IplImage* out = nullptr;
    ASSERT_TRUE(transform_card(context.get(), y.get(), card, 3, &out));
    ImagePtr owned(out);
    ASSERT_TRUE(transform_card(context.get(), chroma.get(), card, 3, &out));
    EXPECT_EQ(log.made.size(), 1u);
    // 640 / 500 = 1 both ways, but 500 != 640.
    ASSERT_TRUE(transform_card(context.get(), odd.get(), card, 3, &out));
    ASSERT_EQ(log.made.size(), 2u);
    EXPECT_EQ(log.made[1].width, 500);
    EXPECT_EQ(log.made[1].height, 400);
    // 500 x 400 is not a multiple of 320 x 120 with one k.
    ASSERT_TRUE(transform_card(context.get(), stretched.get(), card, 3, &out));
    EXPECT_EQ(log.made.size(), 3u);
    EXPECT_EQ(log.transforms, 4);

    reco_prepare_for_backgrounding(context.get());
    EXPECT_EQ(log.finishes, 1);
}

TEST(TransformCard, ChromaWarpedWithLumaCornersMatchesLumaHalved)
{
    CardDrawing drawing;
    drawing.corners = corners_of(100, 100, 540, 380);
    drawing.texture = 0;
    drawing.noise = 0;
    ImagePtr y = draw_card_plane(640, 480, drawing);
    ImagePtr chroma = make_image(320, 240);
    cvResize(y.get(), chroma.get(), CV_INTER_AREA);
    ContextPtr context(reco_context_create());
    IplImage *from_luma = nullptr, *from_chroma = nullptr;
    ASSERT_TRUE(transform_card(context.get(), y.get(), drawing.corners, 3, &from_luma));
    ASSERT_TRUE(transform_card(context.get(), chroma.get(), drawing.corners, 3, &from_chroma));
    ImagePtr a(from_luma), b(from_chroma);
    // Interior of the card and the table beyond it agree; only the blurred
    // band along the card's outline may differ.
    EXPECT_NEAR(pixel(from_chroma, 214, 135), pixel(from_luma, 214, 135), 2);
    EXPECT_NEAR(pixel(from_chroma, 20, 20), pixel(from_luma, 20, 20), 2);
}

TEST(TransformCard, KeepsTheSizeOfAnImageItIsGiven)
{
    ContextPtr context(reco_context_create());
    ImagePtr frame = uniform_plane(640, 480, 77);
    IplImage* out = cvCreateImage(cvSize(200, 100), IPL_DEPTH_8U, 1);
    ImagePtr owned(out);
    ASSERT_TRUE(transform_card(context.get(), frame.get(), corners_of(100, 100, 540, 380), 3, &out));
    EXPECT_EQ(out, owned.get());
    EXPECT_EQ(out->width, 200);
    EXPECT_EQ(pixel(out, 100, 50), 77);
}

TEST(TransformCard, WithoutAFilterTheNewCardImageIsBlankNotGarbage)
{
    ContextPtr context(reco_context_create([](double, double) { return std::unique_ptr<TransformFilter>(); }));
    EXPECT_EQ(context->transform_context, nullptr);
    ImagePtr frame = uniform_plane(640, 480, 200);
    IplImage* out = nullptr;
    EXPECT_FALSE(transform_card(context.get(), frame.get(), corners_of(100, 100, 540, 380), 3, &out));
    ASSERT_NE(out, nullptr);
    ImagePtr owned(out);
    EXPECT_EQ(cvCountNonZero(out), 0);
}

TEST(TransformCard, RefusesWhatItCannotWarpWithoutMakingAnImage)
{
    ContextPtr context(reco_context_create());
    ImagePtr frame = uniform_plane(640, 480, 200), colour = make_image(640, 480, IPL_DEPTH_8U, 3);
    const CornerPoints card = corners_of(100, 100, 540, 380);
    CornerPoints broken = card;
    broken.top_right.x = NAN;
    CornerPoints infinite = card;
    infinite.bottom_left.y = INFINITY;
    IplImage* out = nullptr;
    EXPECT_FALSE(transform_card(context.get(), frame.get(), broken, 3, &out));
    EXPECT_FALSE(transform_card(context.get(), frame.get(), infinite, 3, &out));
    EXPECT_FALSE(transform_card(context.get(), frame.get(), card, 0, &out));
    EXPECT_FALSE(transform_card(context.get(), frame.get(), card, 5, &out));
    EXPECT_FALSE(transform_card(context.get(), colour.get(), card, 3, &out));
    EXPECT_FALSE(transform_card(nullptr, frame.get(), card, 3, &out));
    EXPECT_FALSE(transform_card(context.get(), nullptr, card, 3, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(transform_card(context.get(), frame.get(), card, 3, nullptr));

    // All four corners on one point: the solver's answer is not a usable
    // matrix, and the image made for it stays blank.
    const CornerPoints point = corners_of(300, 200, 300, 200);
    EXPECT_FALSE(transform_card(context.get(), frame.get(), point, 3, &out));
    ImagePtr owned(out);
    if (out != nullptr) {
        EXPECT_EQ(cvCountNonZero(out), 0);
    }
    reco_prepare_for_backgrounding(nullptr);
    reco_context_destroy(nullptr);
}
