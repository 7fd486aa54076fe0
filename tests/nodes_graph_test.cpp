// The graph records: values, their binary and JSON forms, the id counter, the
// registry with its built-in catalogue and labels, and the types made from
// content.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "nodes/nodes.h"
#include "serialization/content_error.h"
#include "serialization/demo.h"

using namespace Nodes;

namespace {

std::vector<uint8_t> bytes_of(const ContentWriter& w) {
    const std::string& s = w.bytes();
    return std::vector<uint8_t>(s.begin(), s.end());
}

template <typename Record>
std::vector<uint8_t> binary(const Record& r) {
    ContentWriter w;
    r.write(w);
    return bytes_of(w);
}

template <typename Record>
Record read_back(const std::vector<uint8_t>& bytes) {
    ContentReader in(bytes);
    Record r;
    r.read(in);
    EXPECT_TRUE(in.at_end());
    return r;
}

const NodeType* type(const char* name) {
    const NodeType* t = NodeRegistry::instance().find(name);
    EXPECT_NE(t, nullptr) << name;
    return t;
}

std::unique_ptr<GraphNode> new_node(const char* type_name) {
    auto n = std::make_unique<GraphNode>(type(type_name));
    n->assign_fresh_ids();
    n->state = n->def->state;
    return n;
}

void link(GraphNode& from, GraphNode& to, int32_t out = -1, int32_t in = -1) {
    Connection c;
    c.dst = &to;
    c.src_output_idx = out;
    c.dst_input_idx = in;
    c.id = take_fresh_id();
    from.connections.push_back(c);
}

// A small graph touching every stored field: three nodes, data and
// activation links, a string input, an absent input, a self-activating node.
std::unique_ptr<Graph> sample_graph() {
    auto g = std::make_unique<Graph>();
    auto time = new_node("Time");
    auto op = new_node("Operator");
    auto note = new_node("Note");
    time->selfActivating = true;
    time->posX = 10.5f;
    time->posY = -3.0f;
    op->inputs[1].set(make_float(2.5f));
    op->inputs[3].reset();
    op->collapsed = true;
    note->inputs[0].set(make_string("hello <BEAT>"));
    link(*time, *op, 0, 2);
    link(*time, *op);
    link(*op, *note, -1, 0);
    g->root = op.get();
    g->nodes.push_back(std::move(time));
    g->nodes.push_back(std::move(op));
    g->nodes.push_back(std::move(note));
    return g;
}

void expect_same_graph(const Graph& a, const Graph& b) {
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    auto index_of = [](const Graph& g, const GraphNode* n) -> int {
        for (size_t i = 0; i < g.nodes.size(); ++i)
            if (g.nodes[i].get() == n) return static_cast<int>(i);
        return -1;
    };
    EXPECT_EQ(index_of(a, a.root), index_of(b, b.root));
    for (size_t i = 0; i < a.nodes.size(); ++i) {
        const GraphNode& x = *a.nodes[i];
        const GraphNode& y = *b.nodes[i];
        SCOPED_TRACE("node " + std::to_string(i));
        EXPECT_EQ(x.id, y.id);
        EXPECT_EQ(x.entryID, y.entryID);
        EXPECT_EQ(x.exitID, y.exitID);
        EXPECT_EQ(x.def, y.def);
        EXPECT_EQ(x.inputs, y.inputs);
        EXPECT_EQ(x.inputIDs, y.inputIDs);
        EXPECT_EQ(x.outputIDs, y.outputIDs);
        EXPECT_EQ(x.selfActivating, y.selfActivating);
        EXPECT_EQ(x.collapsed, y.collapsed);
        EXPECT_EQ(x.posX, y.posX);
        EXPECT_EQ(x.posY, y.posY);
        ASSERT_EQ(x.connections.size(), y.connections.size());
        for (size_t k = 0; k < x.connections.size(); ++k) {
            EXPECT_EQ(index_of(a, x.connections[k].dst), index_of(b, y.connections[k].dst));
            EXPECT_EQ(x.connections[k].src_output_idx, y.connections[k].src_output_idx);
            EXPECT_EQ(x.connections[k].dst_input_idx, y.connections[k].dst_input_idx);
            EXPECT_EQ(x.connections[k].id, y.connections[k].id);
        }
    }
}

// Builds the binary body of one node by hand.
struct StoredNode {
    int32_t id = 1, entry = 2, exit = 3;
    std::string type_name = "Time";
    std::vector<int32_t> input_ids, output_ids;
    struct Link {
        uint64_t key;
        int32_t out, in, id;
    };
    std::vector<Link> links;
    uint32_t padding = 0;

