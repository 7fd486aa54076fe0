#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "audio/audio_sample.h"
#include "render/effect.h"
#include "timeline/timeline.h"

namespace {

using Identities = std::unordered_map<const void*, uint64_t>;

std::string to_bytes(const ISerializable& record, const Identities* ids = nullptr) {
    ContentWriter out;
    out.set_identities(ids);
    record.write(out);
    return out.take();
}

template <typename T>
T from_bytes(const std::string& bytes, bool expect_all_consumed = true) {
    ContentReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    T record(in);
    if (expect_all_consumed) {
        EXPECT_TRUE(in.at_end()) << "trailing bytes after the body";
    }
    return record;
}

template <typename T>
T from_json_value(const nlohmann::json& json) {
    T record;
    record.from_json(json);
    return record;
}

ControlPointTrack make_track(std::vector<ControlPoint> points, int32_t mode, bool repeat = false) {
    return ControlPointTrack(std::move(points), mode, repeat);
}

Event span(float start, float end) {
    Event e;
    e.type = EventType::uniforms;
    e.start_beat = start;
    e.end_beat = end;
    return e;
}

void expect_same_tracks(const Event& a, const Event& b) {
    ASSERT_EQ(a.control_points.size(), b.control_points.size());
    for (const auto& [name, track] : a.control_points) {
        const ControlPointTrack& other = b.control_points.at(name);
        EXPECT_EQ(track.mode, other.mode) << name;
        EXPECT_EQ(track.repeat, other.repeat) << name;
        ASSERT_EQ(track.points.size(), other.points.size()) << name;
        for (size_t i = 0; i < track.points.size(); ++i) {
            EXPECT_EQ(track.points[i].beat, other.points[i].beat);
            EXPECT_EQ(track.points[i].value, other.points[i].value);
            EXPECT_EQ(track.points[i].text, other.points[i].text);
        }
    }
}

// One event of each kind, each pointing at a target that has an identity.
struct Sample {
    Effect effect;
    AudioSample sound;
    EventGroup group;
    Identities ids;
    std::vector<Event> events;

    Sample() {
        effect.name = "fx";
        sound.name = "kick.wav";
        group.name = "intro";
        ids = {{&effect, 11}, {&sound, 12}, {&group, 13}};
        for (int32_t type : {1, 2, 3, 4, 9}) {
            Event& e = events.emplace_back();
            e.type = type;
            e.name = "event" + std::to_string(type);
            e.visible = type != 3;
            e.start_beat = 4.0f * static_cast<float>(type);
            e.end_beat = type == EventType::audio_sample ? e.start_beat + 1.0f : e.start_beat + 2.5f;
            e.track("zoom") = make_track({{0, 1.5f}, {2, -3.25f}}, InterpolationMode::smooth, true);
            e.track("caption") = make_track({{1, 0, "Beat <IBEAT>"}}, InterpolationMode::last_value);
        }
        events[0].effect = &effect;
        events[1].audio_sample = &sound;
        events[2].group = &group;
        UniformDef def;
        def.name = "zoom";
        def.min_val = -2;
        def.max_val = 8;
        def.default_val = 0.5f;
        events[3].uniform_defs = {def, UniformDef()};
        events[3].uniform_defs[1].name = "caption";
        events[3].uniform_defs[1].is_string = true;
    }
};

void expect_same_body(const Event& a, const Event& b) {
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.visible, b.visible);
    EXPECT_EQ(a.start_beat, b.start_beat);
    EXPECT_EQ(a.end_beat, b.end_beat);
    expect_same_tracks(a, b);
    ASSERT_EQ(a.uniform_defs.size(), b.uniform_defs.size());
    for (size_t i = 0; i < a.uniform_defs.size(); ++i) {
        EXPECT_EQ(a.uniform_defs[i].name, b.uniform_defs[i].name);
        EXPECT_EQ(a.uniform_defs[i].min_val, b.uniform_defs[i].min_val);
        EXPECT_EQ(a.uniform_defs[i].max_val, b.uniform_defs[i].max_val);
        EXPECT_EQ(a.uniform_defs[i].default_val, b.uniform_defs[i].default_val);
        EXPECT_EQ(a.uniform_defs[i].is_string, b.uniform_defs[i].is_string);
    }
}

}  // namespace

