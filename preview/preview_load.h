// Loading for the preview: a project, content file or packed demo read
// through the player's loading path, with every error caught and described
// (file, line, column where known), and the files it read noted so they can
// be watched. Also the in-place rebuild of shader programs.
#pragma once

#include <SDL.h>

#include <memory>
#include <string>
#include <vector>

#include "preview/source_map.h"

class Demo;

// Frees the demo's GPU objects together with the demo, so no path that drops
// a version (a re-read replacing it, a re-read that failed, the end) can keep
// its pictures and targets on the GPU. Needs the preview's context current.
struct DemoGpuRelease {
    void operator()(Demo* demo) const;
};
using DemoHandle = std::unique_ptr<Demo, DemoGpuRelease>;

struct PreviewLoad {
    DemoHandle demo;             // null when it did not load
    std::vector<std::string> files;      // absolute; read, or asked for and missing
    std::vector<SourceError> errors;     // empty: all well
};

// A project is told from a content file by its .json name.
bool is_project_path(const std::string& path);

// Reads `path` whole. Shader programs that did not build count as errors
// (the demo is still returned; whether to use it is the caller's choice).
// Needs the current GL context of `window`.
// `project_text`, when given, is read in place of the project file's bytes
// (the editor's unsaved text); the files it names are still read from disk.
PreviewLoad load_for_preview(const std::string& path, SDL_Window* window, SDL_GLContext context,
                             const std::string* project_text = nullptr);

// Re-reads the fragment and vertex files of programs `indices` of `demo` (a
// project's, resolved against `folder`) and rebuilds them with the includes
// of the whole list. Only when every one builds are they swapped in, in
// place (effects and nodes keep pointing at them); otherwise the running
// programs stay untouched and the errors are returned.
std::vector<SourceError> rebuild_programs_in_place(Demo& demo, const std::vector<size_t>& indices,
                                                   const std::string& folder);

// The errors of one built program, mapped to the files its lines came from.
std::vector<SourceError> program_errors(const ShaderProgram& program, const ShaderList& shaders);
