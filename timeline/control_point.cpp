#include "timeline/control_point.h"

#include "timeline/json_fields.h"

// ---- ControlPoint ------------------------------------------------------------

nlohmann::json ControlPoint::to_json(bool) const {
    nlohmann::json json{{"beat", beat}};
    if (is_text()) json["text"] = text;
    else json["value"] = value;
    return json;
}

void ControlPoint::write(ContentWriter& out) const {
    out.write_f32(beat);
    out.write_f32(value);
    out.write_string(text);
}

void ControlPoint::from_json(const nlohmann::json& json) {
    using namespace timeline_json;
    require_object(json, "control point");
    beat = get_float(json, "beat", 0.0f, "control point");
    if (json.contains("text")) {
        text = get_string(json, "text", "control point");
        value = 0.0f;
    } else {
        text.clear();
        value = get_float(json, "value", 0.0f, "control point");
    }
}

void ControlPoint::read(ContentReader& in) {
    beat = in.read_f32("control point beat");
    value = in.read_f32("control point value");
    text = in.read_string("control point text");
    // A text point's number is meaningless; the writer may have left anything there.
    if (!text.empty()) value = 0.0f;
}

// ---- ControlPointTrack ------------------------------------------------------

nlohmann::json ControlPointTrack::to_json(bool external_files) const {
    nlohmann::json list = nlohmann::json::array();
    for (const ControlPoint& p : points) list.push_back(p.to_json(external_files));
    return nlohmann::json{{"mode", mode}, {"repeat", repeat}, {"points", std::move(list)}};
}

void ControlPointTrack::write(ContentWriter& out) const {
    out.write_i32(mode);
    out.write_bool(repeat);
    out.write_u64(points.size());
    for (const ControlPoint& p : points) p.write(out);
}

void ControlPointTrack::from_json(const nlohmann::json& json) {
    using namespace timeline_json;
    require_object(json, "control point track");
    mode = get_int(json, "mode", InterpolationMode::linear, "control point track");
    repeat = get_bool(json, "repeat", false, "control point track");
    points.clear();
    if (const nlohmann::json* list = get_array(json, "points", "control point track")) {
        points.reserve(list->size());
        for (const nlohmann::json& p : *list) points.emplace_back().from_json(p);
    }
}

void ControlPointTrack::read(ContentReader& in) {
    mode = in.read_i32("control point track mode");
    repeat = in.read_bool("control point track repeat");
    const uint64_t count = in.read_count("control point count", ControlPoint::kMinBinaryBytes);
    points.clear();
    points.reserve(count);
    for (uint64_t i = 0; i < count; ++i) points.emplace_back(in);
}
