// `qvtool check` of the sample, against loading the sample's project (the
// step every check starts with), in one run: BM_Baseline_SampleProjectLoad
// reads project.json and the files it names into the content model;
// BM_Check_Sample runs the whole portability check of the loaded sample
// (every program through the reference GLSL front end, linked, and the
// limits). The check's own time is the figure to hold under 0.5 s.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <nlohmann/json.hpp>

#include "check/portability_check.h"
#include "serialization/demo.h"
#include "serialization/file_io.h"

namespace {

const std::filesystem::path kSample = std::filesystem::path(QV_SOURCE_DIR) / "examples/sample";

std::unique_ptr<Demo> load_sample() {
    std::ifstream in(kSample / "project.json");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const nlohmann::json json = nlohmann::json::parse(text);
    WorkingDirectory folder(kSample);
    auto demo = std::make_unique<Demo>();
    demo->from_json(json);
    return demo;
}

bool prepared() { return system("bash " QV_SOURCE_DIR "/examples/sample/prepare.sh") == 0; }

void BM_Baseline_SampleProjectLoad(benchmark::State& state) {
    if (!prepared()) return state.SkipWithError("the sample's files could not be made");
    for (auto _ : state) benchmark::DoNotOptimize(load_sample());
}

void BM_Check_Sample(benchmark::State& state) {
    if (!prepared()) return state.SkipWithError("the sample's files could not be made");
    const auto demo = load_sample();
    check_demo(*demo);  // the front end's built-in tables are made once per process
    for (auto _ : state) benchmark::DoNotOptimize(check_demo(*demo));
}

// The first check of a process, as `qvtool check` runs it: with the front
// end's start-up.
void BM_Check_SampleFirstInProcess(benchmark::State& state) {
    if (!prepared()) return state.SkipWithError("the sample's files could not be made");
    for (auto _ : state) {
        const int status = system(("cd " + kSample.string() + " && " + std::string(QV_BINARY_DIR) +
                                   "/qvtool check project.json > /dev/null")
                                      .c_str());
        if (status != 0) state.SkipWithError("qvtool check of the sample failed");
    }
}

}  // namespace

BENCHMARK(BM_Baseline_SampleProjectLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Check_Sample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Check_SampleFirstInProcess)->Unit(benchmark::kMillisecond)->Iterations(5);
