#include "tests/support/gl_context.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_ttf.h>

#include <cstring>

#include "app/playback_state.h"

namespace gl_test {
namespace {

struct Shared {
    bool tried = false;
    bool ok = false;
    std::string why;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
};

Shared& shared() {
    static Shared s;
    return s;
}

void make_context(Shared& s) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        s.why = std::string("SDL video: ") + SDL_GetError();
        return;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) {
        s.why = std::string("need the x11 video driver (run under xvfb-run), got ") + (driver ? driver : "none");
        return;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    s.window = SDL_CreateWindow("gl test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kWindowWidth,
                                kWindowHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!s.window) {
        s.why = std::string("window: ") + SDL_GetError();
        return;
    }
    s.context = SDL_GL_CreateContext(s.window);
    if (!s.context) {
        s.why = std::string("GL 3.3 core context: ") + SDL_GetError();
        return;
    }
    glewExperimental = GL_TRUE;
    const GLenum glew = glewInit();
    if (glew != GLEW_OK) {
        s.why = "glewInit failed: " + std::to_string(glew);
        return;
    }
    // glewInit may leave an error behind in a core profile.
    while (glGetError() != GL_NO_ERROR) {
    }
    s.ok = true;
}

}  // namespace

bool ensure_context(std::string* why) {
    Shared& s = shared();
    if (!s.tried) {
        s.tried = true;
        make_context(s);
    }
    if (s.ok) SDL_GL_MakeCurrent(s.window, s.context);
    if (!s.ok && why) *why = s.why;
    return s.ok;
}

SDL_Window* window() { return shared().window; }

void use_window_size() {
    PlaybackState& state = playback();
    state.render_size = RenderSize{kWindowWidth, kWindowHeight, kWindowWidth, kWindowHeight};
    state.window_actual_width = kWindowWidth;
    state.window_actual_height = kWindowHeight;
}

std::vector<uint8_t> read_pixels(int x, int y, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}

std::vector<uint8_t> read_texture(uint32_t texture, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

bool ensure_fonts(std::string* why) {
    if (TTF_WasInit() || TTF_Init() == 0) return true;
    if (why) *why = std::string("TTF_Init: ") + TTF_GetError();
    return false;
}

}  // namespace gl_test
