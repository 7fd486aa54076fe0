#include <gtest/gtest.h>

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/playback_state.h"
#include "audio/sound_analysis.h"
#include "nodes/graph.h"
#include "nodes/node_registry.h"
#include "nodes/resource_node_types.h"
#include "render/buffer.h"
#include "render/render_gl.h"
#include "render/render_nodes_gl.h"
#include "scene3d/gltf_builder.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "serialization/content_reader.h"
#include "serialization/content_writer.h"
#include "serialization/demo.h"
#include "serialization/file_io.h"
#include "tests/support/gl_context.h"

namespace {

using namespace gl_test;
using Nodes::GraphNode;
using Nodes::MaybeValue;

constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kGreen{0, 255, 0, 255};
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};

int texture_level_int(uint32_t texture, GLenum what) {
    GLint v = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &v);
    return v;
}

render_nodes::Size texture_size(uint32_t texture) {
    return {texture_level_int(texture, GL_TEXTURE_WIDTH), texture_level_int(texture, GL_TEXTURE_HEIGHT)};
}

std::vector<GLint> viewport() {
    std::vector<GLint> v(4);
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

uint32_t solid_texture(uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t rgba[4] = {r, g, b, 255};
    return create_texture(1, 1, rgba, GL_CLAMP_TO_EDGE);
}

UniformDef uniform_def(const char* name, float default_val) {
    UniformDef def;
    def.name = name;
    def.default_val = default_val;
    return def;
}

uint32_t output_texture(const GraphNode& node, size_t port = 0) {
    return node.outputs.at(port).hasValue ? node.outputs[port].value.as_uint() : 0;
}

std::string solid_fragment(float r, float g, float b) {
    return "#version 330 core\nout vec4 c;\nvoid main() { c = vec4(" + std::to_string(r) + ", " + std::to_string(g) +
           ", " + std::to_string(b) + ", 1.0); }\n";
}

constexpr const char* kSampleTex =
    "#version 330 core\nuniform sampler2D tex;\nout vec4 c;\nvoid main() { c = texture(tex, vec2(0.5)); }\n";

// Red where gl_FragCoord is the bottom-left pixel, blue elsewhere.
constexpr const char* kMarkBottomLeft =
    "#version 330 core\nout vec4 c;\n"
    "void main() { c = gl_FragCoord.x < 1.0 && gl_FragCoord.y < 1.0 ? vec4(1, 0, 0, 1) : vec4(0, 0, 1, 1); }\n";

// The render size as colour: (width, height) / 255.
constexpr const char* kShowResolution =
    "#version 330 core\nuniform vec2 resolution;\nout vec4 c;\n"
    "void main() { c = vec4(resolution / 255.0, 0.0, 1.0); }\n";

// ---- fixture: a demo, a graph built in code, real GL --------------------------

class RenderNodesGl : public ::testing::Test {
protected:
    Demo demo;
    Nodes::Graph graph;

    void SetUp() override {
        QV_REQUIRE_GL();
        gl_test::use_window_size();
        playback().current_beat = 0.0f;
        install_render_node_runs();
        glDisable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        glActiveTexture(GL_TEXTURE0);
        clear_screen();
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    void TearDown() override {
        graph.nodes.clear();
        graph.root = nullptr;
        NodeRegistry::instance().set_current_demo(nullptr);
        NodeRegistry::instance().restore_builtins_for_tests();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        gl_test::use_window_size();
    }

    ShaderProgram& add_program(const std::string& name, const std::string& fragment,
                               std::vector<UniformDef> defs = {}) {
        auto program = std::make_unique<ShaderProgram>();
        program->vertex_shader_source = kDefaultVertexSource;
        program->fragment_shader_filename = name;
        program->fragment_shader_source = fragment;
        program->uniform_defs = std::move(defs);
        testing::internal::CaptureStdout();
        build_program(*program, nullptr);
        const std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(program->compile_log, "Compilation successful.") << log;
        demo.shaders.push_back(std::move(program));
        return *demo.shaders.back();
    }

    // The content's node types, after every program and scene is in place.
    void register_types() { register_content_node_types(demo); }

    // A node of `type`; the first one made is the root. Activation links run
    // the nodes in the order they were made.
    GraphNode& add(std::string_view type) {
        const NodeType* def = NodeRegistry::instance().find(type);
        EXPECT_NE(def, nullptr) << type;
        auto node = std::make_unique<GraphNode>(def);
        node->prepare();
        GraphNode& added = *node;
        if (!graph.nodes.empty()) then(*graph.nodes.back(), added);
        graph.nodes.push_back(std::move(node));
        if (!graph.root) graph.root = &added;
        return added;
    }

    static void then(GraphNode& from, GraphNode& to) {
        Nodes::Connection c;
        c.dst = &to;
        from.connections.push_back(c);
    }

    static void link(GraphNode& from, int output, GraphNode& to, int input) {
        Nodes::Connection c;
        c.dst = &to;
        c.src_output_idx = output;
        c.dst_input_idx = input;
        from.connections.push_front(c);  // data first, so it arrives before the activation
    }

    void frame() { graph.evaluate(demo, playback().current_beat); }
};

void set(GraphNode& node, size_t port, Nodes::Value v) { node.inputs.at(port).set(std::move(v)); }

}  // namespace

// ---- program nodes -------------------------------------------------------------

TEST_F(RenderNodesGl, ProgramNode_DrawsToScreenAndItsOutputIsTheScreenCopy) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& node = add("resources/green.frag");
    frame();

    EXPECT_EQ(screen_pixel(5, 5), kGreen);
    EXPECT_EQ(screen_pixel(kWindowWidth - 1, kWindowHeight - 1), kGreen);
    const uint32_t copy = output_texture(node);
    ASSERT_NE(copy, 0u);
    EXPECT_EQ(texture_size(copy), (render_nodes::Size{kWindowWidth, kWindowHeight}));
    EXPECT_EQ(pixel_at(gl_test::read_texture(copy, kWindowWidth, kWindowHeight), kWindowWidth, 30, 20), kGreen);
    EXPECT_EQ(node.state[3].value.as_int(), 0) << "program position kept";

    // The copy buffer lives behind a handle in its slot and follows the render size.
    const Buffer* buffer = render_nodes::copy_buffer_of(node.state[2]);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->width, kWindowWidth);
    playback().render_size.render_width = 32;
    playback().render_size.render_height = 18;
    frame();
    EXPECT_EQ(render_nodes::copy_buffer_of(node.state[2]), buffer) << "replaced in place, same handle";
    EXPECT_EQ(buffer->width, 32);
    EXPECT_EQ(buffer->byte_count(), 32 * 18 * 4);
    EXPECT_EQ(texture_size(output_texture(node)), (render_nodes::Size{32, 18}));
}

