#include "preview/preview_session.h"

#include <GL/glew.h>
#include <SDL.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/playback_setup.h"
#include "app/playback_state.h"
#include "audio/sound_decode.h"
#include "nodes/graph_node.h"
#include "nodes/node_type.h"
#include "nodes/resource_node_types.h"
#include "preview/control_input.h"
#include "preview/reload_plan.h"
#include "preview/utf8_text.h"
#include "serialization/demo.h"

namespace fs = std::filesystem;

int64_t preview_now_us() {
    static const double ticks_per_us = static_cast<double>(SDL_GetPerformanceFrequency()) / 1e6;
    return static_cast<int64_t>(static_cast<double>(SDL_GetPerformanceCounter()) / ticks_per_us);
}

namespace {

// Saves are taken together once no event came for this long; with the
// frame's own length that keeps a reload within 100 ms of the last event.
constexpr int64_t kQuietMs = 40;
// The loop waits at least this long per frame: swaps do not wait for the
// display everywhere (a virtual screen), and an editor shares the machine.
constexpr int64_t kMinFrameUs = 8000;

int64_t now_us() { return preview_now_us(); }

// The largest 16:9 area of the window, from its bottom-left corner: the
// graph's screen copies read from there, as the player's do.
void fit_16_9(int width, int height, int& out_w, int& out_h) {
    out_w = std::max(1, std::min(width, height * 16 / 9));
    out_h = std::max(1, out_w * 9 / 16);
}

int64_t realtime_ns() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// When the newest of the files was written, on the clock file times use;
// now for files that are gone.
int64_t newest_save_ns(const std::vector<std::string>& files) {
    int64_t newest = 0;
    for (const std::string& f : files) {
        struct stat info {};
        if (::stat(f.c_str(), &info) != 0) return realtime_ns();
        newest = std::max(newest, static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec);
    }
    return newest;
}

}  // namespace

void PreviewSession::report(const std::vector<SourceError>& errors) {
    errors_.clear();
    for (const SourceError& e : errors) {
        // A broken included text breaks every program that includes it, with
        // the same mapped line: said once.
        // A parser's message may quote bytes of the file that are not UTF-8;
        // the answers and the overlay take UTF-8 only.
        const std::string text = valid_utf8(e.text());
        if (std::find(errors_.begin(), errors_.end(), text) != errors_.end()) continue;
        errors_.push_back(text);
        std::printf("error: %s\n", text.c_str());
    }
    report_portability();
    std::fflush(stdout);
}

void PreviewSession::report_portability() {
    // What a strict driver would refuse, though this one took it.
    if (!o_.portability || !demo_) return;
    for (const std::string& line : o_.portability(*demo_)) {
        const std::string text = "portability warning: " + valid_utf8(line);
        errors_.push_back(text);
        std::printf("%s\n", text.c_str());
    }
}

void PreviewSession::take(PreviewLoad& load) {
    // The version replaced goes from the GPU with it (the handle frees it):
    // a re-read on every save would otherwise keep each earlier version's
    // pictures and targets.
    demo_ = std::move(load.demo);
    playhead_.set_tempo(demo_->bpm, demo_->beat_offset);
    // Decoded to the demo's end: a module whose song loops must not decode for
    // half an hour before the first frame.
    const uint64_t bound = music_bound_frames(demo_->end_beat, demo_->beat_offset, demo_->bpm, Playhead::kRate);
    if (std::string why = feed_.set_music(demo_->music, bound); !why.empty()) {
        std::printf("note: %s\n", valid_utf8(why).c_str());
        std::fflush(stdout);
    }
    cost_.forget_nodes();
    events_dirty_ = true;
    refresh_overlay_events();
}

void PreviewSession::take_keeping_playhead(PreviewLoad& load) {
    const double beat = playhead_.beat();
    const bool had_loop = playhead_.has_loop();
    const double ls = playhead_.loop_start_beat(), le = playhead_.loop_end_beat();
    take(load);
    playhead_.seek_beat(beat);
    if (had_loop) playhead_.set_loop(ls, le);
}

void PreviewSession::load_first() {
    PreviewLoad load = load_for_preview(o_.input, window_, context_);
    files_ = load.files;
    report(load.errors);
    if (load.demo) {
        take(load);
        report_portability();
    } else {
        // Nothing good yet: an empty demo plays (black) until a save loads.
        stale_ = true;
        demo_ = DemoHandle(new Demo());
        demo_->graph = Nodes::Graph::make_default();
    }
    if (project_) {
        watcher_.watch(files_);
        std::string why;
        if (!editor_.open(read_text_file(project_path_).value_or(""), why)) {
            std::printf("note: editing is off: %s\n", valid_utf8(why).c_str());
            std::fflush(stdout);
        }
    }
}

