#include "cardscanner/gpu/ZeduVIGPUFilter.h"

#include "cardscanner/core/ImagePrimitives.h"
#include "cardscanner/gpu/GLDisplay.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace cardscanner {

namespace {

constexpr GLuint kPositionAttribute = 0;
constexpr GLuint kTexCoordAttribute = 1;

GLuint compile_shader(GLenum type, const char* source, std::string& why)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        why = std::string(type == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader does not compile: " + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// The unpack alignment under which GL reads rows of width bytes at step
// bytes apart; 0 when none does (ES 2 has no row length).
GLint unpack_alignment(int width, int step)
{
    for (GLint alignment : {1, 2, 4, 8}) {
        if (step == (width + alignment - 1) / alignment * alignment)
            return alignment;
    }
    return 0;
}

} // namespace

struct ZeduVIGPUFilter::State {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint program = 0;
    GLuint vertex_buffer = 0;
    GLuint source_texture = 0;
    int source_width = 0;
    int source_height = 0;
    GLuint framebuffer = 0;
    GLuint colour_texture = 0;
    int framebuffer_width = 0;
    int framebuffer_height = 0;
    std::vector<uint8_t> packed; // source rows GL cannot read in place
    std::vector<uint8_t> read_back; // RGBA
};

void orthographic_matrix(float left, float right, float bottom, float top, float near, float far, float out[16])
{
    std::fill(out, out + 16, 0.0f);
    out[0] = 2.0f / (right - left);
    out[5] = 2.0f / (top - bottom);
    out[10] = -2.0f / (far - near);
    out[12] = -(right + left) / (right - left);
    out[13] = -(top + bottom) / (top - bottom);
    out[14] = -(far + near) / (far - near);
    out[15] = 1.0f;
}

ZeduVIGPUFilter::ZeduVIGPUFilter(double width, double height) : size_{width, height}, state_(std::make_unique<State>())
{
}

ZeduVIGPUFilter::~ZeduVIGPUFilter()
{
    if (state_->context == EGL_NO_CONTEXT)
        return;
    runInContext([this] {
        glDeleteProgram(state_->program);
        glDeleteBuffers(1, &state_->vertex_buffer);
        glDeleteTextures(1, &state_->source_texture);
        glDeleteTextures(1, &state_->colour_texture);
        glDeleteFramebuffers(1, &state_->framebuffer);
        return true;
    });
    eglDestroyContext(state_->display, state_->context);
}

bool ZeduVIGPUFilter::setUp(const char* vertex_shader, const char* fragment_shader, std::string& why)
{
    if (!(size_.width >= 1.0 && size_.height >= 1.0 && size_.width <= 16384.0 && size_.height <= 16384.0)) {
        why = "the filter size is not a drawable size";
        return false;
    }
    state_->display = gl::surfaceless_display(why);
    if (state_->display == EGL_NO_DISPLAY)
        return false;
    state_->context = gl::create_es2_context(state_->display, why);
    if (state_->context == EGL_NO_CONTEXT)
        return false;
    return runInContext([&] {
        const GLuint vertex = compile_shader(GL_VERTEX_SHADER, vertex_shader, why);
        const GLuint fragment = vertex ? compile_shader(GL_FRAGMENT_SHADER, fragment_shader, why) : 0;
        if (vertex == 0 || fragment == 0) {
            glDeleteShader(vertex);
            return false;
        }
        State& s = *state_;
        s.program = glCreateProgram();
        glAttachShader(s.program, vertex);
        glAttachShader(s.program, fragment);
        glBindAttribLocation(s.program, kPositionAttribute, "position");
        glBindAttribLocation(s.program, kTexCoordAttribute, "texCoordIn");
        glLinkProgram(s.program);
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        GLint linked = GL_FALSE;
        glGetProgramiv(s.program, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) {
            why = "the shaders do not link";
            return false;
        }
        glUseProgram(s.program);
        glUniform1i(glGetUniformLocation(s.program, "texture"), 0);

        // The quad spans the output size in pixels; the texture spans it.
        const auto w = static_cast<GLfloat>(size_.width), h = static_cast<GLfloat>(size_.height);
        const GLfloat quad[] = {
            0.0f, 0.0f, 0.0f, 0.0f, //
            w, 0.0f, 1.0f, 0.0f, //
            0.0f, h, 0.0f, 1.0f, //
            w, h, 1.0f, 1.0f, //
        };
        glGenBuffers(1, &s.vertex_buffer);
        glBindBuffer(GL_ARRAY_BUFFER, s.vertex_buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
        glVertexAttribPointer(kPositionAttribute, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(GLfloat), nullptr);
        glVertexAttribPointer(kTexCoordAttribute, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(GLfloat),
                              reinterpret_cast<const void*>(2 * sizeof(GLfloat)));
        glEnableVertexAttribArray(kPositionAttribute);
        glEnableVertexAttribArray(kTexCoordAttribute);

        glGenTextures(1, &s.source_texture);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, s.source_texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

        glGenFramebuffers(1, &s.framebuffer);
        glGenTextures(1, &s.colour_texture);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glEnable(GL_SCISSOR_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        if (glGetError() != GL_NO_ERROR) {
            why = "GL refused the filter's set-up";
            return false;
        }
        return true;
    });
}

bool ZeduVIGPUFilter::runInContext(const std::function<bool()>& body)
{
    std::lock_guard lock(mutex_);
    if (state_->context == EGL_NO_CONTEXT)
        return false;
    if (!eglMakeCurrent(state_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, state_->context))
        return false;
    const bool answer = body();
    eglMakeCurrent(state_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return answer;
}

int ZeduVIGPUFilter::uniformLocation(const char* name) const { return glGetUniformLocation(state_->program, name); }

void ZeduVIGPUFilter::useProgram() const { glUseProgram(state_->program); }

bool ZeduVIGPUFilter::processIplImage(const IplImage* src, IplImage* dst)
{
    return runInContext([&] { return drawAndReadBack(src, dst); });
}

void ZeduVIGPUFilter::finish()
{
    runInContext([] {
        glFinish();
        return true;
    });
}

bool ZeduVIGPUFilter::drawAndReadBack(const IplImage* src, IplImage* dst)
{
    TransformPlane source, destination;
    if (!transform_plane(src, source) || !transform_plane(dst, destination))
        return false;
    if (source.width == 0 || source.height == 0 || destination.width == 0 || destination.height == 0)
        return false;
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    if (std::max({source.width, source.height, destination.width, destination.height}) > max_size)
        return false;
    State& s = *state_;

    // The framebuffer grows to hold the destination: reading a viewport
    // larger than it would return undefined pixels.
    glBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    if (destination.width > s.framebuffer_width || destination.height > s.framebuffer_height) {
        s.framebuffer_width = std::max(s.framebuffer_width, destination.width);
        s.framebuffer_height = std::max(s.framebuffer_height, destination.height);
        glBindTexture(GL_TEXTURE_2D, s.colour_texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, s.framebuffer_width, s.framebuffer_height, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s.colour_texture, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            s.framebuffer_width = s.framebuffer_height = 0;
            return false;
        }
    }

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, s.source_texture);
    const uint8_t* pixels = source.data;
    GLint alignment = unpack_alignment(source.width, source.step);
    if (alignment == 0) {
        s.packed.resize(static_cast<size_t>(source.width) * source.height);
        for (int y = 0; y < source.height; ++y)
            std::memcpy(s.packed.data() + static_cast<size_t>(y) * source.width,
                        source.data + static_cast<std::ptrdiff_t>(y) * source.step, static_cast<size_t>(source.width));
        pixels = s.packed.data();
        alignment = 1;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    if (source.width != s.source_width || source.height != s.source_height) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, source.width, source.height, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                     pixels);
        s.source_width = source.width;
        s.source_height = source.height;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, source.width, source.height, GL_LUMINANCE, GL_UNSIGNED_BYTE, pixels);
    }

    glUseProgram(s.program);
    glViewport(0, 0, destination.width, destination.height);
    glScissor(0, 0, destination.width, destination.height);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindBuffer(GL_ARRAY_BUFFER, s.vertex_buffer);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    s.read_back.resize(static_cast<size_t>(destination.width) * destination.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, destination.width, destination.height, GL_RGBA, GL_UNSIGNED_BYTE, s.read_back.data());
    if (glGetError() != GL_NO_ERROR) {
        s.source_width = s.source_height = 0; // respecify the texture next time
        return false;
    }
    if (destination.step == destination.width) {
        extract_first_channel(s.read_back.data(), destination.data,
                              static_cast<size_t>(destination.width) * destination.height);
    } else {
        for (int y = 0; y < destination.height; ++y)
            extract_first_channel(s.read_back.data() + static_cast<size_t>(y) * destination.width * 4,
                                  destination.data + static_cast<std::ptrdiff_t>(y) * destination.step,
                                  static_cast<size_t>(destination.width));
    }
    return true;
}

} // namespace cardscanner
