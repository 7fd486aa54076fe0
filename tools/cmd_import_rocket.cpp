// qvtool import-rocket: the tracks a sync tracker's editor saved, as a new
// uniforms event of a project, with its node fed by the project's clock.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "serialization/content_error.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/rocket_import.h"

namespace fs = std::filesystem;

namespace {

// Tracker files are text of some kilobytes to a few megabytes; this bounds
// what is read before the reader sees a byte of it.
constexpr uintmax_t kMaxRocketFileBytes = 32u << 20;

bool valid_event_name(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

std::string rocket_text(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > kMaxRocketFileBytes)
        throw ContentError(path + ": " + std::to_string(size) + " bytes is too large for a tracker file (at most 32 MB)");
    const std::vector<uint8_t> bytes = read_whole_file(path);
    return std::string(bytes.begin(), bytes.end());
}

bool is_array_at(const ProjectJson& v, const char* key) { return v.is_object() && v.contains(key) && v[key].is_array(); }

// Below every node of the graph, as import-shader places its program.
double free_row(const ProjectJson& nodes) {
    double y = 40;
    for (const ProjectJson& n : nodes)
        if (n.is_object() && n.contains("posY") && n["posY"].is_number()) y = std::max(y, n["posY"].get<double>() + 160);
    return y;
}

// One array of the project that gained an element, and where: the element
// itself stays in the edited project (an imported event can be large).
struct Append {
    std::vector<std::string> path;
    size_t index;
};

struct ProjectEdit {
    std::vector<Append> appends;
    bool appends_only = true;  // false: a key was added, so the file is written anew
};

// Adds the event and, when the project has a graph, the event's node with
// the clock's beat on its "time" input, as `qvtool new` wires its event; the
// first Time node is the clock, or a new one when there is none. Returns what
// grew, for the text of the file.
ProjectEdit add_event(ProjectJson& project, ProjectJson event, size_t outputs) {
    ProjectEdit edit;
    std::vector<Append>& appends = edit.appends;
    if (!project.contains("events")) edit.appends_only = false;
    if (!is_array_at(project, "events")) project["events"] = ProjectJson::array();
    const std::string node_type = event["name"].get<std::string>() + ".event";
    project["events"].push_back(std::move(event));
    appends.push_back({{"events"}, project["events"].size() - 1});
    if (!project.contains("graph") || !is_array_at(project["graph"], "nodes")) return edit;

    ProjectJson& nodes = project["graph"]["nodes"];
    GraphIds ids(project["graph"]);
    const double y = free_row(nodes);
    ProjectJson node = make_node(ids, node_type, ProjectJson::array({absent_value()}),
                                 static_cast<int>(outputs), 280, y, true);
    node["posX"] = 280;
    if (y == std::trunc(y) && std::fabs(y) < 1e9) node["posY"] = static_cast<int64_t>(y);
    size_t clock = nodes.size();
    for (size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].is_object() && nodes[i].value("def", std::string()) == "Time" &&
            (!nodes[i].contains("connections") || nodes[i]["connections"].is_array())) {
            clock = i;
            break;
        }
    if (clock < nodes.size()) {
        if (!nodes[clock].contains("connections")) edit.appends_only = false;
        add_data_link(ids, nodes[clock], 0, node, 0);
        appends.push_back({{"graph", "nodes", std::to_string(clock), "connections"}, nodes[clock]["connections"].size() - 1});
        nodes.push_back(std::move(node));
        appends.push_back({{"graph", "nodes"}, nodes.size() - 1});
    } else {
        ProjectJson time = make_node(ids, "Time", ProjectJson::array(), 3, 40, y, true);
        add_data_link(ids, time, 0, node, 0);
        nodes.push_back(std::move(time));
        appends.push_back({{"graph", "nodes"}, nodes.size() - 1});
        nodes.push_back(std::move(node));
        appends.push_back({{"graph", "nodes"}, nodes.size() - 1});
    }
    return edit;
}

