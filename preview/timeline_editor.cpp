#include "preview/timeline_editor.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "serialization/demo.h"
#include "timeline/event.h"

namespace {

using Kind = JsonDocument::Kind;

std::string key_text(float beat, const KeyValue& key) {
    return "{\"beat\": " + json_number(beat) + ", " +
           (key.is_text ? "\"text\": " + json_string(key.text) : "\"value\": " + json_number(key.value)) + "}";
}

bool same_definitions(const Event& a, const Event& b) {
    if (a.uniform_defs.size() != b.uniform_defs.size()) return false;
    for (size_t i = 0; i < a.uniform_defs.size(); ++i)
        if (a.uniform_defs[i].name != b.uniform_defs[i].name || a.uniform_defs[i].is_string != b.uniform_defs[i].is_string)
            return false;
    return true;
}

const UniformDef* find_def(const Event& e, const std::string& name) {
    for (const UniformDef& d : e.uniform_defs)
        if (d.name == name) return &d;
    return nullptr;
}

// Where a key at relative beat `r` goes among `points` (skipping `skip`):
// after every key at or before it, so equal-beat keys keep their order.
size_t place_of(const std::vector<ControlPoint>& points, float r, size_t skip) {
    size_t place = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        if (i == skip) continue;
        if (points[i].beat > r) break;
        ++place;
    }
    return place;
}

}  // namespace

