// MusicFeed: the preview's sound. Music that decodes to samples is fed to
// the mixer from the playhead (so pause, seek and loop are heard at once and
// the beat is the beat heard); music only the mixer's own player reads
// (tracker modules) is played by it and follows the playhead by seeking, with
// the beat then kept by the clock. The sound analysis is hooked onto the
// mixed output either way, so the sound texture follows what is heard.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "preview/playhead.h"

class ByteBuffer;

class MusicFeed {
public:
    // `silent`: no sound device is open; the music is decoded (for the
    // waveform) but not played, and the clock moves the playhead.
    MusicFeed(Playhead& playhead, bool silent);
    ~MusicFeed();
    MusicFeed(const MusicFeed&) = delete;
    MusicFeed& operator=(const MusicFeed&) = delete;

    // Takes new music bytes (the same bytes again do nothing), decoded to at
    // most `max_frames` frames (0: the decoder's own cap), so a module whose
    // song loops stops at the demo's length. Returns a line saying why they
    // cannot be heard, or an empty string.
    std::string set_music(const ByteBuffer& music, uint64_t max_frames = 0);

    // True while the audio thread moves the playhead; otherwise the caller
    // advances it with the clock.
    bool drives_playhead() const { return pcm_ != nullptr; }

    // Main thread, once a frame after the playhead may have moved: keeps the
    // mixer's own player (tracker music) at the playhead.
    void follow(bool seeked);

    // The decoded music (interleaved stereo, 44.1 kHz), or null when it did
    // not decode to samples. Main thread; valid until the next set_music.
    const std::vector<int16_t>* samples() const { return owned_ ? &owned_->samples : nullptr; }

private:
    struct Pcm {
        std::vector<int16_t> samples;  // interleaved stereo, 44.1 kHz
    };
    static void feed(void* self, uint8_t* stream, int length_bytes);

    Playhead& playhead_;
    std::unique_ptr<ByteBuffer> music_;  // a copy: the mixer's player reads it while playing
    Pcm* pcm_ = nullptr;               // read by the audio thread
    std::unique_ptr<Pcm> owned_;
    bool silent_ = false;
    bool module_ = false;              // played by the mixer's music player
    bool module_paused_ = false;
    int64_t module_last_frame_ = 0;
};
