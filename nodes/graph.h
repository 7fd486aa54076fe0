// Nodes::Graph: the demo's graph of typed nodes and its per-frame evaluation.
//
// Evaluation, once per frame: every self-activating node in stored order runs
// and activates its activation successors (unless it blocked itself); then the
// root is activated. Running a node prepares it, calls its type's run
// function, and copies each present output along its data links in connection
// order. Activation runs a node and then, unless it blocked, activates the
// destinations of its activation links depth first, in link order.
//
// Malformed content never makes evaluation read or write outside a node's
// lists: nodes without a type are skipped, links to no node or with indices
// outside the lists carry nothing, activation deeper than
// kMaxActivationDepth is skipped, and a frame stops starting runs after
// kMaxRunsPerFrame (a cycle of activation links would otherwise never end).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "nodes/graph_node.h"
#include "nodes/run_context.h"

class Demo;

namespace Nodes {

inline constexpr int kMaxActivationDepth = 256;
inline constexpr uint64_t kMaxRunsPerFrame = 1u << 20;

class NodeRunObserver;

class Graph : public ISerializable {
public:
    GraphNode* root = nullptr;  // a node of `nodes`, not owned
    std::vector<std::unique_ptr<GraphNode>> nodes;  // order of the self-activation pass

    // Binary key or JSON id the root was stored under, until resolved.
    uint64_t stored_root_key = 0;

    // The graph that exists before content is read: one "Time" node at
    // (64, 64), made with fresh ids, which is also the root.
    static std::unique_ptr<Graph> make_default();

    // One frame of evaluation at `current_beat`.
    void evaluate(Demo& demo, float current_beat);
    // Runs `node` and, unless it blocks, its activation successors depth first.
    void activate(GraphNode& node, Demo& demo, float current_beat);

    // Runs started by the last evaluate() (for tests and diagnostics).
    uint64_t runs_last_frame() const { return runs_; }

    // Root, destinations and type names that were stored but did not resolve.
    std::vector<std::string> unresolved() const;

    // Told about each node run while set; not owned. Null in the player.
    NodeRunObserver* run_observer = nullptr;

    // Keys in the binary form are the 1-based positions of the nodes.
    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;

private:
    void run_node(GraphNode& node, RunContext& ctx);
    void activate_at(GraphNode& node, Demo& demo, float current_beat, int depth);
    void activate_successors(GraphNode& node, Demo& demo, float current_beat, int depth);

    uint64_t runs_ = 0;
};

}  // namespace Nodes
