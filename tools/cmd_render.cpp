// qvtool render: offline, deterministic rendering of exact beats to PNG files.
//
// Every frame is drawn at its beat with the sound analysis computed from the
// decoded music at that beat's time, so sound-reactive demos render the same
// every time. The music is written beside the frames as WAV.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>

#include "app/device_loader.h"
#include "app/hidden_gl_window.h"
#include "app/playback_state.h"
#include "audio/audio_device.h"
#include "audio/sound_analysis.h"
#include "audio/sound_decode.h"
#include "render/render_gl.h"
#include "render/render_nodes_gl.h"
#include "serialization/content_trailer.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/png_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
constexpr int kChunkFrames = 1024;

struct RenderOptions {
    std::string input, output;
    bool single = false;
    double beat = 0, from = 0, to = 0, fps = 30;
    int width = 1280, height = 720;
};

bool parse_number(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && !text.empty() && std::isfinite(out);
}

// Returns an exit status when the arguments are unusable, else -1.
int parse(const std::vector<std::string>& args, RenderOptions& o) {
    bool have_beat = false, have_from = false, have_to = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takes_value = a == "-o" || a == "--beat" || a == "--from" || a == "--to" || a == "--fps" ||
                                 a == "--size";
        if (takes_value && i + 1 >= args.size()) return usage_error("render", a + " needs a value");
        double v = 0;
        if (a == "-o") o.output = args[++i];
        else if (a == "--size") {
            const std::string s = args[++i];
            if (std::sscanf(s.c_str(), "%dx%d", &o.width, &o.height) != 2 || o.width < 16 || o.height < 16 ||
                o.width > 8192 || o.height > 8192)
                return usage_error("render", "--size wants WIDTHxHEIGHT between 16 and 8192, not '" + s + "'");
        } else if (takes_value) {
            if (!parse_number(args[++i], v)) return usage_error("render", a + " wants a number, not '" + args[i] + "'");
            if (a == "--beat") o.beat = v, have_beat = true;
            else if (a == "--from") o.from = v, have_from = true;
            else if (a == "--to") o.to = v, have_to = true;
            else o.fps = v;
        } else if (!a.empty() && a[0] == '-') {
            return usage_error("render", "unknown option '" + a + "'");
        } else if (o.input.empty()) {
            o.input = a;
        } else {
            return usage_error("render", "unexpected argument '" + a + "'");
        }
    }
    if (o.input.empty()) return usage_error("render", "no content file given");
    if (o.output.empty()) return usage_error("render", "no output given (-o FILE or -o DIR)");
    if (have_beat == (have_from || have_to)) return usage_error("render", "give either --beat B or --from B --to B");
    if (!have_beat && !(have_from && have_to)) return usage_error("render", "--from and --to go together");
    if (!have_beat && o.to < o.from) return usage_error("render", "--to must not be before --from");
    if (o.fps <= 0 || o.fps > 1000) return usage_error("render", "--fps must be between 0 and 1000");
    o.single = have_beat;
    return -1;
}

// The music decoded to 44.1 kHz signed 16-bit stereo, as the mixer plays it.
std::vector<int16_t> decode_music(const Demo& demo) {
    std::string why;
    std::vector<int16_t> pcm =
        decode_music_pcm(demo.music, &why, music_bound_frames(demo.end_beat, demo.beat_offset, demo.bpm, kRate));
    if (pcm.empty() && !why.empty())
        std::fprintf(stderr, "qvtool render: the music does not decode (%s); rendering silence\n", why.c_str());
    return pcm;
}

void write_wav(const std::string& path, const std::vector<int16_t>& pcm) {
    const uint32_t data_bytes = static_cast<uint32_t>(pcm.size() * 2);
    std::string out;
    auto put = [&](const void* bytes, size_t n) { out.append(static_cast<const char*>(bytes), n); };
    auto put32 = [&](uint32_t v) { put(&v, 4); };
    auto put16 = [&](uint16_t v) { put(&v, 2); };
    out += "RIFF";
    put32(36 + data_bytes);
    out += "WAVEfmt ";
    put32(16);
    put16(1);  // PCM
    put16(2);
    put32(kRate);
    put32(kRate * 4);
    put16(4);
    put16(16);
    out += "data";
    put32(data_bytes);
    put(pcm.data(), data_bytes);
    write_whole_file(path, out.data(), out.size());
}

// The analysis of the chunk that the mixer would have just played at `beat`:
// the 1024 frames ending at that time (silence before the music and after it).
void analyse_at(const std::vector<int16_t>& pcm, const Demo& demo, double beat) {
    const double ms = (beat + demo.beat_offset) * 60000.0 / demo.bpm;
    const int64_t end_frame = static_cast<int64_t>(std::floor(ms * kRate / 1000.0));
    int16_t chunk[kChunkFrames * 2] = {};
    const int64_t frames = static_cast<int64_t>(pcm.size() / 2);
    for (int i = 0; i < kChunkFrames; ++i) {
        const int64_t f = end_frame - kChunkFrames + i;
        if (f >= 0 && f < frames) {
            chunk[2 * i] = pcm[static_cast<size_t>(2 * f)];
            chunk[2 * i + 1] = pcm[static_cast<size_t>(2 * f + 1)];
        }
    }
    analyse_mixed_chunk(reinterpret_cast<const uint8_t*>(chunk), sizeof chunk);
}

// The back buffer as RGB rows, top row first. GL rows go up from the
// bottom; image rows go down from the top. The alpha channel is what the demo
// blended, not a picture: frames are opaque.
std::vector<uint8_t> read_frame_rgb(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = &pixels[static_cast<size_t>(height - 1 - y) * width * 4];
        uint8_t* to = &rgb[static_cast<size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            to[x * 3] = from[x * 4];
            to[x * 3 + 1] = from[x * 4 + 1];
            to[x * 3 + 2] = from[x * 4 + 2];
        }
    }
    return rgb;
}

