#include "check/portability_check.h"

#include <glslang/Include/Types.h>
#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <set>

#include "check/lax_driver_habits.h"
#include "nodes/graph.h"
#include "nodes/node_type.h"
#include "preview/source_map.h"
#include "render/font_texture.h"
#include "render/texture.h"
#include "serialization/demo.h"

namespace {

using Severity = PortabilityFinding::Severity;

void init_front_end() {
    // The front end builds its built-in symbol tables once per process.
    static std::once_flag once;
    std::call_once(once, [] { glslang::InitializeProcess(); });
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return lines;
        start = end + 1;
    }
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

struct GlslVersion {
    int number = 0;  // 0: no #version line
    bool compatibility = false;
};

GlslVersion glsl_version(const std::vector<std::string>& lines) {
    GlslVersion v;
    for (const std::string& raw : lines) {
        const std::string line = trim(raw);
        if (line.rfind("#", 0) != 0) continue;
        const std::string directive = trim(line.substr(1));
        if (directive.rfind("version", 0) != 0) continue;
        const std::string rest = trim(directive.substr(7));
        int n = 0;
        size_t i = 0;
        while (i < rest.size() && i < 4 && rest[i] >= '0' && rest[i] <= '9') n = n * 10 + (rest[i++] - '0');
        v.number = n > 0 ? n : 110;
        v.compatibility = rest.find("compatibility") != std::string::npos;
        return v;
    }
    return v;
}

// One stage's text with the origin of every line: what the compiler saw, and
// where the author typed it.
struct StageSource {
    EShLanguage stage;
    const MappedSource* map;
    std::vector<std::string> lines;  // of map->text
};

SourceLine origin(const StageSource& s, int line) {
    if (line < 1 || static_cast<size_t>(line) > s.map->lines.size()) return {};
    return s.map->lines[static_cast<size_t>(line) - 1];
}

// The column of the word the message quotes, found on the line it names.
int column_of_quoted(const StageSource& s, int line, const std::string& message) {
    const size_t open = message.find('\'');
    const size_t close = open == std::string::npos ? open : message.find('\'', open + 1);
    if (close == std::string::npos || close == open + 1) return 0;
    if (line < 1 || static_cast<size_t>(line) > s.lines.size()) return 0;
    const size_t at = s.lines[static_cast<size_t>(line) - 1].find(message.substr(open + 1, close - open - 1));
    return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

bool read_number(const std::string& s, size_t& at, int& out) {
    size_t end = at;
    while (end < s.size() && end - at < 9 && s[end] >= '0' && s[end] <= '9') ++end;
    if (end == at) return false;
    out = std::stoi(s.substr(at, end - at));
    at = end;
    return true;
}

// The front end's log: "ERROR: 0:12: 'x' : message", "WARNING: 0:3: message",
// "ERROR: Linking fragment stage: message", and summary lines that are left
// out. `stage` is null for a link log.
void read_log(const std::string& log, const StageSource* stage, const std::string& record,
              const std::string& fallback_file, std::vector<PortabilityFinding>& out) {
    for (const std::string& raw : split_lines(log)) {
        const std::string line = trim(raw);
        PortabilityFinding f;
        f.record = record;
        size_t at = 0;
        if (line.rfind("ERROR: ", 0) == 0) {
            f.severity = Severity::error;
            at = 7;
        } else if (line.rfind("WARNING: ", 0) == 0) {
            f.severity = Severity::warning;
            at = 9;
        } else {
            continue;
        }
        int string_no = 0, line_no = 0;
        size_t p = at;
        if (read_number(line, p, string_no) && p < line.size() && line[p] == ':' && read_number(line, ++p, line_no) &&
            p < line.size() && line[p] == ':') {
            f.message = trim(line.substr(p + 1));
        } else {
            line_no = 0;
            f.message = trim(line.substr(at));
        }
        if (f.message.find("compilation terminated") != std::string::npos) continue;
        if (f.message.find("compilation errors.") != std::string::npos) continue;
        // Extensions are reported once, by what they mean for portability,
        // not by what this front end itself implements.
        if (f.message.rfind("'#extension'", 0) == 0) continue;
        if (stage && line_no > 0) {
            const SourceLine from = origin(*stage, line_no);
            f.file = from.file;
            f.line = from.line;
            if (!f.file.empty()) f.column = column_of_quoted(*stage, line_no, f.message);
        }
        if (f.file.empty()) f.file = fallback_file;
        if (f.is_error()) {
            const std::string hint = lax_habit_hint(f.message);
            if (!hint.empty()) f.message += " (" + hint + ")";
        }
        out.push_back(std::move(f));
    }
}

// The text as the compiler sees it after its preprocessor, line for line
// with the source: code that #if leaves out is gone, macros are expanded.
// The source itself when preprocessing fails (the compile reports why).
std::string preprocessed(const StageSource& s) {
    glslang::TShader shader(s.stage);
    const char* text = s.map->text.c_str();
    const int length = static_cast<int>(std::min<size_t>(s.map->text.size(), INT_MAX));
    shader.setStringsWithLengths(&text, &length, 1);
    glslang::TShader::ForbidIncluder no_includes;
    std::string out;
    if (!shader.preprocess(GetDefaultResources(), 110, ENoProfile, false, false, EShMsgOnlyPreprocessor, &out,
                           no_includes))
        return s.map->text;
    return out;
}

void check_source_habits(const StageSource& s, const GlslVersion& version, const std::string& record,
                         const std::string& own_file, std::vector<PortabilityFinding>& out) {
    if (version.number == 0) {
        out.push_back({Severity::warning, record, own_file, 1, 0,
                       "no #version line: strict drivers read the source as GLSL 1.10 (portable: begin with "
                       "#version 150)"});
    } else if (version.number >= 140 && !version.compatibility) {
        for (const LegacyUse& use : legacy_builtins_in_core(preprocessed(s))) {
            const SourceLine from = origin(s, use.line);
            // Columns of the preprocessed text are not the author's: find the
            // word on the line as typed (absent when a macro brought it in).
            int column = 0;
            if (use.line >= 1 && static_cast<size_t>(use.line) <= s.lines.size()) {
                const size_t quote = use.message.find('\'', 1);
                const size_t at = s.lines[static_cast<size_t>(use.line) - 1].find(use.message.substr(1, quote - 1));
                if (at != std::string::npos) column = static_cast<int>(at) + 1;
            }
            out.push_back({Severity::error, record, from.file.empty() ? own_file : from.file, from.line, column,
                           use.message});
        }
    }
    for (size_t i = 0; i < s.lines.size(); ++i) {
        const std::string line = trim(s.lines[i]);
        if (line.rfind("#", 0) != 0 || trim(line.substr(1)).rfind("extension", 0) != 0) continue;
        const std::string body = trim(trim(line.substr(1)).substr(9));
        const size_t colon = body.find(':');
        const std::string name = trim(body.substr(0, colon));
        const std::string behaviour = colon == std::string::npos ? "" : trim(body.substr(colon + 1));
        if (name.empty() || behaviour == "disable") continue;
        const SourceLine from = origin(s, static_cast<int>(i) + 1);
        out.push_back({Severity::warning, record, from.file, from.line, 0,
                       "enables " + name + ": a driver without it " +
                           (behaviour == "require" ? std::string("refuses the shader")
                                                   : std::string("may draw it differently"))});
    }
}

int components_of(const glslang::TType& type) {
    const int one = type.isMatrix() ? type.getMatrixCols() * type.getMatrixRows() : std::max(1, type.getVectorSize());
    const int elements = type.isArray() ? std::max(1, type.getCumulativeArraySize()) : 1;
    return one * elements;
}

void check_resources(glslang::TProgram& linked, const std::string& record, std::vector<PortabilityFinding>& out) {
    if (!linked.buildReflection()) return;
    int samplers = 0, vertex_components = 0, fragment_components = 0;
    for (int i = 0; i < linked.getNumUniformVariables(); ++i) {
        const glslang::TObjectReflection& u = linked.getUniform(i);
        const glslang::TType* type = u.getType();
        if (!type) continue;
        if (type->getBasicType() == glslang::EbtSampler) {
            samplers += std::max(1, u.size);
            continue;
        }
        if (u.index >= 0) continue;  // a block member: blocks have limits of their own
        const int n = type->isArray() ? components_of(*type) : components_of(*type) * std::max(1, u.size);
        if (u.stages & EShLangVertexMask) vertex_components += n;
        if (u.stages & EShLangFragmentMask) fragment_components += n;
    }
    if (samplers > kMaxPortableSamplerUnits)
        out.push_back({Severity::warning, record, "", 0, 0,
                       std::to_string(samplers) + " sampler units in one program, more than the " +
                           std::to_string(kMaxPortableSamplerUnits) + " every GL 3.0 driver gives"});
    const std::pair<const char*, int> stages[] = {{"vertex", vertex_components}, {"fragment", fragment_components}};
    for (const auto& [name, n] : stages)
        if (n > kMaxPortableUniformComponents)
            out.push_back({Severity::warning, record, "", 0, 0,
                           std::to_string(n) + " uniform components in the " + name + " shader, more than the " +
                               std::to_string(kMaxPortableUniformComponents) + " every GL 3.0 driver gives"});
}

std::unique_ptr<glslang::TShader> compile(const StageSource& s, const std::string& record, const std::string& file,
                                          std::vector<PortabilityFinding>& out, bool& ok) {
    auto shader = std::make_unique<glslang::TShader>(s.stage);
    const char* text = s.map->text.c_str();
    const int length = static_cast<int>(std::min<size_t>(s.map->text.size(), INT_MAX));
    shader->setStringsWithLengths(&text, &length, 1);
    // Desktop GLSL, no target environment: the rules of an OpenGL driver, not
    // those of SPIR-V. A source without #version is read as 1.10, as drivers do.
    ok = shader->parse(GetDefaultResources(), 110, false, EShMsgDefault);
    read_log(shader->getInfoLog(), &s, record, file, out);
    return shader;
}

MappedSource own_source(const std::string& text, const std::string& file) {
    MappedSource m;
    m.text = text;
    const std::vector<std::string> lines = split_lines(text);
    for (size_t i = 0; i < lines.size(); ++i) m.lines.push_back({file, static_cast<int>(i) + 1});
    return m;
}

std::string shader_record(const ShaderProgram& p) { return "shader " + p.fragment_shader_filename; }

bool is_included_by_another(const ShaderProgram& program, const ShaderList& shaders) {
    const std::string directive = "#include \"" + program.fragment_shader_filename + "\"";
    for (const auto& other : shaders)
        if (other && other.get() != &program && other->fragment_shader_source.find(directive) != std::string::npos)
            return true;
    return false;
}

std::string node_record(const Nodes::GraphNode& node) {
    return "graph node " + std::to_string(node.id) + " (" + (node.def ? node.def->name : node.stored_type_name) + ")";
}

void check_limits(const Demo& demo, std::vector<PortabilityFinding>& out) {
    const auto too_big = [](long long w, long long h) {
        return w > kMaxPortableTextureSize || h > kMaxPortableTextureSize;
    };
    const std::string limit = std::to_string(kMaxPortableTextureSize);
    for (const auto& t : demo.textures) {
        if (!t || t->image.empty() || t->image.size() > static_cast<size_t>(INT_MAX)) continue;
        int w = 0, h = 0, channels = 0;
        if (!stbi_info_from_memory(t->image.data.data(), static_cast<int>(t->image.size()), &w, &h, &channels))
            continue;  // an undecodable picture is the media check's to report
        if (too_big(w, h))
            out.push_back({Severity::warning, "texture " + t->name, "", 0, 0,
                           std::to_string(w) + "x" + std::to_string(h) + " picture: over " + limit +
                               " pixels a side, which not every GPU takes"});
    }
    for (const auto& ft : demo.font_textures)
        if (ft && too_big(ft->width, ft->height))
            out.push_back({Severity::warning, "font texture " + ft->name, "", 0, 0,
                           std::to_string(ft->width) + "x" + std::to_string(ft->height) + " picture: over " + limit +
                               " pixels a side, which not every GPU takes"});
    if (!demo.graph) return;
    for (const auto& node : demo.graph->nodes) {
        if (!node || !node->def) continue;
        const auto& defs = node->def->inputs;
        for (size_t i = 0; i < defs.size() && i < node->inputs.size(); ++i) {
            const Nodes::MaybeValue& v = node->inputs[i];
            if (defs[i].name != "size" || defs[i].type != Nodes::kind_ivec2 || !v.hasValue) continue;
            const int w = v.value.as_int(0), h = v.value.as_int(1);
            if (too_big(w, h))
                out.push_back({Severity::warning, node_record(*node), "", 0, 0,
                               "render target " + std::to_string(w) + "x" + std::to_string(h) + ": over " + limit +
                                   " pixels a side, which not every GPU takes"});
        }
    }
}

}  // namespace

std::vector<PortabilityFinding> check_program(const ShaderProgram& program, const ShaderList& shaders) {
    init_front_end();
    std::vector<PortabilityFinding> out;
    const std::string record = shader_record(program);

    const MappedSource vertex_map = own_source(program.vertex_shader_source, program.vertex_shader_filename);
    const MappedSource fragment_map = expand_includes_mapped(program, shaders);
    const StageSource stages[] = {{EShLangVertex, &vertex_map, split_lines(vertex_map.text)},
                                  {EShLangFragment, &fragment_map, split_lines(fragment_map.text)}};
    const std::string files[] = {program.vertex_shader_filename, program.fragment_shader_filename};

    std::unique_ptr<glslang::TShader> compiled[2];
    bool all_ok = true;
    for (int i = 0; i < 2; ++i) {
        check_source_habits(stages[i], glsl_version(stages[i].lines), record, files[i], out);
        bool ok = false;
        compiled[i] = compile(stages[i], record, files[i], out, ok);
        all_ok = all_ok && ok;
    }
    if (!all_ok) return out;
    // The program outlives nothing it points to: declared after the shaders,
    // it is destroyed first.
    glslang::TProgram linked;
    linked.addShader(compiled[0].get());
    linked.addShader(compiled[1].get());
    const bool link_ok = linked.link(EShMsgDefault);
    read_log(linked.getInfoLog(), nullptr, record, program.fragment_shader_filename, out);
    if (link_ok) check_resources(linked, record, out);
    return out;
}

std::vector<PortabilityFinding> check_demo(const Demo& demo) {
    std::vector<PortabilityFinding> all;
    for (const auto& program : demo.shaders) {
        if (!program || is_included_by_another(*program, demo.shaders)) continue;
        for (PortabilityFinding& f : check_program(*program, demo.shaders)) all.push_back(std::move(f));
    }
    check_limits(demo, all);
    // Programs that share a vertex source or an included one meet its faults
    // once each: say them once.
    std::vector<PortabilityFinding> unique;
    std::set<std::string> seen;
    for (PortabilityFinding& f : all)
        if (seen.insert(f.file.empty() ? f.record + "\n" + f.text() : f.text()).second) unique.push_back(std::move(f));
    return unique;
}

size_t error_count(const std::vector<PortabilityFinding>& findings) {
    return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                             [](const PortabilityFinding& f) { return f.is_error(); }));
}
