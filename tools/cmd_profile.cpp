// qvtool profile: draws a range of beats offline and tells what every graph
// node costs, CPU and GPU, most expensive first.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "app/hidden_gl_window.h"
#include "app/playback_setup.h"
#include "app/playback_state.h"
#include "audio/sound_analysis.h"
#include "nodes/graph.h"
#include "nodes/node_profiler.h"
#include "preview/preview_load.h"
#include "serialization/content_trailer.h"
#include "serialization/file_io.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/offline_device.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWarmUpFrames = 3;  // first runs make GL objects and compile: not what a frame costs
constexpr double kMaxFrames = 100000;

struct ProfileOptions {
    std::string input;
    double from = 0, to = 0, fps = 60;
    int width = 1280, height = 720;
};

int parse(const std::vector<std::string>& args, ProfileOptions& o) {
    bool have_from = false, have_to = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takes_value = a == "--from" || a == "--to" || a == "--size" || a == "--fps";
        if (takes_value && i + 1 >= args.size()) return usage_error("profile", a + " needs a value");
        if (a == "--size") {
            const std::string s = args[++i];
            if (!parse_size(s, o.width, o.height))
                return usage_error("profile", "--size wants WIDTHxHEIGHT between 16 and 8192, not '" + s + "'");
        } else if (takes_value) {
            const std::string v = args[++i];
            double n = 0;
            if (!parse_number(v, n))
                return usage_error("profile", a + " wants a number, not '" + v + "'");
            if (a == "--from") o.from = n, have_from = true;
            else if (a == "--to") o.to = n, have_to = true;
            else o.fps = n;
        } else if (!a.empty() && a[0] == '-') {
            return usage_error("profile", "unknown option '" + a + "'");
        } else if (o.input.empty()) {
            o.input = a;
        } else {
            return usage_error("profile", "unexpected argument '" + a + "'");
        }
    }
    if (o.input.empty()) return usage_error("profile", "no content or project file given");
    if (!have_from || !have_to) return usage_error("profile", "give --from B --to B");
    if (o.to < o.from) return usage_error("profile", "--to must not be before --from");
    if (o.fps <= 0 || o.fps > 1000) return usage_error("profile", "--fps must be between 0 and 1000");
    return -1;
}

void load(Demo& demo, const std::string& path, const OfflineDevice& device) {
    const std::vector<uint8_t> bytes = read_whole_file(path);
    const auto context = static_cast<SDL_GLContext>(device.gl.context);
    if (is_project_path(path)) {
        nlohmann::json json;
        try {
            json = nlohmann::json::parse(bytes.begin(), bytes.end());
        } catch (const nlohmann::json::exception& e) {
            throw ContentError(path + ": " + e.what());
        }
        WorkingDirectory folder(fs::absolute(path).parent_path());
        load_demo(demo, [&](LoadHooks& hooks) { demo.from_json_with(json, hooks); }, nullptr, device.gl.window, context);
    } else {
        const ContentSpan span = content_span(bytes.data(), bytes.size());
        load_demo(
            demo,
            [&](LoadHooks& hooks) {
                ContentReader in(bytes.data() + span.offset, span.size);
                demo.read_with(in, hooks);
            },
            nullptr, device.gl.window, context);
    }
    if (!demo.graph) throw ContentError(path + ": no graph");
}

void print_table(const Nodes::NodeCostTable::Summary& s) {
    const auto stat = [](const Nodes::NodeCostTable::Stat& v, bool known) {
        if (!known) return std::printf("%9s %8s %8s", "-", "-", "-");
        return std::printf("%9.3f %8.3f %8.3f", v.mean, v.p95, v.max);
    };
    std::printf("%-28s %9s %8s %8s %9s %8s %8s %6s\n", "node (ms per frame)", "cpu mean", "p95", "max", "gpu mean",
                "p95", "max", "share");
    for (const auto& r : s.rows) {
        std::printf("%-28s ", r.name.c_str());
        stat(r.cpu_ms, true);
        std::printf(" ");
        stat(r.gpu_ms, s.gpu);
        std::printf(" %5.1f%%\n", 100.0 * (s.gpu ? r.gpu_share : r.cpu_share));
    }
    std::printf("%-28s ", "frame");
    stat(s.frame_cpu_ms, true);
    std::printf(" ");
    stat(s.frame_gpu_ms, s.gpu);
    std::printf("\n");
}

}  // namespace

int run_profile(const std::vector<std::string>& args) {
    ProfileOptions o;
    if (int status = parse(args, o); status >= 0) return status;
    OfflineDevice device("qvtool profile", o.width, o.height);
    PlaybackState& state = playback();

    // Kept for the life of the process, like the player's demo.
    Demo& demo = *new Demo;
    {
        StdoutToStderr quiet;
        load(demo, o.input, device);
    }
    if (demo.bpm <= 0 || !std::isfinite(demo.bpm)) throw ContentError("the demo's tempo is not a positive number");
    prepare_sound_analysis();

    const double step = demo.bpm / 60.0 / o.fps;
    const double count_exact = std::floor((o.to - o.from) / step + 1e-9) + 1;
    if (count_exact > kMaxFrames) return usage_error("profile", "more than 100000 frames asked for");
    const int count = static_cast<int>(count_exact);

    Nodes::NodeCostTable table(static_cast<size_t>(count));
    Nodes::NodeProfiler profiler(table);
    for (int i = -kWarmUpFrames; i < count; ++i) {
        const float beat = static_cast<float>(o.from + std::max(i, 0) * step);
        state.current_beat = beat;
        state.render_size.render_width = o.width;
        state.render_size.render_height = o.height;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glViewport(0, 0, o.width, o.height);
        const bool measured = i >= 0;
        if (measured) {
            demo.graph->run_observer = &profiler;
            profiler.begin_frame(static_cast<double>(i) / o.fps);
        }
        demo.graph->evaluate(demo, beat);
        if (measured) profiler.end_frame();
        SDL_GL_SwapWindow(device.gl.window);
    }
    profiler.finish();
    demo.graph->run_observer = nullptr;

    const auto summary = table.summarize();
    std::printf("%s: %zu frames of beats %g to %g at %dx%d%s\n", o.input.c_str(), summary.frames, o.from, o.to, o.width,
                o.height, profiler.measures_gpu() ? "" : " (no GPU timer queries here: CPU times only)");
    print_table(summary);
    return 0;
}
