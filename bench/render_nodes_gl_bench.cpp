// CPU cost per frame of a graph of ten full-screen program nodes, against a
// hand-written loop that issues the same GL calls on the same context with
// the objects made up front. The difference is what the node machinery costs
// on top of the driver: the graph walk, input and state-slot reads, value
// copies, the program lookup. Range 0 selects the node mode: 0 draws to the
// screen and copies it into the output texture, 1 draws into the node's
// internal texture. The render size is 64 x 36 so the rasteriser stays small;
// every frame ends with glFinish on both sides.
//
// BM_RenderNodes_Ratio interleaves the two frames and reports node CPU time
// over hand-written CPU time (main thread) as "node_over_hand", which is the
// figure to watch: interleaving keeps machine load from favouring either side.
// Needs X (run under xvfb-run).
#include <benchmark/benchmark.h>

#include <GL/glew.h>
#include <SDL.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/hidden_gl_window.h"
#include "app/playback_state.h"
#include "nodes/graph.h"
#include "nodes/node_registry.h"
#include "nodes/resource_node_types.h"
#include "render/buffer.h"
#include "render/render_gl.h"
#include "render/render_nodes_gl.h"
#include "serialization/demo.h"

namespace {

constexpr int kNodes = 10;
constexpr int kWidth = 64;
constexpr int kHeight = 36;
constexpr const char* kProgramName = "resources/bench.frag";

constexpr const char* kFragment =
    "#version 330 core\nuniform float beat;\nuniform vec2 resolution;\nuniform sampler2D tex;\n"
    "uniform float gain;\nout vec4 c;\n"
    "void main() { c = vec4(gl_FragCoord.xy / resolution, fract(beat) * gain, 1.0)"
    " + texture(tex, vec2(0.5)) * 1e-3; }\n";

// What the hand-written loop keeps for one node.
struct HandNode {
    GLuint quad = 0;
    GLuint copy_texture = 0;
    Buffer copy_buffer{kWidth, kHeight};
    GLuint framebuffer = 0;
    GLuint internal_texture = 0;
};

struct Fixture {
    bool ok = false;
    std::string why;
    HiddenGlWindow gl;
    Demo demo;
    Nodes::Graph graphs[2];  // by mode
    std::vector<HandNode> hand;
};

void make_context(Fixture& f) {
    f.why = open_hidden_gl_window("render nodes bench", kWidth, kHeight, f.gl);
    f.ok = f.why.empty();
}

void make_graphs(Fixture& f) {
    auto program = std::make_unique<ShaderProgram>();
    program->fragment_shader_filename = kProgramName;
    program->fragment_shader_source = kFragment;
    UniformDef gain;
    gain.name = "gain";
    gain.default_val = 0.5f;
    program->uniform_defs.push_back(gain);
    build_program(*program, nullptr);
    f.demo.shaders.push_back(std::move(program));

    install_render_node_runs();
    register_content_node_types(f.demo);
    const NodeType* type = NodeRegistry::instance().find(kProgramName);
    for (int mode = 0; mode < 2; ++mode) {
        Nodes::Graph& graph = f.graphs[mode];
        for (int i = 0; i < kNodes; ++i) {
            auto node = std::make_unique<Nodes::GraphNode>(type);
            node->prepare();
            node->inputs[2].set(Nodes::make_bool(mode == 1));
            node->inputs[3].set(Nodes::make_float(0.25f + 0.05f * static_cast<float>(i)));
            if (!graph.nodes.empty()) {
                Nodes::Connection next;
                next.dst = node.get();
                graph.nodes.back()->connections.push_back(next);
            }
            graph.nodes.push_back(std::move(node));
        }
        graph.root = graph.nodes.front().get();
    }
}

void make_hand_objects(Fixture& f) {
    const ShaderProgram& program = *f.demo.shaders[0];
    f.hand.resize(kNodes);
    for (HandNode& n : f.hand) {
        static const float quad[18] = {-1, -1, 0, -1, 1, 0, 1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
        GLuint buffer = 0;
        glGenVertexArrays(1, &n.quad);
        glBindVertexArray(n.quad);
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
        glEnableVertexAttribArray(static_cast<GLuint>(program.position_attribute));
        glVertexAttribPointer(static_cast<GLuint>(program.position_attribute), 3, GL_FLOAT, GL_FALSE, 0, nullptr);
        n.copy_texture = create_texture(kWidth, kHeight, n.copy_buffer.pixels.data(), GL_CLAMP_TO_EDGE);
        glGenTextures(1, &n.internal_texture);
        glBindTexture(GL_TEXTURE_2D, n.internal_texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kWidth, kHeight, 0, GL_RGBA, GL_FLOAT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glGenFramebuffers(1, &n.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, n.framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, n.internal_texture, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
}

Fixture& fixture() {
    static Fixture f;
    static bool made = false;
    if (!made) {
        made = true;
        make_context(f);
        if (f.ok) {
            playback().render_size = RenderSize{kWidth, kHeight, kWidth, kHeight};
            make_graphs(f);
            make_hand_objects(f);
        }
    }
    if (f.ok) SDL_GL_MakeCurrent(f.gl.window, static_cast<SDL_GLContext>(f.gl.context));
    return f;
}

// ---- the two frames ---------------------------------------------------------

void node_frame(Fixture& f, int mode) {
    f.graphs[mode].evaluate(f.demo, playback().current_beat);
    glFinish();
}

// Exactly the calls a program node issues once warm, in its order.
void hand_frame(Fixture& f, int mode) {
    const ShaderProgram& program = *f.demo.shaders[0];
    const auto attribute = static_cast<GLuint>(program.position_attribute);
    const GLint gain_location = program.uniform_defs[0].location;
    for (int i = 0; i < kNodes; ++i) {
        HandNode& n = f.hand[static_cast<size_t>(i)];
        glUseProgram(program.gl_program);
        set_builtin_uniforms(program);
        set_uniform_defs(program);
        glEnableVertexAttribArray(attribute);
        glVertexAttribPointer(attribute, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
        glUniform1f(gain_location, 0.25f + 0.05f * static_cast<float>(i));
        if (mode == 1) {
            glBindFramebuffer(GL_FRAMEBUFFER, n.framebuffer);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glBindVertexArray(n.quad);
            glDrawArrays(GL_TRIANGLES, 0, 6);
            glBindTexture(GL_TEXTURE_2D, n.internal_texture);
            glGenerateMipmap(GL_TEXTURE_2D);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        } else {
            glBindVertexArray(n.quad);
            glDrawArrays(GL_TRIANGLES, 0, 6);
            GLint read_framebuffer = 0;
            glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
            if (read_framebuffer == 0) glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
            glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, n.copy_buffer.pixels.data());
            glBindTexture(GL_TEXTURE_2D, n.copy_texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         n.copy_buffer.pixels.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glGenerateMipmap(GL_TEXTURE_2D);
        }
    }
    glFinish();
}

double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void warm_up(Fixture& f, int mode) {
    for (int i = 0; i < 5; ++i) {
        node_frame(f, mode);
        hand_frame(f, mode);
    }
}

void BM_RenderNodes_Graph(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) return state.SkipWithError(f.why.c_str());
    const int mode = static_cast<int>(state.range(0));
    warm_up(f, mode);
    for (auto _ : state) node_frame(f, mode);
}

void BM_RenderNodes_HandWritten(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) return state.SkipWithError(f.why.c_str());
    const int mode = static_cast<int>(state.range(0));
    warm_up(f, mode);
    for (auto _ : state) hand_frame(f, mode);
}

void BM_RenderNodes_Ratio(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) return state.SkipWithError(f.why.c_str());
    const int mode = static_cast<int>(state.range(0));
    warm_up(f, mode);
    double node_seconds = 0, hand_seconds = 0;
    for (auto _ : state) {
        double t0 = thread_cpu_seconds();
        node_frame(f, mode);
        double t1 = thread_cpu_seconds();
        hand_frame(f, mode);
        double t2 = thread_cpu_seconds();
        node_seconds += t1 - t0;
        hand_seconds += t2 - t1;
    }
    const auto frames = static_cast<double>(state.iterations());
    state.counters["node_us"] = node_seconds / frames * 1e6;
    state.counters["hand_us"] = hand_seconds / frames * 1e6;
    state.counters["node_over_hand"] = hand_seconds > 0 ? node_seconds / hand_seconds : 0;
}

}  // namespace

BENCHMARK(BM_RenderNodes_Graph)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderNodes_HandWritten)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderNodes_Ratio)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
