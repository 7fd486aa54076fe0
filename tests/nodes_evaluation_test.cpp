// One frame of graph evaluation: which nodes run, how often and in which
// order, what travels along data links, what stops activation, and how
// malformed graphs are survived. Also the node of a `uniforms` event.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "nodes/nodes.h"
#include "serialization/demo.h"

using namespace Nodes;

// ---- allocation counting (for the warm per-frame path) ------------------------

namespace {
std::atomic<bool> g_count_allocations{false};
std::atomic<long> g_allocations{0};
}  // namespace

// Replacements of the global allocation functions that forward to malloc and
// count while asked to. GCC cannot see that the pair matches.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (g_count_allocations.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The nothrow form too (std::stable_sort's buffer): its memory comes back
// through the sized delete above, which must find malloc's.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_count_allocations.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

// Every run of a probe node appends the node's id here.
std::vector<int32_t> g_runs;

// "Probe": input 0 float; output 0 float (input + 1, or absent while the
// input is); state slot 0 counts runs; blocks itself while input 1 is true.
void run_probe(std::vector<MaybeValue>& inputs, std::vector<MaybeValue>& outputs, std::vector<MaybeValue>& state,
               RunContext& ctx) {
    g_runs.push_back(ctx.node.id);
    if (inputs[0].hasValue) outputs[0].set(make_float(inputs[0].value.as_float() + 1.0f));
    state[0].set(make_int(state[0].value.as_int() + 1));
    ctx.node.blocked = inputs[1].value.as_bool();
}

class Evaluation : public ::testing::Test {
protected:
    void SetUp() override {
        g_runs.clear();
        InputDef value;
        value.type = kind_float;
        value.name = "value";
        InputDef block;
        block.type = kind_bool;
        block.name = "block";
        block.default_value.set(make_bool(false));
        InputDef late;  // an input the stored nodes below do not have yet
        late.type = kind_int;
        late.name = "late";
        late.default_value.set(make_int(42));
        NodeRegistry::instance().add(NodeType("Probe", run_probe, std::vector<MaybeValue>(1), {value, block, late},
                                              {OutputDef{kind_float, "out"}}));
        NodeRegistry::instance().add(NodeType("Inert", nullptr, {}, {value}, {OutputDef{kind_float, "out"}}));
    }
    void TearDown() override {
        graph.nodes.clear();
        NodeRegistry::instance().restore_builtins_for_tests();
    }

    GraphNode& add(const char* type_name, bool self_activating = false) {
        auto n = std::make_unique<GraphNode>(NodeRegistry::instance().find(type_name));
        n->assign_fresh_ids();
        n->state = n->def->state;
        n->selfActivating = self_activating;
        graph.nodes.push_back(std::move(n));
        return *graph.nodes.back();
    }
    static void activation(GraphNode& from, GraphNode& to) {
        Connection c;
        c.dst = &to;
        from.connections.push_back(c);
    }
    static void data(GraphNode& from, int32_t out, GraphNode& to, int32_t in) {
        Connection c;
        c.dst = &to;
        c.src_output_idx = out;
        c.dst_input_idx = in;
        from.connections.push_back(c);
    }
    std::vector<int32_t> frame(float beat = 0.0f) {
        g_runs.clear();
        graph.evaluate(demo, beat);
        return g_runs;
    }

    Demo demo;
    Graph graph;
};

}  // namespace

// ---- order and counts -------------------------------------------------------------

TEST_F(Evaluation, SelfActivatingNodesRunInStoredOrderThenTheRoot) {
    GraphNode& root = add("Probe");
    GraphNode& b = add("Probe", true);
    GraphNode& c = add("Probe", true);
    GraphNode& after_b = add("Probe");
    activation(b, after_b);
    graph.root = &root;
    EXPECT_EQ(frame(), (std::vector<int32_t>{b.id, after_b.id, c.id, root.id}));
}

TEST_F(Evaluation, RootOnlyRunsOnceOrTwiceWhenSelfActivating) {
    GraphNode& root = add("Probe");
    graph.root = &root;
    EXPECT_EQ(frame().size(), 1u);
    root.selfActivating = true;
    EXPECT_EQ(frame(), (std::vector<int32_t>{root.id, root.id}));
    EXPECT_EQ(root.state[0].value.as_int(), 3);
}