bool is_glsl_name(const std::string& name) {
    if (name.empty() || name.size() > 64 || (name[0] >= '0' && name[0] <= '9')) return false;
    if (name.starts_with("gl_")) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

bool TimelineEditor::open(std::string text, std::string& error) {
    history_.clear();
    open_.clear();
    JsonDocument fresh;
    const bool ok = fresh.parse(std::move(text), error) && fresh.value(0).kind == Kind::Object;
    if (ok) doc_ = std::move(fresh);
    else doc_ = JsonDocument{};
    if (ok || error.empty()) error = ok ? "" : "the project is not a JSON object";
    saved_state_ = history_.state_id();
    return ok;
}

int TimelineEditor::find_event(const Demo& demo, const std::string& name) {
    for (size_t i = 0; i < demo.events.size(); ++i)
        if (demo.events[i] && demo.events[i]->name == name) return static_cast<int>(i);
    return -1;
}

int TimelineEditor::event_node(size_t event) const { return doc_.item(doc_.member(doc_.root(), "events"), event); }

EditOutcome TimelineEditor::check_event(const Demo& demo, size_t event) const {
    EditOutcome out;
    if (!ready()) out.error = "the project file is not JSON; editing is off until it reads";
    else if (event >= demo.events.size() || !demo.events[event]) out.error = "no such event";
    else if (doc_.size(doc_.member(doc_.root(), "events")) != demo.events.size() || event_node(event) < 0 ||
             doc_.value(event_node(event)).kind != Kind::Object)
        out.error = "the running demo is not the project file's; save or reload first";
    else out.ok = true;
    return out;
}

bool TimelineEditor::patch(const TextPatch& p) {
    if (!doc_.apply(p, patch_error_)) return false;
    open_.push_back(p);
    return true;
}

EditOutcome TimelineEditor::fail(std::string why) {
    std::string ignored;
    for (auto it = open_.rbegin(); it != open_.rend(); ++it) doc_.apply(it->inverse(), ignored);
    open_.clear();
    EditOutcome out;
    out.error = std::move(why);
    return out;
}

EditOutcome TimelineEditor::finish(Demo& demo, int event, std::string label) {
    EditOutcome out;
    if (event < 0) {
        out.ok = true;
        out.reread = true;
    } else {
        out = refresh(demo, event);
        if (!out.ok) return fail(out.error);
        // A key edit that turned out to change the node types (it cannot
        // today) is still undone as a re-read.
        if (out.reread) event = -1;
    }
    history_.push(EditStep{std::move(label), std::move(open_), event, 0});
    open_.clear();
    return out;
}

EditOutcome TimelineEditor::refresh(Demo& demo, int event) {
    EditOutcome out;
    const int node = event_node(static_cast<size_t>(event));
    if (node < 0 || static_cast<size_t>(event) >= demo.events.size()) {
        out.ok = out.reread = true;
        return out;
    }
    Event read;
    try {
        read.from_json(nlohmann::json::parse(doc_.slice(node)));
    } catch (const std::exception& e) {
        out.error = e.what();
        return out;
    }
    Event& live = *demo.events[event];
    out.ok = true;
    if (read.type != live.type || read.name != live.name || !same_definitions(read, live)) {
        out.reread = true;
        return out;
    }
    live.control_points = std::move(read.control_points);
    live.start_beat = read.start_beat;
    live.end_beat = read.end_beat;
    live.visible = read.visible;
    for (size_t i = 0; i < live.uniform_defs.size(); ++i) {
        live.uniform_defs[i].min_val = read.uniform_defs[i].min_val;
        live.uniform_defs[i].max_val = read.uniform_defs[i].max_val;
        live.uniform_defs[i].default_val = read.uniform_defs[i].default_val;
    }
    return out;
}

int TimelineEditor::ensure_points(size_t event, const std::string& uniform) {
    if (doc_.member(event_node(event), "control_points") < 0 &&
        !patch(doc_.add_member(event_node(event), "control_points", "{}")))
        return -1;
    const int cp = doc_.member(event_node(event), "control_points");
    if (doc_.value(cp).kind != Kind::Object) return -1;
    if (doc_.member(cp, uniform) < 0 &&
        !patch(doc_.add_member(cp, uniform, "{\"mode\": 1, \"repeat\": false, \"points\": []}")))
        return -1;
    const int tr = doc_.member(doc_.member(event_node(event), "control_points"), uniform);
    if (doc_.value(tr).kind != Kind::Object) return -1;
    if (doc_.member(tr, "points") < 0 && !patch(doc_.add_member(tr, "points", "[]"))) return -1;
    const int points = doc_.member(doc_.member(doc_.member(event_node(event), "control_points"), uniform), "points");
    return doc_.value(points).kind == Kind::Array ? points : -1;
}

// ---- Keys ------------------------------------------------------------------------

EditOutcome TimelineEditor::key_add(Demo& demo, size_t event, const std::string& uniform, float beat,
                                    const KeyValue& key) {
    return keys_add(demo, event, uniform, {{beat, key}});
}

EditOutcome TimelineEditor::keys_add(Demo& demo, size_t event, const std::string& uniform,
                                     const std::vector<std::pair<float, KeyValue>>& keys) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    Event& e = *demo.events[event];
    const UniformDef* def = find_def(e, uniform);
    if (!def) return fail("event '" + e.name + "' has no uniform '" + uniform + "'");
    if (keys.empty()) return fail("no keys to add");
    std::vector<ControlPoint> points = e.track(uniform).points;
    for (const auto& [beat, key] : keys) {
        if (key.is_text != def->is_string)
            return fail(def->is_string ? "'" + uniform + "' takes texts" : "'" + uniform + "' takes numbers");
        const int list = ensure_points(event, uniform);
        if (list < 0) return fail("the track of '" + uniform + "' is not an object with a list of points");
        const float r = beat - e.start_beat;
        const size_t at = std::min(place_of(points, r, JsonDocument::kNone), doc_.size(list));
        if (!patch(doc_.insert_item(list, at, key_text(r, key)))) return fail(patch_error_);
        points.insert(points.begin() + static_cast<std::ptrdiff_t>(at), ControlPoint(r, key.value, key.text));
    }
    return finish(demo, static_cast<int>(event), keys.size() == 1 ? "add key" : "paste keys");
}

