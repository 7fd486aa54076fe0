// Reading a content stream of many records (no GPU work, no loading frames),
// against copying the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/corpus.h"
#include "serialization/demo.h"

namespace {

const std::string& sample_content() {
    static const std::string bytes = [] {
        Demo demo;
        for (int i = 0; i < 300; ++i) {
            auto program = std::make_unique<ShaderProgram>();
            program->fragment_shader_filename = "resources/p" + std::to_string(i) + ".frag";
            program->fragment_shader_source = bench_glsl(4000, static_cast<uint32_t>(i));
            demo.shaders.push_back(std::move(program));
            auto texture = std::make_unique<Texture>();
            texture->name = "resources/t" + std::to_string(i) + ".png";
            const std::string pixels = bench_binary(20000, static_cast<uint32_t>(i));
            texture->image.data.assign(pixels.begin(), pixels.end());
            demo.textures.push_back(std::move(texture));
        }
        const std::string music = bench_binary(1 << 20, 99);
        demo.music.data.assign(music.begin(), music.end());
        ContentWriter out;
        demo.write(out);
        return out.take();
    }();
    return bytes;
}

void BM_ContentRead(benchmark::State& state) {
    const std::string& bytes = sample_content();
    for (auto _ : state) {
        ContentReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        Demo demo;
        demo.read(in);
        benchmark::DoNotOptimize(demo.record_count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_ContentRead_MemcpyBaseline(benchmark::State& state) {
    const std::string& bytes = sample_content();
    std::string copy(bytes.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

}  // namespace

BENCHMARK(BM_ContentRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContentRead_MemcpyBaseline)->Unit(benchmark::kMillisecond);
