// Rendering nodes: what the graph's drawing node types do on the GPU.
//
// Owns the run functions of the built-in drawing types ("TwoTriangles",
// "DrawTriangles", "Shader", "Effect2D", "ScreenToTexture", "Texture",
// "SoundTexture", "FontTexture", "Clear", "SetFrameBuffer",
// "ClearFrameBuffer", "ReadPixel") and of the types made from the content's
// shader programs and scenes, plus the pieces they share: the node quad,
// program setup and the screen copy. It does not own the graph, its
// evaluation order or the resources it draws with; it only uses them.
//
// Life: install_render_node_runs() once at start-up, before content is read
// (the content's program and scene types take their run function from the
// registry when they are registered). Per frame, Graph::evaluate calls the run
// functions; GL objects a node makes appear on its first run, live in its
// state slots and are reused every later frame; nothing is released during
// playback. A tool that replaces a demo while running (the preview) releases
// the old graph's objects with release_node_objects.
//
// Untrusted values: every input is read as its declared kind through the
// value accessors, whatever kind a data link brought. Index inputs outside
// their list (negative included) or absent leave the node doing nothing.
// A size input is used only when both sides lie in 1 .. max_surface_size();
// any other size counts as not given (the render size is used instead), and
// when no usable size remains the node draws and copies nothing. State slots
// are trusted only when they hold the kind the node wrote there; anything
// else counts as empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "nodes/run_context.h"
#include "nodes/value.h"

class Demo;
class NodeType;
class ShaderProgram;
struct Buffer;

// Installs the run functions of the built-in drawing types and the run
// functions the registration passes give to program and scene types. Call
// once before content is read; calling it again changes nothing.
void install_render_node_runs();

namespace render_nodes {

// Printed by "SetFrameBuffer" when its new framebuffer is not complete;
// drawing goes on into it.
inline constexpr const char* kFramebufferIncomplete = "FBO incomplete: 0x%x\n";

// Sizes above this (or above what the driver allows) are not used.
inline constexpr int32_t kMaxSurfaceSide = 16384;
// Vertices of the node quad: two triangles covering clip space.
inline constexpr int32_t kQuadVertexCount = 6;
// First texture unit of a program node's texture uniforms.
inline constexpr int32_t kFirstUniformTextureUnit = 8;

using Slots = std::vector<Nodes::MaybeValue>;

struct Size {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const Size&) const = default;
};

// ---- reading inputs and state ----------------------------------------------

// The entry at `port` when it exists and holds a value, else null.
const Nodes::MaybeValue* present(const Slots& list, size_t port);
// GL name kept in a state slot under `kind`; 0 when the slot is absent or
// holds another kind.
uint32_t slot_name(const Nodes::MaybeValue& slot, int32_t kind);

// min(kMaxSurfaceSide, the driver's texture and renderbuffer limits).
int32_t max_surface_size();
bool usable(Size size);
// Input `port` read as an ivec2 size when present and usable.
std::optional<Size> size_input(const Slots& inputs, size_t port);
Size render_size();
void set_render_size(Size size);

// ---- shared building blocks -----------------------------------------------

// Creates the node's quad (vertex array + 72-byte buffer) on first use and
// keeps the vertex array in `slot`; later calls only return it.
uint32_t ensure_node_quad(Nodes::MaybeValue& slot);
// Whether `vertex_array` is a node quad made by ensure_node_quad.
bool is_node_quad(uint32_t vertex_array);

// The program an index input selects: present, within the list, built.
ShaderProgram* program_at(const Demo& demo, const Slots& inputs, size_t port);
// With a size: viewport and render size become it (and stay so). Then the
// program in use, built-in uniforms, uniform defaults, `tex` on unit 0 when
// given, and the position attribute pointed at the bound array buffer.
void program_setup(ShaderProgram& program, const std::optional<Size>& size, const Nodes::MaybeValue* tex);

// Copies (0, 0, size) of the read framebuffer (the back buffer when the
// default framebuffer is bound) into the copy buffer and copy texture kept in
// the two slots, making or replacing them as the size demands, and puts the
// texture on `output`. No size means the render size. Returns false, changing
// nothing, when no usable size remains or the buffer cannot be allocated.
bool screen_copy(const std::optional<Size>& size, Nodes::MaybeValue& texture_slot, Nodes::MaybeValue& buffer_slot,
                 Nodes::MaybeValue& output);

// The copy buffer a kind-16 state slot refers to; null for an absent slot,
// another kind, or a handle this process never gave out. Slots hold handles
// into a process-wide table, never addresses, so a slot can neither dangle
// nor be made to point anywhere.
Buffer* copy_buffer_of(const Nodes::MaybeValue& slot);

// ---- releasing ---------------------------------------------------------------

// Deletes what a node of `type` made in its state slots (vertex arrays and
// buffers, textures, framebuffers, renderbuffers, copy buffers) and empties
// those slots, so a later run would make them anew. Types that make nothing
// are left alone. Needs the context the objects were made in.
void release_node_objects(const NodeType& type, Slots& state);

// The pieces of it, for the run functions' own layouts. Each empties its slot.
void release_quad(Nodes::MaybeValue& slot);
void release_texture(Nodes::MaybeValue& slot);
void release_copy_buffer(Nodes::MaybeValue& slot);
void release_framebuffer(Nodes::MaybeValue& slot);
void release_renderbuffer(Nodes::MaybeValue& slot);
void release_set_framebuffer(Slots& state);
void release_program_node(Slots& state);

// ---- run functions -----------------------------------------------------------

void run_two_triangles(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_draw_triangles(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_shader(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_effect_2d(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_screen_to_texture(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_texture(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_sound_texture(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_font_texture(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_clear(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_set_framebuffer(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_clear_framebuffer(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_read_pixel(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
// Types made from shader programs (named by fragment_shader_filename) and
// from scenes (named by the scene name + ".scene").
void run_program_node(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);
void run_scene_node(Slots& inputs, Slots& outputs, Slots& state, RunContext& ctx);

}  // namespace render_nodes
