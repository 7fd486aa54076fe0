#include <gtest/gtest.h>

#include <GL/glew.h>

#include <memory>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "app/playback_state.h"
#include "render/render_gl.h"
#include "scene3d/gltf_builder.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "tests/support/gl_context.h"

namespace {

using namespace gl_test;

constexpr const char* kVertex =
    "#version 330 core\nlayout(location = 0) in vec3 aPosition;\nuniform mat4 uModelViewProjMatrix;\n"
    "void main() { gl_Position = uModelViewProjMatrix * vec4(aPosition, 1.0); }\n";

// Base colour for untagged nodes; tags 1, 2, 3 paint red, green, blue.
constexpr const char* kTagFragment =
    "#version 330 core\nuniform vec4 uBaseColorFactor;\nuniform int uTag;\nout vec4 color;\n"
    "void main() {\n  if (uTag == 0) color = uBaseColorFactor;\n"
    "  else color = vec4(uTag == 1 ? 1.0 : 0.0, uTag == 2 ? 1.0 : 0.0, uTag == 3 ? 1.0 : 0.0, 1.0);\n}\n";

// Declares (and uses, so the linker keeps) every uniform of the 3D contract.
constexpr const char* kContractFragment =
    "#version 330 core\n"
    "uniform mat4 uModelViewMatrix, uModelMatrix, uLightMVPMatrix;\n"
    "uniform vec4 uBaseColorFactor;\nuniform sampler2D uBaseColorTex;\nuniform int uHasBaseColorTex;\n"
    "uniform float uMetallicFactor, uRoughnessFactor;\nuniform sampler2D uMetallicRoughnessTex;\n"
    "uniform int uHasMetallicRoughnessTex;\nuniform vec3 uEmissiveFactor;\nuniform sampler2D uEmissiveTex;\n"
    "uniform int uHasEmissiveTex;\nuniform vec3 uCameraPos, uLightDir, uLightColor;\n"
    "uniform sampler2D uShadowMapTexture;\nuniform int uTag, uInstance, nodeIdx;\nout vec4 color;\n"
    "void main() {\n"
    "  vec4 s = uModelViewMatrix[0] + uModelMatrix[1] + uLightMVPMatrix[2] + uBaseColorFactor\n"
    "         + texture(uBaseColorTex, vec2(0.5)) + texture(uMetallicRoughnessTex, vec2(0.5))\n"
    "         + texture(uEmissiveTex, vec2(0.5)) + texture(uShadowMapTexture, vec2(0.5));\n"
    "  float f = uMetallicFactor + uRoughnessFactor + float(uHasBaseColorTex + uHasMetallicRoughnessTex\n"
    "          + uHasEmissiveTex + uTag + uInstance + nodeIdx)\n"
    "          + dot(uEmissiveFactor + uCameraPos + uLightDir + uLightColor, vec3(1.0));\n"
    "  color = s * 1e-6 + vec4(f * 1e-6);\n}\n";

std::unique_ptr<ShaderProgram> program_of(const char* vertex, const char* fragment) {
    auto p = std::make_unique<ShaderProgram>();
    p->vertex_shader_source = vertex;
    p->fragment_shader_source = fragment;
    p->fragment_shader_filename = "scene3d_test.frag";
    testing::internal::CaptureStdout();
    build_program(*p, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(p->gl_program, 0u);
    glUseProgram(p->gl_program);
    return p;
}

// Reads the model from its stored form, then makes its GPU side, as the
// loader does. `log` receives what went to the standard log stream.
std::unique_ptr<Model> gpu_model(const GltfBuilder& b, std::string* log = nullptr) {
    Model source;
    source.filename = "m.glb";
    source.buffer.data = b.glb();
    ContentWriter out;
    source.write(out);
    const std::vector<uint8_t> bytes(out.bytes().begin(), out.bytes().end());
    ContentReader in(bytes);
    auto model = std::make_unique<Model>();
    testing::internal::CaptureStdout();
    model->read(in);
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStderr();
    model->create_gpu_resources();
    const std::string err = testing::internal::GetCapturedStderr();
    if (log) *log = err;
    return model;
}

std::unique_ptr<Scene> scene_of(Model* model) {
    auto scene = std::make_unique<Scene>();
    scene->name = "s";
    scene->camera = std::make_unique<Camera>();
    scene->camera->position = {0, 0, 3};
    scene->camera->direction = {0, 0, 0};
    scene->camera->fov = 60;
    scene->camera->aspect = float(kWindowWidth) / kWindowHeight;
    scene->camera->znear = 0.1f;
    scene->camera->zfar = 100;
    scene->root_node = std::make_unique<Node>();
    scene->root_node->model = model;
    // 8192 x 8192 of depth is 256 MB on the software rasteriser; tests need
    // only a few texels.
    scene->shadow_width = scene->shadow_height = 64;
    testing::internal::CaptureStdout();
    scene->create_shadow_resources();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    return scene;
}

GltfBuilder coloured_cube(std::vector<double> colour, float half = 0.5f) {
    GltfBuilder b;
    const int material = b.add_material(std::move(colour), 0.0, 0.01);
    b.set_scene({b.add_node(b.add_cube_mesh(half, material))});
    return b;
}

// A square in the z = 0 plane covering clip space under the test camera.
int add_wall(GltfBuilder& b) {
    const int position = b.add_vec3({-5, -5, 0, 5, -5, 0, 5, 5, 0, -5, 5, 0});
    return b.add_mesh({b.primitive(position, b.add_indices({0, 1, 2, 0, 2, 3}))});
}

tinygltf::Value extras(std::initializer_list<std::pair<const std::string, tinygltf::Value>> values) {
    return tinygltf::Value(tinygltf::Value::Object(values));
}

// The texture bound on `unit` (GL_TEXTUREn).
GLint texture_on(uint32_t unit) { return bound_texture_on(static_cast<int>(unit - GL_TEXTURE0)); }

class SceneGl : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_GL();
        gl_test::use_window_size();
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glDepthFunc(GL_LESS);
        if (playback().default_white_texture == 0)
            playback().default_white_texture = create_solid_texture(1, 1, 1, 1);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override {
        glDisable(GL_CULL_FACE);
        glDepthFunc(GL_LESS);
    }
};

}  // namespace

