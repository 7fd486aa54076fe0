#include "preview/timeline_panel.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "preview/beat_grid.h"
#include "preview/utf8_text.h"
#include "serialization/demo.h"
#include "timeline/event.h"
#include "timeline/event_group.h"

namespace {

constexpr float kNamesWidth = 150;
constexpr float kLaneHeight = 18;
constexpr float kTrackHeight = 56;
constexpr float kHandle = 4;  // half the size of a key's handle
constexpr int kMaxCurveSamples = 2048;

ImU32 kind_colour(int kind, bool faint) {
    const int a = faint ? 70 : 220;
    switch (kind) {
    case EventType::effect: return IM_COL32(80, 140, 230, a);
    case EventType::audio_sample: return IM_COL32(230, 170, 60, a);
    case EventType::group: return IM_COL32(150, 110, 220, a);
    case EventType::uniforms: return IM_COL32(80, 200, 120, a);
    default: return IM_COL32(150, 150, 150, a);
    }
}

struct Range {
    float lo = 0, hi = 1;
};

Range range_of(const UniformDef& def) {
    if (def.min_val < def.max_val) return {def.min_val, def.max_val};
    return {0, 1};
}

}  // namespace

void TimelinePanel::forget_selection() {
    selected_event_ = -1;
    selected_track_ = -1;
    selected_keys_.clear();
    dragging_ = false;
    boxing_ = false;
}

