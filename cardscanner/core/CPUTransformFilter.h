#pragma once
// The transform filter on the CPU: the same mapping as the GPU filter
// (cardscanner/gpu), pixel centre by pixel centre, with the GPU's bilinear
// sampling clamped at the source's edges. It is the oracle the GPU filter is
// tested against and the stand-in wherever no GL display can be had.
//
// Stateless apart from its size: any number of threads may call it at once.

#include "cardscanner/core/Transform.h"

#include <memory>

class CPUTransformFilter final : public TransformFilter {
public:
    CPUTransformFilter(double width, double height) : size_{width, height} { }

    TransformFilterSize size() const override { return size_; }
    bool transform(const IplImage* src, IplImage* dst, const float matrix[16]) override;
    void finish() override { }

private:
    TransformFilterSize size_;
};

// nullptr for a size that is not positive and finite.
std::unique_ptr<TransformFilter> cpu_transform_filter_create(double width, double height);
