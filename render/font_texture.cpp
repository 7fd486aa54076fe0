#include "render/font_texture.h"

#include "render/font.h"
#include "serialization/content_error.h"

void FontTexture::resolve_references(const IdentityMap& map) { font = resolve_identity<Font>(map, font_id); }

void FontTexture::resolve_names(const NameMaps& names) {
    font = font_name.empty() ? nullptr : resolve_name(names.fonts, font_name);
}

std::vector<std::string> FontTexture::unresolved() const {
    std::vector<std::string> lines;
    if (font) return lines;
    if (font_id != 0)
        lines.push_back("font texture '" + name + "': font #" + std::to_string(font_id) + " not found");
    else if (!font_name.empty())
        lines.push_back("font texture '" + name + "': font '" + font_name + "' not found");
    return lines;
}

nlohmann::json FontTexture::to_json(bool) const {
    return {{"name", name},
            {"width", width},
            {"height", height},
            {"font", font ? font->name : font_name},
            {"center", center},
            {"chars_per_beat", chars_per_beat}};
}

void FontTexture::write(ContentWriter& out) const {
    out.write_string(name);
    out.write_i32(width);
    out.write_i32(height);
    out.write_reference(font);
    out.write_bool(center);
    out.write_i32(chars_per_beat);
}

void FontTexture::from_json(const nlohmann::json& json) {
    try {
        name = json.at("name").get<std::string>();
        width = json.at("width").get<int32_t>();
        height = json.at("height").get<int32_t>();
        font = nullptr;
        font_id = 0;
        font_name = json.contains("font") ? json.at("font").get<std::string>() : std::string();
        center = json.contains("center") ? json.at("center").get<bool>() : false;
        chars_per_beat = json.contains("chars_per_beat") ? json.at("chars_per_beat").get<int32_t>() : -1;
    } catch (const nlohmann::json::exception& e) {
        throw ContentError(std::string("font texture JSON: ") + e.what());
    }
}

void FontTexture::read(ContentReader& in) {
    name = in.read_string("font texture name");
    width = in.read_i32("font texture width");
    height = in.read_i32("font texture height");
    font = nullptr;
    font_name.clear();
    font_id = in.read_u64("font texture font");
    center = in.read_bool("font texture center");
    chars_per_beat = in.read_i32("font texture chars per beat");
}
