#include <GL/glew.h>
#include <SDL.h>

#include <cmath>
#include <cstdio>

#include "app/playback_state.h"
#include "preview/preview_session.h"

void answer(const nlohmann::json& j) {
    // Every text that goes in is made UTF-8 first; replacing stays as the
    // last guard, so an answer is never lost to a stray byte.
    std::fputs((j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n").c_str(), stdout);
    std::fflush(stdout);
}

nlohmann::json error_answer(const std::string& why) { return {{"ok", false}, {"error", why}}; }

void PreviewSession::handle_key(const SDL_Keysym& key) {
    const bool shift = (key.mod & KMOD_SHIFT) != 0;
    const bool ctrl = (key.mod & KMOD_CTRL) != 0;
    if (ctrl) {
        PanelRequests requests;
        switch (key.sym) {
        case SDLK_z:
            if (project_ && !stale_)
                apply_outcome(shift ? editor_.redo(*demo_) : editor_.undo(*demo_), false);
            break;
        case SDLK_y:
            if (project_ && !stale_) apply_outcome(editor_.redo(*demo_), false);
            break;
        case SDLK_s:
            if (project_) {
                if (std::string why = save(); !why.empty()) {
                    std::printf("note: not saved: %s\n", why.c_str());
                    std::fflush(stdout);
                }
            }
            break;
        case SDLK_c: panel_.copy_selection(*demo_); break;
        case SDLK_v:
            if (project_ && !stale_) panel_.paste(*demo_, editor_, playhead_.beat(), requests);
            break;
        default: break;
        }
        if (requests.edit) apply_outcome(*requests.edit, true);
        return;
    }
    switch (key.sym) {
    case SDLK_t: panel_.visible = !panel_.visible; break;
    case SDLK_DELETE:
    case SDLK_k:
        if (project_ && !stale_) {
            PanelRequests requests;
            if (key.sym == SDLK_DELETE) panel_.delete_selection(*demo_, editor_, requests);
            else panel_.key_at_playhead(*demo_, editor_, playhead_.beat(), requests);
            if (requests.edit) apply_outcome(*requests.edit, true);
        }
        break;
    case SDLK_SPACE: set_paused(!playhead_.paused()); break;
    case SDLK_LEFT: seek(playhead_.beat() - (shift ? 4 : 1)); break;
    case SDLK_RIGHT: seek(playhead_.beat() + (shift ? 4 : 1)); break;
    case SDLK_PAGEUP: seek(playhead_.beat() - 16); break;
    case SDLK_PAGEDOWN: seek(playhead_.beat() + 16); break;
    case SDLK_HOME: seek(-static_cast<double>(playhead_.beat_offset())); break;
    case SDLK_LEFTBRACKET: playhead_.set_loop_start_here(); break;
    case SDLK_RIGHTBRACKET: playhead_.set_loop_end_here(); break;
    case SDLK_BACKSPACE: playhead_.clear_loop(); break;
    case SDLK_TAB: overlay_.visible = !overlay_.visible; break;
    case SDLK_p: cost_.toggle(); break;
    case SDLK_f: {
        const bool full = (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
        if (!full) SDL_GetWindowSize(window_, &windowed_width_, &windowed_height_);
        SDL_SetWindowFullscreen(window_, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        // Without a window manager (a bare X server) the window keeps the
        // desktop's size when fullscreen ends; give it its own back.
        if (full && windowed_width_ > 0) SDL_SetWindowSize(window_, windowed_width_, windowed_height_);
        break;
    }
    default: break;
    }
}

nlohmann::json PreviewSession::status() const {
    // Where the timeline panel put things, for scripts that drive it with the mouse.
    nlohmann::json panel = nullptr;
    if (panel_.visible && overlay_ok_ && overlay_.visible) {
        const PanelGeometry& g = panel_.geometry;
        nlohmann::json tracks = nlohmann::json::array(), lanes = nlohmann::json::array();
        for (const auto& [top, bottom] : g.tracks) tracks.push_back({top, bottom});
        for (const auto& [event, y] : g.lanes) lanes.push_back({event, y});
        panel = {{"x0", g.x0}, {"px_per_beat", g.px_per_beat}, {"first_beat", g.first_beat}, {"ruler_y", g.ruler_y},
                 {"tracks", tracks}, {"lanes", lanes}};
    }
    nlohmann::json loop = nullptr;
    if (playhead_.has_loop()) loop = {playhead_.loop_start_beat(), playhead_.loop_end_beat()};
    return {{"ok", true},
            {"beat", current_beat_},
            {"paused", playhead_.paused()},
            {"loop", loop},
            {"fps", std::round(fps_ * 10) / 10},
            {"frame", frames_},
            {"width", playback().render_size.render_width},
            {"height", playback().render_size.render_height},
            {"reload", {{"kind", last_reload_.kind}, {"ok", last_reload_.ok}, {"ms", last_reload_.ms},
                        {"save_to_frame_ms", last_reload_.save_to_frame_ms}, {"count", last_reload_.count}}},
            {"frame_ms", std::round(frame_ms_ * 1000) / 1000},
            {"overlay", overlay_ok_ && overlay_.visible},
            {"fullscreen", (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0},
            {"errors", errors_},
            {"costs", cost_.status(static_cast<double>(preview_now_us()) / 1e6)},
            {"unsaved", editor_.unsaved()},
            {"undo_steps", editor_.history().undo_steps()},
            {"redo_steps", editor_.history().redo_steps()},
            {"conflict", conflict_},
            {"timeline", panel_.visible},
            {"panel", panel},
            {"grid", panel_.grid},
            {"silent", !silent_why_.empty()}};
}

void PreviewSession::handle_command(const ControlCommand& c) {
    using Kind = ControlCommand::Kind;
    switch (c.kind) {
    case Kind::None:
        if (!c.error.empty()) answer(error_answer(c.error));
        return;
    case Kind::Seek: seek(c.a); answer({{"ok", true}, {"beat", c.a}}); return;
    case Kind::Pause: set_paused(true); answer({{"ok", true}, {"paused", true}}); return;
    case Kind::Play:
        set_paused(false);
        answer({{"ok", true}, {"paused", false}});
        return;
    case Kind::Loop:
        playhead_.set_loop(c.a, c.b);
        answer({{"ok", true}, {"loop", {c.a, c.b}}});
        return;
    case Kind::LoopOff: playhead_.clear_loop(); answer({{"ok", true}, {"loop", nullptr}}); return;
    case Kind::Size:
        SDL_SetWindowFullscreen(window_, 0);
        SDL_SetWindowSize(window_, c.width, c.height);
        answer({{"ok", true}, {"size", std::to_string(c.width) + "x" + std::to_string(c.height)}});
        return;
    case Kind::Screenshot:
        if (!o_.write_png) {
            answer(error_answer("screenshots are not available"));
            return;
        }
        pending_screenshots_.push_back(c.path);  // answered after the next frame
        return;
    case Kind::Status: answer(status()); return;
    case Kind::Overlay:
        overlay_.visible = c.a != 0;
        answer({{"ok", true}, {"overlay", overlay_ok_ && overlay_.visible}});
        return;
    case Kind::Quit:
        if (c.a == 0 && editor_.unsaved()) {
            answer(error_answer("there are unsaved edits: save, or quit force"));
            return;
        }
        answer({{"ok", true}});
        quit_requested_ = true;
        return;
    case Kind::Timeline:
        panel_.visible = c.a != 0;
        answer({{"ok", true}, {"timeline", panel_.visible}});
        return;
    case Kind::Edit: handle_edit(c); return;
    }
}

