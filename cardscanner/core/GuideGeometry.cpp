#include "cardscanner/core/GuideGeometry.h"

GuideInsets guide_insets_for_orientation(int orientation)
{
    switch (orientation) {
    case kOrientationLandscapeRight:
    case kOrientationLandscapeLeft:
        return {0.21875f, 0.165625f};
    case kOrientationPortrait:
    case kOrientationPortraitUpsideDown:
        return {0.054166667f, 0.2890625f};
    default:
        return {0.0f, 0.0f};
    }
}

GuideRect guide_frame_for_orientation(int orientation, float width, float height)
{
    const GuideInsets insets = guide_insets_for_orientation(orientation);
    const float x = width * insets.first_axis;
    const float y = height * insets.second_axis;
    return {x, y, width - 2.0f * x, height - 2.0f * y};
}

int opposite_orientation(int orientation)
{
    switch (orientation) {
    case kOrientationPortrait:
        return kOrientationPortraitUpsideDown;
    case kOrientationPortraitUpsideDown:
        return kOrientationPortrait;
    case kOrientationLandscapeRight:
        return kOrientationLandscapeLeft;
    case kOrientationLandscapeLeft:
        return kOrientationLandscapeRight;
    default:
        return kOrientationPortrait;
    }
}