TEST_F(Evaluation, ActivationIsDepthFirstInLinkOrderAndEachPathRunsTheNode) {
    GraphNode& root = add("Probe");
    GraphNode& left = add("Probe");
    GraphNode& right = add("Probe");
    GraphNode& shared = add("Probe");
    GraphNode& unreached = add("Probe");
    activation(root, left);
    activation(root, right);
    activation(left, shared);
    activation(right, shared);
    graph.root = &root;
    EXPECT_EQ(frame(), (std::vector<int32_t>{root.id, left.id, shared.id, right.id, shared.id}));
    EXPECT_FALSE(unreached.state[0].hasValue);
    EXPECT_FALSE(unreached.outputs[0].hasValue);
}

TEST_F(Evaluation, LinkWithOneIndexMinusOneIsActivationAndCarriesNothing) {
    GraphNode& root = add("Probe");
    GraphNode& next = add("Probe");
    root.inputs[0].set(make_float(1));
    Connection c;
    c.dst = &next;
    c.src_output_idx = -1;
    c.dst_input_idx = 0;
    root.connections.push_back(c);
    graph.root = &root;
    EXPECT_EQ(frame(), (std::vector<int32_t>{root.id, next.id}));
    EXPECT_FALSE(next.inputs[0].hasValue);
}

// ---- data propagation -------------------------------------------------------------

TEST_F(Evaluation, DataLinksCopyKindPayloadAndTextWithoutRunningTheDestination) {
    GraphNode& note_source = add("Constant", true);
    GraphNode& sink = add("Note");
    note_source.inputs[0].set(make_string("carried"));  // a string on a bool port passes through unchanged
    data(note_source, 0, sink, 0);
    data(note_source, 2, sink, 0);  // later link in stored order wins
    EXPECT_TRUE(frame().empty());
    EXPECT_EQ(sink.inputs[0].value, make_float(0.0f));
    sink.connections.clear();
    note_source.connections.clear();
    data(note_source, 0, sink, 0);
    frame();
    EXPECT_EQ(sink.inputs[0].value, make_string("carried"));
}

TEST_F(Evaluation, AbsentOutputsLeaveTheInputAsItWas) {
    GraphNode& src = add("Probe", true);  // input 0 absent: output stays absent
    GraphNode& dst = add("Probe");
    dst.inputs[0].set(make_float(7));
    data(src, 0, dst, 0);
    frame();
    EXPECT_FALSE(src.outputs[0].hasValue);
    EXPECT_EQ(dst.inputs[0].value.as_float(), 7.0f);
}

TEST_F(Evaluation, LaterSelfActivatingProducerDeliversOneFrameLate) {
    GraphNode& consumer = add("Probe", true);
    GraphNode& producer = add("Time", true);
    data(producer, 0, consumer, 0);
    frame(5.0f);
    EXPECT_FALSE(consumer.outputs[0].hasValue);
    frame(6.0f);
    EXPECT_EQ(consumer.outputs[0].value.as_float(), 6.0f);  // beat 5 + 1
}

// ---- blocking -----------------------------------------------------------------------

TEST_F(Evaluation, FalseIfPushesFalseButActivatesNothing) {
    GraphNode& cond = add("If");
    GraphNode& after = add("Probe");
    GraphNode& sink = add("Constant");
    cond.inputs[0].set(make_int(2));  // a > b
    cond.inputs[1].set(make_float(1));
    cond.inputs[2].set(make_float(2));
    data(cond, 0, sink, 0);
    activation(cond, after);
    graph.root = &cond;
    EXPECT_TRUE(frame().empty());
    EXPECT_TRUE(cond.blocked);
    EXPECT_EQ(sink.inputs[0].value, make_bool(false));
    cond.inputs[1].set(make_float(3));
    EXPECT_EQ(frame(), (std::vector<int32_t>{after.id}));
    EXPECT_EQ(sink.inputs[0].value, make_bool(true));
}

