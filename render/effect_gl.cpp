// An effect's GL resources, input binding and draw.
#include <GL/glew.h>

#include <cstdio>
#include <memory>

#include "app/diagnostics.h"
#include "app/playback_state.h"
#include "render/render_gl.h"
#include "render/render_messages.h"
#include "scene3d/model.h"
#include "scene3d/node.h"
#include "scene3d/scene.h"

namespace {

// Two triangles covering clip space.
constexpr float kQuad[18] = {-1, -1, 0, -1, 1, 0, 1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
static_assert(sizeof kQuad == 72);

int bind_next(int& unit, GLuint texture) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, texture);
    return unit++;
}

void upload_joint_matrices(const Scene& scene) {
    const Model* model = scene.root_node ? scene.root_node->model : nullptr;
    if (!model || !model->skeleton || model->joint_matrix_buffer == 0) return;
    const auto& matrices = model->skeleton->joint_matrices;
    clear_gl_errors();
    glBindBuffer(GL_UNIFORM_BUFFER, model->joint_matrix_buffer);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, model->joint_matrix_buffer);
    glBufferData(GL_UNIFORM_BUFFER, Model::kJointMatrixBufferBytes, nullptr, GL_DYNAMIC_DRAW);
    // More than 100 matrices do not fit: GL refuses the write and says so.
    if (!matrices.empty())
        glBufferSubData(GL_UNIFORM_BUFFER, 0, static_cast<GLsizeiptr>(matrices.size() * sizeof(matrices[0])),
                        matrices.data());
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) std::printf(render_messages::kJointUploadError, static_cast<unsigned>(error));
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
}

void set_shadow_pass_uniform(const ShaderProgram& program, int value) {
    if (program.locations.uIsShadowRenderPass != -1) glUniform1i(program.locations.uIsShadowRenderPass, value);
}

}  // namespace

void delete_targets(Effect& effect) {
    if (effect.quad_vertex_buffer) glDeleteBuffers(1, &effect.quad_vertex_buffer);
    if (effect.quad_vertex_array) glDeleteVertexArrays(1, &effect.quad_vertex_array);
    if (effect.framebuffer_texture) glDeleteTextures(1, &effect.framebuffer_texture);
    if (effect.framebuffer) glDeleteFramebuffers(1, &effect.framebuffer);
    effect.quad_vertex_buffer = effect.quad_vertex_array = 0;
    effect.framebuffer_texture = effect.framebuffer = 0;
}

