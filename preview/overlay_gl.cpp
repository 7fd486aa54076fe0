#include "preview/overlay.h"

#include <GL/glew.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "preview/event_lanes.h"

namespace {

// The state the graph's drawing leans on between frames. ImGui's renderer
// restores most of it too; kept here as well so the guarantee does not rest
// on another library's habits.
class SavedGlState {
public:
    SavedGlState() {
        glGetIntegerv(GL_CURRENT_PROGRAM, &program_);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active_texture_);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture0_);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &array_buffer_);
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertex_array_);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw_fb_);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_fb_);
        glGetIntegerv(GL_VIEWPORT, viewport_);
        glGetIntegerv(GL_SCISSOR_BOX, scissor_);
        glGetIntegerv(GL_BLEND_SRC_RGB, &blend_src_rgb_);
        glGetIntegerv(GL_BLEND_DST_RGB, &blend_dst_rgb_);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &blend_src_alpha_);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &blend_dst_alpha_);
        glGetIntegerv(GL_BLEND_EQUATION_RGB, &blend_eq_rgb_);
        glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &blend_eq_alpha_);
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack_alignment_);
        glGetIntegerv(GL_UNPACK_ROW_LENGTH, &unpack_row_length_);
        blend_ = glIsEnabled(GL_BLEND);
        cull_ = glIsEnabled(GL_CULL_FACE);
        depth_ = glIsEnabled(GL_DEPTH_TEST);
        stencil_ = glIsEnabled(GL_STENCIL_TEST);
        scissor_test_ = glIsEnabled(GL_SCISSOR_TEST);
    }
    ~SavedGlState() {
        glUseProgram(static_cast<GLuint>(program_));
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture0_));
        glActiveTexture(static_cast<GLenum>(active_texture_));
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(array_buffer_));
        glBindVertexArray(static_cast<GLuint>(vertex_array_));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw_fb_));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read_fb_));
        glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
        glScissor(scissor_[0], scissor_[1], scissor_[2], scissor_[3]);
        glBlendEquationSeparate(static_cast<GLenum>(blend_eq_rgb_), static_cast<GLenum>(blend_eq_alpha_));
        glBlendFuncSeparate(static_cast<GLenum>(blend_src_rgb_), static_cast<GLenum>(blend_dst_rgb_),
                            static_cast<GLenum>(blend_src_alpha_), static_cast<GLenum>(blend_dst_alpha_));
        glPixelStorei(GL_UNPACK_ALIGNMENT, unpack_alignment_);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, unpack_row_length_);
        set(GL_BLEND, blend_);
        set(GL_CULL_FACE, cull_);
        set(GL_DEPTH_TEST, depth_);
        set(GL_STENCIL_TEST, stencil_);
        set(GL_SCISSOR_TEST, scissor_test_);
    }

private:
    static void set(GLenum cap, GLboolean on) { on ? glEnable(cap) : glDisable(cap); }
    GLint program_ = 0, active_texture_ = 0, texture0_ = 0, array_buffer_ = 0, vertex_array_ = 0;
    GLint draw_fb_ = 0, read_fb_ = 0, viewport_[4] = {}, scissor_[4] = {};
    GLint blend_src_rgb_ = 0, blend_dst_rgb_ = 0, blend_src_alpha_ = 0, blend_dst_alpha_ = 0;
    GLint blend_eq_rgb_ = 0, blend_eq_alpha_ = 0, unpack_alignment_ = 4, unpack_row_length_ = 0;
    GLboolean blend_ = 0, cull_ = 0, depth_ = 0, stencil_ = 0, scissor_test_ = 0;
};

ImU32 kind_colour(int kind) {
    switch (kind) {
    case 1: return IM_COL32(80, 140, 230, 220);   // effect
    case 2: return IM_COL32(230, 170, 60, 220);   // sample
    case 3: return IM_COL32(150, 110, 220, 220);  // group
    case 4: return IM_COL32(80, 200, 120, 220);   // uniforms
    default: return IM_COL32(150, 150, 150, 220);
    }
}

}  // namespace

bool Overlay::open(SDL_Window* window, SDL_GLContext context) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // no layout file beside the user's project
    ImGui::StyleColorsDark();
    SavedGlState saved;
    if (!ImGui_ImplSDL2_InitForOpenGL(window, context) || !ImGui_ImplOpenGL3_Init("#version 130")) {
        ImGui::DestroyContext();
        return false;
    }
    open_ = true;
    return true;
}

Overlay::~Overlay() {
    if (!open_) return;
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
}

bool Overlay::handle(const SDL_Event& event) {
    if (!open_) return false;
    // While hidden no frame takes a press, so the backend would keep it and
    // hand it to the first frame shown: a click on a hidden strip would seek
    // later. Releases and the rest still go in, so no button or key sticks.
    const bool press = event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEWHEEL || event.type == SDL_TEXTINPUT;
    if (!visible && press) return false;
    ImGui_ImplSDL2_ProcessEvent(&event);
    if (!visible) return false;
    const ImGuiIO& io = ImGui::GetIO();
    const bool mouse = event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP ||
                       event.type == SDL_MOUSEMOTION || event.type == SDL_MOUSEWHEEL;
    return mouse && io.WantCaptureMouse;
}