EditOutcome TimelineEditor::key_move(Demo& demo, size_t event, const std::string& uniform, size_t index,
                                     float beat, std::optional<float> value) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    Event& e = *demo.events[event];
    if (!find_def(e, uniform)) return fail("event '" + e.name + "' has no uniform '" + uniform + "'");
    const std::vector<ControlPoint> points = e.track(uniform).points;
    const int list = doc_.member(doc_.member(doc_.member(event_node(event), "control_points"), uniform), "points");
    if (index >= points.size() || index >= doc_.size(list)) return fail("no key " + std::to_string(index));
    if (value && points[index].is_text()) return fail("key " + std::to_string(index) + " holds a text");
    const float r = beat - e.start_beat;
    // A key that stays between its neighbours keeps its place (also among
    // keys at its own beat); one moved onto or past a neighbour goes after
    // the keys at its new beat, so the key just moved is the one that plays.
    const bool stays = r == points[index].beat ||
                       ((index == 0 || points[index - 1].beat <= r) && (index + 1 == points.size() || r < points[index + 1].beat));
    const size_t place = stays ? index : place_of(points, r, index);
    const int item = doc_.item(list, index);
    // The key's own object, patched where it stands, so the rest of its
    // spelling (other members, number forms) stays.
    JsonDocument one;
    std::string ignored;
    if (!one.parse(std::string(doc_.slice(item)), ignored) || one.value(0).kind != Kind::Object)
        return fail("key " + std::to_string(index) + " is not an object");
    const auto set = [&](const char* name, const std::string& text) {
        const int m = one.member(0, name);
        return one.apply(m >= 0 ? one.replace(m, text) : one.add_member(0, name, text), ignored);
    };
    set("beat", json_number(r));
    if (value) set("value", json_number(*value));
    if (place == index) {
        if (!patch(doc_.replace(item, one.text()))) return fail(patch_error_);
    } else {
        if (!patch(doc_.remove_item(list, index))) return fail(patch_error_);
        const int again = doc_.member(doc_.member(doc_.member(event_node(event), "control_points"), uniform), "points");
        if (!patch(doc_.insert_item(again, place, one.text()))) return fail(patch_error_);
    }
    return finish(demo, static_cast<int>(event), "move key");
}

EditOutcome TimelineEditor::key_set(Demo& demo, size_t event, const std::string& uniform, size_t index,
                                    const KeyValue& key) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    Event& e = *demo.events[event];
    const UniformDef* def = find_def(e, uniform);
    if (!def) return fail("event '" + e.name + "' has no uniform '" + uniform + "'");
    if (key.is_text != def->is_string) return fail(def->is_string ? "'" + uniform + "' takes texts" : "'" + uniform + "' takes numbers");
    const int list = doc_.member(doc_.member(doc_.member(event_node(event), "control_points"), uniform), "points");
    const int item = doc_.item(list, index);
    if (item < 0 || doc_.value(item).kind != Kind::Object) return fail("no key " + std::to_string(index));
    const int beat = doc_.member(item, "beat");
    const std::string beat_text = beat >= 0 ? std::string(doc_.slice(beat)) : "0";
    const char* field = key.is_text ? "text" : "value";
    const int m = doc_.member(item, field);
    const int other = doc_.member(item, key.is_text ? "value" : "text");
    const std::string text = key.is_text ? json_string(key.text) : json_number(key.value);
    if (m >= 0 && other < 0) {
        if (!patch(doc_.replace(m, text))) return fail(patch_error_);
    } else if (!patch(doc_.replace(item, "{\"beat\": " + beat_text + ", \"" + field + "\": " + text + "}"))) {
        return fail(patch_error_);
    }
    return finish(demo, static_cast<int>(event), "set key");
}

EditOutcome TimelineEditor::keys_delete(Demo& demo, size_t event, const std::string& uniform,
                                        std::vector<size_t> indices) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    const int list = doc_.member(doc_.member(doc_.member(event_node(event), "control_points"), uniform), "points");
    if (indices.empty()) return fail("no keys to delete");
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    if (indices.back() >= doc_.size(list)) return fail("no key " + std::to_string(indices.back()));
    // From the back, so the indices before stay valid.
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        const int again = doc_.member(doc_.member(doc_.member(event_node(event), "control_points"), uniform), "points");
        if (!patch(doc_.remove_item(again, *it))) return fail(patch_error_);
    }
    return finish(demo, static_cast<int>(event), indices.size() == 1 ? "delete key" : "delete keys");
}