    void write(ContentWriter& w) const {
        w.write_i32(id);
        w.write_i32(entry);
        w.write_i32(exit);
        w.write_string(type_name);
        w.write_f32(64);
        w.write_f32(64);
        w.write_u64(0);
        w.write_u64(input_ids.size());
        for (int32_t v : input_ids) w.write_i32(v);
        w.write_u64(output_ids.size());
        for (int32_t v : output_ids) w.write_i32(v);
        w.write_u64(links.size());
        for (const Link& l : links) {
            w.write_u64(l.key);
            w.write_i32(l.out);
            w.write_i32(l.in);
            w.write_i32(l.id);
            w.write_u32(padding);
        }
        w.write_bool(false);
        w.write_bool(false);
    }
};

class RegistryFixture : public ::testing::Test {
protected:
    void TearDown() override { NodeRegistry::instance().restore_builtins_for_tests(); }
};

}  // namespace

// ---- values -------------------------------------------------------------------

TEST(NodeValue_Payload, FreshValueIsZeroBoolAndAccessorsStayInside) {
    Value v;
    EXPECT_EQ(v.type, kind_bool);
    EXPECT_FALSE(v.as_bool());
    for (uint8_t b : v.data) EXPECT_EQ(b, 0);
    v.set_float(15, 1.5f);
    EXPECT_EQ(v.as_float(15), 1.5f);
    v.set_float(16, 9.0f);  // past the payload: ignored
    v.set_int(1000, 9);
    EXPECT_EQ(v.as_float(16), 0.0f);
    EXPECT_EQ(v.as_int(1000), 0);

    const Value iv = make_ivec2(-3, 7);
    EXPECT_EQ(iv.type, kind_ivec2);
    EXPECT_EQ(iv.as_int(0), -3);
    EXPECT_EQ(iv.as_int(1), 7);
    EXPECT_EQ(iv.as_int(2), 0);
    const Value v4 = make_vec4(1, 2, 3, 4);
    EXPECT_EQ(v4.as_float(3), 4.0f);
    EXPECT_EQ(make_bool(true).data[0], 1);
    EXPECT_EQ(make_texture2D(0xFFFFFFFFu).as_uint(), 0xFFFFFFFFu);
}

TEST(NodeValue_Kinds, NameTableHasSixteenNamesAndKindSixteenHasNone) {
    EXPECT_STREQ(value_kind_name(kind_bool), "bool");
    EXPECT_STREQ(value_kind_name(kind_texture2D), "texture2D");
    EXPECT_STREQ(value_kind_name(kind_vao), "vao");
    EXPECT_STREQ(value_kind_name(kind_buffer_ref), "");
    EXPECT_STREQ(value_kind_name(-1), "");
    EXPECT_EQ(value_kind_components(kind_mat3), 9);
    EXPECT_EQ(value_kind_components(kind_string), 0);
}

TEST(NodeValue_Binary, StringStoresTextOnlyOtherKindsExactly64Bytes) {
    const Value s = make_string("abc");
    ContentWriter text;
    text.write_string("abc");
    EXPECT_EQ(binary(s).size(), 4 + text.bytes().size());
    EXPECT_EQ(read_back<Value>(binary(s)), s);

    Value odd;  // an unknown kind keeps its whole payload
    odd.type = 77;
    for (int i = 0; i < 64; ++i) odd.data[i] = static_cast<uint8_t>(i * 3);
    EXPECT_EQ(binary(odd).size(), 4u + 64u);
    EXPECT_EQ(read_back<Value>(binary(odd)), odd);

    const Value m = [] {
        Value v;
        v.type = kind_mat4;
        for (int i = 0; i < 16; ++i) v.set_float(i, static_cast<float>(i) - 7.25f);
        return v;
    }();
    EXPECT_EQ(read_back<Value>(binary(m)), m);
}

TEST(NodeValue_Binary, BufferReferenceIsNeverTakenFromAStream) {
    int target = 0;
    const Value ref = make_buffer_ref(&target);
    const std::vector<uint8_t> stored = binary(ref);
    for (size_t i = 4; i < stored.size(); ++i) EXPECT_EQ(stored[i], 0) << "address written at byte " << i;

    ContentWriter forged;  // a stream that carries an address anyway
    forged.write_i32(kind_buffer_ref);
    uint8_t payload[64];
    std::memset(payload, 0xAB, sizeof payload);
    forged.write_raw(payload, sizeof payload);
    EXPECT_EQ(read_back<Value>(bytes_of(forged)).as_pointer(), nullptr);
}

