#include "preview/preview_load.h"

#include <GL/glew.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/playback_setup.h"
#include "render/render_gl.h"
#include "serialization/content_error.h"
#include "serialization/content_reader.h"
#include "serialization/content_trailer.h"
#include "serialization/demo.h"
#include "serialization/file_io.h"

namespace fs = std::filesystem;

namespace {

// The records print their own diagnostics (compile logs with the expanded
// line numbers, "Loading file ...") on standard output. The preview answers
// its control channel there, and prints each error once with the lines
// mapped back, so while it loads those go to standard error instead.
class StdoutToStderr {
public:
    StdoutToStderr() {
        std::fflush(stdout);
        saved_ = ::dup(1);
        if (saved_ >= 0) ::dup2(2, 1);
    }
    ~StdoutToStderr() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            ::dup2(saved_, 1);
            ::close(saved_);
        }
    }

private:
    int saved_ = -1;
};

struct Recorder {
    std::vector<std::string> files;
};

void note_read(const std::string& path, void* user) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    static_cast<Recorder*>(user)->files.push_back((ec ? fs::path(path) : p).lexically_normal().string());
}

class ObserveReads {
public:
    explicit ObserveReads(Recorder& r) { set_file_read_observer(note_read, &r); }
    ~ObserveReads() { set_file_read_observer(nullptr, nullptr); }
};

// "File not found: <path>" and its kin name the file at the end.
SourceError error_of(const std::string& what, const std::string& fallback_file) {
    SourceError e;
    e.file = fallback_file;
    e.message = what;
    for (const char* prefix : {"File not found: ", "cannot read ", "not a regular file: "}) {
        const size_t at = what.find(prefix);
        if (at != std::string::npos) {
            e.file = what.substr(at + std::strlen(prefix));
            e.message = "cannot read the file";
        }
    }
    parse_error_location(what, e.line, e.column);
    return e;
}

bool log_has_error(const ShaderProgram& program) {
    return !program.linked || program.compile_log.find("rror") != std::string::npos;
}

}  // namespace

void DemoGpuRelease::operator()(Demo* demo) const {
    if (!demo) return;
    release_demo_gpu(*demo);
    delete demo;
}

bool is_project_path(const std::string& path) { return fs::path(path).extension() == ".json"; }

std::vector<SourceError> program_errors(const ShaderProgram& program, const ShaderList& shaders) {
    if (!log_has_error(program)) return {};
    const MappedSource map = expand_includes_mapped(program, shaders);
    std::vector<SourceError> errors = compile_errors(program.compile_log, map, program.fragment_shader_filename);
    if (errors.empty()) errors.push_back({program.fragment_shader_filename, 0, 0, "the program does not link"});
    return errors;
}

PreviewLoad load_for_preview(const std::string& path, SDL_Window* window, SDL_GLContext context,
                             const std::string* project_text) {
    PreviewLoad out;
    Recorder recorder;
    const std::string absolute = fs::absolute(path).lexically_normal().string();
    recorder.files.push_back(absolute);
    DemoHandle demo(new Demo());
    try {
        StdoutToStderr quiet;
        ObserveReads observe(recorder);
        const std::vector<uint8_t> bytes = project_text ? std::vector<uint8_t>(project_text->begin(), project_text->end())
                                                        : read_file_or_throw(absolute);
        if (is_project_path(absolute)) {
            nlohmann::json json;
            try {
                json = nlohmann::json::parse(bytes.begin(), bytes.end());
            } catch (const nlohmann::json::exception& e) {
                throw ContentError(e.what());
            }
            WorkingDirectory folder(fs::path(absolute).parent_path());
            load_demo(*demo, [&](LoadHooks& hooks) { demo->from_json_with(json, hooks); }, nullptr, window, context);
        } else {
            const ContentSpan span = content_span(bytes.data(), bytes.size());
            load_demo(
                *demo,
                [&](LoadHooks& hooks) {
                    ContentReader in(bytes.data() + span.offset, span.size);
                    demo->read_with(in, hooks);
                },
                nullptr, window, context);
        }
        if (!demo->graph) throw ContentError("the project has no graph");
    } catch (const std::exception& e) {
        out.errors.push_back(error_of(e.what(), absolute));
        // What was read before the failure is on the GPU already; the
        // handle frees it.
        demo.reset();
    }
    if (demo)
        for (const auto& program : demo->shaders)
            if (program)
                for (SourceError& e : program_errors(*program, demo->shaders)) out.errors.push_back(std::move(e));
    out.files = std::move(recorder.files);
    out.demo = std::move(demo);
    return out;
}

std::vector<SourceError> rebuild_programs_in_place(Demo& demo, const std::vector<size_t>& indices,
                                                   const std::string& folder) {
    std::vector<SourceError> errors;
    ShaderList& list = demo.shaders;
    // New sources in fresh programs that stand in the list while they build,
    // so includes see the new texts; the running ones wait aside.
    std::vector<std::unique_ptr<ShaderProgram>> fresh;
    for (size_t i : indices) {
        auto program = std::make_unique<ShaderProgram>();
        const ShaderProgram& live = *list.at(i);
        program->vertex_shader_filename = live.vertex_shader_filename;
        program->fragment_shader_filename = live.fragment_shader_filename;
        program->uniform_defs = live.uniform_defs;
        for (auto [name, source] : {std::pair{&live.vertex_shader_filename, &program->vertex_shader_source},
                                    std::pair{&live.fragment_shader_filename, &program->fragment_shader_source}}) {
            try {
                auto bytes = try_read_file((fs::path(folder) / *name).string());
                if (!bytes) {
                    errors.push_back({*name, 0, 0, "cannot read the file"});
                    continue;
                }
                source->assign(bytes->begin(), bytes->end());
            } catch (const std::exception& e) {
                errors.push_back({*name, 0, 0, e.what()});
            }
        }
        fresh.push_back(std::move(program));
    }
    if (!errors.empty()) return errors;
    for (size_t k = 0; k < indices.size(); ++k) list[indices[k]].swap(fresh[k]);
    {
        StdoutToStderr quiet;
        for (size_t k = 0; k < indices.size(); ++k) build_program(*list[indices[k]], &list);
    }
    for (size_t i : indices)
        for (SourceError& e : program_errors(*list[i], list)) errors.push_back(std::move(e));
    // Back into place; `fresh` now holds the new builds.
    for (size_t k = 0; k < indices.size(); ++k) list[indices[k]].swap(fresh[k]);
    if (!errors.empty()) {
        for (auto& program : fresh) {
            glDeleteProgram(program->gl_program);
            glDeleteShader(program->gl_vertex_shader);
            glDeleteShader(program->gl_fragment_shader);
        }
        return errors;
    }
    for (size_t k = 0; k < indices.size(); ++k) {
        ShaderProgram& live = *list[indices[k]];
        glDeleteProgram(live.gl_program);
        glDeleteShader(live.gl_vertex_shader);
        glDeleteShader(live.gl_fragment_shader);
        live = std::move(*fresh[k]);
        // Quads are bound to the program's position attribute.
        for (auto& effect : demo.effects)
            if (effect->program == &live) create_targets(*effect);
    }
    return errors;
}
