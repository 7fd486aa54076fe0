#include "timeline/event.h"

#include <cstdio>
#include <limits>

#include "audio/audio_sample.h"
#include "render/effect.h"
#include "timeline/event_group.h"
#include "timeline/json_fields.h"
#include "timeline/messages.h"

namespace {

// Only these kinds carry a tail (visibility, beats, reference) and a name.
bool has_body(int32_t type) { return type >= EventType::effect && type <= EventType::uniforms; }

// A track entry is at least its name's length prefix plus the track itself.
constexpr size_t kMinTrackBytes = 8 + ControlPointTrack::kMinBinaryBytes;

// ---- Numeric evaluation ---------------------------------------------------------
// Everything is single precision except the two neighbour-distance tests, which
// widen the single-precision difference and compare it with 0.05 in double:
// stored content was authored against exactly this arithmetic.

float catmull_rom(float p0, float p1, float p2, float p3, float u) {
    const float u2 = u * u;
    const float u3 = u2 * u;
    return 0.5f * (2.0f * p1 + (p2 - p0) * u + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * u2 +
                   (3.0f * p1 - p0 - 3.0f * p2 + p3) * u3);
}

// Value of `track` at beat `r` relative to the event start.
float track_value(const ControlPointTrack& track, float r) {
    const std::vector<ControlPoint>& p = track.points;
    const size_t n = p.size();
    if (n == 0) return 0.0f;

    // The scan stops at the first point after r once one point has been
    // reached, so with unsorted points `next` is the first later point in
    // stored order, not the nearest one.
    size_t found = n;
    size_t next = n;
    bool stopped = false;
    for (size_t j = 0; j < n; ++j) {
        if (r >= p[j].beat) {
            found = j;
        } else if (found != n && p[j].beat > r) {
            next = j;
            stopped = true;
            break;
        }
    }
    if (found == n) return 0.0f;
    if (!stopped) next = found + 1;

    if (next == n) next = track.repeat ? 0 : n - 1;
    size_t next2 = next + 1;
    if (next2 == n) next2 = track.repeat ? 0 : n - 1;
    const size_t prev = found == 0 ? (track.repeat ? n - 1 : 0) : found - 1;

    const ControlPoint& a = p[found];
    const ControlPoint& b = p[next];
    switch (track.mode) {
        case InterpolationMode::last_value:
            return a.value;
        case InterpolationMode::linear: {
            const float d = b.beat - a.beat;
            if (d == 0.0f) return a.value;
            const float u = (r - a.beat) / d;
            return (1.0f - u) * a.value + u * b.value;
        }
        case InterpolationMode::smooth: {
            const float d = b.beat - a.beat;
            if (d == 0.0f) return a.value;
            const float u = (r - a.beat) / d;
            const float p1 = a.value;
            const float p2 = b.value;
            const float before = a.beat - p[prev].beat;
            const float after = p[next2].beat - b.beat;
            const float p0 = static_cast<double>(before) > 0.05 ? p[prev].value : p1;
            const float p3 = static_cast<double>(after) > 0.05 ? p[next2].value : p2;
            return catmull_rom(p0, p1, p2, p3, u);
        }
        default:
            return 0.0f;
    }
}

// ---- Text evaluation -------------------------------------------------------------

void replace_first(std::string& text, std::string_view placeholder, const std::string& with) {
    const size_t at = text.find(placeholder);
    if (at != std::string::npos) text.replace(at, placeholder.size(), with);
}

// printf "%f" of the value widened to double. 64 bytes hold the widest float
// in fixed notation (39 integer digits, sign, point, six decimals).
std::string fixed6(float value) {
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string whole(float value) { return std::to_string(truncate_to_int32(value)); }

// Placeholders, in the order in which they are replaced. None is a substring
// of another, and a replacement (digits, sign, point, "inf", "nan") cannot
// complete one, so each replacement sees only what the author wrote.
enum class Shown { current_beat, point_beat, absolute_point_beat };
struct Placeholder {
    std::string_view token;
    Shown shown;
    bool truncated;
};
constexpr Placeholder kPlaceholders[] = {
    {"<BEAT>", Shown::current_beat, false},        {"<IBEAT>", Shown::current_beat, true},
    {"<CP>", Shown::point_beat, false},            {"<ICP>", Shown::point_beat, true},
    {"<ACP>", Shown::absolute_point_beat, false},  {"<IACP>", Shown::absolute_point_beat, true},
};

}  // namespace

int32_t truncate_to_int32(float value) {
    if (value != value) return 0;
    // 2^31 is exactly representable; every float in [-2^31, 2^31) truncates
    // into range, anything outside saturates instead of being undefined.
    if (value >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (value < -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// ---- Tracks and evaluation -------------------------------------------------------

ControlPointTrack& Event::track(std::string_view uniform) {
    auto it = control_points.find(uniform);
    if (it != control_points.end()) return it->second;
    return control_points.emplace(std::string(uniform), ControlPointTrack{}).first->second;
}

float Event::evaluate_value(std::string_view uniform, float beat) {
    const ControlPointTrack& tr = track(uniform);
    if (beat < start_beat || beat > end_beat) return 0.0f;
    return track_value(tr, beat - start_beat);
}

std::string Event::evaluate_text(std::string_view uniform, float beat, float current_beat) {
    const ControlPointTrack& tr = track(uniform);
    if (beat < start_beat || beat > end_beat) return {};
    const float r = beat - start_beat;
    const std::vector<ControlPoint>& p = tr.points;
    size_t c = p.size();
    for (size_t j = 0; j < p.size(); ++j)
        if (r >= p[j].beat) c = j;
    if (c == p.size()) return {};

    const float point_beat = p[c].beat;
    const float absolute_point_beat = point_beat + start_beat;
    std::string text = p[c].text;
    for (const Placeholder& ph : kPlaceholders) {
        if (text.find(ph.token) == std::string::npos) continue;
        const float v = ph.shown == Shown::current_beat ? current_beat
                        : ph.shown == Shown::point_beat ? point_beat
                                                         : absolute_point_beat;
        replace_first(text, ph.token, ph.truncated ? whole(v) : fixed6(v));
    }
    return text;
}

// ---- References ------------------------------------------------------------------

void Event::resolve_references(const IdentityMap& identities) {
    switch (type) {
        case EventType::effect:
            effect = resolve_identity<Effect>(identities, effect_id);
            break;
        case EventType::audio_sample:
            audio_sample = resolve_identity<AudioSample>(identities, audio_sample_id);
            break;
        case EventType::group:
            group = resolve_identity<EventGroup>(identities, group_id);
            break;
        default:
            break;
    }
}

void Event::resolve_names(const NameMaps& names) {
    switch (type) {
        case EventType::effect:
            effect = effect_name.empty() ? nullptr : resolve_name(names.effects, effect_name);
            break;
        case EventType::audio_sample:
            audio_sample = audio_sample_name.empty() ? nullptr : resolve_name(names.audio_samples, audio_sample_name);
            break;
        case EventType::group:
            group = group_name.empty() ? nullptr : resolve_name(names.event_groups, group_name);
            break;
        default:
            break;
    }
}

std::vector<std::string> Event::unresolved() const {
    std::vector<std::string> lines;
    auto check = [&](const void* target, const char* what, uint64_t id, const std::string& stored_name) {
        if (target) return;
        if (id != 0) lines.push_back(timeline_messages::unresolved_identity("event", name, what, id));
        if (!stored_name.empty()) lines.push_back(timeline_messages::unresolved_name("event", name, what, stored_name));
    };
    switch (type) {
        case EventType::effect: check(effect, "effect", effect_id, effect_name); break;
        case EventType::audio_sample: check(audio_sample, "audio sample", audio_sample_id, audio_sample_name); break;
        case EventType::group: check(group, "event group", group_id, group_name); break;
        default: break;
    }
    return lines;
}

// ---- Binary form -----------------------------------------------------------------

void Event::write(ContentWriter& out) const {
    // The reader decides the rest of the body from this byte, so the tail
    // below follows the byte written, not the in-memory number.
    const int32_t stored_type = type >= 0 && type <= 255 ? type : 0;
    out.write_u8(static_cast<uint8_t>(stored_type));
    out.write_u64(control_points.size());
    for (const auto& [uniform, tr] : control_points) {
        out.write_string(uniform);
        tr.write(out);
    }
    switch (stored_type) {
        case EventType::effect:
            out.write_bool(visible);
            out.write_reference(effect);
            out.write_f32(start_beat);
            out.write_f32(end_beat);
            break;
        case EventType::audio_sample:
            out.write_bool(visible);
            out.write_reference(audio_sample);
            out.write_f32(start_beat);
            break;
        case EventType::group:
            out.write_bool(visible);
            out.write_reference(group);
            out.write_f32(start_beat);
            out.write_f32(end_beat);
            break;
        case EventType::uniforms:
            out.write_bool(visible);
            out.write_f32(start_beat);
            out.write_f32(end_beat);
            out.write_u64(uniform_defs.size());
            for (const UniformDef& def : uniform_defs) def.write(out);
            break;
        default:
            return;  // unknown kinds end after their tracks, without a name
    }
    out.write_string(name);
}

void Event::read(ContentReader& in) {
    *this = Event{};
    type = in.read_u8("event type");
    const uint64_t tracks = in.read_count("event track count", kMinTrackBytes);
    for (uint64_t i = 0; i < tracks; ++i) {
        std::string uniform = in.read_string("event track name");
        ControlPointTrack tr(in);
        // A repeated name: the later track wins, as if assigned in order.
        control_points.insert_or_assign(std::move(uniform), std::move(tr));
    }
    switch (type) {
        case EventType::effect:
            visible = in.read_bool("event visible");
            effect_id = in.read_u64("event effect identity");
            start_beat = in.read_f32("event start_beat");
            end_beat = in.read_f32("event end_beat");
            break;
        case EventType::audio_sample:
            visible = in.read_bool("event visible");
            audio_sample_id = in.read_u64("event audio sample identity");
            start_beat = in.read_f32("event start_beat");
            end_beat = start_beat + 1.0f;
            break;
        case EventType::group:
            visible = in.read_bool("event visible");
            group_id = in.read_u64("event group identity");
            start_beat = in.read_f32("event start_beat");
            end_beat = in.read_f32("event end_beat");
            break;
        case EventType::uniforms: {
            visible = in.read_bool("event visible");
            start_beat = in.read_f32("event start_beat");
            end_beat = in.read_f32("event end_beat");
            const uint64_t defs = in.read_count("event uniform definition count", UniformDef::kMinBinaryBytes);
            uniform_defs.reserve(defs);
            for (uint64_t i = 0; i < defs; ++i) uniform_defs.emplace_back(in);
            break;
        }
        default:
            return;
    }
    name = in.read_string("event name");
}

// ---- JSON form -------------------------------------------------------------------

nlohmann::json Event::to_json(bool external_files) const {
    nlohmann::json json{{"type", type}, {"name", name}};
    if (!has_body(type)) return json;

    json["visible"] = visible ? "true" : "false";
    nlohmann::json tracks = nlohmann::json::object();
    for (const auto& [uniform, tr] : control_points) tracks[uniform] = tr.to_json(external_files);
    json["control_points"] = std::move(tracks);

    // A reference that never bound keeps the name it was read with, so a
    // project read and written again does not lose it.
    switch (type) {
        case EventType::effect:
            json["effect"] = effect ? effect->name : effect_name;
            json["start_beat"] = start_beat;
            json["end_beat"] = end_beat;
            break;
        case EventType::audio_sample:
            json["audio_sample"] = audio_sample ? audio_sample->name : audio_sample_name;
            json["beat"] = start_beat;
            break;
        case EventType::group:
            json["group"] = group ? group->name : group_name;
            json["start_beat"] = start_beat;
            json["end_beat"] = end_beat;
            break;
        case EventType::uniforms: {
            json["start_beat"] = start_beat;
            json["end_beat"] = end_beat;
            nlohmann::json defs = nlohmann::json::array();
            for (const UniformDef& def : uniform_defs) defs.push_back(def.to_json(external_files));
            json["uniform_defs"] = std::move(defs);
            break;
        }
        default:
            break;
    }
    return json;
}

void Event::from_json(const nlohmann::json& json) {
    using namespace timeline_json;
    static constexpr const char* kRecord = "event";
    require_object(json, kRecord);
    *this = Event{};
    type = get_int(json, "type", EventType::effect, kRecord);
    name = get_string(json, "name", kRecord);

    if (auto it = json.find("visible"); it != json.end()) {
        // Stored as the strings "true"/"false"; a JSON boolean is taken at its word.
        if (it->is_string()) visible = it->get_ref<const std::string&>() == "true";
        else if (it->is_boolean()) visible = it->get<bool>();
        else throw ContentError("content error while reading event JSON: \"visible\" must be \"true\" or \"false\"");
    }

    if (const nlohmann::json* tracks = get_object(json, "control_points", kRecord)) {
        for (const auto& [uniform, value] : tracks->items()) {
            ControlPointTrack tr;
            tr.from_json(value);
            control_points.insert_or_assign(uniform, std::move(tr));
        }
    }

    switch (type) {
        case EventType::effect:
            effect_name = get_string(json, "effect", kRecord);
            start_beat = get_float(json, "start_beat", 0.0f, kRecord);
            end_beat = get_float(json, "end_beat", 0.0f, kRecord);
            break;
        case EventType::audio_sample:
            audio_sample_name = get_string(json, "audio_sample", kRecord);
            start_beat = get_float(json, "beat", 0.0f, kRecord);
            end_beat = start_beat + 1.0f;
            break;
        case EventType::group:
            group_name = get_string(json, "group", kRecord);
            start_beat = get_float(json, "start_beat", 0.0f, kRecord);
            end_beat = get_float(json, "end_beat", 0.0f, kRecord);
            break;
        case EventType::uniforms:
            start_beat = get_float(json, "start_beat", 0.0f, kRecord);
            end_beat = get_float(json, "end_beat", 0.0f, kRecord);
            if (const nlohmann::json* defs = get_array(json, "uniform_defs", kRecord)) {
                uniform_defs.reserve(defs->size());
                for (const nlohmann::json& def : *defs) uniform_defs.emplace_back().from_json(def);
            }
            break;
        default:
            break;
    }
}