TEST(NodeValue_Binary, AbsentMaybeValueIsOneByteAndReadsBackAllZero) {
    MaybeValue absent;
    EXPECT_EQ(binary(absent).size(), 1u);
    const std::vector<uint8_t> stored = {0};
    const MaybeValue back = read_back<MaybeValue>(stored);
    EXPECT_FALSE(back.hasValue);
    EXPECT_EQ(back.value, Value());

    const MaybeValue present = MaybeValue::of(make_vec3(1, 2, 3));
    EXPECT_EQ(read_back<MaybeValue>(binary(present)), present);
}

TEST(NodeValue_Json, EveryKindRoundTrips) {
    const std::vector<Value> values = {make_bool(true),        make_int(-5),          make_float(0.25f),
                                       make_string("x\"y"),    make_vec2(1, 2),       make_vec3(1, 2, 3),
                                       make_vec4(1, 2, 3, 4),  make_ivec2(-1, 2),     make_ivec3(1, 2, 3),
                                       make_ivec4(1, 2, 3, 4), make_texture2D(12),    make_vao(3)};
    for (const Value& v : values) {
        Value back;
        back.from_json(v.to_json(false));
        EXPECT_EQ(back, v) << v.to_json(false).dump();
    }
    Value mat;
    mat.type = kind_mat3;
    for (int i = 0; i < 9; ++i) mat.set_float(i, i * 0.5f);
    Value back;
    back.from_json(mat.to_json(false));
    EXPECT_EQ(back, mat);
    EXPECT_EQ(mat.to_json(false)["value"].size(), 9u);
}

TEST(NodeValue_Json, WrongJsonTypesAndHugeNumbersAreHandled) {
    Value v;
    EXPECT_THROW(v.from_json(nlohmann::json::parse(R"({"type": 2, "value": "fast"})")), ContentError);
    EXPECT_THROW(v.from_json(nlohmann::json::parse(R"({"type": 5, "value": 3})")), ContentError);
    v.from_json(nlohmann::json::parse(R"({"type": 1, "value": 1e300})"));
    EXPECT_EQ(v.as_int(), 2147483647);
    v.from_json(nlohmann::json::parse(R"({"type": 2, "value": -1e300})"));
    EXPECT_TRUE(std::isinf(v.as_float()));
    v.from_json(nlohmann::json::parse(R"({"type": 4, "value": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18]})"));
    EXPECT_EQ(v.as_float(1), 2.0f);
    EXPECT_EQ(v.as_float(2), 0.0f);  // a vec2 takes two components, whatever the array holds
}

// ---- ids ------------------------------------------------------------------------

TEST(NodesNextId_Counter, StoredIdsRaiseItAndEveryConnectionTakesOneMore) {
    reset_next_id_for_tests(0);
    StoredNode n;
    n.id = 5;
    n.entry = 6;
    n.exit = 7;
    n.input_ids = {8, 9};
    ContentWriter w;
    n.write(w);
    read_back<GraphNode>(bytes_of(w));
    EXPECT_GE(peek_next_id(), 10);

    // Two connections with small stored ids still advance the counter by one each.
    reset_next_id_for_tests(100);
    StoredNode m;
    m.id = m.entry = m.exit = 1;
    m.links = {{0, -1, -1, 3}, {0, -1, -1, 4}};
    ContentWriter w2;
    m.write(w2);
    const GraphNode back = read_back<GraphNode>(bytes_of(w2));
    EXPECT_EQ(peek_next_id(), 102);
    EXPECT_EQ(back.connections[0].id, 3);
    EXPECT_EQ(back.connections[1].id, 4);
}

TEST(NodesNextId_Counter, LargestIdDoesNotOverflow) {
    reset_next_id_for_tests(0);
    raise_next_id(2147483647);
    EXPECT_EQ(peek_next_id(), 2147483647);
    EXPECT_EQ(take_fresh_id(), 2147483647);
    EXPECT_EQ(peek_next_id(), 2147483647);
    reset_next_id_for_tests(0);
}

