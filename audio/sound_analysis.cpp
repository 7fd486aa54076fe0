#include "audio/sound_analysis.h"

#include <kissfft/kiss_fftr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>

static_assert(sizeof(kiss_fft_scalar) == sizeof(float), "the analysis needs the float build of the FFT");

namespace {

// Hamming weight of frame index i over a 1024-frame chunk (denominator 1023).
// The cosine is taken in double precision, the rest in float.
float hamming(int64_t i) {
    const float cosine = static_cast<float>(std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / 1023.0));
    return 0.54f - 0.46f * cosine;
}

// Spectrum texel j shows FFT bin (j * 20000) / 88200: the texture spans 0 to
// about 20 kHz of a 44.1 kHz signal.
constexpr int bin_of_texel(int texel) { return texel * 20000 / 88200; }
constexpr int kSpectrumBins = bin_of_texel(kSoundTextureWidth - 1) + 1;  // 232

uint8_t spectrum_byte(float magnitude, float norm) {
    double level_db = 20.0 * std::log10(magnitude / norm);
    // A silent bin gives -infinity; -90 dB is the floor of the texture.
    if (!(level_db >= -90.0)) level_db = -90.0;
    // No upper clamp: levels above 0 dB wrap around in the low 8 bits, which
    // stored demos' shaders were tuned against.
    const int value = static_cast<int>((level_db + 90.0) * 255.0 / 90.0);
    return static_cast<uint8_t>(value & 0xff);
}

}  // namespace

int32_t SoundSnapshot::level() const {
    int32_t sum = 0;
    for (int16_t v : level_ring) sum += v;
    return sum / kLevelRingSize;
}

SoundAnalyzer::SoundAnalyzer() {
    static_assert(sizeof(Bin) == sizeof(kiss_fft_cpx));
    fft_config_ = kiss_fftr_alloc(kFftSize, 0, nullptr, nullptr);
    for (int i = 0; i < kFftSize; ++i) window_[i] = hamming(i);
    std::fill(std::begin(fft_input_), std::end(fft_input_), 0.0f);
}

SoundAnalyzer::~SoundAnalyzer() { kiss_fftr_free(static_cast<kiss_fftr_cfg>(fft_config_)); }

void SoundAnalyzer::analyse(const int16_t* samples, int length_bytes) {
    if (!samples || length_bytes <= 0) return;
    const int64_t frames = (length_bytes / 2) / 2;
    // One frame would divide by zero when spreading frames over the texels.
    if (frames < 2) return;

    // The spectrum is of this chunk alone: a short chunk leaves gaps between
    // the inputs it spreads over, and they must not keep an older chunk's
    // samples.
    std::fill(std::begin(fft_input_), std::end(fft_input_), 0.0f);

    uint8_t* waveform = state_.pixels + kSoundTextureWidth * 4;
    float window_sum = 0.0f;
    for (int64_t i = 0; i < frames; ++i) {
        const int16_t s = samples[2 * i];  // left channel only
        // i <= frames - 1, so the texel stays within 0 .. 1023 for any chunk
        // length; 64-bit so that the product cannot wrap.
        const int64_t c = i * (kSoundTextureWidth - 1) / (frames - 1);
        std::memset(waveform + c * 4, static_cast<uint8_t>(s / 256 + 128), 4);
        const float w = i < kFftSize ? window_[i] : hamming(i);
        fft_input_[c] = static_cast<float>(s) * (1.0f / 32768.0f) * w;
        window_sum += w;
    }

    kiss_fftr(static_cast<kiss_fftr_cfg>(fft_config_), fft_input_, reinterpret_cast<kiss_fft_cpx*>(fft_output_));

    // Half the window sum is the peak magnitude of a full-scale sine, so such
    // a sine reads 0 dB.
    const float norm = window_sum * 0.5f;
    uint8_t bin_bytes[kSpectrumBins];
    for (int b = 0; b < kSpectrumBins; ++b) {
        const Bin& x = fft_output_[b];
        bin_bytes[b] = spectrum_byte(std::sqrt(x.r * x.r + x.i * x.i), norm);
    }
    for (int j = 0; j < kSoundTextureWidth; ++j) std::memset(state_.pixels + j * 4, bin_bytes[bin_of_texel(j)], 4);

    // Both channels of the first 50 frames feed the ring. The absolute value
    // is taken in 16 bits, so -32768 stays -32768.
    const int ring_values = std::min(kLevelRingSize, length_bytes / 2);
    for (int k = 0; k < ring_values; ++k) {
        const int16_t v = samples[k];
        state_.level_ring[state_.level_index] = static_cast<int16_t>(v < 0 ? -v : v);
        state_.level_index = (state_.level_index + 1) % kLevelRingSize;
    }
}

