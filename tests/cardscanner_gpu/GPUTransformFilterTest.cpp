#include "cardscanner/gpu/ZeduVIGPUTransformFilter.h"

#include "cardscanner/core/CPUTransformFilter.h"
#include "cardscanner/core/EdgeFinder.h"
#include "cardscanner/core/Homography.h"
#include "cardscanner/core/Transform.h"
#include "platform/foundation/Log.h"

#include <opencv2/imgproc/imgproc_c.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <thread>

using namespace cardscanner;

namespace {

struct ReleaseImage {
    void operator()(IplImage* image) const { cvReleaseImage(&image); }
};
using ImagePtr = std::unique_ptr<IplImage, ReleaseImage>;

ImagePtr make_image(int width, int height, int channels = 1)
{
    ImagePtr image(cvCreateImage(cvSize(width, height), IPL_DEPTH_8U, channels));
    cvSetZero(image.get());
    return image;
}

uint8_t& at(IplImage* image, int x, int y) { return reinterpret_cast<uint8_t*>(image->imageData + y * image->widthStep)[x]; }

// Smooth structure plus fine grain: bilinear sampling differences show up
// on both.
ImagePtr textured_plane(int width, int height, unsigned seed)
{
    ImagePtr plane = make_image(width, height);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            at(plane.get(), x, y) = static_cast<uint8_t>(128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.07)
                                                         + static_cast<int>(random() % 41) - 20);
    return plane;
}

void warp_matrix(const float corners[8], float matrix[16])
{
    float quad[8];
    for (int i = 0; i < 4; ++i)
        quad[2 * i] = warp_quad[i].x, quad[2 * i + 1] = warp_quad[i].y;
    perspective_transform_from_points(matrix, 16, 0, corners, quad);
}

// Pixels more than tolerance apart, not counting a border of the given
// width where the two rasterisers may round a covered pixel differently.
int differing_pixels(IplImage* a, IplImage* b, int tolerance, int border)
{
    int count = 0;
    for (int y = border; y < a->height - border; ++y)
        for (int x = border; x < a->width - border; ++x)
            count += std::abs(at(a, x, y) - at(b, x, y)) > tolerance;
    return count;
}

std::unique_ptr<ZeduVIGPUTransformFilter> gpu_filter(double width, double height)
{
    std::string why;
    auto filter = ZeduVIGPUTransformFilter::create(width, height, why);
    if (!filter)
        ADD_FAILURE() << "no GPU filter: " << why;
    return filter;
}

// A perspective quad inside a 640 x 480 frame, as a tilted card gives one.
const float kCardCorners[8] = {121.3f, 98.7f, 530.2f, 110.4f, 98.9f, 382.1f, 548.6f, 371.5f};

} // namespace

TEST(GPUTransformFilter, WarpsLikeTheCPUFilterForLumaAndHalfSizeChroma)
{
    auto gpu = gpu_filter(640, 480);
    ASSERT_TRUE(gpu);
    CPUTransformFilter cpu(640, 480);
    float matrix[16];
    warp_matrix(kCardCorners, matrix);
    for (int size : {1, 2}) {
        ImagePtr plane = textured_plane(640 / size, 480 / size, 7 + size);
        ImagePtr from_gpu = make_image(428, 270), from_cpu = make_image(428, 270);
        ASSERT_TRUE(gpu->transform(plane.get(), from_gpu.get(), matrix));
        ASSERT_TRUE(cpu.transform(plane.get(), from_cpu.get(), matrix));
        EXPECT_EQ(differing_pixels(from_gpu.get(), from_cpu.get(), 2, 1), 0) << "plane of 1/" << size;
        EXPECT_GT(cvAvg(from_gpu.get()).val[0], 60.0); // something was drawn
    }
}