// ---- Binary form ------------------------------------------------------------------

TEST(Event_Binary, RoundTripsEveryTypeWithIdentities) {
    Sample s;
    for (const Event& original : s.events) {
        SCOPED_TRACE(original.type);
        Event back = from_bytes<Event>(to_bytes(original, &s.ids));
        if (original.type == 9) {
            // An unknown kind ends after its tracks: no name, no tail.
            EXPECT_EQ(back.type, 9);
            EXPECT_EQ(back.name, "");
            EXPECT_TRUE(back.visible);
            EXPECT_EQ(back.start_beat, 0.0f);
            expect_same_tracks(original, back);
            continue;
        }
        expect_same_body(original, back);
        EXPECT_EQ(back.effect_id, original.type == 1 ? 11u : 0u);
        EXPECT_EQ(back.audio_sample_id, original.type == 2 ? 12u : 0u);
        EXPECT_EQ(back.group_id, original.type == 3 ? 13u : 0u);
    }
}

TEST(Event_Binary, AudioSampleBodyHasNoEndAndMatchesLayout) {
    Sample s;
    Event& e = s.events[1];
    e.control_points.clear();
    e.start_beat = 12;
    e.end_beat = 99;  // not stored
    ContentWriter expected;
    expected.write_u8(2);
    expected.write_u64(0);
    expected.write_bool(true);
    expected.write_u64(12);
    expected.write_f32(12);
    expected.write_string("event2");
    EXPECT_EQ(to_bytes(e, &s.ids), expected.bytes());
    Event back = from_bytes<Event>(expected.bytes());
    EXPECT_EQ(back.start_beat, 12.0f);
    EXPECT_EQ(back.end_beat, 13.0f);
}

TEST(Event_Binary, TracksWrittenInByteOrderAndLaterDuplicateWins) {
    Event e = span(0, 1);
    for (const char* n : {"b", "a", "B", "ab", "_"}) e.track(n).points.emplace_back(0.0f, 1.0f);
    const std::string bytes = to_bytes(e);
    ContentReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    in.read_u8("type");
    ASSERT_EQ(in.read_u64("count"), 5u);
    std::vector<std::string> order;
    for (int i = 0; i < 5; ++i) {
        order.push_back(in.read_string("name"));
        ControlPointTrack skipped(in);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"B", "_", "a", "ab", "b"}));

    ContentWriter out;
    out.write_u8(77);
    out.write_u64(2);
    for (float v : {1.0f, 2.0f}) {
        out.write_string("x");
        make_track({{0, v}}, static_cast<int32_t>(v) - 1, v > 1.5f).write(out);
    }
    Event dup = from_bytes<Event>(out.bytes());
    ASSERT_EQ(dup.control_points.size(), 1u);
    EXPECT_EQ(dup.control_points.at("x").points[0].value, 2.0f);
    EXPECT_EQ(dup.control_points.at("x").mode, 1);
    EXPECT_TRUE(dup.control_points.at("x").repeat);
}

TEST(ControlPoint_Binary, TextPointReadsValueZero) {
    ControlPoint text_point(3, 0.7f, "abc");
    ControlPoint number_point(3, 0.7f);
    ControlPoint t = from_bytes<ControlPoint>(to_bytes(text_point));
    EXPECT_EQ(t.text, "abc");
    EXPECT_EQ(t.value, 0.0f);
    EXPECT_EQ(from_bytes<ControlPoint>(to_bytes(number_point)).value, 0.7f);
}

