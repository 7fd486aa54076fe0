#include "render/texture.h"

#include "serialization/content_error.h"
#include "serialization/data.h"

nlohmann::json Texture::to_json(bool external_files) const {
    nlohmann::json j = {{"name", name}};
    payload_to_json(j, "image_buffer", image, name, external_files);
    return j;
}

void Texture::write(ContentWriter& out) const {
    // Always both fields, even without image bytes: the reader cannot tell an
    // omitted body from the next record, so skipping it would misread every
    // record after this one.
    out.write_string(name);
    image.write(out);
}

void Texture::from_json(const nlohmann::json& json) {
    try {
        name = json.at("name").get<std::string>();
        payload_from_json(json, "image_buffer", image, name);
    } catch (const nlohmann::json::exception& e) {
        throw ContentError(std::string("texture JSON: ") + e.what());
    }
}

void Texture::read(ContentReader& in) {
    name = in.read_string("texture name");
    image.data = in.read_blob("texture image");
}
