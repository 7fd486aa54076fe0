// qvtool unpack: a content stream (or packed executable) back to a JSON
// project whose payloads are files beside it.
#include <cstdio>
#include <filesystem>
#include <map>

#include "serialization/file_io.h"
#include "tools/command.h"
#include "tools/content_file.h"

namespace fs = std::filesystem;

namespace {

// Every file the external-files form would write, with its bytes. Records name
// their own files, so two records may name the same path with different
// bytes, or a path that is unsafe to write; the project is then written with
// the payloads embedded instead, so nothing is lost.
struct PayloadPlan {
    std::map<std::string, const std::vector<uint8_t>*> files;
    std::vector<std::string> conflicts;

    void add(const std::string& path, const std::vector<uint8_t>& bytes) {
        auto [it, inserted] = files.emplace(path, &bytes);
        if (!inserted && *it->second != bytes) conflicts.push_back(path + " (named by two records with different bytes)");
        const fs::path p(path);
        bool unsafe = path.empty() || p.is_absolute();
        for (const auto& part : p)
            if (part == "..") unsafe = true;
        if (unsafe) conflicts.push_back("'" + path + "' (not a safe relative path)");
    }
};

// Sources are held as strings; keep their bytes alive for the comparison.
PayloadPlan plan_payloads(const Demo& demo, std::vector<std::vector<uint8_t>>& source_bytes) {
    PayloadPlan plan;
    source_bytes.reserve(demo.shaders.size() * 2);
    for (const auto& p : demo.shaders) {
        source_bytes.emplace_back(p->vertex_shader_source.begin(), p->vertex_shader_source.end());
        plan.add(p->vertex_shader_filename, source_bytes.back());
        source_bytes.emplace_back(p->fragment_shader_source.begin(), p->fragment_shader_source.end());
        plan.add(p->fragment_shader_filename, source_bytes.back());
    }
    for (const auto& t : demo.textures) plan.add(t->name, t->image.data);
    for (const auto& f : demo.fonts) plan.add(f->filename, f->font_data.data);
    for (const auto& s : demo.audio_samples) plan.add(s->name, s->buffer.data);
    for (const auto& d : demo.datas) plan.add(d->name, d->buffer.data);
    for (const auto& m : demo.models) plan.add(m->filename, m->buffer.data);
    plan.add(kExternalMusicPath, demo.music.data);
    return plan;
}

}  // namespace

int run_unpack(const std::vector<std::string>& args) {
    std::string input, output;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) return usage_error("unpack", a + " needs a value");
            output = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return usage_error("unpack", "unknown option '" + a + "'");
        } else if (input.empty()) {
            input = a;
        } else {
            return usage_error("unpack", "unexpected argument '" + a + "'");
        }
    }
    if (input.empty()) return usage_error("unpack", "no content file given");
    if (output.empty()) return usage_error("unpack", "no output folder given (-o DIR)");

    auto demo = load_content_file(input);
    std::vector<std::vector<uint8_t>> source_bytes;
    const PayloadPlan plan = plan_payloads(*demo, source_bytes);
    const bool external = plan.conflicts.empty();
    for (const std::string& c : plan.conflicts)
        std::fprintf(stderr, "qvtool unpack: embedding payloads in the project: %s\n", c.c_str());

    fs::create_directories(output);
    {
        const WorkingDirectory in_output(output);
        const std::string text = demo->to_json(external).dump(2) + "\n";
        write_file("project.json", text.data(), text.size());
    }
    std::printf("wrote %s/project.json%s\n", output.c_str(),
                external ? " and its resource files" : " (payloads embedded)");
    return 0;
}