// Writes each frame's PNG on a worker while the next frame is drawn; at most
// one write is in flight, so memory stays at two frames.
class FrameWriter {
public:
    ~FrameWriter() {
        if (pending_.valid()) pending_.wait();
    }
    void write(std::string path, int width, int height, std::vector<uint8_t> rgb) {
        finish();
        pending_ = std::async(std::launch::async, [path = std::move(path), width, height, rgb = std::move(rgb)] {
            const std::string why = write_png_rgb(path, width, height, rgb.data());
            return why.empty() ? why : "cannot write " + path + ": " + why;
        });
    }
    // Waits for the write in flight; throws if it failed.
    void finish() {
        if (!pending_.valid()) return;
        if (const std::string why = pending_.get(); !why.empty()) throw ContentError(why);
    }

private:
    std::future<std::string> pending_;
};

void progress(size_t done, size_t total, std::chrono::steady_clock::time_point start) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double left = done ? elapsed / static_cast<double>(done) * static_cast<double>(total - done) : 0.0;
    const int width = 30;
    const int filled = static_cast<int>(static_cast<double>(width) * static_cast<double>(done) / static_cast<double>(total));
    std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu frames, %.1f s left   ", filled, "==============================",
                 width - filled, "", done, total, left);
    if (done == total) std::fprintf(stderr, "\n");
}

// SDL, the mixer (dummy driver: nothing is heard) and a hidden window of the
// frame size with its GL context.
struct Device {
    HiddenGlWindow gl;
    ~Device() {
        close_hidden_gl_window(gl);
        Mix_CloseAudio();
        SDL_Quit();
    }
};

}  // namespace

int run_render(const std::vector<std::string>& args) {
    RenderOptions o;
    if (int status = parse(args, o); status >= 0) return status;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "qvtool render: needs an X display (run it under xvfb-run on a headless machine)\n");
        return 1;
    }
    const std::string output = fs::absolute(o.output).string();
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    Device device;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) throw ContentError(std::string("SDL: ") + SDL_GetError());
    if (Mix_OpenAudio(kRate, AUDIO_S16LSB, 2, kChunkFrames) == -1)
        throw ContentError(std::string("mixer: ") + Mix_GetError());
    TTF_Init();
    if (const std::string why = open_hidden_gl_window("qvtool render", o.width, o.height, device.gl); !why.empty())
        throw ContentError(why);

    PlaybackState& state = playback();
    state.render_size = RenderSize{o.width, o.height, o.width, o.height};
    state.window_actual_width = o.width;
    state.window_actual_height = o.height;
    state.mixer_frequency = kRate;
    state.mixer_channels = 2;
    glClearColor(0, 0, 0, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    install_render_node_runs();

    // Load as the player does, without loading frames; the demo is kept for
    // the life of the process like the player's.
    const std::vector<uint8_t> file = read_whole_file(o.input);
    ContentSpan span{0, file.size()};
    if (auto trailer = find_trailer(file.data(), file.size())) span = *trailer;
    Demo& demo = *new Demo;
    {
        DeviceLoadHooks hooks(nullptr, device.gl.window, static_cast<SDL_GLContext>(device.gl.context));
        ContentReader in(file.data() + span.offset, span.size);
        demo.read_with(in, hooks);
    }
    finish_loading(demo);
    state.default_white_texture = create_solid_texture(1, 1, 1, 1);
    // As the player does before its first frame: effects that fill resources
    // later frames sample (a scene's shadow map) draw once.
    for (auto& effect : demo.effects) draw_effect(*effect);
    if (demo.bpm <= 0 || !std::isfinite(demo.bpm)) throw ContentError("the demo's tempo is not a positive number");

    const std::vector<int16_t> pcm = decode_music(demo);
    prepare_sound_analysis();

    std::vector<double> beats;
    std::string frame_folder;
    if (o.single) {
        beats.push_back(o.beat);
    } else {
        const double step = demo.bpm / 60.0 / o.fps;  // beats per frame
        const double count = std::floor((o.to - o.from) / step + 1e-9) + 1;
        if (count > 1e6) return usage_error("render", "more than a million frames asked for");
        for (int64_t i = 0; i < static_cast<int64_t>(count); ++i) beats.push_back(o.from + static_cast<double>(i) * step);
        fs::create_directories(output);
        frame_folder = output;
    }

    const auto start = std::chrono::steady_clock::now();
    FrameWriter writer;
    for (size_t i = 0; i < beats.size(); ++i) {
        const float beat = static_cast<float>(beats[i]);
        state.current_beat = beat;
        state.render_size.render_width = o.width;
        state.render_size.render_height = o.height;
        analyse_at(pcm, demo, beats[i]);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glViewport(0, 0, state.render_size.render_width, state.render_size.render_height);
        demo.graph->evaluate(demo, beat);
        glFinish();
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06zu.png", i);
        const std::string path = o.single ? output : frame_folder + "/" + name;
        writer.write(path, o.width, o.height, read_frame_rgb(o.width, o.height));
        SDL_GL_SwapWindow(device.gl.window);
        progress(i + 1, beats.size(), start);
    }
    writer.finish();
    const std::string wav = o.single ? fs::path(output).replace_extension(".wav").string() : frame_folder + "/music.wav";
    write_wav(wav, pcm);
    std::printf("wrote %zu frame%s and %s\n", beats.size(), beats.size() == 1 ? "" : "s", wav.c_str());
    return 0;
}