TEST_F(RenderNodesGl, ProgramNode_InternalDrawsIntoItsOwnTextureAndPutsTheRenderSizeBack) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& node = add("resources/green.frag");
    set(node, 0, Nodes::make_ivec2(16, 8));
    set(node, 2, Nodes::make_bool(true));
    frame();

    EXPECT_EQ(screen_pixel(5, 5), kBlack) << "the screen is not drawn on";
    EXPECT_EQ(gl_int(GL_FRAMEBUFFER_BINDING), 0);
    const uint32_t target = output_texture(node);
    ASSERT_NE(target, 0u);
    EXPECT_EQ(texture_level_int(target, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA32F);
    EXPECT_EQ(texture_size(target), (render_nodes::Size{16, 8}));
    EXPECT_EQ(pixel_at(gl_test::read_texture(target, 16, 8), 16, 15, 7), kGreen);
    EXPECT_EQ(playback().render_size.render_width, kWindowWidth);
    EXPECT_EQ(playback().render_size.render_height, kWindowHeight);
    EXPECT_EQ(viewport(), (std::vector<GLint>{0, 0, kWindowWidth, kWindowHeight}));

    // A new size reallocates the same texture.
    set(node, 0, Nodes::make_ivec2(4, 4));
    frame();
    EXPECT_EQ(output_texture(node), target);
    EXPECT_EQ(texture_size(target), (render_nodes::Size{4, 4}));
    EXPECT_EQ(pixel_at(gl_test::read_texture(target, 4, 4), 4, 3, 3), kGreen);
}

TEST_F(RenderNodesGl, ProgramNode_InternalFirstFrameSamplesItsTexInputNotItsOwnTarget) {
    add_program("resources/sample.frag", kSampleTex);
    register_types();
    const uint32_t red = solid_texture(255, 0, 0);
    GraphNode& node = add("resources/sample.frag");
    set(node, 1, Nodes::make_texture2D(red));
    set(node, 2, Nodes::make_bool(true));
    frame();
    const uint32_t target = output_texture(node);
    ASSERT_NE(target, 0u);
    EXPECT_EQ(bound_texture_on(0), static_cast<GLint>(target)) << "mipmaps made on the active unit afterwards";
    EXPECT_EQ(pixel_at(gl_test::read_texture(target, kWindowWidth, kWindowHeight), kWindowWidth, 10, 10), kRed);
    // Later frames draw the same: the tex input, not the node's own target.
    frame();
    EXPECT_EQ(pixel_at(gl_test::read_texture(target, kWindowWidth, kWindowHeight), kWindowWidth, 10, 10), kRed);
}

