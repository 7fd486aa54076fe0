// Playhead: where the preview is in its music, counted in audio frames so
// that the picture's beat is the beat being heard. Beat b lies at
// (b + beat_offset) * 60 / bpm seconds of the music.
//
// Two threads use it. The audio thread calls play_into() once per mixed chunk:
// it copies the music at the position (silence before the start, after the
// end and while paused), wraps at the loop end and advances. The main thread
// seeks, pauses and sets the loop; a seek made while a chunk is being filled
// wins over that chunk's advance. Without an audio feed (no music, or music
// the mixer plays itself) the main thread advances it with the clock.
// Nothing here blocks or allocates.
#pragma once

#include <atomic>
#include <cstdint>

class Playhead {
public:
    static constexpr int kRate = 44100;

    void set_tempo(float bpm, float beat_offset);
    float bpm() const { return bpm_; }
    float beat_offset() const { return beat_offset_; }

    int64_t frame_of_beat(double beat) const;
    double beat_of_frame(double frame) const;

    // Position of the last chunk boundary, and the beat there.
    int64_t frame() const { return position_.load(std::memory_order_acquire); }
    double beat() const { return beat_of_frame(static_cast<double>(frame())); }
    // The beat `now_us` microseconds on the caller's clock, between chunks:
    // the position plus the time since the last advance, at most one chunk
    // ahead, wrapped at the loop end. Paused: the position itself.
    double beat_at(int64_t now_us) const;

    void seek_beat(double beat);
    void step_beats(double beats) { seek_beat(beat() + beats); }

    bool paused() const { return paused_.load(std::memory_order_acquire); }
    void set_paused(bool paused) { paused_.store(paused, std::memory_order_release); }

    // A loop from a to b (beats, a < b); false (and no change) otherwise.
    bool set_loop(double start_beat, double end_beat);
    // `[` and `]`: one end at the playhead; the other end is kept when it
    // still leaves a loop, else the loop is cleared until both ends make one.
    void set_loop_start_here();
    void set_loop_end_here();
    void clear_loop();
    bool has_loop() const;
    double loop_start_beat() const;
    double loop_end_beat() const;

    // Audio thread: fills `frames` stereo frames of `out` from `pcm`
    // (interleaved stereo, `pcm_frames` long; null plays silence) and
    // advances, stamping the advance with `now_us`. While paused the output
    // is silent and the position stays.
    void play_into(const int16_t* pcm, int64_t pcm_frames, int16_t* out, int frames, int64_t now_us);
    // The same without output, for the clock-driven case.
    void advance(int frames, int64_t now_us) { play_into(nullptr, 0, nullptr, frames, now_us); }

    // Lets beat_at() interpolate from `now_us` without moving (after a pause
    // ends, or when the clock driver starts).
    void restamp(int64_t now_us) { advanced_at_us_.store(now_us, std::memory_order_release); }

private:
    static constexpr int64_t kNoLoop = INT64_MIN;
    float bpm_ = 130.0f;
    float beat_offset_ = 0.5f;
    std::atomic<int64_t> position_{0};
    std::atomic<int64_t> advanced_at_us_{0};
    std::atomic<int64_t> last_chunk_frames_{1024};
    std::atomic<bool> paused_{false};
    std::atomic<int64_t> loop_start_{kNoLoop};
    std::atomic<int64_t> loop_end_{kNoLoop};
    int64_t pending_start_ = kNoLoop;  // `[` before any `]` (main thread)
    int64_t pending_end_ = kNoLoop;
};