TEST(Event_Binary, TypeBeyondOneByteIsWrittenAsUnknownKind) {
    // Writing the low byte would turn type 257 into an effect event whose tail
    // the reader would then look for; the stream must stay readable instead.
    Event e = span(1, 2);
    e.type = 257;
    e.name = "lost";
    Event back = from_bytes<Event>(to_bytes(e));
    EXPECT_EQ(back.type, 0);
    EXPECT_EQ(back.name, "");
}

TEST(Event_Binary, TruncatedOrForgedBodiesThrowContentError) {
    Sample s;
    for (const Event& e : s.events) {
        const std::string bytes = to_bytes(e, &s.ids);
        for (size_t cut = 0; cut < bytes.size(); ++cut)
            EXPECT_THROW(from_bytes<Event>(bytes.substr(0, cut), false), ContentError) << e.type << " cut " << cut;
    }
    const std::string huge(8, '\xff');
    EXPECT_THROW(from_bytes<Event>(std::string(1, '\x04') + huge), ContentError);  // track count
    ContentWriter points;
    points.write_u8(4);
    points.write_u64(1);
    points.write_string("x");
    points.write_i32(1);
    points.write_bool(false);
    points.write_u64(1ull << 60);  // point count
    EXPECT_THROW(from_bytes<Event>(points.bytes()), ContentError);
    ContentWriter defs;
    defs.write_u8(4);
    defs.write_u64(0);
    defs.write_bool(true);
    defs.write_f32(0);
    defs.write_f32(1);
    defs.write_u64(3);  // three definitions announced, none present
    EXPECT_THROW(from_bytes<Event>(defs.bytes()), ContentError);
    ContentWriter group;
    group.write_string("g");
    group.write_u64(2);
    group.write_u64(5);  // one of two members
    EXPECT_THROW(from_bytes<EventGroup>(group.bytes()), ContentError);
}

// ---- JSON form --------------------------------------------------------------------

TEST(Event_Json, RoundTripsEveryTypeByName) {
    Sample s;
    for (const Event& original : s.events) {
        SCOPED_TRACE(original.type);
        const nlohmann::json json = original.to_json(false);
        Event back = from_json_value<Event>(json);
        if (original.type == 9) {
            EXPECT_EQ(json, (nlohmann::json{{"type", 9}, {"name", "event9"}}));
            EXPECT_EQ(back.name, "event9");
            continue;
        }
        expect_same_body(original, back);
        EXPECT_EQ(json["visible"], original.visible ? "true" : "false");
        EXPECT_EQ(back.effect_name, original.type == 1 ? "fx" : "");
        EXPECT_EQ(back.audio_sample_name, original.type == 2 ? "kick.wav" : "");
        EXPECT_EQ(back.group_name, original.type == 3 ? "intro" : "");
    }
    EXPECT_EQ(s.events[1].to_json(false)["beat"], 8.0);
    EXPECT_FALSE(s.events[1].to_json(false).contains("end_beat"));
}

TEST(Event_Json, DefaultsAndPointKinds) {
    Event e = from_json_value<Event>(nlohmann::json::parse(R"({
        "name": "e", "visible": "yes", "effect": "fx", "start_beat": 1, "end_beat": 3,
        "control_points": {"t": {"mode": 0, "repeat": true,
            "points": [{"beat": 1, "text": "hi", "value": 5}, {"beat": 2, "value": 0.25}]}}})"));
    EXPECT_EQ(e.type, EventType::effect);
    EXPECT_FALSE(e.visible);
    const ControlPointTrack& t = e.control_points.at("t");
    EXPECT_EQ(t.points[0].text, "hi");
    EXPECT_EQ(t.points[0].value, 0.0f);
    EXPECT_EQ(t.points[1].value, 0.25f);
    EXPECT_TRUE(from_json_value<Event>(nlohmann::json{{"name", "v"}}).visible);

    Event sound = from_json_value<Event>(nlohmann::json{{"type", 2}, {"beat", 12}, {"audio_sample", "s"}});
    EXPECT_EQ(sound.end_beat, 13.0f);
    UniformDef def = from_json_value<UniformDef>(nlohmann::json{{"name", "u"}, {"min_val", -1}, {"max_val", 2}});
    EXPECT_FALSE(def.is_string);
    EXPECT_EQ(def.min_val, -1.0f);
}