TEST_F(RenderNodesGl, ProgramNode_TexAGainTex2BindUnits8And9AndSetTheFloat) {
    add_program("resources/mix.frag",
                "#version 330 core\nuniform sampler2D texA;\nuniform float gain;\nuniform sampler2D tex2;\n"
                "out vec4 c;\nvoid main() { c = vec4(texture(texA, vec2(0.5)).r, gain, "
                "texture(tex2, vec2(0.5)).b, 1.0); }\n",
                {uniform_def("texA", 0), uniform_def("gain", 0.25f), uniform_def("tex2", 0)});
    register_types();
    const ShaderProgram& program = *demo.shaders[0];
    const uint32_t red = solid_texture(255, 0, 0);
    const uint32_t blue = solid_texture(0, 0, 255);
    GraphNode& node = add("resources/mix.frag");
    ASSERT_EQ(node.inputs.size(), 6u);
    EXPECT_EQ(node.inputs[4].value.as_float(), 0.25f) << "a float input starts at the default";
    set(node, 3, Nodes::make_texture2D(red));
    set(node, 4, Nodes::make_float(0.5f));
    set(node, 5, Nodes::make_texture2D(blue));
    frame();

    // Unit 9 then takes the screen copy, made on the active unit after the
    // draw; the blue in the picture shows what tex2 sampled.
    EXPECT_EQ(bound_texture_on(8), static_cast<GLint>(red));
    GLint unit = -1;
    glGetUniformiv(program.gl_program, program.uniform_defs[0].location, &unit);
    EXPECT_EQ(unit, 8);
    glGetUniformiv(program.gl_program, program.uniform_defs[2].location, &unit);
    EXPECT_EQ(unit, 9);
    const Rgba p = screen_pixel(5, 5);
    EXPECT_EQ(p.r, 255);
    EXPECT_NEAR(p.g, 128, 1);
    EXPECT_EQ(p.b, 255);

    // Without texA, tex2 takes unit 8; an absent float falls back to its default.
    node.inputs[3].reset();
    node.inputs[4].reset();
    frame();
    glGetUniformiv(program.gl_program, program.uniform_defs[2].location, &unit);
    EXPECT_EQ(unit, 8);
    EXPECT_NEAR(screen_pixel(5, 5).g, 64, 1);
}

TEST_F(RenderNodesGl, ProgramNode_MissingOrUnbuiltProgramDrawsNothing) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& node = add("resources/green.frag");
    demo.shaders[0]->fragment_shader_filename = "resources/renamed.frag";
    frame();
    EXPECT_EQ(screen_pixel(5, 5), kBlack);
    EXPECT_FALSE(node.outputs[0].hasValue);
    EXPECT_FALSE(node.state[3].hasValue);

    // Found again once it matches; a stale or foreign position is looked up again.
    demo.shaders[0]->fragment_shader_filename = "resources/green.frag";
    node.state[3].set(Nodes::make_int(99));
    frame();
    EXPECT_EQ(screen_pixel(5, 5), kGreen);
    EXPECT_EQ(node.state[3].value.as_int(), 0);
}

// ---- program setup and sizes ---------------------------------------------------

TEST_F(RenderNodesGl, ShaderNode_SizeLeavesTheRenderSizeChangedForLaterDraws) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    add_program("resources/resolution.frag", kShowResolution);
    register_types();
    GraphNode& shader = add("Shader");
    set(shader, 1, Nodes::make_ivec2(32, 18));
    GraphNode& show = add("resources/resolution.frag");
    GraphNode& sized = add("resources/resolution.frag");
    set(sized, 0, Nodes::make_ivec2(16, 16));
    sized.inputs[2].set(Nodes::make_bool(true));
    frame();

    EXPECT_EQ(playback().render_size.render_width, 32);
    EXPECT_EQ(playback().render_size.render_height, 18);
    EXPECT_EQ(viewport(), (std::vector<GLint>{0, 0, 32, 18})) << "a sized program node puts it back";
    // The program node after the Shader node drew with resolution (32, 18)
    // into the 32 x 18 corner only.
    EXPECT_EQ(screen_pixel(5, 5), (Rgba{32, 18, 0, 255}));
    EXPECT_EQ(screen_pixel(40, 30), kBlack);
    EXPECT_EQ(texture_size(output_texture(show)), (render_nodes::Size{32, 18}));
    EXPECT_EQ(pixel_at(gl_test::read_texture(output_texture(sized), 16, 16), 16, 0, 0), (Rgba{16, 16, 0, 255}));
}

