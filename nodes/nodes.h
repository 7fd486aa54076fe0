// The node graph: what the demo does over time.
//
// Owns the tagged values of node ports (value.h), the graph records and their
// binary and JSON forms (graph_node.h, graph.h, connection.h), the id counter
// (next_id.h), the registry of node types with its twenty-one built-ins and the
// run functions of the logic and value types (node_registry.h, node_type.h),
// and the types made from the content's shader programs, events and scenes
// (resource_node_types.h). It does not draw: rendering types get their run
// functions from the device library, which installs them before content is read.
//
// Life: the registry fills itself with the built-ins on first access; a
// default one-node graph stands until content is read; the content loader
// registers the content's types, then reads the graph; the main loop calls
// Graph::evaluate once per frame; nothing is torn down before exit.
#pragma once

#include "nodes/connection.h"
#include "nodes/graph.h"
#include "nodes/graph_node.h"
#include "nodes/next_id.h"
#include "nodes/node_registry.h"
#include "nodes/node_type.h"
#include "nodes/resource_node_types.h"
#include "nodes/run_context.h"
#include "nodes/value.h"
