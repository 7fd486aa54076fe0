// Event: a span of the beat timeline with a kind, a name, a visibility flag and
// named control-point tracks. Events of the uniforms kind are evaluated once
// per frame by their graph node; the other kinds are loaded, linked to the
// record they name, and kept.
//
// Binary body: type byte; uint64 track count; per track (in map order) the
// uniform name and the track; then by type:
//   1 effect:       visible byte, effect identity u64, start_beat, end_beat
//   2 audio_sample: visible byte, sample identity u64, start_beat
//                   (end_beat is start_beat + 1, not stored)
//   3 group:        visible byte, group identity u64, start_beat, end_beat
//   4 uniforms:     visible byte, start_beat, end_beat, uint64 count, UniformDefs
//   other:          nothing more
// and, for types 1 to 4 only, the name. A later track of the same name
// replaces an earlier one.
//
// JSON form: "type" (default 1), "name", "visible" ("true"/"false"),
// "control_points" (uniform name -> track), and by type "effect" /
// "audio_sample" + "beat" / "group" (names of the targets), "start_beat",
// "end_beat", "uniform_defs". An event of another type writes only "type" and
// "name".
//
// References: after reading, `effect`, `audio_sample` and `group` are null and
// the stored identity (binary) or name (JSON) waits in the matching *_id /
// *_name field until resolve_references / resolve_names binds it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "serialization/identity.h"
#include "serialization/serializable.h"
#include "timeline/control_point.h"
#include "timeline/uniform_def.h"

class Effect;
class AudioSample;
class EventGroup;

// The kind of an event, stored as int32 in Event::type.
namespace EventType {
enum Value : int32_t {
    effect = 1,
    audio_sample = 2,
    group = 3,
    uniforms = 4,
};
}  // namespace EventType

// Tracks keyed by uniform name, ordered byte-wise; transparent comparison so
// that lookups by string_view do not build a std::string.
using ControlPointMap = std::map<std::string, ControlPointTrack, std::less<>>;

class Event : public ISerializable {
public:
    int32_t type = EventType::effect;    // an EventType value; others are carried
    Effect* effect = nullptr;            // target of an effect event (not owned)
    AudioSample* audio_sample = nullptr; // target of an audio_sample event (not owned)
    float start_beat = 0.0f;             // absolute demo beat
    float end_beat = 0.0f;               // absolute demo beat
    std::string name;                    // also names the graph node type
    ControlPointMap control_points;
    std::vector<UniformDef> uniform_defs;  // outputs of a uniforms event, in order
    EventGroup* group = nullptr;         // target of a group event (not owned)
    bool visible = true;

    // What was stored for the references, until (and after) resolution.
    uint64_t effect_id = 0;
    uint64_t audio_sample_id = 0;
    uint64_t group_id = 0;
    std::string effect_name;
    std::string audio_sample_name;
    std::string group_name;

    Event() = default;
    explicit Event(ContentReader& in) { read(in); }

    // Smallest binary body: type byte and track count.
    static constexpr size_t kMinBinaryBytes = 1 + 8;

    // The track of `uniform`, inserting an empty one (linear, no repeat) when
    // there is none. Looking up an existing track does not allocate.
    ControlPointTrack& track(std::string_view uniform);

    // Half-open activity used by the graph node: start_beat <= t < end_beat.
    bool is_active(float t) const { return start_beat <= t && t < end_beat; }

    // Numeric value of track `uniform` at absolute beat `beat`; 0 outside the
    // closed span [start_beat, end_beat], for an empty track, before the first
    // point and for an unknown mode. Creates the track when absent. Does not
    // allocate when the track exists.
    float evaluate_value(std::string_view uniform, float beat);

    // Text of the last point of track `uniform` reached at absolute beat
    // `beat`, with the first occurrence of each of "<BEAT>", "<IBEAT>", "<CP>",
    // "<ICP>", "<ACP>", "<IACP>" replaced in that order. `current_beat` is the
    // demo beat of the frame (what <BEAT> and <IBEAT> show). Empty outside the
    // closed span, for an empty track and before the first point.
    std::string evaluate_text(std::string_view uniform, float beat, float current_beat);

    // Binds effect / audio_sample / group (by type 1, 2, 3) to the record
    // stored under the pending identity; an unknown identity or a record of
    // the wrong kind gives null. Other types are left alone.
    void resolve_references(const IdentityMap& identities);
    // The same for the JSON form, by the pending name.
    void resolve_names(const NameMaps& names);
    // One line per stored reference (non-zero identity or non-empty name) that
    // is still null.
    std::vector<std::string> unresolved() const;

    nlohmann::json to_json(bool external_files) const override;
    // The type is written as one byte; a type outside 0..255 is written as 0
    // (an unknown kind with no tail), so the stream stays readable.
    void write(ContentWriter& out) const override;
    // Throws ContentError when a present key has the wrong JSON type.
    void from_json(const nlohmann::json& json) override;
    // Throws ContentError for a truncated or corrupt body.
    void read(ContentReader& in) override;
};

// Truncates toward zero to int32 without undefined behaviour: values beyond
// the int32 range saturate, NaN gives 0.
int32_t truncate_to_int32(float value);
