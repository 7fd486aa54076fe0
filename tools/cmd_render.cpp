// qvtool render: offline, deterministic rendering of exact beats to PNG files
// or to one video file with the music.
//
// Every frame is drawn at its beat with the sound analysis computed from the
// decoded music at that beat's time, so sound-reactive demos render the same
// every time and on every machine: frame i of a range is always the beat
// from + i * step, which lets a long range be split into parts rendered
// apart and joined. Frames are read back while the next is drawn and
// encoded on a worker. PNG frames get the music beside them as WAV.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/frame_readback.h"
#include "app/hidden_gl_window.h"
#include "app/playback_setup.h"
#include "app/playback_state.h"
#include "audio/audio_device.h"
#include "audio/sound_analysis.h"
#include "audio/sound_decode.h"
#include "render/render_gl.h"
#include "render/render_nodes_gl.h"
#include "serialization/content_trailer.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/offline_device.h"
#include "tools/png_frames.h"
#include "video/async_frame_sink.h"
#include "video/video_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = OfflineDevice::kRate;
constexpr int kChunkFrames = OfflineDevice::kChunkFrames;

struct RenderOptions {
    std::string input, output;
    bool single = false;
    bool to_end = false;  // --to end: the demo's end beat, known once it is loaded
    double beat = 0, from = 0, to = 0, fps = 30;
    int width = 1280, height = 720;
    bool video = false;  // output is a video file, not PNG frames
    VideoSettings encoding;
    int part = 0, parts = 1;  // --part K/N: the K-th of N equal runs of the range's frames
    bool music_only = false, no_music = false;
};

// Returns an exit status when the arguments are unusable, else -1.
int parse(const std::vector<std::string>& args, RenderOptions& o) {
    bool have_beat = false, have_from = false, have_to = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takes_value = a == "-o" || a == "--beat" || a == "--from" || a == "--to" || a == "--fps" ||
                                 a == "--size" || a == "--crf" || a == "--preset" || a == "--codec" || a == "--part";
        if (takes_value && i + 1 >= args.size()) return usage_error("render", a + " needs a value");
        double v = 0;
        if (a == "-o") o.output = args[++i];
        else if (a == "--preset") o.encoding.preset = args[++i];
        else if (a == "--codec") o.encoding.codec = args[++i];
        else if (a == "--music-only") o.music_only = true;
        else if (a == "--no-music") o.no_music = true;
        else if (a == "--to" && args[i + 1] == "end") o.to_end = have_to = true, ++i;
        else if (a == "--crf") {
            const std::string q = args[++i];
            if (!parse_number(q, v) || v != std::floor(v) || v < 0 || v > 63)
                return usage_error("render", "--crf wants a whole number from 0 to 63, not '" + q + "'");
            o.encoding.crf = static_cast<int>(v);
        } else if (a == "--part") {
            const std::string k = args[++i];
            char rest = 0;
            if (std::sscanf(k.c_str(), "%d/%d%c", &o.part, &o.parts, &rest) != 2 || o.parts < 1 || o.parts > 10000 ||
                o.part < 1 || o.part > o.parts)
                return usage_error("render", "--part wants K/N with 1 <= K <= N, not '" + k + "'");
        }
        else if (a == "--size") {
            const std::string s = args[++i];
            if (!parse_size(s, o.width, o.height))
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
    if (!have_beat && !o.to_end && o.to < o.from) return usage_error("render", "--to must not be before --from");
    if (o.fps <= 0 || o.fps > 1000) return usage_error("render", "--fps must be between 0 and 1000");
    o.single = have_beat;
    o.video = is_video_file_name(o.output);
    if (o.video && o.single) return usage_error("render", "--beat draws one PNG; give --from and --to for a video");
    if (!o.video && !o.single && looks_like_media_file_name(o.output))
        return usage_error("render", "cannot write '" + fs::path(o.output).extension().string() +
                                         "' files (write .mp4, .mkv or .webm video, or PNG frames into a folder)");
    if (!o.video && (o.music_only || o.no_music || o.parts > 1 || o.encoding.crf >= 0 ||
                     !o.encoding.preset.empty() || !o.encoding.codec.empty()))
        return usage_error("render", "--crf, --preset, --codec, --part, --music-only and --no-music are for video files");
    if (o.music_only && o.no_music) return usage_error("render", "--music-only and --no-music exclude each other");
    if (o.part == 0) o.part = 1;
    o.encoding.path = o.output;
    o.encoding.width = o.width;
    o.encoding.height = o.height;
    o.encoding.fps = o.fps;
    o.encoding.video = !o.music_only;
    o.encoding.audio = !o.no_music;
    return -1;
}

// The music decoded to 44.1 kHz signed 16-bit stereo, as the mixer plays it.
// Decoded up to `last_beat` or the demo's end, whichever is later.
std::vector<int16_t> decode_music(const Demo& demo, double last_beat) {
    std::string why;
    std::vector<int16_t> pcm =
        decode_music_pcm(demo.music, &why, music_bound_frames(std::max<double>(demo.end_beat, last_beat), demo.beat_offset, demo.bpm, kRate));
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

// The samples [begin, end) of the decoded music, silence where there is
// none (before the music and after it), so every range has its full length.
void music_slice(const std::vector<int16_t>& pcm, int64_t begin, int64_t end, std::vector<int16_t>& out) {
    out.assign(static_cast<size_t>(end - begin) * 2, 0);
    const int64_t frames = static_cast<int64_t>(pcm.size() / 2);
    const int64_t from = std::max<int64_t>(begin, 0), to = std::min(end, frames);
    if (from < to)
        std::copy(pcm.begin() + from * 2, pcm.begin() + to * 2, out.begin() + (from - begin) * 2);
}

void progress(size_t done, size_t total, std::chrono::steady_clock::time_point start) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double left = done ? elapsed / static_cast<double>(done) * static_cast<double>(total - done) : 0.0;
    const int width = 30;
    const int filled = static_cast<int>(static_cast<double>(width) * static_cast<double>(done) / static_cast<double>(total));
    std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu frames, %.1f s left   ", filled, "==============================",
                 width - filled, "", done, total, left);
    if (done == total) std::fprintf(stderr, "\n");
}

}  // namespace