void PreviewSession::reload(const std::vector<std::string>& changed) {
    const int64_t start = now_us();
    ReloadPlan plan = plan_reload(changed, demo_->shaders, folder_);
    // After a re-read that failed, the running demo is older than the files:
    // mending a shader must not rebuild it alone and drop the other changes.
    if (stale_) plan.full = true;
    if (!plan.full && plan.programs.empty()) return;
    saved_at_ns_ = newest_save_ns(changed);
    ReloadRecord record;
    record.count = last_reload_.count + 1;
    if (!plan.full) {
        record.kind = "shaders";
        std::vector<SourceError> errors = rebuild_programs_in_place(*demo_, plan.programs, folder_);
        record.ok = errors.empty();
        report(errors);
    } else {
        record.kind = "project";
        PreviewLoad load = load_for_preview(o_.input, window_, context_);
        // The files of the failed attempt are watched too: the one that is
        // missing now is the one whose return must be seen.
        std::vector<std::string> watch = load.files;
        if (load.demo && load.errors.empty()) {
            take_keeping_playhead(load);
            files_ = watch;
            stale_ = false;
            panel_.forget_selection();
        } else {
            record.ok = false;
            stale_ = true;
            // The new content registered its node types; the running demo's
            // take their place again. Saves that fail again and again must
            // not pile their pictures up on the GPU.
            load.demo.reset();
            register_content_node_types(*demo_);
            for (const std::string& f : files_) watch.push_back(f);
        }
        report(load.errors);
        watcher_.watch(watch);
        // The editor starts over from the file as it is now. While it does
        // not load, edits are refused (see handle_edit).
        std::string why;
        if (project_) editor_.open(read_text_file(project_path_).value_or(""), why);
    }
    record.ms = static_cast<double>(now_us() - start) / 1000.0;
    last_reload_ = record;
}

void PreviewSession::write_screenshot() {
    const RenderSize& size = playback().render_size;
    const int w = size.render_width, h = size.render_height;
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                rgb[(static_cast<size_t>(y) * w + x) * 3 + c] = rgba[(static_cast<size_t>(h - 1 - y) * w + x) * 4 + c];
    for (const std::string& path : pending_screenshots_) {
        const std::string why = o_.write_png(path, w, h, rgb.data());
        if (why.empty()) answer({{"ok", true}, {"screenshot", path}, {"beat", current_beat_}, {"width", w}, {"height", h}});
        else answer(error_answer("cannot write " + path + ": " + why));
    }
    pending_screenshots_.clear();
}

void PreviewSession::collect_outputs() {
    outputs_.clear();
    for (const auto& node : demo_->graph->nodes) {
        if (!node->def || node->blocked || !node->def->name.ends_with(".event")) continue;
        const std::string& type = node->def->name;
        for (size_t i = 0; i < node->outputs.size() && i < node->def->outputs.size(); ++i) {
            const Nodes::MaybeValue& out = node->outputs[i];
            if (!out.hasValue) continue;
            char value[64];
            if (out.value.type == Nodes::kind_string) std::snprintf(value, sizeof value, "\"%.48s\"", out.value.text.c_str());
            else std::snprintf(value, sizeof value, "%.4g", static_cast<double>(out.value.as_float()));
            // Cut at 48 bytes, a text may end inside a character.
            outputs_.push_back(valid_utf8(type + ": " + node->def->outputs[i].name + " = " + value));
        }
    }
}

void PreviewSession::draw_frame(double beat) {
    PlaybackState& state = playback();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    int rw = 0, rh = 0;
    fit_16_9(w, h, rw, rh);
    state.window_actual_width = w;
    state.window_actual_height = h;
    state.render_size = RenderSize{w, h, rw, rh};
    state.current_beat = static_cast<float>(beat);
    current_beat_ = state.current_beat;

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, w, h);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, rw, rh);
    cost_.begin_frame(*demo_->graph, static_cast<double>(now_us()) / 1e6);
    demo_->graph->evaluate(*demo_, state.current_beat);
    cost_.end_frame(*demo_->graph);
    if (!pending_screenshots_.empty()) write_screenshot();
}

