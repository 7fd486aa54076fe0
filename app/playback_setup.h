// What every program that plays content does before its first frame, in one
// place so the player, the offline renderer and the preview draw the same
// picture at the same beat: the GL window and context, the GL state the
// demos expect, and loading (records read with the device hooks, programs
// rebuilt with includes, effects made, the white texture, every effect drawn
// once).
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>

class Demo;
class LoadHooks;
class LoadingScreen;

// Sets the player's GL attributes (3.0, core mask, double buffer, depth 24,
// stencil 8), opens a window of `width` x `height` with SDL_WINDOW_OPENGL |
// `flags`, creates its context, makes it current and loads the GL entry
// points. Returns an empty string, or the line to print (nothing stays open).
std::string open_playback_window(const char* title, int width, int height, uint32_t flags, SDL_Window*& window,
                                 SDL_GLContext& context);

// Opens the mixer as the player plays (44.1 kHz, signed 16-bit stereo,
// 1024-frame chunks) and records the format obtained in playback(). Returns
// an empty string, or the mixer's reason.
std::string open_playback_mixer();

// Black clear colour, alpha blending, and the run functions of the rendering
// node types. Needs a current context.
void prepare_playback_gl();

// Loads `demo`: `read` reads the records (binary or project form) calling the
// hooks it is given; `screen` (may be null) draws a loading frame after each
// record. Then every program is rebuilt so includes see the whole list, the
// effects' targets are made, the default white texture is made once per
// process, `before_first_draw` runs (the player's final hold), and every
// effect is drawn once, as some fill resources that later frames sample.
// Exceptions of `read` pass through; the demo is then partly read.
void load_demo(Demo& demo, const std::function<void(LoadHooks&)>& read, LoadingScreen* screen, SDL_Window* window,
               SDL_GLContext context, const std::function<void()>& before_first_draw = {});

// Deletes the GL objects of a demo's records (textures, programs, effect
// quads and targets, scene shadow maps, model buffers and textures) and of
// its graph's rendering nodes (their targets, quads and screen copies), for a
// program that replaces one demo by another in the same context: the player
// keeps its one demo to the end, but the preview re-reads a project on every
// save and would otherwise keep every earlier version on the GPU. The demo
// must not be drawn afterwards.
void release_demo_gpu(Demo& demo);
