// A hidden window with a GL 3.3 core context: what the offline renderer, the
// GL tests and the GL benchmarks draw into. GLEW loads the entry points
// through GLX, so the x11 video driver is required (xvfb-run on a headless
// machine); another driver is refused with a reason.
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

// Deletes the context and the window; SDL itself stays up.
void close_hidden_gl_window(HiddenGlWindow& w);
