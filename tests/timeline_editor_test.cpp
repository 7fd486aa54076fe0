// The preview's timeline editing: the document patcher, the edits on a live
// demo and their undo, key order, curve sampling, text made UTF-8, lanes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>

#include "preview/beat_grid.h"
#include "preview/control_command.h"
#include "preview/edit_commands.h"
#include "preview/event_lanes.h"
#include "preview/json_document.h"
#include "preview/timeline_editor.h"
#include "preview/utf8_text.h"
#include "serialization/demo.h"
#include "timeline/event.h"

namespace {

// Spelled as people and other tools write: odd spaces, "1.50", "2e0", a
// member the reader does not know, keys in an unusual order.
const char* kProject = R"({
  "bpm": 120,   "end_beat": 32,
  "events": [
    {"type": 1, "name": "fx", "effect": "nothing", "start_beat": 0, "end_beat": 8},
    {"name": "pulse", "type": 4, "visible": "true", "start_beat": 4.0, "end_beat": 20,
     "uniform_defs": [{"name": "glow", "min_val": 0, "max_val": 2, "default_val": 0},
                      {"name": "label", "min_val": 0, "max_val": 1, "default_val": 0, "is_string": true}],
     "control_points": {"glow": {"repeat": false, "mode": 1, "points": [
        {"beat": 0, "value": 1.50, "note": "kept"},
        {"beat": 2e0,"value": 0.25},
        {"beat": 4, "value": 1}
     ]}}}
  ]
}
)";

std::unique_ptr<Demo> demo_of(const std::string& text) {
    auto demo = std::make_unique<Demo>();
    const nlohmann::json project = nlohmann::json::parse(text);
    for (const auto& e : project["events"]) demo->events.emplace_back(std::make_unique<Event>())->from_json(e);
    return demo;
}

struct Editing {
    TimelineEditor editor;
    std::unique_ptr<Demo> demo = demo_of(kProject);
    Editing() {
        std::string error;
        EXPECT_TRUE(editor.open(kProject, error)) << error;
    }
    Event& pulse() { return *demo->events[1]; }
    // The demo as a fresh read of the editor's text would give it.
    std::unique_ptr<Demo> reread() const { return demo_of(editor.text()); }
};

std::vector<float> beats(const Event& e, const char* uniform) {
    std::vector<float> out;
    for (const ControlPoint& p : e.control_points.at(uniform).points) out.push_back(p.beat);
    return out;
}

}  // namespace

TEST(JsonDocument, PatchesReplaceOnlyTheirBytesAndUndoExactly) {
    JsonDocument doc;
    std::string error;
    ASSERT_TRUE(doc.parse(kProject, error)) << error;
    EXPECT_EQ(doc.text(), kProject);  // a save with no edit writes the file read

    const int events = doc.member(doc.root(), "events");
    const int points = doc.member(doc.member(doc.member(doc.item(events, 1), "control_points"), "glow"), "points");
    ASSERT_EQ(doc.size(points), 3u);
    EXPECT_EQ(doc.slice(doc.member(doc.item(points, 1), "beat")), "2e0");

    std::vector<TextPatch> done;
    for (const TextPatch& p : {doc.insert_item(points, 3, "{\"beat\": 9, \"value\": 0}")}) {
        ASSERT_TRUE(doc.apply(p, error)) << error;
        done.push_back(p);
    }
    const int again = doc.member(doc.member(doc.member(doc.item(doc.member(doc.root(), "events"), 1), "control_points"), "glow"), "points");
    TextPatch removal = doc.remove_item(again, 0);
    ASSERT_TRUE(doc.apply(removal, error));
    done.push_back(removal);
    // Items keep the separator the list already used.
    EXPECT_NE(doc.text().find("{\"beat\": 4, \"value\": 1},\n        {\"beat\": 9"), std::string::npos) << doc.text();
    for (auto it = done.rbegin(); it != done.rend(); ++it) ASSERT_TRUE(doc.apply(it->inverse(), error));
    EXPECT_EQ(doc.text(), kProject);

    // A patch that no longer matches the text, or leaves it broken, changes nothing.
    EXPECT_FALSE(doc.apply({0, "x", ""}, error));
    EXPECT_FALSE(doc.apply({0, "{", ""}, error));
    EXPECT_EQ(doc.text(), kProject);
}

TEST(JsonDocument, HostileTextIsRefusedWithoutCrashing) {
    JsonDocument doc;
    std::string error;
    EXPECT_FALSE(doc.parse(std::string(100000, '['), error));  // nesting past the cap, not the stack
    for (const char* bad : {"", "{", "{\"a\" 1}", "[1,]", "\"\\x\"", "01", "{\"a\":1} x", "tru", "\"a\nb\""})
        EXPECT_FALSE(doc.parse(bad, error)) << bad;
    std::mt19937 random(7);
    const std::string base = kProject;
    for (int round = 0; round < 300; ++round) {
        std::string text = base;
        text[random() % text.size()] = static_cast<char>(random());
        text.resize(random() % (text.size() + 1));
        doc.parse(text, error);  // either reads or says why; never more
    }
}

