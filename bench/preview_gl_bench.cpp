// How fast the live preview shows a save, against the raw work it stands on,
// measured in the same run:
//  - BM_Preview_ShaderSave/0 (the sample) and /1 (a one-program project,
//    whose frames cost next to nothing): a shader file rewritten to the first frame drawn
//    with the new program (the preview's own save-to-swap figure, from the
//    file's write time), against BM_Baseline_ShaderBuild, compiling and
//    linking the same source once in this process.
//  - BM_Preview_SampleSave: the sample's project.json rewritten to the first
//    frame of the re-read project, against BM_Baseline_SampleLoad, loading
//    the sample once in this process through the same loading path.
//  - BM_Preview_FrameTime: the preview's mean CPU time per frame on the
//    sample with the overlay and without; counter overlay_over_plain.
//  - BM_Preview_EditToFrame: `key move` then `screenshot` (answered after the
//    next frame) on a project of 1,000 events and some 20,000 keys, against
//    `screenshot` alone on the same preview; counter edit_over_frame.
//  - BM_Preview_TimelinePanel: the preview's CPU time per frame on that
//    project with the timeline panel shown and with the overlay's strip
//    only; counters panel_ms (the difference) and panel_over_strip.
// Each save case runs 20 repetitions and reports median and max. The preview
// runs as a child process (build/qvtool) on the same display; needs X.
#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/hidden_gl_window.h"
#include "app/playback_setup.h"
#include "preview/preview_load.h"
#include "render/render_gl.h"
#include "serialization/demo.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(QV_SOURCE_DIR) / "examples/sample";

fs::path tool_path() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "qvtool"; }

