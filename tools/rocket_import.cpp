#include "tools/rocket_import.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <set>

#include "serialization/content_error.h"
#include "tools/xml_document.h"

namespace {

// ---- Reading the file ------------------------------------------------------------

[[noreturn]] void refuse(const XmlElement& e, const std::string& what) {
    throw ContentError("line " + std::to_string(e.line) + ": " + what);
}

std::string_view trimmed(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\n' || v.front() == '\r'))
        v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\n' || v.back() == '\r'))
        v.remove_suffix(1);
    return v;
}

const std::string& required(const XmlElement& e, const char* key) {
    const std::string* v = e.attribute(key);
    if (!v) refuse(e, "<" + e.name + "> has no " + key);
    return *v;
}

int64_t whole(const XmlElement& e, const char* key, const std::string& text, int64_t lowest, int64_t highest) {
    std::string_view v = trimmed(text);
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size() || n < lowest || n > highest)
        refuse(e, "<" + e.name + "> " + key + " \"" + text + "\" is not a whole number from " +
                      std::to_string(lowest) + " to " + std::to_string(highest));
    return n;
}

// A number that single precision holds.
double real(const XmlElement& e, const char* key, const std::string& text) {
    std::string_view v = trimmed(text);
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    double d = 0.0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (v.empty() || ec != std::errc() || end != v.data() + v.size() || !std::isfinite(static_cast<float>(d)))
        refuse(e, "<" + e.name + "> " + key + " \"" + text + "\" is not a number");
    return d;
}

const XmlElement* child(const XmlElement& e, std::string_view name) {
    for (const XmlElement& c : e.children)
        if (c.name == name) return &c;
    return nullptr;
}

RocketTrack read_track(const XmlElement& t) {
    RocketTrack track;
    track.name = required(t, "name");
    for (const XmlElement& k : t.children) {
        if (k.name != "key") continue;
        RocketKey key;
        key.row = static_cast<int32_t>(whole(k, "row", required(k, "row"), 0, kMaxRocketRow));
        key.value = real(k, "value", required(k, "value"));
        key.interpolation = static_cast<int>(whole(k, "interpolation", required(k, "interpolation"), 0, 3));
        track.keys.push_back(key);
    }
    std::stable_sort(track.keys.begin(), track.keys.end(),
                     [](const RocketKey& a, const RocketKey& b) { return a.row < b.row; });
    for (size_t i = 1; i < track.keys.size(); ++i)
        if (track.keys[i].row == track.keys[i - 1].row)
            refuse(t, "track \"" + track.name + "\" has two keys on row " + std::to_string(track.keys[i].row));
    return track;
}

// ---- Names -----------------------------------------------------------------------

// GLSL keywords and the words it keeps for later: a uniform of one of these
// names cannot be declared.
constexpr std::string_view kGlslWords[] = {
    "active", "asm", "atomic_uint", "attribute", "bool", "break", "buffer", "bvec2", "bvec3", "bvec4", "case",
    "cast", "centroid", "class", "coherent", "common", "const", "continue", "default", "discard", "dmat2", "dmat3",
    "dmat4", "do", "double", "dvec2", "dvec3", "dvec4", "else", "enum", "extern", "external", "false", "filter",
    "fixed", "flat", "float", "for", "fvec2", "fvec3", "fvec4", "goto", "half", "highp", "hvec2", "hvec3", "hvec4",
    "if", "image1D", "image2D", "image3D", "imageCube", "in", "inline", "inout", "input", "int", "interface",
    "invariant", "isampler1D", "isampler2D", "isampler3D", "isamplerCube", "ivec2", "ivec3", "ivec4", "layout",
    "long", "lowp", "main", "mat2", "mat2x2", "mat2x3", "mat2x4", "mat3", "mat3x2", "mat3x3", "mat3x4", "mat4",
    "mat4x2", "mat4x3", "mat4x4", "mediump", "namespace", "noinline", "noperspective", "out", "output", "packed",
    "partition", "patch", "precise", "precision", "public", "readonly", "resource", "restrict", "return",
    "row_major", "sample", "sampler1D", "sampler1DArray", "sampler1DShadow", "sampler2D", "sampler2DArray",
    "sampler2DMS", "sampler2DRect", "sampler2DShadow", "sampler3D", "samplerBuffer", "samplerCube",
    "samplerCubeShadow", "shared", "short", "sizeof", "smooth", "static", "struct", "subroutine", "superp",
    "switch", "template", "this", "true", "typedef", "uint", "uniform", "union", "unsigned", "usampler1D",
    "usampler2D", "usampler3D", "usamplerCube", "using", "uvec2", "uvec3", "uvec4", "varying", "vec2", "vec3",
    "vec4", "void", "volatile", "while", "writeonly",
};

