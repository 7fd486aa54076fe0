#include "preview/playhead.h"

#include <algorithm>
#include <cmath>

void Playhead::set_tempo(float bpm, float beat_offset) {
    // A tempo that is no positive number would turn every beat into NaN.
    bpm_ = (std::isfinite(bpm) && bpm > 0) ? bpm : 130.0f;
    beat_offset_ = std::isfinite(beat_offset) ? beat_offset : 0.0f;
}

int64_t Playhead::frame_of_beat(double beat) const {
    if (!std::isfinite(beat)) return 0;
    const double frame = (beat + beat_offset_) * 60.0 / bpm_ * kRate;
    // A day of music either way is far more than any demo; it keeps the
    // arithmetic below away from overflow.
    constexpr double kLimit = 86400.0 * kRate;
    return static_cast<int64_t>(std::llround(std::clamp(frame, -kLimit, kLimit)));
}

double Playhead::beat_of_frame(double frame) const { return frame / kRate * bpm_ / 60.0 - beat_offset_; }

double Playhead::beat_at(int64_t now_us) const {
    const int64_t position = frame();
    if (paused()) return beat_of_frame(static_cast<double>(position));
    const double since_us = static_cast<double>(std::max<int64_t>(0, now_us - advanced_at_us_.load()));
    double ahead = std::min(since_us * kRate / 1e6, static_cast<double>(last_chunk_frames_.load()));
    double at = static_cast<double>(position) + ahead;
    const int64_t start = loop_start_.load(), end = loop_end_.load();
    if (start != kNoLoop && end > start && at >= static_cast<double>(end))
        at = static_cast<double>(start) + std::fmod(at - static_cast<double>(end), static_cast<double>(end - start));
    return beat_of_frame(at);
}

void Playhead::seek_beat(double beat) { position_.store(frame_of_beat(beat), std::memory_order_release); }

bool Playhead::set_loop(double start_beat, double end_beat) {
    if (!std::isfinite(start_beat) || !std::isfinite(end_beat)) return false;
    const int64_t start = frame_of_beat(start_beat), end = frame_of_beat(end_beat);
    if (end <= start) return false;
    // End first to none, so the audio thread never sees a new start with an
    // old end that lies before it as a loop.
    loop_end_.store(kNoLoop);
    loop_start_.store(start);
    loop_end_.store(end);
    pending_start_ = start;
    pending_end_ = end;
    return true;
}

void Playhead::set_loop_start_here() {
    pending_start_ = frame();
    if (pending_end_ != kNoLoop && pending_end_ <= pending_start_) pending_end_ = kNoLoop;
    loop_end_.store(kNoLoop);
    loop_start_.store(pending_start_);
    if (pending_end_ != kNoLoop) loop_end_.store(pending_end_);
}

void Playhead::set_loop_end_here() {
    pending_end_ = frame();
    if (pending_start_ != kNoLoop && pending_start_ >= pending_end_) pending_start_ = kNoLoop;
    loop_end_.store(kNoLoop);
    if (pending_start_ == kNoLoop) return;
    loop_start_.store(pending_start_);
    loop_end_.store(pending_end_);
}

void Playhead::clear_loop() {
    loop_end_.store(kNoLoop);
    loop_start_.store(kNoLoop);
    pending_start_ = pending_end_ = kNoLoop;
}

bool Playhead::has_loop() const {
    const int64_t start = loop_start_.load(), end = loop_end_.load();
    return start != kNoLoop && end != kNoLoop && end > start;
}

double Playhead::loop_start_beat() const { return beat_of_frame(static_cast<double>(loop_start_.load())); }
double Playhead::loop_end_beat() const { return beat_of_frame(static_cast<double>(loop_end_.load())); }

void Playhead::play_into(const int16_t* pcm, int64_t pcm_frames, int16_t* out, int frames, int64_t now_us) {
    const int64_t begin = position_.load(std::memory_order_acquire);
    if (paused()) {
        if (out) std::fill(out, out + 2 * static_cast<int64_t>(frames), int16_t{0});
        return;
    }
    const int64_t start = loop_start_.load(), end = loop_end_.load();
    const bool looping = start != kNoLoop && end != kNoLoop && end > start;
    int64_t at = begin;
    for (int i = 0; i < frames; ++i) {
        if (looping && at >= end) at = start;
        if (out) {
            const bool inside = pcm && at >= 0 && at < pcm_frames;
            out[2 * i] = inside ? pcm[2 * at] : int16_t{0};
            out[2 * i + 1] = inside ? pcm[2 * at + 1] : int16_t{0};
        }
        ++at;
    }
    if (looping && at >= end) at = start + (at - end) % (end - start);
    // A seek stored while this chunk was filled stays: the next chunk plays from it.
    int64_t expected = begin;
    if (position_.compare_exchange_strong(expected, at, std::memory_order_acq_rel)) {
        last_chunk_frames_.store(frames);
        advanced_at_us_.store(now_us, std::memory_order_release);
    }
}
