#pragma once
// Internal to cardscanner/gpu: the process's one EGL display on Mesa's
// surfaceless platform and the contexts made on it.
//
// The display is opened once, on first use, from whichever thread asks, and
// kept for the life of the process (filters of several streams share it;
// terminating it under a live context is undefined). Contexts are made
// without a surface: every filter renders into its own framebuffer object.

#include <EGL/egl.h>

#include <string>

namespace cardscanner::gl {

// EGL_NO_DISPLAY when the platform, its extensions or the driver are
// missing; why then says what failed. The answer is computed once.
EGLDisplay surfaceless_display(std::string& why);

// An OpenGL ES 2 context on display; EGL_NO_CONTEXT with why filled on
// failure.
EGLContext create_es2_context(EGLDisplay display, std::string& why);

} // namespace cardscanner::gl
