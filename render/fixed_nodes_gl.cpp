// Run functions of the built-in drawing node types.
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>

#include "audio/sound_analysis.h"
#include "render/render_gl.h"
#include "render/render_nodes_gl.h"
#include "serialization/demo.h"

using Nodes::MaybeValue;

namespace render_nodes {
namespace {

float float_input(const Slots& inputs, size_t port) {
    const MaybeValue* input = present(inputs, port);
    return input ? input->value.as_float() : 0.0f;
}

// A record of `list` selected by an index input: present, in range, not null.
template <typename T>
T* record_at(const std::vector<std::unique_ptr<T>>& list, const Slots& inputs, size_t port) {
    const MaybeValue* index = present(inputs, port);
    if (!index) return nullptr;
    const int32_t at = index->value.as_int();
    if (at < 0 || static_cast<size_t>(at) >= list.size()) return nullptr;
    return list[static_cast<size_t>(at)].get();
}

// ---- SetFrameBuffer -----------------------------------------------------

enum FramebufferSlot : size_t { fb_framebuffer, fb_size, fb_texture, fb_depth_renderbuffer, fb_depth_mode, fb_slot_count };

GLuint make_target_texture(bool depth, Size size) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (depth) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, size.width, size.height, 0, GL_DEPTH_COMPONENT,
                     GL_UNSIGNED_INT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, size.width, size.height, 0, GL_RGBA, GL_FLOAT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

bool stored_size_is(const MaybeValue& slot, Size size) {
    return slot.hasValue && slot.value.type == Nodes::kind_ivec2 && slot.value.as_int(0) == size.width &&
           slot.value.as_int(1) == size.height;
}

}  // namespace

void run_two_triangles(Slots&, Slots& outputs, Slots& state, RunContext&) {
    if (state.empty() || outputs.size() < 2) return;
    outputs[0].set(Nodes::make_vao(ensure_node_quad(state[0])));
    outputs[1].set(Nodes::make_int(kQuadVertexCount));
}

void run_draw_triangles(Slots& inputs, Slots&, Slots&, RunContext&) {
    const MaybeValue* vao = present(inputs, 0);
    const uint32_t vertex_array = vao ? vao->value.as_uint() : 0;
    const MaybeValue* count_input = present(inputs, 1);
    const int32_t count = count_input ? count_input->value.as_int() : 0;
    glBindVertexArray(vertex_array);
    // Only a node quad has a vertex count known here: drawing more vertices
    // than its buffer holds, or from an array of unknown size, would make the
    // driver read past the vertex data.
    if (!is_node_quad(vertex_array) || count <= 0) return;
    glDrawArrays(GL_TRIANGLES, 0, std::min(count, kQuadVertexCount));
}

void run_shader(Slots& inputs, Slots&, Slots&, RunContext& ctx) {
    ShaderProgram* program = program_at(ctx.demo, inputs, 0);
    if (!program) return;
    program_setup(*program, size_input(inputs, 1), present(inputs, 2));
}

void run_effect_2d(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx) {
    if (state.size() < 3 || outputs.empty()) return;
    ShaderProgram* program = program_at(ctx.demo, inputs, 0);
    if (!program) return;
    // Quad first, so that on the first run the program's position attribute
    // is set up on this node's own vertex array.
    const uint32_t quad = ensure_node_quad(state[0]);
    const std::optional<Size> size = size_input(inputs, 1);
    program_setup(*program, size, present(inputs, 2));
    glBindVertexArray(quad);
    glDrawArrays(GL_TRIANGLES, 0, kQuadVertexCount);
    screen_copy(size, state[1], state[2], outputs[0]);
}

void run_screen_to_texture(Slots& inputs, Slots& outputs, Slots& state, RunContext&) {
    if (state.size() < 2 || outputs.empty()) return;
    screen_copy(size_input(inputs, 0), state[0], state[1], outputs[0]);
}

void run_texture(Slots& inputs, Slots& outputs, Slots&, RunContext& ctx) {
    if (outputs.empty()) return;
    if (const Texture* texture = record_at(ctx.demo.textures, inputs, 0))
        outputs[0].set(Nodes::make_texture2D(texture->gl_texture));
}

void run_sound_texture(Slots&, Slots& outputs, Slots&, RunContext& ctx) {
    if (outputs.empty()) return;
    const Texture* texture = ctx.demo.sound_texture.get();
    if (!texture || texture->gl_texture == 0) return;
    uint8_t pixels[kSoundPixelBytes];
    copy_sound_pixels(pixels);
    glBindTexture(GL_TEXTURE_2D, texture->gl_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kSoundTextureWidth, kSoundTextureRows, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels);
    outputs[0].set(Nodes::make_texture2D(texture->gl_texture));
}

void run_font_texture(Slots& inputs, Slots& outputs, Slots&, RunContext& ctx) {
    if (outputs.empty()) return;
    FontTexture* picture = record_at(ctx.demo.font_textures, inputs, 0);
    if (!picture) return;
    const MaybeValue* text = present(inputs, 1);
    set_text(*picture, text ? std::string_view(text->value.text) : std::string_view());
    outputs[0].set(Nodes::make_texture2D(picture->gl_texture));
}

void run_clear(Slots& inputs, Slots&, Slots&, RunContext&) {
    glClearColor(float_input(inputs, 0), float_input(inputs, 1), float_input(inputs, 2), float_input(inputs, 3));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void run_set_framebuffer(Slots& inputs, Slots& outputs, Slots& state, RunContext&) {
    if (state.size() < fb_slot_count || outputs.empty()) return;
    const MaybeValue* use_depth = present(inputs, 1);
    const bool depth = use_depth && use_depth->value.as_bool();
    const MaybeValue& mode_slot = state[fb_depth_mode];
    const bool had_mode = mode_slot.hasValue && mode_slot.value.type == Nodes::kind_bool;
    const bool mode_changed = had_mode && mode_slot.value.as_bool() != depth;

    const std::optional<Size> requested = size_input(inputs, 0);
    const Size size = requested ? *requested : render_size();
    if (!usable(size)) return;

    GLuint texture = slot_name(state[fb_texture], Nodes::kind_texture2D);
    GLuint renderbuffer = slot_name(state[fb_depth_renderbuffer], Nodes::kind_vao);
    GLuint framebuffer = slot_name(state[fb_framebuffer], Nodes::kind_vao);

    if (texture == 0 || mode_changed) {
        if (texture != 0) glDeleteTextures(1, &texture);
        texture = make_target_texture(depth, size);
        state[fb_texture].set(Nodes::make_texture2D(texture));
        state[fb_size].set(Nodes::make_ivec2(size.width, size.height));
    } else if (!stored_size_is(state[fb_size], size)) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, depth ? GL_DEPTH_COMPONENT : GL_RGBA32F, size.width, size.height, 0,
                     depth ? GL_DEPTH_COMPONENT : GL_RGBA, GL_FLOAT, nullptr);
        state[fb_size].set(Nodes::make_ivec2(size.width, size.height));
        if (renderbuffer != 0) {
            glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size.width, size.height);
        }
    }

    if (framebuffer != 0 && !mode_changed) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        if (!depth) glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    } else {
        if (framebuffer != 0) glDeleteFramebuffers(1, &framebuffer);
        // A new framebuffer gets a new depth renderbuffer in colour mode and
        // none in depth mode. The slot is emptied with the name, so a later
        // resize never touches a deleted renderbuffer.
        if (renderbuffer != 0) {
            glDeleteRenderbuffers(1, &renderbuffer);
            renderbuffer = 0;
            state[fb_depth_renderbuffer].reset();
        }
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, depth ? GL_DEPTH_ATTACHMENT : GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                               texture, 0);
        state[fb_framebuffer].set(Nodes::make_vao(framebuffer));
        if (!depth) {
            glGenRenderbuffers(1, &renderbuffer);
            glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size.width, size.height);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffer);
            state[fb_depth_renderbuffer].set(Nodes::make_vao(renderbuffer));
        }
        const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) std::printf(kFramebufferIncomplete, status);
    }

    state[fb_depth_mode].set(Nodes::make_bool(depth));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    outputs[0].set(Nodes::make_texture2D(texture));
}

