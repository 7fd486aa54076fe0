#include "tests/support/gl_context.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_ttf.h>


#include "app/hidden_gl_window.h"
#include "app/playback_state.h"

namespace gl_test {
namespace {

struct Shared {
    bool tried = false;
    bool ok = false;
    std::string why;
    HiddenGlWindow gl;
};

Shared& shared() {
    static Shared s;
    return s;
}

}  // namespace

bool ensure_context(std::string* why) {
    Shared& s = shared();
    if (!s.tried) {
        s.tried = true;
        s.why = open_hidden_gl_window("gl test", kWindowWidth, kWindowHeight, s.gl);
        s.ok = s.why.empty();
    }
    if (s.ok) SDL_GL_MakeCurrent(s.gl.window, static_cast<SDL_GLContext>(s.gl.context));
    if (!s.ok && why) *why = s.why;
    return s.ok;
}

SDL_Window* window() { return shared().gl.window; }

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


Rgba pixel_at(const std::vector<uint8_t>& pixels, int width, int x, int y) {
    const size_t i = (static_cast<size_t>(y) * width + x) * 4;
    return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
}

std::ostream& operator<<(std::ostream& os, const Rgba& p) {
    return os << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

Rgba screen_pixel(int x, int y) { return pixel_at(read_pixels(x, y, 1, 1), 1, 0, 0); }

void clear_screen(float r, float g, float b) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, kWindowWidth, kWindowHeight);
    glClearColor(r, g, b, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

int32_t gl_int(uint32_t what) {
    GLint v = 0;
    glGetIntegerv(what, &v);
    return v;
}

int32_t bound_texture_on(int unit) {
    glActiveTexture(GL_TEXTURE0 + unit);
    const GLint name = gl_int(GL_TEXTURE_BINDING_2D);
    glActiveTexture(GL_TEXTURE0);
    return name;
}

}  // namespace gl_test