TEST(GPUTransformFilter, UncoveredPixelsReadZeroAsOnTheCPU)
{
    auto gpu = gpu_filter(640, 480);
    ASSERT_TRUE(gpu);
    CPUTransformFilter cpu(640, 480);
    // Corners beyond the frame: part of the card image has no source.
    const float corners[8] = {-100, -50, 500, 20, -80, 400, 700, 520};
    float matrix[16];
    warp_matrix(corners, matrix);
    ImagePtr plane = make_image(640, 480);
    cvSet(plane.get(), cvScalarAll(200));
    ImagePtr from_gpu = make_image(428, 270), from_cpu = make_image(428, 270);
    ASSERT_TRUE(gpu->transform(plane.get(), from_gpu.get(), matrix));
    ASSERT_TRUE(cpu.transform(plane.get(), from_cpu.get(), matrix));
    EXPECT_EQ(at(from_gpu.get(), 0, 0), 0);
    EXPECT_EQ(at(from_gpu.get(), 214, 135), 200);
    // Coverage edges may fall either way on a pixel whose centre lies on
    // the quad's border.
    EXPECT_LT(differing_pixels(from_gpu.get(), from_cpu.get(), 2, 0), 428);
}

TEST(GPUTransformFilter, HonoursRowStridesAndRegionsOnBothSides)
{
    auto gpu = gpu_filter(640, 480);
    ASSERT_TRUE(gpu);
    CPUTransformFilter cpu(640, 480);
    float matrix[16];
    warp_matrix(kCardCorners, matrix);

    // A 641-wide frame whose 640-pixel region is the plane: rows are not
    // where GL's unpack alignment would look for them.
    ImagePtr wide = textured_plane(641, 480, 3);
    cvSetImageROI(wide.get(), cvRect(1, 0, 640, 480));
    // The destination is a region of a larger image: the bytes around it
    // must stay as they were.
    ImagePtr from_gpu = make_image(440, 280), from_cpu = make_image(440, 280);
    cvSet(from_gpu.get(), cvScalarAll(33));
    cvSet(from_cpu.get(), cvScalarAll(33));
    cvSetImageROI(from_gpu.get(), cvRect(5, 4, 428, 270));
    cvSetImageROI(from_cpu.get(), cvRect(5, 4, 428, 270));
    ASSERT_TRUE(gpu->transform(wide.get(), from_gpu.get(), matrix));
    ASSERT_TRUE(cpu.transform(wide.get(), from_cpu.get(), matrix));
    EXPECT_EQ(differing_pixels(from_gpu.get(), from_cpu.get(), 2, 1), 0);
    cvResetImageROI(from_gpu.get());
    EXPECT_EQ(at(from_gpu.get(), 4, 4), 33);
    EXPECT_EQ(at(from_gpu.get(), 433, 4), 33);
    EXPECT_EQ(at(from_gpu.get(), 5, 274), 33);
    EXPECT_EQ(at(from_gpu.get(), 5, 3), 33);
}

TEST(GPUTransformFilter, ReadsBackDestinationsLargerThanTheFilter)
{
    auto gpu = gpu_filter(64, 48);
    ASSERT_TRUE(gpu);
    CPUTransformFilter cpu(64, 48);
    const float corners[8] = {4, 3, 60, 5, 2, 44, 62, 46};
    float matrix[16];
    warp_matrix(corners, matrix);
    ImagePtr plane = textured_plane(64, 48, 5);
    ImagePtr from_gpu = make_image(300, 200), from_cpu = make_image(300, 200);
    ASSERT_TRUE(gpu->transform(plane.get(), from_gpu.get(), matrix));
    ASSERT_TRUE(cpu.transform(plane.get(), from_cpu.get(), matrix));
    EXPECT_EQ(differing_pixels(from_gpu.get(), from_cpu.get(), 2, 1), 0);
}

TEST(GPUTransformFilter, SetPerspectiveMatThenProcessIsTheSameAsTransform)
{
    auto gpu = gpu_filter(640, 480);
    ASSERT_TRUE(gpu);
    float matrix[16];
    warp_matrix(kCardCorners, matrix);
    ImagePtr plane = textured_plane(640, 480, 11);
    ImagePtr once = make_image(428, 270), split = make_image(428, 270);
    ASSERT_TRUE(gpu->transform(plane.get(), once.get(), matrix));
    gpu->setPerspectiveMat(matrix);
    ASSERT_TRUE(gpu->processIplImage(plane.get(), split.get()));
    EXPECT_EQ(differing_pixels(once.get(), split.get(), 0, 0), 0);
    EXPECT_EQ(gpu->size().width, 640);
    EXPECT_EQ(gpu->size().height, 480);
}

