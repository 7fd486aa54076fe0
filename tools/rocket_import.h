// Sync-tracker tracks into a uniforms event, for `qvtool import-rocket`.
//
// The trackers' editors save XML in two forms:
//   <sync rows="N"><tracks><track name="..."><key row= value= interpolation=/>...
//   <rootElement><tracks rows= rowsPerBeat= beatsPerMin=><track name= ...><key .../>...
// Keys are on rows; each key chooses how the value goes on to the next key
// (0 step, 1 linear, 2 smooth t*t*(3-2t), 3 ramp t*t); before the first key a
// track holds the first value, after the last the last, and a track without
// keys is 0. Our tracks choose one mode per track, so the conversion spells
// the tracker's curve with points: a step is two points on one beat (the later
// one wins there), smooth and ramp segments are sampled into linear points.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "timeline/event.h"
#include "tools/project_json.h"

// Rows per beat when the file does not say (the first form).
inline constexpr int kDefaultRowsPerBeat = 8;
inline constexpr int kMaxRowsPerBeat = 1024;
// Rows past this are refused: beats stay exact enough in single precision.
inline constexpr int32_t kMaxRocketRow = (1 << 24) - 1;
// All points of one import together; past this the import is refused before
// anything is allocated for them.
inline constexpr size_t kMaxImportedPoints = size_t{1} << 21;
// Sampling of smooth and ramp segments: 16 points per beat, and never fewer
// than 16 per segment, so that short segments (one row apart) still follow
// the curve within 1 % of their rise.
inline constexpr int kSamplesPerBeat = 16;

struct RocketKey {
    int32_t row = 0;
    double value = 0.0;
    int interpolation = 0;  // 0 step, 1 linear, 2 smooth, 3 ramp
};

struct RocketTrack {
    std::string name;               // as in the file (references decoded)
    std::vector<RocketKey> keys;    // ascending rows, no two on one row
};

struct RocketFile {
    std::vector<RocketTrack> tracks;  // file order
    int64_t rows = 0;                 // the editor's length in rows; 0 when not given
    int rows_per_beat = 0;            // from the file; 0 when it does not say
    double beats_per_minute = 0.0;    // from the file; 0 when it does not say
};

// Reads either form. Throws ContentError ("line N: ...") for malformed XML,
// another root element, and keys with missing, non-numeric or out-of-range
// attributes or two keys on one row of a track. Keys given out of order are
// sorted.
RocketFile read_rocket(std::string_view xml);

// A name that can stand in a GLSL program: characters other than ASCII
// letters, digits and '_' become '_', runs of '_' shrink to one (GLSL keeps
// names with "__" for itself), a leading digit or "gl_" gets a '_' before it,
// a GLSL keyword gets one after it, an empty name becomes "track"; at most 63
// bytes.
std::string glsl_name(std::string_view raw);

// The event: type uniforms, from beat 0 to the file's length (its rows, or
// its last key if that lies further), one definition and track per file
// track in file order, named by glsl_name and made unique with "_2", "_3"...
// Each definition's range is that of its keys (a track of one value, or none,
// gets a range one wide from it) and its default the value at beat 0.
// Throws ContentError when the tracks would need more than kMaxImportedPoints.
Event rocket_event(const RocketFile& file, int rows_per_beat, const std::string& event_name);

// The event in the project's JSON form, keys in the order the other commands
// write, numbers spelt as short as single precision allows.
ProjectJson rocket_event_json(const Event& event);
