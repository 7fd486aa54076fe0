// Loading and saving whole content files for the tool's commands.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "serialization/demo.h"

// Reads a content stream, or a packed player executable (content found through
// its trailer). Throws ContentError with what was wrong.
std::unique_ptr<Demo> load_content_file(const std::string& path, size_t* content_bytes = nullptr);

// Reads a JSON project; payload files are resolved relative to the project
// file's folder.
std::unique_ptr<Demo> load_project(const std::string& project_path);

// A JSON project (a path ending in .json) or else a content file.
std::unique_ptr<Demo> load_project_or_content(const std::string& path);

// While alive, what is written to standard output goes to standard error:
// for commands whose standard output is their result while loading prints
// notes ("Loading file ...").
class StdoutToStderr {
public:
    StdoutToStderr();
    ~StdoutToStderr();
    StdoutToStderr(const StdoutToStderr&) = delete;
    StdoutToStderr& operator=(const StdoutToStderr&) = delete;

private:
    int saved_ = -1;
};

// The binary content stream of a demo.
std::string content_bytes(const Demo& demo);

// Whole-file helpers that throw ContentError with the path.
std::vector<uint8_t> read_whole_file(const std::string& path);
void write_whole_file(const std::string& path, const void* bytes, size_t size, bool executable = false);

