// Cost of one node run in a frame of a 1,000-node graph of logic nodes,
// beside a baseline loop that performs only the value copies the graph's data
// links perform. The difference is what activation, preparation and the run
// functions add on top of moving the values.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "nodes/nodes.h"
#include "serialization/demo.h"

namespace {

using namespace Nodes;

constexpr int kNodes = 1000;

GraphNode& add(Graph& g, const char* type_name) {
    auto n = std::make_unique<GraphNode>(NodeRegistry::instance().find(type_name));
    n->assign_fresh_ids();
    n->state = n->def->state;
    g.nodes.push_back(std::move(n));
    return *g.nodes.back();
}

void link(GraphNode& from, GraphNode& to, int32_t out = -1, int32_t in = -1) {
    Connection c;
    c.dst = &to;
    c.src_output_idx = out;
    c.dst_input_idx = in;
    from.connections.push_back(c);
}

// A "Time" root fanning out to 333 branches of Operator -> If -> Vec3, each
// fed by data links: every node runs once per frame and activation stays
// three levels deep.
std::unique_ptr<Graph> logic_graph() {
    auto g = std::make_unique<Graph>();
    GraphNode& time = add(*g, "Time");
    g->root = &time;
    for (int i = 0; i < (kNodes - 1) / 3; ++i) {
        GraphNode& op = add(*g, "Operator");
        GraphNode& cond = add(*g, "If");
        GraphNode& vec = add(*g, "Vec3");
        op.inputs[0].set(make_int(i % 18 == 3 || i % 18 == 11 ? 0 : i % 18));
        op.inputs[2].set(make_float(1.0f + static_cast<float>(i)));
        cond.inputs[0].set(make_int(1));  // a != b: true almost always
        cond.inputs[2].set(make_float(-12345.0f));
        link(time, op, 1, 1);
        link(time, op);
        link(op, cond, 0, 1);
        link(op, vec, 0, 0);
        link(time, vec, 0, 1);
        link(op, cond);
        link(cond, vec);
    }
    return g;
}

size_t data_link_count(const Graph& g) {
    size_t n = 0;
    for (const auto& node : g.nodes)
        for (const Connection& c : node->connections) n += c.is_data_link();
    return n;
}

// The same number of value copies as one frame of the graph, between two
// arrays of values of the kinds the graph moves.
struct CopyBaseline {
    std::vector<MaybeValue> from, to;
    explicit CopyBaseline(size_t copies) : from(copies), to(copies) {
        for (size_t i = 0; i < copies; ++i) from[i].set(make_float(static_cast<float>(i)));
    }
    void run() {
        for (size_t i = 0; i < from.size(); ++i) to[i].set(from[i].value);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
};

void BM_GraphEvaluate_LogicNodes(benchmark::State& state) {
    Demo demo;
    auto g = logic_graph();
    float beat = 0.0f;
    g->evaluate(demo, beat);  // warm: preparation done, outputs present
    for (auto _ : state) {
        beat += 0.01f;
        g->evaluate(demo, beat);
    }
    state.counters["node_runs_per_frame"] = static_cast<double>(g->runs_last_frame());
    state.counters["ns_per_node_run"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(g->runs_last_frame()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_GraphEvaluate_LogicNodes);

void BM_Baseline_CopyValues(benchmark::State& state) {
    const auto g = logic_graph();
    CopyBaseline baseline(data_link_count(*g));
    for (auto _ : state) baseline.run();
    state.counters["ns_per_node"] = benchmark::Counter(static_cast<double>(state.iterations()) * kNodes,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Baseline_CopyValues);

// Both in one loop, timed alternately, so the ratio comes from the same run
// conditions.
void BM_GraphVsBaseline_Ratio(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Demo demo;
    auto g = logic_graph();
    CopyBaseline baseline(data_link_count(*g));
    g->evaluate(demo, 0.0f);
    double graph_s = 0, base_s = 0;
    float beat = 0.0f;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        beat += 0.01f;
        g->evaluate(demo, beat);
        const auto t1 = Clock::now();
        baseline.run();
        const auto t2 = Clock::now();
        graph_s += std::chrono::duration<double>(t1 - t0).count();
        base_s += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
    }
    const double runs = static_cast<double>(state.iterations()) * static_cast<double>(g->runs_last_frame());
    state.counters["graph_ns_per_node"] = graph_s * 1e9 / runs;
    state.counters["baseline_ns_per_node"] = base_s * 1e9 / runs;
    state.counters["ratio"] = base_s > 0 ? graph_s / base_s : 0;
}
BENCHMARK(BM_GraphVsBaseline_Ratio)->UseManualTime();

}  // namespace
