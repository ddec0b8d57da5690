#pragma once
// The card guide's proportions: the rectangle the overlay draws and, through
// edge_search_regions (EdgeFinder.h), the strips in which the edge finder
// looks for the card's sides. One table feeds both so that what the user is
// asked to line up is exactly where the frame is searched.
//
// Pure functions; any thread.

#include <opencv2/core/types_c.h>

// Interface orientations as the platform numbers them. In landscape the
// card's long side runs along the camera frame's x axis.
enum : int {
    kOrientationPortrait = 1,
    kOrientationPortraitUpsideDown = 2,
    kOrientationLandscapeRight = 3, // the camera frame is upright
    kOrientationLandscapeLeft = 4,
};

struct GuideInsets {
    float first_axis; // fraction of the width in view space, of the height in frame space
    float second_axis;
};

struct GuideRect {
    float x;
    float y;
    float width;
    float height;
};

// Zero insets for an orientation outside 1..4.
GuideInsets guide_insets_for_orientation(int orientation);

// The guide within a width x height view: insets scaled, unrounded.
GuideRect guide_frame_for_orientation(int orientation, float width, float height);

// 1 <-> 2, 3 <-> 4; anything else gives portrait (1), the orientation a
// frame of unknown orientation is analysed in.
int opposite_orientation(int orientation);
