#include "nodes/graph_node.h"

#include "nodes/json_read.h"
#include "nodes/next_id.h"
#include "nodes/node_registry.h"

namespace Nodes {

const std::string& GraphNode::type_name() const { return def ? def->name : stored_type_name; }

// ---- lists against the type -------------------------------------------------

void GraphNode::prepare() {
    if (!def) return;
    while (outputs.size() < def->outputs.size()) {
        outputs.emplace_back();
        outputIDs.push_back(take_fresh_id());
    }
    while (inputs.size() < def->inputs.size()) {
        const InputDef& port = def->inputs[inputs.size()];
        inputs.emplace_back();
        if (port.has_usable_default()) inputs.back() = port.default_value;
        inputIDs.push_back(take_fresh_id());
    }
    while (state.size() < def->state.size()) state.emplace_back();
}

void GraphNode::assign_fresh_ids() {
    if (!def) return;
    id = take_fresh_id();
    for (size_t i = 0; i < def->outputs.size(); ++i) {
        outputs.emplace_back();
        outputIDs.push_back(take_fresh_id());
    }
    if (inputs.size() < def->inputs.size()) inputs.resize(def->inputs.size());
    for (size_t k = 0; k < def->inputs.size(); ++k) {
        inputIDs.push_back(take_fresh_id());
        if (def->inputs[k].has_usable_default()) inputs[k] = def->inputs[k].default_value;
    }
    for (Connection& c : connections) c.id = take_fresh_id();
    entryID = take_fresh_id();
    exitID = take_fresh_id();
}

// ---- binary -----------------------------------------------------------------

namespace {

// Smallest possible stored connection, input id and output id.
constexpr size_t kIdBytes = 4;
// Every stored MaybeValue takes at least its presence byte.
constexpr size_t kMinMaybeValueBytes = 1;

int32_t read_id(ContentReader& in, const char* what) {
    const int32_t id = in.read_i32(what);
    raise_next_id(id);
    return id;
}

}  // namespace

void GraphNode::write(ContentWriter& out) const { write_with_keys(out, nullptr); }

void GraphNode::write_with_keys(ContentWriter& out,
                                const std::unordered_map<const GraphNode*, uint64_t>* keys) const {
    out.write_i32(id);
    out.write_i32(entryID);
    out.write_i32(exitID);
    out.write_string(type_name());
    out.write_f32(posX);
    out.write_f32(posY);
    out.write_u64(inputs.size());
    for (const MaybeValue& v : inputs) v.write(out);
    out.write_u64(inputIDs.size());
    for (int32_t v : inputIDs) out.write_i32(v);
    out.write_u64(outputIDs.size());
    for (int32_t v : outputIDs) out.write_i32(v);
    out.write_u64(connections.size());
    for (const Connection& c : connections) {
        uint64_t key = c.stored_dst_key;
        if (keys) {
            auto it = c.dst ? keys->find(c.dst) : keys->end();
            key = it == keys->end() ? 0 : it->second;
        }
        out.write_u64(key);
        out.write_i32(c.src_output_idx);
        out.write_i32(c.dst_input_idx);
        out.write_i32(c.id);
        out.write_u32(0);
    }
    out.write_bool(selfActivating);
    out.write_bool(collapsed);
}

void GraphNode::read(ContentReader& in) {
    *this = GraphNode();
    id = read_id(in, "graph node id");
    entryID = read_id(in, "graph node entry id");
    exitID = read_id(in, "graph node exit id");
    stored_type_name = in.read_string("graph node type name");
    def = NodeRegistry::instance().find(stored_type_name);
    posX = in.read_f32("graph node posX");
    posY = in.read_f32("graph node posY");

    const uint64_t input_count = in.read_count("graph node inputs", kMinMaybeValueBytes);
    inputs.resize(input_count);
    for (MaybeValue& v : inputs) v.read(in);

    const uint64_t input_id_count = in.read_count("graph node input ids", kIdBytes);
    inputIDs.reserve(input_id_count);
    for (uint64_t i = 0; i < input_id_count; ++i) inputIDs.push_back(read_id(in, "graph node input id"));

    const uint64_t output_id_count = in.read_count("graph node output ids", kIdBytes);
    outputIDs.reserve(output_id_count);
    for (uint64_t i = 0; i < output_id_count; ++i) outputIDs.push_back(read_id(in, "graph node output id"));
    outputs.resize(output_id_count);

    const uint64_t connection_count = in.read_count("graph node connections", kStoredConnectionBytes);
    for (uint64_t i = 0; i < connection_count; ++i) {
        // The authoring tool numbers links as it reads them; the stored id
        // then wins, but the fresh one stays used.
        take_fresh_id();
        Connection c;
        c.stored_dst_key = in.read_u64("connection destination key");
        c.src_output_idx = in.read_i32("connection output index");
        c.dst_input_idx = in.read_i32("connection input index");
        c.id = read_id(in, "connection id");
        in.read_u32("connection padding");
        connections.push_back(c);
    }
    selfActivating = in.read_bool("graph node selfActivating");
    collapsed = in.read_bool("graph node collapsed");
    if (def) state = def->state;
}

// ---- JSON -------------------------------------------------------------------

nlohmann::json GraphNode::to_json(bool external_files) const {
    using nlohmann::json;
    json j = json::object();
    j["id"] = id;
    j["entryID"] = entryID;
    j["exitID"] = exitID;
    j["def"] = type_name();
    j["selfActivating"] = selfActivating;
    j["collapsed"] = collapsed;
    j["posX"] = posX;
    j["posY"] = posY;
    json in = json::array();
    for (const MaybeValue& v : inputs) in.push_back(v.to_json(external_files));
    j["inputs"] = std::move(in);
    j["inputIDs"] = inputIDs;
    j["outputIDs"] = outputIDs;
    json links = json::array();
    for (const Connection& c : connections) {
        json link = json::object();
        link["id"] = c.id;
        if (c.dst)
            link["dst"] = c.dst->id;
        else if (c.stored_dst_id)
            link["dst"] = *c.stored_dst_id;
        else
            link["dst"] = nullptr;
        link["src_output_idx"] = c.src_output_idx;
        link["dst_input_idx"] = c.dst_input_idx;
        links.push_back(std::move(link));
    }
    j["connections"] = std::move(links);
    return j;
}

void GraphNode::from_json(const nlohmann::json& j) {
    using namespace json_read;
    *this = GraphNode();
    auto read_json_id = [&](const char* key) {
        const nlohmann::json* v = member(j, key);
        if (!v) return int32_t{0};
        const int32_t value = i32(*v, key);
        raise_next_id(value);
        return value;
    };
    id = read_json_id("id");
    entryID = read_json_id("entryID");
    exitID = read_json_id("exitID");
    if (const auto* v = member(j, "def")) stored_type_name = string(*v, "\"def\"");
    def = NodeRegistry::instance().find(stored_type_name);
    if (const auto* v = member(j, "selfActivating")) selfActivating = boolean(*v, "\"selfActivating\"");
    if (const auto* v = member(j, "collapsed")) collapsed = boolean(*v, "\"collapsed\"");
    const auto* x = member(j, "posX");
    const auto* y = member(j, "posY");
    if (x && y) {
        posX = f32(*x, "\"posX\"");
        posY = f32(*y, "\"posY\"");
    }

    // A stored input whose kind is not the one the type declares at its
    // position gets the type's default put ahead of it (and a fresh pin id
    // ahead of its id): the project form of an older type layout.
    std::vector<bool> shifted;  // by stored position
    if (const auto* list = member(j, "inputs")) {
        const auto& stored = array(*list, "\"inputs\"");
        shifted.assign(stored.size(), false);
        for (size_t k = 0; k < stored.size(); ++k) {
            MaybeValue v;
            v.from_json(stored[k]);
            if (def && k < def->inputs.size() && v.hasValue && v.value.type != def->inputs[k].type) {
                inputs.push_back(def->inputs[k].default_value);
                shifted[k] = true;
            }
            inputs.push_back(std::move(v));
        }
    }
    if (const auto* list = member(j, "inputIDs")) {
        const auto& ids = array(*list, "\"inputIDs\"");
        for (size_t k = 0; k < ids.size(); ++k) {
            if (k < shifted.size() && shifted[k]) inputIDs.push_back(take_fresh_id());
            const int32_t stored = i32(ids[k], "input id");
            raise_next_id(stored);
            inputIDs.push_back(stored);
        }
    }
    if (const auto* list = member(j, "outputIDs")) {
        for (const auto& item : array(*list, "\"outputIDs\"")) {
            const int32_t stored = i32(item, "output id");
            raise_next_id(stored);
            outputIDs.push_back(stored);
            outputs.emplace_back();
        }
    }
    if (const auto* list = member(j, "connections")) {
        for (const auto& item : array(*list, "\"connections\"")) {
            take_fresh_id();
            Connection c;
            if (const auto* v = member(item, "src_output_idx")) c.src_output_idx = i32(*v, "\"src_output_idx\"");
            if (const auto* v = member(item, "dst_input_idx")) c.dst_input_idx = i32(*v, "\"dst_input_idx\"");
            if (const auto* v = member(item, "dst"); v && !v->is_null()) c.stored_dst_id = i32(*v, "\"dst\"");
            if (const auto* v = member(item, "id")) {
                c.id = i32(*v, "connection \"id\"");
                raise_next_id(c.id);
            }
            connections.push_back(c);
        }
    }
    if (def) state = def->state;
}

}  // namespace Nodes
