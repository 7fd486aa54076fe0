// The pieces every rendering node shares: reading inputs and state slots,
// usable sizes, the node quad, program setup and the screen copy; and the
// installation of the run functions into the node registry.
#include "render/render_nodes_gl.h"

#include <GL/glew.h>

#include <algorithm>
#include <memory>
#include <new>
#include <unordered_map>

#include "app/playback_state.h"
#include "nodes/node_registry.h"
#include "render/buffer.h"
#include "render/render_gl.h"
#include "serialization/demo.h"

using Nodes::MaybeValue;
using Nodes::Value;

namespace render_nodes {
namespace {

// Two triangles covering clip space, 72 bytes.
constexpr float kQuad[kQuadVertexCount * 3] = {-1, -1, 0, -1, 1, 0, 1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
static_assert(sizeof kQuad == 72);

// Vertex arrays made by ensure_node_quad, each with its vertex buffer.
// DrawTriangles draws only these: they are the only arrays whose vertex count
// the graph can know.
std::unordered_map<uint32_t, uint32_t>& node_quads() {
    static std::unordered_map<uint32_t, uint32_t> quads;
    return quads;
}

// Copy buffers of every node, addressed by handle (position + 1). A buffer
// that changes size is replaced in place, so its handle stays valid. A
// released buffer leaves a null entry: handles are never given out twice.
std::vector<std::unique_ptr<Buffer>>& copy_buffers() {
    static std::vector<std::unique_ptr<Buffer>> buffers;
    return buffers;
}

Value make_buffer_handle(uint64_t handle) {
    Value v;
    v.type = Nodes::kind_buffer_ref;
    v.set_uint(0, static_cast<uint32_t>(handle));
    v.set_uint(1, static_cast<uint32_t>(handle >> 32));
    return v;
}

// A new buffer of `size` whose handle goes into `slot`; null when the bytes
// cannot be had.
Buffer* new_copy_buffer(Size size, MaybeValue& slot) {
    try {
        auto& buffers = copy_buffers();
        buffers.push_back(std::make_unique<Buffer>(size.width, size.height));
        slot.set(make_buffer_handle(buffers.size()));
        return buffers.back().get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int32_t gl_integer(GLenum what) {
    GLint v = 0;
    glGetIntegerv(what, &v);
    return v;
}

}  // namespace

// ---- reading inputs and state ----------------------------------------------

const MaybeValue* present(const Slots& list, size_t port) {
    return port < list.size() && list[port].hasValue ? &list[port] : nullptr;
}

uint32_t slot_name(const MaybeValue& slot, int32_t kind) {
    return slot.hasValue && slot.value.type == kind ? slot.value.as_uint() : 0;
}

int32_t max_surface_size() {
    // The context lives as long as the process, so its limits are asked once.
    static const int32_t limit = [] {
        int32_t side = kMaxSurfaceSide;
        const int32_t texture = gl_integer(GL_MAX_TEXTURE_SIZE);
        const int32_t renderbuffer = gl_integer(GL_MAX_RENDERBUFFER_SIZE);
        if (texture > 0) side = std::min(side, texture);
        if (renderbuffer > 0) side = std::min(side, renderbuffer);
        return side;
    }();
    return limit;
}

bool usable(Size size) {
    const int32_t limit = max_surface_size();
    return size.width > 0 && size.height > 0 && size.width <= limit && size.height <= limit;
}

std::optional<Size> size_input(const Slots& inputs, size_t port) {
    const MaybeValue* input = present(inputs, port);
    if (!input) return std::nullopt;
    const Size size{input->value.as_int(0), input->value.as_int(1)};
    if (!usable(size)) return std::nullopt;
    return size;
}

Size render_size() {
    const RenderSize& r = playback().render_size;
    return {r.render_width, r.render_height};
}

void set_render_size(Size size) {
    RenderSize& r = playback().render_size;
    r.render_width = size.width;
    r.render_height = size.height;
}

// ---- shared building blocks -----------------------------------------------

uint32_t ensure_node_quad(MaybeValue& slot) {
    if (const uint32_t existing = slot_name(slot, Nodes::kind_vao); existing != 0) return existing;
    GLuint vertex_array = 0, vertex_buffer = 0;
    glGenVertexArrays(1, &vertex_array);
    glBindVertexArray(vertex_array);
    glGenBuffers(1, &vertex_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    node_quads().emplace(vertex_array, vertex_buffer);
    slot.set(Nodes::make_vao(vertex_array));
    return vertex_array;
}

bool is_node_quad(uint32_t vertex_array) { return vertex_array != 0 && node_quads().count(vertex_array) != 0; }

ShaderProgram* program_at(const Demo& demo, const Slots& inputs, size_t port) {
    const MaybeValue* index = present(inputs, port);
    if (!index) return nullptr;
    const int32_t at = index->value.as_int();
    if (at < 0 || static_cast<size_t>(at) >= demo.shaders.size()) return nullptr;
    ShaderProgram* program = demo.shaders[static_cast<size_t>(at)].get();
    return program && program->gl_program != 0 && program->linked ? program : nullptr;
}

void program_setup(ShaderProgram& program, const std::optional<Size>& size, const MaybeValue* tex) {
    if (size) {
        glViewport(0, 0, size->width, size->height);
        set_render_size(*size);
    }
    glUseProgram(program.gl_program);
    set_builtin_uniforms(program);
    set_uniform_defs(program);
    if (tex) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, tex->value.as_uint());
    }
    const auto attribute = static_cast<GLuint>(program.position_attribute);
    glEnableVertexAttribArray(attribute);
    glVertexAttribPointer(attribute, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
}

Buffer* copy_buffer_of(const MaybeValue& slot) {
    if (!slot.hasValue || slot.value.type != Nodes::kind_buffer_ref) return nullptr;
    const uint64_t handle = slot.value.as_uint(0) | (static_cast<uint64_t>(slot.value.as_uint(1)) << 32);
    auto& buffers = copy_buffers();
    if (handle == 0 || handle > buffers.size()) return nullptr;
    return buffers[handle - 1].get();
}

bool screen_copy(const std::optional<Size>& requested, MaybeValue& texture_slot, MaybeValue& buffer_slot,
                 MaybeValue& output) {
    const Size size = requested ? *requested : render_size();
    if (!usable(size)) return false;

    GLuint texture = slot_name(texture_slot, Nodes::kind_texture2D);
    Buffer* buffer = copy_buffer_of(buffer_slot);
    if (!buffer) {
        buffer = new_copy_buffer(size, buffer_slot);
        if (!buffer) return false;
    } else if (buffer->width != size.width || buffer->height != size.height) {
        try {
            *buffer = Buffer(size.width, size.height);
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (texture != 0) {
            glDeleteTextures(1, &texture);
            texture = 0;
        }
    }
    if (texture == 0) texture = create_texture(buffer->width, buffer->height, buffer->pixels.data(), GL_CLAMP_TO_EDGE);

    // GL_BACK names a buffer of the window only; while a framebuffer object is
    // bound the copy comes from its colour buffer, as it would anyway, without
    // leaving an error behind for the frame's error report.
    if (gl_integer(GL_READ_FRAMEBUFFER_BINDING) == 0) glReadBuffer(GL_BACK);
    // Rows of RGBA bytes are whole multiples of 4; an alignment of 8 left by
    // other code would pad odd-width rows past the end of the buffer.
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, buffer->width, buffer->height, GL_RGBA, GL_UNSIGNED_BYTE, buffer->pixels.data());
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, buffer->width, buffer->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 buffer->pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glGenerateMipmap(GL_TEXTURE_2D);

    texture_slot.set(Nodes::make_texture2D(texture));
    output.set(Nodes::make_texture2D(texture));
    return true;
}

// ---- releasing ---------------------------------------------------------------

void release_quad(MaybeValue& slot) {
    GLuint vertex_array = slot_name(slot, Nodes::kind_vao);
    slot.reset();
    auto found = node_quads().find(vertex_array);
    if (found == node_quads().end()) return;  // not a quad this process made
    GLuint vertex_buffer = found->second;
    node_quads().erase(found);
    glDeleteVertexArrays(1, &vertex_array);
    glDeleteBuffers(1, &vertex_buffer);
}

void release_texture(MaybeValue& slot) {
    const GLuint texture = slot_name(slot, Nodes::kind_texture2D);
    if (texture != 0) glDeleteTextures(1, &texture);
    slot.reset();
}

void release_copy_buffer(MaybeValue& slot) {
    if (copy_buffer_of(slot)) {
        const uint64_t handle = slot.value.as_uint(0) | (static_cast<uint64_t>(slot.value.as_uint(1)) << 32);
        copy_buffers()[handle - 1].reset();
    }
    slot.reset();
}

void release_framebuffer(MaybeValue& slot) {
    const GLuint framebuffer = slot_name(slot, Nodes::kind_vao);
    if (framebuffer != 0) glDeleteFramebuffers(1, &framebuffer);
    slot.reset();
}

void release_renderbuffer(MaybeValue& slot) {
    const GLuint renderbuffer = slot_name(slot, Nodes::kind_vao);
    if (renderbuffer != 0) glDeleteRenderbuffers(1, &renderbuffer);
    slot.reset();
}

void release_node_objects(const NodeType& type, Slots& state) {
    // The run function names the layout of the slots; the sizes are the
    // ones each run function checks before it writes.
    if (type.run == run_two_triangles && !state.empty()) {
        release_quad(state[0]);
    } else if (type.run == run_effect_2d && state.size() >= 3) {
        release_quad(state[0]);
        release_texture(state[1]);
        release_copy_buffer(state[2]);
    } else if (type.run == run_screen_to_texture && state.size() >= 2) {
        release_texture(state[0]);
        release_copy_buffer(state[1]);
    } else if (type.run == run_set_framebuffer) {
        release_set_framebuffer(state);
    } else if (type.run == run_program_node) {
        release_program_node(state);
    }
}

}  // namespace render_nodes

void install_render_node_runs() {
    using namespace render_nodes;
    NodeRegistry& registry = NodeRegistry::instance();
    registry.set_run("TwoTriangles", run_two_triangles);
    registry.set_run("DrawTriangles", run_draw_triangles);
    registry.set_run("Shader", run_shader);
    registry.set_run("ScreenToTexture", run_screen_to_texture);
    registry.set_run("Effect2D", run_effect_2d);
    registry.set_run("Texture", run_texture);
    registry.set_run("SoundTexture", run_sound_texture);
    registry.set_run("FontTexture", run_font_texture);
    registry.set_run("Clear", run_clear);
    registry.set_run("SetFrameBuffer", run_set_framebuffer);
    registry.set_run("ClearFrameBuffer", run_clear_framebuffer);
    registry.set_run("ReadPixel", run_read_pixel);
    registry.resource_runs().program_node = run_program_node;
    registry.resource_runs().scene_node = run_scene_node;
}
