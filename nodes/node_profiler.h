// NodeProfiler: measures each node run of a graph, CPU time from the clock
// and GPU time from timer queries around the run, and adds every frame to a
// NodeCostTable. Set it as the graph's run_observer and call begin_frame /
// end_frame around evaluate(); unset, the graph and the GL see nothing.
//
// GPU results are read back a few frames later and only when they are
// ready, so measuring never waits for the GPU; a frame whose results are not
// ready when its queries are needed again is dropped from the table.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "nodes/node_cost_table.h"
#include "nodes/node_run_observer.h"

namespace Nodes {

class NodeProfiler : public NodeRunObserver {
public:
    // Needs a current GL context, which must outlive the profiler. Without
    // timer queries in the context only CPU times are measured.
    explicit NodeProfiler(NodeCostTable& table);
    ~NodeProfiler() override;
    NodeProfiler(const NodeProfiler&) = delete;
    NodeProfiler& operator=(const NodeProfiler&) = delete;

    // `time_s`: when the frame is drawn, on the clock the table's window uses.
    void begin_frame(double time_s);
    void end_frame();
    // Waits for every frame still in flight and adds it (the end of a profile
    // run, not the preview's loop).
    void finish();

    bool measures_gpu() const { return gpu_; }
    size_t dropped_frames() const { return dropped_; }

    void node_started(const GraphNode& node) override;
    void node_finished(const GraphNode& node) override;

private:
    static constexpr size_t kFramesInFlight = 4;
    struct Slot {
        bool pending = false;
        double time_s = 0, cpu_ms = 0;
        std::vector<NodeCostSample> nodes;
        std::vector<uint32_t> queries;  // one per node run, grown as needed
        uint32_t frame_begin = 0, frame_end = 0;
    };
    void collect(Slot& slot, bool wait);

    NodeCostTable& table_;
    bool gpu_ = false;
    bool in_frame_ = false, in_node_ = false;
    std::array<Slot, kFramesInFlight> slots_;
    size_t current_ = 0;
    size_t dropped_ = 0;
    std::chrono::steady_clock::time_point frame_start_, node_start_;
};

}  // namespace Nodes
