#include "preview/edit_commands.h"

#include <cmath>
#include <cstdlib>

#include "preview/utf8_text.h"
#include "serialization/demo.h"
#include "timeline/event.h"

namespace {

bool number(const std::string& text, float& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (!end || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 1e7) return false;
    out = static_cast<float>(v);
    return true;
}

bool index_of(const std::string& text, size_t& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = static_cast<size_t>(std::atol(text.c_str()));
    return true;
}

int mode_of(const std::string& text) {
    if (text == "last_value" || text == "0") return 0;
    if (text == "linear" || text == "1") return 1;
    if (text == "smooth" || text == "2") return 2;
    return -1;
}

int kind_of(const std::string& text) {
    if (text == "effect") return EventType::effect;
    if (text == "audio_sample") return EventType::audio_sample;
    if (text == "group") return EventType::group;
    if (text == "uniforms") return EventType::uniforms;
    return 0;
}

EditCommandResult refused(std::string why) {
    EditCommandResult r;
    r.answer = {{"ok", false}, {"error", valid_utf8(why)}};
    r.outcome.error = std::move(why);
    return r;
}

EditCommandResult done(const EditOutcome& outcome, const TimelineEditor& editor) {
    if (!outcome.ok) return refused(outcome.error);
    EditCommandResult r;
    r.outcome = outcome;
    r.answer = {{"ok", true}, {"unsaved", editor.unsaved()}, {"undo_steps", editor.history().undo_steps()},
                {"reread", outcome.reread}};
    return r;
}

}  // namespace

nlohmann::json track_answer(Demo& demo, size_t event, const std::string& uniform) {
    Event& e = *demo.events.at(event);
    const ControlPointTrack& track = e.track(uniform);
    nlohmann::json keys = nlohmann::json::array();
    for (const ControlPoint& p : track.points) {
        nlohmann::json k{{"beat", p.beat + e.start_beat}};
        if (p.is_text()) k["text"] = valid_utf8(p.text);
        else k["value"] = p.value;
        keys.push_back(std::move(k));
    }
    return {{"ok", true},
            {"event", valid_utf8(e.name)},
            {"uniform", valid_utf8(uniform)},
            {"start_beat", e.start_beat},
            {"mode", track.mode},
            {"repeat", track.repeat},
            {"keys", std::move(keys)}};
}