// The preview as a child with its control channel on two pipes.
class PreviewProcess {
public:
    explicit PreviewProcess(const std::vector<std::string>& args) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            close(in[1]);
            close(out[0]);
            std::vector<std::string> all = {tool_path().string(), "preview"};
            all.insert(all.end(), args.begin(), args.end());
            all.push_back("--control");
            all.push_back("-");
            std::vector<char*> argv;
            for (auto& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~PreviewProcess() {
        if (pid_ <= 0) return;
        ask("quit", 2000);
        close(to_);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    bool ok() const { return pid_ > 0; }

    // The next JSON answer after sending `line`; null after `timeout_ms`.
    nlohmann::json ask(const std::string& line, int timeout_ms = 60000) {
        const std::string text = line + "\n";
        if (write(to_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return nullptr;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                const std::string got = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (!got.empty() && got[0] == '{') return nlohmann::json::parse(got, nullptr, false);
                continue;
            }
            const int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
            if (left <= 0) return nullptr;
            pollfd p{from_, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) return nullptr;
            char chunk[4096];
            const ssize_t n = read(from_, chunk, sizeof chunk);
            if (n <= 0) return nullptr;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    // Polls status until the reload count passes `count`; the status, or null.
    nlohmann::json wait_reload(int count) {
        for (int i = 0; i < 400; ++i) {
            nlohmann::json s = ask("status");
            if (s.is_null()) return s;
            if (s["reload"]["count"].get<int>() > count) return s;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return nullptr;
    }

private:
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    std::string buffer_;
};

// The frame time once COMMAND has been in effect for 40 frames: the preview
// smooths its frame time over some 20.
double settled_frame_ms(PreviewProcess& preview, const char* command) {
    preview.ask(command);
    const uint64_t from = preview.ask("status")["frame"].get<uint64_t>();
    nlohmann::json s;
    for (int i = 0; i < 600; ++i) {
        s = preview.ask("status");
        if (s["frame"].get<uint64_t>() >= from + 40) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return s["frame_ms"].get<double>();
}

fs::path scratch_copy_of_sample() {
    const fs::path dir = fs::temp_directory_path() / ("qv_preview_bench_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::copy(kSample, dir, fs::copy_options::recursive);
    return dir;
}

std::string read_text(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void write_text(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

// One program drawing to the screen: what a demo's first minutes look like,
// and a frame that costs next to nothing, so the figure is the preview's own.
fs::path scratch_small_project() {
    const fs::path dir = fs::temp_directory_path() / ("qv_preview_bench_small_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "resources");
    fs::copy(kSample / "resources/default.vert", dir / "resources/default.vert");
    write_text(dir / "resources/composite.frag",
               "#version 150\nuniform float beat;\nuniform vec2 resolution;\nout vec4 fragColor;\n"
               "void main() { fragColor = vec4(gl_FragCoord.xy / resolution, fract(beat), 1.0); }\n");
    write_text(dir / "project.json", R"({"end_beat": 64, "bpm": 120, "beat_offset": 0, "music": "",
  "shaders": [{"vertex_shader_filename": "resources/default.vert",
               "fragment_shader_filename": "resources/composite.frag", "uniform_defs": []}],
  "graph": {"root": 1, "nodes": [{"id": 1, "entryID": 5, "exitID": 6, "def": "resources/composite.frag",
    "selfActivating": false, "inputs": [{"hasValue": false}, {"hasValue": false},
    {"hasValue": true, "value": {"type": 0, "value": false}}], "inputIDs": [2, 3, 4], "outputIDs": [7],
    "connections": []}]}})");
    return dir;
}

// Range 0: the sample; 1: the small project.
void save_to_frame(benchmark::State& state, bool shader) {
    if (system("bash " QV_SOURCE_DIR "/examples/sample/prepare.sh") != 0) {
        state.SkipWithError("the sample's files could not be made");
        return;
    }
    const fs::path dir = state.range(0) == 0 ? scratch_copy_of_sample() : scratch_small_project();
    PreviewProcess preview({(dir / "project.json").string(), "--size", "320x180"});
    nlohmann::json s = preview.ok() ? preview.ask("pause") : nlohmann::json();
    if (s.is_null()) {
        state.SkipWithError("the preview did not start");
        return;
    }
    const fs::path file = shader ? dir / "resources/composite.frag" : dir / "project.json";
    const std::string original = read_text(file);
    int count = 0, edit = 0;
    for (auto _ : state) {
        // A trailing comment or space changes the file, not the picture.
        write_text(file, original + (shader ? "\n// edit " + std::to_string(++edit) + "\n" : std::string(++edit % 2, ' ')));
        s = preview.wait_reload(count);
        if (s.is_null()) {
            state.SkipWithError("no reload seen");
            break;
        }
        count = s["reload"]["count"].get<int>();
        // The figure is the first frame after the reload; make sure it is drawn.
        s = preview.ask("status");
        state.SetIterationTime(s["reload"]["save_to_frame_ms"].get<double>() / 1000.0);
        if (s["reload"]["kind"] != (shader ? "shaders" : "project")) state.SkipWithError("the wrong kind of reload");
    }
    fs::remove_all(dir);
}

void BM_Preview_ShaderSave(benchmark::State& state) { save_to_frame(state, true); }
void BM_Preview_SampleSave(benchmark::State& state) { save_to_frame(state, false); }

double max_of(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

struct Window {
    HiddenGlWindow gl;
    std::string why;
    Window() {
        why = open_hidden_gl_window("preview bench", 320, 180, gl);
        if (why.empty()) prepare_playback_gl();
    }
    ~Window() { close_hidden_gl_window(gl); }
};

void BM_Baseline_ShaderBuild(benchmark::State& state) {
    Window w;
    if (!w.why.empty()) {
        state.SkipWithError(w.why.c_str());
        return;
    }
    ShaderProgram program;
    program.fragment_shader_source = read_text(kSample / "resources/composite.frag");
    program.fragment_shader_filename = "resources/composite.frag";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        rebuild_program(program, nullptr);
        glFinish();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

void BM_Baseline_SampleLoad(benchmark::State& state) {
    Window w;
    if (!w.why.empty()) {
        state.SkipWithError(w.why.c_str());
        return;
    }
    const std::string project = (kSample / "project.json").string();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        PreviewLoad load = load_for_preview(project, w.gl.window, static_cast<SDL_GLContext>(w.gl.context));
        glFinish();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!load.errors.empty()) state.SkipWithError(load.errors.front().text().c_str());
    }
}

void BM_Preview_FrameTime(benchmark::State& state) {
    if (system("bash " QV_SOURCE_DIR "/examples/sample/prepare.sh") != 0) {
        state.SkipWithError("the sample's files could not be made");
        return;
    }
    PreviewProcess preview({(kSample / "project.json").string(), "--size", "640x360", "--beat", "20"});
    if (!preview.ok() || preview.ask("pause").is_null()) {
        state.SkipWithError("the preview did not start");
        return;
    }
    double with = 0, without = 0;
    for (auto _ : state) {
        without = settled_frame_ms(preview, "overlay off");
        with = settled_frame_ms(preview, "overlay on");
        state.SetIterationTime(with / 1000.0);
    }
    state.counters["frame_ms_plain"] = without;
    state.counters["frame_ms_overlay"] = with;
    state.counters["overlay_over_plain"] = without > 0 ? with / without : 0;
}

// `qvtool new`'s project with 999 more uniforms events of 20 keys each
// beside its own: 1,000 events and 20,044 keys. Empty path on failure.
fs::path big_timeline_project() {
    const fs::path dir = fs::temp_directory_path() / ("qv_bench_timeline_" + std::to_string(getpid()));
    fs::remove_all(dir);
    const std::string command = tool_path().string() + " new " + dir.string() + " > /dev/null 2>&1";
    if (system(command.c_str()) != 0) return {};
    nlohmann::ordered_json project;
    {
        std::ifstream in(dir / "project.json");
        project = nlohmann::ordered_json::parse(in, nullptr, false);
    }
    if (project.is_discarded()) return {};
    for (int e = 0; e < 999; ++e) {
        nlohmann::ordered_json points = nlohmann::ordered_json::array();
        for (int k = 0; k < 20; ++k) points.push_back({{"beat", k * 0.25}, {"value", (k % 4) / 3.0}});
        project["events"].push_back({{"type", 4}, {"name", "e" + std::to_string(e)}, {"visible", "true"},
                                     {"start_beat", (e % 32)}, {"end_beat", (e % 32) + 6},
                                     {"uniform_defs", {{{"name", "v"}, {"min_val", 0}, {"max_val", 1}, {"default_val", 0}}}},
                                     {"control_points", {{"v", {{"mode", 1}, {"repeat", false}, {"points", points}}}}}});
    }
    std::ofstream(dir / "project.json") << project.dump(1);
    return dir / "project.json";
}

void BM_Preview_EditToFrame(benchmark::State& state) {
    const fs::path project = big_timeline_project();
    PreviewProcess preview({project.string(), "--size", "640x360", "--beat", "0.5"});
    if (project.empty() || !preview.ok() || preview.ask("pause").is_null()) {
        state.SkipWithError("the preview did not start");
        return;
    }
    preview.ask("overlay off");
    const std::string shot = (project.parent_path() / "shot.png").string();
    const auto timed = [&](const std::string& first) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!first.empty()) preview.ask(first);
        preview.ask("screenshot " + shot);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    };
    std::vector<double> plain, edited;
    int round = 0;
    for (auto _ : state) {
        plain.push_back(timed(""));
        const double ms = timed("key move pulse glow 1 " + std::string(round++ % 2 ? "0.6" : "0.5") + " 0");
        edited.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    preview.ask("save");
    std::sort(plain.begin(), plain.end());
    std::sort(edited.begin(), edited.end());
    const double p = plain[plain.size() / 2], e = edited[edited.size() / 2];
    state.counters["frame_ms_median"] = p;
    state.counters["edit_ms_median"] = e;
    state.counters["edit_over_frame"] = p > 0 ? e / p : 0;
    fs::remove_all(project.parent_path());
}

void BM_Preview_TimelinePanel(benchmark::State& state) {
    const fs::path project = big_timeline_project();
    PreviewProcess preview({project.string(), "--size", "1280x720", "--beat", "4"});
    if (project.empty() || !preview.ok() || preview.ask("pause").is_null()) {
        state.SkipWithError("the preview did not start");
        return;
    }
    preview.ask("overlay on");
    double with = 0, without = 0;
    for (auto _ : state) {
        without = settled_frame_ms(preview, "timeline off");
        with = settled_frame_ms(preview, "timeline on");
        state.SetIterationTime(with / 1000.0);
    }
    state.counters["frame_ms_strip"] = without;
    state.counters["frame_ms_panel"] = with;
    state.counters["panel_ms"] = with - without;
    state.counters["panel_over_strip"] = without > 0 ? with / without : 0;
    fs::remove_all(project.parent_path());
}

}  // namespace

BENCHMARK(BM_Preview_EditToFrame)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Preview_TimelinePanel)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_ShaderBuild)->UseManualTime()->Iterations(1)->Repetitions(20)->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", max_of)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Preview_ShaderSave)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Repetitions(20)->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", max_of)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_SampleLoad)->UseManualTime()->Iterations(1)->Repetitions(20)->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", max_of)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Preview_SampleSave)->Arg(0)->UseManualTime()->Iterations(1)->Repetitions(20)->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", max_of)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Preview_FrameTime)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