TEST(NodesNextId_FreshNode, IdsAreTakenInCreationOrder) {
    reset_next_id_for_tests(20);
    GraphNode n(type("Vec3"));  // three inputs, one output
    Connection c;
    n.connections.push_back(c);
    n.assign_fresh_ids();
    EXPECT_EQ(n.id, 20);
    EXPECT_EQ(n.outputIDs, (std::vector<int32_t>{21}));
    EXPECT_EQ(n.inputIDs, (std::vector<int32_t>{22, 23, 24}));
    EXPECT_EQ(n.connections[0].id, 25);
    EXPECT_EQ(n.entryID, 26);
    EXPECT_EQ(n.exitID, 27);
    ASSERT_EQ(n.inputs.size(), 3u);
    EXPECT_TRUE(n.inputs[0].hasValue);
    EXPECT_EQ(n.inputs[0].value.type, kind_float);
    EXPECT_EQ(n.outputs.size(), 1u);
    EXPECT_FALSE(n.outputs[0].hasValue);
}

// ---- binary graph ---------------------------------------------------------------

TEST(NodesGraph_Binary, RoundTripKeepsEveryStoredField) {
    const auto g = sample_graph();
    ContentWriter w;
    g->write(w);
    const Graph back = read_back<Graph>(bytes_of(w));
    expect_same_graph(*g, back);
    ContentWriter again;
    back.write(again);
    EXPECT_EQ(w.bytes(), again.bytes());
}

TEST(NodesGraph_Binary, ReadingResetsRunTimeListsFromTheType) {
    auto g = sample_graph();
    GraphNode& time = *g->nodes[0];
    time.outputs[0].set(make_float(3));  // run-time data never reaches the stream
    time.blocked = true;
    ContentWriter w;
    g->write(w);
    const Graph back = read_back<Graph>(bytes_of(w));
    for (const auto& n : back.nodes) {
        EXPECT_EQ(n->state, n->def->state);
        EXPECT_FALSE(n->blocked);
        EXPECT_EQ(n->outputs.size(), n->outputIDs.size());
        for (const MaybeValue& o : n->outputs) EXPECT_FALSE(o.hasValue);
    }
}

TEST(NodesGraph_Binary, OutputsFollowStoredIdsNotTheType) {
    StoredNode n;
    n.type_name = "Vec3";  // one declared output
    n.output_ids = {40, 41, 42};
    ContentWriter w;
    n.write(w);
    const GraphNode back = read_back<GraphNode>(bytes_of(w));
    ASSERT_EQ(back.outputs.size(), 3u);
    for (const MaybeValue& o : back.outputs) EXPECT_FALSE(o.hasValue);
}

TEST(NodesGraph_Binary, ConnectionIs24BytesAndPaddingIsIgnored) {
    StoredNode n;
    n.links = {{9, 1, 2, 3}};
    n.padding = 0xDEADBEEF;
    ContentWriter with_link, without_link;
    n.write(with_link);
    StoredNode bare = n;
    bare.links.clear();
    bare.write(without_link);
    EXPECT_EQ(with_link.bytes().size() - without_link.bytes().size(), kStoredConnectionBytes);

    const GraphNode back = read_back<GraphNode>(bytes_of(with_link));
    ASSERT_EQ(back.connections.size(), 1u);
    EXPECT_EQ(back.connections[0].stored_dst_key, 9u);
    EXPECT_EQ(back.connections[0].src_output_idx, 1);
    EXPECT_EQ(back.connections[0].dst_input_idx, 2);
    const std::vector<uint8_t> rewritten = binary(back);
    const size_t padding_at = rewritten.size() - 2 - 4;
    for (size_t i = padding_at; i < padding_at + 4; ++i) EXPECT_EQ(rewritten[i], 0);
}

TEST(NodesGraph_Binary, UnknownTypeAndMissingKeysStayEmptyAndAreReported) {
    ContentWriter w;
    w.write_u64(99);  // root key naming no node
    w.write_u64(2);
    StoredNode a;
    a.type_name = "NoSuchType";
    a.links = {{2, -1, -1, 7}, {1234, 0, 0, 8}};
    StoredNode b;
    b.id = 50;
    w.write_u64(1);
    a.write(w);
    w.write_u64(2);
    b.write(w);
    Graph g = read_back<Graph>(bytes_of(w));
    EXPECT_EQ(g.root, nullptr);
    EXPECT_EQ(g.nodes[0]->def, nullptr);
    EXPECT_EQ(g.nodes[0]->connections[0].dst, g.nodes[1].get());
    EXPECT_EQ(g.nodes[0]->connections[1].dst, nullptr);
    EXPECT_EQ(g.unresolved().size(), 3u);  // root, type, one destination

    // The unknown type name survives a rewrite.
    ContentWriter again;
    g.write(again);
    const Graph back = read_back<Graph>(bytes_of(again));
    EXPECT_EQ(back.nodes[0]->type_name(), "NoSuchType");
}