TEST_F(RenderNodesGl, ShaderNode_BadIndexOrSizeChangesNothing) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& shader = add("Shader");
    const std::vector<Nodes::Value> bad_indices = {Nodes::make_int(1), Nodes::make_int(-1), Nodes::make_float(0.5f)};
    set(shader, 1, Nodes::make_ivec2(32, 18));
    for (const Nodes::Value& index : bad_indices) {
        set(shader, 0, index);
        glUseProgram(0);
        frame();
        EXPECT_EQ(playback().render_size.render_width, kWindowWidth);
        EXPECT_EQ(gl_int(GL_CURRENT_PROGRAM), 0);
    }
    shader.inputs[0].reset();
    frame();
    EXPECT_EQ(gl_int(GL_CURRENT_PROGRAM), 0) << "an absent index does nothing";

    // Sizes that are not positive or are absurd are not used: the program is
    // set up at the render size, which stays.
    set(shader, 0, Nodes::make_int(0));
    for (const auto& size : {Nodes::make_ivec2(0, 0), Nodes::make_ivec2(-5, 10), Nodes::make_ivec2(20000, 20000),
                             Nodes::make_ivec2(64, 1 << 30)}) {
        set(shader, 1, size);
        frame();
        EXPECT_EQ(playback().render_size.render_width, kWindowWidth);
        EXPECT_EQ(playback().render_size.render_height, kWindowHeight);
        EXPECT_EQ(gl_int(GL_CURRENT_PROGRAM), static_cast<GLint>(demo.shaders[0]->gl_program));
    }
}

TEST_F(RenderNodesGl, TwoTrianglesShaderDrawTriangles_DrawTheQuadAndOnlyKnownQuads) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& quad = add("TwoTriangles");
    GraphNode& shader = add("Shader");
    GraphNode& draw = add("DrawTriangles");
    link(quad, 0, draw, 0);
    link(quad, 1, draw, 1);
    frame();
    EXPECT_EQ(quad.outputs[1].value.as_int(), 6);
    EXPECT_TRUE(render_nodes::is_node_quad(quad.outputs[0].value.as_uint()));
    EXPECT_EQ(screen_pixel(5, 5), kGreen);
    (void)shader;

    // A count beyond the quad's six vertices draws the quad, not past it.
    quad.connections.pop_front();  // the count link
    set(draw, 1, Nodes::make_int(1000000));
    clear_screen();
    frame();
    EXPECT_EQ(screen_pixel(5, 5), kGreen);

    // A vertex array the nodes did not make has no known size: nothing drawn.
    quad.connections.pop_front();  // the vao link
    for (const auto& vao : {Nodes::make_vao(4242), Nodes::make_vao(0), Nodes::make_float(3.0f)}) {
        set(draw, 0, vao);
        clear_screen();
        frame();
        EXPECT_EQ(screen_pixel(5, 5), kBlack);
    }
}

TEST_F(RenderNodesGl, Effect2D_DrawsAtItsSizeAndCopiesThatRectangle) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& effect = add("Effect2D");
    set(effect, 1, Nodes::make_ivec2(32, 18));
    frame();
    EXPECT_EQ(screen_pixel(5, 5), kGreen);
    EXPECT_EQ(screen_pixel(40, 30), kBlack);
    const uint32_t copy = output_texture(effect);
    EXPECT_EQ(texture_size(copy), (render_nodes::Size{32, 18}));
    EXPECT_EQ(pixel_at(gl_test::read_texture(copy, 32, 18), 32, 31, 17), kGreen);
    EXPECT_EQ(playback().render_size.render_width, 32) << "like Shader, Effect2D keeps its size";

    // An index outside the list leaves everything, the output included.
    gl_test::use_window_size();
    clear_screen();
    set(effect, 0, Nodes::make_int(7));
    frame();
    EXPECT_EQ(screen_pixel(5, 5), kBlack);
    EXPECT_EQ(output_texture(effect), copy);
}

TEST_F(RenderNodesGl, ScreenToTexture_CopiesTheBackBufferAndIgnoresUnusableSizes) {
    GraphNode& copy = add("ScreenToTexture");
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    frame();
    const uint32_t texture = output_texture(copy);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(texture_size(texture), (render_nodes::Size{kWindowWidth, kWindowHeight}));
    EXPECT_EQ(pixel_at(gl_test::read_texture(texture, kWindowWidth, kWindowHeight), kWindowWidth, 63, 35), kRed);

    set(copy, 0, Nodes::make_ivec2(8, 4));
    frame();
    EXPECT_EQ(texture_size(output_texture(copy)), (render_nodes::Size{8, 4}));
    EXPECT_EQ(render_nodes::copy_buffer_of(copy.state[1])->byte_count(), 8 * 4 * 4);

    // Odd widths with a packing alignment of 8 left behind would overrun a
    // tight buffer; the copy sets its own.
    // The first column blue, so that a skewed row would show.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, kWindowHeight);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    set(copy, 0, Nodes::make_ivec2(7, 3));
    frame();
    const auto odd = gl_test::read_texture(output_texture(copy), 7, 3);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(pixel_at(odd, 7, 0, y), kBlue) << y;
        EXPECT_EQ(pixel_at(odd, 7, 6, y), kRed) << y;
    }

    for (const auto& size : {Nodes::make_ivec2(0, 4), Nodes::make_ivec2(-8, -8), Nodes::make_ivec2(16385, 2),
                             Nodes::make_string("64x36")}) {
        set(copy, 0, size);
        frame();
        EXPECT_EQ(texture_size(output_texture(copy)), (render_nodes::Size{kWindowWidth, kWindowHeight}));
    }

    // No usable size at all: nothing is copied and the output stays.
    const uint32_t before = output_texture(copy);
    playback().render_size.render_width = 0;
    copy.inputs[0].reset();
    frame();
    EXPECT_EQ(output_texture(copy), before);
}