TEST(TimelineEditor, KeyMoveChangesOnlyThatKeysObjectAndUndoRestoresBytesAndPlayback) {
    Editing t;
    const float before = t.pulse().evaluate_value("glow", 5.0f);
    // Beat 5 of the demo is beat 1 of the event: key 0 moves there, between
    // keys it does not pass.
    EditOutcome out = t.editor.key_move(*t.demo, 1, "glow", 0, 5.0f, 2.0f);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_FALSE(out.reread);
    const std::string& after = t.editor.text();
    const std::string original = kProject;
    const size_t key = original.find("{\"beat\": 0, \"value\": 1.50");
    const size_t key_end = original.find('}', key) + 1;
    // Everything before and after that key's object is byte for byte the file.
    EXPECT_EQ(after.substr(0, key), original.substr(0, key));
    EXPECT_EQ(after.substr(after.size() - (original.size() - key_end)), original.substr(key_end));
    EXPECT_NE(after.find("{\"beat\": 1, \"value\": 2, \"note\": \"kept\"}"), std::string::npos) << after;
    // The live event plays what a fresh read of the text plays.
    EXPECT_EQ(t.pulse().evaluate_value("glow", 5.0f), t.reread()->events[1]->evaluate_value("glow", 5.0f));
    EXPECT_NE(t.pulse().evaluate_value("glow", 5.0f), before);
    EXPECT_TRUE(t.editor.unsaved());

    ASSERT_TRUE(t.editor.undo(*t.demo).ok);
    EXPECT_EQ(t.editor.text(), kProject);
    EXPECT_EQ(t.pulse().evaluate_value("glow", 5.0f), before);
    EXPECT_FALSE(t.editor.unsaved());
    ASSERT_TRUE(t.editor.redo(*t.demo).ok);
    EXPECT_EQ(beats(t.pulse(), "glow"), (std::vector<float>{1, 2, 4}));
}

TEST(TimelineEditor, KeysKeepStoredOrderByBeatAndEqualBeatsKeepTheirOrder) {
    Editing t;
    KeyValue v;
    v.value = 0.5f;
    // At an existing key's beat (2 in the event, 6 in the demo) the new key
    // goes after it: the later of equal-beat keys is the one evaluation takes.
    ASSERT_TRUE(t.editor.key_add(*t.demo, 1, "glow", 6.0f, v).ok);
    EXPECT_EQ(beats(t.pulse(), "glow"), (std::vector<float>{0, 2, 2, 4}));
    EXPECT_EQ(t.pulse().control_points.at("glow").points[2].value, 0.5f);
    EXPECT_EQ(t.editor.key_move(*t.demo, 1, "glow", 1, 6.0f, std::nullopt).ok, true);  // onto itself: stays
    EXPECT_EQ(t.pulse().control_points.at("glow").points[2].value, 0.5f);
    // Key 0 moved past both to the same beat lands after them, in the text too.
    ASSERT_TRUE(t.editor.key_move(*t.demo, 1, "glow", 0, 6.0f, std::nullopt).ok);
    EXPECT_EQ(beats(t.pulse(), "glow"), (std::vector<float>{2, 2, 2, 4}));
    EXPECT_EQ(t.pulse().control_points.at("glow").points[2].value, 1.5f);
    EXPECT_EQ(beats(*t.reread()->events[1], "glow"), beats(t.pulse(), "glow"));
    // A paste into the middle keeps order as well; deleting several is one step.
    ASSERT_TRUE(t.editor.keys_add(*t.demo, 1, "glow", {{5.0f, v}, {7.5f, v}}).ok);
    EXPECT_EQ(beats(t.pulse(), "glow"), (std::vector<float>{1, 2, 2, 2, 3.5f, 4}));
    const size_t steps = t.editor.history().undo_steps();
    ASSERT_TRUE(t.editor.keys_delete(*t.demo, 1, "glow", {5, 0, 2}).ok);
    EXPECT_EQ(beats(t.pulse(), "glow"), (std::vector<float>{2, 2, 3.5f}));
    EXPECT_EQ(t.editor.history().undo_steps(), steps + 1);
    while (t.editor.history().can_undo()) ASSERT_TRUE(t.editor.undo(*t.demo).ok);
    EXPECT_EQ(t.editor.text(), kProject);
}

