// What the cost panel adds to a frame, against the same frame without it,
// in one run: BM_Frame_CostPanel draws the sample at 640x360, frames
// alternating in pairs between the panel closed (no observer, no queries)
// and open (CPU clock and GPU timer queries around every node run, results
// read back and summarised as the panel does each frame), each frame
// finished on the GPU. Counters: frame_ms_closed, frame_ms_open and
// open_over_closed.
#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "app/hidden_gl_window.h"
#include "app/playback_setup.h"
#include "app/playback_state.h"
#include "nodes/graph.h"
#include "preview/cost_panel.h"
#include "preview/preview_load.h"
#include "serialization/demo.h"

namespace {

void BM_Frame_CostPanel(benchmark::State& state) {
    if (system("bash " QV_SOURCE_DIR "/examples/sample/prepare.sh") != 0) {
        state.SkipWithError("the sample's files could not be made");
        return;
    }
    const int w = 640, h = 360;
    HiddenGlWindow gl;
    if (const std::string why = open_hidden_gl_window("cost panel bench", w, h, gl); !why.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    prepare_playback_gl();
    PlaybackState& playback_state = playback();
    playback_state.render_size = RenderSize{w, h, w, h};
    playback_state.window_actual_width = w;
    playback_state.window_actual_height = h;
    const std::string project = std::string(QV_SOURCE_DIR) + "/examples/sample/project.json";
    PreviewLoad load = load_for_preview(project, gl.window, static_cast<SDL_GLContext>(gl.context));
    if (!load.demo) {
        state.SkipWithError("the sample did not load");
        close_hidden_gl_window(gl);
        return;
    }
    Demo& demo = *load.demo;
    CostPanel panel;
    double beat = 16;
    auto frame = [&](bool open) {
        if (open != panel.is_open()) panel.toggle();
        const auto start = std::chrono::steady_clock::now();
        const double now = std::chrono::duration<double>(start.time_since_epoch()).count();
        playback_state.current_beat = static_cast<float>(beat);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, w, h);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        panel.begin_frame(*demo.graph, now);
        demo.graph->evaluate(demo, playback_state.current_beat);
        panel.end_frame(*demo.graph);
        if (open) benchmark::DoNotOptimize(panel.status(now));
        glFinish();
        beat += 0.05;
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    for (int i = 0; i < 10; ++i) frame(i % 2 == 0);  // first runs make GL objects
    double closed_ms = 0, open_ms = 0;
    int pairs = 0;
    for (auto _ : state) {
        // Pairs in both orders, so neither side always follows the other.
        const bool open_first = pairs % 2 == 0;
        const double a = frame(open_first), b = frame(!open_first);
        open_ms += open_first ? a : b;
        closed_ms += open_first ? b : a;
        ++pairs;
    }
    state.counters["frame_ms_closed"] = closed_ms / pairs;
    state.counters["frame_ms_open"] = open_ms / pairs;
    state.counters["open_over_closed"] = closed_ms > 0 ? open_ms / closed_ms : 0;
    release_demo_gpu(demo);
    load.demo.reset();
    close_hidden_gl_window(gl);
}

}  // namespace

BENCHMARK(BM_Frame_CostPanel)->Iterations(200)->Unit(benchmark::kMillisecond);
