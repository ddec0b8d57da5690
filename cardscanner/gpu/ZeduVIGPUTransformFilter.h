#pragma once
// ZeduVIGPUTransformFilter: the perspective warp of a camera plane into the
// card image, on the GPU. The recognition core reaches it as a
// TransformFilter kept in its RecoContext; the thread rules are those of
// ZeduVIGPUFilter (any thread, serialised by the filter's mutex).

#include "cardscanner/core/Transform.h"
#include "cardscanner/gpu/ZeduVIGPUFilter.h"

#include <memory>
#include <string>

namespace cardscanner {

extern const char* const kTransformVertexShader;
extern const char* const kTransformFragmentShader;

class ZeduVIGPUTransformFilter final : public ZeduVIGPUFilter, public TransformFilter {
public:
    // initWithSize: nullptr, with why filled, when no GL context or program
    // can be had.
    static std::unique_ptr<ZeduVIGPUTransformFilter> create(double width, double height, std::string& why);

    // Sixteen floats, column-major, loaded untransposed into
    // "transformMatrix" for the following draws.
    void setPerspectiveMat(const float matrix[16]);

    TransformFilterSize size() const override { return ZeduVIGPUFilter::size(); }
    // setPerspectiveMat and processIplImage in one turn of the mutex, so
    // another thread's matrix cannot slip in between.
    bool transform(const IplImage* src, IplImage* dst, const float matrix[16]) override;
    void finish() override { ZeduVIGPUFilter::finish(); }

private:
    using ZeduVIGPUFilter::ZeduVIGPUFilter;
    void loadMatrix(const float matrix[16]);

    int transformMatrixLocation_ = -1;
    int orthographicMatrixLocation_ = -1;
};

// The stream's filter factory: the GPU filter, or the CPU one where no GL
// display or context can be had (logged once per process). The environment
// variable CARDSCANNER_DISABLE_GPU (any non-empty value but "0") or
// allow_gpu = false chooses the CPU without trying.
std::unique_ptr<TransformFilter> gpu_transform_filter_create(double width, double height, bool allow_gpu = true);
TransformFilterFactory gpu_transform_filter_factory();

// Tests only: lets the next fallback be logged again.
void gpu_transform_filter_reset_fallback_log();

extern const char* const kGPUFallbackLogLine;

} // namespace cardscanner
