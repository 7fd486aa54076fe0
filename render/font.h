// Font: a TrueType file held inside the content, opened at a point size by
// the device side (render/render_gl.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serialization/byte_buffer.h"
#include "serialization/serializable.h"

class Font : public ISerializable {
public:
    // ---- stored ----
    std::string name;
    std::string filename;  // the font file in the external-files form
    int32_t ptsize = 0;
    ByteBuffer font_data;

    // ---- run time ----
    // The opened font (a TTF_Font, freed by the deleter the device side set);
    // empty when the bytes could not be opened.
    std::shared_ptr<void> open_font;

    Font() = default;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
