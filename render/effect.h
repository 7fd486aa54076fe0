// Effect: a stored full-screen drawing recipe. One shader program, the
// textures, font textures and other effects it samples, optionally a 3D scene
// drawn instead of the quad, and two flags that make it sample a copy of the
// screen. Each effect owns a quad, a framebuffer whose colour texture other
// effects sample, and, when needed, a CPU buffer and texture for screen copies.
//
// This header is the content side; creating the GL resources, binding the
// inputs and drawing are in render/render_gl.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/buffer.h"
#include "serialization/identity.h"
#include "serialization/serializable.h"

class Texture;
class FontTexture;
class ShaderProgram;
class Scene;

class Effect : public ISerializable {
public:
    // ---- stored ----
    std::vector<Texture*> textures;
    std::vector<Effect*> effects;  // input effects whose pictures are sampled
    std::vector<FontTexture*> font_textures;
    ShaderProgram* program = nullptr;
    std::string name;
    bool feedback = false;        // sample a screen copy on unit 0
    bool screen_texture = false;  // copy the screen, sample it, clear to black
    Scene* scene = nullptr;

    // What was stored until resolution: identities (binary form) or names
    // (JSON form; the program by its fragment_shader_filename).
    std::vector<uint64_t> texture_ids, effect_ids, font_texture_ids;
    uint64_t program_id = 0, scene_id = 0;
    std::vector<std::string> texture_names, effect_names, font_texture_names;
    std::string program_name, scene_name;

    // ---- run time ----
    uint32_t quad_vertex_array = 0;
    uint32_t quad_vertex_buffer = 0;
    uint32_t framebuffer = 0;
    uint32_t framebuffer_texture = 0;  // RGBA8, render size
    std::unique_ptr<Buffer> copy_buffer;
    uint32_t copy_texture = 0;

    Effect() = default;
    // Built in code (the loading screen): a given texture or input effect
    // becomes the only element of its list. GL resources are not made here.
    Effect(std::string effect_name, ShaderProgram* effect_program, Texture* texture = nullptr,
           Effect* input = nullptr, bool with_feedback = false, bool with_screen_texture = false,
           Scene* effect_scene = nullptr);

    // Binds the stored references. An identity or name without a record of the
    // right kind becomes null but keeps its place in its list, so the texture
    // units of the inputs after it do not shift (drawing binds nothing there).
    void resolve_references(const IdentityMap& map);
    void resolve_names(const NameMaps& names);
    // One line per stored reference that did not resolve.
    std::vector<std::string> unresolved() const;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
