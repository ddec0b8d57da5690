#pragma once
// The card warp: RecoContext keeps one transform filter alive for a video
// stream, and transform_card cuts the card out of a camera plane into a fixed
// 428 x 270 image, the corners ordered by the frame's orientation.
//
// The filter itself lives outside the core (the GPU one in cardscanner/gpu,
// a CPU one in CPUTransformFilter.h) behind TransformFilter, so the core
// never touches GL. A RecoContext has no lock: its stream calls
// transform_card from the capture queue only and makes and destroys the
// context where the stream is made and released. A filter may be asked to
// finish() from another thread and must guard itself (see its own header).

#include "cardscanner/core/EdgeFinder.h"

#include <opencv2/core/core_c.h>

#include <cstdint>
#include <functional>
#include <memory>

struct TransformFilterSize {
    double width;
    double height;
};

// Draws its source stretched over width x height "filter pixels" (so a plane
// of a k-th of that size is addressed in k-times coordinates) through a 4 x 4
// column-major matrix into clip space, where (-1, -1) is the destination's
// row 0, column 0 and (1, 1) its last row and column, and reads the
// destination's whole size back. Destination pixels whose preimage lies
// outside the source are 0.
class TransformFilter {
public:
    virtual ~TransformFilter() = default;
    virtual TransformFilterSize size() const = 0;
    // Both planes 8-bit one-channel (their regions of interest honoured).
    // False, with dst untouched, when they are not or when the filter failed.
    virtual bool transform(const IplImage* src, IplImage* dst, const float matrix[16]) = 0;
    // Returns once all work issued so far has completed.
    virtual void finish() = 0;
};

// Makes a filter of the given output size; nullptr when none can be made.
using TransformFilterFactory = std::function<std::unique_ptr<TransformFilter>(double width, double height)>;

struct RecoContext {
    std::unique_ptr<TransformFilter> transform_context;
    TransformFilterFactory make_filter;
};

constexpr int kCardImageWidth = 428;
constexpr int kCardImageHeight = 270;
constexpr int kStreamFrameWidth = 640;
constexpr int kStreamFrameHeight = 480;

// A context with a 640 x 480 filter from factory; an empty factory means the
// CPU filter. Never nullptr; its filter may be, when the factory fails.
RecoContext* reco_context_create(TransformFilterFactory factory = {});
void reco_context_destroy(RecoContext* context);
// Waits for the filter's pending work, so nothing runs while the app is in
// the background.
void reco_prepare_for_backgrounding(RecoContext* context);

// The stream's first filter: 640 x 480 from factory (the CPU one when empty).
std::unique_ptr<TransformFilter> transform_context_create(const TransformFilterFactory& factory);

// Warps src into dst with corners (x0, y0, ..., x3, y3 in warp_quad order,
// in the filter's pixel coordinates). The context's filter is reused when its
// size is a whole multiple k of src's (640 x 480 serves 320 x 240 chroma with
// k = 2, which is why chroma is warped with luma corners); otherwise a filter
// of src's size replaces it. False, dst untouched, when there is no filter,
// a corner is not finite, or the planes are refused.
bool transform_context_warp(RecoContext* context, const IplImage* src, const float corners[8], IplImage* dst);

// The warp order of the four frame corners for an orientation 1..4: which
// corner becomes the card's top-left, top-right, bottom-left, bottom-right.
// False for any other orientation.
bool card_corners_in_warp_order(const CornerPoints& corners, int orientation, float ordered[8]);

// Cuts the card out of src: when *out is nullptr a zero-filled 428 x 270
// image of src's depth and channels is created there first (kept even when
// the warp then fails, so nothing uninitialised is handed on); an existing
// *out keeps its size. False, with *out as it was, for a null context or
// image, an orientation outside 1..4 or non-finite corners; false after
// creating *out when the warp itself fails.
bool transform_card(RecoContext* context, const IplImage* src, const CornerPoints& corners, int orientation,
                    IplImage** out);

// A checked view of an 8-bit one-channel plane (its region of interest when
// set), shared by the filters so they refuse the same images.
struct TransformPlane {
    uint8_t* data;
    int width;
    int height;
    int step;
};
bool transform_plane(const IplImage* image, TransformPlane& plane);
