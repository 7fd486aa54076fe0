#include "preview/cost_panel.h"

#include <imgui.h>

#include <cmath>
#include <cstdio>

#include "nodes/graph.h"
#include "nodes/node_profiler.h"

namespace {

constexpr double kWindowSeconds = 1.0;
constexpr size_t kMaxFrames = 1024;  // a second at the fastest frame rates the preview reaches

double rounded(double ms) { return std::round(ms * 1000) / 1000; }

}  // namespace

CostPanel::CostPanel() : table_(kMaxFrames) {}
CostPanel::~CostPanel() = default;

void CostPanel::toggle() {
    open_ = !open_;
    if (open_ && !profiler_) profiler_ = std::make_unique<Nodes::NodeProfiler>(table_);
    // Old numbers would be averaged with new ones after a pause of measuring.
    if (open_) table_.clear();
}

void CostPanel::begin_frame(Nodes::Graph& graph, double now_s) {
    if (!open_) {
        graph.run_observer = nullptr;
        return;
    }
    graph.run_observer = profiler_.get();
    profiler_->begin_frame(now_s);
}

void CostPanel::end_frame(Nodes::Graph& graph) {
    if (!open_) return;
    profiler_->end_frame();
    graph.run_observer = nullptr;
}

void CostPanel::forget_nodes() { table_.clear(); }

void CostPanel::draw(double now_s) {
    if (!open_) return;
    const auto s = table_.summarize(now_s - kWindowSeconds);
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x - 8, 72), ImGuiCond_Always, ImVec2(1, 0));
    ImGui::SetNextWindowBgAlpha(0.8f);
    ImGui::Begin("frame cost per node (P)", nullptr,
                 ImGuiWindowFlags_NoMove | ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings);
    char gpu[32] = "not measured";
    if (s.gpu) std::snprintf(gpu, sizeof gpu, "%.3f ms", s.frame_gpu_ms.mean);
    ImGui::Text("last second, %zu frames: CPU %.3f ms, GPU %s", s.frames, s.frame_cpu_ms.mean, gpu);
    if (ImGui::BeginTable("costs", 4, ImGuiTableFlags_RowBg | ImGuiTableFlags_SizingFixedFit)) {
        ImGui::TableSetupColumn("node");
        ImGui::TableSetupColumn("CPU ms");
        ImGui::TableSetupColumn("GPU ms");
        ImGui::TableSetupColumn("share");
        ImGui::TableHeadersRow();
        for (const auto& r : s.rows) {
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(r.name.c_str());
            ImGui::TableNextColumn();
            ImGui::Text("%.3f", r.cpu_ms.mean);
            ImGui::TableNextColumn();
            if (s.gpu) ImGui::Text("%.3f", r.gpu_ms.mean);
            else ImGui::TextDisabled("-");
            ImGui::TableNextColumn();
            ImGui::Text("%4.1f%%", 100.0 * (s.gpu ? r.gpu_share : r.cpu_share));
        }
        ImGui::EndTable();
    }
    ImGui::End();
}

nlohmann::json CostPanel::status(double now_s) const {
    nlohmann::json out = {{"open", open_}};
    if (!open_) return out;
    const auto s = table_.summarize(now_s - kWindowSeconds);
    const auto gpu = [&](double ms) { return s.gpu ? nlohmann::json(rounded(ms)) : nlohmann::json(nullptr); };
    nlohmann::json nodes = nlohmann::json::array();
    for (const auto& r : s.rows)
        nodes.push_back({{"node", r.name},
                         {"id", r.node_id},
                         {"cpu_ms", rounded(r.cpu_ms.mean)},
                         {"gpu_ms", gpu(r.gpu_ms.mean)},
                         {"share", std::round(1000 * (s.gpu ? r.gpu_share : r.cpu_share)) / 1000}});
    out["frames"] = s.frames;
    out["frame_cpu_ms"] = rounded(s.frame_cpu_ms.mean);
    out["frame_gpu_ms"] = gpu(s.frame_gpu_ms.mean);
    out["nodes"] = nodes;
    return out;
}
