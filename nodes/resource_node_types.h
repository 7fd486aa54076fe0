// The node types made from the content: one per shader program (named by its
// fragment_shader_filename), one per event of the `uniforms` kind (its name +
// ".event") and one per scene (its name + ".scene").
#pragma once

#include <vector>

#include "nodes/node_type.h"

class Demo;

// Runs the three registration passes, programs, then events, then scenes, each
// against a snapshot of the registry taken when the pass starts: a name the
// snapshot holds (the type registered last under that name) updates that type
// (program: inputs replaced; event: outputs replaced; scene: outputs emptied),
// any other name appends a new type, so two resources of one pass sharing a
// name give two types of which lookups find the first. Also makes `demo` the
// registry's current demo. Call after every list is read and linked and before
// the graph is read.
void register_content_node_types(Demo& demo);

// Run function of event node types: finds the node's `uniforms` event by name
// on first use (its position kept in state slot 0) and, while the "time" input
// lies in [start_beat, end_beat), unblocks the node and outputs the value or
// text of every uniform definition; outside the span it blocks the node.
void run_event_node(std::vector<Nodes::MaybeValue>& inputs, std::vector<Nodes::MaybeValue>& outputs,
                    std::vector<Nodes::MaybeValue>& state, RunContext& ctx);