// ---- offscreen framebuffers ---------------------------------------------------------

TEST_F(RenderNodesGl, SetFrameBuffer_SwitchesBetweenColourAndDepthTargets) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& target = add("SetFrameBuffer");
    set(target, 0, Nodes::make_ivec2(16, 16));
    GraphNode& clear = add("Clear");
    set(clear, 2, Nodes::make_float(1.0f));  // blue
    set(clear, 3, Nodes::make_float(1.0f));
    GraphNode& quad = add("TwoTriangles");
    GraphNode& shader = add("Shader");
    set(shader, 1, Nodes::make_ivec2(8, 8));  // only the lower-left quarter
    GraphNode& draw = add("DrawTriangles");
    link(quad, 0, draw, 0);
    GraphNode& done = add("ClearFrameBuffer");
    link(target, 0, done, 0);

    frame();
    const uint32_t colour = output_texture(target);
    const uint32_t framebuffer = target.state[0].value.as_uint();
    ASSERT_NE(colour, 0u);
    EXPECT_EQ(gl_int(GL_FRAMEBUFFER_BINDING), 0);
    EXPECT_EQ(texture_level_int(colour, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA32F);
    auto pixels = gl_test::read_texture(colour, 16, 16);
    EXPECT_EQ(pixel_at(pixels, 16, 2, 2), kGreen);
    EXPECT_EQ(pixel_at(pixels, 16, 12, 12), kBlue);
    EXPECT_EQ(screen_pixel(2, 2), kBlack) << "nothing reached the screen";

    // Same size and mode: the same framebuffer and texture, cleared again.
    frame();
    EXPECT_EQ(output_texture(target), colour);
    EXPECT_EQ(target.state[0].value.as_uint(), framebuffer);

    // Depth mode: the colour texture is gone and a depth texture is the only attachment.
    set(target, 1, Nodes::make_bool(true));
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    frame();
    glDisable(GL_DEPTH_TEST);
    const uint32_t depth = output_texture(target);
    ASSERT_NE(depth, 0u);
    EXPECT_NE(depth, colour);
    EXPECT_FALSE(glIsTexture(colour));
    EXPECT_EQ(texture_level_int(depth, GL_TEXTURE_INTERNAL_FORMAT), GL_DEPTH_COMPONENT24);
    EXPECT_FALSE(target.state[3].hasValue) << "no depth renderbuffer in depth mode";
    const GLuint depth_framebuffer = target.state[0].value.as_uint();
    glBindFramebuffer(GL_FRAMEBUFFER, depth_framebuffer);
    GLint kind = -1, name = -1;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &kind);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &name);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(kind, GL_NONE);
    EXPECT_EQ(static_cast<uint32_t>(name), depth);
    std::vector<float> depths(16 * 16, -1.0f);
    glBindTexture(GL_TEXTURE_2D, depth);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
    EXPECT_NEAR(depths[2 * 16 + 2], 0.5f, 1e-3) << "the quad at z = 0";
    EXPECT_NEAR(depths[12 * 16 + 12], 1.0f, 1e-6) << "cleared depth";

    // A new size in depth mode reallocates the same texture.
    set(target, 0, Nodes::make_ivec2(8, 4));
    frame();
    EXPECT_EQ(output_texture(target), depth);
    EXPECT_EQ(texture_size(depth), (render_nodes::Size{8, 4}));

    // Back to colour: a new colour texture with its depth renderbuffer, drawn into.
    set(target, 1, Nodes::make_bool(false));
    set(target, 0, Nodes::make_ivec2(16, 16));
    frame();
    const uint32_t colour_again = output_texture(target);
    EXPECT_FALSE(glIsTexture(depth));
    EXPECT_EQ(texture_level_int(colour_again, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA32F);
    EXPECT_TRUE(target.state[3].hasValue);
    EXPECT_TRUE(glIsRenderbuffer(target.state[3].value.as_uint()));
    pixels = gl_test::read_texture(colour_again, 16, 16);
    EXPECT_EQ(pixel_at(pixels, 16, 2, 2), kGreen);
    EXPECT_EQ(pixel_at(pixels, 16, 12, 12), kBlue);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RenderNodesGl, SetFrameBuffer_SlotsOfTheWrongKindAreRebuiltNotTrusted) {
    GraphNode& target = add("SetFrameBuffer");
    frame();
    const uint32_t first = output_texture(target);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(texture_size(first), (render_nodes::Size{kWindowWidth, kWindowHeight}));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    target.state[0].set(Nodes::make_string("framebuffer"));
    target.state[1].set(Nodes::make_float(3.0f));
    target.state[2].set(Nodes::make_ivec2(first, first));
    target.state[3].set(Nodes::make_buffer_ref(&target));
    target.state[4].set(Nodes::make_int(1));
    testing::internal::CaptureStdout();
    frame();
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "");
    const uint32_t second = output_texture(target);
    EXPECT_NE(second, 0u);
    EXPECT_NE(gl_int(GL_FRAMEBUFFER_BINDING), 0);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// ---- reading back -------------------------------------------------------------

