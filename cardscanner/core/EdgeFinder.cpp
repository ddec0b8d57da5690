#include "cardscanner/core/EdgeFinder.h"

#include "cardscanner/core/GuideGeometry.h"
#include "cardscanner/core/ImageView.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc/imgproc_c.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kSobelAperture = 7;
constexpr int kHoughAngles = 10;
constexpr float kHoughFirstOffset = 0.08726646f; // 5 degrees
constexpr float kHoughStep = 0.017453292f; // 1 degree
constexpr float kHorizontalCentre = 1.5707964f; // pi / 2
constexpr float kVerticalCentre = 3.1415927f; // pi
constexpr int kMinimumStripSide = 6; // below this the vote threshold max(w, h) / 6 is 0

// Q15 tangents of 22.5 and 67.5 degrees, as the image library's Canny uses
// them, so that edge maps match the ones the thresholds were tuned on.
constexpr int kCannyShift = 15;
constexpr int kTan22 = 13573;

const float kTan80 = static_cast<float>(std::tan(80.0 * CV_PI / 180.0));
const float kTan10 = static_cast<float>(std::tan(10.0 * CV_PI / 180.0));

ParametricLine no_line() { return {kNoLine, kNoLine}; }

struct OwnedImage {
    IplImage* image = nullptr;
    OwnedImage(CvSize size, int depth) : image(cvCreateImage(size, depth, 1)) { }
    ~OwnedImage() { cvReleaseImage(&image); }
    OwnedImage(const OwnedImage&) = delete;
    OwnedImage& operator=(const OwnedImage&) = delete;
};

bool is_plane16s(const ImageView& view) { return static_cast<unsigned>(view.depth) == IPL_DEPTH_16S && view.channels == 1; }

int16_t sample16(const ImageView& view, int x, int y) { return reinterpret_cast<const int16_t*>(view.row(y))[x]; }

bool gradient_fits(int dx, int dy, bool horizontal)
{
    if (horizontal) {
        if (dx == 0)
            return true;
        const float q = static_cast<float>(dy) / static_cast<float>(dx);
        return q >= kTan80 || q <= -kTan80;
    }
    if (dx == 0)
        return false;
    const float q = static_cast<float>(dy) / static_cast<float>(dx);
    return q >= -kTan10 && q <= kTan10;
}

// A private header over the plane whose region of interest is rect, so that
// the caller's header is never touched (two frames may share a plane).
struct RegionHeader {
    IplImage header;
    IplROI roi;
    RegionHeader(const IplImage* plane, CvRect rect) : header(*plane), roi{0, rect.x, rect.y, rect.width, rect.height}
    {
        header.roi = &roi;
    }
};

} // namespace

EdgeSearchRegions edge_search_regions_for_size(int width, int height, int orientation)
{
    const int guide_width = (4 * height) / 3;
    const int x0 = (width - guide_width) / 2;
    const bool known = orientation >= kOrientationPortrait && orientation <= kOrientationLandscapeLeft;
    const GuideInsets insets = guide_insets_for_orientation(orientation);
    auto round_away = [](float value) { return static_cast<int>(std::lround(value)); };
    const int yi = known ? round_away(static_cast<float>(height) * insets.first_axis) : 0;
    const int xi = known ? round_away(static_cast<float>(guide_width) * insets.second_axis) : 0;
    const int ym = known ? round_away(0.03f * static_cast<float>(height)) : 0;
    const int xm = known ? round_away(0.03f * static_cast<float>(guide_width)) : 0;

    EdgeSearchRegions regions;
    regions.top = cvRect(x0 + xi + xm, yi - ym, guide_width - 1 - 2 * (xi + xm), 2 * ym);
    regions.bottom = cvRect(x0 + xi + xm, height - 1 - yi - ym, regions.top.width, regions.top.height);
    regions.left = cvRect(x0 + xi - xm, yi + ym, 2 * xm, height - 1 - 2 * (yi + ym));
    regions.right = cvRect(x0 + guide_width - 1 - xi - xm, yi + ym, 2 * xm, regions.left.height);
    return regions;
}

EdgeSearchRegions edge_search_regions(const IplImage* plane, int orientation)
{
    if (plane == nullptr)
        return edge_search_regions_for_size(0, 0, orientation);
    return edge_search_regions_for_size(plane->width, plane->height, orientation);
}

