// Throughput of our message codec beside Snappy and LZ4 on the same corpus.
// Compression ratios are reported as counters (output bytes / input bytes).
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <snappy.h>

#include "bench/corpus.h"
#include "serialization/compress_message.h"
#include "serialization/message_decompressor.h"

namespace {

const std::string& corpus(int which) {
    static const std::string glsl = bench_glsl(1 << 20);
    static const std::string json = bench_json(1 << 20);
    static const std::string binary = bench_binary(1 << 20);
    return which == 0 ? glsl : which == 1 ? json : binary;
}

const char* corpus_name(int which) { return which == 0 ? "glsl" : which == 1 ? "json" : "binary"; }

void finish(benchmark::State& state, const std::string& input, size_t compressed) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(input.size());
    state.SetLabel(corpus_name(static_cast<int>(state.range(0))));
}

void BM_Ours_Encode(benchmark::State& state) {
    const std::string& input = corpus(static_cast<int>(state.range(0)));
    size_t out = 0;
    for (auto _ : state) out = compress_message(input).size();
    finish(state, input, out);
}

void BM_Ours_Decode(benchmark::State& state) {
    const std::string& input = corpus(static_cast<int>(state.range(0)));
    const std::string message = compress_message(input);
    for (auto _ : state) {
        auto out = decompress_message(reinterpret_cast<const uint8_t*>(message.data()), message.size());
        benchmark::DoNotOptimize(out.data());
    }
    finish(state, input, message.size());
}

void BM_Snappy_Encode(benchmark::State& state) {
    const std::string& input = corpus(static_cast<int>(state.range(0)));
    std::string out;
    for (auto _ : state) snappy::Compress(input.data(), input.size(), &out);
    finish(state, input, out.size());
}

void BM_Snappy_Decode(benchmark::State& state) {
    const std::string& input = corpus(static_cast<int>(state.range(0)));
    std::string compressed;
    snappy::Compress(input.data(), input.size(), &compressed);
    std::string out;
    for (auto _ : state) {
        snappy::Uncompress(compressed.data(), compressed.size(), &out);
        benchmark::DoNotOptimize(out.data());
    }
    finish(state, input, compressed.size());
}

void BM_LZ4_Encode(benchmark::State& state) {
    const std::string& input = corpus(static_cast<int>(state.range(0)));
    std::string out(LZ4_compressBound(static_cast<int>(input.size())), '\0');
    int size = 0;
    for (auto _ : state)
        size = LZ4_compress_default(input.data(), out.data(), static_cast<int>(input.size()), static_cast<int>(out.size()));
    finish(state, input, static_cast<size_t>(size));
}

void BM_LZ4_Decode(benchmark::State& state) {
    const std::string& input = corpus(static_cast<int>(state.range(0)));
    std::string compressed(LZ4_compressBound(static_cast<int>(input.size())), '\0');
    const int size = LZ4_compress_default(input.data(), compressed.data(), static_cast<int>(input.size()),
                                          static_cast<int>(compressed.size()));
    std::string out(input.size(), '\0');
    for (auto _ : state) {
        LZ4_decompress_safe(compressed.data(), out.data(), size, static_cast<int>(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    finish(state, input, static_cast<size_t>(size));
}

}  // namespace

BENCHMARK(BM_Ours_Encode)->DenseRange(0, 2);
BENCHMARK(BM_Snappy_Encode)->DenseRange(0, 2);
BENCHMARK(BM_LZ4_Encode)->DenseRange(0, 2);
BENCHMARK(BM_Ours_Decode)->DenseRange(0, 2);
BENCHMARK(BM_Snappy_Decode)->DenseRange(0, 2);
BENCHMARK(BM_LZ4_Decode)->DenseRange(0, 2);