TEST_F(Evaluation, DivisionByZeroPushesThePreviousResultAndBlocks) {
    GraphNode& op = add("Operator");
    GraphNode& after = add("Probe");
    op.inputs[0].set(make_int(3));
    op.inputs[1].set(make_float(6));
    op.inputs[2].set(make_float(2));
    data(op, 0, after, 0);
    activation(op, after);
    graph.root = &op;
    frame();
    EXPECT_EQ(after.inputs[0].value.as_float(), 3.0f);
    after.inputs[0].set(make_float(-1));
    op.inputs[2].set(make_float(0));
    EXPECT_TRUE(frame().empty());
    EXPECT_EQ(after.inputs[0].value.as_float(), 3.0f);  // the old result travelled again
    op.inputs[2].set(make_float(1));
    EXPECT_EQ(frame().size(), 1u);  // the next run clears the block
}

TEST_F(Evaluation, BlockedSelfActivatingNodeStillRunsEachFrame) {
    GraphNode& gate = add("Probe", true);
    GraphNode& after = add("Probe");
    gate.inputs[1].set(make_bool(true));
    activation(gate, after);
    EXPECT_EQ(frame(), (std::vector<int32_t>{gate.id}));
    EXPECT_EQ(frame(), (std::vector<int32_t>{gate.id}));
}

// ---- preparation --------------------------------------------------------------------

TEST_F(Evaluation, InputsGainedSinceStorageGetDefaultsAndStoredOnesStay) {
    GraphNode& n = add("Probe");
    n.inputs.resize(1);
    n.inputIDs.resize(1);
    n.inputs[0].set(make_float(2));
    n.state.clear();
    n.outputs.clear();
    n.outputIDs.clear();
    graph.root = &n;
    const int32_t next = peek_next_id();
    frame();
    ASSERT_EQ(n.inputs.size(), 3u);
    EXPECT_EQ(n.inputs[0].value.as_float(), 2.0f);
    EXPECT_EQ(n.inputs[1].value, make_bool(false));
    EXPECT_EQ(n.inputs[2].value, make_int(42));
    EXPECT_EQ(n.inputIDs.size(), 3u);
    EXPECT_EQ(n.outputIDs.size(), 1u);
    EXPECT_EQ(peek_next_id(), next + 3);
    EXPECT_EQ(n.state.size(), 1u);
}

TEST_F(Evaluation, StoredAbsentInputIsNotFilledAndExtraEntriesStay) {
    GraphNode& n = add("Operator");
    n.inputs[1].reset();  // stored absent although the type has a default
    n.inputs.push_back(MaybeValue::of(make_int(9)));
    n.outputs.push_back(MaybeValue());
    graph.root = &n;
    frame();
    EXPECT_FALSE(n.inputs[1].hasValue);
    EXPECT_EQ(n.inputs.size(), 5u);
    EXPECT_EQ(n.outputs.size(), 2u);
}

TEST_F(Evaluation, StateSlotsAddedByPreparationStartAbsent) {
    auto& t = NodeRegistry::instance().add(NodeType("Stateful", nullptr, {MaybeValue::of(make_int(5))}, {}, {}));
    GraphNode& n = add("Stateful");
    n.state.clear();
    graph.root = &n;
    frame();
    ASSERT_EQ(n.state.size(), 1u);
    EXPECT_FALSE(n.state[0].hasValue);
    EXPECT_TRUE(t.state[0].hasValue);
}

TEST_F(Evaluation, ValuePushedIntoAnInputTheDestinationHasNotGrownYetArrives) {
    GraphNode& src = add("Constant", true);
    GraphNode& dst = add("Probe");
    dst.inputs.resize(1);
    dst.inputIDs.resize(1);
    src.inputs[1].set(make_int(77));
    data(src, 1, dst, 2);
    frame();
    ASSERT_EQ(dst.inputs.size(), 3u);
    EXPECT_EQ(dst.inputs[2].value, make_int(77));
}

// ---- malformed graphs ---------------------------------------------------------------

TEST_F(Evaluation, ActivationCycleIsCutAtTheDepthCap) {
    GraphNode& loop = add("Probe");
    activation(loop, loop);
    graph.root = &loop;
    EXPECT_EQ(frame().size(), static_cast<size_t>(kMaxActivationDepth));
}

