// Nodes::GraphNode: one node of the graph: its ids, its type, its port values,
// its outgoing connections, and the run-time lists that are never stored.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "nodes/connection.h"
#include "nodes/value.h"
#include "serialization/serializable.h"

class NodeType;

namespace Nodes {

class GraphNode : public ISerializable {
public:
    int32_t id = 0;
    int32_t entryID = 0;  // activation-in pin
    int32_t exitID = 0;   // activation-out pin
    const NodeType* def = nullptr;  // not owned; null when the stored type name is not registered
    std::vector<MaybeValue> inputs;  // in the type's input order
    std::vector<int32_t> inputIDs;
    std::vector<int32_t> outputIDs;
    std::deque<Connection> connections;  // outgoing, in stored order
    bool selfActivating = false;
    float posX = 64.0f;
    float posY = 64.0f;
    bool collapsed = false;

    // Not stored.
    std::vector<MaybeValue> outputs;  // one per output id
    std::vector<MaybeValue> state;    // owned by the run function
    bool blocked = false;             // set by a run function to stop activation passing on

    // The type name as stored, kept so that a node whose type is not
    // registered is written back unchanged and can be reported.
    std::string stored_type_name;

    GraphNode() = default;
    explicit GraphNode(const NodeType* type) : def(type) {}

    // The name to write: the type's name, or the stored one when unresolved.
    const std::string& type_name() const;

    // Brings the lists up to the type's sizes: absent outputs with fresh ids,
    // inputs with fresh ids and the type's usable defaults, absent state slots.
    // Never removes anything. Allocates only when a list grows.
    void prepare();

    // Node creation: fresh node id, outputs and inputs as the type declares
    // (inputs with usable defaults), fresh connection ids, then fresh entry and
    // exit ids. Needs `def`.
    void assign_fresh_ids();

    nlohmann::json to_json(bool external_files) const override;
    // Destinations are written as their stored keys; Graph::write uses
    // write_with_keys to give every node its key in the written graph.
    void write(ContentWriter& out) const override;
    void write_with_keys(ContentWriter& out, const std::unordered_map<const GraphNode*, uint64_t>* keys) const;
    // Reading looks the type up in the registry, raises next_id past every
    // stored id, makes one absent output per output id and resets `state` to
    // the type's template. Destinations stay unresolved (see Graph).
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};

}  // namespace Nodes