TEST_F(RenderNodesGl, ReadPixel_AtOriginReadsTheBottomLeftPixel) {
    add_program("resources/mark.frag", kMarkBottomLeft);
    register_types();
    add("resources/mark.frag");
    GraphNode& origin = add("ReadPixel");
    GraphNode& inside = add("ReadPixel");
    set(inside, 0, Nodes::make_ivec2(10, 10));
    GraphNode& outside = add("ReadPixel");
    set(outside, 0, Nodes::make_ivec2(100000, -7));
    frame();

    const Nodes::Value& rgba = origin.outputs[0].value;
    EXPECT_EQ(rgba.type, Nodes::kind_vec4);
    EXPECT_FLOAT_EQ(rgba.as_float(0), 1.0f);
    EXPECT_FLOAT_EQ(rgba.as_float(2), 0.0f);
    EXPECT_FLOAT_EQ(rgba.as_float(3), 1.0f);
    EXPECT_EQ(origin.outputs[1].value.type, Nodes::kind_vec3);
    EXPECT_FLOAT_EQ(origin.outputs[1].value.as_float(0), 1.0f);
    EXPECT_FLOAT_EQ(origin.outputs[2].value.as_float(), 1.0f);  // r
    EXPECT_FLOAT_EQ(origin.outputs[4].value.as_float(), 0.0f);  // b
    EXPECT_FLOAT_EQ(origin.outputs[5].value.as_float(), 1.0f);  // a
    EXPECT_FLOAT_EQ(inside.outputs[2].value.as_float(), 0.0f);
    EXPECT_FLOAT_EQ(inside.outputs[4].value.as_float(), 1.0f);
    EXPECT_TRUE(outside.outputs[0].hasValue);
}

// ---- demo resources --------------------------------------------------------------

TEST_F(RenderNodesGl, TextureAndSoundTexture_OutputDemoTexturesAndUploadTheAnalysis) {
    auto texture = std::make_unique<Texture>();
    texture->gl_texture = solid_texture(1, 2, 3);
    demo.textures.push_back(std::move(texture));
    GraphNode& pick = add("Texture");
    frame();
    EXPECT_EQ(output_texture(pick), demo.textures[0]->gl_texture);
    for (const auto& index : {Nodes::make_int(1), Nodes::make_int(-1)}) {
        pick.outputs[0].reset();
        set(pick, 0, index);
        frame();
        EXPECT_FALSE(pick.outputs[0].hasValue);
    }

    GraphNode& sound = add("SoundTexture");
    frame();
    EXPECT_FALSE(sound.outputs[0].hasValue) << "no sound texture yet";

    demo.sound_texture = std::make_unique<Texture>();
    make_blank_texture(*demo.sound_texture, 1024, 2);
    prepare_sound_analysis();
    std::vector<int16_t> chunk(2048 * 2);
    for (size_t i = 0; i < chunk.size() / 2; ++i)
        chunk[2 * i] = chunk[2 * i + 1] = static_cast<int16_t>(12000 * std::sin(0.2 * static_cast<double>(i)));
    analyse_mixed_chunk(reinterpret_cast<const uint8_t*>(chunk.data()), static_cast<int>(chunk.size() * 2));
    std::vector<uint8_t> expected(kSoundPixelBytes);
    copy_sound_pixels(expected.data());
    ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](uint8_t b) { return b != 0; }), 100);

    glActiveTexture(GL_TEXTURE3);
    frame();
    EXPECT_EQ(bound_texture_on(3), static_cast<GLint>(demo.sound_texture->gl_texture)) << "on the active unit";
    EXPECT_EQ(output_texture(sound), demo.sound_texture->gl_texture);
    EXPECT_EQ(gl_test::read_texture(demo.sound_texture->gl_texture, 1024, 2), expected);
}

