// NodeRunObserver: told about every node run of a graph's evaluation, for
// measuring what each node costs (the preview's cost panel, qvtool profile).
// A graph without one (the player's) pays a single null test per run.
#pragma once

namespace Nodes {

class GraphNode;

class NodeRunObserver {
public:
    virtual ~NodeRunObserver() = default;
    // Around the node's run function only: the copying along its data links
    // and the runs of its successors are outside, so nodes never nest.
    virtual void node_started(const GraphNode& node) = 0;
    virtual void node_finished(const GraphNode& node) = 0;
};

}  // namespace Nodes
