// Nodes::Connection: one link leaving a node, owned by its source node.
//
// Both indices set (not -1): a data link that copies output src_output_idx of
// the source into input dst_input_idx of `dst` after the source runs. Either
// index -1: an activation link from the source's exit pin to the entry pin of
// `dst`, carrying no value.
#pragma once

#include <cstdint>
#include <optional>

namespace Nodes {

class GraphNode;

struct Connection {
    GraphNode* dst = nullptr;  // not owned; null when the stored key named no node
    int32_t src_output_idx = -1;
    int32_t dst_input_idx = -1;
    int32_t id = 0;  // authoring-side link id

    // What the destination was stored as, kept until the graph resolves it:
    // the node key of the binary form, the node id of the JSON form.
    uint64_t stored_dst_key = 0;
    std::optional<int32_t> stored_dst_id;

    bool is_data_link() const { return src_output_idx != -1 && dst_input_idx != -1; }
    bool is_activation_link() const { return !is_data_link(); }
};

// Bytes of one connection in the binary form: key, two indices, id, padding.
inline constexpr size_t kStoredConnectionBytes = 24;

}  // namespace Nodes
