// Sound analysis: turns each chunk of the mixed output into the 1024 x 2 sound
// texture (row 0 spectrum levels, row 1 waveform, RGBA8 with four equal bytes
// per texel) and a ring of the last 100 absolute sample values, from which the
// loudness `sound_level` is computed.
//
// Two layers:
//  - SoundAnalyzer: the pure analysis over its own state. No threads, no
//    device; tests and offline rendering drive it directly.
//  - The process-wide handoff: the mixer's audio thread feeds chunks through
//    analyse_mixed_chunk(); the main thread reads the latest consistent result
//    through copy_sound_pixels() / sound_level(). The writer never blocks and
//    never allocates: results pass through a three-slot exchange with one
//    atomic index, so the reader always sees a whole chunk's result, never a
//    mix of two.
//
// Life: prepare_sound_analysis() once on the main thread before the music
// starts (it allocates the FFT configuration); then one analyse_mixed_chunk()
// per mixed chunk on the audio thread; reads any time on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kSoundTextureWidth = 1024;
inline constexpr int kSoundTextureRows = 2;
inline constexpr size_t kSoundPixelBytes = kSoundTextureWidth * kSoundTextureRows * 4;  // 8192
inline constexpr int kLevelRingSize = 100;
inline constexpr int kFftSize = 1024;

// Everything the main thread reads, as one unit.
struct SoundSnapshot {
    uint8_t pixels[kSoundPixelBytes] = {};     // row 0 (spectrum) first, then row 1 (waveform)
    int16_t level_ring[kLevelRingSize] = {};   // absolute values of recent samples
    int32_t level_index = 0;                   // next ring slot to write, 0 .. 99

    // Sum of the ring (sign-extended) divided by 100, truncating toward zero.
    int32_t level() const;
};

class SoundAnalyzer {
public:
    SoundAnalyzer();   // allocates the 1024-point real FFT configuration
    ~SoundAnalyzer();
    SoundAnalyzer(const SoundAnalyzer&) = delete;
    SoundAnalyzer& operator=(const SoundAnalyzer&) = delete;

    // Analyses one chunk of interleaved signed 16-bit stereo samples,
    // `length_bytes` long. Only whole frames are used (a trailing partial
    // frame is ignored); chunks of fewer than two frames are skipped. Any
    // length is safe: longer chunks are folded onto the 1024 texels. Does not
    // allocate.
    void analyse(const int16_t* samples, int length_bytes);

    const SoundSnapshot& state() const { return state_; }
    const uint8_t* pixels() const { return state_.pixels; }
    uint8_t spectrum_value(int texel) const { return state_.pixels[texel * 4]; }
    uint8_t waveform_value(int texel) const { return state_.pixels[(kSoundTextureWidth + texel) * 4]; }
    const int16_t* level_ring() const { return state_.level_ring; }
    int32_t level_index() const { return state_.level_index; }
    int32_t level() const { return state_.level(); }

private:
    SoundSnapshot state_;
    void* fft_config_ = nullptr;          // kiss_fftr_cfg, opaque here to keep the header free of it
    float window_[kFftSize];              // Hamming weights for frame indices 0 .. 1023
    float fft_input_[kFftSize];
    struct Bin { float r, i; } fft_output_[kFftSize / 2 + 1];
};

// ---- process-wide handoff ---------------------------------------------------

// Creates the process-wide analyser (FFT configuration included). Main thread,
// before the post-mix callback is registered; calling it again does nothing.
void prepare_sound_analysis();

// Audio thread: analyses one mixed chunk (interleaved S16 stereo, 2-byte
// aligned) and publishes the result. Never blocks, never allocates once
// prepared; chunks arriving before prepare_sound_analysis() are ignored.
// Only one thread may call it at a time (the mixer's).
void analyse_mixed_chunk(const uint8_t* stream, int length_bytes);

// Main thread: the latest published result (all zero before the first chunk).
void copy_sound_snapshot(SoundSnapshot& out);
// The 1024 x 2 RGBA pixels of the latest published result.
void copy_sound_pixels(uint8_t out[kSoundPixelBytes]);
// The loudness of the latest published result.
int32_t sound_level();