TEST(TimelineEditor, BadEditsAreRefusedAndChangeNothing) {
    Editing t;
    KeyValue text;
    text.is_text = true;
    text.text = "hi";
    KeyValue number;
    EXPECT_FALSE(t.editor.key_add(*t.demo, 1, "nope", 5, number).ok);
    EXPECT_FALSE(t.editor.key_add(*t.demo, 1, "glow", 5, text).ok);   // numbers only
    EXPECT_FALSE(t.editor.key_add(*t.demo, 1, "label", 5, number).ok);  // texts only
    EXPECT_FALSE(t.editor.key_move(*t.demo, 1, "glow", 3, 5, std::nullopt).ok);
    EXPECT_FALSE(t.editor.keys_delete(*t.demo, 1, "glow", {3}).ok);
    EXPECT_FALSE(t.editor.event_span(*t.demo, 1, 9, 9).ok);
    EXPECT_FALSE(t.editor.def_add(*t.demo, 1, "2bad", 0, 1, 0, false).ok);
    EXPECT_FALSE(t.editor.def_add(*t.demo, 1, "glow", 0, 1, 0, false).ok);
    EXPECT_FALSE(t.editor.def_add(*t.demo, 0, "fine", 0, 1, 0, false).ok);  // an effect event has none
    EXPECT_FALSE(t.editor.key_add(*t.demo, 7, "glow", 5, number).ok);
    EXPECT_EQ(t.editor.text(), kProject);
    EXPECT_EQ(t.editor.history().undo_steps(), 0u);

    // Through the command words as well: every bad name or index answers an error.
    for (std::vector<std::string> w : std::vector<std::vector<std::string>>{
             {"key", "move", "pulse", "glow", "9", "3"}, {"key", "add", "nobody", "glow", "1", "1"},
             {"key", "delete", "pulse", "glow", "-1"}, {"track", "pulse", "glow", "mode", "cubic"},
             {"def", "rename", "pulse", "glow", "gl_x"}, {"keys", "pulse", "nope"}, {"event", "move", "pulse", "x"}}) {
        const EditCommandResult r = run_edit_command(t.editor, *t.demo, w, std::vector<bool>(w.size(), false));
        EXPECT_FALSE(r.answer["ok"].get<bool>()) << w[0] << " " << w[1];
    }
    EXPECT_EQ(t.editor.text(), kProject);
}

TEST(TimelineEditor, TrackEventAndDefinitionEditsPlayLiveOrAskForARereadAndUndo) {
    Editing t;
    ASSERT_TRUE(t.editor.track_mode(*t.demo, 1, "glow", 0, true).ok);
    EXPECT_EQ(t.pulse().control_points.at("glow").mode, 0);
    EXPECT_TRUE(t.pulse().control_points.at("glow").repeat);
    ASSERT_TRUE(t.editor.event_span(*t.demo, 1, 8, 24).ok);
    EXPECT_EQ(t.pulse().start_beat, 8.0f);
    ASSERT_TRUE(t.editor.event_visible(*t.demo, 1, false).ok);
    EXPECT_FALSE(t.pulse().visible);
    EXPECT_NE(t.editor.text().find("\"visible\": \"false\""), std::string::npos);
    // Definitions change the node's outputs: the caller reads the demo again.
    EditOutcome out = t.editor.def_rename(*t.demo, 1, "glow", "shine");
    ASSERT_TRUE(out.ok && out.reread);
    auto again = t.reread();
    EXPECT_EQ(again->events[1]->uniform_defs[0].name, "shine");
    EXPECT_EQ(again->events[1]->control_points.count("shine"), 1u);  // its track went with it
    t.demo = std::move(again);
    ASSERT_TRUE(t.editor.def_add(*t.demo, 1, "flash", -1, 1, 0, false).reread);
    t.demo = t.reread();
    ASSERT_TRUE(t.editor.event_duplicate(*t.demo, 1, "pulse2", 30).reread);
    t.demo = t.reread();
    ASSERT_EQ(t.demo->events.size(), 3u);
    EXPECT_EQ(t.demo->events[2]->start_beat, 30.0f);
    EXPECT_EQ(t.demo->events[2]->end_beat, 46.0f);
    // Undo all the way: the file as it was, byte for byte.
    while (t.editor.history().can_undo()) {
        const EditOutcome u = t.editor.undo(*t.demo);
        ASSERT_TRUE(u.ok) << u.error;
        if (u.reread) t.demo = t.reread();
    }
    EXPECT_EQ(t.editor.text(), kProject);
}

