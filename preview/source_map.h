// Where a line of what the compiler saw came from. Fragment sources pull
// other programs' texts in through #include lines, so the compiler's line
// numbers count the expanded text; an author wants the file and line they
// typed. Also: the location in a JSON parse error.
#pragma once

#include <string>
#include <vector>

#include "render/shader_program.h"

struct SourceLine {
    std::string file;  // a program's fragment file name
    int line = 0;      // 1-based
};

struct MappedSource {
    std::string text;               // equals expand_includes(program, shaders)
    std::vector<SourceLine> lines;  // lines[i] is where line i + 1 of text came from
};

// The include expansion of `program` against `shaders`, done the same way as
// the build does it, with the origin of every resulting line.
MappedSource expand_includes_mapped(const ShaderProgram& program, const ShaderList& shaders);

struct SourceError {
    std::string file;
    int line = 0;    // 0: not known
    int column = 0;  // 0: not known
    std::string message;
    // "file:line:column: message", leaving out what is not known.
    std::string text() const;
};

// The errors of a compile or link log (drivers write "0:12(5): error: ...",
// "0(12) : error ...", "ERROR: 0:12: ..."), their lines mapped through `map`.
// Lines that name no place become errors of `fallback_file` without a line.
// Warnings are left out. Empty when the log reports no error.
std::vector<SourceError> compile_errors(const std::string& log, const MappedSource& map,
                                        const std::string& fallback_file);

// Line and column of "... at line L, column C ..." in a parser's message, 0 when absent.
void parse_error_location(const std::string& message, int& line, int& column);
