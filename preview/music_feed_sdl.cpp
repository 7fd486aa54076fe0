#include "preview/music_feed.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstring>

#include "audio/audio_device.h"
#include "audio/sound_analysis.h"
#include "serialization/byte_buffer.h"

namespace {

int64_t now_us() {
    static const double ticks_per_us = static_cast<double>(SDL_GetPerformanceFrequency()) / 1e6;
    return static_cast<int64_t>(static_cast<double>(SDL_GetPerformanceCounter()) / ticks_per_us);
}

void analyse(int /*channel*/, void* stream, int length_bytes, void* /*user*/) {
    analyse_mixed_chunk(static_cast<const uint8_t*>(stream), length_bytes);
}

}  // namespace

MusicFeed::MusicFeed(Playhead& playhead, bool silent) : playhead_(playhead), silent_(silent) {
    prepare_sound_analysis();
    if (silent_) return;
    Mix_RegisterEffect(MIX_CHANNEL_POST, analyse, nullptr, nullptr);
}

MusicFeed::~MusicFeed() {
    if (silent_) return;
    Mix_HookMusic(nullptr, nullptr);
    if (module_) stop_music();
    else Mix_UnregisterEffect(MIX_CHANNEL_POST, analyse);
}

// Audio thread: no lock, no allocation; the playhead does the copying.
void MusicFeed::feed(void* self, uint8_t* stream, int length_bytes) {
    auto* feed = static_cast<MusicFeed*>(self);
    const Pcm* pcm = feed->pcm_;
    const int frames = length_bytes / 4;
    auto* out = reinterpret_cast<int16_t*>(stream);
    if (!pcm) {
        std::memset(stream, 0, static_cast<size_t>(length_bytes));
        return;
    }
    feed->playhead_.play_into(pcm->samples.data(), static_cast<int64_t>(pcm->samples.size() / 2), out, frames,
                              now_us());
}

std::string MusicFeed::set_music(const ByteBuffer& music, uint64_t max_frames) {
    if (music_ && music_->data == music.data) return "";
    if (silent_) {
        owned_.reset();
        music_ = std::make_unique<ByteBuffer>(std::vector<uint8_t>(music.data.begin(), music.data.end()));
        if (music.empty()) return "";
        std::string why;
        std::vector<int16_t> samples = decode_music_pcm(music, &why, max_frames);
        if (samples.empty()) return "";
        owned_ = std::make_unique<Pcm>();
        owned_->samples = std::move(samples);
        return "";
    }
    // Off the audio thread's hands first: the hook is swapped under the
    // mixer's lock, so no chunk is being filled from the old samples after this.
    Mix_HookMusic(nullptr, nullptr);
    if (module_) {
        stop_music();
        Mix_RegisterEffect(MIX_CHANNEL_POST, analyse, nullptr, nullptr);
    }
    module_ = false;
    pcm_ = nullptr;
    owned_.reset();
    music_ = std::make_unique<ByteBuffer>(std::vector<uint8_t>(music.data.begin(), music.data.end()));
    if (music.empty()) return "";

    int frequency = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&frequency, &format, &channels);
    std::string why;
    std::vector<int16_t> samples = decode_music_pcm(music, &why, max_frames);
    if (!samples.empty() && frequency == Playhead::kRate && channels == 2 && format == AUDIO_S16LSB) {
        owned_ = std::make_unique<Pcm>();
        owned_->samples = std::move(samples);
        pcm_ = owned_.get();
        playhead_.restamp(now_us());
        Mix_HookMusic(&MusicFeed::feed, this);
        return "";
    }
    // The mixer's player reads more kinds (tracker modules) than its sample
    // decoder; then it plays, looping as content.dat's music does in the
    // player, and is moved along with the playhead.
    // start_music_bytes hooks the analysis itself; one hook is enough.
    Mix_UnregisterEffect(MIX_CHANNEL_POST, analyse);
    module_ = start_music_bytes(*music_, false, nullptr);
    if (!module_) {
        stop_music();
        Mix_RegisterEffect(MIX_CHANNEL_POST, analyse, nullptr, nullptr);
        return "the music does not decode (" + why + "); playing without sound";
    }
    module_paused_ = false;
    module_last_frame_ = playhead_.frame();
    follow(true);
    return "";
}

void MusicFeed::follow(bool seeked) {
    if (!module_ || silent_) return;
    const bool paused = playhead_.paused();
    if (paused != module_paused_) {
        if (paused) Mix_PauseMusic();
        else Mix_ResumeMusic();
        module_paused_ = paused;
    }
    const int64_t frame = playhead_.frame();
    // A loop wraps backwards without a seek; the player must jump too.
    if (seeked || frame < module_last_frame_) Mix_SetMusicPosition(frame > 0 ? static_cast<double>(frame) / Playhead::kRate : 0.0);
    module_last_frame_ = frame;
}
