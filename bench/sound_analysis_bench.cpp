// Cost of analysing one mixed chunk (1024 stereo frames) against the 23.2 ms
// the mixer gives each chunk at 44.1 kHz, beside its two irreducible parts:
// the bare 1024-point real FFT and an 8 kB copy (what the handoff adds).
// The "budget" counter is the fraction of the chunk's real-time period spent
// (CPU time; 1e-3 shows as "1m").
#include <benchmark/benchmark.h>
#include <kissfft/kiss_fftr.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/sound_analysis.h"

namespace {

constexpr double kChunkPeriodSeconds = 1024.0 / 44100.0;

std::vector<int16_t> noise_chunk() {
    std::mt19937 rng(1);
    std::vector<int16_t> s(2048);
    for (auto& v : s) v = static_cast<int16_t>(static_cast<int>(rng() % 65536) - 32768);
    return s;
}

void report_budget(benchmark::State& state) {
    state.counters["budget"] = benchmark::Counter(kChunkPeriodSeconds, benchmark::Counter::kIsIterationInvariantRate |
                                                                           benchmark::Counter::kInvert);
}

void BM_SoundAnalyzer_Chunk(benchmark::State& state) {
    const auto chunk = noise_chunk();
    SoundAnalyzer analyzer;
    for (auto _ : state) {
        analyzer.analyse(chunk.data(), 4096);
        benchmark::DoNotOptimize(analyzer.pixels());
    }
    report_budget(state);
}
BENCHMARK(BM_SoundAnalyzer_Chunk)->Unit(benchmark::kMicrosecond);

// What the mixer's thread pays: analysis plus publishing the snapshot.
void BM_AnalyseMixedChunk(benchmark::State& state) {
    const auto chunk = noise_chunk();
    prepare_sound_analysis();
    for (auto _ : state) analyse_mixed_chunk(reinterpret_cast<const uint8_t*>(chunk.data()), 4096);
    report_budget(state);
}
BENCHMARK(BM_AnalyseMixedChunk)->Unit(benchmark::kMicrosecond);

// What the main thread pays per texture upload.
void BM_CopySoundPixels(benchmark::State& state) {
    prepare_sound_analysis();
    std::vector<uint8_t> pixels(kSoundPixelBytes);
    for (auto _ : state) {
        copy_sound_pixels(pixels.data());
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_CopySoundPixels)->Unit(benchmark::kMicrosecond);

void BM_Baseline_KissFftr1024(benchmark::State& state) {
    kiss_fftr_cfg cfg = kiss_fftr_alloc(1024, 0, nullptr, nullptr);
    std::vector<float> in(1024);
    std::vector<kiss_fft_cpx> out(513);
    std::mt19937 rng(2);
    for (auto& v : in) v = static_cast<float>(rng() % 1000) / 1000.0f;
    for (auto _ : state) {
        kiss_fftr(cfg, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    kiss_fftr_free(cfg);
}
BENCHMARK(BM_Baseline_KissFftr1024)->Unit(benchmark::kMicrosecond);

void BM_Baseline_Memcpy8K(benchmark::State& state) {
    std::vector<uint8_t> a(kSoundPixelBytes, 1), b(kSoundPixelBytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Baseline_Memcpy8K)->Unit(benchmark::kMicrosecond);

}  // namespace
