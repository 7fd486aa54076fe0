// qvtool info: a short human summary of a content file, with warnings for
// what playback will not find.
#include <algorithm>
#include <cstdio>
#include <map>

#include "check/portability_check.h"
#include "nodes/node_type.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/media_check.h"

namespace {

template <typename List>
void collect_unresolved(const List& list, std::vector<std::string>& warnings) {
    for (const auto& element : list)
        for (const std::string& line : element->unresolved()) warnings.push_back(line);
}

}  // namespace

int run_info(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage_error("info", args.empty() ? "no content file given" : "too many arguments");
    const std::string& path = args[0];
    size_t content_size = 0;
    auto demo = load_content_file(path, &content_size);
    const Demo& d = *demo;

    std::printf("%s: %zu bytes of content, %llu records\n", path.c_str(), content_size,
                static_cast<unsigned long long>(d.record_count));
    std::printf("  events %zu, effects %zu, shaders %zu, textures %zu, audio samples %zu, event groups %zu\n",
                d.events.size(), d.effects.size(), d.shaders.size(), d.textures.size(), d.audio_samples.size(),
                d.event_groups.size());
    std::printf("  fonts %zu, font textures %zu, datas %zu, models %zu, scenes %zu\n", d.fonts.size(),
                d.font_textures.size(), d.datas.size(), d.models.size(), d.scenes.size());
    const double seconds = d.bpm != 0.0f ? (static_cast<double>(d.end_beat) + d.beat_offset) * 60.0 / d.bpm : 0.0;
    std::printf("  tempo %g bpm, offset %g beats, end beat %g (%.1f s)\n", d.bpm, d.beat_offset, d.end_beat, seconds);

    size_t texture_bytes = 0, font_bytes = 0, sample_bytes = 0, data_bytes = 0, model_bytes = 0, source_bytes = 0;
    for (const auto& t : d.textures) texture_bytes += t->image.size();
    for (const auto& f : d.fonts) font_bytes += f->font_data.size();
    for (const auto& s : d.audio_samples) sample_bytes += s->buffer.size();
    for (const auto& x : d.datas) data_bytes += x->buffer.size();
    for (const auto& m : d.models) model_bytes += m->buffer.size();
    for (const auto& p : d.shaders) source_bytes += p->vertex_shader_source.size() + p->fragment_shader_source.size();
    std::printf("  sizes: music %zu, textures %zu, fonts %zu, samples %zu, datas %zu, models %zu, shader sources %zu\n",
                d.music.size(), texture_bytes, font_bytes, sample_bytes, data_bytes, model_bytes, source_bytes);

    std::vector<std::string> warnings;
    collect_unresolved(d.events, warnings);
    collect_unresolved(d.effects, warnings);
    collect_unresolved(d.event_groups, warnings);
    collect_unresolved(d.font_textures, warnings);
    collect_unresolved(d.scenes, warnings);

    std::map<std::string, int> by_type;
    const auto& nodes = d.graph->nodes;
    for (const auto& node : nodes) {
        if (node->def) {
            ++by_type[node->def->name];
        } else {
            ++by_type["(unregistered) " + node->stored_type_name];
            warnings.push_back("graph node " + std::to_string(node->id) + ": node type '" + node->stored_type_name +
                               "' is not registered");
        }
        for (const auto& c : node->connections) {
            if (!c.dst) {
                warnings.push_back("graph node " + std::to_string(node->id) + ": a link names no node");
                continue;
            }
            if (c.src_output_idx == -1 || c.dst_input_idx == -1) continue;
            const size_t dst_inputs = std::max(c.dst->inputs.size(), c.dst->def ? c.dst->def->inputs.size() : 0);
            if (c.src_output_idx < 0 || static_cast<size_t>(c.src_output_idx) >= node->outputs.size() ||
                c.dst_input_idx < 0 || static_cast<size_t>(c.dst_input_idx) >= dst_inputs)
                warnings.push_back("graph node " + std::to_string(node->id) + ": data link " + std::to_string(c.id) +
                                   " (output " + std::to_string(c.src_output_idx) + " -> input " +
                                   std::to_string(c.dst_input_idx) + ") is out of range");
        }
    }
    if (!d.graph->root) warnings.push_back("graph: the root names no node");
    for (std::string& line : media_warnings(d)) warnings.push_back(std::move(line));
    for (const PortabilityFinding& f : check_demo(d)) warnings.push_back(f.text());
    std::printf("  graph: %zu nodes\n", nodes.size());
    for (const auto& [name, count] : by_type) std::printf("    %-28s %d\n", name.c_str(), count);
    for (const std::string& w : warnings) std::printf("warning: %s\n", w.c_str());
    return 0;
}
