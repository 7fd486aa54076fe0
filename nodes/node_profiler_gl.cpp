#include <GL/glew.h>

#include "nodes/graph_node.h"
#include "nodes/node_profiler.h"
#include "nodes/node_type.h"

namespace Nodes {

namespace {

double ms_between(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

}  // namespace

NodeProfiler::NodeProfiler(NodeCostTable& table) : table_(table) {
    gpu_ = GLEW_VERSION_3_3 || GLEW_ARB_timer_query;
    if (!gpu_) return;
    for (Slot& s : slots_) {
        glGenQueries(1, &s.frame_begin);
        glGenQueries(1, &s.frame_end);
    }
}

NodeProfiler::~NodeProfiler() {
    if (!gpu_) return;
    for (Slot& s : slots_) {
        if (!s.queries.empty()) glDeleteQueries(static_cast<GLsizei>(s.queries.size()), s.queries.data());
        glDeleteQueries(1, &s.frame_begin);
        glDeleteQueries(1, &s.frame_end);
    }
}

void NodeProfiler::collect(Slot& slot, bool wait) {
    if (!slot.pending) return;
    slot.pending = false;
    double gpu_frame_ms = -1;
    if (gpu_) {
        GLint ready = 0;
        // Queries finish in the order they were issued: the frame's last one
        // being ready means all of them are.
        if (!wait) glGetQueryObjectiv(slot.frame_end, GL_QUERY_RESULT_AVAILABLE, &ready);
        if (!wait && !ready) {
            ++dropped_;
            return;
        }
        GLuint64 begin = 0, end = 0;
        glGetQueryObjectui64v(slot.frame_begin, GL_QUERY_RESULT, &begin);
        glGetQueryObjectui64v(slot.frame_end, GL_QUERY_RESULT, &end);
        gpu_frame_ms = end > begin ? static_cast<double>(end - begin) / 1e6 : 0.0;
        for (size_t i = 0; i < slot.nodes.size(); ++i) {
            GLuint64 elapsed = 0;
            glGetQueryObjectui64v(slot.queries[i], GL_QUERY_RESULT, &elapsed);
            slot.nodes[i].gpu_ms = static_cast<double>(elapsed) / 1e6;
        }
    }
    table_.add(slot.time_s, slot.cpu_ms, gpu_frame_ms, slot.nodes);
}

void NodeProfiler::begin_frame(double time_s) {
    current_ = (current_ + 1) % kFramesInFlight;
    Slot& slot = slots_[current_];
    collect(slot, false);
    slot.time_s = time_s;
    slot.nodes.clear();
    in_frame_ = true;
    frame_start_ = std::chrono::steady_clock::now();
    if (gpu_) glQueryCounter(slot.frame_begin, GL_TIMESTAMP);
}

void NodeProfiler::end_frame() {
    if (!in_frame_) return;
    in_frame_ = false;
    Slot& slot = slots_[current_];
    if (gpu_) glQueryCounter(slot.frame_end, GL_TIMESTAMP);
    slot.cpu_ms = ms_between(frame_start_, std::chrono::steady_clock::now());
    slot.pending = true;
}

void NodeProfiler::finish() {
    end_frame();
    // Oldest first, so the table keeps the frames in order.
    for (size_t k = 1; k <= kFramesInFlight; ++k) collect(slots_[(current_ + k) % kFramesInFlight], true);
}

void NodeProfiler::node_started(const GraphNode& node) {
    // Runs do not nest; a run outside begin/end_frame is not measured.
    if (!in_frame_ || in_node_) return;
    in_node_ = true;
    Slot& slot = slots_[current_];
    if (node.def) table_.name_node(node.id, node.def->name);
    slot.nodes.push_back({node.id, 0.0, -1.0});
    if (gpu_) {
        if (slot.queries.size() < slot.nodes.size()) {
            GLuint q = 0;
            glGenQueries(1, &q);
            slot.queries.push_back(q);
        }
        glBeginQuery(GL_TIME_ELAPSED, slot.queries[slot.nodes.size() - 1]);
    }
    node_start_ = std::chrono::steady_clock::now();
}

void NodeProfiler::node_finished(const GraphNode&) {
    if (!in_node_) return;
    in_node_ = false;
    Slot& slot = slots_[current_];
    slot.nodes.back().cpu_ms = ms_between(node_start_, std::chrono::steady_clock::now());
    if (gpu_) glEndQuery(GL_TIME_ELAPSED);
}

}  // namespace Nodes