TEST(GPUTransformFilter, RefusesPlanesItCannotDrawAndLeavesThemAlone)
{
    auto gpu = gpu_filter(640, 480);
    ASSERT_TRUE(gpu);
    float matrix[16];
    warp_matrix(kCardCorners, matrix);
    ImagePtr plane = textured_plane(640, 480, 1), colour = make_image(640, 480, 3), dst = make_image(428, 270);
    cvSet(dst.get(), cvScalarAll(9));
    EXPECT_FALSE(gpu->transform(colour.get(), dst.get(), matrix));
    EXPECT_FALSE(gpu->transform(plane.get(), colour.get(), matrix));
    EXPECT_FALSE(gpu->transform(plane.get(), dst.get(), nullptr));
    EXPECT_FALSE(gpu->transform(nullptr, dst.get(), matrix));
    EXPECT_EQ(at(dst.get(), 100, 100), 9);
    std::string why;
    EXPECT_EQ(ZeduVIGPUTransformFilter::create(0, 480, why), nullptr);
    EXPECT_FALSE(why.empty());
    // Still usable after the refusals.
    EXPECT_TRUE(gpu->transform(plane.get(), dst.get(), matrix));
}

TEST(GPUTransformFilter, TwoThreadsShareOneFilterSafely)
{
    auto gpu = gpu_filter(640, 480);
    ASSERT_TRUE(gpu);
    CPUTransformFilter cpu(640, 480);
    float matrix_a[16], matrix_b[16];
    warp_matrix(kCardCorners, matrix_a);
    const float other[8] = {50, 60, 600, 40, 70, 420, 590, 440};
    warp_matrix(other, matrix_b);
    ImagePtr plane = textured_plane(640, 480, 2);
    ImagePtr expected_a = make_image(428, 270), expected_b = make_image(428, 270);
    cpu.transform(plane.get(), expected_a.get(), matrix_a);
    cpu.transform(plane.get(), expected_b.get(), matrix_b);

    auto worker = [&](const float* matrix, IplImage* expected, int* mismatches) {
        ImagePtr out = make_image(428, 270);
        for (int i = 0; i < 15; ++i) {
            if (!gpu->transform(plane.get(), out.get(), matrix) || differing_pixels(out.get(), expected, 2, 1) != 0)
                ++*mismatches;
        }
    };
    int mismatches_a = 0, mismatches_b = 0;
    std::thread a(worker, matrix_a, expected_a.get(), &mismatches_a);
    std::thread b(worker, matrix_b, expected_b.get(), &mismatches_b);
    for (int i = 0; i < 15; ++i)
        gpu->finish(); // as the main thread does before backgrounding
    a.join();
    b.join();
    EXPECT_EQ(mismatches_a, 0);
    EXPECT_EQ(mismatches_b, 0);
}

TEST(GPUTransformFilterFactory, FallsBackToTheCPUAndSaysSoOnce)
{
    gpu_transform_filter_reset_fallback_log();
    platform::LogCapture log;
    auto first = gpu_transform_filter_create(640, 480, false);
    auto second = gpu_transform_filter_create(320, 240, false);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(dynamic_cast<CPUTransformFilter*>(first.get()), nullptr);
    EXPECT_EQ(second->size().width, 320);
    EXPECT_EQ(log.count(kGPUFallbackLogLine), 1u);

    setenv("CARDSCANNER_DISABLE_GPU", "1", 1);
    auto disabled = gpu_transform_filter_create(640, 480);
    unsetenv("CARDSCANNER_DISABLE_GPU");
    EXPECT_NE(dynamic_cast<CPUTransformFilter*>(disabled.get()), nullptr);
    EXPECT_EQ(log.count(kGPUFallbackLogLine), 1u);

    auto allowed = gpu_transform_filter_create(640, 480);
    EXPECT_NE(dynamic_cast<ZeduVIGPUTransformFilter*>(allowed.get()), nullptr);
}

