// The beat of a frame, from the milliseconds since playback started.
#pragma once

#include <cstdint>

// elapsed * bpm / 60000 - offset, left to right in float32, so that frame
// drops never shift the picture against the music.
inline float beat_at(uint32_t elapsed_ms, float bpm, float beat_offset) {
    const float elapsed = static_cast<float>(elapsed_ms);
    return elapsed * bpm / 60000.0f - beat_offset;
}

// The end rule: past the end beat, unless the end beat is 10000 or more.
inline bool past_end(float beat, float end_beat) { return beat > end_beat && beat < 10000.0f; }
