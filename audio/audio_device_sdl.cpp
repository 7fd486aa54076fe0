#include "audio/audio_device.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "app/playback_state.h"
#include "audio/audio_messages.h"
#include "audio/audio_sample.h"
#include "audio/sound_analysis.h"
#include "audio/sound_decode.h"
#include "serialization/byte_buffer.h"
#include "serialization/load_messages.h"
#include "serialization/demo.h"

namespace {

// Kept for the whole run: the mixer reads it while playing.
Mix_Music* g_music = nullptr;
bool g_hooked = false;

// Post-mix hook: runs on the audio thread once per mixed chunk. It only reads
// the stream; the mixed output goes to the device unchanged.
void analyse_post_mix(int /*channel*/, void* stream, int length_bytes, void* /*demo*/) {
    analyse_mixed_chunk(static_cast<const uint8_t*>(stream), length_bytes);
}

// An SDL memory stream over the bytes, or null when they cannot be described
// by SDL's int length (the length must never be truncated to a shorter file).
SDL_RWops* open_memory(const ByteBuffer& bytes) {
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return nullptr;
    return SDL_RWFromConstMem(bytes.data.data(), static_cast<int>(bytes.size()));
}

}  // namespace

bool start_music_bytes(const ByteBuffer& music, bool from_executable, void* user_data) {
    if (music.empty()) return false;
    prepare_sound_analysis();
    stop_music();
    if (SDL_RWops* rw = open_memory(music)) g_music = Mix_LoadMUS_RW(rw, 1);  // the mixer frees rw
    // Hooked even when the music did not load: the analysis then sees silence.
    g_hooked = Mix_RegisterEffect(MIX_CHANNEL_POST, analyse_post_mix, nullptr, user_data) != 0;
    if (!g_music) return false;
    return Mix_PlayMusic(g_music, from_executable ? 0 : -1) == 0;
}

bool start_music(Demo& demo, bool from_executable) { return start_music_bytes(demo.music, from_executable, &demo); }

void stop_music() {
    if (g_hooked) Mix_UnregisterEffect(MIX_CHANNEL_POST, analyse_post_mix);
    g_hooked = false;
    if (g_music) Mix_FreeMusic(g_music);  // halts it first
    g_music = nullptr;
}

namespace {

// The mixer's built-in MIDI synthesiser keeps its instrument state in
// globals; MIDI samples decode one at a time. Every other decoder it has
// works on per-file state once the mixer is open.
std::mutex g_midi_decode;

bool is_midi(const ByteBuffer& bytes) {
    const auto& b = bytes.data;
    if (b.size() >= 4 && std::memcmp(b.data(), "MThd", 4) == 0) return true;
    return b.size() >= 12 && std::memcmp(b.data(), "RIFF", 4) == 0 && std::memcmp(b.data() + 8, "RMID", 4) == 0;
}

}  // namespace

void decode_audio_sample(AudioSample& sample) {
    sample.chunk.reset();
    sample.duration_ms = 0;
#include <cstring>
#include <mutex>
    const PlaybackState& state = playback();
    std::unique_lock<std::mutex> midi(g_midi_decode, std::defer_lock);
    if (is_midi(sample.buffer)) midi.lock();
    const BoundedChunk decoded = load_chunk_bounded(sample.buffer, uint64_t{kSampleMaxSeconds} * state.mixer_frequency);
    if (midi.owns_lock()) midi.unlock();
    Mix_Chunk* chunk = decoded.chunk;
    if (!chunk) return;
    // Printed at the sample's turn when it was decoded on a worker.
    if (decoded.cut) load_printf(audio_messages::kSampleCut, sample.name.c_str(), kSampleMaxSeconds, kSampleMaxSeconds);
    sample.duration_ms = audio_duration_ms(chunk->alen, state.mixer_channels, state.mixer_frequency);
    sample.chunk = std::shared_ptr<void>(chunk, [](void* c) { Mix_FreeChunk(static_cast<Mix_Chunk*>(c)); });
}

std::vector<int16_t> decode_music_pcm(const ByteBuffer& music, std::string* why, uint64_t max_frames) {
    std::vector<int16_t> pcm;
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    if (Mix_QuerySpec(&frequency, &format, &channels) == 0 || frequency <= 0) {
        if (why && !music.empty()) *why = "the mixer is not open";
        return pcm;
    }
    if (max_frames == 0) max_frames = uint64_t{kMusicMaxSeconds} * static_cast<uint64_t>(frequency);
    const BoundedChunk decoded = load_chunk_bounded(music, max_frames);
    if (!decoded.chunk) {
        if (why) *why = decoded.why;
        return pcm;
    }
    if (decoded.cut)
        std::fprintf(stderr, audio_messages::kMusicCut, static_cast<double>(max_frames) / frequency);
    const auto* samples = reinterpret_cast<const int16_t*>(decoded.chunk->abuf);
    pcm.assign(samples, samples + decoded.chunk->alen / 2);
    Mix_FreeChunk(decoded.chunk);
    return pcm;
}
