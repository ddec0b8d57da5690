#include "cardscanner/core/ImagePrimitives.h"

#include "CoreTestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
};

Rgb convert_one(uint8_t y, uint8_t cb, uint8_t cr)
{
    ImagePtr Y = make_image(1, 1), Cb = make_image(1, 1), Cr = make_image(1, 1);
    pixel(Y.get(), 0, 0) = y;
    pixel(Cb.get(), 0, 0) = cb;
    pixel(Cr.get(), 0, 0) = cr;
    IplImage* out = nullptr;
    EXPECT_TRUE(ycbcr_to_rgb(Y.get(), Cb.get(), Cr.get(), &out));
    ImagePtr owned(out);
    return {pixel(out, 0, 0, 0), pixel(out, 0, 0, 1), pixel(out, 0, 0, 2)};
}

} // namespace

TEST(YCbCrToRgb, FixedPointConversionAndClamping)
{
    const Rgb black = convert_one(0, 128, 128);
    EXPECT_EQ(black.r, 0);
    EXPECT_EQ(black.g, 0);
    EXPECT_EQ(black.b, 0);
    const Rgb white = convert_one(255, 128, 128);
    EXPECT_EQ(white.r, 255);
    EXPECT_EQ(white.g, 255);
    EXPECT_EQ(white.b, 255);
    // 128 + ((22987 * 127 + 8192) >> 14) = 306, clamped.
    EXPECT_EQ(convert_one(128, 128, 255).r, 255);
    // Arithmetic shifts round toward minus infinity: c = r = -28.
    // G = 100 + ((5636 * 28 + 11698 * 28 + 8192) >> 14) = 100 + 30.
    const Rgb mixed = convert_one(100, 100, 100);
    EXPECT_EQ(mixed.r, 100 + ((22987 * -28 + 8192) >> 14));
    EXPECT_EQ(mixed.r, 61);
    EXPECT_EQ(mixed.g, 130);
    EXPECT_EQ(mixed.b, 100 + ((29049 * -28 + 8192) >> 14));
    EXPECT_EQ(convert_one(10, 0, 128).b, 0);
}

TEST(YCbCrToRgb, FourChannelOutputGetsOpaqueAlphaAndLargerOutputKeepsTheRest)
{
    ImagePtr Y = make_image(3, 2), Cb = make_image(3, 2), Cr = make_image(3, 2);
    cvSet(Y.get(), cvScalarAll(200));
    cvSet(Cb.get(), cvScalarAll(128));
    cvSet(Cr.get(), cvScalarAll(128));
    ImagePtr out = make_image(4, 3, IPL_DEPTH_8U, 4);
    IplImage* target = out.get();
    ASSERT_TRUE(ycbcr_to_rgb(Y.get(), Cb.get(), Cr.get(), &target));
    EXPECT_EQ(target, out.get());
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(pixel(target, x, y, 0), 200);
            EXPECT_EQ(pixel(target, x, y, 3), 255);
        }
    }
    EXPECT_EQ(pixel(target, 3, 0, 3), 0);
    EXPECT_EQ(pixel(target, 0, 2, 0), 0);
}

TEST(YCbCrToRgb, MismatchedOrTooSmallImagesAreRefusedUntouched)
{
    ImagePtr Y = make_image(4, 4), Cb = make_image(4, 4), Cr = make_image(4, 4), short_cr = make_image(4, 3);
    ImagePtr small = make_image(3, 4, IPL_DEPTH_8U, 3);
    cvSet(small.get(), cvScalarAll(7));
    IplImage* target = small.get();
    EXPECT_FALSE(ycbcr_to_rgb(Y.get(), Cb.get(), Cr.get(), &target));
    EXPECT_EQ(pixel(small.get(), 0, 0), 7);
    IplImage* created = nullptr;
    EXPECT_FALSE(ycbcr_to_rgb(Y.get(), Cb.get(), short_cr.get(), &created));
    EXPECT_EQ(created, nullptr);
    ImagePtr gray_out = make_image(4, 4);
    target = gray_out.get();
    EXPECT_FALSE(ycbcr_to_rgb(Y.get(), Cb.get(), Cr.get(), &target));
    EXPECT_FALSE(ycbcr_to_rgb(nullptr, Cb.get(), Cr.get(), &created));
}

TEST(SplitCbCr, ChannelsGoToTheirPlanesAndBadInputIsRefused)
{
    ImagePtr cbcr = make_image(5, 3, IPL_DEPTH_8U, 2);
    fill_random(cbcr.get(), 3);
    IplImage* cb = nullptr;
    IplImage* cr = nullptr;
    ASSERT_TRUE(split_cbcr(cbcr.get(), &cb, &cr));
    ImagePtr owned_cb(cb), owned_cr(cr);
    ASSERT_EQ(cb->width, 5);
    ASSERT_EQ(cr->height, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(pixel(cb, x, y), pixel(cbcr.get(), x, y, 0));
            EXPECT_EQ(pixel(cr, x, y), pixel(cbcr.get(), x, y, 1));
        }
    }
    ImagePtr plane = make_image(5, 3);
    EXPECT_FALSE(split_cbcr(plane.get(), &cb, &cr));
    EXPECT_EQ(cb, nullptr);
    EXPECT_EQ(cr, nullptr);
}

