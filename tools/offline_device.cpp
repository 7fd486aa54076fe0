#include "tools/offline_device.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <cstdlib>
#include <string>

#include "app/playback_setup.h"
#include "app/playback_state.h"
#include "serialization/content_error.h"

OfflineDevice::OfflineDevice(const char* title, int width, int height) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    prefer_hidden_video_driver();
    try {
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) throw ContentError(std::string("SDL: ") + SDL_GetError());
        if (Mix_OpenAudio(kRate, AUDIO_S16LSB, 2, kChunkFrames) == -1)
            throw ContentError(std::string("mixer: ") + Mix_GetError());
        TTF_Init();
        if (const std::string why = open_hidden_gl_window(title, width, height, gl); !why.empty())
            throw ContentError(why);
    } catch (...) {
        close();
        throw;
    }
    PlaybackState& state = playback();
    state.render_size = RenderSize{width, height, width, height};
    state.window_actual_width = width;
    state.window_actual_height = height;
    state.mixer_frequency = kRate;
    state.mixer_channels = 2;
    prepare_playback_gl();
}

OfflineDevice::~OfflineDevice() { close(); }

void OfflineDevice::close() {
    close_hidden_gl_window(gl);
    Mix_CloseAudio();
    SDL_Quit();
}