EditOutcome TimelineEditor::track_mode(Demo& demo, size_t event, const std::string& uniform, std::optional<int> mode,
                                       std::optional<bool> repeat) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    Event& e = *demo.events[event];
    if (!find_def(e, uniform)) return fail("event '" + e.name + "' has no uniform '" + uniform + "'");
    if (mode && (*mode < 0 || *mode > 2)) return fail("mode is last_value, linear or smooth");
    if (ensure_points(event, uniform) < 0) return fail("the track of '" + uniform + "' is not an object");
    const auto set = [&](const char* name, const std::string& text) {
        const int tr = doc_.member(doc_.member(event_node(event), "control_points"), uniform);
        const int m = doc_.member(tr, name);
        return patch(m >= 0 ? doc_.replace(m, text) : doc_.add_member(tr, name, text));
    };
    if (mode && !set("mode", std::to_string(*mode))) return fail(patch_error_);
    if (repeat && !set("repeat", *repeat ? "true" : "false")) return fail(patch_error_);
    return finish(demo, static_cast<int>(event), "track mode");
}

// ---- Events ----------------------------------------------------------------------

EditOutcome TimelineEditor::event_span(Demo& demo, size_t event, float start, float end) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    const Event& e = *demo.events[event];
    const bool sample = e.type == EventType::audio_sample;
    if (!sample && !(start < end)) return fail("an event ends after it starts");
    const auto set = [&](const char* name, float beat) {
        const int m = doc_.member(event_node(event), name);
        return patch(m >= 0 ? doc_.replace(m, json_number(beat)) : doc_.add_member(event_node(event), name, json_number(beat)));
    };
    if (sample) {
        if (!set("beat", start)) return fail(patch_error_);
    } else if ((start != e.start_beat && !set("start_beat", start)) || (end != e.end_beat && !set("end_beat", end))) {
        return fail(patch_error_);
    }
    return finish(demo, static_cast<int>(event), "move event");
}

EditOutcome TimelineEditor::event_visible(Demo& demo, size_t event, bool visible) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    const int node = event_node(event);
    const int m = doc_.member(node, "visible");
    // The stored form spells it as a string; a file that used a JSON
    // boolean keeps its own spelling.
    const bool as_bool = m >= 0 && doc_.value(m).kind == Kind::Bool;
    const std::string text = as_bool ? (visible ? "true" : "false") : (visible ? "\"true\"" : "\"false\"");
    if (!patch(m >= 0 ? doc_.replace(m, text) : doc_.add_member(node, "visible", text))) return fail(patch_error_);
    return finish(demo, static_cast<int>(event), visible ? "show event" : "hide event");
}

EditOutcome TimelineEditor::event_add(Demo& demo, int type, const std::string& name, float start, float end,
                                      const std::string& target) {
    if (!ready()) return fail("the project file is not JSON; editing is off until it reads");
    if (type < EventType::effect || type > EventType::uniforms) return fail("the kind is effect, audio_sample, group or uniforms");
    if (name.empty()) return fail("an event needs a name");
    if (type == EventType::uniforms && find_event(demo, name) >= 0) return fail("an event named '" + name + "' exists");
    if (type != EventType::audio_sample && !(start < end)) return fail("an event ends after it starts");
    std::string text = "{\"type\": " + std::to_string(type) + ", \"name\": " + json_string(name) +
                       ", \"visible\": \"true\", \"control_points\": {}";
    switch (type) {
    case EventType::effect: text += ", \"effect\": " + json_string(target); break;
    case EventType::audio_sample: text += ", \"audio_sample\": " + json_string(target) + ", \"beat\": " + json_number(start); break;
    case EventType::group: text += ", \"group\": " + json_string(target); break;
    default: break;
    }
    if (type != EventType::audio_sample) text += ", \"start_beat\": " + json_number(start) + ", \"end_beat\": " + json_number(end);
    if (type == EventType::uniforms) text += ", \"uniform_defs\": []";
    text += "}";
    if (doc_.member(doc_.root(), "events") < 0 && !patch(doc_.add_member(doc_.root(), "events", "[]")))
        return fail(patch_error_);
    const int list = doc_.member(doc_.root(), "events");
    if (doc_.value(list).kind != Kind::Array) return fail("the project's events are not a list");
    if (!patch(doc_.insert_item(list, doc_.size(list), text))) return fail(patch_error_);
    return finish(demo, -1, "add event");
}

