#include "timeline/uniform_def.h"

#include "timeline/json_fields.h"

nlohmann::json UniformDef::to_json(bool) const {
    return nlohmann::json{{"name", name},
                          {"min_val", min_val},
                          {"max_val", max_val},
                          {"default_val", default_val},
                          {"is_string", is_string}};
}

void UniformDef::write(ContentWriter& out) const {
    out.write_string(name);
    out.write_f32(min_val);
    out.write_f32(max_val);
    out.write_f32(default_val);
    out.write_bool(is_string);
}

void UniformDef::from_json(const nlohmann::json& json) {
    using namespace timeline_json;
    require_object(json, "uniform definition");
    name = get_string(json, "name", "uniform definition");
    min_val = get_float(json, "min_val", 0.0f, "uniform definition");
    max_val = get_float(json, "max_val", 1.0f, "uniform definition");
    default_val = get_float(json, "default_val", 0.0f, "uniform definition");
    is_string = get_bool(json, "is_string", false, "uniform definition");
}

void UniformDef::read(ContentReader& in) {
    name = in.read_string("uniform definition name");
    min_val = in.read_f32("uniform definition min_val");
    max_val = in.read_f32("uniform definition max_val");
    default_val = in.read_f32("uniform definition default_val");
    is_string = in.read_bool("uniform definition is_string");
}