TEST(NodesGraph_Binary, TruncatedAndForgedStreamsThrowContentError) {
    const auto g = sample_graph();
    ContentWriter w;
    g->write(w);
    const std::vector<uint8_t> full = bytes_of(w);
    for (size_t cut : {size_t{0}, size_t{7}, size_t{16}, full.size() / 2, full.size() - 1}) {
        std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        ContentReader in(part);
        Graph back;
        EXPECT_THROW(back.read(in), ContentError) << "cut at " << cut;
    }
    ContentWriter forged;
    forged.write_u64(0);
    forged.write_u64(1ull << 60);  // node count the stream cannot hold
    const std::vector<uint8_t> forged_bytes = bytes_of(forged);
    ContentReader in(forged_bytes);
    Graph back;
    EXPECT_THROW(back.read(in), ContentError);
}

// ---- JSON graph -----------------------------------------------------------------

TEST(NodesGraph_Json, RoundTripNamesNodesByTheirIds) {
    const auto g = sample_graph();
    const nlohmann::json j = g->to_json(false);
    EXPECT_EQ(j["root"], g->root->id);
    EXPECT_EQ(j["nodes"][0]["connections"][0]["dst"], g->nodes[1]->id);
    Graph back;
    back.from_json(nlohmann::json::parse(j.dump()));
    expect_same_graph(*g, back);
    EXPECT_EQ(back.to_json(false), j);
}

TEST(NodesGraph_Json, InputOfAnotherKindIsShiftedBehindTheDefault) {
    reset_next_id_for_tests(0);
    // "Operator": op int, a float, b float, c float. Input 2 is stored as an int.
    const auto j = nlohmann::json::parse(R"({
        "id": 1, "entryID": 2, "exitID": 3, "def": "Operator", "selfActivating": false,
        "inputs": [{"hasValue": true, "value": {"type": 1, "value": 4}},
                   {"hasValue": true, "value": {"type": 2, "value": 1.5}},
                   {"hasValue": true, "value": {"type": 1, "value": 9}},
                   {"hasValue": false}],
        "inputIDs": [10, 11, 12, 13], "outputIDs": [14], "connections": []})");
    GraphNode n;
    n.from_json(j);
    ASSERT_EQ(n.inputs.size(), 5u);
    EXPECT_EQ(n.inputs[2], type("Operator")->inputs[2].default_value);
    EXPECT_EQ(n.inputs[3].value, make_int(9));
    EXPECT_FALSE(n.inputs[4].hasValue);
    ASSERT_EQ(n.inputIDs.size(), 5u);
    EXPECT_EQ(n.inputIDs[0], 10);
    EXPECT_EQ(n.inputIDs[1], 11);
    EXPECT_EQ(n.inputIDs[3], 12);
    EXPECT_EQ(n.inputIDs[4], 13);
    EXPECT_LT(n.inputIDs[2], 13);  // a fresh id, taken before the stored 12 was seen
    EXPECT_GE(peek_next_id(), 15);
}

TEST(NodesGraph_Json, PositionNeedsBothKeysAndCollapsedIsOptional) {
    GraphNode n;
    n.from_json(nlohmann::json::parse(R"({"id": 1, "def": "Time", "posX": 5})"));
    EXPECT_EQ(n.posX, 64.0f);
    EXPECT_EQ(n.posY, 64.0f);
    EXPECT_FALSE(n.collapsed);
    n.from_json(nlohmann::json::parse(R"({"id": 1, "def": "Time", "posX": 5, "posY": 6, "collapsed": true})"));
    EXPECT_EQ(n.posX, 5.0f);
    EXPECT_EQ(n.posY, 6.0f);
    EXPECT_TRUE(n.collapsed);
}

TEST(NodesGraph_Json, ConnectionsTakeAFreshIdAndUnknownDestinationsStayEmpty) {
    reset_next_id_for_tests(0);
    Graph g;
    g.from_json(nlohmann::json::parse(R"({"root": 7, "nodes": [
        {"id": 1, "def": "Time", "connections": [{"id": 2, "dst": 1, "src_output_idx": -1, "dst_input_idx": -1},
                                                 {"id": 0, "dst": 55, "src_output_idx": 0, "dst_input_idx": 0}]}]})"));
    EXPECT_EQ(g.root, nullptr);
    EXPECT_EQ(g.nodes[0]->connections[0].dst, g.nodes[0].get());
    EXPECT_EQ(g.nodes[0]->connections[1].dst, nullptr);
    EXPECT_EQ(peek_next_id(), 4);  // id 1 raises to 2; fresh 2, raise to 3; fresh 3
    EXPECT_EQ(g.unresolved().size(), 2u);
}

