#include "nodes/graph.h"
#include "nodes/node_run_observer.h"
#include "nodes/node_type.h"

namespace Nodes {

void Graph::run_node(GraphNode& node, RunContext& ctx) {
    node.prepare();
    ++runs_;
    if (node.def->run) {
        if (run_observer) run_observer->node_started(node);
        node.def->run(node.inputs, node.outputs, node.state, ctx);
        if (run_observer) run_observer->node_finished(node);
    }

    for (const Connection& c : node.connections) {
        if (!c.is_data_link() || !c.dst) continue;
        if (c.src_output_idx < 0 || static_cast<size_t>(c.src_output_idx) >= node.outputs.size()) continue;
        if (c.dst_input_idx < 0) continue;
        const MaybeValue& out = node.outputs[static_cast<size_t>(c.src_output_idx)];
        if (!out.hasValue) continue;
        GraphNode& dst = *c.dst;
        const size_t input = static_cast<size_t>(c.dst_input_idx);
        // A destination whose type gained inputs since it was stored has not
        // run yet; give it its ports now rather than drop the value.
        if (input >= dst.inputs.size()) dst.prepare();
        if (input >= dst.inputs.size()) continue;
        dst.inputs[input].set(out.value);
    }
}

void Graph::activate_successors(GraphNode& node, Demo& demo, float current_beat, int depth) {
    for (const Connection& c : node.connections)
        if (c.is_activation_link() && c.dst) activate_at(*c.dst, demo, current_beat, depth);
}

void Graph::activate_at(GraphNode& node, Demo& demo, float current_beat, int depth) {
    // A cycle of activation links would recurse forever; content never holds
    // one on purpose, so deeper activations are simply skipped.
    if (depth >= kMaxActivationDepth || runs_ >= kMaxRunsPerFrame || !node.def) return;
    RunContext ctx{demo, node, current_beat};
    run_node(node, ctx);
    if (node.blocked) return;
    activate_successors(node, demo, current_beat, depth + 1);
}

void Graph::activate(GraphNode& node, Demo& demo, float current_beat) { activate_at(node, demo, current_beat, 0); }

void Graph::evaluate(Demo& demo, float current_beat) {
    runs_ = 0;
    for (size_t i = 0; i < nodes.size(); ++i) {
        GraphNode* node = nodes[i].get();
        if (!node || !node->selfActivating || !node->def || runs_ >= kMaxRunsPerFrame) continue;
        RunContext ctx{demo, *node, current_beat};
        run_node(*node, ctx);
        if (!node->blocked) activate_successors(*node, demo, current_beat, 1);
    }
    if (root) activate_at(*root, demo, current_beat, 0);
}

}  // namespace Nodes
