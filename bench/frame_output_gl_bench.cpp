// Frames per second of the offline renderer's output paths at 1280x720, on
// the same context and the same frames: drawn only (the limit: what the GPU
// or rasteriser gives), drawn and written as PNG files, and drawn and encoded
// into an .mp4 (H.264 at the default preset, and at veryfast). Readback goes
// through the two pixel buffers and the writing through the worker, as in
// `qvtool render`. Each variant reports "fps" and, after the draw-only run,
// "of_draw": its rate over the draw-only rate of this run.
//
// The frame is a full-screen shader with a loop of noise octaves, about as
// heavy per pixel as a demo's scene. Runs under xvfb-run or without a display.
#include <benchmark/benchmark.h>

#include <GL/glew.h>
#include <SDL.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/frame_readback.h"
#include "app/hidden_gl_window.h"
#include "tools/png_frames.h"
#include "video/async_frame_sink.h"
#include "video/video_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFrames = 90;

const char* const kVertex =
    "#version 330 core\nlayout(location = 0) in vec2 p;\nvoid main() { gl_Position = vec4(p, 0.0, 1.0); }\n";
const char* const kFragment =
    "#version 330 core\nuniform float beat;\nuniform vec2 resolution;\nout vec4 c;\n"
    "float h(vec2 p) { return fract(sin(dot(p, vec2(127.1, 311.7))) * 43758.5453); }\n"
    "float n(vec2 p) { vec2 i = floor(p), f = fract(p); f = f * f * (3.0 - 2.0 * f);\n"
    "  return mix(mix(h(i), h(i + vec2(1, 0)), f.x), mix(h(i + vec2(0, 1)), h(i + vec2(1, 1)), f.x), f.y); }\n"
    "void main() { vec2 uv = gl_FragCoord.xy / resolution * 6.0; float v = 0.0, a = 0.5;\n"
    "  for (int i = 0; i < 6; ++i) { v += a * n(uv + beat * 0.3); uv *= 2.0; a *= 0.5; }\n"
    "  c = vec4(v, v * v, 0.5 + 0.5 * sin(beat + v * 6.0), 1.0); }\n";

struct Fixture {
    bool ok = false;
    std::string why;
    HiddenGlWindow gl;
    GLuint program = 0, quad = 0;
    GLint beat = -1;
};

GLuint compile(GLenum kind, const char* source) {
    GLuint s = glCreateShader(kind);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    return s;
}

Fixture& fixture() {
    static Fixture f = [] {
        Fixture f;
        f.why = open_hidden_gl_window("frame output bench", kWidth, kHeight, f.gl);
        if (!f.why.empty()) return f;
        f.program = glCreateProgram();
        glAttachShader(f.program, compile(GL_VERTEX_SHADER, kVertex));
        glAttachShader(f.program, compile(GL_FRAGMENT_SHADER, kFragment));
        glLinkProgram(f.program);
        GLint linked = 0;
        glGetProgramiv(f.program, GL_LINK_STATUS, &linked);
        if (!linked) {
            f.why = "the bench shader does not link";
            return f;
        }
        glUseProgram(f.program);
        glUniform2f(glGetUniformLocation(f.program, "resolution"), kWidth, kHeight);
        f.beat = glGetUniformLocation(f.program, "beat");
        static const float corners[12] = {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1};
        GLuint buffer = 0;
        glGenVertexArrays(1, &f.quad);
        glBindVertexArray(f.quad);
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        f.ok = true;
        return f;
    }();
    return f;
}

void draw(Fixture& f, int frame) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, kWidth, kHeight);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(f.program);
    glBindVertexArray(f.quad);
    glUniform1f(f.beat, static_cast<float>(frame) * 0.1f);
    glDrawArrays(GL_TRIANGLES, 0, 6);
}

double g_draw_fps = 0;

enum Output { kDrawOnly, kPng, kMp4Medium, kMp4Veryfast };

void BM_FrameOutput(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError(f.why.c_str());
        return;
    }
    const auto output = static_cast<Output>(state.range(0));
    const fs::path folder = fs::temp_directory_path() / ("qv_frame_bench_" + std::to_string(SDL_GetTicks()));
    fs::create_directories(folder);
    const size_t frame_bytes = static_cast<size_t>(kWidth) * kHeight * 4;
    const std::vector<int16_t> silence(static_cast<size_t>(44100 / 30) * 2, 0);

    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<FrameSink> sink;
        if (output == kPng) {
            sink = make_async_frame_sink(make_png_frames(folder.string(), false, kWidth, kHeight), frame_bytes, 2);
        } else if (output != kDrawOnly) {
            VideoSettings s;
            s.path = (folder / "bench.mp4").string();
            s.width = kWidth;
            s.height = kHeight;
            s.fps = 30;
            if (output == kMp4Veryfast) s.preset = "veryfast";
            sink = make_async_frame_sink(open_video_file(s), frame_bytes);
        }
        FrameReadback readback(kWidth, kHeight);
        auto deliver = [&](const uint8_t* rgba) {
            sink->write_frame(rgba);
            sink->write_audio(silence.data(), silence.size() / 2);
        };
        for (int i = 0; i < kFrames; ++i) {
            draw(f, i);
            if (sink) readback.start(deliver);
            else glFinish();  // the frame is drawn: what a readback would wait for
            SDL_GL_SwapWindow(f.gl.window);
        }
        if (sink) {
            while (readback.take(deliver)) {
            }
            sink->finish();
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    fs::remove_all(folder);
    const double fps = static_cast<double>(state.iterations()) * kFrames / seconds;
    state.counters["fps"] = fps;
    if (output == kDrawOnly) g_draw_fps = fps;
    else if (g_draw_fps > 0) state.counters["of_draw"] = fps / g_draw_fps;
}
BENCHMARK(BM_FrameOutput)
    ->ArgName("output")
    ->Arg(kDrawOnly)
    ->Arg(kPng)
    ->Arg(kMp4Medium)
    ->Arg(kMp4Veryfast)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
