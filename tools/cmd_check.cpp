// qvtool check: will the demo's shaders compile on a strict driver, and does
// it ask the GL for more than common hardware gives?
#include <cstdio>

#include <nlohmann/json.hpp>

#include "check/portability_check.h"
#include "tools/command.h"
#include "tools/content_file.h"

namespace {

// Reading a project prints a line per source file it loads; standard output
// is the findings' (and --json's) alone.
std::unique_ptr<Demo> load_quietly(const std::string& path) {
    StdoutToStderr quiet;
    return load_project_or_content(path);
}

}  // namespace

int run_check(const std::vector<std::string>& args) {
    std::string path;
    bool json = false;
    for (const std::string& a : args) {
        if (a == "--json") json = true;
        else if (!a.empty() && a[0] == '-') return usage_error("check", "unknown option '" + a + "'");
        else if (path.empty()) path = a;
        else return usage_error("check", "unexpected argument '" + a + "'");
    }
    if (path.empty()) return usage_error("check", "no project or content file given");

    const auto demo = load_quietly(path);
    const std::vector<PortabilityFinding> findings = check_demo(*demo);
    const size_t errors = error_count(findings);
    const size_t warnings = findings.size() - errors;
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const PortabilityFinding& f : findings)
            list.push_back({{"record", f.record},
                            {"file", f.file},
                            {"line", f.line},
                            {"column", f.column},
                            {"severity", f.severity_name()},
                            {"message", f.message}});
        const nlohmann::ordered_json out = {
            {"findings", list}, {"errors", errors}, {"warnings", warnings}, {"programs", demo->shaders.size()}};
        std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        for (const PortabilityFinding& f : findings) std::printf("%s\n", f.text().c_str());
        std::printf("%s: %zu programs, %zu errors, %zu warnings\n", path.c_str(), demo->shaders.size(), errors,
                    warnings);
    }
    return errors > 0 ? 1 : 0;
}
