// TimelineEditor: edits of a project's timeline made while it plays. The
// project's file text is the truth: every edit patches only the bytes of the
// values it changes (JsonDocument), becomes one undo step, and is then
// carried into the running demo. Keys, track modes, event spans, visibility
// and definition ranges are copied into the live event (read back through
// the event's own JSON reader, so what plays is what would be read from the
// file). Edits that change the graph's node types (events added, removed or
// renamed, definitions added, removed or renamed) ask the caller to read the
// demo again from text().
//
// Beats given to edits are the demo's beats; the stored points stay relative
// to their event's start. Keys keep their stored order by beat: a key added
// or moved goes after the keys at the same beat, and equal-beat keys never
// swap, because evaluation takes the later of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "preview/edit_history.h"
#include "preview/json_document.h"

class Demo;
class Event;

// A key's content: a number, or a text for text tracks.
struct KeyValue {
    bool is_text = false;
    float value = 0;
    std::string text;
};

struct EditOutcome {
    bool ok = false;
    std::string error;   // when not ok: why nothing changed
    bool reread = false; // the caller reads the demo again from text()
};

class TimelineEditor {
public:
    // Starts over from a file's text, forgetting the history; false with
    // `error` (and editing off) when it is not JSON.
    bool open(std::string text, std::string& error);
    bool ready() const { return !doc_.empty(); }
    const std::string& text() const { return doc_.text(); }
    const JsonDocument& document() const { return doc_; }

    // Whether the text differs from the one last opened or saved.
    bool unsaved() const { return history_.state_id() != saved_state_; }
    void mark_saved() { saved_state_ = history_.state_id(); }
    const EditHistory& history() const { return history_; }

    // ---- Edits (each one undo step; `event` indexes demo.events) ---------
    EditOutcome key_add(Demo& demo, size_t event, const std::string& uniform, float beat, const KeyValue& key);
    // Several keys in one step (a paste).
    EditOutcome keys_add(Demo& demo, size_t event, const std::string& uniform,
                         const std::vector<std::pair<float, KeyValue>>& keys);
    EditOutcome key_move(Demo& demo, size_t event, const std::string& uniform, size_t index, float beat,
                         std::optional<float> value);
    EditOutcome key_set(Demo& demo, size_t event, const std::string& uniform, size_t index, const KeyValue& key);
    EditOutcome keys_delete(Demo& demo, size_t event, const std::string& uniform, std::vector<size_t> indices);
    EditOutcome track_mode(Demo& demo, size_t event, const std::string& uniform, std::optional<int> mode,
                           std::optional<bool> repeat);
    EditOutcome event_span(Demo& demo, size_t event, float start, float end);
    EditOutcome event_visible(Demo& demo, size_t event, bool visible);
    // `type`: an EventType number; `target` names the effect, sample or group.
    EditOutcome event_add(Demo& demo, int type, const std::string& name, float start, float end,
                          const std::string& target);
    EditOutcome event_duplicate(Demo& demo, size_t event, const std::string& name, float start);
    EditOutcome event_delete(Demo& demo, size_t event);
    EditOutcome def_add(Demo& demo, size_t event, const std::string& name, float min, float max, float fallback,
                        bool is_string);
    EditOutcome def_rename(Demo& demo, size_t event, const std::string& from, const std::string& to);
    EditOutcome def_delete(Demo& demo, size_t event, const std::string& name);
    EditOutcome def_range(Demo& demo, size_t event, const std::string& name, float min, float max, float fallback);

    EditOutcome undo(Demo& demo);
    EditOutcome redo(Demo& demo);
    // Takes back the last edit for good (the re-read it asked for failed).
    void drop_last();

    // Index of the first event named `name` in the demo, or -1.
    static int find_event(const Demo& demo, const std::string& name);

private:
    // The edit being built: patches applied to the document at once and
    // remembered, so a failure half-way puts everything back.
    bool patch(const TextPatch& p);
    EditOutcome fail(std::string why);
    EditOutcome finish(Demo& demo, int event, std::string label);
    // Carries the document's event into the live one; reread when its kind,
    // name or definitions differ, error when it does not read.
    EditOutcome refresh(Demo& demo, int event);
    EditOutcome check_event(const Demo& demo, size_t event) const;
    int event_node(size_t event) const;
    // The track object of `uniform`, made (empty, linear) when missing.
    int ensure_points(size_t event, const std::string& uniform);

    JsonDocument doc_;
    EditHistory history_;
    uint64_t saved_state_ = 0;
    std::vector<TextPatch> open_;
    std::string patch_error_;
};

// Whether `name` can stand as a GLSL identifier (definitions name uniforms).
bool is_glsl_name(const std::string& name);
