#include "preview/source_map.h"

#include <algorithm>
#include <cstdio>
#include <regex>

namespace {

int count_newlines(const std::string& text, size_t from, size_t to) {
    return static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(from),
                                       text.begin() + static_cast<std::ptrdiff_t>(to), '\n'));
}

std::vector<SourceLine> own_lines(const std::string& text, const std::string& file) {
    std::vector<SourceLine> lines;
    const int count = count_newlines(text, 0, text.size()) + 1;
    lines.reserve(static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i) lines.push_back({file, i});
    return lines;
}

bool is_warning_only(const std::string& line) {
    std::string lower(line);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("warning") != std::string::npos && lower.find("error") == std::string::npos;
}

}  // namespace

MappedSource expand_includes_mapped(const ShaderProgram& program, const ShaderList& shaders) {
    MappedSource out;
    out.text = program.fragment_shader_source;
    out.lines = own_lines(out.text, program.fragment_shader_filename);
    for (const auto& other : shaders) {
        if (!other || other.get() == &program) continue;
        const std::string directive = "#include \"" + other->fragment_shader_filename + "\"";
        const size_t at = out.text.find(directive);
        if (at == std::string::npos) continue;
        const std::string& inserted = other->fragment_shader_source;
        const size_t line_index = static_cast<size_t>(count_newlines(out.text, 0, at));
        const SourceLine directive_line = out.lines[line_index];
        std::vector<SourceLine> inserted_lines = own_lines(inserted, other->fragment_shader_filename);
        // The text after the directive joins the inserted text's last line; when
        // that line is empty (the text ends in a line break) it is the
        // directive's own line.
        if (!inserted.empty() && inserted.back() == '\n') inserted_lines.back() = directive_line;
        out.lines.erase(out.lines.begin() + static_cast<std::ptrdiff_t>(line_index));
        out.lines.insert(out.lines.begin() + static_cast<std::ptrdiff_t>(line_index), inserted_lines.begin(),
                         inserted_lines.end());
        out.text.replace(at, directive.size(), inserted);
    }
    return out;
}

std::string SourceError::text() const {
    std::string s = file;
    if (line > 0) s += ":" + std::to_string(line);
    if (line > 0 && column > 0) s += ":" + std::to_string(column);
    return s + ": " + message;
}

std::vector<SourceError> compile_errors(const std::string& log, const MappedSource& map,
                                        const std::string& fallback_file) {
    static const std::regex mesa(R"(^\s*\d+:(\d{1,9})\((\d{1,9})\):\s*(.*)$)");
    static const std::regex nvidia(R"(^\s*\d+\((\d{1,9})\)\s*:\s*(.*)$)");
    static const std::regex amd(R"(^\s*(?:ERROR|WARNING):\s*\d+:(\d{1,9}):\s*(.*)$)");
    std::vector<SourceError> errors;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 1;
        // A link after a failed compile only says that it failed.
        if (line.find("LINKER ERROR") != std::string::npos && !errors.empty()) break;
        if (line.find_first_not_of(" \t\r") == std::string::npos || is_warning_only(line)) continue;
        std::smatch m;
        SourceError e;
        int expanded_line = 0;
        if (std::regex_match(line, m, mesa)) {
            expanded_line = std::stoi(m[1]);
            e.column = std::stoi(m[2]);
            e.message = m[3];
        } else if (std::regex_match(line, m, nvidia) || std::regex_match(line, m, amd)) {
            expanded_line = std::stoi(m[1]);
            e.message = m[2];
        } else {
            e.message = line;
        }
        if (expanded_line > 0 && static_cast<size_t>(expanded_line) <= map.lines.size()) {
            e.file = map.lines[static_cast<size_t>(expanded_line) - 1].file;
            e.line = map.lines[static_cast<size_t>(expanded_line) - 1].line;
        } else {
            e.file = fallback_file;
            e.column = 0;
        }
        errors.push_back(std::move(e));
    }
    return errors;
}

void parse_error_location(const std::string& message, int& line, int& column) {
    line = column = 0;
    static const std::regex where(R"(line (\d{1,9}), column (\d{1,9}))");
    std::smatch m;
    if (std::regex_search(message, m, where)) {
        line = std::stoi(m[1]);
        column = std::stoi(m[2]);
    }
}
