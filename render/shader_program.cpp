#include "render/shader_program.h"

#include <cstdio>

#include "render/render_messages.h"
#include "serialization/content_error.h"
#include "serialization/file_io.h"

namespace {

// The JSON form may name its sources instead of embedding them. A missing
// file is not fatal: the program is then built from an empty text and its
// compile log says why.
std::string load_source_file(const std::string& path) {
    std::printf(render_messages::kLoadingFile, path.c_str());
    auto bytes = try_read_file(path);
    if (!bytes) {
        std::printf(render_messages::kSourceNotFound, path.c_str());
        return {};
    }
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace

nlohmann::json ShaderProgram::to_json(bool external_files) const {
    nlohmann::json j;
    j["vertex_shader_filename"] = vertex_shader_filename;
    if (external_files) {
        write_file(vertex_shader_filename, vertex_shader_source.data(), vertex_shader_source.size());
        write_file(fragment_shader_filename, fragment_shader_source.data(), fragment_shader_source.size());
    } else {
        j["vertex_shader_source"] = vertex_shader_source;
    }
    j["fragment_shader_filename"] = fragment_shader_filename;
    if (!external_files) j["fragment_shader_source"] = fragment_shader_source;
    nlohmann::json defs = nlohmann::json::array();
    for (const auto& def : uniform_defs) defs.push_back(def.to_json(external_files));
    j["uniform_defs"] = std::move(defs);
    return j;
}

void ShaderProgram::write(ContentWriter& out) const {
    out.write_string(vertex_shader_filename);
    out.write_string(vertex_shader_source);
    out.write_string(fragment_shader_filename);
    out.write_string(fragment_shader_source);
    out.write_u64(uniform_defs.size());
    for (const auto& def : uniform_defs) def.write(out);
}

void ShaderProgram::from_json(const nlohmann::json& json) {
    try {
        vertex_shader_filename = json.at("vertex_shader_filename").get<std::string>();
        fragment_shader_filename = json.at("fragment_shader_filename").get<std::string>();
        if (json.contains("fragment_shader_source")) {
            vertex_shader_source = json.at("vertex_shader_source").get<std::string>();
            fragment_shader_source = json.at("fragment_shader_source").get<std::string>();
        } else {
            vertex_shader_source = load_source_file(vertex_shader_filename);
            fragment_shader_source = load_source_file(fragment_shader_filename);
        }
        uniform_defs.clear();
        if (json.contains("uniform_defs")) {
            for (const auto& item : json.at("uniform_defs")) {
                UniformDef def;
                def.from_json(item);
                uniform_defs.push_back(std::move(def));
            }
        }
    } catch (const nlohmann::json::exception& e) {
        throw ContentError(std::string("shader program JSON: ") + e.what());
    }
}

void ShaderProgram::read(ContentReader& in) {
    vertex_shader_filename = in.read_string("shader vertex file name");
    vertex_shader_source = in.read_string("shader vertex source");
    fragment_shader_filename = in.read_string("shader fragment file name");
    fragment_shader_source = in.read_string("shader fragment source");
    const uint64_t count = in.read_count("shader uniform definition count", UniformDef::kMinBinaryBytes);
    uniform_defs.clear();
    uniform_defs.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        UniformDef def;
        def.read(in);
        def.location = -1;
        uniform_defs.push_back(std::move(def));
    }
}

std::string expand_includes(const ShaderProgram& program, const ShaderList* shaders) {
    std::string expanded = program.fragment_shader_source;
    if (!shaders) return expanded;
    for (const auto& other : *shaders) {
        if (!other || other.get() == &program) continue;
        const std::string directive = "#include \"" + other->fragment_shader_filename + "\"";
        const size_t at = expanded.find(directive);
        if (at == std::string::npos) continue;
        // The stored text, not the other program's expansion: nested includes
        // resolve only through later programs of this same pass.
        expanded.replace(at, directive.size(), other->fragment_shader_source);
    }
    return expanded;
}
