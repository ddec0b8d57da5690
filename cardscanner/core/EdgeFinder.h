#pragma once
// The card edge finder: is a card lying in the guide of this camera frame,
// and where are its four corners?
//
// One straight line is searched in each of four thin strips around the guide
// (EdgeFinder.cpp: Sobel 7, the core's Canny on those derivatives, a Hough
// vote over ten angles near the expected direction), in the luma plane first
// and in the half-size chroma planes only for sides that luma misses (a card
// whose colour differs from the table but whose brightness does not). The
// four lines are intersected into corners for the perspective warp
// (Transform.h).
//
// Free functions over caller-owned records, run on the capture queue. They
// keep no state and never change the planes they are given (regions of
// interest are set on private copies of the headers). Planes that are not
// 8-bit one-channel, or too small to hold a strip, find no edge.

#include <opencv2/core/types_c.h>

#include <cfloat>
#include <cstdint>

constexpr float kNoLine = FLT_MAX;

// x cos(theta) + y sin(theta) = rho, in luma-plane pixels (origin top-left,
// y down). Both kNoLine when no line was found.
struct ParametricLine {
    float rho;
    float theta;
};

struct FoundEdge {
    int32_t found; // 1 when location holds a line
    ParametricLine location;
};

struct FoundEdges {
    FoundEdge top;
    FoundEdge left;
    FoundEdge bottom;
    FoundEdge right;
};

// Named after the frame's own axes, not the card's reading direction:
// transform_card reorders them by orientation.
struct CornerPoints {
    CvPoint2D32f top_left;
    CvPoint2D32f bottom_left;
    CvPoint2D32f top_right;
    CvPoint2D32f bottom_right;
};

struct EdgeSearchRegions {
    CvRect top;
    CvRect bottom;
    CvRect left;
    CvRect right;
};

// True only when all four edges were found and all four corners intersect;
// corners are left as they were otherwise. Chroma lines come back in luma
// coordinates (scaled by 2).
bool detect_card_edges(const IplImage* y, const IplImage* cb, const IplImage* cr, int orientation, FoundEdges& edges,
                       CornerPoints& corners);

// The four strips of a plane, from its own size and the guide insets of the
// orientation. Strips of a plane too small for the guide may leave it; the
// search treats those as finding nothing.
EdgeSearchRegions edge_search_regions(const IplImage* plane, int orientation);
EdgeSearchRegions edge_search_regions_for_size(int width, int height, int orientation);

// Searches planes[0], [1], [2] in turn, each in its own rects[i], until a line
// is found; the line is moved into plane coordinates and multiplied by
// scales[i]. Does nothing when edge.found is already set.
void find_edge_in_planes(const IplImage* const planes[3], const float scales[3], const CvRect rects[3], FoundEdge& edge,
                         bool horizontal);

// The strongest line of the plane's region of interest (the whole plane
// without one), in the region's coordinates: within 5 degrees of horizontal
// (theta near pi/2) or vertical (theta near pi). kNoLine for both values when
// no line collects more than max(w, h) / 6 votes, or when the region is not
// an 8-bit one-channel area whose larger side is at least 6 pixels.
ParametricLine find_best_edge_line(const IplImage* plane, bool horizontal);

// Canny hysteresis on derivatives computed by the caller (16-bit signed,
// aperture 7 here), with the image library's L1 magnitude and its Q15
// direction bounds; edges are 255, the rest 0. Strict comparisons against
// both thresholds. False, writing nothing, when the images' sizes or types
// do not fit.
bool llcv_canny7_precomputed_sobel(const IplImage* source, IplImage* edges, const IplImage* dx, const IplImage* dy,
                                   double low_threshold, double high_threshold);

// The Hough step of find_best_edge_line on a finished edge map and its
// derivatives (all of one size): only edge pixels whose gradient lies within
// 10 degrees of the line's normal vote, once for each of the ten angles.
ParametricLine llcv_hough(const IplImage* edges, const IplImage* dx, const IplImage* dy, bool horizontal);

// Intersection of a (near) horizontal and a (near) vertical line; false when
// sin(theta2 - theta1) < 1e-10, which also refuses lines given the wrong way
// round.
bool intersect_lines(const ParametricLine& horizontal, const ParametricLine& vertical, CvPoint2D32f& point);