EditCommandResult run_edit_command(TimelineEditor& editor, Demo& demo, const std::vector<std::string>& w,
                                   const std::vector<bool>& quoted) {
    const size_t n = w.size();
    const std::string verb = n > 0 ? w[0] : "";
    const std::string sub = n > 1 ? w[1] : "";
    if (verb == "undo" || verb == "redo") {
        if (n != 1) return refused(verb + " takes no arguments");
        return done(verb == "undo" ? editor.undo(demo) : editor.redo(demo), editor);
    }
    // Every other command names an event first (after the sub-verb, if any).
    const bool has_sub = verb == "key" || verb == "event" || verb == "def";
    if (verb == "event" && sub == "add") {
        float start = 0, end = 0;
        const int kind = n > 2 ? kind_of(w[2]) : 0;
        if ((n != 6 && n != 7) || !kind || !number(w[4], start) || !number(w[5], end))
            return refused("event add wants KIND NAME START END [TARGET]");
        return done(editor.event_add(demo, kind, valid_utf8(w[3]), start, end, n == 7 ? valid_utf8(w[6]) : ""), editor);
    }
    const size_t at = has_sub ? 2 : 1;
    if (n <= at) return refused("'" + verb + (has_sub ? " " + sub : "") + "' wants an event name");
    const int event = TimelineEditor::find_event(demo, w[at]);
    if (event < 0) return refused("no event named '" + w[at] + "'");
    const size_t e = static_cast<size_t>(event);
    const auto args = [&](size_t count) { return n == at + 1 + count; };
    const auto key_value = [&](size_t i, KeyValue& k) {
        if (quoted[i]) {
            k.is_text = true;
            k.text = valid_utf8(w[i]);
            return !k.text.empty();
        }
        return number(w[i], k.value);
    };

    if (verb == "keys") {
        if (!args(1)) return refused("keys wants EVENT UNIFORM");
        bool defined = false;
        for (const UniformDef& d : demo.events[e]->uniform_defs) defined |= d.name == w[2];
        if (!defined) return refused("event '" + w[1] + "' has no uniform '" + w[2] + "'");
        EditCommandResult r;
        r.outcome.ok = true;
        r.answer = track_answer(demo, e, w[2]);
        return r;
    }
    if (verb == "key") {
        float beat = 0;
        size_t index = 0;
        KeyValue k;
        if (sub == "add") {
            if (!args(3) || !number(w[4], beat) || !key_value(5, k)) return refused("key add wants EVENT UNIFORM BEAT VALUE|\"TEXT\"");
            return done(editor.key_add(demo, e, w[3], beat, k), editor);
        }
        if (sub == "move") {
            float value = 0;
            if ((!args(3) && !args(4)) || !index_of(w[4], index) || !number(w[5], beat) || (args(4) && !number(w[6], value)))
                return refused("key move wants EVENT UNIFORM INDEX BEAT [VALUE]");
            return done(editor.key_move(demo, e, w[3], index, beat, args(4) ? std::optional<float>(value) : std::nullopt), editor);
        }
        if (sub == "set") {
            if (!args(3) || !index_of(w[4], index) || !key_value(5, k)) return refused("key set wants EVENT UNIFORM INDEX VALUE|\"TEXT\"");
            return done(editor.key_set(demo, e, w[3], index, k), editor);
        }
        if (sub == "delete") {
            if (!args(2) || !index_of(w[4], index)) return refused("key delete wants EVENT UNIFORM INDEX");
            return done(editor.keys_delete(demo, e, w[3], {index}), editor);
        }
        return refused("key wants add, move, set or delete");
    }
    if (verb == "track") {
        std::optional<int> mode;
        std::optional<bool> repeat;
        if (n < 5 || (n - 3) % 2 != 0) return refused("track wants EVENT UNIFORM [mode M] [repeat on|off]");
        for (size_t i = 3; i + 1 < n; i += 2) {
            if (w[i] == "mode" && mode_of(w[i + 1]) >= 0) mode = mode_of(w[i + 1]);
            else if (w[i] == "repeat" && (w[i + 1] == "on" || w[i + 1] == "off")) repeat = w[i + 1] == "on";
            else return refused("track wants mode last_value|linear|smooth and/or repeat on|off");
        }
        return done(editor.track_mode(demo, e, w[2], mode, repeat), editor);
    }
    if (verb == "event") {
        const Event& ev = *demo.events[e];
        float a = 0, b = 0;
        if (sub == "move") {
            if (!args(1) || !number(w[3], a)) return refused("event move wants EVENT START");
            return done(editor.event_span(demo, e, a, a + (ev.end_beat - ev.start_beat)), editor);
        }
        if (sub == "resize") {
            if (!args(2) || !number(w[3], a) || !number(w[4], b)) return refused("event resize wants EVENT START END");
            return done(editor.event_span(demo, e, a, b), editor);
        }
        if (sub == "duplicate") {
            if (!args(2) || !number(w[4], a)) return refused("event duplicate wants EVENT NAME START");
            return done(editor.event_duplicate(demo, e, valid_utf8(w[3]), a), editor);
        }
        if (sub == "delete") {
            if (!args(0)) return refused("event delete wants EVENT");
            return done(editor.event_delete(demo, e), editor);
        }
        if (sub == "visible") {
            if (!args(1) || (w[3] != "on" && w[3] != "off")) return refused("event visible wants EVENT on|off");
            return done(editor.event_visible(demo, e, w[3] == "on"), editor);
        }
        return refused("event wants add, move, resize, duplicate, delete or visible");
    }
    if (verb == "def") {
        float lo = 0, hi = 1, fallback = 0;
        if (sub == "add") {
            const bool text = n > 0 && w[n - 1] == "text" && !quoted[n - 1] && n != at + 2;
            const size_t count = n - at - 1 - (text ? 1 : 0);
            if ((count != 1 && count != 4) ||
                (count == 4 && (!number(w[4], lo) || !number(w[5], hi) || !number(w[6], fallback))))
                return refused("def add wants EVENT NAME [MIN MAX DEFAULT] [text]");
            return done(editor.def_add(demo, e, w[3], lo, hi, fallback, text), editor);
        }
        if (sub == "rename") {
            if (!args(2)) return refused("def rename wants EVENT OLD NEW");
            return done(editor.def_rename(demo, e, w[3], w[4]), editor);
        }
        if (sub == "delete") {
            if (!args(1)) return refused("def delete wants EVENT NAME");
            return done(editor.def_delete(demo, e, w[3]), editor);
        }
        if (sub == "range") {
            if (!args(4) || !number(w[4], lo) || !number(w[5], hi) || !number(w[6], fallback))
                return refused("def range wants EVENT NAME MIN MAX DEFAULT");
            return done(editor.def_range(demo, e, w[3], lo, hi, fallback), editor);
        }
        return refused("def wants add, rename, delete or range");
    }
    return refused("unknown command '" + verb + "'");
}
