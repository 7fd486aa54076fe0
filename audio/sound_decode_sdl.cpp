#include "audio/sound_decode.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "audio/module_decode.h"
#include "serialization/byte_buffer.h"

namespace {

struct MixerFormat {
    int frequency = 0;
    Uint16 format = 0;
    int channels = 0;
    int frame_bytes() const { return SDL_AUDIO_BITSIZE(format) / 8 * channels; }
};

// The module's 16-bit stereo, converted to the mixer's format, as a chunk
// that owns its bytes.
Mix_Chunk* chunk_from_stereo16(const std::vector<int16_t>& pcm, const MixerFormat& mixer, int frequency) {
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, AUDIO_S16SYS, 2, frequency, mixer.format, static_cast<Uint8>(mixer.channels),
                          mixer.frequency) < 0)
        return nullptr;
    const size_t bytes = pcm.size() * sizeof(int16_t);
    if (bytes == 0 || bytes > static_cast<size_t>(INT_MAX / (cvt.len_mult > 0 ? cvt.len_mult : 1))) return nullptr;
    auto* buffer = static_cast<Uint8*>(SDL_malloc(bytes * static_cast<size_t>(cvt.len_mult)));
    if (!buffer) return nullptr;
    std::memcpy(buffer, pcm.data(), bytes);
    int length = static_cast<int>(bytes);
    if (cvt.needed) {
        cvt.buf = buffer;
        cvt.len = length;
        if (SDL_ConvertAudio(&cvt) < 0) {
            SDL_free(buffer);
            return nullptr;
        }
        length = cvt.len_cvt;
    }
    Mix_Chunk* chunk = Mix_QuickLoad_RAW(buffer, static_cast<Uint32>(length));
    if (!chunk) {
        SDL_free(buffer);
        return nullptr;
    }
    chunk->allocated = 1;  // Mix_FreeChunk frees the bytes too
    return chunk;
}

}  // namespace

BoundedChunk load_chunk_bounded(const ByteBuffer& bytes, uint64_t max_frames) {
    BoundedChunk out;
    MixerFormat mixer;
    if (Mix_QuerySpec(&mixer.frequency, &mixer.format, &mixer.channels) == 0 || mixer.frame_bytes() <= 0) {
        out.why = "the mixer is not open";
        return out;
    }
    if (bytes.empty()) return out;
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        out.why = "the sound is too large for the mixer";
        return out;
    }
    if (!starts_like_streamed_sound(bytes.data.data(), bytes.size())) {
        // Modules are decoded at the mixer's rate when the library can, so only
        // the channels and the sample format need converting.
        const int frequency = mixer.frequency >= 8000 && mixer.frequency <= 192000 ? mixer.frequency : 44100;
        const uint64_t frames_at_rate = static_cast<uint64_t>(
            static_cast<double>(max_frames) * frequency / mixer.frequency);
        ModuleDecode module = decode_module(bytes.data.data(), bytes.size(), frequency, frames_at_rate);
        if (module.is_module) {
            out.cut = module.cut;
            out.chunk = chunk_from_stereo16(module.pcm, mixer, frequency);
            if (!out.chunk) out.why = module.pcm.empty() ? "the module holds no sound" : SDL_GetError();
            return out;
        }
        // Not a module either: the mixer tells why it cannot decode it.
    }
    SDL_RWops* rw = SDL_RWFromConstMem(bytes.data.data(), static_cast<int>(bytes.size()));
    out.chunk = rw ? Mix_LoadWAV_RW(rw, 1) : nullptr;  // the mixer frees rw
    if (!out.chunk) {
        out.why = Mix_GetError();
        return out;
    }
    // These formats end with their file; only the kept length is bounded.
    const uint64_t frame_bytes = static_cast<uint64_t>(mixer.frame_bytes());
    if (max_frames < out.chunk->alen / frame_bytes) {
        out.cut = true;
        out.chunk->alen = static_cast<Uint32>(max_frames * frame_bytes);
        if (out.chunk->allocated)
            if (void* shrunk = SDL_realloc(out.chunk->abuf, out.chunk->alen ? out.chunk->alen : 1))
                out.chunk->abuf = static_cast<Uint8*>(shrunk);
    }
    return out;
}

uint64_t music_bound_frames(double end_beat, double beat_offset, double bpm, int rate) {
    const double cap = static_cast<double>(kMusicMaxSeconds);
    double seconds = (end_beat + beat_offset) * 60.0 / bpm + 1.0;
    if (!(end_beat < 10000.0) || !(bpm > 0.0) || !std::isfinite(seconds) || seconds > cap) seconds = cap;
    if (seconds < 1.0) seconds = 1.0;
    return static_cast<uint64_t>(std::ceil(seconds * std::max(rate, 0)));
}