// ---- process-wide handoff ---------------------------------------------------

namespace {

// Three snapshots: the writer fills its back slot and swaps it with the middle
// one, marking it fresh; the reader swaps its front slot with the middle one
// when that is fresh. Each side owns its slot exclusively between swaps, and
// the acquire/release swaps order the copies, so neither side ever waits and
// a reader never sees a half-written snapshot.
class SnapshotExchange {
public:
    SoundSnapshot& back() { return slots_[back_]; }

    // Writer only.
    void publish() { back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & kIndexMask; }

    // Reader only (one at a time).
    const SoundSnapshot& latest() {
        if (middle_.load(std::memory_order_relaxed) & kFresh)
            front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndexMask;
        return slots_[front_];
    }

private:
    static constexpr uint8_t kFresh = 4;
    static constexpr uint8_t kIndexMask = 3;
    SoundSnapshot slots_[3];
    std::atomic<uint8_t> middle_{1};
    uint8_t back_ = 0;   // writer's
    uint8_t front_ = 2;  // reader's
};
static_assert(std::atomic<uint8_t>::is_always_lock_free);

struct Handoff {
    SoundAnalyzer analyzer;      // audio thread only
    SnapshotExchange exchange;
    std::mutex reader_mutex;     // serialises readers; the writer never takes it
};

std::atomic<Handoff*> g_handoff{nullptr};
std::mutex g_prepare_mutex;

}  // namespace

void prepare_sound_analysis() {
    std::lock_guard<std::mutex> lock(g_prepare_mutex);
    // Never freed: the callback may run until the process exits.
    if (!g_handoff.load(std::memory_order_relaxed)) g_handoff.store(new Handoff, std::memory_order_release);
}

void analyse_mixed_chunk(const uint8_t* stream, int length_bytes) {
    Handoff* h = g_handoff.load(std::memory_order_acquire);
    if (!h || !stream) return;
    // The mixer's buffers hold 16-bit samples and are aligned for them; a
    // misaligned pointer cannot be read as samples at all.
    if (reinterpret_cast<uintptr_t>(stream) % alignof(int16_t) != 0) return;
    h->analyzer.analyse(reinterpret_cast<const int16_t*>(stream), length_bytes);
    std::memcpy(&h->exchange.back(), &h->analyzer.state(), sizeof(SoundSnapshot));
    h->exchange.publish();
}

void copy_sound_snapshot(SoundSnapshot& out) {
    Handoff* h = g_handoff.load(std::memory_order_acquire);
    if (!h) {
        out = SoundSnapshot{};
        return;
    }
    std::lock_guard<std::mutex> lock(h->reader_mutex);
    std::memcpy(&out, &h->exchange.latest(), sizeof(SoundSnapshot));
}

void copy_sound_pixels(uint8_t out[kSoundPixelBytes]) {
    Handoff* h = g_handoff.load(std::memory_order_acquire);
    if (!h) {
        std::memset(out, 0, kSoundPixelBytes);
        return;
    }
    std::lock_guard<std::mutex> lock(h->reader_mutex);
    std::memcpy(out, h->exchange.latest().pixels, kSoundPixelBytes);
}

int32_t sound_level() {
    Handoff* h = g_handoff.load(std::memory_order_acquire);
    if (!h) return 0;
    std::lock_guard<std::mutex> lock(h->reader_mutex);
    return h->exchange.latest().level();
}
