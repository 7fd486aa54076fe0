// UniformDef: one named output of a uniforms event (and, in shader programs,
// one author-declared uniform). The name also selects the event's track.
//
// Binary form: name string; min_val, max_val, default_val float32; is_string
// one byte. JSON form: {"name", "min_val", "max_val", "default_val",
// "is_string"}, "is_string" optional (false when absent).
#pragma once

#include <cstdint>
#include <string>

#include "serialization/serializable.h"

class UniformDef : public ISerializable {
public:
    std::string name;
    // The range and default are for the authoring side; evaluation neither
    // clamps to them nor falls back on the default.
    float min_val = 0.0f;
    float max_val = 1.0f;
    float default_val = 0.0f;
    bool is_string = false;  // the output carries text instead of a number
    // Run-time only (not stored): the GL uniform location, -1 when unknown.
    int32_t location = -1;

    UniformDef() = default;
    explicit UniformDef(ContentReader& in) { read(in); }

    // Smallest binary body (empty name length prefix, three floats, flag);
    // used to reject forged list counts before allocating.
    static constexpr size_t kMinBinaryBytes = 8 + 3 * 4 + 1;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    // Throws ContentError when a present key has the wrong JSON type.
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