// ---- GPU side of models -------------------------------------------------

TEST_F(SceneGl, Model_OneVaoPerPrimitiveWithElementBufferOnlyWhenIndexed) {
    GltfBuilder b;
    const int tri = b.add_vec3({0, 0, 0, 1, 0, 0, 0, 1, 0});
    tinygltf::Primitive with_normal = b.primitive(tri);
    with_normal.attributes["NORMAL"] = tri;
    const int m0 = b.add_mesh({b.primitive(tri), with_normal, b.primitive(tri, b.add_indices({0, 1, 2}))});
    const int m1 = b.add_mesh({b.primitive(tri), b.primitive(tri)});
    b.set_scene({b.add_node(m0), b.add_node(m1)});
    std::string log;
    auto model = gpu_model(b, &log);
    EXPECT_EQ(log, "Number of VAOs: 5\n");
    ASSERT_TRUE(model->ready);
    ASSERT_EQ(model->vaos.size(), 5u);
    EXPECT_EQ(model->gl_buffers.size(), 1u);
    EXPECT_EQ(model->mesh_ranges[1].first, 3);

    glBindVertexArray(model->vaos[0]);
    EXPECT_EQ(gl_int(GL_ELEMENT_ARRAY_BUFFER_BINDING), 0);
    GLint enabled = 0;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, 1);
    glGetVertexAttribiv(1, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, 0);
    glBindVertexArray(model->vaos[1]);
    glGetVertexAttribiv(1, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, 1);
    glBindVertexArray(model->vaos[2]);
    EXPECT_EQ(gl_int(GL_ELEMENT_ARRAY_BUFFER_BINDING), static_cast<GLint>(model->gl_buffers[0]));
    glBindVertexArray(0);
    EXPECT_TRUE(model->textures.empty());
    EXPECT_EQ(model->joint_matrix_buffer, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SceneGl, Model_ImagesBecomeTexturesAndSkinsGetAJointBlock) {
    GltfBuilder b = coloured_cube({1, 1, 1, 1});
    b.add_base_colour_picture(0, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255});
    tinygltf::Skin skin;
    skin.joints = {0};
    skin.inverseBindMatrices =
        b.add_accessor(std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
                       TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_MAT4, 1);
    b.doc.skins.push_back(skin);

    auto model = gpu_model(b);
    ASSERT_EQ(model->textures.size(), 1u);
    const Texture& t = *model->textures[0];
    EXPECT_EQ(t.name, "checker");
    EXPECT_EQ(t.width, 2);
    ASSERT_NE(t.gl_texture, 0u);
    EXPECT_EQ(gl_test::read_texture(t.gl_texture, 2, 2), b.doc.images[0].image);

    ASSERT_NE(model->joint_matrix_buffer, 0u);
    glBindBuffer(GL_UNIFORM_BUFFER, model->joint_matrix_buffer);
    GLint size = 0;
    glGetBufferParameteriv(GL_UNIFORM_BUFFER, GL_BUFFER_SIZE, &size);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
    EXPECT_EQ(size, 6400);

    // Drawing binds this model's block to point 0, whatever was there.
    GLuint other = 0;
    glGenBuffers(1, &other);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, other);
    auto program = program_of(kVertex, kContractFragment);
    auto scene = scene_of(model.get());
    scene->draw(*program);
    GLint has_texture = 0;
    glGetUniformiv(program->gl_program, program->locations.uHasBaseColorTex, &has_texture);
    EXPECT_EQ(has_texture, 1);
    GLint bound = 0;
    glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, 0, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(model->joint_matrix_buffer));
    // The material's texture sits on the base-colour unit.
    EXPECT_EQ(texture_on(program->base_color_unit), static_cast<GLint>(t.gl_texture));
    glDeleteBuffers(1, &other);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// ---- drawing ------------------------------------------------------------