int PreviewSession::run(SDL_Window* window, SDL_GLContext context) {
    window_ = window;
    context_ = context;
    project_ = is_project_path(o_.input);
    folder_ = fs::absolute(o_.input).parent_path().lexically_normal().string();
    project_path_ = fs::absolute(o_.input).lexically_normal().string();
    if (!silent_why_.empty()) {
        std::printf("note: no sound device (%s); playing silently, timed by the clock\n", valid_utf8(silent_why_).c_str());
        std::fflush(stdout);
    }
    overlay_ok_ = overlay_.open(window, context);
    load_first();
    if (o_.have_beat) playhead_.seek_beat(o_.beat);
    if (o_.have_loop) playhead_.set_loop(o_.loop_start, o_.loop_end);
    seeked_ = true;

    ControlInput control;
    bool control_open = o_.control;
    bool input_ended = false;
    std::vector<std::string> queued;
    int64_t last_us = now_us();
    playhead_.restamp(last_us);
    bool was_paused = playhead_.paused();
    while (!quit_) {
        const int64_t frame_start = now_us();
        if (control_open) {
            if (!control.read(queued)) {
                control_open = false;
                input_ended = true;
            }
        }
        // A command that changes what is shown holds back the ones after it
        // until a frame has been drawn, so `status` and `screenshot` always
        // see the effect of the commands before them.
        while (!queued.empty() && !quit_requested_) {
            const ControlCommand command = parse_control_command(queued.front());
            queued.erase(queued.begin());
            handle_command(command);
            using Kind = ControlCommand::Kind;
            if (command.kind != Kind::None && command.kind != Kind::Status && command.kind != Kind::Quit) break;
        }
        // Input that ends (the editor went away) ends the preview once its
        // last commands are done.
        if (input_ended && queued.empty() && pending_screenshots_.empty()) {
            // Nobody is left to ask; say what is not on disk.
            if (editor_.unsaved()) std::printf("note: the control input ended; the edits were not saved\n");
            quit_ = true;
        }
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (overlay_ok_ && overlay_.handle(event)) continue;
            if (event.type == SDL_QUIT) request_quit();
            if (event.type == SDL_KEYUP && event.key.keysym.sym == SDLK_ESCAPE) request_quit();
            if (event.type == SDL_KEYDOWN) handle_key(event.key.keysym);
        }
        if (project_) {
            std::vector<std::string> changed = watcher_.poll(frame_start / 1000, kQuietMs);
            const auto own = std::find(changed.begin(), changed.end(), project_path_);
            if (own != changed.end() && !take_outside_change()) changed.erase(own);
            if (!changed.empty()) reload(changed);
        }

        const int64_t now = now_us();
        const bool paused = playhead_.paused();
        if (was_paused && !paused) playhead_.restamp(now);
        was_paused = paused;
        // Without a feed the clock moves the playhead, a frame at a time.
        if (!feed_.drives_playhead() && !paused) {
            const int64_t frames = (now - last_us) * Playhead::kRate / 1000000;
            if (frames > 0) {
                playhead_.advance(static_cast<int>(std::min<int64_t>(frames, Playhead::kRate)), now);
                last_us += frames * 1000000 / Playhead::kRate;
            }
        } else {
            last_us = now;
        }
        feed_.follow(seeked_);
        if (seeked_) playhead_.restamp(now);
        seeked_ = false;
        const double beat = feed_.drives_playhead() ? playhead_.beat_at(now) : playhead_.beat();

        draw_frame(beat);
        collect_outputs();
        if (overlay_ok_ && overlay_.visible) {
            OverlayView view;
            view.beat = current_beat_;
            view.seconds = (current_beat_ + playhead_.beat_offset()) * 60.0 / playhead_.bpm();
            view.fps = fps_;
            view.frame_ms = frame_ms_;
            view.paused = playhead_.paused();
            view.has_loop = playhead_.has_loop();
            view.loop_start = playhead_.loop_start_beat();
            view.loop_end = playhead_.loop_end_beat();
            view.end_beat = demo_->end_beat;
            refresh_overlay_events();
            view.events = &events_;
            shown_errors_.clear();
            if (conflict_) shown_errors_.push_back("project.json changed on disk; your edits are kept: 'conflict reload' drops them, 'conflict keep' keeps them");
            for (const std::string& e : errors_) shown_errors_.push_back(e);
            view.errors = &shown_errors_;
            if (editor_.unsaved()) view.mark = "* unsaved edits (Ctrl+S saves)";
            if (!silent_why_.empty()) view.mark += view.mark.empty() ? "no sound device: silent, timed by the clock" : "   no sound device: silent";
            view.strip = !panel_.visible;
            view.more = [this] {
                run_panel();
                cost_.draw(static_cast<double>(now_us()) / 1e6);
            };
            view.outputs = &outputs_;
            char reload[96];
            std::snprintf(reload, sizeof reload, "reload %d: %s %s, %.0f ms", last_reload_.count,
                          last_reload_.kind.c_str(), last_reload_.ok ? "ok" : "failed", last_reload_.ms);
            view.reload = reload;
            if (std::optional<double> to = overlay_.draw(view)) seek(*to);
        }
        SDL_GL_SwapWindow(window_);
        ++frames_;
        if (saved_at_ns_ != 0) {
            last_reload_.save_to_frame_ms = static_cast<double>(realtime_ns() - saved_at_ns_) / 1e6;
            saved_at_ns_ = 0;
        }
        if (quit_requested_) quit_ = true;

        const int64_t used = now_us() - frame_start;
        if (used < kMinFrameUs) SDL_Delay(static_cast<Uint32>((kMinFrameUs - used) / 1000));
        const double frame_seconds = static_cast<double>(now_us() - frame_start) / 1e6;
        const double used_ms = static_cast<double>(used) / 1000.0;
        frame_ms_ = frame_ms_ == 0 ? used_ms : frame_ms_ * 0.95 + used_ms * 0.05;
        if (frame_seconds > 0) fps_ = fps_ == 0 ? 1.0 / frame_seconds : fps_ * 0.9 + 0.1 / frame_seconds;
    }
    return 0;
}