TEST(ExtractFirstChannel, WritesExactlyNBytes)
{
    for (size_t n : {size_t{0}, size_t{5}, size_t{8}, size_t{13}}) {
        std::vector<uint8_t> source(4 * n);
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = static_cast<uint8_t>(i);
        std::vector<uint8_t> destination(n + 4, 0xEE);
        extract_first_channel(source.data(), destination.data(), n);
        for (size_t i = 0; i < n; ++i)
            EXPECT_EQ(destination[i], static_cast<uint8_t>(4 * i));
        for (size_t i = n; i < n + 4; ++i)
            EXPECT_EQ(destination[i], 0xEE) << "n " << n;
    }
}

TEST(FocusScore, UniformAndOnePixelWideImagesScoreZero)
{
    ImagePtr uniform = make_image(10, 8);
    cvSet(uniform.get(), cvScalarAll(90));
    EXPECT_EQ(focus_score(uniform.get()), 0.0f);
    ImagePtr column = make_image(1, 20);
    fill_random(column.get(), 9);
    EXPECT_EQ(focus_score(column.get()), 0.0f);
}

TEST(FocusScore, DiagonalDifferenceAgainstTheTopRow)
{
    // 3 x 3 with a single bright centre. Row 0: D = 0. Row 1 (yu = 0, r = 0):
    // D = 0. Row 2 (yu = 1, r = 1): D(x) = I(xl,1) - I(xr,1) - I(xl,1) + I(xr,1) = 0.
    ImagePtr centre = make_image(3, 3);
    pixel(centre.get(), 1, 1) = 100;
    EXPECT_EQ(focus_score(centre.get()), 0.0f);

    // 3 x 2 with I(0, 1) = 50. Only the last row scores, against rows 0 and 1:
    // D(0) = I(0,0) - I(1,0) - I(0,1) + I(1,1) = -50, D(1) (xl 0, xr 2) = -50, D(2) = 0.
    ImagePtr two_rows = make_image(3, 2);
    pixel(two_rows.get(), 0, 1) = 50;
    // |D| = {0, 0, 0, 50, 50, 0}: mean 50/3, population deviation sqrt(5000/6 - 2500/9).
    const double expected = std::sqrt(5000.0 / 6.0 - 2500.0 / 9.0);
    EXPECT_NEAR(focus_score(two_rows.get()), expected, 1e-4);
}

TEST(FocusScore, RegionOfInterestIsHonouredAndBadImagesAreRefused)
{
    ImagePtr image = make_image(20, 20);
    fill_random(image.get(), 4);
    ImagePtr copy = make_image(6, 5);
    cvSetImageROI(image.get(), cvRect(3, 4, 6, 5));
    cvCopy(image.get(), copy.get());
    EXPECT_EQ(focus_score(image.get()), focus_score(copy.get()));
    cvSetImageROI(image.get(), cvRect(3, 4, 0, 5));
    EXPECT_EQ(focus_score(image.get()), 0.0f);
    ImagePtr color = make_image(4, 4, IPL_DEPTH_8U, 3);
    EXPECT_LT(focus_score(color.get()), 0.0f);
    EXPECT_LT(focus_score(nullptr), 0.0f);
}

TEST(FrameScoreWindow, CentredWindowsOfKnownFrames)
{
    CvRect large = frame_score_window(640, 480, true);
    EXPECT_EQ(large.x, 106);
    EXPECT_EQ(large.y, 105);
    EXPECT_EQ(large.width, 428);
    EXPECT_EQ(large.height, 270);
    CvRect small = frame_score_window(640, 480, false);
    EXPECT_EQ(small.x, 249);
    EXPECT_EQ(small.y, 195);
    EXPECT_EQ(small.width, 142);
    EXPECT_EQ(small.height, 90);
    CvRect hd = frame_score_window(1280, 720, false);
    EXPECT_EQ(hd.x, 533);
    EXPECT_EQ(hd.y, 292);
    EXPECT_EQ(hd.width, 213);
    EXPECT_EQ(hd.height, 135);
    CvRect empty = frame_score_window(0, 480, true);
    EXPECT_EQ(empty.x, 0);
    EXPECT_EQ(empty.width, 0);
    EXPECT_EQ(empty.height, 0);
}

