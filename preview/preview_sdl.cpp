#include "preview/preview.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <filesystem>

#include "app/playback_setup.h"
#include "preview/preview_session.h"
#include "serialization/content_error.h"

namespace fs = std::filesystem;

int run_preview(const PreviewOptions& options) {
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        throw ContentError(std::string("SDL: ") + SDL_GetError());
    // No sound card, a busy device, a remote session: the preview still
    // works, silent and timed by the clock.
    std::string silent_why;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) silent_why = *SDL_GetError() ? SDL_GetError() : "no audio driver";
    else silent_why = open_playback_mixer();
    if (silent_why.empty() && SDL_WasInit(SDL_INIT_AUDIO) == 0) silent_why = "the sound system did not start";
    TTF_Init();

    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    const std::string title = "qvtool preview :: " + fs::path(options.input).filename().string();
    if (const std::string why = open_playback_window(title.c_str(), options.width, options.height,
                                                     SDL_WINDOW_RESIZABLE, window, context);
        !why.empty())
        throw ContentError(why);
    SDL_GL_SetSwapInterval(1);
    prepare_playback_gl();
    int status = 0;
    {
        PreviewSession preview(options, silent_why);
        status = preview.run(window, context);
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    if (silent_why.empty()) Mix_CloseAudio();
    SDL_Quit();
    return status;
}