bool llcv_canny7_precomputed_sobel(const IplImage* source, IplImage* edges, const IplImage* dx, const IplImage* dy,
                                   double low_threshold, double high_threshold)
{
    ImageView src, dst, gx, gy;
    if (!image_view(source, src) || !image_view(edges, dst) || !image_view(dx, gx) || !image_view(dy, gy))
        return false;
    if (!is_plane8(src) || !is_plane8(dst) || !is_plane16s(gx) || !is_plane16s(gy))
        return false;
    const int w = src.width, h = src.height;
    if (dst.width != w || dst.height != h || gx.width != w || gx.height != h || gy.width != w || gy.height != h)
        return false;
    if (!std::isfinite(low_threshold) || !std::isfinite(high_threshold))
        return false;
    if (low_threshold > high_threshold)
        std::swap(low_threshold, high_threshold);
    const double low = std::floor(low_threshold), high = std::floor(high_threshold);

    // Magnitudes and the marking map carry a one-pixel frame of zeros (never
    // an edge) so that the neighbourhood tests need no bounds checks.
    const int stride = w + 2;
    std::vector<int> magnitude(static_cast<size_t>(stride) * (h + 2), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            magnitude[(y + 1) * stride + x + 1] = std::abs(sample16(gx, x, y)) + std::abs(sample16(gy, x, y));
    }

    enum : uint8_t { kNotEdge = 1, kMaybeEdge = 0, kEdge = 2 };
    std::vector<uint8_t> map(magnitude.size(), kNotEdge);
    std::vector<int> stack;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int at = (y + 1) * stride + x + 1;
            const int m = magnitude[at];
            if (m <= low)
                continue;
            const int xs = sample16(gx, x, y), ys = sample16(gy, x, y);
            const int64_t ax = std::abs(xs);
            const int64_t ay = int64_t{std::abs(ys)} << kCannyShift;
            const int64_t tan22x = ax * kTan22;
            bool is_maximum;
            if (ay < tan22x) {
                is_maximum = m > magnitude[at - 1] && m >= magnitude[at + 1];
            } else {
                const int64_t tan67x = tan22x + (ax << (kCannyShift + 1));
                if (ay > tan67x) {
                    is_maximum = m > magnitude[at - stride] && m >= magnitude[at + stride];
                } else {
                    const int s = (xs ^ ys) < 0 ? -1 : 1;
                    is_maximum = m > magnitude[at - stride - s] && m > magnitude[at + stride + s];
                }
            }
            if (!is_maximum)
                continue;
            if (m > high) {
                map[at] = kEdge;
                stack.push_back(at);
            } else {
                map[at] = kMaybeEdge;
            }
        }
    }
    const int neighbours[8] = {-stride - 1, -stride, -stride + 1, -1, 1, stride - 1, stride, stride + 1};
    while (!stack.empty()) {
        const int at = stack.back();
        stack.pop_back();
        for (int offset : neighbours) {
            if (map[at + offset] == kMaybeEdge) {
                map[at + offset] = kEdge;
                stack.push_back(at + offset);
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* row = dst.row(y);
        for (int x = 0; x < w; ++x)
            row[x] = map[(y + 1) * stride + x + 1] == kEdge ? 255 : 0;
    }
    return true;
}

ParametricLine llcv_hough(const IplImage* edges, const IplImage* dx, const IplImage* dy, bool horizontal)
{
    ImageView map, gx, gy;
    if (!image_view(edges, map) || !image_view(dx, gx) || !image_view(dy, gy))
        return no_line();
    if (!is_plane8(map) || !is_plane16s(gx) || !is_plane16s(gy))
        return no_line();
    const int w = map.width, h = map.height;
    if (gx.width != w || gx.height != h || gy.width != w || gy.height != h)
        return no_line();
    if (std::max(w, h) < kMinimumStripSide)
        return no_line();

    const float first_angle = (horizontal ? kHorizontalCentre : kVerticalCentre) - kHoughFirstOffset;
    int sines[kHoughAngles], cosines[kHoughAngles];
    float angle = first_angle;
    for (int n = 0; n < kHoughAngles; ++n) {
        sines[n] = static_cast<int>(std::floor(1024.0f * std::sin(angle)));
        cosines[n] = static_cast<int>(std::floor(1024.0f * std::cos(angle)));
        angle += kHoughStep;
    }

    const int rho_offset = w + h;
    const int rho_bins = 2 * (w + h) + 1;
    std::vector<int> votes(static_cast<size_t>(rho_bins) * kHoughAngles, 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = map.row(y);
        for (int x = 0; x < w; ++x) {
            if (row[x] == 0 || !gradient_fits(sample16(gx, x, y), sample16(gy, x, y), horizontal))
                continue;
            for (int n = 0; n < kHoughAngles; ++n) {
                // Arithmetic shift: negative sums round toward minus infinity.
                const int rho = ((sines[n] * y + cosines[n] * x) >> 10) + rho_offset;
                ++votes[static_cast<size_t>(rho) * kHoughAngles + n];
            }
        }
    }

    int best = 0;
    size_t best_index = 0;
    for (size_t i = 0; i < votes.size(); ++i) {
        if (votes[i] > best) {
            best = votes[i];
            best_index = i;
        }
    }
    if (best <= std::max(w, h) / 6)
        return no_line();
    const int rho = static_cast<int>(best_index / kHoughAngles) - rho_offset;
    const int n = static_cast<int>(best_index % kHoughAngles);
    return {static_cast<float>(rho), first_angle + static_cast<float>(n) * kHoughStep};
}

ParametricLine find_best_edge_line(const IplImage* plane, bool horizontal)
{
    ImageView strip;
    if (!image_view(plane, strip) || !is_plane8(strip) || std::max(strip.width, strip.height) < kMinimumStripSide)
        return no_line();
    const CvSize size = cvSize(strip.width, strip.height);
    OwnedImage dx(size, IPL_DEPTH_16S), dy(size, IPL_DEPTH_16S), edges(size, IPL_DEPTH_8U);
    if (dx.image == nullptr || dy.image == nullptr || edges.image == nullptr)
        return no_line();
    try {
        // Derivatives near the strip's border read the plane beyond it, as
        // the image library does for a region of interest.
        cvSobel(plane, dx.image, 1, 0, kSobelAperture);
        cvSobel(plane, dy.image, 0, 1, kSobelAperture);
    } catch (const cv::Exception&) {
        return no_line();
    }
    ImageView gx, gy;
    if (!image_view(dx.image, gx) || !image_view(dy.image, gy))
        return no_line();
    double total = 0.0;
    for (int y = 0; y < gx.height; ++y) {
        for (int x = 0; x < gx.width; ++x)
            total += std::abs(sample16(gx, x, y)) + std::abs(sample16(gy, x, y));
    }
    const double mean = total / (static_cast<double>(strip.width) * strip.height);
    if (!llcv_canny7_precomputed_sobel(plane, edges.image, dx.image, dy.image, std::floor(mean), std::floor(3.0 * mean)))
        return no_line();
    return llcv_hough(edges.image, dx.image, dy.image, horizontal);
}

void find_edge_in_planes(const IplImage* const planes[3], const float scales[3], const CvRect rects[3], FoundEdge& edge,
                         bool horizontal)
{
    if (edge.found)
        return;
    for (int i = 0; i < 3 && !edge.found; ++i) {
        if (planes[i] == nullptr)
            continue;
        const CvRect rect = rects[i];
        if (rect.x < 0 || rect.y < 0 || rect.width <= 0 || rect.height <= 0 || rect.x + rect.width > planes[i]->width
            || rect.y + rect.height > planes[i]->height)
            continue;
        const RegionHeader region(planes[i], rect);
        const ParametricLine line = find_best_edge_line(&region.header, horizontal);
        if (line.theta == kNoLine)
            continue;
        const float rho = line.rho + static_cast<float>(rect.x) * std::cos(line.theta)
            + static_cast<float>(rect.y) * std::sin(line.theta);
        edge.location = {scales[i] * rho, line.theta};
        edge.found = 1;
    }
}

bool intersect_lines(const ParametricLine& horizontal, const ParametricLine& vertical, CvPoint2D32f& point)
{
    const float c1 = std::cos(horizontal.theta), s1 = std::sin(horizontal.theta);
    const float c2 = std::cos(vertical.theta), s2 = std::sin(vertical.theta);
    const float d = c1 * s2 - s1 * c2;
    // Signed on purpose: also refuses a pair handed over the wrong way round.
    if (!(d >= 1e-10f))
        return false;
    const float x = (horizontal.rho * s2 - vertical.rho * s1) / d;
    const float y = (vertical.rho * c1 - horizontal.rho * c2) / d;
    if (!std::isfinite(x) || !std::isfinite(y))
        return false;
    point = cvPoint2D32f(x, y);
    return true;
}

bool detect_card_edges(const IplImage* y, const IplImage* cb, const IplImage* cr, int orientation, FoundEdges& edges,
                       CornerPoints& corners)
{
    const IplImage* const planes[3] = {y, cb, cr};
    const float scales[3] = {1.0f, 2.0f, 2.0f};
    EdgeSearchRegions regions[3];
    for (int i = 0; i < 3; ++i)
        regions[i] = edge_search_regions(planes[i], orientation);
    edges = FoundEdges{};
    for (FoundEdge* edge : {&edges.top, &edges.left, &edges.bottom, &edges.right})
        edge->location = no_line();
    if (y == nullptr)
        return false;

    const CvRect top[3] = {regions[0].top, regions[1].top, regions[2].top};
    const CvRect bottom[3] = {regions[0].bottom, regions[1].bottom, regions[2].bottom};
    const CvRect left[3] = {regions[0].left, regions[1].left, regions[2].left};
    const CvRect right[3] = {regions[0].right, regions[1].right, regions[2].right};
    find_edge_in_planes(planes, scales, top, edges.top, true);
    find_edge_in_planes(planes, scales, bottom, edges.bottom, true);
    find_edge_in_planes(planes, scales, left, edges.left, false);
    find_edge_in_planes(planes, scales, right, edges.right, false);
    if (!edges.top.found || !edges.bottom.found || !edges.left.found || !edges.right.found)
        return false;

    // Corners are written only as a set, so a caller never sees a mix of this
    // frame's corners and an earlier one's.
    CornerPoints found;
    if (!intersect_lines(edges.top.location, edges.left.location, found.top_left)
        || !intersect_lines(edges.bottom.location, edges.left.location, found.bottom_left)
        || !intersect_lines(edges.top.location, edges.right.location, found.top_right)
        || !intersect_lines(edges.bottom.location, edges.right.location, found.bottom_right))
        return false;
    corners = found;
    return true;
}
