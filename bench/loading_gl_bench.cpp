// Time from starting the player to the end of its first frame, for a content
// of N noisy PNG textures (heavy) against one of N one-byte data records
// (light), each iteration running both. The loading screen's floor (a swap
// and 20 ms per record) is the same for both, so heavy / light near 1 means
// the decoding hid behind the loading frames. The "single" cases run the
// player with QV_LOAD_WORKERS=0 (every decode on the reading thread, in
// turn). decode_ms is what decoding the heavy pictures one after another
// takes in this process, without GL: with W workers, loading cannot beat
// max(light, decode_ms / W).
//
// Runs qvplayer (built beside it) with content.dat in a scratch folder and
// an end beat the first frame passes. Needs X (run under xvfb-run) and
// SDL_AUDIODRIVER=dummy without a sound card.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <SDL_image.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "render/render_gl.h"
#include "serialization/content_writer.h"
#include "serialization/decode_pool.h"
#include "serialization/demo.h"
#include "serialization/file_io.h"
#include "tests/support/png_bytes.h"

namespace {

// Smooth gradients under four bits of noise: deflate cannot skip it, so
// decoding costs what real photographs of that size cost.
std::vector<uint8_t> noisy_png(int size, uint32_t seed) {
    std::mt19937 noise(seed);
    std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        uint8_t* row = rgba.data() + static_cast<size_t>(y) * size * 4;
        for (int x = 0; x < size; ++x) {
            const uint32_t r = noise();
            row[4 * x + 0] = static_cast<uint8_t>((x * 255 / size) ^ (r & 15));
            row[4 * x + 1] = static_cast<uint8_t>((y * 255 / size) ^ ((r >> 4) & 15));
            row[4 * x + 2] = static_cast<uint8_t>(((x + y) * 127 / size) ^ ((r >> 8) & 15));
            row[4 * x + 3] = 255;
        }
    }
    return gl_test::png_bytes(size, size, rgba);
}

struct Contents {
    std::filesystem::path heavy, light;  // folders holding content.dat
    double decode_ms = 0;                // heavy pictures decoded one after another
};

void write_content(const Demo& demo, const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    ContentWriter out;
    demo.write(out);
    std::ofstream(folder / "content.dat", std::ios::binary).write(out.bytes().data(), out.bytes().size());
}