TEST(Event_Json, WrongTypesThrowContentError) {
    for (const char* text : {R"([1])", R"({"type": "4"})", R"({"type": 4, "start_beat": "1"})",
                             R"({"type": 4, "uniform_defs": {}})", R"({"control_points": {"t": {"points": [3]}}})",
                             R"({"type": 9999999999})", R"({"visible": 1})"})
        EXPECT_THROW(from_json_value<Event>(nlohmann::json::parse(text)), ContentError) << text;
    EXPECT_THROW(from_json_value<EventGroup>(nlohmann::json::parse(R"({"events": [1]})")), ContentError);
}

// ---- References -------------------------------------------------------------------

TEST(Event_References, BindsByKindAndReportsMissingTargets) {
    Sample s;
    Event other;
    IdentityMap map{{11, &s.effect}, {12, &s.sound}, {13, &s.group}, {14, &other}};
    std::vector<Event> back;
    for (const Event& e : s.events) back.push_back(from_bytes<Event>(to_bytes(e, &s.ids)));
    for (Event& e : back) e.resolve_references(map);
    EXPECT_EQ(back[0].effect, &s.effect);
    EXPECT_EQ(back[1].audio_sample, &s.sound);
    EXPECT_EQ(back[2].group, &s.group);
    for (const Event& e : back) EXPECT_TRUE(e.unresolved().empty()) << e.type;

    Event wrong_kind = back[0];
    wrong_kind.effect_id = 12;  // a sound, not an effect
    Event unknown = back[1];
    unknown.audio_sample_id = 999;
    wrong_kind.resolve_references(map);
    unknown.resolve_references(map);
    EXPECT_EQ(wrong_kind.effect, nullptr);
    EXPECT_EQ(unknown.audio_sample, nullptr);
    EXPECT_EQ(unknown.unresolved(),
              std::vector<std::string>{"event \"event2\": audio sample with identity 999 is not in the content"});

    NameMaps names;
    names.effects["fx"] = &s.effect;
    Event by_name = from_json_value<Event>(s.events[0].to_json(false));
    by_name.resolve_names(names);
    EXPECT_EQ(by_name.effect, &s.effect);
    Event missing = from_json_value<Event>(s.events[2].to_json(false));
    missing.resolve_names(names);
    EXPECT_EQ(missing.group, nullptr);
    ASSERT_EQ(missing.unresolved().size(), 1u);
    EXPECT_EQ(missing.to_json(false)["group"], "intro") << "an unbound name is kept for writing";
}

TEST(EventGroup_References, MemberNotInContentStaysNullInPlace) {
    Event a, b;
    a.name = "a";
    b.name = "b";
    EventGroup g;
    g.name = "g";
    g.events = {&a, &b};
    Identities ids{{&a, 1}, {&b, 2}};
    EventGroup back = from_bytes<EventGroup>(to_bytes(g, &ids));
    EXPECT_EQ(back.member_ids, (std::vector<uint64_t>{1, 2}));
    back.resolve_references(IdentityMap{{2, &b}});
    EXPECT_EQ(back.events, (std::vector<Event*>{nullptr, &b}));
    EXPECT_EQ(back.unresolved(),
              std::vector<std::string>{"event group \"g\": member event with identity 1 is not in the content"});

    EventGroup by_name = from_json_value<EventGroup>(g.to_json(false));
    NameMaps names;
    names.events["a"] = &a;
    by_name.resolve_names(names);
    EXPECT_EQ(by_name.events, (std::vector<Event*>{&a, nullptr}));
    EXPECT_EQ(by_name.to_json(false)["events"], (nlohmann::json{"a", "b"}));
}