void release_set_framebuffer(Slots& state) {
    if (state.size() < fb_slot_count) return;
    release_framebuffer(state[fb_framebuffer]);
    release_renderbuffer(state[fb_depth_renderbuffer]);
    release_texture(state[fb_texture]);
    state[fb_size].reset();
    state[fb_depth_mode].reset();
}

void run_clear_framebuffer(Slots& inputs, Slots&, Slots&, RunContext&) {
    if (const MaybeValue* texture = present(inputs, 0); texture && texture->value.as_uint() != 0) {
        glBindTexture(GL_TEXTURE_2D, texture->value.as_uint());
        glGenerateMipmap(GL_TEXTURE_2D);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void run_read_pixel(Slots& inputs, Slots& outputs, Slots&, RunContext&) {
    if (outputs.size() < 6) return;
    const MaybeValue* pos = present(inputs, 0);
    const int32_t x = pos ? pos->value.as_int(0) : 0;
    const int32_t y = pos ? pos->value.as_int(1) : 0;
    float rgba[4] = {0, 0, 0, 0};
    GLint read_framebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
    if (read_framebuffer == 0) glReadBuffer(GL_BACK);
    // One pixel: a position outside the framebuffer reads undefined values
    // into these 16 bytes, never more.
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, rgba);
    outputs[0].set(Nodes::make_vec4(rgba[0], rgba[1], rgba[2], rgba[3]));
    outputs[1].set(Nodes::make_vec3(rgba[0], rgba[1], rgba[2]));
    for (int c = 0; c < 4; ++c) outputs[2 + c].set(Nodes::make_float(rgba[c]));
}

}  // namespace render_nodes
