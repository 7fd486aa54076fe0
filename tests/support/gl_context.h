// A real GL 3.3 core context for device tests: one small hidden window and
// context per test process, made on first use and kept until exit, so every
// GL test in the program shares it. Under xvfb-run the context is GLX;
// without a display SDL's offscreen driver gives an EGL one.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct SDL_Window;

namespace gl_test {

// Width and height of the window's drawing area.
inline constexpr int kWindowWidth = 64;
inline constexpr int kWindowHeight = 36;

// Makes (once) and makes current the shared context. Returns false with a
// reason in `why` when no context could be made.
bool ensure_context(std::string* why);
SDL_Window* window();

// Also sets playback()'s render and window sizes to the test window's size.
void use_window_size();

// RGBA bytes of a rectangle of the bound read framebuffer, bottom row first.
std::vector<uint8_t> read_pixels(int x, int y, int width, int height);
// RGBA bytes of level 0 of a 2D texture, first uploaded row first.
std::vector<uint8_t> read_texture(uint32_t texture, int width, int height);

// Opens SDL_ttf once for tests that render text.
bool ensure_fonts(std::string* why);

// ---- reading back what was drawn ----------------------------------------------

struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgba& p);

// The pixel (x, y) of RGBA bytes `width` pixels wide, bottom row first.
Rgba pixel_at(const std::vector<uint8_t>& pixels, int width, int x, int y);
// One pixel of the bound read framebuffer.
Rgba screen_pixel(int x, int y);

// Binds the default framebuffer over the whole window and clears colour
// (to the given opaque colour) and depth.
void clear_screen(float r = 0, float g = 0, float b = 0);

// glGetIntegerv of one value.
int32_t gl_int(uint32_t what);
// The 2D texture bound on texture unit `unit` (0-based); unit 0 stays active.
int32_t bound_texture_on(int unit);

}  // namespace gl_test

// Skips nothing: a GL test without a context is a failed test.
#define QV_REQUIRE_GL()                                         \
    do {                                                        \
        std::string qv_gl_why;                                  \
        ASSERT_TRUE(gl_test::ensure_context(&qv_gl_why)) << qv_gl_why; \
    } while (0)
