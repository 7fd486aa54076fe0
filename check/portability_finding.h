// PortabilityFinding: one thing a strict driver, or a modest GPU, may refuse
// in a demo: a shader line, a limit, an extension. Made by the portability
// check (check/portability_check.h), printed by qvtool and the preview.
#pragma once

#include <string>

struct PortabilityFinding {
    enum class Severity { warning, error };

    Severity severity = Severity::warning;
    std::string record;  // what it belongs to: "shader resources/a.frag", "texture sky.png", ...
    std::string file;    // source file, empty when the finding has no source place
    int line = 0;        // 1-based; 0: not known
    int column = 0;      // 1-based; 0: not known
    std::string message;

    bool is_error() const { return severity == Severity::error; }
    const char* severity_name() const { return is_error() ? "error" : "warning"; }

    // "FILE:LINE:COLUMN: error: message" (the parts that are known), or
    // "RECORD: warning: message" when there is no source place.
    std::string text() const {
        std::string place = file.empty() ? record : file;
        if (!file.empty() && line > 0) place += ":" + std::to_string(line);
        if (!file.empty() && line > 0 && column > 0) place += ":" + std::to_string(column);
        return place + ": " + severity_name() + ": " + message;
    }

    bool operator==(const PortabilityFinding&) const = default;
};
