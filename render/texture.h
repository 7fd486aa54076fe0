// Texture: an encoded image file held inside the content. Reading keeps the
// bytes; the device side (render/render_gl.h) decodes and uploads them.
#pragma once

#include <cstdint>
#include <string>

#include "serialization/byte_buffer.h"
#include "serialization/serializable.h"

class Texture : public ISerializable {
public:
    // ---- stored ----
    std::string name;  // also the image's file path in the external-files form
    ByteBuffer image;  // PNG, JPEG, ... as the file holds it

    // ---- run time ----
    uint32_t gl_texture = 0;  // 0 when decoding failed or nothing was uploaded
    int32_t width = 0;        // decoded size; 0 x 0 when decoding failed
    int32_t height = 0;

    Texture() = default;
    Texture(std::string texture_name, ByteBuffer bytes) : name(std::move(texture_name)), image(std::move(bytes)) {}

    // Binary form: name, then the image blob, always both: a texture without
    // image bytes is written with an empty blob so the stream stays aligned.
    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
