// Drawing a scene: the glTF node hierarchy of the root node's model, with the
// per-node and per-material uniforms of the 3D program contract, and the
// scene's shadow map. Everything drawn was built at load; this path only
// binds, sets uniforms and draws, and allocates nothing.
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>

#include <glm/gtc/type_ptr.hpp>

#include "app/playback_state.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/messages.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"

void Scene::create_shadow_placeholder() {
    if (shadow_framebuffer) glDeleteFramebuffers(1, &shadow_framebuffer);
    if (shadow_depth_texture) glDeleteTextures(1, &shadow_depth_texture);
    shadow_framebuffer = 0;
    // Depth 1 everywhere: whatever a program compares with it is unshadowed.
    const float far_depth = 1.0f;
    glGenTextures(1, &shadow_depth_texture);
    glBindTexture(GL_TEXTURE_2D, shadow_depth_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, 1, 1, 0, GL_DEPTH_COMPONENT, GL_FLOAT, &far_depth);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void Scene::create_shadow_resources() {
    if (shadow_framebuffer) glDeleteFramebuffers(1, &shadow_framebuffer);
    if (shadow_depth_texture) glDeleteTextures(1, &shadow_depth_texture);
    shadow_framebuffer = shadow_depth_texture = 0;

    // A size the driver cannot make would leave an incomplete framebuffer
    // and a viewport larger than it; take the largest it can.
    GLint max_texture = 0, max_renderbuffer = 0, max_viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, max_viewport);
    const GLint limit = std::min({max_texture, max_renderbuffer, max_viewport[0], max_viewport[1]});
    shadow_width = std::clamp(shadow_width, 1, std::max(limit, 1));
    shadow_height = std::clamp(shadow_height, 1, std::max(limit, 1));

    glGenFramebuffers(1, &shadow_framebuffer);
    glGenTextures(1, &shadow_depth_texture);
    glBindTexture(GL_TEXTURE_2D, shadow_depth_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, shadow_width, shadow_height, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glBindFramebuffer(GL_FRAMEBUFFER, shadow_framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, shadow_depth_texture, 0);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) std::printf(scene3d_messages::kFramebufferError, status);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

namespace {

// The scene is drawn once per instance; the count is fixed.
constexpr int kInstanceCount = 1;
const glm::vec3 kLightDir(0.0f, -1.0f, 0.0f);
const glm::vec3 kLightColor(0.57735027f);

void set_mat4(GLint location, const glm::mat4& m) {
    if (location >= 0) glUniformMatrix4fv(location, 1, GL_FALSE, glm::value_ptr(m));
}
void set_int(GLint location, int v) {
    if (location >= 0) glUniform1i(location, v);
}
void set_float(GLint location, float v) {
    if (location >= 0) glUniform1f(location, v);
}
void set_vec3(GLint location, const glm::vec3& v) {
    if (location >= 0) glUniform3f(location, v.x, v.y, v.z);
}
void set_vec4(GLint location, const glm::vec4& v) {
    if (location >= 0) glUniform4f(location, v.x, v.y, v.z, v.w);
}

class ModelDrawer {
public:
    ModelDrawer(Scene& scene, Model& model, const ShaderProgram& program, const Camera& camera)
        : scene_(scene),
          model_(model),
          program_(program),
          u_(program.locations),
          view_(camera.view_matrix()),
          projection_(camera.projection_matrix()),
          light_(scene.light_camera.projection_matrix() * scene.light_camera.view_matrix()) {}

    void draw(int instance, const glm::vec3& camera_position) {
        instance_ = instance;
        set_vec3(u_.uCameraPos, camera_position);
        set_vec3(u_.uLightDir, kLightDir);
        set_vec3(u_.uLightColor, kLightColor);
        if (model_.root_nodes.empty()) return;  // no default scene
        for (int32_t pass : model_.render_passes)
            for (int32_t root : model_.root_nodes) draw_node(root, pass, glm::mat4(1.0f));
    }

private:
    void draw_node(int32_t index, int32_t pass, const glm::mat4& parent) {
        const NodeDraw& node = model_.node_draws[index];
        set_int(u_.nodeIdx, index);
        const glm::mat4 world = model_.animated_nodes[index] ? model_.node_matrices[index] : parent * node.local;

        if (node.mesh >= 0 && !(scene_.shadow_pass && node.ignore_shadow) && node.render_pass == pass) {
            const glm::mat4 model_view = view_ * world;
            set_mat4(u_.uModelViewProjMatrix, projection_ * model_view);
            set_mat4(u_.uModelMatrix, world);
            set_mat4(u_.uModelViewMatrix, model_view);
            set_mat4(u_.uLightMVPMatrix, light_ * world);
            set_int(u_.uTag, node.tag);
            set_int(u_.uInstance, instance_);
            const MeshRange range = model_.mesh_ranges[node.mesh];
            for (int32_t k = 0; k < range.count; ++k) {
                const PrimitiveDraw& p = model_.primitive_draws[range.first + k];
                set_material(p.material);
                glBindVertexArray(model_.vaos[range.first + k]);
                if (p.indexed)
                    glDrawElements(p.mode, p.count, p.index_type,
                                   reinterpret_cast<const void*>(static_cast<uintptr_t>(p.index_offset)));
                else
                    glDrawArrays(p.mode, 0, p.count);
            }
        }
        for (int32_t child : node.children) draw_node(child, pass, world);
    }

    GLuint image_texture(int32_t image) const {
        if (image < 0 || static_cast<size_t>(image) >= model_.textures.size()) return 0;
        return model_.textures[image]->gl_texture;
    }

    void bind_sampler(GLint location, uint32_t unit, GLuint texture) {
        if (location < 0) return;
        glActiveTexture(unit);
        glBindTexture(GL_TEXTURE_2D, texture);
        glUniform1i(location, static_cast<GLint>(unit - GL_TEXTURE0));
    }

    void set_material(int32_t index) {
        if (index < 0) {
            // Texture bindings and culling are left as the last material set them.
            set_vec4(u_.uBaseColorFactor, glm::vec4(1.0f));
            set_int(u_.uHasBaseColorTex, 0);
            set_float(u_.uMetallicFactor, 1.0f);
            set_float(u_.uRoughnessFactor, 1.0f);
            set_int(u_.uHasMetallicRoughnessTex, 0);
            set_vec3(u_.uEmissiveFactor, glm::vec3(0.0f));
            set_int(u_.uHasEmissiveTex, 0);
            return;
        }
        const MaterialDraw& m = model_.material_draws[index];
        set_vec4(u_.uBaseColorFactor, m.base_color);
        set_int(u_.uHasBaseColorTex, m.has_base_color_texture);
        const GLuint base = m.base_color_image >= 0 ? image_texture(m.base_color_image)
                                                    : playback().default_white_texture;
        bind_sampler(u_.uBaseColorTex, program_.base_color_unit, base);
        set_float(u_.uMetallicFactor, m.metallic);
        set_float(u_.uRoughnessFactor, m.roughness);
        set_int(u_.uHasMetallicRoughnessTex, m.has_metallic_roughness_texture);
        bind_sampler(u_.uMetallicRoughnessTex, program_.metallic_roughness_unit,
                     image_texture(m.metallic_roughness_image));
        set_vec3(u_.uEmissiveFactor, m.emissive);
        set_int(u_.uHasEmissiveTex, m.has_emissive_texture);
        bind_sampler(u_.uEmissiveTex, program_.emissive_unit, image_texture(m.emissive_image));
        glActiveTexture(GL_TEXTURE0);
        if (m.double_sided)
            glDisable(GL_CULL_FACE);
        else
            glEnable(GL_CULL_FACE);
    }

    Scene& scene_;
    Model& model_;
    const ShaderProgram& program_;
    const BuiltinUniformLocations& u_;
    const glm::mat4 view_, projection_, light_;
    int instance_ = 0;
};

}  // namespace

void Scene::draw(ShaderProgram& program) {
    if (!root_node) return;
    glEnable(GL_DEPTH_TEST);
    glActiveTexture(program.shadow_map_unit);
    glBindTexture(GL_TEXTURE_2D, shadow_depth_texture);
    set_int(program.locations.uShadowMapTexture, static_cast<GLint>(program.shadow_map_unit - GL_TEXTURE0));
    glActiveTexture(GL_TEXTURE0);

    Model* model = root_node->model;
    Camera* camera = active_camera();
    // A model whose GPU side was never built, or which failed validation,
    // has nothing to draw; so has a scene without a camera.
    if (!model || !model->ready || !model->valid || !camera) {
        glDisable(GL_DEPTH_TEST);
        return;
    }

    if (model->skeleton && model->joint_matrix_buffer) {
        // Indexed binding, so that several skinned models each bring their
        // own matrices to binding point 0.
        glBindBufferBase(GL_UNIFORM_BUFFER, 0, model->joint_matrix_buffer);
        if (program.matrices_block_index != kGlInvalidIndex)
            glUniformBlockBinding(program.gl_program, program.matrices_block_index, 0);
        glBindBuffer(GL_UNIFORM_BUFFER, 0);
    }

    ModelDrawer drawer(*this, *model, program, *camera);
    for (int instance = 0; instance < kInstanceCount; ++instance) drawer.draw(instance, camera->position);
    glBindVertexArray(0);
    glDisable(GL_DEPTH_TEST);
}
