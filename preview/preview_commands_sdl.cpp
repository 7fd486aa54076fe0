#include <GL/glew.h>
#include <SDL.h>

#include <cmath>
#include <cstdio>

#include "app/playback_state.h"
#include "preview/preview_session.h"

void answer(const nlohmann::json& j) {
    std::fputs((j.dump() + "\n").c_str(), stdout);
    std::fflush(stdout);
}

nlohmann::json error_answer(const std::string& why) { return {{"ok", false}, {"error", why}}; }

void PreviewSession::handle_key(const SDL_Keysym& key) {
    const bool shift = (key.mod & KMOD_SHIFT) != 0;
    switch (key.sym) {
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
            {"errors", errors_}};
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
    case Kind::Quit: answer({{"ok", true}}); quit_requested_ = true; return;
    }
}