TEST(NodesGraph_Json, WrongJsonTypesThrowContentError) {
    GraphNode n;
    EXPECT_THROW(n.from_json(nlohmann::json::parse(R"({"id": "one"})")), ContentError);
    EXPECT_THROW(n.from_json(nlohmann::json::parse(R"({"inputs": 3})")), ContentError);
    Graph g;
    EXPECT_THROW(g.from_json(nlohmann::json::parse(R"({"nodes": {"a": 1}})")), ContentError);
}

// ---- default graph --------------------------------------------------------------

TEST(NodesGraph_Default, OneTimeNodeThatIsTheRoot) {
    const auto g = Graph::make_default();
    ASSERT_EQ(g->nodes.size(), 1u);
    const GraphNode& n = *g->nodes[0];
    EXPECT_EQ(g->root, &n);
    EXPECT_EQ(n.def, &NodeRegistry::instance().at(0));
    EXPECT_EQ(n.def->name, "Time");
    EXPECT_EQ(n.posX, 64.0f);
    EXPECT_EQ(n.posY, 64.0f);
    EXPECT_EQ(n.outputIDs.size(), 3u);
    EXPECT_FALSE(n.selfActivating);
}

// ---- labels and lookup ----------------------------------------------------------

TEST(NodeType_Label, DerivedFromTheName) {
    const std::pair<const char*, const char*> cases[] = {
        {"resources/tunnel.frag", "Tunnel (shader)"},
        {"flash.event", "Flash (event)"},
        {"city.scene", "City (scene)"},
        {"Operator", "Operator"},
        {"resources/noise.glsl", "Noise.glsl"},
        {"resources/.frag", " (shader)"},
        {"_x.event", "?x (event)"},
        {".event", " (event)"},
        {"vent", "Vent"},
        {"", ""},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},  // bytes from 128 up are left alone
        {"resources/x.event", "Resources/x (event)"},  // the event rule looks at the whole name
    };
    for (const auto& [name, label] : cases) EXPECT_EQ(NodeType::derive_label(name), label) << name;
}

TEST(NodeRegistry_Builtins, TwentyOneTypesInOrderWithTheirPorts) {
    const char* names[] = {"Time",     "TwoTriangles",  "DrawTriangles", "Shader",         "ScreenToTexture",
                           "Effect2D", "Operator",      "If",            "Texture",        "SoundTexture",
                           "FontTexture", "Clear",      "SetFrameBuffer", "ClearFrameBuffer", "ReadPixel",
                           "Constant", "Convert",       "Vec3",          "Vec3xyz",        "IVec2",
                           "Note"};
    const NodeRegistry& r = NodeRegistry::instance();
    ASSERT_GE(r.size(), kBuiltinNodeTypeCount);
    for (size_t i = 0; i < kBuiltinNodeTypeCount; ++i) EXPECT_EQ(r.at(i).name, names[i]);

    const size_t state_slots[] = {0, 1, 0, 0, 2, 3, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < kBuiltinNodeTypeCount; ++i) {
        EXPECT_EQ(r.at(i).state.size(), state_slots[i]) << names[i];
        for (const MaybeValue& s : r.at(i).state) EXPECT_FALSE(s.hasValue);
    }
    const NodeType& draw = *type("DrawTriangles");
    EXPECT_EQ(draw.inputs[1].default_value.value, make_int(6));
    EXPECT_FALSE(draw.inputs[0].default_value.hasValue);
    const NodeType& effect = *type("Effect2D");
    EXPECT_EQ(effect.inputs[0].max.value, make_int(100));
    EXPECT_NE(effect.inputs[0].choices, nullptr);
    const NodeType& convert = *type("Convert");
    for (const InputDef& in : convert.inputs) EXPECT_FALSE(in.default_value.hasValue);
    const NodeType& read_pixel = *type("ReadPixel");
    ASSERT_EQ(read_pixel.outputs.size(), 6u);
    EXPECT_EQ(read_pixel.outputs[0].type, kind_vec4);
    EXPECT_EQ(read_pixel.outputs[5].name, "a");
    EXPECT_EQ(type("If")->inputs[3].type, kind_bool);
    EXPECT_EQ(type("Vec3xyz")->inputs[0].default_value.value, make_vec3(0, 0, 0));
}

