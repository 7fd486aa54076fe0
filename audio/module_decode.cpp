#include "audio/module_decode.h"

#include <libmodplug/modplug.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

namespace {

// The module library keeps its settings and mixing buffers process-wide, and
// the mixer shares the same library instance.
std::mutex g_module_library;

bool starts_with(const uint8_t* bytes, size_t size, const char* magic) {
    const size_t n = std::strlen(magic);
    return size >= n && std::memcmp(bytes, magic, n) == 0;
}

// Restores the library's settings on the way out, so the mixer's own module
// playback keeps the settings it chose.
class SettingsScope {
public:
    explicit SettingsScope(int frequency) {
        ModPlug_GetSettings(&saved_);
        ModPlug_Settings ours = saved_;
        ours.mChannels = 2;
        ours.mBits = 16;
        ours.mFrequency = frequency;
        // As the mixer plays modules: the song's own jumps are followed, so a
        // song that jumps back plays on until the caller's bound; a song that
        // runs off its last order ends.
        ours.mLoopCount = -1;
        ModPlug_SetSettings(&ours);
    }
    ~SettingsScope() { ModPlug_SetSettings(&saved_); }

private:
    ModPlug_Settings saved_{};
};

}  // namespace

bool starts_like_streamed_sound(const uint8_t* bytes, size_t size) {
    for (const char* magic : {"RIFF", "WAVE", "FORM", "Crea", "OggS", "fLaC", "MThd", "ID3"})
        if (starts_with(bytes, size, magic)) return true;
    // An MPEG audio frame header: eleven set sync bits.
    return size >= 2 && bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0;
}

ModuleDecode decode_module(const uint8_t* bytes, size_t size, int frequency, uint64_t max_frames) {
    ModuleDecode out;
    if (size == 0 || size > static_cast<size_t>(INT_MAX) || frequency < 8000 || frequency > 192000) return out;
    std::lock_guard<std::mutex> lock(g_module_library);
    SettingsScope settings(frequency);
    ModPlugFile* file = ModPlug_Load(bytes, static_cast<int>(size));
    if (!file) return out;
    out.is_module = true;

    constexpr size_t kStepFrames = 4096;
    std::vector<int16_t>& pcm = out.pcm;
    uint64_t frames = 0;
    for (;;) {
        if (frames >= max_frames) {
            // One frame more tells a song that ends exactly at the bound from one that goes on.
            int16_t probe[2];
            out.cut = ModPlug_Read(file, probe, sizeof probe) > 0;
            break;
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kStepFrames, max_frames - frames));
        pcm.resize(static_cast<size_t>(frames + want) * 2);
        const int got_bytes = ModPlug_Read(file, &pcm[static_cast<size_t>(frames) * 2], static_cast<int>(want * 4));
        const size_t got = got_bytes > 0 ? static_cast<size_t>(got_bytes) / 4 : 0;
        frames += got;
        if (got == 0) break;  // the song ended
    }
    pcm.resize(static_cast<size_t>(frames) * 2);
    pcm.shrink_to_fit();
    ModPlug_Unload(file);
    return out;
}
