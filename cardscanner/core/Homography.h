#pragma once
// The perspective solver: four point pairs in, the matrix that maps each
// source point onto its destination out, in the layout the warp filters take.
//
// Pure functions; any thread; nothing allocated.

#include <opencv2/core/types_c.h>

enum : unsigned {
    kPerspectiveRowMajor = 1u, // otherwise column-major, as an OpenGL uniform takes it untransposed
};

// Writes into out[0..n) the homography h (h8 = 1) that maps src point i onto
// dst point i, both given as x0, y0, ..., x3, y3: a 3 x 3 matrix when
// n < 16, else the 4 x 4 one that passes z through,
//   [h0 h1 0 h2; h3 h4 0 h5; 0 0 1 0; h6 h7 0 1].
// The first n floats are zeroed first and elements with an index of n or more
// are dropped. Eight unknowns, solved by Householder QR in single precision;
// degenerate points give whatever that yields (non-finite values, never a
// fault). Does nothing when out, src or dst is null.
void perspective_transform_from_points(float* out, int n, unsigned flags, const float src[8], const float dst[8]);

CvPoint2D32f make_point(float x, float y);

// The destination of the card warp in clip space, in warp order: the corners
// that become the card image's top-left, top-right, bottom-left and
// bottom-right pixels.
extern const CvPoint2D32f warp_quad[4];