// The scratch folder goes when the benchmark program ends.
struct Scratch {
    std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("qv_loading_bench_" + std::to_string(getpid()));
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

const Contents& contents(int count, int size) {
    static Scratch scratch;
    static std::map<std::pair<int, int>, Contents> made;
    auto it = made.find({count, size});
    if (it != made.end()) return it->second;

    const std::filesystem::path root = scratch.root / (std::to_string(count) + "x" + std::to_string(size));
    Contents c{root / "heavy", root / "light", 0};
    Demo heavy;
    heavy.end_beat = -100;  // the first frame, at beat -0.5, passes it
    Demo light;
    light.end_beat = -100;
    for (int i = 0; i < count; ++i) {
        heavy.textures.push_back(std::make_unique<Texture>("t" + std::to_string(i) + ".png",
                                                           ByteBuffer(noisy_png(size, static_cast<uint32_t>(i)))));
        auto data = std::make_unique<Data>();
        data->name = "d" + std::to_string(i);
        data->buffer.data = {1};
        light.datas.push_back(std::move(data));
    }
    const auto start = std::chrono::steady_clock::now();
    for (const auto& t : heavy.textures) benchmark::DoNotOptimize(decode_texture(*t, 1 << 14));
    c.decode_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    write_content(heavy, c.heavy);
    write_content(light, c.light);
    return made.emplace(std::make_pair(count, size), c).first->second;
}

#ifndef QV_PLAYER_PATH
#define QV_PLAYER_PATH "qvplayer"  // built without the player: the run fails and says so
#endif

// Seconds from fork to the player's exit (its first frame, then shut-down);
// -1 when it failed. `wine` runs the program under Wine.
double run_player(const std::filesystem::path& folder, bool single_thread, const char* program = QV_PLAYER_PATH,
                  bool wine = false) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (single_thread)
            setenv("QV_LOAD_WORKERS", "0", 1);
        else
            unsetenv("QV_LOAD_WORKERS");
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        if (wine)
            execlp("wine", "wine", program, static_cast<char*>(nullptr));
        else
            execl(program, "qvplayer", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration runs the light and the heavy content with workers and then
// in one thread, so drift in the machine's load touches all four alike; the
// figures are the best of the iterations. Manual time = the heavy run with
// workers.
void BM_FirstFrame(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const Contents& c = contents(count, size);
    double light = 1e9, heavy = 1e9, light_single = 1e9, heavy_single = 1e9;
    for (auto _ : state) {
        const double runs[4] = {run_player(c.light, false), run_player(c.heavy, false), run_player(c.light, true),
                                run_player(c.heavy, true)};
        for (double r : runs)
            if (r < 0) {
                state.SkipWithError("the player failed (needs X and SDL_AUDIODRIVER=dummy)");
                return;
            }
        light = std::min(light, runs[0]);
        heavy = std::min(heavy, runs[1]);
        light_single = std::min(light_single, runs[2]);
        heavy_single = std::min(heavy_single, runs[3]);
        state.SetIterationTime(runs[1]);
    }
    const double workers = static_cast<double>(DecodePool::default_workers());
    state.counters["light_ms"] = 1000 * light;
    state.counters["heavy_ms"] = 1000 * heavy;
    state.counters["heavy_over_light"] = heavy / light;
    state.counters["single_light_ms"] = 1000 * light_single;
    state.counters["single_heavy_ms"] = 1000 * heavy_single;
    state.counters["single_heavy_over_light"] = heavy_single / light_single;
    state.counters["decode_ms"] = c.decode_ms;
    state.counters["workers"] = workers;
    // At the floor: heavy no more than the larger of light and decode / W.
    state.counters["over_floor"] = 1000 * heavy / std::max(1000 * light, c.decode_ms / workers);
}

// A command whose failure shows in what follows it.
void shell(const char* command) {
    if (system(command) != 0) return;
}

// The sample to its first frame with the release players (scripts/build-players)
// against build/qvplayer, each iteration running all three: the Linux release
// player (static SDL, its own X11 and sound back-ends opened at run time) and
// the Windows one under Wine, whose server is kept running for the benchmark
// as it is on a desktop after the first program. Counters in milliseconds,
// best of the iterations, and the Linux release player over build/qvplayer.
void BM_FirstFrame_ReleasePlayers(benchmark::State& state) {
    static Scratch scratch;
    const std::filesystem::path players = std::filesystem::path(QV_SOURCE_DIR) / "dist/players";
    const std::string linux_player = (players / "linux-x86_64/qvplayer").string();
    const std::string windows_player = (players / "windows-x86_64/qvplayer.exe").string();
    if (!std::filesystem::exists(linux_player) || !std::filesystem::exists(windows_player))
        return state.SkipWithError("no release players (run scripts/build-players)");
    if (system("bash " QV_SOURCE_DIR "/examples/sample/prepare.sh") != 0)
        return state.SkipWithError("the sample's files could not be made");
    const std::filesystem::path folder = scratch.root / "sample";
    {
        std::ifstream in(QV_SOURCE_DIR "/examples/sample/project.json");
        const nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
        if (json.is_discarded()) return state.SkipWithError("the sample's project does not parse");
        WorkingDirectory sample(QV_SOURCE_DIR "/examples/sample");
        Demo demo;
        demo.from_json(json);
        demo.end_beat = -100;
        write_content(demo, folder);
    }
    const std::string prefix = std::string(getenv("QV_PLAYER_CACHE") ? getenv("QV_PLAYER_CACHE")
                                                                       : QV_SOURCE_DIR "/.cache/players") +
                               "/wine-prefix";
    setenv("WINEPREFIX", prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    if (system("wineserver -p >/dev/null 2>&1") != 0) return state.SkipWithError("no wineserver (install wine)");
    // Without a window manager (Xvfb) Wine otherwise waits two seconds for
    // each closed window; this also makes the prefix on a first run.
    shell("wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f >/dev/null 2>&1");
    double build = 1e9, release = 1e9, wine = 1e9;
    for (auto _ : state) {
        const double runs[3] = {run_player(folder, false), run_player(folder, false, linux_player.c_str()),
                                run_player(folder, false, windows_player.c_str(), true)};
        for (double r : runs)
            if (r < 0) {
                state.SkipWithError("a player failed (needs X, SDL_AUDIODRIVER=dummy and Wine)");
                shell("wineserver -k >/dev/null 2>&1");
                return;
            }
        build = std::min(build, runs[0]);
        release = std::min(release, runs[1]);
        wine = std::min(wine, runs[2]);
        state.SetIterationTime(runs[1]);
    }
    shell("wineserver -k >/dev/null 2>&1");
    state.counters["build_qvplayer_ms"] = 1000 * build;
    state.counters["release_linux_ms"] = 1000 * release;
    state.counters["release_windows_wine_ms"] = 1000 * wine;
    state.counters["release_over_build"] = release / build;
    state.counters["linux_player_bytes"] = static_cast<double>(std::filesystem::file_size(linux_player));
    state.counters["windows_player_bytes"] = static_cast<double>(std::filesystem::file_size(windows_player));
}

BENCHMARK(BM_FirstFrame_ReleasePlayers)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// {count, size}
BENCHMARK(BM_FirstFrame)->Args({40, 512})->Args({20, 2048})->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
