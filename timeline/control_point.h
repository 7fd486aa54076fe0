// Control points and tracks: the keys that an event's tracks interpolate.
//
// A ControlPoint sits at a beat relative to its event's start and carries a
// number, or (when its text is non-empty) a text, in which case its number is
// 0. A ControlPointTrack is the ordered list of points of one uniform, with
// the interpolation mode and the wrap-around flag. Points are kept in stored
// order; evaluation does not sort them.
//
// Binary forms: point = beat f32, value f32, text string (a non-empty text
// reads back with value 0); track = mode i32, repeat byte, uint64 point count,
// points. The track's uniform name is the key of the event's map and is
// written by the event, ahead of the track.
// JSON forms: point = {"beat", "value"} or {"beat", "text"} (an object with
// "text" is a text point); track = {"mode", "repeat", "points"}.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "serialization/serializable.h"

// How a track forms values between its points. Stored as int32 in the track;
// unknown numbers are kept and evaluate to 0.
namespace InterpolationMode {
enum Value : int32_t {
    last_value = 0,
    linear = 1,
    smooth = 2,  // Catmull-Rom
};
}  // namespace InterpolationMode

// Display names indexed by mode number.
inline constexpr const char* kInterpolationModeNames[] = {"Last value", "Linear", "Smooth"};
inline constexpr int32_t kInterpolationModeCount = 3;

// The display name of `mode`, or an empty string for a number outside the table.
inline const char* interpolation_mode_name(int32_t mode) {
    return mode >= 0 && mode < kInterpolationModeCount ? kInterpolationModeNames[mode] : "";
}

class ControlPoint : public ISerializable {
public:
    float beat = 0.0f;   // relative to the event's start_beat
    float value = 0.0f;  // 0 for a text point
    std::string text;    // non-empty: a text point

    ControlPoint() = default;
    ControlPoint(float beat_, float value_, std::string text_ = {})
        : beat(beat_), value(value_), text(std::move(text_)) {}
    explicit ControlPoint(ContentReader& in) { read(in); }

    bool is_text() const { return !text.empty(); }

    // beat, value, empty-string length prefix.
    static constexpr size_t kMinBinaryBytes = 4 + 4 + 8;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};

class ControlPointTrack : public ISerializable {
public:
    std::vector<ControlPoint> points;            // stored order
    int32_t mode = InterpolationMode::linear;    // an InterpolationMode value
    bool repeat = false;                         // wrap from the last point to the first

    ControlPointTrack() = default;
    ControlPointTrack(std::vector<ControlPoint> points_, int32_t mode_ = InterpolationMode::linear,
                      bool repeat_ = false)
        : points(std::move(points_)), mode(mode_), repeat(repeat_) {}
    explicit ControlPointTrack(ContentReader& in) { read(in); }

    // mode, repeat, point count (without the name the event writes ahead).
    static constexpr size_t kMinBinaryBytes = 4 + 1 + 8;

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
