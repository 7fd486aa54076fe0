// Building shader programs on the GPU and filling their built-in uniforms.
#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/diagnostics.h"
#include "app/playback_state.h"
#include "audio/sound_analysis.h"
#include "render/render_gl.h"
#include "render/render_messages.h"

namespace {

constexpr GLsizei kInfoLogBytes = 1024;

// Prints a non-empty shader log and keeps it; the fragment result therefore
// replaces the vertex result in compile_log.
void record_compile_result(ShaderProgram& program, GLuint shader) {
    char log[kInfoLogBytes] = {};
    glGetShaderInfoLog(shader, kInfoLogBytes, nullptr, log);
    if (log[0] != '\0') {
        std::printf(render_messages::kCompileLog, log);
        program.compile_log = log;
    } else {
        program.compile_log = render_messages::kCompileSuccessful;
    }
}

void compile(ShaderProgram& program, GLuint shader, const std::string& source) {
    // Explicit length: stored sources may hold NUL bytes and need no terminator.
    const GLchar* text = source.data();
    const GLint length = static_cast<GLint>(source.size());
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);
    record_compile_result(program, shader);
}

struct NamedLocation {
    const char* name;
    int32_t BuiltinUniformLocations::*field;
};

// Looked up in this order after every link. Samplers are separate (tex, texN).
constexpr NamedLocation kBuiltins[] = {
    {"beat", &BuiltinUniformLocations::beat},
    {"iTime2", &BuiltinUniformLocations::iTime2},
    {"sound", &BuiltinUniformLocations::sound},
    {"resolution", &BuiltinUniformLocations::resolution},
    {"camera_position", &BuiltinUniformLocations::camera_position},
    {"camera_rotation", &BuiltinUniformLocations::camera_rotation},
    {"sound_texture", &BuiltinUniformLocations::sound_texture},
    {"nodeIdx", &BuiltinUniformLocations::nodeIdx},
    {"uModelViewProjMatrix", &BuiltinUniformLocations::uModelViewProjMatrix},
    {"uModelViewMatrix", &BuiltinUniformLocations::uModelViewMatrix},
    {"uNormalMatrix", &BuiltinUniformLocations::uNormalMatrix},
    {"uModelMatrix", &BuiltinUniformLocations::uModelMatrix},
    {"uLightMVPMatrix", &BuiltinUniformLocations::uLightMVPMatrix},
    {"uBaseColorFactor", &BuiltinUniformLocations::uBaseColorFactor},
    {"uBaseColorTex", &BuiltinUniformLocations::uBaseColorTex},
    {"uHasBaseColorTex", &BuiltinUniformLocations::uHasBaseColorTex},
    {"uMetallicFactor", &BuiltinUniformLocations::uMetallicFactor},
    {"uRoughnessFactor", &BuiltinUniformLocations::uRoughnessFactor},
    {"uMetallicRoughnessTex", &BuiltinUniformLocations::uMetallicRoughnessTex},
    {"uHasMetallicRoughnessTex", &BuiltinUniformLocations::uHasMetallicRoughnessTex},
    {"uEmissiveFactor", &BuiltinUniformLocations::uEmissiveFactor},
    {"uEmissiveTex", &BuiltinUniformLocations::uEmissiveTex},
    {"uHasEmissiveTex", &BuiltinUniformLocations::uHasEmissiveTex},
    {"uCameraPos", &BuiltinUniformLocations::uCameraPos},
    {"uLightDir", &BuiltinUniformLocations::uLightDir},
    {"uLightColor", &BuiltinUniformLocations::uLightColor},
    {"uShadowMapTexture", &BuiltinUniformLocations::uShadowMapTexture},
    {"uIsShadowRenderPass", &BuiltinUniformLocations::uIsShadowRenderPass},
    {"uTag", &BuiltinUniformLocations::uTag},
    {"uInstance", &BuiltinUniformLocations::uInstance},
};

