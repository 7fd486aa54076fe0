#include "app/player.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <cstdio>
#include <memory>

#include "app/beat_clock.h"
#include "app/content_location.h"
#include "app/platform.h"
#include "app/playback_setup.h"
#include "app/diagnostics.h"
#include "app/loading_screen.h"
#include "app/playback_state.h"
#include "app/player_messages.h"
#include "audio/audio_device.h"
#include "audio/sound_analysis.h"
#include "nodes/graph.h"
#include "render/render_gl.h"
#include "render/render_nodes_gl.h"
#include "serialization/demo.h"

namespace {

int SDLCALL watch_background(void*, SDL_Event* event) {
    if (event->type == SDL_APP_WILLENTERBACKGROUND) playback().quit_requested.store(true);
    return 1;
}

void drain_events() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
    }
}

void print_gl_info() {
    std::printf("OpenGL version: %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    std::printf("GLSL version: %s\n", reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION)));
    std::printf("Vendor: %s\n", reinterpret_cast<const char*>(glGetString(GL_VENDOR)));
    std::printf("Renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

void main_loop(SDL_Window* window, Demo& demo) {
    PlaybackState& state = playback();
    Nodes::Graph& graph = *demo.graph;
    while (!state.quit_requested.load()) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        state.current_beat = beat_at(SDL_GetTicks() - state.start_ticks, demo.bpm, demo.beat_offset);
        if (past_end(state.current_beat, demo.end_beat)) state.quit_requested.store(true);
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) state.quit_requested.store(true);
            if (event.type == SDL_KEYUP && event.key.keysym.sym == SDLK_ESCAPE) state.quit_requested.store(true);
        }
        glViewport(0, 0, state.render_size.render_width, state.render_size.render_height);
        graph.evaluate(demo, state.current_beat);
        SDL_GL_SwapWindow(window);
        SDL_Delay(2);
    }
}

}  // namespace

int run_player(int argc, char** argv) {
    PlaybackState& state = playback();
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        SDL_Log("Failed to initialize SDL: %s", SDL_GetError());
        return 1;
    }
    if (const std::string why = open_playback_mixer(); !why.empty()) {
        // The exit status stays that of a failed audio open; the line says why.
        std::fprintf(stderr, "%s%s\n", kAudioOpenFailed, why.c_str());
        return -1;
    }
    TTF_Init();

    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        SDL_Log("SDL_GetDesktopDisplayMode failed: %s", SDL_GetError());
        return 1;
    }
    const int32_t width = mode.w;
    const int32_t height = (width * 9) / 16;
    state.render_size = RenderSize{width, height, width, height};

    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    if (const std::string why = open_playback_window(kWindowTitle, width, height, SDL_WINDOW_BORDERLESS, window, context);
        !why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    SDL_GetWindowSize(window, &state.window_actual_width, &state.window_actual_height);
    print_gl_info();

    prepare_playback_gl();
    std::unique_ptr<Nodes::Graph> default_graph = Nodes::Graph::make_default();
    SDL_ShowCursor(0);
    drain_events();
    SDL_GL_MakeCurrent(window, context);
    SDL_GL_SetSwapInterval(1);
    glViewport(0, 0, 1920, 1080);
    SDL_GL_SwapWindow(window);

    LoadingScreen loading_screen;

    const std::string executable = own_executable_path(argc > 0 ? argv[0] : nullptr);
    std::optional<LocatedContent> located = locate_content(executable);
    if (!located) {
        write_missing_content_log();
        return 1;
    }
    state.content_from_executable = located->from_executable;
    // The demo lives until the process exits (the mixer plays its music bytes
    // to the end) and is never released: its SDL handles must not be freed
    // after SDL has shut down.
    Demo& demo = *new Demo;
    load_demo(
        demo,
        [&](LoadHooks& hooks) {
            ContentReader in(located->file.data() + located->offset, located->size);
            demo.read_with(in, hooks);
            located.reset();
        },
        &loading_screen, window, context,
        [&] {
            if (state.content_from_executable) loading_screen.final_hold(window, context, demo.record_count);
        });

    prepare_sound_analysis();
    start_music(demo, state.content_from_executable);

    state.start_ticks = SDL_GetTicks();
    SDL_AddEventWatch(watch_background, nullptr);
    report_gl_errors("flushing");

    main_loop(window, demo);

    SDL_DelEventWatch(watch_background, nullptr);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    std::fflush(stdout);
    return 0;
}
