// qvtool import-shader: an image shader from elsewhere into a project, as a
// program drawn by the graph.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "serialization/content_error.h"
#include "render/shader_program.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/shader_import.h"
#include "tools/wav_file.h"

namespace fs = std::filesystem;

namespace {

bool valid_name(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    return std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '-'; });
}

// A file name stem made into a program name: anything but letters, digits,
// '_' and '-' becomes '_'.
std::string name_from_file(const std::string& path) {
    std::string stem = fs::path(path).stem().string();
    for (char& c : stem)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) c = '_';
    if (stem.size() > 64) stem.resize(64);
    return stem.empty() ? "imported" : stem;
}

// Image shaders are a few kilobytes; anything past this is no shader text
// and is refused before it is read.
constexpr uintmax_t kMaxShaderBytes = 1 << 20;

std::string file_text(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > kMaxShaderBytes)
        throw ContentError(path + ": " + std::to_string(size) + " bytes is too large for a shader (at most 1 MB)");
    const std::vector<uint8_t> bytes = read_whole_file(path);
    return std::string(bytes.begin(), bytes.end());
}

// Lower-case letters and digits of a file's stem.
std::string squeezed_stem(const fs::path& p) {
    std::string out;
    for (char c : p.stem().string())
        if (std::isalnum(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The part of a squeezed stem before "buffera".."bufferd" or "bufa".."bufd",
// or nothing when it names no buffer pass.
std::optional<std::string> buffer_prefix(const std::string& stem) {
    for (const char* word : {"buffer", "buf"}) {
        const size_t n = std::char_traits<char>::length(word) + 1;
        if (stem.size() >= n && stem.compare(stem.size() - n, n - 1, word) == 0 && stem.back() >= 'a' &&
            stem.back() <= 'd')
            return stem.substr(0, stem.size() - n);
    }
    return std::nullopt;
}

// Buffer passes of the same shader beside its file ("image.glsl" and
// "buffer_a.glsl", "tunnel.glsl" and "tunnel_buf_b.glsl"): the player has no
// passes that feed one another, so they are named, not imported.
std::vector<std::string> buffer_passes_beside(const std::string& shader_path) {
    std::vector<std::string> found;
    std::string own = squeezed_stem(shader_path);
    for (const char* tail : {"image", "img"}) {
        const size_t n = std::char_traits<char>::length(tail);
        if (own.size() >= n && own.compare(own.size() - n, n, tail) == 0) {
            own.resize(own.size() - n);
            break;
        }
    }
    std::error_code ec;
    const fs::path folder = fs::absolute(shader_path).parent_path();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->path().filename() == fs::path(shader_path).filename()) continue;
        const auto prefix = buffer_prefix(squeezed_stem(it->path()));
        if (prefix && *prefix == own) found.push_back(it->path().filename().string());
        if (found.size() >= 4) break;
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

std::string imported_fragment_path(const std::string& name) { return "resources/" + name + ".frag"; }

float project_seconds_per_beat(const ProjectJson& project) {
    float bpm = Demo().bpm;
    if (project.contains("bpm") && project["bpm"].is_number()) bpm = project["bpm"].get<float>();
    if (!(bpm > 0.0f && bpm < 10000.0f)) bpm = Demo().bpm;
    return 60.0f / bpm;
}

ImageShader write_image_program(const std::string& folder, const std::string& name, const std::string& image,
                                const std::string& common, float seconds_per_beat) {
    ImageShader shader = wrap_image_shader(image, common, name, seconds_per_beat);
    const fs::path resources = fs::path(folder) / "resources";
    std::error_code ec;
    fs::create_directories(resources, ec);
    if (ec) throw ContentError("cannot make " + resources.string());
    const fs::path vertex = fs::path(folder) / kImportVertexPath;
    if (!fs::exists(vertex, ec)) {
        const std::string text = kDefaultVertexSource;
        write_whole_file(vertex.string(), text.data(), text.size());
    }
    const fs::path fragment = fs::path(folder) / imported_fragment_path(name);
    write_whole_file(fragment.string(), shader.source.data(), shader.source.size());
    return shader;
}

ProjectJson& add_program_node(ProjectJson& project, const std::string& name, const ProjectJson& uniform_defs) {
    const std::string path = imported_fragment_path(name);
    // What is there but not of the expected form is refused, not replaced:
    // an edit must not lose anything the project held.
    auto require = [&](const ProjectJson& parent, const char* key, bool array, const char* what) {
        if (parent.contains(key) && (array ? !parent[key].is_array() : !parent[key].is_object()))
            throw ContentError(std::string("the project's ") + what + " is not " + (array ? "an array" : "an object"));
    };
    require(project, "shaders", true, "\"shaders\"");
    require(project, "graph", false, "\"graph\"");
    if (project.contains("graph")) require(project["graph"], "nodes", true, "graph's \"nodes\"");
    if (!project.contains("shaders")) project["shaders"] = ProjectJson::array();
    project["shaders"].push_back({{"vertex_shader_filename", kImportVertexPath},
                                  {"fragment_shader_filename", path},
                                  {"uniform_defs", uniform_defs}});

    if (!project.contains("graph")) project["graph"] = ProjectJson::object();
    ProjectJson& graph = project["graph"];
    if (!graph.contains("nodes")) graph["nodes"] = ProjectJson::array();
    ProjectJson& nodes = graph["nodes"];
    GraphIds ids(graph);

    ProjectJson* root = nullptr;
    double x = 40, y = 40;
    for (ProjectJson& n : nodes) {
        if (!n.is_object()) continue;
        if (graph.contains("root") && n.contains("id") && n["id"] == graph["root"]) root = &n;
        if (n.contains("posY") && n["posY"].is_number()) y = std::max(y, n["posY"].get<double>() + 160);
    }
    if (root && root->contains("posX") && (*root)["posX"].is_number()) x = (*root)["posX"].get<double>() + 240;
    if (nodes.empty()) y = 40;

    ProjectJson inputs = program_node_inputs();
    for (const ProjectJson& d : uniform_defs)
        inputs.push_back(present_value(kKindFloat, d.value("default_val", 0.0)));
    ProjectJson node = make_node(ids, path, inputs, 1, x, y, false);
    // The root's chain draws first and this program last, over the screen: an
    // import shows at once and the picture before it is still there beneath.
    if (root) add_activation_link(ids, *root, node);
    const ProjectJson id = node["id"];
    nodes.push_back(std::move(node));
    // Last: a new key moves the graph's other members (and `nodes`) in memory.
    if (!root) graph["root"] = id;
    return graph["nodes"].back();
}

int run_import_shader(const std::vector<std::string>& args) {
    std::string shader_path, project_path, name, common_path;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--name" || a == "--common") && i + 1 >= args.size())
            return usage_error("import-shader", a + " needs a value");
        if (a == "--name") name = args[++i];
        else if (a == "--common") common_path = args[++i];
        else if (!a.empty() && a[0] == '-') return usage_error("import-shader", "unknown option '" + a + "'");
        else if (shader_path.empty()) shader_path = a;
        else if (project_path.empty()) project_path = a;
        else return usage_error("import-shader", "unexpected argument '" + a + "'");
    }
    if (shader_path.empty()) return usage_error("import-shader", "no shader file given");
    if (project_path.empty()) return usage_error("import-shader", "no project file given");
    if (name.empty()) name = name_from_file(shader_path);
    else if (!valid_name(name))
        return usage_error("import-shader", "a name is 1 to 64 letters, digits, '_' or '-', not '" + name + "'");

    const std::string image = file_text(shader_path);
    const std::string common = common_path.empty() ? std::string() : file_text(common_path);

    std::error_code ec;
    const bool existing = fs::exists(project_path, ec);
    ProjectJson project = existing ? read_project_json(project_path) : empty_project(120, 64);
    const std::string folder = fs::absolute(project_path).parent_path().string();
    const std::string fragment = imported_fragment_path(name);
    if (project.contains("shaders") && project["shaders"].is_array())
        for (const ProjectJson& s : project["shaders"])
            if (s.is_object() && s.value("fragment_shader_filename", std::string()) == fragment)
                throw ContentError("the project already has a program " + fragment + " (choose another --name)");
    if (fs::exists(fs::path(folder) / fragment, ec))
        throw ContentError(fragment + " already exists beside the project (choose another --name)");
    // A new project gets a moment of silence as its music, where the project
    // form keeps it, so that it packs; real music replaces the file.
    const bool needs_music = !existing && !fs::exists(fs::path(folder) / kExternalMusicPath, ec);

    // Everything that can be refused is refused before anything is written.
    if (!wrap_image_shader(image, common, name, 0.5f).drawable)
        throw ContentError(shader_path + ": no mainImage (and no main): not an image shader");
    const float seconds_per_beat = project_seconds_per_beat(project);
    add_program_node(project, name);
    const std::string project_text = project_json_text(project);
    ImageShader shader = write_image_program(folder, name, image, common, seconds_per_beat);
    if (needs_music) {
        const std::vector<uint8_t> silence = wav_file_bytes(std::vector<int16_t>(22050 / 2), 22050);
        write_whole_file((fs::path(folder) / kExternalMusicPath).string(), silence.data(), silence.size());
    }
    replace_file(project_path, project_text);

    if (buffer_prefix(squeezed_stem(shader_path)))
        shader.unmapped.push_back(fs::path(shader_path).filename().string() + " is a buffer pass, not the image");
    for (const std::string& pass : buffer_passes_beside(shader_path))
        shader.unmapped.push_back("buffer pass " + pass);
    std::printf("wrote %s and added its program node to %s%s\n", fragment.c_str(), project_path.c_str(),
                existing ? "" : " (a new project)");
    if (!shader.unmapped.empty())
        std::fprintf(stderr, "qvtool import-shader: warning: not mapped (the rest is written): %s\n",
                     describe_unmapped(shader).c_str());
    return 0;
}
