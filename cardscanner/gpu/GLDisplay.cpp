#include "cardscanner/gpu/GLDisplay.h"

#include <EGL/eglext.h>

#include <cstring>

namespace cardscanner::gl {

namespace {

bool has_extension(const char* extensions, const char* name)
{
    if (extensions == nullptr)
        return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(extensions, name); at != nullptr; at = std::strstr(at + 1, name)) {
        const bool starts = at == extensions || at[-1] == ' ';
        const bool ends = at[length] == '\0' || at[length] == ' ';
        if (starts && ends)
            return true;
    }
    return false;
}

struct DisplayAnswer {
    EGLDisplay display = EGL_NO_DISPLAY;
    std::string why;
};

DisplayAnswer open_display()
{
    DisplayAnswer answer;
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!has_extension(client, "EGL_MESA_platform_surfaceless") || !has_extension(client, "EGL_EXT_platform_base")) {
        answer.why = "EGL has no surfaceless platform";
        return answer;
    }
    auto get_platform_display
        = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_platform_display == nullptr) {
        answer.why = "eglGetPlatformDisplayEXT is missing";
        return answer;
    }
    EGLDisplay display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        answer.why = "the surfaceless EGL display does not initialise";
        return answer;
    }
    if (!has_extension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        eglTerminate(display);
        answer.why = "the EGL display cannot make a context current without a surface";
        return answer;
    }
    answer.display = display;
    return answer;
}

} // namespace

EGLDisplay surfaceless_display(std::string& why)
{
    static const DisplayAnswer answer = open_display();
    why = answer.why;
    return answer.display;
}

EGLContext create_es2_context(EGLDisplay display, std::string& why)
{
    if (!eglBindAPI(EGL_OPENGL_ES_API)) {
        why = "EGL has no OpenGL ES";
        return EGL_NO_CONTEXT;
    }
    // The default surface type is a window, which a surfaceless display
    // never offers; pbuffer configs are there on every Mesa driver.
    const EGLint config_attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT,
                                        EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, config_attributes, &config, 1, &count) || count < 1) {
        if (!has_extension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_no_config_context")) {
            why = "no EGL config renders OpenGL ES 2";
            return EGL_NO_CONTEXT;
        }
        config = EGL_NO_CONFIG_KHR;
    }
    const EGLint context_attributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attributes);
    if (context == EGL_NO_CONTEXT)
        why = "eglCreateContext failed";
    return context;
}

} // namespace cardscanner::gl
