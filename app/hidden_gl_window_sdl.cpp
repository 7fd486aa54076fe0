#include "app/hidden_gl_window.h"

#include <GL/glew.h>
#include <SDL.h>

#include <cstdlib>
#include <cstring>

std::string load_gl_entry_points() {
    glewExperimental = GL_TRUE;
    const GLenum glew = glewInit();
    // glewInit may leave an error behind in a core profile.
    while (glGetError() != GL_NO_ERROR) {
    }
    if (glew == GLEW_OK) return "";
    // Only GLX's own functions are missing; the GL ones are loaded, which is
    // checked on one that every draw path needs.
    if (glew == GLEW_ERROR_NO_GLX_DISPLAY && glGenVertexArrays && glMapBufferRange) return "";
    return "GLEW could not load the GL entry points (" + std::to_string(glew) + ")";
}

unsigned int default_framebuffer_draw_buffer() {
    GLboolean doubled = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubled);
    return doubled ? GL_BACK : GL_FRONT;
}

void prefer_hidden_video_driver() {
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("SDL_VIDEODRIVER") && !SDL_WasInit(SDL_INIT_VIDEO))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
}

std::string open_hidden_gl_window(const char* title, int width, int height, HiddenGlWindow& out) {
    prefer_hidden_video_driver();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return std::string("SDL video: ") + SDL_GetError();
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool x11 = driver && std::strcmp(driver, "x11") == 0;
    const bool offscreen = driver && std::strcmp(driver, "offscreen") == 0;
    if (!x11 && !offscreen)
        return std::string("needs the x11 or the offscreen video driver, got ") + (driver ? driver : "none");
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    out.window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                  SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!out.window) return std::string("window: ") + SDL_GetError();
    out.context = SDL_GL_CreateContext(out.window);
    if (!out.context) {
        const std::string why = std::string("GL 3.3 core context: ") + SDL_GetError();
        close_hidden_gl_window(out);
        return why;
    }
    if (const std::string why = load_gl_entry_points(); !why.empty()) {
        close_hidden_gl_window(out);
        return why;
    }
    return "";
}

void close_hidden_gl_window(HiddenGlWindow& w) {
    if (w.context) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(w.context));
    if (w.window) SDL_DestroyWindow(w.window);
    w = HiddenGlWindow{};
}
