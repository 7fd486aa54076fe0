// Putting an image shader into a project: the file, the program record and
// its node. Shared by `qvtool import-shader` and `qvtool new`.
#pragma once

#include <string>

#include "render/image_shader.h"
#include "tools/project_json.h"

// The vertex file every imported program uses, relative to the project.
inline constexpr const char* kImportVertexPath = "resources/default.vert";

// "resources/NAME.frag".
std::string imported_fragment_path(const std::string& name);

// Seconds per beat at the project's tempo (its "bpm", or the content's
// default tempo when the project names none or a nonsensical one).
float project_seconds_per_beat(const ProjectJson& project);

// Wraps the shader and writes FOLDER/resources/NAME.frag, and the default
// vertex source when the project has none yet (an existing one is kept).
// Throws ContentError when a file cannot be written.
ImageShader write_image_program(const std::string& folder, const std::string& name, const std::string& image,
                                const std::string& common, float seconds_per_beat);

// Adds the program record for resources/NAME.frag, with UNIFORM_DEFS (float
// uniforms only), and a program node that draws it to the screen: run last
// from the root, or the root of a project that has no graph (or whose root
// names no node). Returns the new node.
ProjectJson& add_program_node(ProjectJson& project, const std::string& name,
                              const ProjectJson& uniform_defs = ProjectJson::array());
