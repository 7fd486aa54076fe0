// NodeCostTable: what each graph node cost in the frames measured, CPU and
// GPU, and the frame totals: the preview's cost panel averages the last
// second of it, `qvtool profile` summarises a whole range. GL-free; the
// device side (nodes/node_profiler.h) measures and adds frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace Nodes {

struct NodeCostSample {
    int32_t node_id = 0;
    double cpu_ms = 0;
    double gpu_ms = -1;  // negative: not measured
};

class NodeCostTable {
public:
    // Keeps the last `max_frames` frames (at least one).
    explicit NodeCostTable(size_t max_frames);

    // One frame at `time_s` (any clock, rising): its totals and its node runs.
    // A node that ran twice in the frame has two samples; they are added up.
    // Copies into storage kept from earlier frames: no allocation once warm.
    void add(double time_s, double cpu_ms, double gpu_ms, const std::vector<NodeCostSample>& nodes);

    // The type name rows show for a node id (kept from the first call).
    void name_node(int32_t node_id, const std::string& type_name);

    void clear();
    size_t frames() const { return count_; }

    struct Stat {
        double mean = 0, p95 = 0, max = 0;
    };
    struct Row {
        std::string name;  // type name, with " #ID" when the type has several rows
        int32_t node_id = 0;
        Stat cpu_ms, gpu_ms;  // per frame (a node that did not run in a frame counts 0)
        double cpu_share = 0, gpu_share = 0;  // of the frame's mean, 0..1
    };
    struct Summary {
        std::vector<Row> rows;  // most expensive first
        Stat frame_cpu_ms, frame_gpu_ms;
        size_t frames = 0;
        bool gpu = false;  // GPU times were measured
    };
    // Over the frames at or after `since_time_s`. Rows are ordered by the sum
    // of their CPU and GPU means: a drawing node's cost is mostly on the GPU,
    // a computing one's on the CPU, and a node that waits for its own drawing
    // (a copy out of its target) shows that wait as CPU time.
    Summary summarize(double since_time_s = -std::numeric_limits<double>::infinity()) const;

private:
    struct Frame {
        double time_s = 0, cpu_ms = 0, gpu_ms = -1;
        std::vector<NodeCostSample> nodes;
    };
    std::vector<Frame> ring_;
    size_t next_ = 0, count_ = 0;
    std::unordered_map<int32_t, std::string> names_;
};

}  // namespace Nodes
