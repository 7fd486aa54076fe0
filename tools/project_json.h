// Editing JSON projects in place, for the commands that write projects
// (import-shader, new). The project is kept as its JSON tree, in its own key
// order, so that whatever a command does not touch is written back as it was
// read; nothing goes through the content model and nothing is lost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using ProjectJson = nlohmann::ordered_json;

// Value kinds of node inputs, as stored.
inline constexpr int kKindBool = 0, kKindInt = 1, kKindFloat = 2;

// Reads PATH as JSON. Throws ContentError naming the file on a syntax error
// or when the top level is not an object.
ProjectJson read_project_json(const std::string& path);

// The text of a project: anything short on one line, so the file reads like a
// table and a diff of an edit stays small. Ends with a line end.
std::string project_json_text(const ProjectJson& project);

// Appends ELEMENT to the array found by following PATH (object keys, and
// decimal indices into arrays) from the top of TEXT, a project's JSON text,
// and leaves every other byte as it is: the new element follows the last one
// with the same separator and indentation, laid out as project_json_text
// would (the preview's project document does the patching). False, with TEXT
// unchanged, when TEXT is not JSON or there is no such array.
bool append_to_array_text(std::string& text, const std::vector<std::string>& path, const ProjectJson& element);

// Writes TEXT to PATH through a temporary file beside it, so a failed write
// never leaves a half-written project. Throws ContentError.
void replace_file(const std::string& path, const std::string& text);

// The empty project that new projects start from: tempo, length, every list.
ProjectJson empty_project(int bpm, int end_beat);

// Hands out node, pin and link ids above every id a graph already holds.
class GraphIds {
public:
    explicit GraphIds(const ProjectJson& graph);
    int fresh();

private:
    int64_t next_ = 1;
};

ProjectJson present_value(int kind, const ProjectJson& v);
ProjectJson absent_value();

// A node of TYPE with the given stored inputs and OUTPUTS outputs, fresh ids.
ProjectJson make_node(GraphIds& ids, const std::string& type, const ProjectJson& inputs, int outputs, double x,
                      double y, bool self_activating);

// Links from `src`: a data link (output index to input index) or an
// activation link, appended after the node's existing links.
void add_data_link(GraphIds& ids, ProjectJson& src, int output, const ProjectJson& dst, int input);
void add_activation_link(GraphIds& ids, ProjectJson& src, const ProjectJson& dst);

// The stored inputs of a program node with no uniform definitions: size and
// texture unconnected, drawn to the current framebuffer (not internal).
ProjectJson program_node_inputs();