EditOutcome TimelineEditor::event_duplicate(Demo& demo, size_t event, const std::string& name, float start) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    const Event& e = *demo.events[event];
    if (name.empty()) return fail("an event needs a name");
    if (e.type == EventType::uniforms && find_event(demo, name) >= 0) return fail("an event named '" + name + "' exists");
    JsonDocument one;
    std::string ignored;
    one.parse(std::string(doc_.slice(event_node(event))), ignored);
    const auto set = [&](const char* field, const std::string& text) {
        const int m = one.member(0, field);
        one.apply(m >= 0 ? one.replace(m, text) : one.add_member(0, field, text), ignored);
    };
    set("name", json_string(name));
    if (e.type == EventType::audio_sample) {
        set("beat", json_number(start));
    } else {
        set("start_beat", json_number(start));
        set("end_beat", json_number(start + (e.end_beat - e.start_beat)));
    }
    const int list = doc_.member(doc_.root(), "events");
    if (!patch(doc_.insert_item(list, event + 1, one.text()))) return fail(patch_error_);
    return finish(demo, -1, "duplicate event");
}

EditOutcome TimelineEditor::event_delete(Demo& demo, size_t event) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    if (!patch(doc_.remove_item(doc_.member(doc_.root(), "events"), event))) return fail(patch_error_);
    return finish(demo, -1, "delete event");
}

// ---- Uniform definitions -------------------------------------------------------

EditOutcome TimelineEditor::def_add(Demo& demo, size_t event, const std::string& name, float min, float max,
                                    float fallback, bool is_string) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    const Event& e = *demo.events[event];
    if (e.type != EventType::uniforms) return fail("only uniforms events have definitions");
    if (!is_glsl_name(name)) return fail("'" + name + "' cannot name a uniform");
    if (find_def(e, name)) return fail("'" + name + "' is defined already");
    if (!(min < max)) return fail("a range's minimum is below its maximum");
    const int node = event_node(event);
    if (doc_.member(node, "uniform_defs") < 0 && !patch(doc_.add_member(node, "uniform_defs", "[]")))
        return fail(patch_error_);
    const int list = doc_.member(event_node(event), "uniform_defs");
    if (doc_.value(list).kind != Kind::Array) return fail("the event's definitions are not a list");
    std::string text = "{\"name\": " + json_string(name) + ", \"min_val\": " + json_number(min) +
                       ", \"max_val\": " + json_number(max) + ", \"default_val\": " + json_number(fallback);
    if (is_string) text += ", \"is_string\": true";
    text += "}";
    if (!patch(doc_.insert_item(list, doc_.size(list), text))) return fail(patch_error_);
    return finish(demo, -1, "add definition");
}