TEST_F(RenderNodesGl, FontTexture_RendersItsTextAndIgnoresBadIndices) {
    std::string why;
    ASSERT_TRUE(gl_test::ensure_fonts(&why)) << why;
    auto font = std::make_unique<Font>();
    font->ptsize = 20;
    font->font_data.data = read_file_or_throw("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    open_font(*font);
    ASSERT_NE(font->open_font, nullptr);
    auto picture = std::make_unique<FontTexture>();
    picture->width = 64;
    picture->height = 32;
    picture->font = font.get();
    create_picture(*picture);
    demo.fonts.push_back(std::move(font));
    demo.font_textures.push_back(std::move(picture));
    const FontTexture& text = *demo.font_textures[0];

    GraphNode& node = add("FontTexture");
    set(node, 1, Nodes::make_string("Hi"));
    frame();
    EXPECT_EQ(output_texture(node), text.gl_texture);
    EXPECT_EQ(text.current_text, "Hi");
    const auto pixels = gl_test::read_texture(text.gl_texture, 64, 32);
    int lit = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) lit += pixel_at(pixels, 64, x, y).a > 128;
    EXPECT_GT(lit, 20);
    EXPECT_EQ(pixel_at(pixels, 64, 63, 31).a, 0) << "short text leaves the far corner clear";

    for (const auto& index : {Nodes::make_int(1), Nodes::make_int(-3)}) {
        node.outputs[0].reset();
        set(node, 0, index);
        set(node, 1, Nodes::make_string("other"));
        frame();
        EXPECT_FALSE(node.outputs[0].hasValue);
        EXPECT_EQ(text.current_text, "Hi");
    }
}

// ---- untrusted values -------------------------------------------------------------

TEST_F(RenderNodesGl, ProgramNode_LinksOfOtherKindsAndForgedSlotsAreReadSafely) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& constant = add("Constant");
    set(constant, 2, Nodes::make_float(123456.0f));
    GraphNode& node = add("resources/green.frag");
    link(constant, 2, node, 0);  // a float into "size"
    link(constant, 2, node, 1);  // and into "tex"
    node.state[2].set(Nodes::make_buffer_ref(reinterpret_cast<void*>(0x1234)));  // not a handle it gave out
    node.state[0].set(Nodes::make_string("quad"));
    node.state[5].set(Nodes::make_vec4(1, 2, 3, 4));
    frame();

    EXPECT_EQ(node.inputs[0].value.type, Nodes::kind_float);
    EXPECT_EQ(playback().render_size.render_width, kWindowWidth) << "the float's bits are no usable size";
    EXPECT_EQ(screen_pixel(5, 5), kGreen);
    EXPECT_EQ(node.state[0].value.type, Nodes::kind_vao) << "a new quad replaced the foreign slot";
    const Buffer* buffer = render_nodes::copy_buffer_of(node.state[2]);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->byte_count(), kWindowWidth * kWindowHeight * 4);
    EXPECT_EQ(texture_size(output_texture(node)), (render_nodes::Size{kWindowWidth, kWindowHeight}));

    MaybeValue forged;
    forged.set(Nodes::make_buffer_ref(const_cast<Buffer*>(buffer)));
    EXPECT_EQ(render_nodes::copy_buffer_of(forged), nullptr) << "an address is never taken for a handle";
    forged.set(Nodes::make_int(1));
    EXPECT_EQ(render_nodes::copy_buffer_of(forged), nullptr);
}

// ---- scenes -------------------------------------------------------------------------

namespace {

constexpr const char* kSceneVertex =
    "#version 330 core\nlayout(location = 0) in vec3 aPosition;\nuniform mat4 uModelViewProjMatrix;\n"
    "void main() { gl_Position = uModelViewProjMatrix * vec4(aPosition, 1.0); }\n";

std::unique_ptr<Model> cube_model() {
    GltfBuilder b;
    // A single-sided material: the scene turns culling on while it draws.
    b.set_scene({b.add_node(b.add_cube_mesh(0.5f, b.add_material({1, 1, 1, 1})))});
    Model source;
    source.filename = "cube.glb";
    source.buffer.data = b.glb();
    ContentWriter out;
    source.write(out);
    const std::vector<uint8_t> bytes(out.bytes().begin(), out.bytes().end());
    ContentReader in(bytes);
    auto model = std::make_unique<Model>();
    model->read(in);
    model->create_gpu_resources();
    return model;
}

}  // namespace