void TimelinePanel::draw(Demo& demo, TimelineEditor& editor, const PanelView& view, PanelRequests& out) {
    if (!visible) return;
    const ImGuiViewport* screen = ImGui::GetMainViewport();
    const float height = std::max(200.0f, screen->Size.y * 0.45f);
    ImGui::SetNextWindowPos(ImVec2(0, screen->Size.y - height));
    ImGui::SetNextWindowSize(ImVec2(screen->Size.x, height));
    ImGui::SetNextWindowBgAlpha(0.85f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing |
                                   ImGuiWindowFlags_NoScrollWithMouse;
    ImGui::Begin("timeline editor", nullptr, flags);

    float last = std::max(view.end_beat, 1.0f);
    for (const auto& e : demo.events)
        if (e) last = std::max(last, e->end_beat);
    if (beats_shown_ <= 0) {
        first_beat_ = 0;
        beats_shown_ = last;
    }

    // Toolbar.
    if (ImGui::SmallButton("fit")) {
        first_beat_ = 0;
        beats_shown_ = last;
    }
    ImGui::SameLine();
    ImGui::SetNextItemWidth(70);
    char grid_label[16];
    std::snprintf(grid_label, sizeof grid_label, "1/%d", grid);
    if (ImGui::BeginCombo("grid", grid_label)) {
        for (int n : kGridDivisions) {
            char label[16];
            std::snprintf(label, sizeof label, "1/%d", n);
            if (ImGui::Selectable(label, n == grid)) grid = n;
        }
        ImGui::EndCombo();
    }
    ImGui::SameLine();
    ImGui::Checkbox("hidden events", &show_hidden);
    ImGui::SameLine();
    ImGui::TextDisabled("%s  undo %zu  T hides  wheel zooms, Shift+wheel scrolls, Alt: no snap", view.unsaved ? "* unsaved" : "saved",
                        editor.history().undo_steps());

    const ImVec2 start = ImGui::GetCursorScreenPos();
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const float x0 = start.x + kNamesWidth;
    const float width = std::max(avail.x - kNamesWidth, 10.0f);
    const double px_per_beat = width / beats_shown_;
    geometry.x0 = x0;
    geometry.px_per_beat = static_cast<float>(px_per_beat);
    geometry.first_beat = first_beat_;
    const auto x_of = [&](double beat) { return x0 + static_cast<float>((beat - first_beat_) * px_per_beat); };
    const auto beat_of = [&](float x) { return first_beat_ + (x - x0) / px_per_beat; };

    // Zoom and scroll with the wheel anywhere over the panel.
    ImGuiIO& io = ImGui::GetIO();
    if (ImGui::IsWindowHovered(ImGuiHoveredFlags_ChildWindows) && io.MouseWheel != 0) {
        if (io.KeyShift) {
            first_beat_ -= io.MouseWheel * beats_shown_ * 0.1;
        } else {
            const double at = beat_of(io.MousePos.x);
            beats_shown_ = std::clamp(beats_shown_ * std::pow(0.85, io.MouseWheel), 0.25, std::max(last * 4.0, 4.0));
            first_beat_ = at - (io.MousePos.x - x0) / (width / beats_shown_);
        }
    }

    ImDrawList* draw = ImGui::GetWindowDrawList();
    // Ruler: bars numbered, beats ticked; click or drag seeks.
    const float ruler_h = 18;
    geometry.ruler_y = start.y;
    draw->AddRectFilled(ImVec2(x0, start.y), ImVec2(x0 + width, start.y + ruler_h), IM_COL32(40, 40, 48, 255));
    const double step = px_per_beat < 4 ? 16 : px_per_beat < 12 ? 4 : 1;
    for (double b = std::floor(first_beat_ / step) * step; b <= first_beat_ + beats_shown_; b += step) {
        const float x = x_of(b);
        if (x < x0) continue;
        const bool bar = std::fmod(b, 4.0) == 0;
        draw->AddLine(ImVec2(x, start.y + (bar ? 0 : ruler_h * 0.6f)), ImVec2(x, start.y + ruler_h),
                      IM_COL32(160, 160, 170, 255));
        if (bar && px_per_beat * 4 >= 24) {
            char label[16];
            std::snprintf(label, sizeof label, "%d", static_cast<int>(b / 4) + 1);
            draw->AddText(ImVec2(x + 2, start.y + 1), IM_COL32(200, 200, 210, 255), label);
        }
    }
    ImGui::SetCursorScreenPos(ImVec2(x0, start.y));
    ImGui::InvisibleButton("ruler", ImVec2(width, ruler_h));
    if (ImGui::IsItemActive()) out.seek = std::max(0.0, beat_of(io.MousePos.x));

    // Waveform from the decoded music: min and max per column, made again
    // only when the view moves.
    const float wave_y = start.y + ruler_h, wave_h = 30;
    if (view.pcm && !view.pcm->empty()) {
        const size_t columns = static_cast<size_t>(width);
        if (wave_pcm_ != view.pcm || wave_first_ != first_beat_ || wave_shown_ != beats_shown_ ||
            wave_min_.size() != columns) {
            wave_pcm_ = view.pcm;
            wave_first_ = first_beat_;
            wave_shown_ = beats_shown_;
            wave_min_.assign(columns, 0);
            wave_max_.assign(columns, 0);
            const int64_t frames = static_cast<int64_t>(view.pcm->size() / 2);
            const double frames_per_beat = 44100.0 * 60.0 / view.bpm;
            for (size_t c = 0; c < columns; ++c) {
                const double b0 = beat_of(x0 + static_cast<float>(c)), b1 = beat_of(x0 + static_cast<float>(c + 1));
                int64_t f0 = static_cast<int64_t>((b0 + view.beat_offset) * frames_per_beat);
                int64_t f1 = static_cast<int64_t>((b1 + view.beat_offset) * frames_per_beat);
                f0 = std::clamp<int64_t>(f0, 0, frames);
                f1 = std::clamp<int64_t>(f1, f0, frames);
                // At most 64 frames a column: a whole song zoomed out stays cheap.
                const int64_t stride = std::max<int64_t>(1, (f1 - f0) / 64);
                float lo = 0, hi = 0;
                for (int64_t f = f0; f < f1; f += stride) {
                    const float v = ((*view.pcm)[static_cast<size_t>(f) * 2] + (*view.pcm)[static_cast<size_t>(f) * 2 + 1]) / 65536.0f;
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
                wave_min_[c] = lo;
                wave_max_[c] = hi;
            }
        }
        const float mid = wave_y + wave_h * 0.5f;
        for (size_t c = 0; c < wave_min_.size(); ++c)
            draw->AddLine(ImVec2(x0 + static_cast<float>(c), mid - wave_max_[c] * wave_h),
                          ImVec2(x0 + static_cast<float>(c), mid - wave_min_[c] * wave_h + 1), IM_COL32(90, 160, 200, 200));
    }
    draw->AddText(ImVec2(start.x + 4, wave_y + 8), IM_COL32(150, 150, 160, 255), "music");

    // Lanes and curves scroll below the ruler and waveform.
    ImGui::SetCursorScreenPos(ImVec2(start.x, wave_y + wave_h + 2));
    ImGui::BeginChild("lanes", ImVec2(avail.x, std::max(20.0f, start.y + avail.y - (wave_y + wave_h + 2))), false,
                      ImGuiWindowFlags_NoScrollWithMouse);
    draw_lanes(demo, editor, view, out);
    draw_curves(demo, editor, view, out);
    ImGui::EndChild();

    // Loop and playhead over everything.
    ImDrawList* fg = ImGui::GetWindowDrawList();
    const float bottom = start.y + avail.y;
    fg->PushClipRect(ImVec2(x0, start.y), ImVec2(x0 + width, bottom), true);
    if (view.has_loop)
        fg->AddRectFilled(ImVec2(x_of(view.loop_start), start.y), ImVec2(x_of(view.loop_end), bottom), IM_COL32(255, 255, 255, 28));
    fg->AddLine(ImVec2(x_of(view.beat), start.y), ImVec2(x_of(view.beat), bottom), IM_COL32(255, 60, 60, 255), 2.0f);
    fg->PopClipRect();
    ImGui::End();
}

void TimelinePanel::draw_lanes(Demo& demo, TimelineEditor& editor, const PanelView& view, PanelRequests& out) {
    (void)view;
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float width = ImGui::GetContentRegionAvail().x - kNamesWidth;
    const float x0 = origin.x + kNamesWidth;
    const auto x_of = [&](double beat) { return x0 + static_cast<float>((beat - first_beat_) * geometry.px_per_beat); };
    ImGuiIO& io = ImGui::GetIO();

    // Members of event groups first, under their group's header; the rest after.
    std::vector<int> group_of(demo.events.size(), -1);
    for (size_t g = 0; g < demo.event_groups.size(); ++g)
        for (const Event* member : demo.event_groups[g]->events)
            for (size_t i = 0; i < demo.events.size(); ++i)
                if (demo.events[i].get() == member && group_of[i] < 0) group_of[i] = static_cast<int>(g);

    float y = origin.y;
    geometry.lanes.clear();
    const auto lane = [&](size_t i) {
        Event& e = *demo.events[i];
        if (!e.visible && !show_hidden) return;
        geometry.lanes.emplace_back(i, y + kLaneHeight * 0.5f);
        const bool selected = static_cast<int>(i) == selected_event_;
        ImGui::PushID(static_cast<int>(i));
        bool shown = e.visible;
        ImGui::SetCursorScreenPos(ImVec2(origin.x + 12, y));
        if (ImGui::Checkbox("##visible", &shown)) out.edit = editor.event_visible(demo, i, shown);
        ImGui::SameLine();
        const std::string name = valid_utf8(e.name);
        ImGui::TextColored(selected ? ImVec4(1, 1, 0.6f, 1) : ImVec4(0.85f, 0.85f, 0.85f, e.visible ? 1.0f : 0.45f), "%s",
                           name.c_str());
        const float a = std::max(x_of(e.start_beat), x0), b = std::min(std::max(x_of(e.end_beat), x_of(e.start_beat) + 2), x0 + width);
        if (b > x0 && a < x0 + width) {
            draw->AddRectFilled(ImVec2(a, y + 1), ImVec2(b, y + kLaneHeight - 1), kind_colour(e.type, !e.visible));
            if (selected) draw->AddRect(ImVec2(a, y + 1), ImVec2(b, y + kLaneHeight - 1), IM_COL32(255, 255, 150, 255));
            draw->PushClipRect(ImVec2(a, y), ImVec2(b, y + kLaneHeight), true);
            draw->AddText(ImVec2(a + 3, y + 2), IM_COL32(0, 0, 0, 230), name.c_str());
            draw->PopClipRect();
            // Body drags the event, its right edge resizes it; one undo step on release.
            ImGui::SetCursorScreenPos(ImVec2(a, y));
            ImGui::InvisibleButton("span", ImVec2(std::max(b - a, 2.0f), kLaneHeight));
            if (ImGui::IsItemClicked()) {
                if (selected_event_ != static_cast<int>(i)) selected_keys_.clear();
                selected_event_ = static_cast<int>(i);
                selected_track_ = -1;
            }
            if (ImGui::IsItemDeactivated() && std::fabs(ImGui::GetMouseDragDelta(0, 0).x) > 2) {
                const bool edge = io.MouseClickedPos[0].x > b - 6;
                double delta = ImGui::GetMouseDragDelta(0, 0).x / geometry.px_per_beat;
                if (!io.KeyAlt) delta = snap_to_grid(delta, grid);
                const float s = e.start_beat + static_cast<float>(edge ? 0 : delta);
                const float t = e.end_beat + static_cast<float>(delta);
                if (delta != 0) out.edit = editor.event_span(demo, i, s, edge ? std::max(t, s + 1.0f / grid) : t);
            } else if (ImGui::IsItemActive() && ImGui::IsMouseDragging(0)) {
                const float dx = ImGui::GetMouseDragDelta(0).x;
                const bool edge = io.MouseClickedPos[0].x > b - 6;
                draw->AddRect(ImVec2(edge ? a : a + dx, y), ImVec2(b + dx, y + kLaneHeight), IM_COL32(255, 255, 255, 200));
            }
        }
        ImGui::PopID();
        y += kLaneHeight;
    };
    for (size_t g = 0; g < demo.event_groups.size(); ++g) {
        const std::string name = valid_utf8(demo.event_groups[g]->name);
        const bool collapsed = std::find(collapsed_groups_.begin(), collapsed_groups_.end(), name) != collapsed_groups_.end();
        ImGui::SetCursorScreenPos(ImVec2(origin.x, y));
        ImGui::PushID(static_cast<int>(g) + 1000000);
        if (ImGui::SmallButton(collapsed ? "+" : "-")) {
            if (collapsed) collapsed_groups_.erase(std::find(collapsed_groups_.begin(), collapsed_groups_.end(), name));
            else collapsed_groups_.push_back(name);
        }
        ImGui::PopID();
        ImGui::SameLine();
        ImGui::TextDisabled("group %s", name.c_str());
        y += kLaneHeight;
        if (collapsed) continue;
        for (size_t i = 0; i < demo.events.size(); ++i)
            if (group_of[i] == static_cast<int>(g) && demo.events[i]) lane(i);
    }
    for (size_t i = 0; i < demo.events.size(); ++i)
        if (group_of[i] < 0 && demo.events[i]) lane(i);
    ImGui::SetCursorScreenPos(ImVec2(origin.x, y + 4));
}

void TimelinePanel::draw_curves(Demo& demo, TimelineEditor& editor, const PanelView& view, PanelRequests& out) {
    geometry.tracks.clear();
    if (selected_event_ < 0 || static_cast<size_t>(selected_event_) >= demo.events.size()) return;
    Event& e = *demo.events[static_cast<size_t>(selected_event_)];
    if (e.type != EventType::uniforms) return;
    const size_t ev = static_cast<size_t>(selected_event_);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    ImGuiIO& io = ImGui::GetIO();
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float x0 = origin.x + kNamesWidth;
    const float width = std::max(ImGui::GetContentRegionAvail().x - kNamesWidth, 10.0f);
    const double ppb = geometry.px_per_beat;
    const auto x_of = [&](double beat) { return x0 + static_cast<float>((beat - first_beat_) * ppb); };
    const auto beat_of = [&](float x) { return first_beat_ + (x - x0) / ppb; };
    float y = origin.y;
    static std::vector<float> samples;

    for (size_t d = 0; d < e.uniform_defs.size(); ++d) {
        const UniformDef& def = e.uniform_defs[d];
        const Range r = range_of(def);
        const float top = y + 2, bottom = y + kTrackHeight - 2;
        geometry.tracks.emplace_back(top, bottom);
        const auto y_of = [&](float v) { return bottom - (v - r.lo) / (r.hi - r.lo) * (bottom - top); };
        const auto value_of = [&](float py) { return r.lo + (bottom - py) / (bottom - top) * (r.hi - r.lo); };
        const bool track_selected = static_cast<int>(d) == selected_track_;
        draw->AddRectFilled(ImVec2(x0, top), ImVec2(x0 + width, bottom), track_selected ? IM_COL32(45, 45, 60, 255) : IM_COL32(30, 30, 38, 255));
        ControlPointTrack& track = e.track(def.name);
        // Name and the value at the playhead.
        char label[160];
        const std::string name = valid_utf8(def.name);
        if (def.is_string)
            std::snprintf(label, sizeof label, "%.40s", name.c_str());
        else
            std::snprintf(label, sizeof label, "%.40s = %.3g", name.c_str(), static_cast<double>(e.evaluate_value(def.name, static_cast<float>(view.beat))));
        draw->AddText(ImVec2(origin.x + 4, top + 2), IM_COL32(220, 220, 220, 255), label);
        draw->AddText(ImVec2(origin.x + 4, top + 18), IM_COL32(140, 140, 150, 255),
                      track.mode == 0 ? "last value" : track.mode == 1 ? "linear" : track.mode == 2 ? "smooth" : "?");
        if (track.repeat) draw->AddText(ImVec2(origin.x + 80, top + 18), IM_COL32(140, 140, 150, 255), "repeat");

        draw->PushClipRect(ImVec2(x0, top), ImVec2(x0 + width, bottom), true);
        if (!def.is_string) {
            // The curve from the event's own evaluation, one sample per two
            // pixels over the event's span in view.
            const double b0 = std::max<double>(first_beat_, e.start_beat), b1 = std::min<double>(first_beat_ + width / ppb, e.end_beat);
            if (b1 > b0) {
                const size_t count = std::clamp<size_t>(static_cast<size_t>((b1 - b0) * ppb / 2) + 2, 2, kMaxCurveSamples);
                samples.resize(count);
                sample_curve(e, def.name, b0, b1, samples.data(), count);
                for (size_t i = 1; i < count; ++i) {
                    const double ba = b0 + (b1 - b0) * static_cast<double>(i - 1) / static_cast<double>(count - 1);
                    const double bb = b0 + (b1 - b0) * static_cast<double>(i) / static_cast<double>(count - 1);
                    draw->AddLine(ImVec2(x_of(ba), y_of(samples[i - 1])), ImVec2(x_of(bb), y_of(samples[i])), IM_COL32(120, 230, 140, 255), 1.5f);
                }
            }
        }
        // Keys as handles (text keys with their texts).
        int hovered_key = -1;
        for (size_t k = 0; k < track.points.size(); ++k) {
            const ControlPoint& p = track.points[k];
            const float px = x_of(p.beat + e.start_beat);
            if (px < x0 - kHandle || px > x0 + width + kHandle) continue;
            const float py = def.is_string ? (top + bottom) * 0.5f : y_of(p.value);
            const bool sel = track_selected && std::find(selected_keys_.begin(), selected_keys_.end(), k) != selected_keys_.end();
            draw->AddRectFilled(ImVec2(px - kHandle, py - kHandle), ImVec2(px + kHandle, py + kHandle),
                                sel ? IM_COL32(255, 230, 90, 255) : IM_COL32(230, 230, 230, 255));
            if (p.is_text()) draw->AddText(ImVec2(px + kHandle + 2, py - 7), IM_COL32(230, 230, 230, 255), valid_utf8(p.text).c_str());
            if (std::fabs(io.MousePos.x - px) <= kHandle + 1 && std::fabs(io.MousePos.y - py) <= kHandle + 1) hovered_key = static_cast<int>(k);
        }
        draw->PopClipRect();

        ImGui::PushID(static_cast<int>(d));
        ImGui::SetCursorScreenPos(ImVec2(x0, top));
        ImGui::InvisibleButton("track", ImVec2(width, bottom - top));
        const bool active = ImGui::IsItemActive();
        if (ImGui::IsItemActivated()) {
            if (selected_track_ != static_cast<int>(d)) selected_keys_.clear();
            selected_track_ = static_cast<int>(d);
            if (hovered_key >= 0) {
                const size_t k = static_cast<size_t>(hovered_key);
                const bool already = std::find(selected_keys_.begin(), selected_keys_.end(), k) != selected_keys_.end();
                if (io.KeyShift) {
                    if (!already) selected_keys_.push_back(k);
                } else if (!already) {
                    selected_keys_ = {k};
                }
                dragging_ = true;
                drag_key_ = k;
                drag_beat_ = track.points[k].beat;
                drag_value_ = track.points[k].value;
            } else {
                if (!io.KeyShift) selected_keys_.clear();
                boxing_ = true;
                box_x0_ = io.MousePos.x;
                box_y0_ = io.MousePos.y;
            }
        }
        if (ImGui::IsItemHovered() && ImGui::IsMouseDoubleClicked(0) && hovered_key < 0) {
            double beat = beat_of(io.MousePos.x);
            if (!io.KeyAlt) beat = snap_to_grid(beat, grid);
            KeyValue key;
            key.is_text = def.is_string;
            key.text = def.is_string ? "text" : "";
            key.value = def.is_string ? 0 : std::clamp(value_of(io.MousePos.y), r.lo, r.hi);
            boxing_ = false;
            out.edit = editor.key_add(demo, ev, def.name, static_cast<float>(beat), key);
        }
        // Where the dragged key goes, from the mouse's way since the press
        // (also on the release frame: some backends hold the position back
        // while the button is down).
        const auto drag_target = [&] {
            const ImVec2 delta = ImGui::GetMouseDragDelta(0, 0);
            double beat = drag_beat_ + e.start_beat + delta.x / ppb;
            if (!io.KeyAlt) beat = snap_to_grid(beat, grid);
            drag_to_beat_ = static_cast<float>(beat);
            drag_to_value_ = def.is_string ? drag_value_
                                           : std::clamp(drag_value_ - delta.y / (bottom - top) * (r.hi - r.lo), r.lo, r.hi);
        };
        if (active && dragging_ && drag_key_ < track.points.size()) {
            // The live point follows the mouse, so the picture does.
            drag_target();
            track.points[drag_key_].beat = drag_to_beat_ - e.start_beat;
            if (!def.is_string) track.points[drag_key_].value = drag_to_value_;
        }
        if (active && boxing_) {
            draw->AddRect(ImVec2(box_x0_, box_y0_), io.MousePos, IM_COL32(255, 255, 255, 180));
        }
        if (ImGui::IsItemDeactivated()) {
            if (dragging_ && drag_key_ < track.points.size()) {
                ControlPoint& p = track.points[drag_key_];
                drag_target();
                const bool moved = drag_to_beat_ - e.start_beat != drag_beat_ || (!def.is_string && drag_to_value_ != drag_value_);
                p.beat = drag_beat_;
                p.value = drag_value_;
                if (moved) {
                    out.edit = editor.key_move(demo, ev, def.name, drag_key_, drag_to_beat_,
                                               def.is_string ? std::nullopt : std::optional<float>(drag_to_value_));
                    selected_keys_.clear();
                }
            } else if (boxing_) {
                const float xa = std::min(box_x0_, io.MousePos.x), xb = std::max(box_x0_, io.MousePos.x);
                const float ya = std::min(box_y0_, io.MousePos.y), yb = std::max(box_y0_, io.MousePos.y);
                for (size_t k = 0; k < track.points.size(); ++k) {
                    const float px = x_of(track.points[k].beat + e.start_beat);
                    const float py = def.is_string ? (top + bottom) * 0.5f : y_of(track.points[k].value);
                    if (px >= xa && px <= xb && py >= ya && py <= yb &&
                        std::find(selected_keys_.begin(), selected_keys_.end(), k) == selected_keys_.end())
                        selected_keys_.push_back(k);
                }
            }
            dragging_ = false;
            boxing_ = false;
        }
        // Mode and repeat switch on a right click on the name.
        ImGui::SetCursorScreenPos(ImVec2(origin.x, top));
        ImGui::InvisibleButton("name", ImVec2(kNamesWidth - 4, bottom - top));
        if (ImGui::IsItemClicked(0)) {
            if (selected_track_ != static_cast<int>(d)) selected_keys_.clear();
            selected_track_ = static_cast<int>(d);
        }
        if (ImGui::BeginPopupContextItem("mode")) {
            for (int m = 0; m < 3; ++m)
                if (ImGui::MenuItem(m == 0 ? "last value" : m == 1 ? "linear" : "smooth", nullptr, track.mode == m))
                    out.edit = editor.track_mode(demo, ev, def.name, m, std::nullopt);
            if (ImGui::MenuItem("repeat", nullptr, track.repeat))
                out.edit = editor.track_mode(demo, ev, def.name, std::nullopt, !track.repeat);
            ImGui::EndPopup();
        }
        ImGui::PopID();
        y += kTrackHeight;
    }
    ImGui::SetCursorScreenPos(ImVec2(origin.x, y));
    ImGui::Dummy(ImVec2(1, 1));
}

void TimelinePanel::delete_selection(Demo& demo, TimelineEditor& editor, PanelRequests& out) {
    if (selected_event_ < 0 || static_cast<size_t>(selected_event_) >= demo.events.size()) return;
    Event& e = *demo.events[static_cast<size_t>(selected_event_)];
    if (selected_track_ < 0 || static_cast<size_t>(selected_track_) >= e.uniform_defs.size() || selected_keys_.empty())
        return;
    out.edit = editor.keys_delete(demo, static_cast<size_t>(selected_event_), e.uniform_defs[static_cast<size_t>(selected_track_)].name,
                                  selected_keys_);
    selected_keys_.clear();
}

void TimelinePanel::copy_selection(Demo& demo) {
    if (selected_event_ < 0 || static_cast<size_t>(selected_event_) >= demo.events.size()) return;
    Event& e = *demo.events[static_cast<size_t>(selected_event_)];
    if (selected_track_ < 0 || static_cast<size_t>(selected_track_) >= e.uniform_defs.size() || selected_keys_.empty())
        return;
    const ControlPointTrack& track = e.track(e.uniform_defs[static_cast<size_t>(selected_track_)].name);
    std::vector<size_t> keys = selected_keys_;
    std::sort(keys.begin(), keys.end());
    clipboard_.clear();
    for (size_t k : keys) {
        if (k >= track.points.size()) continue;
        const ControlPoint& p = track.points[k];
        KeyValue v;
        v.is_text = p.is_text();
        v.value = p.value;
        v.text = p.text;
        clipboard_.emplace_back(p.beat, v);
    }
    if (clipboard_.empty()) return;
    const float first = clipboard_.front().first;
    for (auto& [beat, v] : clipboard_) beat -= first;
}

void TimelinePanel::paste(Demo& demo, TimelineEditor& editor, double at_beat, PanelRequests& out) {
    if (clipboard_.empty() || selected_event_ < 0 || static_cast<size_t>(selected_event_) >= demo.events.size()) return;
    Event& e = *demo.events[static_cast<size_t>(selected_event_)];
    if (selected_track_ < 0 || static_cast<size_t>(selected_track_) >= e.uniform_defs.size()) return;
    std::vector<std::pair<float, KeyValue>> keys = clipboard_;
    const float at = static_cast<float>(snap_to_grid(at_beat, grid));
    for (auto& [beat, v] : keys) beat += at;
    out.edit = editor.keys_add(demo, static_cast<size_t>(selected_event_), e.uniform_defs[static_cast<size_t>(selected_track_)].name, keys);
    selected_keys_.clear();
}

void TimelinePanel::key_at_playhead(Demo& demo, TimelineEditor& editor, double beat, PanelRequests& out) {
    if (selected_event_ < 0 || static_cast<size_t>(selected_event_) >= demo.events.size()) return;
    Event& e = *demo.events[static_cast<size_t>(selected_event_)];
    if (selected_track_ < 0 || static_cast<size_t>(selected_track_) >= e.uniform_defs.size()) return;
    const UniformDef& def = e.uniform_defs[static_cast<size_t>(selected_track_)];
    KeyValue key;
    key.is_text = def.is_string;
    key.text = def.is_string ? "text" : "";
    const float at = static_cast<float>(snap_to_grid(beat, grid));
    if (!def.is_string) key.value = e.evaluate_value(def.name, at);
    out.edit = editor.key_add(demo, static_cast<size_t>(selected_event_), def.name, at, key);
}