TEST(NodeRegistry_Builtins, OperatorAndComparisonChoicesEnumerateTheTables) {
    struct Seen {
        std::vector<std::pair<int32_t, std::string>> items;
    };
    auto collect = [](const NodeType& t) {
        Seen seen;
        t.inputs[0].choices(&seen, [](int32_t index, std::string_view label, void* user) {
            static_cast<Seen*>(user)->items.emplace_back(index, std::string(label));
        });
        return seen.items;
    };
    const auto ops = collect(*type("Operator"));
    ASSERT_EQ(ops.size(), 18u);
    EXPECT_EQ(ops[4], (std::pair<int32_t, std::string>{4, "mod(a, b)"}));
    EXPECT_EQ(ops[17].second, ".5 + .5 * sin(a)");
    const auto cmps = collect(*type("If"));
    ASSERT_EQ(cmps.size(), 8u);
    EXPECT_EQ(cmps[7].second, "!c");
}

TEST_F(RegistryFixture, LookupNeedsEqualLengthAndTheFirstRegisteredWins) {
    NodeRegistry& r = NodeRegistry::instance();
    EXPECT_EQ(r.find("Vec3"), &r.at(17));
    EXPECT_EQ(r.find("Vec3xyz"), &r.at(18));
    EXPECT_EQ(r.find("Vec"), nullptr);
    EXPECT_EQ(r.find("Vec3x"), nullptr);
    EXPECT_EQ(r.find(std::string_view("Time\0", 5)), nullptr);
    NodeType& dup = r.add(NodeType("Time", nullptr, {}, {}, {}));
    EXPECT_EQ(r.find("Time"), &r.at(0));
    EXPECT_NE(&dup, &r.at(0));
}

// ---- content types --------------------------------------------------------------

namespace {

std::unique_ptr<Event> uniforms_event(const std::string& name, std::vector<std::pair<std::string, bool>> defs) {
    auto e = std::make_unique<Event>();
    e->type = EventType::uniforms;
    e->name = name;
    for (auto& [uniform, is_string] : defs) {
        UniformDef d;
        d.name = uniform;
        d.is_string = is_string;
        e->uniform_defs.push_back(d);
    }
    return e;
}

UniformDef uniform(const std::string& name, float lo, float hi, float def) {
    UniformDef d;
    d.name = name;
    d.min_val = lo;
    d.max_val = hi;
    d.default_val = def;
    return d;
}

}  // namespace

TEST_F(RegistryFixture, ProgramTypeHasFixedInputsThenOnePerUniform) {
    Demo demo;
    auto p = std::make_unique<ShaderProgram>();
    p->fragment_shader_filename = "resources/graphtest_a.frag";
    p->uniform_defs = {uniform("texNoise", 0, 1, 0), uniform("gain", -2, 3, 0.5f), uniform("tex", 0, 1, 0),
                       uniform("te", 0, 1, 0)};
    demo.shaders.push_back(std::move(p));
    register_content_node_types(demo);

    const NodeType& t = *type("resources/graphtest_a.frag");
    EXPECT_EQ(t.label, "Graphtest_a (shader)");
    ASSERT_EQ(t.inputs.size(), 7u);
    EXPECT_EQ(t.inputs[0].type, kind_ivec2);
    EXPECT_EQ(t.inputs[1].type, kind_texture2D);
    EXPECT_EQ(t.inputs[2].default_value.value, make_bool(false));
    EXPECT_EQ(t.inputs[3].type, kind_texture2D);
    EXPECT_FALSE(t.inputs[3].default_value.hasValue);
    EXPECT_EQ(t.inputs[4].type, kind_float);
    EXPECT_EQ(t.inputs[4].default_value.value, make_float(0.5f));
    EXPECT_EQ(t.inputs[4].min.value, make_float(-2));
    EXPECT_EQ(t.inputs[4].max.value, make_float(3));
    EXPECT_EQ(t.inputs[5].type, kind_texture2D);  // exactly "tex"
    EXPECT_EQ(t.inputs[6].type, kind_float);      // shorter than "tex"
    ASSERT_EQ(t.outputs.size(), 1u);
    ASSERT_EQ(t.state.size(), 7u);
    EXPECT_EQ(t.state[5].value, make_ivec2(0, 0));
    EXPECT_FALSE(t.state[0].hasValue);
}