namespace {

int def_node(const JsonDocument& doc, int event_node, const std::string& name) {
    const int list = doc.member(event_node, "uniform_defs");
    for (size_t i = 0; i < doc.size(list); ++i) {
        const int item = doc.item(list, i);
        const int n = doc.member(item, "name");
        if (n >= 0 && doc.value(n).kind == Kind::String && nlohmann::json::parse(doc.slice(n)).get<std::string>() == name)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

EditOutcome TimelineEditor::def_rename(Demo& demo, size_t event, const std::string& from, const std::string& to) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    const Event& e = *demo.events[event];
    if (!find_def(e, from)) return fail("event '" + e.name + "' has no uniform '" + from + "'");
    if (!is_glsl_name(to)) return fail("'" + to + "' cannot name a uniform");
    if (find_def(e, to)) return fail("'" + to + "' is defined already");
    const int at = def_node(doc_, event_node(event), from);
    if (at < 0) return fail("the definition of '" + from + "' is not in the file");
    const int name = doc_.member(doc_.item(doc_.member(event_node(event), "uniform_defs"), static_cast<size_t>(at)), "name");
    if (!patch(doc_.replace(name, json_string(to)))) return fail(patch_error_);
    // The name also selects the track: it goes with the definition.
    const int track = doc_.member(doc_.member(event_node(event), "control_points"), from);
    if (track >= 0 && !patch(doc_.rename_member(track, to))) return fail(patch_error_);
    return finish(demo, -1, "rename definition");
}

EditOutcome TimelineEditor::def_delete(Demo& demo, size_t event, const std::string& name) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    const Event& e = *demo.events[event];
    const int at = def_node(doc_, event_node(event), name);
    if (!find_def(e, name) || at < 0) return fail("event '" + e.name + "' has no uniform '" + name + "'");
    if (!patch(doc_.remove_item(doc_.member(event_node(event), "uniform_defs"), static_cast<size_t>(at))))
        return fail(patch_error_);
    const int cp = doc_.member(event_node(event), "control_points");
    const std::vector<int>& members = cp >= 0 ? doc_.value(cp).children : std::vector<int>{};
    for (size_t i = members.size(); i-- > 0;) {
        if (doc_.value(members[i]).key != name) continue;
        if (!patch(doc_.remove_item(cp, i))) return fail(patch_error_);
        break;
    }
    return finish(demo, -1, "delete definition");
}

EditOutcome TimelineEditor::def_range(Demo& demo, size_t event, const std::string& name, float min, float max,
                                      float fallback) {
    if (EditOutcome c = check_event(demo, event); !c.ok) return c;
    const Event& e = *demo.events[event];
    const int at = def_node(doc_, event_node(event), name);
    if (!find_def(e, name) || at < 0) return fail("event '" + e.name + "' has no uniform '" + name + "'");
    if (!(min < max)) return fail("a range's minimum is below its maximum");
    const auto set = [&](const char* field, float v) {
        const int item = doc_.item(doc_.member(event_node(event), "uniform_defs"), static_cast<size_t>(at));
        const int m = doc_.member(item, field);
        return patch(m >= 0 ? doc_.replace(m, json_number(v)) : doc_.add_member(item, field, json_number(v)));
    };
    if (!set("min_val", min) || !set("max_val", max) || !set("default_val", fallback)) return fail(patch_error_);
    return finish(demo, static_cast<int>(event), "definition range");
}

// ---- Undo ------------------------------------------------------------------------

EditOutcome TimelineEditor::undo(Demo& demo) {
    EditOutcome out;
    if (!history_.can_undo()) {
        out.error = "nothing to undo";
        return out;
    }
    const EditStep& step = history_.undo();
    std::string error;
    for (auto it = step.patches.rbegin(); it != step.patches.rend(); ++it) doc_.apply(it->inverse(), error);
    if (step.event < 0) {
        out.ok = out.reread = true;
        return out;
    }
    return refresh(demo, step.event);
}

EditOutcome TimelineEditor::redo(Demo& demo) {
    EditOutcome out;
    if (!history_.can_redo()) {
        out.error = "nothing to redo";
        return out;
    }
    const EditStep& step = history_.redo();
    std::string error;
    for (const TextPatch& p : step.patches) doc_.apply(p, error);
    if (step.event < 0) {
        out.ok = out.reread = true;
        return out;
    }
    return refresh(demo, step.event);
}

void TimelineEditor::drop_last() {
    if (!history_.can_undo()) return;
    const EditStep& step = history_.undo();
    std::string error;
    for (auto it = step.patches.rbegin(); it != step.patches.rend(); ++it) doc_.apply(it->inverse(), error);
    history_.redo();
    history_.drop_last();
}
