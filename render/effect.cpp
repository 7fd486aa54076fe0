#include "render/effect.h"

#include "render/font_texture.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/scene.h"
#include "serialization/content_error.h"

Effect::Effect(std::string effect_name, ShaderProgram* effect_program, Texture* texture, Effect* input,
               bool with_feedback, bool with_screen_texture, Scene* effect_scene)
    : program(effect_program),
      name(std::move(effect_name)),
      feedback(with_feedback),
      screen_texture(with_screen_texture),
      scene(effect_scene) {
    if (texture) textures.push_back(texture);
    if (input) effects.push_back(input);
}

// ---- references ---------------------------------------------------------

namespace {

template <typename T>
void resolve_list(std::vector<T*>& list, const std::vector<uint64_t>& ids, const IdentityMap& map) {
    list.assign(ids.size(), nullptr);
    for (size_t i = 0; i < ids.size(); ++i) list[i] = resolve_identity<T>(map, ids[i]);
}

template <typename T>
void resolve_list(std::vector<T*>& list, const std::vector<std::string>& names,
                  const std::unordered_map<std::string, T*>& map) {
    list.assign(names.size(), nullptr);
    for (size_t i = 0; i < names.size(); ++i) list[i] = resolve_name(map, names[i]);
}

template <typename T>
void report_list(std::vector<std::string>& lines, const std::string& owner, const char* kind,
                 const std::vector<T*>& list, const std::vector<uint64_t>& ids,
                 const std::vector<std::string>& names) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i]) continue;
        if (i < ids.size() && ids[i] != 0)
            lines.push_back(owner + kind + " #" + std::to_string(ids[i]) + " not found");
        else if (i < names.size() && !names[i].empty())
            lines.push_back(owner + kind + " '" + names[i] + "' not found");
    }
}

void report_one(std::vector<std::string>& lines, const std::string& owner, const char* kind, const void* target,
                uint64_t id, const std::string& stored_name) {
    if (target) return;
    if (id != 0)
        lines.push_back(owner + kind + " #" + std::to_string(id) + " not found");
    else if (!stored_name.empty())
        lines.push_back(owner + kind + " '" + stored_name + "' not found");
}

// Name of list element i for the JSON form: the bound record's, else what
// was stored, so that an unresolved reference survives a round trip.
template <typename T, typename NameOf>
nlohmann::json names_json(const std::vector<T*>& list, const std::vector<std::string>& stored, NameOf name_of) {
    nlohmann::json array = nlohmann::json::array();
    for (size_t i = 0; i < list.size(); ++i)
        array.push_back(list[i] ? name_of(*list[i]) : (i < stored.size() ? stored[i] : std::string()));
    return array;
}

std::vector<std::string> names_from_json(const nlohmann::json& json, const char* key) {
    std::vector<std::string> names;
    if (!json.contains(key)) return names;
    for (const auto& item : json.at(key)) names.push_back(item.get<std::string>());
    return names;
}

std::vector<uint64_t> read_ids(ContentReader& in, const char* what) {
    const uint64_t count = in.read_count(what, 8);
    std::vector<uint64_t> ids(count);
    for (auto& id : ids) id = in.read_u64(what);
    return ids;
}

template <typename T>
void write_refs(ContentWriter& out, const std::vector<T*>& list) {
    out.write_u64(list.size());
    for (const T* target : list) out.write_reference(target);
}

}  // namespace

void Effect::resolve_references(const IdentityMap& map) {
    resolve_list(textures, texture_ids, map);
    resolve_list(effects, effect_ids, map);
    resolve_list(font_textures, font_texture_ids, map);
    program = resolve_identity<ShaderProgram>(map, program_id);
    scene = resolve_identity<Scene>(map, scene_id);
}

void Effect::resolve_names(const NameMaps& names) {
    resolve_list(textures, texture_names, names.textures);
    resolve_list(effects, effect_names, names.effects);
    resolve_list(font_textures, font_texture_names, names.font_textures);
    program = program_name.empty() ? nullptr : resolve_name(names.shaders, program_name);
    scene = scene_name.empty() ? nullptr : resolve_name(names.scenes, scene_name);
}

std::vector<std::string> Effect::unresolved() const {
    std::vector<std::string> lines;
    const std::string owner = "effect '" + name + "': ";
    report_list(lines, owner, "texture", textures, texture_ids, texture_names);
    report_list(lines, owner, "input effect", effects, effect_ids, effect_names);
    report_list(lines, owner, "font texture", font_textures, font_texture_ids, font_texture_names);
    report_one(lines, owner, "program", program, program_id, program_name);
    report_one(lines, owner, "scene", scene, scene_id, scene_name);
    return lines;
}

// ---- stored forms -------------------------------------------------------

nlohmann::json Effect::to_json(bool) const {
    nlohmann::json j;
    j["textures"] = names_json(textures, texture_names, [](const Texture& t) { return t.name; });
    j["effects"] = names_json(effects, effect_names, [](const Effect& e) { return e.name; });
    j["font_textures"] = names_json(font_textures, font_texture_names, [](const FontTexture& f) { return f.name; });
    j["program"] = program ? program->fragment_shader_filename : program_name;
    j["name"] = name;
    j["feedback"] = feedback;
    j["screen_texture"] = screen_texture;
    if (scene)
        j["scene"] = scene->name;
    else if (!scene_name.empty())
        j["scene"] = scene_name;
    return j;
}

void Effect::write(ContentWriter& out) const {
    write_refs(out, textures);
    write_refs(out, effects);
    write_refs(out, font_textures);
    out.write_reference(program);
    out.write_string(name);
    out.write_bool(feedback);
    out.write_bool(screen_texture);
    out.write_reference(scene);
}

void Effect::from_json(const nlohmann::json& json) {
    try {
        texture_names = names_from_json(json, "textures");
        effect_names = names_from_json(json, "effects");
        font_texture_names = names_from_json(json, "font_textures");
        program_name = json.contains("program") ? json.at("program").get<std::string>() : std::string();
        name = json.at("name").get<std::string>();
        feedback = json.contains("feedback") ? json.at("feedback").get<bool>() : false;
        screen_texture = json.contains("screen_texture") ? json.at("screen_texture").get<bool>() : false;
        scene_name = json.contains("scene") ? json.at("scene").get<std::string>() : std::string();
    } catch (const nlohmann::json::exception& e) {
        throw ContentError(std::string("effect JSON: ") + e.what());
    }
    texture_ids.clear();
    effect_ids.clear();
    font_texture_ids.clear();
    program_id = scene_id = 0;
    textures.assign(texture_names.size(), nullptr);
    effects.assign(effect_names.size(), nullptr);
    font_textures.assign(font_texture_names.size(), nullptr);
    program = nullptr;
    scene = nullptr;
}

void Effect::read(ContentReader& in) {
    texture_ids = read_ids(in, "effect texture list");
    effect_ids = read_ids(in, "effect input effect list");
    font_texture_ids = read_ids(in, "effect font texture list");
    program_id = in.read_u64("effect program");
    name = in.read_string("effect name");
    feedback = in.read_bool("effect feedback");
    screen_texture = in.read_bool("effect screen texture");
    scene_id = in.read_u64("effect scene");
    texture_names.clear();
    effect_names.clear();
    font_texture_names.clear();
    program_name.clear();
    scene_name.clear();
    textures.assign(texture_ids.size(), nullptr);
    effects.assign(effect_ids.size(), nullptr);
    font_textures.assign(font_texture_ids.size(), nullptr);
    program = nullptr;
    scene = nullptr;
}