TEST(FrameScores, MeasureOnlyTheWindowAndLeaveNoRegion)
{
    ImagePtr frame = make_image(640, 480);
    cvSet(frame.get(), cvScalarAll(10));
    cvSetImageROI(frame.get(), cvRect(249, 195, 142, 90));
    cvSet(frame.get(), cvScalarAll(200));
    cvSetImageROI(frame.get(), cvRect(0, 0, 5, 5));
    EXPECT_FLOAT_EQ(brightness_score_for_frame(frame.get(), false), 200.0f);
    EXPECT_EQ(frame->roi, nullptr);
    EXPECT_EQ(focus_score_for_frame(frame.get(), false), 0.0f);
    EXPECT_EQ(frame->roi, nullptr);
    EXPECT_GT(focus_score_for_frame(frame.get(), true), 0.0f);
    EXPECT_LT(brightness_score_for_frame(frame.get(), true), 200.0f);

    ImagePtr wide = make_image(2, 1);
    EXPECT_EQ(brightness_score_for_frame(wide.get(), false), 0.0f);
    EXPECT_LT(focus_score_for_frame(nullptr, false), 0.0f);
}

TEST(EqualizeHist, LookupTableScaleAndPinnedZero)
{
    ImagePtr flat = make_image(7, 3);
    cvSet(flat.get(), cvScalarAll(40));
    ASSERT_TRUE(llcv_equalize_hist(flat.get(), flat.get()));
    EXPECT_EQ(pixel(flat.get(), 2, 1), 255);
    cvSetZero(flat.get());
    ASSERT_TRUE(llcv_equalize_hist(flat.get(), flat.get()));
    EXPECT_EQ(pixel(flat.get(), 2, 1), 0);

    // Four pixels 10, 20, 20, 30: cumulative 1, 3, 4 of 4, scale 63.75:
    // 63.75 -> 64, 191.25 -> 191, 255.
    ImagePtr src = make_image(2, 2), dst = make_image(2, 2);
    pixel(src.get(), 0, 0) = 10;
    pixel(src.get(), 1, 0) = 20;
    pixel(src.get(), 0, 1) = 20;
    pixel(src.get(), 1, 1) = 30;
    ASSERT_TRUE(llcv_equalize_hist(src.get(), dst.get()));
    EXPECT_EQ(pixel(dst.get(), 0, 0), 64);
    EXPECT_EQ(pixel(dst.get(), 1, 0), 191);
    EXPECT_EQ(pixel(dst.get(), 1, 1), 255);

    // Two dark pixels of eight would map to 64; lut[0] is pinned to 0.
    ImagePtr ties = make_image(4, 2);
    cvSet(ties.get(), cvScalarAll(5));
    pixel(ties.get(), 0, 0) = 0;
    pixel(ties.get(), 1, 0) = 0;
    ASSERT_TRUE(llcv_equalize_hist(ties.get(), ties.get()));
    EXPECT_EQ(pixel(ties.get(), 0, 0), 0);
    EXPECT_EQ(pixel(ties.get(), 3, 1), 255);
}

TEST(EqualizeHist, RoundsHalfToEven)
{
    // 510 pixels: scale = 255/510 = 0.5 exactly; a cumulative count of 1
    // gives 0.5 -> 0, of 3 gives 1.5 -> 2, of 5 gives 2.5 -> 2.
    ImagePtr image = make_image(51, 10);
    cvSet(image.get(), cvScalarAll(200));
    pixel(image.get(), 0, 0) = 1;
    pixel(image.get(), 1, 0) = 2;
    pixel(image.get(), 2, 0) = 2;
    pixel(image.get(), 3, 0) = 3;
    pixel(image.get(), 4, 0) = 3;
    ASSERT_TRUE(llcv_equalize_hist(image.get(), image.get()));
    EXPECT_EQ(pixel(image.get(), 0, 0), 0);
    EXPECT_EQ(pixel(image.get(), 1, 0), 2);
    EXPECT_EQ(pixel(image.get(), 3, 0), 2);
    EXPECT_EQ(pixel(image.get(), 10, 5), 255);
}

TEST(EqualizeHist, WrongTypesOrSizesAreRefusedWithoutWriting)
{
    ImagePtr src = make_image(4, 4), other = make_image(4, 5), wide = make_image(4, 4, IPL_DEPTH_16S, 1);
    ImagePtr color = make_image(4, 4, IPL_DEPTH_8U, 3);
    cvSet(other.get(), cvScalarAll(9));
    EXPECT_FALSE(llcv_equalize_hist(src.get(), other.get()));
    EXPECT_EQ(pixel(other.get(), 0, 0), 9);
    EXPECT_FALSE(llcv_equalize_hist(wide.get(), wide.get()));
    EXPECT_FALSE(llcv_equalize_hist(color.get(), color.get()));
    EXPECT_FALSE(llcv_equalize_hist(src.get(), nullptr));
}

TEST(ImageHeaders, ShortBuffersAreRefused)
{
    ImagePtr image = make_image(8, 8);
    IplImage header = *image;
    header.imageSize = header.widthStep * 4; // claims eight rows, carries four
    EXPECT_LT(focus_score(&header), 0.0f);
    EXPECT_FALSE(llcv_equalize_hist(&header, &header));
    header = *image;
    header.widthStep = 4;
    EXPECT_LT(focus_score(&header), 0.0f);
}
