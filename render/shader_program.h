// ShaderProgram: one stored GLSL pair (vertex + fragment) with the float
// uniforms the author declared for it. A program is known to other records
// and to #include lines by its fragment_shader_filename.
//
// This header is the content side only: reading, writing and include
// expansion, no GL. Building the GL program (compile, link, locations) and
// filling uniforms live in render/render_gl.h.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serialization/serializable.h"
#include "timeline/uniform_def.h"

// GL enumerants kept as plain numbers so this header needs no GL.
inline constexpr uint32_t kGlTexture0 = 0x84C0;          // GL_TEXTURE0
inline constexpr uint32_t kGlInvalidIndex = 0xFFFFFFFFu;  // GL_INVALID_INDEX

// A GLSL 1.50 pass-through: `vp` becomes the clip-space position.
inline constexpr const char* kDefaultVertexSource =
    "#version 150\n\nin vec3 vp;\n\nvoid main() {\ngl_Position = vec4(vp, 1.0);\n}\n";

inline constexpr int kSamplerCount = 16;  // tex, tex1 .. tex15

// Locations of the uniforms the drawing code fills itself; -1 where the
// linked program has no such uniform (every setter skips those). Field names
// are the GLSL names.
struct BuiltinUniformLocations {
    int32_t beat = -1;
    int32_t iTime2 = -1;
    int32_t sound = -1;
    std::array<int32_t, kSamplerCount> tex = filled(-1);  // [0] is "tex", [i] is "tex<i>"
    int32_t resolution = -1;
    int32_t camera_position = -1;
    int32_t camera_rotation = -1;
    int32_t sound_texture = -1;
    int32_t nodeIdx = -1;
    // Model drawing.
    int32_t uModelViewProjMatrix = -1;
    int32_t uModelViewMatrix = -1;
    int32_t uNormalMatrix = -1;
    int32_t uModelMatrix = -1;
    int32_t uLightMVPMatrix = -1;
    int32_t uBaseColorFactor = -1;
    int32_t uBaseColorTex = -1;
    int32_t uHasBaseColorTex = -1;
    int32_t uMetallicFactor = -1;
    int32_t uRoughnessFactor = -1;
    int32_t uMetallicRoughnessTex = -1;
    int32_t uHasMetallicRoughnessTex = -1;
    int32_t uEmissiveFactor = -1;
    int32_t uEmissiveTex = -1;
    int32_t uHasEmissiveTex = -1;
    int32_t uCameraPos = -1;
    int32_t uLightDir = -1;
    int32_t uLightColor = -1;
    int32_t uShadowMapTexture = -1;
    int32_t uIsShadowRenderPass = -1;
    int32_t uTag = -1;
    int32_t uInstance = -1;

private:
    static std::array<int32_t, kSamplerCount> filled(int32_t v) {
        std::array<int32_t, kSamplerCount> a{};
        a.fill(v);
        return a;
    }
};

class ShaderProgram : public ISerializable {
public:
    // ---- stored ----
    std::string vertex_shader_source = kDefaultVertexSource;
    std::string fragment_shader_source;
    std::string vertex_shader_filename = "resources/default.vert";
    std::string fragment_shader_filename = "resources/untitled.frag";
    std::vector<UniformDef> uniform_defs;

    // ---- run time (never stored) ----
    std::string expanded_fragment_source;  // what was compiled
    std::string compile_log;               // status text of the last build
    uint32_t gl_vertex_shader = 0;
    uint32_t gl_fragment_shader = 0;
    uint32_t gl_program = 0;
    // The last link succeeded. A program that did not link keeps its names and
    // log but cannot be made current, so drawing code skips it.
    bool linked = false;
    BuiltinUniformLocations locations;
    // Texture units (GL_TEXTURE0 + n) that model drawing binds its material and
    // shadow textures on. A link resets them to units 0..3; an effect draw moves
    // them behind its own inputs.
    uint32_t base_color_unit = kGlTexture0;
    uint32_t metallic_roughness_unit = kGlTexture0 + 1;
    uint32_t emissive_unit = kGlTexture0 + 2;
    uint32_t shadow_map_unit = kGlTexture0 + 3;
    int32_t position_attribute = 0;                  // of `vp`; 0 when absent
    uint32_t matrices_block_index = kGlInvalidIndex;  // of `MatricesBlock`

    ShaderProgram() = default;

    // JSON: without "fragment_shader_source" both sources are loaded from
    // their files ("Loading file ..."); a missing file gives an empty source
    // and a printed warning, not an error.
    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};

using ShaderList = std::vector<std::unique_ptr<ShaderProgram>>;

// The fragment source with `#include "<fragment file name>"` directives
// replaced by the stored (not expanded) fragment source of the program of
// that name. One pass over `shaders` in list order, skipping `program`
// itself; only the first occurrence per program is replaced; unknown
// directives stay. Null `shaders` (no content yet) expands nothing.
std::string expand_includes(const ShaderProgram& program, const ShaderList* shaders);
