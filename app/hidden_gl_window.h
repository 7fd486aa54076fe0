// A hidden window with a GL 3.3 core context: what the offline renderer, the
// GL tests and the GL benchmarks draw into. With an X display it is an x11
// window (GLX); without one SDL falls back to its offscreen driver, whose
// context is EGL on a pbuffer, so rendering needs no X server at all. Any
// other video driver is refused with a reason.
#pragma once

#include <string>

struct SDL_Window;

struct HiddenGlWindow {
    SDL_Window* window = nullptr;
    void* context = nullptr;  // SDL_GLContext
};

// Starts SDL's video if needed, opens the window of `width` x `height` and
// its context, makes it current and loads the GL entry points. Returns an
// empty string, or why it failed (what was made is then closed again).
std::string open_hidden_gl_window(const char* title, int width, int height, HiddenGlWindow& out);

// Before SDL's video starts: with no X display and no SDL_VIDEODRIVER
// chosen, asks for the offscreen driver directly, so SDL does not first probe
// Wayland (whose library complains on standard error when it finds none).
void prefer_hidden_video_driver();

// Deletes the context and the window; SDL itself stays up.
void close_hidden_gl_window(HiddenGlWindow& w);

// Loads the GL entry points for the current context, whether it came from GLX
// or EGL. GLEW loads the core and extension functions first and then the GLX
// ones; without a GLX display only that last step fails, which a context that
// never calls GLX does not need. Returns an empty string or why it failed.
// Clears the GL error GLEW may leave behind in a core profile.
std::string load_gl_entry_points();

// The colour buffer the default framebuffer's frames are drawn into: the back
// buffer of a double-buffered window, the only buffer of an EGL pbuffer.
unsigned int default_framebuffer_draw_buffer();