TEST_F(Evaluation, BranchingCycleStopsAtTheFrameBudget) {
    GraphNode& loop = add("Inert");
    activation(loop, loop);
    activation(loop, loop);  // 2^256 runs without a budget
    graph.root = &loop;
    graph.evaluate(demo, 0);
    EXPECT_EQ(graph.runs_last_frame(), kMaxRunsPerFrame);
}

TEST_F(Evaluation, MalformedLinksNodesAndRootAreSkipped) {
    GraphNode& src = add("Constant", true);
    GraphNode& dst = add("Note");
    GraphNode& untyped = add("Note");
    untyped.def = nullptr;
    untyped.selfActivating = true;
    src.inputs[2].set(make_float(1));
    const int32_t bad[][2] = {{2, 99}, {99, 0}, {-5, 0}, {2, -7}, {3, 0}};
    for (const auto& [out, in] : bad) data(src, out, dst, in);
    Connection nowhere;
    nowhere.src_output_idx = 2;
    nowhere.dst_input_idx = 0;
    src.connections.push_back(nowhere);  // data link to no node
    src.connections.push_back(Connection());  // activation link to no node
    activation(src, untyped);
    data(src, 2, untyped, 0);
    graph.root = nullptr;
    frame();
    EXPECT_EQ(dst.inputs.size(), 1u);
    EXPECT_EQ(dst.inputs[0].value, make_string(""));
    EXPECT_TRUE(untyped.inputs[0].hasValue);  // data still lands in a typeless node's existing input
    graph.root = &untyped;
    EXPECT_NO_THROW(frame());
}

TEST_F(Evaluation, TypeWithoutRunStillPropagatesAndActivates) {
    GraphNode& inert = add("Inert");
    GraphNode& after = add("Probe");
    inert.outputs[0].set(make_float(4));
    data(inert, 0, after, 0);
    activation(inert, after);
    graph.root = &inert;
    EXPECT_EQ(frame(), (std::vector<int32_t>{after.id}));
    EXPECT_EQ(after.outputs[0].value.as_float(), 5.0f);
}

TEST_F(Evaluation, WarmFramesAllocateNothing) {
    GraphNode& time = add("Time", true);
    GraphNode& op = add("Operator");
    GraphNode& cond = add("If");
    GraphNode& vec = add("Vec3");
    data(time, 1, op, 1);
    data(op, 0, cond, 1);
    data(op, 0, vec, 0);
    activation(time, op);
    activation(op, cond);
    activation(cond, vec);
    cond.inputs[0].set(make_int(5));  // a <= b
    cond.inputs[2].set(make_float(10));
    frame(1.5f);
    frame(2.5f);
    g_allocations = 0;
    g_count_allocations = true;
    for (int i = 0; i < 10; ++i) graph.evaluate(demo, 3.0f + i * 0.1f);
    g_count_allocations = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_TRUE(vec.outputs[0].hasValue);
}

// ---- the node of a uniforms event ---------------------------------------------------

namespace {

class EventNode : public ::testing::Test {
protected:
    void SetUp() override {
        auto decoy = std::make_unique<Event>();  // same name, wrong kind: never matched
        decoy->type = EventType::effect;
        decoy->name = "evtest";
        decoy->start_beat = 0;
        decoy->end_beat = 1000;
        demo.events.push_back(std::move(decoy));

        auto e = std::make_unique<Event>();
        e->type = EventType::uniforms;
        e->name = "evtest";
        e->start_beat = 10;
        e->end_beat = 20;
        UniformDef gain;
        gain.name = "gain";
        UniformDef caption;
        caption.name = "caption";
        caption.is_string = true;
        e->uniform_defs = {gain, caption};
        ControlPointTrack& g = e->track("gain");
        g.mode = InterpolationMode::linear;
        g.points = {ControlPoint(0, 1.0f), ControlPoint(4, 3.0f)};
        e->track("caption").points = {ControlPoint(0, 0, "Beat <IBEAT>")};
        demo.events.push_back(std::move(e));
        register_content_node_types(demo);

        node.def = NodeRegistry::instance().find("evtest.event");
        ASSERT_NE(node.def, nullptr);
        node.assign_fresh_ids();
        node.state = node.def->state;
        node.prepare();
    }
    void TearDown() override { NodeRegistry::instance().restore_builtins_for_tests(); }

