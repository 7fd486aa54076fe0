#include "preview/reload_plan.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {
std::string resolve(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).lexically_normal().string();
}
}  // namespace

ReloadPlan plan_reload(const std::vector<std::string>& changed, const ShaderList& shaders, const std::string& folder) {
    ReloadPlan plan;
    if (changed.empty()) return plan;
    std::vector<bool> rebuild(shaders.size(), false);
    for (const std::string& path : changed) {
        bool is_source = false;
        for (size_t i = 0; i < shaders.size(); ++i) {
            if (!shaders[i]) continue;
            if (resolve(folder, shaders[i]->fragment_shader_filename) == path ||
                resolve(folder, shaders[i]->vertex_shader_filename) == path) {
                rebuild[i] = true;
                is_source = true;
            }
        }
        if (!is_source) {
            plan.full = true;
            return plan;
        }
    }
    // Programs whose text pulls a rebuilt one in are rebuilt too, and so on
    // outwards; the pass repeats until nothing new is marked (bounded by the
    // list length, as each pass marks at least one more).
    for (size_t pass = 0; pass < shaders.size(); ++pass) {
        bool marked = false;
        for (size_t i = 0; i < shaders.size(); ++i) {
            if (!rebuild[i] || !shaders[i]) continue;
            const std::string directive = "#include \"" + shaders[i]->fragment_shader_filename + "\"";
            for (size_t j = 0; j < shaders.size(); ++j) {
                if (j == i || rebuild[j] || !shaders[j]) continue;
                if (shaders[j]->fragment_shader_source.find(directive) != std::string::npos) {
                    rebuild[j] = true;
                    marked = true;
                }
            }
        }
        if (!marked) break;
    }
    for (size_t i = 0; i < shaders.size(); ++i)
        if (rebuild[i]) plan.programs.push_back(i);
    return plan;
}