TEST_F(SceneGl, Draw_CubeAppearsInItsMaterialColour) {
    auto model = gpu_model(coloured_cube({1.0, 0.5, 0.25, 1.0}));
    auto scene = scene_of(model.get());
    auto program = program_of(kVertex, kTagFragment);
    clear_screen();
    scene->draw(*program);
    EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), (Rgba{255, 128, 64, 255}));
    EXPECT_EQ(screen_pixel(1, 1), (Rgba{0, 0, 0, 255}));
    // State left behind: depth test off, unit 0 active, culling as the
    // single-sided material set it.
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(gl_int(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Culling really is on: from inside the cube every face turns its back.
    scene->camera->position = {0, 0, 0.1f};
    scene->camera->direction = {0, 0, -1};
    clear_screen();
    scene->draw(*program);
    EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), (Rgba{0, 0, 0, 255}));
    // A double-sided material turns culling off and shows the inside.
    model->material_draws[0].double_sided = true;
    scene->draw(*program);
    EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), (Rgba{255, 128, 64, 255}));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
}

TEST_F(SceneGl, Draw_NodeOfRenderPassThreeIsDrawnAfterAllOthers) {
    // Two walls at the same depth; with LEQUAL the one drawn last shows. The
    // pass-3 wall comes first in the hierarchy but must be drawn last.
    GltfBuilder b;
    const int wall = add_wall(b);
    const int late = b.add_node(wall);
    const int early = b.add_node(wall);
    b.doc.nodes[late].extras = extras({{"render_pass", tinygltf::Value(3)}, {"tag", tinygltf::Value(1)}});
    b.doc.nodes[early].extras = extras({{"tag", tinygltf::Value(2)}});
    b.set_scene({late, early});
    auto model = gpu_model(b);
    auto scene = scene_of(model.get());
    auto program = program_of(kVertex, kTagFragment);

    glDepthFunc(GL_LEQUAL);
    clear_screen();
    scene->draw(*program);
    EXPECT_EQ(screen_pixel(10, 10), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(model->render_pass_count, 3);

    // Control: with both in pass 1, hierarchy order decides.
    model->node_draws[late].render_pass = 1;
    model->render_passes = {1};
    clear_screen();
    scene->draw(*program);
    EXPECT_EQ(screen_pixel(10, 10), (Rgba{0, 255, 0, 255}));
}

TEST_F(SceneGl, Draw_ShadowPassSkipsIgnoredNodesButDrawsTheirChildren) {
    // Seen from the light at (300, 50, 0), the ignored cube sits at the centre
    // of the shadow map and its child, 50 units along +z, left of it.
    GltfBuilder b;
    const int cube = b.add_cube_mesh(10.0f);
    const int child = b.add_node(cube);
    const int ignored = b.add_node(cube, {child});
    b.doc.nodes[child].translation = {0, 0, 50};
    b.doc.nodes[ignored].extras = extras({{"ignore_shadow", tinygltf::Value(true)}});
    b.set_scene({ignored});
    auto model = gpu_model(b);
    auto scene = scene_of(model.get());
    auto program = program_of(kVertex, kTagFragment);

    auto depth_at = [&](int x, int y) {
        float depth = -1;
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        return depth;
    };
    auto shadow_pass = [&] {
        glBindFramebuffer(GL_FRAMEBUFFER, scene->shadow_framebuffer);
        glViewport(0, 0, scene->shadow_width, scene->shadow_height);
        glClear(GL_DEPTH_BUFFER_BIT);
        scene->shadow_pass = true;
        scene->draw(*program);
        scene->shadow_pass = false;
    };
    shadow_pass();
    EXPECT_LT(depth_at(16, 32), 1.0f);   // the child
    EXPECT_EQ(depth_at(32, 32), 1.0f);   // the ignored node
    EXPECT_EQ(depth_at(48, 32), 1.0f);   // nothing there

    // The same node is drawn when it does not opt out.
    model->node_draws[ignored].ignore_shadow = false;
    shadow_pass();
    EXPECT_LT(depth_at(32, 32), 1.0f);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SceneGl, Draw_SetsTheUniformContract) {
    GltfBuilder b = coloured_cube({0.2, 0.4, 0.6, 0.8});
    b.doc.nodes[0].translation = {0, 0, -1};
    b.doc.nodes[0].extras = extras({{"tag", tinygltf::Value(9)}});
    auto model = gpu_model(b);
    auto scene = scene_of(model.get());
    auto program = program_of(kVertex, kContractFragment);
    const GLuint id = program->gl_program;
    const BuiltinUniformLocations& u = program->locations;
    ASSERT_GE(u.uMetallicFactor, 0);
    ASSERT_GE(u.uShadowMapTexture, 0);

    clear_screen();
    scene->draw(*program);
    auto get_f = [&](GLint location, int n) {
        std::vector<float> v(n);
        glGetUniformfv(id, location, v.data());
        return v;
    };
    auto get_i = [&](GLint location) {
        GLint v = -1;
        glGetUniformiv(id, location, &v);
        return v;
    };
    EXPECT_EQ(get_f(u.uMetallicFactor, 1)[0], 1.0f);   // 0 means 1
    EXPECT_EQ(get_f(u.uRoughnessFactor, 1)[0], 0.04f); // 0.01 raised
    EXPECT_EQ(get_f(u.uBaseColorFactor, 4), (std::vector<float>{0.2f, 0.4f, 0.6f, 0.8f}));
    EXPECT_EQ(get_f(u.uLightDir, 3), (std::vector<float>{0, -1, 0}));
    EXPECT_EQ(get_f(u.uLightColor, 3), (std::vector<float>(3, 0.57735027f)));
    EXPECT_EQ(get_f(u.uCameraPos, 3), (std::vector<float>{0, 0, 3}));
    EXPECT_EQ(get_f(u.uModelMatrix, 16)[14], -1.0f);
    const glm::mat4 expected_view = scene->camera->view_matrix() * glm::translate(glm::mat4(1), glm::vec3(0, 0, -1));
    EXPECT_EQ(get_f(u.uModelViewMatrix, 16)[14], expected_view[3][2]);
    const glm::mat4 light = scene->light_camera.projection_matrix() * scene->light_camera.view_matrix() *
                            glm::translate(glm::mat4(1), glm::vec3(0, 0, -1));
    EXPECT_NEAR(get_f(u.uLightMVPMatrix, 16)[12], light[3][0], 1e-6);
    EXPECT_EQ(get_i(u.uTag), 9);
    EXPECT_EQ(get_i(u.uInstance), 0);
    EXPECT_EQ(get_i(u.nodeIdx), 0);
    EXPECT_EQ(get_i(u.uHasBaseColorTex), 0);
    EXPECT_EQ(get_i(u.uHasEmissiveTex), 0);
    // Samplers: their slot's unit number, with the right texture there.
    EXPECT_EQ(get_i(u.uBaseColorTex), static_cast<GLint>(program->base_color_unit - GL_TEXTURE0));
    EXPECT_EQ(texture_on(program->base_color_unit), static_cast<GLint>(playback().default_white_texture));
    EXPECT_EQ(get_i(u.uMetallicRoughnessTex), static_cast<GLint>(program->metallic_roughness_unit - GL_TEXTURE0));
    EXPECT_EQ(texture_on(program->metallic_roughness_unit), 0);
    EXPECT_EQ(get_i(u.uShadowMapTexture), static_cast<GLint>(program->shadow_map_unit - GL_TEXTURE0));
    EXPECT_EQ(texture_on(program->shadow_map_unit), static_cast<GLint>(scene->shadow_depth_texture));

    // A primitive without material sends the defaults and leaves culling
    // and texture bindings alone.
    model->primitive_draws[0].material = -1;
    glDisable(GL_CULL_FACE);
    GLuint marker = create_solid_texture(0, 0, 0, 1);
    glActiveTexture(program->base_color_unit);
    glBindTexture(GL_TEXTURE_2D, marker);
    glActiveTexture(GL_TEXTURE0);
    scene->draw(*program);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(texture_on(program->base_color_unit), static_cast<GLint>(marker));
    EXPECT_EQ(get_f(u.uBaseColorFactor, 4), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ(get_f(u.uRoughnessFactor, 1)[0], 1.0f);
    glDeleteTextures(1, &marker);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SceneGl, Draw_NothingWithoutCameraDefaultSceneOrUsableModel) {
    auto program = program_of(kVertex, kTagFragment);
    auto expect_blank = [&](Scene& scene, const char* why) {
        clear_screen();
        scene.draw(*program);
        EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), (Rgba{0, 0, 0, 255})) << why;
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST)) << why;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << why;
    };

    auto model = gpu_model(coloured_cube({1, 1, 1, 1}));
    auto scene = scene_of(model.get());
    scene->camera.reset();
    expect_blank(*scene, "no camera");

    scene = scene_of(nullptr);
    expect_blank(*scene, "no model");
    scene->root_node.reset();
    expect_blank(*scene, "no root node");

    GltfBuilder no_default = coloured_cube({1, 1, 1, 1});
    no_default.doc.defaultScene = -1;
    auto undrawn = gpu_model(no_default);
    scene = scene_of(undrawn.get());
    expect_blank(*scene, "no default scene");

    GltfBuilder hostile = coloured_cube({1, 1, 1, 1});
    hostile.doc.accessors[1].count = 1000;  // indices past the end of the buffer
    std::string log;
    auto inert = gpu_model(hostile, &log);
    EXPECT_EQ(log, "Number of VAOs: 0\n");
    EXPECT_TRUE(inert->vaos.empty());
    scene = scene_of(inert.get());
    expect_blank(*scene, "inert model");
}