void look_up_locations(ShaderProgram& program) {
    const GLuint id = program.gl_program;
    BuiltinUniformLocations& loc = program.locations;
    for (const auto& builtin : kBuiltins) loc.*builtin.field = glGetUniformLocation(id, builtin.name);
    loc.tex[0] = glGetUniformLocation(id, "tex");
    for (int i = 1; i < kSamplerCount; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "tex%d", i);
        loc.tex[i] = glGetUniformLocation(id, name);
    }
    const GLint vp = glGetAttribLocation(id, "vp");
    program.position_attribute = vp < 0 ? 0 : vp;

    program.base_color_unit = kGlTexture0;
    program.metallic_roughness_unit = kGlTexture0 + 1;
    program.emissive_unit = kGlTexture0 + 2;
    program.shadow_map_unit = kGlTexture0 + 3;

    clear_gl_errors();
    program.matrices_block_index = glGetUniformBlockIndex(id, "MatricesBlock");
    if (program.matrices_block_index != GL_INVALID_INDEX) glUniformBlockBinding(id, program.matrices_block_index, 0);
    if (glGetError() != GL_NO_ERROR) std::printf("%s", render_messages::kBlockBindingError);

    for (auto& def : program.uniform_defs) def.location = glGetUniformLocation(id, def.name.c_str());
}

}  // namespace

void build_program(ShaderProgram& program, const ShaderList* shaders) {
    program.gl_vertex_shader = glCreateShader(GL_VERTEX_SHADER);
    program.gl_fragment_shader = glCreateShader(GL_FRAGMENT_SHADER);
    compile(program, program.gl_vertex_shader, program.vertex_shader_source);

    program.expanded_fragment_source = expand_includes(program, shaders);
    compile(program, program.gl_fragment_shader, program.expanded_fragment_source);

    // A failed compile or link stops nothing: the program keeps its names and
    // log, its locations are -1, and drawing code skips it (see `linked`).
    program.gl_program = glCreateProgram();
    glAttachShader(program.gl_program, program.gl_vertex_shader);
    glAttachShader(program.gl_program, program.gl_fragment_shader);
    glLinkProgram(program.gl_program);
    GLint link_status = GL_FALSE;
    glGetProgramiv(program.gl_program, GL_LINK_STATUS, &link_status);
    program.linked = link_status == GL_TRUE;
    char log[kInfoLogBytes] = {};
    glGetProgramInfoLog(program.gl_program, kInfoLogBytes, nullptr, log);
    if (log[0] != '\0') {
        std::printf(render_messages::kLinkerError, log);
        program.compile_log += render_messages::kLinkerErrorInLog;
        program.compile_log += log;
    }
    look_up_locations(program);
}

void rebuild_program(ShaderProgram& program, const ShaderList* shaders) {
    glDeleteProgram(program.gl_program);
    glDeleteShader(program.gl_vertex_shader);
    glDeleteShader(program.gl_fragment_shader);
    program.gl_program = program.gl_vertex_shader = program.gl_fragment_shader = 0;
    program.linked = false;
    build_program(program, shaders);
}

void set_builtin_uniforms(const ShaderProgram& program) {
    const BuiltinUniformLocations& loc = program.locations;
    const PlaybackState& state = playback();
    const float beat = state.current_beat;
    if (loc.beat != -1) glUniform1f(loc.beat, beat);
    // Truncation toward zero: the fraction is negative before beat 0.
    if (loc.iTime2 != -1) glUniform2f(loc.iTime2, beat, beat - std::trunc(beat));
    if (loc.sound != -1) glUniform1i(loc.sound, sound_level());
    // Nothing is bound on unit 16; the sound texture reaches shaders through
    // node inputs.
    if (loc.sound_texture != -1) glUniform1i(loc.sound_texture, 16);
    for (int i = 0; i < kSamplerCount; ++i)
        if (loc.tex[i] != -1) glUniform1i(loc.tex[i], i);
    if (loc.resolution != -1)
        glUniform2f(loc.resolution, static_cast<float>(state.render_size.render_width),
                    static_cast<float>(state.render_size.render_height));
    // Playback has no camera of its own: both stay at the origin.
    if (loc.camera_position != -1) glUniform3f(loc.camera_position, 0.0f, 0.0f, 0.0f);
    if (loc.camera_rotation != -1) glUniform3f(loc.camera_rotation, 0.0f, 0.0f, 0.0f);
}

void set_uniform_defs(const ShaderProgram& program) {
    // Definitions named tex... are samplers fed by texture inputs; a float
    // default sent to a sampler is refused by GL and would leave an error
    // behind on every frame.
    for (const auto& def : program.uniform_defs)
        if (def.location != -1 && def.name.compare(0, 3, "tex") != 0) glUniform1f(def.location, def.default_val);
}