constexpr size_t kMaxNameBytes = 63;

std::string unique_name(const std::string& base, const std::set<std::string>& taken) {
    if (!taken.count(base)) return base;
    for (size_t k = 2;; ++k) {
        const std::string suffix = "_" + std::to_string(k);
        const std::string name = base.substr(0, kMaxNameBytes - suffix.size()) + suffix;
        if (!taken.count(name)) return name;
    }
}

// ---- Conversion ------------------------------------------------------------------

// Points that a smooth or ramp segment from row A to row B is sampled into
// (the inner ones; the keys at its ends are points of their own).
size_t segment_samples(int32_t a, int32_t b, int rows_per_beat) {
    const double beats = static_cast<double>(b - a) / rows_per_beat;
    return std::max<size_t>(kSamplesPerBeat, static_cast<size_t>(std::ceil(beats * kSamplesPerBeat)));
}

size_t points_needed(const RocketTrack& t, int rows_per_beat) {
    size_t n = 1 + 2 * t.keys.size();  // a hold before the first key, the keys, a step after each
    for (size_t i = 0; i + 1 < t.keys.size(); ++i)
        if (t.keys[i].interpolation >= 2) n += segment_samples(t.keys[i].row, t.keys[i + 1].row, rows_per_beat);
    return n;
}

double shaped(int interpolation, double t) {
    switch (interpolation) {
        case 2: return t * t * (3.0 - 2.0 * t);
        case 3: return t * t;
        default: return t;
    }
}

ControlPointTrack convert(const RocketTrack& t, int rows_per_beat) {
    ControlPointTrack track;
    track.mode = InterpolationMode::linear;
    const std::vector<RocketKey>& keys = t.keys;
    if (keys.empty()) {
        track.mode = InterpolationMode::last_value;
        return track;
    }
    const auto beat = [&](double row) { return static_cast<float>(row / rows_per_beat); };
    const auto add = [&](float b, double v) { track.points.emplace_back(b, static_cast<float>(v)); };

    // Before its first key the tracker holds the first value; our tracks are
    // 0 before their first point.
    if (keys.front().row > 0) add(0.0f, keys.front().value);
    const bool all_steps = std::all_of(keys.begin(), keys.end() - 1, [](const RocketKey& k) { return k.interpolation == 0; });
    if (all_steps) {
        track.mode = InterpolationMode::last_value;
        for (const RocketKey& k : keys) add(beat(k.row), k.value);
        return track;
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        const RocketKey& a = keys[i];
        add(beat(a.row), a.value);
        if (i + 1 == keys.size()) break;
        const RocketKey& b = keys[i + 1];
        if (a.interpolation == 0) {
            // Held up to the next key's beat, where the next key's own point,
            // later in the list, takes over.
            add(beat(b.row), a.value);
        } else if (a.interpolation >= 2) {
            const size_t samples = segment_samples(a.row, b.row, rows_per_beat);
            const float end = beat(b.row);
            for (size_t j = 1; j < samples; ++j) {
                const double u = static_cast<double>(j) / static_cast<double>(samples);
                const float at = beat(a.row + (b.row - a.row) * u);
                // Far along the timeline neighbouring samples can round onto
                // one beat; keeping one keeps the beats ascending.
                if (at <= track.points.back().beat || at >= end) continue;
                add(at, a.value + (b.value - a.value) * shaped(a.interpolation, u));
            }
        }
    }
    return track;
}

// The shortest decimal that reads back as F, whole numbers as integers.
ProjectJson number(float f) {
    if (f == std::trunc(f) && std::fabs(f) < 2147483648.0f) return static_cast<int64_t>(f);
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, f);
    return std::strtod(std::string(buffer, result.ptr).c_str(), nullptr);
}

}  // namespace