TEST(TimelineEditor, HistoryHoldsAtLeast500StepsAndTracksTheSavedState) {
    Editing t;
    for (int i = 0; i < 600; ++i) ASSERT_TRUE(t.editor.key_move(*t.demo, 1, "glow", 2, 8.0f, static_cast<float>(i % 7)).ok);
    t.editor.mark_saved();
    EXPECT_FALSE(t.editor.unsaved());
    for (int i = 0; i < 500; ++i) ASSERT_TRUE(t.editor.undo(*t.demo).ok) << i;
    EXPECT_TRUE(t.editor.unsaved());
    for (int i = 0; i < 500; ++i) ASSERT_TRUE(t.editor.redo(*t.demo).ok);
    EXPECT_FALSE(t.editor.unsaved());
    // A new edit after undoing drops what could have been redone.
    ASSERT_TRUE(t.editor.undo(*t.demo).ok);
    ASSERT_TRUE(t.editor.event_visible(*t.demo, 1, false).ok);
    EXPECT_FALSE(t.editor.history().can_redo());
}

TEST(BeatGrid, SnapsToDivisionsAndCurvesAreTheEventsOwnEvaluation) {
    EXPECT_DOUBLE_EQ(snap_to_grid(1.30, 3), 4.0 / 3.0);
    EXPECT_DOUBLE_EQ(snap_to_grid(1.30, 16), 1.3125);
    EXPECT_DOUBLE_EQ(snap_to_grid(1.30, 5), 1.30);  // not a grid: left alone
    Event e;
    e.start_beat = 2;
    e.end_beat = 10;
    e.uniform_defs.emplace_back().name = "v";
    for (int mode = 0; mode <= 2; ++mode)
        for (bool repeat : {false, true}) {
            e.control_points["v"] = ControlPointTrack({{0, 1}, {1.5f, -2}, {1.5f, 3}, {4, 0.5f}, {6, 2}}, mode, repeat);
            std::vector<float> drawn(97);
            sample_curve(e, "v", 0, 12, drawn.data(), drawn.size());
            for (size_t i = 0; i < drawn.size(); ++i)
                EXPECT_EQ(drawn[i], e.evaluate_value("v", static_cast<float>(12.0 * static_cast<double>(i) / 96.0)))
                    << "mode " << mode << " repeat " << repeat << " sample " << i;
        }
}

TEST(Utf8Text, BadBytesBecomeReplacementsSoAnswersCanBeWritten) {
    EXPECT_EQ(valid_utf8("Caf\xe9"), "Caf\xEF\xBF\xBD");  // Windows-1252
    EXPECT_EQ(valid_utf8("Caf\xC3\xA9 \xF0\x9F\x8E\xB5"), "Caf\xC3\xA9 \xF0\x9F\x8E\xB5");
    // Overlong, surrogate and past-U+10FFFF forms: every byte replaced.
    std::string nine;
    for (int i = 0; i < 9; ++i) nine += "\xEF\xBF\xBD";
    EXPECT_EQ(valid_utf8("\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80"), nine);
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(random() % 64, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        const std::string text = valid_utf8(bytes);
        const nlohmann::json answer = {{"error", text}};
        EXPECT_NO_THROW((void)answer.dump());
        EXPECT_EQ(valid_utf8(text), text);
    }
}

TEST(ControlCommand, EditLinesKeepQuotedTextsWhole) {
    ControlCommand c = parse_control_command(R"(key add title label 4 "a \"b\" c")");
    ASSERT_EQ(c.kind, ControlCommand::Kind::Edit);
    ASSERT_EQ(c.words.size(), 6u);
    EXPECT_EQ(c.words[5], "a \"b\" c");
    EXPECT_TRUE(c.quoted[5]);
    EXPECT_FALSE(c.quoted[4]);
    EXPECT_EQ(parse_control_command("key add a b 1 \"open").kind, ControlCommand::Kind::None);
    c = parse_control_command("quit force");
    EXPECT_EQ(c.kind, ControlCommand::Kind::Quit);
    EXPECT_EQ(c.a, 1);
    EXPECT_EQ(parse_control_command("quit").a, 0);
}

TEST(EventLanes, OverlappingEventsNeverShareARow) {
    std::mt19937 random(11);
    std::vector<LaneSpan> spans;
    for (int i = 0; i < 300; ++i) {
        const float start = static_cast<float>(random() % 200);
        spans.push_back({start, start + static_cast<float>(random() % 30)});
    }
    size_t rows = 0;
    const std::vector<size_t> lane = pack_lanes(spans, rows);
    for (size_t a = 0; a < spans.size(); ++a) {
        ASSERT_LT(lane[a], rows);
        for (size_t b = a + 1; b < spans.size(); ++b) {
            const bool overlap = spans[a].start_beat < spans[b].end_beat && spans[b].start_beat < spans[a].end_beat;
            const bool same_point = spans[a].start_beat == spans[b].start_beat;
            if (overlap || same_point) {
                EXPECT_NE(lane[a], lane[b]) << a << " " << b;
            }
        }
    }
    EXPECT_LT(rows, 40u);  // as high as the busiest moment, not one row each
}