// ---- Numeric evaluation -----------------------------------------------------------

TEST(Event_EvaluateValue, LinearAndLastValueExamples) {
    Event e = span(10, 20);
    e.track("x") = make_track({{0, 1}, {4, 3}}, InterpolationMode::linear);
    EXPECT_EQ(e.evaluate_value("x", 12), 2.0f);
    EXPECT_EQ(e.evaluate_value("x", 14.5f), 3.0f);
    EXPECT_EQ(e.evaluate_value("x", 20), 3.0f) << "evaluation accepts the closed span";
    EXPECT_EQ(e.evaluate_value("x", 20.001f), 0.0f);
    EXPECT_EQ(e.evaluate_value("x", 9.999f), 0.0f);
    EXPECT_FALSE(e.is_active(20));
    EXPECT_TRUE(e.is_active(10));

    Event l = span(0, 10);
    l.track("s") = make_track({{0, 1}, {2, 2}}, InterpolationMode::last_value);
    EXPECT_EQ(l.evaluate_value("s", 2), 2.0f);
    EXPECT_EQ(l.evaluate_value("s", 1.999f), 1.0f);

    Event d = span(0, 10);
    d.track("d") = make_track({{0, 1}, {2, 3}, {2, 5}, {4, 9}}, InterpolationMode::linear);
    EXPECT_EQ(d.evaluate_value("d", 3), 7.0f);
    EXPECT_EQ(d.evaluate_value("d", 1), 2.0f);

    // Single-precision weights (1 - u) and u, not a + u * (b - a): the two
    // round differently here.
    Event w = span(0, 10);
    w.track("w") = make_track({{0, 0.1f}, {3, 0.7f}}, InterpolationMode::linear);
    const float u = 0.09375f / 3.0f;
    EXPECT_EQ(w.evaluate_value("w", 0.09375f), (1.0f - u) * 0.1f + u * 0.7f);

    for (int32_t mode : {0, 1, 2, 3}) {
        Event m = span(0, 10);
        m.track("m") = make_track({{1, 5}, {2, 7}}, mode);
        EXPECT_EQ(m.evaluate_value("m", 0.5f), 0.0f) << mode;
        EXPECT_EQ(m.evaluate_value("m", 1.5f), mode == 0 ? 5.0f : mode == 1 ? 6.0f : mode == 2 ? 6.0f : 0.0f);
    }

    Event fresh = span(0, 1);
    EXPECT_EQ(fresh.evaluate_value("new", 0.5f), 0.0f);
    ASSERT_EQ(fresh.control_points.count("new"), 1u);
    EXPECT_EQ(fresh.control_points.at("new").mode, InterpolationMode::linear);
    EXPECT_FALSE(fresh.control_points.at("new").repeat);
}

