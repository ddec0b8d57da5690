#include "cardscanner/core/Transform.h"

#include "cardscanner/core/CPUTransformFilter.h"
#include "cardscanner/core/Homography.h"
#include "cardscanner/core/ImageView.h"

#include <cmath>

namespace {

std::unique_ptr<TransformFilter> make_filter(const TransformFilterFactory& factory, double width, double height)
{
    if (factory)
        return factory(width, height);
    return cpu_transform_filter_create(width, height);
}

// The filter's output must be the plane's size times a whole k, the same k
// both ways, for the plane to be addressed in the filter's coordinates.
bool filter_fits(const TransformFilter& filter, int width, int height)
{
    const TransformFilterSize size = filter.size();
    if (!(size.width >= 0.0 && size.width < 2147483647.0 && size.height >= 0.0 && size.height < 2147483647.0))
        return false;
    const int filter_width = static_cast<int>(size.width), filter_height = static_cast<int>(size.height);
    const int kx = width == 0 ? 0 : filter_width / width;
    const int ky = height == 0 ? 0 : filter_height / height;
    return kx == ky && width * kx == filter_width && height * kx == filter_height;
}

} // namespace

bool transform_plane(const IplImage* image, TransformPlane& plane)
{
    ImageView view;
    if (!image_view(image, view) || !is_plane8(view))
        return false;
    plane = {view.data, view.width, view.height, view.step};
    return true;
}

std::unique_ptr<TransformFilter> transform_context_create(const TransformFilterFactory& factory)
{
    return make_filter(factory, kStreamFrameWidth, kStreamFrameHeight);
}

RecoContext* reco_context_create(TransformFilterFactory factory)
{
    auto* context = new RecoContext{};
    context->make_filter = std::move(factory);
    context->transform_context = transform_context_create(context->make_filter);
    return context;
}

void reco_context_destroy(RecoContext* context) { delete context; }

void reco_prepare_for_backgrounding(RecoContext* context)
{
    if (context != nullptr && context->transform_context)
        context->transform_context->finish();
}

bool transform_context_warp(RecoContext* context, const IplImage* src, const float corners[8], IplImage* dst)
{
    TransformPlane source;
    if (context == nullptr || corners == nullptr || !transform_plane(src, source))
        return false;
    for (int i = 0; i < 8; ++i) {
        if (!std::isfinite(corners[i]))
            return false;
    }
    if (!context->transform_context || !filter_fits(*context->transform_context, source.width, source.height)) {
        context->transform_context.reset();
        context->transform_context = make_filter(context->make_filter, source.width, source.height);
        if (!context->transform_context)
            return false;
    }
    float quad[8];
    for (int i = 0; i < 4; ++i) {
        quad[2 * i] = warp_quad[i].x;
        quad[2 * i + 1] = warp_quad[i].y;
    }
    float matrix[16];
    perspective_transform_from_points(matrix, 16, 0, corners, quad);
    for (float value : matrix) {
        if (!std::isfinite(value))
            return false;
    }
    return context->transform_context->transform(src, dst, matrix);
}

bool card_corners_in_warp_order(const CornerPoints& corners, int orientation, float ordered[8])
{
    const CvPoint2D32f* order[4];
    switch (orientation) {
    case 1:
        order[0] = &corners.bottom_left, order[1] = &corners.top_left;
        order[2] = &corners.bottom_right, order[3] = &corners.top_right;
        break;
    case 2:
        order[0] = &corners.top_right, order[1] = &corners.bottom_right;
        order[2] = &corners.top_left, order[3] = &corners.bottom_left;
        break;
    case 3:
        order[0] = &corners.top_left, order[1] = &corners.top_right;
        order[2] = &corners.bottom_left, order[3] = &corners.bottom_right;
        break;
    case 4:
        order[0] = &corners.bottom_right, order[1] = &corners.bottom_left;
        order[2] = &corners.top_right, order[3] = &corners.top_left;
        break;
    default:
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        ordered[2 * i] = order[i]->x;
        ordered[2 * i + 1] = order[i]->y;
    }
    return true;
}

bool transform_card(RecoContext* context, const IplImage* src, const CornerPoints& corners, int orientation,
                    IplImage** out)
{
    float ordered[8];
    TransformPlane source;
    if (context == nullptr || out == nullptr || !transform_plane(src, source)
        || !card_corners_in_warp_order(corners, orientation, ordered))
        return false;
    for (float value : ordered) {
        if (!std::isfinite(value))
            return false;
    }
    if (*out == nullptr) {
        *out = cvCreateImage(cvSize(kCardImageWidth, kCardImageHeight), src->depth, src->nChannels);
        if (*out == nullptr)
            return false;
        cvSetZero(*out);
    }
    return transform_context_warp(context, src, ordered, *out);
}
