#include "render/font.h"

#include "serialization/content_error.h"
#include "serialization/data.h"

nlohmann::json Font::to_json(bool external_files) const {
    nlohmann::json j = {{"name", name}, {"filename", filename}, {"ptsize", ptsize}};
    payload_to_json(j, "font_buffer", font_data, filename, external_files);
    return j;
}

void Font::write(ContentWriter& out) const {
    out.write_string(name);
    out.write_string(filename);
    out.write_i32(ptsize);
    font_data.write(out);
}

void Font::from_json(const nlohmann::json& json) {
    try {
        name = json.at("name").get<std::string>();
        filename = json.at("filename").get<std::string>();
        ptsize = json.at("ptsize").get<int32_t>();
        payload_from_json(json, "font_buffer", font_data, filename);
    } catch (const nlohmann::json::exception& e) {
        throw ContentError(std::string("font JSON: ") + e.what());
    }
}

void Font::read(ContentReader& in) {
    name = in.read_string("font name");
    filename = in.read_string("font file name");
    ptsize = in.read_i32("font point size");
    font_data.data = in.read_blob("font bytes");
}