RocketFile read_rocket(std::string_view xml) {
    const XmlElement root = parse_xml(xml);
    RocketFile file;
    const XmlElement* tracks = child(root, "tracks");
    if (root.name == "sync") {
        if (const std::string* rows = root.attribute("rows")) file.rows = whole(root, "rows", *rows, 0, INT32_MAX);
    } else if (root.name == "rootElement") {
        if (tracks) {
            if (const std::string* rows = tracks->attribute("rows"))
                file.rows = whole(*tracks, "rows", *rows, 0, INT32_MAX);
            if (const std::string* rpb = tracks->attribute("rowsPerBeat"))
                file.rows_per_beat = static_cast<int>(whole(*tracks, "rowsPerBeat", *rpb, 1, kMaxRowsPerBeat));
            if (const std::string* bpm = tracks->attribute("beatsPerMin"))
                file.beats_per_minute = real(*tracks, "beatsPerMin", *bpm);
        }
    } else {
        refuse(root, "<" + root.name + "> is not a sync tracker's file (<sync> or <rootElement>)");
    }
    if (!tracks) refuse(root, "<" + root.name + "> holds no <tracks>");
    for (const XmlElement& t : tracks->children)
        if (t.name == "track") file.tracks.push_back(read_track(t));
    return file;
}

std::string glsl_name(std::string_view raw) {
    std::string name;
    for (char c : raw) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool kept = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
        if (kept) name += c;
        else if (name.empty() || name.back() != '_') name += '_';
    }
    if (name.empty()) return "track";
    if ((name[0] >= '0' && name[0] <= '9') || name.rfind("gl_", 0) == 0) name.insert(0, "_");
    if (std::find(std::begin(kGlslWords), std::end(kGlslWords), name) != std::end(kGlslWords)) name += '_';
    if (name.size() > kMaxNameBytes) name.resize(kMaxNameBytes);
    return name;
}

Event rocket_event(const RocketFile& file, int rows_per_beat, const std::string& event_name) {
    size_t total = 0;
    int64_t last_row = file.rows;
    for (const RocketTrack& t : file.tracks) {
        total += points_needed(t, rows_per_beat);
        if (total > kMaxImportedPoints)
            throw ContentError("the tracks would need more than " + std::to_string(kMaxImportedPoints) +
                               " points (smooth and ramp keys are sampled 16 times a beat)");
        if (!t.keys.empty()) last_row = std::max<int64_t>(last_row, t.keys.back().row);
    }

    Event event;
    event.type = EventType::uniforms;
    event.name = event_name;
    event.visible = true;
    event.start_beat = 0.0f;
    event.end_beat = static_cast<float>(static_cast<double>(std::max<int64_t>(last_row, 1)) / rows_per_beat);

    std::set<std::string> taken;
    for (const RocketTrack& t : file.tracks) {
        UniformDef def;
        def.name = unique_name(glsl_name(t.name), taken);
        taken.insert(def.name);
        if (!t.keys.empty()) {
            const auto [lo, hi] = std::minmax_element(t.keys.begin(), t.keys.end(), [](const RocketKey& a, const RocketKey& b) {
                return a.value < b.value;
            });
            def.min_val = static_cast<float>(lo->value);
            def.max_val = static_cast<float>(hi->value);
            def.default_val = static_cast<float>(t.keys.front().value);
        } else {
            def.min_val = def.default_val = 0.0f;
        }
        // A range of no width would leave an editor nothing to scale by.
        if (!(def.max_val > def.min_val)) def.max_val = def.min_val + 1.0f;
        event.control_points.insert_or_assign(def.name, convert(t, rows_per_beat));
        event.uniform_defs.push_back(std::move(def));
    }
    return event;
}

ProjectJson rocket_event_json(const Event& event) {
    ProjectJson defs = ProjectJson::array();
    ProjectJson tracks = ProjectJson::object();
    for (const UniformDef& def : event.uniform_defs) {
        defs.push_back({{"name", def.name},
                        {"min_val", number(def.min_val)},
                        {"max_val", number(def.max_val)},
                        {"default_val", number(def.default_val)}});
        const auto it = event.control_points.find(def.name);
        if (it == event.control_points.end()) continue;
        ProjectJson points = ProjectJson::array();
        for (const ControlPoint& p : it->second.points)
            points.push_back({{"beat", number(p.beat)}, {"value", number(p.value)}});
        tracks[def.name] = {{"mode", it->second.mode}, {"repeat", it->second.repeat}, {"points", std::move(points)}};
    }
    return {{"type", event.type},
            {"name", event.name},
            {"visible", event.visible ? "true" : "false"},
            {"start_beat", number(event.start_beat)},
            {"end_beat", number(event.end_beat)},
            {"uniform_defs", std::move(defs)},
            {"control_points", std::move(tracks)}};
}
