// FontTexture: a fixed-size RGBA picture into which one text is rendered with
// a Font, re-rendered only when the text changes. Reading keeps the font as a
// stored identity (binary) or name (JSON) until the content is relinked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serialization/identity.h"
#include "serialization/serializable.h"

class Font;

class FontTexture : public ISerializable {
public:
    // ---- stored ----
    std::string name;
    int32_t width = 0;   // also the wrap width of the text
    int32_t height = 0;
    Font* font = nullptr;
    bool center = false;
    int32_t chars_per_beat = -1;  // kept for the authoring tool; playback ignores it

    // What was stored for `font` until it is resolved.
    uint64_t font_id = 0;
    std::string font_name;

    // ---- run time ----
    std::shared_ptr<void> surface;  // SDL_Surface, width x height RGBA
    uint32_t gl_texture = 0;
    std::string current_text;       // last rendered text; empty at first

    FontTexture() = default;

    void resolve_references(const IdentityMap& map);
    void resolve_names(const NameMaps& names);
    // One line per stored reference that did not resolve.
    std::vector<std::string> unresolved() const;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
