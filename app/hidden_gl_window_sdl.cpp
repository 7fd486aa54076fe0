#include "app/hidden_gl_window.h"

#include <GL/glew.h>
#include <SDL.h>

#include <cstring>

std::string open_hidden_gl_window(const char* title, int width, int height, HiddenGlWindow& out) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return std::string("SDL video: ") + SDL_GetError();
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0)
        return std::string("needs the x11 video driver (run under xvfb-run), got ") + (driver ? driver : "none");
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
    glewExperimental = GL_TRUE;
    if (const GLenum glew = glewInit(); glew != GLEW_OK) {
        close_hidden_gl_window(out);
        return "GLEW could not load the GL entry points (" + std::to_string(glew) + ")";
    }
    // glewInit may leave an error behind in a core profile.
    while (glGetError() != GL_NO_ERROR) {
    }
    return "";
}

void close_hidden_gl_window(HiddenGlWindow& w) {
    if (w.context) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(w.context));
    if (w.window) SDL_DestroyWindow(w.window);
    w = HiddenGlWindow{};
}
