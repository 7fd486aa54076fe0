#include "preview/source_map.h"

#include <algorithm>
#include <cstdio>

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

// A small reader over one log line; the log formats are simple enough that
// a cursor says them more plainly than patterns would.
struct Cursor {
    const std::string& text;
    size_t at = 0;
    void spaces() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    }
    bool literal(const char* word) {
        const size_t n = std::char_traits<char>::length(word);
        if (text.compare(at, n, word) != 0) return false;
        at += n;
        return true;
    }
    // 1 to `max_digits` digits; longer runs are no number.
    bool number(int& out, size_t max_digits = 9) {
        size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end == at || end - at > max_digits) return false;
        out = std::stoi(text.substr(at, end - at));
        at = end;
        return true;
    }
    std::string rest() {
        spaces();
        return text.substr(std::min(at, text.size()));
    }
};

// "0:12(5): message" (Mesa), "0(12) : message" (NVIDIA), "ERROR: 0:12: message" (AMD).
bool parse_log_line(const std::string& line, int& line_no, int& column, std::string& message) {
    int file = 0;
    Cursor c{line};
    c.spaces();
    if (c.number(file)) {
        const size_t after_file = c.at;
        if (c.literal(":") && c.number(line_no) && c.literal("(") && c.number(column) && c.literal("):")) {
            message = c.rest();
            return true;
        }
        c.at = after_file;
        column = 0;
        if (c.literal("(") && c.number(line_no) && c.literal(")")) {
            c.spaces();
            if (c.literal(":")) {
                message = c.rest();
                return true;
            }
        }
        return false;
    }
    if (c.literal("ERROR:") || c.literal("WARNING:")) {
        c.spaces();
        column = 0;
        if (c.number(file) && c.literal(":") && c.number(line_no) && c.literal(":")) {
            message = c.rest();
            return true;
        }
    }
    return false;
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
        SourceError e;
        int expanded_line = 0;
        if (!parse_log_line(line, expanded_line, e.column, e.message)) {
            expanded_line = 0;
            e.column = 0;
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
    for (size_t at = message.find("line "); at != std::string::npos; at = message.find("line ", at + 1)) {
        Cursor c{message, at + 5};
        int l = 0, col = 0;
        if (c.number(l) && c.literal(", column ") && c.number(col)) {
            line = l;
            column = col;
            return;
        }
    }
}
