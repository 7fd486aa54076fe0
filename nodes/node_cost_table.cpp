#include "nodes/node_cost_table.h"

#include <algorithm>
#include <map>

namespace Nodes {

namespace {

NodeCostTable::Stat stat_of(std::vector<double>& values, size_t frames) {
    NodeCostTable::Stat s;
    if (frames == 0) return s;
    // Frames in which the node did not run cost it nothing.
    values.resize(std::max(values.size(), frames), 0.0);
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values) sum += v;
    s.mean = sum / static_cast<double>(values.size());
    s.max = values.back();
    const size_t rank = (values.size() * 95 + 99) / 100;  // nearest rank
    s.p95 = values[std::max<size_t>(rank, 1) - 1];
    return s;
}

}  // namespace

NodeCostTable::NodeCostTable(size_t max_frames) : ring_(std::max<size_t>(max_frames, 1)) {}

void NodeCostTable::add(double time_s, double cpu_ms, double gpu_ms, const std::vector<NodeCostSample>& nodes) {
    Frame& f = ring_[next_];
    f.time_s = time_s;
    f.cpu_ms = cpu_ms;
    f.gpu_ms = gpu_ms;
    f.nodes.assign(nodes.begin(), nodes.end());
    next_ = (next_ + 1) % ring_.size();
    count_ = std::min(count_ + 1, ring_.size());
}

void NodeCostTable::name_node(int32_t node_id, const std::string& type_name) {
    if (!names_.count(node_id)) names_.emplace(node_id, type_name);
}

void NodeCostTable::clear() {
    next_ = count_ = 0;
    names_.clear();
}

NodeCostTable::Summary NodeCostTable::summarize(double since_time_s) const {
    Summary out;
    struct PerNode {
        std::vector<double> cpu, gpu;
    };
    std::map<int32_t, PerNode> per_node;
    std::vector<double> frame_cpu, frame_gpu;
    for (size_t k = 0; k < count_; ++k) {
        const Frame& f = ring_[(next_ + ring_.size() - count_ + k) % ring_.size()];
        if (f.time_s < since_time_s) continue;
        const size_t index = frame_cpu.size();
        frame_cpu.push_back(f.cpu_ms);
        if (f.gpu_ms >= 0) {
            frame_gpu.push_back(f.gpu_ms);
            out.gpu = true;
        }
        for (const NodeCostSample& s : f.nodes) {
            PerNode& p = per_node[s.node_id];
            // One value per frame: pad the frames it did not run in, add up repeats.
            p.cpu.resize(index + 1, 0.0);
            p.cpu[index] += s.cpu_ms;
            if (s.gpu_ms >= 0) {
                p.gpu.resize(index + 1, 0.0);
                p.gpu[index] += s.gpu_ms;
            }
        }
    }
    out.frames = frame_cpu.size();
    out.frame_cpu_ms = stat_of(frame_cpu, frame_cpu.size());
    out.frame_gpu_ms = stat_of(frame_gpu, frame_gpu.size());

    std::map<std::string, int> rows_of_type;
    for (auto& [id, p] : per_node) {
        Row r;
        r.node_id = id;
        const auto name = names_.find(id);
        r.name = name != names_.end() ? name->second : "node";
        r.cpu_ms = stat_of(p.cpu, out.frames);
        r.gpu_ms = stat_of(p.gpu, out.gpu ? out.frames : 0);
        r.cpu_share = out.frame_cpu_ms.mean > 0 ? r.cpu_ms.mean / out.frame_cpu_ms.mean : 0;
        r.gpu_share = out.frame_gpu_ms.mean > 0 ? r.gpu_ms.mean / out.frame_gpu_ms.mean : 0;
        ++rows_of_type[r.name];
        out.rows.push_back(std::move(r));
    }
    for (Row& r : out.rows)
        if (rows_of_type[r.name] > 1) r.name += " #" + std::to_string(r.node_id);
    std::stable_sort(out.rows.begin(), out.rows.end(), [](const Row& a, const Row& b) {
        return a.cpu_ms.mean + a.gpu_ms.mean > b.cpu_ms.mean + b.gpu_ms.mean;
    });
    return out;
}

}  // namespace Nodes