TEST_F(SceneGl, Draw_ProgramWithoutContractUniformsStillDrawsGeometry) {
    auto model = gpu_model(coloured_cube({1, 1, 1, 1}));
    model->material_draws[0].double_sided = true;
    auto scene = scene_of(model.get());
    auto program = program_of(
        "#version 330 core\nlayout(location = 0) in vec3 p;\nvoid main() { gl_Position = vec4(p, 1.0); }\n",
        "#version 330 core\nout vec4 c;\nvoid main() { c = vec4(0.0, 0.0, 1.0, 1.0); }\n");
    clear_screen();
    scene->draw(*program);
    EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Regression: after a scene with a single-sided material, culling stayed on
// and the next full-screen pass (a clockwise quad) drew nothing.
TEST_F(SceneGl, EffectWithScene_LeavesCullingOffSoTheNextFullScreenPassDraws) {
    auto model = gpu_model(coloured_cube({1.0, 0.5, 0.25, 1.0}));
    ASSERT_FALSE(model->material_draws[0].double_sided);
    auto scene = scene_of(model.get());
    auto program = program_of(kVertex, kTagFragment);
    Effect with_scene("cube", program.get(), nullptr, nullptr, false, false, scene.get());
    create_targets(with_scene);
    auto flat = program_of("#version 330 core\nin vec3 vp;\nvoid main() { gl_Position = vec4(vp, 1.0); }\n",
                           "#version 330 core\nout vec4 c;\nvoid main() { c = vec4(0.0, 1.0, 0.0, 1.0); }\n");
    Effect full_screen("flat", flat.get());
    create_targets(full_screen);

    clear_screen();
    draw_effect(with_scene);
    EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), (Rgba{255, 128, 64, 255}));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    draw_effect(full_screen);
    EXPECT_EQ(screen_pixel(1, 1), (Rgba{0, 255, 0, 255}));
}