    void run(float time, bool present = true, float current_beat = 12.75f) {
        node.inputs[0].hasValue = present;
        node.inputs[0].value = make_float(time);
        RunContext ctx{demo, node, current_beat};
        node.def->run(node.inputs, node.outputs, node.state, ctx);
    }

    Demo demo;
    GraphNode node;
};

}  // namespace

TEST_F(EventNode, InsideTheSpanOutputsEveryDefinition) {
    run(12.0f);
    EXPECT_FALSE(node.blocked);
    EXPECT_EQ(node.state[0].value, make_int(1));
    EXPECT_EQ(node.outputs[0].value, make_float(2.0f));
    EXPECT_EQ(node.outputs[1].value, make_string("Beat 12"));
}

TEST_F(EventNode, EndBeatIsOutsideAndBlocksWithoutTouchingOutputs) {
    run(12.0f);
    run(20.0f);
    EXPECT_TRUE(node.blocked);
    EXPECT_EQ(node.outputs[0].value, make_float(2.0f));
    run(10.0f);
    EXPECT_FALSE(node.blocked);
    EXPECT_EQ(node.outputs[0].value, make_float(1.0f));
}

TEST_F(EventNode, AbsentTimeDoesNothing) {
    node.blocked = true;
    run(12.0f, false);
    EXPECT_TRUE(node.blocked);
    EXPECT_FALSE(node.outputs[0].hasValue);
}

TEST_F(EventNode, StaleOrForgedPositionIsLookedUpAgain) {
    node.state[0].set(make_int(99));
    run(12.0f);
    EXPECT_EQ(node.state[0].value, make_int(1));
    node.state[0].set(make_int(0));  // the effect event of the same name
    run(14.0f);
    EXPECT_EQ(node.state[0].value, make_int(1));
    EXPECT_EQ(node.outputs[0].value, make_float(3.0f));
    node.state[0].set(make_int(-3));
    run(12.0f);
    EXPECT_EQ(node.state[0].value, make_int(1));
}

TEST_F(EventNode, MissingEventDoesNothingUntilItAppears) {
    auto moved = std::move(demo.events[1]);
    demo.events.pop_back();
    run(12.0f);
    EXPECT_FALSE(node.state[0].hasValue);
    EXPECT_FALSE(node.outputs[0].hasValue);
    demo.events.push_back(std::move(moved));
    run(12.0f);
    EXPECT_TRUE(node.outputs[0].hasValue);
}

TEST_F(EventNode, MoreDefinitionsThanOutputsWritesOnlyThoseThatExist) {
    node.outputs.resize(1);
    run(12.0f);
    EXPECT_EQ(node.outputs.size(), 1u);
    EXPECT_EQ(node.outputs[0].value, make_float(2.0f));
}

TEST_F(EventNode, DrivesAGraphThroughTime) {
    Graph graph;
    auto time = std::make_unique<GraphNode>(NodeRegistry::instance().find("Time"));
    time->assign_fresh_ids();
    time->selfActivating = true;
    auto ev = std::make_unique<GraphNode>(node.def);
    ev->assign_fresh_ids();
    ev->state = ev->def->state;
    auto sink = std::make_unique<GraphNode>(NodeRegistry::instance().find("Constant"));
    sink->assign_fresh_ids();
    Connection beat;
    beat.dst = ev.get();
    beat.src_output_idx = 0;
    beat.dst_input_idx = 0;
    time->connections.push_back(beat);
    Connection gain = beat;
    gain.dst = sink.get();
    gain.dst_input_idx = 2;
    ev->connections.push_back(gain);
    graph.root = ev.get();
    graph.nodes.push_back(std::move(time));
    graph.nodes.push_back(std::move(ev));
    GraphNode& s = *sink;
    graph.nodes.push_back(std::move(sink));
    graph.evaluate(demo, 11.0f);
    EXPECT_EQ(s.inputs[2].value, make_float(1.5f));
    graph.evaluate(demo, 25.0f);
    EXPECT_EQ(s.inputs[2].value, make_float(1.5f));
    EXPECT_TRUE(graph.root->blocked);
}
