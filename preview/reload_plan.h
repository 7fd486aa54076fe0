// What a save asks for. Shader sources that changed are rebuilt in place,
// with the programs that include them, so the graph keeps its state; any
// other file (the project, an image, a sample, the music...) means reading
// the whole project again.
#pragma once

#include <string>
#include <vector>

#include "render/shader_program.h"

struct ReloadPlan {
    bool full = false;             // read the whole project again
    std::vector<size_t> programs;  // else: rebuild these, in list order
};

// `changed`: absolute paths of the files that changed. `folder`: the
// project's folder, against which program file names are resolved.
// Nothing changed that the demo uses gives an empty plan.
ReloadPlan plan_reload(const std::vector<std::string>& changed, const ShaderList& shaders, const std::string& folder);
