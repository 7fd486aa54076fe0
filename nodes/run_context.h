// RunContext: what a node's run function receives besides its own lists.
#pragma once

class Demo;

namespace Nodes {
class GraphNode;
}

struct RunContext {
    Demo& demo;               // the loaded content
    Nodes::GraphNode& node;   // the running node (run functions set node.blocked)
    float current_beat;       // beat of the frame being drawn
};
