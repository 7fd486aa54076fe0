// CostPanel: the preview's frame cost per node (key P): the CPU and GPU time
// of every node that ran, averaged over the last second, most expensive
// first, with the frame's totals and each node's share. Closed, it sets no
// observer on the graph and issues no GL query, so the frame costs what it
// costs without it.
#pragma once

#include <memory>

#include <nlohmann/json.hpp>

#include "nodes/node_cost_table.h"

namespace Nodes {
class Graph;
class NodeProfiler;
}  // namespace Nodes

class CostPanel {
public:
    CostPanel();
    ~CostPanel();

    // Needs the current GL context (the profiler's queries live in it).
    void toggle();
    bool is_open() const { return open_; }

    // Around graph.evaluate() every frame; `now_s` on a rising clock.
    void begin_frame(Nodes::Graph& graph, double now_s);
    void end_frame(Nodes::Graph& graph);
    // The graph was replaced: node ids of the old one mean nothing now.
    void forget_nodes();

    // An ImGui window; call inside the overlay's frame.
    void draw(double now_s);
    // {"open": bool, "frames", "frame_cpu_ms", "frame_gpu_ms", "nodes": [{"node", "id",
    // "cpu_ms", "gpu_ms", "share"}]} over the last second; gpu values null where
    // not measured.
    nlohmann::json status(double now_s) const;

private:
    Nodes::NodeCostTable table_;
    std::unique_ptr<Nodes::NodeProfiler> profiler_;
    bool open_ = false;
};