void create_targets(Effect& effect) {
    if (!effect.program) return;
    // Created again after programs are rebuilt: the old set is released so a
    // reload does not leak a framebuffer per effect.
    delete_targets(effect);
    const RenderSize& size = playback().render_size;

    glGenVertexArrays(1, &effect.quad_vertex_array);
    glBindVertexArray(effect.quad_vertex_array);
    glGenBuffers(1, &effect.quad_vertex_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, effect.quad_vertex_buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    const auto attribute = static_cast<GLuint>(effect.program->position_attribute);
    glEnableVertexAttribArray(attribute);
    glVertexAttribPointer(attribute, 3, GL_FLOAT, GL_FALSE, 0, nullptr);

    glGenFramebuffers(1, &effect.framebuffer);
    glGenTextures(1, &effect.framebuffer_texture);
    glBindTexture(GL_TEXTURE_2D, effect.framebuffer_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size.render_width, size.render_height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    glBindFramebuffer(GL_FRAMEBUFFER, effect.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, effect.framebuffer_texture, 0);
    const GLenum draw_buffer = GL_COLOR_ATTACHMENT0;
    glDrawBuffers(1, &draw_buffer);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) std::printf(render_messages::kFramebufferError, status);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void ensure_copy_target(Effect& effect) {
    const RenderSize& size = playback().render_size;
    if (effect.copy_buffer &&
        (effect.copy_buffer->width != size.render_width || effect.copy_buffer->height != size.render_height)) {
        effect.copy_buffer = std::make_unique<Buffer>(size.render_width, size.render_height);
        if (effect.copy_texture) {
            glDeleteTextures(1, &effect.copy_texture);
            effect.copy_texture = create_texture(effect.copy_buffer->width, effect.copy_buffer->height,
                                                 effect.copy_buffer->pixels.data(), GL_CLAMP_TO_EDGE);
        }
    }
    if (!effect.copy_buffer) effect.copy_buffer = std::make_unique<Buffer>(size.render_width, size.render_height);
    if (!effect.copy_texture)
        effect.copy_texture = create_texture(effect.copy_buffer->width, effect.copy_buffer->height,
                                             effect.copy_buffer->pixels.data(), GL_CLAMP_TO_EDGE);
}

int bind_inputs(Effect& effect, ShaderProgram& program) {
    int unit = 0;
    // Made before any binding: creating the copy texture binds it on the
    // active unit, which would otherwise replace the input just bound there.
    if (effect.feedback || effect.screen_texture) ensure_copy_target(effect);
    glUseProgram(program.gl_program);
    if (effect.feedback) bind_next(unit, effect.copy_texture);
    // A reference that did not resolve keeps its unit (bound to nothing) so
    // that the inputs after it stay on the samplers the shader expects.
    for (const Texture* texture : effect.textures) bind_next(unit, texture ? texture->gl_texture : 0);
    for (const FontTexture* picture : effect.font_textures) bind_next(unit, picture ? picture->gl_texture : 0);
    for (const Effect* input : effect.effects) bind_next(unit, input ? input->framebuffer_texture : 0);

    if (effect.screen_texture) {
        Buffer& buffer = *effect.copy_buffer;
        // GL_BACK only names a buffer of the window; with a framebuffer object
        // bound the copy is taken from that framebuffer's own colour buffer.
        GLint read_framebuffer = 0;
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
        if (read_framebuffer == 0) glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, buffer.width, buffer.height, GL_RGBA, GL_UNSIGNED_BYTE, buffer.pixels.data());
        bind_next(unit, effect.copy_texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, buffer.width, buffer.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     buffer.pixels.data());
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    if (effect.scene) {
        program.shadow_map_unit = kGlTexture0 + bind_next(unit, effect.scene->shadow_depth_texture);
        program.base_color_unit = kGlTexture0 + bind_next(unit, 0);
        program.metallic_roughness_unit = kGlTexture0 + bind_next(unit, 0);
        program.emissive_unit = kGlTexture0 + bind_next(unit, 0);
        upload_joint_matrices(*effect.scene);
    }
    return unit;
}

void unbind_units(int count) {
    for (int unit = 0; unit < count; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    // Later texture work (uploads, node bindings) expects unit 0.
    glActiveTexture(GL_TEXTURE0);
}

void draw_effect(Effect& effect) {
    ShaderProgram* program = effect.program;
    // A program that did not link cannot be made current; drawing anyway
    // would draw with whatever program was current before.
    if (!program || !program->linked) return;

    if (!effect.scene) {
        if (effect.quad_vertex_array == 0) return;
        const int units = bind_inputs(effect, *program);
        set_builtin_uniforms(*program);
        glBindVertexArray(effect.quad_vertex_array);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        unbind_units(units);
        return;
    }

    Scene& scene = *effect.scene;
    // The scene's first shadow pass makes its shadow map; until now it had
    // only the 1 x 1 stand-in that scene nodes sample.
    if (scene.shadow_framebuffer == 0) scene.create_shadow_resources();
    // Without its shadow framebuffer the pass would draw into the screen.
    if (scene.shadow_framebuffer != 0) {
        glBindFramebuffer(GL_FRAMEBUFFER, scene.shadow_framebuffer);
        glViewport(0, 0, scene.shadow_width, scene.shadow_height);
        glClear(GL_DEPTH_BUFFER_BIT);
        const int units = bind_inputs(effect, *program);
        set_builtin_uniforms(*program);
        set_shadow_pass_uniform(*program, 1);
        scene.shadow_pass = true;
        scene.draw(*program);
        scene.shadow_pass = false;
        unbind_units(units);
    }

    const RenderSize& size = playback().render_size;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, size.render_width, size.render_height);
    const int units = bind_inputs(effect, *program);
    set_builtin_uniforms(*program);
    set_shadow_pass_uniform(*program, 0);
    scene.draw(*program);
    // A single-sided material leaves culling on, and the full-screen quads
    // drawn next wind clockwise: they would vanish.
    glDisable(GL_CULL_FACE);
    unbind_units(units);
}