TEST_F(RenderNodesGl, SceneNode_DrawsWithItsProgramAndConnectedCameraVectorsPersist) {
    ShaderProgram& program = add_program("resources/scene.frag", solid_fragment(1, 0, 0));
    program.vertex_shader_source = kSceneVertex;
    testing::internal::CaptureStdout();
    rebuild_program(program, nullptr);
    testing::internal::GetCapturedStdout();

    demo.models.push_back(cube_model());
    ASSERT_TRUE(demo.models[0]->ready);
    auto scene = std::make_unique<Scene>();
    scene->name = "city";
    scene->camera = std::make_unique<Camera>();
    scene->camera->position = {0, 0, 3};
    scene->camera->aspect = float(kWindowWidth) / kWindowHeight;
    scene->root_node = std::make_unique<Node>();
    scene->root_node->model = demo.models[0].get();
    scene->shadow_width = scene->shadow_height = 16;
    scene->create_shadow_resources();
    demo.scenes.push_back(std::move(scene));
    Camera& camera = *demo.scenes[0]->camera;
    register_types();

    GraphNode& node = add("city.scene");
    frame();
    glDisable(GL_DEPTH_TEST);
    EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), kRed);
    EXPECT_EQ(node.state[0].value.as_int(), 0);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE)) << "full-screen quads drawn next would be culled";

    // Looking far up: the cube leaves the picture, and the camera keeps the change.
    set(node, 2, Nodes::make_vec3(0, 100, 3));
    set(node, 3, Nodes::make_vec3(0, 0, 1));
    clear_screen();
    frame();
    glDisable(GL_DEPTH_TEST);
    EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), kBlack);
    EXPECT_EQ(camera.direction, glm::vec3(0, 100, 3));
    EXPECT_EQ(camera.up, glm::vec3(0, 0, 1));
    EXPECT_EQ(camera.position, glm::vec3(0, 0, 3)) << "unconnected vectors stay";

    // A shader index outside the list: no draw and no camera change.
    set(node, 0, Nodes::make_int(4));
    set(node, 1, Nodes::make_vec3(9, 9, 9));
    frame();
    EXPECT_EQ(camera.position, glm::vec3(0, 0, 3));

    // A node whose scene is gone does nothing.
    set(node, 0, Nodes::make_int(0));
    demo.scenes[0]->name = "town";
    node.state[0].reset();
    frame();
    EXPECT_EQ(camera.position, glm::vec3(0, 0, 3));
    EXPECT_FALSE(node.state[0].hasValue);
}

// ---- releasing -------------------------------------------------------------------

// A tool that swaps demos must be able to take back everything the nodes made,
// and only that: a second run then makes working objects again.
TEST_F(RenderNodesGl, ReleasedNodesLeaveNoGlObjectsAndDrawAgainAfterwards) {
    add_program("resources/green.frag", solid_fragment(0, 1, 0));
    register_types();
    GraphNode& target = add("SetFrameBuffer");
    GraphNode& quad = add("TwoTriangles");
    add("ClearFrameBuffer");
    GraphNode& effect = add("Effect2D");
    GraphNode& copy = add("ScreenToTexture");
    GraphNode& internal = add("resources/green.frag");
    set(internal, 0, Nodes::make_ivec2(16, 8));
    set(internal, 2, Nodes::make_bool(true));
    GraphNode& on_screen = add("resources/green.frag");
    frame();

    const uint32_t outsider = solid_texture(1, 2, 3);
    std::vector<uint32_t> textures = {output_texture(target), output_texture(effect), output_texture(copy),
                                      output_texture(internal), output_texture(on_screen)};
    const uint32_t vertex_array = quad.state[0].value.as_uint();
    const uint32_t framebuffer = target.state[0].value.as_uint();
    const uint32_t renderbuffer = target.state[3].value.as_uint();
    const uint32_t internal_framebuffer = internal.state[4].value.as_uint();
    for (uint32_t t : textures) ASSERT_TRUE(glIsTexture(t)) << t;
    ASSERT_TRUE(glIsVertexArray(vertex_array));
    ASSERT_NE(render_nodes::copy_buffer_of(effect.state[2]), nullptr);
    const Nodes::MaybeValue copy_handle = copy.state[1];

    for (auto& node : graph.nodes) render_nodes::release_node_objects(*node->def, node->state);
    for (uint32_t t : textures) EXPECT_FALSE(glIsTexture(t)) << t;
    EXPECT_FALSE(glIsVertexArray(vertex_array));
    EXPECT_FALSE(render_nodes::is_node_quad(vertex_array)) << "DrawTriangles must not draw a deleted array";
    EXPECT_FALSE(glIsFramebuffer(framebuffer));
    EXPECT_FALSE(glIsRenderbuffer(renderbuffer));
    EXPECT_FALSE(glIsFramebuffer(internal_framebuffer));
    EXPECT_EQ(render_nodes::copy_buffer_of(copy_handle), nullptr) << "the pixels are freed, the handle dead";
    for (auto& node : graph.nodes)
        for (const auto& slot : node->state)
            EXPECT_TRUE(!slot.hasValue || slot.value.type == Nodes::kind_int) << node->def->name;
    EXPECT_TRUE(glIsTexture(outsider));

    clear_screen();
    frame();
    EXPECT_EQ(screen_pixel(5, 5), kGreen);
    EXPECT_EQ(pixel_at(gl_test::read_texture(output_texture(internal), 16, 8), 16, 3, 3), kGreen);
    EXPECT_NE(render_nodes::copy_buffer_of(copy.state[1]), nullptr);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &outsider);
}