// Regression: a model whose positions or indices used a sparse accessor was
// drawn from its base values; it must draw exactly as the model written out.
TEST_F(SceneGl, SparsePositionsAndIndices_DrawAsTheSameModelWrittenOut) {
    auto program = program_of(kVertex, kTagFragment);
    // A square of the left half; substitutions drag two corners to the right.
    const std::vector<float> base = {-4, -4, 0, 0, -4, 0, 0, 4, 0, -4, 4, 0};
    const std::vector<float> written_out = {-4, -4, 0, 4, -2, 0, 3, 4, 0, -4, 4, 0};
    auto model_with = [&](const std::vector<float>& positions, bool sparse) {
        GltfBuilder b;
        const int material = b.add_material({1.0, 1.0, 1.0, 1.0});
        b.doc.materials[material].doubleSided = true;
        const int position = b.add_vec3(positions);
        if (sparse) b.make_sparse(position, {2, 1}, {3, 4, 0, 4, -2, 0});
        b.set_scene({b.add_node(b.add_mesh({b.primitive(position, b.add_indices({0, 1, 2, 0, 2, 3}), material)}))});
        return gpu_model(b);
    };
    auto picture = [&](Model* model) {
        auto scene = scene_of(model);
        clear_screen();
        glUseProgram(program->gl_program);
        scene->draw(*program);
        return read_pixels(0, 0, kWindowWidth, kWindowHeight);
    };
    auto sparse = model_with(base, true);
    ASSERT_TRUE(sparse->valid) << sparse->rejection;
    auto dense = model_with(written_out, false);
    auto unchanged = model_with(base, false);
    const auto drawn = picture(sparse.get());
    EXPECT_EQ(drawn, picture(dense.get()));
    EXPECT_NE(drawn, picture(unchanged.get())) << "the substitutions must show";
    EXPECT_EQ(sparse->dense_buffers.size(), 1u);

    // Sparse indices: the base list draws one triangle twice, the
    // substitutions make it the square's second half.
    auto indexed_with = [&](bool sparse_indices, uint16_t last) {
        GltfBuilder b;
        const int material = b.add_material({1.0, 1.0, 1.0, 1.0});
        b.doc.materials[material].doubleSided = true;
        const int indices = b.add_indices({0, 1, 2, 0, 1, 2});
        if (sparse_indices) b.make_sparse<uint16_t>(indices, {4, 5}, {2, last});
        b.set_scene({b.add_node(b.add_mesh({b.primitive(b.add_vec3(written_out), indices, material)}))});
        return gpu_model(b);
    };
    auto sparse_indexed = indexed_with(true, 3);
    ASSERT_TRUE(sparse_indexed->valid) << sparse_indexed->rejection;
    EXPECT_EQ(picture(sparse_indexed.get()), drawn);
    EXPECT_NE(picture(indexed_with(false, 3).get()), drawn);
    auto past_the_vertices = indexed_with(true, 9);
    EXPECT_FALSE(past_the_vertices->valid) << "a substituted index is checked like any other";
    EXPECT_NE(past_the_vertices->rejection.find("index 9"), std::string::npos) << past_the_vertices->rejection;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Every scene used to make its 256 MB shadow map while loading, used or not.
// Until an effect draws the scene's first shadow pass, the scene samples a
// 1 x 1 stand-in of depth 1; that pass makes the map, fills it, and later
// draws sample what it filled.
TEST_F(SceneGl, ShadowMap_MadeByTheFirstShadowPassAndUnshadowedUntilThen) {
    GltfBuilder b = coloured_cube({1, 1, 1, 1}, 5.0f);
    auto model = gpu_model(b);
    auto scene = scene_of(model.get());
    scene->camera->position = {0, 0, 30};
    scene->create_shadow_placeholder();
    EXPECT_EQ(scene->shadow_framebuffer, 0u);
    ASSERT_NE(scene->shadow_depth_texture, 0u);
    glBindTexture(GL_TEXTURE_2D, scene->shadow_depth_texture);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    float depth = 0;
    glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(width, 1);
    EXPECT_EQ(height, 1);
    EXPECT_EQ(depth, 1.0f);

    // The depth at the middle of the light's view, where the cube stands, as red.
    auto program = program_of(kVertex,
                              "#version 330 core\nuniform sampler2D uShadowMapTexture;\nout vec4 color;\n"
                              "void main() { color = vec4(texture(uShadowMapTexture, vec2(0.5)).r, 0.0, 0.0, 1.0); }\n");
    auto sampled_red = [&] {
        clear_screen();
        glUseProgram(program->gl_program);
        scene->draw(*program);
        return screen_pixel(kWindowWidth / 2, kWindowHeight / 2).r;
    };
    EXPECT_EQ(sampled_red(), 255) << "a scene node before any shadow pass sees nothing in shadow";

    Effect effect("lit", program.get(), nullptr, nullptr, false, false, scene.get());
    create_targets(effect);
    testing::internal::CaptureStdout();
    draw_effect(effect);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_NE(scene->shadow_framebuffer, 0u);
    const GLuint map = scene->shadow_depth_texture;
    glBindTexture(GL_TEXTURE_2D, map);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(width, 64) << "the map has the scene's asked size";
    const int filled = sampled_red();
    EXPECT_LT(filled, 250) << "a later draw samples what the shadow pass filled";
    EXPECT_GT(filled, 0);

    draw_effect(effect);
    EXPECT_EQ(scene->shadow_depth_texture, map) << "made once";
    EXPECT_EQ(sampled_red(), filled);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SceneGl, ShadowResources_DepthFramebufferOfTheAskedSizeIsComplete) {
    auto scene = scene_of(nullptr);
    ASSERT_NE(scene->shadow_framebuffer, 0u);
    ASSERT_NE(scene->shadow_depth_texture, 0u);
    glBindFramebuffer(GL_FRAMEBUFFER, scene->shadow_framebuffer);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    GLint attached = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &attached);
    EXPECT_EQ(attached, static_cast<GLint>(scene->shadow_depth_texture));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, scene->shadow_depth_texture);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(gl_int(GL_FRAMEBUFFER_BINDING), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
