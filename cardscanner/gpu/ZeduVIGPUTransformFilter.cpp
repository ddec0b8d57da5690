#include "cardscanner/gpu/ZeduVIGPUTransformFilter.h"

#include "cardscanner/core/CPUTransformFilter.h"
#include "platform/foundation/Log.h"

#include <GLES2/gl2.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace cardscanner {

const char* const kTransformVertexShader
    = "attribute vec4 position; attribute vec2 texCoordIn; varying vec2 texCoordOut; uniform mat4 transformMatrix; "
      "uniform mat4 orthographicMatrix; void main(void) { gl_Position = vec4(orthographicMatrix * transformMatrix * "
      "position); texCoordOut = texCoordIn; }";

const char* const kTransformFragmentShader
    = "varying lowp vec2 texCoordOut; uniform sampler2D texture; void main(void) { gl_FragColor = "
      "texture2D(texture, texCoordOut).rgba; }";

const char* const kGPUFallbackLogLine = "ZeduVIGPUTransformFilter: no GPU filter";

namespace {

std::atomic<bool> fallback_logged{false};

bool gpu_disabled_by_environment()
{
    const char* value = std::getenv("CARDSCANNER_DISABLE_GPU");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

} // namespace

std::unique_ptr<ZeduVIGPUTransformFilter> ZeduVIGPUTransformFilter::create(double width, double height,
                                                                           std::string& why)
{
    std::unique_ptr<ZeduVIGPUTransformFilter> filter(new ZeduVIGPUTransformFilter(width, height));
    if (!filter->setUp(kTransformVertexShader, kTransformFragmentShader, why))
        return nullptr;
    const bool ready = filter->runInContext([&] {
        filter->transformMatrixLocation_ = filter->uniformLocation("transformMatrix");
        filter->orthographicMatrixLocation_ = filter->uniformLocation("orthographicMatrix");
        if (filter->transformMatrixLocation_ < 0 || filter->orthographicMatrixLocation_ < 0)
            return false;
        float orthographic[16];
        orthographic_matrix(-1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, orthographic);
        filter->useProgram();
        glUniformMatrix4fv(filter->orthographicMatrixLocation_, 1, GL_FALSE, orthographic);
        float identity[16] = {};
        identity[0] = identity[5] = identity[10] = identity[15] = 1.0f;
        glUniformMatrix4fv(filter->transformMatrixLocation_, 1, GL_FALSE, identity);
        return glGetError() == GL_NO_ERROR;
    });
    if (!ready) {
        why = "the transform program lacks its matrices";
        return nullptr;
    }
    return filter;
}

void ZeduVIGPUTransformFilter::loadMatrix(const float matrix[16])
{
    useProgram();
    glUniformMatrix4fv(transformMatrixLocation_, 1, GL_FALSE, matrix);
}

void ZeduVIGPUTransformFilter::setPerspectiveMat(const float matrix[16])
{
    if (matrix == nullptr)
        return;
    runInContext([&] {
        loadMatrix(matrix);
        return true;
    });
}

bool ZeduVIGPUTransformFilter::transform(const IplImage* src, IplImage* dst, const float matrix[16])
{
    if (matrix == nullptr)
        return false;
    return runInContext([&] {
        loadMatrix(matrix);
        return drawAndReadBack(src, dst);
    });
}

std::unique_ptr<TransformFilter> gpu_transform_filter_create(double width, double height, bool allow_gpu)
{
    std::string why = "the GPU is switched off";
    if (allow_gpu && !gpu_disabled_by_environment()) {
        if (auto filter = ZeduVIGPUTransformFilter::create(width, height, why))
            return filter;
    }
    if (!fallback_logged.exchange(true))
        platform::logf("%s (%s); warping on the CPU", kGPUFallbackLogLine, why.c_str());
    return cpu_transform_filter_create(width, height);
}

TransformFilterFactory gpu_transform_filter_factory()
{
    return [](double width, double height) { return gpu_transform_filter_create(width, height); };
}

void gpu_transform_filter_reset_fallback_log() { fallback_logged = false; }

} // namespace cardscanner
