// Run functions of the node types made from the content: one per shader
// program (named by its fragment_shader_filename) and one per scene (named by
// the scene's name followed by ".scene").
#include <GL/glew.h>

#include <algorithm>
#include <string_view>

#include "app/playback_state.h"
#include "nodes/graph_node.h"
#include "nodes/node_type.h"
#include "render/render_gl.h"
#include "render/render_nodes_gl.h"
#include "scene3d/camera.h"
#include "scene3d/scene.h"
#include "serialization/demo.h"

using Nodes::MaybeValue;

namespace render_nodes {
namespace {

constexpr std::string_view kSceneSuffix = ".scene";

// ---- finding the node's resource ----------------------------------------

bool program_matches(const ShaderProgram* program, std::string_view type_name) {
    return program && program->fragment_shader_filename == type_name;
}

bool scene_matches(const Scene* scene, std::string_view type_name) {
    return scene && type_name.size() == scene->name.size() + kSceneSuffix.size() &&
           type_name.starts_with(scene->name) && type_name.ends_with(kSceneSuffix);
}

// The position of the node's resource in `list`, kept as an int in `slot`:
// found on the first run, and looked up again whenever the slot does not
// name a matching record (an empty slot, another kind, a stale position).
template <typename T, typename Matches>
T* find_by_type_name(const std::vector<std::unique_ptr<T>>& list, MaybeValue& slot, std::string_view type_name,
                     Matches matches) {
    if (slot.hasValue && slot.value.type == Nodes::kind_int) {
        const int32_t at = slot.value.as_int();
        if (at >= 0 && static_cast<size_t>(at) < list.size() && matches(list[static_cast<size_t>(at)].get(), type_name))
            return list[static_cast<size_t>(at)].get();
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (matches(list[i].get(), type_name)) {
            slot.set(Nodes::make_int(static_cast<int32_t>(i)));
            return list[i].get();
        }
    }
    return nullptr;
}

bool names_texture(const std::string& uniform) { return uniform.size() >= 3 && uniform.starts_with("tex"); }

int32_t max_texture_units() {
    static const int32_t units = [] {
        GLint n = 0;
        glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &n);
        return n;
    }();
    return units;
}

// ---- program node -------------------------------------------------------

enum ProgramSlot : size_t {
    p_quad,
    p_copy_texture,
    p_copy_buffer,
    p_program_index,
    p_framebuffer,
    p_size,
    p_internal_texture,
    p_slot_count
};

// Connected uniform inputs override the defaults program setup pushed:
// textures on units 8, 9, ... (in definition order), floats as they are.
void bind_uniform_inputs(const ShaderProgram& program, const Slots& inputs) {
    int32_t unit = kFirstUniformTextureUnit;
    const size_t count = std::min(program.uniform_defs.size(), inputs.size() > 3 ? inputs.size() - 3 : 0);
    for (size_t j = 0; j < count; ++j) {
        const MaybeValue* input = present(inputs, 3 + j);
        if (!input) continue;
        const UniformDef& def = program.uniform_defs[j];
        if (!names_texture(def.name)) {
            glUniform1f(def.location, input->value.as_float());
            continue;
        }
        // Units past the driver's last one do not exist; such textures stay unbound.
        if (unit >= max_texture_units()) continue;
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, input->value.as_uint());
        glUniform1i(def.location, unit);
        ++unit;
    }
}

void allocate_internal_texture(GLuint texture, Size size) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, size.width, size.height, 0, GL_RGBA, GL_FLOAT, nullptr);
}

// Makes or resizes the internal texture before the inputs are bound. Doing it
// after (as a plain reading of the steps would) binds the new texture on the
// active unit, which then holds `tex` or a texture uniform, so the first
// frame and every frame after a resize would sample the target being drawn.
// The unit keeps what it held.
GLuint prepare_internal_texture(Slots& state, Size size) {
    GLuint texture = slot_name(state[p_internal_texture], Nodes::kind_texture2D);
    const bool resize = texture != 0 && !(state[p_size].hasValue && state[p_size].value.type == Nodes::kind_ivec2 &&
                                          state[p_size].value.as_int(0) == size.width &&
                                          state[p_size].value.as_int(1) == size.height);
    if (texture != 0 && !resize) return texture;

    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    if (texture == 0) {
        glGenTextures(1, &texture);
        allocate_internal_texture(texture, size);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        state[p_internal_texture].set(Nodes::make_texture2D(texture));
    } else {
        allocate_internal_texture(texture, size);
    }
    state[p_size].set(Nodes::make_ivec2(size.width, size.height));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    return texture;
}