TEST(Event_EvaluateValue, SmoothNeighboursAndWrapping) {
    auto cr = [](float p0, float p1, float p2, float p3, float u) {
        const float u2 = u * u, u3 = u2 * u;
        return 0.5f * (2 * p1 + (p2 - p0) * u + (2 * p0 - 5 * p1 + 4 * p2 - p3) * u2 + (3 * p1 - p0 - 3 * p2 + p3) * u3);
    };
    Event e = span(0, 100);
    e.track("s") = make_track({{0, 0}, {1, 4}, {2, 2}, {3, 8}}, InterpolationMode::smooth);
    EXPECT_FLOAT_EQ(e.evaluate_value("s", 1.25f), cr(0, 4, 2, 8, 0.25f));
    EXPECT_FLOAT_EQ(e.evaluate_value("s", 0.5f), cr(0, 0, 4, 2, 0.5f)) << "first point stands in for prev";
    EXPECT_FLOAT_EQ(e.evaluate_value("s", 2.5f), cr(4, 2, 8, 8, 0.5f)) << "last point stands in for next2";
    EXPECT_EQ(e.evaluate_value("s", 50), 8.0f);

    // The neighbour distance is a single-precision difference compared in
    // double: 0.05f - 0 exceeds 0.05, so the outer neighbour counts.
    Event near = span(0, 100);
    near.track("n") = make_track({{0, 10}, {0.05f, 0}, {1.05f, 1}, {1.07f, 50}}, InterpolationMode::smooth);
    EXPECT_FLOAT_EQ(near.evaluate_value("n", 0.55f), cr(10, 0, 1, 1, (0.55f - 0.05f) / (1.05f - 0.05f)));

    // Past the last point of a repeating track the wrapped neighbours enter
    // the same formula: linear runs toward the first point with a negative span.
    Event wrap = span(0, 100);
    wrap.track("w") = make_track({{0, 0}, {4, 1}}, InterpolationMode::linear, true);
    EXPECT_FLOAT_EQ(wrap.evaluate_value("w", 5), 1.25f);
    EXPECT_FLOAT_EQ(wrap.evaluate_value("w", 2), 0.5f);
}

// ---- Text evaluation --------------------------------------------------------------

TEST(Event_EvaluateText, PlaceholdersFirstOccurrenceInOrder) {
    Event e = span(8, 20);
    e.track("t") = make_track({{0, 0, "Beat <IBEAT>"}, {2, 0, "<ACP>|<IACP>|<CP>|<ICP>|<IACP>"},
                               {3, 0, "<BEAT> <BEAT>"}, {5, 0, ""}},
                              InterpolationMode::linear);
    EXPECT_EQ(e.evaluate_text("t", 8.5f, 12.75f), "Beat 12");
    EXPECT_EQ(e.evaluate_text("t", 8.5f, -0.5f), "Beat 0");
    EXPECT_EQ(e.evaluate_text("t", 8.5f, -3.9f), "Beat -3");
    EXPECT_EQ(e.evaluate_text("t", 10, 0), "10.000000|10|2.000000|2|<IACP>");
    EXPECT_EQ(e.evaluate_text("t", 11, 12.5f), "12.500000 <BEAT>");
    EXPECT_EQ(e.evaluate_text("t", 14, 0), "") << "a number point has no text";
    EXPECT_EQ(e.evaluate_text("t", 7.9f, 0), "");
    EXPECT_EQ(e.evaluate_text("t", 20.5f, 0), "");

    Event late = span(0, 10);
    late.track("t") = make_track({{3, 0, "x"}, {1, 0, "y"}}, InterpolationMode::last_value);
    EXPECT_EQ(late.evaluate_text("t", 0.5f, 0), "");
    EXPECT_EQ(late.evaluate_text("t", 4, 0), "y") << "the last point reached in stored order";
    EXPECT_EQ(late.evaluate_text("t", 2, 0), "y") << "the text scan does not stop at a later point";
}

TEST(Event_EvaluateText, IntegerPlaceholdersSaturateOutsideInt32) {
    // Truncating such a float to int32 directly is undefined behaviour.
    Event e = span(0, 10);
    e.track("t") = make_track({{0, 0, "<IBEAT>"}}, InterpolationMode::linear);
    EXPECT_EQ(e.evaluate_text("t", 1, 1e20f), "2147483647");
    EXPECT_EQ(e.evaluate_text("t", 1, -1e20f), "-2147483648");
    EXPECT_EQ(e.evaluate_text("t", 1, std::numeric_limits<float>::quiet_NaN()), "0");
    EXPECT_EQ(truncate_to_int32(-2147483648.0f), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(truncate_to_int32(2147483520.0f), 2147483520);
    e.track("t").points[0].text = "<BEAT>";
    EXPECT_EQ(e.evaluate_text("t", 1, -std::numeric_limits<float>::max()),
              "-340282346638528859811704183484516925440.000000");
}