int run_render(const std::vector<std::string>& args) {
    RenderOptions o;
    if (int status = parse(args, o); status >= 0) return status;
    const std::string output = fs::absolute(o.output).string();
    OfflineDevice device("qvtool render", o.width, o.height);
    PlaybackState& state = playback();

    // The output opens before the demo loads, so a missing folder, an
    // unknown codec or an encoder that refuses the settings is told at once.
    std::unique_ptr<FrameSink> sink;
    const size_t frame_bytes = static_cast<size_t>(o.width) * o.height * 4;
    if (o.video) {
        sink = make_async_frame_sink(open_video_file(o.encoding), frame_bytes);
    } else {
        if (!o.single) fs::create_directories(output);
        sink = make_async_frame_sink(make_png_frames(output, o.single, o.width, o.height), frame_bytes, 2);
    }

    // Load as the player does, without loading frames; the demo is kept for
    // the life of the process like the player's.
    const std::vector<uint8_t> file = read_whole_file(o.input);
    const ContentSpan span = content_span(file.data(), file.size());
    Demo& demo = *new Demo;
    load_demo(
        demo,
        [&](LoadHooks& hooks) {
            ContentReader in(file.data() + span.offset, span.size);
            demo.read_with(in, hooks);
        },
        nullptr, device.gl.window, static_cast<SDL_GLContext>(device.gl.context));
    if (demo.bpm <= 0 || !std::isfinite(demo.bpm)) throw ContentError("the demo's tempo is not a positive number");

    const std::vector<int16_t> pcm = decode_music(demo, o.single ? o.beat : o.to_end ? demo.end_beat : o.to);
    prepare_sound_analysis();

    // Frame i of a range is the beat from + i * step, whichever part renders
    // it, so parts rendered apart join without a gap or a repeat.
    if (o.to_end) o.to = demo.end_beat;
    if (!o.single && o.to < o.from)
        return usage_error("render", "--to end is before --from (the demo ends at beat " + std::to_string(demo.end_beat) + ")");
    const double step = demo.bpm / 60.0 / o.fps;  // beats per frame
    const double count_exact = o.single ? 1 : std::floor((o.to - o.from) / step + 1e-9) + 1;
    if (count_exact > 1e6) return usage_error("render", "more than a million frames asked for");
    const int64_t count = static_cast<int64_t>(count_exact);
    const int64_t first = count * (o.part - 1) / o.parts, last = count * o.part / o.parts;
    auto beat_of = [&](int64_t i) { return o.single ? o.beat : o.from + static_cast<double>(i) * step; };

    // The music of a range starts at the sample of its first beat; frame i
    // carries the samples up to the start of frame i + 1.
    const double start_ms = (o.from + demo.beat_offset) * 60000.0 / demo.bpm;
    const int64_t music_start = std::llround(start_ms * kRate / 1000.0);
    auto music_at_frame = [&](int64_t i) { return music_start + std::llround(static_cast<double>(i) * kRate / o.fps); };
    std::vector<int16_t> slice;
    auto write_music = [&](int64_t from_frame, int64_t to_frame) {
        if (!o.video || o.no_music) return;
        music_slice(pcm, music_at_frame(from_frame), music_at_frame(to_frame), slice);
        sink->write_audio(slice.data(), slice.size() / 2);
    };

    if (o.music_only) {
        write_music(0, count);
        sink->finish();
        std::printf("wrote the music of %lld frames to %s\n", static_cast<long long>(count), output.c_str());
        return 0;
    }

    const auto start = std::chrono::steady_clock::now();
    const size_t total = static_cast<size_t>(last - first);
    int64_t delivered = first;
    auto deliver = [&](const uint8_t* rgba) {
        sink->write_frame(rgba);
        write_music(delivered, delivered + 1);
        ++delivered;
        progress(static_cast<size_t>(delivered - first), total, start);
    };
    FrameReadback readback(o.width, o.height);
    for (int64_t i = first; i < last; ++i) {
        const double exact = beat_of(i);
        const float beat = static_cast<float>(exact);
        state.current_beat = beat;
        state.render_size.render_width = o.width;
        state.render_size.render_height = o.height;
        analyse_at(pcm, demo, exact);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glViewport(0, 0, state.render_size.render_width, state.render_size.render_height);
        demo.graph->evaluate(demo, beat);
        readback.start(deliver);
        SDL_GL_SwapWindow(device.gl.window);
    }
    while (readback.take(deliver)) {
    }
    sink->finish();
    if (o.video) {
        std::printf("wrote %zu frame%s to %s\n", total, total == 1 ? "" : "s", output.c_str());
        return 0;
    }
    const std::string wav = o.single ? fs::path(output).replace_extension(".wav").string() : output + "/music.wav";
    write_wav(wav, pcm);
    std::printf("wrote %zu frame%s and %s\n", total, total == 1 ? "" : "s", wav.c_str());
    return 0;
}