std::optional<double> Overlay::draw(const OverlayView& view) {
    if (!open_) return std::nullopt;
    SavedGlState saved;
    std::optional<double> seek;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    const ImGuiViewport* screen = ImGui::GetMainViewport();
    const ImGuiWindowFlags fixed = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing;

    // Transport bar.
    ImGui::SetNextWindowPos(ImVec2(8, 8));
    ImGui::SetNextWindowBgAlpha(0.6f);
    ImGui::Begin("transport", nullptr, fixed | ImGuiWindowFlags_AlwaysAutoResize);
    const double bar = std::floor(view.beat / 4.0) + 1;
    ImGui::Text("beat %8.2f  bar %4.0f  %7.2f s  %5.1f fps  %5.2f ms%s", view.beat, bar, view.seconds, view.fps,
                view.frame_ms, view.paused ? "  PAUSED" : "");
    if (view.has_loop) {
        ImGui::SameLine();
        ImGui::Text("  loop %.2f .. %.2f", view.loop_start, view.loop_end);
    }
    ImGui::TextDisabled("%s   Tab hides, T timeline", view.reload.c_str());
    if (!view.mark.empty()) ImGui::TextColored(ImVec4(1, 0.8f, 0.3f, 1), "%s", view.mark.c_str());
    ImGui::End();

    // Timeline strip along the bottom: events by kind, the loop, the playhead.
    if (view.strip) {
    const float strip_h = 64;
    ImGui::SetNextWindowPos(ImVec2(0, screen->Size.y - strip_h));
    ImGui::SetNextWindowSize(ImVec2(screen->Size.x, strip_h));
    ImGui::SetNextWindowBgAlpha(0.6f);
    ImGui::Begin("timeline", nullptr, fixed);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 area = ImGui::GetContentRegionAvail();
    float last = std::max(view.end_beat, 1.0f);
    if (view.events)
        for (const OverlayEvent& e : *view.events) last = std::max(last, e.end_beat);
    const auto x_of = [&](double beat) { return origin.x + static_cast<float>(beat / last) * area.x; };
    ImDrawList* draw = ImGui::GetWindowDrawList();
    if (view.has_loop)
        draw->AddRectFilled(ImVec2(x_of(view.loop_start), origin.y), ImVec2(x_of(view.loop_end), origin.y + area.y),
                            IM_COL32(255, 255, 255, 40));
    if (view.events && !view.events->empty()) {
        std::vector<LaneSpan> spans;
        spans.reserve(view.events->size());
        for (const OverlayEvent& e : *view.events) spans.push_back({e.start_beat, e.end_beat});
        size_t rows = 1;
        const std::vector<size_t> lane = pack_lanes(spans, rows);
        const float row_h = std::max(2.0f, area.y / static_cast<float>(std::max<size_t>(rows, 1)));
        for (size_t i = 0; i < view.events->size(); ++i) {
            const OverlayEvent& e = (*view.events)[i];
            const float y = origin.y + static_cast<float>(lane[i]) * row_h;
            const ImVec2 a(x_of(e.start_beat), y + 1), b(std::max(x_of(e.end_beat), x_of(e.start_beat) + 2), y + row_h - 1);
            draw->AddRectFilled(a, b, kind_colour(e.kind));
            // Named where the row has room for a line of text.
            if (row_h >= ImGui::GetTextLineHeight() && b.x - a.x > 12) {
                draw->PushClipRect(a, b, true);
                draw->AddText(ImVec2(a.x + 3, y + (row_h - ImGui::GetTextLineHeight()) * 0.5f), IM_COL32(0, 0, 0, 230),
                              e.name.c_str());
                draw->PopClipRect();
            }
        }
    }
    const float px = x_of(view.beat);
    draw->AddLine(ImVec2(px, origin.y), ImVec2(px, origin.y + area.y), IM_COL32(255, 60, 60, 255), 2.0f);
    ImGui::InvisibleButton("strip", ImVec2(std::max(area.x, 1.0f), std::max(area.y, 1.0f)));
    if (ImGui::IsItemActive()) {
        const float mx = ImGui::GetIO().MousePos.x;
        seek = std::clamp(static_cast<double>((mx - origin.x) / std::max(area.x, 1.0f)) * last, 0.0,
                          static_cast<double>(last));
    }
    ImGui::End();
    }

    // Errors, then the outputs of the event nodes that ran.
    float y = 72;
    if (view.errors && !view.errors->empty()) {
        ImGui::SetNextWindowPos(ImVec2(8, y));
        ImGui::SetNextWindowBgAlpha(0.8f);
        ImGui::Begin("errors", nullptr, fixed | ImGuiWindowFlags_AlwaysAutoResize);
        for (const std::string& e : *view.errors) ImGui::TextColored(ImVec4(1, 0.45f, 0.4f, 1), "%s", e.c_str());
        y += ImGui::GetWindowHeight() + 8;
        ImGui::End();
    }
    if (view.outputs && !view.outputs->empty()) {
        ImGui::SetNextWindowPos(ImVec2(8, y));
        ImGui::SetNextWindowBgAlpha(0.6f);
        ImGui::Begin("outputs", nullptr, fixed | ImGuiWindowFlags_AlwaysAutoResize);
        const size_t shown = std::min<size_t>(view.outputs->size(), 24);
        for (size_t i = 0; i < shown; ++i) ImGui::TextUnformatted((*view.outputs)[i].c_str());
        if (shown < view.outputs->size()) ImGui::TextDisabled("... %zu more", view.outputs->size() - shown);
        ImGui::End();
    }

    if (view.more) view.more();

    ImGui::Render();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, static_cast<int>(ImGui::GetIO().DisplaySize.x * ImGui::GetIO().DisplayFramebufferScale.x),
               static_cast<int>(ImGui::GetIO().DisplaySize.y * ImGui::GetIO().DisplayFramebufferScale.y));
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    return seek;
}