// The project's new text: the old text with the new elements put in, when
// that reads back as exactly the edited project; otherwise the whole
// project written anew.
std::string new_project_text(const std::string& old_text, const ProjectJson& edited, const ProjectEdit& edit) {
    std::string text = old_text;
    bool patched = edit.appends_only;
    for (size_t i = 0; patched && i < edit.appends.size(); ++i) {
        const ProjectJson* array = &edited;
        for (const std::string& step : edit.appends[i].path)
            array = array->is_array() ? &array->at(std::stoul(step)) : &array->at(step);
        patched = append_to_array_text(text, edit.appends[i].path, array->at(edit.appends[i].index));
    }
    if (patched) {
        try {
            if (ProjectJson::parse(text) == edited) return text;
        } catch (const nlohmann::json::exception&) {
        }
    }
    return project_json_text(edited);
}

}  // namespace

int run_import_rocket(const std::vector<std::string>& args) {
    std::string rocket_path, project_path, event_name;
    int rows_per_beat = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--event" || a == "--rows-per-beat") && i + 1 >= args.size())
            return usage_error("import-rocket", a + " needs a value");
        if (a == "--event") {
            event_name = args[++i];
        } else if (a == "--rows-per-beat") {
            const std::string& v = args[++i];
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), rows_per_beat);
            if (v.empty() || ec != std::errc() || end != v.data() + v.size() || rows_per_beat < 1 ||
                rows_per_beat > kMaxRowsPerBeat)
                return usage_error("import-rocket", "--rows-per-beat is a whole number from 1 to " +
                                                        std::to_string(kMaxRowsPerBeat) + ", not '" + v + "'");
        } else if (!a.empty() && a[0] == '-') {
            return usage_error("import-rocket", "unknown option '" + a + "'");
        } else if (rocket_path.empty()) {
            rocket_path = a;
        } else if (project_path.empty()) {
            project_path = a;
        } else {
            return usage_error("import-rocket", "unexpected argument '" + a + "'");
        }
    }
    if (rocket_path.empty()) return usage_error("import-rocket", "no tracker file given");
    if (project_path.empty()) return usage_error("import-rocket", "no project file given");
    if (event_name.empty()) return usage_error("import-rocket", "no --event NAME given");
    if (!valid_event_name(event_name))
        return usage_error("import-rocket", "an event name is 1 to 64 letters, digits, '_' or '-', not '" + event_name + "'");

    const std::string text = rocket_text(rocket_path);
    RocketFile file;
    try {
        file = read_rocket(text);
    } catch (const ContentError& e) {
        throw ContentError(rocket_path + ": " + e.what());
    }
    if (file.tracks.empty()) throw ContentError(rocket_path + ": no tracks to import");
    if (rows_per_beat == 0) rows_per_beat = file.rows_per_beat ? file.rows_per_beat : kDefaultRowsPerBeat;

    const std::vector<uint8_t> old_bytes = read_whole_file(project_path);
    ProjectJson project = read_project_json(project_path);
    if (project.contains("events") && !project["events"].is_array())
        throw ContentError(project_path + ": \"events\" is not a list");
    if (project.contains("events"))
        for (const ProjectJson& e : project["events"])
            if (e.is_object() && e.contains("name") && e["name"] == event_name)
                throw ContentError("the project already has an event " + event_name + " (choose another --event)");

    const Event event = rocket_event(file, rows_per_beat, event_name);
    const ProjectEdit edit = add_event(project, rocket_event_json(event), event.uniform_defs.size());
    replace_file(project_path, new_project_text(std::string(old_bytes.begin(), old_bytes.end()), project, edit));

    size_t points = 0;
    for (const auto& [uniform, track] : event.control_points) points += track.points.size();
    std::printf("added event %s to %s: %zu tracks, beats 0 to %g at %d rows per beat, %zu points\n",
                event_name.c_str(), project_path.c_str(), event.uniform_defs.size(),
                static_cast<double>(event.end_beat), rows_per_beat, points);
    for (size_t i = 0; i < file.tracks.size(); ++i)
        if (file.tracks[i].name != event.uniform_defs[i].name)
            std::printf("  track \"%s\" is %s\n", file.tracks[i].name.c_str(), event.uniform_defs[i].name.c_str());
    if (file.beats_per_minute > 0 && project.contains("bpm") && project["bpm"].is_number() &&
        std::fabs(project["bpm"].get<double>() - file.beats_per_minute) > 1e-3)
        std::fprintf(stderr, "qvtool import-rocket: warning: the file was made at %g beats per minute, the project "
                             "plays at %g; keys are placed by beat\n",
                     file.beats_per_minute, project["bpm"].get<double>());
    return 0;
}