void draw_internal(Slots& state, GLuint texture, GLuint quad, MaybeValue& output) {
    GLuint framebuffer = slot_name(state[p_framebuffer], Nodes::kind_vao);
    if (framebuffer != 0) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    } else {
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        state[p_framebuffer].set(Nodes::make_vao(framebuffer));
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindVertexArray(quad);
    glDrawArrays(GL_TRIANGLES, 0, kQuadVertexCount);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGenerateMipmap(GL_TEXTURE_2D);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    output.set(Nodes::make_texture2D(texture));
}

}  // namespace

void release_program_node(Slots& state) {
    if (state.size() < p_slot_count) return;
    release_quad(state[p_quad]);
    release_texture(state[p_copy_texture]);
    release_copy_buffer(state[p_copy_buffer]);
    release_framebuffer(state[p_framebuffer]);
    release_texture(state[p_internal_texture]);
    state[p_size].reset();
}

void run_program_node(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx) {
    if (state.size() < p_slot_count || outputs.empty() || !ctx.node.def) return;
    const Size saved = render_size();
    ShaderProgram* program = find_by_type_name(ctx.demo.shaders, state[p_program_index], ctx.node.def->name,
                                               program_matches);
    // A program that never built has no GL program to draw with.
    if (!program || program->gl_program == 0 || !program->linked) return;

    const uint32_t quad = ensure_node_quad(state[p_quad]);
    const std::optional<Size> size = size_input(inputs, 0);
    const MaybeValue* internal = present(inputs, 2);

    GLuint internal_texture = 0;
    if (internal && internal->value.as_bool()) {
        const Size target = size ? *size : saved;
        if (!usable(target)) return;
        internal_texture = prepare_internal_texture(state, target);
    }

    program_setup(*program, size, present(inputs, 1));
    bind_uniform_inputs(*program, inputs);
    if (internal_texture != 0) {
        draw_internal(state, internal_texture, quad, outputs[0]);
    } else {
        glBindVertexArray(quad);
        glDrawArrays(GL_TRIANGLES, 0, kQuadVertexCount);
        screen_copy(size, state[p_copy_texture], state[p_copy_buffer], outputs[0]);
    }

    // The node's size applies to its own draw only.
    set_render_size(saved);
    if (size) glViewport(0, 0, saved.width, saved.height);
}

void run_scene_node(Slots& inputs, Slots&, Slots& state, RunContext& ctx) {
    if (state.empty() || !ctx.node.def) return;
    Scene* scene = find_by_type_name(ctx.demo.scenes, state[0], ctx.node.def->name, scene_matches);
    if (!scene) return;
    ShaderProgram* program = program_at(ctx.demo, inputs, 0);
    if (!program) return;

    glUseProgram(program->gl_program);
    set_builtin_uniforms(*program);
    set_uniform_defs(*program);
    if (Camera* camera = scene->active_camera()) {
        auto vec3 = [](const MaybeValue& v) {
            return glm::vec3(v.value.as_float(0), v.value.as_float(1), v.value.as_float(2));
        };
        // The camera keeps these values into later frames.
        if (const MaybeValue* position = present(inputs, 1)) camera->position = vec3(*position);
        if (const MaybeValue* direction = present(inputs, 2)) camera->direction = vec3(*direction);
        if (const MaybeValue* up = present(inputs, 3)) camera->up = vec3(*up);
    }
    scene->draw(*program);
    glDisable(GL_CULL_FACE);  // as after an effect's scene: later quads must not be culled
}

}  // namespace render_nodes