TEST(GPUTransformFilterFactory, StreamContextWarpsTheThreePlanesOnTheGPU)
{
    RecoContext* context = reco_context_create(gpu_transform_filter_factory());
    ASSERT_NE(dynamic_cast<ZeduVIGPUTransformFilter*>(context->transform_context.get()), nullptr);
    RecoContext* oracle = reco_context_create();
    CornerPoints corners;
    corners.top_left = cvPoint2D32f(kCardCorners[0], kCardCorners[1]);
    corners.top_right = cvPoint2D32f(kCardCorners[2], kCardCorners[3]);
    corners.bottom_left = cvPoint2D32f(kCardCorners[4], kCardCorners[5]);
    corners.bottom_right = cvPoint2D32f(kCardCorners[6], kCardCorners[7]);
    ImagePtr y = textured_plane(640, 480, 4), cb = textured_plane(320, 240, 5);
    for (int orientation = 1; orientation <= 4; ++orientation) {
        for (IplImage* plane : {y.get(), cb.get()}) {
            IplImage *gpu = nullptr, *cpu = nullptr;
            ASSERT_TRUE(transform_card(context, plane, corners, orientation, &gpu));
            ASSERT_TRUE(transform_card(oracle, plane, corners, orientation, &cpu));
            ImagePtr owned_gpu(gpu), owned_cpu(cpu);
            EXPECT_EQ(differing_pixels(gpu, cpu, 2, 1), 0) << "orientation " << orientation;
        }
    }
    reco_prepare_for_backgrounding(context);
    reco_context_destroy(context);
    reco_context_destroy(oracle);
}

// Frame after frame, as the capture queue runs them: edges of the Y plane
// (chroma only where luma misses), then the card warped out of Y, Cb and Cr
// into the same images. Every frame must give the first frame's card: state
// left behind by one warp (a program, a framebuffer, a bound texture) must not
// show in the next. How fast this runs is capture_bench's to measure.
TEST(GPUTransformFilterPerformance, EdgesAndThreePlaneWarpRepeatFrameAfterFrame)
{
    RecoContext* context = reco_context_create(gpu_transform_filter_factory());
    ImagePtr y = textured_plane(640, 480, 4), cb = textured_plane(320, 240, 5), cr = textured_plane(320, 240, 6);
    cvRectangle(y.get(), cvPoint(106, 105), cvPoint(533, 374), cvScalarAll(220), CV_FILLED);
    IplImage *card_y = nullptr, *card_cb = nullptr, *card_cr = nullptr;
    FoundEdges edges;
    CornerPoints corners;
    ASSERT_TRUE(detect_card_edges(y.get(), cb.get(), cr.get(), 3, edges, corners));
    ImagePtr first_y, first_cr;
    for (int frame = 0; frame < 20; ++frame) {
        ASSERT_TRUE(detect_card_edges(y.get(), cb.get(), cr.get(), 3, edges, corners));
        transform_card(context, y.get(), corners, 3, &card_y);
        transform_card(context, cb.get(), corners, 3, &card_cb);
        transform_card(context, cr.get(), corners, 3, &card_cr);
        ASSERT_TRUE(card_y && card_cb && card_cr);
        if (frame == 0) {
            first_y.reset(cvCloneImage(card_y));
            first_cr.reset(cvCloneImage(card_cr));
        } else {
            EXPECT_EQ(differing_pixels(card_y, first_y.get(), 0, 0), 0) << "frame " << frame;
            EXPECT_EQ(differing_pixels(card_cr, first_cr.get(), 0, 0), 0) << "frame " << frame;
        }
    }
    ImagePtr a(card_y), b(card_cb), c(card_cr);
    reco_context_destroy(context);
}