TEST_F(RegistryFixture, EventAndSceneTypesShareANameButNotASuffix) {
    Demo demo;
    demo.events.push_back(uniforms_event("graphtest_b", {}));
    auto other_kind = std::make_unique<Event>();
    other_kind->type = EventType::effect;
    other_kind->name = "graphtest_effect";
    demo.events.push_back(std::move(other_kind));
    auto scene = std::make_unique<Scene>();
    scene->name = "graphtest_b";
    demo.scenes.push_back(std::move(scene));
    const size_t before = NodeRegistry::instance().size();
    register_content_node_types(demo);
    EXPECT_EQ(NodeRegistry::instance().size(), before + 2);

    const NodeType& e = *type("graphtest_b.event");
    ASSERT_EQ(e.inputs.size(), 1u);
    EXPECT_EQ(e.inputs[0].name, "time");
    EXPECT_FALSE(e.inputs[0].default_value.hasValue);
    EXPECT_TRUE(e.outputs.empty());
    EXPECT_EQ(e.state.size(), 1u);
    const NodeType& s = *type("graphtest_b.scene");
    EXPECT_EQ(s.label, "Graphtest_b (scene)");
    ASSERT_EQ(s.inputs.size(), 4u);
    EXPECT_EQ(s.inputs[0].default_value.value, make_int(0));
    EXPECT_EQ(s.inputs[3].type, kind_vec3);
    EXPECT_EQ(NodeRegistry::instance().find("graphtest_effect.event"), nullptr);
}

TEST_F(RegistryFixture, SameNameTwiceInOnePassGivesTwoTypesAndLookupFindsTheFirst) {
    Demo demo;
    demo.events.push_back(uniforms_event("graphtest_c", {{"one", false}}));
    demo.events.push_back(uniforms_event("graphtest_c", {{"x", true}, {"y", false}}));
    const size_t before = NodeRegistry::instance().size();
    register_content_node_types(demo);
    ASSERT_EQ(NodeRegistry::instance().size(), before + 2);
    const NodeType& found = *type("graphtest_c.event");
    EXPECT_EQ(&found, &NodeRegistry::instance().at(before));
    ASSERT_EQ(found.outputs.size(), 1u);
    EXPECT_EQ(found.outputs[0].name, "one");
    EXPECT_EQ(NodeRegistry::instance().at(before + 1).outputs[1].type, kind_float);
    EXPECT_EQ(NodeRegistry::instance().at(before + 1).outputs[0].type, kind_string);

    // A second load updates the type registered last under that name.
    demo.events.resize(1);
    demo.events[0]->uniform_defs.push_back(uniform("two", 0, 1, 0));
    register_content_node_types(demo);
    EXPECT_EQ(NodeRegistry::instance().size(), before + 2);
    EXPECT_EQ(NodeRegistry::instance().at(before + 1).outputs.size(), 2u);
    EXPECT_EQ(NodeRegistry::instance().at(before + 1).outputs[0].name, "one");
    EXPECT_EQ(found.outputs.size(), 1u);
}

TEST_F(RegistryFixture, ProgramNamedLikeABuiltinUpdatesItsInputsOnly) {
    Demo demo;
    auto p = std::make_unique<ShaderProgram>();
    p->fragment_shader_filename = "Vec3xyz";
    demo.shaders.push_back(std::move(p));
    const size_t before = NodeRegistry::instance().size();
    const NodeType& builtin = *type("Vec3xyz");
    const RunFunction run = builtin.run;
    register_content_node_types(demo);
    EXPECT_EQ(NodeRegistry::instance().size(), before);
    EXPECT_EQ(builtin.inputs.size(), 3u);
    EXPECT_EQ(builtin.inputs[0].name, "size");
    EXPECT_EQ(builtin.outputs.size(), 3u);
    EXPECT_EQ(builtin.run, run);
    EXPECT_EQ(builtin.label, "Vec3xyz");
}

TEST_F(RegistryFixture, DemoChoicesListTheCurrentDemo) {
    Demo demo;
    for (const char* name : {"resources/a.frag", "resources/b.frag"}) {
        auto p = std::make_unique<ShaderProgram>();
        p->fragment_shader_filename = name;
        demo.shaders.push_back(std::move(p));
    }
    std::vector<std::string> labels;
    auto collect = [&] {
        labels.clear();
        type("Effect2D")->inputs[0].choices(&labels, [](int32_t, std::string_view label, void* user) {
            static_cast<std::vector<std::string>*>(user)->emplace_back(label);
        });
    };
    NodeRegistry::instance().set_current_demo(nullptr);
    collect();
    EXPECT_TRUE(labels.empty());
    register_content_node_types(demo);
    collect();
    EXPECT_EQ(labels, (std::vector<std::string>{"resources/a.frag", "resources/b.frag"}));
    NodeRegistry::instance().set_current_demo(nullptr);
}
