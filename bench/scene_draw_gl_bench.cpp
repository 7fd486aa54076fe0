// CPU cost of Scene::draw for a model of 1,000 mesh nodes, against a plain
// loop that issues the same GL calls (same uniforms, same binds, same draws)
// from precomputed values. The ratio is what the hierarchy walk, the world
// matrices and the material rules cost on top of the driver. Draws go to a
// 1 x 1 viewport so the rasteriser stays out of the measurement; both loops
// end with glFinish. Needs X (run under xvfb-run).
#include <benchmark/benchmark.h>

#include <GL/glew.h>
#include <SDL.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <glm/gtc/type_ptr.hpp>

#include "app/hidden_gl_window.h"
#include "render/render_gl.h"
#include "scene3d/gltf_builder.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"

namespace {

constexpr int kFanOut = 10;  // 10 roots x 10 children x 10 grandchildren
constexpr int kNodes = kFanOut * kFanOut * kFanOut;

constexpr const char* kVertex =
    "#version 330 core\nlayout(location = 0) in vec3 aPosition;\nuniform mat4 uModelViewProjMatrix;\n"
    "void main() { gl_Position = uModelViewProjMatrix * vec4(aPosition, 1.0); }\n";

constexpr const char* kFragment =
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

struct Fixture {
    bool ok = false;
    std::string why;
    HiddenGlWindow gl;
    std::unique_ptr<ShaderProgram> program;
    std::unique_ptr<Model> model;
    std::unique_ptr<Scene> scene;
    uint32_t white = 0;
};

std::unique_ptr<Model> thousand_node_model() {
    GltfBuilder b;
    const int material = b.add_material({0.8, 0.7, 0.6, 1.0}, 0.5, 0.5);
    const int mesh = b.add_cube_mesh(0.1f, material);
    std::vector<int> roots;
    for (int i = 0; i < kFanOut; ++i) {
        std::vector<int> children;
        for (int j = 0; j < kFanOut; ++j) {
            std::vector<int> leaves;
            for (int k = 0; k < kFanOut; ++k) {
                const int leaf = b.add_node(mesh);
                b.doc.nodes[leaf].translation = {0.01 * k, 0, 0};
                leaves.push_back(leaf);
            }
            const int child = b.add_node(mesh, leaves);
            b.doc.nodes[child].rotation = {0, 0.0998, 0, 0.995};
            children.push_back(child);
        }
        const int root = b.add_node(mesh, children);
        b.doc.nodes[root].scale = {1.0, 1.0, 1.0 + 0.01 * i};
        roots.push_back(root);
    }
    b.set_scene(roots);

    Model source;
    source.filename = "bench.glb";
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

Fixture& fixture() {
    static Fixture f = [] {
        Fixture f;
        f.why = open_hidden_gl_window("scene bench", 16, 16, f.gl);
        if (!f.why.empty()) return f;
        f.program = std::make_unique<ShaderProgram>();
        f.program->vertex_shader_source = kVertex;
        f.program->fragment_shader_source = kFragment;
        build_program(*f.program, nullptr);
        f.model = thousand_node_model();
        f.scene = std::make_unique<Scene>();
        f.scene->camera = std::make_unique<Camera>();
        f.scene->root_node = std::make_unique<Node>();
        f.scene->root_node->model = f.model.get();
        f.scene->shadow_width = f.scene->shadow_height = 16;
        f.scene->create_shadow_resources();
        f.white = create_solid_texture(1, 1, 1, 1);
        glUseProgram(f.program->gl_program);
        glViewport(0, 0, 1, 1);
        f.ok = f.model->valid && f.model->ready && f.program->gl_program != 0;
        if (!f.ok) f.why = "fixture did not build";
        return f;
    }();
    return f;
}

void BM_SceneDraw(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError(f.why.c_str());
        return;
    }
    for (auto _ : state) {
        f.scene->draw(*f.program);
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_SceneDraw)->Unit(benchmark::kMicrosecond);

// The same calls in the same order, every value computed beforehand.
void BM_SameGlCallsFromAFlatList(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError(f.why.c_str());
        return;
    }
    const BuiltinUniformLocations& u = f.program->locations;
    const Model& m = *f.model;
    struct Item {
        int32_t node;
        glm::mat4 mvp, world, model_view, light;
        int32_t tag;
    };
    std::vector<Item> items;
    for (size_t n = 0; n < m.node_draws.size(); ++n)
        items.push_back({static_cast<int32_t>(n), glm::mat4(1.0f), glm::mat4(2.0f), glm::mat4(3.0f),
                         glm::mat4(4.0f), 0});
    const MaterialDraw& mat = m.material_draws[0];
    const PrimitiveDraw& p = m.primitive_draws[0];
    const uint32_t vao = m.vaos[0];
    const GLint base_unit = static_cast<GLint>(f.program->base_color_unit - GL_TEXTURE0);
    const GLint mr_unit = static_cast<GLint>(f.program->metallic_roughness_unit - GL_TEXTURE0);
    const GLint em_unit = static_cast<GLint>(f.program->emissive_unit - GL_TEXTURE0);

    for (auto _ : state) {
        glEnable(GL_DEPTH_TEST);
        glActiveTexture(f.program->shadow_map_unit);
        glBindTexture(GL_TEXTURE_2D, f.scene->shadow_depth_texture);
        glUniform1i(u.uShadowMapTexture, 3);
        glActiveTexture(GL_TEXTURE0);
        glUniform3f(u.uCameraPos, 0, 0, 5);
        glUniform3f(u.uLightDir, 0, -1, 0);
        glUniform3f(u.uLightColor, 0.57735027f, 0.57735027f, 0.57735027f);
        for (const Item& it : items) {
            glUniform1i(u.nodeIdx, it.node);
            glUniformMatrix4fv(u.uModelViewProjMatrix, 1, GL_FALSE, glm::value_ptr(it.mvp));
            glUniformMatrix4fv(u.uModelMatrix, 1, GL_FALSE, glm::value_ptr(it.world));
            glUniformMatrix4fv(u.uModelViewMatrix, 1, GL_FALSE, glm::value_ptr(it.model_view));
            glUniformMatrix4fv(u.uLightMVPMatrix, 1, GL_FALSE, glm::value_ptr(it.light));
            glUniform1i(u.uTag, it.tag);
            glUniform1i(u.uInstance, 0);
            glUniform4f(u.uBaseColorFactor, mat.base_color.x, mat.base_color.y, mat.base_color.z, mat.base_color.w);
            glUniform1i(u.uHasBaseColorTex, 0);
            glActiveTexture(f.program->base_color_unit);
            glBindTexture(GL_TEXTURE_2D, f.white);
            glUniform1i(u.uBaseColorTex, base_unit);
            glUniform1f(u.uMetallicFactor, mat.metallic);
            glUniform1f(u.uRoughnessFactor, mat.roughness);
            glUniform1i(u.uHasMetallicRoughnessTex, 0);
            glActiveTexture(f.program->metallic_roughness_unit);
            glBindTexture(GL_TEXTURE_2D, 0);
            glUniform1i(u.uMetallicRoughnessTex, mr_unit);
            glUniform3f(u.uEmissiveFactor, 0, 0, 0);
            glUniform1i(u.uHasEmissiveTex, 0);
            glActiveTexture(f.program->emissive_unit);
            glBindTexture(GL_TEXTURE_2D, 0);
            glUniform1i(u.uEmissiveTex, em_unit);
            glActiveTexture(GL_TEXTURE0);
            glEnable(GL_CULL_FACE);
            glBindVertexArray(vao);
            glDrawElements(p.mode, p.count, p.index_type, reinterpret_cast<const void*>(p.index_offset));
        }
        glBindVertexArray(0);
        glDisable(GL_DEPTH_TEST);
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_SameGlCallsFromAFlatList)->Unit(benchmark::kMicrosecond);

}  // namespace
