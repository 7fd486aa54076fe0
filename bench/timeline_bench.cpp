// Per-frame cost of a uniforms event: every definition of an active event is
// evaluated once per frame (track lookup by name, linear scan of its points,
// interpolation). The baseline copies the same number of floats, the least a
// node could do to fill its outputs; the counter "time_per_def" compares them.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "timeline/timeline.h"

namespace {

constexpr int kDefinitions = 8;
constexpr int kPointsPerTrack = 16;
constexpr float kSpanBeats = 16.0f;

Event make_event(int32_t mode) {
    Event e;
    e.type = EventType::uniforms;
    e.name = "flash";
    e.start_beat = 128.0f;
    e.end_beat = e.start_beat + kSpanBeats;
    uint32_t seed = 12345;
    for (int d = 0; d < kDefinitions; ++d) {
        UniformDef def;
        def.name = "uniform_" + std::to_string(d);
        ControlPointTrack& track = e.track(def.name);
        track.mode = mode;
        for (int p = 0; p < kPointsPerTrack; ++p) {
            seed = seed * 1664525u + 1013904223u;
            track.points.emplace_back(static_cast<float>(p), static_cast<float>(seed >> 8) / 16777216.0f);
        }
        e.uniform_defs.push_back(def);
    }
    return e;
}

void finish(benchmark::State& state) {
    // Seconds of CPU time per definition, printed with an SI prefix ("39n").
    state.counters["time_per_def"] = benchmark::Counter(
        kDefinitions, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Frame beats walk through the whole span so that scans of every length occur.
float next_beat(float beat) {
    beat += 0.37f;
    return beat >= 128.0f + kSpanBeats ? beat - kSpanBeats : beat;
}

void BM_Timeline_EvaluateUniforms(benchmark::State& state) {
    Event e = make_event(static_cast<int32_t>(state.range(0)));
    float outputs[kDefinitions];
    float beat = 128.0f;
    for (auto _ : state) {
        if (e.is_active(beat)) {
            for (int d = 0; d < kDefinitions; ++d) outputs[d] = e.evaluate_value(e.uniform_defs[d].name, beat);
        }
        benchmark::DoNotOptimize(outputs);
        benchmark::ClobberMemory();
        beat = next_beat(beat);
    }
    finish(state);
    state.SetLabel(interpolation_mode_name(static_cast<int32_t>(state.range(0))));
}
BENCHMARK(BM_Timeline_EvaluateUniforms)->Arg(InterpolationMode::linear)->Arg(InterpolationMode::smooth);

void BM_Timeline_BaselineCopyFloats(benchmark::State& state) {
    float source[kDefinitions];
    for (int d = 0; d < kDefinitions; ++d) source[d] = static_cast<float>(d) * 0.25f;
    float outputs[kDefinitions];
    for (auto _ : state) {
        benchmark::DoNotOptimize(source);
        std::memcpy(outputs, source, sizeof outputs);
        benchmark::DoNotOptimize(outputs);
        benchmark::ClobberMemory();
    }
    finish(state);
}
BENCHMARK(BM_Timeline_BaselineCopyFloats);

}  // namespace
