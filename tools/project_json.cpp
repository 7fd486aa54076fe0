#include "tools/project_json.h"

#include <charconv>
#include <cstdio>
#include <string_view>
#include <climits>
#include <filesystem>

#include "preview/json_document.h"
#include "serialization/content_error.h"
#include "tools/content_file.h"

namespace {

void raise_past(int64_t& next, const ProjectJson& v) {
    if (v.is_number_integer()) next = std::max(next, std::min<int64_t>(v.get<int64_t>(), INT_MAX) + 1);
}

// One line, with a blank after every comma and colon.
std::string flat(const ProjectJson& v) {
    if (!v.is_structured()) return v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string out = v.is_object() ? "{" : "[";
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!first) out += ", ";
        first = false;
        if (v.is_object()) out += ProjectJson(it.key()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + ": ";
        out += flat(it.value());
    }
    return out + (v.is_object() ? "}" : "]");
}

std::string layout(const ProjectJson& v, size_t indent) {
    const std::string flat_text = flat(v);
    if (flat_text.size() + indent <= 110 || !v.is_structured() || v.empty()) return flat_text;
    const std::string pad(indent + 2, ' ');
    std::string out = v.is_object() ? "{\n" : "[\n";
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!first) out += ",\n";
        first = false;
        out += pad;
        if (v.is_object()) out += ProjectJson(it.key()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + ": ";
        out += layout(it.value(), indent + 2);
    }
    out += "\n" + std::string(indent, ' ') + (v.is_object() ? "}" : "]");
    return out;
}

// Spaces at the start of the line that holds position I.
size_t indent_of_line(std::string_view t, size_t i) {
    const size_t newline = t.rfind('\n', i);
    size_t start = newline == std::string_view::npos ? 0 : newline + 1, n = 0;
    while (start + n < t.size() && t[start + n] == ' ') ++n;
    return n;
}

std::string with_line_ends(std::string text, bool crlf) {
    if (!crlf) return text;
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

bool append_to_array_text(std::string& text, const std::vector<std::string>& path, const ProjectJson& element) {
    JsonDocument doc;
    std::string error;
    if (!doc.parse(text, error)) return false;
    int at = doc.root();
    for (const std::string& step : path) {
        if (at < 0) return false;
        if (doc.value(at).kind == JsonDocument::Kind::Object) {
            at = doc.member(at, step);
        } else if (doc.value(at).kind == JsonDocument::Kind::Array) {
            size_t index = 0;
            const auto [end, ec] = std::from_chars(step.data(), step.data() + step.size(), index);
            if (step.empty() || ec != std::errc() || end != step.data() + step.size()) return false;
            at = doc.item(at, index);
        } else {
            return false;
        }
    }
    if (at < 0 || doc.value(at).kind != JsonDocument::Kind::Array) return false;
    const bool crlf = text.find("\r\n") != std::string::npos;
    TextPatch patch;
    if (doc.size(at) == 0) {
        // An empty array: written anew, as the whole file would be.
        const size_t indent = indent_of_line(text, doc.value(at).begin);
        patch = doc.replace(at, with_line_ends(layout(ProjectJson::array({element}), indent), crlf));
    } else {
        // Laid out at the indentation of the item it follows, after the
        // separator the items already use.
        const size_t indent = indent_of_line(text, doc.value(doc.value(at).children.back()).begin);
        patch = doc.insert_item(at, doc.size(at), with_line_ends(layout(element, indent), crlf));
    }
    if (!doc.apply(patch, error)) return false;
    text = doc.text();
    return true;
}

ProjectJson read_project_json(const std::string& path) {
    const std::vector<uint8_t> bytes = read_whole_file(path);
    ProjectJson project;
    try {
        project = ProjectJson::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::exception& e) {
        throw ContentError(path + ": " + e.what());
    }
    if (!project.is_object()) throw ContentError(path + ": not a project (the top level is no object)");
    return project;
}

std::string project_json_text(const ProjectJson& project) { return layout(project, 0) + "\n"; }

int GraphIds::fresh() {
    // Ids are 32-bit in the content; a project whose ids reach the end has no
    // room for more.
    if (next_ >= INT_MAX) throw ContentError("the project's graph has no free ids left");
    return static_cast<int>(next_++);
}

void replace_file(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    write_whole_file(temporary, text.data(), text.size());
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        throw ContentError("cannot write " + path);
    }
}

ProjectJson empty_project(int bpm, int end_beat) {
    ProjectJson p = ProjectJson::object();
    p["end_beat"] = end_beat;
    p["bpm"] = bpm;
    p["beat_offset"] = 0;
    for (const char* list : {"textures", "shaders", "fonts", "font_textures", "datas", "models", "scenes", "effects",
                             "audio_samples", "event_groups", "events"})
        p[list] = ProjectJson::array();
    return p;
}

GraphIds::GraphIds(const ProjectJson& graph) {
    if (!graph.is_object() || !graph.contains("nodes") || !graph["nodes"].is_array()) return;
    for (const ProjectJson& n : graph["nodes"]) {
        if (!n.is_object()) continue;
        for (const char* key : {"id", "entryID", "exitID"})
            if (n.contains(key)) raise_past(next_, n[key]);
        for (const char* key : {"inputIDs", "outputIDs"})
            if (n.contains(key) && n[key].is_array())
                for (const ProjectJson& id : n[key]) raise_past(next_, id);
        if (n.contains("connections") && n["connections"].is_array())
            for (const ProjectJson& c : n["connections"])
                if (c.is_object() && c.contains("id")) raise_past(next_, c["id"]);
    }
}

ProjectJson present_value(int kind, const ProjectJson& v) {
    return ProjectJson{{"hasValue", true}, {"value", {{"type", kind}, {"value", v}}}};
}

ProjectJson absent_value() { return ProjectJson{{"hasValue", false}}; }

ProjectJson make_node(GraphIds& ids, const std::string& type, const ProjectJson& inputs, int outputs, double x,
                      double y, bool self_activating) {
    ProjectJson n = ProjectJson::object();
    n["id"] = ids.fresh();
    ProjectJson input_ids = ProjectJson::array(), output_ids = ProjectJson::array();
    for (size_t i = 0; i < inputs.size(); ++i) input_ids.push_back(ids.fresh());
    for (int i = 0; i < outputs; ++i) output_ids.push_back(ids.fresh());
    n["entryID"] = ids.fresh();
    n["exitID"] = ids.fresh();
    n["def"] = type;
    n["selfActivating"] = self_activating;
    n["posX"] = x;
    n["posY"] = y;
    n["inputs"] = inputs;
    n["inputIDs"] = input_ids;
    n["outputIDs"] = output_ids;
    n["connections"] = ProjectJson::array();
    return n;
}

void add_data_link(GraphIds& ids, ProjectJson& src, int output, const ProjectJson& dst, int input) {
    if (!src.contains("connections") || !src["connections"].is_array()) src["connections"] = ProjectJson::array();
    src["connections"].push_back(
        {{"id", ids.fresh()}, {"dst", dst["id"]}, {"src_output_idx", output}, {"dst_input_idx", input}});
}

void add_activation_link(GraphIds& ids, ProjectJson& src, const ProjectJson& dst) { add_data_link(ids, src, -1, dst, -1); }

ProjectJson program_node_inputs() {
    return ProjectJson::array({absent_value(), absent_value(), present_value(kKindBool, false)});
}
