#pragma once
// ZeduVIGPUFilter: one OpenGL ES 2 program drawing an 8-bit plane, uploaded
// as a texture, over a quad of the filter's size into a framebuffer object,
// and reading the first channel of the result back into an 8-bit plane.
//
// Each filter owns its own GL context, made current only inside a call and
// under the filter's mutex, and released before the call returns: the
// capture queue warps through it while the main thread may ask it to
// finish(), and a context may be current on one thread at a time. Calls
// from any thread are therefore safe; they are serialised, not parallel.
//
// Not for: planes other than 8-bit one-channel (refused), or drawing to a
// screen (there is none).

#include "cardscanner/core/Transform.h"

#include <opencv2/core/core_c.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace cardscanner {

class ZeduVIGPUFilter {
public:
    virtual ~ZeduVIGPUFilter();
    ZeduVIGPUFilter(const ZeduVIGPUFilter&) = delete;
    ZeduVIGPUFilter& operator=(const ZeduVIGPUFilter&) = delete;

    // The output size, in pixels, that the quad spans.
    TransformFilterSize size() const { return size_; }

    // Uploads src, draws the quad through the current uniforms into a
    // viewport of dst's size and reads that many pixels back into dst, row 0
    // being clip-space y = -1. Uncovered pixels read 0. False, dst
    // untouched, when either plane is refused or GL fails.
    bool processIplImage(const IplImage* src, IplImage* dst);

    // Blocks until the GL work issued through this filter has completed.
    void finish();

protected:
    ZeduVIGPUFilter(double width, double height);

    // Makes the context and links the two shaders; false (why filled) on
    // failure, after which the filter must not be used.
    bool setUp(const char* vertex_shader, const char* fragment_shader, std::string& why);

    // Runs body with the context current, under the filter's mutex; false
    // when the context cannot be made current, else body's answer.
    bool runInContext(const std::function<bool()>& body);

    // Inside runInContext only.
    int uniformLocation(const char* name) const;
    void useProgram() const;
    bool drawAndReadBack(const IplImage* src, IplImage* dst);

private:
    struct State;
    TransformFilterSize size_;
    std::mutex mutex_;
    std::unique_ptr<State> state_;
};

// The 4 x 4 column-major orthographic projection of glOrtho.
void orthographic_matrix(float left, float right, float bottom, float top, float near, float far, float out[16]);

} // namespace cardscanner
