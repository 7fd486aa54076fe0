#include "nodes/graph.h"

#include <unordered_map>

#include "nodes/json_read.h"
#include "nodes/node_registry.h"

namespace Nodes {

std::unique_ptr<Graph> Graph::make_default() {
    auto graph = std::make_unique<Graph>();
    auto node = std::make_unique<GraphNode>(&NodeRegistry::instance().at(0));
    node->assign_fresh_ids();
    node->state = node->def->state;
    graph->root = node.get();
    graph->nodes.push_back(std::move(node));
    return graph;
}

std::vector<std::string> Graph::unresolved() const {
    std::vector<std::string> lines;
    if (!root && stored_root_key != 0) lines.push_back("graph root " + std::to_string(stored_root_key) + " names no node");
    for (const auto& node : nodes) {
        if (!node) continue;
        if (!node->def)
            lines.push_back("graph node " + std::to_string(node->id) + ": unknown node type \"" +
                            node->stored_type_name + "\"");
        for (const Connection& c : node->connections) {
            if (c.dst) continue;
            if (c.stored_dst_key != 0)
                lines.push_back("graph node " + std::to_string(node->id) + ": connection " + std::to_string(c.id) +
                                " names no node (key " + std::to_string(c.stored_dst_key) + ")");
            else if (c.stored_dst_id)
                lines.push_back("graph node " + std::to_string(node->id) + ": connection " + std::to_string(c.id) +
                                " names no node (id " + std::to_string(*c.stored_dst_id) + ")");
        }
    }
    return lines;
}

// ---- binary -----------------------------------------------------------------

namespace {

// Key, three ids, empty type name, position, four list counts, two flags.
constexpr size_t kMinStoredNodeBytes = 8 + 12 + 8 + 8 + 4 * 8 + 2;

}  // namespace

void Graph::write(ContentWriter& out) const {
    std::unordered_map<const GraphNode*, uint64_t> keys;
    keys.reserve(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) keys.emplace(nodes[i].get(), i + 1);
    auto root_key = root ? keys.find(root) : keys.end();
    out.write_u64(root_key == keys.end() ? 0 : root_key->second);
    out.write_u64(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        out.write_u64(i + 1);
        if (nodes[i]) {
            nodes[i]->write_with_keys(out, &keys);
        } else {
            GraphNode().write_with_keys(out, &keys);
        }
    }
}

void Graph::read(ContentReader& in) {
    root = nullptr;
    nodes.clear();
    stored_root_key = in.read_u64("graph root key");
    const uint64_t count = in.read_count("graph nodes", kMinStoredNodeBytes);
    nodes.reserve(count);
    // The first node stored under a key is the one the key names.
    std::unordered_map<uint64_t, GraphNode*> by_key;
    by_key.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t key = in.read_u64("graph node key");
        auto node = std::make_unique<GraphNode>();
        node->read(in);
        by_key.emplace(key, node.get());
        nodes.push_back(std::move(node));
    }
    auto lookup = [&](uint64_t key) -> GraphNode* {
        auto it = by_key.find(key);
        return it == by_key.end() ? nullptr : it->second;
    };
    root = lookup(stored_root_key);
    for (auto& node : nodes)
        for (Connection& c : node->connections) c.dst = lookup(c.stored_dst_key);
}

// ---- JSON -------------------------------------------------------------------

nlohmann::json Graph::to_json(bool external_files) const {
    nlohmann::json j = nlohmann::json::object();
    if (root)
        j["root"] = root->id;
    else
        j["root"] = nullptr;
    nlohmann::json list = nlohmann::json::array();
    for (const auto& node : nodes)
        if (node) list.push_back(node->to_json(external_files));
    j["nodes"] = std::move(list);
    return j;
}

void Graph::from_json(const nlohmann::json& j) {
    using namespace json_read;
    root = nullptr;
    nodes.clear();
    stored_root_key = 0;
    if (const auto* list = member(j, "nodes")) {
        for (const auto& item : array(*list, "\"nodes\"")) {
            auto node = std::make_unique<GraphNode>();
            node->from_json(item);
            nodes.push_back(std::move(node));
        }
    }
    std::unordered_map<int32_t, GraphNode*> by_id;
    by_id.reserve(nodes.size());
    for (auto& node : nodes) by_id.emplace(node->id, node.get());
    auto lookup = [&](int32_t id) -> GraphNode* {
        auto it = by_id.find(id);
        return it == by_id.end() ? nullptr : it->second;
    };
    if (const auto* r = member(j, "root"); r && !r->is_null()) {
        const int32_t root_id = i32(*r, "\"root\"");
        // Keep what was asked for, so that an unresolved root can be reported.
        stored_root_key = static_cast<uint64_t>(static_cast<uint32_t>(root_id));
        root = lookup(root_id);
    }
    for (auto& node : nodes)
        for (Connection& c : node->connections)
            if (c.stored_dst_id) c.dst = lookup(*c.stored_dst_id);
}

}  // namespace Nodes
