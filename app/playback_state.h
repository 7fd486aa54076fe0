// The process-wide values of playback: sizes, the beat of the frame being
// drawn, the quit flag and what start-up learned about the device. The player
// shell writes them; rendering code reads them. One instance per process.
#pragma once

#include <atomic>
#include <cstdint>

struct RenderSize {
    int32_t window_width = 1920;
    int32_t window_height = 1080;
    int32_t render_width = 1920;   // drawing area; some rendering nodes change it
    int32_t render_height = 1080;
};

struct PlaybackState {
    RenderSize render_size;
    int32_t window_actual_width = 1920;   // as SDL_GetWindowSize reports it
    int32_t window_actual_height = 1080;
    float current_beat = 0.0f;            // beat of the frame being drawn
    uint32_t start_ticks = 0;
    // Set by the main loop and by the event watch, which may run on another thread.
    std::atomic<bool> quit_requested{false};
    bool content_from_executable = false;
    int32_t mixer_frequency = 44100;      // the audio format actually obtained
    uint16_t mixer_format = 0x8010;       // AUDIO_S16LSB
    int32_t mixer_channels = 2;
    uint32_t default_white_texture = 0;   // 1 x 1 float RGBA (1, 1, 1, 1)
};

inline PlaybackState& playback() {
    static PlaybackState state;
    return state;
}
